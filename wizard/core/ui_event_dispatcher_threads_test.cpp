#include "vantora/ui_event_dispatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core_testutil.h"

namespace vantora {
namespace {

using testing::UiLoop;

using platform::Delivery;
using namespace std::chrono_literals;

// Generous: only a hang (a deadlock) gets near it.
constexpr auto kWatchdog = 60s;

// A gate that a task waits at until the test opens it.
class Gate {
 public:
  void Open() {
    {
      std::lock_guard lock(mutex_);
      open_ = true;
    }
    cv_.notify_all();
  }
  void Wait() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return open_; });
  }
  bool IsOpen() {
    std::lock_guard lock(mutex_);
    return open_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool open_ = false;
};

// Records what happened, from any thread.
class Journal {
 public:
  void Add(std::string entry) {
    {
      std::lock_guard lock(mutex_);
      entries_.push_back(std::move(entry));
    }
    cv_.notify_all();
  }
  void WaitFor(const std::string& entry) {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return std::find(entries_.begin(), entries_.end(), entry) != entries_.end(); });
  }
  std::vector<std::string> Entries() {
    std::lock_guard lock(mutex_);
    return entries_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::string> entries_;
};

// Joins a worker within the watchdog; on a hang the dispatcher is aborted
// so the thread can end, and the test fails.
void JoinWithin(std::future<void>& worker, UiEventDispatcher& dispatcher) {
  if (worker.wait_for(kWatchdog) != std::future_status::ready) {
    ADD_FAILURE() << "a raising thread stayed blocked";
    dispatcher.Abort();
  }
  worker.wait();
}

constexpr platform::DispId kStart = 1, kProgress = 2, kEnd = 3, kOther = 4;

TEST(UiEventDispatcher, AWorkerStaysBlockedUntilItsHandlerHasReturned) {
  UiLoop loop;
  auto dispatcher = UiEventDispatcher::Create(loop.Ui(), {kEnd});
  Journal journal;
  Gate release;
  auto worker = std::async(std::launch::async, [&] {
    dispatcher->Dispatch(kStart, Delivery::kBlocking, [&] {
      journal.Add("handler started");
      release.Wait();
      journal.Add("handler returned");
    });
    journal.Add("raiser returned");
  });
  journal.WaitFor("handler started");
  EXPECT_EQ(journal.Entries(), std::vector<std::string>{"handler started"});
  release.Open();
  JoinWithin(worker, *dispatcher);
  EXPECT_EQ(journal.Entries(),
            (std::vector<std::string>{"handler started", "handler returned", "raiser returned"}));
}

TEST(UiEventDispatcher, EventsFromOneThreadArriveInRaisingOrderOnTheUiThread) {
  UiLoop loop;
  auto dispatcher = UiEventDispatcher::Create(loop.Ui(), {kEnd});
  Journal journal;
  std::atomic<bool> off_ui_thread{false};
  auto worker = std::async(std::launch::async, [&] {
    for (int i = 0; i < 200; ++i) {
      dispatcher->Dispatch(i % 2 ? kOther : kStart, Delivery::kBlocking, [&, i] {
        if (!loop.Ui().is_current()) off_ui_thread = true;
        journal.Add(std::to_string(i));
      });
    }
  });
  JoinWithin(worker, *dispatcher);
  std::vector<std::string> expected;
  for (int i = 0; i < 200; ++i) expected.push_back(std::to_string(i));
  EXPECT_EQ(journal.Entries(), expected);
  EXPECT_FALSE(off_ui_thread);
}

TEST(UiEventDispatcher, ARaiseOnTheUiThreadIsADirectCall) {
  UiLoop loop;
  auto dispatcher = UiEventDispatcher::Create(loop.Ui(), {kEnd});
  bool blocking_ran = false, coalesced_ran = false;
  loop.RunSync([&] {
    dispatcher->Dispatch(kStart, Delivery::kBlocking, [&] { blocking_ran = true; });
    EXPECT_TRUE(blocking_ran);
    dispatcher->Dispatch(kProgress, Delivery::kCoalesced, [&] { coalesced_ran = true; });
    EXPECT_TRUE(coalesced_ran);
  });
}

TEST(UiEventDispatcher, AHandlerInsideAModalDialogReceivesASecondThreadsEvent) {
  UiLoop loop;
  auto dispatcher = UiEventDispatcher::Create(loop.Ui(), {kEnd});
  Journal journal;
  bool second_delivered = false;  // touched on the UI thread only
  auto first = std::async(std::launch::async, [&] {
    dispatcher->Dispatch(kStart, Delivery::kBlocking, [&] {
      journal.Add("modal shown");
      loop.PumpUntil([&] { return second_delivered; });  // the modal dialog's loop
      journal.Add("modal closed");
    });
  });
  journal.WaitFor("modal shown");
  auto second = std::async(std::launch::async, [&] {
    dispatcher->Dispatch(kOther, Delivery::kBlocking, [&] {
      second_delivered = true;
      journal.Add("second handled");
    });
  });
  JoinWithin(second, *dispatcher);
  JoinWithin(first, *dispatcher);
  EXPECT_EQ(journal.Entries(), (std::vector<std::string>{"modal shown", "second handled", "modal closed"}));
}

TEST(UiEventDispatcher, AbortReleasesEveryBlockedWorkerAndDeliversNothingMore) {
  UiLoop loop;
  auto dispatcher = UiEventDispatcher::Create(loop.Ui(), {kEnd});
  Gate ui_busy;
  loop.Post([&] { ui_busy.Wait(); });  // the UI thread is busy elsewhere
  std::atomic<int> delivered{0};
  std::vector<std::future<void>> workers;
  for (int i = 0; i < 4; ++i)
    workers.push_back(std::async(std::launch::async, [&] {
      dispatcher->Dispatch(kStart, Delivery::kBlocking, [&] { ++delivered; });
    }));
  // Abort runs on the UI thread at shut-down; here the loop is held, so the
  // test's thread stands in for it.
  dispatcher->Abort();
  for (auto& worker : workers) JoinWithin(worker, *dispatcher);
  ui_busy.Open();
  dispatcher->Dispatch(kOther, Delivery::kBlocking, [&] { ++delivered; });  // returns at once
  loop.RunSync([] {});
  EXPECT_EQ(delivered.load(), 0);
  EXPECT_TRUE(dispatcher->aborted());
}

TEST(UiEventDispatcher, CoalescedProgressNeverBlocksAndOnlyTheNewestQueuedOneArrives) {
  UiLoop loop;
  auto dispatcher = UiEventDispatcher::Create(loop.Ui(), {kEnd});
  Gate ui_busy;
  loop.Post([&] { ui_busy.Wait(); });
  Journal journal;
  auto worker = std::async(std::launch::async, [&] {
    for (int i = 1; i <= 100; ++i)
      dispatcher->Dispatch(kProgress, Delivery::kCoalesced, [&, i] { journal.Add(std::to_string(i)); });
  });
  JoinWithin(worker, *dispatcher);  // finished while the UI thread was held
  ui_busy.Open();
  loop.RunSync([] {});
  EXPECT_EQ(journal.Entries(), std::vector<std::string>{"100"});
}

TEST(UiEventDispatcher, NoCoalescedProgressArrivesAfterTheJobsEndEvent) {
  UiLoop loop;
  auto dispatcher = UiEventDispatcher::Create(loop.Ui(), {kEnd});
  Gate ui_busy;
  loop.Post([&] { ui_busy.Wait(); });
  Journal journal;
  auto job = std::async(std::launch::async, [&] {
    dispatcher->Dispatch(kProgress, Delivery::kCoalesced, [&] { journal.Add("progress before end"); });
    dispatcher->Dispatch(kEnd, Delivery::kBlocking, [&] { journal.Add("end"); });
  });
  ui_busy.Open();
  JoinWithin(job, *dispatcher);
  loop.RunSync([] {});
  auto late = std::async(std::launch::async, [&] {
    dispatcher->Dispatch(kProgress, Delivery::kCoalesced, [&] { journal.Add("late progress"); });
  });
  late.wait();
  loop.RunSync([] {});
  // Progress queued before the end arrives before it; progress raised after
  // it by another thread is dropped.
  EXPECT_EQ(journal.Entries(), (std::vector<std::string>{"progress before end", "end"}));
  // The next job's start opens the way for its progress again.
  auto next = std::async(std::launch::async, [&] {
    dispatcher->Dispatch(kStart, Delivery::kBlocking, [&] { journal.Add("next start"); });
    dispatcher->Dispatch(kProgress, Delivery::kCoalesced, [&] { journal.Add("next progress"); });
  });
  JoinWithin(next, *dispatcher);
  loop.RunSync([] {});
  EXPECT_EQ(journal.Entries().back(), "next progress");
}

TEST(UiEventDispatcher, AnEndEventRaisedOnTheUiThreadDropsQueuedProgress) {
  UiLoop loop;
  auto dispatcher = UiEventDispatcher::Create(loop.Ui(), {kEnd});
  Journal journal;
  Gate queued;
  // The UI thread raises the end while the progress's delivery is queued
  // behind it.
  loop.Post([&] {
    queued.Wait();
    dispatcher->Dispatch(kEnd, Delivery::kBlocking, [&] { journal.Add("end"); });
  });
  auto worker = std::async(std::launch::async, [&] {
    dispatcher->Dispatch(kProgress, Delivery::kCoalesced, [&] { journal.Add("progress"); });
  });
  JoinWithin(worker, *dispatcher);
  queued.Open();
  loop.RunSync([] {});
  EXPECT_EQ(journal.Entries(), std::vector<std::string>{"end"});
}

}  // namespace
}  // namespace vantora
