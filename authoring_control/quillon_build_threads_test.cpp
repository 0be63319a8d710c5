// A host that runs the build on a worker thread and asks it to stop from its
// own thread.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "quillon/quillon_ctrl.h"
#include "quillon_testutil.h"

namespace quillon {
namespace {

// Counts progress on the worker; the host's thread reads the count.
class CountingSink : public QuillonEvents {
 public:
  void TotalProcessing(double, double) override { progress.fetch_add(1); }
  void OnCompleted() override { completed.fetch_add(1); }
  std::atomic<int> progress{0};
  std::atomic<int> completed{0};
};

std::shared_ptr<CountingSink> Count(CQuillonCtrl& ctrl) {
  auto sink = std::make_shared<CountingSink>();
  platform::Cookie cookie = 0;
  EXPECT_EQ(ctrl.events().Advise(sink, &cookie), platform::S_OK);
  return sink;
}

TEST(QuillonBuildThreadsTest, ClearAllFromTheHostsThreadStopsABuildOnAWorker) {
  testing::FakeControl f;
  ASSERT_EQ(f.ctrl->AddTitle("a.mpg"), platform::VARIANT_TRUE);
  ASSERT_EQ(f.ctrl->SetOutputDir("/out"), platform::S_OK);
  f.engine->progress_calls = 1 << 30;  // runs until it is stopped
  auto sink = Count(*f.ctrl);

  std::atomic<int> built{-2};
  std::thread worker([&] { built = f.ctrl->BuildDVDImage(); });
  while (sink->progress.load() < 10) std::this_thread::yield();
  EXPECT_TRUE(f.ctrl->building());
  f.ctrl->ClearAll();
  worker.join();

  EXPECT_EQ(built.load(), platform::VARIANT_FALSE);
  EXPECT_EQ(sink->completed.load(), 0);
  EXPECT_FALSE(f.ctrl->building());
  EXPECT_EQ(f.engine->init_calls, 1) << "cleared once, on the worker, after the engine stopped";
  EXPECT_EQ(f.ctrl->GetTitleCount(), 0);
  EXPECT_EQ(f.ctrl->LastBuildStatusText(), "") << "a stopped build is no failure";
}

TEST(QuillonBuildThreadsTest, ClearAllRacingTheEndOfABuildEitherStopsItOrClearsAfterIt) {
  for (int round = 0; round < 200; ++round) {
    testing::FakeControl f;
    ASSERT_EQ(f.ctrl->AddTitle("a.mpg"), platform::VARIANT_TRUE);
    ASSERT_EQ(f.ctrl->SetOutputDir("/out"), platform::S_OK);
    f.engine->progress_calls = round % 7;
    auto sink = Count(*f.ctrl);
    std::atomic<int> built{-2};
    std::thread worker([&] { built = f.ctrl->BuildDVDImage(); });
    f.ctrl->ClearAll();
    worker.join();
    // Cleared before the build, during it (stopped) or after it (built).
    EXPECT_EQ(f.ctrl->GetTitleCount(), 0);
    EXPECT_FALSE(f.ctrl->building());
    EXPECT_EQ(sink->completed.load(), built.load() == platform::VARIANT_TRUE ? 1 : 0);
    EXPECT_GE(f.engine->init_calls, 1);
  }
}

TEST(QuillonBuildThreadsTest, TheTextOfAFailedBuildOnAWorkerIsReadAfterTheJoin) {
  testing::FakeControl f;
  ASSERT_EQ(f.ctrl->AddTitle("a.mpg"), platform::VARIANT_TRUE);
  f.engine->build_status = -4003;
  ASSERT_EQ(f.ctrl->SetOutputDir("/out"), platform::S_OK);
  std::thread worker([&] { EXPECT_EQ(f.ctrl->BuildDVDImage(), platform::VARIANT_FALSE); });
  worker.join();
  EXPECT_EQ(f.ctrl->LastBuildStatusText(), "Error code = -4003\nfake text");
}

}  // namespace
}  // namespace quillon
