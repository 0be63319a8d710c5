// Lays out the file-system area of an ISO 9660 volume (with a Joliet
// hierarchy, or in the DVD-Video mode with room for a UDF bridge) from a
// snapshot of the project tree. LayOut is a pure function of its arguments: the
// same snapshot, options and clock give the same bytes.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "tree/tree_element.h"

namespace zephrel {

using LayoutClock = std::function<std::chrono::system_clock::time_point()>;

struct LayoutOptions {
  // No Joliet hierarchy, children in list order, file data in the order the
  // files were added, and a UDF area reserved after the ISO 9660 directories.
  bool dvd_video = false;
  // First sector of the session (0 for an image file); every sector number is
  // counted from the start of the disc.
  std::uint32_t session_start = 0;
  std::string volume_name;    // UTF-8
  std::string software_name;  // UTF-8; publisher and data preparer
  // Per file id: the first sector its data may start at (the data is placed at
  // the later of this and the next free sector).
  std::unordered_map<std::int32_t, std::uint32_t> min_start_sector;
  // Build time for the descriptors and for elements without a source; the
  // system clock when empty.
  LayoutClock clock;
  // Called before each phase with its status (1 to 10); returning false
  // cancels the layout.
  std::function<bool(int status)> phase;
  // The sector after the volume's last (absolute), given the sector after the
  // last file's data, for a volume that runs on past its files (padding, a
  // closing anchor); the volume descriptors record it. Empty: end_sector.
  std::function<std::uint64_t(std::uint32_t end_sector)> volume_end;
};

// One file's data in the image. The list of placements is in ascending
// extent order and is the order in which the data must be copied; sectors
// between one file's end and the next file's extent are zeros.
struct FilePlacement {
  std::int32_t id = 0;
  std::string source_path;
  std::string name;
  std::uint64_t size = 0;
  std::uint32_t extent = 0;   // absolute sector
  std::uint32_t sectors = 0;  // ceil(size / 2048)
};

// Where the layout put one folder or file.
struct ElementLayout {
  std::uint32_t iso_extent = 0;
  std::uint32_t joliet_extent = 0;
  std::uint32_t iso_directory_sectors = 0;  // folders
  std::uint32_t joliet_directory_sectors = 0;
  std::uint32_t iso_record_length = 0;
  std::uint32_t joliet_record_length = 0;
  std::string iso_identifier;          // as recorded (bytes)
  std::string joliet_identifier;       // UCS-2 big-endian bytes
  std::int32_t level = 0;              // folders: depth below the root, from 0
  std::uint32_t directory_number = 0;  // folders: number in the ISO path table
};

struct PathTableLocation {
  std::uint32_t type_l = 0;  // absolute sectors
  std::uint32_t type_m = 0;
  std::uint32_t size = 0;  // bytes of one table
};

struct IsoLayout {
  std::uint32_t session_start = 0;
  // The volume's structures: every sector from session_start up to
  // header_end_sector (exclusive), volume descriptors, path tables and
  // directories written in, the UDF area left zero.
  std::vector<std::uint8_t> header;
  std::uint32_t header_end_sector = 0;
  // Sector after the last file's data (absolute); the volume space size.
  std::uint32_t end_sector = 0;
  // Sectors of the job: end_sector - session_start.
  std::uint32_t total_sectors = 0;
  // Sector after the volume's last (absolute): end_sector unless the options
  // say otherwise; the volume descriptors record it.
  std::uint32_t volume_end = 0;
  PathTableLocation iso_path_table;
  PathTableLocation joliet_path_table;  // zero in the DVD-Video mode
  std::uint32_t iso_root_extent = 0, iso_root_sectors = 0;
  std::uint32_t joliet_root_extent = 0, joliet_root_sectors = 0;
  // DVD-Video mode: first sector and length of the area reserved for the UDF
  // bridge (files not removed + 8 sectors).
  std::uint32_t udf_area_start = 0, udf_area_sectors = 0;
  std::uint32_t directory_count = 0;  // with the root
  std::vector<FilePlacement> placements;
  std::unordered_map<std::int32_t, ElementLayout> elements;  // visible elements by id
};

struct LayoutResult {
  enum class Status { kOk, kCanceled, kError };
  Status status = Status::kOk;
  std::string error;  // kError: a message for the user
  IsoLayout layout;
  bool ok() const { return status == Status::kOk; }
};

// Lays out the visible elements of tree (not removed, every ancestor present
// and not removed). Imported files keep their extents and are not placed.
LayoutResult LayOutIso9660(const std::vector<TreeElement>& tree, const LayoutOptions& options);

}  // namespace zephrel
