// ISOBuilder's drive members: the media-change listener, the state of the
// medium in a drive, write speeds and tray actions.
#include <memory>

#include "api/engine_listener.h"
#include "burn/erase_jobs.h"
#include "drive/drive_commands.h"
#include "jobs/job_runner.h"
#include "jobs/job_state.h"
#include "zephrel/iso_builder.h"

namespace zephrel {

using platform::HResult;
using platform::S_OK;

namespace {

std::shared_ptr<platform::ScsiDevice> DeviceOf(int drive) {
  return EngineState::Instance().drives.Device(drive);
}

std::optional<DiscInformation> DiscOf(int drive) {
  const std::shared_ptr<platform::ScsiDevice> device = DeviceOf(drive);
  return device ? ReadDiscInformation(*device) : std::nullopt;
}

// The profiles that have a media-type code (every other one reads as no
// medium).
bool ProfileIsKnown(std::uint16_t profile) {
  switch (profile) {
    case mmc::kProfileCdRom:
    case mmc::kProfileCdR:
    case mmc::kProfileCdRw:
    case mmc::kProfileDvdRom:
    case mmc::kProfileDvdR:
    case mmc::kProfileDvdRam:
    case mmc::kProfileDvdRwRestricted:
    case mmc::kProfileDvdRwSequential:
    case mmc::kProfileDvdPlusRw:
    case mmc::kProfileDvdPlusR:
    case mmc::kProfileDvdPlusRwDl:
    case mmc::kProfileDvdPlusRDl:
    case mmc::kProfileBdRSrm:
    case mmc::kProfileBdRRrm:
    case mmc::kProfileBdRe:
    case mmc::kProfileHdDvdRom:
    case mmc::kProfileHdDvdR:
    case mmc::kProfileHdDvdRam:
      return true;
    default:
      return false;
  }
}

// Media-type codes 0 to 15 are the DVD family, whose speed steps are 1385
// kB/s; the others step in CD units of 176 kB/s.
constexpr long kDvdSpeedStep = 1385;
constexpr long kCdSpeedStep = 176;
bool DvdSpeedFamily(std::int32_t code) { return code >= 0 && code <= 15; }

}  // namespace

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
  pVal = 0;
  const std::shared_ptr<platform::ScsiDevice> device = DeviceOf(DriveNum);
  if (!device) return S_OK;
  const std::optional<std::uint16_t> profile = CurrentProfile(*device);
  if (!profile || !ProfileIsKnown(*profile)) return S_OK;
  if (*profile == mmc::kProfileDvdPlusRw || *profile == mmc::kProfileBdRe) {
    // A formatted disc always reads as complete: empty is "holds no volume".
    pVal = ReadIsoVolumeSize(*device) == 0 ? 1 : 0;
    return S_OK;
  }
  const std::optional<DiscInformation> disc = ReadDiscInformation(*device);
  pVal = disc && disc->disc_status == 0 ? 1 : 0;
  return S_OK;
}

HResult ISOBuilder::Burner_MediaIsRW(std::int32_t DriveNum, std::int32_t& pVal) {
  const std::optional<DiscInformation> disc = DiscOf(DriveNum);
  pVal = disc && disc->erasable ? 1 : 0;
  return S_OK;
}

HResult ISOBuilder::Burner_GetSessionCount(std::int32_t DriveNum, std::int32_t& pVal) {
  const std::optional<DiscInformation> disc = DiscOf(DriveNum);
  // An empty last session is the one a new recording would open.
  pVal = disc ? disc->sessions - (disc->last_session_state == 0 ? 1 : 0) : 0;
  return S_OK;
}

HResult ISOBuilder::Burner_DiskIsStillWritable(std::int32_t DriveNum, std::int32_t& pVal) {
  const std::optional<DiscInformation> disc = DiscOf(DriveNum);
  pVal = disc && disc->disc_status != 2 ? 1 : 0;
  return S_OK;
}

HResult ISOBuilder::Burner_GetStateLastSession(std::int32_t DriveNum, std::int32_t& pVal) {
  const std::optional<DiscInformation> disc = DiscOf(DriveNum);
  pVal = disc ? disc->last_session_state : -1;
  return S_OK;
}

// Where a new session would start: the invisible track that ends the disc
// (the last track of the last session), or the next writable address of an
// incomplete one. 0 when the disc takes no more.
HResult ISOBuilder::Burner_NewSessionAdressStart(std::int32_t DriveIndex, std::int32_t& pVal) {
  pVal = 0;
  const std::shared_ptr<platform::ScsiDevice> device = DeviceOf(DriveIndex);
  if (!device) return S_OK;
  const std::optional<DiscInformation> disc = ReadDiscInformation(*device);
  if (!disc || disc->disc_status == 2) return S_OK;
  const std::optional<TrackInformation> track = ReadTrackInformation(*device, disc->last_track_last_session);
  if (!track) return S_OK;
  if (track->blank) {
    pVal = static_cast<std::int32_t>(track->start);
  } else if (track->next_writable_valid) {
    pVal = static_cast<std::int32_t>(track->next_writable);
  }
  return S_OK;
}

// ---------------------------------------------------------------------------
// Write speeds

// Asks the drive for each speed from the fastest a medium of its kind could
// take down to the slowest, and lists every distinct speed it then reports as
// its current one. The drive is left at the last speed it accepted.
HResult ISOBuilder::Burner_SpeedWriteCount(std::int32_t DriveNum, std::int32_t& pVal) {
  DriveList& drives = EngineState::Instance().drives;
  pVal = 0;
  const std::shared_ptr<platform::ScsiDevice> device = DeviceOf(DriveNum);
  if (!device) return S_OK;
  drives.ClearSpeeds(DriveNum);
  std::int32_t code = -1;
  Burner_GetMediaType(DriveNum, code);
  const bool dvd = code >= 1 && code <= 15;
  const long step = dvd ? kDvdSpeedStep : kCdSpeedStep;
  for (long factor = dvd ? 20 : 52; factor >= (dvd ? 2 : 1); --factor) {
    const platform::ScsiResult r =
        Send(*device, mmc::SetCdSpeed(mmc::kMaximumSpeed, static_cast<std::uint16_t>(factor * step)));
    if (!r.ok()) continue;
    if (const std::optional<long> speed = CurrentWriteSpeed(*device)) drives.AddSpeed(DriveNum, *speed);
  }
  pVal = drives.SpeedCount(DriveNum);
  return S_OK;
}

HResult ISOBuilder::Burner_GetSpeedWrite(std::int32_t DriveNum, std::int32_t index, std::int32_t& pVal) {
  const long speed = EngineState::Instance().drives.SpeedAt(DriveNum, index);
  std::int32_t code = -1;
  Burner_GetMediaType(DriveNum, code);
  pVal = static_cast<std::int32_t>(speed / (DvdSpeedFamily(code) ? kDvdSpeedStep : kCdSpeedStep));
  return S_OK;
}

HResult ISOBuilder::isRealBurnerDevice(std::int32_t DriveNum, std::int32_t& pVal) {
  const std::shared_ptr<platform::ScsiDevice> device = DeviceOf(DriveNum);
  pVal = device && DriveIsWriter(*device) ? 1 : 0;
  return S_OK;
}

// ---------------------------------------------------------------------------
// Tray

HResult ISOBuilder::Burner_Eject(std::int32_t DriveNum) {
  if (const std::shared_ptr<platform::ScsiDevice> device = DeviceOf(DriveNum)) Send(*device, mmc::Eject());
  return S_OK;
}

// Acts on the drive of the current or last job: the tray closes and opens
// again, so a disc left locked by a job can be taken out.
HResult ISOBuilder::Burner_AllowMedium(std::int32_t /*DriveNum*/) {
  if (const std::shared_ptr<platform::ScsiDevice> device =
          DeviceOf(EngineState::Instance().flags.job_drive.load())) {
    Send(*device, mmc::PreventAllowMediumRemoval(false));
    Send(*device, mmc::LoadMedium());
    Send(*device, mmc::Eject());
  }
  return S_OK;
}

// ---------------------------------------------------------------------------
// Erase, format and closing

HResult ISOBuilder::Burner_EraseDisk(std::int32_t DriveNum, std::int32_t EraseMode) {
  StartJob(events_, JobEnd::kEraseComplete, DriveNum,
           [EraseMode](Job& job) { EraseOrFormat(job, EraseMode); });
  return S_OK;
}

HResult ISOBuilder::Burner_CloseSession(std::int32_t /*DriveNum*/) { return S_OK; }

HResult ISOBuilder::Burner_CloseLastSession(std::int32_t DriveNum, std::int32_t& pVal) {
  pVal =
      StartJob(events_, JobEnd::kEndCloseSession, DriveNum, [](Job& job) { CloseLastSession(job); }) ? 1 : 0;
  return S_OK;
}

}  // namespace zephrel
