#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "inspection/inspection_run.h"

namespace verifax {

/// Exit statuses of verifax-cli.
inline constexpr int kExitClean = 0;     ///< nothing repaired, or the confirmation declined
inline constexpr int kExitRepaired = 1;  ///< repairs made (and saved, unless a dry run)
inline constexpr int kExitFailed = 2;    ///< the run failed

/// verifax-cli: one inspection run with the terminal in place of the windows. `args` are
/// the arguments after the program name, UTF-8. stdout gets the results pane when the
/// run ends (one pane line per line, "\n" line ends, UTF-8); on failure stdout stays
/// empty and `err` gets the message, CR LF as "\n", then "\n". Prompts go to `err`.
/// Returns the exit status: kExitClean, kExitRepaired, kExitFailed or kUsageExitCode.
int RunCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err, bool stdin_is_terminal, const NumberFormat& number_format);

}  // namespace verifax
