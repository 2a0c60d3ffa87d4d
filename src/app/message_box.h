#pragma once

#include <QMessageBox>
#include <QString>

namespace verifax {

/// The program's modal message boxes, with a seam for tests: an answer given to
/// SetNextAnswer is returned by the next box without showing it.
class AppMessageBox {
 public:
  /// A box with a warning (exclamation mark) icon over `parent`; `text` is plain text
  /// in which CR LF breaks the line. Returns the button pressed; Esc and the close box
  /// give No where there is one, else OK.
  static QMessageBox::StandardButton Warning(QWidget* parent, const QString& title,
                                             const QString& text,
                                             QMessageBox::StandardButtons buttons);

  /// The next box answers `answer` at once (QMessageBox::NoButton: shows itself again).
  static void SetNextAnswer(QMessageBox::StandardButton answer);

 private:
  static QMessageBox::StandardButton next_answer_;
};

}  // namespace verifax
