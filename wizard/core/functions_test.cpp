#include "vantora/functions.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "core_testutil.h"

namespace vantora {
namespace {

using testing::ScopedEnv;
using testing::TempFolder;
using testing::WriteBytes;

TEST(UserFolders, VantoraHomeHoldsEverythingAndTheDesktopsFoldersComeFromXdgThenHome) {
  const UserFolders one = FoldersIn("/srv/vantora", "/usr/share/vantora");
  EXPECT_EQ(one.config, "/srv/vantora");
  EXPECT_EQ(one.cache, "/srv/vantora");
  EXPECT_EQ(one.logs, "/srv/vantora/logs");
  EXPECT_EQ(one.videos, "/srv/vantora");
  EXPECT_EQ(one.resources, "/usr/share/vantora");
  EXPECT_EQ(ConfigFile(one.config), "/srv/vantora/Config.ini");
  {
    ScopedEnv a("XDG_STATE_HOME", "/xdg/state");
    ScopedEnv b("XDG_DATA_HOME", "/xdg/data");
    EXPECT_EQ(StateLogsFolder(), "/xdg/state/vantora/logs");
    EXPECT_EQ(OldConfigFile(), "/xdg/data/vantora/Config.ini");
  }
  {
    // Relative values are not used, as the desktop's rules ask.
    ScopedEnv a("XDG_STATE_HOME", "state");
    ScopedEnv b("XDG_DATA_HOME", nullptr);
    ScopedEnv c("HOME", "/home/someone");
    EXPECT_EQ(StateLogsFolder(), "/home/someone/.local/state/vantora/logs");
    EXPECT_EQ(OldConfigFile(), "/home/someone/.local/share/vantora/Config.ini");
  }
}

TEST(MoveOldConfig, MovesTheOldFileOnceKeepingItsValuesAndLeavingTheOldDefaultsBehind) {
  TempFolder dir;
  const std::filesystem::path old_home = dir / "share" / "vantora";
  const std::filesystem::path old_file = old_home / "Config.ini";
  const std::filesystem::path new_file = dir / "config" / "vantora" / "Config.ini";
  UserFolders folders = FoldersIn(dir / "unused");
  folders.cache = dir / "cache" / "vantora";
  folders.videos = dir / "Vidéos";
  std::filesystem::create_directories(old_home);
  const std::string old_text =
      "; mine\n[parameter]\nlabel=Urlaub 日本\n[tempPath]\nvalue=" + (old_home / "projects").native() +
      "\n[outPutDir]\nvalue=" + old_home.native() + "\n[RepInit]\nvalue=/media/films/\n";
  WriteBytes(old_file, old_text);
  std::string error;
  ASSERT_TRUE(MoveOldConfig(old_file, new_file, folders, &error)) << error;
  EXPECT_FALSE(std::filesystem::exists(old_file));
  EXPECT_EQ(ReadIni(new_file, "parameter", "label"), "Urlaub 日本");
  EXPECT_EQ(ReadIni(new_file, "tempPath", "value"), (folders.cache / "projects").native());
  EXPECT_EQ(ReadIni(new_file, "outPutDir", "value"), folders.videos.native());
  EXPECT_EQ(ReadIni(new_file, "RepInit", "value"), "/media/films/");  // the user's own choice
  EXPECT_EQ(testing::ReadBytes(new_file).rfind("; mine\n", 0), 0u);
  // Once only: a later old file never replaces the settings now in use.
  WriteBytes(old_file, "[parameter]\nlabel=Stale\n");
  ASSERT_TRUE(MoveOldConfig(old_file, new_file, folders, &error));
  EXPECT_EQ(ReadIni(new_file, "parameter", "label"), "Urlaub 日本");
  EXPECT_TRUE(std::filesystem::exists(old_file));
  // Nothing to move: nothing happens.
  std::filesystem::remove(new_file);
  std::filesystem::remove(old_file);
  ASSERT_TRUE(MoveOldConfig(old_file, new_file, folders, &error));
  EXPECT_FALSE(std::filesystem::exists(new_file));
  // A settings folder that cannot be made: the old file stays where it was.
  WriteBytes(old_file, old_text);
  WriteBytes(dir / "blocker", "");
  EXPECT_FALSE(MoveOldConfig(old_file, dir / "blocker" / "Config.ini", folders, &error));
  EXPECT_NE(error.find("could not be moved"), std::string::npos) << error;
  EXPECT_EQ(testing::ReadBytes(old_file), old_text);
}

TEST(GetFileSizeCurrency, GivesTheSizeOfAFileAndZeroForAnythingElse) {
  TempFolder dir;
  WriteBytes(dir / "five", "12345");
  EXPECT_EQ(GetFileSizeCurrency(dir / "five"), 5);
  EXPECT_EQ(GetFileSizeCurrency(dir / "missing"), 0);
  EXPECT_EQ(GetFileSizeCurrency(dir.path()), 0);
}

TEST(ReadIni, CutsLongValuesWithoutSplittingACharacter) {
  TempFolder dir;
  const std::string value = std::string(253, 'a') + "\xc3\xa9" + "tail";  // é across the cut
  WriteBytes(dir / "c.ini", "[s]\nk=" + value + "\n");
  EXPECT_EQ(ReadIni(dir / "c.ini", "s", "k"), std::string(253, 'a'));
  EXPECT_EQ(ReadIni(dir / "c.ini", "s", "missing"), "");
  EXPECT_EQ(ReadIni(dir / "none.ini", "s", "k"), "");
}

TEST(IniStoredValue, PutsEveryValueOnOneLine) {
  EXPECT_EQ(IniStoredValue("plain text"), "plain text");
  EXPECT_EQ(IniStoredValue("a\r\nb"), "a  b");
  EXPECT_EQ(IniStoredValue(" \"q\" "), " \"q\" ");
}

TEST(TwipsToPixels, GivesTheFixedWindowSize) {
  const WindowPixels p = TwipsToPixels(9225, 7950, 15, 15);
  EXPECT_EQ(p.width, 615);
  EXPECT_EQ(p.height, 530);
  const WindowPixels hi = TwipsToPixels(9225, 7950, 7.5, 7.5);  // 7.5 rounds to 8
  EXPECT_EQ(hi.width, 1153);
  EXPECT_EQ(TwipsToPixels(9225, 7950, 0, 15).width, 0);
}

}  // namespace
}  // namespace vantora
