#pragma once

#include <string_view>

#include "inspection/inspection_run.h"

class QPlainTextEdit;

namespace verifax {

/// The results pane as the run's log: each text a new last line of `pane`.
class ResultsLog : public LogSink {
 public:
  explicit ResultsLog(QPlainTextEdit* pane) : pane_(pane) {}

  /// Appends `text` as a new last line; CR LF inside it starts further lines, and an
  /// empty text is an empty line. Each line costs its own length, however long the
  /// pane already is.
  void Log(std::string_view text) override;

  /// Empties the pane.
  void Clear() override;

  /// Scrolls the pane to its last line.
  void ShowEnd();

 private:
  void AppendLine(std::string_view line);

  QPlainTextEdit* pane_;
  bool has_lines_ = false;  // an empty pane and one empty line look the same otherwise
};

}  // namespace verifax
