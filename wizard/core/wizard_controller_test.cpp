#include "vantora/wizard_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "core_testutil.h"
#include "platform/text.h"
#include "wizard_fakes.h"

namespace vantora {
namespace {

namespace fs = std::filesystem;
using testing::FakeDrive;

class RecordingView final : public WizardView {
 public:
  void Refresh() override { ++refreshes; }
  bool SaveMenuPicture(const fs::path& bitmap) override {
    std::ofstream(bitmap) << "BM";
    saved.push_back(bitmap);
    return true;
  }
  void EndProgram() override { ++ended; }
  int refreshes = 0, ended = 0;
  std::vector<fs::path> saved;
};

void Touch(const fs::path& path) { std::ofstream(path) << "data"; }

class WizardControllerTest : public ::testing::Test, protected testing::WizardFakes {
 protected:
  void SetUp() override {
    // Not a first run: no page is opened.
    std::ofstream(ConfigFile(home)) << "[LAUNCH]\nVALUE=True\n";
  }
  void TearDown() override { controller.reset(); }
  void Start(std::vector<FakeDrive> drives = {{1, 0, 0, "ACME    ", "DVDRW X1", "1.02"}}) {
    controller = std::make_unique<WizardController>(Parts(home, std::move(drives)), view);
    controller->Start();
  }
  WizardController& c() { return *controller; }
  // Walks to step n with one video in the list.
  void WalkTo(int step) {
    if (c().screen().rows.empty()) c().AddVideo(home / "movie.mpg");
    while (c().CurrentStep < step) c().NextButton_Click();
  }

  testing::TempFolder temp;
  fs::path home = temp.path();
  RecordingView view;
  std::unique_ptr<WizardController> controller;
};

TEST_F(WizardControllerTest, StartUpListsTheDrivesSelectsTheFirstAndShowsStepZeroWithTheDefaults) {
  Start();
  EXPECT_EQ(c().CurrentStep, 0);
  EXPECT_EQ(c().screen().drive_entries, std::vector<std::string>{"[1:0:0] ACME DVDRW X1 (1.02)"});
  EXPECT_EQ(c().screen().selected_drive, 0);
  EXPECT_EQ(c().screen().label, "New DVD");
  EXPECT_EQ(c().screen().bitrate_text, "4500");
  EXPECT_EQ(c().screen().temp_path, platform::PathToUtf8(home / "projects"));
  EXPECT_TRUE(c().screen().gauge_gigabytes);
  EXPECT_EQ(c().screen().gauge_maximum, 9000);
  EXPECT_EQ(c().AudioBitrate, 448);
  EXPECT_EQ(c().screen().status_version, "Version 1.0.0");
  EXPECT_TRUE(burner_log.dispatcher_set == false);  // no dispatcher given here
  EXPECT_TRUE(shell.opened.empty());
}

TEST_F(WizardControllerTest, TheSavedDriveEntryIsSelectedAndOneOutsideTheListSelectsTheFirst) {
  std::ofstream(ConfigFile(home), std::ios::app) << "[Drive]\nburner=2\n";
  Start({{0, 0, 0, "A", "one", "1"}, {0, 1, 0, "B", "two", "1"}});
  EXPECT_EQ(c().screen().selected_drive, 1);
  controller.reset();
  std::ofstream(ConfigFile(home)) << "[LAUNCH]\nVALUE=True\n[Drive]\nburner=7\n";
  Start({{0, 0, 0, "A", "one", "1"}, {0, 1, 0, "B", "two", "1"}});
  EXPECT_EQ(c().screen().selected_drive, 0);
}

TEST_F(WizardControllerTest, WithNoDriveTheIsoOptionIsChosenAndNoDriveIsEverListenedTo) {
  Start({});
  EXPECT_EQ(c().screen().selected_drive, -1);
  EXPECT_FALSE(c().screen().option1_enabled);
  EXPECT_FALSE(c().screen().drive_list_enabled);
  EXPECT_EQ(c().screen().option1_caption, "Burn the project on DVD (No compatible drive was found!)");
  EXPECT_EQ(c().screen().output_option, kOutputIso);
  EXPECT_FALSE(c().screen().frame_burner_visible);
  EXPECT_TRUE(c().screen().frame_output_dir_visible);
  WalkTo(3);
  c().UpdateOutputFrames(kOutputBurn);
  c().ImageCombo1_Click(-1);
  EXPECT_TRUE(burner_log.listened.empty());
  // Even with the burn option chosen (as an existing VIDEO_TS folder does),
  // Start refuses to burn without a drive.
  c().UseExistingVideoTs = true;
  c().NextButton_Click();
  EXPECT_EQ(c().CurrentStep, 3);
  EXPECT_EQ(dialogs.messages.size(), 1u);
  EXPECT_FALSE(c().Busy);
  EXPECT_EQ(std::count(burner_log.calls.begin(), burner_log.calls.end(), "CancelBurn"), 0);
}

TEST_F(WizardControllerTest, StepThreeListensOnTheSelectedDriveAndEveryStepChangeStopsTheListener) {
  Start();
  WalkTo(3);
  ASSERT_EQ(burner_log.listened, std::vector<int>{0});
  burner_log.calls.clear();
  c().PreviousButton_Click();
  EXPECT_EQ(burner_log.calls.front(), "StopListen");
  burner_log.calls.clear();
  c().NextButton_Click();
  c().UpdateOutputFrames(kOutputIso);
  EXPECT_EQ(burner_log.calls, (std::vector<std::string>{"StopListen", "Listen 0", "StopListen"}));
  EXPECT_TRUE(c().screen().next_enabled);
  c().UpdateOutputFrames(kOutputBurn);
  EXPECT_FALSE(c().screen().next_enabled);  // until a usable disc is found
  EXPECT_TRUE(c().screen().frame_burner_visible);
  EXPECT_EQ(burner_log.calls.back(), "Listen 0");
}

TEST_F(WizardControllerTest, LabelsThatCannotNameAFolderAreRefusedWhenLeavingStepZero) {
  Start();
  for (const char* label : {"", ".", "..", "a/b", "a\\b", "tab\there"}) {
    c().screen().label = label;
    dialogs.messages.clear();
    c().NextButton_Click();
    EXPECT_EQ(c().CurrentStep, 0) << label;
    ASSERT_EQ(dialogs.messages.size(), 1u) << label;
    EXPECT_EQ(dialogs.messages[0].title, "Vantora");
  }
  c().screen().label = std::string(200, 'x');  // the engines cut long labels themselves
  c().NextButton_Click();
  EXPECT_EQ(c().CurrentStep, 1);
}

TEST_F(WizardControllerTest, LeavingStepZeroSetsTheEncoderUpAndHoldsTheBitRate) {
  Start();
  c().screen().bitrate_text = "0";
  c().OptionNTSC_Click(false);
  c().screen().aspect_4x3 = false;
  c().NextButton_Click();
  EXPECT_EQ(c().VideoBitrate, 4500);
  EXPECT_EQ(c().screen().bitrate_text, "4500");
  EXPECT_EQ(encoder.video_bitrate, 4500000);
  EXPECT_EQ(encoder.audio_bitrate, 448000);
  EXPECT_EQ(encoder.channels, 2);
  EXPECT_EQ(encoder.sample_rate, 48000);
  EXPECT_EQ(encoder.bits, 16);
  EXPECT_EQ(encoder.tv, kTvSystemPal);
  EXPECT_EQ(encoder.height, 576);
  EXPECT_FLOAT_EQ(encoder.fps, 25.0f);
  EXPECT_EQ(encoder.aspect, kAspect16x9);
  EXPECT_EQ(c().screen().menu_page_height_twips, kMenuPageHeightPalTwips);
  c().PreviousButton_Click();
  c().screen().bitrate_text = "20000";
  c().NextButton_Click();
  EXPECT_EQ(c().VideoBitrate, kMaxDvdVideoBitrate);
}

TEST_F(WizardControllerTest, AMissingTemporaryFolderIsRecreatedUnderTheProgramFolder) {
  Start();
  c().screen().temp_path = platform::PathToUtf8(home / "gone" / "deeper");
  c().NextButton_Click();
  EXPECT_EQ(c().TempFolder, home / "projects");
  EXPECT_EQ(c().screen().temp_path, platform::PathToUtf8(home / "projects"));
  EXPECT_TRUE(fs::is_directory(home / "projects"));
}

TEST_F(WizardControllerTest, TheCleanUpDeletesOnlyFilesTheWizardMadeAndNeverARowsSource) {
  Start();
  const fs::path temp = home / "projects";
  fs::create_directories(temp);
  Touch(temp / "holiday.mpg");  // the user's own video in the temporary folder
  Touch(temp / "1 - a.mpg");    // converted by the wizard
  c().AddVideo(temp / "holiday.mpg");
  c().RecordCreatedFile(temp / "1 - a.mpg");
  c().RecordCreatedFile(temp / "holiday.mpg");  // even if recorded, a source stays
  c().NextButton_Click();
  EXPECT_TRUE(fs::exists(temp / "holiday.mpg"));
  EXPECT_FALSE(fs::exists(temp / "1 - a.mpg"));
}

TEST_F(WizardControllerTest, AnEmptyListKeepsStepOneWithItsMessageAndItsEffectsAppliedAgain) {
  Start();
  c().NextButton_Click();
  encoder.video_bitrate = 0;
  c().NextButton_Click();
  EXPECT_EQ(c().CurrentStep, 1);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "You must insert at least 1 video file into your project");
  EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::kExclamation);
  EXPECT_EQ(encoder.video_bitrate, 4500000);
}

TEST_F(WizardControllerTest, PreviousWithConvertedRowsAsksAndNoKeepsStepOne) {
  Start();
  WalkTo(1);
  c().screen().rows[0].converted = home / "projects" / "1.mpg";
  dialogs.yes = false;
  c().PreviousButton_Click();
  EXPECT_EQ(c().CurrentStep, 1);
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].text,
            "Be carefull, all your already converted files will be lost if you change the project "
            "settings.\nDo you wan to continue");
  dialogs.yes = true;
  c().PreviousButton_Click();
  EXPECT_EQ(c().CurrentStep, 0);
}

TEST_F(WizardControllerTest, WithAClassicalMenuStepThreeWritesTheMenuClipAndRemovesTheBitmap) {
  Start();
  WalkTo(2);
  ASSERT_TRUE(c().screen().classical_menu);
  c().NextButton_Click();
  EXPECT_EQ(c().CurrentStep, 3);
  ASSERT_EQ(clip_maker.calls.size(), 1u);
  EXPECT_EQ(clip_maker.calls[0].picture, home / "menutemp.bmp");
  EXPECT_EQ(clip_maker.calls[0].clip, home / "menutemp.avi");
  EXPECT_EQ(clip_maker.calls[0].ms, 1000);
  EXPECT_FALSE(fs::exists(home / "menutemp.bmp"));
}

TEST_F(WizardControllerTest, EveryJobEndClearsBusySoTheWindowCanClose) {
  Start();
  WalkTo(3);
  c().Busy = true;
  EXPECT_TRUE(c().QueryUnload());
  EXPECT_EQ(dialogs.messages.back().text, "You must cancel the current process to close this window");
  EXPECT_EQ(dialogs.messages.back().icon, MessageIcon::kInformation);
  EXPECT_EQ(view.ended, 0);
  // The job failed.
  c().EndJob(true);
  EXPECT_FALSE(c().Busy);
  EXPECT_EQ(c().CurrentStep, 1);
  // A job that cannot start leaves Busy clear too: here the video is gone.
  WalkTo(3);
  c().NextButton_Click();
  EXPECT_EQ(dialogs.messages.back().text.rfind("The video file ", 0), 0u);
  EXPECT_FALSE(c().Busy);
  EXPECT_EQ(c().CurrentStep, 3);
  EXPECT_FALSE(c().QueryUnload());
  EXPECT_EQ(view.ended, 1);
}

TEST_F(WizardControllerTest, CancelDuringAuthoringOnlyRequestsAStopUntilTheBuildHasReturned) {
  Start();
  WalkTo(3);
  c().ShowStep(5);
  c().Busy = true;
  c().screen().rows[0].converted = home / "projects" / "1.mpg";
  authoring.building = true;
  c().QuitButton_Click();
  EXPECT_TRUE(c().StopRequested);
  EXPECT_EQ(authoring.clear_calls, std::vector<bool>{true});  // a stop request
  EXPECT_EQ(c().CurrentStep, 5);
  EXPECT_FALSE(c().screen().rows[0].converted.empty());
  authoring.building = false;
  c().OnAuthoringReturned();
  EXPECT_EQ(authoring.clear_calls, (std::vector<bool>{true, false}));
  EXPECT_EQ(c().CurrentStep, 1);
  EXPECT_TRUE(c().screen().rows[0].converted.empty());
  EXPECT_FALSE(c().Busy);
}

TEST_F(WizardControllerTest, CancelDuringABurnAsksTheEngineAndWaitsForItsEnd) {
  Start();
  WalkTo(3);
  c().ShowStep(5);
  c().Burning = true;
  c().Busy = true;
  c().QuitButton_Click();
  EXPECT_EQ(burner_log.calls.back(), "CancelBurn");
  EXPECT_EQ(c().CurrentStep, 5);
  EXPECT_TRUE(c().Busy);
}

TEST_F(WizardControllerTest, CancellingARunningJobIsConfirmedFirstAndNoKeepsItRunning) {
  const struct {
    const char* name;
    int step;
    bool burning;
    bool building;
    const char* question_start;
  } cases[] = {
      {"conversion", 4, false, false, "Stop the conversion?"},
      {"burn", 5, true, false, "Stop burning?"},
      {"authoring", 5, false, true, "Stop making the DVD?"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    controller.reset();
    burner_log.calls.clear();
    authoring.clear_calls.clear();
    encoder.stops = 0;
    dialogs.questions.clear();
    Start();
    WalkTo(3);
    if (k.burning) c().screen().output_option = kOutputBurn;
    c().ShowStep(k.step);
    c().Busy = true;
    c().Burning = k.burning;
    authoring.building = k.building;
    auto stopped = [&] {
      return encoder.stops > 0 || !authoring.clear_calls.empty() ||
             std::count(burner_log.calls.begin(), burner_log.calls.end(), "CancelBurn") > 0;
    };
    dialogs.yes = false;
    c().QuitButton_Click();
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].text.rfind(k.question_start, 0), 0u) << dialogs.questions[0].text;
    EXPECT_FALSE(stopped());
    EXPECT_FALSE(c().StopRequested);
    EXPECT_EQ(c().CurrentStep, k.step);
    dialogs.yes = true;
    c().QuitButton_Click();
    EXPECT_EQ(dialogs.questions.size(), 2u);
    EXPECT_TRUE(c().StopRequested);
    if (k.step == 4) {
      EXPECT_EQ(c().CurrentStep, 1);  // nothing was being encoded: the cancel is done
    } else {
      EXPECT_TRUE(stopped());
    }
    authoring.building = false;
  }
  // The job ends while the question is open: Yes then cancels nothing and
  // does not end the program.
  controller.reset();
  Start();
  WalkTo(3);
  c().ShowStep(5);
  c().Busy = true;
  c().Burning = true;
  burner_log.calls.clear();
  dialogs.while_asked = [&] { c().EndJob(true); };
  c().QuitButton_Click();
  dialogs.while_asked = nullptr;
  EXPECT_EQ(std::count(burner_log.calls.begin(), burner_log.calls.end(), "CancelBurn"), 0);
  EXPECT_EQ(c().CurrentStep, 1);
  EXPECT_EQ(view.ended, 0);
  // Outside a job Quit ends the program without a question.
  dialogs.questions.clear();
  c().ShowStep(0);
  c().QuitButton_Click();
  EXPECT_TRUE(dialogs.questions.empty());
  EXPECT_EQ(view.ended, 1);
}

TEST_F(WizardControllerTest, TheSleepLockIsHeldDuringConversionAndCompilationAndLetGoAtEveryEnd) {
  Start();
  Touch(home / "movie.mpg");
  WalkTo(4);  // the conversion starts
  EXPECT_TRUE(inhibitor.held);
  c().ShowStep(5);
  EXPECT_TRUE(inhibitor.held);
  c().EndJob(false);  // a compilation that ended on its page
  EXPECT_FALSE(inhibitor.held);
  c().ShowStep(3);
  c().NextButton_Click();
  EXPECT_TRUE(inhibitor.held);
  c().QuitButton_Click();  // cancelled: held until the encoder has ended
  EXPECT_TRUE(inhibitor.held);
  c().Taldex1_Completed(encoder.Finish(EncodeStatus::kCancelled));
  EXPECT_FALSE(inhibitor.held);
  EXPECT_EQ(c().CurrentStep, 1);
  c().ShowStep(4);
  c().Busy = true;
  c().Terminate();
  EXPECT_FALSE(inhibitor.held);
  EXPECT_EQ(inhibitor.reasons,
            (std::vector<std::string>{"Converting videos for a DVD", "Converting videos for a DVD",
                                      "Converting videos for a DVD"}));
}

TEST_F(WizardControllerTest, QuitAtStepZeroSavesTheNineKeysInOrderAndUnloadsTheEngine) {
  Start();
  c().screen().label = "Holiday";
  c().screen().bitrate_text = "6000";
  c().OptionNTSC_Click(false);
  c().QuitButton_Click();
  EXPECT_EQ(view.ended, 1);
  EXPECT_EQ(encoder.shutdowns, 1);
  EXPECT_EQ(burner_log.calls.back(), "UnloadCom");
  const std::string ini = testing::ReadBytes(ConfigFile(home));
  const std::vector<std::string> order = {
      "[videobitrate]", "value=6000",    "[tempPath]",  "[parameter]", "videobitrate=4500", "label=Holiday",
      "NTSC=False",     "Option43=True", "[outPutDir]", "[RepInit]",   "[ShowPreview]"};
  std::size_t at = 0;
  for (const std::string& item : order) {
    const std::size_t found = ini.find(item, at);
    ASSERT_NE(found, std::string::npos) << item << "\n" << ini;
    at = found;
  }
}

TEST_F(WizardControllerTest, FolderDialogsCancelledChangeNothing) {
  Start();
  const std::string before = c().screen().temp_path;
  c().Command1_Click();
  c().CommandOutputDirSelect_Click();
  EXPECT_EQ(c().screen().temp_path, before);
  EXPECT_EQ(dialogs.browse_titles,
            (std::vector<std::string>{"Select the temp directory", "Select the output directory"}));
  dialogs.folder_answer = platform::PathToUtf8(home / "elsewhere");
  c().Command1_Click();
  EXPECT_EQ(c().TempFolder, home / "elsewhere");
}

TEST_F(WizardControllerTest, TheFirstRunMarksTheFileAndOpensThePageOnlyWithAHost) {
  std::ofstream(ConfigFile(home)) << "";
  Start();
  EXPECT_EQ(ReadIni(ConfigFile(home), "LAUNCH", "VALUE"), "True");
  EXPECT_TRUE(shell.opened.empty());
}

TEST_F(WizardControllerTest, TerminateWhileBusyStopsTheJobsAndEndsNormally) {
  Start();
  WalkTo(3);
  c().ShowStep(4);
  c().Busy = true;
  c().Terminate();
  EXPECT_EQ(encoder.stops, 1);
  EXPECT_EQ(authoring.clear_calls.size(), 1u);
  EXPECT_EQ(view.ended, 1);
  EXPECT_EQ(burner_log.calls.back(), "UnloadCom");
  EXPECT_FALSE(ReadIni(ConfigFile(home), "ShowPreview", "value").empty());
}

TEST(DriveEntryText, TrimsTheTextsAndJoinsTheAddress) {
  EXPECT_EQ(DriveEntryText(1, 0, 0, "ACME    ", " DVDRW X1", "1.02 "), "[1:0:0] ACME DVDRW X1 (1.02)");
}

}  // namespace
}  // namespace vantora
