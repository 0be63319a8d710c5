#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "api/engine_testutil.h"
#include "jobs/job_state.h"
#include "zephrel/iso_builder.h"

namespace zephrel {
namespace {

// What a burn on a drive that answers every command with nothing says
// before it ends: it cannot tell where to write.
constexpr const char* kBurnDataRefusal =
    "The next writable address of the disc cannot be read: nothing was written.";

constexpr int kThreads = 8;
constexpr int kEventsPerThread = 10000;

// Counts each (thread, sequence) event it receives.
class CountingSink : public platform::EventSink {
 public:
  CountingSink() : counts_(kThreads * kEventsPerThread) {}
  bool SupportsInterface(const platform::Guid& iid) const override {
    return iid == kDIIdIISOBuilderEvents || iid == kIIdIDispatch;
  }
  void OnEvent(platform::DispId event, std::span<const platform::Variant> args) override {
    if (event != kRipperOnStartRip || args.size() != 2) {
      wrong_.fetch_add(1);
      return;
    }
    const int index = args[0].i4() * kEventsPerThread + args[1].i4();
    if (index < 0 || index >= static_cast<int>(counts_.size())) {
      wrong_.fetch_add(1);
      return;
    }
    counts_[static_cast<std::size_t>(index)].fetch_add(1);
  }
  int Received(int index) const { return counts_[static_cast<std::size_t>(index)].load(); }
  int wrong() const { return wrong_.load(); }

 private:
  std::vector<std::atomic<int>> counts_;
  std::atomic<int> wrong_{0};
};

TEST(ISOBuilderEventsThreads, EveryStableSinkGetsEachEventOnceWhileOtherSinksComeAndGo) {
  ISOBuilderEvents events;
  std::vector<std::shared_ptr<CountingSink>> stable;
  for (int i = 0; i < 3; ++i) {
    stable.push_back(std::make_shared<CountingSink>());
    platform::Cookie cookie = 0;
    ASSERT_EQ(events.Advise(stable.back(), &cookie), platform::S_OK);
  }

  std::atomic<bool> raising{true};
  std::vector<std::shared_ptr<CountingSink>> transient;
  std::thread churn([&] {
    // Advises and unadvises sinks for as long as events are being raised.
    while (raising.load()) {
      auto sink = std::make_shared<CountingSink>();
      platform::Cookie cookie = 0;
      if (events.Advise(sink, &cookie) == platform::S_OK) {
        std::this_thread::yield();
        EXPECT_EQ(events.Unadvise(cookie), platform::S_OK);
        EXPECT_EQ(events.Unadvise(cookie), platform::CONNECT_E_NOCONNECTION);
      }
      if (transient.size() < 64) transient.push_back(std::move(sink));
    }
  });

  std::vector<std::thread> raisers;
  for (int t = 0; t < kThreads; ++t) {
    raisers.emplace_back([&events, t] {
      for (int i = 0; i < kEventsPerThread; ++i) events.RipperOnStartRip(t, i);
    });
  }
  for (auto& r : raisers) r.join();
  raising.store(false);
  churn.join();

  for (const auto& sink : stable) {
    EXPECT_EQ(sink->wrong(), 0);
    int missing_or_repeated = 0;
    for (int index = 0; index < kThreads * kEventsPerThread; ++index)
      missing_or_repeated += sink->Received(index) != 1;
    EXPECT_EQ(missing_or_repeated, 0);
  }
  for (const auto& sink : transient) {
    int repeated = 0;
    for (int index = 0; index < kThreads * kEventsPerThread; ++index) repeated += sink->Received(index) > 1;
    EXPECT_EQ(repeated, 0);
  }
  EXPECT_EQ(events.SinkCount(), 3u);
}

TEST(EngineThreadsThreads, AtMostOneJobHoldsTheSlotAtAnyTime) {
  EngineThreads threads;
  std::atomic<int> holders{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> claims{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        auto ticket = threads.TryClaimJob();
        if (!ticket) continue;
        claims.fetch_add(1);
        if (holders.fetch_add(1) != 0) overlaps.fetch_add(1);
        holders.fetch_sub(1);
        ticket->Release();
      }
    });
  }
  for (auto& w : workers) w.join();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_GT(claims.load(), 0);
  EXPECT_FALSE(threads.JobRunning());
}

TEST(ISOBuilderThreads, JobsStartedFromManyThreadsEachEndOrAreRefusedAndUnloadJoinsThemAll) {
  testing::ScopedDriveSource drives([] {
    platform::ScanResult scan;
    scan.devices.push_back(std::make_unique<testing::FakeDevice>("V       ", "P               ", "R   ",
                                                                 platform::ScsiAddress{}));
    return scan;
  });
  auto builder = CreateISOBuilder();
  builder->Burner_Init();
  auto sink = std::make_shared<testing::RecordingSink>();
  platform::Cookie cookie = 0;
  ASSERT_EQ(builder->Advise(sink, &cookie), platform::S_OK);
  std::vector<std::thread> clients;
  for (int t = 0; t < kThreads; ++t) {
    clients.emplace_back([&] {
      for (int i = 0; i < 25; ++i) builder->Burner_BurnData(0, 0, 0, 0, 0, 0, 0, 0);
    });
  }
  for (auto& c : clients) c.join();
  builder->UnloadCom();
  const auto texts = sink->Texts(kBurningErrorViewDescription);
  std::size_t refused = 0, started = 0;
  for (const auto& text : texts) {
    if (text == "Another disc job is running") ++refused;
    if (text == kBurnDataRefusal) ++started;
  }
  EXPECT_EQ(refused + started, static_cast<std::size_t>(kThreads * 25));
  EXPECT_EQ(sink->Count(kBurnerOnEndBurn), started);  // one end per started job, none per refusal
}

}  // namespace
}  // namespace zephrel
