// DVD-Video navigation commands (8 bytes each, two big-endian words) and the
// 4-byte BCD playback time used by program chains and navigation packs.
#pragma once

#include <array>
#include <cstdint>

#include "morvix/status_codes.h"

namespace morvix {

using NavCommand = std::array<std::uint8_t, 8>;

// Command kinds with their operands a, b, c, d.
enum CommandKind : int {
  kCmdSetGprm = 1,  // GPRM a = value b
  kCmdNop = 2,
  kCmdGoto = 3,             // go to line a
  kCmdIfGprmValueGoto = 4,  // if GPRM b (compare d) value c, go to line a
  kCmdIfGprmGprmGoto = 5,   // if GPRM b (compare d) GPRM c, go to line a
  kCmdJumpTitle = 6,        // jump to title a
  kCmdJumpTitleIf = 7,      // jump to title a when register b (compare d) register c
  kCmdExit = 8,
  kCmdNop2 = 9,
  kCmdJumpVmgmPgc = 10,      // jump to the video manager's menu chain a
  kCmdCallVmgmPgc = 11,      // call the video manager's menu chain a, resume at cell 1
  kCmdJumpChapter = 12,      // jump to chapter b of title a of the current title set
  kCmdJumpVtsTitle = 13,     // jump to title a of the current title set
  kCmdJumpVtsRootMenu = 14,  // jump to the root menu of title set a, title b
};

// Compare operations.
enum CompareOp : std::uint32_t {
  kCmpAnd = 1,
  kCmpEqual = 2,
  kCmpNotEqual = 3,
  kCmpGreaterOrEqual = 4,
  kCmpGreater = 5,
  kCmpLessOrEqual = 6,
  kCmpLess = 7,
};

// Writes the command's 8 bytes to out. Returns 0, -1004 when out is null,
// -1005 for an unknown kind.
Status EncodeCommand(int kind, std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                     std::uint8_t* out);

// Convenience form for callers that know the kind is valid.
NavCommand MakeCommand(int kind, std::uint32_t a = 0, std::uint32_t b = 0, std::uint32_t c = 0,
                       std::uint32_t d = 0);

// Frame-rate selectors of a playback time.
inline constexpr int kRate25 = 1;  // PAL
inline constexpr int kRate30 = 2;  // NTSC
// The selector for a TV system (1 NTSC, 2 PAL).
inline int FrameRateSelector(int tv_system) { return tv_system == 2 ? kRate25 : kRate30; }

// Writes seconds (0 to 359999.96) as BCD hours, minutes, seconds and frames,
// with the rate flag in the top two bits of the frames byte. Returns 0, -1022
// when out is null, -1023 for seconds out of range or an unknown selector.
Status EncodePlaybackTime(double seconds, int rate_selector, std::uint8_t* out);
// The whole frames that EncodePlaybackTime writes for seconds (a fraction of
// a frame is cut off). 0 for a time out of range or an unknown selector.
long PlaybackFrames(double seconds, int rate_selector);
// Writes a count of whole frames as EncodePlaybackTime does; -1022 when out is
// null, -1023 for a count out of range or an unknown selector.
Status EncodePlaybackFrames(long frames, int rate_selector, std::uint8_t* out);

}  // namespace morvix
