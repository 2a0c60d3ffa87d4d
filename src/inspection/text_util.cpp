#include "inspection/text_util.h"

namespace verifax {

bool IsBlank(std::string_view text) {
  for (char c : text)
    if (!IsBlankChar(c)) return false;
  return true;
}

std::string_view Trim(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlankChar(text[begin])) ++begin;
  while (end > begin && IsBlankChar(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiUpperChar(c);
  return out;
}

namespace {
// Byte length of the UTF-8 sequence that starts with `lead`, and the UTF-16 units it
// stands for. Continuation or invalid bytes count as one unit each, so the functions
// never loop forever on bad input.
void SequenceInfo(unsigned char lead, std::size_t& bytes, std::size_t& units) {
  if (lead < 0x80) {
    bytes = 1, units = 1;
  } else if ((lead & 0xE0) == 0xC0) {
    bytes = 2, units = 1;
  } else if ((lead & 0xF0) == 0xE0) {
    bytes = 3, units = 1;
  } else if ((lead & 0xF8) == 0xF0) {
    bytes = 4, units = 2;
  } else {
    bytes = 1, units = 1;
  }
}
}  // namespace

std::size_t Utf16Length(std::string_view utf8) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t b, u;
    SequenceInfo(static_cast<unsigned char>(utf8[i]), b, u);
    i += b;
    units += u;
  }
  return units;
}

std::string Utf16Left(std::string_view utf8, std::size_t units) {
  std::size_t i = 0;
  std::size_t taken = 0;
  while (i < utf8.size()) {
    std::size_t b, u;
    SequenceInfo(static_cast<unsigned char>(utf8[i]), b, u);
    if (i + b > utf8.size()) b = utf8.size() - i;
    if (taken + u > units) {
      if (u == 2 && taken + 1 == units && b == 4) {
        // Keep the high surrogate of the pair as its own three-byte form.
        const auto* s = reinterpret_cast<const unsigned char*>(utf8.data() + i);
        char32_t cp = (char32_t(s[0] & 0x07) << 18) | (char32_t(s[1] & 0x3F) << 12) |
                      (char32_t(s[2] & 0x3F) << 6) | char32_t(s[3] & 0x3F);
        char32_t high = 0xD800 + ((cp - 0x10000) >> 10);
        std::string out(utf8.substr(0, i));
        out += char(0xE0 | (high >> 12));
        out += char(0x80 | ((high >> 6) & 0x3F));
        out += char(0x80 | (high & 0x3F));
        return out;
      }
      break;
    }
    i += b;
    taken += u;
  }
  return std::string(utf8.substr(0, i));
}

std::string ToDecimal(long long value) {
  return std::to_string(value);
}

}  // namespace verifax
