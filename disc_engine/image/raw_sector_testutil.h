// An independent check of raw Mode 1 sectors for the tests: the EDC computed
// bit by bit from its polynomial and the P and Q syndromes of the product code
// computed from the word layout, so no table or code of the writer is shared.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zephrel::testing {

// Empty when sector is a valid Mode 1 sector for logical block lba; otherwise
// what is wrong with it.
std::string CheckMode1Sector(std::span<const std::uint8_t> sector, std::int64_t lba);
// The P and Q syndromes of a sector (bytes 12 on) are all zero.
bool ParitySyndromesAreZero(std::span<const std::uint8_t> sector);
std::uint32_t BitwiseEdc(std::span<const std::uint8_t> bytes);
// The zlib CRC-32 of bytes, for known-answer vectors.
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

}  // namespace zephrel::testing
