#include "zephrel/ripper_settings.h"

#include <gtest/gtest.h>

#include "audio/audio_testutil.h"
#include "platform/ini.h"

namespace zephrel {
namespace {

using testing::ReadWholeFile;
using testing::TempDir;

std::string Key(const TempDir& dir, const char* section, const char* key) {
  return platform::ReadIni(dir.path() + "/Config.ini", section, key, "<missing>");
}

TEST(RipperSettings, AnEmptyConfigGainsEveryMp3KeyWithItsDefault) {
  TempDir dir;
  dir.WriteFile("Config.ini", "");
  const Mp3Settings s = LoadMp3Settings(dir.path());
  EXPECT_EQ(s.channel, "Joint-Stereo");
  EXPECT_EQ(s.vbr_quality, "VBR-7");
  EXPECT_FALSE(s.vbr);
  const char* keys[] = {"Bitrate",   "VBRBitrate", "Channel", "Present", "Frequency",
                        "VBRMETHOD", "VBRQUALITY", "CRC",     "VBR",     "VBRHEADER",
                        "COPYRIGHT", "ORIGINAL",   "PRIVATE"};
  for (const char* key : keys) EXPECT_NE(Key(dir, "MP3", key), "<missing>") << key;
  EXPECT_EQ(Key(dir, "MP3", "Present"), "NORMAL");
  EXPECT_EQ(Key(dir, "COMPRESSION", "Select"), "MP3");
  EXPECT_EQ(Key(dir, "Output", "Nom"), "<missing>") << "the MP3 reading writes only its own keys";
}

TEST(RipperSettings, PathReadersWriteTheirKeysAndTheDialogReadingWritesAuto) {
  TempDir dir;
  EXPECT_EQ(ReadOutputFolder(dir.path()), dir.path() + "/My Music");
  EXPECT_EQ(ReadNamePattern(dir.path()), "%N - %T");
  EXPECT_TRUE(ReadSubfolderSwitch(dir.path()));
  EXPECT_EQ(Key(dir, "SAUVEGARDE", "Chemin"), dir.path() + "/My Music");
  EXPECT_EQ(Key(dir, "Output", "Rep"), "true");
  EXPECT_EQ(Key(dir, "CDDB", "Auto"), "<missing>");
  EXPECT_TRUE(LoadRipperSettings(dir.path()).auto_cddb);
  EXPECT_EQ(Key(dir, "CDDB", "Auto"), "true");
}

TEST(RipperSettings, StoredValuesAreReadAndSwitchesFollowTheirFirstCharacter) {
  TempDir dir;
  dir.WriteFile("Config.ini",
                "[MP3]\nBitrate=192\nCRC=1\nVBR=yes\nCOPYRIGHT=0\nVBRQUALITY=VBR-2\n[Output]\nRep=True\n");
  const Mp3Settings s = LoadMp3Settings(dir.path());
  EXPECT_EQ(s.bitrate, "192");
  EXPECT_TRUE(s.crc);
  EXPECT_TRUE(s.vbr);
  EXPECT_FALSE(s.copyright);
  EXPECT_EQ(s.vbr_quality, "VBR-2");
  EXPECT_FALSE(ReadSubfolderSwitch(dir.path())) << "only the exact text true is true";
}

TEST(Mp3DialogSelection, StoredTextsAreFoundIgnoringCaseAndUnknownOnesFallBack) {
  Mp3Settings s;
  s.vbr_quality = "VBR-42x";
  s.frequency = "48000";
  s.bitrate = "320";
  s.preset = "garbage";
  const Mp3DialogSelection sel = SelectMp3Items(s);
  EXPECT_EQ(Mp3VbrQualities()[sel.vbr_quality], "VBR-7");
  EXPECT_EQ(Mp3Frequencies()[sel.frequency], "48000");
  EXPECT_EQ(Mp3BitRates()[sel.bitrate], "320");
  EXPECT_EQ(Mp3Channels()[sel.channel], "Joint-stereo") << "the default Joint-Stereo finds Joint-stereo";
  EXPECT_EQ(Mp3PresetNames()[sel.preset], "NORMAL");
  s.frequency = "22050";
  EXPECT_EQ(Mp3Frequencies()[SelectMp3Items(s).frequency], "44100");
  EXPECT_EQ(Mp3PresetNames().size(), 24u);
}

TEST(Mp3DialogSelection, OkWritesTheSelectedTextsAndSwitchesAsOneAndZero) {
  TempDir dir;
  Mp3Settings switches;
  switches.vbr = true;
  switches.private_bit = true;
  Mp3DialogSelection sel;
  sel.bitrate = 13;  // 192
  sel.channel = 0;   // Mono
  std::string error;
  ASSERT_TRUE(SaveMp3Settings(dir.path(), Mp3SettingsFromSelection(sel, switches), &error)) << error;
  EXPECT_EQ(Key(dir, "MP3", "Bitrate"), "192");
  EXPECT_EQ(Key(dir, "MP3", "Channel"), "Mono");
  EXPECT_EQ(Key(dir, "MP3", "VBR"), "1");
  EXPECT_EQ(Key(dir, "MP3", "PRIVATE"), "1");
  EXPECT_EQ(Key(dir, "MP3", "CRC"), "0");
  EXPECT_EQ(Key(dir, "MP3", "Frequency"), "32000");
}

TEST(RipperDialogLogic, CodeButtonsBuildThePatternWithBlanksBetween) {
  std::string p = AddPatternCode("", "%N");
  p = AddPatternCode(p, "-");
  p = AddPatternCode(p, "%T");
  EXPECT_EQ(p, "%N - %T");
  EXPECT_EQ(AddPatternCode(std::string(60, 'x'), "%Y"), std::string(49, 'x') + " %Y");
}

TEST(RipperSettings, AFolderThatCannotBeWrittenIsReported) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(SaveRipperSettings(dir.path() + "/missing", RipperOutputSettings{}, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace zephrel
