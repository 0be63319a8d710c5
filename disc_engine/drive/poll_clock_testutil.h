// Clocks for tests of polling loops: none of them waits in real time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>

#include "drive/poll_clock.h"

namespace zephrel::testing {

// Time moves only when the test advances it; a sleeper wakes when its time has
// come or its stop token is set. The test can wait for the n-th sleep to
// begin, which tells it that the loop has finished the turn before.
class StepClock {
 public:
  PollClock clock() {
    PollClock c;
    c.now = [state = state_] {
      std::lock_guard lock(state->mutex);
      return state->now;
    };
    c.sleep = [state = state_](std::chrono::milliseconds duration, std::stop_token stop) {
      std::unique_lock lock(state->mutex);
      const PollClock::TimePoint until = state->now + duration;
      ++state->sleeps;
      state->changed.notify_all();
      state->changed.wait(lock, stop, [&] { return state->now >= until; });
      return !stop.stop_requested();
    };
    return c;
  }

  void Advance(std::chrono::milliseconds by) {
    std::lock_guard lock(state_->mutex);
    state_->now += by;
    state_->changed.notify_all();
  }

  // Waits (10 s at most, a guard against a hang) until n sleeps have begun.
  bool WaitForSleeps(int n) {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, std::chrono::seconds(10), [&] { return state_->sleeps >= n; });
  }
  int Sleeps() {
    std::lock_guard lock(state_->mutex);
    return state_->sleeps;
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable_any changed;
    PollClock::TimePoint now{};
    int sleeps = 0;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Every sleep passes at once and moves the time on by its duration; on_sleep,
// when set, runs at each one (a test's way to change the drive mid-wait).
class InstantClock {
 public:
  PollClock clock() {
    PollClock c;
    c.now = [state = state_] {
      std::lock_guard lock(state->mutex);
      return state->now;
    };
    c.sleep = [state = state_](std::chrono::milliseconds duration, std::stop_token stop) {
      std::function<void(int)> hook;
      int count = 0;
      {
        std::lock_guard lock(state->mutex);
        state->now += duration;
        count = ++state->sleeps;
        hook = state->on_sleep;
      }
      if (hook) hook(count);
      return !stop.stop_requested();
    };
    return c;
  }
  void OnSleep(std::function<void(int count)> hook) {
    std::lock_guard lock(state_->mutex);
    state_->on_sleep = std::move(hook);
  }
  int Sleeps() {
    std::lock_guard lock(state_->mutex);
    return state_->sleeps;
  }
  std::chrono::milliseconds Elapsed() {
    std::lock_guard lock(state_->mutex);
    return std::chrono::duration_cast<std::chrono::milliseconds>(state_->now - PollClock::TimePoint{});
  }

 private:
  struct State {
    std::mutex mutex;
    PollClock::TimePoint now{};
    int sleeps = 0;
    std::function<void(int)> on_sleep;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace zephrel::testing
