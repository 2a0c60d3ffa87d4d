#include "app/results_log.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
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
  QTextDocument* document = pane_->document();
  QTextCursor cursor(document);
  cursor.movePosition(QTextCursor::End);
  if (has_lines_ || !document->isEmpty()) cursor.insertBlock();
  cursor.insertText(FromEngineText(line));
  has_lines_ = true;
}

void ResultsLog::Clear() {
  pane_->clear();
  has_lines_ = false;
}

void ResultsLog::ShowEnd() {
  pane_->moveCursor(QTextCursor::End);
  pane_->verticalScrollBar()->setValue(pane_->verticalScrollBar()->maximum());
}

}  // namespace verifax
