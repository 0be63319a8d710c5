// The emulated drive spoken to in raw CDBs, as a standards-following drive
// must answer them.
#include "platform/emulated_drive.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "emulated_drive_testutil.h"

namespace platform {
namespace {

using testing::Be16;
using testing::Be32;
using testing::EmulatedDriveHarness;
using testing::Medium;
using testing::Pattern;
using testing::SenseText;
using testing::TempFolder;

const std::vector<std::uint8_t> kTestUnitReady = {0, 0, 0, 0, 0, 0};

// ---- identification and readiness -------------------------------------------------

TEST(EmulatedDriveIdentity, InquiryReportsACdDvdDeviceWithPaddedTexts) {
  EmulatedIdentity id;
  id.vendor = "ACME";
  id.product = "WRITER";
  id.revision = "7";
  EmulatedDriveHarness h(nullptr, id);
  std::vector<std::uint8_t> d;
  ASSERT_EQ(SenseText(h.In({0x12, 0, 0, 0, 36, 0}, &d, 36)), "ok");
  ASSERT_EQ(d.size(), 36u);
  EXPECT_EQ(d[0], 0x05);
  EXPECT_EQ(d[1] & 0x80, 0x80);
  EXPECT_EQ(std::string(d.begin() + 8, d.begin() + 36), "ACME    WRITER          7   ");
  EXPECT_EQ(h.drive().identity().vendor, "ACME    ");
  EXPECT_EQ(SenseText(h.In({0x12, 1, 0x80, 0, 36, 0}, &d, 36)), "05/24/00");
}

TEST(EmulatedDriveIdentity, ProfileListMarksTheCurrentMediumAndNoMediumGivesProfileZero) {
  EmulatedDriveHarness h(Medium(kProfileDvdPlusR));
  std::vector<std::uint8_t> d;
  ASSERT_EQ(SenseText(h.In({0x46, 0x02, 0, 0, 0, 0, 0, 0, 0xCC, 0}, &d, 204)), "ok");
  EXPECT_EQ(Be16(d, 6), kProfileDvdPlusR);
  ASSERT_EQ(Be16(d, 8), 0x0000);
  const std::size_t count = d[11] / 4;
  EXPECT_EQ(count, EmulatedIdentity().profiles.size());
  int current = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (d[12 + 4 * i + 2] & 1) {
      ++current;
      EXPECT_EQ(Be16(d, 12 + 4 * i), kProfileDvdPlusR);
    }
  }
  EXPECT_EQ(current, 1);
  h.drive().RemoveMedium();
  ASSERT_EQ(SenseText(h.In({0x46, 0x02, 0, 0, 0, 0, 0, 0, 0xCC, 0}, &d, 204)), "ok");
  EXPECT_EQ(Be16(d, 6), 0);
}

TEST(EmulatedDriveIdentity, AllFeaturesAreListedInOrderWithWholeDescriptors) {
  EmulatedDriveHarness h(Medium(kProfileDvdR));
  std::vector<std::uint8_t> d;
  ASSERT_EQ(SenseText(h.In({0x46, 0, 0, 0, 0, 0, 0, 0x10, 0, 0}, &d, 4096)), "ok");
  ASSERT_EQ(Be32(d, 0) + 4, d.size());
  std::size_t at = 8;
  int previous = -1, current_incremental = 0;
  while (at < d.size()) {
    const int code = int(Be16(d, at));
    EXPECT_GT(code, previous);
    EXPECT_EQ(d[at + 3] % 4, 0) << "feature " << code;
    if (code == 0x0021) current_incremental = d[at + 2] & 1;
    previous = code;
    at += 4 + d[at + 3];
  }
  EXPECT_EQ(at, d.size());
  EXPECT_EQ(current_incremental, 1);
  // Only the current ones, from a starting feature.
  ASSERT_EQ(SenseText(h.In({0x46, 0x01, 0x00, 0x20, 0, 0, 0, 0x10, 0, 0}, &d, 4096)), "ok");
  for (at = 8; at < d.size(); at += 4 + d[at + 3]) {
    EXPECT_GE(Be16(d, at), 0x0020u);
    EXPECT_EQ(d[at + 2] & 1, 1);
  }
}

TEST(EmulatedDriveIdentity, OneFeatureRequestsAlwaysReturnTheHeader) {
  EmulatedIdentity cd_only;
  cd_only.profiles = {kProfileCdRw, kProfileCdR, kProfileCdRom};
  EmulatedDriveHarness h(Medium(kProfileCdR), cd_only);
  std::vector<std::uint8_t> d;
  ASSERT_EQ(SenseText(h.In({0x46, 0x02, 0x00, 0x2A, 0, 0, 0, 0, 0x72, 0}, &d, 114)), "ok");
  ASSERT_EQ(d.size(), 8u);  // the drive lacks DVD+RW: header only
  EXPECT_EQ(Be32(d, 0), 4u);
  EXPECT_EQ(Be16(d, 6), kProfileCdR);

  EmulatedDriveHarness plus(Medium(kProfileDvdPlusRw));
  ASSERT_EQ(SenseText(plus.In({0x46, 0x02, 0x00, 0x2A, 0, 0, 0, 0, 0x72, 0}, &d, 114)), "ok");
  ASSERT_GE(d.size(), 16u);
  EXPECT_EQ(Be16(d, 8), 0x002A);
  EXPECT_EQ(d[10] & 1, 1);  // current
  EXPECT_EQ(d[12] & 1, 1);  // can write
}

TEST(EmulatedDriveIdentity, ARomOnlyDriveListsNoWritableProfileAndRefusesWrites) {
  EmulatedIdentity rom;
  rom.writer = false;
  rom.profiles = {kProfileDvdRom, kProfileCdRom};
  EmulatedDriveHarness h(Medium(kProfileDvdPlusR), rom);
  std::vector<std::uint8_t> d;
  ASSERT_EQ(SenseText(h.In({0x46, 0x02, 0, 0, 0, 0, 0, 0, 0xCC, 0}, &d, 204)), "ok");
  EXPECT_EQ(d[11], 8);
  EXPECT_EQ(Be16(d, 6), 0);  // the medium is not one this drive knows
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "05/30/00");
  EXPECT_EQ(SenseText(h.Write(0, 1, Pattern(2048, 1))), "05/20/00");
}

TEST(EmulatedDriveReadiness, TrayAndMediumChangesFollowTheUnitAttentionRules) {
  EmulatedDriveHarness h(Medium(kProfileDvdR));
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "ok");
  ASSERT_TRUE(h.drive().OpenTray());
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "02/3A/02");
  h.drive().CloseTray();
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "06/28/00");
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "ok");
  h.drive().RemoveMedium();
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "02/3A/00");
  std::vector<std::uint8_t> d;
  ASSERT_EQ(SenseText(h.In({0x03, 0, 0, 0, 18, 0}, &d, 18)), "ok");
  EXPECT_EQ(d[0], 0x70);
  EXPECT_EQ(d[2], 0x02);
  EXPECT_EQ(d[12], 0x3A);
  // Loading through START STOP UNIT also reports the new medium once.
  std::string error;
  ASSERT_TRUE(h.drive().OpenTray());
  ASSERT_TRUE(h.drive().InsertMedium(Medium(kProfileCdR), &error)) << error;
  EXPECT_EQ(SenseText(h.None({0x1B, 0, 0, 0, 0x03, 0})), "ok");
  EXPECT_EQ(SenseText(h.In({0x03, 0, 0, 0, 18, 0}, &d, 18)), "ok");
  EXPECT_EQ(d[2], 0x06);
  EXPECT_EQ(d[12], 0x28);
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "ok");
}

TEST(EmulatedDriveReadiness, PreventedRemovalRefusesEjectAndTheTrayButton) {
  EmulatedDriveHarness h(Medium(kProfileDvdR));
  ASSERT_EQ(SenseText(h.None({0x1E, 0, 0, 0, 1, 0})), "ok");
  EXPECT_EQ(SenseText(h.None({0x1B, 0, 0, 0, 0x02, 0})), "05/53/02");
  EXPECT_FALSE(h.drive().OpenTray());
  ASSERT_EQ(SenseText(h.None({0x1E, 0, 0, 0, 0, 0})), "ok");
  EXPECT_EQ(SenseText(h.None({0x1B, 0, 0, 0, 0x02, 0})), "ok");
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "02/3A/02");
}

// ---- one drive, several programs ----------------------------------------------------

// A second opening of the folder, as another program has it.
std::unique_ptr<EmulatedDrive> OpenAgain(EmulatedDriveHarness& h) {
  std::string error;
  auto other = EmulatedDrive::Open(h.folder() / "drive", &error);
  EXPECT_TRUE(other) << error;
  return other;
}

TEST(EmulatedDriveSharing, AnotherProgramsTrayMediumLockAndFaultsAreSeenAtTheNextCommand) {
  EmulatedDriveHarness h(Medium(kProfileDvdPlusR, 4096));
  auto other = OpenAgain(h);
  ASSERT_EQ(SenseText(h.None(kTestUnitReady)), "ok");
  ASSERT_TRUE(other->OpenTray());
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "02/3A/02");
  other->CloseTray();
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "06/28/00");
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "ok");
  // The tray lock is the drive's: the other program's button is refused
  // until it forces the tray open, as an emergency eject does.
  ASSERT_EQ(SenseText(h.None({0x1E, 0, 0, 0, 1, 0})), "ok");
  EXPECT_FALSE(other->OpenTray());
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "ok");
  ASSERT_TRUE(other->OpenTray(true));
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "02/3A/02");
  EXPECT_TRUE(h.drive().OpenTray()) << "forcing the tray took the lock off";
  // A new medium, a fault and a not-ready spell set by the other program.
  std::string error;
  ASSERT_TRUE(other->InsertMedium(Medium(kProfileCdR), &error)) << error;
  other->CloseTray();
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "06/28/00");
  std::vector<std::uint8_t> config;
  ASSERT_EQ(SenseText(h.In({0x46, 0x02, 0, 0, 0, 0, 0, 0, 8, 0}, &config, 8)), "ok");
  EXPECT_EQ(Be16(config, 6), kProfileCdR);
  other->InjectFault({.opcode = 0x51, .key = 3, .asc = 0x31, .ascq = 0});
  std::vector<std::uint8_t> info;
  EXPECT_EQ(SenseText(h.In({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, &info, 34)), "03/31/00");
  EXPECT_EQ(SenseText(h.In({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, &info, 34)), "ok")
      << "the fault hit once, for both programs";
  other->BecomeNotReady(1);
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "02/04/01");
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "ok");
}

TEST(EmulatedDriveSharing, OneProgramAtATimeHoldsTheDrive) {
  EmulatedDriveHarness h(Medium(kProfileDvdPlusR, 4096));
  auto other = OpenAgain(h);
  std::string why;
  ASSERT_EQ(h.drive().HoldExclusive(&why), HoldResult::kHeld) << why;
  EXPECT_EQ(h.drive().HoldExclusive(&why), HoldResult::kHeld) << "holding again while held";
  EXPECT_EQ(other->HoldExclusive(&why), HoldResult::kInUse);
  EXPECT_NE(why.find("busy"), std::string::npos) << why;
  EXPECT_EQ(SenseText(other->exec(kTestUnitReady, DataDirection::kNone, {}, {})), "ok")
      << "holding keeps nobody from asking";
  h.drive().ReleaseExclusive();
  EXPECT_EQ(other->HoldExclusive(&why), HoldResult::kHeld) << why;
}

TEST(EmulatedDriveSharing, WritesWhoseSavesAreDeferredSurviveAnotherProgramsControls) {
  EmulatedDriveHarness h(Medium(kProfileDvdPlusR, 4096));
  auto other = OpenAgain(h);
  h.drive().SetWriteSavesDeferred(true);
  ASSERT_EQ(SenseText(h.Write(0, 32, Pattern(32 * 2048, 2))), "ok");
  other->InjectFault({.opcode = 0x28, .first_lba = 4000, .key = 3, .asc = 0x11, .ascq = 0});
  ASSERT_EQ(SenseText(h.Write(32, 32, Pattern(32 * 2048, 3))), "ok");
  ASSERT_EQ(SenseText(h.Sync()), "ok");
  EXPECT_EQ(h.NextWritable(1), 64u);
  std::vector<std::uint8_t> d;
  EXPECT_EQ(SenseText(h.Read(4000, 1, &d)), "03/11/00");
  // The writes that come in a run still see the tray another program opened
  // a few milliseconds before.
  for (std::uint32_t lba = 64; lba < 64 + 32 * 20; lba += 32)
    ASSERT_EQ(SenseText(h.Write(lba, 32, Pattern(32 * 2048, 4))), "ok");
  ASSERT_TRUE(other->OpenTray(true));
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(SenseText(h.Write(64 + 32 * 20, 32, Pattern(32 * 2048, 5))), "02/3A/02");
}

TEST(EmulatedDriveSharing, WhileWritesArePacedAnImmediateEraseLastsAsLongAsWritingTheDisc) {
  EmulatedDriveHarness h(Medium(kProfileCdRw, 20000));
  ASSERT_EQ(SenseText(h.Write(0, 30, Pattern(30 * 2048, 1))), "ok");
  ASSERT_EQ(SenseText(h.Close(1, 1)), "ok");
  // 20000 sectors of 2048 bytes at 20480 kB/s: two seconds; the pacing set by
  // another program counts as well.
  OpenAgain(h)->SetWritePacing(20480, 1 << 20);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(SenseText(h.None({0xA1, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})), "ok");  // full, IMMED
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "02/04/07");
  std::vector<std::uint8_t> d;
  ASSERT_EQ(SenseText(h.In({0x03, 0, 0, 0, 18, 0}, &d, 18)), "ok");
  EXPECT_EQ(d[15] & 0x80, 0x80);
  EXPECT_LT(Be16(d, 16), 0x8000u) << "less than half done";
  while (SenseText(h.None(kTestUnitReady)) != "ok")
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1950));
  EXPECT_EQ(h.DiscInformation()[2] & 0x03, 0);
}

TEST(EmulatedDriveReadiness, NotReadyForAWhileThenReadyAndUnknownCommandsAreRefused) {
  EmulatedDriveHarness h(Medium(kProfileDvdR));
  h.drive().BecomeNotReady(2);
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "02/04/01");
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "02/04/01");
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "ok");
  EXPECT_EQ(SenseText(h.None({0xA8, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0})), "05/20/00");
}

TEST(EmulatedDriveFaults, InjectedFaultsHitTheirOpcodeAndRangeForTheirCountAndAreLogged) {
  EmulatedDriveHarness h(Medium(kProfileDvdPlusR, 4096));
  ASSERT_EQ(SenseText(h.Write(0, 32, Pattern(32 * 2048, 1))), "ok");
  h.drive().InjectFault({0x28, 10, 12, 2, 0x03, 0x11, 0x00});
  h.drive().ClearCommandLog();
  std::vector<std::uint8_t> d;
  EXPECT_EQ(SenseText(h.Read(0, 5, &d)), "ok");        // outside the range
  EXPECT_EQ(SenseText(h.Read(8, 4, &d)), "03/11/00");  // meets it
  EXPECT_EQ(SenseText(h.Read(12, 1, &d)), "03/11/00");
  EXPECT_EQ(SenseText(h.Read(12, 1, &d)), "ok");  // count used up
  h.drive().InjectFault({0x00, 0, 0xFFFFFFFF, 1, 0x02, 0x04, 0x08});
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "02/04/08");
  auto log = h.drive().CommandLog();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[1].cdb[0], 0x28);
  EXPECT_EQ(log[1].status, 2);
  ASSERT_EQ(log[1].sense.size(), 18u);
  EXPECT_EQ(log[1].sense[2], 0x03);
  EXPECT_EQ(log[1].sense[12], 0x11);
  EXPECT_EQ(log[0].transferred, 5u * 2048);
  EXPECT_TRUE(log[0].sense.empty());
}

// ---- mode pages and speeds -----------------------------------------------------

TEST(EmulatedDriveModePages, CapabilitiesCarryTheCurrentWriteSpeedInBothFields) {
  EmulatedDriveHarness h(Medium(kProfileDvdR));
  std::vector<std::uint8_t> d;
  ASSERT_EQ(SenseText(h.None({0xBB, 0, 0xFF, 0xFF, 0x15, 0xA4, 0, 0, 0, 0, 0, 0})), "ok");  // 5540
  ASSERT_EQ(SenseText(h.In({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 0x80, 0}, &d, 128)), "ok");
  EXPECT_EQ(d[8] & 0x3F, 0x2A);
  EXPECT_EQ(Be16(d, 28), 5540u);  // page bytes 20-21
  EXPECT_EQ(Be16(d, 36), 5540u);  // page bytes 28-29
  EXPECT_EQ(Be16(d, 38), 3u);     // three write speed descriptors
  EXPECT_EQ(Be16(d, 42), 11080u);
  // Between table speeds: the largest not above; below the table: the slowest.
  ASSERT_EQ(SenseText(h.None({0xBB, 0, 0xFF, 0xFF, 0x20, 0x00, 0, 0, 0, 0, 0, 0})), "ok");
  ASSERT_EQ(SenseText(h.In({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 0x80, 0}, &d, 128)), "ok");
  EXPECT_EQ(Be16(d, 36), 5540u);
  ASSERT_EQ(SenseText(h.None({0xBB, 0, 0xFF, 0xFF, 0x00, 0x01, 0, 0, 0, 0, 0, 0})), "ok");
  ASSERT_EQ(SenseText(h.In({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 0x80, 0}, &d, 128)), "ok");
  EXPECT_EQ(Be16(d, 36), 2770u);
  ASSERT_EQ(SenseText(h.None({0xBB, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0})), "ok");
  ASSERT_EQ(SenseText(h.In({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 0x80, 0}, &d, 128)), "ok");
  EXPECT_EQ(Be16(d, 28), 11080u);
}

TEST(EmulatedDriveModePages, WriteParametersRoundTripAndBadPagesAreRefused) {
  EmulatedDriveHarness h(Medium(kProfileCdR));
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x01, true, true, 8, true)), "ok");
  std::vector<std::uint8_t> d;
  ASSERT_EQ(SenseText(h.In({0x5A, 0, 0x05, 0, 0, 0, 0, 0, 0x3C, 0}, &d, 60)), "ok");
  ASSERT_EQ(d.size(), 60u);
  EXPECT_EQ(d[8], 0x05);
  EXPECT_EQ(d[9], 0x32);
  EXPECT_EQ(d[10], 0x51);  // BUFE, test write, TAO
  EXPECT_EQ(d[11], 0xC4);
  EXPECT_EQ(d[12], 0x08);
  std::vector<std::uint8_t> page(d.begin(), d.end());
  page[8] = 0x06;  // no such page
  EXPECT_EQ(SenseText(h.Out({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, page)), "05/26/00");
  page[8] = 0x05;
  page[9] = 0x20;  // wrong length
  EXPECT_EQ(SenseText(h.Out({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, page)), "05/26/00");
  EXPECT_EQ(SenseText(h.In({0x5A, 0, 0x07, 0, 0, 0, 0, 0, 0x3C, 0}, &d, 60)), "05/24/00");
  // The capabilities page cannot be changed: sent back as it is, it is taken.
  ASSERT_EQ(SenseText(h.In({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 0x80, 0}, &d, 128)), "ok");
  std::vector<std::uint8_t> caps(d.begin(), d.end());
  caps[0] = caps[1] = 0;
  const std::uint8_t length = std::uint8_t(caps.size());
  EXPECT_EQ(SenseText(h.Out({0x55, 0x10, 0, 0, 0, 0, 0, 0, length, 0}, caps)), "ok");
  caps[8 + 28] ^= 0x01;
  EXPECT_EQ(SenseText(h.Out({0x55, 0x10, 0, 0, 0, 0, 0, 0, length, 0}, caps)), "05/26/00");
  EXPECT_EQ(SenseText(h.Out({0x55, 0x00, 0, 0, 0, 0, 0, 0, 60, 0}, page)), "05/24/00");  // PF is required
  // A DVD+R cannot simulate, so a test write is refused for it.
  EmulatedDriveHarness plus(Medium(kProfileDvdPlusR));
  EXPECT_EQ(SenseText(plus.SetWriteParameters(0x00, false, true)), "05/26/02");
}

// ---- sequential recording -------------------------------------------------------

TEST(EmulatedDvdR, IncrementalTracksAndAMultisessionCloseLeaveTwoSessions) {
  EmulatedDriveHarness h(Medium(kProfileDvdR, 10000));
  auto info = h.DiscInformation();
  EXPECT_EQ(info[2] & 0x03, 0);  // empty
  EXPECT_EQ(info[4], 1);
  EXPECT_EQ(info[6], 1);
  auto track = h.TrackInformation(1);
  EXPECT_EQ(track[7] & 1, 1);        // next writable address valid
  EXPECT_EQ(track[6] & 0x40, 0x40);  // blank
  EXPECT_EQ(Be32(track, 24), 10000u);
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x00, true)), "ok");
  ASSERT_EQ(SenseText(h.Write(0, 100, Pattern(100 * 2048, 1))), "ok");
  EXPECT_EQ(h.NextWritable(1), 100u);
  info = h.DiscInformation();
  EXPECT_EQ(info[2] & 0x0F, 0x05);            // incomplete session, incomplete disc
  ASSERT_EQ(SenseText(h.Close(1, 1)), "ok");  // padded to its ECC block
  EXPECT_EQ(Be32(h.TrackInformation(1), 24), 112u);
  EXPECT_EQ(h.NextWritable(2), 112u);
  ASSERT_EQ(SenseText(h.Write(112, 16, Pattern(16 * 2048, 2))), "ok");
  ASSERT_EQ(SenseText(h.Close(1, 2)), "ok");
  ASSERT_EQ(SenseText(h.Close(2, 77)), "ok");  // the track field is ignored
  info = h.DiscInformation();
  EXPECT_EQ(info[2] & 0x03, 1);         // appendable
  EXPECT_EQ((info[2] >> 2) & 0x03, 0);  // the new session is empty
  EXPECT_EQ(info[4], 2);
  EXPECT_EQ(info[5], 3);
  EXPECT_EQ(info[6], 3);
  EXPECT_EQ(Be32(h.TrackInformation(3), 8), 128u);
  EXPECT_EQ(h.TrackInformation(3)[3], 2);
  std::vector<std::uint8_t> toc;
  ASSERT_EQ(SenseText(h.In({0x43, 0, 1, 0, 0, 0, 0, 0, 12, 0}, &toc, 12)), "ok");
  EXPECT_EQ(toc[3], 1);  // the second session is open: the first is the last complete one
  EXPECT_EQ(toc[6], 1);
  // Second session, closed without multisession: the disc is complete.
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x00, false)), "ok");
  ASSERT_EQ(SenseText(h.Write(128, 32, Pattern(32 * 2048, 3))), "ok");
  ASSERT_EQ(SenseText(h.Close(1, 3)), "ok");
  ASSERT_EQ(SenseText(h.Close(2)), "ok");
  info = h.DiscInformation();
  EXPECT_EQ(info[2] & 0x0F, 0x0E);
  EXPECT_EQ(info[4], 2);
  EXPECT_EQ(SenseText(h.Write(160, 16, Pattern(16 * 2048, 4))), "05/21/02");
  // The table of contents lists all three tracks and the lead-out.
  ASSERT_EQ(SenseText(h.In({0x43, 0, 0, 0, 0, 0, 0, 0x03, 0x24, 0}, &toc, 804)), "ok");
  EXPECT_EQ(toc[2], 1);
  EXPECT_EQ(toc[3], 3);
  EXPECT_EQ(toc[4 + 3 * 8 + 2], 0xAA);
  EXPECT_EQ(Be32(toc, 4 + 3 * 8 + 4), 160u);
  ASSERT_EQ(SenseText(h.In({0x43, 0, 1, 0, 0, 0, 0, 0, 12, 0}, &toc, 12)), "ok");
  EXPECT_EQ(toc[3], 2);  // last complete session
  EXPECT_EQ(toc[6], 3);  // its first track
  EXPECT_EQ(Be32(toc, 8), 128u);
}

TEST(EmulatedDvdR, WithoutMultisessionClosingTheSessionCompletesTheDisc) {
  EmulatedDriveHarness h(Medium(kProfileDvdR, 10000));
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x00, false)), "ok");
  ASSERT_EQ(SenseText(h.Write(0, 50, Pattern(50 * 2048, 1))), "ok");
  EXPECT_EQ(SenseText(h.Close(2)), "ok");
  auto info = h.DiscInformation();
  EXPECT_EQ(info[2] & 0x0F, 0x0E);
  EXPECT_EQ(info[4], 1);
  EXPECT_EQ(SenseText(h.Close(2)), "05/2C/00");
  std::vector<std::uint8_t> cap;
  ASSERT_EQ(SenseText(h.In({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, &cap, 8)), "ok");
  EXPECT_EQ(Be32(cap, 0), 49u);
  EXPECT_EQ(Be32(cap, 4), 2048u);
}

TEST(EmulatedDvdR, WritesOffTheNextWritableAddressAndPastAFullDiscAreRefused) {
  EmulatedDriveHarness h(Medium(kProfileDvdR, 64));
  const auto data = Pattern(64 * 2048, 9);
  EXPECT_EQ(SenseText(h.Write(16, 16, data)), "05/21/02");
  ASSERT_EQ(SenseText(h.Write(0, 16, data)), "ok");
  EXPECT_EQ(SenseText(h.Write(0, 16, data)), "05/21/02");
  EXPECT_EQ(SenseText(h.Write(17, 1, data)), "05/21/02");
  ASSERT_EQ(SenseText(h.Write(16, 48, data)), "ok");
  EXPECT_EQ(Be32(h.TrackInformation(1), 16), 0u);  // no free blocks
  EXPECT_EQ(SenseText(h.Write(64, 1, data)), "05/21/00");
  std::vector<std::uint8_t> d;
  EXPECT_EQ(SenseText(h.Read(63, 1, &d)), "ok");
  EXPECT_EQ(SenseText(h.Read(64, 1, &d)), "05/21/00");
}

TEST(EmulatedDvdR, ReservedTracksAreFilledAtTheirOwnAddressAndCompleteWhenFull) {
  EmulatedDriveHarness h(Medium(kProfileDvdR, 1000));
  ASSERT_EQ(SenseText(h.Reserve(20)), "ok");  // rounded up to 32
  auto first = h.TrackInformation(1);
  EXPECT_EQ(first[6] & 0x80, 0x80);
  EXPECT_EQ(Be32(first, 24), 32u);
  EXPECT_EQ(h.NextWritable(2), 32u);
  EXPECT_EQ(SenseText(h.Reserve(16)), "ok");  // the invisible track 2
  EXPECT_EQ(SenseText(h.Write(32, 16, Pattern(16 * 2048, 1))), "ok");
  EXPECT_EQ(SenseText(h.Write(0, 16, Pattern(16 * 2048, 1))), "ok");
  EXPECT_EQ(SenseText(h.Write(16, 32, Pattern(32 * 2048, 1))), "05/21/02");  // past the reservation
  EXPECT_EQ(SenseText(h.Write(16, 16, Pattern(16 * 2048, 1))), "ok");
  EXPECT_EQ(h.TrackInformation(1)[7] & 1, 0);  // full: complete
  EXPECT_EQ(h.NextWritable(3), 48u);
  // A session cannot be fixed while a reserved track is still being filled;
  // closing that track pads it.
  ASSERT_EQ(SenseText(h.Reserve(32)), "ok");
  ASSERT_EQ(SenseText(h.Write(48, 16, Pattern(16 * 2048, 1))), "ok");
  EXPECT_EQ(SenseText(h.Close(2)), "05/72/03");
  ASSERT_EQ(SenseText(h.Close(1, 3)), "ok");
  EXPECT_EQ(Be32(h.TrackInformation(3), 24), 32u);
  EXPECT_EQ(SenseText(h.Close(2)), "ok");
  EXPECT_EQ(h.DiscInformation()[4], 1);  // no multisession asked for: complete
  EXPECT_EQ(h.DiscInformation()[2] & 0x03, 2);
}

TEST(EmulatedDvdR, AnEmptySessionCannotBeClosedAndTrackZeroIsNoTrackOnDvd) {
  EmulatedDriveHarness h(Medium(kProfileDvdR, 1000));
  EXPECT_EQ(SenseText(h.Close(2)), "05/2C/00");
  EXPECT_EQ(SenseText(h.Close(1, 0)), "05/24/00");
  std::vector<std::uint8_t> d;
  EXPECT_EQ(SenseText(h.In({0x52, 1, 0, 0, 0, 0, 0, 0, 48, 0}, &d, 48)), "05/24/00");
  EXPECT_EQ(SenseText(h.None({0x5B, 0, 0x04, 0, 0, 0, 0, 0, 0, 0})), "05/24/00");
}

TEST(EmulatedDvdRw, DiscAtOnceClosesOnSynchronizeCacheOnceTheReservationIsFull) {
  EmulatedDriveHarness h(Medium(kProfileDvdRwSequential, 5000));
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x02, false)), "ok");
  EXPECT_EQ(SenseText(h.Write(0, 16, Pattern(16 * 2048, 1))), "05/2C/00");  // nothing reserved
  ASSERT_EQ(SenseText(h.Reserve(64)), "ok");
  ASSERT_EQ(SenseText(h.Sync(true)), "ok");  // not full yet: nothing happens
  EXPECT_EQ(h.DiscInformation()[2] & 0x03, 1);
  ASSERT_EQ(SenseText(h.Write(0, 32, Pattern(32 * 2048, 1))), "ok");
  ASSERT_EQ(SenseText(h.Write(32, 32, Pattern(32 * 2048, 2))), "ok");
  EXPECT_EQ(h.DiscInformation()[2] & 0x03, 1);
  h.drive().SetOperationLength(2);
  ASSERT_EQ(SenseText(h.Sync(true)), "ok");
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "02/04/08");
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "02/04/08");
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "ok");
  auto info = h.DiscInformation();
  EXPECT_EQ(info[2] & 0x1F, 0x1E);  // erasable, complete session, complete disc
  EXPECT_EQ(SenseText(h.Reserve(16)), "05/2C/00");
}

TEST(EmulatedDvdPlusR, AnImageWrittenIsReadBackByteIdenticalAndFinalising) {
  EmulatedDriveHarness h(Medium(kProfileDvdPlusR, 3000));
  const auto image = Pattern(300 * 2048, 42);
  for (std::uint32_t lba = 0; lba < 300; lba += 32) {
    std::uint32_t n = std::min<std::uint32_t>(32, 300 - lba);
    ASSERT_EQ(SenseText(h.Write(h.NextWritable(1), n, image, 2048, lba * 2048)), "ok");
  }
  std::vector<std::uint8_t> back, all;
  for (std::uint32_t lba = 0; lba < 300; lba += 50) {
    ASSERT_EQ(SenseText(h.Read(lba, 50, &back)), "ok");
    all.insert(all.end(), back.begin(), back.end());
  }
  EXPECT_EQ(all, image);
  ASSERT_EQ(SenseText(h.Sync()), "ok");
  ASSERT_EQ(SenseText(h.Close(1, 1)), "ok");
  ASSERT_EQ(SenseText(h.Close(2, 255)), "ok");
  EXPECT_EQ(h.DiscInformation()[2] & 0x03, 1);  // a DVD+R session close leaves it appendable
  h.drive().SetOperationLength(1);
  EXPECT_EQ(SenseText(h.Close(6, 2, true)), "ok");  // immediate: busy for one command
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "02/04/07");
  EXPECT_EQ(h.DiscInformation()[2] & 0x0F, 0x0E);
  EXPECT_EQ(SenseText(h.Close(3)), "05/2C/00");
  std::vector<std::uint8_t> s;
  ASSERT_EQ(SenseText(h.In({0xAD, 0, 0, 0, 0, 0, 0, 0x11, 0, 0x7F, 0, 0}, &s, 127)), "ok");
  EXPECT_EQ(std::string(s.begin() + 23, s.begin() + 31), "VANTORA1");
}

TEST(EmulatedDvdPlusR, FinalisingWithFunctionFiveDropsAnEmptyLastSession) {
  EmulatedDriveHarness h(Medium(kProfileDvdPlusR, 3000));
  ASSERT_EQ(SenseText(h.Write(0, 16, Pattern(16 * 2048, 1))), "ok");
  ASSERT_EQ(SenseText(h.Close(2)), "ok");
  EXPECT_EQ(h.DiscInformation()[4], 2);
  EXPECT_EQ(SenseText(h.Close(3)), "05/24/00");  // not a DVD+R function
  ASSERT_EQ(SenseText(h.Close(5)), "ok");
  auto info = h.DiscInformation();
  EXPECT_EQ(info[2] & 0x0F, 0x0E);
  EXPECT_EQ(info[4], 1);
  EXPECT_EQ(SenseText(h.Write(16, 16, Pattern(16 * 2048, 1))), "05/21/02");
}

TEST(EmulatedCdRw, TestWritesAreDiscardedAndACloseAfterThemChangesNothing) {
  EmulatedDriveHarness h(Medium(kProfileCdRw, 20000));
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x01, true, true)), "ok");
  ASSERT_EQ(SenseText(h.Write(0, 30, Pattern(30 * 2048, 1))), "ok");
  ASSERT_EQ(SenseText(h.Write(30, 30, Pattern(30 * 2048, 2))), "ok");
  ASSERT_EQ(SenseText(h.Close(1, 1)), "ok");
  ASSERT_EQ(SenseText(h.Close(2)), "ok");
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x01, true, false)), "ok");
  auto info = h.DiscInformation();
  EXPECT_EQ(info[2] & 0x0F, 0);
  EXPECT_EQ(h.NextWritable(1), 0u);
  std::vector<std::uint8_t> d;
  EXPECT_EQ(SenseText(h.Read(0, 1, &d)), "05/21/00");
  EXPECT_EQ(std::filesystem::file_size(h.folder() / "drive" / "media.img"), 0u);
}

TEST(EmulatedCdR, SessionsAreSeparatedByLeadOutAndLeadInAndDiscInformationGivesMsfTimes) {
  EmulatedDriveHarness h(Medium(kProfileCdR));
  auto info = h.DiscInformation();
  EXPECT_EQ(info[17], 97);  // lead-in start 97:26:66 from the ATIP
  EXPECT_EQ(info[18], 26);
  EXPECT_EQ(info[19], 66);
  EXPECT_EQ(info[21], 79);  // last possible lead-out 79:59:74
  EXPECT_EQ(info[22], 59);
  EXPECT_EQ(info[23], 74);
  std::vector<std::uint8_t> atip;
  ASSERT_EQ(SenseText(h.In({0x43, 0, 0x04, 0, 0, 0, 0, 0, 0xFF, 0}, &atip, 255)), "ok");
  EXPECT_EQ(atip[8], 97);
  EXPECT_EQ(atip[9], 26);
  EXPECT_EQ(atip[10], 66);
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x01, true)), "ok");
  ASSERT_EQ(SenseText(h.Write(0, 300, Pattern(300 * 2048, 1))), "ok");
  std::vector<std::uint8_t> toc;
  EXPECT_EQ(SenseText(h.In({0x43, 0x02, 0, 0, 0, 0, 0, 0x03, 0x24, 0}, &toc, 804)),
            "05/24/00");  // nothing closed yet
  ASSERT_EQ(SenseText(h.Close(1, 1)), "ok");
  ASSERT_EQ(SenseText(h.Close(2)), "ok");
  EXPECT_EQ(h.NextWritable(2), 300u + 11400u);
  info = h.DiscInformation();
  EXPECT_EQ(info[4], 2);
  const std::int32_t lead_in = MsfToLba({info[17], info[18], info[19]});
  EXPECT_EQ(lead_in, 300 + 6750);
  ASSERT_EQ(SenseText(h.In({0x43, 0x02, 0, 0, 0, 0, 0, 0x03, 0x24, 0}, &toc, 804)), "ok");
  ASSERT_EQ(toc.size(), 20u);
  EXPECT_EQ(toc[5], 0x14);
  EXPECT_EQ(toc[9] * 10000 + toc[10] * 100 + toc[11], 200);   // track 1 at 00:02:00
  EXPECT_EQ(toc[17] * 10000 + toc[18] * 100 + toc[19], 600);  // lead-out at 00:06:00
  auto lead = h.TrackInformation(0);
  EXPECT_EQ(lead[2], 0);
  EXPECT_EQ(std::int32_t(Be32(lead, 8)), -11634);
  EXPECT_EQ(h.TrackInformation(0xFF)[2], 2);  // the invisible track
}

TEST(EmulatedCdR, AnUnderrunWithoutBufferProtectionSpoilsTheTrack) {
  EmulatedDriveHarness h(Medium(kProfileCdR, 5000));
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x01, false, false, 8, true)), "ok");
  h.drive().ArmUnderrun();
  EXPECT_EQ(SenseText(h.Write(0, 10, Pattern(10 * 2048, 1))), "ok");  // BUFE absorbs it
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x01, false)), "ok");
  h.drive().ArmUnderrun();
  EXPECT_EQ(SenseText(h.Write(10, 10, Pattern(10 * 2048, 1))), "03/0C/09");
  EXPECT_EQ(h.TrackInformation(1)[5] & 0x20, 0x20);  // damaged
  EXPECT_EQ(SenseText(h.Write(10, 10, Pattern(10 * 2048, 1))), "05/21/02");
}

// ---- erasing and formatting -------------------------------------------------------

TEST(EmulatedCdRw, BlankWithImmedIsBusyForItsCommandsThenLeavesABlankDisc) {
  EmulatedDriveHarness h(Medium(kProfileCdRw, 20000));
  ASSERT_EQ(SenseText(h.Write(0, 30, Pattern(30 * 2048, 1))), "ok");
  ASSERT_EQ(SenseText(h.Close(1, 1)), "ok");
  h.drive().SetOperationLength(3);
  ASSERT_EQ(SenseText(h.None({0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})), "ok");  // minimal, IMMED
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "02/04/07");
  std::vector<std::uint8_t> d;
  ASSERT_EQ(SenseText(h.In({0x03, 0, 0, 0, 18, 0}, &d, 18)), "ok");
  EXPECT_EQ(d[2], 0x02);
  EXPECT_EQ(d[12], 0x04);
  EXPECT_EQ(d[13], 0x07);
  EXPECT_EQ(d[15] & 0x80, 0x80);  // progress indication
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "02/04/07");
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "ok");
  auto info = h.DiscInformation();
  EXPECT_EQ(info[2] & 0x1F, 0x10);  // erasable, empty
  EXPECT_EQ(SenseText(h.Read(0, 1, &d)), "05/21/00");
  // Without IMMED the blank is done when the command returns. A block of
  // another length than the command's own (which the transport policy never
  // lets through) is taken as a packet interface takes it: zero-padded.
  ASSERT_EQ(SenseText(h.Write(0, 30, Pattern(30 * 2048, 1))), "ok");
  h.drive().SetStrict(false);
  ASSERT_EQ(SenseText(h.None({0xA1, 0x00, 0, 0, 0, 0, 0, 0, 0})), "ok");
  EXPECT_EQ(h.drive().CommandLog().back().cdb.size(), 12u);
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "ok");
  EXPECT_EQ(h.DiscInformation()[2] & 0x03, 0);
  EXPECT_EQ(std::filesystem::file_size(h.folder() / "drive" / "media.img"), 0u);
}

TEST(EmulatedCdRw, TheLastSessionCanBeReopenedOrErased) {
  EmulatedDriveHarness h(Medium(kProfileCdRw, 40000));
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x01, true)), "ok");
  ASSERT_EQ(SenseText(h.Write(0, 300, Pattern(300 * 2048, 1))), "ok");
  ASSERT_EQ(SenseText(h.Close(2)), "ok");
  const std::uint32_t second = h.NextWritable(2);
  ASSERT_EQ(SenseText(h.Write(second, 300, Pattern(300 * 2048, 2))), "ok");
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x01, false)), "ok");
  ASSERT_EQ(SenseText(h.Close(2)), "ok");
  EXPECT_EQ(h.DiscInformation()[2] & 0x03, 2);
  // Unclosing: the complete disc takes another track in its last session.
  ASSERT_EQ(SenseText(h.None({0xA1, 0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})), "ok");
  auto info = h.DiscInformation();
  EXPECT_EQ(info[2] & 0x0F, 0x05);
  EXPECT_EQ(info[4], 2);
  EXPECT_EQ(h.NextWritable(3), second + 300);
  EXPECT_EQ(SenseText(h.None({0xA1, 0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})), "05/2C/00");  // open already
  // Erasing the last session leaves the first one and a new open track.
  ASSERT_EQ(SenseText(h.None({0xA1, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})), "ok");
  info = h.DiscInformation();
  EXPECT_EQ(info[4], 2);
  EXPECT_EQ(info[5], 2);
  EXPECT_EQ(h.NextWritable(2), second);
  std::vector<std::uint8_t> d;
  EXPECT_EQ(SenseText(h.Read(second, 1, &d)), "05/21/00");
  ASSERT_EQ(SenseText(h.Read(0, 1, &d)), "ok");
  EXPECT_EQ(SenseText(h.None({0xA1, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})), "05/24/00");
}

TEST(EmulatedDriveErase, WriteOnceMediaCannotBeBlankedOrFormatted) {
  EmulatedDriveHarness h(Medium(kProfileCdR));
  EXPECT_EQ(SenseText(h.None({0xA1, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})), "05/30/00");
  std::vector<std::uint8_t> params = {0, 0x80, 0, 8, 0, 0x23, 0x05, 0x40, 0x98, 0, 0, 0};
  EXPECT_EQ(SenseText(h.Out({0x04, 0x11, 0, 0, 0, 0}, params)), "05/30/06");
  MediumSpec locked = Medium(kProfileDvdRwSequential);
  locked.write_protected = true;
  EmulatedDriveHarness p(locked);
  EXPECT_EQ(SenseText(p.None({0xA1, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})), "07/27/00");
  EXPECT_EQ(SenseText(p.Write(0, 16, Pattern(16 * 2048, 1))), "07/27/00");
}

TEST(EmulatedDvdPlusRw, FormattingRunsInTheBackgroundUntilDoneOrStopped) {
  EmulatedDriveHarness h(Medium(kProfileDvdPlusRw, 4096));
  std::vector<std::uint8_t> d;
  ASSERT_EQ(SenseText(h.In({0x23, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0}, &d, 248)), "ok");
  EXPECT_EQ(d[8], 0x01);  // unformatted
  ASSERT_GE(d[3], 16);
  EXPECT_EQ(Be32(d, 12), 4096u);
  EXPECT_EQ(d[16], 0x98);
  EXPECT_EQ(SenseText(h.Read(0, 1, &d)), "02/30/10");
  EXPECT_EQ(SenseText(h.Write(0, 32, Pattern(32 * 2048, 1))), "02/30/10");
  h.drive().SetOperationLength(4);
  std::vector<std::uint8_t> params = {0, 0x80, 0, 8, 0, 0, 0x10, 0x00, 0x98, 0, 0, 0};
  ASSERT_EQ(SenseText(h.Out({0x04, 0x11, 0, 0, 0, 0}, params)), "ok");
  auto info = h.DiscInformation();
  EXPECT_EQ(info[7] & 0x03, 2);  // background format running
  EXPECT_EQ(info[2] & 0x03, 2);
  EXPECT_EQ(SenseText(h.Write(0, 32, Pattern(32 * 2048, 1))), "ok");  // usable meanwhile
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "ok");
  EXPECT_EQ(h.DiscInformation()[7] & 0x03, 3);  // done after its commands
  ASSERT_EQ(SenseText(h.In({0x23, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0}, &d, 248)), "ok");
  EXPECT_EQ(d[8], 0x02);
  // A new format stopped by CLOSE function 3 stays formatted, background status 1.
  ASSERT_EQ(SenseText(h.Out({0x04, 0x11, 0, 0, 0, 0}, params)), "ok");
  ASSERT_EQ(SenseText(h.Close(3)), "ok");
  EXPECT_EQ(h.DiscInformation()[7] & 0x03, 1);
  ASSERT_EQ(SenseText(h.Write(100, 16, Pattern(16 * 2048, 1))), "ok");
  ASSERT_EQ(SenseText(h.Read(100, 16, &d)), "ok");
  EXPECT_EQ(d, Pattern(16 * 2048, 1));
  params[8] = 0x00;  // a format type the medium does not take
  EXPECT_EQ(SenseText(h.Out({0x04, 0x11, 0, 0, 0, 0}, params)), "05/26/00");
}

TEST(EmulatedDvdRw, FormatWithImmedReportsFormatInProgressThenRestrictedOverwrite) {
  EmulatedDriveHarness h(Medium(kProfileDvdRwSequential, 4096));
  h.drive().SetOperationLength(2);
  std::vector<std::uint8_t> params = {0, 0x82, 0, 8, 0, 0, 0x10, 0x00, 0x00, 0, 0, 16};
  ASSERT_EQ(SenseText(h.Out({0x04, 0x11, 0, 0, 0, 0}, params)), "ok");
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "02/04/04");
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "02/04/04");
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "ok");
  std::vector<std::uint8_t> d;
  ASSERT_EQ(SenseText(h.In({0x46, 0x02, 0, 0, 0, 0, 0, 0, 8, 0}, &d, 8)), "ok");
  EXPECT_EQ(Be16(d, 6), kProfileDvdRwRestricted);
  EXPECT_EQ(SenseText(h.Write(8, 16, Pattern(16 * 2048, 1))), "05/21/02");  // not on a block boundary
  EXPECT_EQ(SenseText(h.Write(32, 16, Pattern(16 * 2048, 1))), "ok");
  // Blanking returns it to sequential recording.
  ASSERT_EQ(SenseText(h.None({0xA1, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})), "ok");
  ASSERT_EQ(SenseText(h.In({0x46, 0x02, 0, 0, 0, 0, 0, 0, 8, 0}, &d, 8)), "ok");
  EXPECT_EQ(Be16(d, 6), kProfileDvdRwSequential);
}

TEST(EmulatedDriveFormat, WithoutImmedAFormatIsDoneWhenTheCommandReturns) {
  EmulatedDriveHarness rw(Medium(kProfileDvdRwSequential, 4096));
  std::vector<std::uint8_t> params = {0, 0x80, 0, 8, 0, 0, 0x10, 0x00, 0x54, 0, 0, 16};  // quick (15h)
  ASSERT_EQ(SenseText(rw.Out({0x04, 0x11, 0, 0, 0, 0}, params)), "ok");
  EXPECT_EQ(SenseText(rw.None(kTestUnitReady)), "ok");
  EXPECT_EQ(rw.DiscInformation()[2] & 0x03, 2);
  EmulatedDriveHarness bd(Medium(kProfileBdRe, 8192));
  EXPECT_EQ(bd.DiscInformation()[2] & 0x03, 0);
  EXPECT_EQ(SenseText(bd.Write(0, 32, Pattern(32 * 2048, 1))), "02/30/10");
  params = {0, 0x80, 0, 8, 0, 0, 0x20, 0x00, 0x00, 0, 0, 0};
  ASSERT_EQ(SenseText(bd.Out({0x04, 0x11, 0, 0, 0, 0}, params)), "ok");
  EXPECT_EQ(bd.DiscInformation()[2] & 0x03, 3);
  EXPECT_EQ(SenseText(bd.Write(0, 32, Pattern(32 * 2048, 1))), "ok");
  EXPECT_EQ(SenseText(bd.Out({0x04, 0x01, 0, 0, 0, 0}, params)), "05/24/00");  // no format data
}

// ---- structures -----------------------------------------------------------------

TEST(EmulatedDriveStructures, DvdStructuresFollowTheMediumAndRefuseOtherMediaTypes) {
  MediumSpec spec = Medium(kProfileDvdR, 8000);
  spec.manufacturer_id = "MCC 03RG20";
  EmulatedDriveHarness h(spec);
  std::vector<std::uint8_t> s;
  ASSERT_EQ(SenseText(h.Write(0, 100, Pattern(100 * 2048, 1))), "ok");
  ASSERT_EQ(SenseText(h.In({0xAD, 0, 0, 0, 0, 0, 0, 0x00, 0x08, 0x04, 0, 0}, &s, 2052)), "ok");
  EXPECT_EQ(s[4] >> 4, 2);  // DVD-R book
  EXPECT_EQ(Be32(s, 8), 0x030000u);
  EXPECT_EQ(Be32(s, 12), 0x030000u + 99);
  ASSERT_EQ(SenseText(h.In({0xAD, 0, 0, 0, 0, 0, 0, 0x0E, 0, 0x7F, 0, 0}, &s, 127)), "ok");
  EXPECT_EQ(std::string(s.begin() + 21, s.begin() + 27), "MCC 03");
  EXPECT_EQ(std::string(s.begin() + 29, s.begin() + 33), "RG20");
  EXPECT_EQ(SenseText(h.In({0xAD, 0, 0, 0, 0, 0, 0, 0x11, 0, 0x7F, 0, 0}, &s, 127)), "05/24/00");
  EXPECT_EQ(SenseText(h.In({0xAD, 1, 0, 0, 0, 0, 0, 0x00, 0, 0x7F, 0, 0}, &s, 127)), "05/24/00");
  h.drive().SetStrict(false);
  EXPECT_EQ(SenseText(h.In({0xAD, 1, 0, 0, 0, 0, 0, 0x00, 0, 0x7F, 0, 0}, &s, 127)), "ok");
  EmulatedDriveHarness cd(Medium(kProfileCdR));
  EXPECT_EQ(SenseText(cd.In({0xAD, 0, 0, 0, 0, 0, 0, 0x00, 0, 0x7F, 0, 0}, &s, 127)), "05/30/02");
}

TEST(EmulatedDriveContent, PressedDiscsHoldTheirContentAsOneClosedTrack) {
  TempFolder folder;
  const auto pcm = Pattern(20 * 2352 + 100, 8), iso = Pattern(10 * 2048, 9);
  std::ofstream(folder.path() / "audio.raw", std::ios::binary)
      .write(reinterpret_cast<const char*>(pcm.data()), std::streamsize(pcm.size()));
  std::ofstream(folder.path() / "data.iso", std::ios::binary)
      .write(reinterpret_cast<const char*>(iso.data()), std::streamsize(iso.size()));
  MediumSpec audio = Medium(kProfileCdRom);
  audio.content = folder.path() / "audio.raw";
  audio.content_is_audio = true;
  EmulatedDriveHarness cd(audio);
  std::vector<std::uint8_t> d;
  ASSERT_EQ(SenseText(cd.In({0x43, 0, 0, 0, 0, 0, 0, 0x03, 0x24, 0}, &d, 804)), "ok");
  EXPECT_EQ(d[5], 0x10);        // audio track
  EXPECT_EQ(Be32(d, 16), 21u);  // lead-out after 21 frames, the last one padded
  ASSERT_EQ(SenseText(cd.In({0xBE, 0x04, 0, 0, 0, 20, 0, 0, 1, 0x10, 0, 0}, &d, 2352)), "ok");
  EXPECT_TRUE(std::equal(d.begin(), d.begin() + 100, pcm.begin() + 20 * 2352));
  EXPECT_EQ(d[100], 0);
  EXPECT_EQ(SenseText(cd.Write(21, 1, Pattern(2048, 1))), "05/30/05");
  EXPECT_EQ(cd.DiscInformation()[2] & 0x03, 2);

  MediumSpec dvd = Medium(kProfileDvdRom);
  dvd.content = folder.path() / "data.iso";
  EmulatedDriveHarness rom(dvd);
  ASSERT_EQ(SenseText(rom.Read(0, 10, &d)), "ok");
  EXPECT_EQ(d, iso);
  EXPECT_EQ(SenseText(rom.Read(10, 1, &d)), "05/21/00");
  std::string error;
  MediumSpec missing = Medium(kProfileDvdRom);
  missing.content = folder.path() / "none.iso";
  EXPECT_FALSE(rom.drive().InsertMedium(missing, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(SenseText(rom.None(kTestUnitReady)), "02/3A/00");
}

// ---- persistence and drive selection ---------------------------------------------

TEST(EmulatedDrivePersistence, StateAndDataSurviveReopening) {
  EmulatedDriveHarness h(Medium(kProfileDvdR, 10000));
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x00, true)), "ok");
  ASSERT_EQ(SenseText(h.Write(0, 64, Pattern(64 * 2048, 5))), "ok");
  ASSERT_EQ(SenseText(h.Close(1, 1)), "ok");
  ASSERT_EQ(SenseText(h.Write(64, 16, Pattern(16 * 2048, 6))), "ok");
  const auto info = h.DiscInformation();
  const auto track1 = h.TrackInformation(1), track2 = h.TrackInformation(2);
  h.Reopen();
  EXPECT_EQ(h.DiscInformation(), info);
  EXPECT_EQ(h.TrackInformation(1), track1);
  EXPECT_EQ(h.TrackInformation(2), track2);
  std::vector<std::uint8_t> d;
  ASSERT_EQ(SenseText(h.Read(0, 64, &d)), "ok");
  EXPECT_EQ(d, Pattern(64 * 2048, 5));
  // The write parameters are the drive's own, lost with power: the reopened
  // drive is back to its defaults, and the open track takes further data.
  ASSERT_EQ(SenseText(h.Write(80, 16, Pattern(16 * 2048, 7))), "ok");
  ASSERT_TRUE(h.drive().OpenTray());
  h.Reopen();
  EXPECT_EQ(SenseText(h.None(kTestUnitReady)), "02/3A/02");
}

TEST(EmulatedDrivePersistence, ABrokenStateFileIsRefusedWithAMessage) {
  TempFolder folder;
  std::string error;
  EXPECT_EQ(EmulatedDrive::Open(folder.path() / "none", &error), nullptr);
  EXPECT_NE(error.find("does not exist"), std::string::npos);
  ASSERT_TRUE(EmulatedDrive::Create(folder.path() / "d", {}, nullptr, &error)) << error;
  EXPECT_FALSE(EmulatedDrive::Create(folder.path() / "d", {}, nullptr, &error));
  std::filesystem::create_directories(folder.path() / "other");
  std::ofstream(folder.path() / "other" / "media.img") << "not ours";
  EXPECT_FALSE(EmulatedDrive::Create(folder.path() / "other", {}, nullptr, &error));
  EXPECT_EQ(std::filesystem::file_size(folder.path() / "other" / "media.img"), 8u);
  std::ofstream(folder.path() / "d" / "drive.state")
      << "vantora-emulated-drive 1\nmedium=1b\ntrack=1,1,0,5,9,2,0,0,0\n";
  EXPECT_EQ(EmulatedDrive::Open(folder.path() / "d", &error), nullptr);
  EXPECT_NE(error.find("bad line 3"), std::string::npos) << error;
}

TEST(OpenDrives, EmulatedDrivesAreOpenedInAddressOrderAndAMissingFolderFailsWith501) {
  TempFolder folder;
  std::string error;
  EmulatedIdentity first, second;
  first.address.target = 3;
  second.address.target = 1;
  second.product = "SECOND";
  ASSERT_TRUE(EmulatedDrive::Create(folder.path() / "a", first, nullptr, &error)) << error;
  ASSERT_TRUE(EmulatedDrive::Create(folder.path() / "b", second, nullptr, &error)) << error;
  const std::string a = "emu:" + (folder.path() / "a").string(), b = "emu:" + (folder.path() / "b").string();
  ScanResult r = OpenDrives(a + "," + b);
  ASSERT_EQ(r.load_error, 0) << r.message;
  ASSERT_EQ(r.devices.size(), 2u);
  EXPECT_EQ(r.devices[0]->identity().product, "SECOND          ");
  EXPECT_EQ(r.devices[1]->identity().node, (folder.path() / "a").string());
  r = OpenDrives(a + ",emu:" + (folder.path() / "missing").string());
  EXPECT_EQ(r.load_error, 501);
  EXPECT_TRUE(r.devices.empty());
  EXPECT_FALSE(r.message.empty());
  r = OpenDrives("floppy");
  EXPECT_EQ(r.load_error, 501);
  r = OpenDrives(a + ",");
  EXPECT_EQ(r.load_error, 501);
}

TEST(EmulatedDriveExport, ExportWritesTheUserDataAndRefusesToOverwrite) {
  EmulatedDriveHarness h(Medium(kProfileCdR, 3000));
  const auto data = Pattern(40 * 2048, 11);
  ASSERT_EQ(SenseText(h.Write(0, 40, data)), "ok");
  const auto out = h.folder() / "out.iso";
  std::string error;
  ASSERT_TRUE(h.drive().ExportUserData(out, &error)) << error;
  std::ifstream in(out, std::ios::binary);
  std::vector<std::uint8_t> got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(got, data);
  EXPECT_FALSE(h.drive().ExportUserData(out, &error));
}

}  // namespace
}  // namespace platform
