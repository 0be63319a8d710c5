#include "drive/media_listener.h"

#include <utility>

#include "drive/mmc_drive.h"

namespace zephrel {

MediaListener::MediaListener(StartThread start, DeviceOf device, Paused paused, ClockSource clock)
    : start_(std::move(start)),
      device_(std::move(device)),
      paused_(std::move(paused)),
      clock_(std::move(clock)) {}

void MediaListener::SetInterval(std::chrono::milliseconds interval) {
  std::lock_guard lock(mutex_);
  interval_ = interval;
}

bool MediaListener::Listen(int drive, std::function<void()> raise) {
  std::lock_guard lock(mutex_);
  current_.request_stop();
  std::stop_source own;
  current_ = own;
  listened_.store(drive);
  live_.fetch_add(1);  // counted from now, so a thread not yet running counts too
  const bool started = start_([this, own, drive, raise = std::move(raise), clock = clock_(),
                               interval = interval_](std::stop_token thread_stop) mutable {
    // The engine's shutdown stops every thread; Stop and Listen stop this one.
    struct Ended {
      std::atomic<int>& live;
      ~Ended() { live.fetch_sub(1); }
    } ended{live_};
    std::stop_callback forward(thread_stop, [own]() mutable { own.request_stop(); });
    Loop(own.get_token(), drive, raise, *clock, interval);
  });
  if (!started) live_.fetch_sub(1);
  return started;
}

void MediaListener::Stop() {
  std::lock_guard lock(mutex_);
  listened_.store(-1);
  current_.request_stop();
}

void MediaListener::Loop(std::stop_token stop, int drive, const std::function<void()>& raise, JobClock& clock,
                         std::chrono::milliseconds interval) {
  int last = -1;  // not known yet: the first answer is always reported
  while (!stop.stop_requested()) {
    if (drive >= 0 && !paused_()) {
      const std::shared_ptr<platform::ScsiDevice> device = device_(drive);
      // Behind the transport policy a unit attention (a new medium) is asked
      // again, so a medium just put in reads as ready.
      const int ready = device && MmcDrive(device).MmcTestUnitReady().ok() ? 1 : 0;
      // A job that started during the poll owns the drive now: its change is
      // reported after it.
      if (ready != last && !stop.stop_requested() && !paused_()) {
        last = ready;
        raise();
      }
    }
    if (!clock.SleepFor(interval, stop)) break;
  }
}

}  // namespace zephrel
