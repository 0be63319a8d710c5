#include "vantora/menu_layout.h"

#include "vantora/format.h"

namespace vantora {

MenuLayout LayOutMenu(const MenuDesign& design, int page_width, const MeasureText& measure) {
  MenuLayout layout;
  // The title: its top-left corner at the sliders, or centred by its rounded
  // width (which may leave it at a half pixel).
  layout.title_y = design.title_top;
  if (design.title_center == kChecked) {
    const double w = RoundHalfEven(measure(design.title_font, design.title).width);
    layout.title_x = page_width / 2.0 - w / 2.0;
  } else {
    layout.title_x = design.title_left;
  }

  // The video lines share one left edge; centred, the block is centred by its
  // widest line (the first of equal widths), rounded to a whole pixel.
  double x = design.lines_left;
  if (design.lines_center == kChecked) {
    double widest = 0;
    for (const std::string& line : design.lines) {
      const double w = measure(design.lines_font, line).width;
      if (w > widest) widest = RoundHalfEven(w);
    }
    x = RoundHalfEven(page_width / 2.0 - widest / 2.0);
  }
  layout.lines_x = x;
  double y = design.lines_top;
  for (const std::string& line : design.lines) {
    const double h = measure(design.lines_font, line).height;
    layout.line_tops.push_back(y);
    const double bottom = y + h;
    layout.buttons.push_back(
        MenuButtonRect{RoundHalfEven(bottom - h), RoundHalfEven(x - h - 4), RoundHalfEven(h)});
    y = bottom + design.line_space;
  }
  return layout;
}

std::string MenuButtonsProblem(const std::vector<MenuButtonRect>& buttons,
                               const std::vector<std::string>& lines, bool ntsc) {
  if (buttons.size() > static_cast<std::size_t>(kMaxMenuButtons)) {
    return "A menu holds at most " + std::to_string(kMaxMenuButtons) + " buttons: this project has " +
           std::to_string(buttons.size()) + " videos. Choose \"DVD Without Menu\" or remove videos.";
  }
  const int max_bottom = ntsc ? kMenuButtonMaxBottomNtsc : kMenuButtonMaxBottomPal;
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    const MenuButtonRect& b = buttons[i];
    const int right = b.Left + b.Size;
    const int bottom = b.Top + b.Size;
    if (b.Left >= kMenuButtonMinLeft && b.Top >= kMenuButtonMinTop && right <= kMenuButtonMaxRight &&
        bottom <= max_bottom)
      continue;
    const std::string name = i < lines.size() ? lines[i] : std::to_string(i + 1);
    return "The button of the line \"" + name + "\" lies outside the menu's safe area (" +
           std::to_string(b.Left) + ", " + std::to_string(b.Top) + ") - (" + std::to_string(right) + ", " +
           std::to_string(bottom) + "): buttons must lie within (" + std::to_string(kMenuButtonMinLeft) +
           ", " + std::to_string(kMenuButtonMinTop) + ") - (" + std::to_string(kMenuButtonMaxRight) + ", " +
           std::to_string(max_bottom) + "). Move the chapter lines or make their font smaller.";
  }
  return "";
}

}  // namespace vantora
