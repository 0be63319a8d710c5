// Titles and chapters of the settings model.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "engine_testutil.h"
#include "morvix/morvix_api.h"

namespace morvix {
namespace {

class MorvixTitlesTest : public ::testing::Test {
 protected:
  testing::TestFolder dir_;
  CMorvixAPI api_;
  std::wstring movie_ = dir_.MakeFile("movie.mpg");
};

TEST_F(MorvixTitlesTest, AddTitleStoresTheMovieAndChaptersAndReturnsItsNumber) {
  EXPECT_EQ(api_.AddTitle(movie_.c_str(), 1, nullptr), 1);
  const float starts[] = {5.0f, 7.0f, 19.5f};
  EXPECT_EQ(api_.AddTitle(movie_.c_str(), 3, starts), 2);
  EXPECT_EQ(api_.GetTitleCount(), 2);
  EXPECT_EQ(std::wstring(api_.GetMovieFileName(2)), movie_);
  EXPECT_EQ(api_.GetChapterCount(2), 3);
  // A first start of 5.0 is stored as 0.0; the others as given.
  EXPECT_EQ(api_.GetChapterStartTime(2, 1), 0.0);
  EXPECT_EQ(api_.GetChapterStartTime(2, 2), 7.0);
  EXPECT_EQ(api_.GetChapterStartTime(2, 3), 19.5);
  EXPECT_EQ(api_.GetChapterStartTime(1, 1), 0.0);
  // The caller's string is copied.
  std::wstring caller = dir_.MakeFile("other.mpg");
  ASSERT_EQ(api_.AddTitle(caller.c_str(), 1, nullptr), 3);
  const std::wstring kept = caller;
  caller.assign(caller.size(), L'x');
  EXPECT_EQ(std::wstring(api_.GetMovieFileName(3)), kept);
}

TEST_F(MorvixTitlesTest, AddTitleRefusesBadChapterInputInOrder) {
  const float short_gap[] = {0.0f, 1.9f};
  const float good[] = {0.0f, 2.0f};
  const std::wstring missing = dir_.Wide("missing.mpg");
  EXPECT_EQ(api_.AddTitle(movie_.c_str(), 2, nullptr), kErrInvalidChapterStart);
  // NULL starts are checked before the file.
  EXPECT_EQ(api_.AddTitle(missing.c_str(), 2, nullptr), kErrInvalidChapterStart);
  EXPECT_EQ(api_.AddTitle(missing.c_str(), 2, good), kErrNoFile);
  EXPECT_EQ(api_.error_context().file, missing);
  EXPECT_EQ(api_.AddTitle(L"", 1, nullptr), kErrNoFile);
  EXPECT_EQ(api_.AddTitle(movie_.c_str(), 0, nullptr), kErrInvalidChapterCount);
  EXPECT_EQ(api_.AddTitle(movie_.c_str(), -3, good), kErrInvalidChapterCount);
  EXPECT_EQ(api_.AddTitle(movie_.c_str(), 2, short_gap), kErrChapterTooShort);
  const float nan_start[] = {0.0f, std::numeric_limits<float>::quiet_NaN()};
  EXPECT_EQ(api_.AddTitle(movie_.c_str(), 2, nan_start), kErrChapterTooShort);
  EXPECT_EQ(api_.GetTitleCount(), 0);
  EXPECT_EQ(api_.AddTitle(movie_.c_str(), 2, good), 1);
}

TEST_F(MorvixTitlesTest, ChapterCountAbove99IsRefusedBeforeTheGapsAreRead) {
  std::vector<float> starts(100);
  for (std::size_t i = 0; i < starts.size(); ++i) starts[i] = 3.0f * i;
  EXPECT_EQ(api_.AddTitle(movie_.c_str(), 100, starts.data()), kErrTooManyChapters);
  // Checked right after the count, so a huge count never reads the caller's array.
  EXPECT_EQ(api_.AddTitle(movie_.c_str(), 1 << 30, starts.data()), kErrTooManyChapters);
  ASSERT_EQ(api_.AddTitle(movie_.c_str(), 99, starts.data()), 1);
  EXPECT_EQ(api_.GetChapterCount(1), 99);
  EXPECT_EQ(api_.GetChapterStartTime(1, 99), 3.0 * 98);
  EXPECT_EQ(api_.SetTitle(1, movie_.c_str(), 100, starts.data()), kErrTooManyChapters);
  EXPECT_EQ(api_.GetChapterCount(1), 99);
}

TEST_F(MorvixTitlesTest, The100thTitleIsRefused) {
  for (int i = 1; i <= 99; ++i) ASSERT_EQ(api_.AddTitle(movie_.c_str(), 1, nullptr), i);
  EXPECT_EQ(api_.AddTitle(movie_.c_str(), 1, nullptr), kErrTooManyTitles);
  EXPECT_EQ(api_.GetTitleCount(), 99);
}

TEST_F(MorvixTitlesTest, SetTitleReplacesMovieAndChaptersButKeepsTheMenu) {
  const float starts[] = {0.0f, 10.0f, 20.0f};
  ASSERT_EQ(api_.AddTitle(movie_.c_str(), 3, starts), 1);
  const std::wstring menu = dir_.MakeFile("menu.mpg");
  ASSERT_EQ(api_.AddTitleMenu(1, menu.c_str()), 1001);
  const std::wstring other = dir_.MakeFile("other.mpg");
  const float two[] = {4.0f, 30.0f};
  EXPECT_EQ(api_.SetTitle(1, other.c_str(), 2, two), kOk);
  EXPECT_EQ(std::wstring(api_.GetMovieFileName(1)), other);
  EXPECT_EQ(api_.GetChapterCount(1), 2);
  EXPECT_EQ(api_.GetChapterStartTime(1, 1), 0.0);
  EXPECT_EQ(api_.GetChapterStartTime(1, 2), 30.0);
  EXPECT_EQ(api_.GetChapterStartTime(1, 3), kErrInvalidChapterNumber);
  EXPECT_EQ(api_.GetMenuID(0, 1), 1001);

  EXPECT_EQ(api_.SetTitle(2, other.c_str(), 1, nullptr), kErrInvalidTitleNumber);
  EXPECT_EQ(api_.SetTitle(0, other.c_str(), 1, nullptr), kErrInvalidTitleNumber);
  EXPECT_EQ(api_.SetTitle(1, other.c_str(), 2, nullptr), kErrInvalidChapterStart);
  EXPECT_EQ(api_.SetTitle(1, dir_.Wide("gone.mpg").c_str(), 1, nullptr), kErrNoFile);
  EXPECT_EQ(api_.SetTitle(1, other.c_str(), 0, nullptr), kErrInvalidChapterCount);
  const float close[] = {0.0f, 1.0f};
  EXPECT_EQ(api_.SetTitle(1, movie_.c_str(), 2, close), kErrChapterTooShort);
  // Refusals leave the title as it was.
  EXPECT_EQ(std::wstring(api_.GetMovieFileName(1)), other);
  EXPECT_EQ(api_.GetChapterCount(1), 2);
}

TEST_F(MorvixTitlesTest, ChapterStartTimesAreCheckedAndStoredAsDoubles) {
  const float starts[] = {0.0f, 10.0f};
  ASSERT_EQ(api_.AddTitle(movie_.c_str(), 2, starts), 1);
  EXPECT_EQ(api_.SetChapterStartTime(1, 2, -0.5f), kErrInvalidChapterStart);
  EXPECT_EQ(api_.SetChapterStartTime(1, 2, std::nanf("")), kErrInvalidChapterStart);
  EXPECT_EQ(api_.SetChapterStartTime(2, 2, 12.0f), kErrInvalidTitleNumber);
  EXPECT_EQ(api_.SetChapterStartTime(1, 3, 12.0f), kErrInvalidChapterNumber);
  EXPECT_EQ(api_.SetChapterStartTime(1, 0, 12.0f), kErrInvalidChapterNumber);
  EXPECT_EQ(api_.SetChapterStartTime(1, 2, 12.25f), kOk);
  EXPECT_EQ(api_.GetChapterStartTime(1, 2), 12.25);
  // Chapter 1 may be moved here; the build refuses it later.
  EXPECT_EQ(api_.SetChapterStartTime(1, 1, 1.5f), kOk);
  EXPECT_EQ(api_.GetChapterStartTime(1, 1), 1.5);
  EXPECT_EQ(api_.GetChapterStartTime(0, 1), kErrInvalidTitleNumber);
  EXPECT_EQ(api_.GetChapterStartTime(1, 5), kErrInvalidChapterNumber);
}

TEST_F(MorvixTitlesTest, QueriesOfAMissingTitleGiveEmptyResults) {
  EXPECT_EQ(std::wstring(api_.GetMovieFileName(1)), L"");
  EXPECT_EQ(api_.GetChapterCount(1), 0);
  EXPECT_EQ(api_.GetChapterCount(-1), 0);
  EXPECT_EQ(api_.GetMenuID(0, 1), kErrInvalidTitleNumber);
}

TEST_F(MorvixTitlesTest, DeletingATitleMovesLaterTitlesDownAndRenumbersTheirMenus) {
  std::vector<std::wstring> movies;
  for (int i = 1; i <= 3; ++i) {
    movies.push_back(dir_.MakeFile("movie" + std::to_string(i) + ".mpg"));
    ASSERT_EQ(api_.AddTitle(movies.back().c_str(), 1, nullptr), i);
  }
  const std::wstring menu = dir_.MakeFile("menu.mpg");
  ASSERT_EQ(api_.AddTitleMenu(2, menu.c_str()), 2001);
  ASSERT_EQ(api_.AddMenuBtn(2001, 40, 40, 80, 80, 2, 1, nullptr), 0);

  EXPECT_EQ(api_.DeleteTitle(4), kErrInvalidTitleNumber);
  EXPECT_EQ(api_.DeleteTitle(0), kErrInvalidTitleNumber);
  EXPECT_EQ(api_.DeleteTitle(1), kOk);
  EXPECT_EQ(api_.GetTitleCount(), 2);
  EXPECT_EQ(std::wstring(api_.GetMovieFileName(1)), movies[1]);
  EXPECT_EQ(std::wstring(api_.GetMovieFileName(2)), movies[2]);
  EXPECT_EQ(api_.GetMenuID(0, 1), 1001);
  EXPECT_EQ(api_.GetMenuID(0, 2), 0);  // a title without a menu keeps 0
  EXPECT_EQ(api_.GetButtonCount(1001), 1);
  EXPECT_EQ(api_.GetButtonCount(2001), 0);  // the old identifier is gone
  // Button identifiers are not renumbered.
  EXPECT_EQ(api_.GetSettingData()->Title(1)->menu().buttons[0].id, 2001);
  EXPECT_EQ(api_.GetSettingData()->titles[2], nullptr);
}

}  // namespace
}  // namespace morvix
