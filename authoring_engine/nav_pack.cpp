#include "nav_pack.h"

#include <algorithm>

#include "mpeg_format.h"
#include "nav_commands.h"
#include "platform/byte_order.h"

namespace morvix {
namespace {

bool IsStartCode(const std::uint8_t* p, std::uint8_t code) {
  return p[0] == 0 && p[1] == 0 && p[2] == 1 && p[3] == code;
}

void PutButton(std::uint8_t* b, const MenuButton& button, int k, int n) {
  const auto clamp = [](int v, int hi) { return static_cast<std::uint32_t>(std::clamp(v, 0, hi)); };
  const std::uint32_t left = clamp(button.left, kSpuPictureWidth - 1);
  const std::uint32_t right = clamp(button.right, kSpuPictureWidth - 1);
  const std::uint32_t top = clamp(button.top, kSpuPictureHeight - 1);
  const std::uint32_t bottom = clamp(button.bottom, kSpuPictureHeight - 1);
  b[0] = static_cast<std::uint8_t>(0x40 | left >> 4);  // colour group 1
  b[1] = static_cast<std::uint8_t>((left & 15) << 4 | right >> 8);
  b[2] = static_cast<std::uint8_t>(right);
  b[3] = static_cast<std::uint8_t>(top >> 4);  // auto action off
  b[4] = static_cast<std::uint8_t>((top & 15) << 4 | bottom >> 8);
  b[5] = static_cast<std::uint8_t>(bottom);
  const auto previous = static_cast<std::uint8_t>(k == 1 ? n : k - 1);
  const auto next = static_cast<std::uint8_t>(k == n ? 1 : k + 1);
  b[6] = previous;  // up
  b[7] = next;      // down
  b[8] = previous;  // left
  b[9] = next;      // right
  const std::array<std::uint8_t, 8> command = ButtonCommand(button);
  std::copy(command.begin(), command.end(), b + 10);
}

}  // namespace

std::uint64_t ReadScr(const std::uint8_t* p) {
  const std::uint64_t base =
      (static_cast<std::uint64_t>(p[4] & 0x38) << 27) | (static_cast<std::uint64_t>(p[4] & 0x03) << 28) |
      (static_cast<std::uint64_t>(p[5]) << 20) | (static_cast<std::uint64_t>(p[6] & 0xF8) << 12) |
      (static_cast<std::uint64_t>(p[6] & 0x03) << 13) | (static_cast<std::uint64_t>(p[7]) << 5) | (p[8] >> 3);
  const std::uint64_t ext = (static_cast<std::uint64_t>(p[8] & 0x03) << 7) | (p[9] >> 1);
  return base * 300 + ext;
}

void WriteScr(std::uint8_t* p, std::uint64_t scr) {
  const std::uint64_t base = (scr / 300) & ((std::uint64_t{1} << 33) - 1);
  const std::uint64_t ext = scr % 300;
  p[4] = static_cast<std::uint8_t>(0x44 | ((base >> 27) & 0x38) | ((base >> 28) & 0x03));
  p[5] = static_cast<std::uint8_t>(base >> 20);
  p[6] = static_cast<std::uint8_t>(((base >> 12) & 0xF8) | 0x04 | ((base >> 13) & 0x03));
  p[7] = static_cast<std::uint8_t>(base >> 5);
  p[8] = static_cast<std::uint8_t>(((base << 3) & 0xF8) | 0x04 | ((ext >> 7) & 0x03));
  p[9] = static_cast<std::uint8_t>(((ext << 1) & 0xFE) | 1);
}

std::uint64_t PackDuration(const std::uint8_t* p) {
  std::uint64_t rate =
      (static_cast<std::uint64_t>(p[10]) << 14) | (static_cast<std::uint64_t>(p[11]) << 6) | (p[12] >> 2);
  if (rate == 0) rate = 25200;  // units of 50 bytes per second
  const std::uint64_t bytes_per_second = rate * 50;
  return (mpeg::kPackSize * std::uint64_t{27000000} + bytes_per_second - 1) / bytes_per_second;
}

Status FindNavSystemHeaderEntries(const std::uint8_t* pack, std::size_t& video_entry,
                                  std::size_t& private1_entry) {
  const std::uint8_t* header = pack + mpeg::kNavSystemHeaderOffset;
  if (!IsStartCode(header, mpeg::kSystemHeader)) return kErrMpegFormat;
  const std::size_t end =
      mpeg::kNavSystemHeaderOffset + 6 + (static_cast<std::size_t>(header[4]) << 8 | header[5]);
  if (end > mpeg::kNavPciOffset) return kErrMpegFormat;
  video_entry = 0;
  private1_entry = 0;
  for (std::size_t at = nav::kSystemHeaderEntries; at + 3 <= end; at += 3) {
    const std::uint8_t id = pack[at];
    if ((id & 0x80) == 0 || (pack[at + 1] & 0xC0) != 0xC0) return kErrMpegFormat;
    if ((id == mpeg::kVideoStream || id == nav::kAllVideoStreams) && video_entry == 0) video_entry = at;
    if (id == mpeg::kPrivateStream1 && private1_entry == 0) private1_entry = at;
  }
  return video_entry != 0 && private1_entry != 0 ? kOk : kErrMpegFormat;
}

std::uint32_t ColorWord(const ButtonColorScheme& s) {
  std::uint32_t word = 0;
  for (int v = 3; v >= 0; --v) word = word << 4 | (s.color[static_cast<std::size_t>(v)] & 15u);
  for (int v = 3; v >= 0; --v) word = word << 4 | (s.contrast[static_cast<std::size_t>(v)] & 15u);
  return word;
}

std::array<std::uint8_t, 8> ButtonCommand(const MenuButton& button) {
  switch (button.command) {
    case kButtonTitleSetMenu:
      return MakeCommand(kCmdJumpVtsRootMenu, button.value, 1);
    case kButtonChapter:
      return MakeCommand(kCmdJumpChapter, 1, button.value);
    case kButtonMainMenu:
      return MakeCommand(kCmdJumpVmgmPgc, 1);
    case kButtonSetTitle:
      return MakeCommand(kCmdJumpVtsTitle, button.value);
    case kButtonTitle:
      return MakeCommand(kCmdJumpTitle, button.value);
    default:
      return MakeCommand(kCmdNop);
  }
}

Status FillNavPack(std::uint8_t* p, const NavPackInfo& info) {
  std::size_t video = 0, private1 = 0;
  if (const Status s = FindNavSystemHeaderEntries(p, video, private1); s != kOk) return s;
  const Highlight* h = info.highlight;
  const int buttons = h != nullptr && h->buttons != nullptr ? static_cast<int>(h->buttons->size()) : 0;
  if (buttons > nav::kMaxButtons) return kErrInternalUnknownCommand;
  platform::PutBe16(p + video + 1, nav::kVideoBufferField);
  platform::PutBe16(p + private1 + 1, nav::kPrivate1BufferField);

  // PCI.
  std::fill(p + nav::kPciSubstream, p + nav::kPciEnd, 0);
  platform::PutBe32(p + nav::kPciLbn, info.lbn);
  platform::PutBe32(p + nav::kVobuSPtm, info.s_ptm);
  platform::PutBe32(p + nav::kVobuEPtm, info.e_ptm);
  platform::PutBe32(p + nav::kVobuSeEPtm, info.se_e_ptm);
  std::copy(info.c_eltm, info.c_eltm + 4, p + nav::kPciCEltm);
  if (buttons > 0 && h->schemes != nullptr) {
    std::uint8_t* hli = p + nav::kHli;
    platform::PutBe16(hli, static_cast<std::uint32_t>(h->hli_ss));
    platform::PutBe32(hli + 2, h->s_ptm);
    platform::PutBe32(hli + 6, 0xFFFFFFFF);   // hli_e_ptm
    platform::PutBe32(hli + 10, 0xFFFFFFFF);  // btn_se_e_ptm
    platform::PutBe16(hli + 14, 0x1000);      // one button group
    hli[16] = 0;                              // btn_ofn
    hli[17] = static_cast<std::uint8_t>(buttons);
    hli[18] = static_cast<std::uint8_t>(buttons);
    hli[20] = 0;  // no forcedly selected button
    hli[21] = 0;  // no forcedly activated button
    for (int group = 0; group < 3; ++group) {
      platform::PutBe32(hli + 22 + 8 * group, ColorWord(h->schemes->selected));
      platform::PutBe32(hli + 26 + 8 * group, ColorWord(h->schemes->activated));
    }
    for (int k = 1; k <= buttons; ++k) {
      PutButton(hli + nav::kHliButtons + nav::kBtniSize * static_cast<std::size_t>(k - 1),
                (*h->buttons)[static_cast<std::size_t>(k - 1)], k, buttons);
    }
  }

  // DSI.
  const std::uint64_t scr_base = ReadScr(p) / 300;
  std::fill(p + nav::kDsiSubstream, p + mpeg::kPackSize, 0);
  p[nav::kDsiSubstream] = 0x01;
  platform::PutBe32(p + nav::kDsiScr, static_cast<std::uint32_t>(scr_base));
  platform::PutBe32(p + nav::kDsiLbn, info.lbn);
  platform::PutBe32(p + nav::kVobuEa, info.vobu_ea);
  platform::PutBe32(p + nav::kVobu1stRefEa, info.first_ref_ea);
  platform::PutBe16(p + nav::kVobuVobIdn, info.vob_idn);
  p[nav::kVobuCIdn] = info.c_idn;
  std::copy(info.c_eltm, info.c_eltm + 4, p + nav::kDsiCEltm);
  std::uint8_t* sri = p + nav::kVobuSri;
  for (int w = 0; w < nav::kSriWords; ++w) {
    const bool video_word = w == nav::kSriNextVideo || w == nav::kSriWords - 1;
    platform::PutBe32(sri + 4 * w, video_word ? 0xBFFFFFFF : 0x3FFFFFFF);
  }
  if (info.next_video != 0) platform::PutBe32(sri + 4 * nav::kSriNextVideo, 0x80000000u | info.next_video);
  if (info.next_vobu != 0) {
    platform::PutBe32(sri + 4 * nav::kSriNextVobu,
                      (info.next_vobu_has_video ? 0x80000000u : 0u) | info.next_vobu);
  }
  return kOk;
}

}  // namespace morvix
