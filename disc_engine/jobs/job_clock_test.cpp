#include "jobs/job_clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stop_token>

#include "jobs/job_clock_testutil.h"

namespace zephrel {
namespace {

using namespace std::chrono_literals;
using testing::ManualJobClock;

TEST(PollUntil, ReturnsAsSoonAsTheConditionHoldsAfterWaitingOneIntervalPerMiss) {
  ManualJobClock clock;
  int asked = 0;
  EXPECT_TRUE(PollUntil(clock, {}, 10s, 250ms, [&] { return ++asked == 4; }));
  EXPECT_EQ(asked, 4);
  EXPECT_EQ(clock.Sleeps(), (std::vector<JobClock::Duration>{250ms, 250ms, 250ms}));
  EXPECT_EQ(clock.Elapsed(), 750ms);
}

TEST(PollUntil, GivesUpAtTheTimeoutWithoutWaitingPastIt) {
  ManualJobClock clock;
  int asked = 0;
  EXPECT_FALSE(PollUntil(clock, {}, 1s, 400ms, [&] {
    ++asked;
    return false;
  }));
  // 0, 400 and 800 ms, then a last short wait up to the deadline and a last look.
  EXPECT_EQ(clock.Sleeps(), (std::vector<JobClock::Duration>{400ms, 400ms, 200ms}));
  EXPECT_EQ(clock.Elapsed(), 1s);
  EXPECT_EQ(asked, 4);
}

TEST(PollUntil, AsksOnceEvenWithNoTimeLeft) {
  ManualJobClock clock;
  int asked = 0;
  EXPECT_TRUE(PollUntil(clock, {}, 0s, 1s, [&] { return ++asked == 1; }));
  EXPECT_FALSE(PollUntil(clock, {}, 0s, 1s, [] { return false; }));
  EXPECT_TRUE(clock.Sleeps().empty());
}

TEST(PollUntil, StopsWaitingWhenTheJobIsAskedToStop) {
  ManualJobClock clock;
  std::stop_source stop;
  int asked = 0;
  EXPECT_FALSE(PollUntil(clock, stop.get_token(), 1h, 1s, [&] {
    if (++asked == 3) stop.request_stop();
    return false;
  }));
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(clock.Elapsed(), 2s);
}

TEST(SystemJobClock, AWaitReturnsAtOnceWhenStopWasAlreadyRequested) {
  std::stop_source stop;
  stop.request_stop();
  const auto before = std::chrono::steady_clock::now();
  EXPECT_FALSE(SystemJobClock()->SleepFor(1h, stop.get_token()));
  EXPECT_LT(std::chrono::steady_clock::now() - before, 10s);
}

TEST(SystemJobClock, MovesForwardWithTheSteadyClock) {
  const JobClock::TimePoint a = SystemJobClock()->Now();
  EXPECT_LE(a, std::chrono::steady_clock::now());
  EXPECT_TRUE(SystemJobClock()->SleepFor(0s, {}));
  EXPECT_GE(SystemJobClock()->Now(), a);
}

}  // namespace
}  // namespace zephrel
