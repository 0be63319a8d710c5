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
// BLANK, FORMAT UNIT and CLOSE TRACK/SESSION go with their immediate bit: the
// drive answers at once and the job waits for it on its own clock, where a
// cancel or the engine's shutdown can end the wait, instead of inside one
// command for as long as the drive erases or writes a lead-out.
constexpr std::uint8_t kBlankImmediate = 0x10;
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
  bool ok = Run(drive, mmc::Blank(static_cast<std::uint8_t>((erase_mode & 0x07) | kBlankImmediate)), &text);
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
  if (!drive.MmcFormatUnit().ok()) {
    events.BurningErrorViewDescription(kFormatFailed);
    success = false;
  }

  const std::vector<std::uint8_t> zeros(kFillBlock * platform::mmc::kSectorSize, 0);
  const DriveWait waits{&job.clock(), job.stop_token(), nullptr};
  bool long_write = false;
  for (std::uint32_t lba = 0; lba <= kFillLastAddress; lba += kFillBlock) {
    const ScsiResult written = drive.MmcWrite10(zeros, lba, kFillBlock, false, waits);
    if (LongWriteInProgress(written)) {
      long_write = true;
      break;
    }
    if (!written.ok()) {
      events.BurningErrorViewDescription(FailureText(written));
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
      if (const ScsiResult r = drive.MmcCloseTrackSession(true, mmc::kCloseFinalizeDvdRw, 0); !r.ok()) {
        events.BurningErrorViewDescription(FailureText(r));
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
  bool ok = drive.MmcFormatUnit().ok();
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
    drive.MmcSetWriteParameters(mmc::kDataBlockMode1, mmc::kWriteTypeTrackAtOnce, true, false, false);
  } else if (code == kMediaCdRw) {
    drive.MmcSetWriteParameters(mmc::kDataBlockMode1, mmc::kWriteTypeTrackAtOnce, true, true, false);
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
  const int sessions = drive.MmcGetSessionCount().value_or(0);
  const int last_track = drive.MmcGetLastTrackNumber().value_or(-1);
  drive.MmcSetWriteParameters(mmc::kDataBlockMode1, mmc::kWriteTypeTrackAtOnce, true, true, false);

  events.BurnerCloseTrack(code == kMediaDvdR ? sessions : last_track - 1);
  if (const std::optional<int> track = IncompleteTrack(drive)) {
    if (const ScsiResult r =
            drive.MmcCloseTrackSession(true, mmc::kCloseTrack, static_cast<std::uint16_t>(*track));
        !r.ok()) {
      fail(FailureText(r));
      return Release(drive, true);
    }
    if (const Readiness ready = WaitUntilReady(drive, job, kReadyAfterClose); !ready.ready()) {
      fail(ready.text);
      return Release(drive, true);
    }
  }
  events.BurnerCloseSession(1);
  if (const ScsiResult r = drive.MmcCloseTrackSession(true, mmc::kCloseSession, 0); !r.ok()) {
    fail(FailureText(r));
  } else if (const Readiness ready = WaitUntilReady(drive, job, kReadyAfterClose); !ready.ready()) {
    fail(ready.text);
  }
  drive.MmcPreventAllowRemoval(true);
  Release(drive, true);
}

}  // namespace zephrel
