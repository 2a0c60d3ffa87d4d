#pragma once

#include <optional>
#include <string>
#include <vector>

namespace verifax {

/// One `--tax-code PERCENT=CODE` answer.
struct TaxCodeOption {
  std::string percent;  ///< as given, matched trimmed and upper-cased
  std::string code;     ///< ISE, RED, INT, NOR or OUT, upper-cased

  bool operator==(const TaxCodeOption&) const = default;
};

/// What the command line asks for.
struct CliOptions {
  bool yes = false;
  bool dry_run = false;
  bool no_input = false;
  std::optional<std::string> city;
  std::optional<std::string> postal_code;
  std::optional<std::string> nif;
  std::vector<TaxCodeOption> tax_codes;  ///< in command line order; the first match counts
  std::string file;                      ///< exactly as given
};

enum class ParseStatus {
  kRun,         ///< run an inspection with `options`
  kExit,        ///< --help or --version: print `text` on stdout, exit 0
  kUsageError,  ///< print `text` on stderr, exit kUsageExitCode
};

inline constexpr int kUsageExitCode = 64;

struct ParseResult {
  ParseStatus status = ParseStatus::kRun;
  CliOptions options;
  /// kExit: the help or version text; kUsageError: the complete message for stderr.
  /// Both end with "\n".
  std::string text;
};

/// Parses the arguments that follow the program name. Long options take `--name=value`
/// or `--name value`; short ones combine (`-yn`); `--` ends the options; options and
/// FILE may come in any order. The first --help or --version wins over what follows it.
ParseResult ParseArguments(const std::vector<std::string>& args);

/// The --help text.
std::string HelpText();

}  // namespace verifax
