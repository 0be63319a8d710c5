// Program chains: the fixed command programs that link the first-play chain,
// the main menu and the titles, and the byte layout of a chain as the
// information files store it.
//
// Register use: GPRM1 = 1 when the disc has no main menu; GPRM2 = 1 and
// GPRM6 = 0 (constants); GPRM3 = the title that ended last (0 = none);
// GPRM4 = title count; GPRM5 = 1 while a title's end may dispatch to the next
// title; GPRM11 and GPRM12 = that title's number modulo 10 and divided by 10;
// GPRM0, GPRM7..GPRM10 and GPRM13..GPRM15 hold the constants 2..9 when
// auto-next is on.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "morvix/status_codes.h"
#include "nav_commands.h"

namespace morvix {

class MpegFile;

enum ChainKind : int {
  kChainFirstPlay = 1,  // the video manager's first-play chain
  kChainMainMenu = 2,   // the video manager's menu chain
  kChainTitleMenu = 3,  // a title set's menu chain (the title menu)
  kChainTitle = 4,      // a title's chain
  kChainNoMenu = 7,     // a title set's menu chain for a title without a menu
};

// The disc-wide settings that shape the command programs.
struct DiscNavigation {
  int title_count = 1;  // n, 1..99
  bool has_main_menu = false;
  bool auto_next = true;  // each title is followed by the next
  int tv_system = 1;      // 1 NTSC, 2 PAL: the frame rate of playback times
};

struct ChainCell {
  std::uint32_t first_sector = 0;      // first VOBU's start
  std::uint32_t last_vobu_sector = 0;  // last VOBU's start
  std::uint32_t last_sector = 0;       // last VOBU's last pack
  double length = 0.0;                 // seconds
  int vob_id = 1;                      // part + 1
  int cell_id = 1;                     // number in its part + 1
};

using YCrCb = std::array<std::uint8_t, 3>;

struct ChainContent {
  std::vector<ChainCell> cells;
  std::vector<int> program_first_cells;  // 1-based first cell of each program
  // Physical stream number of each logical audio stream present; empty with
  // has_audio_map false means "stream 0" (chains without cells).
  bool has_audio_map = false;
  std::vector<int> audio_stream_numbers;
  const std::array<YCrCb, 16>* palette = nullptr;  // null: every entry 0x00108080
};

inline constexpr int kMaxChainCommands = 128;
inline constexpr int kMaxChainCells = 99;

// The pre and post commands of a chain kind; title is the 1-based title
// number for kind 4. Unknown kinds give -1003.
Status CommandProgram(int kind, int title, const DiscNavigation& disc, std::vector<NavCommand>& pre,
                      std::vector<NavCommand>& post);

// Builds the chain's bytes into out (replacing its contents). More than 99
// cells: -2021; playback times out of range: -1023.
Status BuildProgramChain(int kind, int title, const DiscNavigation& disc, const ChainContent& content,
                         std::vector<std::uint8_t>& out);

// The size that an information file reserves for a chain with the given cell
// count (more than 99 cells: -1006).
Status ReservedChainSize(int kind, int title, const DiscNavigation& disc, int cells, std::size_t& size);

// Cells, programs and audio map of an analysed file, for a chain. palette
// (Y Cr Cb, may be null) must outlive the result.
ChainContent ChainContentOf(const MpegFile& file, const std::array<YCrCb, 16>* palette);

}  // namespace morvix
