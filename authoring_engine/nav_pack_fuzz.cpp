// Navigation pack filling on arbitrary input packs: it either refuses the pack
// or rewrites it within its 2048 bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "nav_pack.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> pack(2048, 0);
  std::memcpy(pack.data(), data, size < pack.size() ? size : pack.size());
  std::vector<morvix::MenuButton> buttons(size % 5);
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    buttons[i].left = size > 2048 + i ? data[2048 + i] * 3 : 0;
    buttons[i].right = buttons[i].left + 40;
    buttons[i].top = 100;
    buttons[i].bottom = 140;
  }
  morvix::ButtonColorSchemes schemes;
  morvix::Highlight highlight;
  highlight.buttons = &buttons;
  highlight.schemes = &schemes;
  morvix::NavPackInfo info;
  info.highlight = &highlight;
  morvix::FillNavPack(pack.data(), info);
  (void)morvix::ReadScr(pack.data());
  (void)morvix::PackDuration(pack.data());
  return 0;
}
