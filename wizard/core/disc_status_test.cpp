#include <grp.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include "controller_testutil.h"
#include "platform/text.h"

namespace vantora {
namespace {

namespace fs = std::filesystem;
using testing::FakeMedium;

constexpr char kEraseQuestion[] = "This disk is no more writable. Do you want to erase this disk?";

FakeMedium EmptyDvdPlusR() {
  FakeMedium m;
  m.type = 11;  // any code but -1 means a medium is present
  m.name = "DVD+R";
  m.empty = 1;
  m.writable = 1;
  m.total = 4482.623f;
  m.used = 0;
  return m;
}

FakeMedium FullDisc(const std::string& name) {
  FakeMedium m;
  m.type = 6;
  m.name = name;
  m.total = 4482.623f;
  m.used = 4482.623f;
  return m;
}

class DiscStatusTest : public testing::ControllerFixture {
 protected:
  // The output step with the burn option and its listener running.
  void ReachBurnOption() {
    Start();
    Walk(1);
    c().AddVideoFiles({Video("movie.avi", 100)});
    Walk(2);
    c().Combo2_Click(false);
    Walk(3);
    c().UpdateOutputFrames(kOutputBurn);
    dialogs.questions.clear();
  }
  void MediaChange() {
    ASSERT_NE(burner_log.media_events, nullptr);
    burner_log.media_events->BurnerOnMediaChange();
  }
  // The output step with option chosen for a project of one video of
  // seconds, the output folder out; folders measured by folder_space when set.
  void ReachOutput(int option, double seconds = 100) {
    controller.reset();
    WizardParts parts = ControllerParts();
    parts.folder_space = folder_space;
    StartWith(std::move(parts));
    Walk(1);
    c().AddVideoFiles({Video("movie.avi", seconds)});
    Walk(2);
    c().Combo2_Click(false);
    Walk(3);
    c().UpdateOutputFrames(option);
    c().screen().label = "New DVD";
    c().screen().output_dir = out.native();
    dialogs.questions.clear();
  }
  const WizardScreen& s() { return c().screen(); }
  fs::path out = home / "out é";
  std::function<std::optional<FolderSpace>(const fs::path&)> folder_space;
  int Questions(const std::string& text) {
    return static_cast<int>(std::count_if(dialogs.questions.begin(), dialogs.questions.end(),
                                          [&](const auto& q) { return q.text == text; }));
  }
};

TEST_F(DiscStatusTest, AnEmptyDvdPlusRShowsItsFreeSpaceToSevenDigitsAndLetsStartGoOn) {
  ReachBurnOption();
  EXPECT_FALSE(s().next_enabled);
  burner_log.media[0] = EmptyDvdPlusR();
  const int refreshes = burner_log.refreshes;
  burner_log.asked_outside_refresh = 0;
  MediaChange();
  EXPECT_EQ(s().disc_status_text, "DVD+R - Empty Disc (4482.623 MB)");
  EXPECT_FALSE(s().insert_disc_visible);
  EXPECT_TRUE(s().next_enabled);
  // Every question of the display is one refresh: the engine reads the medium
  // once for all of them.
  EXPECT_EQ(burner_log.refreshes, refreshes + 1);
  EXPECT_EQ(burner_log.open_refreshes, 0);
  EXPECT_EQ(burner_log.asked_outside_refresh, 0);
}

TEST_F(DiscStatusTest, AStatusAskedWhileTheMediumChangedIsAskedAgain) {
  ReachBurnOption();
  burner_log.media[0] = EmptyDvdPlusR();
  const int refreshes = burner_log.refreshes;
  burner_log.mixed_refreshes = 1;
  MediaChange();
  EXPECT_EQ(burner_log.refreshes, refreshes + 2);
  EXPECT_EQ(s().disc_status_text, "DVD+R - Empty Disc (4482.623 MB)");
  EXPECT_TRUE(s().next_enabled);
  // A drive whose medium keeps changing is asked a few times, then shown.
  burner_log.mixed_refreshes = 100;
  MediaChange();
  EXPECT_EQ(burner_log.refreshes, refreshes + 5);
  EXPECT_EQ(s().disc_status_text, "DVD+R - Empty Disc (4482.623 MB)");
  EXPECT_EQ(burner_log.open_refreshes, 0);
}

TEST_F(DiscStatusTest, ComingBackToTheOutputStepWithTheBurnOptionWaitsForTheDiscAgain) {
  ReachBurnOption();
  burner_log.media[0] = EmptyDvdPlusR();
  MediaChange();
  ASSERT_TRUE(s().next_enabled);
  c().PreviousButton_Click();
  burner_log.media[0] = FakeMedium{};  // the disc was taken out meanwhile
  c().NextButton_Click();
  ASSERT_EQ(c().CurrentStep, 3);
  EXPECT_FALSE(s().next_enabled) << "not before the listener has reported";
  MediaChange();
  EXPECT_FALSE(s().next_enabled);
  EXPECT_EQ(s().disc_status_text, "No Media");
}

TEST_F(DiscStatusTest, TheWriteSpeedsAreListedInTheEnginesOrderKeepTheUsersChoiceAndNeedAMedium) {
  ReachBurnOption();
  burner_log.media[0] = EmptyDvdPlusR();
  burner_log.speeds = {16, 8, 4};
  MediaChange();
  EXPECT_EQ(s().speed_entries, (std::vector<std::string>{"16 x", "8 x", "4 x"}));
  EXPECT_EQ(s().speed_index, 0);
  // The user's choice stays while the list still offers it (after a failed
  // burn, a media change).
  c().screen().speed_index = 2;
  MediaChange();
  EXPECT_EQ(s().speed_index, 2);
  burner_log.speeds = {16, 4};
  MediaChange();
  EXPECT_EQ(s().speed_index, 1);
  burner_log.speeds = {16, 8};
  MediaChange();
  EXPECT_EQ(s().speed_index, 0);
  burner_log.speeds.clear();
  MediaChange();
  EXPECT_TRUE(s().speed_entries.empty());
  EXPECT_EQ(s().speed_index, -1);
  // Without a medium no speed is offered, whatever the drive lists.
  burner_log.speeds = {31};
  burner_log.media[0] = FakeMedium{};
  MediaChange();
  EXPECT_TRUE(s().speed_entries.empty());
  EXPECT_EQ(s().speed_index, -1);
}

TEST_F(DiscStatusTest, APartlyWrittenDvdMinusRIsAppendableAndKeepsStartDisabled) {
  ReachBurnOption();
  FakeMedium m = FullDisc("DVD-R");
  m.writable = 1;
  burner_log.media[0] = m;
  MediaChange();
  EXPECT_EQ(s().disc_status_text, "DVD-R - Appendable (Please insert Empty disc)");
  EXPECT_TRUE(s().insert_disc_visible);
  EXPECT_FALSE(s().next_enabled);
}

TEST_F(DiscStatusTest, AnEmptyCdRShowsNoSizeAndIsNotUsable) {
  ReachBurnOption();
  FakeMedium m;
  m.type = 18;
  m.name = "CD-R";
  m.empty = 1;
  m.total = 702.8f;
  burner_log.media[0] = m;
  MediaChange();
  EXPECT_EQ(s().disc_status_text, "CD-R - Empty Disc");
  EXPECT_TRUE(s().insert_disc_visible);
  EXPECT_FALSE(s().next_enabled);
}

TEST_F(DiscStatusTest, NoMediumShowsTheEnginesNameAloneAndIsNotUsable) {
  ReachBurnOption();
  burner_log.media[0] = FakeMedium{};
  MediaChange();
  EXPECT_EQ(s().disc_status_text, "No Media");
  EXPECT_TRUE(s().insert_disc_visible);
  EXPECT_FALSE(s().next_enabled);
}

TEST_F(DiscStatusTest, WithTheImageOptionTheStatusIsShownButStartStaysEnabled) {
  ReachBurnOption();
  c().UpdateOutputFrames(kOutputIso);
  burner_log.media[0] = FakeMedium{};
  c().RefreshDiscStatus();
  EXPECT_EQ(s().disc_status_text, "No Media");
  EXPECT_TRUE(s().next_enabled);
}

TEST_F(DiscStatusTest, AFullDvdMinusRwAnsweredNoIsShownCompleteAndNotUsable) {
  ReachBurnOption();
  burner_log.media[0] = FullDisc("DVD-RW");
  dialogs.yes = false;
  MediaChange();
  EXPECT_EQ(Questions(kEraseQuestion), 1);
  EXPECT_EQ(dialogs.questions.back().title, "Vantora");
  EXPECT_TRUE(burner_log.erases.empty());
  EXPECT_EQ(s().disc_status_text, "DVD-RW - Complete disc (0 MB available)");
  EXPECT_FALSE(s().next_enabled);
}

TEST_F(DiscStatusTest, AFullDvdPlusRwAnsweredYesIsErasedInModeOneAndShownAfterTheErase) {
  ReachBurnOption();
  burner_log.media[0] = FullDisc("DVD+RW");
  // The erase empties the disc and ends while the form is shown.
  burner_log.on_erase = [this] {
    burner_log.media[0] = EmptyDvdPlusR();
    burner_log.media[0].name = "DVD+RW";
  };
  burner_log.asked_outside_refresh = 0;
  MediaChange();
  EXPECT_EQ(burner_log.erases, (std::vector<std::pair<int, int>>{{0, 1}}));
  EXPECT_EQ(burner_log.open_refreshes, 0) << "the refresh that starts the erase ends with it";
  EXPECT_EQ(view.erase_forms, 1);
  // Until the erase's end the display keeps what it showed.
  EXPECT_FALSE(s().next_enabled);
  burner_log.media_events->BurnerOnEraseComplete(0, 1);
  EXPECT_EQ(view.erase_form_closes, 1);
  EXPECT_EQ(s().disc_status_text, "DVD+RW - Empty Disc (4482.623 MB)");
  EXPECT_TRUE(s().next_enabled);
  EXPECT_EQ(Questions(kEraseQuestion), 1);
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(burner_log.asked_outside_refresh, 0);
}

TEST_F(DiscStatusTest, AFullCdRwIsNeverOfferedForErasing) {
  ReachBurnOption();
  burner_log.media[0] = FullDisc("CD-RW");
  MediaChange();
  EXPECT_EQ(Questions(kEraseQuestion), 0);
  EXPECT_TRUE(burner_log.erases.empty());
  EXPECT_EQ(s().disc_status_text, "CD-RW - Complete disc (0 MB available)");
  EXPECT_FALSE(s().next_enabled);
}

TEST_F(DiscStatusTest, AFailedEraseIsToldAndLoggedAndNotAskedAgainInTheSameRefresh) {
  ReachBurnOption();
  burner_log.media[0] = FullDisc("DVD-RW");
  MediaChange();
  ASSERT_EQ(burner_log.erases.size(), 1u);
  burner_log.media_events->BurnerOnEraseComplete(0, 0);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "The disc could not be erased.");
  EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::kCritical);
  ASSERT_EQ(c().job_log().rows().size(), 1u);
  EXPECT_EQ(c().job_log().rows()[0].text, "14:03:07 - The disc could not be erased.");
  EXPECT_EQ(c().job_log().rows()[0].icon, LogIcon::kError);
  EXPECT_EQ(Questions(kEraseQuestion), 1);
  EXPECT_EQ(burner_log.erases.size(), 1u);
  EXPECT_EQ(s().disc_status_text, "DVD-RW - Complete disc (0 MB available)");
  EXPECT_FALSE(s().next_enabled);
  // A later media change (the disc put in again) may ask again.
  MediaChange();
  EXPECT_EQ(Questions(kEraseQuestion), 2);
}

TEST_F(DiscStatusTest, MediaChangesWhileTheEraseQuestionWaitsOrTheEraseRunsAskNothingMore) {
  ReachBurnOption();
  burner_log.media[0] = FullDisc("DVD-RW");
  // The drive reports a change while the question box is open.
  dialogs.while_asked = [this] {
    dialogs.while_asked = nullptr;
    MediaChange();
  };
  MediaChange();
  EXPECT_EQ(Questions(kEraseQuestion), 1);
  ASSERT_EQ(burner_log.erases.size(), 1u);
  EXPECT_EQ(view.erase_forms, 1);
  // And again while the erase runs.
  MediaChange();
  EXPECT_EQ(Questions(kEraseQuestion), 1);
  EXPECT_EQ(burner_log.erases.size(), 1u);
  // Once it has ended, a full disc put in later is asked about again.
  burner_log.media_events->BurnerOnEraseComplete(0, 0);
  dialogs.yes = false;
  MediaChange();
  EXPECT_EQ(Questions(kEraseQuestion), 2);
  EXPECT_EQ(burner_log.erases.size(), 1u);
}

TEST_F(DiscStatusTest, AnEraseThatEndsInsideItsStartShowsNoFormThatNothingWouldClose) {
  ReachBurnOption();
  burner_log.media[0] = FullDisc("DVD-RW");
  burner_log.on_erase = [this] {
    burner_log.media[0] = EmptyDvdPlusR();
    burner_log.media[0].name = "DVD-RW";
    burner_log.media_events->BurnerOnEraseComplete(0, 1);
  };
  MediaChange();
  EXPECT_EQ(view.erase_forms, 0);
  EXPECT_EQ(Questions(kEraseQuestion), 1);
  EXPECT_EQ(burner_log.erases.size(), 1u);
  EXPECT_EQ(s().disc_status_text, "DVD-RW - Empty Disc (4482.623 MB)");
  EXPECT_TRUE(s().next_enabled);
}

TEST_F(DiscStatusTest, AMediaChangeAfterTheOutputStepWasLeftTouchesNothing) {
  ReachBurnOption();
  c().PreviousButton_Click();  // back to the menu step
  ASSERT_EQ(c().CurrentStep, 2);
  ASSERT_TRUE(s().next_enabled);
  const std::string shown = s().disc_status_text;
  burner_log.media[0] = FakeMedium{};  // no disc: would disable Next
  burner_log.media_drives.clear();
  MediaChange();
  EXPECT_TRUE(s().next_enabled);
  EXPECT_EQ(s().disc_status_text, shown);
  EXPECT_TRUE(burner_log.media_drives.empty()) << "the drive was not even asked";
  // The same after the image option stopped the listener on step 3.
  Walk(3);
  c().UpdateOutputFrames(kOutputIso);
  MediaChange();
  EXPECT_TRUE(s().next_enabled);
  EXPECT_TRUE(burner_log.media_drives.empty());
}

TEST_F(DiscStatusTest, AnswersThatArriveAfterTheListenerWasRestartedAreNotShown) {
  drives.push_back({1, 0, 1, "OTHER", "DVD X2", "2.00"});
  ReachBurnOption();
  burner_log.media[0] = EmptyDvdPlusR();
  burner_log.media[1] = FakeMedium{};
  // While the first drive is asked, the user picks the second one (the
  // handlers pump messages): the first drive's answers are not shown.
  bool switched = false;
  burner_log.on_media_type = [&](int drive) {
    if (drive != 0 || switched) return;
    switched = true;
    c().ImageCombo1_Click(1);
  };
  MediaChange();
  ASSERT_TRUE(switched);
  EXPECT_EQ(s().disc_status_text, "No Media (0 MB available)");
  EXPECT_FALSE(s().next_enabled);
  EXPECT_EQ(burner_log.listened.back(), 1);
  MediaChange();  // the new listener's first poll
  EXPECT_EQ(s().disc_status_text, "No Media");
}

TEST_F(DiscStatusTest, NoNumberOutsideTheDriveListReachesTheEngine) {
  ReachBurnOption();
  burner_log.media[0] = EmptyDvdPlusR();
  c().ImageCombo1_Click(7);
  c().ImageCombo1_Click(-1);
  EXPECT_EQ(s().selected_drive, 0);
  c().screen().selected_drive = 3;  // as a stale view could leave it
  burner_log.media_drives.clear();
  burner_log.listened.clear();
  c().RefreshDiscStatus();
  c().UpdateOutputFrames(kOutputBurn);
  MediaChange();
  EXPECT_TRUE(burner_log.media_drives.empty());
  EXPECT_TRUE(burner_log.listened.empty());
  c().screen().selected_drive = 0;
  c().UpdateOutputFrames(kOutputBurn);
  MediaChange();
  for (int d : burner_log.media_drives) EXPECT_EQ(d, 0);
  EXPECT_EQ(burner_log.listened, std::vector<int>{0});
}

TEST_F(DiscStatusTest, WithoutADriveTheBurnOptionIsRefusedAndNoDriveIsAsked) {
  drives.clear();
  Start();
  EXPECT_EQ(s().option1_caption, "Burn the project on DVD (No compatible drive was found!)");
  EXPECT_FALSE(s().option1_enabled);
  EXPECT_EQ(s().output_option, kOutputIso);
  c().RefreshDiscStatus();
  EXPECT_TRUE(burner_log.media_drives.empty());
  EXPECT_TRUE(burner_log.listened.empty());
}

TEST_F(DiscStatusTest, ADriveTheUserMayNotOpenSaysWhichGroupOwnsItInsteadOfNoDisc) {
  const fs::path device = home / "sr0 é";
  std::ofstream(device) << "";
  burner_log.device_paths[0] = platform::PathToUtf8(device);
  std::vector<std::string> checked;
  device_access = [&](const std::string& path) {
    checked.push_back(path);
    return EACCES;
  };
  ReachBurnOption();
  burner_log.media[0] = EmptyDvdPlusR();
  burner_log.media_drives.clear();
  MediaChange();
  ASSERT_FALSE(checked.empty());
  EXPECT_EQ(checked.back(), platform::PathToUtf8(device));
  const struct group* g = getgrgid(getegid());  // the group a new file gets
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(s().disc_status_text, "You may not use this drive: you are not in the group \"" +
                                      std::string(g->gr_name) + "\" that owns " +
                                      platform::PathToUtf8(device) +
                                      ". Ask to be added to that group, then log in again.");
  EXPECT_TRUE(s().insert_disc_visible);
  EXPECT_FALSE(s().next_enabled);
  EXPECT_TRUE(burner_log.media_drives.empty()) << "no query that could only fail";
}

TEST_F(DiscStatusTest, OtherAccessErrorsLeaveTheMediumToTheEngine) {
  EXPECT_EQ(DevicePermissionText("/dev/sr0", 0), "");
  EXPECT_EQ(DevicePermissionText("/dev/sr0", ENOENT), "");
  EXPECT_NE(DevicePermissionText("/dev/sr0", EPERM), "");
  EXPECT_EQ(DevicePermissionText("/nonexistent/sr9", EACCES),
            "You may not use this drive: /nonexistent/sr9 cannot be opened (permission denied).");
}

TEST_F(DiscStatusTest, AProjectLargerThanTheFreeSpaceIsQuestionedAtStartAndNoStaysOnTheOutputStep) {
  ReachBurnOption();
  FakeMedium m = EmptyDvdPlusR();
  m.total = 40.5f;  // the project of 100 s is about 60 MB
  burner_log.media[0] = m;
  MediaChange();
  ASSERT_TRUE(s().next_enabled);
  const std::string mb = MegabytesText(c().EstimatedSizeKB / 1024.0);
  dialogs.yes = false;
  c().NextButton_Click();
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].text,
            "The project (" + mb + " MB) is larger than the free space on the disc (40.5 MB) by " +
                MegabytesText(c().EstimatedSizeKB / 1024.0 - 40.5) + " MB. Burn anyway?");
  EXPECT_EQ(dialogs.questions[0].title, "Vantora");
  EXPECT_EQ(c().CurrentStep, 3);
  EXPECT_FALSE(c().Busy);
  EXPECT_TRUE(encoder.started.empty());
  dialogs.yes = true;
  c().NextButton_Click();
  EXPECT_EQ(c().CurrentStep, 4);
}

TEST_F(DiscStatusTest, AnExistingVideoTsFolderIsMeasuredByItsFilesAgainstTheFreeSpace) {
  ReachBurnOption();
  const fs::path folder = home / "My DVD é" / "VIDEO_TS";
  fs::create_directories(folder);
  std::ofstream(folder / "VIDEO_TS.IFO") << "ifo";
  std::ofstream(folder / "VTS_01_1.VOB", std::ios::binary) << std::string(3 * 1024 * 1024, 'v');
  // Not burned, so not counted.
  std::ofstream(folder / "notes.txt", std::ios::binary) << std::string(2 * 1024 * 1024, 'n');
  c().UseExistingVideoTs = true;
  c().ExistingVideoTsFolder = folder;
  FakeMedium m = EmptyDvdPlusR();
  m.total = 2.5f;
  burner_log.media[0] = m;
  MediaChange();
  dialogs.yes = false;
  c().NextButton_Click();
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].text,
            "The project (3 MB) is larger than the free space on the disc (2.5 MB) by 0.5 MB. Burn anyway?");
  EXPECT_EQ(c().CurrentStep, 3);
  EXPECT_TRUE(fs::exists(folder / "VTS_01_1.VOB"));
}

TEST_F(DiscStatusTest, TheSimulationSwitchIsOffWithAReasonForMediaThatRecordNoTestWrite) {
  ReachBurnOption();
  const std::pair<const char*, bool> media[] = {
      {"DVD+R", false}, {"DVD-R", true}, {"DVD+RW", false}, {"DVD-RW", true}, {"DVD+R DL", false}};
  for (const auto& [name, can] : media) {
    FakeMedium m = EmptyDvdPlusR();
    m.name = name;
    m.can_simulate = can;
    burner_log.media[0] = m;
    c().screen().simulation = true;  // the user's choice
    MediaChange();
    EXPECT_EQ(s().simulation_enabled, can) << name;
    EXPECT_EQ(s().simulation, can) << name;
    EXPECT_EQ(s().simulation_tip, can ? "" : SimulationRefusal(name)) << name;
  }
  EXPECT_EQ(SimulationRefusal("DVD+R"),
            "A DVD+R cannot be burned in simulation: only CD-R, CD-RW, DVD-R and DVD-RW discs record a test "
            "write.");
  // A switch left on for such a medium is refused at "Start >", before any
  // conversion.
  c().screen().simulation = true;
  c().NextButton_Click();
  EXPECT_EQ(c().CurrentStep, 3);
  EXPECT_TRUE(encoder.started.empty());
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, SimulationRefusal("DVD+R DL"));
  c().screen().simulation = false;
  c().NextButton_Click();
  EXPECT_EQ(c().CurrentStep, 4);
}

TEST_F(DiscStatusTest, AnImageOrAFolderLargerThanASingleLayerDvdIsQuestionedSayingByHowMuch) {
  folder_space = [](const fs::path&) { return FolderSpace{1, 1ull << 50}; };
  for (int option : {kOutputIso, kOutputFolder}) {
    ReachOutput(option, 9000);  // 2.5 hours: about 5436 MB
    const double mb = c().EstimatedSizeKB / 1024.0;
    dialogs.yes = false;
    c().NextButton_Click();
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].text, "The project (" + MegabytesText(mb) +
                                             " MB) is larger than a single-layer DVD (4482 MB) by " +
                                             MegabytesText(mb - 4482) + " MB. Go on anyway?");
    EXPECT_EQ(c().CurrentStep, 3);
    EXPECT_TRUE(encoder.started.empty());
    dialogs.yes = true;
    c().NextButton_Click();
    EXPECT_EQ(c().CurrentStep, 4);
    c().QuitButton_Click();
    encoder.started.clear();
  }
}

TEST_F(DiscStatusTest, FoldersWithoutRoomForTheProjectAreNamedAtStartWithWhatIsNeededAndFree) {
  // One file system for both folders: the converted videos and the DVD folder
  // in the temporary folder and the image in the output folder.
  folder_space = [](const fs::path&) { return FolderSpace{7, 10ull * 1024 * 1024}; };
  ReachOutput(kOutputIso);
  const double mb = c().EstimatedSizeKB / 1024.0;
  dialogs.yes = false;
  c().NextButton_Click();
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].text, "There is not enough free space for the temporary folder " +
                                           platform::PathToUtf8(c().TempFolder) + " and the output folder " +
                                           platform::PathToUtf8(out) +
                                           " (one disk): the project needs about " + MegabytesText(3 * mb) +
                                           " MB there, and 10 MB are free.\nStart anyway?");
  EXPECT_EQ(c().CurrentStep, 3);
  EXPECT_TRUE(encoder.started.empty());

  // Only the output folder's file system is short: only it is named.
  folder_space = [this](const fs::path& folder) {
    return folder == out ? FolderSpace{2, 10ull * 1024 * 1024} : FolderSpace{1, 1ull << 40};
  };
  ReachOutput(kOutputIso);
  c().NextButton_Click();
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].text, "There is not enough free space for the output folder " +
                                           platform::PathToUtf8(out) + ": the project needs about " +
                                           MegabytesText(mb) +
                                           " MB there, and 10 MB are free.\nStart anyway?");
  dialogs.yes = true;
  dialogs.questions.clear();
  c().NextButton_Click();
  EXPECT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(c().CurrentStep, 4);
}

TEST_F(DiscStatusTest, FoldersThatCannotBeWrittenAreNamedWithTheSystemsReasonAtStart) {
  std::ofstream(home / "a file") << "x";
  ReachOutput(kOutputFolder);
  c().screen().output_dir = platform::PathToUtf8(home / "a file" / "out");
  c().NextButton_Click();
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "Can't write the destination file\n" +
                                          platform::PathToUtf8(home / "a file" / "out") +
                                          ": Not a directory");
  EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::kCritical);
  EXPECT_EQ(c().CurrentStep, 3);

  c().screen().output_dir = out.native();
  c().TempFolder = home / "a file" / "temp";
  c().NextButton_Click();
  ASSERT_EQ(dialogs.messages.size(), 2u);
  EXPECT_EQ(dialogs.messages[1].text, "Can't write in the temporary folder\n" +
                                          platform::PathToUtf8(home / "a file" / "temp") +
                                          ": Not a directory");
  EXPECT_EQ(c().CurrentStep, 3);
  EXPECT_TRUE(encoder.started.empty());
}

TEST_F(DiscStatusTest, AnExistingImageOfTheSameNameIsReplacedOnlyAfterYes) {
  ReachOutput(kOutputIso);
  fs::create_directories(out);
  const fs::path image = out / "New DVD.iso";
  std::ofstream(image) << "another project";
  dialogs.yes = false;
  c().NextButton_Click();
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].text,
            "The file " + platform::PathToUtf8(image) + " already exists.\nDo you want to replace it?");
  EXPECT_EQ(c().CurrentStep, 3);
  EXPECT_TRUE(encoder.started.empty());
  EXPECT_EQ(testing::ReadBytes(image), "another project");
  dialogs.yes = true;
  c().NextButton_Click();
  EXPECT_EQ(c().CurrentStep, 4);
}

TEST_F(DiscStatusTest, AProjectThatFitsStartsWithoutAQuestion) {
  ReachBurnOption();
  burner_log.media[0] = EmptyDvdPlusR();
  MediaChange();
  c().NextButton_Click();
  EXPECT_TRUE(dialogs.questions.empty());
  EXPECT_EQ(c().CurrentStep, 4);
}

}  // namespace
}  // namespace vantora
