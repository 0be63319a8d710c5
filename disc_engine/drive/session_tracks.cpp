#include "drive/session_tracks.h"

#include "platform/byte_order.h"

namespace zephrel {

std::optional<TrackStatus> ReadTrackStatus(MmcDrive& drive, int track) {
  constexpr std::size_t kLength = 48;
  const auto reply = drive.Query(
      mmc::ReadTrackInformation(mmc::kTrackByNumber, static_cast<std::uint32_t>(track), kLength), kLength);
  if (!reply || reply->size() < 16) return std::nullopt;
  const std::vector<std::uint8_t>& r = *reply;
  TrackStatus status;
  status.blank = (r[6] & 0x40) != 0;
  status.next_writable_valid = (r[7] & 0x01) != 0;
  status.start = platform::GetBe32(&r[8]);
  if (status.next_writable_valid) status.next_writable = platform::GetBe32(&r[12]);
  return status;
}

std::optional<LastSessionTracks> ReadLastSessionTracks(MmcDrive& drive) {
  constexpr std::size_t kLength = 34;
  const auto reply = drive.Query(mmc::ReadDiscInformation(kLength), kLength);
  if (!reply || reply->size() < 7) return std::nullopt;
  const std::vector<std::uint8_t>& r = *reply;
  const bool wide = r.size() >= 12;
  return LastSessionTracks{r[5] | (wide ? r[10] << 8 : 0), r[6] | (wide ? r[11] << 8 : 0)};
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
  if (drive.MmcDiscIsWritable() != 1) return 0;
  const std::optional<LastSessionTracks> tracks = ReadLastSessionTracks(drive);
  if (!tracks) return 0;
  const std::optional<TrackStatus> last = ReadTrackStatus(drive, tracks->last);
  if (!last) return 0;
  if (last->blank) return last->start;
  return last->next_writable_valid ? last->next_writable : 0;
}

}  // namespace zephrel
