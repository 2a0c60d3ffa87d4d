// Broken and hostile input: every case ends with one of the system's messages or a clean
// run, read both from memory and from a file, and never crashes, hangs or loses a byte on
// the way back out. The sanitiser build runs these under ASan and UBSan.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "inspection/document.h"
#include "inspection/errors.h"
#include "inspection/passes.h"
#include "inspection/text_codec.h"
#include "support/run_passes.h"
#include "support/saft_builder.h"
#include "support/scripted_prompts.h"

namespace verifax {
namespace {

using namespace std::string_literals;
using testing::MemoryLog;
using testing::SaftBuilder;
using testing::ScriptedPrompts;

const std::string kNoHeader = "Ficheiro SAFT inválido! (h0)";

using Outcome = testing::PassesOutcome;

Outcome Inspect(Document doc) {
  ScriptedPrompts prompts;
  std::vector<TTax> tax_info;
  return testing::RunPasses(doc, prompts, tax_info);
}

// A document without defects whose invoices section ends with `tail` instead of its
// closing tags.
std::string SoundUpToInvoices(const std::string& tail) {
  std::string text = SaftBuilder().Build();
  return text.substr(0, text.find("<Invoice>")) + tail;
}

std::string Repeat(const std::string& piece, int times) {
  std::string out;
  out.reserve(piece.size() * static_cast<std::size_t>(times));
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

std::string Garbage(std::size_t size, std::uint32_t seed) {
  std::string out(size, '\0');
  for (char& c : out) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return out;
}

std::string Utf16LE(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += {c, '\0'};
  return out;
}

struct RobustnessCase {
  const char* name;
  std::function<std::string()> bytes;
  std::string error;  // "" for a clean run
  int repairs;
};

class RobustnessTest : public ::testing::TestWithParam<RobustnessCase> {
 protected:
  // The same bytes loaded from a file, which takes the file reading path.
  static Document LoadThroughFile(const std::string& bytes) {
    auto path = std::filesystem::temp_directory_path() /
                ("verifax-robustness-" + std::to_string(::getpid()) + ".xml");
    std::ofstream(path, std::ios::binary) << bytes;
    Document doc = Document::Load(path.string());
    std::filesystem::remove(path);
    return doc;
  }
};

TEST_P(RobustnessTest, GivesASystemMessageOrACleanRun) {
  const RobustnessCase& c = GetParam();
  const std::string bytes = c.bytes();
  Outcome from_memory = Inspect(Document::FromBytes(bytes));
  EXPECT_EQ(from_memory.error, c.error);
  EXPECT_EQ(from_memory.repairs, c.repairs);

  Outcome from_file = Inspect(LoadThroughFile(bytes));
  EXPECT_EQ(from_file.error, c.error);
  EXPECT_EQ(from_file.repairs, c.repairs);
  EXPECT_TRUE(from_file.written == from_memory.written) << "the two loads write differently";

  // What would be written reads back as the same text.
  Document written = Document::FromBytes(from_memory.written);
  Document reread = Document::FromBytes(from_memory.written);
  EXPECT_TRUE(reread.Serialize() == from_memory.written) << "the write-back is not stable";
  if (c.repairs == 0) {
    Document original = Document::FromBytes(bytes);
    EXPECT_TRUE(written.Text(0, written.size()) == original.Text(0, original.size()))
        << "a run without repairs changed the text";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, RobustnessTest,
    ::testing::Values(
        RobustnessCase{"Empty", [] { return ""s; }, kNoHeader, 0},
        RobustnessCase{"OnlyAUtf8Bom", [] { return "\xEF\xBB\xBF"s; }, kNoHeader, 0},
        RobustnessCase{"OnlyAUtf16Bom", [] { return "\xFF\xFE"s; }, kNoHeader, 0},
        RobustnessCase{"InvalidUtf8AfterABom",
                       [] { return "\xEF\xBB\xBF" + SaftBuilder().Build() + "\xC3\x28"; },
                       kNoHeader, 0},
        RobustnessCase{"TruncatedUtf8SequenceAtTheEnd",
                       [] { return "\xEF\xBB\xBF" + SaftBuilder().Build() + "\xE2\x82"; },
                       kNoHeader, 0},
        RobustnessCase{"Utf16WithAnOddNumberOfBytes",
                       [] {
                         SaftBuilder b;
                         b.invoices = {
                             SaftBuilder::Invoice("FT A/1", {SaftBuilder::Line("1", "")})};
                         return Utf16LE(b.Build()) + "<";
                       },
                       "", 1},
        RobustnessCase{"Utf16OfOneOddByte",
                       [] {
                         return "\xFE\xFF"
                                "A"s;
                       },
                       kNoHeader, 0},
        RobustnessCase{"BinaryGarbage", [] { return Garbage(1 << 20, 7); }, kNoHeader, 0},
        RobustnessCase{"GarbageAfterASoundDocument",
                       [] { return SaftBuilder().Build() + Garbage(1 << 16, 11); }, "", 0},
        RobustnessCase{"TagTruncatedAtTheVeryEnd",
                       [] { return SoundUpToInvoices("<Invoice><InvoiceNo>1</InvoiceNo></Invo"); },
                       "", 0},
        RobustnessCase{"ElementOpensAtTheLastCharacter",
                       [] { return SoundUpToInvoices("<Invoice>"); }, "", 0},
        RobustnessCase{"LessThanSignAtTheLastCharacter", [] { return SoundUpToInvoices("<"); }, "",
                       0},
        RobustnessCase{"HeaderOpensAtTheLastCharacter", [] { return "x\r\n<Header>"s; }, kNoHeader,
                       0},
        RobustnessCase{"CustomerOpensAtTheLastCharacter",
                       [] {
                         std::string text = SoundUpToInvoices("");
                         return text.substr(0, text.find("<Customer>")) + "<Customer>";
                       },
                       "", 0},
        RobustnessCase{"NulBytesInValues",
                       [] {
                         SaftBuilder b;
                         b.city = "Lis\0boa"s;
                         b.invoices = {
                             SaftBuilder::Invoice("FT A/1", {SaftBuilder::Line("1", "\0"s)})};
                         return b.Build();
                       },
                       "", 1},
        RobustnessCase{"NulBytesEverywhere",
                       [] { return Repeat("\0"s, 1000) + SaftBuilder().Build() + "\0"s; }, "", 0},
        RobustnessCase{"ExtremelyLongValue",
                       [] {
                         SaftBuilder b;
                         b.customers = {SaftBuilder::Customer("C1", std::string(8 << 20, 'x'),
                                                              "Porto", "4000-001", "123456789",
                                                              "PT")};
                         b.invoices = {SaftBuilder::Invoice(
                             "FT A/1", {SaftBuilder::Line("1", std::string(8 << 20, ' '))})};
                         return b.Build();
                       },
                       "", 1},
        RobustnessCase{
            "ExtremelyLongLineOfTags",
            [] {
              SaftBuilder b;
              std::string lines;
              for (int i = 0; i < 100000; ++i)
                lines += "<Line><LineNumber>1</LineNumber><UnitOfMeasure></UnitOfMeasure></Line>";
              b.invoices = {"<Invoice><InvoiceNo>FT A/1</InvoiceNo>" + lines + "</Invoice>"};
              return b.Build();
            },
            "", 100000},
        RobustnessCase{"FiftyThousandUnclosedInvoices",
                       [] {
                         return SoundUpToInvoices(
                             Repeat("<Invoice><InvoiceNo>1</InvoiceNo><Line>", 50000));
                       },
                       "", 0},
        RobustnessCase{"FiftyThousandNestedInvoicesClosedAtTheEnd",
                       [] {
                         return SoundUpToInvoices(
                             Repeat("<Invoice><InvoiceNo>1</InvoiceNo><Line><LineNumber>1"
                                    "</LineNumber><UnitOfMeasure></UnitOfMeasure>",
                                    50000) +
                             Repeat("</Line></Invoice>", 50000));
                       },
                       "", 1},
        RobustnessCase{"FiftyThousandLinesWithoutClosingTags",
                       [] {
                         return SoundUpToInvoices(
                             "<Invoice><InvoiceNo>1</InvoiceNo>" +
                             Repeat("<Line><LineNumber>1</LineNumber><UnitOfMeasure>Un"
                                    "</UnitOfMeasure>",
                                    50000) +
                             "</Invoice>" + Repeat("</Line>", 3));
                       },
                       "", 0},
        RobustnessCase{"FiftyThousandInvoicesWhoseLinesCloseAtTheEnd",
                       [] {
                         return SoundUpToInvoices(
                             Repeat("<Invoice><InvoiceNo>1</InvoiceNo><Line><LineNumber>1"
                                    "</LineNumber><UnitOfMeasure> </UnitOfMeasure></Invoice>",
                                    50000) +
                             "</Line>");
                       },
                       "", 50000},
        RobustnessCase{"FiftyThousandUnclosedCustomers",
                       [] {
                         std::string text = SoundUpToInvoices("");
                         return text.substr(0, text.find("<Customer>")) +
                                Repeat("<Customer><CustomerID>1</CustomerID>", 50000);
                       },
                       "", 0},
        RobustnessCase{"FiftyThousandUnclosedTaxEntries",
                       [] {
                         std::string text = SoundUpToInvoices("");
                         return text.substr(0, text.find("<TaxTableEntry>")) +
                                Repeat("<TaxTableEntry><TaxType>IVA</TaxType>", 50000);
                       },
                       "", 0},
        RobustnessCase{"FiftyThousandHeaders",
                       [] { return Repeat("<Header>", 50000) + SaftBuilder().Build(); },
                       "Ficheiro SAFT inválido! (h0)", 0},
        // Found by fuzzing: a file whose last byte is a lone CR kept it as a lone CR.
        RobustnessCase{"LoneCrAsTheWholeFile", [] { return "\r"s; }, kNoHeader, 0},
        RobustnessCase{"LoneCrAtTheEnd", [] { return SaftBuilder().Build() + "x\r"; }, "", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RobustnessWriteTest, LoneCrAtTheEndBecomesCrLf) {
  for (const std::string& bytes : {"\r"s, "a\r"s, "a\r\nb\r"s,
                                   "\xEF\xBB\xBF"
                                   "a\r"s}) {
    Document doc = Document::FromBytes(bytes);
    std::string text = doc.Text(0, doc.size());
    EXPECT_TRUE(text.ends_with("\r\n")) << bytes;
    EXPECT_TRUE(doc.Serialize().ends_with("\r\n")) << bytes;
  }
}

TEST(RobustnessWriteTest, OddUtf16ByteIsDroppedAndTheRestWrittenInUnits) {
  Document doc = Document::FromBytes(
      "\xFF\xFE"
      "a\0b"s);
  EXPECT_EQ(doc.Serialize(),
            "\xFF\xFE"
            "a\0\r\0\n\0"s);
}

}  // namespace
}  // namespace verifax
