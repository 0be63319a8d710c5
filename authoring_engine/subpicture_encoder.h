// The menu highlight sub-picture: a menu's buttons drawn into a map of 2-bit
// pixel values, run-length coded into one DVD sub-picture unit (SPU) with its
// display control sequence, and cut into 2048-byte packs of sub-picture
// stream 0 that the VOB writer inserts at the start of the menu's first VOBU.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "morvix/status_codes.h"

namespace morvix {

// Status codes of the encoder. The VOB writer turns every one of them except
// kErrSubpictureTooLarge into its own internal code.
inline constexpr Status kSpuErrNoButtons = -1;
inline constexpr Status kSpuErrNoMemory = -9;
inline constexpr Status kSpuErrMaskLoad = -701;
inline constexpr Status kSpuErrNoMap = -1007;
inline constexpr Status kSpuErrMapSize = -1008;
inline constexpr Status kSpuErrNoFieldMap = -1009;
inline constexpr Status kSpuErrFieldSize = -1010;
inline constexpr Status kSpuErrLineTooLong = -1011;
inline constexpr Status kSpuErrCodeTooLong = -1012;
inline constexpr Status kSpuErrNoUnitData = -1013;
inline constexpr Status kSpuErrUnitSize = -1014;
inline constexpr Status kSpuErrNoPacketData = -1015;
inline constexpr Status kSpuErrEmptyUnit = -1016;

// The largest sub-picture unit a DVD player must buffer.
inline constexpr std::size_t kMaxSpuBytes = 53220;

// Picture size the sub-picture addresses (pixels, lines).
inline constexpr int kSpuPictureWidth = 720;
inline constexpr int kSpuPictureHeight = 576;

// How the four pixel values (0 background, 1 pattern, 2 emphasis 1,
// 3 emphasis 2) are shown: a palette index (0..15) and a contrast (0 fully
// transparent .. 15 opaque) each.
struct ButtonColorScheme {
  std::array<std::uint8_t, 4> color{};
  std::array<std::uint8_t, 4> contrast{};
};

// The three button states of a menu; all its buttons share them. The
// initial values are the engine's defaults.
struct ButtonColorSchemes {
  ButtonColorScheme normal{{0, 7, 5, 2}, {0, 15, 0, 15}};
  ButtonColorScheme selected{{0, 8, 5, 4}, {0, 15, 15, 15}};
  ButtonColorScheme activated{{0, 9, 5, 4}, {0, 15, 15, 15}};
};

enum class MenuButtonKind { kRectangle = 1, kMask = 2 };

// Command codes of a button: what activating it does with its value.
enum ButtonCommandCode : std::uint32_t {
  kButtonTitleSetMenu = 14,  // root menu of the title set numbered by value (its title 1)
  kButtonChapter = 12,       // chapter numbered by value, of title 1 of the current title set
  kButtonMainMenu = 10,      // the video manager's menu (the main menu)
  kButtonSetTitle = 13,      // title numbered by value in the current title set
  kButtonTitle = 6,          // title numbered by value
};

// One button of a menu, in pixels of the 720-wide menu picture. A rectangle
// covers left..right and top..bottom inclusive; a mask bitmap is placed with
// its top-left pixel at (left, top) and right/bottom give its extent.
struct MenuButton {
  MenuButtonKind kind = MenuButtonKind::kRectangle;
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  std::uint32_t command = 0;  // a ButtonCommandCode; anything else does nothing
  std::uint32_t value = 0;
  std::filesystem::path mask_file;  // kMask only: a 24-bit BMP
};

// Receives warnings the build carries on after (e.g. a mask colour that is
// not one of the four allowed colours). May be empty.
using WarningSink = std::function<void(const std::wstring& text)>;

// One byte per pixel (values 0..3) over the box that holds every button,
// row by row. The box starts on an even line and holds whole line pairs.
struct ButtonMap {
  int left = 0;
  int top = 0;
  int right = 0;   // inclusive
  int bottom = 0;  // inclusive
  std::vector<std::uint8_t> pixels;

  int width() const { return right - left + 1; }
  int height() const { return bottom - top + 1; }
};

// Draws buttons into map, later buttons over earlier ones; parts that lie
// outside the picture are dropped. Mask colours: black 0, white 1, pure red
// 2, pure blue 3; any other colour draws 0 and its first occurrence in each
// bitmap is reported through warning. Returns 0, kSpuErrNoButtons,
// kSpuErrNoMemory or kSpuErrMaskLoad (then *failing_mask names the file).
Status MakeButtonMap(const std::vector<MenuButton>& buttons, const WarningSink& warning, ButtonMap& map,
                     std::filesystem::path* failing_mask = nullptr);

// Run-length codes one line of width pixel values (0..3), appending whole
// bytes to out. Returns 0 or kSpuErrCodeTooLong.
Status EncodeLine(const std::uint8_t* pixels, int width, std::vector<std::uint8_t>& out);

// The run-length data of both fields (top field lines 0, 2, 4 ..., then the
// bottom field), padded to an even size; top_size receives the top field's
// byte count. Returns 0, kSpuErrNoFieldMap, kSpuErrFieldSize or an EncodeLine
// code.
Status EncodeFields(const ButtonMap& map, std::vector<std::uint8_t>& data, std::size_t& top_size);

// The complete SPU: header, field data and a control sequence that starts
// the display at once with the normal scheme's colours and contrasts over
// the map's box. A unit above kMaxSpuBytes gives kErrSubpictureTooLarge.
Status BuildSpu(const ButtonMap& map, const ButtonColorScheme& normal, std::vector<std::uint8_t>& spu);

// Cuts spu into whole 2048-byte packs of sub-picture stream 0 (appended to
// packs). The first pack's packet carries pts (90 kHz, 33 bits). Every pack
// header has SCR 0 and no stuffing; short packs are completed by stuffing in
// the packet header (gaps of 1 to 7 bytes) or by a padding packet.
Status PacketiseSpu(const std::vector<std::uint8_t>& spu, std::uint64_t pts,
                    std::vector<std::uint8_t>& packs);

// Number of packs PacketiseSpu makes for an SPU of size bytes.
std::size_t SpuPackCount(std::size_t size);

// MakeButtonMap's result through BuildSpu and PacketiseSpu: the packs that
// show the buttons from pts on.
Status EncodeHighlight(const ButtonMap& map, std::uint64_t pts, const ButtonColorSchemes& schemes,
                       std::vector<std::uint8_t>& packs);

}  // namespace morvix
