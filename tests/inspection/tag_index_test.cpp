#include "inspection/tag_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inspection/document.h"
#include "inspection/text_util.h"
#include "support/scratch_dir.h"

namespace verifax {
namespace {

// The index searches in chunks of a mebibyte; these texts run over several of them.
constexpr std::int64_t kChunk = 1 << 20;

// First place of `tag` (upper case) in [from, last] of the upper-cased text, -1 if none.
std::int64_t PlainNext(const std::string& upper, const std::string& tag, std::int64_t from,
                       std::int64_t last) {
  if (from < 0) from = 0;
  auto at = upper.find(tag, static_cast<std::size_t>(from));
  return at == std::string::npos || std::int64_t(at) > last ? -1 : std::int64_t(at);
}

// Filler with tags, near misses and both letter cases, and tags put across every chunk
// boundary and just before the final line break.
std::string TextWithTags(std::uint32_t seed, std::int64_t size) {
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  const char* alphabet[] = {"<Invoice>", "</Invoice>", "<InvoiceNo>", "<INVOIC", "<customer>",
                            "</INVOICE", "x",          "<",           "ice>",    "   "};
  std::string text;
  while (std::int64_t(text.size()) < size) {
    const char* word = alphabet[next() % 10];
    text += (next() % 4 == 0) ? word : std::string(next() % 200, 'y');
  }
  text.resize(static_cast<std::size_t>(size));
  for (std::int64_t boundary = kChunk; boundary < size; boundary += kChunk)
    text.replace(static_cast<std::size_t>(boundary - 4), 10, "</INVOICE>");
  text.replace(text.size() - 11, 11, "<INVOICE>\r\n");
  return text;
}

// With the owner's thread lent to the search (from the back) or not.
class TagIndexTest : public ::testing::TestWithParam<bool> {};

TEST_P(TagIndexTest, AgreesWithAPlainSearchEverywhere) {
  const std::string text = TextWithTags(7, 5 * kChunk + 12345);
  const std::string upper = AsciiUpper(text);
  const std::vector<std::string> tags = {"<CUSTOMER>", "<INVOICE>", "</INVOICE>"};
  TagIndex index(text, {{"<CUSTOMER>"}, {"<INVOICE>", "</INVOICE>"}});
  if (GetParam()) index.Help();
  EXPECT_EQ(index.Slot("<LINE>"), -1);
  // Questions far ahead first: they wait for the search to get there.
  std::uint32_t seed = 99;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  const std::int64_t size = std::int64_t(text.size());
  std::vector<std::pair<std::int64_t, std::int64_t>> ranges = {
      {size - 20, size}, {0, size}, {kChunk - 10, kChunk + 10}, {size, size + 5}, {50, 40}};
  for (int i = 0; i < 400; ++i) {
    std::int64_t from = next() % (size + 1);
    ranges.push_back({from, from + std::int64_t(next() % (i % 2 ? 300 : kChunk * 2))});
  }
  // Ranges that end on a tag, start on it, or start just after it.
  for (const std::string& tag : tags) {
    for (std::int64_t at = PlainNext(upper, tag, 0, size), n = 0; at >= 0 && n < 300;
         at = PlainNext(upper, tag, at + 1, size), ++n) {
      ranges.push_back({at - 3, at});
      ranges.push_back({at, at});
      ranges.push_back({at + 1, at + 500});
    }
  }
  for (const std::string& tag : tags) {
    const int slot = index.Slot(tag);
    ASSERT_GE(slot, 0) << tag;
    for (auto [from, last] : ranges)
      ASSERT_EQ(index.Next(slot, from, last), PlainNext(upper, tag, from, last))
          << tag << " " << from << " " << last;
  }
}

INSTANTIATE_TEST_SUITE_P(Helped, TagIndexTest, ::testing::Bool());

// Dropped while it is still searching: the answers it gave were right, and it stops.
TEST(TagIndexStopTest, AnswersEarlyAndStopsWhenDroppedBeforeItIsDone) {
  const std::string text = TextWithTags(3, 4 * kChunk);
  const std::string upper = AsciiUpper(text);
  for (int i = 0; i < 20; ++i) {
    TagIndex index(text, {{"<INVOICE>"}, {"</INVOICE>"}});
    EXPECT_EQ(index.Next(0, i * 1000, kChunk / 2),
              PlainNext(upper, "<INVOICE>", i * 1000, kChunk / 2));
  }
}

// A document read from a file looks its tags up in the index; after repairs that put tags
// in, cut tags in two and join them again, it must still find what a plain search finds.
TEST(TagIndexDocumentTest, DocumentFindsTheSameTagsWithTheIndexAfterRepairs) {
  testing::ScratchDir scratch("verifax-index");
  const std::string bytes = TextWithTags(11, 2 * kChunk + 777);
  testing::WriteFile(scratch.path() / "saft.xml", bytes);
  Document indexed =
      Document::Load((scratch.path() / "saft.xml").string(), {{"<INVOICE>", "</INVOICE>"}});
  ASSERT_EQ(indexed.Slice(0, indexed.size()), bytes);  // the file's own bytes, no copy
  std::string plain = bytes;

  std::uint32_t seed = 5;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  const char* values[] = {"<Invoice>", "Un", "", "</INV", "OICE>", "<"};
  for (int round = 0; round < 40; ++round) {
    for (int edit = 0; edit < 5; ++edit) {
      std::int64_t pos = next() % (indexed.size() + 1);
      std::int64_t count = std::min<std::int64_t>(next() % 12, indexed.size() - pos);
      std::string value = values[next() % 6];
      indexed.Replace(pos, count, value);
      plain.replace(static_cast<std::size_t>(pos), static_cast<std::size_t>(count), value);
    }
    const std::string upper = AsciiUpper(plain);
    // Searches that end exactly where a tag ends, or one short of it.
    for (std::int64_t at = PlainNext(upper, "<INVOICE>", next() % 1000, indexed.size()), n = 0;
         at >= 0 && n < 20; at = PlainNext(upper, "<INVOICE>", at + 1, indexed.size()), ++n) {
      ASSERT_EQ(indexed.FindTag(at - 7, at + 9, "<INVOICE>"), at) << round;
      ASSERT_EQ(indexed.FindTag(at - 7, at + 8, "<INVOICE>"),
                PlainNext(upper, "<INVOICE>", at - 7, at - 2));
    }
    for (int query = 0; query < 50; ++query) {
      std::int64_t from = next() % (indexed.size() + 1);
      std::int64_t end = query % 2 ? indexed.size() : from + std::int64_t(next() % 5000);
      for (const std::string tag : {"<INVOICE>", "</INVOICE>"}) {
        std::int64_t want = PlainNext(upper, tag, from, end - std::int64_t(tag.size()));
        ASSERT_EQ(indexed.FindTag(from, end, tag), want)
            << round << " " << tag << " " << from << " " << end;
      }
    }
  }
}

}  // namespace
}  // namespace verifax
