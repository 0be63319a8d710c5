#include "vantora/button_colors.h"

namespace vantora {

const std::array<NamedColor, kButtonColorCount>& ButtonColorTable() {
  static constexpr std::array<NamedColor, kButtonColorCount> kTable = {{
      {"Black", MakeRgb(0, 0, 0)},
      {"White", MakeRgb(255, 255, 255)},
      {"Gray", MakeRgb(128, 128, 128)},
      {"Dark Gray", MakeRgb(169, 169, 169)},
      {"Silver", MakeRgb(192, 192, 192)},
      {"Red", MakeRgb(255, 0, 0)},
      {"Green", MakeRgb(0, 255, 0)},
      {"Blue", MakeRgb(0, 0, 255)},
      {"Yellow", MakeRgb(255, 255, 0)},
      {"Magenta", MakeRgb(255, 0, 255)},
      {"Cyan", MakeRgb(0, 255, 255)},
      {"Dark Red", MakeRgb(139, 0, 0)},
      {"Dark Green", MakeRgb(85, 107, 47)},
      {"Dark Blue", MakeRgb(0, 0, 139)},
      {"CornflowerBlue", MakeRgb(100, 149, 237)},
      {"LightGreen", MakeRgb(144, 238, 144)},
  }};
  return kTable;
}

int ButtonColorIndex(std::string_view name) {
  const auto& table = ButtonColorTable();
  for (int i = 0; i < kButtonColorCount; ++i)
    if (name == table[i].name) return i;
  return -1;
}

std::optional<Rgb> ColorFromName(std::string_view name) {
  const int index = ButtonColorIndex(name);
  if (index < 0) return std::nullopt;
  return ButtonColorTable()[index].swatch;
}

int DefaultButtonColor(ButtonState state) {
  switch (state) {
    case ButtonState::kNormal:
      return 1;
    case ButtonState::kSelected:
      return 5;
    case ButtonState::kActivated:
      return 6;
  }
  return 1;
}

}  // namespace vantora
