#pragma once

#include <array>
#include <string>
#include <string_view>

#include "dialogs/field_colour.h"
#include "inspection/records.h"

namespace verifax {

/// The tax rate dialog ("Informação Taxa") without its widgets.
class TaxInfoModel {
 public:
  /// The combo box items, in order: "ISE    (Isenta)", "RED  (Reduzida)",
  /// "INT   (Intermédia)", "NOR (Normal)", "OUT  (Outras)".
  static const std::array<std::string_view, 5>& Items();

  /// The code of an item: its first three characters, trimmed and upper-cased.
  static std::string ItemCode(std::string_view item);

  /// Index of the item whose code equals `code` trimmed and upper-cased, or -1.
  static int IndexOfCode(std::string_view code);

  /// Shows the question: rejected code, description, percentage; preselects the first
  /// item whose first three characters, upper-cased, equal those of the description
  /// (untrimmed). Then verifies.
  void Fill(const TTax& question);

  /// Picks an item (-1: none, as when the combo box's text is edited away from every
  /// item). Re-verifies, as the change handler does.
  void Select(int index);

  /// True when an item is selected; colours the combo box.
  bool VerifyTaxInfo();

  /// The answer as the dialog collects it on close, whichever button closed it: the
  /// question, with `code` set to the selected item's code when there is a selection.
  TTax CollectAnswer() const;

  int selected_index() const { return selected_; }
  std::string_view selected_text() const;  ///< "" without a selection
  const std::string& code_label() const { return question_.code; }
  const std::string& description() const { return question_.description; }
  const std::string& percentage() const { return question_.percentage; }
  bool ok_enabled() const { return ok_enabled_; }
  FieldColour combo_colour() const { return combo_colour_; }

 private:
  TTax question_;
  int selected_ = -1;
  bool ok_enabled_ = false;
  FieldColour combo_colour_ = FieldColour::kWindow;
};

}  // namespace verifax
