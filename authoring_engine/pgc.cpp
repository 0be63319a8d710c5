#include "pgc.h"

#include <algorithm>

#include "mpeg_analysis.h"
#include "platform/byte_order.h"

namespace morvix {
namespace {

// Registers holding the constants 0..9 while auto-next is on (GPRM6 = 0 and
// GPRM2 = 1 are set by the first-play chain anyway).
constexpr std::uint32_t kConstantRegister[10] = {6, 2, 0, 7, 8, 9, 10, 13, 14, 15};
constexpr std::uint32_t kLastTitleLow = 11;   // GPRM11 = last title % 10
constexpr std::uint32_t kLastTitleHigh = 12;  // GPRM12 = last title / 10

void FirstPlay(const DiscNavigation& disc, std::vector<NavCommand>& pre) {
  pre.push_back(MakeCommand(kCmdSetGprm, 1, disc.has_main_menu ? 0 : 1));
  pre.push_back(MakeCommand(kCmdSetGprm, 2, 1));
  pre.push_back(MakeCommand(kCmdSetGprm, 3, 0));
  pre.push_back(MakeCommand(kCmdSetGprm, 4, static_cast<std::uint32_t>(disc.title_count)));
  pre.push_back(MakeCommand(kCmdSetGprm, 5, 1));
  pre.push_back(MakeCommand(kCmdSetGprm, 6, 0));
  if (disc.auto_next) {
    for (std::uint32_t value = 2; value < 10; ++value) {
      pre.push_back(MakeCommand(kCmdSetGprm, kConstantRegister[value], value));
    }
  }
  // Without a main menu there is nothing to show first: start title 1.
  pre.push_back(disc.has_main_menu ? MakeCommand(kCmdJumpVmgmPgc, 1) : MakeCommand(kCmdJumpTitle, 1));
}

// The main menu chain. Reaching its last line (E) plays the menu; with
// auto-next on, the end of title a (GPRM3 = a, GPRM5 = 1) dispatches to
// title a + 1 through a goto on a / 10 and one conditional jump per title.
void MainMenu(const DiscNavigation& disc, std::vector<NavCommand>& pre) {
  if (!disc.auto_next) {
    pre.push_back(MakeCommand(kCmdNop));
    return;
  }
  const int n = disc.title_count;
  const int blocks = n >= 2 ? (n - 1) / 10 + 1 : 0;
  const int lines = n >= 2 ? n + 2 * blocks + 7 : 8;
  const auto e = static_cast<std::uint32_t>(lines);
  pre.push_back(MakeCommand(kCmdIfGprmValueGoto, 5, 3, 0, kCmpNotEqual));
  pre.push_back(MakeCommand(kCmdIfGprmValueGoto, e, 1, 0, kCmpEqual));
  pre.push_back(MakeCommand(kCmdJumpTitle, 1));
  pre.push_back(MakeCommand(kCmdGoto, e));
  pre.push_back(MakeCommand(kCmdIfGprmValueGoto, e, 5, 1, kCmpNotEqual));
  pre.push_back(MakeCommand(kCmdIfGprmValueGoto, e, 2, 0, kCmpEqual));
  pre.push_back(MakeCommand(kCmdNop));
  if (blocks > 0) {
    // Block k holds the jumps after titles 10k .. 10k + 9 (title 0 is none).
    std::vector<std::uint32_t> block_line(static_cast<std::size_t>(blocks));
    std::uint32_t line = 7 + static_cast<std::uint32_t>(blocks) + 1 + 1;
    for (int k = 0; k < blocks; ++k) {
      block_line[static_cast<std::size_t>(k)] = line;
      const int first = std::max(1, 10 * k);
      const int last = std::min(n - 1, 10 * k + 9);
      line += static_cast<std::uint32_t>(last - first + 1) + (k + 1 < blocks ? 1 : 0);
    }
    for (int k = 0; k < blocks; ++k) {
      pre.push_back(MakeCommand(kCmdIfGprmValueGoto, block_line[static_cast<std::size_t>(k)], kLastTitleHigh,
                                static_cast<std::uint32_t>(k), kCmpEqual));
    }
    pre.push_back(MakeCommand(kCmdGoto, e));
    for (int k = 0; k < blocks; ++k) {
      const int first = std::max(1, 10 * k);
      const int last = std::min(n - 1, 10 * k + 9);
      for (int a = first; a <= last; ++a) {
        pre.push_back(MakeCommand(kCmdJumpTitleIf, static_cast<std::uint32_t>(a + 1), kLastTitleLow,
                                  kConstantRegister[a % 10], kCmpEqual));
      }
      if (k + 1 < blocks) pre.push_back(MakeCommand(kCmdGoto, e));
    }
  }
  pre.push_back(MakeCommand(kCmdNop));  // line E
}

void Title(int a, const DiscNavigation& disc, std::vector<NavCommand>& pre, std::vector<NavCommand>& post) {
  const auto title = static_cast<std::uint32_t>(a);
  // With a main menu, a menu call during the title must show the menu, not
  // dispatch; only the title's end arms the dispatch.
  pre.push_back(MakeCommand(kCmdSetGprm, 5, disc.has_main_menu ? 0 : 1));
  post.push_back(MakeCommand(kCmdSetGprm, 5, 1));
  post.push_back(MakeCommand(kCmdSetGprm, 3, title));
  if (disc.auto_next) {
    post.push_back(MakeCommand(kCmdSetGprm, kLastTitleLow, title % 10));
    post.push_back(MakeCommand(kCmdSetGprm, kLastTitleHigh, title / 10));
  }
  post.push_back(MakeCommand(kCmdCallVmgmPgc, 1));
}

}  // namespace

Status CommandProgram(int kind, int title, const DiscNavigation& disc, std::vector<NavCommand>& pre,
                      std::vector<NavCommand>& post) {
  pre.clear();
  post.clear();
  switch (kind) {
    case kChainFirstPlay:
      FirstPlay(disc, pre);
      break;
    case kChainMainMenu:
      MainMenu(disc, pre);
      break;
    case kChainTitleMenu:
      pre.push_back(MakeCommand(kCmdNop));
      break;
    case kChainTitle:
      Title(title, disc, pre, post);
      break;
    case kChainNoMenu:
      pre.push_back(MakeCommand(kCmdJumpVtsTitle, 1));
      break;
    default:
      return kErrInternalUnknownChain;
  }
  return kOk;
}

Status ReservedChainSize(int kind, int title, const DiscNavigation& disc, int cells, std::size_t& size) {
  if (cells > kMaxChainCells) return kErrInternalTooManyPrograms;
  std::vector<NavCommand> pre;
  std::vector<NavCommand> post;
  if (const Status status = CommandProgram(kind, title, disc, pre, post); status != kOk) return status;
  const auto c = static_cast<std::size_t>(std::max(0, cells));
  size = 244 + 8 * (pre.size() + post.size()) + 29 * c + (c % 2);
  return kOk;
}

Status BuildProgramChain(int kind, int title, const DiscNavigation& disc, const ChainContent& content,
                         std::vector<std::uint8_t>& out) {
  out.clear();
  const std::size_t cells = content.cells.size();
  if (cells > static_cast<std::size_t>(kMaxChainCells)) return kErrTooManyChapters;
  std::vector<NavCommand> pre;
  std::vector<NavCommand> post;
  if (const Status status = CommandProgram(kind, title, disc, pre, post); status != kOk) return status;
  const int rate = FrameRateSelector(disc.tv_system);
  const std::size_t programs = cells > 0 ? content.program_first_cells.size() : 0;
  const std::size_t commands = pre.size() + post.size();
  const std::size_t map_offset = 244 + 8 * commands;
  const std::size_t map_size = programs + (programs % 2);
  const std::size_t playback_offset = map_offset + map_size;
  const std::size_t position_offset = playback_offset + 24 * cells;
  out.assign(position_offset + 4 * cells, 0);

  out[2] = static_cast<std::uint8_t>(programs);
  out[3] = static_cast<std::uint8_t>(cells);
  // The chain's time is the sum of its cells' times as they are written (whole
  // frames each), so a player's sum of the cells equals the chain.
  long total_frames = 0;
  for (const ChainCell& cell : content.cells) {
    if (cell.length > 0) total_frames += PlaybackFrames(cell.length, rate);
  }
  if (const Status status = EncodePlaybackFrames(total_frames, rate, out.data() + 4); status != kOk) {
    return status;
  }
  if (content.has_audio_map) {
    for (std::size_t k = 0; k < content.audio_stream_numbers.size() && k < 8; ++k) {
      platform::PutBe16(&out[12 + 2 * k],
                        0x8000u | static_cast<std::uint32_t>(content.audio_stream_numbers[k] & 7) << 8);
    }
  } else {
    platform::PutBe16(&out[12], 0x8000);
  }
  if (kind == kChainMainMenu || kind == kChainTitleMenu) platform::PutBe32(&out[28], 0x80000000u);
  for (std::size_t i = 0; i < 16; ++i) {
    const std::uint32_t entry =
        content.palette
            ? (static_cast<std::uint32_t>((*content.palette)[i][0]) << 16 |
               static_cast<std::uint32_t>((*content.palette)[i][1]) << 8 | (*content.palette)[i][2])
            : 0x00108080u;
    platform::PutBe32(&out[164 + 4 * i], entry);
  }
  platform::PutBe16(&out[228], 236);
  if (cells > 0) {
    platform::PutBe16(&out[230], static_cast<std::uint32_t>(map_offset));
    platform::PutBe16(&out[232], static_cast<std::uint32_t>(playback_offset));
    platform::PutBe16(&out[234], static_cast<std::uint32_t>(position_offset));
  }
  platform::PutBe16(&out[236], static_cast<std::uint32_t>(pre.size()));
  platform::PutBe16(&out[238], static_cast<std::uint32_t>(post.size()));
  platform::PutBe16(&out[242], static_cast<std::uint32_t>(8 * commands + 7));
  std::size_t at = 244;
  for (const auto* list : {&pre, &post}) {
    for (const NavCommand& command : *list) {
      std::copy(command.begin(), command.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
      at += 8;
    }
  }
  for (std::size_t p = 0; p < programs; ++p) {
    out[map_offset + p] = static_cast<std::uint8_t>(content.program_first_cells[p]);
  }
  const std::uint32_t category =
      kind == kChainMainMenu || kind == kChainTitleMenu ? 0x0200FF00u : 0x02000000u;
  for (std::size_t c = 0; c < cells; ++c) {
    const ChainCell& cell = content.cells[c];
    const std::size_t base = playback_offset + 24 * c;
    platform::PutBe32(&out[base], category);
    const double length = cell.length > 0 ? cell.length : 0.0;
    if (const Status status = EncodePlaybackTime(length, rate, out.data() + base + 4); status != kOk) {
      return status;
    }
    platform::PutBe32(&out[base + 8], cell.first_sector);
    platform::PutBe32(&out[base + 16], cell.last_vobu_sector);
    platform::PutBe32(&out[base + 20], cell.last_sector);
    const std::size_t pos = position_offset + 4 * c;
    platform::PutBe16(&out[pos], static_cast<std::uint32_t>(cell.vob_id));
    out[pos + 3] = static_cast<std::uint8_t>(cell.cell_id);
  }
  return kOk;
}

ChainContent ChainContentOf(const MpegFile& file, const std::array<YCrCb, 16>* palette) {
  ChainContent content;
  for (const Cell& cell : file.cells()) {
    ChainCell c;
    c.first_sector = static_cast<std::uint32_t>(cell.vobus.front().first_pack);
    c.last_vobu_sector = static_cast<std::uint32_t>(cell.vobus.back().first_pack);
    c.last_sector = static_cast<std::uint32_t>(cell.vobus.back().last_pack);
    c.length = cell.length;
    c.vob_id = cell.part + 1;
    c.cell_id = cell.cell_number + 1;
    content.cells.push_back(c);
  }
  for (const Chapter& chapter : file.chapters())
    content.program_first_cells.push_back(chapter.first_cell + 1);
  content.has_audio_map = true;
  for (const AudioStreamAttributes& audio : file.audio())
    content.audio_stream_numbers.push_back(audio.stream_number());
  content.palette = palette;
  return content;
}

}  // namespace morvix
