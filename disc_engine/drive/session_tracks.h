// The tracks of a disc's last session as a close needs them: which one is
// recorded in part and still open, and where a new session would start.
#pragma once

#include <cstdint>
#include <optional>

#include "drive/mmc_drive.h"

namespace zephrel {

// READ TRACK INFORMATION of one track, the fields that tell its state.
struct TrackStatus {
  bool blank = false;                // nothing recorded: the invisible track of an appendable disc
  bool next_writable_valid = false;  // the track takes more data
  std::uint32_t start = 0;
  std::uint32_t next_writable = 0;  // when valid

  // Recorded in part and still open: the track a close must close before
  // its session can be.
  bool incomplete() const { return !blank && next_writable_valid; }
};
std::optional<TrackStatus> ReadTrackStatus(MmcDrive& drive, int track);

// The first and last track numbers of the last session (READ DISC
// INFORMATION bytes 5 and 6, with their high bytes 10 and 11).
struct LastSessionTracks {
  int first = 0;
  int last = 0;
};
std::optional<LastSessionTracks> ReadLastSessionTracks(MmcDrive& drive);

// The last track of the last session that is incomplete, if any (the track
// after it may be the invisible one).
std::optional<int> IncompleteTrack(MmcDrive& drive);

// Where a new session would start: the start of the invisible track that ends
// an appendable disc, or the next writable address of an incomplete last
// track; 0 when the disc takes no more or cannot be read.
std::uint32_t NewSessionStart(MmcDrive& drive);

}  // namespace zephrel
