#include "audio/disc_information.h"

#include <gtest/gtest.h>

#include "audio/disc_testutil.h"

namespace zephrel {
namespace {

TEST(DiscState, StartsWithThePresets) {
  const DiscState state;
  EXPECT_EQ(state.album, "Unknown");
  EXPECT_EQ(state.artist, "Unknown");
  EXPECT_EQ(state.year, "2006");
  EXPECT_EQ(state.genre, "Rock");
}

TEST(DiscState, IdentifyingATableWithoutTracksKeepsTheIdentifierAndEmptiesTheQuery) {
  DiscState state;
  state.Identify(testing::TwoTrackToc());
  EXPECT_EQ(state.identifier, "0c016602");
  EXPECT_EQ(state.query.size(), 7u);
  state.Identify(CdToc{});
  EXPECT_EQ(state.identifier, "0c016602");
  EXPECT_TRUE(state.query.empty());
}

TEST(DiscState, ADiscFileReplacesEveryTextMissingValuesIncluded) {
  testing::SetTrackList(testing::TwoTrackToc());
  CddbDiscFile file;
  file.artist = "A";
  file.album = "B";
  file.genre = "Jazz";
  file.titles = {"One"};
  DiscInformation::Process().Locked([](DiscState& s) { s = DiscState{}; });
  ApplyDiscFile(file);
  const DiscState state = DiscInformation::Process().Snapshot();
  EXPECT_EQ(state.artist, "A");
  EXPECT_EQ(state.year, "");
  EXPECT_EQ(TrackList::Process().GetTrackTitle(0), "One");
  EXPECT_EQ(TrackList::Process().GetTrackTitle(1), "");
}

TEST(TocOfRecords, TakesTheTocStartsNotTheStartsADiscCopyPutInTheirPlace) {
  CdToc toc = testing::TwoTrackToc();
  toc.tracks[1].control = 0x04;
  toc.tracks[0].own_length = 13000;
  std::vector<TrackRecord> records = testing::RecordsOf(toc);
  records[0].start = 0;
  records[1].start = 14100;
  const CdToc back = TocOfRecords(records);
  ASSERT_EQ(back.tracks.size(), 2u);
  EXPECT_EQ(back.tracks[0].start, 150);
  EXPECT_EQ(back.tracks[1].start, 14250);
  EXPECT_EQ(back.lead_out, 27000);
  EXPECT_TRUE(back.tracks[1].is_data());
  EXPECT_EQ(back.RipLength(0), 13000);
  EXPECT_EQ(back.RipLength(1), 27000 - 14250);
}

}  // namespace
}  // namespace zephrel
