// CreateIso through the engine object: the job runs on an engine thread, ends
// once, holds the job slot while it runs and sends no drive commands.
#include <gtest/gtest.h>

#include <future>

#include "api/engine_testutil.h"
#include "image/iso9660_testutil.h"
#include "jobs/job_state.h"
#include "tree/project_tree.h"
#include "zephrel/iso_builder.h"

namespace zephrel {
namespace {

using platform::Variant;
using testing::ISOBuilderTest;
using testing::ScopedDriveSource;
using testing::ThreeDrives;

class CreateIsoTest : public ISOBuilderTest {
 protected:
  void SetUp() override {
    ProjectTree::Process().Clear();
    dir_.WriteFile("a.txt", "alpha\n");
    dir_.WriteFile("big.bin", "", 4 << 20);
    ASSERT_GT(ProjectTree::Process().AddFile(kRootId, dir_.path() + "/a.txt"), 0);
    ASSERT_GT(ProjectTree::Process().AddFile(kRootId, dir_.path() + "/big.bin"), 0);
  }
  void TearDown() override {
    ISOBuilderTest::TearDown();
    ProjectTree::Process().Clear();
  }
  static std::vector<Variant> End(int cancel, int error) {
    return {Variant(std::int32_t{0}), Variant(std::int32_t{cancel}), Variant(std::int32_t{error})};
  }
  testing::TempDir dir_;
};

TEST_F(CreateIsoTest, AnImageIsBuiltOnAnEngineThreadWithOneEndAndNoDriveCommands) {
  std::vector<std::shared_ptr<testing::FakeDevice::Log>> logs;
  ScopedDriveSource drives([&] { return ThreeDrives(&logs); });
  builder_->Burner_Init();
  auto sink = Advised();
  const std::string image = dir_.path() + "/out.iso";
  builder_->CreateIso(image, 0, 0);
  ASSERT_TRUE(sink->WaitFor(kBurnerOnEndBurn));
  builder_->UnloadCom();
  EXPECT_EQ(sink->Count(kBurnerOnEndBurn), 1u);
  EXPECT_EQ(sink->events().back().args, End(0, 0));
  std::int32_t total = 0;
  builder_->GetImageTotalSectors(total);
  EXPECT_GT(total, 2048);
  EXPECT_EQ(std::filesystem::file_size(image), std::uint64_t(total) * 2048);
  for (const auto& log : logs) EXPECT_TRUE(log->Commands().empty()) << "an image job sent a drive command";
}

TEST_F(CreateIsoTest, ASecondJobWhileOneRunsIsRefusedAndTheFirstEndsOnce) {
  auto sink = Advised();
  std::promise<void> entered, release;
  std::shared_future<void> released = release.get_future().share();
  bool first = true;
  sink->SetHook([&](const testing::RecordedEvent& e) {
    if (e.id == kOnBuildingProcess && first) {
      first = false;
      entered.set_value();
      released.wait();
    }
  });
  builder_->CreateIso(dir_.path() + "/one.iso", 0, 0);
  entered.get_future().wait();
  builder_->CreateIso(dir_.path() + "/two.iso", 0, 0);
  release.set_value();
  ASSERT_TRUE(sink->WaitFor(kBurnerOnEndBurn));
  builder_->UnloadCom();
  EXPECT_EQ(sink->Count(kBurnerOnEndBurn), 1u);
  EXPECT_EQ(sink->Texts(kBurningErrorViewDescription),
            std::vector<std::string>{"Another disc job is running"});
  EXPECT_TRUE(std::filesystem::exists(dir_.path() + "/one.iso"));
  EXPECT_FALSE(std::filesystem::exists(dir_.path() + "/two.iso"));
}

TEST_F(CreateIsoTest, CancelBurnStopsTheBuildWithOneEndAndNoFile) {
  auto sink = Advised();
  sink->SetHook([&](const testing::RecordedEvent& e) {
    if (e.id == kOnBuildingProcess && e.args[0].i4() == 5) builder_->CancelBurn();
  });
  const std::string image = dir_.path() + "/out.bin";
  builder_->CreateIso(image, 1, 0);
  ASSERT_TRUE(sink->WaitFor(kBurnerOnEndBurn));
  builder_->UnloadCom();
  EXPECT_EQ(sink->Count(kBurnerOnEndBurn), 1u);
  EXPECT_EQ(sink->events().back().args, End(1, 0));
  EXPECT_FALSE(std::filesystem::exists(image));
  EXPECT_FALSE(std::filesystem::exists(dir_.path() + "/out.cue"));
}

TEST_F(CreateIsoTest, AnExistingImageEndsWithTheErrorFlag) {
  auto sink = Advised();
  dir_.WriteFile("out.iso", "mine");
  builder_->CreateIso(dir_.path() + "/out.iso", 0, 1);
  ASSERT_TRUE(sink->WaitFor(kBurnerOnEndBurn));
  builder_->UnloadCom();
  ASSERT_EQ(sink->Count(kBurnerOnError), 1u);
  EXPECT_EQ(sink->events().back().args, End(0, 1));
}

}  // namespace
}  // namespace zephrel
