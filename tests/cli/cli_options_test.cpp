#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"

namespace verifax {
namespace {

using Args = std::vector<std::string>;

TEST(CliOptionsTest, CombinedShortOptionsAndBothValueForms) {
  ParseResult r =
      ParseArguments({"-yn", "--city=Lisboa", "--postal-code", "1000-001", "f.xml", "--nif", "-5",
                      "--tax-code=23=nor", "--tax-code", " 6 =ISE", "--no-input"});
  ASSERT_EQ(r.status, ParseStatus::kRun) << r.text;
  const CliOptions& o = r.options;
  EXPECT_TRUE(o.yes);
  EXPECT_TRUE(o.dry_run);
  EXPECT_TRUE(o.no_input);
  EXPECT_EQ(o.city, "Lisboa");
  EXPECT_EQ(o.postal_code, "1000-001");
  EXPECT_EQ(o.nif, "-5");  // the next argument is the value, whatever it looks like
  EXPECT_EQ(o.tax_codes, (std::vector<TaxCodeOption>{{"23", "NOR"}, {" 6 ", "ISE"}}));
  EXPECT_EQ(o.file, "f.xml");
}

TEST(CliOptionsTest, DefaultsAndDoubleDash) {
  ParseResult r = ParseArguments({"--", "-y"});
  ASSERT_EQ(r.status, ParseStatus::kRun) << r.text;
  EXPECT_FALSE(r.options.yes);
  EXPECT_FALSE(r.options.dry_run);
  EXPECT_FALSE(r.options.no_input);
  EXPECT_FALSE(r.options.city || r.options.postal_code || r.options.nif);
  EXPECT_TRUE(r.options.tax_codes.empty());
  EXPECT_EQ(r.options.file, "-y");
}

TEST(CliOptionsTest, TaxCodeSplitsAtTheLastEqualsSign) {
  ParseResult r = ParseArguments({"--tax-code=a=b=Out", "f"});
  ASSERT_EQ(r.status, ParseStatus::kRun) << r.text;
  EXPECT_EQ(r.options.tax_codes, (std::vector<TaxCodeOption>{{"a=b", "OUT"}}));
}

struct UsageCase {
  Args args;
  std::string message;  // the first line on stderr
};

class CliUsageErrorTest : public ::testing::TestWithParam<UsageCase> {};

TEST_P(CliUsageErrorTest, ExitsWith64AndAHint) {
  std::istringstream in;
  std::ostringstream out, err;
  EXPECT_EQ(RunCli(GetParam().args, in, out, err, false, NumberFormat{}), 64);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "verifax-cli: " + GetParam().message +
                           "\nUse 'verifax-cli --help' para ver as opções.\n");
}

const std::string kTaxCodeHint = "' (esperado TAXA=CÓDIGO, com CÓDIGO ISE, RED, INT, NOR ou OUT)";

INSTANTIATE_TEST_SUITE_P(
    Cases, CliUsageErrorTest,
    ::testing::Values(
        UsageCase{{}, "falta o FICHEIRO"}, UsageCase{{"-y"}, "falta o FICHEIRO"},
        UsageCase{{"a.xml", "b.xml"}, "só pode indicar um FICHEIRO (a mais: 'b.xml')"},
        UsageCase{{"--bogus", "f"}, "opção desconhecida: --bogus"},
        UsageCase{{"-yx", "f"}, "opção desconhecida: -x"},
        UsageCase{{"--ye", "f"}, "opção desconhecida: --ye"},
        UsageCase{{"f", "--city"}, "a opção --city requer um valor"},
        UsageCase{{"--yes=1", "f"}, "a opção --yes não aceita valor"},
        UsageCase{{"--tax-code", "23", "f"}, "valor inválido para --tax-code: '23" + kTaxCodeHint},
        UsageCase{{"--tax-code=23=XYZ", "f"},
                  "valor inválido para --tax-code: '23=XYZ" + kTaxCodeHint},
        UsageCase{{"--tax-code=23= NOR", "f"},
                  "valor inválido para --tax-code: '23= NOR" + kTaxCodeHint},
        UsageCase{{"--tax-code=23=", "f"}, "valor inválido para --tax-code: '23=" + kTaxCodeHint}));

TEST(CliOptionsTest, HelpAndVersionExitZeroOnStdout) {
  struct Case {
    Args args;
    std::string expected_start;
  } cases[] = {
      {{"--help"}, "Utilização: verifax-cli [opções] FICHEIRO\n"},
      {{"--help", "--bogus"}, "Utilização: verifax-cli"},
      {{"x", "y", "--version"}, "verifax-cli "},
  };
  for (const Case& c : cases) {
    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(RunCli(c.args, in, out, err, false, NumberFormat{}), 0);
    EXPECT_EQ(out.str().rfind(c.expected_start, 0), 0u) << out.str();
    EXPECT_EQ(err.str(), "");
  }
  std::istringstream in;
  std::ostringstream out, err;
  RunCli({"--version"}, in, out, err, false, NumberFormat{});
  EXPECT_TRUE(std::regex_match(out.str(), std::regex("verifax-cli [0-9]+(\\.[0-9]+)*\n")))
      << out.str();
}

}  // namespace
}  // namespace verifax
