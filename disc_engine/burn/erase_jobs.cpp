#include "burn/erase_jobs.h"

#include <optional>
#include <string>
#include <vector>

#include "burn/readiness_wait.h"
#include "drive/media.h"
#include "drive/mmc_drive.h"
#include "drive/session_tracks.h"

namespace zephrel {
namespace {

using platform::DataDirection;
using platform::ScsiResult;

constexpr const char* kFormatFailed = "Error while formating the media...";
// The zero fill: 32 sectors at a time from sector 0 while the address stays at
// most 2048, so sectors 0 to 2079.
constexpr std::uint32_t kFillBlock = 32;
constexpr std::uint32_t kFillLastAddress = 2048;

// Medium removal allowed again, and the tray opened when asked.
void Release(MmcDrive& drive, bool eject) {
  drive.MmcPreventAllowRemoval(false);
  drive.MmcPreventAllowRemoval(false);
  if (eject) drive.MmcEjectMedium();
}

// A command without data, its failure's text in *text.
bool Run(MmcDrive& drive, const mmc::Cdb& cdb, std::string* text) {
  const ScsiResult r = drive.Send(cdb, DataDirection::kNone);
  if (!r.ok()) *text = FailureText(r);
  return r.ok();
}

bool Erase(MmcDrive& drive, Job& job, int erase_mode) {
  ISOBuilderEvents& events = job.events();
  drive.MmcPreventAllowRemoval(true);
  std::string text;
  bool ok = Run(drive, mmc::Blank(static_cast<std::uint8_t>(erase_mode & 0x07)), &text);
  if (!ok) {
    events.BurningErrorViewDescription(text);
  } else if (const Readiness ready = WaitUntilReady(drive, job, kReadyOtherwise); !ready.ready()) {
    events.BurningErrorViewDescription(ready.text);
    ok = false;
  }
  Release(drive, job.context().eject_after_erase == 1);
  return ok;
}

bool Format(MmcDrive& drive, Job& job) {
  ISOBuilderEvents& events = job.events();
  drive.MmcPreventAllowRemoval(true);
  bool success = true;
  if (drive.MmcFormatUnit() != 1) {
    events.BurningErrorViewDescription(kFormatFailed);
    success = false;
  }

  const std::vector<std::uint8_t> zeros(kFillBlock * platform::mmc::kSectorSize, 0);
  const DriveWait waits{&job.clock(), job.stop_token(), nullptr};
  bool long_write = false;
  for (std::uint32_t lba = 0; lba <= kFillLastAddress; lba += kFillBlock) {
    std::string text;
    const int written = drive.MmcWrite10(zeros, lba, kFillBlock, &text, false, waits);
    if (written == kWriteInProgress) {
      long_write = true;
      break;
    }
    if (written != 1) {
      events.BurningErrorViewDescription(text);
      success = false;
      break;
    }
  }

  Readiness ready = WaitUntilReady(drive, job, kReadyOtherwise);
  if (ready.ready()) {
    std::string text;
    if (!Run(drive, mmc::SynchronizeCache(), &text)) {
      events.BurningErrorViewDescription(text);
      success = false;
    } else if (!long_write) {
      if (drive.MmcCloseTrackSession(false, mmc::kCloseFinalizeDvdRw, 0, &text) != 1) {
        events.BurningErrorViewDescription(text);
        success = false;
      } else {
        ready = WaitUntilReady(drive, job, kReadyAfterClose);
      }
    }
  }
  if (!ready.ready()) {
    events.BurningErrorViewDescription(ready.text);
    success = false;
  }
  Release(drive, job.context().eject_after_erase == 1);
  return success;
}

// A BD-RE or DVD-RAM is emptied by formatting it again, whether it was
// formatted before or not.
bool FormatWhole(MmcDrive& drive, Job& job) {
  ISOBuilderEvents& events = job.events();
  drive.MmcPreventAllowRemoval(true);
  bool ok = drive.MmcFormatUnit() == 1;
  if (!ok) {
    events.BurningErrorViewDescription(kFormatFailed);
  } else if (const Readiness ready = WaitUntilReady(drive, job, kReadyOtherwise); !ready.ready()) {
    events.BurningErrorViewDescription(ready.text);
    ok = false;
  }
  Release(drive, job.context().eject_after_erase == 1);
  return ok;
}

}  // namespace

void EraseOrFormat(Job& job, int erase_mode) {
  if (!job.context().device) {
    job.events().BurningErrorViewDescription(kNoDevice);
    return;
  }
  MmcDrive drive(job.context().device);
  const int code = drive.MmcGetMediaTypeCode();
  if (code == kMediaDvdRw || code == kMediaDvdPlusRw) {
    drive.MmcSetWriteParameters(8, 1, true, false, false);
  } else if (code == kMediaCdRw) {
    drive.MmcSetWriteParameters(8, 1, true, true, false);
  }
  switch (code) {
    case kMediaDvdPlusRw:
      job.outcome().failed = !Format(drive, job);
      break;
    case kMediaCdRw:
    case kMediaDvdRw:
      job.outcome().failed = !Erase(drive, job, erase_mode);
      break;
    case kMediaBdRe:
    case kMediaDvdRam:
      job.outcome().failed = !FormatWhole(drive, job);
      break;
    default:
      // BLANK would only bring back the drive's refusal of the command.
      job.events().BurningErrorViewDescription(kNotRewritable);
      job.outcome().failed = true;
      break;
  }
}

void CloseLastSession(Job& job) {
  ISOBuilderEvents& events = job.events();
  auto fail = [&](const std::string& text) {
    events.BurningErrorViewDescription(text);
    events.BurnerOnError(kCloseFailed);
  };
  if (!job.context().device) return fail(kNoDevice);
  MmcDrive drive(job.context().device);
  const int code = drive.MmcGetMediaTypeCode();
  const int sessions = drive.MmcGetSessionCount();
  const int last_track = drive.MmcGetLastTrackNumber();
  drive.MmcSetWriteParameters(8, 1, true, true, false);

  events.BurnerCloseTrack(code == kMediaDvdR ? sessions : last_track - 1);
  std::string text;
  if (const std::optional<int> track = IncompleteTrack(drive)) {
    if (drive.MmcCloseTrackSession(false, mmc::kCloseTrack, static_cast<std::uint16_t>(*track), &text) != 1) {
      fail(text);
      return Release(drive, true);
    }
    if (const Readiness ready = WaitUntilReady(drive, job, kReadyAfterClose); !ready.ready()) {
      fail(ready.text);
      return Release(drive, true);
    }
  }
  events.BurnerCloseSession(1);
  if (drive.MmcCloseTrackSession(false, mmc::kCloseSession, 0, &text) != 1) {
    fail(text);
  } else if (const Readiness ready = WaitUntilReady(drive, job, kReadyAfterClose); !ready.ready()) {
    fail(ready.text);
  }
  drive.MmcPreventAllowRemoval(true);
  Release(drive, true);
}

}  // namespace zephrel
