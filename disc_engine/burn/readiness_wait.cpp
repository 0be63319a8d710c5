#include "burn/readiness_wait.h"

namespace zephrel {

Readiness WaitUntilReady(MmcDrive& drive, Job& job, JobClock::Duration cap) {
  platform::ScsiResult last;
  bool gone = false;
  const bool answered = job.PollUntil(cap, kReadyPoll, [&] {
    // Any good answer will do: the drive is taking commands again.
    last = drive.MmcGetCdMediaCode();
    gone = !last.ok() && last.sense.valid && last.sense.asc == platform::mmc::kAscMediumNotPresent;
    return last.ok() || gone;
  });
  Readiness readiness;
  if (answered && !gone) return readiness;
  if (gone) {
    readiness.outcome = Readiness::kNoMedium;
    readiness.text = FailureText(last);
  } else if (job.Cancelled() && !job.stop_token().stop_requested()) {
    readiness.outcome = Readiness::kCancelled;
    readiness.text = kCancelledWhileDriveBusy;
  } else if (job.stop_token().stop_requested()) {
    readiness.outcome = Readiness::kStopped;
    readiness.text = "The disc engine is shutting down";
  } else {
    readiness.outcome = Readiness::kTimedOut;
    readiness.text = "The drive did not become ready: " + FailureText(last);
  }
  return readiness;
}

}  // namespace zephrel
