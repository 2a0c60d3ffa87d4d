#include "app/gui_prompts.h"

#include <QApplication>

#include "app/message_box.h"
#include "app/results_log.h"
#include "dialogs/company_info_form.h"
#include "dialogs/qt_text.h"
#include "dialogs/tax_info_form.h"

namespace verifax {

bool GuiPrompts::ConfirmInspection() {
  const QMessageBox::StandardButton answer =
      AppMessageBox::Warning(window_, QStringLiteral("Aviso"), FromEngineText(kConfirmationText),
                             QMessageBox::Yes | QMessageBox::No);
  if (answer != QMessageBox::Yes) return false;
  // From here to the end of the run, the correction dialogs included.
  QApplication::setOverrideCursor(Qt::WaitCursor);
  waiting_ = true;
  return true;
}

bool GuiPrompts::EditCompanyInfo(const TCompany& question, TCompany& answer) {
  log_.Flush();
  return verifax::EditCompanyInfo(window_, question, answer);
}

bool GuiPrompts::EditTaxInfo(const TTax& question, TTax& answer) {
  log_.Flush();
  return verifax::EditTaxInfo(window_, question, answer);
}

void GuiPrompts::RestoreCursor() {
  if (!waiting_) return;
  QApplication::restoreOverrideCursor();
  waiting_ = false;
}

}  // namespace verifax
