#include "vob_menu_request.h"

#include <gtest/gtest.h>

namespace morvix {
namespace {

TEST(VobMenuRequest, ButtonsAndSchemesOfTheMenuSettingsReachTheWriter) {
  MenuSetting menu;
  menu.menu_id = kMainMenuId;
  menu.button_count = 2;
  menu.buttons[0].left = 40;
  menu.buttons[0].top = 50;
  menu.buttons[0].right = 90;
  menu.buttons[0].bottom = 80;
  menu.buttons[0].command = kButtonTitleSetMenu;
  menu.buttons[0].value = 2;
  menu.buttons[1].kind = ButtonKind::kMask;
  menu.buttons[1].left = 300;
  menu.buttons[1].top = 100;
  menu.buttons[1].right = 380;
  menu.buttons[1].bottom = 160;
  menu.buttons[1].mask_file = L"/tmp/m\u00e4sk.bmp";
  menu.buttons[2].left = 7;  // beyond the count: not a button
  menu.schemes.selected.color[2] = 11;
  menu.schemes.activated.contrast[0] = 3;

  VobWriteRequest request;
  request.buttons.resize(5);
  SetMenuRequest(menu, request);
  EXPECT_TRUE(request.menu);
  ASSERT_EQ(request.buttons.size(), 2u);
  const MenuButton& rect = request.buttons[0];
  EXPECT_EQ(rect.kind, MenuButtonKind::kRectangle);
  EXPECT_EQ(rect.left, 40);
  EXPECT_EQ(rect.top, 50);
  EXPECT_EQ(rect.right, 90);
  EXPECT_EQ(rect.bottom, 80);
  EXPECT_EQ(rect.command, kButtonTitleSetMenu);
  EXPECT_EQ(rect.value, 2u);
  EXPECT_TRUE(rect.mask_file.empty());
  EXPECT_EQ(request.buttons[1].kind, MenuButtonKind::kMask);
  EXPECT_EQ(request.buttons[1].mask_file, std::filesystem::path("/tmp/m\xc3\xa4sk.bmp"));
  const ButtonColorSchemes defaults;
  EXPECT_EQ(request.schemes.normal.color, defaults.normal.color);
  EXPECT_EQ(request.schemes.selected.color[2], 11);
  EXPECT_EQ(request.schemes.activated.contrast[0], 3);
  EXPECT_EQ(request.schemes.activated.color, defaults.activated.color);
}

}  // namespace
}  // namespace morvix
