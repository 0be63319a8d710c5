#include "drive/poll_clock.h"

#include <condition_variable>
#include <mutex>

namespace zephrel {

PollClock PollClock::Real() {
  PollClock clock;
  clock.now = [] { return std::chrono::steady_clock::now(); };
  clock.sleep = [](std::chrono::milliseconds duration, std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any woken;
    std::unique_lock lock(mutex);
    woken.wait_for(lock, stop, duration, [] { return false; });
    return !stop.stop_requested();
  };
  return clock;
}

}  // namespace zephrel
