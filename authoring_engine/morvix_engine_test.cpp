// Lifetime of the engine object, the output folder, the auto-next-title switch
// and arguments that are NULL.
#include <gtest/gtest.h>

#include <string>

#include "engine_testutil.h"
#include "morvix/morvix_api.h"

namespace morvix {
namespace {

class MorvixEngineTest : public ::testing::Test {
 protected:
  testing::TestFolder dir_;
  CMorvixAPI api_;
  std::wstring movie_ = dir_.MakeFile("movie.mpg");
};

TEST_F(MorvixEngineTest, ANewEngineHoldsTheDefaults) {
  const SettingData* s = api_.GetSettingData();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(api_.GetTitleCount(), 0);
  EXPECT_EQ(api_.GetMenuID(1, 0), 0);
  EXPECT_EQ(std::wstring(api_.GetOutputDir()), L"");
  EXPECT_EQ(api_.IsAutoNextTitle(), 1);
  EXPECT_EQ(s->auto_next_title, 1);
  EXPECT_EQ(s->main_menu.palette[1], RgbToYCrCb(0xFFFFFF));
  const ButtonSetting& slot = s->main_menu.buttons[31];
  EXPECT_EQ(slot.kind, ButtonKind::kRectangle);
  EXPECT_EQ(slot.left, 40);
  EXPECT_EQ(slot.right, 41);
  EXPECT_EQ(slot.top, 40);
  EXPECT_EQ(slot.bottom, 41);
  for (const auto& title : s->titles) EXPECT_EQ(title, nullptr);
}

TEST_F(MorvixEngineTest, InitResetsEverything) {
  ASSERT_EQ(api_.AddTitle(movie_.c_str(), 1, nullptr), 1);
  ASSERT_EQ(api_.AddMainMenu(movie_.c_str()), 1);
  ASSERT_EQ(api_.SetOutputDir(dir_.Wide("").c_str()), kOk);
  ASSERT_EQ(api_.SetAutoNextTitle(0), kOk);
  api_.Init();
  EXPECT_EQ(api_.GetTitleCount(), 0);
  EXPECT_EQ(api_.GetMenuID(1, 0), 0);
  EXPECT_EQ(std::wstring(api_.GetOutputDir()), L"");
  EXPECT_EQ(api_.IsAutoNextTitle(), 1);
  EXPECT_EQ(api_.GetSettingData()->titles[0], nullptr);
  EXPECT_EQ(api_.AddTitle(movie_.c_str(), 1, nullptr), 1);
}

TEST_F(MorvixEngineTest, CopiesOwnTheirSettings) {
  ASSERT_EQ(api_.AddTitle(movie_.c_str(), 1, nullptr), 1);
  ASSERT_EQ(api_.AddTitleMenu(1, movie_.c_str()), 1001);
  {
    CMorvixAPI copy(api_);
    EXPECT_NE(copy.GetSettingData(), api_.GetSettingData());
    EXPECT_NE(copy.GetSettingData()->Title(1), api_.GetSettingData()->Title(1));
    EXPECT_EQ(copy.GetTitleCount(), 1);
    EXPECT_EQ(copy.GetMenuID(0, 1), 1001);
    EXPECT_EQ(copy.DeleteTitle(1), kOk);
    EXPECT_EQ(api_.GetTitleCount(), 1);  // the original is untouched
  }
  CMorvixAPI assigned;
  ASSERT_EQ(assigned.AddTitle(movie_.c_str(), 1, nullptr), 1);
  ASSERT_EQ(assigned.AddTitle(movie_.c_str(), 1, nullptr), 2);
  assigned = api_;
  EXPECT_EQ(assigned.GetTitleCount(), 1);
  EXPECT_NE(assigned.GetSettingData(), api_.GetSettingData());
  ASSERT_EQ(assigned.AddTitle(movie_.c_str(), 1, nullptr), 2);
  EXPECT_EQ(api_.GetTitleCount(), 1);
  auto& self = assigned;
  assigned = self;
  EXPECT_EQ(assigned.GetTitleCount(), 2);
  // Both objects are destroyed at the end of the test; a shared settings object
  // would be freed twice here.
}

TEST_F(MorvixEngineTest, TwoEnginesKeepTheirFailingFilesApart) {
  CMorvixAPI other;
  const std::wstring a = dir_.Wide("a.mpg");
  const std::wstring b = dir_.Wide("b.mpg");
  EXPECT_EQ(api_.AddTitle(a.c_str(), 1, nullptr), kErrNoFile);
  EXPECT_EQ(other.AddTitle(b.c_str(), 1, nullptr), kErrNoFile);
  EXPECT_EQ(api_.error_context().file, a);
  EXPECT_EQ(other.error_context().file, b);
}

TEST_F(MorvixEngineTest, SetOutputDirAcceptsOnlyAnExistingDirectory) {
  const std::wstring folder = dir_.Wide("");
  EXPECT_EQ(api_.SetOutputDir(folder.c_str()), kOk);
  EXPECT_EQ(std::wstring(api_.GetOutputDir()), folder);  // stored unchanged

  // A regular file is not a folder; the earlier folder is forgotten.
  EXPECT_EQ(api_.SetOutputDir(movie_.c_str()), kErrNoDirectory);
  EXPECT_EQ(api_.error_context().file, movie_);
  EXPECT_EQ(std::wstring(api_.GetOutputDir()), L"");

  ASSERT_EQ(api_.SetOutputDir(folder.c_str()), kOk);
  const std::wstring missing = dir_.Wide("not/there");
  EXPECT_EQ(api_.SetOutputDir(missing.c_str()), kErrNoDirectory);
  EXPECT_EQ(api_.error_context().file, missing);
  EXPECT_EQ(std::wstring(api_.GetOutputDir()), L"");

  ASSERT_EQ(api_.SetOutputDir(folder.c_str()), kOk);
  EXPECT_EQ(api_.SetOutputDir(nullptr), kErrNullPointer);
  EXPECT_EQ(std::wstring(api_.GetOutputDir()), L"");
  EXPECT_EQ(api_.SetOutputDir(L""), kErrNoDirectory);

  std::filesystem::create_directory(dir_.path() / "dossier été");
  const std::wstring non_ascii = dir_.Wide("dossier été");
  EXPECT_EQ(api_.SetOutputDir(non_ascii.c_str()), kOk);
  EXPECT_EQ(std::wstring(api_.GetOutputDir()), non_ascii);
}

TEST_F(MorvixEngineTest, PathsTheSystemCannotResolveAreStatusesNotExceptions) {
  // A name longer than the file system allows and a symbolic link loop make the
  // path tests fail with an error rather than a plain "no".
  const std::wstring too_long = dir_.Wide(std::string(300, 'n') + "/x.mpg");
  std::filesystem::create_symlink("loop", dir_.path() / "loop");
  const std::wstring loop = dir_.Wide("loop/x.mpg");
  for (const std::wstring& path : {too_long, loop}) {
    EXPECT_EQ(api_.SetOutputDir(path.c_str()), kErrNoDirectory);
    EXPECT_EQ(api_.AddTitle(path.c_str(), 1, nullptr), kErrNoFile);
    EXPECT_EQ(api_.AddMainMenu(path.c_str()), kErrNoFile);
    EXPECT_EQ(api_.error_context().file, path);
  }
}

TEST_F(MorvixEngineTest, AutoNextTitleStoresZeroOrOne) {
  EXPECT_EQ(api_.SetAutoNextTitle(-1), kOk);  // a caller's TRUE of -1
  EXPECT_EQ(api_.IsAutoNextTitle(), 1);
  EXPECT_EQ(api_.GetSettingData()->auto_next_title, 1);
  EXPECT_EQ(api_.SetAutoNextTitle(0), kOk);
  EXPECT_EQ(api_.IsAutoNextTitle(), 0);
  EXPECT_EQ(api_.SetAutoNextTitle(7), kOk);
  EXPECT_EQ(api_.GetSettingData()->auto_next_title, 1);
}

TEST_F(MorvixEngineTest, NullNamesAreRefusedWithoutACrash) {
  EXPECT_EQ(api_.AddTitle(nullptr, 1, nullptr), kErrNullPointer);
  EXPECT_EQ(api_.AddMainMenu(nullptr), kErrNullPointer);
  ASSERT_EQ(api_.AddTitle(movie_.c_str(), 1, nullptr), 1);
  EXPECT_EQ(api_.SetTitle(1, nullptr, 1, nullptr), kErrNullPointer);
  EXPECT_EQ(api_.AddTitleMenu(1, nullptr), kErrNullPointer);
  EXPECT_EQ(api_.SetOutputDir(nullptr), kErrNullPointer);
  ASSERT_EQ(api_.AddMainMenu(movie_.c_str()), 1);
  EXPECT_EQ(api_.SetMenuFile(1, nullptr), kErrInvalidFileName);
  // A NULL mask means a rectangle button.
  EXPECT_EQ(api_.AddMenuBtn(1, 40, 40, 80, 80, 1, 1, nullptr), 0);
  EXPECT_EQ(api_.SetMenuBtn(1, 1, 40, 40, 90, 90, 1, 1, nullptr), kOk);
  EXPECT_EQ(api_.SetMenuColors(1, nullptr, nullptr), kOk);
  EXPECT_EQ(api_.GetTitleCount(), 1);
}

}  // namespace
}  // namespace morvix
