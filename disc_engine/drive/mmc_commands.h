// MMC command blocks as the engine sends them. Every block has its command's
// standard length (6, 10, 12 or 16 bytes by the opcode's group): pass-through
// drivers hand the length to the drive, and USB bridges refuse odd ones.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace zephrel::mmc {

enum Opcode : std::uint8_t {
  kTestUnitReady = 0x00,
  kInquiry = 0x12,
  kStartStopUnit = 0x1B,
  kPreventAllowMediumRemoval = 0x1E,
  kSetCdSpeed = 0xBB,
};

// A command block: the bytes and the length sent.
struct Cdb {
  std::array<std::uint8_t, 16> bytes{};
  std::size_t length = 0;

  std::span<const std::uint8_t> span() const { return {bytes.data(), length}; }
};

// Standard INQUIRY reply length that holds vendor, product and revision.
inline constexpr std::uint8_t kInquiryLength = 36;
// SET CD SPEED value for "the drive's maximum".
inline constexpr std::uint16_t kMaximumSpeed = 0xFFFF;

inline Cdb TestUnitReady() { return Cdb{{kTestUnitReady}, 6}; }

inline Cdb Inquiry(std::uint8_t allocation = kInquiryLength) {
  Cdb cdb{{kInquiry}, 6};
  cdb.bytes[4] = allocation;
  return cdb;
}

// Read and write speeds in kB/s; kMaximumSpeed asks for the drive's fastest.
inline Cdb SetCdSpeed(std::uint16_t read_kbps, std::uint16_t write_kbps) {
  Cdb cdb{{kSetCdSpeed}, 12};
  cdb.bytes[2] = static_cast<std::uint8_t>(read_kbps >> 8);
  cdb.bytes[3] = static_cast<std::uint8_t>(read_kbps);
  cdb.bytes[4] = static_cast<std::uint8_t>(write_kbps >> 8);
  cdb.bytes[5] = static_cast<std::uint8_t>(write_kbps);
  return cdb;
}

}  // namespace zephrel::mmc
