// The authoring driver, the disc layout and the disc-engine event handlers
// over the recording fakes: what the wizard hands the control and the engine,
// and how each end of a job is shown and cleaned up.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "core_testutil.h"
#include "vantora/wizard_controller.h"
#include "wizard_fakes.h"

namespace vantora {
namespace {

namespace fs = std::filesystem;

class NullView final : public WizardView {
 public:
  void Refresh() override {}
  bool SaveMenuPicture(const fs::path&) override { return false; }
  void EndProgram() override {}
};

void Touch(const fs::path& path) { std::ofstream(path) << "data"; }

class DiscDriverTest : public ::testing::Test, protected testing::WizardFakes {
 protected:
  void SetUp() override {
    std::ofstream(ConfigFile(home)) << "[LAUNCH]\nVALUE=True\n";
    fs::create_directories(tmp);
    fs::create_directories(out);
    WizardParts parts = Parts(home, {{1, 0, 0, "A", "B", "C"}});
    parts.folders.logs = logs;
    controller = std::make_unique<WizardController>(std::move(parts), view);
    controller->Start();
    WizardScreen& s = c().screen();
    s.label = "New DVD";
    s.temp_path = tmp.native();
    s.output_dir = out.native();
    c().NextButton_Click();  // step 1: the temporary folder is taken
    for (int i = 1; i <= 3; ++i) {
      c().AddVideo(home / ("video " + std::to_string(i) + ".mp4"));
      const fs::path converted = tmp / (std::to_string(i) + " - video.mpg");
      Touch(converted);
      c().screen().rows.back().converted = converted;
      c().RecordCreatedFile(converted);
    }
    c().MenuButtons = {{40, 60, 20}, {90, 60, 20}, {140, 60, 20}};
    s.button_color[0] = 2;
    s.button_color[1] = 5;
    s.button_color[2] = 7;
  }
  void TearDown() override { controller.reset(); }
  WizardController& c() { return *controller; }
  DiscBurnerEvents& events() { return *burner_log.events; }
  // What the authoring would have written.
  void AuthoredFolder(const fs::path& folder) {
    fs::create_directories(folder);
    for (const char* name : {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VIDEO_TS.VOB", "VTS_01_0.IFO", "VTS_01_0.BUP",
                             "VTS_01_1.VOB", "VTS_01_2.VOB", "VTS_02_0.IFO", "VTS_02_1.VOB", "VTS_02_0.BUP"})
      Touch(folder / name);
  }
  std::vector<std::string> Calls(const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& call : burner_log.calls)
      if (call.rfind(prefix, 0) == 0) found.push_back(call);
    return found;
  }
  std::string LastLogText() {
    const std::string& t = c().job_log().rows().back().text;
    return t.substr(t.find(" - ") + 3);
  }
  // Runs the build (the fake's events arrive directly) with the project
  // folder filled as the engine would.
  void Author(int output) {
    c().screen().output_option = output;
    AuthoredFolder((output == kOutputFolder ? out : tmp) / "New DVD");
    c().StartDvdBuild();
  }

  testing::TempFolder temp;
  fs::path home = temp.path();
  fs::path tmp = temp / "temp dir";
  fs::path out = temp / "out dir";
  fs::path logs;  // no job log files when empty
  NullView view;
  std::unique_ptr<WizardController> controller;
};

TEST_F(DiscDriverTest, TheMenuButtonsColoursAndTitlesReachTheControlAsTheMenuPageGivesThem) {
  Author(kOutputIso);
  EXPECT_EQ(authoring.menu, (tmp / "menu.mpg").native());
  EXPECT_EQ(authoring.colors, (std::vector<int>{2, 13, 5, 13, 7, 13}));
  EXPECT_EQ(authoring.buttons, (std::vector<std::vector<int>>{
                                   {60, 40, 80, 60, 1}, {60, 90, 80, 110, 2}, {60, 140, 80, 160, 3}}));
  EXPECT_EQ(authoring.auto_next, std::vector<bool>{false});
  EXPECT_EQ(authoring.output_dir, (tmp / "New DVD").native());
  EXPECT_EQ(authoring.titles.size(), 3u);
  EXPECT_EQ(authoring.builds, 1);
}

TEST_F(DiscDriverTest, WithoutAMenuNoMenuCallIsMadeAndTitlesFollowEachOther) {
  c().screen().classical_menu = false;
  Author(kOutputIso);
  EXPECT_TRUE(authoring.menu.empty());
  EXPECT_TRUE(authoring.buttons.empty());
  EXPECT_EQ(authoring.auto_next, std::vector<bool>{true});
}

TEST_F(DiscDriverTest, ARefusedSecondButtonStopsTheBuildAndReturnsToTheMenuPage) {
  authoring.refuse_button = 2;
  Author(kOutputIso);
  EXPECT_EQ(authoring.builds, 0);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "Unexpected Error during Menu compilation...");
  EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::kCritical);
  EXPECT_EQ(c().CurrentStep, 2);
}

TEST_F(DiscDriverTest, ARefusedTitleStopsTheBuildSoNoTitleMovesUnderAnotherButton) {
  authoring.refuse_title = c().screen().rows[1].converted.native();
  Author(kOutputIso);
  EXPECT_EQ(authoring.builds, 0);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_NE(dialogs.messages[0].text.find(c().screen().rows[1].text), std::string::npos);
  EXPECT_FALSE(c().Busy);
  EXPECT_EQ(c().CurrentStep, 3);
  EXPECT_TRUE(fs::exists(c().screen().rows[0].converted)) << "converted files stay";
}

TEST_F(DiscDriverTest, AFailedBuildShowsTheEnginesTextClearsBusyAndKeepsTheConvertedFiles) {
  authoring.build_result = false;
  Author(kOutputIso);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_NE(dialogs.messages[0].text.find("Error code = -4003\nBad file"), std::string::npos);
  EXPECT_FALSE(c().Busy);
  EXPECT_EQ(c().CurrentStep, 3);
  EXPECT_TRUE(fs::exists(c().screen().rows[2].converted));
  EXPECT_TRUE(Calls("CreateIso").empty());
}

TEST_F(DiscDriverTest, AuthoringProgressKeepsOneRowAndShowsBothBarsRoundedHalfToEven) {
  authoring.progress = {{49.5, 10.0}, {50.5, 20.5}};
  // Only IFO, VOB files: no image follows to relabel the bars.
  Author(kOutputFolder);
  const auto& rows = c().job_log().rows();
  ASSERT_GE(rows.size(), 1u);
  EXPECT_EQ(rows[0].text, "14:03:07 - DVD Filesystem creation...");
  EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                          [](const LogRow& r) { return r.key == "DVD Filesystem creation..."; }),
            1);
  EXPECT_EQ(c().screen().progress4, 50);
  EXPECT_EQ(c().screen().progress3, 20);
  EXPECT_EQ(c().screen().label13, "File processing:");
  EXPECT_EQ(c().screen().label14, "Total DVD Image creation:");
}

TEST_F(DiscDriverTest, TheFolderGoesIntoTheTreeInDvdOrderAndTheImageIsWrittenUnderAnotherName) {
  Touch(out / "New DVD.iso");  // an earlier image of that name
  Author(kOutputIso);
  EXPECT_EQ(Calls("SetCDName"), std::vector<std::string>{"SetCDName New DVD"});
  const fs::path f = tmp / "New DVD";
  std::vector<std::string> order;
  for (const char* n : {"VIDEO_TS.IFO", "VIDEO_TS.VOB", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_1.VOB",
                        "VTS_01_2.VOB", "VTS_01_0.BUP", "VTS_02_0.IFO", "VTS_02_1.VOB", "VTS_02_0.BUP"})
    order.push_back((f / n).native());
  EXPECT_EQ(burner_log.added, order);
  EXPECT_EQ(Calls("AddVirtualDirectory"),
            (std::vector<std::string>{"AddVirtualDirectory 0 AUDIO_TS", "AddVirtualDirectory 0 VIDEO_TS"}));
  EXPECT_EQ(Calls("AddFile 2 ").size(), 10u);
  EXPECT_EQ(Calls("CreateIso"), std::vector<std::string>{"CreateIso 0 1"});
  EXPECT_NE(burner_log.iso_path, (out / "New DVD.iso").native());
  EXPECT_EQ(fs::path(burner_log.iso_path).parent_path(), out);
  EXPECT_TRUE(c().Busy);
  EXPECT_TRUE(c().Burning) << "so that Cancel goes through CancelBurn";
  EXPECT_EQ(testing::ReadBytes(out / "New DVD.iso"), "data") << "untouched until the new image is complete";
  EXPECT_FALSE(c().screen().progress4_visible) << "an image file is written without a FIFO";
  EXPECT_EQ(c().screen().label13, "");

  // The engine writes the image and ends.
  testing::WriteBytes(burner_log.iso_path, "new image");
  events().OnBuildingProcess(1, 0, "", 0, 0, 0, 0);
  events().OnBuildingProcess(11, 0, "", 0, 0, 2000, 500);
  EXPECT_EQ(c().screen().progress3, 25);
  EXPECT_EQ(c().screen().label22, "Sectors : 500 / 2000");
  events().BurnerBufferStatus(32, 31);
  EXPECT_EQ(c().screen().progress4, 97);
  events().OnBuildingProcess(11, 0, "", 0, 0, 2000, 1997);  // the last report before the end
  events().BurnerOnEndBurn(0, 0, 0);
  EXPECT_EQ(c().screen().label22, "Sectors : 2000 / 2000");
  EXPECT_EQ(c().screen().progress3, 100);
  EXPECT_EQ(testing::ReadBytes(out / "New DVD.iso"), "new image");
  EXPECT_FALSE(fs::exists(burner_log.iso_path));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text,
            "Image Writing complete!\nThe image is " + (out / "New DVD.iso").native());
  EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::kInformation);
  EXPECT_EQ(LastLogText(), "Image writing complete!");
  EXPECT_FALSE(fs::exists(f)) << "the authored folder goes";
  EXPECT_FALSE(fs::exists(tmp / "1 - video.mpg")) << "the converted files go";
  EXPECT_EQ(c().CurrentStep, 1);
  EXPECT_FALSE(c().Busy);
  EXPECT_FALSE(c().Burning);

  // A second end event (no job of the wizard's runs) changes nothing.
  events().BurnerOnEndBurn(0, 0, 0);
  EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_F(DiscDriverTest, AnErrorDuringTheJobMakesItsEndAFailureThatKeepsEveryFile) {
  Touch(out / "New DVD.iso");
  Author(kOutputIso);
  events().BurningErrorViewDescription("Can't read : /x/VTS_01_1.VOB");
  events().BurnerOnEndBurn(0, 0, 0);  // an end that looks like success
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text.rfind("DVD Video creation Eror", 0), 0u);
  EXPECT_NE(dialogs.messages[0].text.find("Can't read : /x/VTS_01_1.VOB"), std::string::npos);
  EXPECT_EQ(LastLogText(), "Image writing failure !");
  EXPECT_EQ(c().job_log().rows().back().icon, LogIcon::kError);
  EXPECT_TRUE(fs::exists(tmp / "New DVD" / "VIDEO_TS.IFO"));
  EXPECT_TRUE(fs::exists(tmp / "1 - video.mpg"));
  EXPECT_EQ(testing::ReadBytes(out / "New DVD.iso"), "data");
  EXPECT_EQ(c().CurrentStep, 3);
  EXPECT_FALSE(c().Busy);
}

// The same with the job log kept in files.
class DiscDriverLogFileTest : public DiscDriverTest {
 protected:
  void SetUp() override {
    logs = home / "state logs";
    DiscDriverTest::SetUp();
  }
};

TEST_F(DiscDriverLogFileTest, TheEndMessagesNameTheJobLogFileThatHoldsTheRun) {
  Author(kOutputIso);
  events().BurningErrorViewDescription("Can't read : /x/VTS_01_1.VOB");
  events().BurnerOnEndBurn(0, 0, 0);
  const fs::path file = c().job_log().file();
  ASSERT_EQ(file.parent_path(), home / "state logs");
  ASSERT_EQ(dialogs.messages.size(), 1u);
  const std::string& text = dialogs.messages[0].text;
  EXPECT_EQ(text.rfind("DVD Video creation Eror", 0), 0u) << text;
  EXPECT_NE(text.find("\n\nThe job log is in " + file.native() + "."), std::string::npos) << text;
  const std::string kept = testing::ReadBytes(file);
  EXPECT_NE(kept.find(" error Can't read : /x/VTS_01_1.VOB\n"), std::string::npos) << kept;
  EXPECT_NE(kept.find(" error Image writing failure !\n"), std::string::npos) << kept;
}

TEST_F(DiscDriverTest, OutOfSpaceReadsAsAnErrorNotAsACancel) {
  Author(kOutputIso);
  events().BurnerOnError(1015);
  events().BurnerOnEndBurn(0, 0, 1);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_NE(dialogs.messages[0].text.find("Error : Not Enough space on the disc..."), std::string::npos);
  EXPECT_EQ(LastLogText(), "Image writing failure !");
}

TEST_F(DiscDriverTest, AJobTheEngineStopsItselfAfterAnErrorIsAFailureAndOnlyTheUsersCancelIsAborted) {
  // A disc too small: the engine reports 1015 and ends the job as cancelled.
  Author(kOutputBurn);
  events().BurnerOnError(1015);
  events().BurnerOnEndBurn(1, 1, 0);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text.rfind("DVD Video creation Eror", 0), 0u) << dialogs.messages[0].text;
  EXPECT_EQ(LastLogText(), "Burning failure !");
  EXPECT_TRUE(fs::exists(tmp / "New DVD" / "VIDEO_TS.IFO")) << "the authored folder stays";
  EXPECT_EQ(c().CurrentStep, 3);

  // The user's cancel stays a cancel, whatever the engine reported on its way
  // out.
  dialogs.messages.clear();
  Author(kOutputBurn);
  ASSERT_TRUE(c().Busy);
  c().QuitButton_Click();
  events().BurnerOnError(1012);
  events().BurnerOnEndBurn(1, 1, 0);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "DVD Video creation Aborted");
}

TEST_F(DiscDriverTest, ACancelDuringTheImageLogsItAndShowsAborted) {
  Author(kOutputIso);
  c().QuitButton_Click();
  EXPECT_EQ(Calls("CancelBurn").size(), 1u);
  EXPECT_TRUE(c().Busy) << "clean-up waits for the end event";
  EXPECT_TRUE(fs::exists(tmp / "New DVD" / "VIDEO_TS.IFO"));
  events().BurnerOnEndBurn(0, 1, 0);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "DVD Video creation Aborted");
  EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::kCritical);
  EXPECT_EQ(LastLogText(), "Image writing cancelled...");
  EXPECT_EQ(c().CurrentStep, 1);
  EXPECT_FALSE(c().Busy);
}

TEST_F(DiscDriverTest, TheBurnGetsItsFixedValuesAndABurnThatFailsIsShownAsAFailure) {
  burner_log.speeds = {4, 8, 16};
  c().screen().speed_index = 2;
  c().screen().simulation = true;
  Author(kOutputBurn);
  EXPECT_EQ(Calls("SetSizeBuffer"), std::vector<std::string>{"SetSizeBuffer 32"});
  EXPECT_EQ(Calls("SetPriorityThread"), std::vector<std::string>{"SetPriorityThread 0"});
  EXPECT_EQ(Calls("GetSpeedWrite"), std::vector<std::string>{"GetSpeedWrite 0 2"});
  EXPECT_EQ(Calls("SetWriteSpeed"), std::vector<std::string>{"SetWriteSpeed 0 16"});
  EXPECT_EQ(Calls("BurnData"), std::vector<std::string>{"BurnData 0 8 1 0 1 1 0 1"});
  EXPECT_TRUE(c().Burning);
  // The bars that showed the compilation now show the burn.
  EXPECT_EQ(c().screen().label13, "Fifo Buffer ");
  EXPECT_TRUE(c().screen().progress4_visible);
  EXPECT_EQ(c().screen().label14, "Writing progression ");
  EXPECT_EQ(c().screen().progress3, 0);
  events().OnBuildingProcess(11, 0, "", 0, 0, 2000, 1000);
  // The engine's burn is not available: it says so and ends with the error flag.
  events().BurningErrorViewDescription("Burner_BurnData is not available");
  events().BurnerOnEndBurn(1, 0, 1);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text.rfind(
                "DVD Video creation Eror, please insert a valid disc in your device.", 0),
            0u);
  EXPECT_EQ(LastLogText(), "Burning failure !");
  EXPECT_EQ(c().screen().label22, "Sectors : 1000 / 2000") << "a failed burn ends where it stopped";
  for (const LogRow& row : c().job_log().rows())
    EXPECT_EQ(row.text.find("Burning complete!"), std::string::npos);
  EXPECT_FALSE(c().Burning);
  EXPECT_FALSE(c().Busy);
}

TEST_F(DiscDriverTest, AJobTheEngineRefusesAtOnceClearsBusyAndSaysSo) {
  burner_log.refusal = "Another disc job is running";
  Author(kOutputIso);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_NE(dialogs.messages[0].text.find("Another disc job is running"), std::string::npos);
  EXPECT_FALSE(c().Busy);
  EXPECT_FALSE(c().Burning);
  EXPECT_FALSE(c().DiscJobRunning());
  EXPECT_EQ(c().CurrentStep, 3);
}

TEST_F(DiscDriverTest, AFileTheEngineRefusesStopsTheJobBeforeTheImage) {
  burner_log.refuse_file = (tmp / "New DVD" / "VTS_01_1.VOB").native();
  Author(kOutputIso);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "Can't add the file : \n" + burner_log.refuse_file);
  EXPECT_TRUE(Calls("CreateIso").empty());
  EXPECT_FALSE(c().Busy);
}

TEST_F(DiscDriverTest, AFolderWithoutVideoTsIfoStartsNoJob) {
  c().UseExistingVideoTs = true;
  c().ExistingVideoTsFolder = temp / "empty";
  fs::create_directories(c().ExistingVideoTsFolder);
  c().screen().output_option = kOutputIso;
  c().StartImageOrBurn();
  EXPECT_TRUE(Calls("Clear").empty()) << "the engine's tree is not touched";
  EXPECT_TRUE(Calls("CreateIso").empty());
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_NE(dialogs.messages[0].text.find("Your directory is not a valid DVD video directory"),
            std::string::npos);
  EXPECT_FALSE(c().Busy);
}

TEST_F(DiscDriverTest, NamesDifferingOnlyInCaseGiveOneFileAndAWarning) {
  const fs::path f = temp / "cases";
  AuthoredFolder(f);
  Touch(f / "vts_01_1.vob");
  Touch(f / "readme.txt");
  Touch(f / "VTS_01_10.VOB");
  c().UseExistingVideoTs = true;
  c().ExistingVideoTsFolder = f;
  c().screen().output_option = kOutputIso;
  c().StartImageOrBurn();
  EXPECT_EQ(std::count(burner_log.added.begin(), burner_log.added.end(), (f / "VTS_01_1.VOB").native()), 1);
  EXPECT_EQ(std::count(burner_log.added.begin(), burner_log.added.end(), (f / "vts_01_1.vob").native()), 0);
  EXPECT_EQ(burner_log.added.size(), 10u) << "no stray file and no VTS_01_10.VOB";
  bool warned = false;
  for (const LogRow& row : c().job_log().rows()) warned |= row.text.find("vts_01_1.vob") != std::string::npos;
  EXPECT_TRUE(warned);
  EXPECT_TRUE(c().Burning);
  events().BurnerOnEndBurn(0, 0, 0);
  EXPECT_TRUE(fs::exists(f / "VIDEO_TS.IFO")) << "a folder of the user's is never deleted";
}

TEST_F(DiscDriverTest, OnlyIfoVobFilesOpenTheFolderAndSayCompleted) {
  Author(kOutputFolder);
  EXPECT_EQ(shell.opened.back(), (out / "New DVD").native() + "/");
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text,
            "DVD creation Completed\nThe DVD folder is " + (out / "New DVD").native() + "/");
  EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::kNone);
  EXPECT_EQ(c().CurrentStep, 1);
  EXPECT_FALSE(c().Busy);
  EXPECT_TRUE(Calls("CreateIso").empty());
}

TEST_F(DiscDriverTest, TheLayoutRowEndsWhenTheWritingBeginsThoughNoStepTenCame) {
  // A DVD-Video layout reports steps 1 to 9, then sectors (image) or the
  // FIFO (burn). Each success ends the project: the rows get their converted
  // files back for the next one.
  auto author_again = [&](int output) {
    for (std::size_t i = 0; i < c().screen().rows.size(); ++i)
      c().screen().rows[i].converted = tmp / (std::to_string(i + 1) + " - video.mpg");
    Author(output);
  };
  for (const bool buffer_first : {false, true}) {
    author_again(buffer_first ? kOutputBurn : kOutputIso);
    for (int status = 1; status <= 9; ++status) events().OnBuildingProcess(status, 0, "", 0, 0, 0, 0);
    if (buffer_first) events().BurnerBufferStatus(32, 16);
    events().OnBuildingProcess(11, 0, "", 0, 0, 2000, 500);
    events().OnBuildingProcess(11, 0, "", 0, 0, 2000, 1000);
    events().BurnerBufferStatus(32, 31);
    std::vector<std::string> texts;
    for (const LogRow& row : c().job_log().rows()) texts.push_back(row.text.substr(row.text.find(" - ") + 3));
    const std::vector<std::string> expected = {"DVD Filesystem creation...",
                                               "FileSystem analysing (Step 10 / 10)", "Writing started !"};
    EXPECT_EQ(texts, expected) << buffer_first;
    EXPECT_EQ(c().screen().progress3, 50);
    EXPECT_EQ(c().screen().progress4, 97);
    EXPECT_EQ(c().screen().label13, buffer_first ? "Fifo Buffer " : "") << "an image file has no FIFO";
    EXPECT_EQ(c().screen().label14, "Writing progression ");
    if (!buffer_first) testing::WriteBytes(burner_log.iso_path, "image");
    events().BurnerOnEndBurn(buffer_first ? 1 : 0, 0, 0);
    dialogs.messages.clear();
  }
  // A job that ends after its layout without a sector still ends the row,
  // and says no writing started.
  author_again(kOutputIso);
  events().OnBuildingProcess(1, 0, "", 0, 0, 0, 0);
  testing::WriteBytes(burner_log.iso_path, "image");
  events().BurnerOnEndBurn(0, 0, 0);
  const std::vector<LogRow>& rows = c().job_log().rows();
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[1].text, "14:03:07 - FileSystem analysing (Step 10 / 10)");
  for (const LogRow& row : rows) EXPECT_EQ(row.text.find("Writing started"), std::string::npos);
}

TEST_F(DiscDriverTest, AnImageThatCannotBeCreatedNamesItsPathAndTheSystemsReason) {
  Author(kOutputIso);
  fs::remove_all(out);  // the output folder went away meanwhile
  events().BurnerOnError(1001);
  const std::string row =
      "Can't write the destination file " + (out / "New DVD.iso").native() + ": No such file or directory";
  EXPECT_EQ(LastLogText(), row);
  events().BurnerOnEndBurn(0, 0, 1);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text,
            "DVD Video creation Eror, the image file could not be written.\n" + row);
}

TEST_F(DiscDriverTest, TheAuthoredFolderIsRemovedFromTheTemporaryFolderItWasMadeIn) {
  Author(kOutputIso);
  events().BurnerOnEndBurn(0, 0, 1);  // failed: kept for another try
  ASSERT_TRUE(fs::exists(tmp / "New DVD" / "VIDEO_TS.IFO"));
  // The user picks another temporary folder and makes the project again.
  const fs::path tmp2 = temp / "second temp";
  fs::create_directories(tmp2);
  dialogs.folder_answer = tmp2.native();
  c().Command1_Click();
  ASSERT_EQ(c().TempFolder, tmp2);
  c().screen().output_option = kOutputIso;
  AuthoredFolder(tmp2 / "New DVD");
  c().StartDvdBuild();
  testing::WriteBytes(burner_log.iso_path, "image");
  events().BurnerOnEndBurn(0, 0, 0);
  EXPECT_FALSE(fs::exists(tmp2 / "New DVD"));
  EXPECT_FALSE(fs::exists(tmp / "New DVD")) << "left in the old temporary folder";

  // A failed project's folder also goes when the program ends.
  AuthoredFolder(tmp2 / "New DVD");
  c().StartDvdBuild();
  events().BurnerOnEndBurn(0, 0, 1);
  ASSERT_TRUE(fs::exists(tmp2 / "New DVD"));
  c().ShutdownApplication();
  EXPECT_FALSE(fs::exists(tmp2 / "New DVD"));
  EXPECT_TRUE(fs::exists(tmp2)) << "the temporary folder itself is the user's";
}

TEST_F(DiscDriverTest, AnImageThatAppearedDuringTheConversionIsReplacedOnlyAfterYes) {
  Touch(out / "New DVD.iso");
  dialogs.yes = false;
  Author(kOutputIso);
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].text,
            "The file " + (out / "New DVD.iso").native() + " already exists.\nDo you want to replace it?");
  EXPECT_TRUE(Calls("CreateIso").empty());
  EXPECT_EQ(c().CurrentStep, 3);
  EXPECT_FALSE(c().Busy);
  EXPECT_TRUE(fs::exists(tmp / "New DVD" / "VIDEO_TS.IFO")) << "kept for another try";
  EXPECT_EQ(testing::ReadBytes(out / "New DVD.iso"), "data");
}

TEST_F(DiscDriverTest, AFolderTheDesktopCannotOpenIsSaidSo) {
  shell.opens = false;
  Author(kOutputFolder);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "DVD creation Completed\nThe DVD folder is " +
                                          (out / "New DVD").native() +
                                          "/\nIt could not be opened: this desktop has no program that shows "
                                          "folders.");
}

TEST_F(DiscDriverTest, ErrorRowsCloseRowsAndUnknownCodesFollowTheTables) {
  Author(kOutputIso);
  const std::size_t before = c().job_log().rows().size();
  events().BurnerOnError(502);
  EXPECT_EQ(c().job_log().rows().size(), before);
  events().BurnerOnError(1055);
  EXPECT_EQ(LastLogText(), "Error : Not a valid ISO image file !");
  events().BurningErrorViewDescription("Medium Not Formatted");
  EXPECT_EQ(LastLogText(), "Medium Not Formatted : You must erase your disc");
  events().BurningErrorViewDescription("medium not formatted");
  EXPECT_EQ(LastLogText(), "medium not formatted");
  events().BurnerCloseSession(1);
  EXPECT_EQ(LastLogText(), "Close Session...");
  events().OnBuildingError(5002, "x");
  events().OnBuildingProcess(11, 0, "", 0, 0, 0, 5);
  EXPECT_EQ(dialogs.messages.size(), 0u);
}

TEST_F(DiscDriverTest, CancelDuringTheBuildWaitsForItsReturnAndStartsNoImage) {
  bool refused_close = false;
  authoring.on_progress = [&] {
    if (c().StopRequested) return;
    refused_close = c().QueryUnload();  // the window stays while the build runs
    c().QuitButton_Click();
    EXPECT_EQ(c().CurrentStep, 5) << "the clean-up waits until the build has returned";
  };
  Author(kOutputIso);
  EXPECT_TRUE(refused_close);
  EXPECT_EQ(authoring.clear_calls.front(), false);  // StartDvdBuild's own
  EXPECT_TRUE(std::find(authoring.clear_calls.begin(), authoring.clear_calls.end(), true) !=
              authoring.clear_calls.end())
      << "a stop was asked during the build";
  EXPECT_TRUE(Calls("CreateIso").empty()) << "the completion of a cancelled build starts nothing";
  EXPECT_EQ(c().CurrentStep, 1);
  EXPECT_FALSE(c().Busy);
  EXPECT_FALSE(fs::exists(tmp / "1 - video.mpg"));
}

}  // namespace
}  // namespace vantora
