#include "audio/disc_rip_job.h"

#include "audio/audio_image_job.h"
#include "audio/cd_rip.h"
#include "drive/media.h"
#include "drive/mmc_drive.h"
#include "image/cue_sheet.h"
#include "jobs/job_state.h"
#include "platform/fileio.h"

namespace zephrel {

namespace {

constexpr std::int32_t kCannotCreateImage = 1001;

std::vector<DiscCueTrack> SheetTracks(MmcDrive& drive, const CdToc& toc) {
  std::vector<DiscCueTrack> tracks;
  for (const CdTocTrack& t : toc.tracks) {
    DiscCueTrack cue;
    cue.number = t.number;
    const std::uint32_t session =
        drive.MmcGetTrackSessionNumber(static_cast<std::uint32_t>(t.number)).value_or(0);
    cue.session = session > 0 ? static_cast<int>(session) : (tracks.empty() ? 1 : tracks.back().session);
    cue.start = RipFirstLba(t);
    cue.data = t.is_data();
    cue.pre_emphasis = (t.control & 0x01) != 0;
    tracks.push_back(cue);
  }
  return tracks;
}

}  // namespace

void RunDiscRip(Job& job, const DiscRipRequest& request) {
  ISOBuilderEvents& events = job.events();
  MmcDrive drive(job.context().device);
  // What this job made, removed again when it fails or is cancelled, as an
  // image that stops short must not pass for a whole one.
  const std::filesystem::path sheet = WithExtension(request.image_path, "cue");
  bool sheet_written = false, image_created = false;
  const auto discard = [&] {
    std::error_code ec;
    if (image_created) std::filesystem::remove(request.image_path, ec);
    if (sheet_written) std::filesystem::remove(sheet, ec);
  };
  if (request.mode == 1) {
    std::string error;
    if (!WriteDiscCopyCueSheet(request.image_path, sheet, MediaTypeName(drive.MmcGetMediaTypeCode()),
                               SheetTracks(drive, request.toc), /*data_as_2048=*/false, &error)) {
      events.BurningErrorViewDescription(error);
      events.BurnerOnError(kCannotCreateImage);
      return;
    }
    sheet_written = true;
  }
  platform::FileError fe;
  platform::File image =
      platform::File::Open(request.image_path, platform::File::Mode::kCreateExclusive, &fe);
  if (!image.is_open()) {
    events.BurningErrorViewDescription(fe.message);
    events.BurnerOnError(kCannotCreateImage);
    discard();
    return;
  }
  image_created = true;
  if (request.mode != 1) {
    // Each track by its start frame and its length in frames, as the table of
    // contents gives them.
    std::vector<TrackTableEntry> entries;
    for (std::size_t i = 0; i < request.toc.tracks.size(); ++i) {
      entries.push_back({static_cast<std::uint32_t>(request.toc.tracks[i].start),
                         static_cast<std::uint32_t>(request.toc.TocLength(i))});
    }
    const auto table = TrackTable(entries);
    if (!image.WriteAll(table.data(), table.size(), &fe)) {
      events.BurningErrorViewDescription(fe.message);
      image.Close(&fe);
      discard();
      return;
    }
  }
  CdAudioReader reader(*job.context().device);
  FileRipSink sink(image);
  const std::int32_t drive_number = job.context().drive;
  const DiscRipResult result = RipDiscSectors(
      reader, request.toc, sink, EngineState::Instance().flags.rip_cancel,
      [&](int track, int percent) { events.RipperOnRip(drive_number, track, percent); },
      [&](const std::string& text) { events.BurningErrorViewDescription(text); });
  std::string close_error;
  if (!image.Close(&fe) && !result.error) close_error = fe.message;
  if (result.error && result.error->rfind("Read error", 0) != 0)
    events.BurningErrorViewDescription(*result.error);
  if (!close_error.empty()) events.BurningErrorViewDescription(close_error);
  job.outcome().canceled = result.canceled;
  job.outcome().failed = result.error.has_value() || !close_error.empty();
  if (job.outcome().failed || job.outcome().canceled) discard();
}

}  // namespace zephrel
