#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "connection_point_testutil.h"
#include "platform/automation/connection_point.h"

namespace platform {
namespace {

using testing::kTestEvents;
using testing::RecordingSink;

// Sinks advised for the whole run must see every event exactly once and in
// order while another thread keeps advising and unadvising other sinks, and
// while a third raises on its own.
TEST(ConnectionPointThreadsTest, StableSinksReceiveEachEventExactlyOnceWhileOthersComeAndGo) {
  constexpr int kEvents = 3000;
  constexpr std::size_t kCapacity = 8;
  ConnectionPoint cp(kTestEvents, kCapacity);
  std::vector<std::shared_ptr<RecordingSink>> stable;
  for (int i = 0; i < 3; ++i) {
    stable.push_back(std::make_shared<RecordingSink>());
    Cookie c = 0;
    ASSERT_EQ(cp.Advise(stable.back(), &c), S_OK);
  }

  std::atomic<bool> done{false};
  std::atomic<int> churn_failures{0};
  std::thread churn([&] {
    std::vector<Cookie> mine;
    while (!done.load()) {
      Cookie c = 0;
      const HResult hr = cp.Advise(std::make_shared<RecordingSink>(), &c);
      if (hr == S_OK) {
        mine.push_back(c);
      } else if (hr != CONNECT_E_ADVISELIMIT) {
        churn_failures++;
      }
      if (mine.size() >= 3 || hr == CONNECT_E_ADVISELIMIT) {
        for (Cookie m : mine) churn_failures += cp.Unadvise(m) != S_OK;
        mine.clear();
      }
    }
    for (Cookie m : mine) churn_failures += cp.Unadvise(m) != S_OK;
  });
  std::thread other_raiser([&] {
    for (int i = 0; i < kEvents; ++i) cp.Raise(2, {Variant(i)});
  });
  for (int i = 0; i < kEvents; ++i) cp.Raise(1, {Variant(i)});
  other_raiser.join();
  done = true;
  churn.join();

  EXPECT_EQ(churn_failures.load(), 0);
  EXPECT_EQ(cp.SinkCount(), stable.size());
  for (const auto& sink : stable) {
    int next1 = 0, next2 = 0;
    for (const auto& e : sink->events()) {
      if (e.id == 1) {
        EXPECT_EQ(e.first, next1++);
      } else {
        EXPECT_EQ(e.first, next2++);
      }
    }
    EXPECT_EQ(next1, kEvents);
    EXPECT_EQ(next2, kEvents);
  }
}

}  // namespace
}  // namespace platform
