// The control over the real authoring engine.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/fileio.h"
#include "quillon/identity.h"
#include "quillon/quillon_ctrl.h"
#include "quillon/registration.h"
#include "quillon_testutil.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using platform::VARIANT_FALSE;
using platform::VARIANT_TRUE;
using testing::Clip;

class QuillonMorvixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::FileError error;
    auto folder = platform::TemporaryFolder::Create("quillon", &error);
    ASSERT_TRUE(folder.has_value());
    out_.emplace(std::move(*folder));
    ASSERT_TRUE(fs::exists(Clip("pal_43.mpg"))) << "test clips missing";
  }
  std::string Out() const { return out_->path().string(); }

  CQuillonCtrl ctrl_;
  std::optional<platform::TemporaryFolder> out_;
};

TEST_F(QuillonMorvixTest, ANewControlCachesTheEnginesDefaultSchemes) {
  EXPECT_EQ(ctrl_.cached_schemes(), testing::EngineDefaultSchemes());
  EXPECT_EQ(ctrl_.GetEnableAutoNextTitle(), 1);
  EXPECT_EQ(ctrl_.GetTitleCount(), 0);
}

TEST_F(QuillonMorvixTest, FilesTheEngineRefusesAreFailuresAndBlockTheBuild) {
  auto events = testing::Listen(ctrl_);
  EXPECT_EQ(ctrl_.AddMainMenu((out_->path() / "no-menu.mpg").string()), VARIANT_FALSE);
  EXPECT_EQ(ctrl_.AddTitle(Clip("pal_43.mpg").string()), VARIANT_TRUE);
  EXPECT_EQ(ctrl_.AddTitle((out_->path() / "no-title.mpg").string()), VARIANT_FALSE);
  EXPECT_EQ(ctrl_.AddTitle(Clip("ntsc_169.mpg").string()), VARIANT_TRUE);
  EXPECT_EQ(ctrl_.GetTitleCount(), 2);
  EXPECT_EQ(ctrl_.SetOutputDir(Out()), platform::S_OK);
  EXPECT_EQ(ctrl_.BuildDVDImage(), VARIANT_FALSE);
  EXPECT_TRUE(events->progress.empty());
  EXPECT_TRUE(fs::is_empty(out_->path())) << "nothing written";
}

TEST_F(QuillonMorvixTest, MainMenuButtonsAreCheckedByTheControlAndTheEngine) {
  ASSERT_EQ(ctrl_.AddMainMenu(Clip("pal_menu.mpg").string()), VARIANT_TRUE);
  EXPECT_EQ(ctrl_.AddMainMenuButton(65576, 100, 200, 200, 1), VARIANT_FALSE) << "would be 40 once cut";
  EXPECT_EQ(ctrl_.AddMainMenuButton(40, 40, 680, 535, 1), VARIANT_FALSE) << "past the picture";
  EXPECT_EQ(ctrl_.GetMainMenuButtonCount(), 0);
  EXPECT_EQ(ctrl_.AddMainMenuButton(40, 40, 679, 535, 1), VARIANT_TRUE);
  EXPECT_EQ(ctrl_.AddMainMenuButton(100, 100, 200, 200, -1), VARIANT_TRUE);
  EXPECT_EQ(ctrl_.GetMainMenuButtonCount(), 2);
  EXPECT_EQ(ctrl_.RemoveMainMenuButton(3), VARIANT_FALSE);
  EXPECT_EQ(ctrl_.RemoveMainMenuButton(1), VARIANT_TRUE);
  EXPECT_EQ(ctrl_.GetMainMenuButtonCount(), 1);
  ctrl_.ClearAll();
  EXPECT_EQ(ctrl_.GetMainMenuButtonCount(), 0);
  EXPECT_EQ(ctrl_.AddMainMenuButton(40, 40, 679, 535, 1), VARIANT_FALSE) << "the menu went with ClearAll";
}

TEST_F(QuillonMorvixTest, ARefusedOutputFolderFailsTheBuildWithoutCompletion) {
  auto events = testing::Listen(ctrl_);
  ASSERT_EQ(ctrl_.AddTitle(Clip("pal_43.mpg").string()), VARIANT_TRUE);
  EXPECT_EQ(ctrl_.SetOutputDir((out_->path() / "absent").string()), QUILLON_E_ENGINE_REFUSED);
  EXPECT_EQ(ctrl_.GetOutputDir(), (out_->path() / "absent").string());
  EXPECT_EQ(ctrl_.BuildDVDImage(), VARIANT_FALSE);
  EXPECT_EQ(events->completed, 0);
  EXPECT_FALSE(fs::exists(out_->path() / "absent"));
}

TEST_F(QuillonMorvixTest, AFailedBuildLeavesTheEnginesOwnTextNamingTheFile) {
  const fs::path junk = out_->path() / "pas une vidéo 日本.mpg";
  {
    platform::FileError error;
    ASSERT_TRUE(platform::WriteFileAtomic(junk, std::string(4096, 'x'), &error)) << error.message;
  }
  const fs::path dvd = out_->path() / "dvd";
  fs::create_directory(dvd);
  ASSERT_EQ(ctrl_.AddTitle(junk.native()), VARIANT_TRUE);
  ASSERT_EQ(ctrl_.SetOutputDir(dvd.native()), platform::S_OK);
  EXPECT_EQ(ctrl_.LastBuildStatusText(), "");
  EXPECT_EQ(ctrl_.BuildDVDImage(), VARIANT_FALSE);
  const std::string text = ctrl_.LastBuildStatusText();
  EXPECT_EQ(text.rfind("Error code = -", 0), 0u) << text;
  EXPECT_NE(text.find("pas une vidéo 日本.mpg"), std::string::npos) << text;

  // A build that succeeds leaves no text behind.
  ctrl_.ClearAll();
  ASSERT_EQ(ctrl_.AddTitle(Clip("pal_43.mpg").string()), VARIANT_TRUE);
  ASSERT_EQ(ctrl_.SetOutputDir(dvd.native()), platform::S_OK);
  EXPECT_EQ(ctrl_.BuildDVDImage(), VARIANT_TRUE);
  EXPECT_EQ(ctrl_.LastBuildStatusText(), "");
}

TEST_F(QuillonMorvixTest, TheRegisteredClassCreatesAControlOverTheEngine) {
  platform::ClassRegistry reg;
  ASSERT_EQ(DllRegisterServer(reg), platform::S_OK);
  std::unique_ptr<platform::Dispatchable> obj;
  ASSERT_EQ(reg.CreateInstance(kControlProgId, &obj), platform::S_OK);
  const std::vector<platform::Variant> args{platform::Variant(Clip("pal_43.mpg").string())};
  EXPECT_EQ(obj->Invoke(dispid::kAddTitle, platform::DispatchKind::kMethod, args).value,
            platform::Variant::Bool(true));
  EXPECT_EQ(obj->Invoke(dispid::kGetTitleCount, platform::DispatchKind::kMethod, {}).value,
            platform::Variant(std::int16_t{1}));
}

}  // namespace
}  // namespace quillon
