// The media-change listener under restarts and shutdowns from several threads.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "api/emulated_engine_testutil.h"
#include "api/engine_drives.h"
#include "jobs/job_clock_testutil.h"
#include "jobs/job_state.h"
#include "jobs/step_job_clock_testutil.h"

namespace zephrel {
namespace {

using namespace std::chrono_literals;

// Waits (10 s at most) until exactly `n` listener loops are alive.
bool LiveLoopsBecome(int n) {
  for (int i = 0; i < 2000; ++i) {
    if (EngineListener().LiveLoops() == n) return true;
    std::this_thread::sleep_for(5ms);
  }
  return EngineListener().LiveLoops() == n;
}

class ListenerThreads : public testing::EmulatedEngineTest {
 protected:
  void SetUp() override { EmulatedEngineTest::SetUp(); }
  void TearDown() override { EmulatedEngineTest::TearDown(); }
  std::shared_ptr<testing::StepJobClock> step_ = std::make_shared<testing::StepJobClock>();
  testing::StepJobClock& clock_ = *step_;
  testing::ScopedJobClock scoped_clock_{step_};
};

TEST_F(ListenerThreads, FiftyRestartsLeaveExactlyOneListenerAlive) {
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  for (int i = 0; i < 50; ++i) builder_->Burner_ListenDrive(0);
  ASSERT_TRUE(LiveLoopsBecome(1)) << EngineListener().LiveLoops() << " listeners alive";
  // One more turn: the listener left has polled at least once, whether or
  // not it had when the others ended.
  ASSERT_TRUE(clock_.Step(1000ms));
  const std::size_t before = sink->Count(kBurnerOnMediaChange);
  ASSERT_TRUE(drive_->OpenTray());
  ASSERT_TRUE(clock_.Step(1000ms));
  EXPECT_EQ(sink->Count(kBurnerOnMediaChange), before + 1) << "one listener, one event";
  EXPECT_EQ(EngineListener().LiveLoops(), 1);
}

TEST_F(ListenerThreads, RestartsFromTwoThreadsLeaveOneListener) {
  UseMedium(platform::kProfileDvdPlusR);
  std::thread other([&] {
    for (int i = 0; i < 25; ++i) builder_->Burner_ListenDrive(0);
  });
  for (int i = 0; i < 25; ++i) builder_->Burner_ListenDrive(0);
  other.join();
  EXPECT_TRUE(LiveLoopsBecome(1)) << EngineListener().LiveLoops() << " listeners alive";
}

TEST_F(ListenerThreads, ShutdownWithAListenerBlockedInASlowHandlerDoesNotDeadlock) {
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  std::promise<void> unloading;
  std::shared_future<void> unload_started = unloading.get_future().share();
  builder_->SetEventDispatcher(nullptr, [&unloading] { unloading.set_value(); });
  std::promise<void> in_handler;
  std::atomic<bool> first{true};
  sink->SetHook([&](const testing::RecordedEvent& e) {
    if (e.id != kBurnerOnMediaChange || !first.exchange(false)) return;
    in_handler.set_value();
    // A slow handler that is still running when the engine shuts down, and
    // calls the listener's members meanwhile, as a wizard's step change does.
    unload_started.wait();
    builder_->Burner_StopListenDrive();
    builder_->Burner_ListenDrive(0);
  });
  builder_->Burner_ListenDrive(0);
  in_handler.get_future().wait();
  auto unloaded = std::async(std::launch::async, [&] { return builder_->UnloadCom(); });
  ASSERT_EQ(unloaded.wait_for(30s), std::future_status::ready) << "UnloadCom deadlocked";
  EXPECT_EQ(unloaded.get(), platform::S_OK);
  builder_->SetEventDispatcher(nullptr);
  EXPECT_EQ(EngineListener().LiveLoops(), 0);
}

TEST_F(ListenerThreads, StoppingNeverWaitsForAListenerInsideAUiEvent) {
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  auto dispatcher = std::make_shared<testing::StalledDispatcher>();
  builder_->SetEventDispatcher(dispatcher, [dispatcher] { dispatcher->Abort(); });
  builder_->Burner_ListenDrive(0);
  dispatcher->WaitForAWaitingWorker();  // the listener waits for "the UI thread": this one
  builder_->Burner_StopListenDrive();
  builder_->Burner_ListenDrive(0);
  builder_->Burner_StopListenDrive();
  EXPECT_EQ(builder_->UnloadCom(), platform::S_OK);  // releases the listener and joins it
  EXPECT_EQ(EngineListener().LiveLoops(), 0);
  builder_->SetEventDispatcher(nullptr);
}

}  // namespace
}  // namespace zephrel
