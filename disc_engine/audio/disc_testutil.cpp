#include "audio/disc_testutil.h"

#include <cstdio>

namespace zephrel::testing {

std::vector<TrackRecord> RecordsOf(const CdToc& toc) {
  std::vector<TrackRecord> records;
  for (std::size_t i = 0; i < toc.tracks.size(); ++i) {
    const CdTocTrack& t = toc.tracks[i];
    TrackRecord r;
    r.start = r.toc_start = t.start;
    r.start_minute = t.start / 4500;
    r.start_second = t.start % 4500 / 75;
    r.start_frame = t.start % 75;
    r.length = toc.TocLength(i);
    r.duration = DurationText(r.length);
    char title[32];
    std::snprintf(title, sizeof title, "Track %.2d", static_cast<int>(i + 1));
    r.title = title;
    r.number = t.number ? t.number : static_cast<int>(i + 1);
    r.adr_control = static_cast<std::uint8_t>(0x10 | t.control);
    r.info_start = t.start >= 150 ? static_cast<std::uint32_t>(t.start - 150) : 0;
    r.info_size = static_cast<std::uint32_t>(t.own_length);
    records.push_back(r);
  }
  return records;
}

void SetTrackList(const CdToc& toc) { TrackList::Process().Replace(-1, RecordsOf(toc)); }

CdToc TwoTrackToc() {
  CdToc toc;
  toc.tracks = {{1, 150, 0, 0}, {2, 14250, 0, 0}};
  toc.lead_out = 27000;
  return toc;
}

}  // namespace zephrel::testing
