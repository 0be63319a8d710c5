// MMC command blocks as the engine sends them. Every block has its command's
// standard length (6, 10, 12 or 16 bytes by the opcode's group) and a control
// byte of 0: pass-through drivers hand the length to the drive, USB bridges
// refuse odd ones, and the transport policy refuses them before any drive.
// Multi-byte fields are big-endian; allocation and transfer lengths are the
// command's full fields.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/mmc.h"

namespace zephrel::mmc {

using namespace platform::mmc;

// A command block: the bytes and the length sent.
struct Cdb {
  std::array<std::uint8_t, 16> bytes{};
  std::size_t length = 0;

  std::span<const std::uint8_t> span() const { return {bytes.data(), length}; }
};

// Standard INQUIRY reply length that holds vendor, product and revision.
inline constexpr std::uint8_t kInquiryLength = 36;
// SET CD SPEED value for "the drive's maximum".
inline constexpr std::uint16_t kMaximumSpeed = 0xFFFF;

namespace detail {
inline void Put16(Cdb& cdb, std::size_t at, std::uint32_t value) {
  cdb.bytes[at] = static_cast<std::uint8_t>(value >> 8);
  cdb.bytes[at + 1] = static_cast<std::uint8_t>(value);
}
inline void Put24(Cdb& cdb, std::size_t at, std::uint32_t value) {
  cdb.bytes[at] = static_cast<std::uint8_t>(value >> 16);
  Put16(cdb, at + 1, value);
}
inline void Put32(Cdb& cdb, std::size_t at, std::uint32_t value) {
  cdb.bytes[at] = static_cast<std::uint8_t>(value >> 24);
  Put24(cdb, at + 1, value);
}
inline Cdb Block(Opcode opcode, std::size_t length) { return Cdb{{opcode}, length}; }
}  // namespace detail

inline Cdb TestUnitReady() { return detail::Block(kTestUnitReady, 6); }

inline Cdb RequestSense(std::uint8_t allocation = 18) {
  Cdb cdb = detail::Block(kRequestSense, 6);
  cdb.bytes[4] = allocation;
  return cdb;
}

inline Cdb Inquiry(std::uint8_t allocation = kInquiryLength) {
  Cdb cdb = detail::Block(kInquiry, 6);
  cdb.bytes[4] = allocation;
  return cdb;
}

// start with load_eject: close the tray; without start: open it. Without
// load_eject only the spindle is started or stopped.
inline Cdb StartStopUnit(bool start, bool load_eject = true, bool immed = false) {
  Cdb cdb = detail::Block(kStartStopUnit, 6);
  cdb.bytes[1] = immed ? 0x01 : 0x00;
  cdb.bytes[4] = static_cast<std::uint8_t>((load_eject ? 0x02 : 0x00) | (start ? 0x01 : 0x00));
  return cdb;
}
inline Cdb Eject() { return StartStopUnit(false); }
inline Cdb LoadMedium() { return StartStopUnit(true); }

inline Cdb PreventAllowMediumRemoval(bool prevent) {
  Cdb cdb = detail::Block(kPreventAllowMediumRemoval, 6);
  cdb.bytes[4] = prevent ? 0x01 : 0x00;
  return cdb;
}

// FORMAT UNIT with a parameter list (FmtData) of format code 1.
inline Cdb FormatUnit() {
  Cdb cdb = detail::Block(kFormatUnit, 6);
  cdb.bytes[1] = 0x11;
  return cdb;
}

// The 12-byte FORMAT UNIT parameter list: a header with FOV (and IMMED when
// asked) and descriptor length 8, then one format descriptor of `blocks` and
// the format byte (format type in bits 7-2, sub-type in 1-0) with its 24-bit
// type-dependent parameter.
inline std::array<std::uint8_t, 12> FormatParameterList(std::uint32_t blocks, std::uint8_t format_byte,
                                                        std::uint32_t parameter = 0, bool immed = false) {
  return {0x00,
          static_cast<std::uint8_t>(0x80 | (immed ? 0x02 : 0x00)),
          0x00,
          0x08,
          static_cast<std::uint8_t>(blocks >> 24),
          static_cast<std::uint8_t>(blocks >> 16),
          static_cast<std::uint8_t>(blocks >> 8),
          static_cast<std::uint8_t>(blocks),
          format_byte,
          static_cast<std::uint8_t>(parameter >> 16),
          static_cast<std::uint8_t>(parameter >> 8),
          static_cast<std::uint8_t>(parameter)};
}

inline Cdb ReadFormatCapacities(std::uint16_t allocation = 252) {
  Cdb cdb = detail::Block(kReadFormatCapacities, 10);
  detail::Put16(cdb, 7, allocation);
  return cdb;
}

// READ CAPACITY: an 8-byte reply of the last recorded LBA and the block size.
inline Cdb ReadCapacity() { return detail::Block(kReadCapacity, 10); }

inline Cdb Read10(std::uint32_t lba, std::uint16_t count) {
  Cdb cdb = detail::Block(kRead10, 10);
  detail::Put32(cdb, 2, lba);
  detail::Put16(cdb, 7, count);
  return cdb;
}

inline Cdb Write10(std::uint32_t lba, std::uint16_t count) {
  Cdb cdb = detail::Block(kWrite10, 10);
  detail::Put32(cdb, 2, lba);
  detail::Put16(cdb, 7, count);
  return cdb;
}

inline Cdb SynchronizeCache(bool immed = false) {
  Cdb cdb = detail::Block(kSynchronizeCache, 10);
  cdb.bytes[1] = immed ? 0x02 : 0x00;
  return cdb;
}

// READ TOC/PMA/ATIP formats.
enum TocFormat : std::uint8_t {
  kTocFormatToc = 0x00,
  kTocFormatSessionInfo = 0x01,
  kTocFormatFullToc = 0x02,
  kTocFormatPma = 0x03,
  kTocFormatAtip = 0x04,
  kTocFormatCdText = 0x05,
};

inline Cdb ReadTocPmaAtip(TocFormat format, bool msf, std::uint8_t track_or_session,
                          std::uint16_t allocation) {
  Cdb cdb = detail::Block(kReadTocPmaAtip, 10);
  cdb.bytes[1] = msf ? 0x02 : 0x00;
  cdb.bytes[2] = format & 0x0F;
  cdb.bytes[6] = track_or_session;
  detail::Put16(cdb, 7, allocation);
  return cdb;
}

// GET CONFIGURATION request types.
enum ConfigurationRequest : std::uint8_t {
  kAllFeatures = 0x00,
  kCurrentFeatures = 0x01,
  kOneFeature = 0x02,
};

inline Cdb GetConfiguration(ConfigurationRequest request, std::uint16_t starting_feature,
                            std::uint16_t allocation) {
  Cdb cdb = detail::Block(kGetConfiguration, 10);
  cdb.bytes[1] = request & 0x03;
  detail::Put16(cdb, 2, starting_feature);
  detail::Put16(cdb, 7, allocation);
  return cdb;
}

// Event classes of GET EVENT STATUS NOTIFICATION (polled).
inline constexpr std::uint8_t kEventClassMedia = 0x10;

inline Cdb GetEventStatusNotification(std::uint8_t class_request, std::uint16_t allocation) {
  Cdb cdb = detail::Block(kGetEventStatusNotification, 10);
  cdb.bytes[1] = 0x01;  // polled
  cdb.bytes[4] = class_request;
  detail::Put16(cdb, 7, allocation);
  return cdb;
}

inline Cdb ReadDiscInformation(std::uint16_t allocation = 34) {
  Cdb cdb = detail::Block(kReadDiscInformation, 10);
  detail::Put16(cdb, 7, allocation);
  return cdb;
}

// READ TRACK INFORMATION address types.
enum TrackAddress : std::uint8_t {
  kTrackByLba = 0x00,
  kTrackByNumber = 0x01,
  kTrackBySession = 0x02,
};

// Track number 0xFF is the invisible (open) track of an appendable disc.
inline Cdb ReadTrackInformation(TrackAddress type, std::uint32_t number, std::uint16_t allocation = 48) {
  Cdb cdb = detail::Block(kReadTrackInformation, 10);
  cdb.bytes[1] = type & 0x03;
  detail::Put32(cdb, 2, number);
  detail::Put16(cdb, 7, allocation);
  return cdb;
}

// RESERVE TRACK of a size in sectors.
inline Cdb ReserveTrack(std::uint32_t sectors) {
  Cdb cdb = detail::Block(kReserveTrack, 10);
  detail::Put32(cdb, 5, sectors);
  return cdb;
}

// MODE SELECT(10) with PF (page format) of a parameter list length.
inline Cdb ModeSelect10(std::uint16_t parameter_length) {
  Cdb cdb = detail::Block(kModeSelect10, 10);
  cdb.bytes[1] = 0x10;
  detail::Put16(cdb, 7, parameter_length);
  return cdb;
}

// Page control of MODE SENSE.
enum PageControl : std::uint8_t { kCurrentValues = 0, kChangeableValues = 1, kDefaultValues = 2 };

inline Cdb ModeSense10(ModePage page, std::uint16_t allocation, PageControl control = kCurrentValues) {
  Cdb cdb = detail::Block(kModeSense10, 10);
  cdb.bytes[2] = static_cast<std::uint8_t>((control & 0x03) << 6 | (page & 0x3F));
  detail::Put16(cdb, 7, allocation);
  return cdb;
}

// CLOSE TRACK/SESSION functions (bits 2-0 of byte 2).
enum CloseFunction : std::uint8_t {
  kCloseTrack = 0x01,
  kCloseSession = 0x02,
  kCloseFinalizeDvdRw = 0x03,  // also: stop a DVD+RW background format
  kCloseFinalizeDvdPlusR = 0x05,
  kCloseFinalizeCompatible = 0x06,
};

inline Cdb CloseTrackSession(std::uint8_t function, std::uint16_t track, bool immed = false) {
  Cdb cdb = detail::Block(kCloseTrackSession, 10);
  cdb.bytes[1] = immed ? 0x01 : 0x00;
  cdb.bytes[2] = function & 0x07;
  detail::Put16(cdb, 4, track);
  return cdb;
}

inline Cdb SendCueSheet(std::uint32_t bytes) {
  Cdb cdb = detail::Block(kSendCueSheet, 10);
  detail::Put24(cdb, 6, bytes);
  return cdb;
}

inline Cdb ReadBufferCapacity(std::uint16_t allocation = 12) {
  Cdb cdb = detail::Block(kReadBufferCapacity, 10);
  detail::Put16(cdb, 7, allocation);
  return cdb;
}

// BLANK: byte 1 is the erase mode as given (blank type in bits 2-0, IMMED
// 10h).
inline Cdb Blank(std::uint8_t erase_mode, std::uint32_t start = 0) {
  Cdb cdb = detail::Block(kBlank, 12);
  cdb.bytes[1] = erase_mode;
  detail::Put32(cdb, 2, start);
  return cdb;
}

// READ CD main-channel selection (byte 9).
inline constexpr std::uint8_t kReadCdWholeSector = 0xF8;  // sync, headers, user data, EDC/ECC
inline constexpr std::uint8_t kReadCdUserData = 0x10;

// READ CD of count sectors, any sector type, no sub-channel.
inline Cdb ReadCd(std::uint32_t lba, std::uint32_t count, std::uint8_t selection = kReadCdWholeSector,
                  std::uint8_t expected_type = 0) {
  Cdb cdb = detail::Block(kReadCd, 12);
  cdb.bytes[1] = static_cast<std::uint8_t>((expected_type & 0x07) << 2);
  detail::Put32(cdb, 2, lba);
  detail::Put24(cdb, 6, count);
  cdb.bytes[9] = selection;
  return cdb;
}

// Read and write speeds in kB/s; kMaximumSpeed asks for the drive's fastest.
inline Cdb SetCdSpeed(std::uint16_t read_kbps, std::uint16_t write_kbps) {
  Cdb cdb = detail::Block(kSetCdSpeed, 12);
  detail::Put16(cdb, 2, read_kbps);
  detail::Put16(cdb, 4, write_kbps);
  return cdb;
}

// GET PERFORMANCE of the drive's write speed descriptors (type 03h) for the
// medium it holds: an 8-byte header, then up to `count` descriptors of 16
// bytes.
inline constexpr std::uint8_t kPerformanceWriteSpeed = 0x03;
inline Cdb GetPerformanceWriteSpeeds(std::uint16_t count) {
  Cdb cdb = detail::Block(kGetPerformance, 12);
  detail::Put16(cdb, 8, count);
  cdb.bytes[10] = kPerformanceWriteSpeed;
  return cdb;
}

// READ DVD STRUCTURE formats.
enum DvdStructure : std::uint8_t {
  kStructurePhysical = 0x00,
  kStructurePreRecorded = 0x0E,  // DVD-R/-RW pre-recorded information
  kStructureAdip = 0x11,         // DVD+R/+RW ADIP information
};

// Media type 0 (DVD and HD DVD), as every DVD drive expects.
inline Cdb ReadDvdStructure(DvdStructure format, std::uint16_t allocation, std::uint8_t layer = 0,
                            std::uint32_t address = 0) {
  Cdb cdb = detail::Block(kReadDvdStructure, 12);
  detail::Put32(cdb, 2, address);
  cdb.bytes[6] = layer;
  cdb.bytes[7] = format;
  detail::Put16(cdb, 8, allocation);
  return cdb;
}

}  // namespace zephrel::mmc
