// A clock for tests of jobs that wait: it stands still until a wait moves it,
// and every wait returns at once, so a test of a poll or a back-off takes no
// real time and sees exactly how long the job would have waited.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

#include "jobs/job_clock.h"

namespace zephrel::testing {

class ManualJobClock final : public JobClock {
 public:
  TimePoint Now() override;
  // Moves the clock on by duration and returns at once (false when stop was
  // requested, and then the clock stays where it was).
  bool SleepFor(Duration duration, std::stop_token stop) override;

  void Advance(Duration duration);
  // Every wait asked for so far, in order.
  std::vector<Duration> Sleeps() const;
  // How far the clock has moved since it was made.
  Duration Elapsed() const;

 private:
  mutable std::mutex mutex_;
  TimePoint start_ = std::chrono::steady_clock::now();
  Duration elapsed_{};
  std::vector<Duration> sleeps_;
};

// Puts clock in place as the engine's job clock for the scope's lifetime.
class ScopedJobClock {
 public:
  explicit ScopedJobClock(std::shared_ptr<JobClock> clock);
  ~ScopedJobClock();
  ScopedJobClock(const ScopedJobClock&) = delete;
  ScopedJobClock& operator=(const ScopedJobClock&) = delete;
};

}  // namespace zephrel::testing
