#include "audio/disc_information.h"

#include <cstdio>

#include "audio/cddb_disc_id.h"
#include "platform/text.h"

namespace zephrel {

void DiscState::ReplaceToc(CdToc new_toc) {
  toc = std::move(new_toc);
  titles.clear();
  for (std::size_t i = 0; i < toc.tracks.size(); ++i) {
    char title[16];
    std::snprintf(title, sizeof title, "Track %.2d", static_cast<int>(i + 1));
    titles.emplace_back(title);
  }
  selected.assign(toc.tracks.size(), 0);
}

void DiscState::SetPresets() {
  album = "Unknown";
  artist = "Unknown";
  year = "2006";
  genre = "Rock";
}

void DiscState::Identify() {
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
  for (std::size_t i = 0; i < titles.size(); ++i) titles[i] = file.Title(i);
}

std::string DiscState::Title(std::int64_t index) const {
  if (index < 0 || index >= static_cast<std::int64_t>(titles.size())) return {};
  return titles[static_cast<std::size_t>(index)];
}

void DiscState::SetTitle(std::int64_t index, std::string_view title) {
  if (index < 0 || index >= static_cast<std::int64_t>(titles.size())) return;
  titles[static_cast<std::size_t>(index)] = platform::CutUtf8Chars(title, kCddbFieldChars);
}

DiscInformation& DiscInformation::Process() {
  static DiscInformation information;
  return information;
}

}  // namespace zephrel
