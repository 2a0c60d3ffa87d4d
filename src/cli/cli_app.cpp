#include "cli/cli_app.h"

#include <cstddef>
#include <exception>
#include <string_view>

#include "cli/cli_options.h"
#include "cli/cli_prompts.h"
#include "inspection/text_codec.h"

namespace verifax {

namespace {

/// The results pane, kept in memory until the run ends.
class MemoryLog : public LogSink {
 public:
  void Log(std::string_view text) override { texts_.emplace_back(text); }
  void Clear() override { texts_.clear(); }
  const std::vector<std::string>& texts() const { return texts_; }

 private:
  std::vector<std::string> texts_;
};

// Writes `text` as lines: each piece between CR LF pairs, then "\n".
void WriteLines(std::ostream& out, std::string_view text) {
  for (;;) {
    std::size_t brk = text.find("\r\n");
    out << Wtf8ToUtf8(text.substr(0, brk)) << '\n';
    if (brk == std::string_view::npos) return;
    text.remove_prefix(brk + 2);
  }
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err, bool stdin_is_terminal, const NumberFormat& number_format) {
  ParseResult parsed = ParseArguments(args);
  switch (parsed.status) {
    case ParseStatus::kExit:
      out << parsed.text << std::flush;
      return kExitClean;
    case ParseStatus::kUsageError:
      err << parsed.text << std::flush;
      return kUsageExitCode;
    case ParseStatus::kRun:
      break;
  }
  const CliOptions& options = parsed.options;

  RunOptions run;
  run.file_path = options.file;
  run.dry_run = options.dry_run;
  run.number_format = number_format;

  CliPrompts prompts(options, in, err, stdin_is_terminal && !options.no_input);
  MemoryLog log;
  std::vector<TTax> tax_info;
  RunResult result;
  try {
    result = RunInspection(run, prompts, log, tax_info);
  } catch (const std::exception& e) {
    // The engine reports its own failures in the result; anything that still escapes
    // (out of memory, say) is a failed run all the same.
    result.outcome = RunOutcome::kFailed;
    result.message = e.what();
  }

  switch (result.outcome) {
    case RunOutcome::kDeclined:
      return kExitClean;
    case RunOutcome::kFailed:
      WriteLines(err, result.message);
      err << std::flush;
      return kExitFailed;
    case RunOutcome::kClean:
    case RunOutcome::kRepaired:
      for (const std::string& text : log.texts()) WriteLines(out, text);
      out << std::flush;
      return result.outcome == RunOutcome::kClean ? kExitClean : kExitRepaired;
  }
  return kExitFailed;
}

}  // namespace verifax
