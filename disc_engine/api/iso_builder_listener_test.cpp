// The media-change listener over an emulated drive, driven by a clock that
// moves only when the test says so.
#include <gtest/gtest.h>

#include "api/emulated_engine_testutil.h"
#include "api/engine_drives.h"
#include "jobs/job_clock_testutil.h"
#include "jobs/job_state.h"
#include "jobs/step_job_clock_testutil.h"
#include "testing/tools.h"

namespace zephrel {
namespace {

using namespace std::chrono_literals;

class Listener : public testing::EmulatedEngineTest {
 protected:
  void SetUp() override { EmulatedEngineTest::SetUp(); }
  void TearDown() override {
    EmulatedEngineTest::TearDown();
    EngineState::Instance().flags.busy.store(false);
  }
  std::size_t TestUnitReadyCount() const {
    std::size_t n = 0;
    for (const auto& c : drive_->CommandLog()) n += c.cdb[0] == 0x00;
    return n;
  }
  std::shared_ptr<testing::StepJobClock> step_ = std::make_shared<testing::StepJobClock>();
  testing::StepJobClock& clock_ = *step_;
  testing::ScopedJobClock scoped_clock_{step_};
};

TEST_F(Listener, TheFirstPollReportsAndOnlyEachTrayChangeReportsAgain) {
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  builder_->Burner_ListenDrive(0);
  ASSERT_TRUE(clock_.WaitForSleeps(1));
  EXPECT_EQ(sink->Count(kBurnerOnMediaChange), 1u) << "the first answer is always news";
  ASSERT_TRUE(clock_.Step(1000ms));
  ASSERT_TRUE(clock_.Step(1000ms));
  EXPECT_EQ(sink->Count(kBurnerOnMediaChange), 1u);

  ASSERT_TRUE(drive_->OpenTray());
  ASSERT_TRUE(clock_.Step(1000ms));
  EXPECT_EQ(sink->Count(kBurnerOnMediaChange), 2u);
  ASSERT_TRUE(clock_.Step(1000ms));
  EXPECT_EQ(sink->Count(kBurnerOnMediaChange), 2u);

  // Closing the tray makes the drive answer the next command with a unit
  // attention: that reads as "ask again", and the medium is then ready.
  drive_->CloseTray();
  ASSERT_TRUE(clock_.Step(1000ms));
  EXPECT_EQ(sink->Count(kBurnerOnMediaChange), 3u);
  ASSERT_TRUE(clock_.Step(1000ms));
  EXPECT_EQ(sink->Count(kBurnerOnMediaChange), 3u);
  EXPECT_EQ(EngineListener().ListenedDrive(), 0);

  // Another disc put in between two polls, each of which finds one ready.
  std::string error;
  platform::MediumSpec cd;
  cd.profile = platform::kProfileCdR;
  ASSERT_TRUE(drive_->InsertMedium(cd, &error)) << error;
  ASSERT_TRUE(clock_.Step(1000ms));
  EXPECT_EQ(sink->Count(kBurnerOnMediaChange), 4u);
  ASSERT_TRUE(clock_.Step(1000ms));
  EXPECT_EQ(sink->Count(kBurnerOnMediaChange), 4u);
}

TEST_F(Listener, AnotherProgramsEjectLoadAndNewMediumAreHeardAsTheirOwnChanges) {
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  builder_->Burner_ListenDrive(0);
  ASSERT_TRUE(clock_.WaitForSleeps(1));
  ASSERT_EQ(sink->Count(kBurnerOnMediaChange), 1u);
  const auto tool = [&](std::vector<std::string> argv) {
    argv.insert(argv.begin(), EMUDRIVE_TOOL);
    const auto r = vantora::testing::RunTool(argv);
    EXPECT_EQ(r.exit_code, 0) << r.output;
  };
  tool({"eject", root_.string()});
  ASSERT_TRUE(clock_.Step(1000ms));
  EXPECT_EQ(sink->Count(kBurnerOnMediaChange), 2u) << "the tray opened by another program";
  tool({"insert", root_.string(), "dvd-rw"});
  tool({"load", root_.string()});
  ASSERT_TRUE(clock_.Step(1000ms));
  EXPECT_EQ(sink->Count(kBurnerOnMediaChange), 3u) << "a medium loaded by another program";
  std::int32_t rw = 0;
  builder_->Burner_MediaIsRW(0, rw);
  EXPECT_EQ(rw, 1) << "the new medium is the one the drive reports";
}

TEST_F(Listener, ADriveOfMinusOneGivesAListenerThatNeverPolls) {
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  builder_->Burner_ListenDrive(-1);
  ASSERT_TRUE(clock_.WaitForSleeps(1));
  ASSERT_TRUE(clock_.Step(1000ms));
  ASSERT_TRUE(clock_.Step(1000ms));
  EXPECT_EQ(TestUnitReadyCount(), 0u);
  EXPECT_EQ(sink->Count(kBurnerOnMediaChange), 0u);
}

TEST_F(Listener, NothingIsPolledOrReportedWhileAJobRunsAndTheChangeIsReportedAfterIt) {
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  builder_->Burner_ListenDrive(0);
  ASSERT_TRUE(clock_.WaitForSleeps(1));
  ASSERT_EQ(sink->Count(kBurnerOnMediaChange), 1u);

  EngineState::Instance().flags.busy.store(true);
  const std::size_t polled = TestUnitReadyCount();
  ASSERT_TRUE(drive_->OpenTray());
  ASSERT_TRUE(clock_.Step(1000ms));
  ASSERT_TRUE(clock_.Step(1000ms));
  EXPECT_EQ(TestUnitReadyCount(), polled);
  EXPECT_EQ(sink->Count(kBurnerOnMediaChange), 1u);

  EngineState::Instance().flags.busy.store(false);
  ASSERT_TRUE(clock_.Step(1000ms));
  EXPECT_EQ(sink->Count(kBurnerOnMediaChange), 2u);
}

TEST_F(Listener, StoppingEndsTheListenerWithoutWaitingForItsInterval) {
  UseMedium(platform::kProfileDvdPlusR);
  builder_->Burner_ListenDrive(0);
  ASSERT_TRUE(clock_.WaitForSleeps(1));
  ASSERT_EQ(EngineListener().LiveLoops(), 1);
  builder_->Burner_StopListenDrive();
  EXPECT_EQ(EngineListener().ListenedDrive(), -1);
  // The clock never moves: only the stop can end the wait.
  for (int i = 0; i < 1000 && EngineListener().LiveLoops() != 0; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(EngineListener().LiveLoops(), 0);
}

TEST_F(Listener, ListeningToAnotherDriveRetiresTheFirstListener) {
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  builder_->Burner_ListenDrive(0);
  ASSERT_TRUE(clock_.WaitForSleeps(1));
  builder_->Burner_ListenDrive(-1);
  ASSERT_TRUE(clock_.WaitForSleeps(2));
  for (int i = 0; i < 1000 && EngineListener().LiveLoops() != 1; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(EngineListener().LiveLoops(), 1);
  ASSERT_TRUE(drive_->OpenTray());
  ASSERT_TRUE(clock_.Step(1000ms));
  EXPECT_EQ(sink->Count(kBurnerOnMediaChange), 1u) << "the retired listener still polls";
}

TEST_F(Listener, UnloadComEndsTheListener) {
  UseMedium(platform::kProfileDvdPlusR);
  builder_->Burner_ListenDrive(0);
  ASSERT_TRUE(clock_.WaitForSleeps(1));
  builder_->UnloadCom();
  EXPECT_EQ(EngineListener().LiveLoops(), 0);
  EXPECT_EQ(EngineListener().ListenedDrive(), -1);
}

}  // namespace
}  // namespace zephrel
