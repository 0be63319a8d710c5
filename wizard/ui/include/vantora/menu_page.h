// The menu page as the disc shows it: a 720 x 576 (PAL) or 720 x 480 (NTSC)
// picture at 96 dots per inch, so that font sizes in points come out as on
// the designer's screen. The background is stretched over the whole page;
// the title and the video lines go where the menu layout puts them, and each
// line's marker is drawn exactly on its button square.
#pragma once

#include <QImage>

#include <filesystem>
#include <string>

#include "vantora/menu_layout.h"

namespace vantora {

// Fonts that draw what the chosen font lacks: CJK, then emoji.
inline constexpr const char* kMenuFallbackFamilies[] = {"Noto Sans CJK JP", "Noto Color Emoji"};

// Pictures larger than this on either side are refused before decoding.
inline constexpr int kMaxBackgroundSide = 8192;

class MenuPage {
 public:
  MenuPage();

  // Loads a background picture; "Default" is the shipped
  // Background/background_default_PAL.png (NTSC.png for ntsc) of the
  // resources folder, or a plain gradient without it. Returns "" on success;
  // otherwise why the picture cannot be used, and the old background stays.
  std::string LoadBackground(const std::filesystem::path& picture, const std::filesystem::path& resources,
                             bool ntsc = false);

  TextExtent Measure(const MenuFont& font, const std::string& text) const;
  // The characters of text (each once) that neither font nor a fallback can
  // draw: on the page they would be empty boxes.
  std::u32string MissingGlyphs(const MenuFont& font, const std::string& text) const;
  // Draws the page; height is kMenuPageHeightPal or kMenuPageHeightNtsc.
  QImage Draw(const MenuDesign& design, const MenuLayout& layout, bool hide_markers, int height) const;

  const QImage& background() const { return background_; }

 private:
  QImage background_;
  QImage metrics_device_;  // a page-sized picture at 96 dpi, for text metrics
};

// Writes picture as a 24-bit BMP; "" on success, else the reason.
std::string SaveBitmap24(const QImage& picture, const std::filesystem::path& file);

}  // namespace vantora
