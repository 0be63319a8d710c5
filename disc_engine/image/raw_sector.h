// Raw 2352-byte CD sectors: sync pattern, BCD header, EDC and the Reed-Solomon
// parity, for the raw (.bin) images of data discs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zephrel {

inline constexpr std::size_t kRawSectorSize = 2352;
inline constexpr std::size_t kUserSectorSize = 2048;
// The header of logical block 0 reads 00:02:00.
inline constexpr std::int32_t kRawAddressOffset = 150;
// The last address whose minute still fits in two BCD digits (99:59:74).
inline constexpr std::int64_t kLastRawAddress = 100LL * 60 * 75 - 1;

enum RawSectorMode : int {
  kRawMode0 = 0,       // header with mode 0, everything else zero
  kRawMode1 = 1,       // 2048 bytes of data at 16, EDC, P and Q parity
  kRawMode2 = 2,       // formless: 2336 bytes at 16, header only
  kRawMode2Form1 = 3,  // subheader at 16, 2048 bytes at 24, EDC, parity
  kRawMode2Form2 = 4,  // subheader at 16, 2324 bytes at 24, EDC at 2348
};

// Completes a raw sector whose user data the caller has placed (at 16 for
// modes 1 and 2, subheader at 16 and data at 24 for the Mode 2 forms):
// writes the sync pattern, the header for address (logical block + 150,
// 0 to kLastRawAddress) and what the mode adds. Returns 0, or -1 for an unknown
// mode or an address out of range (the sector then holds only the sync pattern
// in addition to what it held).
int BuildRawSector(std::span<std::uint8_t, kRawSectorSize> sector, int mode, std::int64_t address);

// The EDC over bytes first to last (inclusive) of sector; 0 when last < first
// or the range leaves the sector.
std::uint32_t ComputeEdc(std::span<const std::uint8_t, kRawSectorSize> sector, std::size_t first,
                         std::size_t last);

}  // namespace zephrel
