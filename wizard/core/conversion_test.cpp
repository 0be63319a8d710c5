#include <gtest/gtest.h>

#include <array>
#include <fstream>

#include "controller_testutil.h"

namespace vantora {
namespace {

namespace fs = std::filesystem;

class ConversionTest : public testing::ControllerFixture {
 protected:
  // Rows of n videos, then the output step; with or without the menu; the
  // files are converted by lanes encoders at once.
  void ReachOutputStep(int n, bool menu, int lanes = 1) {
    WizardParts parts = ControllerParts();
    for (int i = 1; i < lanes; ++i) parts.extra_encoders.push_back(&extra[i - 1]);
    parts.steady_seconds = [this] { return now; };
    StartWith(std::move(parts));
    Walk(1);
    std::vector<fs::path> files;
    for (int i = 1; i <= n; ++i) files.push_back(Video("movie " + std::to_string(i) + ".avi"));
    c().AddVideoFiles(files);
    Walk(2);
    c().Combo2_Click(menu);
    Walk(3);
    c().UpdateOutputFrames(kOutputIso);
  }
  void Complete(EncodeStatus status = EncodeStatus::kOk, std::string message = "") {
    c().Taldex1_Completed(encoder.Finish(status, std::move(message)));
  }
  fs::path Temp() const { return controller->TempFolder; }
  testing::FakeEncoder& Lane(int lane) { return lane == 0 ? encoder : extra[lane - 1]; }
  // The output of row k (0: the menu clip).
  fs::path Output(int k) const {
    return k == 0 ? Temp() / "menu.mpg"
                  : Temp() / ("0" + std::to_string(k) + " - movie " + std::to_string(k) + ".mpg");
  }
  // The lane encoding row k (0: the menu clip), -1 when none does.
  int LaneOf(int k) {
    for (int lane = 0; lane < 3; ++lane) {
      if (Lane(lane).running && Lane(lane).output == Output(k)) return lane;
    }
    return -1;
  }
  // Ends the encoding of row k as its lane's completion would.
  void FinishRow(int k, EncodeStatus status = EncodeStatus::kOk, std::string message = "") {
    const int lane = LaneOf(k);
    ASSERT_GE(lane, 0) << "row " << k << " is not being encoded";
    c().EncoderCompleted(lane, Lane(lane).Finish(status, std::move(message)));
  }
  // The rows being encoded, "0" for the menu clip: "1 3 4".
  std::string Running() {
    std::string rows;
    for (int k = 0; k <= 9; ++k) {
      if (LaneOf(k) >= 0) rows += (rows.empty() ? "" : " ") + std::to_string(k);
    }
    return rows;
  }

  std::array<testing::FakeEncoder, 2> extra;
  double now = 1000;  // the steady clock
};

// Several rows at once, ending in any order: every lane takes the next row
// when its file is done, the screen follows the lowest row still running and
// only that one shows its preview, and the authoring gets the rows in list
// order once the last has ended.
struct LaneCase {
  const char* name;
  int lanes;
  int rows;
  bool menu;
  std::vector<int> finish_order;     // rows (0: the menu clip) as their encodings end
  std::vector<std::string> running;  // the rows running at the start and after each end
};

void PrintTo(const LaneCase& t, std::ostream* os) { *os << t.name; }

class ConversionLanesTest : public ConversionTest, public ::testing::WithParamInterface<LaneCase> {};

TEST_P(ConversionLanesTest, RowsEndingInAnyOrderGiveTheTitlesInListOrder) {
  const LaneCase& t = GetParam();
  ReachOutputStep(t.rows, t.menu, t.lanes);
  c().NextButton_Click();
  ASSERT_EQ(t.running.size(), t.finish_order.size() + 1);
  for (std::size_t step = 0; step <= t.finish_order.size(); ++step) {
    if (step > 0) FinishRow(t.finish_order[step - 1]);
    SCOPED_TRACE("after " + std::to_string(step) + " ends");
    EXPECT_EQ(Running(), t.running[step]);
    if (t.running[step].empty()) break;
    EXPECT_TRUE(c().Busy);
    EXPECT_EQ(c().CurrentStep, 4);
    const int lowest = std::stoi(t.running[step]);
    const std::string text =
        lowest == 0 ? "menu" : "0" + std::to_string(lowest) + " - movie " + std::to_string(lowest) + ".avi";
    EXPECT_EQ(c().screen().conversion_caption, "File conversion : " + text);
    for (int lane = 0; lane < t.lanes; ++lane) {
      if (Lane(lane).running) {
        EXPECT_EQ(Lane(lane).preview, lane == LaneOf(lowest)) << "lane " << lane;
      }
    }
  }
  EXPECT_EQ(authoring.builds, 1);
  std::vector<std::string> titles;
  for (int k = 1; k <= t.rows; ++k) {
    titles.push_back(Output(k).native());
    EXPECT_EQ(c().screen().rows[k - 1].converted, Output(k));
  }
  EXPECT_EQ(authoring.titles, titles);
  for (const auto& m : dialogs.messages) EXPECT_EQ(m.text.find("Can't convert"), std::string::npos) << m.text;
}

INSTANTIATE_TEST_SUITE_P(
    Lanes, ConversionLanesTest,
    ::testing::Values(
        LaneCase{
            "ThreeLanesTheSecondRowEndsFirst", 3, 4, false, {2, 1, 4, 3}, {"1 2 3", "1 3 4", "3 4", "3", ""}},
        LaneCase{"TheMenuClipAlongsideTheRows", 2, 2, true, {1, 0, 2}, {"0 1", "0 2", "2", ""}},
        LaneCase{"OneLaneConvertsOneFileAfterTheOther", 1, 2, true, {0, 1, 2}, {"0", "1", "2", ""}},
        LaneCase{"MoreLanesThanRows", 3, 2, false, {2, 1}, {"1 2", "1", ""}}),
    [](const ::testing::TestParamInfo<LaneCase>& info) { return std::string(info.param.name); });

TEST_F(ConversionTest, AFailureWhileOthersRunStopsThemAndIsShownOnceAllHaveEnded) {
  ReachOutputStep(3, false, 3);
  c().NextButton_Click();
  ASSERT_EQ(Running(), "1 2 3");
  FinishRow(2, EncodeStatus::kFailed, "Invalid data found when processing input");
  EXPECT_EQ(encoder.stops, 1);
  EXPECT_EQ(extra[1].stops, 1);
  EXPECT_TRUE(c().Busy);
  EXPECT_EQ(c().CurrentStep, 4);
  EXPECT_TRUE(dialogs.messages.empty());
  FinishRow(1, EncodeStatus::kCancelled);
  EXPECT_TRUE(dialogs.messages.empty());
  FinishRow(3);  // it was done before the stop reached it
  EXPECT_FALSE(c().Busy);
  EXPECT_EQ(c().CurrentStep, 3);
  EXPECT_EQ(authoring.builds, 0);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages.back().text, "Can't convert " + (home / "movie 2.avi").native() + " into " +
                                              Output(2).native() +
                                              ":\r\nInvalid data found when processing input");
  EXPECT_TRUE(c().screen().rows[0].converted.empty());
  EXPECT_TRUE(c().screen().rows[1].converted.empty());
  EXPECT_EQ(c().screen().rows[2].converted, Output(3));
  // Starting again converts only what is left.
  c().NextButton_Click();
  EXPECT_EQ(Running(), "1 2");
}

TEST_F(ConversionTest, CancelWithSeveralRunningStopsThemAllAndDeletesThisRunsFiles) {
  ReachOutputStep(3, false, 2);
  std::ofstream(Temp() / "mine.txt") << "user's";
  c().NextButton_Click();
  FinishRow(1);
  ASSERT_EQ(Running(), "2 3");
  c().QuitButton_Click();
  EXPECT_EQ(encoder.stops, 1);
  EXPECT_EQ(extra[0].stops, 1);
  EXPECT_EQ(c().CurrentStep, 4);  // waits for both
  FinishRow(2, EncodeStatus::kCancelled);
  EXPECT_EQ(c().CurrentStep, 4);
  EXPECT_TRUE(c().Busy);
  FinishRow(3);  // ended just before the stop: its file goes too
  EXPECT_EQ(c().CurrentStep, 1);
  EXPECT_FALSE(c().Busy);
  EXPECT_FALSE(fs::exists(Output(1)));
  EXPECT_FALSE(fs::exists(Output(3)));
  EXPECT_TRUE(fs::exists(Temp() / "mine.txt"));
  EXPECT_EQ(Running(), "");
  EXPECT_EQ(authoring.builds, 0);
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ConversionTest, WithTwoRowsRunningTheFileBarFollowsTheLowestAndTheTotalBarCountsSeconds) {
  ReachOutputStep(2, false, 2);
  encoder.duration = extra[0].duration = 100;
  c().NextButton_Click();
  extra[0].position = 80;
  encoder.position = 20;
  now += 10;
  c().EncoderProgress(1, 80);
  EXPECT_EQ(c().screen().progress1, 0);  // the second row is not the one shown
  EXPECT_EQ(c().screen().progress2, 50);
  c().EncoderProgress(0, 20);
  EXPECT_EQ(c().screen().progress1, 20);
  EXPECT_EQ(c().screen().file_progress, "File progress : 20% (00:00:20 of 00:01:40 converted)");
  EXPECT_EQ(c().screen().time_elapsed, "Time Elapsed : 00:00:10");
  EXPECT_EQ(c().screen().time_left, "Time Left : 00:00:10");
}

TEST_F(ConversionTest, TheMenuClipIsEncodedFirstThenEveryRowThenTheHandOver) {
  ReachOutputStep(2, true);
  ASSERT_TRUE(fs::exists(home / "menutemp.avi"));
  c().NextButton_Click();
  EXPECT_EQ(c().CurrentStep, 4);
  EXPECT_TRUE(c().Busy);
  ASSERT_EQ(encoder.started.size(), 1u);
  EXPECT_EQ(encoder.opened.back(), home / "menutemp.avi");
  EXPECT_EQ(encoder.started[0], Temp() / "menu.mpg");
  Complete();
  EXPECT_TRUE(c().Busy);
  ASSERT_EQ(encoder.started.size(), 2u);
  EXPECT_EQ(encoder.opened.back(), home / "movie 1.avi");
  EXPECT_EQ(encoder.started[1], Temp() / "01 - movie 1.mpg");
  EXPECT_EQ(c().screen().conversion_caption, "File conversion : 01 - movie 1.avi");
  EXPECT_EQ(c().screen().file_converting, "01 - movie 1.avi");
  EXPECT_TRUE(c().screen().rows[0].converted.empty());  // only once it has succeeded
  Complete();
  EXPECT_EQ(c().screen().rows[0].converted, Temp() / "01 - movie 1.mpg");
  ASSERT_EQ(encoder.started.size(), 3u);
  Complete();
  EXPECT_EQ(c().screen().rows[1].converted, Temp() / "02 - movie 2.mpg");
  // The hand-over to the authoring: every converted row becomes its title.
  EXPECT_EQ(encoder.started.size(), 3u);
  EXPECT_EQ(authoring.builds, 1);
  EXPECT_EQ(authoring.titles, (std::vector<std::string>{(Temp() / "01 - movie 1.mpg").native(),
                                                        (Temp() / "02 - movie 2.mpg").native()}));
}

TEST_F(ConversionTest, WithoutAMenuAConvertedRowIsSkipped) {
  ReachOutputStep(3, false);
  const fs::path done = Temp() / "done earlier.mpg";
  std::ofstream(done) << "x";
  c().screen().rows[1].converted = done;
  c().NextButton_Click();
  ASSERT_EQ(encoder.started.size(), 1u);
  EXPECT_EQ(encoder.started[0], Temp() / "01 - movie 1.mpg");
  Complete();
  ASSERT_EQ(encoder.started.size(), 2u);
  EXPECT_EQ(encoder.started[1], Temp() / "03 - movie 3.mpg");
  EXPECT_EQ(c().screen().rows[1].converted, done);
}

TEST_F(ConversionTest, CancelDuringTheMenuClipWaitsForTheEncoderThenStartsNoRow) {
  ReachOutputStep(2, true);
  c().NextButton_Click();
  const fs::path made = Temp() / "menu.mpg";
  c().QuitButton_Click();
  EXPECT_EQ(encoder.stops, 1);
  EXPECT_TRUE(c().StopRequested);
  EXPECT_EQ(c().CurrentStep, 4);  // waits for the encoder's end
  EXPECT_TRUE(c().Busy);
  Complete(EncodeStatus::kCancelled);
  EXPECT_EQ(encoder.started.size(), 1u);
  EXPECT_EQ(c().CurrentStep, 1);
  EXPECT_FALSE(c().Busy);
  EXPECT_FALSE(fs::exists(made));
  EXPECT_TRUE(fs::exists(home / "movie 1.avi"));
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ConversionTest, CancelAfterARowDeletesOnlyTheWizardsFiles) {
  ReachOutputStep(2, false);
  std::ofstream(Temp() / "mine.txt") << "user's";
  c().NextButton_Click();
  Complete();
  const fs::path first = c().screen().rows[0].converted;
  ASSERT_TRUE(fs::exists(first));
  c().QuitButton_Click();
  Complete(EncodeStatus::kCancelled);
  EXPECT_FALSE(fs::exists(first));
  EXPECT_TRUE(fs::exists(Temp() / "mine.txt"));
  EXPECT_TRUE(c().screen().rows[0].converted.empty());
  EXPECT_EQ(c().CurrentStep, 1);
}

TEST_F(ConversionTest, AFailureStopsTheChainNamingTheFileAndTheReasonAndKeepsEarlierConversions) {
  ReachOutputStep(3, false);
  c().NextButton_Click();
  Complete();
  Complete(EncodeStatus::kFailed, "Invalid data found when processing input");
  EXPECT_EQ(encoder.started.size(), 2u);
  EXPECT_FALSE(c().Busy);
  EXPECT_EQ(c().CurrentStep, 3);
  EXPECT_FALSE(c().screen().rows[0].converted.empty());
  EXPECT_TRUE(c().screen().rows[1].converted.empty());
  ASSERT_FALSE(dialogs.messages.empty());
  EXPECT_EQ(dialogs.messages.back().text, "Can't convert " + (home / "movie 2.avi").native() + " into " +
                                              (Temp() / "02 - movie 2.mpg").native() +
                                              ":\r\nInvalid data found when processing input");
  // Starting again converts only what is left.
  c().NextButton_Click();
  EXPECT_EQ(encoder.started.back(), Temp() / "02 - movie 2.mpg");
}

TEST_F(ConversionTest, AVanishedSourceStopsBeforeAnythingStarts) {
  ReachOutputStep(2, false);
  fs::remove(home / "movie 2.avi");
  c().NextButton_Click();
  EXPECT_EQ(c().CurrentStep, 3);
  EXPECT_TRUE(encoder.started.empty());
  EXPECT_FALSE(c().Busy);
  EXPECT_EQ(dialogs.messages.back().text,
            "The video file " + (home / "movie 2.avi").native() +
                " cannot be found any more: remove it from the list or put it back.");
}

TEST_F(ConversionTest, TheTotalBarForTheSecondOfFourRowsAtHalfShows38) {
  ReachOutputStep(4, false);
  encoder.duration = 100;
  c().NextButton_Click();
  Complete();
  encoder.position = 50;
  encoder.fps_now = 123.4;
  now += 3725;
  c().Taldex1_Progress(50);
  EXPECT_EQ(c().screen().progress1, 50);
  EXPECT_EQ(c().screen().progress2, 38);  // 150 of 400 seconds
  EXPECT_EQ(c().screen().file_progress, "File progress : 50% (00:00:50 of 00:01:40 converted)");
  EXPECT_EQ(c().screen().frames_encoded, "Frames Encoded : 123 fps");
  EXPECT_EQ(c().screen().time_elapsed, "Time Elapsed : 01:02:05");
  EXPECT_EQ(c().screen().time_left, "Time Left : 01:43:28");
}

TEST_F(ConversionTest, DuringTheMenuClipTheTotalBarStaysAtZeroAndAByteAbove102IsWorkedOut) {
  ReachOutputStep(2, true);
  c().NextButton_Click();
  encoder.position = 0.5;  // of the fake's one second
  c().Taldex1_Progress(255);
  EXPECT_EQ(c().screen().progress1, 50);
  EXPECT_EQ(c().screen().progress2, 0);
}

TEST_F(ConversionTest, ABitRateAboveTheDvdLimitIsUsedAs9000AndShown) {
  ReachOutputStep(1, false);
  c().screen().bitrate_text = "15000";
  c().NextButton_Click();
  EXPECT_EQ(encoder.video_bitrate, 9000000);
  EXPECT_EQ(c().VideoBitrate, 9000);
  EXPECT_EQ(c().screen().bitrate_text, "9000");
}

TEST_F(ConversionTest, AFailedMenuClipKeepsTheMenuStepWithAMessage) {
  Start();
  Walk(1);
  c().AddVideoFiles({Video("a.avi")});
  Walk(2);
  clip_maker.succeed = false;
  c().NextButton_Click();
  EXPECT_EQ(c().CurrentStep, 2);
  EXPECT_EQ(dialogs.messages.back().text.rfind("Can't make the menu clip: ", 0), 0u);
  EXPECT_FALSE(fs::exists(home / "menutemp.bmp"));
  clip_maker.succeed = true;
  view.save_ok = false;
  c().NextButton_Click();
  EXPECT_EQ(c().CurrentStep, 2);
  view.save_ok = true;
  c().NextButton_Click();
  EXPECT_EQ(c().CurrentStep, 3);
}

}  // namespace
}  // namespace vantora
