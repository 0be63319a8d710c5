#include "audio/cddb_disc_id.h"

#include <cstdio>

namespace zephrel {

namespace {

std::uint32_t DigitSum(std::uint32_t n) {
  std::uint32_t sum = 0;
  for (; n > 0; n /= 10) sum += n % 10;
  return sum;
}

// Whole seconds of an MSF frame address; negative addresses (a broken TOC)
// count as 0.
std::uint32_t Seconds(std::int32_t frame) { return frame > 0 ? static_cast<std::uint32_t>(frame) / 75 : 0; }

}  // namespace

std::uint32_t CddbDiscId(const CdToc& toc) {
  std::uint32_t digits = 0;
  for (const CdTocTrack& track : toc.tracks) digits += DigitSum(Seconds(track.start));
  const std::uint32_t playing = Seconds(toc.lead_out) - Seconds(toc.tracks.front().start);
  const auto count = static_cast<std::uint32_t>(toc.tracks.size());
  return ((digits % 255) << 24) | (playing << 8) | count;
}

std::string CddbDiscIdText(std::uint32_t id) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", id);
  return text;
}

std::vector<std::string> CddbQueryWords(const CdToc& toc) {
  if (toc.tracks.empty()) return {};
  std::vector<std::string> words{"cddb", "query", CddbDiscIdText(CddbDiscId(toc)),
                                 std::to_string(toc.tracks.size())};
  for (const CdTocTrack& track : toc.tracks) words.push_back(std::to_string(track.start));
  words.push_back(std::to_string(Seconds(toc.lead_out)));
  return words;
}

}  // namespace zephrel
