// The tile pictures shared by the progress bar and the capacity gauge, drawn
// as shapes: frame ends and middle pieces, fill caps and middle pieces.
#pragma once

#include <QPainter>
#include <optional>

#include "vantora/bar_layout.h"

namespace vantora {

inline constexpr int kBarHeight = 20;   // frame tiles
inline constexpr int kFillHeight = 16;  // fill pieces

void DrawFrame(QPainter& p, const FrameLayout& frame, int width);
// Pieces from overflow on (when given) take the overflow colour.
void DrawFill(QPainter& p, const FillLayout& fill, std::optional<double> overflow = std::nullopt);

}  // namespace vantora
