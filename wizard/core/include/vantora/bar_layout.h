// Where the progress bar and the capacity gauge put their pieces. Pure
// functions of the width and the state, so the drawing can be checked without
// a screen. Positions are pixels from the control's left edge; frame tiles are
// kFrameTileStep apart, fill pieces kFillStep apart, the fill inset kFillInset
// from the top and the left.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantora {

inline constexpr int kFrameTileStep = 14;
inline constexpr int kFrameEndWidth = 14;
inline constexpr int kFillStep = 2;
inline constexpr int kFillInset = 2;

// The frame (background) of either control: left end at 0, middle pieces at
// 14, 28, ... while below the width, right end at width - 14.
struct FrameLayout {
  int left = 0;
  std::vector<int> middles;
  int right = 0;
};

// The fill of either control: left cap at 2, middle pieces at 4, 6, ... while
// below the bound, right cap at the first position that failed, less 1.
struct FillLayout {
  bool shown = false;
  int left_cap = kFillInset;
  std::vector<int> middles;
  int right_cap = 0;
};

FrameLayout LayOutFrame(int width);
// bound is the fill's end (width x fraction - 3). Pieces beyond the control's
// right edge are cut off, so a bound past it ends the fill there.
FillLayout LayOutFill(int width, double bound);

struct ProgressBarLayout {
  FrameLayout frame;
  FillLayout fill;        // shown whenever the value is not 0
  std::string label;      // "57 %"
  double label_left = 0;  // left edge of the centred label
};

// The progress bar for value (percent; no range enforced) on a control width
// pixels wide whose label is label_width pixels wide.
ProgressBarLayout LayOutProgressBar(int width, int value, int label_width);

struct GaugeMark {
  std::string caption;
  double label_left = 0;  // left edge of the label
  double center = 0;      // where its tick stands
  bool tick = true;       // false where the limit mark replaces the tick
};

struct GaugeLayout {
  std::vector<GaugeMark> marks;  // element 0 ("0 Min" or "0") and 1 to 9
  std::optional<double> limit;   // the capacity limit mark, absent when it has no place
  FrameLayout frame;
  FillLayout fill;  // shown when value > 6 and the maximum is above 0
  // Where a fill that runs past the limit mark passes it: the pieces from
  // there on show the overflow. Absent when the fill stays inside the mark.
  std::optional<double> overflow;
};

inline constexpr int kDvdLimitMegabytes = 4482;
inline constexpr int kCdLimitMinutes = 74;

// The capacity gauge. gigabytes selects the megabyte/gigabyte scale, else the
// minutes scale. text_width gives a caption's width in pixels.
GaugeLayout LayOutGauge(int width, int value, int maximum, bool gigabytes,
                        const std::function<double(const std::string&)>& text_width);

}  // namespace vantora
