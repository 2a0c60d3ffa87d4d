// A document that disappears while the run waits for the user: the run gets as far as
// the backup, which finds no file, and nothing is created in its place.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "inspection/inspection_run.h"
#include "support/saft_builder.h"
#include "support/scripted_prompts.h"

namespace verifax {
namespace {

namespace fs = std::filesystem;
using testing::MemoryLog;
using testing::SaftBuilder;
using testing::ScriptedPrompts;

// Runs `act` when a dialog opens, then answers as scripted.
class ActingPrompts : public ScriptedPrompts {
 public:
  std::function<void()> act;
  bool EditCompanyInfo(const TCompany& question, TCompany& answer) override {
    act();
    return ScriptedPrompts::EditCompanyInfo(question, answer);
  }
  bool EditTaxInfo(const TTax& question, TTax& answer) override {
    act();
    return ScriptedPrompts::EditTaxInfo(question, answer);
  }
};

struct VanishCase {
  const char* name;
  std::function<void(SaftBuilder&, ActingPrompts&)> set_up;
};

class DocumentVanishesTest : public ::testing::TestWithParam<VanishCase> {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("verifax-vanish-" + std::to_string(::getpid()) + "-" + GetParam().name);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_P(DocumentVanishesTest, BackupReportsTheMissingFile) {
  const fs::path doc = dir_ / "saft.xml";
  SaftBuilder builder;
  ActingPrompts prompts;
  GetParam().set_up(builder, prompts);
  std::ofstream(doc, std::ios::binary) << builder.Build();
  bool removed = false;
  prompts.act = [&] { removed = fs::remove(doc); };

  RunOptions options;
  options.file_path = doc.string();
  MemoryLog log;
  std::vector<TTax> tax_info;
  RunResult result = RunInspection(options, prompts, log, tax_info);

  ASSERT_TRUE(removed) << "no dialog was opened, so the file was never removed";
  EXPECT_EQ(result.outcome, RunOutcome::kFailed);
  EXPECT_EQ(result.message, "Erro ao efetuar backup do ficheiro SAFT!\r\nFicheiro não existe.");
  EXPECT_TRUE(log.lines.empty());
  EXPECT_TRUE(fs::is_empty(dir_)) << "something was written in place of the vanished file";
}

INSTANTIATE_TEST_SUITE_P(Table, DocumentVanishesTest,
                         ::testing::Values(VanishCase{"DuringTheCompanyDialog",
                                                      [](SaftBuilder& b, ActingPrompts& p) {
                                                        b.city = "";
                                                        TCompany answer;
                                                        answer.city = "Lisboa";
                                                        answer.postalcode = "1000-001";
                                                        answer.nif = "999999990";
                                                        p.company_answers = {answer};
                                                      }},
                                           VanishCase{"DuringTheTaxDialog",
                                                      [](SaftBuilder& b, ActingPrompts& p) {
                                                        b.tax_entries = {SaftBuilder::TaxEntry(
                                                            "IVA", "PT", "N", "Normal", "23")};
                                                        p.tax_codes = {"NOR"};
                                                      }}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace verifax
