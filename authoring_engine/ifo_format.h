// Layout of the DVD-Video information files (VIDEO_TS.IFO and VTS_nn_0.IFO,
// each with an identical .BUP copy): byte offsets of the management tables'
// fields, table header sizes and the fixed values the writers use. Every table
// starts on a 2048-byte sector; every number is big-endian.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/sector.h"

namespace morvix::ifo {

inline constexpr std::size_t kSector = platform::kSectorSize;

// Fields shared by the video manager (VMGI_MAT) and title set (VTSI_MAT) tables.
inline constexpr std::size_t kIdentifier = 0;      // 12 characters
inline constexpr std::size_t kLastSector = 12;     // last sector of the whole manager / title set
inline constexpr std::size_t kIfoLastSector = 28;  // last sector of the information file
inline constexpr std::size_t kVersion = 32;        // 2 bytes
inline constexpr std::size_t kCategory = 34;       // 4 bytes
inline constexpr std::size_t kMatLastByte = 128;   // end byte address of the table
inline constexpr std::size_t kMenuVobs = 192;      // start sector of the menu VOB (0: none)
inline constexpr std::size_t kMenuVideoAttr = 256;
inline constexpr std::size_t kMenuAudioCount = 258;
inline constexpr std::size_t kMenuAudioAttr = 260;
inline constexpr std::size_t kMenuSubpCount = 340;
inline constexpr std::uint16_t kVersionValue = 0x0011;

// VMGI_MAT.
inline constexpr char kVmgIdentifier[] = "DVDVIDEO-VMG";
inline constexpr std::size_t kVmgVolumes = 38;
inline constexpr std::size_t kVmgVolumeNumber = 40;
inline constexpr std::size_t kVmgSide = 42;
inline constexpr std::size_t kVmgTitleSets = 62;
inline constexpr std::size_t kVmgFirstPlayPgc = 132;
inline constexpr std::size_t kVmgTtSrpt = 196;
inline constexpr std::size_t kVmgmPgciUt = 200;
inline constexpr std::size_t kVmgVtsAtrt = 208;
inline constexpr std::size_t kVmgmCAdt = 216;
inline constexpr std::size_t kVmgmVobuAdmap = 220;
inline constexpr std::size_t kVmgFirstPlayAt = 1024;  // the first-play chain follows the table

// VTSI_MAT.
inline constexpr char kVtsIdentifier[] = "DVDVIDEO-VTS";
inline constexpr std::size_t kVtsTitleVobs = 196;
inline constexpr std::size_t kVtsPttSrpt = 200;
inline constexpr std::size_t kVtsPgcit = 204;
inline constexpr std::size_t kVtsmPgciUt = 208;
inline constexpr std::size_t kVtsTmapt = 212;
inline constexpr std::size_t kVtsmCAdt = 216;
inline constexpr std::size_t kVtsmVobuAdmap = 220;
inline constexpr std::size_t kVtsCAdt = 224;
inline constexpr std::size_t kVtsVobuAdmap = 228;
inline constexpr std::size_t kVtsVideoAttr = 512;
inline constexpr std::size_t kVtsAudioCount = 514;
inline constexpr std::size_t kVtsAudioAttr = 516;
inline constexpr std::size_t kVtsSubpCount = 596;
inline constexpr std::size_t kAudioAttrSize = 8;
inline constexpr int kMaxAudioStreams = 8;

// The attribute block of a title set that VTS_ATRT copies (bytes 256..1023).
inline constexpr std::size_t kVtsAttributesFrom = 256;
inline constexpr std::size_t kVtsAttributesSize = 768;
inline constexpr std::size_t kVtsAtrtEntry = 8 + kVtsAttributesSize;  // end address, category, attributes

// Table header sizes and entry sizes.
inline constexpr std::size_t kTtSrptHeader = 8;
inline constexpr std::size_t kTtSrptEntry = 12;
inline constexpr std::size_t kPttSrptHeader = 12;  // count, end address, offset of title 1's table
inline constexpr std::size_t kPttEntry = 4;
inline constexpr std::size_t kPgcitHeader = 16;   // count, end address, one search pointer
inline constexpr std::size_t kPgciUtHeader = 32;  // header, one language unit, its chain table header
inline constexpr std::size_t kCAdtHeader = 8;
inline constexpr std::size_t kCAdtEntry = 12;
inline constexpr std::size_t kVobuAdmapHeader = 4;
inline constexpr std::size_t kVtsAtrtHeader = 8;

// Chain categories: entry chain bit with the title number or the menu kind.
inline constexpr std::uint32_t kTitleChainCategory = 0x81000000;  // entry chain of title 1
inline constexpr std::uint32_t kTitleMenuCategory = 0x82000000;   // the manager's title menu
inline constexpr std::uint32_t kRootMenuCategory = 0x83000000;    // a title set's root menu
inline constexpr std::uint8_t kMenuExists = 0x80;                 // language unit: the entry menu exists
inline constexpr std::uint16_t kAnyLanguage = 0xFFFF;

// Title search pointer: jump/link commands everywhere, one angle.
inline constexpr std::uint8_t kTitleType = 0x3C;

}  // namespace morvix::ifo
