// The media-change listener: one drive polled with TEST UNIT READY once an
// interval; every change between ready and not ready (and the first answer)
// is reported, and so is a medium changed between two polls that both found
// one ready (the drive's unit attention tells it). At most one listener polls at a time: starting one retires
// the one before it.
//
// Each listener runs on an engine thread with a stop source of its own, and
// waits between polls in a wait that a stop ends at once. Neither Listen nor
// Stop waits for a thread: a retired listener may be inside the client's event
// handler (on the client's own thread, under a UI dispatcher), so it ends by
// itself when that handler returns, and the engine's threads are joined where
// the engine shuts down (UnloadCom). A retired listener raises nothing more
// after Stop or Listen has returned, apart from an event already being raised.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>

#include "jobs/job_clock.h"
#include "platform/scsi.h"

namespace zephrel {

class MediaListener {
 public:
  // Runs body on a thread the caller joins; false when no thread can start.
  using StartThread = std::function<bool(std::function<void(std::stop_token)> body)>;
  // The device of a drive number, null when there is none.
  using DeviceOf = std::function<std::shared_ptr<platform::ScsiDevice>(int drive)>;
  // True while a disc job runs: the listener neither polls nor reports then,
  // and reports a change made meanwhile at its first poll afterwards.
  using Paused = std::function<bool()>;

  // The clock of the listeners started from now on.
  using ClockSource = std::function<std::shared_ptr<JobClock>()>;

  MediaListener(StartThread start, DeviceOf device, Paused paused, ClockSource clock);
  MediaListener(const MediaListener&) = delete;
  MediaListener& operator=(const MediaListener&) = delete;

  // Retires the running listener and starts one on drive, which reports
  // through raise (called on the listener's thread). A negative drive gives a
  // listener that never polls. False when the thread could not start.
  bool Listen(int drive, std::function<void()> raise);
  // Retires the running listener; the listened drive becomes -1.
  void Stop();

  int ListenedDrive() const { return listened_.load(); }
  // Listener loops that are running (retired ones included until they end).
  int LiveLoops() const { return live_.load(); }

  // The poll interval of listeners started from now on (1000 ms at first).
  void SetInterval(std::chrono::milliseconds interval);

 private:
  void Loop(std::stop_token stop, int drive, const std::function<void()>& raise, JobClock& clock,
            std::chrono::milliseconds interval);

  StartThread start_;
  DeviceOf device_;
  Paused paused_;
  ClockSource clock_;
  std::mutex mutex_;
  std::stop_source current_;  // of the listener that runs now
  std::chrono::milliseconds interval_{1000};
  std::atomic<int> listened_{-1};
  std::atomic<int> live_{0};
};

}  // namespace zephrel
