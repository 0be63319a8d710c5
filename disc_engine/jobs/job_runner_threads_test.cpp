#include "jobs/job_runner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>

#include "api/engine_testutil.h"
#include "jobs/job_clock_testutil.h"
#include "jobs/thread_priority.h"

namespace zephrel {
namespace {

using namespace std::chrono_literals;
using platform::Variant;
using testing::ManualJobClock;
using testing::RecordedEvent;
using testing::RecordingSink;
using testing::ScopedDriveSource;
using testing::ScopedJobClock;
using testing::ThreeDrives;

Variant I4(std::int32_t v) { return Variant(v); }

class JobRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::Cookie cookie = 0;
    ASSERT_EQ(events_->Advise(sink_, &cookie), platform::S_OK);
    EngineState::Instance().drives.Replace(ThreeDrives().devices);
  }
  void TearDown() override {
    EngineThreads& threads = EngineState::Instance().threads;
    threads.StopAndJoin();
    threads.Reopen();
    EngineState::Instance().drives.ReleaseDevices();
    EngineState::Instance().flags.priority.store(0);
  }

  std::shared_ptr<ISOBuilderEvents> events_ = std::make_shared<ISOBuilderEvents>();
  std::shared_ptr<RecordingSink> sink_ = std::make_shared<RecordingSink>();
};

TEST_F(JobRunnerTest, TheEndEventComesLastOnceTheSlotIsFreeAndTheBusyFlagCleared) {
  std::atomic<bool> busy_in_body{false}, slot_taken_at_end{true}, busy_at_end{true};
  sink_->SetHook([&](const RecordedEvent& e) {
    if (e.id != kBurnerOnEndBurn) return;
    slot_taken_at_end = EngineState::Instance().threads.JobRunning();
    busy_at_end = EngineState::Instance().flags.busy.load();
  });
  ASSERT_TRUE(StartJob(events_, JobEnd::kEndBurn, 1, [&](Job& job) {
    busy_in_body = EngineState::Instance().flags.busy.load();
    job.events().BurningErrorViewDescription("working");
    job.outcome() = JobOutcome{.mode_burn = 2, .canceled = true, .failed = false};
  }));
  ASSERT_TRUE(sink_->WaitFor(kBurnerOnEndBurn));
  EngineState::Instance().threads.StopAndJoin();
  EXPECT_TRUE(busy_in_body);
  EXPECT_FALSE(slot_taken_at_end);
  EXPECT_FALSE(busy_at_end);
  const auto events = sink_->events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].id, kBurningErrorViewDescription);
  EXPECT_EQ(events[1].args, (std::vector<Variant>{I4(2), I4(1), I4(0)}));
}

TEST_F(JobRunnerTest, EachEndKindRaisesItsOwnEventWithTheJobsDriveAndOutcome) {
  ASSERT_TRUE(StartJob(events_, JobEnd::kEraseComplete, 2, [](Job& job) { job.outcome().failed = false; }));
  ASSERT_TRUE(sink_->WaitFor(kBurnerOnEraseComplete));
  ASSERT_TRUE(StartJob(events_, JobEnd::kEraseComplete, 1, [](Job&) {}));
  ASSERT_TRUE(sink_->WaitFor(kBurnerOnEraseComplete, 2));
  ASSERT_TRUE(StartJob(events_, JobEnd::kEndCloseSession, 1, [](Job&) {}));
  ASSERT_TRUE(sink_->WaitFor(kOnBurnerOnEndCloseSession));
  ASSERT_TRUE(StartJob(events_, JobEnd::kEndRip, 0, [](Job&) {}));
  ASSERT_TRUE(sink_->WaitFor(kRipperOnEndRip));
  const auto events = sink_->events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].args, (std::vector<Variant>{I4(2), I4(1)}));
  EXPECT_EQ(events[1].args, (std::vector<Variant>{I4(1), I4(0)}));
  EXPECT_EQ(events[2].args, (std::vector<Variant>{I4(1)}));
  EXPECT_TRUE(events[3].args.empty());
}

TEST_F(JobRunnerTest, ABodyThatThrowsStillEndsOnceWithTheErrorFlag) {
  ASSERT_TRUE(StartJob(events_, JobEnd::kEndBurn, kNoDrive, [](Job& job) {
    job.outcome().failed = false;
    throw std::runtime_error("lost");
  }));
  ASSERT_TRUE(sink_->WaitFor(kBurnerOnEndBurn));
  EngineState::Instance().threads.StopAndJoin();
  ASSERT_EQ(sink_->events().size(), 1u);
  EXPECT_EQ(sink_->events()[0].args, (std::vector<Variant>{I4(0), I4(0), I4(1)}));
  EXPECT_FALSE(EngineState::Instance().threads.JobRunning());
}

TEST_F(JobRunnerTest, AJobThatCannotStartIsRefusedWithATextAndNoEndButAnErasesEnd) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  ASSERT_TRUE(StartJob(events_, JobEnd::kEndBurn, 0, [released](Job&) { released.wait(); }));
  bool setup_ran = false;
  EXPECT_FALSE(StartJob(events_, JobEnd::kEndBurn, kNoDrive, JobSetup([&]() -> JobBody {
                          setup_ran = true;
                          return [](Job&) {};
                        })));
  EXPECT_FALSE(setup_ran);
  EXPECT_FALSE(StartJob(events_, JobEnd::kEraseComplete, 1, [](Job&) {}));
  EXPECT_FALSE(StartJob(events_, JobEnd::kEndRip, 9, [](Job&) {}));
  release.set_value();
  ASSERT_TRUE(sink_->WaitFor(kBurnerOnEndBurn));
  EngineState::Instance().threads.StopAndJoin();
  EXPECT_EQ(sink_->Count(kBurnerOnEndBurn), 1u);
  EXPECT_EQ(sink_->Count(kRipperOnEndRip), 0u);
  EXPECT_EQ(sink_->Texts(kBurningErrorViewDescription),
            (std::vector<std::string>{"Another disc job is running", "Another disc job is running",
                                      "There is no drive number 9"}));
  EXPECT_EQ(sink_->Count(kBurnerOnEraseComplete), 1u);

  EngineState::Instance().threads.Reopen();
  EngineState::Instance().threads.StopAndJoin();  // closed: no thread may start
  EXPECT_FALSE(StartJob(events_, JobEnd::kEndBurn, 0, [](Job&) {}));
  EXPECT_EQ(sink_->Texts(kBurningErrorViewDescription).back(), "The disc engine is shutting down");
  EXPECT_FALSE(EngineState::Instance().threads.JobRunning());
}

TEST_F(JobRunnerTest, TheSetupRunsOnTheCallingThreadOnceTheSlotIsHeld) {
  const std::thread::id caller = std::this_thread::get_id();
  std::thread::id setup_thread, body_thread;
  bool slot_held_in_setup = false;
  ASSERT_TRUE(StartJob(events_, JobEnd::kEndBurn, kNoDrive, JobSetup([&]() -> JobBody {
                         setup_thread = std::this_thread::get_id();
                         slot_held_in_setup = EngineState::Instance().threads.JobRunning();
                         return [&](Job&) { body_thread = std::this_thread::get_id(); };
                       })));
  ASSERT_TRUE(sink_->WaitFor(kBurnerOnEndBurn));
  EngineState::Instance().threads.StopAndJoin();
  EXPECT_EQ(setup_thread, caller);
  EXPECT_TRUE(slot_held_in_setup);
  EXPECT_NE(body_thread, caller);
}

TEST_F(JobRunnerTest, TheJobCopiesItsSettingsAndDriveWhenItStarts) {
  EngineState& engine = EngineState::Instance();
  engine.flags.fifo_mib.store(48);
  engine.flags.eject_after_erase.store(1);
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  JobContext seen;
  ASSERT_TRUE(StartJob(events_, JobEnd::kEraseComplete, 2, [&, released](Job& job) {
    released.wait();
    seen = job.context();
  }));
  engine.flags.fifo_mib.store(8);  // a member called while the job runs
  EXPECT_EQ(engine.flags.job_drive.load(), 2);
  release.set_value();
  ASSERT_TRUE(sink_->WaitFor(kBurnerOnEraseComplete));
  engine.threads.StopAndJoin();
  EXPECT_EQ(seen.drive, 2);
  EXPECT_EQ(seen.fifo_mib, 48);
  EXPECT_EQ(seen.eject_after_erase, 1);
  EXPECT_EQ(seen.device, engine.drives.Device(2));
  engine.flags.fifo_mib.store(32);
  engine.flags.eject_after_erase.store(0);
}

TEST_F(JobRunnerTest, ThePriorityFlagRaisesOnlyTheThreadsOfJobsItAppliesTo) {
  EngineState::Instance().flags.priority.store(1);
  const int outside = CurrentThreadNice();
  int plain = 0, raised = 0, priority_seen = -1;
  ASSERT_TRUE(StartJob(events_, JobEnd::kEndBurn, 0, [&](Job& job) {
    plain = CurrentThreadNice();
    priority_seen = job.context().priority;
  }));
  ASSERT_TRUE(sink_->WaitFor(kBurnerOnEndBurn));
  ASSERT_TRUE(StartJob(
      events_, JobEnd::kEndBurn, 0, [&](Job&) { raised = CurrentThreadNice(); },
      JobOptions{.priority_applies = true}));
  ASSERT_TRUE(sink_->WaitFor(kBurnerOnEndBurn, 2));
  EngineState::Instance().threads.StopAndJoin();
  EXPECT_EQ(priority_seen, 0);
  EXPECT_EQ(plain, outside);
  EXPECT_LE(raised, outside);  // unprivileged processes may not raise it at all
  EXPECT_EQ(CurrentThreadNice(), outside);
}

TEST_F(JobRunnerTest, AJobWaitsOnTheTestsClockWithoutRealTimePassing) {
  auto clock = std::make_shared<ManualJobClock>();
  ScopedJobClock scoped(clock);
  bool ready = false;
  int polls = 0;
  ASSERT_TRUE(StartJob(events_, JobEnd::kEndBurn, 0, [&](Job& job) {
    ready = job.PollUntil(2min, 500ms, [&] { return ++polls == 40; });
    job.SleepFor(1h);
    job.outcome().failed = !ready;
  }));
  ASSERT_TRUE(sink_->WaitFor(kBurnerOnEndBurn));
  EngineState::Instance().threads.StopAndJoin();
  EXPECT_TRUE(ready);
  EXPECT_EQ(clock->Elapsed(), 39 * 500ms + 1h);
  EXPECT_EQ(sink_->events().back().args, (std::vector<Variant>{I4(0), I4(0), I4(0)}));
}

TEST_F(JobRunnerTest, ShuttingDownEndsAJobsRealWaitAndStillRaisesItsEnd) {
  std::promise<void> waiting;
  bool slept_to_the_end = true;
  ASSERT_TRUE(StartJob(events_, JobEnd::kEndBurn, 0, [&](Job& job) {
    waiting.set_value();
    slept_to_the_end = job.SleepFor(24h);
  }));
  waiting.get_future().wait();
  EngineState::Instance().threads.StopAndJoin();
  EXPECT_FALSE(slept_to_the_end);
  EXPECT_EQ(sink_->Count(kBurnerOnEndBurn), 1u);
}

}  // namespace
}  // namespace zephrel
