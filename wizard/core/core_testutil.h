// Helpers shared by the wizard core's tests.
#pragma once

#include <stdlib.h>

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "testing/temp_folder.h"
#include "vantora/functions.h"
#include "vantora/ui_event_dispatcher.h"

namespace vantora::testing {

void WriteBytes(const std::filesystem::path& file, std::string_view bytes);

// Sets (or, for nullptr, unsets) an environment variable for its lifetime.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old, had_ = true;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

std::string ReadBytes(const std::filesystem::path& file);
// The generated test clip name, in the folder VANTORA_TEST_MEDIA names.
std::filesystem::path Media(const char* name);

// A Shell that records what it was asked to open.
class RecordingShell : public Shell {
 public:
  bool OpenWithShell(const std::string& target) override {
    opened.push_back(target);
    return opens;
  }
  std::vector<std::string> opened;
  bool opens = true;  // false: as a desktop without a program for the target
};

// A stand-in for the toolkit's user-interface thread: runs posted tasks in
// order, and can pump them from inside a task (as a modal dialog does).
class UiLoop {
 public:
  UiLoop() {
    std::promise<void> started;
    auto ready = started.get_future();
    thread_ = std::thread([this, &started] {
      id_ = std::this_thread::get_id();
      started.set_value();
      Run();
    });
    ready.wait();
  }
  ~UiLoop() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  UiThread Ui() {
    return UiThread{[this](std::function<void()> task) { Post(std::move(task)); },
                    [this] { return std::this_thread::get_id() == id_; }};
  }
  void Post(std::function<void()> task) {
    {
      std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    cv_.notify_all();
  }
  // Runs tasks on the loop's thread until done() holds; call from a task.
  void PumpUntil(const std::function<bool()>& done) {
    while (!done()) {
      std::function<void()> task;
      {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return !tasks_.empty(); });
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
  }
  // Runs f on the loop's thread and waits for it.
  void RunSync(std::function<void()> f) {
    std::promise<void> done;
    Post([&] {
      f();
      done.set_value();
    });
    done.get_future().wait();
  }

 private:
  void Run() {
    for (;;) {
      std::function<void()> task;
      {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return stop_ || !tasks_.empty(); });
        if (tasks_.empty()) return;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
  }
  std::thread thread_;
  std::thread::id id_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> tasks_;
  bool stop_ = false;
};

}  // namespace vantora::testing
