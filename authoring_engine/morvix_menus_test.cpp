// Menus, their identifiers, palettes and button colour schemes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "engine_testutil.h"
#include "morvix/morvix_api.h"

namespace morvix {
namespace {

class MorvixMenusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(api_.AddTitle(movie_.c_str(), 1, nullptr), 1);
    ASSERT_EQ(api_.AddTitle(movie_.c_str(), 1, nullptr), 2);
  }

  testing::TestFolder dir_;
  CMorvixAPI api_;
  std::wstring movie_ = dir_.MakeFile("movie.mpg");
  std::wstring menu_ = dir_.MakeFile("menu.mpg");
};

TEST_F(MorvixMenusTest, AddingMenusGivesTheirIdentifiers) {
  EXPECT_EQ(api_.GetMenuID(1, 0), 0);
  EXPECT_EQ(api_.AddMainMenu(menu_.c_str()), kMainMenuId);
  EXPECT_EQ(api_.GetMenuID(1, 0), 1);
  EXPECT_EQ(api_.AddTitleMenu(2, menu_.c_str()), 2001);
  EXPECT_EQ(api_.GetMenuID(0, 2), 2001);
  EXPECT_EQ(api_.GetMenuID(0, 1), 0);
  EXPECT_EQ(api_.GetMenuID(0, 3), kErrInvalidTitleNumber);
  EXPECT_EQ(std::wstring(api_.GetMenuFileName(1)), menu_);
  EXPECT_EQ(std::wstring(api_.GetMenuFileName(2001)), menu_);
}

TEST_F(MorvixMenusTest, AddingAMenuRefusesMissingFilesAndBadTitles) {
  const std::wstring missing = dir_.Wide("nope.mpg");
  EXPECT_EQ(api_.AddMainMenu(missing.c_str()), kErrNoFile);
  EXPECT_EQ(api_.error_context().file, missing);
  EXPECT_EQ(api_.AddMainMenu(L""), kErrNoFile);
  EXPECT_EQ(api_.GetMenuID(1, 0), 0);
  // The file is checked before the title number.
  EXPECT_EQ(api_.AddTitleMenu(9, missing.c_str()), kErrNoFile);
  EXPECT_EQ(api_.AddTitleMenu(9, menu_.c_str()), kErrInvalidTitleNumber);
  EXPECT_EQ(api_.AddTitleMenu(0, menu_.c_str()), kErrInvalidTitleNumber);
}

TEST_F(MorvixMenusTest, OnlyIdentifiersOfExistingMenusAreAccepted) {
  // No main menu yet, and title 1 has no menu.
  for (int id : {1, 1001, 2001, 3001, 0, 2, 1000, 1002, -999, 100001}) {
    EXPECT_EQ(api_.GetButtonCount(id), 0) << id;
    EXPECT_EQ(api_.GetMenuFileName(id), nullptr) << id;
    EXPECT_EQ(api_.DeleteMenu(id), kErrInvalidMenuId) << id;
    EXPECT_EQ(api_.SetMenuFile(id, menu_.c_str()), kErrInvalidMenuId) << id;
    EXPECT_EQ(api_.SetMenuPalColor(id, 1, 0), kErrInvalidMenuId) << id;
  }
  ASSERT_EQ(api_.AddTitleMenu(1, menu_.c_str()), 1001);
  EXPECT_EQ(api_.SetMenuFile(1001, menu_.c_str()), kOk);
  EXPECT_EQ(api_.SetMenuFile(2001, menu_.c_str()), kErrInvalidMenuId);
}

TEST_F(MorvixMenusTest, SetMenuFileReplacesTheFileWithoutCheckingIt) {
  ASSERT_EQ(api_.AddMainMenu(menu_.c_str()), 1);
  EXPECT_EQ(api_.SetMenuFile(1, nullptr), kErrInvalidFileName);
  EXPECT_EQ(api_.SetMenuFile(1, L"/no/such/file.mpg"), kOk);
  EXPECT_EQ(std::wstring(api_.GetMenuFileName(1)), L"/no/such/file.mpg");
}

TEST_F(MorvixMenusTest, AddingAMenuAgainAndDeletingItResetEverything) {
  ASSERT_EQ(api_.AddMainMenu(menu_.c_str()), 1);
  ASSERT_EQ(api_.AddMenuBtn(1, 40, 40, 100, 100, 1, 1, nullptr), 0);
  ASSERT_EQ(api_.SetMenuPalColor(1, 1, 0x123456), kOk);
  ASSERT_EQ(api_.SetMenuBtnClrCode(1, 1, 1, 1, 3, 3), kOk);

  ASSERT_EQ(api_.AddMainMenu(menu_.c_str()), 1);
  const MenuSetting& main = api_.GetSettingData()->main_menu;
  EXPECT_EQ(main.button_count, 0);
  EXPECT_EQ(main.palette[0], RgbToYCrCb(0x000000));
  EXPECT_EQ(std::memcmp(&main.schemes, &kDefaultSchemes, sizeof kDefaultSchemes), 0);

  ASSERT_EQ(api_.AddTitleMenu(1, menu_.c_str()), 1001);
  ASSERT_EQ(api_.AddMenuBtn(1001, 40, 40, 100, 100, 1, 1, nullptr), 0);
  EXPECT_EQ(api_.DeleteMenu(1001), kOk);
  EXPECT_EQ(api_.GetMenuID(0, 1), 0);
  EXPECT_EQ(api_.GetButtonCount(1001), 0);
  EXPECT_TRUE(api_.GetSettingData()->Title(1)->menu().video_file.empty());
  EXPECT_EQ(api_.DeleteMenu(1), kOk);
  EXPECT_EQ(api_.GetMenuID(1, 0), 0);
  EXPECT_EQ(api_.GetMenuFileName(1), nullptr);
}

TEST(MorvixColorConversionTest, FollowsTheIntegerFormulas) {
  // Hand-computed from the formulas: white, red, blue, black.
  EXPECT_EQ(RgbToYCrCb(0xFFFFFF), (YCrCb{235, 128, 128}));
  EXPECT_EQ(RgbToYCrCb(0x0000FF), (YCrCb{82, 240, 90}));
  EXPECT_EQ(RgbToYCrCb(0xFF0000), (YCrCb{41, 110, 240}));
  EXPECT_EQ(RgbToYCrCb(0x000000), (YCrCb{16, 128, 128}));
  // 1164*235 + 1596*128 - 222412 = 255416 -> 255 in every channel.
  EXPECT_EQ(YCrCbToRgb(YCrCb{235, 128, 128}), 0xFFFFFFu);
  // Results below 0 clamp to 0.
  EXPECT_EQ(YCrCbToRgb(YCrCb{0, 0, 0}) & 0xFF, 0u);
  EXPECT_EQ(YCrCbToRgb(YCrCb{16, 128, 128}), 0x000000u);
}

TEST_F(MorvixMenusTest, DefaultPaletteReadsBackCloseToTheDefaultColours) {
  ASSERT_EQ(api_.AddMainMenu(menu_.c_str()), 1);
  DVDB_ColorPalette palette{};
  BtnClrSchemes schemes{};
  ASSERT_EQ(api_.GetPalette(1, &palette, &schemes), kOk);
  for (int i = 0; i < 16; ++i) {
    for (int shift : {0, 8, 16}) {
      const int got = (palette.color[i] >> shift) & 0xFF;
      const int want = (kDefaultPalette.color[i] >> shift) & 0xFF;
      EXPECT_LE(std::abs(got - want), 3) << "entry " << i << " shift " << shift;
    }
  }
  EXPECT_EQ(std::memcmp(&schemes, &kDefaultSchemes, sizeof schemes), 0);
  EXPECT_EQ(schemes.normal.color[1], 7);
  EXPECT_EQ(schemes.selected.contrast[2], 15);
  EXPECT_EQ(api_.GetPalette(1001, &palette, &schemes), kErrInvalidMenuId);
  EXPECT_EQ(api_.GetPalette(1, nullptr, &schemes), kErrNullPointer);
  EXPECT_EQ(api_.GetPalette(1, &palette, nullptr), kErrNullPointer);
}

TEST_F(MorvixMenusTest, SetMenuColorsConvertsAllSixteenEntriesAndCopiesSchemes) {
  ASSERT_EQ(api_.AddTitleMenu(2, menu_.c_str()), 2001);
  DVDB_ColorPalette palette{};
  for (int i = 0; i < 16; ++i) palette.color[i] = 0x0000FF + 0x100 * 16 * i;  // red rising in green
  BtnClrSchemes schemes{};
  std::memset(&schemes, 0, sizeof schemes);
  schemes.activated.color[3] = 11;
  schemes.selected.contrast[0] = 9;
  ASSERT_EQ(api_.SetMenuColors(2001, &palette, &schemes), kOk);
  const MenuSetting& menu = api_.GetSettingData()->Title(2)->menu();
  for (int i = 0; i < 16; ++i) EXPECT_EQ(menu.palette[i], RgbToYCrCb(palette.color[i])) << i;
  EXPECT_EQ(std::memcmp(&menu.schemes, &schemes, sizeof schemes), 0);

  // NULL leaves that part alone.
  DVDB_ColorPalette other{};
  ASSERT_EQ(api_.SetMenuColors(2001, &other, nullptr), kOk);
  EXPECT_EQ(menu.palette[5], RgbToYCrCb(0));
  EXPECT_EQ(std::memcmp(&menu.schemes, &schemes, sizeof schemes), 0);
  ASSERT_EQ(api_.SetMenuColors(2001, nullptr, &kDefaultSchemes), kOk);
  EXPECT_EQ(menu.palette[5], RgbToYCrCb(0));
  EXPECT_EQ(api_.SetMenuColors(1, &palette, &schemes), kErrInvalidMenuId);
}

TEST_F(MorvixMenusTest, SetMenuPalColorSetsOneEntry) {
  ASSERT_EQ(api_.AddMainMenu(menu_.c_str()), 1);
  EXPECT_EQ(api_.SetMenuPalColor(1, 0, 0xFF), kErrInvalidColorIndex);
  EXPECT_EQ(api_.SetMenuPalColor(1, 17, 0xFF), kErrInvalidColorIndex);
  EXPECT_EQ(api_.SetMenuPalColor(1, 16, 0x0000FF), kOk);
  EXPECT_EQ(api_.GetSettingData()->main_menu.palette[15], (YCrCb{82, 240, 90}));
  EXPECT_EQ(api_.SetMenuPalColor(1001, 0, 0xFF), kErrInvalidMenuId);  // identifier first
}

TEST_F(MorvixMenusTest, SetMenuBtnClrCodeChecksInOrderAndSetsTheMenuScheme) {
  ASSERT_EQ(api_.AddMainMenu(menu_.c_str()), 1);
  // Argument ranges come before the identifier, the button and the state.
  EXPECT_EQ(api_.SetMenuBtnClrCode(999, 0, 0, 0, 0, 0), kErrInvalidPixelIndex);
  EXPECT_EQ(api_.SetMenuBtnClrCode(999, 0, 0, 5, 1, 1), kErrInvalidPixelIndex);
  EXPECT_EQ(api_.SetMenuBtnClrCode(999, 0, 0, 1, 17, 0), kErrInvalidColorIndex);
  EXPECT_EQ(api_.SetMenuBtnClrCode(999, 0, 0, 1, 1, 0), kErrInvalidContrast);
  EXPECT_EQ(api_.SetMenuBtnClrCode(999, 0, 0, 1, 1, 1), kErrInvalidMenuId);
  EXPECT_EQ(api_.SetMenuBtnClrCode(1, 1, 0, 1, 1, 1), kErrInvalidButtonIndex);
  ASSERT_EQ(api_.AddMenuBtn(1, 40, 40, 100, 100, 1, 1, nullptr), 0);
  EXPECT_EQ(api_.SetMenuBtnClrCode(1, 2, 2, 1, 1, 1), kErrInvalidButtonIndex);
  EXPECT_EQ(api_.SetMenuBtnClrCode(1, 1, 4, 1, 1, 1), kErrInvalidButtonState);
  EXPECT_EQ(api_.SetMenuBtnClrCode(1, 1, 0, 1, 1, 1), kErrInvalidButtonState);

  EXPECT_EQ(api_.SetMenuBtnClrCode(1, 1, 2, 1, 16, 16), kOk);
  const BtnClrSchemes& schemes = api_.GetSettingData()->main_menu.schemes;
  EXPECT_EQ(schemes.selected.color[0], 15);
  EXPECT_EQ(schemes.selected.contrast[0], 15);
  EXPECT_EQ(api_.SetMenuBtnClrCode(1, 1, 3, 4, 2, 3), kOk);
  EXPECT_EQ(schemes.activated.color[3], 1);
  EXPECT_EQ(schemes.activated.contrast[3], 2);
  EXPECT_EQ(api_.SetMenuBtnClrCode(1, 1, 1, 2, 12, 1), kOk);
  EXPECT_EQ(schemes.normal.color[1], 11);
  EXPECT_EQ(schemes.normal.contrast[1], 0);
  // The other bytes keep their defaults.
  EXPECT_EQ(schemes.selected.color[1], kDefaultSchemes.selected.color[1]);
  EXPECT_EQ(schemes.normal.color[0], kDefaultSchemes.normal.color[0]);
}

}  // namespace
}  // namespace morvix
