#include "burn/erase_jobs.h"

#include <optional>
#include <string>
#include <vector>

#include "burn/readiness_wait.h"
#include "drive/drive_commands.h"

namespace zephrel {
namespace {

using platform::DataDirection;
using platform::ScsiDevice;
using platform::ScsiResult;

constexpr const char* kFormatFailed = "Error while formating the media...";
constexpr const char* kNoDevice = "The drive is not available";
// The zero fill: 32 sectors at a time from sector 0 while the address stays at
// most 2048, so sectors 0 to 2079.
constexpr std::uint32_t kFillBlock = 32;
constexpr std::uint32_t kFillLastAddress = 2048;
// A write that fails for another reason than a long write in progress is sent
// again this many times, 1 ms apart.
constexpr int kWriteRetries = 50;

void Prevent(ScsiDevice& device, bool prevent) { Send(device, mmc::PreventAllowMediumRemoval(prevent)); }

// Medium removal allowed again, and the tray opened when asked.
void Release(ScsiDevice& device, bool eject) {
  Prevent(device, false);
  Prevent(device, false);
  if (eject) Send(device, mmc::Eject());
}

enum class FillWrite { kWritten, kLongWrite, kFailed };

FillWrite WriteZeros(ScsiDevice& device, Job& job, std::uint32_t lba, std::vector<std::uint8_t>& zeros,
                     std::string* text) {
  const mmc::Cdb cdb = mmc::Write10(lba, kFillBlock);
  for (int attempt = 0;; ++attempt) {
    const ScsiResult r = Send(device, cdb, DataDirection::kOut, zeros);
    if (r.ok()) return FillWrite::kWritten;
    if (r.sense.valid && r.sense.asc == 0x04 && r.sense.ascq == 0x08) return FillWrite::kLongWrite;
    // After a unit attention the disc may be another one; without a medium
    // no attempt can succeed.
    const bool final = attempt >= kWriteRetries || MediumAbsent(r) || (r.sense.valid && r.sense.key == 0x06);
    if (final || !job.SleepFor(std::chrono::milliseconds(1))) {
      *text = FailureText(r);
      return FillWrite::kFailed;
    }
  }
}

bool Erase(ScsiDevice& device, Job& job, int erase_mode) {
  ISOBuilderEvents& events = job.events();
  Prevent(device, true);
  const ScsiResult r = Send(device, mmc::Blank(static_cast<std::uint8_t>(erase_mode & 0x07)));
  bool ok = r.ok();
  if (!ok) {
    events.BurningErrorViewDescription(FailureText(r));
  } else if (const Readiness ready = WaitUntilReady(device, job, kReadyOtherwise); !ready.ready()) {
    events.BurningErrorViewDescription(ready.text);
    ok = false;
  }
  Release(device, job.context().eject_after_erase == 1);
  return ok;
}

bool Format(ScsiDevice& device, Job& job) {
  ISOBuilderEvents& events = job.events();
  Prevent(device, true);
  bool success = true;
  const std::optional<FormattableCapacity> capacity = ReadFormattableCapacity(device);
  std::array<std::uint8_t, 12> list{};
  ScsiResult formatted;
  if (capacity) {
    list = mmc::FormatParameterList(capacity->blocks, capacity->format_byte);
    formatted = Send(device, mmc::FormatUnit(), DataDirection::kOut, list);
  }
  if (!capacity || !formatted.ok()) {
    events.BurningErrorViewDescription(kFormatFailed);
    success = false;
  }

  std::vector<std::uint8_t> zeros(kFillBlock * platform::mmc::kSectorSize, 0);
  bool long_write = false;
  for (std::uint32_t lba = 0; lba <= kFillLastAddress; lba += kFillBlock) {
    std::string text;
    const FillWrite written = WriteZeros(device, job, lba, zeros, &text);
    if (written == FillWrite::kLongWrite) {
      long_write = true;
      break;
    }
    if (written == FillWrite::kFailed) {
      events.BurningErrorViewDescription(text);
      success = false;
      break;
    }
  }

  Readiness ready = WaitUntilReady(device, job, kReadyOtherwise);
  if (ready.ready()) {
    const ScsiResult synced = Send(device, mmc::SynchronizeCache());
    if (!synced.ok()) {
      events.BurningErrorViewDescription(FailureText(synced));
      success = false;
    } else if (!long_write) {
      const ScsiResult closed = Send(device, mmc::CloseTrackSession(mmc::kCloseFinalizeDvdRw, 0));
      if (!closed.ok()) {
        events.BurningErrorViewDescription(FailureText(closed));
        success = false;
      } else {
        ready = WaitUntilReady(device, job, kReadyAfterClose);
      }
    }
  }
  if (!ready.ready()) {
    events.BurningErrorViewDescription(ready.text);
    success = false;
  }
  Release(device, job.context().eject_after_erase == 1);
  return success;
}

// The last track of the last session that is recorded in part and still
// open, if there is one (the track after it may be the invisible one).
std::optional<int> IncompleteTrack(ScsiDevice& device, const DiscInformation& disc) {
  for (int track = disc.last_track_last_session; track >= disc.first_track_last_session && track >= 1;
       --track) {
    const std::optional<TrackInformation> info = ReadTrackInformation(device, track);
    if (info && info->incomplete()) return track;
  }
  return std::nullopt;
}

}  // namespace

void EraseOrFormat(Job& job, int erase_mode) {
  if (!job.context().device) {
    job.events().BurningErrorViewDescription(kNoDevice);
    return;
  }
  ScsiDevice& device = *job.context().device;
  const std::optional<std::uint16_t> profile = CurrentProfile(device);
  const bool plus_rw = profile == mmc::kProfileDvdPlusRw;
  if (plus_rw || profile == mmc::kProfileDvdRwRestricted || profile == mmc::kProfileDvdRwSequential) {
    SetWriteParameters(device, {});
  } else if (profile == mmc::kProfileCdRw) {
    SetWriteParameters(device, {.multisession = true});
  }
  job.outcome().failed = !(plus_rw ? Format(device, job) : Erase(device, job, erase_mode));
}

void CloseLastSession(Job& job) {
  ISOBuilderEvents& events = job.events();
  auto fail = [&](const std::string& text) {
    events.BurningErrorViewDescription(text);
    events.BurnerOnError(kCloseFailed);
  };
  if (!job.context().device) return fail(kNoDevice);
  ScsiDevice& device = *job.context().device;
  const std::optional<std::uint16_t> profile = CurrentProfile(device);
  ScsiResult r;
  const std::optional<DiscInformation> disc = ReadDiscInformation(device, &r);
  if (!disc) return fail(FailureText(r));
  const int sessions = disc->sessions - (disc->last_session_state == 0 ? 1 : 0);
  const int last_track = disc->last_track_last_session;
  SetWriteParameters(device, {.multisession = true});

  events.BurnerCloseTrack(profile == mmc::kProfileDvdR ? sessions : last_track - 1);
  bool ok = true;
  if (const std::optional<int> track = IncompleteTrack(device, *disc)) {
    r = Send(device, mmc::CloseTrackSession(mmc::kCloseTrack, static_cast<std::uint16_t>(*track)));
    if (!r.ok()) {
      fail(FailureText(r));
      ok = false;
    } else if (const Readiness ready = WaitUntilReady(device, job, kReadyAfterClose); !ready.ready()) {
      fail(ready.text);
      ok = false;
    }
  }
  if (ok) {
    events.BurnerCloseSession(1);
    r = Send(device, mmc::CloseTrackSession(mmc::kCloseSession, 0));
    if (!r.ok()) {
      fail(FailureText(r));
    } else if (const Readiness ready = WaitUntilReady(device, job, kReadyAfterClose); !ready.ready()) {
      fail(ready.text);
    }
  }
  Prevent(device, true);
  Release(device, true);
}

}  // namespace zephrel
