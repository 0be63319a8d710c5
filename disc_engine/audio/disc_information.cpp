#include "audio/disc_information.h"

#include "audio/cddb_disc_id.h"

namespace zephrel {

void DiscState::SetPresets() {
  album = "Unknown";
  artist = "Unknown";
  year = "2006";
  genre = "Rock";
}

void DiscState::Identify(const CdToc& toc) {
  if (toc.tracks.empty()) {
    query.clear();
    return;
  }
  identifier = CddbDiscIdText(CddbDiscId(toc));
  query = CddbQueryWords(toc);
}

void DiscState::Apply(const CddbDiscFile& file) {
  artist = file.artist;
  album = file.album;
  year = file.year;
  genre = file.genre;
}

DiscInformation& DiscInformation::Process() {
  static DiscInformation information;
  return information;
}

CdToc TocOfRecords(const std::vector<TrackRecord>& records) {
  CdToc toc;
  for (const TrackRecord& r : records) {
    CdTocTrack track;
    track.number = r.number;
    track.start = r.toc_start;
    track.control = static_cast<std::uint8_t>(r.adr_control & 0x0F);
    track.own_length = static_cast<std::int32_t>(r.info_size);
    toc.tracks.push_back(track);
  }
  if (!records.empty()) toc.lead_out = records.back().toc_start + records.back().length;
  return toc;
}

void ApplyDiscFile(const CddbDiscFile& file) {
  DiscInformation::Process().Locked([&](DiscState& s) { s.Apply(file); });
  TrackList& tracks = TrackList::Process();
  const int count = tracks.Count();
  for (int i = 0; i < count; ++i) tracks.SetTrackTitle(i, file.Title(static_cast<std::size_t>(i)).c_str());
}

}  // namespace zephrel
