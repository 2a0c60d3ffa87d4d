#include <clocale>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_app.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
// shellapi.h needs windows.h first.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on
#else
#include <unistd.h>
#endif

namespace {

// The user's regional separators. The C locale is put back afterwards so that nothing
// else in the process depends on the environment's locale.
verifax::NumberFormat UserNumberFormat() {
  verifax::NumberFormat format;
  if (std::setlocale(LC_ALL, "") != nullptr) {
    const std::lconv* conv = std::localeconv();
    if (conv->decimal_point != nullptr && *conv->decimal_point != '\0') {
      format.decimal_separator = conv->decimal_point;
    }
    if (conv->thousands_sep != nullptr) format.thousands_separator = conv->thousands_sep;
    std::setlocale(LC_ALL, "C");
  }
  return format;
}

#ifdef _WIN32
std::string ToUtf8(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string result(static_cast<size_t>(size - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
  return result;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  verifax::NumberFormat number_format = UserNumberFormat();
  std::vector<std::string> args;
#ifdef _WIN32
  (void)argc;
  (void)argv;
  // The ANSI argv cannot hold every file name; take the arguments as UTF-8 instead.
  int count = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) args.push_back(ToUtf8(wide[i]));
    LocalFree(wide);
  }
  // Bytes out exactly as written: UTF-8, "\n" line ends.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);  // answers typed at the console arrive as UTF-8 too
  bool stdin_is_terminal = _isatty(_fileno(stdin)) != 0;
#else
  args.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
  bool stdin_is_terminal = isatty(STDIN_FILENO) != 0;
#endif
  // The results can run to millions of lines; the C streams are not used alongside.
  std::ios::sync_with_stdio(false);
  return verifax::RunCli(args, std::cin, std::cout, std::cerr, stdin_is_terminal, number_format);
}
