#include "dialogs/company_info_model.h"

#include "inspection/text_util.h"
#include "inspection/validators.h"

namespace verifax {

namespace {

// What a length-limited edit keeps of a text put into it.
std::string Limited(std::string_view text, int max_length) {
  if (max_length <= 0) return std::string(text);
  return Utf16Left(text, static_cast<std::size_t>(max_length));
}

FieldColour Judged(bool valid) {
  return valid ? FieldColour::kGreen : FieldColour::kOrange;
}

}  // namespace

void CompanyInfoModel::Fill(const TCompany& company) {
  question_ = company;

  const std::string_view postalcode = company.postalcode;
  const std::size_t hyphen = postalcode.find('-');
  if (hyphen != std::string_view::npos) {
    postal_code4_ = Limited(postalcode.substr(0, hyphen), kPostalCode4MaxLength);
    postal_code3_ = Limited(postalcode.substr(hyphen + 1), kPostalCode3MaxLength);
  } else {
    postal_code4_ = Limited(Utf16Left(postalcode, 4), kPostalCode4MaxLength);
    postal_code3_ = "000";
  }
  city_ = company.city;
  nif_ = Limited(company.nif, kNifMaxLength);

  address_enabled_ = company.edit_address;
  if (address_enabled_) {
    postal_code_colour_ = FieldColour::kWindow;
    city_colour_ = FieldColour::kWindow;
    postal_code4_label_ = postal_code4_;
    postal_code3_label_ = postal_code3_;
    city_label_ = city_;
  } else {
    postal_code_colour_ = FieldColour::kSilver;
    city_colour_ = FieldColour::kSilver;
    postal_code4_label_.clear();
    postal_code3_label_.clear();
    city_label_.clear();
  }

  nif_enabled_ = company.edit_nif;
  if (nif_enabled_) {
    nif_colour_ = FieldColour::kWindow;
    // The label shows the number as the document holds it, not as the edit cut it.
    nif_label_ = company.nif;
  } else {
    nif_colour_ = FieldColour::kSilver;
    nif_label_.clear();
  }

  ok_enabled_ = VerifyCompanyInfo();
}

void CompanyInfoModel::SetPostalCode4(std::string_view text) {
  postal_code4_ = Limited(text, kPostalCode4MaxLength);
  Changed();
}

void CompanyInfoModel::SetPostalCode3(std::string_view text) {
  postal_code3_ = Limited(text, kPostalCode3MaxLength);
  Changed();
}

void CompanyInfoModel::SetCity(std::string_view text) {
  city_ = text;
  Changed();
}

void CompanyInfoModel::SetNif(std::string_view text) {
  nif_ = Limited(text, kNifMaxLength);
  Changed();
}

void CompanyInfoModel::Changed() {
  ok_enabled_ = VerifyCompanyInfo();
}

bool CompanyInfoModel::VerifyCompanyInfo() {
  bool postal_code_valid = true;
  bool city_valid = true;
  bool nif_valid = true;

  if (address_enabled_) {
    std::string postalcode(Trim(postal_code4_));
    postalcode += '-';
    postalcode += Trim(postal_code3_);
    postal_code_valid = IsPostalCodeValid(postalcode);
    postal_code_colour_ = Judged(postal_code_valid);

    city_valid = !Trim(city_).empty();
    city_colour_ = Judged(city_valid);
  }

  if (nif_enabled_) {
    nif_valid = IsNIFValid(Trim(nif_), "PT", true);
    nif_colour_ = Judged(nif_valid);
  }

  return postal_code_valid && city_valid && nif_valid;
}

TCompany CompanyInfoModel::CollectAnswer() const {
  TCompany answer = question_;
  answer.city = Trim(city_);

  std::string_view part4 = Trim(postal_code4_);
  std::string_view part3 = Trim(postal_code3_);
  if (part4.empty()) part4 = "0000";
  if (part3.empty()) part3 = "000";
  answer.postalcode = std::string(part4) + "-" + std::string(part3);

  answer.nif = Trim(nif_);
  return answer;
}

}  // namespace verifax
