// The ripping members: the track list of the disc in a drive, the selection
// of tracks to rip, and the flags that end a rip or its current track.
#include "audio/rip_flags.h"
#include "drive/mmc_drive.h"
#include "drive/toc.h"
#include "jobs/job_state.h"
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

HResult ISOBuilder::CencelRipCurrentTrack() {
  TrackCancelFlag().store(true);
  return S_OK;
}

}  // namespace zephrel
