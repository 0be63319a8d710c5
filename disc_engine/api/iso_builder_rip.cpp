// The ripping members: the track list of the disc in a drive, the selection
// of tracks to rip, and the flags that end a rip or its current track.
#include "audio/disc_information.h"
#include "audio/disc_rip_job.h"
#include "audio/rip_flags.h"
#include "audio/track_rip_job.h"
#include "drive/mmc_drive.h"
#include "drive/toc.h"
#include "jobs/job_runner.h"
#include "jobs/job_state.h"
#include "platform/text.h"
#include "zephrel/iso_builder.h"

namespace zephrel {

using platform::HResult;
using platform::S_OK;

HResult ISOBuilder::AudioRip_GetNbTracks(std::int32_t DriveNum, std::int32_t& pVal) {
  DriveList& drives = EngineState::Instance().drives;
  MmcDrive drive(drives.Device(DriveNum), &drives, DriveNum);
  pVal = ReadToc(drive, DriveNum) == 0 ? TrackList::Process().Count() : 0;
  return S_OK;
}

HResult ISOBuilder::AudioRip_GetTrackDuration(std::int32_t /*DriveNum*/, std::int32_t TrackNumber,
                                              std::string& pVal) {
  pVal = TrackList::Process().GetTrackDurationText(TrackNumber);
  return S_OK;
}

HResult ISOBuilder::AudioRip_GetTotalDuration(std::int32_t /*DriveNum*/, std::int32_t& pVal) {
  pVal = TrackList::Process().GetDiscLengthSeconds();
  return S_OK;
}

HResult ISOBuilder::AudioRip_TrackSelected(std::int32_t TrackNum, std::int32_t& pVal) {
  pVal = TrackList::Process().GetSelected(TrackNum);
  return S_OK;
}

HResult ISOBuilder::AudioRip_TrackSelected(std::int32_t TrackNum, const std::int32_t& newVal) {
  TrackList::Process().SetSelected(TrackNum, newVal);
  return S_OK;
}

// TrackNum is not used: every selected track is ripped. mp3 = 1 rips to WAV
// files, any other value to MP3 files.
HResult ISOBuilder::AudioRip_RipTrack(std::int32_t DriveNum, std::int32_t /*TrackNum*/,
                                      const std::string& AppDirectory, std::int32_t mp3) {
  TrackRipRequest request;
  request.app_folder = platform::Utf8ToPath(AppDirectory);
  request.mp3 = mp3 != 1;
  if (request.mp3) {
    std::string error;
    if (LoadMp3Encoder(&request.encoder, &error) != kEncoderLoaded) {
      // Without the encoder nothing is ripped; the job still ends, so no
      // client waits for ever.
      StartJob(events_, JobEnd::kEndRip, DriveNum,
               JobBody([error](Job& job) { job.events().BurningErrorViewDescription(error); }));
      return S_OK;
    }
    request.mp3_config = BuildMp3EncoderConfig(LoadMp3Settings(request.app_folder));
  }
  StartJob(events_, JobEnd::kEndRip, DriveNum, JobSetup([request = std::move(request)]() mutable -> JobBody {
             // The track list and the disc information as they stand when the rip starts.
             const std::vector<TrackRecord> records = TrackList::Process().Records();
             request.toc = TocOfRecords(records);
             for (const TrackRecord& record : records) {
               request.titles.push_back(record.title);
               request.selected.push_back(record.selected);
             }
             const DiscState disc = DiscInformation::Process().Snapshot();
             request.artist = disc.artist;
             request.album = disc.album;
             request.year = disc.year;
             request.genre = disc.genre;
             return [request = std::move(request)](Job& job) {
               job.outcome().failed = true;
               RunTrackRip(job, request);
             };
           }));
  return S_OK;
}

// AppDirectory is not used: a disc image needs no settings.
HResult ISOBuilder::AudioRip_RipDiscAsImage(std::int32_t DriveNum, const std::string& /*AppDirectory*/,
                                            const std::string& ImagePath, std::int32_t Mode) {
  StartJob(events_, JobEnd::kEndRip, DriveNum, JobSetup([ImagePath, Mode]() -> JobBody {
             DiscRipRequest request;
             request.image_path = platform::Utf8ToPath(ImagePath);
             request.mode = Mode;
             request.toc = TocOfRecords(TrackList::Process().Records());
             return [request = std::move(request)](Job& job) {
               job.outcome().failed = true;
               RunDiscRip(job, request);
             };
           }));
  return S_OK;
}

HResult ISOBuilder::CencelRipCurrentTrack() {
  TrackCancelFlag().store(true);
  return S_OK;
}

}  // namespace zephrel
