#include "cli/cli_prompts.h"

#include <cstddef>
#include <string_view>

#include "inspection/text_codec.h"
#include "inspection/text_util.h"

namespace verifax {

namespace {

// The run's texts use CR LF; the terminal gets "\n".
std::string ForTerminal(std::string_view text) {
  std::string out = Wtf8ToUtf8(text);
  std::string result;
  result.reserve(out.size());
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\r' && i + 1 < out.size() && out[i + 1] == '\n') continue;
    result += out[i];
  }
  return result;
}

std::string Quoted(std::string_view value) {
  return "\"" + ForTerminal(value) + "\"";
}

}  // namespace

void SetPostalCode(CompanyInfoModel& model, std::string_view postal_code) {
  std::size_t hyphen = postal_code.find('-');
  if (hyphen == std::string_view::npos) {
    model.SetPostalCode4(Utf16Left(postal_code, 4));
    model.SetPostalCode3("000");
  } else {
    model.SetPostalCode4(postal_code.substr(0, hyphen));
    model.SetPostalCode3(postal_code.substr(hyphen + 1));
  }
}

bool CliPrompts::ConfirmInspection() {
  if (options_.yes) return true;
  err_ << ForTerminal(kConfirmationText) << " [s/N] " << std::flush;
  std::string line;
  if (!std::getline(in_, line)) return false;
  std::string reply = AsciiUpper(Trim(line));
  return reply == "S" || reply == "SIM" || reply == "Y" || reply == "YES";
}

bool CliPrompts::ReadAnswer(const std::string& prompt, std::string& line) {
  err_ << prompt << std::flush;
  std::string raw;
  if (!std::getline(in_, raw)) {
    err_ << "\n";
    return false;
  }
  line = std::string(Trim(raw));
  return !line.empty();
}

bool CliPrompts::EditCompanyInfo(const TCompany& question, TCompany& answer) {
  CompanyInfoModel model;
  model.Fill(question);
  bool applied = false;
  if (question.edit_address) {
    if (options_.postal_code) {
      SetPostalCode(model, *options_.postal_code);
      applied = true;
    }
    if (options_.city) {
      model.SetCity(*options_.city);
      applied = true;
    }
  }
  if (question.edit_nif && options_.nif) {
    model.SetNif(*options_.nif);
    applied = true;
  }
  bool ok;
  if (applied) {
    ok = model.VerifyCompanyInfo();
  } else if (interactive_) {
    ok = AskCompanyInfo(question, model);
  } else {
    ok = false;
  }
  answer = model.CollectAnswer();
  return ok;
}

bool CliPrompts::AskCompanyInfo(const TCompany& question, CompanyInfoModel& model) {
  err_ << "\nInformação Empresa: os dados da empresa no ficheiro estão em falta ou inválidos.\n";
  if (question.edit_address) {
    err_ << "  Código Postal: " << Quoted(question.postalcode) << "\n"
         << "  Cidade: " << Quoted(question.city) << "\n";
  }
  if (question.edit_nif) err_ << "  Nº Contribuinte: " << Quoted(question.nif) << "\n";
  err_ << "Indique os valores corretos (linha vazia cancela).\n";

  std::string line;
  if (question.edit_address) {
    for (;;) {
      if (!ReadAnswer("Código Postal (0000-000): ", line)) return false;
      SetPostalCode(model, line);
      model.VerifyCompanyInfo();
      if (model.postal_code_colour() == FieldColour::kGreen) break;
      err_ << "Código postal inválido.\n";
    }
    for (;;) {
      if (!ReadAnswer("Cidade: ", line)) return false;
      model.SetCity(line);
      model.VerifyCompanyInfo();
      if (model.city_colour() == FieldColour::kGreen) break;
      err_ << "Cidade inválida.\n";
    }
  }
  if (question.edit_nif) {
    for (;;) {
      if (!ReadAnswer("Nº Contribuinte: ", line)) return false;
      model.SetNif(line);
      model.VerifyCompanyInfo();
      if (model.nif_colour() == FieldColour::kGreen) break;
      err_ << "Número de contribuinte inválido.\n";
    }
  }
  return model.VerifyCompanyInfo();
}

bool CliPrompts::EditTaxInfo(const TTax& question, TTax& answer) {
  TaxInfoModel model;
  model.Fill(question);
  std::string percentage = AsciiUpper(Trim(question.percentage));
  const TaxCodeOption* match = nullptr;
  for (const TaxCodeOption& option : options_.tax_codes) {
    if (AsciiUpper(Trim(option.percent)) == percentage) {
      match = &option;
      break;
    }
  }
  bool ok;
  if (match != nullptr) {
    model.Select(TaxInfoModel::IndexOfCode(match->code));
    ok = model.VerifyTaxInfo();
  } else if (interactive_) {
    ok = AskTaxInfo(question, model);
  } else {
    ok = false;
  }
  answer = model.CollectAnswer();
  return ok;
}

bool CliPrompts::AskTaxInfo(const TTax& question, TaxInfoModel& model) {
  err_ << "\nInformação Taxa: o código de IVA desta taxa não é aceite.\n"
       << "  Código: " << Quoted(question.code) << "\n"
       << "  Descrição: " << Quoted(question.description) << "\n"
       << "  Valor: " << Quoted(question.percentage) << "\n"
       << "Códigos:\n";
  for (std::string_view item : TaxInfoModel::Items()) {
    err_ << "  " << TaxInfoModel::ItemCode(item) << " " << Trim(item.substr(3)) << "\n";
  }
  std::string line;
  for (;;) {
    if (!ReadAnswer("Código (linha vazia cancela): ", line)) return false;
    int index = TaxInfoModel::IndexOfCode(line);
    if (index >= 0) {
      model.Select(index);
      return model.VerifyTaxInfo();
    }
    err_ << "Código inválido.\n";
  }
}

}  // namespace verifax
