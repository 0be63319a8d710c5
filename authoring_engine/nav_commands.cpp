#include "nav_commands.h"

#include <cmath>

namespace morvix {
namespace {

void PutWords(std::uint32_t w1, std::uint32_t w2, std::uint8_t* out) {
  for (int i = 0; i < 4; ++i) {
    out[i] = static_cast<std::uint8_t>(w1 >> (24 - 8 * i));
    out[4 + i] = static_cast<std::uint8_t>(w2 >> (24 - 8 * i));
  }
}

std::uint8_t Bcd(int value) { return static_cast<std::uint8_t>((value / 10) << 4 | (value % 10)); }

}  // namespace

Status EncodeCommand(int kind, std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                     std::uint8_t* out) {
  if (out == nullptr) return kErrInternalNoCommandOutput;
  std::uint32_t w1 = 0;
  std::uint32_t w2 = 0;
  switch (kind) {
    case kCmdSetGprm:
      w1 = 0x71000000u | a;
      w2 = b << 16;
      break;
    case kCmdNop:
    case kCmdNop2:
      break;
    case kCmdGoto:
      w1 = 0x00010000u;
      w2 = a;
      break;
    case kCmdIfGprmValueGoto:
      w1 = 0x00810000u | (d << 20) | b;
      w2 = a | (c << 16);
      break;
    case kCmdIfGprmGprmGoto:
      w1 = 0x00010000u | (d << 20) | b;
      w2 = a | (c << 16);
      break;
    case kCmdJumpTitle:
      w1 = 0x30020000u;
      w2 = a << 16;
      break;
    case kCmdJumpTitleIf:
      w1 = 0x30020000u | (d << 20);
      w2 = (a << 16) | (b << 8) | c;
      break;
    case kCmdExit:
      w1 = 0x30010000u;
      break;
    case kCmdJumpVmgmPgc:
      w1 = 0x30060000u | a;
      w2 = 0x00C00000u;
      break;
    case kCmdCallVmgmPgc:
      w1 = 0x30080000u | a;
      w2 = 0x01C00000u;
      break;
    case kCmdJumpChapter:
      w1 = 0x30050000u | (b & 0x3FF);
      w2 = a << 16;
      break;
    case kCmdJumpVtsTitle:
      w1 = 0x30030000u;
      w2 = a << 16;
      break;
    case kCmdJumpVtsRootMenu:
      w1 = 0x30060000u | (b & 0x7F);
      w2 = ((a & 0x7F) << 24) | 0x00830000u;
      break;
    default:
      return kErrInternalUnknownCommand;
  }
  PutWords(w1, w2, out);
  return kOk;
}

NavCommand MakeCommand(int kind, std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  NavCommand command{};
  EncodeCommand(kind, a, b, c, d, command.data());
  return command;
}

namespace {

// The frame rate of the time codes and the flag of the frames byte.
bool RateOf(int rate_selector, int* fps, std::uint8_t* flag) {
  if (rate_selector == kRate25) {
    *fps = 25;
    *flag = 0x40;
  } else if (rate_selector == kRate30) {
    *fps = 30;
    *flag = 0xC0;
  } else {
    return false;
  }
  return true;
}

}  // namespace

long PlaybackFrames(double seconds, int rate_selector) {
  int fps;
  std::uint8_t flag;
  if (!RateOf(rate_selector, &fps, &flag) || !(seconds >= 0.0 && seconds <= 359999.96)) return 0;
  // Times come from 90 kHz clock ticks: one that is a whole number of frames
  // may lie a hair below it in floating point, and must not lose that frame.
  return static_cast<long>(std::floor(seconds * fps + 1e-6));
}

Status EncodePlaybackFrames(long frames, int rate_selector, std::uint8_t* out) {
  if (out == nullptr) return kErrInternalPlaytimeNoOutput;
  int fps;
  std::uint8_t flag;
  if (!RateOf(rate_selector, &fps, &flag)) return kErrInternalPlaytimeRange;
  if (frames < 0 || frames / fps > 359999) return kErrInternalPlaytimeRange;
  const long whole = frames / fps;
  out[0] = Bcd(static_cast<int>(whole / 3600));
  out[1] = Bcd(static_cast<int>(whole / 60 % 60));
  out[2] = Bcd(static_cast<int>(whole % 60));
  out[3] = static_cast<std::uint8_t>(flag | Bcd(static_cast<int>(frames % fps)));
  return kOk;
}

Status EncodePlaybackTime(double seconds, int rate_selector, std::uint8_t* out) {
  if (out == nullptr) return kErrInternalPlaytimeNoOutput;
  int fps;
  std::uint8_t flag;
  if (!(seconds >= 0.0 && seconds <= 359999.96) || !RateOf(rate_selector, &fps, &flag)) {
    return kErrInternalPlaytimeRange;
  }
  return EncodePlaybackFrames(PlaybackFrames(seconds, rate_selector), rate_selector, out);
}

}  // namespace morvix
