#include "dialogs/company_info_model.h"

#include <gtest/gtest.h>

#include <string_view>

namespace verifax {
namespace {

TCompany Question(std::string_view postalcode, std::string_view city, std::string_view nif,
                  bool edit_address, bool edit_nif) {
  TCompany company;
  company.postalcode = postalcode;
  company.city = city;
  company.nif = nif;
  company.edit_address = edit_address;
  company.edit_nif = edit_nif;
  return company;
}

TEST(CompanyInfoModelTest, FillSplitsThePostalCodeAsTheEditsHoldIt) {
  struct Case {
    std::string_view postalcode;
    std::string_view part4;
    std::string_view part3;
  };
  const Case cases[] = {
      {"1000-001", "1000", "001"}, {"1000", "1000", "000"},     {"", "", "000"},
      {"12345678", "1234", "000"}, {"123456-78", "1234", "78"}, {"1000-0012", "1000", "001"},
      {"-123", "", "123"},         {" 100-01 ", " 100", "01 "}, {"1000--1", "1000", "-1"},
  };
  for (const Case& c : cases) {
    CompanyInfoModel model;
    model.Fill(Question(c.postalcode, "Lisboa", "999999990", true, false));
    EXPECT_EQ(model.postal_code4(), c.part4) << c.postalcode;
    EXPECT_EQ(model.postal_code3(), c.part3) << c.postalcode;
    EXPECT_EQ(model.postal_code4_label(), c.part4) << c.postalcode;
    EXPECT_EQ(model.postal_code3_label(), c.part3) << c.postalcode;
  }
}

TEST(CompanyInfoModelTest, OnlyNifAskedLeavesTheAddressSilverAndHidden) {
  CompanyInfoModel model;
  model.Fill(Question("1000-001", "Lisboa", "12345", false, true));

  EXPECT_FALSE(model.address_enabled());
  EXPECT_FALSE(model.address_labels_visible());
  EXPECT_EQ(model.postal_code_colour(), FieldColour::kSilver);
  EXPECT_EQ(model.city_colour(), FieldColour::kSilver);
  EXPECT_EQ(model.postal_code4_label(), "");
  EXPECT_EQ(model.postal_code3_label(), "");
  EXPECT_EQ(model.city_label(), "");
  EXPECT_TRUE(model.nif_enabled());
  EXPECT_TRUE(model.nif_label_visible());
  EXPECT_EQ(model.nif_label(), "12345");
  EXPECT_EQ(model.nif_colour(), FieldColour::kOrange);
  EXPECT_FALSE(model.ok_enabled());

  for (std::string_view nif : {"999999990", "123456789"}) {
    model.SetNif(nif);
    EXPECT_TRUE(model.ok_enabled()) << nif;
    EXPECT_EQ(model.nif_colour(), FieldColour::kGreen) << nif;
    // The address is never judged while it is not asked.
    EXPECT_EQ(model.postal_code_colour(), FieldColour::kSilver);
  }
  // Trimmed for the test, but only after the edit kept its first nine characters.
  model.SetNif(" 123456789");
  EXPECT_EQ(model.nif(), " 12345678");
  EXPECT_FALSE(model.ok_enabled());
  EXPECT_EQ(model.nif_colour(), FieldColour::kOrange);
  model.SetNif("12345678 ");
  EXPECT_FALSE(model.ok_enabled());
  model.SetNif("123456789");
  EXPECT_TRUE(model.ok_enabled());
}

TEST(CompanyInfoModelTest, OnlyAddressAskedNeedsPostalCodeAndCity) {
  CompanyInfoModel model;
  model.Fill(Question("1000", "", "12", true, false));

  EXPECT_FALSE(model.nif_enabled());
  EXPECT_FALSE(model.nif_label_visible());
  EXPECT_EQ(model.nif_label(), "");
  EXPECT_EQ(model.nif_colour(), FieldColour::kSilver);
  EXPECT_TRUE(model.address_labels_visible());
  EXPECT_EQ(model.city_label(), "");
  // 1000-000 is a valid postal code; only the city is missing.
  EXPECT_EQ(model.postal_code_colour(), FieldColour::kGreen);
  EXPECT_EQ(model.city_colour(), FieldColour::kOrange);
  EXPECT_FALSE(model.ok_enabled());

  model.SetCity("Porto");
  EXPECT_EQ(model.city_colour(), FieldColour::kGreen);
  EXPECT_TRUE(model.ok_enabled());

  model.SetPostalCode3("00");
  EXPECT_EQ(model.postal_code_colour(), FieldColour::kOrange);
  EXPECT_FALSE(model.ok_enabled());
  EXPECT_EQ(model.nif_colour(), FieldColour::kSilver);
}

TEST(CompanyInfoModelTest, BothAskedEachFieldColoursByItself) {
  CompanyInfoModel model;
  model.Fill(Question("4000-12", " Braga ", "500000000", true, true));
  EXPECT_EQ(model.postal_code_colour(), FieldColour::kOrange);
  EXPECT_EQ(model.city_colour(), FieldColour::kGreen);
  EXPECT_EQ(model.nif_colour(), FieldColour::kGreen);
  EXPECT_FALSE(model.ok_enabled());

  model.SetPostalCode3("123");
  EXPECT_EQ(model.postal_code_colour(), FieldColour::kGreen);
  EXPECT_TRUE(model.ok_enabled());

  model.SetNif("509999990");
  EXPECT_EQ(model.nif_colour(), FieldColour::kOrange);
  EXPECT_EQ(model.postal_code_colour(), FieldColour::kGreen);
  EXPECT_FALSE(model.ok_enabled());
}

TEST(CompanyInfoModelTest, BlanksAroundThePostalCodeMeetTheMaximumLengths) {
  // Each part is trimmed before the test, but the edits first cut what exceeds their
  // maximum: blanks behind the code fall away, blanks in front push a digit out.
  struct Case {
    std::string_view postalcode;
    bool ok;
  };
  const Case cases[] = {
      {"1000-001 ", true}, {"1000-001\t\t", true}, {" 1000-001", false},
      {"1000 -001", true}, {"1000- 001", false},   {"100 -001", false},
  };
  for (const Case& c : cases) {
    CompanyInfoModel model;
    model.Fill(Question(c.postalcode, "Lisboa", "", true, false));
    EXPECT_EQ(model.ok_enabled(), c.ok) << '"' << c.postalcode << '"';
  }
}

TEST(CompanyInfoModelTest, CityOfOnlyBlanksIsOrange) {
  CompanyInfoModel model;
  model.Fill(Question("1000-001", "Lisboa", "", true, false));
  EXPECT_TRUE(model.ok_enabled());
  model.SetCity(" \t ");
  EXPECT_EQ(model.city_colour(), FieldColour::kOrange);
  EXPECT_FALSE(model.ok_enabled());
}

TEST(CompanyInfoModelTest, MaximumLengthsCountUtf16Units) {
  CompanyInfoModel model;
  model.Fill(Question("1000-001", "Lisboa", "PT999999990", true, true));
  EXPECT_EQ(model.nif(), "PT9999999");  // the edit keeps nine characters
  EXPECT_EQ(model.nif_label(), "PT999999990");

  model.SetPostalCode4("áéíóú");
  EXPECT_EQ(model.postal_code4(), "áéíó");
  model.SetPostalCode3("12345");
  EXPECT_EQ(model.postal_code3(), "123");
  model.SetNif("1234567890");
  EXPECT_EQ(model.nif(), "123456789");
  const std::string long_city(300, 'x');
  model.SetCity(long_city);
  EXPECT_EQ(model.city(), long_city);
}

TEST(CompanyInfoModelTest, AnswerIsTrimmedAndCompletedWhateverClosedTheDialog) {
  CompanyInfoModel model;
  model.Fill(Question("1000-001", " Lisboa ", "999999990", true, true));
  model.SetPostalCode4("  ");
  model.SetPostalCode3("");
  model.SetNif(" 12345678");
  EXPECT_FALSE(model.ok_enabled());

  const TCompany answer = model.CollectAnswer();
  EXPECT_EQ(answer.postalcode, "0000-000");
  EXPECT_EQ(answer.city, "Lisboa");
  EXPECT_EQ(answer.nif, "12345678");
  EXPECT_TRUE(answer.edit_address);
  EXPECT_TRUE(answer.edit_nif);

  model.SetPostalCode4(" 12 ");
  model.SetPostalCode3("3 ");
  EXPECT_EQ(model.CollectAnswer().postalcode, "12-3");
}

TEST(CompanyInfoModelTest, AnswerKeepsTheFlagsAndTheFieldsNotAsked) {
  CompanyInfoModel model;
  model.Fill(Question("1000-001", "Lisboa", " 123 ", false, true));
  model.SetNif("123456789");
  ASSERT_TRUE(model.ok_enabled());

  const TCompany answer = model.CollectAnswer();
  EXPECT_EQ(answer.postalcode, "1000-001");
  EXPECT_EQ(answer.city, "Lisboa");
  EXPECT_EQ(answer.nif, "123456789");
  EXPECT_FALSE(answer.edit_address);
  EXPECT_TRUE(answer.edit_nif);
}

}  // namespace
}  // namespace verifax
