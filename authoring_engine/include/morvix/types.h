// Plain records exchanged with callers of the authoring engine. They are
// copyable byte for byte; their sizes are part of the interface.
#pragma once

#include <cstdint>

namespace morvix {

using BOOL = std::int32_t;
// A colour as 0x00BBGGRR: red in the low byte.
using COLORREF = std::uint32_t;

// A button rectangle in pixels of the menu picture.
struct RECT {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

// How the four sub-picture pixel values of a button are shown. Pixel value 0 is
// the background, 1 the pattern, 2 emphasis 1, 3 emphasis 2.
struct ColorScheme {
  std::uint8_t color[4];     // palette index (0..15) of pixel values 0..3
  std::uint8_t contrast[4];  // 0 fully transparent .. 15 opaque, for pixel values 0..3
};

// The three button states of a menu; all buttons of one menu share them.
struct BtnClrSchemes {
  ColorScheme normal;
  ColorScheme selected;
  ColorScheme activated;
};

// The 16 colours of a menu's sub-picture palette.
struct DVDB_ColorPalette {
  COLORREF color[16];
};

static_assert(sizeof(ColorScheme) == 8);
static_assert(sizeof(BtnClrSchemes) == 24);
static_assert(sizeof(DVDB_ColorPalette) == 64);
static_assert(sizeof(RECT) == 16);

}  // namespace morvix
