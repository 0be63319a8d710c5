// A clock for tests of loops that run on their own thread (the media-change
// listener): time moves only when the test advances it, and a wait blocks
// until its time has come or its stop token is set. The test can wait for the
// n-th wait to begin, which tells it the loop has finished the turn before.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

#include "jobs/job_clock.h"

namespace zephrel::testing {

class StepJobClock final : public JobClock {
 public:
  TimePoint Now() override {
    std::lock_guard lock(mutex_);
    return now_;
  }
  bool SleepFor(Duration duration, std::stop_token stop) override {
    std::unique_lock lock(mutex_);
    const TimePoint until = now_ + duration;
    ++sleeps_;
    changed_.notify_all();
    changed_.wait(lock, stop, [&] { return now_ >= until; });
    return !stop.stop_requested();
  }

  void Advance(Duration by) {
    std::lock_guard lock(mutex_);
    now_ += by;
    changed_.notify_all();
  }
  // Waits (10 s at most, a guard against a hang) until n waits have begun.
  bool WaitForSleeps(int n) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return sleeps_ >= n; });
  }
  // Lets `by` pass and waits until the next wait begins: a loop woken by it
  // has finished its turn. False when none began (within 10 s).
  bool Step(Duration by) {
    const int sleeps = Sleeps();
    Advance(by);
    return WaitForSleeps(sleeps + 1);
  }
  int Sleeps() {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable_any changed_;
  TimePoint now_{};
  int sleeps_ = 0;
};

}  // namespace zephrel::testing
