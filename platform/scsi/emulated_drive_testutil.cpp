#include "emulated_drive_testutil.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace platform::testing {

std::string SenseText(const ScsiResult& r) {
  if (r.ok()) return "ok";
  if (r.transport != ScsiResult::Transport::kOk) return "transport: " + r.transport_message;
  char text[16];
  std::snprintf(text, sizeof text, "%02X/%02X/%02X", r.sense.key, r.sense.asc, r.sense.ascq);
  return text;
}

EmulatedDriveHarness::EmulatedDriveHarness(const MediumSpec* medium, const EmulatedIdentity& identity) {
  std::string error;
  if (!EmulatedDrive::Create(folder_.path() / "drive", identity, medium, &error)) ADD_FAILURE() << error;
  Reopen();
}

void EmulatedDriveHarness::Reopen() {
  drive_.reset();
  std::string error;
  drive_ = EmulatedDrive::Open(folder_.path() / "drive", &error);
  if (!drive_) ADD_FAILURE() << error;
}

ScsiResult EmulatedDriveHarness::None(std::vector<std::uint8_t> cdb) {
  return drive_->exec(cdb, DataDirection::kNone, {}, std::chrono::milliseconds(1000));
}

ScsiResult EmulatedDriveHarness::In(std::vector<std::uint8_t> cdb, std::vector<std::uint8_t>* data,
                                    std::size_t size) {
  data->assign(size, 0xEE);
  ScsiResult r = drive_->exec(cdb, DataDirection::kIn, *data, std::chrono::milliseconds(1000));
  data->resize(r.transferred);
  return r;
}

ScsiResult EmulatedDriveHarness::Out(std::vector<std::uint8_t> cdb, std::vector<std::uint8_t> data) {
  return drive_->exec(cdb, DataDirection::kOut, data, std::chrono::milliseconds(1000));
}

std::vector<std::uint8_t> EmulatedDriveHarness::DiscInformation() {
  std::vector<std::uint8_t> d;
  ScsiResult r = In({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, &d, 34);
  EXPECT_TRUE(r.ok()) << SenseText(r);
  d.resize(34, 0);
  return d;
}

std::vector<std::uint8_t> EmulatedDriveHarness::TrackInformation(std::uint32_t track) {
  std::vector<std::uint8_t> d;
  ScsiResult r = In({0x52, 0x01, std::uint8_t(track >> 24), std::uint8_t(track >> 16),
                     std::uint8_t(track >> 8), std::uint8_t(track), 0, 0, 48, 0},
                    &d, 48);
  EXPECT_TRUE(r.ok()) << "track " << track << ": " << SenseText(r);
  d.resize(48, 0);
  return d;
}

std::uint32_t EmulatedDriveHarness::NextWritable(std::uint32_t track) {
  return Be32(TrackInformation(track), 12);
}

ScsiResult EmulatedDriveHarness::SetWriteParameters(std::uint8_t write_type, bool multisession,
                                                    bool test_write, std::uint8_t block_type, bool bufe) {
  std::vector<std::uint8_t> p(60, 0);
  p[8] = 0x05;
  p[9] = 0x32;
  p[10] = std::uint8_t(write_type | (test_write ? 0x10 : 0) | (bufe ? 0x40 : 0));
  p[11] = std::uint8_t((multisession ? 0xC0 : 0) | (block_type == 0 ? 0x00 : 0x04));
  p[12] = block_type;
  p[23] = 150;
  return Out({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, p);
}

ScsiResult EmulatedDriveHarness::Write(std::uint32_t lba, std::uint32_t count,
                                       const std::vector<std::uint8_t>& data, std::size_t block,
                                       std::size_t offset) {
  std::vector<std::uint8_t> chunk(data.begin() + std::ptrdiff_t(offset),
                                  data.begin() + std::ptrdiff_t(offset + count * block));
  return Out({0x2A, 0, std::uint8_t(lba >> 24), std::uint8_t(lba >> 16), std::uint8_t(lba >> 8),
              std::uint8_t(lba), 0, std::uint8_t(count >> 8), std::uint8_t(count), 0},
             chunk);
}

ScsiResult EmulatedDriveHarness::Read(std::uint32_t lba, std::uint32_t count,
                                      std::vector<std::uint8_t>* data) {
  return In({0x28, 0, std::uint8_t(lba >> 24), std::uint8_t(lba >> 16), std::uint8_t(lba >> 8),
             std::uint8_t(lba), 0, std::uint8_t(count >> 8), std::uint8_t(count), 0},
            data, std::size_t(count) * 2048);
}

ScsiResult EmulatedDriveHarness::Close(int function, std::uint16_t track, bool immed) {
  return None({0x5B, std::uint8_t(immed ? 1 : 0), std::uint8_t(function), 0, std::uint8_t(track >> 8),
               std::uint8_t(track), 0, 0, 0, 0});
}

ScsiResult EmulatedDriveHarness::Reserve(std::uint32_t size) {
  return None({0x53, 0, 0, 0, 0, std::uint8_t(size >> 24), std::uint8_t(size >> 16), std::uint8_t(size >> 8),
               std::uint8_t(size), 0});
}

ScsiResult EmulatedDriveHarness::Sync(bool immed) {
  return None({0x35, std::uint8_t(immed ? 2 : 0), 0, 0, 0, 0, 0, 0, 0, 0});
}

MediumSpec Medium(std::uint16_t profile, std::uint32_t capacity) {
  MediumSpec spec;
  spec.profile = profile;
  spec.capacity = capacity;
  return spec;
}

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> d(size);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& b : d) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    b = std::uint8_t(x);
  }
  return d;
}

std::uint32_t Be32(const std::vector<std::uint8_t>& d, std::size_t at) {
  return std::uint32_t(d[at]) << 24 | std::uint32_t(d[at + 1]) << 16 | std::uint32_t(d[at + 2]) << 8 |
         d[at + 3];
}
std::uint32_t Be16(const std::vector<std::uint8_t>& d, std::size_t at) {
  return std::uint32_t(d[at]) << 8 | d[at + 1];
}

}  // namespace platform::testing
