#include "inspection/validators.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "inspection/accepted_values.h"

namespace verifax {
namespace {

TEST(AcceptedValuesTest, CountryListHoldsTheCodesThenDesconhecido) {
  const std::string_view countries = CountriesAllowed();
  EXPECT_EQ(countries.size(), 752u);
  EXPECT_TRUE(countries.starts_with("|AF|AX|AL|DZ|"));
  EXPECT_TRUE(countries.ends_with("|ZM|ZW|Desconhecido|"));
  // 246 codes and "Desconhecido", each closed by a separator, after the opening one.
  std::size_t separators = 0;
  for (char c : countries) separators += c == '|';
  EXPECT_EQ(separators, 248u);
}

TEST(AcceptedValuesTest, TaxListsExtendAndFixTheEntries) {
  EXPECT_EQ(TaxCountriesAllowed(), std::string(CountriesAllowed()) + "PT-AC|PT-MA|");
  EXPECT_TRUE(TaxCountriesAllowed().ends_with("|PT-AC|PT-MA|"));
  EXPECT_EQ(TaxCodesAllowed(), "|RED|INT|NOR|ISE|OUT|");
}

TEST(AcceptedValuesTest, InListMatchesWholeEntriesWithCaseSignificant) {
  struct Case {
    std::string_view list;
    std::string_view value;
    bool expected;
  };
  const Case cases[] = {
      {CountriesAllowed(), "PT", true},
      {CountriesAllowed(), "ES", true},
      {CountriesAllowed(), "Desconhecido", true},
      {CountriesAllowed(), "pt", false},
      {CountriesAllowed(), "desconhecido", false},
      {CountriesAllowed(), "P", false},
      {CountriesAllowed(), "PT|PR", true},  // a substring test: spanning two entries counts
      {CountriesAllowed(), "", false},
      {CountriesAllowed(), "PT-AC", false},
      {TaxCountriesAllowed(), "PT-AC", true},
      {TaxCountriesAllowed(), "PT-MA", true},
      {TaxCodesAllowed(), "NOR", true},
      {TaxCodesAllowed(), "nor", false},
      {TaxCodesAllowed(), "NO", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(InList(c.list, c.value), c.expected) << '"' << c.value << '"';
}

TEST(PostalCodeTest, OnlyFourDigitsHyphenThreeDigits) {
  struct Case {
    std::string_view postalcode;
    bool expected;
  };
  const Case cases[] = {
      {"1234-567", true},  {"0000-000", true},   {"1234-5678", false}, {"1234567", false},
      {"12345678", false}, {"1234 567", false},  {" 1234-56", false},  {"abcd-efg", false},
      {"", false},         {"1234-567 ", false}, {"12-34567", false},  {"1234-56a", false},
      {"١٢٣٤-567", false},  // Arabic-Indic digits are no ASCII digits
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsPostalCodeValid(c.postalcode), c.expected) << '"' << c.postalcode << '"';
}

struct NifCase {
  std::string_view nif;
  std::string_view country;
  bool expected;
};

class NifTest : public testing::TestWithParam<NifCase> {};

TEST_P(NifTest, SameAnswerForCompaniesAndPersons) {
  const NifCase& c = GetParam();
  EXPECT_EQ(IsNIFValid(c.nif, c.country, true), c.expected);
  EXPECT_EQ(IsNIFValid(c.nif, c.country, false), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    PortugueseAndForeignNumbers, NifTest,
    testing::Values(
        // Checksums: S mod 11 is 0, or 1 with a last digit 0.
        NifCase{"999999990", "PT", true}, NifCase{"123456789", "PT", true},
        NifCase{"PT123456789", "PT", true}, NifCase{"pt123456789", "PT", true},
        NifCase{"500000000", "PT", true}, NifCase{"100000002", "PT", true},
        NifCase{"123456780", "PT", false}, NifCase{"999999999", "PT", false},
        NifCase{"509999990", "PT", false},
        // First digits 0, 3, 4 and 7 are refused even with a matching checksum.
        NifCase{"300000006", "PT", false}, NifCase{"400000008", "PT", false},
        NifCase{"700000003", "PT", false}, NifCase{"012345678", "PT", false},
        NifCase{"12345678", "PT", false},
        // Nine digits are Portuguese whatever the country.
        NifCase{"123456789", "ES", true},
        // Only characters 3 to 11 are examined.
        NifCase{"PT1234567890", "PT", true}, NifCase{"PT12345678", "PT", false},
        NifCase{"PT 12345678", "PT", false}, NifCase{"000000000", "PT", false},
        NifCase{"PT000000000", "PT", false},
        // Blanks are not trimmed: no prefix is added and "PT" is not found.
        NifCase{" 123456789", "PT", false}, NifCase{"123456789 ", "PT", false},
        NifCase{"PT12345678 ", "PT", false},
        // Signs: an integer, but below nine significant digits.
        NifCase{"-12345678", "PT", false}, NifCase{"+12345678", "PT", false},
        // Foreign numbers: prefix must be the country, upper-cased, and an accepted one.
        NifCase{"ES12345", "es", true}, NifCase{"ES12345", "ES", true}, NifCase{"es", "ES", true},
        NifCase{"ES12345", "PT", false}, NifCase{"XX12345", "XX", false}, NifCase{"E", "E", false},
        NifCase{"", "", false}, NifCase{"", "PT", false}, NifCase{"PT", "PT", false}));

}  // namespace
}  // namespace verifax
