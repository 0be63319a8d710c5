#include "tiles.h"

#include <QLinearGradient>

namespace vantora {
namespace {

QLinearGradient Vertical(int top, int height, QColor light, QColor dark) {
  QLinearGradient g(0, top, 0, top + height);
  g.setColorAt(0, light);
  g.setColorAt(0.5, dark);
  g.setColorAt(1, light);
  return g;
}

}  // namespace

void DrawFrame(QPainter& p, const FrameLayout& frame, int width) {
  const QLinearGradient body = Vertical(0, kBarHeight, QColor(236, 236, 236), QColor(206, 206, 206));
  const QColor edge(150, 150, 150);
  // Left end, middle pieces, right end: each a copy of its tile.
  p.fillRect(frame.left, 0, kFrameEndWidth, kBarHeight, body);
  p.fillRect(frame.left, 0, 1, kBarHeight, edge);
  for (int x : frame.middles) p.fillRect(x, 0, kFrameTileStep, kBarHeight, body);
  p.fillRect(frame.right, 0, kFrameEndWidth, kBarHeight, body);
  p.fillRect(frame.right + kFrameEndWidth - 1, 0, 1, kBarHeight, edge);
  p.fillRect(0, 0, width, 1, edge);
  p.fillRect(0, kBarHeight - 1, width, 1, edge);
}

void DrawFill(QPainter& p, const FillLayout& fill, std::optional<double> overflow) {
  if (!fill.shown) return;
  const QLinearGradient body = Vertical(kFillInset, kFillHeight, QColor(140, 220, 120), QColor(40, 150, 40));
  const QLinearGradient over = Vertical(kFillInset, kFillHeight, QColor(250, 150, 120), QColor(200, 40, 20));
  const QColor cap(30, 110, 30);
  const QColor over_cap(150, 20, 10);
  auto past = [&](int x) { return overflow && x >= *overflow; };
  p.fillRect(fill.left_cap, kFillInset, kFillStep, kFillHeight, past(fill.left_cap) ? over_cap : cap);
  for (int x : fill.middles) p.fillRect(x, kFillInset, kFillStep, kFillHeight, past(x) ? over : body);
  p.fillRect(fill.right_cap, kFillInset, kFillStep, kFillHeight, past(fill.right_cap) ? over_cap : cap);
}

}  // namespace vantora
