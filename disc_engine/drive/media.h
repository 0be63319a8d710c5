// The medium in a drive: its media-type code and name, its total and used
// space in MB (2^20 bytes), and its identifier with the manufacturer's name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zephrel {

class MmcDrive;

// Media-type codes, from the drive's current profile. Codes 1 to 15 are the
// DVD family, 16 to 19 CD media; 20 and 21 are BD.
enum MediaType : int {
  kMediaNone = -1,
  kMediaDvdRom = 0,
  kMediaDvdRam = 1,
  kMediaDvdR = 2,
  kMediaDvdRw = 3,
  kMediaHdDvdRom = 4,
  kMediaHdDvdRam = 5,
  kMediaHdDvdR = 6,
  kMediaDvdPlusRw = 9,
  kMediaDvdPlusR = 10,
  kMediaDvdPlusRwDl = 13,
  kMediaDvdPlusRDl = 14,
  kMediaCdR = 16,
  kMediaCdRw = 17,
  kMediaCdRom = 18,
  kMediaBdRe = 20,
  kMediaBdR = 21,
};

// The code of a profile number; kMediaNone for any profile not in the table.
int MediaTypeFromProfile(std::uint16_t profile);
// "DVD+R", "Reserved" (7, 8, 11, 12, 15), "No Media" (-1), or the empty name
// (19 and codes outside -1 to 21).
std::string MediaTypeName(int code);
bool IsCdMedia(int code);  // 16 to 19

// What the medium itself says it holds, in 2048-byte sectors: on a disc
// written in sequence, the next writable address of its last track plus the
// free blocks from there (READ TRACK INFORMATION); on an overwritable one its
// formatted capacity, or the capacity it will have once formatted (READ
// FORMAT CAPACITIES, then READ CAPACITY). Nothing when the drive reports
// neither (a closed disc, a drive that does not answer).
std::optional<std::uint64_t> ReportedCapacitySectors(MmcDrive& drive, int code);

// Total capacity in MB: what the medium reports, else a figure by media-type
// code.
float GetMediaCapacityMB(MmcDrive& drive, int code);
// Used space in MB: the next writable address of the last track while the
// disc is writable, else by code.
float GetMediaUsedSpaceMB(MmcDrive& drive, int code);

struct MediaId {
  bool has_id = false;  // CD media give only the manufacturer
  std::string id;       // UTF-8
  std::string manufacturer;
};
// The media identifier and manufacturer: CD media from the ATIP ("Unknown"
// when it cannot be read or is not listed), DVD media from the recorded
// manufacturer information; empty texts when that cannot be read.
MediaId ReadMediaId(MmcDrive& drive, int code);

// The manufacturer of an ATIP lead-in start's second and frame; "Unknown".
std::string AtipManufacturer(int second, int frame);
// The manufacturer of a DVD manufacturer id (exact match); empty when not
// listed.
std::string DvdManufacturer(std::string_view key);

}  // namespace zephrel
