// Layout constants of a DVD-ready MPEG-2 program stream: 2048-byte packs, the
// stream ids that DVD-Video allows and the fixed shape of a navigation pack.
#pragma once

#include <cstdint>

#include "platform/sector.h"

namespace morvix::mpeg {

inline constexpr std::uint32_t kPackSize = platform::kSectorSize;
inline constexpr std::uint32_t kPackHeaderSize = 14;  // MPEG-2 pack header without stuffing

// Start codes (the byte after 00 00 01).
inline constexpr std::uint8_t kPackStartCode = 0xBA;
inline constexpr std::uint8_t kSystemHeader = 0xBB;
inline constexpr std::uint8_t kProgramEnd = 0xB9;
inline constexpr std::uint8_t kPrivateStream1 = 0xBD;
inline constexpr std::uint8_t kPaddingStream = 0xBE;
inline constexpr std::uint8_t kPrivateStream2 = 0xBF;
inline constexpr std::uint8_t kVideoStream = 0xE0;
inline constexpr std::uint8_t kMpegAudioFirst = 0xC0;  // 0xC0..0xC7 DVD MPEG audio
inline constexpr std::uint8_t kMpegAudioLast = 0xC7;

// Video elementary stream start codes.
inline constexpr std::uint8_t kPictureStartCode = 0x00;
inline constexpr std::uint8_t kSequenceHeaderCode = 0xB3;
inline constexpr std::uint8_t kExtensionStartCode = 0xB5;
inline constexpr std::uint8_t kPictureCodingExtensionId = 8;

// Private stream 1 sub-stream ids.
inline constexpr std::uint8_t kSubpictureFirst = 0x20;
inline constexpr std::uint8_t kSubpictureLast = 0x3F;
inline constexpr std::uint8_t kAc3First = 0x80;
inline constexpr std::uint8_t kAc3Last = 0x87;
inline constexpr std::uint8_t kLpcmFirst = 0xA0;
inline constexpr std::uint8_t kLpcmLast = 0xA7;

// Navigation pack: system header right after the pack header, the PCI packet
// (private stream 2) at byte 38 and the DSI packet at byte 1024.
inline constexpr std::uint32_t kNavSystemHeaderOffset = 14;
inline constexpr std::uint32_t kNavPciOffset = 38;
inline constexpr std::uint32_t kNavDsiOffset = 1024;
inline constexpr std::uint16_t kNavPciLength = 0x03D4;  // 980 bytes after the 6-byte header
inline constexpr std::uint16_t kNavDsiLength = 0x03FA;  // 1018 bytes

// 90 kHz ticks per frame.
inline constexpr std::int64_t kTicksPerSecond = 90000;
inline constexpr std::int64_t kPalFrameTicks = 3600;
inline constexpr std::int64_t kNtscFrameTicks = 3003;

}  // namespace morvix::mpeg
