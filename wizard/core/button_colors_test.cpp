#include "vantora/button_colors.h"

#include <gtest/gtest.h>

#include <fstream>

#include "controller_testutil.h"

namespace vantora {
namespace {

TEST(ButtonColorTableTest, SixteenNamesInListOrderWithTheirSwatches) {
  const auto& t = ButtonColorTable();
  EXPECT_STREQ(t[0].name, "Black");
  EXPECT_STREQ(t[14].name, "CornflowerBlue");
  EXPECT_EQ(ColorFromName("Dark Gray"), MakeRgb(169, 169, 169));
  EXPECT_EQ(ColorFromName("Dark Green"), MakeRgb(85, 107, 47));
  EXPECT_EQ(ColorFromName("LightGreen"), MakeRgb(144, 238, 144));
  EXPECT_EQ(ButtonColorIndex("Blue"), 7);
}

TEST(ButtonColorTableTest, NamesMatchExactlyAndCaseSensitively) {
  EXPECT_EQ(ButtonColorIndex("blue"), -1);
  EXPECT_EQ(ButtonColorIndex("Blue "), -1);
  EXPECT_EQ(ColorFromName("Purple"), std::nullopt);
}

class ButtonColorListsTest : public testing::ControllerFixture {};

TEST_F(ButtonColorListsTest, AFirstRunSelectsWhiteRedAndGreenPaintsTheSwatchesAndWritesTheKeys) {
  Start();
  EXPECT_EQ(c().screen().button_color[0], 1);
  EXPECT_EQ(c().screen().button_color[1], 5);
  EXPECT_EQ(c().screen().button_color[2], 6);
  EXPECT_EQ(c().screen().button_swatch[1], MakeRgb(255, 0, 0));
  EXPECT_EQ(ReadIni(ConfigFile(home), "menuDVD", "normalcolor"), "White");
  EXPECT_EQ(ReadIni(ConfigFile(home), "menuDVD", "selectedcolor"), "Red");
  EXPECT_EQ(ReadIni(ConfigFile(home), "menuDVD", "activecolor"), "Green");
  // The markers take the normal colour.
  EXPECT_EQ(view.pages.back().design.marker_color, MakeRgb(255, 255, 255));
}

TEST_F(ButtonColorListsTest, AStoredNameSelectsItsEntryAndAnUnknownNameTheDefault) {
  std::ofstream(ConfigFile(home))
      << "[LAUNCH]\nVALUE=True\n[menuDVD]\nselectedcolor=Blue\nactivecolor=Purple\n";
  Start();
  EXPECT_EQ(c().screen().button_color[1], 7);
  EXPECT_EQ(c().screen().button_color[2], 6);
  EXPECT_EQ(ReadIni(ConfigFile(home), "menuDVD", "activecolor"), "Green");
}

TEST_F(ButtonColorListsTest, OnlyTheNormalColourRedrawsThePreview) {
  Start();
  const std::size_t pages = view.pages.size();
  c().ButtonColor_Click(ButtonState::kSelected, 3);
  c().ButtonColor_Click(ButtonState::kActivated, 4);
  EXPECT_EQ(view.pages.size(), pages);
  EXPECT_EQ(ReadIni(ConfigFile(home), "menuDVD", "selectedcolor"), "Dark Gray");
  c().ButtonColor_Click(ButtonState::kNormal, 8);
  EXPECT_EQ(view.pages.size(), pages + 1);
  EXPECT_EQ(view.pages.back().design.marker_color, MakeRgb(255, 255, 0));
  c().ButtonColor_Click(ButtonState::kNormal, 16);  // not an entry
  EXPECT_EQ(c().screen().button_color[0], 8);
}

}  // namespace
}  // namespace vantora
