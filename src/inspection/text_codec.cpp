#include "inspection/text_codec.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include <array>
#include <cstring>

namespace verifax {

namespace {

// Characters of the bytes 0x80 to 0x9F. The five bytes the code page leaves unassigned
// keep their own value so that every byte survives a round trip.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

constexpr char32_t Cp1252Char(unsigned char byte) {
  return (byte >= 0x80 && byte <= 0x9F) ? kCp1252High[byte - 0x80] : char32_t{byte};
}

std::size_t Utf8Length(char32_t cp) {
  if (cp < 0x80) return 1;
  if (cp < 0x800) return 2;
  if (cp < 0x10000) return 3;
  return 4;
}

// Writes the UTF-8 (or, for a surrogate, WTF-8) form of `cp` at `out`; returns its length.
std::size_t EncodeUtf8(char32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

// UTF-8 form of every Windows-1252 byte, built once so that decoding is a table copy.
struct Cp1252Utf8Table {
  std::array<std::array<char, 3>, 256> bytes{};
  std::array<unsigned char, 256> length{};
  Cp1252Utf8Table() {
    for (int b = 0; b < 256; ++b) {
      char buf[4];
      const std::size_t n = EncodeUtf8(Cp1252Char(static_cast<unsigned char>(b)), buf);
      length[b] = static_cast<unsigned char>(n);
      std::memcpy(bytes[b].data(), buf, n);
    }
  }
};

const Cp1252Utf8Table& Cp1252ToUtf8Table() {
  static const Cp1252Utf8Table table;
  return table;
}

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// True when the 8 bytes at `p` are all ASCII.
inline bool EightAscii(const unsigned char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return (word & kHighBits) == 0;
}

constexpr char32_t kMalformed = 0xFFFFFFFF;

inline bool IsHighSurrogate(char32_t cp) {
  return cp >= 0xD800 && cp <= 0xDBFF;
}
inline bool IsLowSurrogate(char32_t cp) {
  return cp >= 0xDC00 && cp <= 0xDFFF;
}

// Decodes the sequence at `p` (p < end) into `cp` and returns the bytes it takes. A
// malformed sequence gives kMalformed and takes its longest valid-looking beginning (at
// least one byte), so callers always advance. With `allow_surrogates`, ED A0..BF xx
// (a surrogate on its own, as WTF-8 writes it) is accepted.
inline std::size_t DecodeSequence(const unsigned char* p, const unsigned char* end,
                                  bool allow_surrogates, char32_t& cp) {
  const unsigned char lead = p[0];
  if (lead < 0x80) {
    cp = lead;
    return 1;
  }
  std::size_t length;
  unsigned char lo = 0x80;
  unsigned char hi = 0xBF;
  if (lead < 0xC2) {  // stray continuation byte, or the overlong leads C0 C1
    cp = kMalformed;
    return 1;
  } else if (lead < 0xE0) {
    length = 2;
    cp = lead & 0x1F;
  } else if (lead < 0xF0) {
    length = 3;
    cp = lead & 0x0F;
    if (lead == 0xE0) lo = 0xA0;                       // overlong
    if (lead == 0xED && !allow_surrogates) hi = 0x9F;  // surrogates
  } else if (lead < 0xF5) {
    length = 4;
    cp = lead & 0x07;
    if (lead == 0xF0) lo = 0x90;  // overlong
    if (lead == 0xF4) hi = 0x8F;  // past U+10FFFF
  } else {
    cp = kMalformed;
    return 1;
  }
  const std::size_t available = static_cast<std::size_t>(end - p);
  for (std::size_t k = 1; k < length; ++k) {
    if (k >= available || p[k] < lo || p[k] > hi) {
      cp = kMalformed;
      return k;
    }
    cp = (cp << 6) | (p[k] & 0x3F);
    lo = 0x80;
    hi = 0xBF;
  }
  return length;
}

// Like DecodeSequence for WTF-8, but a high surrogate directly followed by a low one
// (two texts with a split pair joined together) is read as the one character they form
// in UTF-16.
inline std::size_t DecodeWtf8Char(const unsigned char* p, const unsigned char* end, char32_t& cp) {
  std::size_t n = DecodeSequence(p, end, true, cp);
  if (IsHighSurrogate(cp) && end - (p + n) >= 3) {
    char32_t low;
    const std::size_t m = DecodeSequence(p + n, end, true, low);
    if (IsLowSurrogate(low)) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
      n += m;
    }
  }
  return n;
}

inline const unsigned char* Bytes(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

inline void PutUnit(char* out, char16_t unit, bool big_endian) {
  const char hi = static_cast<char>(unit >> 8);
  const char lo = static_cast<char>(unit & 0xFF);
  out[0] = big_endian ? hi : lo;
  out[1] = big_endian ? lo : hi;
}

inline char16_t GetUnit(const unsigned char* p, bool big_endian) {
  return big_endian ? static_cast<char16_t>((p[0] << 8) | p[1])
                    : static_cast<char16_t>((p[1] << 8) | p[0]);
}

}  // namespace

SourceEncoding DetectEncoding(std::string_view bytes, std::size_t& bom_size) {
  const unsigned char* b = Bytes(bytes);
  if (bytes.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    bom_size = 2;
    return SourceEncoding::kUtf16LE;
  }
  if (bytes.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    bom_size = 2;
    return SourceEncoding::kUtf16BE;
  }
  if (bytes.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    bom_size = 3;
    return SourceEncoding::kUtf8;
  }
  bom_size = 0;
  return SourceEncoding::kAnsi;
}

std::string_view ByteOrderMark(SourceEncoding encoding) {
  switch (encoding) {
    case SourceEncoding::kUtf8:
      return "\xEF\xBB\xBF";
    case SourceEncoding::kUtf16LE:
      return "\xFF\xFE";
    case SourceEncoding::kUtf16BE:
      return "\xFE\xFF";
    case SourceEncoding::kAnsi:
      break;
  }
  return {};
}

char32_t Cp1252ToUnicode(unsigned char byte) {
  return Cp1252Char(byte);
}

bool UnicodeToCp1252(char32_t ch, unsigned char& byte) {
  if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) {
    byte = static_cast<unsigned char>(ch);
    return true;
  }
  unsigned char b;
  switch (ch) {
    // clang-format off
    case 0x0081: b = 0x81; break;  case 0x008D: b = 0x8D; break;
    case 0x008F: b = 0x8F; break;  case 0x0090: b = 0x90; break;
    case 0x009D: b = 0x9D; break;
    case 0x20AC: b = 0x80; break;  case 0x201A: b = 0x82; break;
    case 0x0192: b = 0x83; break;  case 0x201E: b = 0x84; break;
    case 0x2026: b = 0x85; break;  case 0x2020: b = 0x86; break;
    case 0x2021: b = 0x87; break;  case 0x02C6: b = 0x88; break;
    case 0x2030: b = 0x89; break;  case 0x0160: b = 0x8A; break;
    case 0x2039: b = 0x8B; break;  case 0x0152: b = 0x8C; break;
    case 0x017D: b = 0x8E; break;  case 0x2018: b = 0x91; break;
    case 0x2019: b = 0x92; break;  case 0x201C: b = 0x93; break;
    case 0x201D: b = 0x94; break;  case 0x2022: b = 0x95; break;
    case 0x2013: b = 0x96; break;  case 0x2014: b = 0x97; break;
    case 0x02DC: b = 0x98; break;  case 0x2122: b = 0x99; break;
    case 0x0161: b = 0x9A; break;  case 0x203A: b = 0x9B; break;
    case 0x0153: b = 0x9C; break;  case 0x017E: b = 0x9E; break;
    case 0x0178: b = 0x9F; break;
    // clang-format on
    default:
      return false;
  }
  byte = b;
  return true;
}

void AppendCp1252AsUtf8(std::string& out, std::string_view cp1252) {
  const Cp1252Utf8Table& table = Cp1252ToUtf8Table();
  const unsigned char* in = Bytes(cp1252);
  const std::size_t size = cp1252.size();

  // Measure first so the output is allocated once, at its exact size.
  std::size_t needed = 0;
  std::size_t i = 0;
  while (i < size) {
    if (size - i >= 8 && EightAscii(in + i)) {
      needed += 8;
      i += 8;
    } else {
      needed += table.length[in[i++]];
    }
  }

  const std::size_t start = out.size();
  out.resize(start + needed);
  char* dst = out.data() + start;
  i = 0;
  while (i < size) {
    if (size - i >= 8 && EightAscii(in + i)) {
      std::memcpy(dst, in + i, 8);
      dst += 8;
      i += 8;
    } else {
      const unsigned char b = in[i++];
      const std::size_t n = table.length[b];
      std::memcpy(dst, table.bytes[b].data(), n);
      dst += n;
    }
  }
}

bool FitsCp1252(std::string_view utf8) {
  const unsigned char* p = Bytes(utf8);
  const unsigned char* const end = p + utf8.size();
  while (p < end) {
    if (end - p >= 8 && EightAscii(p)) {
      p += 8;
      continue;
    }
    if (*p < 0x80) {
      ++p;
      continue;
    }
    char32_t cp;
    p += DecodeWtf8Char(p, end, cp);
    unsigned char byte;
    if (cp == kMalformed || !UnicodeToCp1252(cp, byte)) return false;
  }
  return true;
}

void AppendUtf8AsCp1252(std::string& out, std::string_view utf8) {
  // Never more bytes than the input: every character takes at least one UTF-8 byte.
  const std::size_t start = out.size();
  out.resize(start + utf8.size());
  char* const base = out.data() + start;
  char* dst = base;
  const unsigned char* p = Bytes(utf8);
  const unsigned char* const end = p + utf8.size();
  while (p < end) {
    if (end - p >= 8 && EightAscii(p)) {
      std::memcpy(dst, p, 8);
      dst += 8;
      p += 8;
      continue;
    }
    if (*p < 0x80) {
      *dst++ = static_cast<char>(*p++);
      continue;
    }
    char32_t cp;
    p += DecodeWtf8Char(p, end, cp);
    unsigned char byte;
    *dst++ = (cp != kMalformed && UnicodeToCp1252(cp, byte)) ? static_cast<char>(byte) : '?';
  }
  out.resize(start + static_cast<std::size_t>(dst - base));
}

bool IsValidUtf8(std::string_view bytes) {
  const unsigned char* p = Bytes(bytes);
  const unsigned char* const end = p + bytes.size();
  while (p < end) {
#if defined(__SSE2__) || defined(_M_X64)
    // Whole files run through here: skip ASCII 32 bytes at a time.
    while (end - p >= 32) {
      __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
      if (_mm_movemask_epi8(_mm_or_si128(a, b)) != 0) break;
      p += 32;
    }
#endif
    while (end - p >= 8 && EightAscii(p)) p += 8;
    if (p == end) break;
    if (*p < 0x80) {
      ++p;
      continue;
    }
    char32_t cp;
    p += DecodeSequence(p, end, false, cp);
    if (cp == kMalformed) return false;
  }
  return true;
}

std::string Wtf8ToUtf8(std::string_view wtf8) {
  std::string out;
  out.reserve(wtf8.size());
  const unsigned char* const begin = Bytes(wtf8);
  const unsigned char* const end = begin + wtf8.size();
  const unsigned char* p = begin;
  const unsigned char* run = begin;  // start of the bytes that are copied unchanged
  while (p < end) {
    if (end - p >= 8 && EightAscii(p)) {
      p += 8;
      continue;
    }
    if (*p < 0x80) {
      ++p;
      continue;
    }
    char32_t cp;
    const std::size_t n = DecodeWtf8Char(p, end, cp);
    // Well-formed characters are copied as they stand; surrogates (paired or not) and
    // malformed bytes are rewritten.
    const bool joined_pair = n == 6 && cp != kMalformed;
    const bool lone_surrogate = IsHighSurrogate(cp) || IsLowSurrogate(cp);
    if (cp == kMalformed || lone_surrogate || joined_pair) {
      out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
      char buf[4];
      const char32_t ch = joined_pair ? cp : char32_t{0xFFFD};
      out.append(buf, EncodeUtf8(ch, buf));
      run = p + n;
    }
    p += n;
  }
  out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(end - run));
  return out;
}

void AppendUtf16AsWtf8(std::string& out, std::string_view bytes, bool big_endian) {
  const unsigned char* const in = Bytes(bytes);
  const std::size_t units = bytes.size() / 2;  // a trailing odd byte is dropped

  // Measure first so the output is allocated once, at its exact size.
  std::size_t needed = 0;
  for (std::size_t u = 0; u < units; ++u) {
    const char16_t unit = GetUnit(in + 2 * u, big_endian);
    if (IsHighSurrogate(unit) && u + 1 < units &&
        IsLowSurrogate(GetUnit(in + 2 * (u + 1), big_endian))) {
      needed += 4;
      ++u;
    } else {
      needed += Utf8Length(unit);
    }
  }

  const std::size_t start = out.size();
  out.resize(start + needed);
  char* dst = out.data() + start;
  for (std::size_t u = 0; u < units; ++u) {
    char32_t cp = GetUnit(in + 2 * u, big_endian);
    if (cp < 0x80) {
      *dst++ = static_cast<char>(cp);
      continue;
    }
    if (IsHighSurrogate(cp) && u + 1 < units) {
      const char16_t next = GetUnit(in + 2 * (u + 1), big_endian);
      if (IsLowSurrogate(next)) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (next - 0xDC00);
        ++u;
      }
    }
    dst += EncodeUtf8(cp, dst);
  }
}

void AppendWtf8AsUtf16(std::string& out, std::string_view wtf8, bool big_endian) {
  // Never more units than input bytes; exact for ASCII, which most documents are.
  const std::size_t start = out.size();
  out.resize(start + 2 * wtf8.size());
  char* const base = out.data() + start;
  char* dst = base;
  const unsigned char* p = Bytes(wtf8);
  const unsigned char* const end = p + wtf8.size();
  while (p < end) {
    if (*p < 0x80) {
      PutUnit(dst, *p++, big_endian);
      dst += 2;
      continue;
    }
    char32_t cp;
    // Surrogates written on their own come out as the same single units.
    p += DecodeSequence(p, end, true, cp);
    if (cp == kMalformed) cp = 0xFFFD;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      PutUnit(dst, static_cast<char16_t>(0xD800 + (cp >> 10)), big_endian);
      PutUnit(dst + 2, static_cast<char16_t>(0xDC00 + (cp & 0x3FF)), big_endian);
      dst += 4;
    } else {
      PutUnit(dst, static_cast<char16_t>(cp), big_endian);
      dst += 2;
    }
  }
  out.resize(start + static_cast<std::size_t>(dst - base));
}

}  // namespace verifax
