// On-disc layout of the ISO 9660 (ECMA-119) volume and its Joliet supplementary
// hierarchy: sector numbers, field offsets of the volume descriptors, directory
// records and path table records, and the helpers that store multi-byte values.
// Offsets are byte positions inside their structure.
#pragma once

#include <cstddef>
#include <cstdint>
#include "platform/byte_order.h"
#include "platform/mmc.h"

namespace zephrel::iso9660 {

constexpr std::uint32_t kSectorSize = platform::mmc::kSectorSize;

// Sectors relative to the start of a session.
constexpr std::uint32_t kPrimaryDescriptorSector = 16;
constexpr std::uint32_t kJolietDescriptorSector = 17;
// First sector after the fixed area: after the terminator at 18 (19), or in the
// DVD-Video mode after the UDF descriptors and anchor that occupy 18-256 (257).
constexpr std::uint32_t kFirstFreeSector = 19;
constexpr std::uint32_t kFirstFreeSectorDvdVideo = 257;

// Volume descriptor types.
constexpr std::uint8_t kTypePrimary = 1;
constexpr std::uint8_t kTypeSupplementary = 2;
constexpr std::uint8_t kTypeTerminator = 255;
constexpr char kStandardIdentifier[] = "CD001";

// Volume descriptor fields (primary and supplementary alike).
namespace vd {
constexpr std::size_t kType = 0;        // 1 byte
constexpr std::size_t kStandardId = 1;  // "CD001"
constexpr std::size_t kVersion = 6;     // 1
constexpr std::size_t kSystemId = 8;    // 32 bytes
constexpr std::size_t kSystemIdLength = 32;
constexpr std::size_t kVolumeId = 40;  // 32 bytes
constexpr std::size_t kVolumeIdLength = 32;
constexpr std::size_t kVolumeSpaceSize = 80;        // both-endian 32
constexpr std::size_t kEscapeSequences = 88;        // supplementary only, 32 bytes
constexpr std::size_t kVolumeSetSize = 120;         // both-endian 16
constexpr std::size_t kVolumeSequenceNumber = 124;  // both-endian 16
constexpr std::size_t kLogicalBlockSize = 128;      // both-endian 16
constexpr std::size_t kPathTableSize = 132;         // both-endian 32
constexpr std::size_t kTypeLPathTable = 140;        // little-endian 32
constexpr std::size_t kOptionalTypeLPathTable = 144;
constexpr std::size_t kTypeMPathTable = 148;  // big-endian 32
constexpr std::size_t kOptionalTypeMPathTable = 152;
constexpr std::size_t kRootDirectoryRecord = 156;  // 34 bytes
constexpr std::size_t kPublisherId = 318;          // 128 bytes
constexpr std::size_t kDataPreparerId = 446;       // 128 bytes
constexpr std::size_t kLongIdLength = 128;
constexpr std::size_t kCreationDate = 813;  // 17 bytes: 16 digits + GMT offset
constexpr std::size_t kModificationDate = 830;
constexpr std::size_t kFileStructureVersion = 881;  // must be 1
}  // namespace vd

// Joliet escape sequence "%/E": UCS-2 level 3.
constexpr std::uint8_t kJolietEscape[3] = {0x25, 0x2F, 0x45};

// Directory record (ECMA-119 9.1).
namespace dr {
constexpr std::size_t kLength = 0;  // whole record, always even
constexpr std::size_t kExtAttrLength = 1;
constexpr std::size_t kExtent = 2;          // both-endian 32
constexpr std::size_t kDataLength = 10;     // both-endian 32
constexpr std::size_t kRecordingDate = 18;  // 7 bytes
constexpr std::size_t kFlags = 25;
constexpr std::size_t kVolumeSequenceNumber = 28;  // both-endian 16
constexpr std::size_t kIdentifierLength = 32;
constexpr std::size_t kIdentifier = 33;
constexpr std::size_t kFixedPart = 33;
constexpr std::size_t kDotRecordLength = 34;  // "." and ".." records
constexpr std::uint8_t kFlagDirectory = 2;
}  // namespace dr

// Path table record (ECMA-119 9.4). Type L tables hold the numbers
// little-endian, type M tables big-endian.
namespace ptr {
constexpr std::size_t kIdentifierLength = 0;
constexpr std::size_t kExtAttrLength = 1;
constexpr std::size_t kExtent = 2;        // 32
constexpr std::size_t kParentNumber = 6;  // 16
constexpr std::size_t kIdentifier = 8;
constexpr std::size_t kFixedPart = 8;
constexpr std::size_t kRootRecordLength = 10;
}  // namespace ptr

// Path table parent numbers are 16-bit: the root (1) and every directory must
// be numbered within this limit.
constexpr std::uint32_t kMaxDirectories = 65535;

// Identifier limits in characters.
constexpr std::size_t kIsoNameLimit = 31;
constexpr std::size_t kJolietNameLimit = 64;

// A file's data length is one 32-bit extent: 4 GiB and more cannot be held.
constexpr std::uint64_t kMaxFileSize = 0xFFFFFFFFull;

inline std::uint32_t SectorsForBytes(std::uint64_t n) {
  return static_cast<std::uint32_t>((n + kSectorSize - 1) / kSectorSize);
}

using platform::PutBe16;
using platform::PutBe32;
using platform::PutLe16;
using platform::PutLe32;

// Both-endian fields: the little-endian value followed by the big-endian one.
inline void PutBoth16(std::uint8_t* p, std::uint16_t v) {
  PutLe16(p, v);
  PutBe16(p + 2, v);
}
inline void PutBoth32(std::uint8_t* p, std::uint32_t v) {
  PutLe32(p, v);
  PutBe32(p + 4, v);
}

}  // namespace zephrel::iso9660
