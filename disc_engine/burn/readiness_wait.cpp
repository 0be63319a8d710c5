#include "burn/readiness_wait.h"

#include "drive/drive_commands.h"

namespace zephrel {

Readiness WaitUntilReady(platform::ScsiDevice& device, Job& job, JobClock::Duration cap) {
  platform::ScsiResult last;
  bool answered = false;
  bool gone = false;
  const bool ended = job.PollUntil(cap, kReadyPoll, [&] {
    // Any good answer will do: the drive is taking commands again.
    ReadDiscInformation(device, &last);
    answered = last.ok();
    gone = !answered && MediumAbsent(last);
    return answered || gone;
  });
  Readiness readiness;
  if (answered) return readiness;
  if (gone) {
    readiness.outcome = Readiness::kNoMedium;
    readiness.text = FailureText(last);
  } else if (!ended && job.stop_token().stop_requested()) {
    readiness.outcome = Readiness::kStopped;
    readiness.text = "The disc engine is shutting down";
  } else {
    readiness.outcome = Readiness::kTimedOut;
    readiness.text = "The drive did not become ready: " + FailureText(last);
  }
  return readiness;
}

}  // namespace zephrel
