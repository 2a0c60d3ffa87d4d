#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "cli/cli_options.h"
#include "dialogs/company_info_model.h"
#include "dialogs/tax_info_model.h"
#include "inspection/inspection_run.h"

namespace verifax {

/// Answers the run's questions from the command line options, or else on the terminal.
/// Everything it prints goes to `err`; stdout is kept for the results.
class CliPrompts : public UserPrompts {
 public:
  /// `interactive`: a question that no option answers may be asked by reading lines
  /// from `in` (stdin is a terminal and --no-input was not given). Otherwise such a
  /// question counts as cancelled. The confirmation is always read from `in` unless
  /// --yes was given.
  CliPrompts(const CliOptions& options, std::istream& in, std::ostream& err, bool interactive)
      : options_(options), in_(in), err_(err), interactive_(interactive) {}

  /// --yes, or one line from `in` that is s, sim, y or yes (letter case and blanks
  /// around ignored). Anything else, end of input included, is No.
  bool ConfirmInspection() override;

  /// The company data dialog's model filled from `question`; --postal-code and --city
  /// replace their fields when the address is asked, --nif when the tax number is. With
  /// at least one of them applied, true exactly when the model accepts the fields.
  /// Without, asked on the terminal when interactive, else cancelled. `answer` is
  /// always what the model collects.
  bool EditCompanyInfo(const TCompany& question, TCompany& answer) override;

  /// The first --tax-code whose percentage, trimmed and upper-cased, equals the
  /// question's selects the code; true when that selects an item. Without a match,
  /// asked on the terminal when interactive, else cancelled. `answer` is always what the
  /// model collects.
  bool EditTaxInfo(const TTax& question, TTax& answer) override;

 private:
  // Terminal questions: re-ask until valid; a blank line or end of input cancels.
  bool AskCompanyInfo(const TCompany& question, CompanyInfoModel& model);
  bool AskTaxInfo(const TTax& question, TaxInfoModel& model);
  // Prints `prompt` and reads one line, trimmed; false at end of input or a blank line.
  bool ReadAnswer(const std::string& prompt, std::string& line);

  const CliOptions& options_;
  std::istream& in_;
  std::ostream& err_;
  bool interactive_;
};

/// Puts a postal code into the company model's two fields as the dialog's fill splits
/// it: at the first "-"; without one, its first four characters and "000".
void SetPostalCode(CompanyInfoModel& model, std::string_view postal_code);

}  // namespace verifax
