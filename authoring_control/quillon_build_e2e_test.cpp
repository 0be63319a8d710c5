// A host's whole session through the control's dispatch interface over the
// real authoring engine, with the folder checked by libdvdread and libdvdnav.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "dvd_checks.h"
#include "platform/fileio.h"
#include "quillon/identity.h"
#include "quillon/quillon_ctrl.h"
#include "quillon_testutil.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using platform::DispatchKind;
using platform::InvokeResult;
using platform::Variant;
using testing::Clip;

class QuillonBuildE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::FileError error;
    auto folder = platform::TemporaryFolder::Create("quillon_e2e", &error);
    ASSERT_TRUE(folder.has_value());
    out_.emplace(std::move(*folder));
    ASSERT_TRUE(fs::exists(Clip("pal_menu.mpg"))) << "test clips missing";
    events_ = testing::Listen(ctrl_);
    events_->on_completed = [this] { progress_before_completion_ = events_->progress.size(); };
  }

  InvokeResult Call(platform::DispId id, std::vector<Variant> args = {},
                    DispatchKind kind = DispatchKind::kMethod) {
    return ctrl_.Invoke(id, kind, args);
  }
  void ExpectTrue(platform::DispId id, std::vector<Variant> args) {
    const InvokeResult r = Call(id, std::move(args));
    EXPECT_TRUE(r.ok()) << id;
    EXPECT_EQ(r.value, Variant::Bool(true)) << id;
  }

  CQuillonCtrl ctrl_;
  std::optional<platform::TemporaryFolder> out_;
  std::shared_ptr<testing::EventRecorder> events_;
  std::size_t progress_before_completion_ = 0;
};

TEST_F(QuillonBuildE2e, AHostsSessionBuildsAFolderThatPlaysEachTitleFromItsButton) {
  ASSERT_TRUE(Call(dispid::kClearAll).ok());
  ExpectTrue(dispid::kAddMainMenu, {Variant(Clip("pal_menu.mpg").string())});
  ExpectTrue(dispid::kSetMainMenuButtonColor,
             {Variant(2), Variant(13), Variant(5), Variant(13), Variant(7), Variant(13)});
  for (std::int16_t title = 1; title <= 3; ++title) {
    // 60x60 squares stacked from (100, 100), coordinates by reference as hosts pass them.
    std::int32_t left = 100, top = 100 * title, right = 160, bottom = 100 * title + 60;
    ExpectTrue(dispid::kAddMainMenuButton, {Variant::Ref(&left), Variant::Ref(&top), Variant::Ref(&right),
                                            Variant::Ref(&bottom), Variant(title)});
  }
  ASSERT_TRUE(Call(dispid::kEnableAutoNextTitle, {Variant::Bool(false)}, DispatchKind::kPropertyPut).ok());
  ASSERT_TRUE(Call(dispid::kOutputDir, {Variant(out_->path().string())}, DispatchKind::kPropertyPut).ok());
  for (int t = 0; t < 3; ++t) ExpectTrue(dispid::kAddTitle, {Variant(Clip("pal_43.mpg").string())});

  const InvokeResult built = Call(dispid::kBuildDVDImage);
  ASSERT_TRUE(built.ok());
  EXPECT_EQ(built.value, Variant::Bool(true));
  EXPECT_EQ(events_->completed, 1);
  EXPECT_GE(progress_before_completion_, 1u) << "progress comes before completion";
  for (const auto& [step, overall] : events_->progress) {
    EXPECT_GE(step, 0.0);
    EXPECT_LE(overall, 100.0);
  }

  const fs::path dir = out_->path();
  ASSERT_TRUE(fs::exists(dir / "VIDEO_TS.IFO")) << dir;
  dvdcheck::ExpectDvdreadAcceptsEverything(dir);
  dvdcheck::ExpectPlaysAs(dir, {"select:1", "select:2", "select:3", "titlekey"},
                          "menu vmgm buttons=3\ntitle 1 chapter 1\nmenu vmgm buttons=3\ntitle 2 chapter 1\n"
                          "menu vmgm buttons=3\ntitle 3 chapter 1\nmenu vmgm buttons=3\nend actions\n");
}

TEST_F(QuillonBuildE2e, AFailedAddTitleMakesTheBuildFailWithoutWritingAnything) {
  ASSERT_TRUE(Call(dispid::kClearAll).ok());
  ASSERT_TRUE(Call(dispid::kOutputDir, {Variant(out_->path().string())}, DispatchKind::kPropertyPut).ok());
  ExpectTrue(dispid::kAddTitle, {Variant(Clip("pal_43.mpg").string())});
  EXPECT_EQ(Call(dispid::kAddTitle, {Variant((out_->path() / "missing.mpg").string())}).value,
            Variant::Bool(false));
  ExpectTrue(dispid::kAddTitle, {Variant(Clip("pal_43.mpg").string())});

  const InvokeResult built = Call(dispid::kBuildDVDImage);
  ASSERT_TRUE(built.ok());
  EXPECT_EQ(built.value, Variant::Bool(false));
  EXPECT_EQ(events_->completed, 0);
  EXPECT_TRUE(events_->progress.empty());
  EXPECT_TRUE(fs::is_empty(out_->path())) << "nothing written";
}

}  // namespace
}  // namespace quillon
