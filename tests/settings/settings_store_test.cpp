#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "inspection/text_codec.h"
#include "settings_test_util.h"

namespace verifax {
namespace {

using settings_test::Exists;
using settings_test::ReadBytes;
using settings_test::TempFolder;
using settings_test::WriteBytes;

const NumberFormat kCommaLocale{",", "."};

struct Write {
  std::uint8_t type_code;
  std::string section;
  std::string key;
  SettingValue value;
};

TEST(SettingsFileFormatTest, WritesGiveTheseBytes) {
  struct Case {
    const char* what;
    std::optional<std::string> before;  // nothing: no file yet
    std::vector<Write> writes;
    std::string after;
  };
  const Case cases[] = {
      {"new file",
       std::nullopt,
       {{3, "VERIFAX", "SAFTFILE", std::string("C:\\Dados\\saft.xml")}},
       "[VERIFAX]\r\nSAFTFILE=C:\\Dados\\saft.xml\r\n\r\n"},
      {"new section after the last, new key at the end of its section",
       "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n\r\n",
       {{3, "C", "z", std::string("3")}, {3, "A", "w", std::string("4")}},
       "[A]\r\nx=1\r\nw=4\r\n\r\n[B]\r\ny=2\r\n\r\n[C]\r\nz=3\r\n\r\n"},
      {"existing key replaced where it stands",
       "[A]\r\nx=1\r\ny=2\r\nz=3\r\n\r\n",
       {{3, "A", "y", std::string("new")}},
       "[A]\r\nx=1\r\ny=new\r\nz=3\r\n\r\n"},
      {"names match in any letter case; the section keeps its name, the key takes the written",
       "[Verifax]\r\nSaftFile=old\r\n\r\n",
       {{3, "VERIFAX", "SAFTFILE", std::string("new")}},
       "[Verifax]\r\nSAFTFILE=new\r\n\r\n"},
      {"comments, empty lines and lines before the first section dropped; lines trimmed",
       "junk=1\r\n; top\r\n  [ A ]  \n ; comment\n\n  x  =  1  \r\n[B]\rno equals sign \r\n",
       {{3, "A", "y", std::string("2")}},
       "[A]\r\nx=1\r\ny=2\r\n\r\n[B]\r\nno equals sign\r\n\r\n"},
      {"a value goes in as given and is trimmed when the file is next read",
       std::nullopt,
       {{3, "A", "x", std::string("  v  ")}, {3, "A", "y", std::string("")}},
       "[A]\r\nx=v\r\ny=\r\n\r\n"},
      {"an unknown type code rewrites the file with its own content",
       "; comment\r\n[A]\r\nx = 1\r\n",
       {{7, "A", "x", std::string("2")}},
       "[A]\r\nx=1\r\n\r\n"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    const std::string file = folder.File("verifax.ini");
    if (c.before) WriteBytes(file, *c.before);
    for (const Write& w : c.writes) WriteSetting(w.type_code, w.section, w.key, w.value, file);
    EXPECT_EQ(ReadBytes(file), c.after) << c.what;
  }
}

TEST(SettingsFileFormatTest, ByteOrderMarkKeepsItsEncoding) {
  // "é" is stored in the file beforehand; "ç€Ω" is written (Ω has no Windows-1252 byte).
  auto encode = [](SourceEncoding encoding, std::string_view utf8) {
    std::string bytes(ByteOrderMark(encoding));
    if (encoding == SourceEncoding::kAnsi) {
      AppendUtf8AsCp1252(bytes, utf8);
    } else if (encoding == SourceEncoding::kUtf8) {
      bytes += utf8;
    } else {
      AppendWtf8AsUtf16(bytes, utf8, encoding == SourceEncoding::kUtf16BE);
    }
    return bytes;
  };
  const std::string before = "[A]\r\nx=\xC3\xA9\r\n";
  const std::string written = "\xC3\xA7\xE2\x82\xAC\xCE\xA9";
  struct Case {
    SourceEncoding encoding;
    std::string stored;  // the value as it reads back
  };
  const Case cases[] = {
      {SourceEncoding::kAnsi, "\xC3\xA7\xE2\x82\xAC?"},
      {SourceEncoding::kUtf8, written},
      {SourceEncoding::kUtf16LE, written},
      {SourceEncoding::kUtf16BE, written},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    const std::string file = folder.File("verifax.ini");
    WriteBytes(file, encode(c.encoding, before));
    EXPECT_EQ(std::get<std::string>(ReadSetting(3, "A", "x", "", file)), "\xC3\xA9");
    WriteSetting(3, "A", "k", written, file);
    EXPECT_EQ(ReadBytes(file),
              encode(c.encoding, "[A]\r\nx=\xC3\xA9\r\nk=" + c.stored + "\r\n\r\n"))
        << int(c.encoding);
  }
  TempFolder folder;
  const std::string file = folder.File("verifax.ini");
  WriteSetting(3, "A", "k", std::string("\xC3\xA9"), file);
  EXPECT_EQ(ReadBytes(file), "[A]\r\nk=\xE9\r\n\r\n") << "a new file is Windows-1252";
}

TEST(SettingsStoreTest, ReadsByTypeCode) {
  const std::string content =
      "[A]\r\ns=  text  \r\ni=-42\r\nh=0x1F\r\nbad=12abc\r\nf=1,5\r\nt=1\r\nz=0\r\nyes=yes\r\n"
      "empty=\r\n";
  TempFolder folder;
  const std::string file = folder.File("verifax.ini");
  WriteBytes(file, content);
  struct Case {
    std::uint8_t type_code;
    std::string section, key, default_text;
    SettingValue expected;
  };
  const Case cases[] = {
      {3, "A", "s", "d", std::string("text")},
      {3, "a", "S", "d", std::string("text")},
      {3, "A", "empty", "d", std::string("")},
      {3, "A", "missing", "d", std::string("d")},
      {3, "B", "s", "", std::string("")},
      {0, "A", "i", "7", std::int32_t(-42)},
      {0, "A", "h", "7", std::int32_t(31)},
      {0, "A", "bad", "7", std::int32_t(7)},
      {0, "A", "missing", "-5", std::int32_t(-5)},
      {0, "A", "missing", "x", std::int32_t(0)},
      {1, "A", "f", "0", 1.5},
      {1, "A", "bad", "2,5", 2.5},
      {1, "A", "empty", "3", 3.0},
      {1, "A", "missing", "1.234,56", 1234.56},
      {2, "A", "t", "0", true},
      {2, "A", "z", "1", false},
      {2, "A", "yes", "1", true},
      {2, "A", "missing", "1", true},
      {2, "A", "missing", "0", false},
      {2, "A", "missing", "", false},
      {2, "A", "missing", "True", false},
      {9, "A", "s", "d", SettingValue()},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadSetting(c.type_code, c.section, c.key, c.default_text, file, kCommaLocale),
              c.expected)
        << int(c.type_code) << " " << c.key;
  }
  EXPECT_EQ(ReadBytes(file), content) << "a read never writes";
}

TEST(SettingsStoreTest, MissingFileGivesDefaultsAndStaysMissing) {
  TempFolder folder;
  const std::string file = folder.File("verifax.ini");
  EXPECT_EQ(ReadSetting(3, "VERIFAX", "SAFTFILE", "", file), SettingValue(std::string()));
  EXPECT_EQ(ReadSetting(0, "A", "k", "12", file), SettingValue(std::int32_t(12)));
  EXPECT_EQ(ReadSetting(1, "A", "k", "2,5", file, kCommaLocale), SettingValue(2.5));
  EXPECT_EQ(ReadSetting(2, "A", "k", "1", file), SettingValue(true));
  EXPECT_FALSE(Exists(file));
}

TEST(SettingsStoreTest, WritesByTypeCode) {
  struct Case {
    std::uint8_t type_code;
    SettingValue value;
    std::string stored;
  };
  const Case cases[] = {
      {3, std::int32_t(-7), "-7"},
      {3, true, "True"},
      {3, 2.5, "2,5"},
      {3, SettingValue(), ""},
      {0, std::string("12"), "12"},
      {0, std::string("-2147483648"), "-2147483648"},
      {0, std::string("2147483648"), "0"},
      {0, std::string("1,5"), "0"},
      {0, std::string("abc"), "0"},
      {0, 2.0, "2"},
      {0, true, "0"},
      {1, std::string("1,5"), "1,5"},
      {1, std::string(" -12,50 "), "-12,5"},
      {1, std::string("2E3"), "2000"},
      {1, std::int32_t(42), "42"},
      {1, 1234.56, "1234,56"},
      {1, 0.1 + 0.2, "0,3"},
      {1, 0.0001, "0,0001"},
      {1, 1.5e-7, "1,5E-7"},
      {1, 1e20, "1E20"},
      {1, 123456789012345678.0, "1,23456789012346E17"},
      {1, 999999999999999.0, "999999999999999"},
      {2, true, "1"},
      {2, std::int32_t(0), "0"},
      {2, 0.5, "1"},
      {2, std::string("TRUE"), "1"},
      {2, std::string("false"), "0"},
      {2, std::string("0,0"), "0"},
      {2, SettingValue(), "0"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    const std::string file = folder.File("verifax.ini");
    WriteSetting(c.type_code, "A", "k", c.value, file, kCommaLocale);
    EXPECT_EQ(ReadBytes(file), "[A]\r\nk=" + c.stored + "\r\n\r\n")
        << int(c.type_code) << " " << c.stored;
  }
}

TEST(SettingsStoreTest, UnconvertibleValueRaisesAndLeavesTheFileAlone) {
  const std::string content = "; kept as it is\r\n[A]\r\nk = 1\r\n";
  struct Case {
    std::uint8_t type_code;
    SettingValue value;
  };
  const Case cases[] = {
      {1, std::string("abc")},
      {1, std::string("1.234,5")},
      {1, std::string("")},
      {1, SettingValue()},
      {1, true},
      {2, std::string("yes")},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    const std::string file = folder.File("verifax.ini");
    WriteBytes(file, content);
    EXPECT_THROW(WriteSetting(c.type_code, "A", "k", c.value, file, kCommaLocale),
                 SettingsConversionError)
        << int(c.type_code);
    EXPECT_EQ(ReadBytes(file), content);
  }
}

TEST(SettingsStoreTest, FileThatCannotBeWrittenRaises) {
  TempFolder folder;
  const std::string file = folder.File("no such folder/verifax.ini");
  EXPECT_THROW(WriteSetting(3, "A", "k", std::string("v"), file), SettingsFileError);
  EXPECT_EQ(ReadSetting(3, "A", "k", "d", file), SettingValue(std::string("d")));
}

TEST(SettingsStoreTest, ConcurrentWritesDoNotLoseEachOther) {
  TempFolder folder;
  const std::string file = folder.File("verifax.ini");
  constexpr int kThreads = 4;
  constexpr int kKeys = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int k = 0; k < kKeys; ++k)
        WriteSetting(0, "T" + std::to_string(t), "K" + std::to_string(k), std::int32_t(k), file);
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    for (int k = 0; k < kKeys; ++k) {
      EXPECT_EQ(ReadSetting(0, "T" + std::to_string(t), "K" + std::to_string(k), "-1", file),
                SettingValue(std::int32_t(k)));
    }
  }
}

TEST(SettingsStoreTest, StrToFloatLooseInACommaLocale) {
  struct Case {
    std::string text;
    double expected;
  };
  const Case cases[] = {
      {"1.234,56", 1234.56},
      {"-1.234,5", 1234.5},
      {"12.5", 125},
      {"-12,5", -12.5},
      {"2E3", 2000},
      {"1,2,3", 0},
      {"abc", 0},
      {"", 0},
      {" 7 ", 7},
      {"\xE2\x82\xAC 3,5", 3.5},
  };
  for (const Case& c : cases)
    EXPECT_EQ(StrToFloatLoose(c.text, kCommaLocale), c.expected) << c.text;
}

TEST(SettingsStoreTest, BlankNameMeansTheFileBesideTheExecutable) {
  EXPECT_EQ(DefaultIniName(), "settings_tests.ini");
  const std::string folder = SettingsFolder();
  ASSERT_FALSE(folder.empty());
#ifdef _WIN32
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_TRUE(Exists(folder + "settings_tests.exe"));
#else
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(Exists(folder + "settings_tests"));
#endif
  EXPECT_EQ(SettingsFileName(""), folder + "settings_tests.ini");
  EXPECT_EQ(SettingsFileName(" \t"), folder + "settings_tests.ini");
  EXPECT_EQ(SettingsFileName(" x.ini"), " x.ini");
}

}  // namespace
}  // namespace verifax
