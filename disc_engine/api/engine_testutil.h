// Fakes for the disc engine's tests: a drive that records the commands it is
// sent, and an event sink that records the events it receives.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "drive/drive_list.h"
#include "platform/automation.h"
#include "platform/scsi.h"
#include "zephrel/iisobuilder.h"
#include "zephrel/iso_builder.h"

namespace zephrel::testing {

class FakeDevice : public platform::ScsiDevice {
 public:
  FakeDevice(std::string vendor, std::string product, std::string revision, platform::ScsiAddress address) {
    identity_.vendor = std::move(vendor);
    identity_.product = std::move(product);
    identity_.revision = std::move(revision);
    identity_.address = address;
    identity_.node = "fake";
  }

  platform::ScsiResult exec(std::span<const std::uint8_t> cdb, platform::DataDirection,
                            std::span<std::uint8_t>, std::chrono::milliseconds) override {
    std::lock_guard lock(log_->mutex);
    log_->commands.emplace_back(cdb.begin(), cdb.end());
    return {};
  }
  const platform::DeviceIdentity& identity() const override { return identity_; }
  void SetNode(std::string node) { identity_.node = std::move(node); }

  // Shared with the test, so the log outlives the device the engine owns.
  struct Log {
    std::mutex mutex;
    std::vector<std::vector<std::uint8_t>> commands;
    std::vector<std::vector<std::uint8_t>> Commands() {
      std::lock_guard lock(mutex);
      return commands;
    }
  };
  std::shared_ptr<Log> log() const { return log_; }

 private:
  platform::DeviceIdentity identity_;
  std::shared_ptr<Log> log_ = std::make_shared<Log>();
};

// Installs a drive source of fake devices made by make() for the test's
// lifetime; the default source comes back afterwards.
class ScopedDriveSource {
 public:
  explicit ScopedDriveSource(std::function<platform::ScanResult()> make) {
    SetDriveSourceForTesting(std::move(make));
  }
  ~ScopedDriveSource() { SetDriveSourceForTesting(nullptr); }
};

struct RecordedEvent {
  platform::DispId id;
  std::vector<platform::Variant> args;
};

class RecordingSink : public platform::EventSink {
 public:
  explicit RecordingSink(bool has_dispatch = true, platform::Guid iid = kDIIdIISOBuilderEvents)
      : has_dispatch_(has_dispatch), iid_(iid) {}

  bool SupportsInterface(const platform::Guid& iid) const override {
    return iid == iid_ || (has_dispatch_ && iid == kIIdIDispatch);
  }
  void OnEvent(platform::DispId event, std::span<const platform::Variant> args) override {
    std::function<void(const RecordedEvent&)> hook;
    RecordedEvent recorded{event, {args.begin(), args.end()}};
    {
      std::lock_guard lock(mutex_);
      events_.push_back(recorded);
      hook = hook_;
    }
    changed_.notify_all();
    if (hook) hook(recorded);
  }

  // Called on the raising thread after each event is recorded.
  void SetHook(std::function<void(const RecordedEvent&)> hook) {
    std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
  }

  std::vector<RecordedEvent> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  std::size_t Count(platform::DispId id) const {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const auto& e : events_) n += e.id == id;
    return n;
  }
  // Waits (30 s at most, a guard against a hang) until `count` events of id
  // have arrived; returns whether they did.
  bool WaitFor(platform::DispId id, std::size_t count = 1) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [&] {
      std::size_t n = 0;
      for (const auto& e : events_) n += e.id == id;
      return n >= count;
    });
  }
  std::vector<std::string> Texts(platform::DispId id) const {
    std::vector<std::string> texts;
    for (const auto& e : events()) {
      if (e.id == id && !e.args.empty()) texts.push_back(e.args[0].str());
    }
    return texts;
  }

 private:
  bool has_dispatch_;
  platform::Guid iid_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<RecordedEvent> events_;
  std::function<void(const RecordedEvent&)> hook_;
};

// A dispatcher like a UI thread's whose thread never gets to its queue: a
// raising worker waits in Dispatch until the dispatcher is aborted, as it
// would while the UI thread is busy elsewhere (in UnloadCom, say).
class StalledDispatcher : public platform::EventDispatcher {
 public:
  void Dispatch(platform::DispId, platform::Delivery, std::function<void()>) override {
    std::unique_lock lock(mutex_);
    ++waiting_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return aborted_; });
    --waiting_;
  }
  void Abort() {
    std::lock_guard lock(mutex_);
    aborted_ = true;
    changed_.notify_all();
  }
  void WaitForAWaitingWorker() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return waiting_ > 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int waiting_ = 0;
  bool aborted_ = false;
};

// Three fake drives: two LUNs of one target on host 1, one on host 2. Their
// command logs are appended to *logs when given.
inline platform::ScanResult ThreeDrives(std::vector<std::shared_ptr<FakeDevice::Log>>* logs = nullptr) {
  platform::ScanResult scan;
  scan.devices.push_back(std::make_unique<FakeDevice>("VENDOR  ", "DVD WRITER      ", "1.0 ",
                                                      platform::ScsiAddress{1, 0, 0, 0}));
  scan.devices.push_back(std::make_unique<FakeDevice>("OTHER   ", "CD-RW           ", "2.00",
                                                      platform::ScsiAddress{1, 0, 0, 1}));
  scan.devices.push_back(std::make_unique<FakeDevice>("THIRD   ", "BD              ", "3.00",
                                                      platform::ScsiAddress{2, 0, 5, 0}));
  if (logs) {
    for (const auto& d : scan.devices) logs->push_back(static_cast<FakeDevice&>(*d).log());
  }
  return scan;
}

// A fresh ISOBuilder per test; UnloadCom joins whatever the test started.
class ISOBuilderTest : public ::testing::Test {
 protected:
  void TearDown() override {
    builder_->UnloadCom();
    builder_.reset();
  }

  std::shared_ptr<RecordingSink> Advised(bool has_dispatch = true) {
    auto sink = std::make_shared<RecordingSink>(has_dispatch);
    platform::Cookie cookie = 0;
    EXPECT_EQ(builder_->Advise(sink, &cookie), platform::S_OK);
    return sink;
  }

  std::unique_ptr<ISOBuilder> builder_ = CreateISOBuilder();
};

}  // namespace zephrel::testing
