#pragma once

#include "inspection/inspection_run.h"

class QWidget;

namespace verifax {

class ResultsLog;

/// Asks the run's questions with the desktop program's windows: the "Aviso" box and
/// the two correction dialogs, all modal over `window`, with the lines of `log` shown
/// behind them. Once the user confirms, the wait cursor is on until RestoreCursor (or
/// the end of this object).
class GuiPrompts : public UserPrompts {
 public:
  GuiPrompts(QWidget* window, ResultsLog& log) : window_(window), log_(log) {}
  ~GuiPrompts() override { RestoreCursor(); }
  GuiPrompts(const GuiPrompts&) = delete;
  GuiPrompts& operator=(const GuiPrompts&) = delete;

  /// "Aviso", warning icon, Yes and No; on Yes the wait cursor goes on.
  bool ConfirmInspection() override;
  /// The company data dialog (TCompanyInfoFRM).
  bool EditCompanyInfo(const TCompany& question, TCompany& answer) override;
  /// The tax rate dialog (TTaxInfoFRM).
  bool EditTaxInfo(const TTax& question, TTax& answer) override;

  /// Puts the normal cursor back if the confirmation put the wait cursor on.
  void RestoreCursor();

 private:
  QWidget* window_;
  ResultsLog& log_;
  bool waiting_ = false;
};

}  // namespace verifax
