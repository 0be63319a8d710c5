// The build pipeline: validation before anything is touched, the cleaning of
// the output folder, the private copy of the settings, the checks of button
// targets and TV systems, the sizes and addresses in the information files,
// and the progress reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "build_pipeline.h"
#include "build_testutil.h"
#include "morvix/error_text.h"
#include "mpeg_testutil.h"
#include "platform/byte_order.h"
#include "platform/text.h"
#include "vob_testutil.h"

namespace morvix {
namespace {

namespace fs = std::filesystem;
using platform::GetBe16;
using platform::GetBe32;
using testing::ReadAll;
using testing::SharedClip;
using Bytes = std::vector<std::uint8_t>;

std::wstring Wide(const fs::path& p) { return platform::Utf8ToWide(p.string()); }

void SetOutput(CMorvixAPI& api, const fs::path& dir) { ASSERT_EQ(api.SetOutputDir(Wide(dir).c_str()), kOk); }

std::string Text(const CMorvixAPI& api, Status code) {
  wchar_t buffer[512];
  api.GetErrText(code, buffer, 512);
  return platform::WideToUtf8(buffer);
}

void Touch(const fs::path& p) { std::ofstream(p) << "keep"; }

// ---------------------------------------------------------------- validation

TEST(BuildValidation, MissingButtonsOfTitleThreeAreReportedForTitleThree) {
  CMorvixAPI api;
  for (int t = 0; t < 3; ++t) testing::AddClipTitle(api, SharedClip("pal_43.mpg"));
  api.AddTitleMenu(3, Wide(SharedClip("pal_menu.mpg")).c_str());
  SetOutput(api, testing::NewOutputDir("no_button"));
  ASSERT_EQ(api.Build(nullptr), kErrNoButton);
  EXPECT_EQ(Text(api, kErrNoButton), "Error code = -2002\nNo button found in title 3 menu!");
}

TEST(BuildValidation, AnOutputFolderNeverSetIsReportedAsNotSet) {
  CMorvixAPI api;
  testing::AddClipTitle(api, SharedClip("pal_43.mpg"));
  ASSERT_EQ(api.Build(nullptr), kErrOutputDir);
  EXPECT_EQ(Text(api, kErrOutputDir), "Error code = -2022\nThe output directory has not been set!");
}

TEST(BuildValidation, AnOutputFolderRemovedAfterSettingIsNamed) {
  CMorvixAPI api;
  testing::AddClipTitle(api, SharedClip("pal_43.mpg"));
  const fs::path dir = testing::NewOutputDir("gone");
  SetOutput(api, dir);
  fs::remove(dir);
  ASSERT_EQ(api.Build(nullptr), kErrOutputDir);
  EXPECT_EQ(Text(api, kErrOutputDir),
            "Error code = -2022\nThe output directory:\n" + dir.string() + "\ndoes not exists");
}

// Button targets: each case names the menu whose button cannot be followed,
// and nothing in the output folder is touched.
struct BadButton {
  const char* what;
  bool main_menu;      // the button sits on the main menu, else on title 2's menu
  bool add_main_menu;  // a main menu exists (with a good button when the bad one is elsewhere)
  std::uint32_t type;
  std::uint32_t value;
};

class BuildButtonTargets : public ::testing::TestWithParam<BadButton> {};

TEST_P(BuildButtonTargets, AButtonWithoutAReachableTargetStopsTheBuildBeforeAnythingIsWritten) {
  const BadButton& c = GetParam();
  CMorvixAPI api;
  testing::AddClipTitle(api, SharedClip("pal_43.mpg"));
  testing::AddClipTitle(api, SharedClip("pal_43.mpg"), {0.0f, 4.0f});
  const std::wstring menu = Wide(SharedClip("pal_menu.mpg"));
  if (c.add_main_menu) {
    api.AddMainMenu(menu.c_str());
    api.AddMenuBtn(kMainMenuId, 100, 100, 140, 140, c.main_menu ? c.type : 1, c.main_menu ? c.value : 1,
                   nullptr);
  }
  if (!c.main_menu) {
    api.AddTitleMenu(2, menu.c_str());
    api.AddMenuBtn(TitleMenuId(2), 100, 100, 140, 140, c.type, c.value, nullptr);
  }
  const fs::path dir = testing::NewOutputDir("bad_button");
  Touch(dir / "VIDEO_TS.IFO");
  SetOutput(api, dir);
  EXPECT_EQ(api.Build(nullptr), kErrInvalidButtonCommand) << c.what;
  EXPECT_EQ(api.error_context().title, c.main_menu ? 0 : 2) << c.what;
  EXPECT_EQ(Text(api, kErrInvalidButtonCommand),
            c.main_menu ? "Error code = -2017\nInvalid button command in the main menu!"
                        : "Error code = -2017\nInvalid button command in the menu of title 2!")
      << c.what;
  EXPECT_TRUE(fs::exists(dir / "VIDEO_TS.IFO")) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BuildButtonTargets,
    ::testing::Values(BadButton{"title jump past the last title", true, true, 1, 3},
                      BadButton{"title jump to title 0", true, true, 1, 0},
                      BadButton{"chapter jump on the main menu", true, true, 2, 1},
                      BadButton{"title jump on a title menu", false, true, 1, 1},
                      BadButton{"chapter jump past the title's chapters", false, true, 2, 3},
                      BadButton{"main-menu jump without a main menu", false, false, 3, 0}));

TEST(BuildButtonTargetsAccepted, ChapterJumpsWithinTheTitleAndMenuReturnsAreBuilt) {
  CMorvixAPI api;
  testing::AddClipTitle(api, SharedClip("pal_43.mpg"), {0.0f, 4.0f});
  const std::wstring menu = Wide(SharedClip("pal_menu.mpg"));
  api.AddMainMenu(menu.c_str());
  api.AddMenuBtn(kMainMenuId, 100, 100, 140, 140, 1, 1, nullptr);
  api.AddTitleMenu(1, menu.c_str());
  api.AddMenuBtn(TitleMenuId(1), 100, 100, 140, 140, 2, 2, nullptr);
  api.AddMenuBtn(TitleMenuId(1), 100, 200, 140, 240, 3, 0, nullptr);
  const fs::path dir = testing::NewOutputDir("good_buttons");
  SetOutput(api, dir);
  EXPECT_EQ(api.Build(nullptr), kOk);
  EXPECT_TRUE(fs::exists(dir / "VTS_01_0.VOB"));
}

// ---------------------------------------------------------------- cleaning

TEST(BuildCleaning, OnlyDvdVideoFilesOfTheOutputFolderAreDeleted) {
  CMorvixAPI api;
  testing::AddClipTitle(api, SharedClip("pal_43.mpg"));
  const fs::path dir = testing::NewOutputDir("cleaning");
  for (const char* name : {"notes.txt", "VTS_01_1.VOB.txt", "VTS_1_1.VOB", "movie.mpg"}) Touch(dir / name);
  for (const char* name : {"vts_05_3.vob", "VIDEO_TS.bup", "VTS_99_0.IFO"}) Touch(dir / name);
  fs::create_directory(dir / "VTS_02_1.VOB");
  Touch(dir / "VTS_02_1.VOB" / "VIDEO_TS.IFO");
  SetOutput(api, dir);
  ASSERT_EQ(api.Build(nullptr), kOk);
  for (const char* name : {"notes.txt", "VTS_01_1.VOB.txt", "VTS_1_1.VOB", "movie.mpg"}) {
    EXPECT_TRUE(fs::exists(dir / name)) << name;
  }
  EXPECT_TRUE(fs::exists(dir / "VTS_02_1.VOB" / "VIDEO_TS.IFO")) << "folders and their contents stay";
  for (const char* name : {"vts_05_3.vob", "VIDEO_TS.bup", "VTS_99_0.IFO"})
    EXPECT_FALSE(fs::exists(dir / name)) << name;
  EXPECT_TRUE(fs::exists(dir / "VIDEO_TS.IFO"));
}

TEST(BuildCleaning, AnInputNamedLikeAnOutputFileInTheOutputFolderIsRefusedBeforeAnythingIsDeleted) {
  const fs::path dir = testing::NewOutputDir("input_inside");
  fs::copy_file(SharedClip("pal_43.mpg"), dir / "vts_01_1.vob");
  Touch(dir / "VIDEO_TS.IFO");
  CMorvixAPI api;
  testing::AddClipTitle(api, dir / "vts_01_1.vob");
  SetOutput(api, dir);
  ASSERT_EQ(api.Build(nullptr), kErrDeleteFile);
  EXPECT_EQ(api.error_context().file, Wide(dir / "vts_01_1.vob"));
  EXPECT_TRUE(fs::exists(dir / "vts_01_1.vob"));
  EXPECT_TRUE(fs::exists(dir / "VIDEO_TS.IFO"));
}

TEST(BuildCleaning, AnInputLinkedToAnOutputFileIsRefusedBeforeAnythingIsDeleted) {
  const fs::path dir = testing::NewOutputDir("input_linked");
  fs::copy_file(SharedClip("pal_43.mpg"), dir / "VTS_01_1.VOB");
  const fs::path link = testing::NewOutputDir("input_link") / "movie.mpg";
  fs::create_hard_link(dir / "VTS_01_1.VOB", link);
  CMorvixAPI api;
  testing::AddClipTitle(api, link);
  SetOutput(api, dir);
  ASSERT_EQ(api.Build(nullptr), kErrDeleteFile);
  EXPECT_EQ(api.error_context().file, Wide(link));
  EXPECT_TRUE(fs::exists(dir / "VTS_01_1.VOB"));
}

TEST(BuildCleaning, InputsInTheOutputFolderWithOtherNamesSurvive) {
  const fs::path dir = testing::NewOutputDir("wizard_temp");
  fs::copy_file(SharedClip("pal_43.mpg"), dir / "1 movie.mpg");
  CMorvixAPI api;
  testing::AddClipTitle(api, dir / "1 movie.mpg");
  SetOutput(api, dir);
  ASSERT_EQ(api.Build(nullptr), kOk);
  EXPECT_EQ(fs::file_size(dir / "1 movie.mpg"), fs::file_size(SharedClip("pal_43.mpg")));
}

// Deletes a file from inside the first progress report.
fs::path g_vanishing;
int DeleteAtFirstReport(double, double, const wchar_t*) {
  if (!g_vanishing.empty()) fs::remove(g_vanishing);
  g_vanishing.clear();
  return 0;
}

TEST(BuildCleaning, AnInputThatVanishesAfterValidationIsReportedMissing) {
  const fs::path dir = testing::NewOutputDir("vanish");
  const fs::path second = testing::NewOutputDir("vanish_in") / "second.mpg";
  fs::copy_file(SharedClip("pal_43.mpg"), second);
  CMorvixAPI api;
  testing::AddClipTitle(api, SharedClip("pal_43.mpg"));
  testing::AddClipTitle(api, second);
  SetOutput(api, dir);
  g_vanishing = second;
  ASSERT_EQ(api.Build(DeleteAtFirstReport), kErrNoFile);
  EXPECT_EQ(api.error_context().file, Wide(second));
  EXPECT_FALSE(fs::exists(dir / "VIDEO_TS.IFO"));
}

// ---------------------------------------------------------------- settings copy

CMorvixAPI* g_cleared = nullptr;
int ClearSettingsAtEveryReport(double, double, const wchar_t*) {
  if (g_cleared != nullptr) g_cleared->Init();
  return 0;
}

TEST(BuildSettingsCopy, SettingsClearedByTheProgressHandlerDoNotDisturbTheRunningBuild) {
  CMorvixAPI api;
  testing::AddClipTitle(api, SharedClip("pal_43.mpg"));
  testing::AddClipTitle(api, SharedClip("pal_43.mpg"), {0.0f, 4.0f});
  testing::AddTitleButtons(api, SharedClip("pal_menu.mpg"), 2);
  const fs::path dir = testing::NewOutputDir("cleared");
  SetOutput(api, dir);
  g_cleared = &api;
  EXPECT_EQ(api.Build(ClearSettingsAtEveryReport), kOk);
  g_cleared = nullptr;
  EXPECT_EQ(api.GetTitleCount(), 0);
  EXPECT_TRUE(fs::exists(dir / "VTS_02_1.VOB"));
  EXPECT_TRUE(fs::exists(dir / "VIDEO_TS.BUP"));
}

// ---------------------------------------------------------------- TV systems

TEST(BuildTvSystem, APalMenuBeforeNtscTitlesIsRefusedNamingTheMenu) {
  CMorvixAPI api;
  testing::AddClipTitle(api, SharedClip("ntsc_169.mpg"));
  testing::AddTitleButtons(api, SharedClip("pal_menu.mpg"), 1);
  const fs::path dir = testing::NewOutputDir("mixed_menu");
  SetOutput(api, dir);
  ASSERT_EQ(api.Build(nullptr), kErrFpsMismatch);
  EXPECT_EQ(api.error_context().file, Wide(SharedClip("pal_menu.mpg")));
  EXPECT_FALSE(fs::exists(dir / "VIDEO_TS.VOB")) << "the menu is refused before it is written";
}

TEST(BuildTvSystem, ATitleWhoseSystemDiffersFromTitleOnesIsRefusedNamingIt) {
  CMorvixAPI api;
  testing::AddClipTitle(api, SharedClip("pal_43.mpg"));
  testing::AddClipTitle(api, SharedClip("ntsc_169.mpg"));
  SetOutput(api, testing::NewOutputDir("mixed_titles"));
  ASSERT_EQ(api.Build(nullptr), kErrFpsMismatch);
  EXPECT_EQ(api.error_context().file, Wide(SharedClip("ntsc_169.mpg")));
}

TEST(BuildTvSystem, NtscMenuButtonsBelowTheLastPictureLineAreRefused) {
  CMorvixAPI api;
  testing::AddClipTitle(api, SharedClip("ntsc_169.mpg"));
  api.AddMainMenu(Wide(testing::NtscMenuClip()).c_str());
  api.AddMenuBtn(kMainMenuId, 100, 400, 160, 480, 1, 1, nullptr);
  SetOutput(api, testing::NewOutputDir("ntsc_low_button"));
  EXPECT_EQ(api.Build(nullptr), kErrInvalidButtonPosition);

  ASSERT_EQ(api.SetMenuBtn(kMainMenuId, 1, 100, 400, 160, 479, 1, 1, nullptr), kOk);
  EXPECT_EQ(api.Build(nullptr), kOk);
}

// ---------------------------------------------------------------- information files

std::uint32_t Sectors(const fs::path& p) { return static_cast<std::uint32_t>(fs::file_size(p) / 2048); }

TEST(BuildInfoFiles, SizesAndAddressesComeFromTheFilesWrittenAndRunOnAcrossParts) {
  CMorvixAPI api;
  testing::AddClipTitle(api, SharedClip("pal_43.mpg"));
  testing::AddClipTitle(api, SharedClip("pal_noaudio.mpg"));
  testing::AddTitleButtons(api, SharedClip("pal_menu.mpg"), 2);
  api.AddTitleMenu(1, Wide(SharedClip("pal_menu.mpg")).c_str());
  api.AddMenuBtn(TitleMenuId(1), 100, 100, 140, 140, 3, 0, nullptr);
  const fs::path dir = testing::NewOutputDir("sizes");
  SetOutput(api, dir);
  BuildOptions options;
  options.part_bytes = 2u << 20;
  ErrorContext error;
  ASSERT_EQ(BuildVideoTs(*api.GetSettingData(), nullptr, options, error), kOk);

  const Bytes vmg = ReadAll(dir / "VIDEO_TS.IFO");
  const Bytes vts1 = ReadAll(dir / "VTS_01_0.IFO");
  const Bytes vts2 = ReadAll(dir / "VTS_02_0.IFO");
  int parts = 0;
  std::uint32_t movie_sectors = 0;
  for (int k = 1; k <= 9; ++k) {
    const fs::path part = dir / ("VTS_01_" + std::to_string(k) + ".VOB");
    if (!fs::exists(part)) break;
    ++parts;
    movie_sectors += Sectors(part);
  }
  ASSERT_GE(parts, 3);
  const std::uint32_t set1 =
      2 * Sectors(dir / "VTS_01_0.IFO") + Sectors(dir / "VTS_01_0.VOB") + movie_sectors;
  EXPECT_EQ(GetBe32(&vts1[12]) + 1, set1);
  const std::uint32_t vmg_total = 2 * Sectors(dir / "VIDEO_TS.IFO") + Sectors(dir / "VIDEO_TS.VOB");
  EXPECT_EQ(GetBe32(&vmg[12]) + 1, vmg_total);

  // Title search pointers: each title set starts where the one before ended.
  const std::size_t tt = GetBe32(&vmg[196]) * 2048;
  ASSERT_EQ(GetBe16(&vmg[tt]), 2);
  EXPECT_EQ(GetBe32(&vmg[tt + 8 + 8]), vmg_total);
  EXPECT_EQ(GetBe32(&vmg[tt + 8 + 12 + 8]), vmg_total + set1);

  // The cell table counts every part; cells and the VOBU map address the
  // sectors of the parts joined, as the navigation packs do.
  const std::size_t cadt = GetBe32(&vts1[224]) * 2048;
  EXPECT_EQ(GetBe16(&vts1[cadt]), parts);
  const std::size_t cells = (GetBe32(&vts1[cadt + 4]) + 1 - 8) / 12;
  ASSERT_GE(cells, static_cast<std::size_t>(parts));
  const std::size_t last = cadt + 8 + 12 * (cells - 1);
  EXPECT_EQ(GetBe16(&vts1[last]), parts);
  EXPECT_EQ(GetBe32(&vts1[last + 8]) + 1, movie_sectors);
  const std::size_t map = GetBe32(&vts1[228]) * 2048;
  const std::size_t vobus = (GetBe32(&vts1[map]) + 1 - 4) / 4;
  const std::uint32_t last_vobu = GetBe32(&vts1[map + 4 + 4 * (vobus - 1)]);
  EXPECT_LT(last_vobu, movie_sectors);
  EXPECT_GT(last_vobu, movie_sectors - Sectors(dir / ("VTS_01_" + std::to_string(parts) + ".VOB")));

  // A title without sound declares no audio stream, in its attributes and in
  // its chain's audio control; the title with sound declares stream 0.
  EXPECT_EQ(GetBe16(&vts2[514]), 0);
  const std::size_t pgc2 = GetBe32(&vts2[204]) * 2048 + 16;
  for (int k = 0; k < 8; ++k) EXPECT_EQ(GetBe16(&vts2[pgc2 + 12 + 2 * k]), 0) << k;
  EXPECT_EQ(GetBe16(&vts1[514]), 1);
  const std::size_t pgc1 = GetBe32(&vts1[204]) * 2048 + 16;
  EXPECT_EQ(GetBe16(&vts1[pgc1 + 12]), 0x8000);

  // Title set 2 has no menu: no menu VOB, a chain that starts the title, no
  // menu sub-picture stream.
  EXPECT_EQ(GetBe32(&vts2[192]), 0u);
  EXPECT_EQ(GetBe32(&vts2[216]), 0u);
  EXPECT_EQ(GetBe16(&vts2[340]), 0);
  EXPECT_EQ(GetBe16(&vts1[340]), 1);
  EXPECT_EQ(GetBe32(&vts1[192]), Sectors(dir / "VTS_01_0.IFO"));
  EXPECT_EQ(GetBe32(&vts1[196]), Sectors(dir / "VTS_01_0.IFO") + Sectors(dir / "VTS_01_0.VOB"));

  // The attribute block of every title set is copied into the manager.
  const std::size_t atrt = GetBe32(&vmg[208]) * 2048;
  for (std::size_t k = 0; k < 2; ++k) {
    const std::size_t entry = atrt + GetBe32(&vmg[atrt + 8 + 4 * k]);
    const Bytes& vts = k == 0 ? vts1 : vts2;
    EXPECT_TRUE(std::equal(vts.begin() + 256, vts.begin() + 1024, vmg.begin() + static_cast<long>(entry + 8)))
        << k;
  }
}

TEST(BuildInfoFiles, OneTitleWithoutMenusHasNoManagerMenuAndThreeChaptersMakeThreeParts) {
  CMorvixAPI api;
  testing::AddClipTitle(api, SharedClip("pal_43.mpg"), {0.0f, 4.0f, 8.0f});
  const fs::path dir = testing::NewOutputDir("no_menus");
  SetOutput(api, dir);
  ASSERT_EQ(api.Build(nullptr), kOk);
  const Bytes vmg = ReadAll(dir / "VIDEO_TS.IFO");
  const Bytes vts = ReadAll(dir / "VTS_01_0.IFO");
  EXPECT_EQ(GetBe32(&vmg[192]), 0u);
  EXPECT_EQ(GetBe32(&vmg[216]), 0u);
  EXPECT_EQ(GetBe32(&vmg[220]), 0u);
  EXPECT_FALSE(fs::exists(dir / "VIDEO_TS.VOB"));
  const std::size_t tt = GetBe32(&vmg[196]) * 2048;
  EXPECT_EQ(GetBe32(&vmg[tt + 8 + 8]), 2 * Sectors(dir / "VIDEO_TS.IFO"));
  EXPECT_EQ(GetBe16(&vmg[tt + 8 + 2]), 3);
  const std::size_t ptt = GetBe32(&vts[200]) * 2048;
  EXPECT_EQ(GetBe32(&vts[ptt + 4]) + 1, 24u);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(GetBe16(&vts[ptt + 12 + 4 * c]), 1);
    EXPECT_EQ(GetBe16(&vts[ptt + 14 + 4 * c]), c + 1);
  }
}

TEST(BuildInfoFiles, AMenuWithSoundDeclaresItsAudioStreamInAttributesAndChain) {
  CMorvixAPI api;
  testing::AddClipTitle(api, SharedClip("pal_43.mpg"));
  testing::AddTitleButtons(api, SharedClip("pal_43.mpg"), 1);
  const fs::path dir = testing::NewOutputDir("menu_sound");
  SetOutput(api, dir);
  ASSERT_EQ(api.Build(nullptr), kOk);
  const Bytes vmg = ReadAll(dir / "VIDEO_TS.IFO");
  EXPECT_EQ(GetBe16(&vmg[258]), 1);
  EXPECT_EQ(vmg[260] >> 5, 0) << "AC-3";
  const std::size_t ut = GetBe32(&vmg[200]) * 2048;
  const std::size_t chain = ut + 32;
  EXPECT_EQ(GetBe16(&vmg[chain + 12]), 0x8000);
  EXPECT_EQ(GetBe16(&vmg[chain + 14]), 0);
  const std::size_t first_play = GetBe32(&vmg[132]);
  EXPECT_EQ(GetBe16(&vmg[first_play + 12]), 0x8000);
}

// ---------------------------------------------------------------- progress

struct Report {
  double overall;
  double step;
  std::string text;
};
std::vector<Report> g_reports;
int g_stop_at = -1;       // index of the report that answers "stop"
std::string g_stop_text;  // or the text of the report that does
int Record(double overall, double step, const wchar_t* text) {
  g_reports.push_back({overall, step, platform::WideToUtf8(text)});
  const bool stop = static_cast<int>(g_reports.size()) - 1 == g_stop_at ||
                    (!g_stop_text.empty() && g_reports.back().text == g_stop_text);
  return stop ? 1 : 0;
}

TEST(BuildProgress, OneTitleWithoutMenusReportsItsStepsInOrderUpToComplete) {
  CMorvixAPI api;
  testing::AddClipTitle(api, SharedClip("pal_43.mpg"));
  SetOutput(api, testing::NewOutputDir("progress"));
  g_reports.clear();
  g_stop_at = -1;
  ASSERT_EQ(api.Build(Record), kOk);
  ASSERT_FALSE(g_reports.empty());
  std::vector<std::string> texts;
  for (const Report& r : g_reports) {
    if (texts.empty() || texts.back() != r.text) texts.push_back(r.text);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "Analyzing movie video file of title 1...", "Creating movie video file of title 1...",
                       "Creating info file of title 1...", "Creating info file of main menu", "Complete"}));
  EXPECT_DOUBLE_EQ(g_reports.front().overall, 14.0);
  EXPECT_DOUBLE_EQ(g_reports.front().step, 0.0);
  EXPECT_DOUBLE_EQ(g_reports.back().overall, 100.0);
  EXPECT_DOUBLE_EQ(g_reports.back().step, 100.0);
  for (std::size_t i = 1; i < g_reports.size(); ++i) {
    EXPECT_GE(g_reports[i].overall, g_reports[i - 1].overall - 1e-9) << i;
  }
}

TEST(BuildProgress, OverallPercentWeighsMenusTitlesAndInformationFiles) {
  EXPECT_DOUBLE_EQ(OverallPercent(1, 0, 0, 1), 0.0);
  EXPECT_DOUBLE_EQ(OverallPercent(2, 100, 0, 1), 5.0);
  EXPECT_DOUBLE_EQ(OverallPercent(6, 50, 1, 2), 5 + 0.9 * (100 + 37 + 31.5) / 2);
  EXPECT_DOUBLE_EQ(OverallPercent(3, 0, 0, 4), 5.0);
  EXPECT_DOUBLE_EQ(OverallPercent(7, 50, 0, 3), 97.0);
  EXPECT_DOUBLE_EQ(OverallPercent(8, 100, 0, 3), 100.0);
  EXPECT_EQ(StepText(4, 11), L"Creating menu video file of title 12...");
}

TEST(BuildProgress, AStopAtTheFirstReportEndsTheBuildBeforeAnyFileIsWritten) {
  CMorvixAPI api;
  testing::AddClipTitle(api, SharedClip("pal_43.mpg"));
  testing::AddTitleButtons(api, SharedClip("pal_menu.mpg"), 1);
  const fs::path dir = testing::NewOutputDir("stop_first");
  SetOutput(api, dir);
  g_reports.clear();
  g_stop_at = 0;
  EXPECT_EQ(api.Build(Record), kStopped);
  ASSERT_EQ(g_reports.size(), 1u);
  EXPECT_EQ(g_reports[0].text, "Analyzing main menu video file...");
  EXPECT_TRUE(fs::is_empty(dir));
}

TEST(BuildProgress, AStopAtTheLastReportLeavesNoSetThatLooksComplete) {
  CMorvixAPI api;
  testing::AddClipTitle(api, SharedClip("pal_43.mpg"));
  const fs::path dir = testing::NewOutputDir("stop_last");
  SetOutput(api, dir);
  g_reports.clear();
  // The throttle goes by the clock, so the number of reports before the last
  // varies from run to run: stop on the last report's text.
  g_stop_at = -1;
  g_stop_text = "Complete";
  const int result = api.Build(Record);
  g_stop_text.clear();
  EXPECT_EQ(result, kStopped);
  ASSERT_FALSE(g_reports.empty());
  EXPECT_EQ(g_reports.back().text, "Complete");
  EXPECT_FALSE(fs::exists(dir / "VIDEO_TS.IFO"));
  EXPECT_FALSE(fs::exists(dir / "VIDEO_TS.BUP"));
}

TEST(BuildProgress, AStopAtAnyReportEndsTheBuildThereWithoutAManagerFile) {
  // Two titles: the second movie is analysed while the first is written, yet
  // its progress comes in order and a stop during it ends the build at once.
  CMorvixAPI api;
  testing::AddClipTitle(api, SharedClip("pal_43.mpg"));
  testing::AddClipTitle(api, SharedClip("pal_noaudio.mpg"));
  const fs::path dir = testing::NewOutputDir("stop_any");
  SetOutput(api, dir);
  g_reports.clear();
  g_stop_at = -1;
  ASSERT_EQ(api.Build(Record), kOk);
  const std::vector<Report> full = g_reports;
  std::vector<std::string> texts;
  for (const Report& r : full) {
    if (texts.empty() || texts.back() != r.text) texts.push_back(r.text);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "Analyzing movie video file of title 1...", "Creating movie video file of title 1...",
                       "Analyzing movie video file of title 2...", "Creating movie video file of title 2...",
                       "Creating info file of title 1...", "Creating info file of title 2...",
                       "Creating info file of main menu", "Complete"}));
  for (int k = 0; k < static_cast<int>(full.size()); ++k) {
    g_reports.clear();
    g_stop_at = k;
    const int result = api.Build(Record);
    if (result == kOk) {
      // The throttle goes by the clock, so a later run may pass fewer reports
      // than the first: one that never reached report k has nothing to stop.
      EXPECT_LE(g_reports.size(), static_cast<std::size_t>(k)) << k;
      continue;
    }
    EXPECT_EQ(result, kStopped) << k;
    EXPECT_EQ(g_reports.size(), static_cast<std::size_t>(k) + 1) << "reports after the stop at " << k;
    EXPECT_FALSE(fs::exists(dir / "VIDEO_TS.IFO")) << k;
  }
}

TEST(BuildNames, DvdVideoFileNamesAreRecognisedWithoutRegardToCase) {
  for (const char* name : {"VIDEO_TS.IFO", "video_ts.vob", "Video_Ts.Bup", "VTS_01_0.IFO", "vts_99_9.vob"}) {
    EXPECT_TRUE(IsDvdVideoFileName(name)) << name;
  }
  for (const char* name : {"VIDEO_TS.MPG", "VTS_1_1.VOB", "VTS_01_10.VOB", "VTS_AB_1.VOB", "VIDEO_TS.IFO.bak",
                           "xVIDEO_TS.IFO", "VTS-01_1.VOB"}) {
    EXPECT_FALSE(IsDvdVideoFileName(name)) << name;
  }
}

}  // namespace
}  // namespace morvix
