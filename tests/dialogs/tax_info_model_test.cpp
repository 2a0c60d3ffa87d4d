#include "dialogs/tax_info_model.h"

#include <gtest/gtest.h>

#include <string_view>

namespace verifax {
namespace {

TTax Question(std::string_view code, std::string_view description,
              std::string_view percentage = "23") {
  return TTax{std::string(code), std::string(description), std::string(percentage)};
}

TEST(TaxInfoModelTest, ItemsAndTheirCodes) {
  const auto& items = TaxInfoModel::Items();
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0], "ISE    (Isenta)");
  EXPECT_EQ(items[1], "RED  (Reduzida)");
  EXPECT_EQ(items[2],
            "INT   (Interm\xC3\xA9"
            "dia)");
  EXPECT_EQ(items[3], "NOR (Normal)");
  EXPECT_EQ(items[4], "OUT  (Outras)");

  const std::string_view codes[] = {"ISE", "RED", "INT", "NOR", "OUT"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(TaxInfoModel::ItemCode(items[i]), codes[i]);
    EXPECT_EQ(TaxInfoModel::IndexOfCode(codes[i]), i);
  }
  EXPECT_EQ(TaxInfoModel::IndexOfCode(" nor "), 3);
  EXPECT_EQ(TaxInfoModel::IndexOfCode("NO"), -1);
  EXPECT_EQ(TaxInfoModel::IndexOfCode(""), -1);
}

TEST(TaxInfoModelTest, DescriptionPreselectsByItsFirstThreeCharacters) {
  struct Case {
    std::string_view description;
    int selected;
  };
  const Case cases[] = {
      {"Isenta", 0},
      {"REDUZIDA", 1},
      {"Interm\xC3\xA9"
       "dia",
       2},
      {"normal", 3},
      {"Outras", 4},
      {"Nor", 3},
      {"Taxa Normal", -1},
      {" Normal", -1},
      {"No", -1},
      {"", -1},
  };
  for (const Case& c : cases) {
    TaxInfoModel model;
    model.Fill(Question("XYZ", c.description));
    EXPECT_EQ(model.selected_index(), c.selected) << c.description;
    EXPECT_EQ(model.ok_enabled(), c.selected >= 0) << c.description;
    EXPECT_EQ(model.combo_colour(), c.selected >= 0 ? FieldColour::kGreen : FieldColour::kOrange)
        << c.description;
  }
}

TEST(TaxInfoModelTest, ShowsTheQuestionAsItIs) {
  TaxInfoModel model;
  model.Fill(Question(" n0r ", "Taxa Normal", "23.00"));
  EXPECT_EQ(model.code_label(), " n0r ");
  EXPECT_EQ(model.description(), "Taxa Normal");
  EXPECT_EQ(model.percentage(), "23.00");
  EXPECT_EQ(model.selected_text(), "");

  model.Fill(Question("", "normal"));
  EXPECT_EQ(model.code_label(), "");
  EXPECT_EQ(model.selected_text(), "NOR (Normal)");
}

TEST(TaxInfoModelTest, ChoosingAnItemEnablesOkAndAnswersItsCode) {
  TaxInfoModel model;
  const TTax question = Question("X", "Taxa Normal", "13");
  model.Fill(question);
  ASSERT_FALSE(model.ok_enabled());

  model.Select(TaxInfoModel::IndexOfCode("INT"));
  EXPECT_TRUE(model.ok_enabled());
  EXPECT_EQ(model.combo_colour(), FieldColour::kGreen);

  const TTax answer = model.CollectAnswer();
  EXPECT_EQ(answer.code, "INT");
  EXPECT_EQ(answer.description, question.description);
  EXPECT_EQ(answer.percentage, question.percentage);
}

TEST(TaxInfoModelTest, WithoutSelectionTheAnswerKeepsTheQuestionsCode) {
  TaxInfoModel model;
  const TTax question = Question("N", "normal", "23");
  model.Fill(question);
  ASSERT_TRUE(model.ok_enabled());

  // Editing the combo box's text away from every item.
  model.Select(-1);
  EXPECT_FALSE(model.ok_enabled());
  EXPECT_EQ(model.combo_colour(), FieldColour::kOrange);
  EXPECT_EQ(model.CollectAnswer(), question);

  model.Select(7);  // not an item
  EXPECT_EQ(model.selected_index(), -1);
  EXPECT_FALSE(model.ok_enabled());
}

}  // namespace
}  // namespace verifax
