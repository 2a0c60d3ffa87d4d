#pragma once

#include <string>
#include <string_view>

#include "dialogs/field_colour.h"
#include "inspection/records.h"

namespace verifax {

/// The company data dialog ("Informação Empresa") without its widgets: what it shows,
/// what it accepts and what it answers. The Qt view and the command line drive it alike.
class CompanyInfoModel {
 public:
  /// Maximum lengths of the edits, in UTF-16 code units (0: none).
  static constexpr int kPostalCode4MaxLength = 4;
  static constexpr int kPostalCode3MaxLength = 3;
  static constexpr int kNifMaxLength = 9;

  /// Fills the fields from the question: the postal code split at its first "-" (no
  /// hyphen: its first four characters and "000"), city and tax number untrimmed, each
  /// cut to its edit's maximum length. The grey labels show what the edits then hold,
  /// except the tax number label, which shows the number uncut. The parts not asked are
  /// disabled and silver with their grey labels hidden and empty. Then verifies (colours
  /// and Ok).
  void Fill(const TCompany& company);

  /// Replace a field's text, as typing or pasting does: a text longer than the field's
  /// maximum keeps its first characters. Each re-verifies, as the change handlers do.
  void SetPostalCode4(std::string_view text);
  void SetPostalCode3(std::string_view text);
  void SetCity(std::string_view text);
  void SetNif(std::string_view text);

  /// True when every part asked for is valid; colours the enabled fields.
  bool VerifyCompanyInfo();

  /// The answer as the dialog collects it on close, whichever button closed it: each
  /// text trimmed, an empty postal code part as "0000" or "000". Flags as in the question.
  TCompany CollectAnswer() const;

  const std::string& postal_code4() const { return postal_code4_; }
  const std::string& postal_code3() const { return postal_code3_; }
  const std::string& city() const { return city_; }
  const std::string& nif() const { return nif_; }

  bool address_enabled() const { return address_enabled_; }
  bool nif_enabled() const { return nif_enabled_; }
  bool ok_enabled() const { return ok_enabled_; }

  FieldColour postal_code_colour() const { return postal_code_colour_; }  ///< both parts
  FieldColour city_colour() const { return city_colour_; }
  FieldColour nif_colour() const { return nif_colour_; }

  /// The grey labels above the fields: captions and visibility.
  const std::string& postal_code4_label() const { return postal_code4_label_; }
  const std::string& postal_code3_label() const { return postal_code3_label_; }
  const std::string& city_label() const { return city_label_; }
  const std::string& nif_label() const { return nif_label_; }
  bool address_labels_visible() const { return address_enabled_; }
  bool nif_label_visible() const { return nif_enabled_; }

 private:
  void Changed();

  TCompany question_;
  std::string postal_code4_ = "0000";
  std::string postal_code3_ = "000";
  std::string city_;
  std::string nif_ = "999999990";
  bool address_enabled_ = true;
  bool nif_enabled_ = true;
  bool ok_enabled_ = false;
  FieldColour postal_code_colour_ = FieldColour::kWindow;
  FieldColour city_colour_ = FieldColour::kWindow;
  FieldColour nif_colour_ = FieldColour::kWindow;
  std::string postal_code4_label_ = "0000";
  std::string postal_code3_label_ = "000";
  std::string city_label_ = "Cidade";
  std::string nif_label_ = "999999990";
};

}  // namespace verifax
