#include "inspection/passes.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "inspection/errors.h"
#include "support/run_passes.h"
#include "support/saft_builder.h"
#include "support/scripted_prompts.h"

namespace verifax {
namespace {

using testing::MemoryLog;
using testing::SaftBuilder;
using testing::ScriptedPrompts;

using Outcome = testing::PassesOutcome;

Outcome Inspect(const std::string& bytes, ScriptedPrompts& prompts,
                std::vector<TTax>* remembered = nullptr, NumberFormat format = {}) {
  Document doc = Document::FromBytes(bytes);
  std::vector<TTax> local;
  return testing::RunPasses(doc, prompts, remembered ? *remembered : local, format);
}

Outcome Inspect(const SaftBuilder& b) {
  ScriptedPrompts prompts;
  return Inspect(b.Build(), prompts);
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(PassesTest, SoundDocumentPassesUntouched) {
  SaftBuilder b;
  Outcome out = Inspect(b);
  EXPECT_EQ(out.error, "");
  EXPECT_TRUE(out.log.empty());
  EXPECT_EQ(out.written, b.Build());
}

// --- Failures -------------------------------------------------------------------

struct FailureCase {
  const char* name;
  std::function<std::string()> document;
  std::string message;
};

class FailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailureTest, EndsTheRunWithItsMessage) {
  ScriptedPrompts prompts;
  Outcome out = Inspect(GetParam().document(), prompts);
  EXPECT_EQ(out.error, GetParam().message);
}

std::function<std::string()> With(std::function<void(SaftBuilder&)> change) {
  return [change] {
    SaftBuilder b;
    change(b);
    return b.Build();
  };
}

std::function<std::string()> Edited(std::string from, std::string to) {
  return [from, to] { return Replaced(SaftBuilder().Build(), from, to); };
}

const char* kInvalid(const char* code) {
  static std::string storage[64];
  static int next = 0;
  storage[next] = std::string("Ficheiro SAFT inválido! (") + code + ")";
  return storage[next++].c_str();
}

// Header text padded so that "</Header>" starts at `offset`.
std::string HeaderClosingAt(std::int64_t offset) {
  SaftBuilder b;
  std::string text = b.Build();
  auto close = text.find("</Header>");
  text.insert(close, std::string(static_cast<std::size_t>(offset) - close, ' '));
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Header, FailureTest,
    ::testing::Values(
        FailureCase{"NoClosingTag", Edited("</Header>", "</Headr>"), kInvalid("h0")},
        FailureCase{"EmptyFile", [] { return std::string(); }, kInvalid("h0")},
        FailureCase{"InvalidUtf8", [] { return "\xEF\xBB\xBF<Header>\xFF</Header>"; },
                    kInvalid("h0")},
        FailureCase{"NamespacePrefix",
                    [] {
                      return Replaced(Replaced(SaftBuilder().Build(), "<Header>", "<ns:Header>"),
                                      "</Header>", "</ns:Header>");
                    },
                    kInvalid("h0")},
        FailureCase{"ClosingTagAtOffset100000", [] { return HeaderClosingAt(100000); },
                    kInvalid("h0")},
        FailureCase{"OpeningTagWithAttribute", Edited("<Header>", "<Header a=\"1\">"),
                    kInvalid("h1")},
        FailureCase{"BlankHeader", [] { return "<Header> \r\n\t</Header>"; }, kInvalid("h2")},
        FailureCase{"NoCertificate", Edited("SoftwareCertificateNumber>3301/AT</Software", "X>"),
                    kInvalid("h3")},
        FailureCase{"WrongCertificateBeforeMissingCity",
                    [] {
                      SaftBuilder b;
                      b.certificate = "1234/AT";
                      return Replaced(b.Build(), "<City>Lisboa</City>", "");
                    },
                    kInvalid("h4")},
        FailureCase{"CertificateWithBlank",
                    With([](SaftBuilder& b) { b.certificate = " 3301/AT"; }), kInvalid("h4")},
        FailureCase{"SelfClosingCity", Edited("<City>Lisboa</City>", "<City/>"), kInvalid("h5")},
        FailureCase{"NoPostalCode", Edited("<PostalCode>1000-001</PostalCode>", ""),
                    kInvalid("h6")},
        FailureCase{"NoCountry", Edited("<Country>PT</Country>", ""), kInvalid("h7")},
        FailureCase{"ForeignCountryWithoutTaxNumber",
                    [] {
                      SaftBuilder b;
                      b.country = "ES";
                      return Replaced(b.Build(),
                                      "<TaxRegistrationNumber>999999990</TaxRegistrationNumber>",
                                      "");
                    },
                    kInvalid("h8")}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Passes, FailureTest,
    ::testing::Values(
        FailureCase{"CustomerWithoutId", With([](SaftBuilder& b) {
                      b.customers = {
                          SaftBuilder::Customer("  ", "A", "B", "1000-001", "123456789", "PT")};
                    }),
                    kInvalid("c0")},
        FailureCase{"CustomerWithoutName", Edited("<CompanyName>Ana</CompanyName>", ""),
                    kInvalid("c1")},
        FailureCase{"CustomerWithoutCity", Edited("<City>Porto</City>", ""), kInvalid("c1")},
        FailureCase{"CustomerWithoutPostalCode", Edited("<PostalCode>4000-001</PostalCode>", ""),
                    kInvalid("c2")},
        FailureCase{"CustomerWithoutTaxId", Edited("<CustomerTaxID>123456789</CustomerTaxID>", ""),
                    kInvalid("c2")},
        FailureCase{"CustomerWithoutCountry",
                    Edited("<Country>PT</Country>\r\n</BillingAddress>", "</BillingAddress>"),
                    kInvalid("c3")},
        FailureCase{"CustomerAtOffset0",
                    [] {
                      return SaftBuilder::Customer("C1", "A", "B", "1000-001", "123456789", "PT") +
                             SaftBuilder().Build();
                    },
                    "Erro ao processar cliente! (0)"},
        FailureCase{"TaxEntryBlankDescription",
                    Edited("<Description>Normal</Description>", "<Description> </Description>"),
                    kInvalid("t0")},
        FailureCase{"TaxTypeLowerCase", Edited("<TaxType>IVA</TaxType>", "<TaxType>iva</TaxType>"),
                    kInvalid("t1")},
        FailureCase{"TaxTypeNS", Edited("<TaxType>IVA</TaxType>", "<TaxType>NS</TaxType>"),
                    kInvalid("t1")},
        FailureCase{"RegionLowerCase", Edited("<TaxCountryRegion>PT<", "<TaxCountryRegion>pt<"),
                    kInvalid("t2")},
        FailureCase{"RegionEmpty", Edited("<TaxCountryRegion>PT<", "<TaxCountryRegion><"),
                    kInvalid("t2")},
        FailureCase{"PortugueseEntryWithoutPercentage",
                    Edited("<TaxPercentage>23</TaxPercentage>", ""), kInvalid("t3")},
        FailureCase{"PortugueseEntryWithoutCode", Edited("<TaxCode>NOR</TaxCode>", ""),
                    kInvalid("t4")},
        FailureCase{"TaxEntryAtOffset0",
                    [] {
                      return SaftBuilder::TaxEntry("IVA", "PT", "NOR", "N", "23") +
                             SaftBuilder().Build();
                    },
                    "Erro ao processar taxa de iva! (0)"},
        FailureCase{"BlankInvoiceNumber", Edited("<InvoiceNo>FT A/1<", "<InvoiceNo> <"),
                    kInvalid("i0")},
        FailureCase{"BlankLineNumber", Edited("<LineNumber>1<", "<LineNumber><"), kInvalid("l0")},
        FailureCase{"LineWithoutNumberOrUnit",
                    Edited("<LineNumber>1</LineNumber>\r\n<UnitOfMeasure>UN</UnitOfMeasure>", ""),
                    kInvalid("l0")},
        FailureCase{"SelfClosingUnit",
                    Edited("<UnitOfMeasure>UN</UnitOfMeasure>", "<UnitOfMeasure/>"),
                    kInvalid("i1")},
        FailureCase{"InvoiceAtOffset0",
                    [] { return SaftBuilder::Invoice("F", {}) + SaftBuilder().Build(); },
                    "Erro ao processar documento! (0)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HeaderPassTest, ClosingTagAtOffset99999IsWithinTheBound) {
  ScriptedPrompts prompts;
  EXPECT_EQ(Inspect(HeaderClosingAt(99999), prompts).error, "");
}

TEST(HeaderPassTest, BoundCountsCharactersNotBytes) {
  // 99999 characters before the closing tag, many of them two bytes in UTF-8.
  std::string text = HeaderClosingAt(99999);
  auto pos = text.find("</Header>") - 3000;
  std::string accents;
  for (int i = 0; i < 1000; ++i) accents += "\xC3\xA9";
  text.replace(pos, 1000, accents);
  ScriptedPrompts prompts;
  EXPECT_EQ(Inspect("\xEF\xBB\xBF" + text, prompts).error, "");
  text.insert(pos, "\xC3\xA9");  // one character more
  EXPECT_EQ(Inspect("\xEF\xBB\xBF" + text, prompts).error, kInvalid("h0"));
}

// --- Questions and answers ------------------------------------------------------

TEST(HeaderPassTest, AsksOnlyForWhatIsWrongAndLogsInOrder) {
  SaftBuilder b;
  b.country = "ES";
  b.city = "";
  b.postal_code = "1000";
  b.nif = "123";
  ScriptedPrompts prompts;
  prompts.company_answers.push_back(TCompany{"Lisboa", "1000-001", "999999990", false, false});
  Outcome out = Inspect(b.Build(), prompts);
  ASSERT_EQ(out.error, "");
  ASSERT_EQ(prompts.company_questions.size(), 1u);
  const TCompany& q = prompts.company_questions[0];
  EXPECT_EQ(q.city, "");
  EXPECT_EQ(q.postalcode, "1000");
  EXPECT_EQ(q.nif, "123");
  EXPECT_TRUE(q.edit_address);
  EXPECT_TRUE(q.edit_nif);
  EXPECT_EQ(out.log, (std::vector<std::string>{
                         "1> Empresa (país): \"ES\" -> \"PT\"",
                         "2> Empresa (Cidade): \"\" -> \"Lisboa\"",
                         "3> Empresa (Cód. Postal): \"1000\" -> \"1000-001\"",
                         "4> Empresa (NIF): \"123\" -> \"999999990\"",
                     }));
  b.country = "PT";
  b.city = "Lisboa";
  b.postal_code = "1000-001";
  b.nif = "999999990";
  EXPECT_EQ(out.written, b.Build());
}

struct AnswerCase {
  const char* name;
  std::string city, postal, nif;  // document values
  std::optional<TCompany> answer;
  bool edit_address, edit_nif;
  std::string error;
  std::vector<std::string> log;
};

class CompanyAnswerTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(CompanyAnswerTest, Answers) {
  const AnswerCase& c = GetParam();
  SaftBuilder b;
  b.city = c.city;
  b.postal_code = c.postal;
  b.nif = c.nif;
  ScriptedPrompts prompts;
  prompts.company_answers.push_back(c.answer);
  Outcome out = Inspect(b.Build(), prompts);
  ASSERT_EQ(prompts.company_questions.size(), 1u);
  EXPECT_EQ(prompts.company_questions[0].edit_address, c.edit_address);
  EXPECT_EQ(prompts.company_questions[0].edit_nif, c.edit_nif);
  EXPECT_EQ(out.error, c.error);
  EXPECT_EQ(out.log, c.log);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CompanyAnswerTest,
    ::testing::Values(
        AnswerCase{"OnlyNif",
                   "Lisboa",
                   "1000-001",
                   "999999999",
                   TCompany{"Lisboa", "1000-001", "123456789"},
                   false,
                   true,
                   "",
                   {"1> Empresa (NIF): \"999999999\" -> \"123456789\""}},
        AnswerCase{"OnlyAddressBothLinesAlthoughOnlyCityWasBlank",
                   " ",
                   "1000-001",
                   "999999990",
                   TCompany{"Porto", "1000-001", "x"},
                   true,
                   false,
                   "",
                   {"1> Empresa (Cidade): \" \" -> \"Porto\"",
                    "2> Empresa (Cód. Postal): \"1000-001\" -> \"1000-001\""}},
        AnswerCase{"PostalCodeWithBlanksIsAsked",
                   "Lisboa",
                   " 1000-001",
                   "999999990",
                   TCompany{"Lisboa", "1000-001", ""},
                   true,
                   false,
                   "",
                   {"1> Empresa (Cidade): \"Lisboa\" -> \"Lisboa\"",
                    "2> Empresa (Cód. Postal): \" 1000-001\" -> \"1000-001\""}},
        AnswerCase{"Cancelled",
                   "",
                   "1000-001",
                   "999999990",
                   std::nullopt,
                   true,
                   false,
                   "Não foi atualizada qualquer informação!\r\nO ficheiro SAFT continua inválido.",
                   {}},
        AnswerCase{"BlankCityAnswer",
                   "",
                   "1000-001",
                   "999999990",
                   TCompany{" ", "1000-001", ""},
                   true,
                   false,
                   "Informações introduzidas estão incorrectas! (Cód. Postal / Cidade)",
                   {}},
        AnswerCase{"BadPostalCodeAnswer",
                   "",
                   "1000-001",
                   "999999990",
                   TCompany{"Lisboa", "1000-01", ""},
                   true,
                   false,
                   "Informações introduzidas estão incorrectas! (Cód. Postal / Cidade)",
                   {}},
        AnswerCase{"BadNifAnswerAfterAddressRepairs",
                   "",
                   "1000-001",
                   "1",
                   TCompany{"Lisboa", "1000-001", "123456780"},
                   true,
                   true,
                   "Informações introduzidas estão incorrectas! (NIF)",
                   {"1> Empresa (Cidade): \"\" -> \"Lisboa\"",
                    "2> Empresa (Cód. Postal): \"1000-001\" -> \"1000-001\""}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Customer repairs -----------------------------------------------------------

struct CustomerCase {
  const char* name;
  std::string customer_name, city, postal, tax_id, country;
  std::vector<std::string> log;
};

class CustomerRepairTest : public ::testing::TestWithParam<CustomerCase> {};

TEST_P(CustomerRepairTest, RepairsAndLogs) {
  const CustomerCase& c = GetParam();
  SaftBuilder b;
  b.customers = {
      SaftBuilder::Customer("C0042", c.customer_name, c.city, c.postal, c.tax_id, c.country)};
  Outcome out = Inspect(b);
  EXPECT_EQ(out.error, "");
  EXPECT_EQ(out.log, c.log);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CustomerRepairTest,
    ::testing::Values(
        CustomerCase{"Sound", "Ana", "Porto", "1000-001", "123456789", "PT", {}},
        CustomerCase{"BlankNameShowsItsBlanks",
                     "  ",
                     "Porto",
                     "1000-001",
                     "123456789",
                     "PT",
                     {"1> Cliente #C0042 (companyname): \"  \" -> \"Desconhecido\""}},
        CustomerCase{"EmptyCity",
                     "Ana",
                     "",
                     "1000-001",
                     "123456789",
                     "PT",
                     {"1> Cliente #C0042 (cidade): \"\" -> \"Desconhecido\""}},
        CustomerCase{"ForeignPostalCode",
                     "Ana",
                     "Madrid",
                     "28001",
                     "ESB12345678",
                     "ES",
                     {"1> Cliente #C0042 (cód. postal): \"28001\" -> \"Desconhecido\""}},
        CustomerCase{
            "PostalCodeDesconhecidoKept", "Ana", "X", "Desconhecido", "123456789", "PT", {}},
        CustomerCase{"PostalCodeLowerCaseUnknownRepaired",
                     "Ana",
                     "X",
                     "desconhecido",
                     "123456789",
                     "PT",
                     {"1> Cliente #C0042 (cód. postal): \"desconhecido\" -> \"Desconhecido\""}},
        CustomerCase{"PostalCodeWithTrailingBlank",
                     "Ana",
                     "X",
                     "1000-001 ",
                     "123456789",
                     "PT",
                     {"1> Cliente #C0042 (cód. postal): \"1000-001 \" -> \"Desconhecido\""}},
        CustomerCase{"ConsumidorFinalKeepsCountry", "Ana", "X", "1000-001", "999999990", "PT", {}},
        CustomerCase{"InvalidTaxIdLosesListedCountry",
                     "Ana",
                     "X",
                     "1000-001",
                     "B12345678",
                     "ES",
                     {"1> Cliente #C0042 (país): \"ES\" -> \"Desconhecido\""}},
        CustomerCase{"TaxIdPrefixKeepsCountry", "Ana", "X", "1000-001", "ESB12345678", "ES", {}},
        CustomerCase{
            "LowerCaseCountryWithMatchingPrefixKept", "Ana", "X", "1000-001", "pt999", "pt", {}},
        CustomerCase{"LowerCaseCountryRepaired",
                     "Ana",
                     "X",
                     "1000-001",
                     "123456789",
                     "pt",
                     {"1> Cliente #C0042 (país): \"pt\" -> \"Desconhecido\""}},
        CustomerCase{"EmptyCountryAndTaxIdKept", "Ana", "X", "1000-001", "", "", {}},
        CustomerCase{"ThreeRepairsInOrder",
                     " ",
                     "",
                     "1000",
                     "123456789",
                     "PT",
                     {"1> Cliente #C0042 (companyname): \" \" -> \"Desconhecido\"",
                      "2> Cliente #C0042 (cidade): \"\" -> \"Desconhecido\"",
                      "3> Cliente #C0042 (cód. postal): \"1000\" -> \"Desconhecido\""}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Tax table ------------------------------------------------------------------

TEST(TaxTablePassTest, AsksOncePerPercentageAndRemembers) {
  SaftBuilder b;
  b.tax_entries = {SaftBuilder::TaxEntry("IVA", "PT", "N", "Taxa Normal", "23"),
                   SaftBuilder::TaxEntry("IVA", "PT-AC", "nor", "Outra", " 23 "),
                   SaftBuilder::TaxEntry("IVA", "PT", "", "Intermedia", "13"),
                   SaftBuilder::TaxEntry("IVA", "PT", "NOR", "Normal", "23"),
                   SaftBuilder::TaxEntry("IVA", "ES", "XYZ", "Espanha", "21")};
  ScriptedPrompts prompts;
  prompts.tax_codes = {" NOR ", "INT"};
  std::vector<TTax> remembered;
  Outcome out = Inspect(b.Build(), prompts, &remembered);
  ASSERT_EQ(out.error, "");
  ASSERT_EQ(prompts.tax_questions.size(), 2u);
  EXPECT_EQ(prompts.tax_questions[0], (TTax{"N", "Taxa Normal", "23"}));
  EXPECT_EQ(prompts.tax_questions[1], (TTax{"", "Intermedia", "13"}));
  EXPECT_EQ(out.log, (std::vector<std::string>{
                         "1> Taxa \"Taxa Normal (23)\" (código): \"N\" -> \"NOR\"",
                         "2> Taxa \"Outra ( 23 )\" (código): \"nor\" -> \"NOR\"",
                         "3> Taxa \"Intermedia (13)\" (código): \"\" -> \"INT\"",
                     }));
  EXPECT_EQ(remembered,
            (std::vector<TTax>{{" NOR ", "Taxa Normal", "23"}, {"INT", "Intermedia", "13"}}));

  // A later run with the same remembered answers asks nothing.
  ScriptedPrompts later;
  Outcome again = Inspect(b.Build(), later, &remembered);
  EXPECT_TRUE(later.tax_questions.empty());
  EXPECT_EQ(again.log.size(), 3u);
}

TEST(TaxTablePassTest, CancelOrUnacceptedAnswerFails) {
  SaftBuilder b;
  b.tax_entries = {SaftBuilder::TaxEntry("IVA", "PT", "N", "Normal", "23")};
  for (std::optional<std::string> answer :
       {std::optional<std::string>(), std::optional<std::string>("XYZ")}) {
    ScriptedPrompts prompts;
    prompts.tax_codes = {answer};
    std::vector<TTax> remembered;
    Outcome out = Inspect(b.Build(), prompts, &remembered);
    EXPECT_EQ(out.error,
              "Não foi atualizada qualquer informação!\r\nO ficheiro SAFT continua inválido.");
    EXPECT_TRUE(remembered.empty());
  }
}

struct StampDutyCase {
  const char* name;
  std::string percentage, code, decimal_separator;
  std::vector<std::string> log;
};

class StampDutyTest : public ::testing::TestWithParam<StampDutyCase> {};

TEST_P(StampDutyTest, CodeFollowsPercentage) {
  const StampDutyCase& c = GetParam();
  SaftBuilder b;
  b.tax_entries = {SaftBuilder::TaxEntry("IS", "PT", c.code, "Selo", c.percentage),
                   SaftBuilder::TaxEntry(" IVA ", "PT", "bad", "Blank type", "23")};
  ScriptedPrompts prompts;
  NumberFormat format;
  format.decimal_separator = c.decimal_separator;
  Outcome out = Inspect(b.Build(), prompts, nullptr, format);
  EXPECT_EQ(out.error, "");
  EXPECT_EQ(out.log, c.log);
  EXPECT_TRUE(prompts.tax_questions.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, StampDutyTest,
    ::testing::Values(
        StampDutyCase{"Equal", "10", "10", ".", {}},
        StampDutyCase{"EqualToTwoDecimals", "10.00", "10.004", ".", {}},
        StampDutyCase{"CodeX", "10", "X", ".", {"1> Taxa #Selo (código): \"X\" -> \"10\""}},
        StampDutyCase{"EmptyCode", "10", "", ".", {"1> Taxa #Selo (código): \"\" -> \"10\""}},
        StampDutyCase{"NotANumberAlwaysRepaired",
                      "abc",
                      "abc",
                      ".",
                      {"1> Taxa #Selo (código): \"abc\" -> \"abc\""}},
        StampDutyCase{"FullStopInCommaLocale",
                      "10.00",
                      "10.00",
                      ",",
                      {"1> Taxa #Selo (código): \"10.00\" -> \"10.00\""}},
        StampDutyCase{"CommaInCommaLocale", "10,00", "10", ",", {}},
        StampDutyCase{"ThousandsSeparatorDoesNotConvert",
                      "1,000.5",
                      "1000.5",
                      ".",
                      {"1> Taxa #Selo (código): \"1000.5\" -> \"1,000.5\""}},
        StampDutyCase{
            "NegativeIsRepaired", "-1", "-1", ".", {"1> Taxa #Selo (código): \"-1\" -> \"-1\""}},
        StampDutyCase{"ExponentAndBlanks", " 1e1 ", "10", ".", {}},
        StampDutyCase{"HalfwayGoesToEven", "0.125", "0.12", ".", {}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Invoices -------------------------------------------------------------------

TEST(InvoicePassTest, BlankUnitsBecomeUnAndShowTheirBlanks) {
  SaftBuilder b;
  b.invoices = {SaftBuilder::Invoice(
      " FT A/15", {SaftBuilder::Line("1", "kg"), SaftBuilder::Line("2", ""),
                   SaftBuilder::Line("3", "  "), SaftBuilder::Line("4", " Un ")})};
  Outcome out = Inspect(b);
  EXPECT_EQ(out.error, "");
  EXPECT_EQ(out.log, (std::vector<std::string>{
                         "1> Doc. # FT A/15  Linha #2 (UnitOfMeasure): \"\" -> \"Un\"",
                         "2> Doc. # FT A/15  Linha #3 (UnitOfMeasure): \"  \" -> \"Un\"",
                     }));
  b.invoices = {SaftBuilder::Invoice(
      " FT A/15", {SaftBuilder::Line("1", "kg"), SaftBuilder::Line("2", "Un"),
                   SaftBuilder::Line("3", "Un"), SaftBuilder::Line("4", " Un ")})};
  EXPECT_EQ(out.written, b.Build());
}

TEST(InvoicePassTest, OtherDocumentsLinesAreNotExamined) {
  std::string text = Replaced(
      SaftBuilder().Build(), "</SourceDocuments>",
      "<WorkingDocuments>" + SaftBuilder::Line("1", "") + "</WorkingDocuments></SourceDocuments>");
  ScriptedPrompts prompts;
  EXPECT_TRUE(Inspect(text, prompts).log.empty());
}

TEST(PassesTest, NumbersRunOnAcrossPasses) {
  SaftBuilder b;
  b.country = "pt ";
  b.customers = {SaftBuilder::Customer("A", "", "X", "1000-001", "123456789", "PT"),
                 SaftBuilder::Customer("B", "N", "", "1000-001", "123456789", "PT")};
  b.tax_entries = {SaftBuilder::TaxEntry("IS", "PT", "", "Selo", "10")};
  b.invoices = {SaftBuilder::Invoice("F1", {SaftBuilder::Line("1", "")})};
  Outcome out = Inspect(b);
  EXPECT_EQ(out.log, (std::vector<std::string>{
                         "1> Empresa (país): \"pt \" -> \"PT\"",
                         "2> Cliente #A (companyname): \"\" -> \"Desconhecido\"",
                         "3> Cliente #B (cidade): \"\" -> \"Desconhecido\"",
                         "4> Taxa #Selo (código): \"\" -> \"10\"",
                         "5> Doc. #F1  Linha #1 (UnitOfMeasure): \"\" -> \"Un\"",
                     }));
}

// --- Positions after repairs ----------------------------------------------------

TEST(RepairPositionsTest, ShrinkingRepairDoesNotSkipTheNextElement) {
  SaftBuilder b;
  std::string long_postal(40, '9');
  b.customers = {SaftBuilder::Customer("A", "N", "X", long_postal, "123456789", "PT"),
                 SaftBuilder::Customer("B", "N", "", "1000-001", "123456789", "PT")};
  b.invoices = {SaftBuilder::Invoice("F1", {SaftBuilder::Line("1", std::string(40, ' ')),
                                            SaftBuilder::Line("2", "")}),
                SaftBuilder::Invoice("F2", {SaftBuilder::Line("1", "")})};
  Outcome out = Inspect(b);
  EXPECT_EQ(out.log,
            (std::vector<std::string>{
                "1> Cliente #A (cód. postal): \"" + long_postal + "\" -> \"Desconhecido\"",
                "2> Cliente #B (cidade): \"\" -> \"Desconhecido\"",
                "3> Doc. #F1  Linha #1 (UnitOfMeasure): \"" + std::string(40, ' ') + "\" -> \"Un\"",
                "4> Doc. #F1  Linha #2 (UnitOfMeasure): \"\" -> \"Un\"",
                "5> Doc. #F2  Linha #1 (UnitOfMeasure): \"\" -> \"Un\"",
            }));
}

TEST(RepairPositionsTest, GrowingRepairsDoNotCutAnInvoicesLastLines) {
  std::vector<std::string> lines;
  for (int i = 1; i <= 60; ++i) lines.push_back(SaftBuilder::Line(std::to_string(i), ""));
  SaftBuilder b;
  b.invoices = {SaftBuilder::Invoice("F1", lines)};
  Outcome out = Inspect(b);
  ASSERT_EQ(out.log.size(), 60u);
  EXPECT_EQ(out.log.back(), "60> Doc. #F1  Linha #60 (UnitOfMeasure): \"\" -> \"Un\"");
}

TEST(InvoicePassTest, LineWithoutItsClosingTagTakesTheNextOne) {
  std::string unclosed =
      "<Line>\r\n<LineNumber>1</LineNumber>\r\n<UnitOfMeasure></UnitOfMeasure>\r\n";
  SaftBuilder b;
  b.invoices = {SaftBuilder::Invoice(
      "F1", {unclosed, SaftBuilder::Line("2", ""), SaftBuilder::Line("3", "")})};
  Outcome out = Inspect(b);
  // Line 1 runs to line 2's closing tag; the scan resumes inside it, so line 2 is not
  // examined by itself.
  EXPECT_EQ(out.log, (std::vector<std::string>{
                         "1> Doc. #F1  Linha #1 (UnitOfMeasure): \"\" -> \"Un\"",
                         "2> Doc. #F1  Linha #3 (UnitOfMeasure): \"\" -> \"Un\"",
                     }));
}

// Eight sound invoices, so that what follows lies in the half a second thread plans.
SaftBuilder WithEightSoundInvoices() {
  SaftBuilder b;
  for (int i = 0; i < 8; ++i)
    b.invoices.push_back(
        SaftBuilder::Invoice("F" + std::to_string(i), {SaftBuilder::Line("1", "kg")}));
  return b;
}

// Runs the passes with the invoice pass's second thread and without; both must give
// `log` and the same written bytes.
void ExpectSameWithAndWithoutSecondThread(const SaftBuilder& b,
                                          const std::vector<std::string>& log) {
  auto run = [&](WalkAhead walk_ahead) {
    Document doc = Document::FromBytes(b.Build());
    ScriptedPrompts prompts;
    std::vector<TTax> tax_info;
    return testing::RunPasses(doc, prompts, tax_info, {}, walk_ahead);
  };
  const Outcome ahead = run(WalkAhead::kAlways);
  EXPECT_EQ(ahead.error, "");
  EXPECT_EQ(ahead.log, log);
  const Outcome plain = run(WalkAhead::kNever);
  EXPECT_EQ(ahead.log, plain.log);
  EXPECT_EQ(ahead.written, plain.written);
}

// A customer inside an invoice is repaired before the invoices are read. The plan of that
// invoice made ahead on the text as loaded no longer holds there, and the pass must read
// the invoice itself.
TEST(InvoicePassTest, PlansMadeAheadGiveWayToEarlierRepairs) {
  SaftBuilder b = WithEightSoundInvoices();
  b.invoices.push_back(
      SaftBuilder::Invoice("G", {SaftBuilder::Line("1", " "),
                                 SaftBuilder::Customer("A", "", "X", "1000-001", "123456789", "PT"),
                                 SaftBuilder::Line("2", "")}));
  ExpectSameWithAndWithoutSecondThread(b,
                                       {
                                           "1> Cliente #A (companyname): \"\" -> \"Desconhecido\"",
                                           "2> Doc. #G  Linha #1 (UnitOfMeasure): \" \" -> \"Un\"",
                                           "3> Doc. #G  Linha #2 (UnitOfMeasure): \"\" -> \"Un\"",
                                       });
}

// A plan made ahead also says where the next invoice opens. That holds only while the
// text between the two is as loaded: here a line left open takes the blank unit that
// stands between two invoices, and a customer between two others is repaired first.
TEST(InvoicePassTest, PlansTellTheNextInvoiceOnlyOverTextAsLoaded) {
  SaftBuilder b = WithEightSoundInvoices();
  const std::string blanks(40, ' ');  // repairs that shorten the text
  b.invoices.push_back(SaftBuilder::Invoice("A", {"<Line><LineNumber>1</LineNumber>"}) +
                       "<UnitOfMeasure>" + blanks + "</UnitOfMeasure>");
  b.invoices.push_back(SaftBuilder::Invoice("B", {SaftBuilder::Line("2", "")}));
  b.invoices.push_back(SaftBuilder::Invoice("C", {SaftBuilder::Line("3", "")}) +
                       SaftBuilder::Customer("K", blanks, "X", "1000-001", "123456789", "PT"));
  b.invoices.push_back(SaftBuilder::Invoice("D", {SaftBuilder::Line("4", "")}));
  ExpectSameWithAndWithoutSecondThread(
      b, {
             "1> Cliente #K (companyname): \"" + blanks + "\" -> \"Desconhecido\"",
             "2> Doc. #A  Linha #1 (UnitOfMeasure): \"" + blanks + "\" -> \"Un\"",
             "3> Doc. #B  Linha #2 (UnitOfMeasure): \"\" -> \"Un\"",
             "4> Doc. #C  Linha #3 (UnitOfMeasure): \"\" -> \"Un\"",
             "5> Doc. #D  Linha #4 (UnitOfMeasure): \"\" -> \"Un\"",
         });
}

TEST(PassesTest, ElementWithoutClosingTagEndsThatPassSilently) {
  SaftBuilder b;
  b.customers = {SaftBuilder::Customer("A", "", "X", "1000-001", "123456789", "PT"),
                 "<Customer><CustomerID>B</CustomerID>",
                 SaftBuilder::Customer("C", "", "X", "1000-001", "123456789", "PT")};
  Outcome out = Inspect(b);
  // B takes C's closing tag, so C is not examined on its own; B's first values are C's.
  EXPECT_EQ(out.log, (std::vector<std::string>{
                         "1> Cliente #A (companyname): \"\" -> \"Desconhecido\"",
                         "2> Cliente #B (companyname): \"\" -> \"Desconhecido\"",
                     }));
  b.customers.pop_back();
  out = Inspect(b);
  EXPECT_EQ(out.log.size(), 1u);
  EXPECT_EQ(out.error, "");
}

}  // namespace
}  // namespace verifax

namespace verifax {
namespace {

// Invoices are read in one walk where an invoice lies in one stretch of memory, and by
// separate searches where repairs have cut the text into pieces; on large documents half
// of them are walked ahead on another thread. All must give the same run: the same
// document is inspected whole, split everywhere and split here and there, with and
// without the walk ahead.
TEST(InvoicePassTest, WalkedAndSearchedInvoicesAgree) {
  std::uint32_t seed = 2024;
  // The high bits: the low ones of this generator repeat with short periods.
  auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
  // Lines mostly well formed, with a blank unit now and then; any part may go missing
  // and stray parts turn up anywhere.
  const char* numbers[] = {"<LineNumber>1</LineNumber>", "<LINENUMBER>7</linenumber>",
                           "<LineNumber> </LineNumber>"};
  const char* units[] = {"<UnitOfMeasure></UnitOfMeasure>", "<unitofmeasure>\r\n</UNITOFMEASURE>",
                         "<UnitOfMeasure>        </UnitOfMeasure>",
                         "<UnitOfMeasure> kg </UnitOfMeasure>",
                         "<UnitOfMeasure>UN</UnitOfMeasure>"};
  const char* strays[] = {"<Line>",
                          "</Line>",
                          "</LineNumber>",
                          "<LineNumber>2</LineNumber>",
                          "<UnitOfMeasure>",
                          "</UnitOfMeasure>",
                          "<InvoiceNo>F9</InvoiceNo>",
                          "<INVOICENO> </invoiceno>",
                          "</InvoiceNo>",
                          "<InvoiceStatus>N</InvoiceStatus>",
                          "</Invoice>",
                          "<Invoice>",
                          "\r\n",
                          "x"};
  for (int round = 0; round < 3000; ++round) {
    // How rare the faults are in this round's document: from many to nearly none.
    const std::uint32_t rare = 6 + next() % 60;
    std::string invoices;
    for (int i = 0, n = 1 + int(next() % 8); i < n; ++i) {
      auto stray = [&] { return std::string(next() % rare == 0 ? strays[next() % 14] : ""); };
      std::string body;
      for (int k = 0, m = int(next() % 6); k < m; ++k) {
        body += stray() + (next() % rare ? "<Line>" : "") + stray();
        body += (next() % rare ? numbers[next() % rare == 0 ? 2 : next() % 2] : "") + stray();
        body += (next() % rare ? units[next() % 5] : "") + stray();
        body += (next() % rare ? "</Line>\r\n" : "") + stray();
      }
      std::string number =
          next() % rare == 0 ? "" : "<InvoiceNo>F" + std::to_string(i) + "</InvoiceNo>";
      invoices += "<Invoice>" + number + body + "</Invoice>\r\n";
      // Now and then a unit between two invoices, which a line left open can take.
      if (next() % 8 == 0) invoices += units[next() % 2];
    }
    std::string text =
        Replaced(SaftBuilder().Build(),
                 SaftBuilder::Invoice("FT A/1", {SaftBuilder::Line("1", "UN")}), invoices);

    auto run = [&](int splits, WalkAhead walk_ahead) {
      Document doc = Document::FromBytes(text);
      if (splits < 0) {
        for (std::int64_t pos = doc.size() - 1; pos > 0; pos -= 3) doc.Replace(pos, 0, "");
      }
      for (int s = 0; s < splits; ++s) doc.Replace(std::int64_t(next() % doc.size()), 0, "");
      ScriptedPrompts prompts;
      MemoryLog log;
      std::vector<TTax> tax_info;
      InspectionContext ctx{doc, log, prompts, tax_info, NumberFormat{}};
      std::string error;
      try {
        InspectInvoices(ctx, walk_ahead);
      } catch (const InspectionError& e) {
        error = e.what();
      }
      return std::make_tuple(log.lines, error, doc.Serialize());
    };
    const auto whole = run(0, WalkAhead::kNever);
    ASSERT_EQ(whole, run(-1, WalkAhead::kNever)) << text;
    ASSERT_EQ(whole, run(3, WalkAhead::kNever)) << text;
    ASSERT_EQ(whole, run(0, WalkAhead::kAlways)) << text;
    ASSERT_EQ(whole, run(3, WalkAhead::kAlways)) << text;
  }
}

}  // namespace
}  // namespace verifax
