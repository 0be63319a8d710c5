// Rate limiting of step progress reports. A report goes out when the percent
// moved by at least 0.1 since the last one sent, or 50 ms have passed; 0 and
// 100 always go out.
#pragma once

#include <chrono>
#include <cmath>
#include <functional>
#include <utility>

namespace morvix {

// Step progress: (step number, step percent 0..100) -> 0 to go on, anything
// else to stop.
using StepProgress = std::function<int(int step, double percent)>;

class ProgressThrottle {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  // progress may be empty (every report answers "go on"). It must outlive
  // this object. clock defaults to the steady clock.
  ProgressThrottle(const StepProgress& progress, int step, Clock clock = {})
      : progress_(progress), step_(step), clock_(std::move(clock)) {}

  // Returns the callback's answer, or 0 when the report was held back.
  int Report(double percent) {
    if (!progress_) return 0;
    const auto now = clock_ ? clock_() : std::chrono::steady_clock::now();
    const bool forced = percent <= 0.0 || percent >= 100.0;
    if (!forced && sent_any_ && std::fabs(percent - last_percent_) < 0.1 &&
        now - last_time_ < std::chrono::milliseconds(50)) {
      return 0;
    }
    sent_any_ = true;
    last_percent_ = percent;
    last_time_ = now;
    return progress_(step_, percent);
  }

 private:
  const StepProgress& progress_;
  int step_;
  Clock clock_;
  bool sent_any_ = false;
  double last_percent_ = 0.0;
  std::chrono::steady_clock::time_point last_time_{};
};

}  // namespace morvix
