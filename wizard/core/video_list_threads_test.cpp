// Probes run on their own threads while the view's thread goes on; the rows
// still arrive in the order the files were chosen.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "controller_testutil.h"

namespace vantora {
namespace {

class VideoListThreadsTest : public testing::ControllerFixture {};

TEST_F(VideoListThreadsTest, SeveralBatchesOfProbesAddTheirRowsInOrder) {
  Start(/*with_queue=*/true);
  Walk(1);
  std::vector<std::filesystem::path> first, second;
  for (int i = 0; i < 20; ++i) first.push_back(Video("a" + std::to_string(i) + ".avi"));
  for (int i = 0; i < 20; ++i) second.push_back(Video("b" + std::to_string(i) + ".avi"));
  c().AddVideoFiles(first);
  c().AddVideoFiles(second);
  Pump();
  ASSERT_EQ(c().screen().rows.size(), 40u);
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(c().screen().rows[i].source, first[i]);
    EXPECT_EQ(c().screen().rows[20 + i].source, second[i]);
  }
  EXPECT_FALSE(c().screen().probing);
}

TEST_F(VideoListThreadsTest, ABatchThatEndsFirstWaitsForTheOneChosenBefore) {
  Start(/*with_queue=*/true);
  Walk(1);
  const auto slow = Video("slow.avi");
  const auto fast = Video("fast.avi");
  std::atomic<bool> release{false};
  prober.before_probe = [&](const std::filesystem::path& file) {
    while (file == slow && !release) std::this_thread::yield();
  };
  c().AddVideoFiles({slow});
  c().AddVideoFiles({fast});
  // The second batch has ended and posted its rows before the first.
  for (;;) {
    std::lock_guard lock(queue_mu);
    if (!queue.empty()) break;
  }
  release = true;
  Pump();
  ASSERT_EQ(c().screen().rows.size(), 2u);
  EXPECT_EQ(c().screen().rows[0].source, slow);
  EXPECT_EQ(c().screen().rows[1].source, fast);
}

TEST_F(VideoListThreadsTest, AControllerDestroyedWhileProbesRunAddsNothingAfterwards) {
  Start(/*with_queue=*/true);
  Walk(1);
  std::vector<std::filesystem::path> files;
  for (int i = 0; i < 30; ++i) files.push_back(Video("v" + std::to_string(i) + ".avi"));
  c().AddVideoFiles(files);
  controller.reset();  // joins the probes
  std::lock_guard lock(queue_mu);
  for (auto& task : queue) task();  // their rows find no controller and are dropped
}

}  // namespace
}  // namespace vantora
