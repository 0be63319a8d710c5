#include "progress_throttle.h"

#include <gtest/gtest.h>

#include <vector>

namespace morvix {
namespace {

TEST(ProgressThrottleTest, ReportsOnATenthOfAPercentOrFiftyMillisecondsAndAlwaysAtTheEnds) {
  std::vector<double> sent;
  StepProgress progress = [&](int step, double percent) {
    EXPECT_EQ(step, 5);
    sent.push_back(percent);
    return 0;
  };
  std::chrono::steady_clock::time_point now{};
  ProgressThrottle throttle(progress, 5, [&] { return now; });
  auto at = [&](int ms, double percent) {
    now = std::chrono::steady_clock::time_point{} + std::chrono::milliseconds(ms);
    return throttle.Report(percent);
  };
  at(0, 0.0);
  at(10, 0.05);   // held: small step, little time
  at(20, 0.12);   // sent: 0.12 from the last sent
  at(30, 0.15);   // held
  at(71, 0.16);   // sent: 51 ms since the last report
  at(72, 0.0);    // 0 always goes out
  at(73, 100.0);  // so does 100
  at(74, 100.0);
  EXPECT_EQ(sent, (std::vector<double>{0.0, 0.12, 0.16, 0.0, 100.0, 100.0}));
}

TEST(ProgressThrottleTest, PassesTheStopAnswerAndToleratesNoCallback) {
  StepProgress stop = [](int, double) { return 1; };
  ProgressThrottle throttle(stop, 1);
  EXPECT_EQ(throttle.Report(0.0), 1);
  StepProgress none;
  ProgressThrottle quiet(none, 1);
  EXPECT_EQ(quiet.Report(0.0), 0);
  EXPECT_EQ(quiet.Report(100.0), 0);
}

}  // namespace
}  // namespace morvix
