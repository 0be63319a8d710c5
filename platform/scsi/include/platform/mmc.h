// The MMC vocabulary shared by the emulated drive and the disc engine:
// operation codes, profile numbers, feature codes, mode page codes, the sense
// triples a drive answers with, and the size of a user-data sector.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/sector.h"

namespace platform::mmc {

// Bytes of user data in a logical sector of every CD, DVD and BD medium.
inline constexpr std::size_t kSectorSize = platform::kSectorSize;

// Track-at-once on CD: between the end of one track and the start of the
// next lie the link (run-out 2, link 1 and run-in 4 sectors) and the next
// track's 150-sector pregap. The drive and the engine's space check count the
// same sectors.
inline constexpr std::uint32_t kCdTaoLinkSectors = 7;
inline constexpr std::uint32_t kCdPregapSectors = 150;
inline constexpr std::uint32_t kCdTaoTrackGap = kCdTaoLinkSectors + kCdPregapSectors;

// Write types (page 05h byte 2, bits 3-0).
inline constexpr std::uint8_t kWriteTypePacket = 0;  // incremental on DVD
inline constexpr std::uint8_t kWriteTypeTrackAtOnce = 1;
inline constexpr std::uint8_t kWriteTypeSessionAtOnce = 2;  // disc at once on DVD-R
inline constexpr std::uint8_t kWriteTypeRaw = 3;
inline constexpr std::uint8_t kWriteTypeLayerJump = 4;
// Data block types (page 05h byte 4, bits 3-0).
inline constexpr std::uint8_t kDataBlockRaw = 0;    // 2352 bytes: CD-DA
inline constexpr std::uint8_t kDataBlockMode1 = 8;  // 2048 bytes of user data
inline constexpr std::uint8_t kDataBlockMode2 = 10;
// Track modes (page 05h byte 3 and track information byte 5, bits 3-0).
inline constexpr std::uint8_t kTrackModeAudio = 0x00;
inline constexpr std::uint8_t kTrackModeData = 0x04;             // data, recorded uninterrupted
inline constexpr std::uint8_t kTrackModeDataIncremental = 0x05;  // data, recorded incrementally

enum Opcode : std::uint8_t {
  kTestUnitReady = 0x00,
  kRequestSense = 0x03,
  kFormatUnit = 0x04,
  kInquiry = 0x12,
  kModeSense6 = 0x1A,
  kStartStopUnit = 0x1B,
  kPreventAllowMediumRemoval = 0x1E,
  kReadFormatCapacities = 0x23,
  kReadCapacity = 0x25,
  kRead10 = 0x28,
  kWrite10 = 0x2A,
  kWriteAndVerify10 = 0x2E,
  kVerify10 = 0x2F,
  kSynchronizeCache = 0x35,
  kReadSubChannel = 0x42,
  kReadTocPmaAtip = 0x43,
  kGetConfiguration = 0x46,
  kGetEventStatusNotification = 0x4A,
  kReadDiscInformation = 0x51,
  kReadTrackInformation = 0x52,
  kReserveTrack = 0x53,
  kModeSelect10 = 0x55,
  kModeSense10 = 0x5A,
  kCloseTrackSession = 0x5B,
  kReadBufferCapacity = 0x5C,
  kSendCueSheet = 0x5D,
  kSynchronizeCache16 = 0x91,
  kBlank = 0xA1,
  kRead12 = 0xA8,
  kWrite12 = 0xAA,
  kGetPerformance = 0xAC,
  kReadDvdStructure = 0xAD,
  kSetStreaming = 0xB6,
  kReadCdMsf = 0xB9,
  kSetCdSpeed = 0xBB,
  kReadCd = 0xBE,
};

// Profile numbers: the kind of medium a drive reports as current.
enum Profile : std::uint16_t {
  kProfileNone = 0x00,
  kProfileCdRom = 0x08,
  kProfileCdR = 0x09,
  kProfileCdRw = 0x0A,
  kProfileDvdRom = 0x10,
  kProfileDvdR = 0x11,
  kProfileDvdRam = 0x12,
  kProfileDvdRwRestricted = 0x13,
  kProfileDvdRwSequential = 0x14,
  kProfileDvdRDlSequential = 0x15,
  kProfileDvdRDlJump = 0x16,
  kProfileDvdPlusRw = 0x1A,
  kProfileDvdPlusR = 0x1B,
  kProfileDvdPlusRwDl = 0x2A,
  kProfileDvdPlusRDl = 0x2B,
  kProfileBdRom = 0x40,
  kProfileBdRSrm = 0x41,
  kProfileBdRRrm = 0x42,
  kProfileBdRe = 0x43,
  kProfileHdDvdRom = 0x50,
  kProfileHdDvdR = 0x51,
  kProfileHdDvdRam = 0x52,
};

// Feature codes of GET CONFIGURATION.
enum Feature : std::uint16_t {
  kFeatureProfileList = 0x0000,
  kFeatureCore = 0x0001,
  kFeatureRemovableMedium = 0x0003,
  kFeatureRandomReadable = 0x0010,
  kFeatureCdRead = 0x001E,
  kFeatureDvdRead = 0x001F,
  kFeatureRandomWritable = 0x0020,
  kFeatureIncrementalStreamingWritable = 0x0021,
  kFeatureFormattable = 0x0023,
  kFeatureRestrictedOverwrite = 0x0026,
  kFeatureDvdPlusRw = 0x002A,
  kFeatureDvdPlusR = 0x002B,
  kFeatureCdTrackAtOnce = 0x002D,
  kFeatureCdMastering = 0x002E,
  kFeatureDvdMinusRWrite = 0x002F,
  kFeatureRealTimeStreaming = 0x0107,
};

// Mode page codes of MODE SENSE and MODE SELECT.
enum ModePage : std::uint8_t {
  kPageWriteParameters = 0x05,
  kPageCapabilities = 0x2A,
  kPageAll = 0x3F,
};

// Sense key, additional sense code and qualifier of a failed command.
struct SenseCode {
  std::uint8_t key = 0, asc = 0, ascq = 0;
  constexpr bool failed() const { return key != 0; }
  friend constexpr bool operator==(const SenseCode&, const SenseCode&) = default;
};

inline constexpr SenseCode kNoMediumTrayClosed{0x02, 0x3A, 0x00};
inline constexpr SenseCode kNoMediumTrayOpen{0x02, 0x3A, 0x02};
inline constexpr SenseCode kBecomingReady{0x02, 0x04, 0x01};
inline constexpr SenseCode kFormatInProgress{0x02, 0x04, 0x04};
inline constexpr SenseCode kOperationInProgress{0x02, 0x04, 0x07};
inline constexpr SenseCode kLongWriteInProgress{0x02, 0x04, 0x08};
inline constexpr SenseCode kNotFormatted{0x02, 0x30, 0x10};
inline constexpr SenseCode kWriteError{0x03, 0x0C, 0x00};
inline constexpr SenseCode kLossOfStreaming{0x03, 0x0C, 0x09};
inline constexpr SenseCode kUnrecoveredRead{0x03, 0x11, 0x00};
inline constexpr SenseCode kInvalidCommand{0x05, 0x20, 0x00};
inline constexpr SenseCode kOutOfRange{0x05, 0x21, 0x00};
inline constexpr SenseCode kInvalidWriteAddress{0x05, 0x21, 0x02};
inline constexpr SenseCode kInvalidField{0x05, 0x24, 0x00};
inline constexpr SenseCode kInvalidParameter{0x05, 0x26, 0x00};
inline constexpr SenseCode kParameterValueInvalid{0x05, 0x26, 0x02};
inline constexpr SenseCode kSequenceError{0x05, 0x2C, 0x00};
inline constexpr SenseCode kIncompatibleMedium{0x05, 0x30, 0x00};
inline constexpr SenseCode kCannotReadFormat{0x05, 0x30, 0x02};
inline constexpr SenseCode kCannotWriteFormat{0x05, 0x30, 0x05};
inline constexpr SenseCode kCannotFormat{0x05, 0x30, 0x06};
inline constexpr SenseCode kSavingNotSupported{0x05, 0x39, 0x00};
inline constexpr SenseCode kRemovalPrevented{0x05, 0x53, 0x02};
inline constexpr SenseCode kIllegalModeForTrack{0x05, 0x64, 0x00};
inline constexpr SenseCode kSessionFixationError{0x05, 0x72, 0x03};
inline constexpr SenseCode kMediumChanged{0x06, 0x28, 0x00};
inline constexpr SenseCode kWriteProtected{0x07, 0x27, 0x00};

// Additional sense code of "medium not present" (any qualifier).
inline constexpr std::uint8_t kAscMediumNotPresent = 0x3A;
// Sense key of a unit attention.
inline constexpr std::uint8_t kKeyUnitAttention = 0x06;

}  // namespace platform::mmc
