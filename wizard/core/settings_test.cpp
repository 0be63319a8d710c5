#include "vantora/settings.h"

#include <gtest/gtest.h>

#include "core_testutil.h"
#include "platform/text.h"

namespace vantora {
namespace {

using testing::ReadBytes;
using testing::RecordingShell;
using testing::TempFolder;
using testing::WriteBytes;

class SettingsTest : public ::testing::Test {
 protected:
  TempFolder dir_;
  std::filesystem::path program_ = dir_ / "home";
  std::filesystem::path config_ = dir_ / "home" / "Config.ini";
  void SetUp() override { std::filesystem::create_directories(program_); }
  WizardSettings Load() { return LoadSettings(config_, FoldersIn(program_)); }
};

void ExpectDefaults(const WizardSettings& s, const std::filesystem::path& program) {
  EXPECT_EQ(s.temp_folder, platform::PathToUtf8(program / "projects"));
  EXPECT_EQ(s.video_bitrate, 4500);
  EXPECT_EQ(s.label, "New DVD");
  EXPECT_TRUE(s.ntsc);
  EXPECT_TRUE(s.aspect_4x3);
  EXPECT_EQ(s.output_folder, platform::PathToUtf8(program));
  EXPECT_EQ(s.add_folder, platform::PathToUtf8(program));
  EXPECT_TRUE(s.show_preview);
}

TEST_F(SettingsTest, WithoutAFileEveryKeyTakesItsDefault) {
  ExpectDefaults(Load(), program_);
  EXPECT_EQ(ReadButtonColor(config_, ButtonState::kNormal), "White");
  EXPECT_EQ(ReadButtonColor(config_, ButtonState::kSelected), "Red");
  EXPECT_EQ(ReadButtonColor(config_, ButtonState::kActivated), "Green");
  EXPECT_TRUE(ReadClassicalMenu(config_));
  EXPECT_EQ(ReadBurnerEntry(config_), 0);
}

TEST_F(SettingsTest, EachKeyIsInterpretedByItsRule) {
  WriteBytes(config_,
             "[tempPath]\nvalue=/data/tmp\n"
             "[parameter]\nvideobitrate=6000\nlabel=Holiday 2026\nNTSC=False\nOption43=false\n"
             "[outPutDir]\nvalue=/data/out\n[RepInit]\nvalue=/data/videos/\n"
             "[ShowPreview]\nvalue=False\n"
             "[menuDVD]\nnormalcolor=Blue\nmenu=False\n[Drive]\nburner=2\n");
  const WizardSettings s = Load();
  EXPECT_EQ(s.temp_folder, "/data/tmp");
  EXPECT_EQ(s.video_bitrate, 6000);
  EXPECT_EQ(s.label, "Holiday 2026");
  EXPECT_FALSE(s.ntsc);
  EXPECT_FALSE(s.aspect_4x3);  // only "True" selects 4:3
  EXPECT_EQ(s.output_folder, "/data/out");
  EXPECT_EQ(s.add_folder, "/data/videos/");
  EXPECT_FALSE(s.show_preview);
  EXPECT_EQ(ReadButtonColor(config_, ButtonState::kNormal), "Blue");
  EXPECT_EQ(ReadButtonColor(config_, ButtonState::kSelected), "Red");
  EXPECT_FALSE(ReadClassicalMenu(config_));
  EXPECT_EQ(ReadBurnerEntry(config_), 2);
}

TEST_F(SettingsTest, TrueChoicesAndPreviewWordsFollowTheirRules) {
  WriteBytes(config_, "[parameter]\nNTSC=True\nOption43=True\n[ShowPreview]\nvalue=yes\n");
  const WizardSettings s = Load();
  EXPECT_TRUE(s.ntsc);
  EXPECT_TRUE(s.aspect_4x3);
  EXPECT_FALSE(s.show_preview);  // any non-empty text but "True" clears it
  WriteBytes(config_, "[parameter]\nNTSC=true\n[ShowPreview]\nvalue=True\n[menuDVD]\nmenu=no\n");
  EXPECT_FALSE(Load().ntsc);
  EXPECT_TRUE(Load().show_preview);
  EXPECT_TRUE(ReadClassicalMenu(config_));
}

TEST_F(SettingsTest, StoredBitRatesAreReadAsIsAndHeldToDvdLimitsWhenUsed) {
  struct Case {
    const char* stored;
    int read;
    int used;
  } cases[] = {
      {"abc", 0, 4500},
      {"-5", -5, 4500},
      {"20000", 20000, 9000},
      {"4500.5", 4500, 4500},
      {"4501.5", 4502, 4502},
      {"", 4500, 4500},
      {"12000", 12000, 9000},
      {"9000", 9000, 9000},
      {"1", 1, 1},
      {"99999999999999", 2147483647, 9000},
  };
  for (const Case& c : cases) {
    WriteBytes(config_, std::string("[parameter]\nvideobitrate=") + c.stored + "\n");
    const int read = Load().video_bitrate;
    EXPECT_EQ(read, c.read) << c.stored;
    EXPECT_EQ(ClampVideoBitrate(read), c.used) << c.stored;
  }
}

TEST_F(SettingsTest, DamagedFilesGiveTheReadableKeysAndDefaultsForTheRest) {
  // Junk with one readable key.
  std::string junk = "\x01\x02 garbage ]][[\n=x\n[parameter]\nlabel=Kept\n";
  junk += std::string("\xff\xfe\0\x80 more junk", 14);
  WriteBytes(config_, junk);
  WizardSettings s = Load();
  EXPECT_EQ(s.label, "Kept");
  EXPECT_EQ(s.video_bitrate, 4500);
  // UTF-16LE with a byte-order mark.
  std::string utf16 = "\xff\xfe";
  for (char c : std::string("[parameter]\r\nlabel=Wide\r\nNTSC=False\r\n")) {
    utf16 += c;
    utf16 += '\0';
  }
  WriteBytes(config_, utf16);
  s = Load();
  EXPECT_EQ(s.label, "Wide");
  EXPECT_FALSE(s.ntsc);
  // A folder where the file should be: nothing can be read.
  std::filesystem::remove(config_);
  std::filesystem::create_directory(config_);
  ExpectDefaults(Load(), program_);
}

TEST_F(SettingsTest, LongValuesAreCutAndOddValuesSurviveTheRoundTrip) {
  const std::string long_label(300, 'x');
  WriteBytes(config_, "[parameter]\nlabel=" + long_label + "\n");
  EXPECT_EQ(Load().label, std::string(254, 'x'));
  std::string error;
  for (const std::string value : {"  padded  ", "\"quoted\"", "'single'", "two\nlines"}) {
    ASSERT_TRUE(WriteIni(config_, "parameter", "label", value, &error)) << error;
    std::string expected = value;
    if (value == "two\nlines") expected = "two lines";
    EXPECT_EQ(Load().label, expected);
  }
}

TEST_F(SettingsTest, SaveWritesTheNineKeysAndKeepsForeignSections) {
  WriteBytes(config_,
             "; user comment\n[MP3]\nbitrate=192\n[menuDVD]\nnormalcolor=Cyan\n"
             "[parameter]\nlabel=Old\nextra=keep me\n");
  WizardSettings s = DefaultSettings(FoldersIn(program_));
  s.temp_folder = "/t";
  s.video_bitrate = 7000;
  s.label = "New label";
  s.ntsc = false;
  s.aspect_4x3 = false;
  s.output_folder = "/o";
  s.add_folder = "/a/";
  s.show_preview = false;
  const SaveResult r = SaveSettings(config_, s, "7000");
  ASSERT_TRUE(r.ok) << r.message;
  const std::string text = ReadBytes(config_);
  EXPECT_NE(text.find("; user comment"), std::string::npos);
  EXPECT_EQ(ReadIni(config_, "MP3", "bitrate"), "192");
  EXPECT_EQ(ReadIni(config_, "parameter", "extra"), "keep me");
  EXPECT_EQ(ReadIni(config_, "menuDVD", "normalcolor"), "Cyan");
  EXPECT_EQ(ReadIni(config_, "videobitrate", "value"), "7000");
  EXPECT_EQ(ReadIni(config_, "parameter", "NTSC"), "False");
  EXPECT_EQ(ReadIni(config_, "ShowPreview", "value"), "False");
  const WizardSettings back = Load();
  EXPECT_EQ(back.temp_folder, "/t");
  EXPECT_EQ(back.video_bitrate, 7000);
  EXPECT_EQ(back.label, "New label");
  EXPECT_FALSE(back.ntsc);
  EXPECT_FALSE(back.aspect_4x3);
  EXPECT_EQ(back.output_folder, "/o");
  EXPECT_EQ(back.add_folder, "/a/");
  EXPECT_FALSE(back.show_preview);
}

TEST_F(SettingsTest, SaveCreatesAMissingFileAndItsFolder) {
  const std::filesystem::path fresh = dir_ / "new" / "place" / "Config.ini";
  ASSERT_TRUE(SaveSettings(fresh, DefaultSettings(FoldersIn(program_)), "4500").ok);
  ExpectDefaults(LoadSettings(fresh, FoldersIn(program_)), program_);
}

TEST_F(SettingsTest, AFailedSaveIsReportedOnceAndLeavesTheFileAlone) {
  // The folder of the file is a regular file: nothing can be written there.
  WriteBytes(dir_ / "blocker", "not a folder");
  const SaveResult r =
      SaveSettings(dir_ / "blocker" / "Config.ini", DefaultSettings(FoldersIn(program_)), "1");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("could not be saved"), std::string::npos);
  EXPECT_EQ(ReadBytes(dir_ / "blocker"), "not a folder");
  // A folder in place of the file: refused, and the folder stays.
  std::filesystem::create_directory(config_);
  EXPECT_FALSE(SaveSettings(config_, DefaultSettings(FoldersIn(program_)), "1").ok);
  EXPECT_TRUE(std::filesystem::is_directory(config_));
}

TEST_F(SettingsTest, FirstRunWritesTheMarkAndOpensNothingWithoutAHost) {
  RecordingShell shell;
  FirstRunResult r = HandleFirstRun(config_, FirstRunPage{}, shell);
  EXPECT_TRUE(r.first_run);
  EXPECT_FALSE(r.page_opened);
  EXPECT_TRUE(shell.opened.empty());
  EXPECT_EQ(ReadIni(config_, "LAUNCH", "VALUE"), "True");
  r = HandleFirstRun(config_, FirstRunPage{}, shell);
  EXPECT_FALSE(r.first_run);
}

TEST_F(SettingsTest, FirstRunWithAHostOpensThePageOnceWithTheDealioWord) {
  WriteBytes(config_, "[INSTALL]\nDEALIO=True\n[LAUNCH]\nVALUE=no\n");
  RecordingShell shell;
  const FirstRunPage page{"downloads.example.org", "vantora"};
  EXPECT_TRUE(HandleFirstRun(config_, page, shell).page_opened);
  EXPECT_FALSE(HandleFirstRun(config_, page, shell).first_run);
  ASSERT_EQ(shell.opened.size(), 1u);
  EXPECT_EQ(shell.opened[0], "https://downloads.example.org/SetupSoft.php?soft=vantora&dealio=True");
  EXPECT_EQ(FirstRunUrl(page, false),
            "https://downloads.example.org/SetupSoft.php?soft=vantora&dealio=False");
}

TEST_F(SettingsTest, MenuKeysAreWrittenAtOnce) {
  std::string error;
  ASSERT_TRUE(WriteButtonColor(config_, ButtonState::kActivated, "Dark Blue", &error)) << error;
  ASSERT_TRUE(WriteClassicalMenu(config_, false, &error)) << error;
  EXPECT_EQ(ReadButtonColor(config_, ButtonState::kActivated), "Dark Blue");
  EXPECT_FALSE(ReadClassicalMenu(config_));
}

}  // namespace
}  // namespace vantora
