#include "drive/drive_testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "platform/scsi_policy.h"

namespace zephrel::testing {

PolicedDrive::PolicedDrive(const platform::MediumSpec* medium, const platform::EmulatedIdentity& identity) {
  const std::filesystem::path folder = std::filesystem::path(dir_.path()) / "drive é 日本";
  std::string error;
  if (!platform::EmulatedDrive::Create(folder, identity, medium, &error)) ADD_FAILURE() << error;
  platform::ScanResult scan = platform::OpenDrives("emu:" + folder.string());
  if (scan.devices.size() != 1) {
    ADD_FAILURE() << scan.message;
    return;
  }
  auto* policy = dynamic_cast<platform::TransportPolicy*>(scan.devices[0].get());
  if (policy == nullptr) {
    ADD_FAILURE() << "the emulated drive came without the transport policy";
    return;
  }
  emulated_ = dynamic_cast<platform::EmulatedDrive*>(&policy->backend());
  device_ = std::move(scan.devices[0]);
}

std::filesystem::path PolicedDrive::WriteContent(const std::string& name,
                                                 const std::vector<std::uint8_t>& bytes) const {
  const std::filesystem::path file = std::filesystem::path(dir_.path()) / name;
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return file;
}

platform::MediumSpec Medium(std::uint16_t profile, std::uint32_t capacity) {
  platform::MediumSpec spec;
  spec.profile = profile;
  spec.capacity = capacity;
  return spec;
}

std::vector<std::uint8_t> IsoImage(std::uint32_t sectors, bool joliet) {
  std::vector<std::uint8_t> image(std::size_t(sectors) * 2048, 0);
  auto descriptor = [&](std::uint32_t sector, std::uint8_t type) {
    std::uint8_t* d = image.data() + std::size_t(sector) * 2048;
    d[0] = type;
    std::copy_n("CD001", 5, d + 1);
    d[6] = 1;
    for (int i = 0; i < 4; ++i) {
      d[80 + i] = static_cast<std::uint8_t>(sectors >> (8 * i));
      d[87 - i] = static_cast<std::uint8_t>(sectors >> (8 * i));
    }
  };
  descriptor(16, 1);
  if (joliet) descriptor(17, 2);
  return image;
}

ScriptedDevice::ScriptedDevice() { identity_.node = "scripted"; }

void ScriptedDevice::Always(std::uint8_t opcode, Answer answer) {
  std::lock_guard lock(mutex_);
  standing_[opcode] = std::move(answer);
}

void ScriptedDevice::Queue(std::uint8_t opcode, Answer answer) {
  std::lock_guard lock(mutex_);
  queued_[opcode].push_back(std::move(answer));
}

platform::ScsiResult ScriptedDevice::exec(std::span<const std::uint8_t> cdb,
                                          platform::DataDirection direction, std::span<std::uint8_t> buffer,
                                          std::chrono::milliseconds) {
  std::lock_guard lock(mutex_);
  Sent sent{{cdb.begin(), cdb.end()}, {}};
  if (direction == platform::DataDirection::kOut) sent.data.assign(buffer.begin(), buffer.end());
  log_.push_back(std::move(sent));
  Answer answer = Failure(0x05, 0x20, 0x00);
  const std::uint8_t op = cdb.empty() ? 0 : cdb[0];
  if (auto q = queued_.find(op); q != queued_.end() && !q->second.empty()) {
    answer = q->second.front();
    q->second.pop_front();
  } else if (auto s = standing_.find(op); s != standing_.end()) {
    answer = s->second;
  }
  platform::ScsiResult result;
  if (answer.fail) {
    result.status = 2;
    result.sense = {answer.key, answer.asc, answer.ascq, true};
    return result;
  }
  if (direction == platform::DataDirection::kIn) {
    const std::size_t n = std::min(answer.reply.size(), buffer.size());
    std::copy_n(answer.reply.begin(), n, buffer.begin());
    result.transferred = n;
  }
  return result;
}

std::vector<ScriptedDevice::Sent> ScriptedDevice::Log() const {
  std::lock_guard lock(mutex_);
  return log_;
}

std::size_t ScriptedDevice::CountOf(std::uint8_t opcode) const {
  std::lock_guard lock(mutex_);
  return std::size_t(
      std::count_if(log_.begin(), log_.end(), [&](const Sent& s) { return s.cdb[0] == opcode; }));
}

}  // namespace zephrel::testing
