#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "inspection/records.h"

namespace verifax {

/// The text of the "Aviso" confirmation, three lines joined by CR LF.
inline constexpr std::string_view kConfirmationText =
    "O ficheiro SAF-T vai ser inspecionado.\r\n"
    "Será efetuada uma cópia de segurança do ficheiro original.\r\n"
    "Tem a certeza que deseja continuar?";

/// How the run asks the user. The desktop program answers with message boxes and the
/// correction dialogs; the command line with its options or the terminal; tests in code.
class UserPrompts {
 public:
  virtual ~UserPrompts() = default;
  /// Yes/No to kConfirmationText.
  virtual bool ConfirmInspection() = 0;
  /// The company data dialog: fills `answer` whichever way it closes; true for Ok.
  virtual bool EditCompanyInfo(const TCompany& question, TCompany& answer) = 0;
  /// The tax rate dialog: fills `answer` whichever way it closes; true for Ok.
  virtual bool EditTaxInfo(const TTax& question, TTax& answer) = 0;
};

/// The results pane.
class LogSink {
 public:
  virtual ~LogSink() = default;
  /// Appends one text as a new last line; a text holding CR LF shows as several lines.
  virtual void Log(std::string_view text) = 0;
  /// Empties the pane.
  virtual void Clear() = 0;
};

/// The separators of the user's regional number format.
struct NumberFormat {
  std::string decimal_separator = ".";
  std::string thousands_separator = ",";
};

struct RunOptions {
  /// The document's path exactly as the user gave it (the text of the file field, or the
  /// command line argument): used unchanged in log lines and for the backup's folder.
  std::string file_path;
  /// Everything but the backup and the write.
  bool dry_run = false;
  NumberFormat number_format;
  /// Local date and time for the backup's name; empty means the system clock.
  std::function<std::tm()> local_time;
};

enum class RunOutcome {
  kDeclined,  ///< the confirmation was answered No: nothing happened
  kClean,     ///< no repairs: "Ficheiro sem erros!"
  kRepaired,  ///< repairs made, backed up and saved (or, dry run, would have been)
  kFailed,    ///< the run failed; the pane was emptied and `message` is for the "Erro" box
};

struct RunResult {
  RunOutcome outcome = RunOutcome::kDeclined;
  int error_cnt = 0;
  std::string message;
};

/// One inspection run: confirmation, load, the four passes, then "Ficheiro sem erros!" or
/// backup and save. `tax_info` holds the tax rate answers of earlier runs and receives
/// this run's; it belongs to the caller, which keeps it as long as it likes.
RunResult RunInspection(const RunOptions& options, UserPrompts& prompts, LogSink& log,
                        std::vector<TTax>& tax_info);

}  // namespace verifax
