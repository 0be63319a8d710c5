// The command encoder against an independent authoring tool: dvdauthor
// compiles the same commands from its own script language, and every command
// that the chains use must come out with the same 8 bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "mpeg_testutil.h"
#include "nav_commands.h"
#include "platform/byte_order.h"

namespace morvix {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The big-endian field at a byte offset of b.
std::uint32_t Be16(const Bytes& b, std::size_t at) { return platform::GetBe16(&b[at]); }
std::uint32_t Be32(const Bytes& b, std::size_t at) { return platform::GetBe32(&b[at]); }

// All pre, post and cell commands of the chain at pgc.
std::vector<NavCommand> ChainCommands(const Bytes& ifo, std::size_t pgc) {
  std::vector<NavCommand> out;
  const std::size_t table = pgc + Be16(ifo, pgc + 0xE4);
  const std::size_t count = Be16(ifo, table) + Be16(ifo, table + 2) + Be16(ifo, table + 4);
  for (std::size_t i = 0; i < count; ++i) {
    NavCommand c{};
    std::copy_n(ifo.begin() + static_cast<long>(table + 8 + 8 * i), 8, c.begin());
    out.push_back(c);
  }
  return out;
}

// The first chain of the first language unit of a PGCI_UT starting at sector.
std::size_t FirstMenuChain(const Bytes& ifo, std::size_t sector_field) {
  const std::size_t ut = Be32(ifo, sector_field) * 2048;
  const std::size_t unit = ut + Be32(ifo, ut + 12);
  return unit + Be32(ifo, unit + 12);
}

void ExpectContains(const std::vector<NavCommand>& chain, const NavCommand& command, const char* what) {
  EXPECT_NE(std::find(chain.begin(), chain.end(), command), chain.end()) << what;
}

TEST(NavCommandE2eTest, EncodingsMatchThoseOfAnIndependentAuthoringTool) {
  const auto clip = testing::MakeClip("e2e_clip.mpg", {"-f", "lavfi", "-i", "testsrc2=size=720x576:rate=25",
                                                       "-t", "1", "-target", "pal-dvd", "-aspect", "4:3"});
  ASSERT_FALSE(clip.empty());
  const auto dir = testing::ScratchDir() / "dvdauthor";
  const auto xml = testing::ScratchDir() / "commands.xml";
  std::ofstream(xml) << "<dvdauthor dest=\"" << dir.string() << "\">\n"
                     << " <vmgm>\n"
                     << "  <fpc>{ g1 = 0; g11 = 7; jump menu 1; }</fpc>\n"
                     << "  <menus><pgc entry=\"title\">\n"
                     << "   <pre>{ if (g3 != 0) goto l1; if (g11 == g2) jump title 2;"
                     << " l1: if (g1 == 0) jump titleset 1 menu; if (g5 == 1) exit; jump title 1; }</pre>\n"
                     << "   <vob file=\"" << clip.string() << "\"/>\n"
                     << "  </pgc></menus>\n"
                     << " </vmgm>\n"
                     << " <titleset>\n"
                     << "  <menus><pgc entry=\"root\">\n"
                     << "   <pre>{ if (g1 == 0) jump title 1 chapter 2; jump title 1; }</pre>\n"
                     << "   <vob file=\"" << clip.string() << "\"/>\n"
                     << "  </pgc></menus>\n"
                     << "  <titles><pgc>\n"
                     << "   <vob file=\"" << clip.string() << "\" chapters=\"0,0.5\"/>\n"
                     << "   <post>{ call vmgm menu 1; }</post>\n"
                     << "  </pgc></titles>\n"
                     << " </titleset>\n"
                     << "</dvdauthor>\n";
  ASSERT_TRUE(testing::RunQuiet({"dvdauthor", "-x", xml.string()}));
  const Bytes vmg = testing::ReadAll(dir / "VIDEO_TS" / "VIDEO_TS.IFO");
  const Bytes vts = testing::ReadAll(dir / "VIDEO_TS" / "VTS_01_0.IFO");
  ASSERT_GT(vmg.size(), 2048u);
  ASSERT_GT(vts.size(), 2048u);

  const auto first_play = ChainCommands(vmg, Be32(vmg, 0x84));
  ExpectContains(first_play, MakeCommand(kCmdSetGprm, 1, 0), "set GPRM1 = 0");
  ExpectContains(first_play, MakeCommand(kCmdSetGprm, 11, 7), "set GPRM11 = 7");
  ExpectContains(first_play, MakeCommand(kCmdJumpVmgmPgc, 1), "jump to the video manager's menu 1");

  const auto menu = ChainCommands(vmg, FirstMenuChain(vmg, 0xC8));
  ASSERT_FALSE(menu.empty());
  EXPECT_EQ(menu[0], MakeCommand(kCmdIfGprmValueGoto, 3, 3, 0, kCmpNotEqual)) << "if GPRM3 != 0 goto 3";
  ExpectContains(menu, MakeCommand(kCmdJumpTitleIf, 2, 11, 2, kCmpEqual),
                 "jump to title 2 if GPRM11 == GPRM2");
  ExpectContains(menu, MakeCommand(kCmdJumpVtsRootMenu, 1, 1), "jump to the root menu of title set 1");
  ExpectContains(menu, MakeCommand(kCmdExit), "exit");
  ExpectContains(menu, MakeCommand(kCmdJumpTitle, 1), "jump to title 1");

  const auto title_menu = ChainCommands(vts, FirstMenuChain(vts, 0xD0));
  ExpectContains(title_menu, MakeCommand(kCmdJumpChapter, 1, 2), "jump to chapter 2 of title 1");
  ExpectContains(title_menu, MakeCommand(kCmdJumpVtsTitle, 1), "jump to title 1 of the title set");

  const std::size_t pgcit = Be32(vts, 0xCC) * 2048;
  const auto title = ChainCommands(vts, pgcit + Be32(vts, pgcit + 12));
  ExpectContains(title, MakeCommand(kCmdCallVmgmPgc, 1), "call the video manager's menu 1");
}

}  // namespace
}  // namespace morvix
