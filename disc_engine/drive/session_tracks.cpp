#include "drive/session_tracks.h"

namespace zephrel {

std::optional<TrackStatus> ReadTrackStatus(MmcDrive& drive, int track) {
  const auto info = drive.ReadTrackInformation(static_cast<std::uint32_t>(track));
  if (!info) return std::nullopt;
  TrackStatus status;
  status.blank = info->blank;
  status.next_writable_valid = info->next_writable.has_value();
  status.start = info->start;
  status.next_writable = info->next_writable.value_or(0);
  return status;
}

std::optional<LastSessionTracks> ReadLastSessionTracks(MmcDrive& drive) {
  const auto info = drive.ReadDiscInformation();
  if (!info) return std::nullopt;
  return LastSessionTracks{info->first_track_in_last_session, info->last_track_in_last_session};
}

std::optional<int> IncompleteTrack(MmcDrive& drive) {
  const std::optional<LastSessionTracks> tracks = ReadLastSessionTracks(drive);
  if (!tracks) return std::nullopt;
  for (int track = tracks->last; track >= tracks->first && track >= 1; --track) {
    const std::optional<TrackStatus> status = ReadTrackStatus(drive, track);
    if (status && status->incomplete()) return track;
  }
  return std::nullopt;
}

std::uint32_t NewSessionStart(MmcDrive& drive) {
  if (!drive.MmcDiscIsWritable().value_or(false)) return 0;
  const std::optional<LastSessionTracks> tracks = ReadLastSessionTracks(drive);
  if (!tracks) return 0;
  const std::optional<TrackStatus> last = ReadTrackStatus(drive, tracks->last);
  if (!last) return 0;
  if (last->blank) return last->start;
  return last->next_writable_valid ? last->next_writable : 0;
}

}  // namespace zephrel
