#include "cli/cli_prompts.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_app.h"
#include "cli_test_util.h"

namespace verifax {
namespace {

using testing::ReadBytes;
using testing::ScratchDir;

const std::string kConfirmationPrompt =
    "O ficheiro SAF-T vai ser inspecionado.\n"
    "Será efetuada uma cópia de segurança do ficheiro original.\n"
    "Tem a certeza que deseja continuar? [s/N] ";

struct ConfirmCase {
  std::string input;
  bool yes;
};

class CliConfirmationTest : public ::testing::TestWithParam<ConfirmCase> {};

TEST_P(CliConfirmationTest, ReadsOneLineFromStdin) {
  ScratchDir dir;
  std::string file = dir.CopyFixture("cli_clean.xml", "saft.xml").string();
  std::istringstream in(GetParam().input);
  std::ostringstream out, err;
  EXPECT_EQ(RunCli({file}, in, out, err, true, NumberFormat{}), 0);
  EXPECT_EQ(err.str(), kConfirmationPrompt);
  if (GetParam().yes) {
    EXPECT_EQ(out.str(), "A inspecionar o ficheiro: \"" + file + "\"\n\n\nFicheiro sem erros!\n");
  } else {
    EXPECT_EQ(out.str(), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, CliConfirmationTest,
                         ::testing::Values(ConfirmCase{"s\n", true}, ConfirmCase{"SIM\n", true},
                                           ConfirmCase{" y \r\n", true}, ConfirmCase{"Yes", true},
                                           ConfirmCase{"n\n", false}, ConfirmCase{"\ns\n", false},
                                           ConfirmCase{"sim sim\n", false},
                                           ConfirmCase{"", false}));

TEST(CliConfirmationTest, YesOptionAsksNothing) {
  CliOptions options;
  options.yes = true;
  std::istringstream in("n\n");
  std::ostringstream err;
  CliPrompts prompts(options, in, err, true);
  EXPECT_TRUE(prompts.ConfirmInspection());
  EXPECT_EQ(err.str(), "");
}

// A company question, answered from the options or, failing that, from `terminal`.
struct CompanyCase {
  const char* name;
  TCompany question;
  CliOptions options;
  bool interactive;
  std::string terminal;
  bool ok;
  TCompany answer;
  bool asks = false;
};

TCompany Company(std::string city, std::string postalcode, std::string nif, bool edit_address,
                 bool edit_nif) {
  return TCompany{std::move(city), std::move(postalcode), std::move(nif), edit_address, edit_nif};
}

CliOptions Options(std::optional<std::string> postal_code, std::optional<std::string> city,
                   std::optional<std::string> nif) {
  CliOptions options;
  options.postal_code = std::move(postal_code);
  options.city = std::move(city);
  options.nif = std::move(nif);
  return options;
}

TEST(CliPromptsTest, CompanyQuestion) {
  const TCompany nif_only = Company("Lisboa", "1000-001", "123", false, true);
  const TCompany address = Company("", "1000", "999999990", true, false);
  const CompanyCase cases[] = {
      {"valid --nif", nif_only, Options({}, {}, "123456789"), false, "", true,
       Company("Lisboa", "1000-001", "123456789", false, true)},
      {"invalid --nif", nif_only, Options({}, {}, "123456780"), true, "999999990\n", false,
       Company("Lisboa", "1000-001", "123456780", false, true)},
      {"--city ignored, no terminal", nif_only, Options({}, "Porto", {}), false, "999999990\n",
       false, Company("Lisboa", "1000-001", "123", false, true)},
      {"--city ignored, terminal cancelled", nif_only, Options({}, "Porto", {}), true, "\n", false,
       Company("Lisboa", "1000-001", "123", false, true), true},
      {"--city ignored, terminal answers", nif_only, Options({}, "Porto", {}), true,
       "12\n999999990\n", true, Company("Lisboa", "1000-001", "999999990", false, true), true},
      {"--postal-code without hyphen", address, Options("40001", " Porto", "1"), false, "", true,
       Company("Porto", "4000-000", "999999990", true, false)},
      {"--postal-code cut to the fields", address, Options("12345-6789", {}, {}), false, "", false,
       Company("", "1234-678", "999999990", true, false)},
      {"terminal address", address, Options({}, {}, {}), true, "1000-01\n1100-148\n  \n", false,
       Company("", "1100-148", "999999990", true, false), true},
  };
  for (const CompanyCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::istringstream in(c.terminal);
    std::ostringstream err;
    CliPrompts prompts(c.options, in, err, c.interactive);
    TCompany answer;
    EXPECT_EQ(prompts.EditCompanyInfo(c.question, answer), c.ok);
    EXPECT_EQ(answer.city, c.answer.city);
    EXPECT_EQ(answer.postalcode, c.answer.postalcode);
    EXPECT_EQ(answer.nif, c.answer.nif);
    EXPECT_EQ(answer.edit_address, c.answer.edit_address);
    EXPECT_EQ(answer.edit_nif, c.answer.edit_nif);
    // Only a question asked on the terminal prints anything.
    EXPECT_EQ(!err.str().empty(), c.asks);
  }
}

TEST(CliPromptsTest, TaxQuestion) {
  CliOptions options;
  options.tax_codes = {{"6", "RED"}, {" 23 ", "NOR"}, {"23", "OUT"}, {"isento", "ISE"}};
  struct Case {
    TTax question;
    bool interactive;
    std::string terminal;
    bool ok;
    std::string code;
  } cases[] = {
      {{"N", "Taxa Normal", "23"}, false, "", true, "NOR"},   // first match, both trimmed
      {{"x", "Isenção", " Isento"}, false, "", true, "ISE"},  // upper-cased
      {{"x", "Outra", "13"}, false, "int\n", false, "OUT"},   // preselected from "Out"
      {{"x", "Intermédia", "13"}, true, "abc\n int \n", true, "INT"},
      {{"x", "Taxa", "13"}, true, "", false, "x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.question.percentage + " " + c.terminal);
    std::istringstream in(c.terminal);
    std::ostringstream err;
    CliPrompts prompts(options, in, err, c.interactive);
    TTax answer;
    EXPECT_EQ(prompts.EditTaxInfo(c.question, answer), c.ok);
    EXPECT_EQ(answer, (TTax{c.code, c.question.description, c.question.percentage}));
  }
}

// The options answer the engine's real questions: a document with an invalid company tax
// number and an unaccepted tax code.
TEST(CliPromptsTest, OptionsAnswerTheRunsQuestions) {
  const std::string cancelled =
      "Não foi atualizada qualquer informação!\nO ficheiro SAFT continua inválido.\n";
  struct Case {
    std::vector<std::string> options;
    int exit;
    std::string out_tail;  // after the opening lines
    std::string err;
  } cases[] = {
      {{"--nif=999999990", "--tax-code", "23=nor"},
       1,
       "1> Empresa (NIF): \"123456780\" -> \"999999990\"\n"
       "2> Taxa \"Taxa Normal (23)\" (código): \"N\" -> \"NOR\"\n"
       "\n"
       "Simulação: o ficheiro não foi alterado.\n",
       ""},
      {{"--nif=123456789"}, 2, "", cancelled},
      {{"--nif=1", "--tax-code=23=NOR"}, 2, "", cancelled},
      {{"--city=Porto", "--tax-code=23=NOR"}, 2, "", cancelled},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options[0]);
    ScratchDir dir;
    std::string file = dir.CopyFixture("cli_questions.xml", "q.xml").string();
    std::vector<std::string> args = {"-yn", file};
    args.insert(args.end(), c.options.begin(), c.options.end());
    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(RunCli(args, in, out, err, false, NumberFormat{}), c.exit);
    EXPECT_EQ(out.str(), c.out_tail.empty()
                             ? ""
                             : "A inspecionar o ficheiro: \"" + file + "\"\n\n" + c.out_tail);
    EXPECT_EQ(err.str(), c.err);
    EXPECT_EQ(ReadBytes(file), ReadBytes(testing::Fixture("cli_questions.xml")));
  }
}

}  // namespace
}  // namespace verifax
