#include "vantora/functions.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "core_testutil.h"

namespace vantora {
namespace {

using testing::TempFolder;
using testing::WriteBytes;

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old, had_ = true;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

TEST(ProgramFolder, ComesFromVantoraHomeThenXdgDataHomeThenHome) {
  {
    ScopedEnv a("VANTORA_HOME", "/srv/vantora");
    ScopedEnv b("XDG_DATA_HOME", "/xdg");
    EXPECT_EQ(ProgramFolder(), "/srv/vantora");
  }
  {
    ScopedEnv a("VANTORA_HOME", nullptr);
    ScopedEnv b("XDG_DATA_HOME", "/xdg");
    EXPECT_EQ(ProgramFolder(), "/xdg/vantora");
  }
  {
    ScopedEnv a("VANTORA_HOME", nullptr);
    ScopedEnv b("XDG_DATA_HOME", nullptr);
    ScopedEnv c("HOME", "/home/someone");
    EXPECT_EQ(ProgramFolder(), "/home/someone/.local/share/vantora");
    EXPECT_EQ(ConfigFile(ProgramFolder()), "/home/someone/.local/share/vantora/Config.ini");
  }
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
