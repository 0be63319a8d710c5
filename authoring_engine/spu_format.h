// Layout of a DVD sub-picture unit and of the packs that carry it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morvix::spu {

// Display control commands.
inline constexpr std::uint8_t kCmdForceStart = 0x00;
inline constexpr std::uint8_t kCmdSetColor = 0x03;
inline constexpr std::uint8_t kCmdSetContrast = 0x04;
inline constexpr std::uint8_t kCmdSetArea = 0x05;
inline constexpr std::uint8_t kCmdSetFieldOffsets = 0x06;
inline constexpr std::uint8_t kCmdEnd = 0xFF;

// Unit header (4 bytes) plus the one control sequence (24 bytes).
inline constexpr std::size_t kUnitOverhead = 28;

// Private stream 1 sub-stream id of sub-picture stream 0.
inline constexpr std::uint8_t kSubpictureStream0 = 0x20;

// Payload of the first pack (after a PTS and a P-STD buffer field) and of
// the later ones.
inline constexpr std::size_t kFirstPayload = 2016;
inline constexpr std::size_t kLaterPayload = 2024;

// Pack header: SCR 0, mux rate 10.08 Mbit/s, no stuffing.
inline constexpr std::uint8_t kPackHeader[14] = {0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04,
                                                 0x00, 0x04, 0x01, 0x01, 0x89, 0xC3, 0xF8};

}  // namespace morvix::spu
