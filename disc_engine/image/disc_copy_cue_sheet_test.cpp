// The CUE sheet of a disc copy: sessions announced once, tracks typed by their
// control bits, start times from the tracks' own start sectors.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "image/cue_sheet.h"
#include "image/iso9660_testutil.h"

namespace zephrel {
namespace {

TEST(DiscCopyCueSheet, ATwoSessionDiscGivesEachSessionOnceAndEachTrackItsOwnStart) {
  const std::vector<DiscCueTrack> tracks = {
      {.number = 1, .session = 1, .start = 0, .data = false, .pre_emphasis = true},
      {.number = 2, .session = 1, .start = 15000, .data = false, .pre_emphasis = false},
      {.number = 3, .session = 2, .start = 26552, .data = true, .pre_emphasis = false},
  };
  EXPECT_EQ(DiscCopyCueSheetText("disc.bin", "CD-R", tracks, false),
            "FILE \"disc.bin\" BINARY\r\n"
            "REM ORIGINAL MEDIA-TYPE: CD-R\r\n"
            "  REM SESSION 1\r\n"
            "    TRACK 1 AUDIO\r\n"
            "      FLAGS PRE\r\n"
            "      INDEX 01 00:00:00\r\n"
            "    TRACK 2 AUDIO\r\n"
            "      INDEX 00 03:18:00\r\n"
            "      INDEX 01 03:20:00\r\n"
            "  REM SESSION 2\r\n"
            "    TRACK 3 MODE1/2352\r\n"
            "      INDEX 00 05:52:02\r\n"
            "      INDEX 01 05:54:02\r\n");
}

TEST(DiscCopyCueSheet, TheSectorSizeOfDataTracksIsTheImagesAndAMediumWithoutANameLeavesTheRemarkEmpty) {
  const std::vector<DiscCueTrack> tracks = {{.number = 1, .session = 1, .start = 0, .data = true}};
  EXPECT_EQ(
      DiscCopyCueSheetText("d.iso", "", tracks, true),
      "FILE \"d.iso\" BINARY\r\nREM ORIGINAL MEDIA-TYPE: \r\n  REM SESSION 1\r\n    TRACK 1 MODE1/2048\r\n"
      "      INDEX 01 00:00:00\r\n");
}

TEST(DiscCopyCueSheet, AnExistingSheetIsTheUsersAndIsNeitherReplacedNorTouched) {
  testing::TempDir dir;
  const std::string sheet = dir.WriteFile("mine.cue", "my own sheet\n");
  std::string error;
  EXPECT_FALSE(WriteDiscCopyCueSheet(dir.path() + "/mine.bin", sheet, "CD-R", {{.number = 1, .session = 1}},
                                     false, &error));
  EXPECT_FALSE(error.empty());
  std::ifstream in(sheet);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "my own sheet");
}

}  // namespace
}  // namespace zephrel
