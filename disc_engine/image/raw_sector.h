// Raw 2352-byte CD sectors: sync pattern, BCD header, EDC and the Reed-Solomon
// parity, for the raw (.bin) images of data discs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/cd_sector.h"

namespace zephrel {

// The layout constants are the platform's (platform/cd_sector.h).
using platform::kCdLastAddress;
using platform::kCdMsfOffset;
using platform::kCdRawSectorSize;

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
// 0 to kCdLastAddress) and what the mode adds. Returns 0, or -1 for an unknown
// mode or an address out of range (the sector then holds only the sync pattern
// in addition to what it held).
int BuildRawSector(std::span<std::uint8_t, kCdRawSectorSize> sector, int mode, std::int64_t address);

// The EDC over bytes first to last (inclusive) of sector; 0 when last < first
// or the range leaves the sector.
std::uint32_t ComputeEdc(std::span<const std::uint8_t, kCdRawSectorSize> sector, std::size_t first,
                         std::size_t last);

}  // namespace zephrel
