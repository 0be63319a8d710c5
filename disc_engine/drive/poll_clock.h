// The time source of the engine's polling loops (the media-change listener,
// the readiness waits): what time it is and how to wait. A wait ends early, and
// says so, when its stop token is set, so no loop ever holds up a shutdown for
// a whole interval. Tests install clocks that move only when told to.
#pragma once

#include <chrono>
#include <functional>
#include <stop_token>

namespace zephrel {

struct PollClock {
  using TimePoint = std::chrono::steady_clock::time_point;
  std::function<TimePoint()> now;
  // Waits for the duration; false when stop was requested before it passed.
  std::function<bool(std::chrono::milliseconds, std::stop_token)> sleep;

  // The steady clock, waits on a condition that the stop token interrupts.
  static PollClock Real();
};

}  // namespace zephrel
