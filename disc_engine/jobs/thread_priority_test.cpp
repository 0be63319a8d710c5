#include "jobs/thread_priority.h"

#include <gtest/gtest.h>

#include <thread>

namespace zephrel {
namespace {

TEST(ScopedThreadPriority, ChangesOnlyTheCallingThreadAndRestoresIt) {
  const int main_nice = CurrentThreadNice();
  std::thread worker([&] {
    const int before = CurrentThreadNice();
    {
      ScopedThreadPriority raised(-2);
      if (raised.changed()) {
        EXPECT_EQ(CurrentThreadNice(), before - 2);
      } else {
        EXPECT_EQ(CurrentThreadNice(), before);  // not permitted: nothing changed, no error
      }
      EXPECT_EQ(CurrentThreadNice(), CurrentThreadNice());
    }
    EXPECT_EQ(CurrentThreadNice(), before);
  });
  worker.join();
  EXPECT_EQ(CurrentThreadNice(), main_nice);
}

}  // namespace
}  // namespace zephrel
