// The one way a disc job starts. StartJob claims the engine's single job slot,
// copies the job's settings, marks the engine busy, and runs the job's body on
// an engine thread; when the body returns (or throws) it clears the busy flag,
// releases the slot and only then raises the job's one end event, so every job
// ends exactly once, with its end event last and the slot free when a handler
// of that event starts the next job. A job that cannot start is refused with a
// text and no end event (an erase also gets its erase end, which a client
// waits for), so a refusal never reads as the end of the job that is running.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

#include "jobs/job_clock.h"
#include "jobs/job_state.h"
#include "zephrel/iso_builder_events.h"

namespace zephrel {

// A job that uses no drive (an image build, an audio image).
constexpr int kNoDrive = -0x7FFFFFFF;

// The end event a job raises.
enum class JobEnd {
  kEndBurn,          // BurnerOnEndBurn(mode_burn, canceled, failed)
  kEraseComplete,    // BurnerOnEraseComplete(drive, 1 on success, else 0)
  kEndCloseSession,  // OnBurnerOnEndCloseSession(drive)
  kEndRip,           // RipperOnEndRip()
};

// What the end event reports; the body fills it in. A body that returns
// without saying otherwise, or throws, has failed.
struct JobOutcome {
  std::int32_t mode_burn = 0;
  bool canceled = false;
  bool failed = true;
};

// A running job, as its body sees it. Lives on the job thread for the body's
// duration.
class Job {
 public:
  // cancel is the job's cancel request (CancelBurn, or CancelRip for rips and
  // copies); every wait of the job ends on it as on stop.
  Job(JobContext context, std::shared_ptr<ISOBuilderEvents> events, std::shared_ptr<JobClock> clock,
      std::stop_token stop, std::stop_token cancel = {})
      : context_(std::move(context)),
        events_(std::move(events)),
        clock_(std::move(clock)),
        stop_(stop),
        cancel_(cancel),
        stop_forward_(stop, ForwardStop{&waits_}),
        cancel_forward_(cancel, ForwardStop{&waits_}) {}
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;

  const JobContext& context() const { return context_; }
  // The events of the object whose member started the job. The body never
  // raises the end event itself: the runner does, from outcome().
  ISOBuilderEvents& events() { return *events_; }
  JobOutcome& outcome() { return outcome_; }
  // Set when the engine shuts down (UnloadCom): the body should return soon.
  std::stop_token stop_token() const { return stop_; }
  // Set when the client cancelled the job.
  bool Cancelled() const { return cancel_.stop_requested(); }
  // Set on a stop or a cancel: what the job's waits end on.
  std::stop_token wait_token() const { return waits_.get_token(); }

  // Time for waits, polls and back-offs (a test's clock when one is set).
  JobClock& clock() { return *clock_; }
  // Waits; false when the engine asked the job to stop or the job was
  // cancelled.
  bool SleepFor(JobClock::Duration duration) { return clock_->SleepFor(duration, wait_token()); }
  // PollUntil on the job's clock, ending on a stop or a cancel.
  bool PollUntil(JobClock::Duration timeout, JobClock::Duration interval, const std::function<bool()>& done) {
    return zephrel::PollUntil(*clock_, wait_token(), timeout, interval, done);
  }

 private:
  struct ForwardStop {
    std::stop_source* to;
    void operator()() const { to->request_stop(); }
  };

  JobContext context_;
  std::shared_ptr<ISOBuilderEvents> events_;
  std::shared_ptr<JobClock> clock_;
  std::stop_token stop_;
  std::stop_token cancel_;
  std::stop_source waits_;  // declared before the callbacks that request it
  std::stop_callback<ForwardStop> stop_forward_;
  std::stop_callback<ForwardStop> cancel_forward_;
  JobOutcome outcome_;
};

using JobBody = std::function<void(Job&)>;
// Runs on the calling thread once the slot is held, before the job thread
// starts, and returns the body; for what must be copied from the caller's
// state only when the job really starts (the project tree, for example).
using JobSetup = std::function<JobBody()>;

struct JobOptions {
  // The priority flag (SetPriorityThread 1) raises this job's thread.
  bool priority_applies = false;
  // CancelRip cancels the job rather than CancelBurn (always so for a rip).
  bool cancelled_by_rip = false;
};

// Starts a job on drive (kNoDrive: none) that raises events on events and ends
// with end. Returns whether it started; when it did not, the refusal has been
// reported: "There is no drive number <d>", "Another disc job is running" or
// "The disc engine is shutting down".
bool StartJob(const std::shared_ptr<ISOBuilderEvents>& events, JobEnd end, int drive, JobBody body,
              JobOptions options = {});
bool StartJob(const std::shared_ptr<ISOBuilderEvents>& events, JobEnd end, int drive, JobSetup setup,
              JobOptions options = {});

// The refusals of a job that cannot start.
inline constexpr const char* kJobRunning = "Another disc job is running";
// What a job on a drive tells when the drive's device is not there.
inline constexpr const char* kNoDevice = "The drive is not available";
inline std::string NoSuchDrive(int drive) { return "There is no drive number " + std::to_string(drive); }

// Reports a job that cannot start, as StartJob does.
void RefuseJob(ISOBuilderEvents& events, const std::string& reason, int drive, JobEnd end);

}  // namespace zephrel
