#include "app/results_log.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextDocument>

#include "dialogs/qt_text.h"

namespace verifax {

void ResultsLog::Log(std::string_view text) {
  for (;;) {
    const std::size_t brk = text.find("\r\n");
    AppendLine(text.substr(0, brk));
    if (brk == std::string_view::npos) return;
    text.remove_prefix(brk + 2);
  }
}

void ResultsLog::AppendLine(std::string_view line) {
  if (!editing_) {
    cursor_ = QTextCursor(pane_->document());
    cursor_.movePosition(QTextCursor::End);
    cursor_.beginEditBlock();
    editing_ = true;
  }
  if (has_lines_ || !pane_->document()->isEmpty()) cursor_.insertBlock();
  cursor_.insertText(FromEngineText(line));
  has_lines_ = true;
}

void ResultsLog::Flush() {
  if (!editing_) return;
  cursor_.endEditBlock();
  cursor_ = QTextCursor();
  editing_ = false;
}

void ResultsLog::Clear() {
  Flush();
  pane_->clear();
  has_lines_ = false;
}

void ResultsLog::ShowEnd() {
  Flush();
  pane_->moveCursor(QTextCursor::End);
  pane_->verticalScrollBar()->setValue(pane_->verticalScrollBar()->maximum());
}

}  // namespace verifax
