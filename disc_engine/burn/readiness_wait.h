// Waiting for a drive to finish an operation it carries on with after it has
// answered (a blank, a format, a close, the flush of its cache). The drive is
// asked with READ DISC INFORMATION once an interval until it answers; the wait
// is capped, and it ends at once when the medium has gone (ASC 3Ah), since no
// answer will ever come then, and when the job is cancelled or stopped.
#pragma once

#include <chrono>
#include <string>

#include "drive/mmc_drive.h"
#include "jobs/job_runner.h"

namespace zephrel {

// After a close the drive may write a lead-out for many minutes.
inline constexpr std::chrono::minutes kReadyAfterClose{15};
inline constexpr std::chrono::minutes kReadyOtherwise{5};
inline constexpr std::chrono::milliseconds kReadyPoll{1000};

struct Readiness {
  enum Outcome { kReady, kNoMedium, kTimedOut, kStopped, kCancelled } outcome = kReady;
  std::string text;  // why the drive is not ready, for the user; empty when ready

  bool ready() const { return outcome == kReady; }
};

// What a job cancelled while the drive finishes tells the user.
inline constexpr const char* kCancelledWhileDriveBusy =
    "Cancelled while the drive was still finishing the disc: it may go on writing for some minutes.";

// Asks the drive until it answers, for at most cap, on the job's clock.
Readiness WaitUntilReady(MmcDrive& drive, Job& job, JobClock::Duration cap);

}  // namespace zephrel
