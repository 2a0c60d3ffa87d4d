#include "cli/cli_options.h"

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

#include "inspection/text_util.h"

namespace verifax {

namespace {

constexpr std::string_view kProgram = "verifax-cli";
constexpr std::string_view kTaxCodes[] = {"ISE", "RED", "INT", "NOR", "OUT"};

enum class Option { kYes, kDryRun, kNoInput, kCity, kPostalCode, kNif, kTaxCode, kHelp, kVersion };

struct LongOption {
  std::string_view name;
  Option option;
  bool takes_value;
};

constexpr LongOption kLongOptions[] = {
    {"yes", Option::kYes, false},
    {"dry-run", Option::kDryRun, false},
    {"no-input", Option::kNoInput, false},
    {"city", Option::kCity, true},
    {"postal-code", Option::kPostalCode, true},
    {"nif", Option::kNif, true},
    {"tax-code", Option::kTaxCode, true},
    {"help", Option::kHelp, false},
    {"version", Option::kVersion, false},
};

ParseResult UsageError(const std::string& message) {
  ParseResult result;
  result.status = ParseStatus::kUsageError;
  result.text = std::string(kProgram) + ": " + message + "\nUse '" + std::string(kProgram) +
                " --help' para ver as opções.\n";
  return result;
}

ParseResult Exit(std::string text) {
  ParseResult result;
  result.status = ParseStatus::kExit;
  result.text = std::move(text);
  return result;
}

// PERCENT=CODE, split at the last "=" so that the code is always what follows it.
bool ParseTaxCode(std::string_view value, TaxCodeOption& out) {
  std::size_t eq = value.rfind('=');
  if (eq == std::string_view::npos) return false;
  std::string code = AsciiUpper(value.substr(eq + 1));
  for (std::string_view accepted : kTaxCodes) {
    if (code == accepted) {
      out.percent = std::string(value.substr(0, eq));
      out.code = std::move(code);
      return true;
    }
  }
  return false;
}

}  // namespace

std::string HelpText() {
  return "Utilização: verifax-cli [opções] FICHEIRO\n"
         "\n"
         "Inspeciona e corrige um ficheiro SAF-T (PT). Antes de gravar as correções,\n"
         "guarda uma cópia de segurança do ficheiro original na mesma pasta.\n"
         "\n"
         "Opções:\n"
         "  -y, --yes                responde Sim à confirmação\n"
         "  -n, --dry-run            inspeciona sem cópia de segurança e sem gravar\n"
         "      --no-input           não pergunta nada no terminal\n"
         "      --city TEXTO         cidade da empresa\n"
         "      --postal-code TEXTO  código postal da empresa (0000-000)\n"
         "      --nif TEXTO          número de contribuinte da empresa\n"
         "      --tax-code TAXA=CÓDIGO\n"
         "                           código de IVA para a taxa indicada: ISE, RED, INT,\n"
         "                           NOR ou OUT (pode repetir-se)\n"
         "      --help               mostra esta ajuda\n"
         "      --version            mostra a versão\n"
         "\n"
         "Uma pergunta sem resposta nas opções é feita no terminal; sem terminal, ou com\n"
         "--no-input, a inspeção é cancelada.\n"
         "\n"
         "Saída: 0 sem correções, 1 ficheiro corrigido, 2 erro, 64 utilização incorreta.\n";
}

ParseResult ParseArguments(const std::vector<std::string>& args) {
  ParseResult result;
  CliOptions& options = result.options;
  std::vector<std::string> files;

  // Applies one option; `value` is only read for options that take one.
  auto apply = [&](Option option, const std::string& value,
                   const std::string& shown) -> std::optional<ParseResult> {
    switch (option) {
      case Option::kYes:
        options.yes = true;
        break;
      case Option::kDryRun:
        options.dry_run = true;
        break;
      case Option::kNoInput:
        options.no_input = true;
        break;
      case Option::kCity:
        options.city = value;
        break;
      case Option::kPostalCode:
        options.postal_code = value;
        break;
      case Option::kNif:
        options.nif = value;
        break;
      case Option::kTaxCode: {
        TaxCodeOption tax;
        if (!ParseTaxCode(value, tax)) {
          return UsageError("valor inválido para " + shown + ": '" + value +
                            "' (esperado TAXA=CÓDIGO, com CÓDIGO ISE, RED, INT, NOR ou OUT)");
        }
        options.tax_codes.push_back(std::move(tax));
        break;
      }
      case Option::kHelp:
        return Exit(HelpText());
      case Option::kVersion:
        return Exit(std::string(kProgram) + " " + VERIFAX_VERSION + "\n");
    }
    return std::nullopt;
  };

  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      files.push_back(arg);  // "-" alone is a file name, as usual
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    if (arg[1] == '-') {
      std::size_t eq = arg.find('=');
      std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
      const LongOption* found = nullptr;
      for (const LongOption& candidate : kLongOptions) {
        if (candidate.name == name) found = &candidate;
      }
      std::string shown = "--" + name;
      if (found == nullptr) return UsageError("opção desconhecida: " + shown);
      std::string value;
      if (found->takes_value) {
        if (eq != std::string::npos) {
          value = arg.substr(eq + 1);
        } else if (i + 1 < args.size()) {
          value = args[++i];
        } else {
          return UsageError("a opção " + shown + " requer um valor");
        }
      } else if (eq != std::string::npos) {
        return UsageError("a opção " + shown + " não aceita valor");
      }
      if (auto stop = apply(found->option, value, shown)) return *stop;
      continue;
    }
    for (std::size_t k = 1; k < arg.size(); ++k) {
      Option option;
      if (arg[k] == 'y') {
        option = Option::kYes;
      } else if (arg[k] == 'n') {
        option = Option::kDryRun;
      } else {
        // Show the whole (possibly multi-byte) character rather than a lone byte.
        std::size_t end = k + 1;
        while (end < arg.size() && (static_cast<unsigned char>(arg[end]) & 0xC0) == 0x80) ++end;
        return UsageError("opção desconhecida: -" + arg.substr(k, end - k));
      }
      apply(option, std::string(), std::string());
    }
  }

  if (files.empty()) return UsageError("falta o FICHEIRO");
  if (files.size() > 1)
    return UsageError("só pode indicar um FICHEIRO (a mais: '" + files[1] + "')");
  options.file = std::move(files[0]);
  return result;
}

}  // namespace verifax
