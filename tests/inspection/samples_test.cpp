// End-to-end runs over real SAF-T files written by other projects (../shared/saft-samples),
// with an accepted certificate number swapped in, as a user would see them.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "inspection/inspection_run.h"
#include "support/scripted_prompts.h"

namespace verifax {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Answers the tax rate question by percentage, as a user who knows the rates would.
class RateAnswers : public testing::ScriptedPrompts {
 public:
  bool EditTaxInfo(const TTax& question, TTax& answer) override {
    answer = question;
    for (auto [rate, code] : {std::pair{"23", "NOR"}, {"13", "INT"}, {"6", "RED"}, {"0", "ISE"}}) {
      if (question.percentage == rate) {
        answer.code = code;
        return true;
      }
    }
    return false;
  }
};

struct SampleCase {
  const char* file;
  RunOutcome outcome;
  int repairs;        // of a run that does not fail
  std::string first;  // first repair line, or the failure's message
};

class SampleTest : public ::testing::TestWithParam<SampleCase> {};

TEST_P(SampleTest, RunsAsExpectedAndRepairsOnce) {
  const SampleCase& c = GetParam();
  fs::path source = fs::path(VERIFAX_SAMPLES) / c.file;
  if (!fs::exists(source)) GTEST_SKIP() << "sample files not found at " << VERIFAX_SAMPLES;
  fs::path dir = fs::temp_directory_path() / ("verifax-sample-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::path doc = dir / c.file;
  std::string original =
      std::regex_replace(Read(source),
                         std::regex("<SoftwareCertificateNumber>[^<]*</SoftwareCertificateNumber>|"
                                    "<SoftwareCertificateNumber/>"),
                         "<SoftwareCertificateNumber>3301/AT</SoftwareCertificateNumber>");
  std::ofstream(doc, std::ios::binary) << original;

  RunOptions options;
  options.file_path = doc.string();
  RateAnswers prompts;
  testing::MemoryLog log;
  std::vector<TTax> tax_info;
  RunResult result = RunInspection(options, prompts, log, tax_info);
  EXPECT_EQ(result.outcome, c.outcome) << result.message;
  if (c.outcome != RunOutcome::kFailed) {
    EXPECT_EQ(result.error_cnt, c.repairs);
  }

  std::vector<fs::path> backups;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path() != doc) backups.push_back(entry.path());
  if (c.outcome == RunOutcome::kFailed) {
    EXPECT_EQ(result.message, c.first);
    EXPECT_TRUE(Read(doc) == original);
    EXPECT_TRUE(backups.empty());
  } else if (c.outcome == RunOutcome::kRepaired) {
    ASSERT_GE(log.lines.size(), 3u);
    EXPECT_EQ(log.lines[2], c.first);
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_TRUE(Read(backups[0]) == original);
    // What was repaired stays repaired: a second run finds nothing to do.
    fs::remove(backups[0]);
    RunResult again = RunInspection(options, prompts, log, tax_info);
    EXPECT_EQ(again.outcome, RunOutcome::kClean) << again.message;
  } else {
    EXPECT_TRUE(Read(doc) == original);
  }
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, SampleTest,
    ::testing::Values(
        SampleCase{"antonioalmeida-saftapi-primavera-demo2018-integrado-cp1252.xml",
                   RunOutcome::kRepaired, 8,
                   "1> Cliente #ES989922456_C (cód. postal): \"61001\" -> \"Desconhecido\""},
        SampleCase{"antonioalmeida-saftapi-primavera-demo2018-utf8-crlf.xml", RunOutcome::kRepaired,
                   8, "1> Cliente #ES989922456_C (cód. postal): \"61001\" -> \"Desconhecido\""},
        SampleCase{"antonioalmeida-saftapi-primavera-demosinf2016-cp1252.xml",
                   RunOutcome::kRepaired, 8,
                   "1> Cliente #ES989922456_C (cód. postal): \"61001\" -> \"Desconhecido\""},
        SampleCase{"antonioalmeida-saftapi-primavera-saf-t-utf8-declared-cp1252.xml",
                   RunOutcome::kRepaired, 1, "1> Taxa #Isento (código): \"ISE\" -> \"0.00\""},
        SampleCase{"donbonifacio-saftutils-basicSaft-1.03.xml", RunOutcome::kRepaired, 1,
                   "1> Cliente #123 (país): \"PT\" -> \"Desconhecido\""},
        SampleCase{"donbonifacio-saftutils-saft-1.03.xml", RunOutcome::kRepaired, 2,
                   "1> Cliente #206417 (país): \"PT\" -> \"Desconhecido\""},
        SampleCase{"gowithastamp-saftchecker-sample_saft.xml", RunOutcome::kClean, 0, ""},
        SampleCase{"rebelo-saft4php-idemo599999999.xml", RunOutcome::kFailed, 0,
                   "Ficheiro SAFT inválido! (t1)"},
        SampleCase{"rebelo-saft4php-permissivo-no-customers.xml", RunOutcome::kFailed, 0,
                   "Ficheiro SAFT inválido! (t1)"},
        SampleCase{"rebelo-saft4php-wrong-schema-no-taxregnumber.xml", RunOutcome::kFailed, 0,
                   "Ficheiro SAFT inválido! (h8)"}),
    [](const auto& info) {
      std::string name = info.param.file;
      name = name.substr(0, name.find('.'));
      for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

}  // namespace
}  // namespace verifax
