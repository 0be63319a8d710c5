#include "jobs/job_runner.h"

#include <optional>
#include <string>
#include <utility>

#include "drive/mmc_drive.h"
#include "jobs/thread_priority.h"

namespace zephrel {
namespace {

constexpr const char* kShuttingDown = "The disc engine is shutting down";
// How much a job raises its own thread's priority when asked to.
constexpr int kJobPriorityBoost = -5;

void RaiseEnd(ISOBuilderEvents& events, JobEnd end, int drive, const JobOutcome& outcome) {
  switch (end) {
    case JobEnd::kEndBurn:
      events.BurnerOnEndBurn(outcome.mode_burn, outcome.canceled ? 1 : 0, outcome.failed ? 1 : 0);
      break;
    case JobEnd::kEraseComplete:
      events.BurnerOnEraseComplete(drive, outcome.failed ? 0 : 1);
      break;
    case JobEnd::kEndCloseSession:
      events.OnBurnerOnEndCloseSession(drive);
      break;
    case JobEnd::kEndRip:
      events.RipperOnEndRip();
      break;
  }
}

// A writing job's hold on its drive: this process alone has it and its tray
// stays locked until the hold goes, whatever ends the job.
class DriveHold {
 public:
  explicit DriveHold(std::shared_ptr<platform::ScsiDevice> device) : device_(std::move(device)) {}
  ~DriveHold() {
    if (!held_) return;
    MmcDrive(device_).MmcAllowRemoval();
    device_->ReleaseExclusive();
  }
  DriveHold(const DriveHold&) = delete;
  DriveHold& operator=(const DriveHold&) = delete;

  // False, with the text for the user in *text, when the drive cannot be held.
  bool Take(std::string* text) {
    std::string why;
    switch (device_->HoldExclusive(&why)) {
      case platform::HoldResult::kHeld:
        break;
      case platform::HoldResult::kInUse:
        *text = kDriveInUse;
        return false;
      case platform::HoldResult::kFailed:
        *text = "The drive cannot be opened for writing (" + why + "). Nothing was written.";
        return false;
    }
    held_ = true;
    MmcDrive(device_).MmcPreventAllowRemoval(true);
    return true;
  }

 private:
  std::shared_ptr<platform::ScsiDevice> device_;
  bool held_ = false;
};

// The job thread: the body at the priority asked for, then the end in the
// order every job keeps.
void RunJob(Job& job, const JobBody& body, JobEnd end, const JobOptions& options,
            std::shared_ptr<JobTicket> ticket) {
  {
    std::optional<ScopedThreadPriority> priority;
    if (job.context().priority == 1) priority.emplace(kJobPriorityBoost);
    try {
      std::optional<DriveHold> hold;
      std::string refusal;
      if (options.writes_drive && job.context().device) hold.emplace(job.context().device);
      if (hold && !hold->Take(&refusal)) {
        job.events().BurningErrorViewDescription(refusal);
        job.outcome().mode_burn = options.mode_burn;
      } else {
        body(job);
      }
    } catch (...) {
      job.outcome().failed = true;  // nothing leaves the job thread
    }
  }
  EngineState::Instance().flags.busy.store(false);
  ticket->Release();  // before the end event: its handler may start the next job
  RaiseEnd(job.events(), end, job.context().drive, job.outcome());
}

}  // namespace

void RefuseJob(ISOBuilderEvents& events, const std::string& reason, int drive, JobEnd end) {
  events.BurningErrorViewDescription(reason);
  if (end == JobEnd::kEraseComplete) events.BurnerOnEraseComplete(drive, 0);
}

bool StartJob(const std::shared_ptr<ISOBuilderEvents>& events, JobEnd end, int drive, JobSetup setup,
              JobOptions options) {
  EngineState& engine = EngineState::Instance();
  if (drive != kNoDrive && !engine.drives.Record(drive)) {
    RefuseJob(*events, NoSuchDrive(drive), drive, end);
    return false;
  }
  std::shared_ptr<JobTicket> ticket = engine.threads.TryClaimJob();
  if (!ticket) {
    RefuseJob(*events, kJobRunning, drive, end);
    return false;
  }

  JobContext context;
  context.drive = drive;
  if (drive != kNoDrive) {
    // What the job does to the medium is not told by the drive: a look taken
    // before it is of another medium.
    engine.drives.MediumMayHaveChanged(drive);
    context.device = engine.drives.Device(drive);
  }
  context.priority = options.priority_applies ? engine.flags.priority.load() : 0;
  context.fifo_mib = engine.flags.fifo_mib.load();
  context.eject_after_erase = engine.flags.eject_after_erase.load();
  std::shared_ptr<JobClock> clock = engine.Clock();
  JobBody body = setup();

  engine.flags.ResetCancels();
  const std::stop_token cancel = options.cancelled_by_rip || end == JobEnd::kEndRip
                                     ? engine.flags.rip_cancel_signal.Token()
                                     : engine.flags.cancel_signal.Token();
  engine.flags.busy.store(true);
  if (drive != kNoDrive) engine.flags.job_drive.store(drive);
  const bool started =
      engine.threads.Start([events, end, ticket, cancel, options, context = std::move(context),
                            clock = std::move(clock), body = std::move(body)](std::stop_token stop) mutable {
        Job job(std::move(context), std::move(events), std::move(clock), stop, cancel);
        RunJob(job, body, end, options, std::move(ticket));
      });
  if (!started) {
    engine.flags.busy.store(false);
    ticket->Release();
    RefuseJob(*events, kShuttingDown, drive, end);
  }
  return started;
}

bool StartJob(const std::shared_ptr<ISOBuilderEvents>& events, JobEnd end, int drive, JobBody body,
              JobOptions options) {
  return StartJob(events, end, drive,
                  JobSetup([body = std::move(body)]() mutable { return std::move(body); }), options);
}

}  // namespace zephrel
