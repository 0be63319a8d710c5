// A host's session through the control's dispatch interface over the real
// engine, with the inputs a new user meets on the first day: names with
// blanks and non-ASCII letters, a FIFO as a title, and a folder that another
// build holds.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <optional>

#include "dvd_checks.h"
#include "platform/fileio.h"
#include "platform/text.h"
#include "quillon/identity.h"
#include "quillon/quillon_ctrl.h"
#include "quillon_testutil.h"
#include "testing/folder_held_elsewhere.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using platform::DispatchKind;
using platform::InvokeResult;
using platform::Variant;
using testing::Clip;

// A blank, é, ü, 日本 and an emoji.
const std::string kOdd = " caf\xC3\xA9 \xC3\xBC \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80";

class QuillonFaultsE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::FileError error;
    auto folder = platform::TemporaryFolder::Create("quillon_faults" + kOdd, &error);
    ASSERT_TRUE(folder.has_value()) << error.message;
    root_.emplace(std::move(*folder));
    out_ = root_->path() / ("out" + kOdd);
    fs::create_directories(out_);
    ASSERT_TRUE(fs::exists(Clip("pal_menu.mpg"))) << "test clips missing";
    events_ = testing::Listen(ctrl_);
    ASSERT_TRUE(Call(dispid::kClearAll).ok());
  }

  InvokeResult Call(platform::DispId id, std::vector<Variant> args = {},
                    DispatchKind kind = DispatchKind::kMethod) {
    return ctrl_.Invoke(id, kind, args);
  }
  Variant Value(platform::DispId id, std::vector<Variant> args = {},
                DispatchKind kind = DispatchKind::kMethod) {
    const InvokeResult r = Call(id, std::move(args), kind);
    EXPECT_TRUE(r.ok()) << id;
    return r.value;
  }
  void SetOutputDir(const fs::path& dir) {
    ASSERT_TRUE(
        Call(dispid::kOutputDir, {Variant(platform::PathToUtf8(dir))}, DispatchKind::kPropertyPut).ok());
  }
  fs::path Copy(const char* clip, const std::string& name) {
    const fs::path to = root_->path() / name;
    fs::copy_file(Clip(clip), to);
    return to;
  }

  CQuillonCtrl ctrl_;
  std::optional<platform::TemporaryFolder> root_;
  fs::path out_;
  std::shared_ptr<testing::EventRecorder> events_;
};

TEST_F(QuillonFaultsE2e, MenuTitlesAndOutputFolderWithNonAsciiNamesBuildAFolderLibdvdreadAccepts) {
  const fs::path menu = Copy("pal_menu.mpg", "men\xC3\xBC" + kOdd + ".mpg");
  const fs::path movie = Copy("pal_43.mpg", "movie" + kOdd + ".mpg");
  EXPECT_EQ(Value(dispid::kAddMainMenu, {Variant(platform::PathToUtf8(menu))}), Variant::Bool(true));
  std::int32_t left = 100, top = 100, right = 160, bottom = 160;
  EXPECT_EQ(Value(dispid::kAddMainMenuButton, {Variant::Ref(&left), Variant::Ref(&top), Variant::Ref(&right),
                                               Variant::Ref(&bottom), Variant(std::int16_t{1})}),
            Variant::Bool(true));
  SetOutputDir(out_);
  EXPECT_EQ(Value(dispid::kAddTitle, {Variant(platform::PathToUtf8(movie))}), Variant::Bool(true));

  EXPECT_EQ(Value(dispid::kBuildDVDImage), Variant::Bool(true));
  EXPECT_EQ(events_->completed, 1);
  ASSERT_TRUE(fs::exists(out_ / "VIDEO_TS.IFO"));
  dvdcheck::ExpectDvdreadAcceptsEverything(out_);
}

TEST_F(QuillonFaultsE2e, AFifoAsTitleMakesTheBuildFailAtOnceWithoutCompletion) {
  const fs::path fifo = root_->path() / ("title" + kOdd + ".mpg");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  SetOutputDir(out_);
  EXPECT_EQ(Value(dispid::kAddTitle, {Variant(platform::PathToUtf8(fifo))}), Variant::Bool(true));

  std::future<Variant> built =
      std::async(std::launch::async, [this] { return Value(dispid::kBuildDVDImage); });
  if (built.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    ADD_FAILURE() << "the build waits on the FIFO";
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);  // releases it
    if (fd >= 0) ::close(fd);
  }
  EXPECT_EQ(built.get(), Variant::Bool(false));
  EXPECT_EQ(events_->completed, 0);
  EXPECT_FALSE(fs::exists(out_ / "VIDEO_TS.IFO"));
}

TEST_F(QuillonFaultsE2e, ABuildIntoAFolderThatAnotherProcessHoldsFailsWithoutTouchingIt) {
  SetOutputDir(out_);
  EXPECT_EQ(Value(dispid::kAddTitle, {Variant(platform::PathToUtf8(Clip("pal_43.mpg")))}),
            Variant::Bool(true));
  Variant refused;
  {
    vantora::testing::FolderHeldElsewhere other(out_);
    ASSERT_TRUE(other.held());
    refused = Value(dispid::kBuildDVDImage);
  }
  EXPECT_EQ(refused, Variant::Bool(false));
  EXPECT_EQ(events_->completed, 0);
  EXPECT_TRUE(fs::is_empty(out_));
  EXPECT_EQ(Value(dispid::kBuildDVDImage), Variant::Bool(true)) << "the folder is free again";
}

}  // namespace
}  // namespace quillon
