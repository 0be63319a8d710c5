#include "drive/medium_snapshot.h"

#include <algorithm>
#include <tuple>
#include <utility>
#include <vector>

#include "drive/mmc_commands.h"

namespace zephrel {

using platform::DataDirection;
using platform::ScsiResult;

namespace {

constexpr std::uint8_t kKeyNotReady = 0x02;
constexpr std::uint8_t kAscLogicalUnitNotReady = 0x04;
// READ(10) answered from a look: the volume descriptors the members read.
constexpr std::size_t kLargestAnsweredRead = 16 * mmc::kSectorSize;

// Not ready, or no medium; not a medium the drive cannot use as it is (an
// unformatted one, say), which stays the same medium.
bool NotReady(const ScsiResult& result) {
  return result.transport == ScsiResult::Transport::kOk && result.status == 2 && result.sense.valid &&
         result.sense.key == kKeyNotReady &&
         (result.sense.asc == kAscLogicalUnitNotReady || result.sense.asc == mmc::kAscMediumNotPresent);
}

// The questions about the medium that a look answers.
bool AboutTheMedium(std::uint8_t opcode) {
  switch (opcode) {
    case mmc::kGetConfiguration:
    case mmc::kReadDiscInformation:
    case mmc::kReadTrackInformation:
    case mmc::kReadFormatCapacities:
    case mmc::kReadCapacity:
    case mmc::kReadDvdStructure:
    case mmc::kReadTocPmaAtip:
    case mmc::kRead10:
      return true;
    default:
      return false;
  }
}

class WatchedDevice final : public platform::ScsiDevice {
 public:
  WatchedDevice(std::unique_ptr<platform::ScsiDevice> device, std::shared_ptr<MediumWatch> watch)
      : device_(std::move(device)), watch_(std::move(watch)) {}
  ScsiResult exec(std::span<const std::uint8_t> cdb, DataDirection direction, std::span<std::uint8_t> buffer,
                  std::chrono::milliseconds timeout) override {
    ScsiResult result = device_->exec(cdb, direction, buffer, timeout);
    if (!cdb.empty()) watch_->Observe(cdb[0], result);
    return result;
  }
  const platform::DeviceIdentity& identity() const override { return device_->identity(); }
  platform::HoldResult HoldExclusive(std::string* why) override { return device_->HoldExclusive(why); }
  void ReleaseExclusive() override { device_->ReleaseExclusive(); }

 private:
  std::unique_ptr<platform::ScsiDevice> device_;
  std::shared_ptr<MediumWatch> watch_;
};

// The device of a look: the answers it keeps, by command block and buffer
// length.
class LookDevice final : public platform::ScsiDevice {
 public:
  LookDevice(std::shared_ptr<platform::ScsiDevice> device, ScsiResult ready)
      : device_(std::move(device)), ready_(std::move(ready)) {}

  bool MediumReady() const { return ready_.ok(); }

  ScsiResult exec(std::span<const std::uint8_t> cdb, DataDirection direction, std::span<std::uint8_t> buffer,
                  std::chrono::milliseconds timeout) override {
    if (!device_) return ready_;  // the transport's "no such drive"
    if (cdb.empty() || direction != DataDirection::kIn || !AboutTheMedium(cdb[0]) ||
        (cdb[0] == mmc::kRead10 && buffer.size() > kLargestAnsweredRead))
      return device_->exec(cdb, direction, buffer, timeout);
    if (!ready_.ok()) {
      ScsiResult refused = ready_;
      refused.after_unit_attention = false;
      return refused;
    }
    // Held while the drive answers, so that two threads asking the same
    // question send it once.
    std::lock_guard lock(mutex_);
    Key key{std::vector<std::uint8_t>(cdb.begin(), cdb.end()), buffer.size()};
    auto kept = answers_.find(key);
    if (kept == answers_.end()) {
      Answer answer;
      answer.result = device_->exec(cdb, direction, buffer, timeout);
      answer.result.after_unit_attention = false;
      answer.bytes.assign(buffer.begin(), buffer.end());
      kept = answers_.emplace(std::move(key), std::move(answer)).first;
      return kept->second.result;
    }
    std::copy(kept->second.bytes.begin(), kept->second.bytes.end(), buffer.begin());
    return kept->second.result;
  }
  const platform::DeviceIdentity& identity() const override {
    static const platform::DeviceIdentity none;
    return device_ ? device_->identity() : none;
  }
  platform::HoldResult HoldExclusive(std::string* why) override {
    return device_ ? device_->HoldExclusive(why) : platform::HoldResult::kFailed;
  }
  void ReleaseExclusive() override {
    if (device_) device_->ReleaseExclusive();
  }

 private:
  struct Key {
    std::vector<std::uint8_t> cdb;
    std::size_t length;
    friend bool operator<(const Key& a, const Key& b) {
      return std::tie(a.cdb, a.length) < std::tie(b.cdb, b.length);
    }
  };
  struct Answer {
    ScsiResult result;
    std::vector<std::uint8_t> bytes;
  };
  std::shared_ptr<platform::ScsiDevice> device_;
  const ScsiResult ready_;
  std::mutex mutex_;
  std::map<Key, Answer> answers_;
};

}  // namespace

void MediumWatch::Observe(std::uint8_t opcode, const ScsiResult& result) {
  if (result.after_unit_attention) {
    Changed();
    ready_.store(result.ok() ? 1 : NotReady(result) ? 0 : -1);
    return;
  }
  if (NotReady(result)) {
    if (ready_.exchange(0) == 1) Changed();
  } else if (opcode == mmc::kTestUnitReady && result.ok()) {
    if (ready_.exchange(1) == 0) Changed();
  }
}

std::unique_ptr<platform::ScsiDevice> WatchMedium(std::unique_ptr<platform::ScsiDevice> device,
                                                  std::shared_ptr<MediumWatch> watch) {
  return std::make_unique<WatchedDevice>(std::move(device), std::move(watch));
}

MediumSnapshot::MediumSnapshot(std::shared_ptr<platform::ScsiDevice> device,
                               const std::function<std::uint64_t()>& generation) {
  ScsiResult ready;
  if (device) {
    ready = device->exec(mmc::TestUnitReady().span(), DataDirection::kNone, {}, std::chrono::milliseconds(0));
  } else {
    ready.transport = ScsiResult::Transport::kError;
    ready.transport_message = "no such drive";
  }
  generation_ = generation();
  source_ = device.get();
  device_ = std::make_shared<LookDevice>(std::move(device), std::move(ready));
}

bool MediumSnapshot::MediumReady() const { return static_cast<const LookDevice&>(*device_).MediumReady(); }

void MediumRefreshes::Begin(int drive) {
  std::lock_guard lock(mutex_);
  open_[drive] = Open{};
}

bool MediumRefreshes::End(int drive, std::uint64_t generation) {
  std::lock_guard lock(mutex_);
  const auto open = open_.find(drive);
  if (open == open_.end()) return true;
  const bool whole =
      !open->second.retaken && (!open->second.look || open->second.look->Generation() == generation);
  open_.erase(open);
  return whole;
}

std::shared_ptr<platform::ScsiDevice> MediumRefreshes::DeviceFor(
    int drive, const std::shared_ptr<platform::ScsiDevice>& device,
    const std::function<std::uint64_t()>& generation, bool look_outside) {
  if (!device) return device;  // a number outside the drive list: every command fails
  std::unique_lock lock(mutex_);
  const auto open = open_.find(drive);
  if (open == open_.end()) {
    lock.unlock();
    return look_outside ? MediumSnapshot(device, generation).Device() : device;
  }
  std::shared_ptr<MediumSnapshot>& look = open->second.look;
  if (!look || look->Source() != device.get() || look->Generation() != generation()) {
    if (look) open->second.retaken = true;
    look = std::make_shared<MediumSnapshot>(device, generation);
  }
  return look->Device();
}

}  // namespace zephrel
