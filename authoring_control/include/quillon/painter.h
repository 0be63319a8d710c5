// What the control needs to draw itself: a tiny painter the host implements
// over its own canvas, and the site that owns the control's window.
#pragma once

#include <cstdint>
#include <string_view>

#include "quillon/export.h"

namespace quillon {

struct Rect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

// 0x00BBGGRR, red in the low byte.
using Colour = std::uint32_t;
inline constexpr Colour kBlack = 0x000000;
inline constexpr Colour kRed = 0x0000FF;

class QUILLON_API Painter {
 public:
  virtual ~Painter() = default;
  virtual void FillRect(const Rect& bounds, Colour colour) = 0;
  // Text is drawn without filling its background.
  virtual void SetTransparentTextBackground() = 0;
  virtual void SetTextColour(Colour colour) = 0;
  // One line of text, centred horizontally and vertically in bounds.
  virtual void DrawCentredLine(std::string_view text, const Rect& bounds) = 0;
};

// The container's side of the control's window.
class QUILLON_API ControlSite {
 public:
  virtual ~ControlSite() = default;
  // Resizes the control's window without moving it, without changing its
  // z-order and without activating it.
  virtual void ResizeWindow(std::int32_t width, std::int32_t height) = 0;
  // The bound property `id` changed (raised in design mode only).
  virtual void OnPropertyChanged(std::int32_t id) = 0;
  // The control's look changed: draw it again.
  virtual void Invalidate() = 0;
};

}  // namespace quillon
