#include "inspection/text_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace verifax {
namespace {

using namespace std::string_literals;

std::string Utf8FromCp1252(std::string_view cp1252) {
  std::string out;
  AppendCp1252AsUtf8(out, cp1252);
  return out;
}

std::string Cp1252FromUtf8(std::string_view utf8) {
  std::string out;
  AppendUtf8AsCp1252(out, utf8);
  return out;
}

TEST(TextCodecTest, Cp1252MapsBytesBothWays) {
  struct Case {
    unsigned char byte;
    char32_t ch;
    const char* utf8;
  };
  const Case cases[] = {
      {0x41, U'A', "A"},
      {0x80, 0x20AC, "\xE2\x82\xAC"},  // €
      {0x81, 0x0081, "\xC2\x81"},      // the five unassigned bytes keep their value
      {0x8D, 0x008D, "\xC2\x8D"},
      {0x8F, 0x008F, "\xC2\x8F"},
      {0x90, 0x0090, "\xC2\x90"},
      {0x9D, 0x009D, "\xC2\x9D"},
      {0x8A, 0x0160, "\xC5\xA0"},      // Š
      {0x9F, 0x0178, "\xC5\xB8"},      // Ÿ
      {0x99, 0x2122, "\xE2\x84\xA2"},  // ™
      {0xE3, 0x00E3, "\xC3\xA3"},      // ã
      {0xFF, 0x00FF, "\xC3\xBF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "byte 0x" << std::hex << int{c.byte});
    EXPECT_EQ(Cp1252ToUnicode(c.byte), c.ch);
    unsigned char back = 0;
    ASSERT_TRUE(UnicodeToCp1252(c.ch, back));
    EXPECT_EQ(back, c.byte);
    const std::string one(1, static_cast<char>(c.byte));
    EXPECT_EQ(Utf8FromCp1252(one), c.utf8);
    EXPECT_EQ(Cp1252FromUtf8(c.utf8), one);
    EXPECT_TRUE(FitsCp1252(c.utf8));
  }
}

TEST(TextCodecTest, EveryCp1252ByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = Utf8FromCp1252(all);
  EXPECT_TRUE(IsValidUtf8(utf8));
  EXPECT_TRUE(FitsCp1252(utf8));
  EXPECT_EQ(Cp1252FromUtf8(utf8), all);
}

TEST(TextCodecTest, UnencodableCharacterBecomesOneQuestionMarkPerCodePoint) {
  struct Case {
    std::string utf8;
    std::string cp1252;
  };
  const Case cases[] = {
      {"\xC5\x91", "?"},  // ő
      {"a\xF0\x9F\x98\x80"
       "b",
       "a?b"},                  // emoji: one code point
      {"\xC2\x80", "?"},        // U+0080 (0x80 is €)
      {"\xED\xA0\x80", "?"},    // unpaired high surrogate
      {"\xED\xB0\x80x", "?x"},  // unpaired low surrogate
      {"\xE2\x82\xAC\xC5\x91\xC3\xA9", "\x80?\xE9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_FALSE(FitsCp1252(c.utf8));
    EXPECT_EQ(Cp1252FromUtf8(c.utf8), c.cp1252);
  }
}

TEST(TextCodecTest, MalformedInputToCp1252NeverReadsPastTheEnd) {
  const std::string inputs[] = {"\xE2\x82", "\x80", "\xFF", "abc\xF0\x9F"};
  for (const std::string& in : inputs) {
    SCOPED_TRACE(in);
    EXPECT_FALSE(FitsCp1252(in));
    const std::string out = Cp1252FromUtf8(in);
    EXPECT_EQ(out.back(), '?');
    EXPECT_LE(out.size(), in.size());
  }
}

TEST(TextCodecTest, IsValidUtf8) {
  std::string long_ascii(2000, 'x');
  std::string long_ascii_bad = long_ascii;
  long_ascii_bad[1000] = '\x80';
  struct Case {
    std::string bytes;
    bool valid;
  };
  const Case cases[] = {
      {"", true},
      {"abc\0def"s, true},
      {"\xE2\x82\xAC", true},      // €
      {"\xF0\x9F\x98\x80", true},  // emoji
      {"\xF4\x8F\xBF\xBF", true},  // U+10FFFF
      {"\xED\x9F\xBF", true},      // U+D7FF
      {long_ascii, true},
      {"\xC0\x80", false},          // overlong
      {"\xC1\xBF", false},          // overlong
      {"\xE0\x80\x80", false},      // overlong
      {"\xF0\x80\x80\x80", false},  // overlong
      {"\xED\xA0\x80", false},      // surrogate
      {"\xED\xBF\xBF", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // past U+10FFFF
      {"\xF5\x80\x80\x80", false},
      {"\xFF", false},
      {"\xE2\x82", false},  // truncated
      {"abcdefgh\xF0\x9F\x98", false},
      {"\x80", false},  // stray continuation
      {"\xC3\xA3\xA3", false},
      {long_ascii_bad, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes.substr(0, 16)));
    EXPECT_EQ(IsValidUtf8(c.bytes), c.valid);
  }
}

TEST(TextCodecTest, Utf16RoundTripKeepsEveryUnit) {
  // Units: 'A', NUL, 'ã', '€', a pair for U+1F600, a lone high surrogate before 'B', a
  // lone low surrogate, and a lone high surrogate at the very end.
  const char16_t units[] = {u'A', 0, 0xE3, 0x20AC, 0xD83D, 0xDE00, 0xD800, u'B', 0xDC00, 0xDBFF};
  const std::string wtf8 =
      "A\0\xC3\xA3\xE2\x82\xAC\xF0\x9F\x98\x80\xED\xA0\x80"
      "B\xED\xB0\x80\xED\xAF\xBF"s;
  for (bool big_endian : {false, true}) {
    SCOPED_TRACE(big_endian ? "big-endian" : "little-endian");
    std::string bytes;
    for (char16_t u : units) {
      const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
      bytes += big_endian ? hi : lo;
      bytes += big_endian ? lo : hi;
    }
    std::string decoded;
    AppendUtf16AsWtf8(decoded, bytes + "\x7F", big_endian);  // odd trailing byte dropped
    EXPECT_EQ(decoded, wtf8);
    std::string encoded = "prefix";
    AppendWtf8AsUtf16(encoded, decoded, big_endian);
    EXPECT_EQ(encoded, "prefix" + bytes);
  }
}

TEST(TextCodecTest, Wtf8ToUtf8ReplacesUnpairedSurrogates) {
  struct Case {
    std::string wtf8;
    std::string utf8;
  };
  const Case cases[] = {
      {"plain \xC3\xA3 \xF0\x9F\x98\x80", "plain \xC3\xA3 \xF0\x9F\x98\x80"},
      {"a\xED\xA0\x80"
       "b",
       "a\xEF\xBF\xBD"
       "b"},
      {"\xED\xB0\x80\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD"},  // low then high: no pair
      {"\xED\xA0\xBD\xED\xB8\x80", "\xF0\x9F\x98\x80"},          // split pair joined again
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.wtf8));
    const std::string utf8 = Wtf8ToUtf8(c.wtf8);
    EXPECT_EQ(utf8, c.utf8);
    EXPECT_TRUE(IsValidUtf8(utf8));
  }
}

TEST(TextCodecTest, DetectEncoding) {
  struct Case {
    std::string bytes;
    SourceEncoding encoding;
    std::size_t bom_size;
  };
  const Case cases[] = {
      {"", SourceEncoding::kAnsi, 0},
      {"\xFF", SourceEncoding::kAnsi, 0},
      {"\xEF\xBB", SourceEncoding::kAnsi, 0},
      {"\xFF\xFE", SourceEncoding::kUtf16LE, 2},
      {"\xFF\xFE\0\0"s, SourceEncoding::kUtf16LE, 2},
      {"\xFE\xFF\0<"s, SourceEncoding::kUtf16BE, 2},
      {"\xEF\xBB\xBF<?xml", SourceEncoding::kUtf8, 3},
      {"<?xml", SourceEncoding::kAnsi, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    std::size_t bom_size = 99;
    EXPECT_EQ(DetectEncoding(c.bytes, bom_size), c.encoding);
    EXPECT_EQ(bom_size, c.bom_size);
    EXPECT_EQ(ByteOrderMark(c.encoding), std::string_view(c.bytes).substr(0, c.bom_size));
  }
}

}  // namespace
}  // namespace verifax
