// Write pacing of the emulated drive: off by default; when on, a write that
// finds the drive buffer run dry mid-session is counted, and without buffer
// underrun protection it ruins the track. The speeds here are so high that a
// buffer drains in microseconds: no test waits for the clock.
#include <gtest/gtest.h>

#include "emulated_drive_testutil.h"
#include "platform/emulated_drive.h"

namespace platform {
namespace {

using testing::EmulatedDriveHarness;
using testing::Medium;
using testing::Pattern;
using testing::SenseText;

constexpr std::uint32_t kVeryFast = 4000000;  // kB/s: 2048 bytes drain in half a microsecond

TEST(EmulatedDrivePacing, WithoutPacingWritesNeverUnderrun) {
  EmulatedDriveHarness h(Medium(kProfileDvdPlusR));
  for (std::uint32_t i = 0; i < 4; ++i)
    ASSERT_EQ(SenseText(h.Write(i * 16, 16, Pattern(16 * 2048, i))), "ok");
  EXPECT_EQ(h.drive().UnderrunCount(), 0u);
}

TEST(EmulatedDrivePacing, ABufferRunDryWithoutProtectionCountsAnUnderrunAndRuinsTheTrack) {
  EmulatedDriveHarness h(Medium(kProfileCdR, 5000));
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x01, false)), "ok");
  h.drive().SetWritePacing(kVeryFast, 2048);
  ASSERT_EQ(SenseText(h.Write(0, 1, Pattern(2048, 1))), "ok") << "the first write starts the session";
  EXPECT_EQ(SenseText(h.Write(1, 1, Pattern(2048, 2))), "03/0C/09");
  EXPECT_EQ(h.drive().UnderrunCount(), 1u);
  EXPECT_EQ(h.TrackInformation(1)[5] & 0x20, 0x20) << "damaged";
}

TEST(EmulatedDrivePacing, WithBufferUnderrunProtectionTheBurnGoesOnAndAFlushEndsTheSessionHarmlessly) {
  EmulatedDriveHarness h(Medium(kProfileCdR, 5000));
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x01, false, false, 8, true)), "ok");
  h.drive().SetWritePacing(kVeryFast, 2048);
  ASSERT_EQ(SenseText(h.Write(0, 1, Pattern(2048, 1))), "ok");
  EXPECT_EQ(SenseText(h.Write(1, 1, Pattern(2048, 2))), "ok");
  EXPECT_EQ(h.drive().UnderrunCount(), 1u);
  ASSERT_EQ(SenseText(h.Sync()), "ok");
  EXPECT_EQ(SenseText(h.Write(2, 1, Pattern(2048, 3))), "ok");
  EXPECT_EQ(h.drive().UnderrunCount(), 1u) << "a new session starts with a full buffer's worth of time";
}

TEST(EmulatedDriveSaves, DeferredSavesStoreTheWrittenTrackAtTheNextOtherCommand) {
  EmulatedDriveHarness h(Medium(kProfileDvdPlusR));
  h.drive().SetWriteSavesDeferred(true);
  ASSERT_EQ(SenseText(h.Write(0, 16, Pattern(16 * 2048, 1))), "ok");
  ASSERT_EQ(SenseText(h.Sync()), "ok");
  h.Reopen();
  EXPECT_EQ(h.NextWritable(1), 16u) << "the write survived in the state file";
}

}  // namespace
}  // namespace platform
