#include "audio/cddb_disc_id.h"

#include <discid/discid.h>
#include <gtest/gtest.h>

#include <random>

namespace zephrel {
namespace {

CdToc Toc(std::vector<std::int32_t> starts, std::int32_t lead_out) {
  CdToc toc;
  for (std::size_t i = 0; i < starts.size(); ++i) {
    CdTocTrack track;
    track.number = static_cast<int>(i + 1);
    track.start = starts[i];
    toc.tracks.push_back(track);
  }
  toc.lead_out = lead_out;
  return toc;
}

// The freedb identifier libdiscid gives for the same table of contents.
std::string LibdiscidId(const CdToc& toc) {
  int offsets[100] = {};
  offsets[0] = toc.lead_out;
  for (std::size_t i = 0; i < toc.tracks.size(); ++i) offsets[i + 1] = toc.tracks[i].start;
  DiscId* disc = discid_new();
  const int put = discid_put(disc, 1, static_cast<int>(toc.tracks.size()), offsets);
  std::string id = put ? discid_get_freedb_id(disc) : "discid_put refused the table";
  discid_free(disc);
  return id;
}

TEST(CddbDiscId, TwoTrackExampleGivesTheKnownIdentifier) {
  const CdToc toc = Toc({150, 14250}, 27000);
  EXPECT_EQ(CddbDiscIdText(CddbDiscId(toc)), "0c016602");
  EXPECT_EQ(LibdiscidId(toc), "0c016602");
}

TEST(CddbDiscId, EqualsLibdiscidOnRandomTablesOfContents) {
  std::mt19937 random(20261209);
  for (int round = 0; round < 20; ++round) {
    const int count = std::uniform_int_distribution<int>(1, 99)(random);
    std::vector<std::int32_t> starts;
    std::int32_t at = 150 + std::uniform_int_distribution<int>(0, 300)(random);
    for (int i = 0; i < count; ++i) {
      starts.push_back(at);
      at += std::uniform_int_distribution<int>(4 * 75, 12 * 4500 / count + 4 * 75)(random);
    }
    const CdToc toc = Toc(starts, at);
    EXPECT_EQ(CddbDiscIdText(CddbDiscId(toc)), LibdiscidId(toc)) << "round " << round;
  }
}

TEST(CddbDiscId, CdExtraCountsItsDataTrackAndTheTocLeadOut) {
  // Three audio tracks, the session gap (11400 frames), a data track.
  CdToc toc = Toc({150, 20000, 41000, 75000}, 90000);
  toc.tracks[3].control = 0x04;
  toc.tracks[2].own_length = 75000 - 41000 - 11400;
  EXPECT_EQ(CddbDiscIdText(CddbDiscId(toc)), LibdiscidId(toc));
  EXPECT_EQ(toc.RipLength(2), 22600);
  EXPECT_EQ(toc.TocLength(2), 34000);
}

TEST(CddbQuery, WordsNameTheIdentifierCountStartsAndSeconds) {
  const std::vector<std::string> expected{"cddb", "query", "0c016602", "2", "150", "14250", "360"};
  EXPECT_EQ(CddbQueryWords(Toc({150, 14250}, 27000)), expected);
}

TEST(CddbQuery, ATableWithoutTracksHasNoQuery) { EXPECT_TRUE(CddbQueryWords(CdToc{}).empty()); }

}  // namespace
}  // namespace zephrel
