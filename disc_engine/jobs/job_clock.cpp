#include "jobs/job_clock.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace zephrel {
namespace {

class SteadyJobClock final : public JobClock {
 public:
  TimePoint Now() override { return std::chrono::steady_clock::now(); }

  bool SleepFor(Duration duration, std::stop_token stop) override {
    std::mutex mutex;
    std::condition_variable_any woken;
    std::unique_lock lock(mutex);
    // Returns at once with stop requested; otherwise at the end of the
    // duration or when stop is requested, whichever comes first.
    return !woken.wait_for(lock, stop, duration, [] { return false; }) && !stop.stop_requested();
  }
};

}  // namespace

std::shared_ptr<JobClock> SystemJobClock() {
  static const std::shared_ptr<JobClock> clock = std::make_shared<SteadyJobClock>();
  return clock;
}

bool PollUntil(JobClock& clock, std::stop_token stop, JobClock::Duration timeout, JobClock::Duration interval,
               const std::function<bool()>& done) {
  const JobClock::TimePoint deadline = clock.Now() + timeout;
  for (;;) {
    if (done()) return true;
    if (stop.stop_requested()) return false;
    const JobClock::TimePoint now = clock.Now();
    if (now >= deadline) return false;
    if (!clock.SleepFor(std::min(interval, deadline - now), stop)) return false;
  }
}

}  // namespace zephrel
