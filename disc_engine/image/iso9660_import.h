// Reads the directory tree of one ISO 9660 session back from its sectors, for
// an import into the project tree. The sectors come from a disc someone else
// may have written, so nothing in them is trusted: every record is bounded by
// its directory, every extent by the recorded area, and the walk is iterative
// with a depth cap and a set of the directories already read.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tree/tree_element.h"

namespace zephrel::iso9660 {

// Reads count sectors from lba into buffer (count * 2048 bytes); false when
// the read failed.
using SectorReader =
    std::function<bool(std::uint32_t lba, std::uint32_t count, std::span<std::uint8_t> buffer)>;

// Directories below the root that the walk descends into.
constexpr int kImportDepthLimit = 64;
// Sectors of one directory read at a time.
constexpr std::uint32_t kImportReadChunk = 16;
// What one import takes at most: files and folders, the bytes of one
// directory, and the bytes of all directories read (a hostile disc may
// declare millions of records).
constexpr std::size_t kImportElementLimit = 200000;
constexpr std::uint32_t kImportDirectoryByteLimit = 32u << 20;
constexpr std::uint64_t kImportTotalDirectoryByteLimit = 64u << 20;
// Volume descriptors looked at from sector 16 of the session on.
constexpr int kImportDescriptorLimit = 32;

struct SessionTree {
  // Elements in depth-first directory-record order with ids first_id + 1,
  // first_id + 2, ...; parents are kRootId or an earlier folder. Files carry
  // their extent and size, every element its recording date when valid.
  std::vector<TreeElement> elements;
  // What was left out or could not be read, one sentence each.
  std::vector<std::string> problems;
  bool found_volume = false;  // a primary or Joliet descriptor was found
  bool joliet = false;        // the Joliet hierarchy was read
};

// Reads the session that starts at session_start. recorded_end is the first
// sector past the recorded area: extents may lie anywhere below it (files of
// earlier sessions included).
SessionTree ReadSessionTree(const SectorReader& read, std::uint32_t session_start, std::uint32_t recorded_end,
                            std::int32_t first_id);

// The element name of a directory record identifier: Joliet identifiers are
// UCS-2 big-endian, others 8-bit. A file's version (";1") and then a trailing
// dot are dropped; a folder's identifier is kept as it is.
std::string ImportedName(std::span<const std::uint8_t> identifier, bool joliet, bool folder);

// Seconds since 1970 UTC of a 7-byte directory record date (years since 1900,
// month, day, hour, minute, second, offset from GMT in 15-minute steps); none
// for an impossible date.
std::optional<std::int64_t> RecordDateSeconds(std::span<const std::uint8_t, 7> date);

}  // namespace zephrel::iso9660
