// The menu page of step 2: what the designer holds, where its title and video
// lines go, and the button square of every video line. Pure functions of the
// design and a text measure, so the page can be laid out without a screen;
// the drawing itself lives with the widgets.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vantora {

// A colour as 0xRRGGBB.
using Rgb = std::uint32_t;
inline constexpr Rgb MakeRgb(int r, int g, int b) {
  return (static_cast<Rgb>(r & 255) << 16) | (static_cast<Rgb>(g & 255) << 8) | static_cast<Rgb>(b & 255);
}

// The menu page in pixels of the DVD frame.
inline constexpr int kMenuPageWidth = 720;
inline constexpr int kMenuPageHeightPal = 576;
inline constexpr int kMenuPageHeightNtsc = 480;

// One video line's button: a square of side Size whose top-left corner is
// (Left, Top). The authoring makes it the button (Left, Top)-(Left + Size,
// Top + Size).
struct MenuButtonRect {
  std::int32_t Top = 0;
  std::int32_t Left = 0;
  std::int32_t Size = 0;
  bool operator==(const MenuButtonRect&) const = default;
};

struct MenuFont {
  std::string family = "Arial";
  int points = 14;
  bool bold = false;
  bool italic = false;
  bool underline = false;
};

// A check box's value: 0 clear, 1 set, 2 grey.
inline constexpr int kUnchecked = 0;
inline constexpr int kChecked = 1;
inline constexpr int kGrayed = 2;

struct MenuDesign {
  std::string title = "Mon DVD";  // TextTitleDVD
  MenuFont title_font{"Arial", 32, true, false, false};
  int title_center = kUnchecked;             // CheckTitleMiddle
  Rgb title_color = MakeRgb(255, 255, 255);  // TitleColor
  int title_top = 24;                        // SliderTitleTop
  int title_left = 114;                      // SliderTitleLeft

  std::vector<std::string> lines;  // List1
  MenuFont lines_font{"Arial", 14, true, false, false};
  int lines_center = kUnchecked;             // ChaptersCenter
  Rgb lines_color = MakeRgb(255, 255, 192);  // ChaptersColor
  int lines_top = 150;                       // ChaptersTop
  int lines_left = 132;                      // ChaptersLeft
  int line_space = 4;                        // ChapterSpace

  Rgb marker_color = MakeRgb(224, 224, 224);  // SelectionColor
  std::string background = "Default";         // TextBackgroundImage
};

struct TextExtent {
  double width = 0;
  double height = 0;
};
// The extent of a text drawn in a font on the page.
using MeasureText = std::function<TextExtent(const MenuFont& font, const std::string& text)>;

struct MenuLayout {
  double title_x = 0;
  double title_y = 0;
  double lines_x = 0;             // the left edge of every video line
  std::vector<double> line_tops;  // one per line
  std::vector<MenuButtonRect> buttons;
};

MenuLayout LayOutMenu(const MenuDesign& design, int page_width, const MeasureText& measure);

// The engine's limits for a menu button: left and top at least 40, right at
// most 679, bottom at most 535 (PAL) or 479 (NTSC).
inline constexpr int kMenuButtonMinLeft = 40;
inline constexpr int kMenuButtonMinTop = 40;
inline constexpr int kMenuButtonMaxRight = 679;
inline constexpr int kMenuButtonMaxBottomPal = 535;
inline constexpr int kMenuButtonMaxBottomNtsc = 479;
inline constexpr int kMaxMenuButtons = 32;

// "" when a menu with these buttons can be authored; otherwise what the user
// must change, naming the line.
std::string MenuButtonsProblem(const std::vector<MenuButtonRect>& buttons,
                               const std::vector<std::string>& lines, bool ntsc);

}  // namespace vantora
