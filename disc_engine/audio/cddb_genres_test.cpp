#include "audio/cddb_genres.h"

#include <gtest/gtest.h>

#include <vector>

namespace zephrel {
namespace {

TEST(GenreTable, Holds148NamesFromBluesToSynthPop) {
  EXPECT_EQ(GenreCount(), 148u);
  EXPECT_EQ(GenreName(0), "Blues");
  EXPECT_EQ(GenreName(147), "Synth Pop");
  EXPECT_EQ(GenreName(67), "Phychedelic");  // spelled as the table has it
}

TEST(GenreTable, IndexesOutsideTheTableHaveNoName) {
  EXPECT_FALSE(GenreName(-1));
  EXPECT_FALSE(GenreName(148));
}

TEST(Id3Genre, MatchesTheTableIgnoringCase) {
  EXPECT_EQ(Id3GenreNumber("Rock"), 17);
  EXPECT_EQ(Id3GenreNumber("rock"), 17);
  EXPECT_EQ(Id3GenreNumber("CLASSIC ROCK"), 1);
  EXPECT_EQ(Id3GenreNumber("Blues"), 0);
}

TEST(Id3Genre, CddbCategoriesMapToTheirGenre) {
  EXPECT_EQ(Id3GenreNumber("newage"), 10);
  EXPECT_EQ(Id3GenreNumber("misc"), 12);
  EXPECT_EQ(Id3GenreNumber("soundtrack"), 24);
}

TEST(Id3Genre, EveryCategoryStandsForTheGenreOfItsName) {
  const std::vector<std::string_view> expected = {"Blues",  "Classical", "Country",   "Other",
                                                  "Folk",   "Jazz",      "Other",     "New Age",
                                                  "Reggae", "Rock",      "Soundtrack"};
  ASSERT_EQ(expected.size(), kCddbCategories.size());
  for (std::size_t i = 0; i < kCddbCategories.size(); ++i) {
    EXPECT_EQ(GenreName(Id3GenreNumber(kCddbCategories[i])), expected[i]) << kCddbCategories[i];
  }
}

TEST(Id3Genre, AnUnknownGenreIsNoGenreRatherThanBlues) {
  EXPECT_EQ(Id3GenreNumber("Zydeco-Polka"), 255);
  EXPECT_EQ(Id3GenreNumber(""), 255);
}

TEST(CddbCategories, OnlyTheElevenCategoriesAreAccepted) {
  EXPECT_EQ(CddbCategory("rock"), "rock");
  EXPECT_EQ(CddbCategory("Rock"), "rock");
  EXPECT_EQ(CddbCategory("soundtrack"), "soundtrack");
  EXPECT_FALSE(CddbCategory(".."));
  EXPECT_FALSE(CddbCategory("rock/../.."));
  EXPECT_FALSE(CddbCategory("Custom"));
  EXPECT_FALSE(CddbCategory(""));
}

TEST(CddbCategories, DiscIdWordsAreEightHexDigits) {
  EXPECT_TRUE(IsCddbDiscIdWord("0c016602"));
  EXPECT_TRUE(IsCddbDiscIdWord("ABCDEF01"));
  EXPECT_FALSE(IsCddbDiscIdWord("0c01660"));
  EXPECT_FALSE(IsCddbDiscIdWord("0c0166021"));
  EXPECT_FALSE(IsCddbDiscIdWord("../a/b/c"));
  EXPECT_FALSE(IsCddbDiscIdWord("0c01/602"));
}

}  // namespace
}  // namespace zephrel
