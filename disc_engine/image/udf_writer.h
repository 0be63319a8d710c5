// Writes the UDF 1.02 bridge of a DVD-Video image: a root holding AUDIO_TS and
// VIDEO_TS whose file entries point at the same data as the ISO 9660
// records. The volume structures go at fixed sectors after the session start,
// the file set and its directories into the area the layout reserved at the
// partition start, and a second anchor into the last sector of the volume.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image/udf_format.h"

namespace zephrel {

struct UdfFile {
  std::string name;  // UTF-8
  std::uint64_t size = 0;
  std::uint32_t extent = 0;  // absolute sector of its data (its ISO 9660 extent)
};

struct UdfBridgeInput {
  std::uint32_t session_start = 0;
  // Absolute sectors: the partition runs from partition_start up to
  // partition_end (exclusive); the volume ends at volume_end, whose last
  // sector (volume_end - 1) takes the closing anchor. The UDF area
  // (UdfAreaBlocks sectors) starts at partition_start.
  std::uint32_t partition_start = 0;
  std::uint32_t partition_end = 0;
  std::uint32_t volume_end = 0;
  std::string volume_name;        // UTF-8
  std::int64_t build_time = 0;    // seconds since 1970, UTC
  std::vector<UdfFile> audio_ts;  // in directory order
  std::vector<UdfFile> video_ts;
};

// Blocks of the UDF area for folders holding files with these names: file set,
// its terminator, the root, both folders (each sized from its identifiers)
// and one file entry per file.
std::uint32_t UdfAreaBlocks(const std::vector<std::string>& audio_ts_names,
                            const std::vector<std::string>& video_ts_names);

// Writes the bridge. header holds the sectors from session_start on and must
// reach past the UDF area; end_anchor receives the sector for volume_end - 1.
// False with error set when the input cannot be recorded (a name too long,
// an extent before the partition, sectors that do not fit).
bool WriteUdfBridge(const UdfBridgeInput& input, std::span<std::uint8_t> header,
                    std::array<std::uint8_t, udf::kBlockSize>& end_anchor, std::string* error);

// CRC-ITU-T (polynomial 1021h, initial 0, most significant bit first).
std::uint16_t UdfCrc16(std::span<const std::uint8_t> bytes);
// The 12-byte timestamp (UTC) of a time in seconds since 1970.
std::array<std::uint8_t, udf::kTimestampSize> MakeUdfTimestamp(std::int64_t seconds,
                                                               std::int32_t microseconds);
// Fills the 16-byte tag at the start of descriptor: the CRC over crc_length
// bytes after the tag, then the checksum.
void MakeUdfDescriptorTag(std::uint16_t identifier, std::span<std::uint8_t> descriptor,
                          std::uint16_t crc_length, std::uint32_t location);

}  // namespace zephrel
