// The time a disc job sees: the moment it is now and the waits between polls
// and retries. Jobs take both from a JobClock, never from the system directly,
// so that a test can put a clock in place that moves only when told and whose
// waits return at once.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <stop_token>

namespace zephrel {

class JobClock {
 public:
  using Duration = std::chrono::steady_clock::duration;
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~JobClock() = default;
  virtual TimePoint Now() = 0;
  // Waits for duration, or less when stop is requested meanwhile. Returns
  // false when stop was requested (before or during the wait).
  virtual bool SleepFor(Duration duration, std::stop_token stop) = 0;
};

// The steady clock, and waits that end early when the job is asked to stop.
// Shared by every job; it lives to the end of the process.
std::shared_ptr<JobClock> SystemJobClock();

// Asks done() until it holds, waiting interval between two questions, for at
// most timeout after the first. True as soon as done() holds; false when the
// time ran out or stop was requested first. done() is asked at least once.
bool PollUntil(JobClock& clock, std::stop_token stop, JobClock::Duration timeout, JobClock::Duration interval,
               const std::function<bool()>& done);

}  // namespace zephrel
