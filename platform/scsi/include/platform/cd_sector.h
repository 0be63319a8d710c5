// CD sector layout: raw sectors (sync, BCD header, user data, EDC, ECC) and
// MSF addressing. The one CD sector encoder, shared by the emulated drive and
// the disc engine's raw-image writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/mmc.h"

namespace platform {

inline constexpr std::size_t kCdRawSectorSize = 2352;
inline constexpr std::size_t kCdUserDataSize = mmc::kSectorSize;
inline constexpr std::size_t kCdSyncSize = 12;
inline constexpr std::size_t kCdHeaderOffset = 12;  // minute, second, frame (BCD), mode
inline constexpr std::size_t kCdMode1UserDataOffset = 16;
inline constexpr std::size_t kCdMode1EdcOffset = 2064;
inline constexpr std::size_t kCdMode1ZeroOffset = 2068;  // 8 zero bytes before the parity
inline constexpr std::size_t kCdMode2SubheaderOffset = 16;
inline constexpr std::size_t kCdMode2Form1EdcOffset = 2072;
inline constexpr std::size_t kCdMode2Form2EdcOffset = 2348;
inline constexpr std::size_t kCdMode1PParityOffset = 2076;
inline constexpr std::size_t kCdMode1QParityOffset = 2248;
// LBA 0 is MSF 00:02:00: the first 150 sectors of the disc precede it.
inline constexpr std::int32_t kCdMsfOffset = 150;
// The last header address whose minute still fits in two BCD digits
// (99:59:74), counted in frames from 00:00:00.
inline constexpr std::int64_t kCdLastAddress = 100LL * 60 * 75 - 1;

// Two decimal digits as BCD.
std::uint8_t ToBcd(int value);

// Writes the sync pattern (00h, ten FFh, 00h) into bytes 0-11.
void WriteCdSync(std::span<std::uint8_t, kCdRawSectorSize> sector);
// Writes the header at kCdHeaderOffset: address (frames from 00:00:00, that
// is LBA + 150; 0 to kCdLastAddress) as BCD minute, second and frame, and mode.
void WriteCdHeader(std::span<std::uint8_t, kCdRawSectorSize> sector, std::int64_t address, std::uint8_t mode);

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

// Completes a raw Mode 1 sector whose user data is in place at
// kCdMode1UserDataOffset: sync, header of address (frames from 00:00:00,
// LBA + 150) with mode 1, EDC, 8 zero bytes, P and Q parity.
void CompleteCdMode1Sector(std::span<std::uint8_t, kCdRawSectorSize> sector, std::int64_t address);

// Writes the P and Q parity of the Reed-Solomon product code over bytes 12 to
// 2075 of sector (header, data and EDC as they stand) into their places.
void EncodeCdParity(std::span<std::uint8_t, kCdRawSectorSize> sector);

}  // namespace platform
