// Drives for the drive layer's tests: an emulated drive opened the way the
// engine opens it (behind the transport policy), and a scripted device whose
// replies a test writes byte by byte, for replies no well-behaved drive gives.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "drive/mmc_drive.h"
#include "image/iso9660_testutil.h"
#include "platform/emulated_drive.h"
#include "platform/scsi.h"

namespace zephrel::testing {

class PolicedDrive {
 public:
  // A drive in a folder whose name holds blanks and non-ASCII characters.
  explicit PolicedDrive(const platform::MediumSpec* medium, const platform::EmulatedIdentity& identity = {});
  explicit PolicedDrive(const platform::MediumSpec& medium, const platform::EmulatedIdentity& identity = {})
      : PolicedDrive(&medium, identity) {}

  std::shared_ptr<platform::ScsiDevice> device() const { return device_; }
  platform::EmulatedDrive& emulated() { return *emulated_; }
  MmcDrive Mmc(DriveList* speeds = nullptr, int number = -1) const {
    return MmcDrive(device_, speeds, number);
  }
  const TempDir& dir() const { return dir_; }
  // A file of the given bytes in the drive's test folder, for medium content.
  std::filesystem::path WriteContent(const std::string& name, const std::vector<std::uint8_t>& bytes) const;

 private:
  TempDir dir_;
  std::shared_ptr<platform::ScsiDevice> device_;
  platform::EmulatedDrive* emulated_ = nullptr;
};

platform::MediumSpec Medium(std::uint16_t profile, std::uint32_t capacity = 0);

// An image of sectors sectors whose sector 16 (and 17, when joliet) holds a
// volume descriptor ("CD001") with the volume space size of the image.
std::vector<std::uint8_t> IsoImage(std::uint32_t sectors, bool joliet = true);

// Answers from a script, by opcode: queued answers first (each once, in
// order), then the opcode's standing answer, else CHECK CONDITION 05/20/00.
class ScriptedDevice : public platform::ScsiDevice {
 public:
  struct Answer {
    std::vector<std::uint8_t> reply;  // copied into the buffer (cut to its size)
    bool fail = false;
    std::uint8_t key = 0, asc = 0, ascq = 0;
  };
  static Answer Reply(std::vector<std::uint8_t> bytes) { return {std::move(bytes)}; }
  static Answer Failure(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    return {{}, true, key, asc, ascq};
  }

  ScriptedDevice();
  void Always(std::uint8_t opcode, Answer answer);
  void Queue(std::uint8_t opcode, Answer answer);

  platform::ScsiResult exec(std::span<const std::uint8_t> cdb, platform::DataDirection direction,
                            std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override;
  const platform::DeviceIdentity& identity() const override { return identity_; }

  struct Sent {
    std::vector<std::uint8_t> cdb;
    std::vector<std::uint8_t> data;  // what an outgoing command carried
  };
  std::vector<Sent> Log() const;
  std::size_t CountOf(std::uint8_t opcode) const;

 private:
  platform::DeviceIdentity identity_;
  mutable std::mutex mutex_;
  std::map<std::uint8_t, Answer> standing_;
  std::map<std::uint8_t, std::deque<Answer>> queued_;
  std::vector<Sent> log_;
};

}  // namespace zephrel::testing
