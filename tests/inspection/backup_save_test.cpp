#include "inspection/backup_save.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "inspection/errors.h"
#include "support/scratch_dir.h"
#include "support/scripted_prompts.h"

namespace verifax {
namespace {

namespace fs = std::filesystem;

std::tm At(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

TEST(BackupFileNameTest, StampGoesBeforeTheExtension) {
  const std::tm when = At(2013, 5, 12, 14, 30, 5);
  struct {
    const char* document;
    const char* backup;
  } cases[] = {
      {"/dados/saft.xml", "/dados/saft_20130512_143005.bak_xml"},
      {"/dados/SAFT.XML", "/dados/SAFT_20130512_143005.bak_XML"},
      {"/dados/saft.2013.xml", "/dados/saft.2013_20130512_143005.bak_xml"},
      {"/dados/saft", "/dados/saft_20130512_143005.bak"},
      {"/dados/saft.saft", "/dados/saft_20130512_143005.bak_saft"},
      {"saft.xml", "saft_20130512_143005.bak_xml"},
      {"/da.dos/saft", "/da.dos/saft_20130512_143005.bak"},
  };
  for (const auto& c : cases) EXPECT_EQ(BackupFileName(c.document, when), c.backup);
  EXPECT_EQ(BackupFileName("/a/b.xml", At(2026, 1, 2, 3, 4, 5)), "/a/b_20260102_030405.bak_xml");
}

class BackupSaveTest : public ::testing::Test {
 protected:
  static std::string Read(const fs::path& p) { return testing::ReadFile(p); }
  static void Write(const fs::path& p, const std::string& bytes) { testing::WriteFile(p, bytes); }

  testing::ScratchDir scratch_{"verifax-backup"};
  const fs::path dir_ = scratch_.path();
  testing::MemoryLog log_;
};

TEST_F(BackupSaveTest, BackupKeepsTheOldBytesWhenTheDocumentIsReplaced) {
  fs::path doc = dir_ / "saft.xml";
  Write(doc, "<a>\xE7</a>\r\n");
  Document text = Document::Load(doc.string());
  text.Replace(3, 1, "Un");
  BackupResult backup = BackupFile(doc.string(), At(2013, 5, 12, 14, 30, 5), log_);
  EXPECT_EQ(backup.path, (dir_ / "saft_20130512_143005.bak_xml").string());
  SaveFile(doc.string(), text, log_);
  EXPECT_EQ(Read(backup.path), "<a>\xE7</a>\r\n");
  EXPECT_EQ(Read(doc), "<a>Un</a>\r\n");
  // The document is a file of its own now: writing it leaves the backup alone.
  Write(doc, "changed");
  EXPECT_EQ(Read(backup.path), "<a>\xE7</a>\r\n");
  EXPECT_EQ(log_.lines, (std::vector<std::string>{
                            "Ficheiro SAFT (Backup): sucesso!",
                            "     (\"" + doc.string() + "\" -> \"" + backup.path + "\")",
                            "Ficheiro SAFT: novo ficheiro guardado com sucesso!",
                            "     (" + doc.string() + ")",
                        }));
  // Nothing but the two files is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

TEST_F(BackupSaveTest, SameSecondReplacesTheEarlierBackup) {
  fs::path doc = dir_ / "saft.xml";
  Write(doc, "first");
  auto when = At(2013, 5, 12, 14, 30, 5);
  BackupResult one = BackupFile(doc.string(), when, log_);
  Write(dir_ / "other", "x");
  fs::remove(doc);
  Write(doc, "second");
  BackupResult two = BackupFile(doc.string(), when, log_);
  EXPECT_EQ(one.path, two.path);
  EXPECT_EQ(Read(two.path), "second");
}

TEST_F(BackupSaveTest, DetachedBackupNoLongerFollowsTheDocument) {
  fs::path doc = dir_ / "saft.xml";
  Write(doc, "old");
  BackupResult backup = BackupFile(doc.string(), At(2020, 1, 1, 0, 0, 0), log_);
  DetachBackup(backup);
  std::ofstream(doc, std::ios::binary | std::ios::trunc) << "new";  // written in place
  EXPECT_EQ(Read(backup.path), "old");
}

TEST_F(BackupSaveTest, MissingDocument) {
  fs::path doc = dir_ / "gone.xml";
  try {
    BackupFile(doc.string(), At(2020, 1, 1, 0, 0, 0), log_);
    FAIL() << "no error";
  } catch (const InspectionError& e) {
    EXPECT_STREQ(e.what(), "Erro ao efetuar backup do ficheiro SAFT!\r\nFicheiro não existe.");
  }
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"Ficheiro SAFT (Backup): ficheiro não existe!",
                                                  "     (" + doc.string() + ")"}));
}

TEST_F(BackupSaveTest, SaveKeepsPermissionsAndFollowsASymbolicLink) {
  fs::path real = dir_ / "real.xml";
  fs::path link = dir_ / "link.xml";
  Write(real, "<a></a>\r\n");
  ::chmod(real.c_str(), 0640);
  fs::create_symlink(real, link);
  Document text = Document::Load(link.string());
  text.Replace(3, 0, "x");
  SaveFile(link.string(), text, log_);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Read(real), "<a>x</a>\r\n");
  struct stat info {};
  ASSERT_EQ(::stat(real.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(BackupSaveTest, DocumentWrittenToByAnotherProgramIsNotOverwritten) {
  fs::path doc = dir_ / "saft.xml";
  Write(doc, "<a></a>\r\n" + std::string(100000, 'x') + "\r\n");
  Document text = Document::Load(doc.string());
  text.Replace(3, 0, "Un");
  Write(doc, "a newer export");  // written in place, shorter
  try {
    SaveFile(doc.string(), text, log_);
    FAIL() << "no error";
  } catch (const InspectionError& e) {
    EXPECT_EQ(e.what(), FileChangedMessage(doc.string()));
  }
  EXPECT_EQ(Read(doc), "a newer export");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(BackupSaveTest, DocumentReplacedUnderItsNameIsStillWrittenFromTheLoadedText) {
  fs::path doc = dir_ / "saft.xml";
  Write(doc, "<a></a>\r\n" + std::string(100000, 'x') + "\r\n");
  Document text = Document::Load(doc.string());
  text.Replace(3, 0, "Un");
  Write(dir_ / "new.xml", "other");
  fs::rename(dir_ / "new.xml", doc);
  SaveFile(doc.string(), text, log_);
  EXPECT_EQ(Read(doc), "<a>Un</a>\r\n" + std::string(100000, 'x') + "\r\n");
}

// Thousands of repairs between long unchanged stretches: more pieces than one gathered
// write takes, and stretches longer than one batch, must still come out whole and in order,
// in a file long enough to be handed to the disk in the background on the way.
TEST_F(BackupSaveTest, ManyRepairsAndLongStretchesAreWrittenInOrder) {
  fs::path doc = dir_ / "saft.xml";
  std::string original;
  std::string expected;
  for (int i = 0; i < 3000; ++i) {
    // Mostly short stretches, now and then one of several megabytes.
    std::string filler(i % 1000 == 999 ? (12 << 20) + i : 40 + i % 7, char('a' + i % 26));
    original += "<u></u>" + filler + "\r\n";
    expected += "<u>" + std::to_string(i) + "</u>" + filler + "\r\n";
  }
  Write(doc, original);
  Document text = Document::Load(doc.string());
  // Repair from the back so that the offsets found in the original stay right.
  std::vector<std::int64_t> places;
  for (std::size_t at = original.find("<u></u>"); at != std::string::npos;
       at = original.find("<u></u>", at + 1))
    places.push_back(static_cast<std::int64_t>(at) + 3);
  for (std::size_t i = places.size(); i-- > 0;) text.Replace(places[i], 0, std::to_string(i));
  SaveFile(doc.string(), text, log_);
  EXPECT_TRUE(Read(doc) == expected) << "the written file differs from the repaired text";
}

}  // namespace
}  // namespace verifax
