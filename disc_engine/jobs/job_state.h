// The disc engine's process-wide job state: the flags that members and worker
// threads share (atomics), the single job slot, and the threads the engine
// owns. One disc job (burn, image build, erase, format, close, copy, rip) runs
// at a time per process.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "drive/drive_list.h"
#include "jobs/job_clock.h"
#include "platform/scsi.h"

namespace zephrel {

// What a job works with, copied when the job starts, so members called while
// it runs cannot change it under the job.
struct JobContext {
  int drive = -1;
  int source_drive = -1;
  std::shared_ptr<platform::ScsiDevice> device;         // the drive's device, kept alive by the job
  std::shared_ptr<platform::ScsiDevice> source_device;  // disc copy and image burn
  std::string image_path;
  int image_mode = 0;
  int priority = 0;  // 1 raises the job thread's priority
  int fifo_mib = 32;
  int eject_after_erase = 0;
};

// A cancel as a stop request as well as a flag: the flag for the loops that
// poll it, the token for waits that must end the moment it is set. Reset
// gives a fresh token for the next job.
class CancelSignal {
 public:
  std::stop_token Token() const {
    std::lock_guard lock(mutex_);
    return source_.get_token();
  }
  void Request(std::atomic<bool>& flag) {
    flag.store(true);
    std::lock_guard lock(mutex_);
    source_.request_stop();
  }
  void Reset(std::atomic<bool>& flag) {
    std::lock_guard lock(mutex_);
    flag.store(false);
    source_ = std::stop_source();
  }

 private:
  mutable std::mutex mutex_;
  std::stop_source source_;
};

// Flags polled across threads. Jobs read their settings from their JobContext;
// these are the live signals between members, jobs and the listener.
struct JobFlags {
  std::atomic<bool> busy{false};        // a long job runs; the listener pauses
  std::atomic<bool> cancel{false};      // CancelBurn
  std::atomic<bool> rip_cancel{false};  // CancelRip; also ends a disc copy
  std::atomic<int> job_drive{-1};
  std::atomic<int> source_drive{-1};
  // Settings members store for the next job.
  std::atomic<int> priority{0};
  std::atomic<int> fifo_mib{32};
  std::atomic<int> eject_after_erase{0};
  // The stop requests behind cancel and rip_cancel; set and cleared only
  // through the members below, which keep flag and request together.
  CancelSignal cancel_signal;
  CancelSignal rip_cancel_signal;

  void RequestCancel() { cancel_signal.Request(cancel); }
  void RequestRipCancel() { rip_cancel_signal.Request(rip_cancel); }
  void ResetCancels() {
    cancel_signal.Reset(cancel);
    rip_cancel_signal.Reset(rip_cancel);
  }
};

// Ownership of the single job slot. Release it before raising the job's end
// event, so that a client may start the next job from its handler; the
// destructor releases it too.
class JobTicket {
 public:
  explicit JobTicket(std::atomic<bool>& slot) : slot_(&slot) {}
  ~JobTicket() { Release(); }
  JobTicket(const JobTicket&) = delete;
  JobTicket& operator=(const JobTicket&) = delete;
  void Release() {
    if (slot_) slot_->store(false);
    slot_ = nullptr;
  }

 private:
  std::atomic<bool>* slot_;
};

// Marks the calling thread, for its lifetime, as a helper of the engine thread
// that started it (a burn's drive writer, whose job thread joins it). A client
// handler that calls UnloadCom on the helper does not wait for that engine
// thread, which is waiting for the helper: it is joined later, as the calling
// engine thread itself is.
class ScopedHelperThread {
 public:
  explicit ScopedHelperThread(std::thread::id owner);
  ~ScopedHelperThread();
  ScopedHelperThread(const ScopedHelperThread&) = delete;
  ScopedHelperThread& operator=(const ScopedHelperThread&) = delete;
};

// The threads of the engine. Every thread started here is joined by
// StopAndJoin, which is what UnloadCom and the engine's shutdown call.
class EngineThreads {
 public:
  ~EngineThreads();

  // Claims the job slot; null when another job holds it.
  std::unique_ptr<JobTicket> TryClaimJob();
  bool JobRunning() const { return job_slot_.load(); }

  // Runs body on a new thread; body must return when its stop token is set.
  // Refused (false) once StopAndJoin has begun until Reopen.
  bool Start(std::function<void(std::stop_token)> body);

  // Requests every thread to stop and joins them all, except the calling
  // thread itself when it is one of them (a handler running on a worker) and
  // the thread the caller is a helper of (see ScopedHelperThread).
  void StopAndJoin();
  // Accepts new threads again after StopAndJoin.
  void Reopen();

 private:
  void ReapFinished();  // caller holds mutex_

  struct Worker {
    std::jthread thread;
    std::shared_ptr<std::atomic<bool>> finished;
  };
  std::atomic<bool> job_slot_{false};
  std::mutex mutex_;
  std::vector<Worker> workers_;
  bool closed_ = false;
};

// The process-wide engine: the drive list and the job state beside it.
struct EngineState {
  DriveList drives;
  JobFlags flags;
  EngineThreads threads;
  std::mutex init_mutex;  // serialises Burner_Init and UnloadCom

  static EngineState& Instance();

  // The clock that jobs starting from now on take their time from: the
  // system's unless a test has put its own in place (null puts it back).
  std::shared_ptr<JobClock> Clock() const;
  void SetClockForTesting(std::shared_ptr<JobClock> clock);

 private:
  mutable std::mutex clock_mutex_;
  std::shared_ptr<JobClock> clock_;
};

}  // namespace zephrel
