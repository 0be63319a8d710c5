#include "morvix/settings.h"

#include <algorithm>

namespace morvix {
namespace {

std::uint8_t Clamp(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

}  // namespace

const DVDB_ColorPalette kDefaultPalette = {{
    0x000000,
    0xFFFFFF,
    0x808080,
    0x404040,
    0xC0C0C0,
    0x0000FF,
    0x00FF00,
    0xFF0000,
    0x00FFFF,
    0xFF00FF,
    0xFFFF00,
    0x000080,
    0x008000,
    0x800000,
    0xFF8080,
    0x80FF80,
}};

const BtnClrSchemes kDefaultSchemes = {
    /*normal=*/{{0, 7, 5, 2}, {0, 15, 0, 15}},
    /*selected=*/{{0, 8, 5, 4}, {0, 15, 15, 15}},
    /*activated=*/{{0, 9, 5, 4}, {0, 15, 15, 15}},
};

YCrCb RgbToYCrCb(COLORREF rgb) {
  const int r = rgb & 0xFF;
  const int g = (rgb >> 8) & 0xFF;
  const int b = (rgb >> 16) & 0xFF;
  return YCrCb{Clamp((257 * r + 504 * g + 98 * b + 16500) / 1000),
               Clamp((439 * r - 368 * g - 71 * b + 128500) / 1000),
               Clamp((-148 * r - 291 * g + 439 * b + 128500) / 1000)};
}

COLORREF YCrCbToRgb(YCrCb ycc) {
  const int y = ycc[0], cr = ycc[1], cb = ycc[2];
  const COLORREF r = Clamp((1164 * y + 1596 * cr - 222412) / 1000);
  const COLORREF g = Clamp((1164 * y - 813 * cr - 391 * cb + 135988) / 1000);
  const COLORREF b = Clamp((1164 * y + 2018 * cb - 276428) / 1000);
  return r | (g << 8) | (b << 16);
}

void MenuSetting::Reset() {
  menu_id = 0;
  reserved = 0;
  video_file.clear();
  button_count = 0;
  for (ButtonSetting& button : buttons) button.Reset();
  for (int i = 0; i < kPaletteSize; ++i) palette[i] = RgbToYCrCb(kDefaultPalette.color[i]);
  schemes = kDefaultSchemes;
}

void TitleSetting::Reset() {
  reserved = 0;
  for (MenuSetting& m : menus) m.Reset();
  movie_file.clear();
  chapter_count = 0;
  chapter_starts.fill(-1.0);
}

SettingData::SettingData(const SettingData& other)
    : main_menu(other.main_menu),
      title_count(other.title_count),
      output_folder(other.output_folder),
      reserved(other.reserved),
      auto_next_title(other.auto_next_title) {
  for (int i = 0; i < kMaxTitles; ++i) {
    if (other.titles[i]) titles[i] = std::make_unique<TitleSetting>(*other.titles[i]);
  }
}

SettingData& SettingData::operator=(const SettingData& other) {
  if (this != &other) {
    SettingData copy(other);  // all allocations first, so a failure leaves *this intact
    main_menu = std::move(copy.main_menu);
    title_count = copy.title_count;
    titles = std::move(copy.titles);
    output_folder = std::move(copy.output_folder);
    reserved = copy.reserved;
    auto_next_title = copy.auto_next_title;
  }
  return *this;
}

void SettingData::Reset() {
  main_menu.Reset();
  for (auto& title : titles) title.reset();
  title_count = 0;
  output_folder.clear();
  reserved = 0;
  auto_next_title = 1;
}

TitleSetting* SettingData::Title(int n) { return n >= 1 && n <= title_count ? titles[n - 1].get() : nullptr; }

const TitleSetting* SettingData::Title(int n) const {
  return n >= 1 && n <= title_count ? titles[n - 1].get() : nullptr;
}

}  // namespace morvix
