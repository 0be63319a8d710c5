#include "jobs/job_clock_testutil.h"

#include "jobs/job_state.h"

namespace zephrel::testing {

JobClock::TimePoint ManualJobClock::Now() {
  std::lock_guard lock(mutex_);
  return start_ + elapsed_;
}

bool ManualJobClock::SleepFor(Duration duration, std::stop_token stop) {
  std::lock_guard lock(mutex_);
  sleeps_.push_back(duration);
  if (stop.stop_requested()) return false;
  elapsed_ += duration;
  return true;
}

void ManualJobClock::Advance(Duration duration) {
  std::lock_guard lock(mutex_);
  elapsed_ += duration;
}

std::vector<JobClock::Duration> ManualJobClock::Sleeps() const {
  std::lock_guard lock(mutex_);
  return sleeps_;
}

JobClock::Duration ManualJobClock::Elapsed() const {
  std::lock_guard lock(mutex_);
  return elapsed_;
}

ScopedJobClock::ScopedJobClock(std::shared_ptr<JobClock> clock) {
  EngineState::Instance().SetClockForTesting(std::move(clock));
}

ScopedJobClock::~ScopedJobClock() { EngineState::Instance().SetClockForTesting(nullptr); }

}  // namespace zephrel::testing
