#include "nav_pack.h"

#include <gtest/gtest.h>

#include "mpeg_testutil.h"
#include "nav_commands.h"
#include "platform/byte_order.h"
#include "vob_testutil.h"

namespace morvix {
namespace {

using Bytes = std::vector<std::uint8_t>;
using platform::GetBe16;
using platform::GetBe32;

// A navigation pack whose system header lists the given stream entries
// (stream id, two buffer bytes), padded to the four entries the shape holds.
Bytes NavWithEntries(std::vector<std::array<std::uint8_t, 3>> entries) {
  Bytes p = testing::NavPack();
  const std::uint8_t fixed[6] = {0x80, 0xC4, 0xE1, 0x04, 0xE1, 0x7F};
  std::copy(fixed, fixed + 6, p.begin() + 20);
  std::size_t at = 26;
  for (const auto& e : entries) {
    std::copy(e.begin(), e.end(), p.begin() + static_cast<std::ptrdiff_t>(at));
    at += 3;
  }
  return p;
}

Bytes UsualNav() {
  return NavWithEntries({{0xB9, 0xE0, 0xE6}, {0xB8, 0xC0, 0x20}, {0xBD, 0xC0, 0x00}, {0xBF, 0xE0, 0x02}});
}

TEST(NavPackSystemHeader, BufferBoundsAreSetOnTheEntriesFoundByStreamId) {
  // The usual order: all video, all audio, private 1, private 2.
  Bytes usual =
      NavWithEntries({{0xB9, 0xE0, 0xE6}, {0xB8, 0xC0, 0x20}, {0xBD, 0xC0, 0x00}, {0xBF, 0xE0, 0x02}});
  const Bytes before = usual;
  ASSERT_EQ(FillNavPack(usual.data(), {}), kOk);
  EXPECT_EQ(Bytes(usual.begin() + 26, usual.begin() + 38),
            (Bytes{0xB9, 0xE0, 0xE8, 0xB8, 0xC0, 0x20, 0xBD, 0xE0, 0x3A, 0xBF, 0xE0, 0x02}));
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 26, usual.begin()));

  // Another order, with a single video stream entry.
  Bytes other =
      NavWithEntries({{0xBD, 0xC0, 0x00}, {0xBF, 0xE0, 0x02}, {0xE0, 0xE0, 0xE6}, {0xC0, 0xC0, 0x20}});
  ASSERT_EQ(FillNavPack(other.data(), {}), kOk);
  EXPECT_EQ(Bytes(other.begin() + 26, other.begin() + 38),
            (Bytes{0xBD, 0xE0, 0x3A, 0xBF, 0xE0, 0x02, 0xE0, 0xE0, 0xE8, 0xC0, 0xC0, 0x20}));

  // Without a private stream 1 or video entry the pack is refused untouched.
  for (auto entries : std::vector<std::vector<std::array<std::uint8_t, 3>>>{
           {{0xB9, 0xE0, 0xE6}, {0xB8, 0xC0, 0x20}, {0xC0, 0xC0, 0x20}, {0xBF, 0xE0, 0x02}},
           {{0xBD, 0xC0, 0x00}, {0xB8, 0xC0, 0x20}, {0xC0, 0xC0, 0x20}, {0xBF, 0xE0, 0x02}}}) {
    Bytes refused = NavWithEntries(entries);
    const Bytes untouched = refused;
    EXPECT_EQ(CheckNavSystemHeader(refused.data()), kErrMpegFormat);
    EXPECT_EQ(FillNavPack(refused.data(), {}), kErrMpegFormat);
    EXPECT_EQ(refused, untouched);
  }
  Bytes no_header = testing::VideoPack({1, 2, 3}, -1);
  EXPECT_EQ(CheckNavSystemHeader(no_header.data()), kErrMpegFormat);
}

TEST(NavPackClock, ScrSurvivesAWriteAndReadWithItsExtension) {
  Bytes p = testing::NavPack();
  EXPECT_EQ(ReadScr(p.data()), 0u);
  for (std::uint64_t scr : {std::uint64_t{0}, std::uint64_t{43886}, std::uint64_t{12345678901},
                            ((std::uint64_t{1} << 33) - 1) * 300 + 299}) {
    WriteScr(p.data(), scr);
    EXPECT_EQ(ReadScr(p.data()), scr);
    EXPECT_EQ(p[4] & 0xC4, 0x44);  // marker bits
    EXPECT_EQ(p[9] & 1, 1);
  }
  // 10.08 Mbit/s: one pack takes 2048 / 1,260,000 s.
  EXPECT_EQ(PackDuration(p.data()), 43886u);
}

TEST(NavPackHighlight, ColourWordsAndButtonsFollowTheSchemesAndTheButtonOrder) {
  ButtonColorSchemes schemes;
  EXPECT_EQ(ColorWord(schemes.selected), 0x4580FFF0u);
  EXPECT_EQ(ColorWord(schemes.activated), 0x4590FFF0u);

  std::vector<MenuButton> buttons = testing::FourButtons();
  buttons.resize(3);
  buttons[0].left = 0x123;
  buttons[0].right = 0x2AB;
  buttons[0].top = 0x0F1;
  buttons[0].bottom = 0x1C7;
  buttons[1].command = kButtonChapter;
  buttons[1].value = 4;
  buttons[2].command = 99;
  Highlight hl;
  hl.hli_ss = 2;
  hl.s_ptm = 48600;
  hl.buttons = &buttons;
  hl.schemes = &schemes;
  NavPackInfo info;
  info.highlight = &hl;
  Bytes p = UsualNav();
  ASSERT_EQ(FillNavPack(p.data(), info), kOk);
  const std::uint8_t* h = p.data() + nav::kHli;
  EXPECT_EQ(GetBe16(h), 2);
  EXPECT_EQ(GetBe32(h + 2), 48600u);
  EXPECT_EQ(GetBe32(h + 6), 0xFFFFFFFFu);
  EXPECT_EQ(GetBe16(h + 14), 0x1000);
  EXPECT_EQ(h[17], 3);
  EXPECT_EQ(h[18], 3);
  for (int g = 0; g < 3; ++g) {
    EXPECT_EQ(GetBe32(h + 22 + 8 * g), 0x4580FFF0u);
    EXPECT_EQ(GetBe32(h + 26 + 8 * g), 0x4590FFF0u);
  }
  const std::uint8_t* b1 = h + nav::kHliButtons;
  const std::uint8_t* b2 = b1 + nav::kBtniSize;
  const std::uint8_t* b3 = b2 + nav::kBtniSize;
  EXPECT_EQ(Bytes(b1, b1 + 6), (Bytes{0x52, 0x32, 0xAB, 0x0F, 0x11, 0xC7}));
  // Up/left wrap to the last button, down/right to the first.
  EXPECT_EQ(Bytes(b1 + 6, b1 + 10), (Bytes{3, 2, 3, 2}));
  EXPECT_EQ(Bytes(b2 + 6, b2 + 10), (Bytes{1, 3, 1, 3}));
  EXPECT_EQ(Bytes(b3 + 6, b3 + 10), (Bytes{2, 1, 2, 1}));
  const NavCommand root_menu = MakeCommand(kCmdJumpVtsRootMenu, 1, 1);
  const NavCommand chapter = MakeCommand(kCmdJumpChapter, 1, 4);
  EXPECT_TRUE(std::equal(root_menu.begin(), root_menu.end(), b1 + 10));
  EXPECT_TRUE(std::equal(chapter.begin(), chapter.end(), b2 + 10));
  EXPECT_TRUE(std::all_of(b3 + 10, b3 + 18, [](std::uint8_t v) { return v == 0; }));

  std::vector<MenuButton> too_many(nav::kMaxButtons + 1, buttons[0]);
  hl.buttons = &too_many;
  EXPECT_EQ(FillNavPack(p.data(), info), kErrInternalUnknownCommand);
}

TEST(NavPackSearch, FieldsLandAtTheirOffsetsAndHeadersStay) {
  Bytes p = UsualNav();
  std::fill(p.begin() + 44, p.begin() + 1024, 0xAA);  // stale contents are cleared
  std::fill(p.begin() + 1031, p.end(), 0xAA);
  WriteScr(p.data(), 300 * 0x12345);
  NavPackInfo info;
  info.lbn = 0x01020304;
  info.s_ptm = 1000;
  info.e_ptm = 2000;
  info.se_e_ptm = 3000;
  info.c_eltm[3] = 0x40;
  info.vobu_ea = 77;
  info.first_ref_ea = 70;
  info.vob_idn = 3;
  info.c_idn = 2;
  info.next_video = 90;
  info.next_vobu = 78;
  ASSERT_EQ(FillNavPack(p.data(), info), kOk);
  EXPECT_EQ(GetBe32(p.data() + 45), 0x01020304u);
  EXPECT_EQ(GetBe32(p.data() + 57), 1000u);
  EXPECT_EQ(GetBe32(p.data() + 61), 2000u);
  EXPECT_EQ(GetBe32(p.data() + 65), 3000u);
  EXPECT_EQ(GetBe32(p.data() + 69), 0x40u);
  EXPECT_EQ(p[1030], 0x01);
  EXPECT_EQ(GetBe32(p.data() + 1031), 0x12345u);
  EXPECT_EQ(GetBe32(p.data() + 1035), 0x01020304u);
  EXPECT_EQ(GetBe32(p.data() + 1039), 77u);
  EXPECT_EQ(GetBe32(p.data() + 1043), 70u);
  EXPECT_EQ(GetBe16(p.data() + 1055), 3);
  EXPECT_EQ(p[1058], 2);
  EXPECT_EQ(GetBe32(p.data() + 1059), 0x40u);
  EXPECT_EQ(GetBe32(p.data() + 1265), 0x80000000u | 90);
  EXPECT_EQ(GetBe32(p.data() + 1265 + 80), 78u);  // the next VOBU holds no video
  EXPECT_EQ(GetBe32(p.data() + 1265 + 4), 0x3FFFFFFFu);
  EXPECT_EQ(GetBe32(p.data() + 1265 + 164), 0xBFFFFFFFu);
  EXPECT_EQ(p[1600], 0);
  EXPECT_EQ(p[500], 0);
  const Bytes shape = testing::NavPack();
  EXPECT_TRUE(std::equal(shape.begin() + 38, shape.begin() + 44, p.begin() + 38));
  EXPECT_TRUE(std::equal(shape.begin() + 1024, shape.begin() + 1030, p.begin() + 1024));
}

}  // namespace
}  // namespace morvix
