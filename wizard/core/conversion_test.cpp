#include <gtest/gtest.h>

#include <fstream>

#include "controller_fixture.h"

namespace vantora {
namespace {

namespace fs = std::filesystem;

class ConversionTest : public testing::ControllerFixture {
 protected:
  // Rows of n videos, then the output step; with or without the menu.
  void ReachOutputStep(int n, bool menu) {
    Start();
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
};

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
  c().NextButton_Click();
  Complete();
  encoder.position = 50;
  encoder.fps_now = 123.4;
  encoder.elapsed = 3725;
  c().Taldex1_Progress(50);
  EXPECT_EQ(c().screen().progress1, 50);
  EXPECT_EQ(c().screen().progress2, 38);
  EXPECT_EQ(c().screen().file_progress, "File progress : 50% (00:00:50 of 00:00:01 converted)");
  EXPECT_EQ(c().screen().frames_encoded, "Frames Encoded : 123 fps");
  EXPECT_EQ(c().screen().time_elapsed, "Time Elapsed : 01:02:05");
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
