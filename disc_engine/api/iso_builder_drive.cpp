// ISOBuilder's drive members: the media-change listener, the state of the
// medium in a drive, write speeds and tray actions.
#include <memory>

#include "api/engine_drives.h"
#include "burn/erase_jobs.h"
#include "drive/media.h"
#include "drive/mmc_drive.h"
#include "drive/session_tracks.h"
#include "jobs/job_runner.h"
#include "jobs/job_state.h"
#include "zephrel/iso_builder.h"

namespace zephrel {

using platform::HResult;
using platform::S_OK;

MmcDrive DriveFor(std::int32_t drive) {
  DriveList& drives = EngineState::Instance().drives;
  return MmcDrive(drives.Device(drive), &drives, drive);
}

MediaListener& EngineListener() {
  static MediaListener* listener = new MediaListener(  // lives to process exit, as the threads it runs on
      [](std::function<void(std::stop_token)> body) {
        return EngineState::Instance().threads.Start(std::move(body));
      },
      [](int drive) { return EngineState::Instance().drives.Device(drive); },
      [] {
        EngineState& engine = EngineState::Instance();
        return engine.flags.busy.load() || engine.threads.JobRunning();
      },
      [] { return EngineState::Instance().Clock(); });
  return *listener;
}

// ---------------------------------------------------------------------------
// Media-change listener

HResult ISOBuilder::Burner_ListenDrive(std::int32_t DriveNum) {
  EngineListener().Listen(DriveNum, [events = events_] { events->BurnerOnMediaChange(); });
  return S_OK;
}

HResult ISOBuilder::Burner_StopListenDrive() {
  EngineListener().Stop();
  return S_OK;
}

HResult ISOBuilder::Burner_PauseListener() { return S_OK; }

// ---------------------------------------------------------------------------
// The medium in a drive

HResult ISOBuilder::Burner_MediaIsEmpty(std::int32_t DriveNum, std::int32_t& pVal) {
  MmcDrive drive = DriveFor(DriveNum);
  const int code = drive.MmcGetMediaTypeCode();
  if (code == kMediaDvdPlusRw || code == kMediaBdRe) {
    // A formatted disc always reads as complete: empty is "holds no volume".
    pVal = drive.ReadIsoVolumeSize().value_or(0) == 0 ? 1 : 0;
  } else {
    pVal = code != kMediaNone && drive.MmcDiscIsBlank().value_or(false) ? 1 : 0;
  }
  return S_OK;
}

HResult ISOBuilder::Burner_MediaIsRW(std::int32_t DriveNum, std::int32_t& pVal) {
  pVal = DriveFor(DriveNum).MmcDiscIsErasable().value_or(false) ? 1 : 0;
  return S_OK;
}

HResult ISOBuilder::Burner_GetSessionCount(std::int32_t DriveNum, std::int32_t& pVal) {
  pVal = DriveFor(DriveNum).MmcGetSessionCount().value_or(0);
  return S_OK;
}

HResult ISOBuilder::Burner_DiskIsStillWritable(std::int32_t DriveNum, std::int32_t& pVal) {
  pVal = DriveFor(DriveNum).MmcDiscIsWritable().value_or(false) ? 1 : 0;
  return S_OK;
}

HResult ISOBuilder::Burner_GetStateLastSession(std::int32_t DriveNum, std::int32_t& pVal) {
  pVal = DriveFor(DriveNum).MmcGetLastSessionState().value_or(-1);
  return S_OK;
}

// The invisible track that ends an appendable disc is where the next session
// goes (the track of that number, whatever number the sessions have).
HResult ISOBuilder::Burner_NewSessionAdressStart(std::int32_t DriveIndex, std::int32_t& pVal) {
  MmcDrive drive = DriveFor(DriveIndex);
  pVal = static_cast<std::int32_t>(NewSessionStart(drive));
  return S_OK;
}

// ---------------------------------------------------------------------------
// Write speeds

// Asks the drive for each speed from the fastest a medium of its kind could
// take down to the slowest, and lists every distinct speed it then reports as
// its current one, fastest first. The drive is left at the last speed it
// accepted.
HResult ISOBuilder::Burner_SpeedWriteCount(std::int32_t DriveNum, std::int32_t& pVal) {
  DriveList& drives = EngineState::Instance().drives;
  MmcDrive drive = DriveFor(DriveNum);
  drives.ClearSpeeds(DriveNum);
  const int code = drive.MmcGetMediaTypeCode();
  if (code >= 1 && code <= 15) {
    for (int factor = 20; factor >= 2; --factor) drive.SetDvdWriteSpeed(factor);
  } else {
    for (int factor = 52; factor >= 1; --factor) drive.SetCdWriteSpeed(factor);
  }
  pVal = drives.SpeedCount(DriveNum);
  return S_OK;
}

// The divisor follows the medium in the drive now: a DVD-ROM (code 0) was
// probed in CD steps but is divided in DVD steps.
HResult ISOBuilder::Burner_GetSpeedWrite(std::int32_t DriveNum, std::int32_t index, std::int32_t& pVal) {
  const long speed = EngineState::Instance().drives.SpeedAt(DriveNum, index);
  const int code = DriveFor(DriveNum).MmcGetMediaTypeCode();
  pVal = static_cast<std::int32_t>(speed / (code >= 0 && code <= 15 ? kDvdSpeedStep : kCdSpeedStep));
  return S_OK;
}

HResult ISOBuilder::isRealBurnerDevice(std::int32_t DriveNum, std::int32_t& pVal) {
  pVal = EngineState::Instance().drives.Device(DriveNum) && DriveFor(DriveNum).MmcGetCurrentProfile() ? 1 : 0;
  return S_OK;
}

// ---------------------------------------------------------------------------
// Tray

HResult ISOBuilder::Burner_Eject(std::int32_t DriveNum) {
  DriveFor(DriveNum).MmcEject();
  return S_OK;
}

// Acts on the drive of the current or last job: the tray closes and opens
// again, so a disc left locked by a job can be taken out.
HResult ISOBuilder::Burner_AllowMedium(std::int32_t /*DriveNum*/) {
  MmcDrive drive = DriveFor(EngineState::Instance().flags.job_drive.load());
  drive.MmcAllowRemoval();
  drive.MmcLoadMedium();
  drive.MmcEjectMedium();
  return S_OK;
}

// ---------------------------------------------------------------------------
// Erase, format and closing

HResult ISOBuilder::Burner_EraseDisk(std::int32_t DriveNum, std::int32_t EraseMode) {
  StartJob(
      events_, JobEnd::kEraseComplete, DriveNum, [EraseMode](Job& job) { EraseOrFormat(job, EraseMode); },
      JobOptions{.writes_drive = true});
  return S_OK;
}

HResult ISOBuilder::Burner_CloseSession(std::int32_t /*DriveNum*/) { return S_OK; }

HResult ISOBuilder::Burner_CloseLastSession(std::int32_t DriveNum, std::int32_t& pVal) {
  pVal = StartJob(
             events_, JobEnd::kEndCloseSession, DriveNum, [](Job& job) { CloseLastSession(job); },
             JobOptions{.writes_drive = true})
             ? 1
             : 0;
  return S_OK;
}

}  // namespace zephrel
