// Track-at-once on an emulated CD: the link and pregap between tracks.
#include <gtest/gtest.h>

#include "emulated_drive_testutil.h"

namespace platform {
namespace {

using testing::Be32;
using testing::EmulatedDriveHarness;
using testing::Medium;
using testing::Pattern;
using testing::SenseText;

TEST(EmulatedCdTrackAtOnce, EachNextTrackStartsAfterTheLinkAndItsPregap) {
  EmulatedDriveHarness h(Medium(kProfileCdR, 20000));
  ASSERT_EQ(SenseText(h.SetWriteParameters(kWriteTypeTrackAtOnce, false, false, 0)), "ok");
  EXPECT_EQ(h.NextWritable(1), 0u) << "the first track's pregap lies before sector 0";
  ASSERT_EQ(SenseText(h.Write(0, 100, Pattern(100 * 2352, 1), 2352)), "ok");
  ASSERT_EQ(SenseText(h.Close(1, 1)), "ok");
  EXPECT_EQ(Be32(h.TrackInformation(1), 24), 100u);
  EXPECT_EQ(h.NextWritable(2), 100u + kCdTaoLinkSectors + kCdPregapSectors);
  EXPECT_EQ(SenseText(h.Write(100, 1, Pattern(2352, 2), 2352)), "05/21/02") << "the gap is not writable";
  ASSERT_EQ(SenseText(h.Write(257, 10, Pattern(10 * 2352, 3), 2352)), "ok");
  ASSERT_EQ(SenseText(h.Close(1, 2)), "ok");
  EXPECT_EQ(Be32(h.TrackInformation(3), 8), 257u + 10 + 157);
  std::vector<std::uint8_t> back;
  ASSERT_EQ(SenseText(h.In({0xBE, 0, 0, 0, 1, 1, 0, 0, 10, 0xF8, 0, 0}, &back, 10 * 2352)), "ok");
  EXPECT_EQ(back, Pattern(10 * 2352, 3)) << "READ CD returns the audio of track 2";
}

TEST(EmulatedCdTrackAtOnce, AReservedTrackIsFollowedByTheGapToo) {
  EmulatedDriveHarness h(Medium(kProfileCdRw, 20000));
  ASSERT_EQ(SenseText(h.SetWriteParameters(kWriteTypeTrackAtOnce, false, false, 0)), "ok");
  ASSERT_EQ(SenseText(h.Reserve(300)), "ok");
  EXPECT_EQ(Be32(h.TrackInformation(2), 8), 300u + kCdTaoTrackGap);
}

TEST(EmulatedCdTrackAtOnce, ADiscThatHoldsTheTracksAndTheirGapsExactlyTakesThemAll) {
  // Two tracks of 1000 sectors and the gap between them fill 2157 sectors.
  EmulatedDriveHarness h(Medium(kProfileCdR, 2000 + kCdTaoTrackGap));
  ASSERT_EQ(SenseText(h.SetWriteParameters(kWriteTypeTrackAtOnce, false, false, 0)), "ok");
  const auto pcm = Pattern(1000 * 2352, 4);
  ASSERT_EQ(SenseText(h.Write(0, 1000, pcm, 2352)), "ok");
  ASSERT_EQ(SenseText(h.Close(1, 1)), "ok");
  EXPECT_EQ(Be32(h.TrackInformation(2), 16), 1000u) << "free blocks of the next track";
  ASSERT_EQ(SenseText(h.Write(1157, 1000, pcm, 2352)), "ok");
  EXPECT_EQ(SenseText(h.Write(2157, 1, pcm, 2352)), "05/21/00");
}

TEST(EmulatedCdTrackAtOnce, IncrementalWritingKeepsTracksBackToBack) {
  EmulatedDriveHarness h(Medium(kProfileCdR, 20000));
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x00, false)), "ok");
  ASSERT_EQ(SenseText(h.Write(0, 16, Pattern(16 * 2048, 1))), "ok");
  ASSERT_EQ(SenseText(h.Close(1, 1)), "ok");
  EXPECT_EQ(h.NextWritable(2), 16u);
}

}  // namespace
}  // namespace platform
