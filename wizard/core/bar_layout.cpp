#include "vantora/bar_layout.h"

#include <algorithm>
#include <cmath>

namespace vantora {

FrameLayout LayOutFrame(int width) {
  FrameLayout f;
  for (int x = kFrameTileStep; x < width; x += kFrameTileStep) f.middles.push_back(x);
  f.right = width - kFrameEndWidth;
  return f;
}

FillLayout LayOutFill(int width, double bound) {
  FillLayout f;
  f.shown = true;
  // A piece at or beyond width + 2 cannot be seen; stopping there keeps every
  // visible piece where it would be and bounds the work for huge values.
  const double end = std::min(bound, static_cast<double>(width) + kFillStep);
  int x = kFillInset + kFillStep;
  for (; x < end; x += kFillStep) f.middles.push_back(x);
  f.right_cap = x - 1;
  return f;
}

ProgressBarLayout LayOutProgressBar(int width, int value, int label_width) {
  ProgressBarLayout p;
  p.frame = LayOutFrame(width);
  if (value != 0) {
    p.fill = LayOutFill(width, static_cast<double>(width) * value / 100.0 - 3.0);
  }
  p.label = std::to_string(value) + " %";
  p.label_left = width / 2.0 - label_width / 2.0;
  return p;
}

GaugeLayout LayOutGauge(int width, int value, int maximum, bool gigabytes,
                        const std::function<double(const std::string&)>& text_width) {
  GaugeLayout g;
  const double w = width;
  GaugeMark zero;
  zero.caption = gigabytes ? "0" : "0 Min";
  zero.label_left = 0;
  zero.center = text_width(zero.caption) / 2.0;
  zero.tick = false;  // element 0 is placed by the control's design
  g.marks.push_back(zero);
  for (int i = 1; i <= 9; ++i) {
    GaugeMark m;
    if (!gigabytes) {
      m.caption = std::to_string(i * 10) + " Min";
    } else if (maximum == 900) {
      m.caption = std::to_string(i * 100);
    } else {
      m.caption = std::to_string(i) + " GB";
    }
    const double label_width = text_width(m.caption);
    m.center = i * w / 9.0;
    // Every label stays whole inside the control: the last one ends at its
    // right edge instead of being centred on it.
    m.label_left = std::max(0.0, std::min(m.center - label_width / 2.0, w - label_width));
    m.center = std::min(m.center, w - 1.0);
    if (gigabytes && i == 7) {
      m.tick = false;
      if (maximum == 900) {
        g.limit = m.center;
      } else if (maximum > 0) {
        g.limit = w / maximum * kDvdLimitMegabytes;
      }
    }
    g.marks.push_back(m);
  }
  if (!gigabytes) g.limit = w / 90.0 * kCdLimitMinutes;
  g.frame = LayOutFrame(width);
  if (value > 6 && maximum > 0) {
    const double bound = w * value / maximum - 3.0;
    g.fill = LayOutFill(width, bound);
    // Past the mark the fill's pieces (inset as the bound is) show the overflow.
    if (g.limit && w * value / maximum > *g.limit) g.overflow = *g.limit - 3.0;
  }
  return g;
}

}  // namespace vantora
