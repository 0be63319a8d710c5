#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <future>
#include <thread>

#include "api/engine_testutil.h"
#include "jobs/job_state.h"
#include "zephrel/iso_builder.h"

namespace zephrel {
namespace {

using platform::Variant;
using testing::ISOBuilderTest;
using testing::RecordingSink;
using testing::ScopedDriveSource;
using testing::ThreeDrives;

TEST_F(ISOBuilderTest, AJobNotYetAvailableSaysSoAndEndsWithItsErrorFlag) {
  ScopedDriveSource drives([] { return ThreeDrives(); });
  builder_->Burner_Init();
  auto sink = Advised();
  builder_->Burner_BurnData(0, 0, 0, 0, 0, 0, 0, 0);
  ASSERT_TRUE(sink->WaitFor(kBurnerOnEndBurn));
  EXPECT_EQ(sink->Texts(kBurningErrorViewDescription),
            std::vector<std::string>{"Burner_BurnData is not available"});
  const auto end = sink->events().back();
  EXPECT_EQ(end.args, (std::vector<Variant>{Variant(std::int32_t{1}), Variant(std::int32_t{0}),
                                            Variant(std::int32_t{1})}));

  builder_->Burner_EraseDisk(2, 1);
  ASSERT_TRUE(sink->WaitFor(kBurnerOnEraseComplete));
  std::int32_t started = 0;
  builder_->Burner_CloseLastSession(1, started);
  EXPECT_EQ(started, 1);
  ASSERT_TRUE(sink->WaitFor(kOnBurnerOnEndCloseSession));
  builder_->CreateIso("/nonexistent/out.iso", 0, 0);
  ASSERT_TRUE(sink->WaitFor(kBurnerOnEndBurn, 2));
  builder_->RequestCDDB("/nonexistent");
  ASSERT_TRUE(sink->WaitFor(kCDDBOnEndRequest));
}

TEST_F(ISOBuilderTest, AJobOnAnUnknownDriveIsRefusedWithoutAnEndBurn) {
  ScopedDriveSource drives([] { return ThreeDrives(); });
  builder_->Burner_Init();
  auto sink = Advised();
  builder_->Burner_BurnImage(7, "/nonexistent.iso", 0, 0, 0);
  builder_->Burner_EraseDisk(-1, 0);
  builder_->UnloadCom();  // joins every job thread: nothing more can arrive
  EXPECT_EQ(sink->Count(kBurnerOnEndBurn), 0u);
  ASSERT_EQ(sink->Count(kBurnerOnEraseComplete), 1u);
  EXPECT_EQ(sink->Texts(kBurningErrorViewDescription),
            (std::vector<std::string>{"There is no drive number 7", "There is no drive number -1"}));
  for (const auto& e : sink->events()) {
    if (e.id == kBurnerOnEraseComplete) {
      EXPECT_EQ(e.args, (std::vector<Variant>{Variant(std::int32_t{-1}), Variant(std::int32_t{0})}));
    }
  }
}

TEST_F(ISOBuilderTest, ASecondJobIsRefusedWhileTheFirstRunsAndTheFirstEndsOnce) {
  ScopedDriveSource drives([] { return ThreeDrives(); });
  builder_->Burner_Init();
  auto sink = Advised();
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  bool first = true;
  sink->SetHook([&](const testing::RecordedEvent& e) {
    // Holds the first job inside its first event until the test lets go.
    if (e.id == kBurningErrorViewDescription && first) {
      first = false;
      entered.set_value();
      released.wait();
    }
  });
  builder_->Burner_BurnData(0, 0, 0, 0, 0, 0, 0, 0);
  entered.get_future().wait();

  builder_->Burner_BurnImage(1, "/nonexistent.iso", 0, 0, 0);
  builder_->Burner_EraseDisk(2, 0);
  builder_->Burner_Init();  // refused too: the devices stay as they are
  EXPECT_EQ(sink->Count(kBurnerOnEndBurn), 0u);
  EXPECT_EQ(sink->Count(kBurnerOnEraseComplete), 1u);
  const auto texts = sink->Texts(kBurningErrorViewDescription);
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[1], "Another disc job is running");
  EXPECT_EQ(texts[2], "Another disc job is running");
  EXPECT_EQ(texts[3], "Another disc job is running");

  release.set_value();
  ASSERT_TRUE(sink->WaitFor(kBurnerOnEndBurn));
  builder_->UnloadCom();
  EXPECT_EQ(sink->Count(kBurnerOnEndBurn), 1u);
}

TEST_F(ISOBuilderTest, AJobReleasesItsSlotBeforeItsEndEventSoTheHandlerMayStartTheNext) {
  ScopedDriveSource drives([] { return ThreeDrives(); });
  builder_->Burner_Init();
  auto sink = Advised();
  std::atomic<int> ends{0};
  sink->SetHook([&](const testing::RecordedEvent& e) {
    if (e.id == kBurnerOnEndBurn && ends.fetch_add(1) == 0) builder_->Burner_BurnImage(1, "/x.iso", 0, 0, 0);
  });
  builder_->Burner_BurnData(0, 0, 0, 0, 0, 0, 0, 0);
  ASSERT_TRUE(sink->WaitFor(kBurnerOnEndBurn, 2));
  builder_->UnloadCom();  // joins the jobs before the hook's captures go
  EXPECT_EQ(
      sink->Texts(kBurningErrorViewDescription),
      (std::vector<std::string>{"Burner_BurnData is not available", "Burner_BurnImage is not available"}));
}

TEST_F(ISOBuilderTest, UnloadComFromTheUiThreadReleasesAWorkerBlockedInAnEventAndJoinsIt) {
  ScopedDriveSource drives([] { return ThreeDrives(); });
  builder_->Burner_Init();
  auto sink = Advised();
  auto dispatcher = std::make_shared<testing::StalledDispatcher>();
  builder_->SetEventDispatcher(dispatcher, [dispatcher] { dispatcher->Abort(); });
  builder_->Burner_BurnData(0, 0, 0, 0, 0, 0, 0, 0);
  dispatcher->WaitForAWaitingWorker();  // the job waits for this thread, which never runs its queue
  EXPECT_EQ(builder_->UnloadCom(), platform::S_OK);
  EXPECT_TRUE(sink->events().empty());
  EXPECT_FALSE(EngineState::Instance().threads.JobRunning());
  builder_->SetEventDispatcher(nullptr);
}

TEST_F(ISOBuilderTest, AWorkerHandlerMayCallMembersWhileUnloadComJoinsIt) {
  ScopedDriveSource drives([] { return ThreeDrives(); });
  builder_->Burner_Init();
  auto sink = Advised();
  std::promise<void> unloading;
  std::shared_future<void> unload_started = unloading.get_future().share();
  builder_->SetEventDispatcher(nullptr, [&unloading] { unloading.set_value(); });
  std::atomic<bool> first{true};
  sink->SetHook([&](const testing::RecordedEvent& e) {
    if (e.id != kBurningErrorViewDescription || !first.exchange(false)) return;
    unload_started.wait();  // UnloadCom is now stopping and joining this thread
    builder_->Burner_Init();
    std::int16_t count = 0;
    builder_->Burner_DriveCount(count);
  });
  builder_->Burner_BurnData(0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(builder_->UnloadCom(), platform::S_OK);
  builder_->SetEventDispatcher(nullptr);
  EXPECT_EQ(sink->Count(kBurnerOnEndBurn), 1u);
  // The handler's Burner_Init came while the job still held the slot.
  EXPECT_EQ(sink->Texts(kBurningErrorViewDescription).back(), "Another disc job is running");
}

TEST_F(ISOBuilderTest, RaisingThePriorityLeavesTheRestOfTheProcessAlone) {
  ScopedDriveSource drives([] { return ThreeDrives(); });
  builder_->Burner_Init();
  builder_->SetPriorityThread(1);
  auto sink = Advised();
  errno = 0;
  const int before = ::getpriority(PRIO_PROCESS, 0);
  builder_->Burner_BurnData(0, 0, 0, 0, 0, 0, 0, 0);
  ASSERT_TRUE(sink->WaitFor(kBurnerOnEndBurn));
  EXPECT_EQ(::getpriority(PRIO_PROCESS, 0), before);
  builder_->SetPriorityThread(0);
}

}  // namespace
}  // namespace zephrel
