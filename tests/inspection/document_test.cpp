#include "inspection/document.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "inspection/tag_scan.h"
#include "support/scratch_dir.h"

namespace verifax {
namespace {

using namespace std::string_literals;

struct DecodeCase {
  const char* name;
  std::string bytes;
  SourceEncoding encoding;
  std::string text;  // UTF-8
};

class DecodingTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodingTest, DecodesAndNormalisesLineBreaks) {
  const DecodeCase& c = GetParam();
  Document doc = Document::FromBytes(c.bytes);
  EXPECT_EQ(doc.source_encoding(), c.encoding);
  EXPECT_EQ(doc.Text(0, doc.size()), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecodingTest,
    ::testing::Values(
        DecodeCase{"Empty", "", SourceEncoding::kAnsi, ""},
        DecodeCase{"LfOnlyGetsCrLfAndFinalBreak", "a\nb", SourceEncoding::kAnsi, "a\r\nb\r\n"},
        DecodeCase{"LoneCr", "a\rb\r\n", SourceEncoding::kAnsi, "a\r\nb\r\n"},
        DecodeCase{"LfThenCrEndsTwoLines", "a\n\rb", SourceEncoding::kAnsi, "a\r\n\r\nb\r\n"},
        DecodeCase{"OnlyALineBreak", "\n", SourceEncoding::kAnsi, "\r\n"},
        DecodeCase{"Windows1252Accent", "A\xE7ores", SourceEncoding::kAnsi, "Açores\r\n"},
        DecodeCase{"UnassignedByteRoundTrips", "\x81\x8D", SourceEncoding::kAnsi,
                   "\xC2\x81\xC2\x8D\r\n"},
        DecodeCase{"NulIsKept", "a\0b"s, SourceEncoding::kAnsi, "a\0b\r\n"s},
        DecodeCase{"Utf8BomIsSkipped", "\xEF\xBB\xBF<a>\xC3\xA9", SourceEncoding::kUtf8,
                   "<a>é\r\n"},
        DecodeCase{"Utf8InvalidGivesEmptyText", "\xEF\xBB\xBF<a>\xC3\x28</a>",
                   SourceEncoding::kUtf8, ""},
        DecodeCase{"Utf8OverlongGivesEmptyText", "\xEF\xBB\xBF\xC0\xAF", SourceEncoding::kUtf8, ""},
        DecodeCase{"OnlyABom", "\xEF\xBB\xBF", SourceEncoding::kUtf8, ""},
        DecodeCase{"Utf16LE", "\xFF\xFE<\0\xE9\0\n\0"s, SourceEncoding::kUtf16LE, "<é\r\n"},
        DecodeCase{"Utf16BE", "\xFE\xFF\0<\0\xE9"s, SourceEncoding::kUtf16BE, "<é\r\n"},
        DecodeCase{"Utf16OddByteDropped",
                   "\xFF\xFE"
                   "a\0b"s,
                   SourceEncoding::kUtf16LE, "a\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RoundTripCase {
  const char* name;
  std::string bytes;
  std::string written;
};

class WriteBackTest : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(WriteBackTest, WritesInTheEncodingItWasReadWith) {
  Document doc = Document::FromBytes(GetParam().bytes);
  EXPECT_EQ(doc.Serialize(), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WriteBackTest,
    ::testing::Values(
        RoundTripCase{"Windows1252Unchanged", "A\xE7ores\x80\x81\r\n", "A\xE7ores\x80\x81\r\n"},
        RoundTripCase{"LfBecomesCrLf", "a\nb", "a\r\nb\r\n"},
        RoundTripCase{"Utf8KeepsItsBom", "\xEF\xBB\xBF\xC3\xA9\r\n", "\xEF\xBB\xBF\xC3\xA9\r\n"},
        RoundTripCase{"Utf16LoneSurrogateSurvives", "\xFF\xFE\x00\xD8x\0\r\0\n\0"s,
                      "\xFF\xFE\x00\xD8x\0\r\0\n\0"s},
        RoundTripCase{"Utf16BEPair", "\xFE\xFF\xD8\x3D\xDE\x00\0\r\0\n"s,
                      "\xFE\xFF\xD8\x3D\xDE\x00\0\r\0\n"s}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DocumentTest, TagsMatchInAnyLetterCaseAndOnlyWhole) {
  Document doc = Document::FromBytes("<customer><CustomerID><Customer ><CUSTOMER>");
  EXPECT_TRUE(doc.IsTagAt(0, "<CUSTOMER>"));
  EXPECT_FALSE(doc.IsTagAt(10, "<CUSTOMER>"));
  EXPECT_EQ(doc.FindTag(1, doc.size(), "<CUSTOMER>"), 33);
  // A tag reaching past the end never matches.
  EXPECT_EQ(doc.FindTag(0, doc.size(), "<CUSTOMER>X"), -1);
}

TEST(DocumentTest, FindsTagsAcrossTheRepairGap) {
  Document doc = Document::FromBytes("<ab><cd>");
  doc.Replace(2, 0, "");  // the gap now splits "<ab>"
  doc.Replace(5, 1, "C");
  EXPECT_EQ(doc.FindTag(0, doc.size(), "<AB>"), 0);
  EXPECT_EQ(doc.FindTag(1, doc.size(), "<CD>"), 4);
  EXPECT_EQ(doc.Slice(0, doc.size()), "<ab><Cd>\r\n");
}

TEST(DocumentTest, AnchorsFollowRepairsBeforeThem) {
  Document doc = Document::FromBytes("0123456789");
  Document::Anchor before(doc, 2);
  Document::Anchor at_end_of_range(doc, 5);
  Document::Anchor after(doc, 8);
  doc.Replace(3, 2, "abcde");  // replaces "34"
  EXPECT_EQ(before.pos(), 2);
  EXPECT_EQ(at_end_of_range.pos(), 8);
  EXPECT_EQ(after.pos(), 11);
  EXPECT_EQ(doc.Slice(0, doc.size()), "012abcde56789\r\n");
}

TEST(DocumentTest, ManyRepairsGrowTheGap) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "<U></U>";
  Document doc = Document::FromBytes(text);
  std::int64_t pos = 0;
  for (int i = 0; i < 5000; ++i) {
    pos = doc.FindTag(pos, doc.size(), "</U>");
    doc.Replace(pos, 0, std::string(40, 'x'));
    pos += 44;
  }
  EXPECT_EQ(doc.size(), 5000 * 47 + 2);
  EXPECT_EQ(doc.Slice(0, 47), "<U>" + std::string(40, 'x') + "</U>");
  EXPECT_EQ(doc.Slice(doc.size() - 49, doc.size()), "<U>" + std::string(40, 'x') + "</U>\r\n");
}

TEST(TagValueTest, ReturnsTheFirstPairUntrimmedInTheDocumentsCase) {
  Document doc = Document::FromBytes("<x><City> Lisboa </City><CITY>Porto</CITY><c></C></x>");
  WorkingBlock block = WorkingBlock::Of(0, doc.size());
  EXPECT_EQ(TagValue(doc, block, "CITY"), " Lisboa ");
  EXPECT_EQ(TagValue(doc, block, "C"), "");
  EXPECT_EQ(TagValue(doc, block, "COUNTRY"), std::nullopt);
}

TEST(TagValueTest, UnusablePairs) {
  for (const char* text : {"<Country/>", "</Country><Country>", "<Country>PT", "PT</Country>",
                           "<Country >PT</Country>", "<ns:Country>PT</ns:Country>"}) {
    Document doc = Document::FromBytes(text);
    EXPECT_EQ(TagValue(doc, WorkingBlock::Of(0, doc.size()), "COUNTRY"), std::nullopt) << text;
  }
}

TEST(ReplaceTagValueTest, WorkedExampleInsertsBetweenAdjacentTags) {
  // A customer block that starts at offset 1000 with "<CITY>" at block position 180
  // (1-based), directly followed by "</CITY>".
  std::string text =
      std::string(1000, 'x') + "<Customer>" + std::string(169, 'y') + "<City></City></Customer>";
  Document doc = Document::FromBytes(text);
  std::int64_t before = doc.size();
  WorkingBlock block = WorkingBlock::Of(1000, doc.size() - 2);
  ASSERT_EQ(FindTagPair(doc, block, "CITY").open, 1000 + 179);
  ReplaceTagValue("CITY", block, doc, "Desconhecido");
  EXPECT_EQ(doc.size(), before + 12);
  EXPECT_EQ(doc.Slice(1185, 1197), "Desconhecido");
  EXPECT_EQ(block.end, before - 2 + 12);
  EXPECT_EQ(TagValue(doc, block, "CITY"), "Desconhecido");
}

TEST(ReplaceTagValueTest, MissingTagsChangeNothing) {
  Document doc = Document::FromBytes("<a><City>x</a>");
  WorkingBlock block = WorkingBlock::Materialized(doc, 0, doc.size());
  ReplaceTagValue("CITY", block, doc, "y");
  ReplaceTagValue("COUNTRY", block, doc, "y");
  EXPECT_EQ(doc.Slice(0, doc.size()), "<a><City>x</a>\r\n");
  EXPECT_EQ(*block.text, "<A><CITY>X</A>\r\n");
}

TEST(ReplaceTagValueTest, MaterialisedBlockKeepsTheValueAsGiven) {
  Document doc = Document::FromBytes("<h><City></City><PostalCode>1</PostalCode></h>");
  WorkingBlock block = WorkingBlock::Materialized(doc, 0, doc.size());
  ReplaceTagValue("CITY", block, doc, "<postalcode>");
  // The block holds the value as typed, so the search still finds the real tag.
  ReplaceTagValue("POSTALCODE", block, doc, "2");
  EXPECT_EQ(doc.Slice(0, doc.size()),
            "<h><City><postalcode></City><PostalCode>2</PostalCode></h>\r\n");
}

TEST(ReplaceTagValueTest, ValueOutsideWindows1252IsWrittenAsQuestionMarks) {
  Document doc = Document::FromBytes("<h>\xE7<City></City>\xE3<PostalCode>1</PostalCode></h>");
  WorkingBlock block = WorkingBlock::Materialized(doc, 0, doc.size());
  ReplaceTagValue("CITY", block, doc, "Łódź 😀");
  ReplaceTagValue("POSTALCODE", block, doc, "2");
  EXPECT_EQ(doc.Text(0, doc.size()), "<h>ç<City>Łódź 😀</City>ã<PostalCode>2</PostalCode></h>\r\n");
  EXPECT_EQ(doc.Serialize(),
            "<h>\xE7<City>?\xF3"
            "d? ?</City>\xE3<PostalCode>2</PostalCode></h>\r\n");
}

}  // namespace
}  // namespace verifax

namespace verifax {
namespace {

// FindTag against a plain search of the text, over documents cut into many pieces by
// repairs, so that every piece boundary and the fast 16-byte path are crossed.
TEST(DocumentTest, FindTagAgreesWithAPlainSearchAcrossPieces) {
  std::uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  const char* alphabet[] = {"<Line>", "<LINE>", "<li", "</Line>", "<", "x", "lINE>", "\xE9", "ne"};
  for (int round = 0; round < 200; ++round) {
    std::string text;
    for (int i = 0; i < 60; ++i) text += alphabet[next() % 9];
    Document doc = Document::FromBytes(text);
    std::string plain = doc.Slice(0, doc.size());
    for (int edit = 0; edit < 8; ++edit) {
      std::int64_t pos = next() % (doc.size() + 1);
      std::int64_t count = next() % 3;
      if (pos + count > doc.size()) count = 0;
      std::string value = alphabet[next() % 9];
      doc.Replace(pos, count, value);
      plain.replace(static_cast<std::size_t>(pos), static_cast<std::size_t>(count), value);
    }
    ASSERT_EQ(doc.Slice(0, doc.size()), plain);
    std::string upper = plain;
    for (char& c : upper) c = (c >= 'a' && c <= 'z') ? char(c - 32) : c;
    for (std::int64_t from = 0; from <= doc.size(); from += 7) {
      for (std::int64_t end : {doc.size(), from + 20}) {
        auto expected = upper.find("<LINE>", static_cast<std::size_t>(from));
        std::int64_t want = expected == std::string::npos || std::int64_t(expected) + 6 > end
                                ? -1
                                : std::int64_t(expected);
        ASSERT_EQ(doc.FindTag(from, end, "<LINE>"), want) << round << " " << from << " " << end;
      }
    }
  }
}

}  // namespace
}  // namespace verifax

namespace verifax {
namespace {

TEST(DocumentTest, LineBreaksAgreeWithAPlainNormalisationAtEveryPosition) {
  std::uint32_t seed = 99;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  const char pool[] = {'\r', '\n', 'x', 'x', 'x', '<'};
  for (int round = 0; round < 300; ++round) {
    std::string text(next() % 200, 'x');
    for (char& c : text) c = pool[next() % 6];
    Document doc = Document::FromBytes(text);
    ASSERT_EQ(doc.Slice(0, doc.size()), NormalizeLineBreaks(text)) << round;
  }
}

// A file read from disk is checked in two halves that meet after a line feed; it must be
// taken exactly as the same bytes handed over in memory, whatever lies around the middle.
TEST(DocumentTest, FileLoadsAsTheSameBytesInMemory) {
  testing::ScratchDir scratch("verifax-load");
  const auto path = (scratch.path() / "saft.xml").string();
  std::uint32_t seed = 7;
  auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
  const std::string pool[] = {"\r", "\n", "\r\n", "x", "<a>", "\xC3\xA9", "\xC3", "\xA9", "\xE7"};
  for (int round = 0; round < 400; ++round) {
    std::string bytes = next() % 2 ? "\xEF\xBB\xBF" : "";
    // Sound text with one odd part somewhere, often about the middle.
    std::string text;
    for (int k = 0, n = int(next() % 40); k < n; ++k)
      text += next() % 4 ? "<a>x\r\n" : "\xC3\xA9\r\n";
    std::size_t at = next() % 2 ? text.size() / 2 : next() % (text.size() + 1);
    text.insert(at, pool[next() % 9]);
    if (next() % 4 == 0) text.pop_back();
    bytes += text;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    Document loaded = Document::Load(path);
    Document given = Document::FromBytes(bytes);
    ASSERT_EQ(loaded.source_encoding(), given.source_encoding()) << round;
    ASSERT_EQ(loaded.Slice(0, loaded.size()), given.Slice(0, given.size())) << round;
    ASSERT_EQ(loaded.Serialize(), given.Serialize()) << round;
  }
}

}  // namespace
}  // namespace verifax
