// The table of contents of an audio CD as the CDDB and ripping code take it: a
// plain value that the drive layer's TOC reader fills. Addresses are absolute
// MSF frames (M * 4500 + S * 75 + F, the 150 frames before LBA 0 included), as
// READ TOC reports them in MSF form.
#pragma once

#include <cstdint>
#include <vector>

namespace zephrel {

struct CdTocTrack {
  int number = 0;            // the track number the TOC gives (1 to 99)
  std::int32_t start = 0;    // MSF frame of the track's start in the TOC
  std::uint8_t control = 0;  // the Q sub-channel control nibble of the descriptor
  // Sectors of the track's own content (from the track information). Zero when
  // unknown: the track then runs to the next start (or the lead-out). The last
  // track of a session is shorter than that by the gap before the next session.
  std::int32_t own_length = 0;

  bool is_data() const { return (control & 0x04) != 0; }
};

struct CdToc {
  std::vector<CdTocTrack> tracks;  // in disc order, data tracks included
  std::int32_t lead_out = 0;       // MSF frame of the lead-out the TOC gives

  // Frames from track i's start to the next track's start (or the lead-out),
  // as the table of contents counts a track. i must be a valid index.
  std::int32_t TocLength(std::size_t i) const {
    const std::int32_t next = i + 1 < tracks.size() ? tracks[i + 1].start : lead_out;
    return next - tracks[i].start;
  }
  // Sectors a rip reads for track i: its own length when known, else TocLength.
  std::int32_t RipLength(std::size_t i) const {
    const std::int32_t own = tracks[i].own_length;
    return own > 0 ? own : TocLength(i);
  }
};

}  // namespace zephrel
