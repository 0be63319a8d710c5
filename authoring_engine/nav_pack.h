// Navigation packs: the first pack of every VOBU, carrying the presentation
// control information (PCI, with the menu highlight and its buttons) and the
// data search information (DSI). The input stream already holds a pack of
// this shape at the start of each VOBU; FillNavPack rewrites its contents in
// place.
#pragma once

#include <cstdint>
#include <vector>

#include "morvix/status_codes.h"
#include "subpicture_encoder.h"

namespace morvix {

namespace nav {
// Offsets from the start of the pack.
inline constexpr std::size_t kSystemHeaderEntries = 26;  // first stream entry of the system header
inline constexpr std::size_t kPciSubstream = 44;
inline constexpr std::size_t kPciLbn = 45;
inline constexpr std::size_t kVobuSPtm = 57;
inline constexpr std::size_t kVobuEPtm = 61;
inline constexpr std::size_t kVobuSeEPtm = 65;
inline constexpr std::size_t kPciCEltm = 69;
inline constexpr std::size_t kHli = 141;
inline constexpr std::size_t kHliSize = 694;
inline constexpr std::size_t kHliButtons = 46;  // first BTNI, from the start of the HLI
inline constexpr std::size_t kBtniSize = 18;
inline constexpr int kMaxButtons = 36;
inline constexpr std::size_t kPciEnd = 1024;
inline constexpr std::size_t kDsiSubstream = 1030;
inline constexpr std::size_t kDsiScr = 1031;
inline constexpr std::size_t kDsiLbn = 1035;
inline constexpr std::size_t kVobuEa = 1039;
inline constexpr std::size_t kVobu1stRefEa = 1043;
inline constexpr std::size_t kVobuVobIdn = 1055;
inline constexpr std::size_t kVobuCIdn = 1058;
inline constexpr std::size_t kDsiCEltm = 1059;
inline constexpr std::size_t kVobuSri = 1265;
inline constexpr int kSriWords = 42;
inline constexpr int kSriNextVideo = 0;
inline constexpr int kSriNextVobu = 20;

// System header entries the writer sets: the video buffer bound and the
// private stream 1 buffer bound (sub-pictures need room).
inline constexpr std::uint8_t kAllVideoStreams = 0xB9;
inline constexpr std::uint16_t kVideoBufferField = 0xE0E8;     // scale 1024, 232 KiB
inline constexpr std::uint16_t kPrivate1BufferField = 0xE03A;  // scale 1024, 58 KiB
}  // namespace nav

// Pack header clock: SCR in 27 MHz units (base * 300 + extension).
std::uint64_t ReadScr(const std::uint8_t* pack);
void WriteScr(std::uint8_t* pack, std::uint64_t scr);
// Time one pack takes at the pack header's mux rate, in 27 MHz units
// (10.08 Mbit/s when the header gives none).
std::uint64_t PackDuration(const std::uint8_t* pack);

// Finds the system header entries of the video stream (0xE0, or 0xB9 for all
// video streams) and of private stream 1 (0xBD) in a navigation-shaped pack.
// Returns 0 with their offsets, or -4011 when the pack holds no system header
// or either entry is missing. The analysis refuses such input; the VOB writer
// checks again.
Status FindNavSystemHeaderEntries(const std::uint8_t* pack, std::size_t& video_entry,
                                  std::size_t& private1_entry);
inline Status CheckNavSystemHeader(const std::uint8_t* pack) {
  std::size_t video = 0, private1 = 0;
  return FindNavSystemHeaderEntries(pack, video, private1);
}

// The highlight of a menu's VOBU.
struct Highlight {
  int hli_ss = 1;  // 1 in the cell's first VOBU, 2 in the later ones
  std::uint32_t s_ptm = 0;
  const std::vector<MenuButton>* buttons = nullptr;
  const ButtonColorSchemes* schemes = nullptr;
};

// What FillNavPack writes.
struct NavPackInfo {
  std::uint32_t lbn = 0;  // the pack's sector, counted through the title set's parts
  std::uint32_t s_ptm = 0;
  std::uint32_t e_ptm = 0;
  std::uint32_t se_e_ptm = 0;
  std::uint8_t c_eltm[4] = {};  // BCD playback time with the rate flag
  std::uint32_t vobu_ea = 0;    // last pack, relative to this one
  std::uint32_t first_ref_ea = 0;
  std::uint16_t vob_idn = 1;
  std::uint8_t c_idn = 1;
  // Relative sector distances within the cell; 0 = none.
  std::uint32_t next_video = 0;
  std::uint32_t next_vobu = 0;
  bool next_vobu_has_video = false;
  const Highlight* highlight = nullptr;  // null: an all-zero HLI
};

// Colour word of a button state: the palette indexes of pixel values 3, 2,
// 1, 0, then their contrasts, one nibble each from the most significant.
std::uint32_t ColorWord(const ButtonColorScheme& scheme);

// The 8-byte command a button runs when activated.
std::array<std::uint8_t, 8> ButtonCommand(const MenuButton& button);

// Rewrites pack (2048 bytes, navigation shape) in place: system header
// buffer bounds, PCI and DSI. Keeps the pack header and the packet headers.
// Returns 0, -4011 for a pack without the system header entries, -1005 for
// a highlight with more buttons than the HLI holds.
Status FillNavPack(std::uint8_t* pack, const NavPackInfo& info);

}  // namespace morvix
