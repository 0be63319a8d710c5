#include "nav_commands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace morvix {
namespace {

std::vector<int> Bytes(int kind, std::uint32_t a = 0, std::uint32_t b = 0, std::uint32_t c = 0,
                       std::uint32_t d = 0) {
  std::uint8_t out[8];
  EXPECT_EQ(EncodeCommand(kind, a, b, c, d, out), kOk);
  return std::vector<int>(out, out + 8);
}

using B = std::vector<int>;

TEST(NavCommandTest, EveryKindEncodesItsTwoWords) {
  EXPECT_EQ(Bytes(kCmdSetGprm, 5, 1), (B{0x71, 0, 0, 5, 0, 1, 0, 0}));
  EXPECT_EQ(Bytes(kCmdNop), (B{0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Bytes(kCmdNop2), (B{0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Bytes(kCmdGoto, 17), (B{0, 1, 0, 0, 0, 0, 0, 17}));
  // if GPRM3 != 0 goto 5 and if GPRM5 != 1 goto E (E = 13) of the main menu chain.
  EXPECT_EQ(Bytes(kCmdIfGprmValueGoto, 5, 3, 0, kCmpNotEqual), (B{0x00, 0xB1, 0, 3, 0, 0, 0, 5}));
  EXPECT_EQ(Bytes(kCmdIfGprmValueGoto, 13, 5, 1, kCmpNotEqual), (B{0x00, 0xB1, 0, 5, 0, 1, 0, 13}));
  EXPECT_EQ(Bytes(kCmdIfGprmValueGoto, 13, 1, 0, kCmpEqual), (B{0x00, 0xA1, 0, 1, 0, 0, 0, 13}));
  EXPECT_EQ(Bytes(kCmdIfGprmGprmGoto, 9, 3, 11, kCmpEqual), (B{0x00, 0x21, 0, 3, 0, 11, 0, 9}));
  EXPECT_EQ(Bytes(kCmdJumpTitle, 1), (B{0x30, 0x02, 0, 0, 0, 1, 0, 0}));
  // jump to title 3 when GPRM3 equals GPRM11
  EXPECT_EQ(Bytes(kCmdJumpTitleIf, 3, 3, 11, kCmpEqual), (B{0x30, 0x22, 0, 0, 0, 3, 3, 0x0B}));
  EXPECT_EQ(Bytes(kCmdExit), (B{0x30, 0x01, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Bytes(kCmdJumpVmgmPgc, 1), (B{0x30, 0x06, 0x00, 0x01, 0x00, 0xC0, 0x00, 0x00}));
  EXPECT_EQ(Bytes(kCmdCallVmgmPgc, 1), (B{0x30, 0x08, 0x00, 0x01, 0x01, 0xC0, 0x00, 0x00}));
  EXPECT_EQ(Bytes(kCmdJumpChapter, 1, 0x4F3), (B{0x30, 0x05, 0x00, 0xF3, 0x00, 0x01, 0, 0}));
  EXPECT_EQ(Bytes(kCmdJumpVtsTitle, 1), (B{0x30, 0x03, 0, 0, 0, 1, 0, 0}));
  EXPECT_EQ(Bytes(kCmdJumpVtsRootMenu, 3, 1), (B{0x30, 0x06, 0x00, 0x01, 0x03, 0x83, 0x00, 0x00}));
  EXPECT_EQ(Bytes(kCmdJumpVtsRootMenu, 0x85, 0x81), (B{0x30, 0x06, 0x00, 0x01, 0x05, 0x83, 0x00, 0x00}));
}

TEST(NavCommandTest, UnknownKindsAndMissingOutputAreRefused) {
  std::uint8_t out[8];
  EXPECT_EQ(EncodeCommand(0, 0, 0, 0, 0, out), kErrInternalUnknownCommand);
  EXPECT_EQ(EncodeCommand(15, 0, 0, 0, 0, out), kErrInternalUnknownCommand);
  EXPECT_EQ(EncodeCommand(kCmdNop, 0, 0, 0, 0, nullptr), kErrInternalNoCommandOutput);
}

TEST(PlaybackTimeTest, BcdFieldsCarryTheRateOfTheTvSystem) {
  std::uint8_t t[4];
  ASSERT_EQ(EncodePlaybackTime(3723.5, FrameRateSelector(2), t), kOk);  // PAL
  EXPECT_EQ(B(t, t + 4), (B{0x01, 0x02, 0x03, 0x40 | 0x12}));
  ASSERT_EQ(EncodePlaybackTime(3723.5, FrameRateSelector(1), t), kOk);  // NTSC
  EXPECT_EQ(B(t, t + 4), (B{0x01, 0x02, 0x03, 0xC0 | 0x15}));
  ASSERT_EQ(EncodePlaybackTime(359999.96, kRate25, t), kOk);
  EXPECT_EQ(B(t, t + 4), (B{0x99, 0x59, 0x59, 0x40 | 0x24}));
  ASSERT_EQ(EncodePlaybackTime(0.0, kRate30, t), kOk);
  EXPECT_EQ(B(t, t + 4), (B{0, 0, 0, 0xC0}));
}

TEST(PlaybackTimeTest, FrameCountsAreWrittenAsTheSecondsWouldBe) {
  std::uint8_t from_seconds[4], from_frames[4];
  for (const double seconds : {0.0, 0.99, 19.99, 3723.5, 359999.96}) {
    for (const int rate : {kRate25, kRate30}) {
      ASSERT_EQ(EncodePlaybackTime(seconds, rate, from_seconds), kOk);
      ASSERT_EQ(EncodePlaybackFrames(PlaybackFrames(seconds, rate), rate, from_frames), kOk);
      EXPECT_EQ(std::memcmp(from_seconds, from_frames, 4), 0) << seconds << " s at selector " << rate;
    }
  }
  EXPECT_EQ(PlaybackFrames(19.99, kRate25), 499);
  EXPECT_EQ(PlaybackFrames(-1.0, kRate25), 0);
  EXPECT_EQ(EncodePlaybackFrames(-1, kRate25, from_frames), kErrInternalPlaytimeRange);
  EXPECT_EQ(EncodePlaybackFrames(360000L * 25, kRate25, from_frames), kErrInternalPlaytimeRange);
  EXPECT_EQ(EncodePlaybackFrames(1, kRate25, nullptr), kErrInternalPlaytimeNoOutput);
}

TEST(PlaybackTimeTest, OutOfRangeInputsAreRefused) {
  std::uint8_t t[4];
  EXPECT_EQ(EncodePlaybackTime(-0.01, kRate25, t), kErrInternalPlaytimeRange);
  EXPECT_EQ(EncodePlaybackTime(360000.0, kRate25, t), kErrInternalPlaytimeRange);
  EXPECT_EQ(EncodePlaybackTime(1.0, 3, t), kErrInternalPlaytimeRange);
  EXPECT_EQ(EncodePlaybackTime(1.0, 0, t), kErrInternalPlaytimeRange);
  EXPECT_EQ(EncodePlaybackTime(1.0, kRate25, nullptr), kErrInternalPlaytimeNoOutput);
}

}  // namespace
}  // namespace morvix
