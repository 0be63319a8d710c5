#include "vantora/menu_layout.h"

#include <gtest/gtest.h>

#include "controller_testutil.h"

namespace vantora {
namespace {

// 10 pixels a character, 20 pixels high whatever the font.
TextExtent Measure(const MenuFont&, const std::string& text) { return {10.0 * text.size(), 20}; }

TEST(MenuLayoutTest, TheDefaultPagePutsTheTitleAndLinesAtTheSliders) {
  MenuDesign design;
  design.lines = {"01 - a.avi", "02 - b.avi", "03 - c.avi"};
  const MenuLayout layout = LayOutMenu(design, kMenuPageWidth, Measure);
  EXPECT_EQ(layout.title_x, 114);
  EXPECT_EQ(layout.title_y, 24);
  EXPECT_EQ(layout.lines_x, 132);
  EXPECT_EQ(layout.line_tops, (std::vector<double>{150, 174, 198}));
  // Squares of the line height, flush with the line, 4 pixels left of the text.
  EXPECT_EQ(layout.buttons, (std::vector<MenuButtonRect>{{150, 108, 20}, {174, 108, 20}, {198, 108, 20}}));
}

TEST(MenuLayoutTest, ACentredTitleOfOddWidthLandsAtAHalfPixelWhileCentredLinesAreWhole) {
  MenuDesign design;
  design.title = "abc";
  design.title_center = kChecked;
  design.lines = {"a", "abcde", "abcdf"};  // widest 50, the first of equal widths
  design.lines_center = kChecked;
  auto odd = [](const MenuFont& f, const std::string& t) {
    return TextExtent{t.size() == 3 ? 30.6 : 10.0 * t.size() + 0.7, f.points * 1.0};
  };
  const MenuLayout layout = LayOutMenu(design, kMenuPageWidth, odd);
  EXPECT_EQ(layout.title_x, 360 - 31 / 2.0);  // 344.5
  EXPECT_EQ(layout.lines_x, 360 - 26);        // (360 - 51 / 2) rounded to even: 334.5 -> 334
  for (const MenuButtonRect& b : layout.buttons) EXPECT_EQ(b.Left, 334 - 14 - 4);
}

TEST(MenuLayoutTest, MovingTheLeftSlidersDoesNothingWhileCentredAndAGreyCentreBoxDoesNotCentre) {
  MenuDesign design;
  design.lines = {"x"};
  design.lines_center = kChecked;
  design.title_center = kChecked;
  const MenuLayout a = LayOutMenu(design, kMenuPageWidth, Measure);
  design.lines_left = 300;
  design.title_left = 10;
  const MenuLayout b = LayOutMenu(design, kMenuPageWidth, Measure);
  EXPECT_EQ(a.lines_x, b.lines_x);
  EXPECT_EQ(a.title_x, b.title_x);
  design.lines_center = kGrayed;
  design.title_center = kGrayed;
  const MenuLayout grey = LayOutMenu(design, kMenuPageWidth, Measure);
  EXPECT_EQ(grey.lines_x, 300);
  EXPECT_EQ(grey.title_x, 10);
}

TEST(MenuLayoutTest, NoLinesGiveNoButtons) {
  EXPECT_TRUE(LayOutMenu(MenuDesign{}, kMenuPageWidth, Measure).buttons.empty());
}

TEST(MenuButtonLimits, ButtonsInsideTheSafeAreaPass) {
  EXPECT_EQ(MenuButtonsProblem({{40, 40, 20}, {515, 659, 20}}, {"a", "b"}, false), "");
  EXPECT_EQ(MenuButtonsProblem({{459, 100, 20}}, {"a"}, true), "");
}

TEST(MenuButtonLimits, AButtonOutsideTheSafeAreaIsNamedByItsLine) {
  EXPECT_NE(MenuButtonsProblem({{40, 39, 20}}, {"01 - a.avi"}, false).find("\"01 - a.avi\""),
            std::string::npos);
  EXPECT_NE(MenuButtonsProblem({{39, 40, 20}}, {"a"}, false), "");
  EXPECT_NE(MenuButtonsProblem({{40, 660, 20}}, {"a"}, false), "");
  EXPECT_NE(MenuButtonsProblem({{516, 40, 20}}, {"a"}, false), "");
  EXPECT_NE(MenuButtonsProblem({{460, 40, 20}}, {"a"}, true), "");  // NTSC stops at 479
}

TEST(MenuButtonLimits, MoreThan32ButtonsAreRefused) {
  std::vector<MenuButtonRect> buttons(33, MenuButtonRect{100, 100, 10});
  EXPECT_NE(MenuButtonsProblem(buttons, std::vector<std::string>(33, "x"), false).find("at most 32"),
            std::string::npos);
  buttons.pop_back();
  EXPECT_EQ(MenuButtonsProblem(buttons, std::vector<std::string>(32, "x"), false), "");
}

class MenuDesignerTest : public testing::ControllerFixture {};

TEST_F(MenuDesignerTest, EnteringTheMenuStepDrawsTheVideoRowsAndTheLabel) {
  Start();
  c().screen().label = "Holiday";
  Walk(1);
  c().AddVideoFiles({Video("a.avi"), Video("b.avi")});
  Walk(2);
  ASSERT_FALSE(view.pages.empty());
  const auto& page = view.pages.back();
  EXPECT_EQ(page.design.title, "Holiday");
  EXPECT_EQ(page.design.lines, (std::vector<std::string>{"01 - a.avi", "02 - b.avi"}));
  EXPECT_FALSE(page.hide_markers);
  // 14 points are 21 pixels high in the test view.
  EXPECT_EQ(c().MenuButtons, (std::vector<MenuButtonRect>{{150, 107, 21}, {175, 107, 21}}));
}

TEST_F(MenuDesignerTest, TheSavedPageHidesTheMarkersWithTheSameButtons) {
  Start();
  Walk(1);
  c().AddVideoFiles({Video("a.avi")});
  Walk(2);
  const auto shown = c().MenuButtons;
  c().NextButton_Click();
  ASSERT_EQ(c().CurrentStep, 3);
  ASSERT_GE(view.pages.size(), 1u);
  EXPECT_TRUE(view.pages.back().hide_markers);
  EXPECT_EQ(c().MenuButtons, shown);
  EXPECT_EQ(view.saved.back(), home / "menutemp.bmp");
}

TEST_F(MenuDesignerTest, AButtonOutsideTheLimitsOrMoreThan32VideosKeepTheMenuStep) {
  Start();
  Walk(1);
  std::vector<std::filesystem::path> files;
  for (int i = 0; i < 33; ++i) files.push_back(Video("v" + std::to_string(i) + ".avi"));
  c().AddVideoFiles(files);
  Walk(2);
  c().NextButton_Click();
  EXPECT_EQ(c().CurrentStep, 2);
  EXPECT_NE(dialogs.messages.back().text.find("at most 32"), std::string::npos);
  EXPECT_TRUE(clip_maker.calls.empty());
  c().Combo2_Click(false);  // without a menu the step can be left
  c().NextButton_Click();
  EXPECT_EQ(c().CurrentStep, 3);
}

TEST_F(MenuDesignerTest, ALineBelowTheNtscPageIsRefusedNamingIt) {
  Start();
  Walk(1);
  c().AddVideoFiles({Video("a.avi")});
  Walk(2);
  c().screen().menu.lines_top = 470;
  c().NextButton_Click();
  EXPECT_EQ(c().CurrentStep, 2);
  EXPECT_NE(dialogs.messages.back().text.find("\"01 - a.avi\""), std::string::npos);
}

TEST_F(MenuDesignerTest, ABackgroundThatCannotBeUsedKeepsTheOldOneWithAMessage) {
  Start();
  EXPECT_EQ(view.backgrounds.front(), "Default");
  c().Command4_Click();  // cancelled
  EXPECT_EQ(view.backgrounds.size(), 1u);
  dialogs.files_answer = {(home / "huge.png").native()};
  view.background_problem = "too big";
  const std::size_t pages = view.pages.size();
  c().Command4_Click();
  EXPECT_EQ(dialogs.messages.back().text, "too big");
  EXPECT_EQ(view.pages.size(), pages);  // no redraw
  view.background_problem.clear();
  c().Command4_Click();
  EXPECT_EQ(view.pages.size(), pages + 1);
}

TEST_F(MenuDesignerTest, TheColourDialogsSetTheSwatchesAndRedraw) {
  Start();
  c().TitleColor_Click();  // cancelled
  EXPECT_EQ(c().screen().menu.title_color, MakeRgb(255, 255, 255));
  dialogs.color_answer = MakeRgb(1, 2, 3);
  c().TitleColor_Click();
  c().ChaptersColor_Click();
  EXPECT_EQ(view.pages.back().design.title_color, MakeRgb(1, 2, 3));
  EXPECT_EQ(view.pages.back().design.lines_color, MakeRgb(1, 2, 3));
}

}  // namespace
}  // namespace vantora
