#include "pgc.h"

#include <gtest/gtest.h>

#include <string>

#include "mpeg_analysis.h"
#include "mpeg_testutil.h"
#include "platform/byte_order.h"

namespace morvix {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The big-endian field at a byte offset of b.
std::uint32_t Be16(const Bytes& b, std::size_t at) { return platform::GetBe16(&b[at]); }
std::uint32_t Be32(const Bytes& b, std::size_t at) { return platform::GetBe32(&b[at]); }

DiscNavigation Disc(int titles, bool menu, bool auto_next, int tv_system = 2) {
  DiscNavigation d;
  d.title_count = titles;
  d.has_main_menu = menu;
  d.auto_next = auto_next;
  d.tv_system = tv_system;
  return d;
}

std::vector<NavCommand> Pre(int kind, const DiscNavigation& disc, int title = 1) {
  std::vector<NavCommand> pre, post;
  EXPECT_EQ(CommandProgram(kind, title, disc, pre, post), kOk);
  return pre;
}

std::vector<NavCommand> Post(int kind, const DiscNavigation& disc, int title = 1) {
  std::vector<NavCommand> pre, post;
  EXPECT_EQ(CommandProgram(kind, title, disc, pre, post), kOk);
  return post;
}

NavCommand Cmd(std::initializer_list<int> bytes) {
  NavCommand c{};
  int i = 0;
  for (int b : bytes) c[static_cast<std::size_t>(i++)] = static_cast<std::uint8_t>(b);
  return c;
}

// ---------------------------------------------------------------------------
// A small player for the command forms the chains use, written from the
// DVD-Video command set: it runs a command list and reports where play goes.
struct Outcome {
  enum Kind { kFellThrough, kJumpTitle, kJumpVmgmMenu, kCallVmgmMenu } kind = kFellThrough;
  int target = 0;
  bool operator==(const Outcome& o) const { return kind == o.kind && target == o.target; }
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  return os << "outcome " << o.kind << " target " << o.target;
}

struct Player {
  std::uint16_t gprm[16] = {};

  bool Compare(int op, std::uint16_t x, std::uint16_t y) const {
    switch (op) {
      case 1:
        return (x & y) != 0;
      case 2:
        return x == y;
      case 3:
        return x != y;
      case 4:
        return x >= y;
      case 5:
        return x > y;
      case 6:
        return x <= y;
      case 7:
        return x < y;
      default:
        return true;
    }
  }

  // Runs lines 1..size; returns the outcome. Fails the test on unknown forms,
  // on jumps past the last line and on loops.
  Outcome Run(const std::vector<NavCommand>& lines) {
    std::size_t pc = 0;
    for (int steps = 0; pc < lines.size(); ++steps) {
      if (steps > 1000) {
        ADD_FAILURE() << "command loop";
        return {};
      }
      const NavCommand& c = lines[pc];
      const int type = c[0] >> 5;
      const int op = (c[1] >> 4) & 7;
      const bool immediate = (c[1] & 0x80) != 0;
      std::size_t next = pc + 1;
      if (type == 0) {  // goto / nop, compare register (byte 3) with byte 4-5
        const std::uint16_t y = immediate ? static_cast<std::uint16_t>(c[4] << 8 | c[5]) : gprm[c[5] & 15];
        const bool cond = op == 0 || Compare(op, gprm[c[3] & 15], y);
        if ((c[1] & 15) == 1 && cond) {
          const int line = c[6] << 8 | c[7];
          if (line < 1 || static_cast<std::size_t>(line) > lines.size()) {
            ADD_FAILURE() << "goto past the chain: " << line;
            return {};
          }
          next = static_cast<std::size_t>(line - 1);
        } else if ((c[1] & 15) != 0 && (c[1] & 15) != 1) {
          ADD_FAILURE() << "unknown special command at line " << pc + 1;
        }
      } else if (type == 1) {  // jumps; compare register (byte 6) with register (byte 7)
        EXPECT_FALSE(immediate) << "jump commands compare registers only, line " << pc + 1;
        const bool cond = op == 0 || Compare(op, gprm[c[6] & 15], gprm[c[7] & 15]);
        if (cond) {
          switch (c[1] & 15) {
            case 2:
              return {Outcome::kJumpTitle, c[5]};
            case 6:
              return {Outcome::kJumpVmgmMenu, c[3]};
            case 8:
              return {Outcome::kCallVmgmMenu, c[3]};
            default:
              ADD_FAILURE() << "unknown jump at line " << pc + 1;
              return {};
          }
        }
      } else if (type == 3) {  // set GPRM (byte 3) op= immediate (bytes 4-5)
        EXPECT_TRUE(c[0] & 0x10) << "only immediate sets are used";
        EXPECT_EQ(c[0] & 15, 1) << "only moves are used";
        gprm[c[3] & 15] = static_cast<std::uint16_t>(c[4] << 8 | c[5]);
      } else {
        ADD_FAILURE() << "unexpected command type " << type;
      }
      pc = next;
    }
    return {};
  }
};

// Plays a disc's navigation: first play, then titles as the chains send play.
struct DiscRun {
  DiscNavigation disc;
  Player player;

  Outcome FirstPlay() { return player.Run(Pre(kChainFirstPlay, disc)); }
  Outcome MainMenu() { return player.Run(Pre(kChainMainMenu, disc)); }
  void StartTitle(int a) { player.Run(Pre(kChainTitle, disc, a)); }
  Outcome EndTitle(int a) { return player.Run(Post(kChainTitle, disc, a)); }
};

// ------------------------------------------------------------ command programs

TEST(ProgramChainTest, FirstPlaySetsTheRegistersAndEntersTheMainMenu) {
  const auto pre = Pre(kChainFirstPlay, Disc(5, true, false));
  ASSERT_EQ(pre.size(), 7u);
  EXPECT_EQ(pre[0], Cmd({0x71, 0, 0, 1, 0, 0, 0, 0}));  // GPRM1 = 0: a main menu exists
  EXPECT_EQ(pre[1], Cmd({0x71, 0, 0, 2, 0, 1, 0, 0}));
  EXPECT_EQ(pre[2], Cmd({0x71, 0, 0, 3, 0, 0, 0, 0}));
  EXPECT_EQ(pre[3], Cmd({0x71, 0, 0, 4, 0, 5, 0, 0}));
  EXPECT_EQ(pre[4], Cmd({0x71, 0, 0, 5, 0, 1, 0, 0}));
  EXPECT_EQ(pre[5], Cmd({0x71, 0, 0, 6, 0, 0, 0, 0}));
  EXPECT_EQ(pre[6], Cmd({0x30, 0x06, 0x00, 0x01, 0x00, 0xC0, 0x00, 0x00}));
  // With auto-next the constants 2..9 are loaded before the jump.
  EXPECT_EQ(Pre(kChainFirstPlay, Disc(5, true, true)).size(), 15u);
}

TEST(ProgramChainTest, WithoutAMainMenuFirstPlayStartsTitleOneWhateverAutoNext) {
  for (bool auto_next : {false, true}) {
    SCOPED_TRACE(auto_next);
    const auto pre = Pre(kChainFirstPlay, Disc(3, false, auto_next));
    EXPECT_EQ(pre[0], Cmd({0x71, 0, 0, 1, 0, 1, 0, 0}));  // GPRM1 = 1: no main menu
    EXPECT_EQ(pre.back(), Cmd({0x30, 0x02, 0, 0, 0, 1, 0, 0}));
    DiscRun run{Disc(3, false, auto_next), {}};
    EXPECT_EQ(run.FirstPlay(), (Outcome{Outcome::kJumpTitle, 1}));
  }
}

TEST(ProgramChainTest, MainMenuWithoutAutoNextIsASingleNoOperationLine) {
  for (bool menu : {false, true}) {
    const auto pre = Pre(kChainMainMenu, Disc(99, menu, false));
    ASSERT_EQ(pre.size(), 1u);
    EXPECT_EQ(pre[0], NavCommand{});
  }
}

TEST(ProgramChainTest, MainMenuHeadLinesAndDispatchLayoutWithThreeTitles) {
  const auto pre = Pre(kChainMainMenu, Disc(3, true, true));
  // 7 head lines, 1 block goto, 1 goto E, 2 jumps, line E.
  ASSERT_EQ(pre.size(), 12u);
  const int e = 12;
  EXPECT_EQ(pre[0], Cmd({0x00, 0xB1, 0, 3, 0, 0, 0, 5}));
  EXPECT_EQ(pre[1], Cmd({0x00, 0xA1, 0, 1, 0, 0, 0, e}));
  EXPECT_EQ(pre[2], Cmd({0x30, 0x02, 0, 0, 0, 1, 0, 0}));
  EXPECT_EQ(pre[3], Cmd({0x00, 0x01, 0, 0, 0, 0, 0, e}));
  EXPECT_EQ(pre[4], Cmd({0x00, 0xB1, 0, 5, 0, 1, 0, e}));
  EXPECT_EQ(pre[5], Cmd({0x00, 0xA1, 0, 2, 0, 0, 0, e}));
  EXPECT_EQ(pre[6], NavCommand{});
  EXPECT_EQ(pre[7], Cmd({0x00, 0xA1, 0, 12, 0, 0, 0, 10}));  // GPRM12 == 0: block at line 10
  EXPECT_EQ(pre[8], Cmd({0x00, 0x01, 0, 0, 0, 0, 0, e}));
  // Jump to title 2 when GPRM11 equals GPRM2 (1); to title 3 when it equals GPRM0 (2).
  EXPECT_EQ(pre[9], Cmd({0x30, 0x22, 0, 0, 0, 2, 11, 2}));
  EXPECT_EQ(pre[10], Cmd({0x30, 0x22, 0, 0, 0, 3, 11, 0}));
  EXPECT_EQ(pre[11], NavCommand{});
}

TEST(ProgramChainTest, MainMenuStaysWithinTheCommandLimitForNinetyNineTitles) {
  for (int n : {1, 2, 10, 11, 12, 59, 60, 61, 98, 99}) {
    SCOPED_TRACE(n);
    const auto pre = Pre(kChainMainMenu, Disc(n, true, true));
    const int blocks = n >= 2 ? (n - 1) / 10 + 1 : 0;
    EXPECT_EQ(static_cast<int>(pre.size()), n >= 2 ? n + 2 * blocks + 7 : 8);
    EXPECT_LE(pre.size(), static_cast<std::size_t>(kMaxChainCommands));
    EXPECT_EQ(pre.back(), NavCommand{});  // line E is a real no-operation line
  }
}

TEST(ProgramChainTest, AutoNextPlaysEveryTitleInTurnThenTheMenu) {
  for (int n : {1, 2, 3, 10, 11, 12, 21, 99}) {
    for (bool menu : {true, false}) {
      SCOPED_TRACE("titles " + std::to_string(n) + (menu ? " with menu" : " without menu"));
      DiscRun run{Disc(n, menu, true), {}};
      Outcome first = run.FirstPlay();
      if (menu) {
        ASSERT_EQ(first, (Outcome{Outcome::kJumpVmgmMenu, 1}));
        EXPECT_EQ(run.MainMenu(), Outcome{});  // reaches line E: the menu plays
      } else {
        ASSERT_EQ(first, (Outcome{Outcome::kJumpTitle, 1}));
      }
      for (int a = 1; a <= n; ++a) {
        run.StartTitle(a);
        ASSERT_EQ(run.EndTitle(a), (Outcome{Outcome::kCallVmgmMenu, 1}));
        const Outcome next = run.MainMenu();
        if (a < n) {
          ASSERT_EQ(next, (Outcome{Outcome::kJumpTitle, a + 1})) << "after title " << a;
        } else {
          EXPECT_EQ(next, Outcome{});
        }
      }
    }
  }
}

TEST(ProgramChainTest, TitleKeyDuringATitleShowsTheMainMenu) {
  DiscRun run{Disc(4, true, true), {}};
  run.FirstPlay();
  run.StartTitle(1);
  run.EndTitle(1);
  ASSERT_EQ(run.MainMenu(), (Outcome{Outcome::kJumpTitle, 2}));
  run.StartTitle(2);
  // The menu key during title 2 enters the main menu chain: it must play the menu.
  EXPECT_EQ(run.MainMenu(), Outcome{});
  // Without a main menu the pre-command keeps the dispatch armed.
  EXPECT_EQ(Pre(kChainTitle, Disc(4, false, true), 2)[0], Cmd({0x71, 0, 0, 5, 0, 1, 0, 0}));
  EXPECT_EQ(Pre(kChainTitle, Disc(4, true, true), 2)[0], Cmd({0x71, 0, 0, 5, 0, 0, 0, 0}));
}

TEST(ProgramChainTest, WithoutAutoNextEveryTitleReturnsToTheMenu) {
  DiscRun run{Disc(3, true, false), {}};
  run.FirstPlay();
  EXPECT_EQ(run.MainMenu(), Outcome{});
  run.StartTitle(2);
  const auto post = Post(kChainTitle, Disc(3, true, false), 2);
  ASSERT_EQ(post.size(), 3u);
  EXPECT_EQ(post[0], Cmd({0x71, 0, 0, 5, 0, 1, 0, 0}));
  EXPECT_EQ(post[1], Cmd({0x71, 0, 0, 3, 0, 2, 0, 0}));
  EXPECT_EQ(post[2], Cmd({0x30, 0x08, 0x00, 0x01, 0x01, 0xC0, 0x00, 0x00}));
  EXPECT_EQ(run.EndTitle(2), (Outcome{Outcome::kCallVmgmMenu, 1}));
  EXPECT_EQ(run.MainMenu(), Outcome{});
}

TEST(ProgramChainTest, MenuChainsOfTitleSets) {
  ASSERT_EQ(Pre(kChainTitleMenu, Disc(2, true, true)).size(), 1u);
  EXPECT_EQ(Pre(kChainTitleMenu, Disc(2, true, true))[0], NavCommand{});
  const auto none = Pre(kChainNoMenu, Disc(2, true, true));
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0], Cmd({0x30, 0x03, 0, 0, 0, 1, 0, 0}));
  std::vector<NavCommand> pre, post;
  EXPECT_EQ(CommandProgram(5, 1, Disc(1, true, true), pre, post), kErrInternalUnknownChain);
}

// ------------------------------------------------------------------- layout

ChainContent ThreeCells() {
  ChainContent c;
  c.cells = {{0, 10, 19, 10.5, 1, 1}, {20, 30, 39, 20.25, 1, 2}, {40, 45, 59, 5.0, 2, 1}};
  c.program_first_cells = {1, 2, 3};
  c.has_audio_map = true;
  c.audio_stream_numbers = {0, 1};
  return c;
}

TEST(ProgramChainTest, TitleChainLayout) {
  const DiscNavigation disc = Disc(2, true, true, 2);
  Bytes b;
  ASSERT_EQ(BuildProgramChain(kChainTitle, 1, disc, ThreeCells(), b), kOk);
  const std::size_t commands = 1 + 5;
  const std::size_t map = 244 + 8 * commands;
  ASSERT_EQ(b.size(), map + 4 + 28 * 3);  // three programs padded to four bytes
  EXPECT_EQ(b[2], 3);
  EXPECT_EQ(b[3], 3);
  EXPECT_EQ(Be32(b, 4), 0x00003558u);  // 35.75 s: 00:00:35 and 18 frames at 25 fps
  EXPECT_EQ(b[7], 0x40 | 0x18);
  EXPECT_EQ(Be16(b, 12), 0x8000u);
  EXPECT_EQ(Be16(b, 14), 0x8100u);
  EXPECT_EQ(Be32(b, 28), 0u);
  EXPECT_EQ(Be32(b, 164), 0x00108080u);
  EXPECT_EQ(Be32(b, 164 + 60), 0x00108080u);
  EXPECT_EQ(Be16(b, 228), 236u);
  EXPECT_EQ(Be16(b, 230), map);
  EXPECT_EQ(Be16(b, 232), map + 4);
  EXPECT_EQ(Be16(b, 234), map + 4 + 72);
  EXPECT_EQ(Be16(b, 236), 1u);
  EXPECT_EQ(Be16(b, 238), 5u);
  EXPECT_EQ(Be16(b, 240), 0u);
  EXPECT_EQ(Be16(b, 242), 8 * commands + 7);
  EXPECT_EQ(Bytes(b.begin() + 244, b.begin() + 252), (Bytes{0x71, 0, 0, 5, 0, 0, 0, 0}));
  EXPECT_EQ(Bytes(b.begin() + static_cast<long>(map), b.begin() + static_cast<long>(map) + 4),
            (Bytes{1, 2, 3, 0}));
  const std::size_t cell2 = map + 4 + 24;
  EXPECT_EQ(Be32(b, cell2), 0x02000000u);
  EXPECT_EQ(Be32(b, cell2 + 4), 0x00002046u);  // 20.25 s: 6 frames at 25 fps
  EXPECT_EQ(Be32(b, cell2 + 8), 20u);
  EXPECT_EQ(Be32(b, cell2 + 12), 0u);
  EXPECT_EQ(Be32(b, cell2 + 16), 30u);
  EXPECT_EQ(Be32(b, cell2 + 20), 39u);
  const std::size_t pos = map + 4 + 72;
  EXPECT_EQ(Bytes(b.begin() + static_cast<long>(pos), b.end()), (Bytes{0, 1, 0, 1, 0, 1, 0, 2, 0, 2, 0, 1}));
  std::size_t reserved = 0;
  ASSERT_EQ(ReservedChainSize(kChainTitle, 1, disc, 3, reserved), kOk);
  EXPECT_EQ(reserved, 244 + 8 * commands + 29 * 3 + 1);
  EXPECT_GE(reserved, b.size());
}

TEST(ProgramChainTest, NtscTimesCarryTheThirtyFrameFlag) {
  Bytes b;
  ASSERT_EQ(BuildProgramChain(kChainTitle, 1, Disc(1, false, false, 1), ThreeCells(), b), kOk);
  EXPECT_EQ(b[7], 0xC0 | 0x22);  // 0.75 s at 30 fps = 22 frames
}

TEST(ProgramChainTest, TheChainTimeIsTheSumOfItsCellsInWholeFrames) {
  // Nine chapters of 19.99 s: each cell is 19 s and 24 frames at 25 fps, so
  // the chain is 9 x 499 frames = 179 s and 16 frames (not the 179.91 s of
  // the unrounded sum, 179 s and 22 frames).
  ChainContent c;
  for (int i = 0; i < 9; ++i) {
    const std::uint32_t first = static_cast<std::uint32_t>(100 * i);
    c.cells.push_back({first, first + 50, first + 99, 19.99, 1, i + 1});
    c.program_first_cells.push_back(i + 1);
  }
  Bytes pal;
  ASSERT_EQ(BuildProgramChain(kChainTitle, 1, Disc(1, false, false, 2), c, pal), kOk);
  EXPECT_EQ(Be32(pal, 4), 0x00025900u | (0x40 | 0x16)) << "00:02:59, 16 frames";
  Bytes ntsc;
  ASSERT_EQ(BuildProgramChain(kChainTitle, 1, Disc(1, false, false, 1), c, ntsc), kOk);
  // 19.99 s at 30 fps: 19 s and 29 frames, 599 frames a cell; 5391 = 179 s 21 frames.
  EXPECT_EQ(Be32(ntsc, 4), 0x00025900u | (0xC0 | 0x21));
}

TEST(ProgramChainTest, MenuChainWithPaletteAndStillCells) {
  std::array<YCrCb, 16> palette{};
  for (std::size_t i = 0; i < 16; ++i)
    palette[i] = {static_cast<std::uint8_t>(i), 0x80, static_cast<std::uint8_t>(0x10 + i)};
  ChainContent c;
  c.cells = {{0, 0, 99, 3.0, 1, 1}};
  c.program_first_cells = {1};
  c.palette = &palette;
  Bytes b;
  ASSERT_EQ(BuildProgramChain(kChainTitleMenu, 0, Disc(1, true, true), c, b), kOk);
  EXPECT_EQ(b.size(), 244u + 8 + 2 + 28);  // one program padded to two bytes
  EXPECT_EQ(Be32(b, 28), 0x80000000u);
  EXPECT_EQ(Be16(b, 12), 0x8000u);  // no audio map: stream 0
  EXPECT_EQ(Be32(b, 164 + 4 * 5), 0x00058015u);
  EXPECT_EQ(Be32(b, 244 + 8 + 2), 0x0200FF00u);
  std::size_t reserved = 0;
  ASSERT_EQ(ReservedChainSize(kChainTitleMenu, 0, Disc(1, true, true), 1, reserved), kOk);
  EXPECT_EQ(reserved, 244u + 8 + 29 + 1);
}

TEST(ProgramChainTest, ChainsWithoutCellsHaveNoTables) {
  Bytes b;
  ASSERT_EQ(BuildProgramChain(kChainFirstPlay, 0, Disc(2, false, false), {}, b), kOk);
  EXPECT_EQ(b.size(), 244u + 8 * 7);
  EXPECT_EQ(b[2], 0);
  EXPECT_EQ(b[3], 0);
  EXPECT_EQ(Be16(b, 230), 0u);
  EXPECT_EQ(Be16(b, 232), 0u);
  EXPECT_EQ(Be16(b, 234), 0u);
  EXPECT_EQ(Be32(b, 4), 0x00000040u);
  ASSERT_EQ(BuildProgramChain(kChainMainMenu, 0, Disc(2, false, false), {}, b), kOk);
  EXPECT_EQ(b.size(), 244u + 8);
  EXPECT_EQ(Be32(b, 28), 0x80000000u);
}

TEST(ProgramChainTest, TooManyCellsAndBadKindsAreRefused) {
  ChainContent c;
  c.cells.resize(100);
  c.program_first_cells = {1};
  Bytes b;
  EXPECT_EQ(BuildProgramChain(kChainTitle, 1, Disc(1, true, true), c, b), kErrTooManyChapters);
  c.cells.resize(99);
  EXPECT_EQ(BuildProgramChain(kChainTitle, 1, Disc(1, true, true), c, b), kOk);
  std::size_t size = 0;
  EXPECT_EQ(ReservedChainSize(kChainTitle, 1, Disc(1, true, true), 100, size), kErrInternalTooManyPrograms);
  EXPECT_EQ(BuildProgramChain(6, 1, Disc(1, true, true), {}, b), kErrInternalUnknownChain);
  c.cells.resize(1);
  c.cells[0].length = 400000.0;
  EXPECT_EQ(BuildProgramChain(kChainTitle, 1, Disc(1, true, true), c, b), kErrInternalPlaytimeRange);
}

TEST(ProgramChainTest, AnalysedMovieGivesCellsProgramsAndAudioControl) {
  const auto clip = testing::MakeClip(
      "pgc_two_audio.mpg", {"-f",      "lavfi",   "-i",      "testsrc2=size=720x576:rate=25",
                            "-f",      "lavfi",   "-i",      "sine=sample_rate=48000",
                            "-f",      "lavfi",   "-i",      "sine=frequency=880:sample_rate=48000",
                            "-map",    "0",       "-map",    "1",
                            "-map",    "2",       "-t",      "2",
                            "-target", "pal-dvd", "-aspect", "16:9"});
  ASSERT_FALSE(clip.empty());
  MpegFile file(clip);
  ErrorContext ctx;
  AnalysisRequest request;
  request.chapter_count = 2;
  request.chapter_starts = {0.0, 0.7};
  ASSERT_EQ(file.Analyse(request, ctx), kOk);
  const ChainContent content = ChainContentOf(file, nullptr);
  ASSERT_EQ(content.cells.size(), 2u);
  EXPECT_EQ(content.program_first_cells, (std::vector<int>{1, 2}));
  EXPECT_EQ(content.audio_stream_numbers, (std::vector<int>{0, 1}));
  EXPECT_EQ(content.cells[1].first_sector, static_cast<std::uint32_t>(file.cells()[1].vobus[0].first_pack));
  EXPECT_EQ(content.cells[1].last_sector, static_cast<std::uint32_t>(file.cells()[1].vobus.back().last_pack));
  Bytes b;
  ASSERT_EQ(BuildProgramChain(kChainTitle, 1, Disc(1, false, true, file.video().tv_system), content, b), kOk);
  EXPECT_EQ(Be16(b, 12), 0x8000u);
  EXPECT_EQ(Be16(b, 14), 0x8100u);
  EXPECT_EQ(b[7] & 0xC0, 0x40);
  // The chain's time is the clip's length: 50 frames at 25 fps.
  EXPECT_EQ(Be32(b, 4), 0x00000240u);
}

}  // namespace
}  // namespace morvix
