#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace verifax {

/// Characters with codes 0 to 32 (blanks, tabs, line breaks, other controls). In UTF-8
/// and in Windows-1252 these are exactly the bytes 0 to 32.
constexpr bool IsBlankChar(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

/// Empty, or only characters with codes 0 to 32.
bool IsBlank(std::string_view text);

/// Removes characters with codes 0 to 32 from both ends.
std::string_view Trim(std::string_view text);

/// Upper-cases the ASCII letters a-z only; every other byte is kept.
std::string AsciiUpper(std::string_view text);
constexpr char AsciiUpperChar(char c) {
  return (c >= 'a' && c <= 'z') ? char(c - 32) : c;
}

/// Number of UTF-16 code units of a UTF-8 (or WTF-8) text: the length the user's
/// platform would report for it.
std::size_t Utf16Length(std::string_view utf8);

/// The first `units` UTF-16 code units of a UTF-8 text, as UTF-8. A cut through a
/// surrogate pair keeps its first half, written as an unpaired surrogate (WTF-8), just as
/// the platform's 16-bit strings would.
std::string Utf16Left(std::string_view utf8, std::size_t units);

/// Decimal text of a signed integer ("0", "-12").
std::string ToDecimal(long long value);

}  // namespace verifax
