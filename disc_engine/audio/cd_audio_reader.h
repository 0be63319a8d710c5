// Reads whole 2352-byte CD sectors through READ CD, a block of up to ten at a
// time. A block that fails is read again sector by sector, so one bad sector
// costs only itself.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/scsi.h"

namespace zephrel {

inline constexpr std::uint32_t kRipBlockSectors = 10;

struct CdReadFailure {
  std::uint32_t lba = 0;
  std::string text;  // "Read error at LBA <lba>: " and the drive's sense text
};

class CdAudioReader {
 public:
  // device must outlive the reader.
  explicit CdAudioReader(platform::ScsiDevice& device) : device_(device) {}

  // Reads count (1 to kRipBlockSectors) sectors from lba into out, which holds
  // count * 2352 bytes. Returns the sectors read in a row from lba: count, or
  // fewer with *failure naming the first sector that could not be read.
  std::uint32_t Read(std::uint32_t lba, std::uint32_t count, std::span<std::uint8_t> out,
                     CdReadFailure* failure);

 private:
  platform::ScsiResult ReadCd(std::uint32_t lba, std::uint32_t count, std::span<std::uint8_t> out);

  platform::ScsiDevice& device_;
};

}  // namespace zephrel
