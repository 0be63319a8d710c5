// CD sector layout: Mode 1 raw sectors (sync, header, user data, EDC, ECC)
// and MSF addressing. Shared by the emulated drive and raw-image writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform {

inline constexpr std::size_t kCdRawSectorSize = 2352;
inline constexpr std::size_t kCdUserDataSize = 2048;
inline constexpr std::size_t kCdMode1UserDataOffset = 16;
inline constexpr std::size_t kCdMode1EdcOffset = 2064;
inline constexpr std::size_t kCdMode1PParityOffset = 2076;
inline constexpr std::size_t kCdMode1QParityOffset = 2248;
// LBA 0 is MSF 00:02:00: the first 150 sectors of the disc precede it.
inline constexpr std::int32_t kCdMsfOffset = 150;

struct Msf {
  std::uint8_t minute = 0, second = 0, frame = 0;
};

// Address of lba as MSF (lba + 150, 75 frames a second). Addresses before
// 00:00:00 wrap into the lead-in as the disc counts them (90:00:00 and up).
Msf LbaToMsf(std::int32_t lba);
// The LBA of an MSF address; minutes of 90 and above count as lead-in
// (negative LBAs).
std::int32_t MsfToLba(Msf msf);

// The EDC of a Mode 1 sector: CRC-32 with polynomial
// x^32 + x^31 + x^16 + x^15 + x^4 + x^3 + x + 1, bit-reversed, initial 0,
// over data; stored little-endian at kCdMode1EdcOffset.
std::uint32_t CdEdc(std::span<const std::uint8_t> data);

// Builds a complete raw Mode 1 sector for lba from 2048 bytes of user data:
// sync pattern, BCD header with mode 1, user data, EDC, 8 zero bytes and the
// P and Q parity of the Reed-Solomon product code.
void EncodeMode1Sector(std::int32_t lba, std::span<const std::uint8_t, kCdUserDataSize> user_data,
                       std::span<std::uint8_t, kCdRawSectorSize> sector);

// Writes the P and Q parity of the Reed-Solomon product code over bytes 12 to
// 2075 of sector (header, data and EDC as they stand) into their places.
void EncodeCdParity(std::span<std::uint8_t, kCdRawSectorSize> sector);

}  // namespace platform
