#include "vantora/video_list.h"

#include <gtest/gtest.h>

#include <fstream>

#include "controller_testutil.h"

namespace vantora {
namespace {

namespace fs = std::filesystem;
using testing::ControllerFixture;

TEST(RowCaptionTest, NumbersHaveAtLeastTwoDigits) {
  EXPECT_EQ(RowCaption(1, "holiday.avi"), "01 - holiday.avi");
  EXPECT_EQ(RowCaption(99, "x"), "99 - x");
  EXPECT_EQ(RowCaption(100, "x"), "100 - x");
}

TEST(ConvertedFileNames, TheCaptionUpToItsLastDotGetsMpg) {
  EXPECT_EQ(ConvertedFileBaseName("03 - trip.avi"), "03 - trip.mpg");
  EXPECT_EQ(ConvertedFileBaseName("03 - a.b.mkv"), "03 - a.b.mpg");
  EXPECT_EQ(ConvertedFileBaseName("04 - noext"), "04 - noext.mpg");
}

TEST(ConvertedFileNames, RowsOfTheSameCaptionStemGetDistinctFiles) {
  std::vector<VideoRow> rows(3);
  rows[0].text = "02 - a.avi";
  rows[0].source = "/videos/a.avi";
  rows[1].text = "02 - a.mp4";
  rows[1].source = "/videos/a.mp4";
  rows[2].text = "02 - a";
  rows[2].source = "/other/a";
  const auto files = AssignConvertedFiles(rows, "/tmp/p");
  EXPECT_EQ(files,
            (std::vector<fs::path>{"/tmp/p/02 - a.mpg", "/tmp/p/02 - a (2).mpg", "/tmp/p/02 - a (3).mpg"}));
}

TEST(ConvertedFileNames, AConvertedRowKeepsItsFileAndNoFileIsASource) {
  std::vector<VideoRow> rows(3);
  rows[0].text = "01 - b.avi";
  rows[0].source = "/tmp/p/01 - x.mpg";
  rows[0].converted = "/tmp/p/01 - b.mpg";
  rows[1].text = "01 - b.mkv";
  rows[1].source = "/v/b.mkv";
  rows[2].text = "01 - x.avi";  // would convert onto row 0's source
  rows[2].source = "/v/x.avi";
  const auto files = AssignConvertedFiles(rows, "/tmp/p/./");
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0], "/tmp/p/01 - b.mpg");
  EXPECT_EQ(files[1].filename(), "01 - b (2).mpg");
  EXPECT_EQ(files[2].filename(), "01 - x (2).mpg");
}

TEST(SizeEstimateTest, TwoRowsOfAHundredSecondsReadAsTheirPayload) {
  std::vector<VideoRow> rows(2);
  for (VideoRow& row : rows) row.seconds = 100, row.has_audio = true, row.has_video = true;
  const SizeEstimate e = EstimateSize(rows, 4500, 448);
  EXPECT_EQ(e.kilobytes, 123700);
  EXPECT_EQ(e.size_text, "Estimated size : 120.8 MB");
  EXPECT_EQ(e.gauge_megabytes, 121);
  EXPECT_EQ(e.duration_text, "03:21");
}

TEST(SizeEstimateTest, AnEmptyListIsZeroAndOneSecond) {
  const SizeEstimate e = EstimateSize({}, 4500, 448);
  EXPECT_EQ(e.size_text, "Estimated size : 0 MB");
  EXPECT_EQ(e.duration_text, "00:01");
  EXPECT_EQ(e.gauge_megabytes, 0);
}

TEST(SizeEstimateTest, AVideoOnlyRowCountsVideoOnlyAndAConvertedRowItsFile) {
  testing::TempFolder temp;
  std::vector<VideoRow> rows(3);
  rows[0].seconds = 8, rows[0].has_video = true;  // 4500 / 8 x 8 = 4500 KB
  rows[1].seconds = 50, rows[1].converted = temp / "c.mpg";
  std::ofstream(rows[1].converted) << std::string(10240, 'x');  // 10 KB
  rows[2].seconds = 5, rows[2].converted = temp / "gone.mpg";   // vanished: 0
  EXPECT_EQ(EstimateSize(rows, 4500, 448).kilobytes, 4510);
}

TEST(MegabytesTextTest, TwoDecimalsHalvesToEvenTrailingZerosDropped) {
  EXPECT_EQ(MegabytesText(120.80078), "120.8");
  EXPECT_EQ(MegabytesText(1.0), "1");
  EXPECT_EQ(MegabytesText(0.125), "0.12");
  EXPECT_EQ(MegabytesText(2.5), "2.5");
}

TEST(VideoTsFolderTest, OnlyAFolderWithVideoTsIfoInAnyCaseIsAccepted) {
  testing::TempFolder lower, other, upper, folder_named;
  std::ofstream(lower / "video_ts.ifo") << "x";
  std::ofstream(upper / "VIDEO_TS.IFO") << "x";
  std::ofstream(other / "foo.ifo") << "x";
  fs::create_directory(folder_named / "VIDEO_TS.IFO");
  EXPECT_TRUE(IsVideoTsFolder(lower.path()));
  EXPECT_TRUE(IsVideoTsFolder(upper.path()));
  EXPECT_FALSE(IsVideoTsFolder(other.path()));
  EXPECT_FALSE(IsVideoTsFolder(folder_named.path()));
  EXPECT_FALSE(IsVideoTsFolder(other / "missing"));
}

class VideoListTest : public ControllerFixture {};

TEST_F(VideoListTest, ThreeFilesOfOneDialogBecomeRows01To03InDialogOrderAndSetTheAddFolder) {
  Start();
  Walk(1);
  const fs::path a = Video("été 日本.avi"), b = Video("b c.mp4"), d = Video("🎬.mkv");
  dialogs.files_answer = {a.native(), b.native(), d.native()};
  c().LabelAddFile_Click();
  ASSERT_EQ(c().screen().rows.size(), 3u);
  EXPECT_EQ(c().screen().rows[0].text, "01 - été 日本.avi");
  EXPECT_EQ(c().screen().rows[1].text, "02 - b c.mp4");
  EXPECT_EQ(c().screen().rows[2].text, "03 - 🎬.mkv");
  EXPECT_EQ(c().screen().rows[2].source, d);
  EXPECT_EQ(c().AddFolder, home.native());
  ASSERT_EQ(dialogs.open_calls.size(), 1u);
  EXPECT_TRUE(dialogs.open_calls[0].multiple);
  EXPECT_EQ(dialogs.open_calls[0].filter, VideoFileFilter());
}

TEST_F(VideoListTest, OneFileStoresItsFolderWithTheSeparatorAndACancelChangesNothing) {
  Start();
  Walk(1);
  const std::string before = c().AddFolder;
  c().LabelAddFile_Click();
  EXPECT_EQ(c().AddFolder, before);
  EXPECT_TRUE(c().screen().rows.empty());
  dialogs.files_answer = {Video("one.avi").native()};
  c().LabelAddFile_Click();
  EXPECT_EQ(c().AddFolder, home.native() + "/");
}

TEST_F(VideoListTest, ProbesOffTheViewThreadAddRowsInTheChosenOrderAndHoldNextAndClear) {
  Start(/*with_queue=*/true);
  Walk(1);
  std::vector<fs::path> files;
  for (int i = 0; i < 9; ++i) files.push_back(Video("v" + std::to_string(i) + ".avi"));
  c().AddVideoFiles(files);
  EXPECT_TRUE(c().screen().probing);
  c().NextButton_Click();  // waits for the rows
  EXPECT_EQ(c().CurrentStep, 1);
  c().Image2_Click();  // clearing waits too
  Pump();
  EXPECT_FALSE(c().screen().probing);
  ASSERT_EQ(c().screen().rows.size(), 9u);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(c().screen().rows[i].source, files[i]);
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(VideoListTest, ADuplicateIsRefusedAsAlreadyInTheListNamingItsPath) {
  Start();
  Walk(1);
  const fs::path a = Video("été 日本 🎬.avi");
  fs::create_symlink(a, home / "link.avi");  // the same file under another name
  c().AddVideoFiles({a, a, home / "link.avi"});
  EXPECT_EQ(c().screen().rows.size(), 1u);
  ASSERT_EQ(dialogs.messages.size(), 2u);
  EXPECT_EQ(dialogs.messages[0].text, "This file is already in the list:\r\n" + a.native());
  EXPECT_EQ(dialogs.messages[1].text, "This file is already in the list:\r\n" + (home / "link.avi").native());
  EXPECT_EQ(dialogs.messages[0].title, "Vantora");
  EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::kExclamation);
}

TEST_F(VideoListTest, NoVideoIsRefusedAndNoAudioAsksWithTheExactTexts) {
  Start();
  Walk(1);
  const fs::path sound = Video("sound.wav", 100, false, true);
  const fs::path silent = Video("silent.avi", 100, true, false);
  c().AddVideoFiles({sound});
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "No video stream found in this file!");
  EXPECT_EQ(dialogs.messages[0].title, "Vantora Converter");
  EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::kExclamation);
  dialogs.yes = false;
  c().AddVideoFiles({silent});
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].text,
            "No audio stream found in this file!\r\n\r\n" + silent.native() +
                "\r\n\r\nDo you want to add this file ? (warning, no audio will be encoded)");
  EXPECT_EQ(dialogs.questions[0].title, "Vantora");
  EXPECT_EQ(dialogs.questions[0].icon, MessageIcon::kNone);
  EXPECT_TRUE(c().screen().rows.empty());
  dialogs.yes = true;
  c().AddVideoFiles({silent});
  ASSERT_EQ(c().screen().rows.size(), 1u);
  EXPECT_FALSE(c().screen().rows[0].has_audio);
}

TEST_F(VideoListTest, AnUnreadableFileAZeroDurationAndAFolderAreRefused) {
  Start();
  Walk(1);
  const fs::path zero = Video("zero.avi", 0.4);
  fs::create_directory(home / "folder.avi");
  c().AddVideoFiles({zero, home / "folder.avi", home / "missing.avi"});
  EXPECT_TRUE(c().screen().rows.empty());
  ASSERT_EQ(dialogs.messages.size(), 3u);
  EXPECT_EQ(dialogs.messages[1].text,
            "Can't add this file. Unrecognized format...\r\n" + (home / "folder.avi").native());
}

TEST_F(VideoListTest, TwoRowsOfAHundredSecondsShowTheEstimateAndTheGauge) {
  Start();
  Walk(1);
  c().AddVideoFiles({Video("a.avi"), Video("b.avi")});
  EXPECT_EQ(c().screen().estimated_size_text, "Estimated size : 120.8 MB");
  EXPECT_EQ(c().screen().gauge_value, 121);
  EXPECT_EQ(c().EstimatedSizeKB, 123700);
  EXPECT_EQ(c().screen().total_duration_text, "03:21");
  c().Slider1_Change(9000);
  EXPECT_EQ(c().screen().bitrate_text, "9000");
  EXPECT_EQ(c().EstimatedSizeKB, (9000 / 8 + 56) * 200);
}

TEST_F(VideoListTest, RemoveThenReAddGivesTwoRowsOfOneNumberWithDistinctOutputFiles) {
  Start();
  Walk(1);
  const fs::path a = Video("a.avi"), b = Video("b.avi"), a4 = Video("a.mp4");
  c().AddVideoFiles({b, a});
  c().Image8_Click(0);
  c().AddVideoFiles({a4});
  ASSERT_EQ(c().screen().rows.size(), 2u);
  EXPECT_EQ(c().screen().rows[0].text, "02 - a.avi");
  EXPECT_EQ(c().screen().rows[1].text, "02 - a.mp4");
  const auto files = AssignConvertedFiles(c().screen().rows, c().TempFolder);
  EXPECT_NE(files[0], files[1]);
  c().Image8_Click(5);  // no such row: nothing happens
  EXPECT_EQ(c().screen().rows.size(), 2u);
}

TEST_F(VideoListTest, TheHundredthRowIsRefused) {
  Start();
  Walk(1);
  std::vector<fs::path> files;
  for (int i = 0; i < 100; ++i) files.push_back(Video("v" + std::to_string(i) + ".avi"));
  c().AddVideoFiles(files);
  EXPECT_EQ(c().screen().rows.size(), 99u);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text,
            "A DVD holds at most 99 videos: this file is not added.\r\n" + files[99].native());
}

TEST_F(VideoListTest, ADropOfNoFilesAddsNothing) {
  Start();
  Walk(1);
  c().ListViewChapters_OLEDragDrop({});
  c().ListViewChapters_OLEDragDrop({""});
  EXPECT_TRUE(c().screen().rows.empty());
  EXPECT_TRUE(dialogs.messages.empty());
  c().ListViewChapters_OLEDragDrop({Video("dropped.avi").native()});
  EXPECT_EQ(c().screen().rows.size(), 1u);
}

TEST_F(VideoListTest, ClearRemovesTheRowsAndOnlyTheWizardsFiles) {
  Start();
  Walk(1);
  c().AddVideoFiles({Video("a.avi")});
  const fs::path made = c().TempFolder / "01 - a.mpg";
  std::ofstream(made) << "x";
  c().RecordCreatedFile(made);
  c().Image2_Click();
  EXPECT_TRUE(c().screen().rows.empty());
  EXPECT_FALSE(fs::exists(made));
  EXPECT_TRUE(fs::exists(home / "a.avi"));
  EXPECT_EQ(c().screen().estimated_size_text, "Estimated size : 0 MB");
}

TEST_F(VideoListTest, AnExistingVideoTsFolderNeedsVideoTsIfoAndTheGaugeShowsItsSize) {
  Start();
  Walk(1);
  c().AddVideoFiles({Video("a.avi")});
  const int list_gauge = c().screen().gauge_value;
  testing::TempFolder parent, bad;
  const fs::path good = parent / "VIDEO_TS";
  fs::create_directory(good);
  std::ofstream(good / "video_ts.ifo") << "x";
  std::ofstream(good / "VTS_01_1.VOB") << "x";
  fs::resize_file(good / "VTS_01_1.VOB", 50u << 20);
  std::ofstream(bad / "foo.ifo") << "x";
  struct Row {
    fs::path chosen;
    std::string message;
  };
  const Row refused[] = {
      {bad.path(),
       "Your directory is not a valid DVD video directory\n"
       "Please choose the VIDEO_TS folder itself, the one that holds VIDEO_TS.IFO."},
      {parent.path(),
       "Your directory is not a valid DVD video directory\n"
       "Please choose the VIDEO_TS folder itself: " +
           good.native()},
  };
  for (const Row& row : refused) {
    dialogs.messages.clear();
    dialogs.folder_answer = row.chosen.native();
    c().Image7_Click();
    EXPECT_FALSE(c().UseExistingVideoTs);
    EXPECT_EQ(c().CurrentStep, 1);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, row.message);
    EXPECT_EQ(c().screen().gauge_value, list_gauge);
  }
  dialogs.folder_answer = good.native();
  c().Image7_Click();
  EXPECT_TRUE(c().UseExistingVideoTs);
  EXPECT_EQ(c().ExistingVideoTsFolder, good);
  EXPECT_EQ(c().CurrentStep, 3);
  EXPECT_FALSE(c().screen().option3_visible);
  EXPECT_EQ(c().screen().output_option, kOutputBurn);
  EXPECT_EQ(c().screen().gauge_value, 50) << "the folder's size, not the video list's";
  EXPECT_EQ(dialogs.browse_titles.back(), "Please select your Video_TS directory");
}

}  // namespace
}  // namespace vantora
