#include "vob_menu_request.h"

#include <algorithm>

#include "platform/text.h"

namespace morvix {
namespace {

ButtonColorScheme SchemeOf(const ColorScheme& scheme) {
  ButtonColorScheme out;
  std::copy(scheme.color, scheme.color + 4, out.color.begin());
  std::copy(scheme.contrast, scheme.contrast + 4, out.contrast.begin());
  return out;
}

}  // namespace

void SetMenuRequest(const MenuSetting& menu, VobWriteRequest& request) {
  request.menu = true;
  request.buttons.clear();
  const int count = std::clamp(menu.button_count, 0, kMaxButtons);
  for (int i = 0; i < count; ++i) {
    const ButtonSetting& b = menu.buttons[static_cast<std::size_t>(i)];
    MenuButton button;
    button.kind = b.kind == ButtonKind::kMask ? MenuButtonKind::kMask : MenuButtonKind::kRectangle;
    button.left = b.left;
    button.top = b.top;
    button.right = b.right;
    button.bottom = b.bottom;
    button.command = b.command;
    button.value = b.value;
    if (button.kind == MenuButtonKind::kMask) button.mask_file = platform::WideToPath(b.mask_file);
    request.buttons.push_back(std::move(button));
  }
  request.schemes.normal = SchemeOf(menu.schemes.normal);
  request.schemes.selected = SchemeOf(menu.schemes.selected);
  request.schemes.activated = SchemeOf(menu.schemes.activated);
}

}  // namespace morvix
