// The authoring build on its worker: the control's events and the result
// reach the user-interface thread in order while the worker waits, and a stop
// asked from the user-interface thread ends the build.
#include "vantora/authoring_run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core_testutil.h"
#include "vantora/ui_event_dispatcher.h"

namespace vantora {
namespace {

using testing::UiLoop;

// A control whose build raises progress until it has raised `steps` of them
// or a stop was asked; only IsBuilding and ClearAll may come from another
// thread during the build.
class ThreadedControl final : public AuthoringControl {
 public:
  explicit ThreadedControl(int steps) : steps_(steps) {}
  void ClearAll() override {
    if (building_.load()) stop_ = true;
  }
  bool IsBuilding() const override { return building_.load(); }
  bool AddMainMenu(const std::string&) override { return true; }
  bool SetMainMenuButtonColor(std::int16_t, std::int16_t, std::int16_t, std::int16_t, std::int16_t,
                              std::int16_t) override {
    return true;
  }
  bool AddMainMenuButton(std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int16_t) override {
    return true;
  }
  void SetEnableAutoNextTitle(bool) override {}
  void SetOutputDir(const std::string&) override {}
  bool AddTitle(const std::string&) override { return true; }
  int GetTitleCount() override { return 1; }
  bool BuildDVDImage() override {
    worker = std::this_thread::get_id();
    building_ = true;
    bool stopped = false;
    for (int i = 0; i < steps_ && !(stopped = stop_.load()); ++i) events_.load()->TotalProcessing(i, i);
    building_ = false;
    if (stopped) {
      stop_ = false;
      return false;
    }
    events_.load()->OnCompleted();
    return true;
  }
  std::string LastBuildStatusText() const override { return ""; }
  void SetEvents(AuthoringEvents* events) override { events_ = events; }

  std::thread::id worker;

 private:
  const int steps_;
  std::atomic<bool> building_{false}, stop_{false};
  std::atomic<AuthoringEvents*> events_{nullptr};
};

struct Seen {
  std::mutex mutex;
  std::vector<std::string> calls;
  std::vector<std::thread::id> threads;
  void Note(const std::string& call) {
    std::lock_guard lock(mutex);
    calls.push_back(call);
    threads.push_back(std::this_thread::get_id());
  }
};

TEST(AuthoringRunThreadsTest, EventsAndTheResultReachTheUserInterfaceThreadInOrder) {
  UiLoop loop;
  auto dispatcher = UiEventDispatcher::Create(loop.Ui(), {});
  ThreadedControl control(50);
  Seen seen;
  std::promise<void> done;
  AuthoringRun run(control, dispatcher);
  std::thread::id ui;
  loop.RunSync([&] {
    ui = std::this_thread::get_id();
    AuthoringRun::Handlers h;
    h.total_processing = [&](double step, double) { seen.Note("progress " + std::to_string(int(step))); };
    h.on_completed = [&] {
      EXPECT_FALSE(control.IsBuilding());
      seen.Note("completed");
    };
    h.returned = [&](bool built, const std::string&) {
      seen.Note(built ? "built" : "failed");
      done.set_value();
    };
    EXPECT_TRUE(run.Start(std::move(h)));
    EXPECT_TRUE(run.running());
  });
  done.get_future().wait();
  run.Join();
  std::vector<std::string> expected;
  for (int i = 0; i < 50; ++i) expected.push_back("progress " + std::to_string(i));
  expected.push_back("completed");
  expected.push_back("built");
  EXPECT_EQ(seen.calls, expected);
  for (const std::thread::id& id : seen.threads) EXPECT_EQ(id, ui);
  EXPECT_NE(control.worker, ui) << "the build ran on a worker";
  EXPECT_FALSE(run.running());
}

TEST(AuthoringRunThreadsTest, AStopAskedFromTheUserInterfaceThreadEndsTheBuildWithoutCompletion) {
  UiLoop loop;
  auto dispatcher = UiEventDispatcher::Create(loop.Ui(), {});
  ThreadedControl control(1 << 30);
  std::atomic<int> progress{0}, completed{0};
  std::promise<bool> result;
  AuthoringRun run(control, dispatcher);
  loop.RunSync([&] {
    AuthoringRun::Handlers h;
    h.total_processing = [&](double, double) {
      // The third report's handler presses Cancel.
      if (++progress == 3) control.ClearAll();
    };
    h.on_completed = [&] { ++completed; };
    h.returned = [&](bool built, const std::string&) { result.set_value(built); };
    run.Start(std::move(h));
  });
  EXPECT_FALSE(result.get_future().get());
  run.Join();
  EXPECT_EQ(completed.load(), 0);
  EXPECT_LE(progress.load(), 4);
}

TEST(AuthoringRunThreadsTest, AbortingTheDispatcherReleasesAWaitingWorkerSoItCanBeJoined) {
  UiLoop loop;
  auto dispatcher = UiEventDispatcher::Create(loop.Ui(), {});
  ThreadedControl control(1 << 30);
  std::atomic<int> progress{0};
  std::promise<void> first;
  auto run = std::make_unique<AuthoringRun>(control, dispatcher);
  loop.RunSync([&] {
    AuthoringRun::Handlers h;
    h.total_processing = [&](double, double) {
      if (++progress == 1) first.set_value();
    };
    run->Start(std::move(h));
  });
  first.get_future().wait();
  // As at shut-down: no more deliveries, a stop, then the join.
  dispatcher->Abort();
  control.ClearAll();
  run.reset();
  EXPECT_FALSE(control.IsBuilding());
}

}  // namespace
}  // namespace vantora
