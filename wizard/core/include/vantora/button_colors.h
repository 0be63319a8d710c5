// The sixteen colour names of the menu-button lists, in list order: a name's
// position is the palette index handed to the authoring; its swatch colour is
// for display only.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "vantora/menu_layout.h"
#include "vantora/settings.h"

namespace vantora {

struct NamedColor {
  const char* name;
  Rgb swatch;
};

inline constexpr int kButtonColorCount = 16;
const std::array<NamedColor, kButtonColorCount>& ButtonColorTable();

// The swatches' colour until the first choice.
inline constexpr Rgb kUnchosenSwatch = MakeRgb(224, 224, 224);

// The list index of name (exact, case-sensitive), or -1.
int ButtonColorIndex(std::string_view name);
// The swatch colour of name, or nullopt for a name not in the table.
std::optional<Rgb> ColorFromName(std::string_view name);
// White, Red and Green for normal, selected and activated.
int DefaultButtonColor(ButtonState state);

}  // namespace vantora
