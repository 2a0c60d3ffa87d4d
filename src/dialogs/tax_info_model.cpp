#include "dialogs/tax_info_model.h"

#include "inspection/accepted_values.h"
#include "inspection/text_util.h"

namespace verifax {

namespace {

// The first three characters of a text, upper-cased: what items and descriptions are
// compared by.
std::string Head3Upper(std::string_view text) {
  return AsciiUpper(Utf16Left(text, 3));
}

}  // namespace

const std::array<std::string_view, 5>& TaxInfoModel::Items() {
  static constexpr std::array<std::string_view, 5> kItems = {
      "ISE    (Isenta)", "RED  (Reduzida)", "INT   (Intermédia)", "NOR (Normal)", "OUT  (Outras)"};
  return kItems;
}

std::string TaxInfoModel::ItemCode(std::string_view item) {
  return AsciiUpper(Trim(Utf16Left(item, 3)));
}

int TaxInfoModel::IndexOfCode(std::string_view code) {
  const std::string wanted = AsciiUpper(Trim(code));
  const auto& items = Items();
  for (std::size_t i = 0; i < items.size(); ++i)
    if (ItemCode(items[i]) == wanted) return static_cast<int>(i);
  return -1;
}

void TaxInfoModel::Fill(const TTax& question) {
  question_ = question;
  selected_ = -1;
  const std::string wanted = Head3Upper(question.description);
  const auto& items = Items();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (Head3Upper(items[i]) == wanted) {
      selected_ = static_cast<int>(i);
      break;
    }
  }
  ok_enabled_ = VerifyTaxInfo();
}

void TaxInfoModel::Select(int index) {
  selected_ = (index >= 0 && index < static_cast<int>(Items().size())) ? index : -1;
  ok_enabled_ = VerifyTaxInfo();
}

bool TaxInfoModel::VerifyTaxInfo() {
  const bool picked = selected_ >= 0;
  combo_colour_ = picked ? FieldColour::kGreen : FieldColour::kOrange;
  return picked;
}

std::string_view TaxInfoModel::selected_text() const {
  return selected_ >= 0 ? Items()[static_cast<std::size_t>(selected_)] : std::string_view();
}

TTax TaxInfoModel::CollectAnswer() const {
  TTax answer = question_;
  const std::string_view text = selected_text();
  // Without a selection there is no text, and an empty text is no code.
  if (!text.empty() && TaxCodesAllowed().find(Head3Upper(text)) != std::string_view::npos)
    answer.code = AsciiUpper(Utf16Left(Trim(text), 3));
  return answer;
}

}  // namespace verifax
