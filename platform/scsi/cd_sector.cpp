#include "platform/cd_sector.h"

#include <array>
#include <cstring>

namespace platform {
namespace {

struct Tables {
  std::array<std::uint32_t, 256> edc{};
  std::array<std::uint8_t, 256> times_alpha{};       // x * alpha in GF(2^8), poly 11Dh
  std::array<std::uint8_t, 256> div_alpha_plus_1{};  // x / (alpha + 1)
  Tables() {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t crc = i;
      for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1) ? 0xD8018001u : 0u);
      edc[i] = crc;
      std::uint32_t doubled = (i << 1) ^ ((i & 0x80) ? 0x11Du : 0u);
      times_alpha[i] = static_cast<std::uint8_t>(doubled);
      div_alpha_plus_1[static_cast<std::uint8_t>(i ^ doubled)] = static_cast<std::uint8_t>(i);
    }
  }
};

const Tables& T() {
  static const Tables tables;
  return tables;
}

// One family of Reed-Solomon codewords over the 2340 bytes that follow the
// sync pattern. Each codeword takes `length` bytes, starting at a position
// given by its index, stepping `step` bytes (modulo the area), and gets two
// parity bytes: one at parity[i], one at parity[i + count].
void ComputeParity(const std::uint8_t* area, std::size_t count, std::size_t length, std::size_t start_step,
                   std::size_t step, std::uint8_t* parity) {
  const std::size_t area_size = count * length;
  const Tables& t = T();
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t index = (i >> 1) * start_step + (i & 1);
    std::uint8_t weighted = 0, sum = 0;
    for (std::size_t j = 0; j < length; ++j) {
      std::uint8_t byte = area[index];
      index += step;
      if (index >= area_size) index -= area_size;
      weighted = t.times_alpha[weighted ^ byte];
      sum ^= byte;
    }
    std::uint8_t p0 = t.div_alpha_plus_1[t.times_alpha[weighted] ^ sum];
    parity[i] = p0;
    parity[i + count] = static_cast<std::uint8_t>(p0 ^ sum);
  }
}

}  // namespace

std::uint8_t ToBcd(int value) { return static_cast<std::uint8_t>((value / 10) * 16 + value % 10); }

void WriteCdSync(std::span<std::uint8_t, kCdRawSectorSize> sector) {
  sector[0] = 0;
  std::memset(sector.data() + 1, 0xFF, 10);
  sector[11] = 0;
}

void WriteCdHeader(std::span<std::uint8_t, kCdRawSectorSize> sector, std::int64_t address,
                   std::uint8_t mode) {
  std::uint8_t* h = sector.data() + kCdHeaderOffset;
  h[0] = ToBcd(static_cast<int>(address / 4500));
  h[1] = ToBcd(static_cast<int>((address / 75) % 60));
  h[2] = ToBcd(static_cast<int>(address % 75));
  h[3] = mode;
}

Msf LbaToMsf(std::int32_t lba) {
  std::int64_t frames = static_cast<std::int64_t>(lba) + kCdMsfOffset;
  if (frames < 0) frames += 450000;  // lead-in counts down from 100:00:00
  Msf msf;
  msf.minute = static_cast<std::uint8_t>(frames / 4500);
  msf.second = static_cast<std::uint8_t>((frames / 75) % 60);
  msf.frame = static_cast<std::uint8_t>(frames % 75);
  return msf;
}

std::int32_t MsfToLba(Msf msf) {
  std::int32_t frames = msf.minute * 4500 + msf.second * 75 + msf.frame;
  if (msf.minute >= 90) frames -= 450000;
  return frames - kCdMsfOffset;
}

std::uint32_t CdEdc(std::span<const std::uint8_t> data) {
  const Tables& t = T();
  std::uint32_t crc = 0;
  for (std::uint8_t byte : data) crc = (crc >> 8) ^ t.edc[(crc ^ byte) & 0xFF];
  return crc;
}

void CompleteCdMode1Sector(std::span<std::uint8_t, kCdRawSectorSize> sector, std::int64_t address) {
  std::uint8_t* s = sector.data();
  WriteCdSync(sector);
  WriteCdHeader(sector, address, 1);
  const std::uint32_t edc = CdEdc(std::span<const std::uint8_t>(s, kCdMode1EdcOffset));
  for (int i = 0; i < 4; ++i) s[kCdMode1EdcOffset + i] = static_cast<std::uint8_t>(edc >> (8 * i));
  std::memset(s + kCdMode1ZeroOffset, 0, kCdMode1PParityOffset - kCdMode1ZeroOffset);
  EncodeCdParity(sector);
}

void EncodeMode1Sector(std::int32_t lba, std::span<const std::uint8_t, kCdUserDataSize> user_data,
                       std::span<std::uint8_t, kCdRawSectorSize> sector) {
  std::memcpy(sector.data() + kCdMode1UserDataOffset, user_data.data(), kCdUserDataSize);
  const Msf msf = LbaToMsf(lba);
  CompleteCdMode1Sector(sector, msf.minute * 4500 + msf.second * 75 + msf.frame);
}

void EncodeCdParity(std::span<std::uint8_t, kCdRawSectorSize> sector) {
  std::uint8_t* s = sector.data();
  // P: 86 codewords of 24 bytes (columns); Q: 52 codewords of 43 bytes
  // (diagonals over data and P parity).
  ComputeParity(s + 12, 86, 24, 2, 86, s + kCdMode1PParityOffset);
  ComputeParity(s + 12, 52, 43, 86, 88, s + kCdMode1QParityOffset);
}

}  // namespace platform
