// Menu buttons: placement, numbering, limits, read-back and mask bitmaps.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "engine_testutil.h"
#include "morvix/morvix_api.h"
#include "platform/bitmap.h"
#include "platform/text.h"

namespace morvix {
namespace {

// left, top, right, bottom
std::array<int, 4> Corners(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

struct ButtonView {
  Status status = 0;
  RECT rect;
  std::uint32_t type = 99;
  std::uint32_t value = 99;
  BOOL is_mask = 99;
  std::wstring path;
};

class MorvixButtonsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(api_.AddMainMenu(menu_.c_str()), 1); }

  ButtonView Get(int menu_id, int button, int length = 260) {
    ButtonView v;
    std::wstring buffer(length > 0 ? length : 1, L'#');
    v.status = api_.GetButton(menu_id, button, &v.rect, &v.type, &v.value, &v.is_mask, buffer.data(), length);
    if (v.status == kOk) v.path = buffer.c_str();
    return v;
  }
  const ButtonSetting& Stored(int button) { return api_.GetSettingData()->main_menu.buttons[button - 1]; }

  testing::TestFolder dir_;
  CMorvixAPI api_;
  std::wstring menu_ = dir_.MakeFile("menu.mpg");
};

TEST_F(MorvixButtonsTest, RectangleButtonsMustLieWithinTheLimits) {
  EXPECT_EQ(api_.AddMenuBtn(1, 40, 40, 679, 535, 1, 1, nullptr), 0);
  const struct {
    int left, top, right, bottom;
  } bad[] = {
      {40, 40, 680, 535},  {40, 40, 679, 536},  {39, 40, 100, 100}, {40, 39, 100, 100},
      {679, 40, 679, 100}, {40, 535, 100, 535}, {100, 40, 100, 80}, {100, 80, 200, 80},
      {100, 80, 90, 120},  {40, 40, 40, 41},    {40, 40, 41, 40},
  };
  for (const auto& b : bad) {
    EXPECT_EQ(api_.AddMenuBtn(1, b.left, b.top, b.right, b.bottom, 1, 1, nullptr), kErrInvalidButtonPosition)
        << b.left << "," << b.top << "," << b.right << "," << b.bottom;
  }
  EXPECT_EQ(api_.GetButtonCount(1), 1);
  EXPECT_EQ(api_.AddMenuBtn(1, 678, 534, 679, 535, 1, 1, nullptr), 1);
  EXPECT_EQ(api_.AddMenuBtn(1001, 40, 40, 100, 100, 1, 1, nullptr), kErrInvalidMenuId);
}

TEST_F(MorvixButtonsTest, AddMenuBtnReturnsTheCountBeforeAndStoresTheButton) {
  EXPECT_EQ(api_.AddMenuBtn(1, 50, 60, 150, 160, 1, 4, nullptr), 0);
  EXPECT_EQ(api_.AddMenuBtn(1, 200, 60, 300, 160, 2, 3, nullptr), 1);
  EXPECT_EQ(api_.AddMenuBtn(1, 350, 60, 450, 160, 3, 0xFFFFFFFF, nullptr), 2);
  EXPECT_EQ(api_.AddMenuBtn(1, 500, 60, 600, 160, 7, 5, nullptr), 3);
  EXPECT_EQ(api_.GetButtonCount(1), 4);

  EXPECT_EQ(Stored(1).command, kBtnCmdTitle);
  EXPECT_EQ(Stored(2).command, kBtnCmdChapter);
  EXPECT_EQ(Stored(3).command, kBtnCmdMainMenu);
  EXPECT_EQ(Stored(4).command, kBtnCmdNone);
  EXPECT_EQ(Stored(2).id, 2);
  EXPECT_EQ(Stored(2).kind, ButtonKind::kRectangle);

  const ButtonView one = Get(1, 1);
  ASSERT_EQ(one.status, kOk);
  EXPECT_EQ(Corners(one.rect), (std::array<int, 4>{50, 60, 150, 160}));
  EXPECT_EQ(one.type, 1u);
  EXPECT_EQ(one.value, 4u);
  EXPECT_EQ(one.is_mask, 0);
  EXPECT_EQ(one.path, L"");
  EXPECT_EQ(Get(1, 2).type, 2u);
  EXPECT_EQ(Get(1, 3).type, 3u);
  EXPECT_EQ(Get(1, 3).value, 0xFFFFFFFFu);
  EXPECT_EQ(Get(1, 4).type, 0u);

  // Title menus number their buttons from title * 1000.
  const std::wstring movie = dir_.MakeFile("movie.mpg");
  ASSERT_EQ(api_.AddTitle(movie.c_str(), 1, nullptr), 1);
  ASSERT_EQ(api_.AddTitle(movie.c_str(), 1, nullptr), 2);
  ASSERT_EQ(api_.AddTitleMenu(2, menu_.c_str()), 2001);
  ASSERT_EQ(api_.AddMenuBtn(2001, 40, 40, 80, 80, 1, 1, nullptr), 0);
  ASSERT_EQ(api_.AddMenuBtn(2001, 90, 40, 130, 80, 1, 1, nullptr), 1);
  EXPECT_EQ(api_.GetSettingData()->Title(2)->menu().buttons[1].id, 2002);
}

TEST_F(MorvixButtonsTest, AMenuHoldsAtMost32Buttons) {
  for (int i = 0; i < kMaxButtons; ++i) ASSERT_EQ(api_.AddMenuBtn(1, 40, 40, 80, 80, 1, i, nullptr), i);
  EXPECT_EQ(api_.AddMenuBtn(1, 40, 40, 80, 80, 1, 99, nullptr), kErrInvalidButtonIndex);
  EXPECT_EQ(api_.GetButtonCount(1), kMaxButtons);
  EXPECT_EQ(Get(1, 32).value, 31u);
  EXPECT_EQ(api_.DeleteButton(1, 32), kOk);
  EXPECT_EQ(api_.AddMenuBtn(1, 40, 40, 80, 80, 1, 77, nullptr), 31);
}

TEST_F(MorvixButtonsTest, SetMenuBtnChecksThePositionBeforeTheButtonNumber) {
  ASSERT_EQ(api_.AddMenuBtn(1, 40, 40, 80, 80, 1, 1, nullptr), 0);
  EXPECT_EQ(api_.SetMenuBtn(1, 5, 10, 40, 80, 80, 1, 1, nullptr), kErrInvalidButtonPosition);
  EXPECT_EQ(api_.SetMenuBtn(1, 5, 40, 40, 80, 80, 1, 1, nullptr), kErrInvalidButtonIndex);
  EXPECT_EQ(api_.SetMenuBtn(1, 0, 40, 40, 80, 80, 1, 1, nullptr), kErrInvalidButtonIndex);
  EXPECT_EQ(api_.SetMenuBtn(1, 1, 40, 40, 80, 80, 1, 1, dir_.Wide("none.bmp").c_str()), kErrNoFile);
  EXPECT_EQ(api_.SetMenuBtn(77, 1, 40, 40, 80, 80, 1, 1, nullptr), kErrInvalidMenuId);
  EXPECT_EQ(api_.SetMenuBtn(1, 1, 100, 200, 300, 400, 3, 0, nullptr), kOk);
  const ButtonView v = Get(1, 1);
  EXPECT_EQ(v.rect.left, 100);
  EXPECT_EQ(v.rect.bottom, 400);
  EXPECT_EQ(v.type, 3u);
}

TEST_F(MorvixButtonsTest, DeleteButtonMovesLaterButtonsDownWithoutRenumbering) {
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(api_.AddMenuBtn(1, 40 + 100 * i, 40, 80 + 100 * i, 80, 1, i + 1, nullptr), i);
  EXPECT_EQ(api_.DeleteButton(1, 0), kErrInvalidButtonIndex);
  EXPECT_EQ(api_.DeleteButton(1, 4), kErrInvalidButtonIndex);
  EXPECT_EQ(api_.DeleteButton(1001, 1), kErrInvalidMenuId);
  EXPECT_EQ(api_.DeleteButton(1, 1), kOk);
  EXPECT_EQ(api_.GetButtonCount(1), 2);
  EXPECT_EQ(Get(1, 1).value, 2u);
  EXPECT_EQ(Get(1, 1).rect.left, 140);
  EXPECT_EQ(Get(1, 2).value, 3u);
  EXPECT_EQ(Stored(1).id, 2);
  EXPECT_EQ(Get(1, 3).status, kErrInvalidButtonIndex);
}

TEST_F(MorvixButtonsTest, GetButtonChecksItsArgumentsAndTheBufferLength) {
  ASSERT_EQ(api_.AddMenuBtn(1, 40, 40, 80, 80, 1, 1, nullptr), 0);
  RECT rect;
  std::uint32_t type = 0, value = 0;
  BOOL mask = 0;
  wchar_t buffer[8];
  EXPECT_EQ(api_.GetButton(1, 1, nullptr, &type, &value, &mask, buffer, 8), kErrNullPointer);
  EXPECT_EQ(api_.GetButton(1, 1, &rect, nullptr, &value, &mask, buffer, 8), kErrNullPointer);
  EXPECT_EQ(api_.GetButton(1, 1, &rect, &type, nullptr, &mask, buffer, 8), kErrNullPointer);
  EXPECT_EQ(api_.GetButton(1, 1, &rect, &type, &value, nullptr, buffer, 8), kErrNullPointer);
  EXPECT_EQ(api_.GetButton(1, 1, &rect, &type, &value, &mask, nullptr, 8), kErrNullPointer);
  EXPECT_EQ(api_.GetButton(1001, 1, &rect, &type, &value, &mask, buffer, 8), kErrInvalidMenuId);
  EXPECT_EQ(api_.GetButton(1, 2, &rect, &type, &value, &mask, buffer, 8), kErrInvalidButtonIndex);
  // A rectangle needs room for the empty string.
  EXPECT_EQ(api_.GetButton(1, 1, &rect, &type, &value, &mask, buffer, 0), kErrBufferTooSmall);
  buffer[0] = L'#';
  EXPECT_EQ(api_.GetButton(1, 1, &rect, &type, &value, &mask, buffer, 1), kOk);
  EXPECT_EQ(buffer[0], L'\0');
}

class MorvixMaskButtonsTest : public MorvixButtonsTest {
 protected:
  // A one-colour mask made by ffmpeg (24-bit unless pix_fmt says otherwise).
  std::wstring Mask(const std::string& name, int width, int height, const std::string& pix_fmt = "bgr24",
                    const std::string& color = "red") {
    const std::filesystem::path path = dir_.path() / name;
    EXPECT_TRUE(testing::FfmpegBmp(path, width, height, color, pix_fmt)) << name;
    return dir_.Wide(name);
  }
};

TEST_F(MorvixMaskButtonsTest, A24BitMaskSetsTheExtentFromTheBitmap) {
  const std::wstring red = Mask("red.bmp", 64, 32);
  EXPECT_EQ(api_.AddMenuBtn(1, 100, 200, 0, 0, 1, 2, red.c_str()), 0);
  const ButtonSetting& b = Stored(1);
  EXPECT_EQ(b.kind, ButtonKind::kMask);
  EXPECT_EQ(b.mask_file, red);
  EXPECT_EQ(b.id, 1);
  const ButtonView v = Get(1, 1);
  ASSERT_EQ(v.status, kOk);
  EXPECT_EQ(Corners(v.rect), (std::array<int, 4>{100, 200, 164, 232}));
  EXPECT_EQ(v.is_mask, 1);
  EXPECT_EQ(v.path, red);
  // The path must fit the buffer with its NUL.
  EXPECT_EQ(Get(1, 1, static_cast<int>(red.size())).status, kErrBufferTooSmall);
  EXPECT_EQ(Get(1, 1, static_cast<int>(red.size()) + 1).path, red);

  // Turning it back into a rectangle clears the mask.
  ASSERT_EQ(api_.SetMenuBtn(1, 1, 40, 40, 80, 80, 1, 1, nullptr), kOk);
  EXPECT_EQ(Stored(1).kind, ButtonKind::kRectangle);
  EXPECT_TRUE(Stored(1).mask_file.empty());
}

TEST_F(MorvixMaskButtonsTest, MaskFilesFromAnotherWriterReadWithRedAndBlueInPlace) {
  // The sub-picture map tells emphasis 1 (pure red) from emphasis 2 (pure blue),
  // so a mask written elsewhere must not come back with the two swapped.
  const std::wstring red = Mask("red.bmp", 64, 32, "bgr24", "red");
  const std::wstring blue = Mask("blue.bmp", 63, 31, "bgr24", "blue");
  ASSERT_EQ(api_.AddMenuBtn(1, 40, 40, 0, 0, 1, 1, red.c_str()), 0);
  ASSERT_EQ(api_.AddMenuBtn(1, 140, 40, 0, 0, 1, 2, blue.c_str()), 1);
  EXPECT_EQ(Corners(Get(1, 2).rect), (std::array<int, 4>{140, 40, 203, 71}));
  const platform::BitmapResult r = platform::ReadBmp(platform::WideToPath(Stored(1).mask_file));
  const platform::BitmapResult b = platform::ReadBmp(platform::WideToPath(Stored(2).mask_file));
  ASSERT_EQ(r.status, platform::BitmapStatus::kOk);
  ASSERT_EQ(b.status, platform::BitmapStatus::kOk);
  const std::uint8_t* rp = r.bitmap.Pixel(63, 31);
  const std::uint8_t* bp = b.bitmap.Pixel(0, 0);
  EXPECT_EQ((std::array<int, 3>{rp[0], rp[1], rp[2]}), (std::array<int, 3>{255, 0, 0}));
  EXPECT_EQ((std::array<int, 3>{bp[0], bp[1], bp[2]}), (std::array<int, 3>{0, 0, 255}));
}

TEST_F(MorvixMaskButtonsTest, AMaskUnderANonAsciiPathIsFound) {
  const std::wstring mask = Mask("masque été 按钮.bmp", 64, 32);
  EXPECT_EQ(api_.AddMenuBtn(1, 40, 40, 0, 0, 1, 1, mask.c_str()), 0);
  EXPECT_EQ(Get(1, 1).path, mask);
  EXPECT_EQ(Get(1, 1).rect.right, 104);
}

TEST_F(MorvixMaskButtonsTest, MasksThatCannotBeUsedAreRefusedNamingTheFile) {
  const std::wstring pal8 = Mask("pal8.bmp", 64, 32, "pal8");
  const std::wstring text = dir_.MakeFile("text.bmp");
  const std::wstring missing = dir_.Wide("missing.bmp");
  const std::filesystem::path wide_path = dir_.path() / "wide.bmp";
  ASSERT_TRUE(testing::PlatformBmp(wide_path, 600, 10));
  const std::wstring wide = dir_.Wide("wide.bmp");
  const std::wstring tall = Mask("tall.bmp", 10, 400);

  struct Case {
    const std::wstring& file;
    Status status;
  } cases[] = {
      {pal8, kErrMaskNot24Bit}, {text, kErrMaskLoad},     {missing, kErrNoFile},
      {wide, kErrMaskTooLarge}, {tall, kErrMaskTooLarge},
  };
  for (const Case& c : cases) {
    api_.error_context().file.clear();
    EXPECT_EQ(api_.AddMenuBtn(1, 40, 40, 0, 0, 1, 1, c.file.c_str()), c.status);
    EXPECT_EQ(api_.error_context().file, c.file);
    EXPECT_EQ(api_.GetButtonCount(1), 0);
  }
  EXPECT_EQ(api_.AddMenuBtn(1, 40, 40, 0, 0, 1, 1, L""), kErrNoFile);  // empty counts as missing
  // A directory exists but is no bitmap.
  EXPECT_EQ(api_.AddMenuBtn(1, 40, 40, 0, 0, 1, 1, dir_.Wide("").c_str()), kErrMaskLoad);
  EXPECT_EQ(api_.GetButtonCount(1), 0);
}

TEST_F(MorvixMaskButtonsTest, AMaskMustStayInsideThePicture) {
  const std::wstring wide = Mask("599x10.bmp", 599, 10);
  const std::wstring tall = Mask("10x399.bmp", 10, 399);
  // 120 + 599 = 719 is the last column; one more runs off the picture.
  EXPECT_EQ(api_.AddMenuBtn(1, 120, 40, 0, 0, 1, 1, wide.c_str()), 0);
  EXPECT_EQ(Get(1, 1).rect.right, 719);
  EXPECT_EQ(api_.AddMenuBtn(1, 121, 40, 0, 0, 1, 1, wide.c_str()), kErrMaskTooLarge);
  EXPECT_EQ(api_.AddMenuBtn(1, 678, 40, 0, 0, 1, 1, wide.c_str()), kErrMaskTooLarge);
  EXPECT_EQ(api_.AddMenuBtn(1, 40, 176, 0, 0, 1, 1, tall.c_str()), 1);
  EXPECT_EQ(Get(1, 2).rect.bottom, 575);
  EXPECT_EQ(api_.AddMenuBtn(1, 40, 177, 0, 0, 1, 1, tall.c_str()), kErrMaskTooLarge);
  EXPECT_EQ(api_.AddMenuBtn(1, 40, 534, 0, 0, 1, 1, tall.c_str()), kErrMaskTooLarge);
  EXPECT_EQ(api_.GetButtonCount(1), 2);
}

TEST_F(MorvixMaskButtonsTest, ARefusedMaskKeepsKindIdentifierAndFileButStoresThePosition) {
  const std::wstring red = Mask("red.bmp", 64, 32);
  const std::wstring pal8 = Mask("pal8.bmp", 64, 32, "pal8");
  ASSERT_EQ(api_.AddMenuBtn(1, 40, 40, 0, 0, 1, 5, red.c_str()), 0);
  EXPECT_EQ(api_.SetMenuBtn(1, 1, 300, 300, 0, 0, 3, 9, pal8.c_str()), kErrMaskNot24Bit);
  const ButtonSetting& b = Stored(1);
  EXPECT_EQ(b.left, 300);
  EXPECT_EQ(b.top, 300);
  EXPECT_EQ(b.command, kBtnCmdMainMenu);
  EXPECT_EQ(b.value, 9u);
  EXPECT_EQ(b.kind, ButtonKind::kMask);
  EXPECT_EQ(b.mask_file, red);
  EXPECT_EQ(b.id, 1);
}

}  // namespace
}  // namespace morvix
