// The authoring engine's settings model: a main menu, up to 99 titles with
// their chapters and title menus, menu buttons, palettes, button colour
// schemes, the output folder and the auto-next-title switch. CMorvixAPI owns
// one SettingData and is the only writer; the build reads it and changes
// nothing. Copying a SettingData copies every title (no sharing).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "morvix/export.h"
#include "morvix/types.h"

namespace morvix {

inline constexpr int kMaxTitles = 99;
inline constexpr int kMaxChapters = 99;
// Seconds from one chapter start to the next, at the least.
inline constexpr double kMinChapterLength = 2.0;
inline constexpr int kMaxButtons = 32;
inline constexpr int kPaletteSize = 16;

// Menu picture coordinates are inclusive: 0..719 across, 0..575 down.
inline constexpr int kPictureMaxX = 719;
inline constexpr int kPictureMaxY = 575;

// Menu identifiers: 1 is the main menu, n * 1000 + 1 the menu of title n, 0 no menu.
inline constexpr std::int32_t kMainMenuId = 1;
inline constexpr std::int32_t TitleMenuId(int title) { return title * 1000 + 1; }

// Command codes of a button (what activating it does): the navigation command
// kinds that the VOB writer encodes for it.
inline constexpr std::uint32_t kBtnCmdTitle = 14;     // API type 1: the title numbered by value
inline constexpr std::uint32_t kBtnCmdChapter = 12;   // API type 2: the chapter numbered by value
inline constexpr std::uint32_t kBtnCmdMainMenu = 10;  // API type 3: back to the main menu
inline constexpr std::uint32_t kBtnCmdNone = 9;       // any other type: no action

// One palette entry as the DVD stores it: Y, Cr, Cb (the program-chain writer
// declares the same alias).
using YCrCb = std::array<std::uint8_t, 3>;

// Colour conversions in integer arithmetic (division truncating toward zero,
// every component clamped to 0..255).
MORVIX_API YCrCb RgbToYCrCb(COLORREF rgb);
MORVIX_API COLORREF YCrCbToRgb(YCrCb ycc);

// The default palette (as COLORREF) and button colour schemes of every menu.
extern MORVIX_API const DVDB_ColorPalette kDefaultPalette;
extern MORVIX_API const BtnClrSchemes kDefaultSchemes;

enum class ButtonKind : std::int32_t { kRectangle = 1, kMask = 2 };

struct ButtonSetting {
  std::int32_t id = 0;  // button number (1-based) + the menu's index * 1000
  ButtonKind kind = ButtonKind::kRectangle;
  // Pixels of the menu picture. For a mask button right = left + mask width and
  // bottom = top + mask height; the mask's top-left pixel sits at (left, top).
  std::uint16_t left = 40;
  std::uint16_t right = 41;
  std::uint16_t top = 40;
  std::uint16_t bottom = 41;
  std::uint32_t command = 0;  // kBtnCmdTitle, kBtnCmdChapter, kBtnCmdMainMenu or kBtnCmdNone
  std::uint32_t value = 0;    // the command's operand: a title or chapter number
  std::wstring mask_file;     // mask bitmap path (kind kMask); empty for a rectangle

  void Reset() { *this = ButtonSetting(); }
};

struct MenuSetting {
  std::int32_t menu_id = 0;  // 0 none, kMainMenuId, or TitleMenuId(n)
  std::int32_t reserved = 0;
  std::wstring video_file;  // MPEG-2 program stream that plays behind the menu
  std::int32_t button_count = 0;
  std::array<ButtonSetting, kMaxButtons> buttons;  // the first button_count in use
  std::array<YCrCb, kPaletteSize> palette;
  BtnClrSchemes schemes;

  MenuSetting() { Reset(); }
  // Identifier 0, no file, no buttons, default palette and schemes.
  void Reset();
  bool IsSet() const { return menu_id > 0; }
};

struct TitleSetting {
  std::int32_t reserved = 0;
  // menus[0] is the title's menu; menus[1] is reset with it and otherwise unused.
  std::array<MenuSetting, 2> menus;
  std::wstring movie_file;  // the title's MPEG-2 program stream
  std::int32_t chapter_count = 0;
  // Seconds from the start of the movie; -1.0 when unused. Chapter 1 starts at 0.0
  // unless SetChapterStartTime moved it (the build refuses that).
  std::array<double, kMaxChapters> chapter_starts;

  TitleSetting() { Reset(); }
  void Reset();
  MenuSetting& menu() { return menus[0]; }
  const MenuSetting& menu() const { return menus[0]; }
};

struct SettingData {
  MenuSetting main_menu;
  std::int32_t title_count = 0;  // 0..kMaxTitles
  // Title n (1-based) is slot n-1; slots from title_count on are empty.
  std::array<std::unique_ptr<TitleSetting>, kMaxTitles> titles;
  std::wstring output_folder;  // empty until set
  std::int32_t reserved = 0;
  std::int32_t auto_next_title = 1;  // 0 or 1

  SettingData() = default;
  SettingData(const SettingData& other);
  SettingData& operator=(const SettingData& other);
  ~SettingData() = default;

  // Back to the defaults: main menu reset, every title freed, no output folder,
  // auto-next-title on.
  void Reset();

  // Title n (1-based), or nullptr when n is not 1..title_count.
  TitleSetting* Title(int n);
  const TitleSetting* Title(int n) const;
  bool HasMainMenu() const { return main_menu.IsSet(); }
};

}  // namespace morvix
