#include "inspection/inspection_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "inspection/document.h"
#include "inspection/errors.h"
#include "support/saft_builder.h"
#include "support/scratch_dir.h"
#include "support/scripted_prompts.h"

namespace verifax {
namespace {

namespace fs = std::filesystem;
using testing::MemoryLog;
using testing::SaftBuilder;
using testing::ScriptedPrompts;

class InspectionRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    doc_ = (dir_ / "saft.xml").string();
    options_.file_path = doc_;
    options_.local_time = [] {
      std::tm t{};
      t.tm_year = 113, t.tm_mon = 4, t.tm_mday = 12, t.tm_hour = 14, t.tm_min = 30, t.tm_sec = 5;
      return t;
    };
  }
  static std::string Read(const fs::path& p) { return testing::ReadFile(p); }
  static void Write(const fs::path& p, const std::string& bytes) { testing::WriteFile(p, bytes); }
  std::size_t FileCount() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }
  RunResult Run() { return RunInspection(options_, prompts_, log_, tax_info_); }

  testing::ScratchDir scratch_{"verifax-run"};
  const fs::path dir_ = scratch_.path();
  std::string doc_;
  RunOptions options_;
  ScriptedPrompts prompts_;
  MemoryLog log_;
  std::vector<TTax> tax_info_;
};

TEST_F(InspectionRunTest, DeclinedChangesNothing) {
  Write(doc_, SaftBuilder().Build());
  log_.lines = {"previous run"};
  prompts_.confirm = false;
  EXPECT_EQ(Run().outcome, RunOutcome::kDeclined);
  EXPECT_EQ(log_.lines, std::vector<std::string>{"previous run"});
}

TEST_F(InspectionRunTest, CleanFileIsNotTouched) {
  Write(doc_, SaftBuilder().Build());
  auto before = fs::last_write_time(doc_);
  EXPECT_EQ(Run().outcome, RunOutcome::kClean);
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"A inspecionar o ficheiro: \"" + doc_ + "\"", "",
                                                  "", "Ficheiro sem erros!"}));
  EXPECT_EQ(fs::last_write_time(doc_), before);
  EXPECT_EQ(FileCount(), 1u);
}

TEST_F(InspectionRunTest, RepairedFileIsBackedUpAndSaved) {
  SaftBuilder b;
  b.invoices = {
      SaftBuilder::Invoice("FT A/15", {SaftBuilder::Line("1", "UN"), SaftBuilder::Line("2", "")})};
  Write(doc_, b.Build());
  RunResult result = Run();
  EXPECT_EQ(result.outcome, RunOutcome::kRepaired);
  EXPECT_EQ(result.error_cnt, 1);
  std::string backup = (dir_ / "saft_20130512_143005.bak_xml").string();
  EXPECT_EQ(log_.lines, (std::vector<std::string>{
                            "A inspecionar o ficheiro: \"" + doc_ + "\"",
                            "",
                            "1> Doc. #FT A/15  Linha #2 (UnitOfMeasure): \"\" -> \"Un\"",
                            "",
                            "",
                            "Ficheiro SAFT (Backup): sucesso!",
                            "     (\"" + doc_ + "\" -> \"" + backup + "\")",
                            "",
                            "Ficheiro SAFT: novo ficheiro guardado com sucesso!",
                            "     (" + doc_ + ")",
                        }));
  EXPECT_EQ(Read(backup), b.Build());
  b.invoices = {SaftBuilder::Invoice("FT A/15",
                                     {SaftBuilder::Line("1", "UN"), SaftBuilder::Line("2", "Un")})};
  EXPECT_EQ(Read(doc_), b.Build());
}

TEST_F(InspectionRunTest, FailureEmptiesThePaneAndWritesNothing) {
  SaftBuilder b;
  b.country = "ES";  // repaired first, then the run fails
  b.invoices = {SaftBuilder::Invoice(" ", {})};
  Write(doc_, b.Build());
  RunResult result = Run();
  EXPECT_EQ(result.outcome, RunOutcome::kFailed);
  EXPECT_EQ(result.message, "Ficheiro SAFT inválido! (i0)");
  EXPECT_TRUE(log_.lines.empty());
  EXPECT_EQ(Read(doc_), b.Build());
  EXPECT_EQ(FileCount(), 1u);
}

TEST_F(InspectionRunTest, MissingFileOrFolder) {
  for (const std::string& path : {doc_, dir_.string(), std::string()}) {
    options_.file_path = path;
    RunResult result = Run();
    EXPECT_EQ(result.outcome, RunOutcome::kFailed);
    EXPECT_EQ(result.message, "Ficheiro SAF-T não existe!");
  }
}

// A prompt that changes the file on disk while the run waits for its answer.
class MeddlingPrompts : public ScriptedPrompts {
 public:
  std::function<void()> meddle;
  bool EditTaxInfo(const TTax& question, TTax& answer) override {
    meddle();
    return ScriptedPrompts::EditTaxInfo(question, answer);
  }
};

TEST_F(InspectionRunTest, FileChangedOrCutShortDuringTheRunIsNotOverwritten) {
  SaftBuilder b;
  b.tax_entries = {SaftBuilder::TaxEntry("IVA", "PT", "N", "Normal", "23")};
  b.invoices.assign(2000, SaftBuilder::Invoice("F", {SaftBuilder::Line("1", "UN")}));
  const std::string original = b.Build();
  for (const std::string& newer : {original.substr(0, 500), std::string(original.size(), 'z')}) {
    Write(doc_, original);
    MeddlingPrompts prompts;
    prompts.tax_codes = {"NOR"};
    prompts.meddle = [&] {
      std::ofstream(doc_, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc)
          << newer;
      // File times move in clock ticks of a few milliseconds; a person's edit comes later.
      fs::last_write_time(doc_, fs::last_write_time(doc_) + std::chrono::seconds(2));
    };
    std::vector<TTax> fresh;  // so that the question is asked each time
    RunResult result = RunInspection(options_, prompts, log_, fresh);
    EXPECT_EQ(result.outcome, RunOutcome::kFailed);
    EXPECT_EQ(result.message, FileChangedMessage(doc_));
    EXPECT_TRUE(Read(doc_) == newer);  // (not EXPECT_EQ: no megabytes of diff on failure)
    EXPECT_EQ(FileCount(), 1u);
  }
}

}  // namespace
}  // namespace verifax
