#pragma once

#include <QTextCursor>
#include <string_view>

#include "inspection/inspection_run.h"

class QPlainTextEdit;

namespace verifax {

/// The results pane as the run's log: each text a new last line of `pane`.
///
/// Lines are gathered in one edit of the pane's document, which the pane lays out and
/// shows at Flush: a run may log a hundred thousand lines, and laying the pane out after
/// each of them would cost far more than the run itself.
class ResultsLog : public LogSink {
 public:
  explicit ResultsLog(QPlainTextEdit* pane) : pane_(pane) {}
  ~ResultsLog() override { Flush(); }
  ResultsLog(const ResultsLog&) = delete;
  ResultsLog& operator=(const ResultsLog&) = delete;

  /// Appends `text` as a new last line; CR LF inside it starts further lines, and an
  /// empty text is an empty line. Shown at the next Flush.
  void Log(std::string_view text) override;

  /// Empties the pane.
  void Clear() override;

  /// Shows the lines logged so far (before a dialog opens over the window, and at the
  /// end of a run).
  void Flush();

  /// Shows the lines logged so far and scrolls the pane to its last line.
  void ShowEnd();

 private:
  void AppendLine(std::string_view line);

  QPlainTextEdit* pane_;
  QTextCursor cursor_;  // at the end of the pane while an edit is open
  bool editing_ = false;
  bool has_lines_ = false;  // an empty pane and one empty line look the same otherwise
};

}  // namespace verifax
