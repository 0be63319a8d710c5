#include "audio/disc_information.h"

#include <gtest/gtest.h>

namespace zephrel {
namespace {

CdToc TwoTracks() {
  CdToc toc;
  toc.tracks = {{1, 150, 0, 0}, {2, 14250, 0, 0}};
  toc.lead_out = 27000;
  return toc;
}

TEST(DiscState, ANewTableOfContentsNamesTracksAndSelectsNone) {
  DiscState state;
  state.ReplaceToc(TwoTracks());
  EXPECT_EQ(state.titles, (std::vector<std::string>{"Track 01", "Track 02"}));
  EXPECT_EQ(state.selected, (std::vector<std::int32_t>{0, 0}));
}

TEST(DiscState, StartsWithThePresets) {
  const DiscState state;
  EXPECT_EQ(state.album, "Unknown");
  EXPECT_EQ(state.artist, "Unknown");
  EXPECT_EQ(state.year, "2006");
  EXPECT_EQ(state.genre, "Rock");
}

TEST(DiscState, IdentifyingATableWithoutTracksKeepsTheIdentifierAndEmptiesTheQuery) {
  DiscState state;
  state.ReplaceToc(TwoTracks());
  state.Identify();
  EXPECT_EQ(state.identifier, "0c016602");
  EXPECT_EQ(state.query.size(), 7u);
  state.ReplaceToc(CdToc{});
  state.Identify();
  EXPECT_EQ(state.identifier, "0c016602");
  EXPECT_TRUE(state.query.empty());
}

TEST(DiscState, TitlesOutsideTheListAreEmptyAndCannotBeSet) {
  DiscState state;
  state.ReplaceToc(TwoTracks());
  state.SetTitle(2, "nowhere");
  state.SetTitle(-1, "nowhere");
  EXPECT_EQ(state.Title(2), "");
  EXPECT_EQ(state.Title(-1), "");
  EXPECT_EQ(state.titles.size(), 2u);
  state.SetTitle(1, std::string(2047, 'x'));
  EXPECT_EQ(state.Title(1), std::string(kCddbFieldChars, 'x'));
}

TEST(DiscState, ADiscFileReplacesEveryFieldMissingValuesIncluded) {
  DiscState state;
  state.ReplaceToc(TwoTracks());
  CddbDiscFile file;
  file.artist = "A";
  file.album = "B";
  file.genre = "Jazz";
  file.titles = {"One"};
  state.Apply(file);
  EXPECT_EQ(state.artist, "A");
  EXPECT_EQ(state.year, "");
  EXPECT_EQ(state.titles, (std::vector<std::string>{"One", ""}));
}

}  // namespace
}  // namespace zephrel
