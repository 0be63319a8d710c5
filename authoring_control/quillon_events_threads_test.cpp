// A host thread advising and unadvising while the control builds.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "quillon/quillon_ctrl.h"
#include "quillon_testutil.h"

namespace quillon {
namespace {

TEST(QuillonEventsThreadsTest, AStableSinkGetsEveryEventOnceWhileOtherSinksComeAndGo) {
  testing::FakeControl f;
  ASSERT_EQ(f.ctrl->AddTitle("a.mpg"), platform::VARIANT_TRUE);
  ASSERT_EQ(f.ctrl->SetOutputDir("/out"), platform::S_OK);
  f.engine->progress_calls = 2000;
  auto stable = testing::Listen(*f.ctrl);

  std::atomic<bool> done{false};
  std::thread churn([&] {
    while (!done.load()) {
      platform::Cookie cookie = 0;
      if (f.ctrl->events().Advise(std::make_shared<testing::EventRecorder>(), &cookie) == platform::S_OK) {
        f.ctrl->events().Unadvise(cookie);
      }
    }
  });
  const VariantBool built = f.ctrl->BuildDVDImage();
  done = true;
  churn.join();

  EXPECT_EQ(built, platform::VARIANT_TRUE);
  EXPECT_EQ(stable->progress.size(), 2000u);
  EXPECT_EQ(stable->completed, 1);
  EXPECT_EQ(f.ctrl->events().SinkCount(), 1u);
}

}  // namespace
}  // namespace quillon
