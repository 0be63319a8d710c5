#include "audio/rip_path.h"

#include <gtest/gtest.h>

#include "image/iso9660_testutil.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(NameCleaning, ForbiddenCharactersBecomeUnderscoresDotsIncluded) {
  EXPECT_EQ(CleanNameComponent("A/B: C."), "A_B_ C_");
  EXPECT_EQ(CleanNameComponent("AC/DC"), "AC_DC");
  EXPECT_EQ(CleanNameComponent("../../x"), "______x");
  EXPECT_EQ(CleanNameComponent("say \"hi\"\t\x01"), "say _hi___");
  EXPECT_EQ(CleanNameComponent("  Blanks around  "), "Blanks around");
  EXPECT_EQ(CleanNameComponent(""), "Unknown");
  EXPECT_EQ(CleanNameComponent("   "), "Unknown");
  EXPECT_EQ(CleanNameComponent("日本 🎵"), "日本 🎵");
}

TEST(NameCleaning, ALongValueIsCutTo255BytesOnACharacterBoundary) {
  const std::string cut = CleanNameComponent(std::string(254, 'a') + "é");
  EXPECT_EQ(cut, std::string(254, 'a'));
}

TEST(NamePattern, ExpandsEachCodeAndKeepsTheOtherText) {
  const RipTrackNames names{"Song", "Artist", "Album", "1999"};
  EXPECT_EQ(ExpandNamePattern("%N - %T", 3, names), "03 - Song");
  EXPECT_EQ(ExpandNamePattern("%C - %A (%Y) %N", 12, names), "Artist - Album (1999) 12");
  EXPECT_EQ(ExpandNamePattern("%X%N", 3, names), "X03") << "a % without a code is dropped";
  EXPECT_EQ(ExpandNamePattern("%NT", 3, names), "03Song")
      << "a later code letter right after is expanded too";
  EXPECT_EQ(ExpandNamePattern("%TN", 3, names), "SongN");
}

TEST(NamePattern, SubstitutedArtistAlbumAndYearAreCleanedToo) {
  const RipTrackNames names{"T", "../../x", "AC/DC", "19/9"};
  EXPECT_EQ(ExpandNamePattern("%C %A %Y", 1, names), "______x AC_DC 19_9");
}

TEST(RipPaths, StayInsideTheOutputFolderWhateverTheDiscInformationSays) {
  TempDir dir;
  RipPathBuilder builder;
  std::string error;
  const std::string out = dir.path() + "/My Music";
  const auto path =
      builder.Build(out, true, "%C - %T", 1, {"T/../../../etc", "../..", "..", ""}, "mp3", &error);
  ASSERT_TRUE(path) << error;
  EXPECT_EQ(path->parent_path().parent_path().parent_path(), fs::path(out));
  EXPECT_TRUE(fs::is_directory(path->parent_path())) << "artist and album folders are made";
  EXPECT_EQ(path->filename(), "_____ - T__________etc.mp3");
}

TEST(RipPaths, FolderSwitchOffGivesTheFolderAndTheName) {
  TempDir dir;
  RipPathBuilder builder;
  std::string error;
  const auto path =
      builder.Build(dir.path() + "/out é", false, "%N - %T", 3, {"Song", "", "", ""}, "mp3", &error);
  ASSERT_TRUE(path) << error;
  EXPECT_EQ(*path, fs::path(dir.path() + "/out é/03 - Song.mp3"));
  EXPECT_TRUE(fs::is_directory(dir.path() + "/out é")) << "the output folder is created";
}

TEST(RipPaths, TwoTracksOfTheSameNameInOneRipGetNumberedNames) {
  TempDir dir;
  RipPathBuilder builder;
  std::string error;
  const RipTrackNames names{"Same", "", "", ""};
  EXPECT_EQ(builder.Build(dir.path(), false, "%T", 1, names, "wav", &error)->filename(), "Same.wav");
  EXPECT_EQ(builder.Build(dir.path(), false, "%T", 2, names, "wav", &error)->filename(), "Same (2).wav");
  EXPECT_EQ(builder.Build(dir.path(), false, "%T", 3, names, "wav", &error)->filename(), "Same (3).wav");
}

TEST(RipPaths, AnEmptyOrUncreatableOutputFolderIsRefused) {
  TempDir dir;
  RipPathBuilder builder;
  std::string error;
  EXPECT_FALSE(builder.Build("", false, "%N", 1, {}, "wav", &error));
  EXPECT_NE(error.find("No output folder"), std::string::npos);
  const std::string file = dir.WriteFile("a file", "x");
  EXPECT_FALSE(builder.Build(file, false, "%N", 1, {}, "wav", &error));
  EXPECT_NE(error.find("a file"), std::string::npos) << error;
}

}  // namespace
}  // namespace zephrel
