#include "app/message_box.h"

#include <QAbstractButton>

#include "dialogs/form_style.h"

namespace verifax {

QMessageBox::StandardButton AppMessageBox::next_answer_ = QMessageBox::NoButton;

QMessageBox::StandardButton AppMessageBox::Warning(QWidget* parent, const QString& title,
                                                   const QString& text,
                                                   QMessageBox::StandardButtons buttons) {
  if (next_answer_ != QMessageBox::NoButton) {
    const QMessageBox::StandardButton answer = next_answer_;
    next_answer_ = QMessageBox::NoButton;
    return answer;
  }
  QMessageBox box(QMessageBox::Warning, title, WithQtLineBreaks(text), buttons, parent);
  box.setTextFormat(Qt::PlainText);  // file names and messages are never markup
  // The program speaks Portuguese whatever translations the system has.
  if (QAbstractButton* yes = box.button(QMessageBox::Yes)) yes->setText(QStringLiteral("&Sim"));
  if (QAbstractButton* no = box.button(QMessageBox::No)) no->setText(QStringLiteral("&Não"));
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

void AppMessageBox::SetNextAnswer(QMessageBox::StandardButton answer) {
  next_answer_ = answer;
}

}  // namespace verifax
