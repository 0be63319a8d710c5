#include "drive/mmc_drive.h"

#include <gtest/gtest.h>

#include <numeric>

#include "drive/drive_list.h"
#include "drive/drive_testutil.h"
#include "drive/media.h"
#include "jobs/job_clock_testutil.h"
#include "platform/byte_order.h"

namespace zephrel {
namespace {

using namespace std::chrono_literals;
using platform::ScsiResult;
using testing::Medium;
using testing::PolicedDrive;
using testing::ScriptedDevice;
namespace pm = platform::mmc;

std::shared_ptr<ScriptedDevice> Scripted() { return std::make_shared<ScriptedDevice>(); }

// ---- writing ----------------------------------------------------------------

TEST(MmcWrite10, ALongWriteInProgressIsTheResultAtTheFirstAnswerWhenNotWaiting) {
  auto device = Scripted();
  device->Always(pm::kWrite10, ScriptedDevice::Failure(0x02, 0x04, 0x08));
  MmcDrive drive(device);
  std::vector<std::uint8_t> data(2048);
  testing::ManualJobClock clock;
  EXPECT_TRUE(LongWriteInProgress(drive.MmcWrite10(data, 0, 1, false, {&clock, {}})));
  EXPECT_EQ(device->CountOf(pm::kWrite10), 1u);
  EXPECT_TRUE(clock.Sleeps().empty());
}

TEST(MmcWrite10, WaitingBacksOffFrom5To20MsAndGivesUpAfterAbout120Seconds) {
  auto device = Scripted();
  device->Always(pm::kWrite10, ScriptedDevice::Failure(0x02, 0x04, 0x08));
  MmcDrive drive(device);
  std::vector<std::uint8_t> data(2048);
  testing::ManualJobClock clock;
  const ScsiResult r = drive.MmcWrite10(data, 0, 1, true, {&clock, {}});
  EXPECT_FALSE(r.ok());
  const auto sleeps = clock.Sleeps();
  ASSERT_GE(sleeps.size(), 3u);
  EXPECT_EQ(sleeps[0], 5ms);
  EXPECT_EQ(sleeps[1], 10ms);
  EXPECT_EQ(sleeps[2], 20ms);
  for (auto s : sleeps) EXPECT_LE(s, JobClock::Duration(20ms));
  EXPECT_GE(clock.Elapsed(), JobClock::Duration(120s));
  EXPECT_LT(clock.Elapsed(), JobClock::Duration(121s));
  EXPECT_EQ(device->CountOf(pm::kWrite10), sleeps.size() + 1);
  EXPECT_EQ(FailureText(r), "Logical Unit Not Ready, Long Write In Progress");
}

TEST(MmcWrite10, WaitingEndsWhenTheJobIsCancelledAndWritesOnceTheDriveIsReady) {
  auto device = Scripted();
  device->Always(pm::kWrite10, ScriptedDevice::Failure(0x02, 0x04, 0x08));
  MmcDrive drive(device);
  std::vector<std::uint8_t> data(2048);
  testing::ManualJobClock clock;
  std::atomic<bool> cancel{true};
  EXPECT_FALSE(drive.MmcWrite10(data, 0, 1, true, {&clock, {}, &cancel}).ok());
  EXPECT_EQ(device->CountOf(pm::kWrite10), 1u);
  std::stop_source stop;
  stop.request_stop();
  EXPECT_FALSE(drive.MmcWrite10(data, 0, 1, true, {&clock, stop.get_token()}).ok());
  EXPECT_EQ(device->CountOf(pm::kWrite10), 2u);

  auto later = Scripted();
  for (int i = 0; i < 3; ++i) later->Queue(pm::kWrite10, ScriptedDevice::Failure(0x02, 0x04, 0x08));
  later->Always(pm::kWrite10, ScriptedDevice::Reply({}));
  MmcDrive ready(later);
  EXPECT_TRUE(ready.MmcWrite10(data, 0, 1, true, {&clock, {}}).ok());
  EXPECT_EQ(later->CountOf(pm::kWrite10), 4u);
}

TEST(MmcWrite10, AnotherFailureIsTried51TimesAbout1MsApartAndLeavesItsText) {
  auto device = Scripted();
  device->Always(pm::kWrite10, ScriptedDevice::Failure(0x03, 0x0C, 0x00));
  MmcDrive drive(device);
  std::vector<std::uint8_t> data(4096);
  testing::ManualJobClock clock;
  const ScsiResult r = drive.MmcWrite10(data, 100, 2, true, {&clock, {}});
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(device->CountOf(pm::kWrite10), 51u);
  const auto sleeps = clock.Sleeps();
  EXPECT_EQ(sleeps.size(), 50u);
  for (auto s : sleeps) EXPECT_EQ(s, JobClock::Duration(1ms));
  EXPECT_EQ(FailureText(r), "Write Error");
  const auto sent = device->Log().back();
  EXPECT_EQ(sent.cdb, (std::vector<std::uint8_t>{0x2A, 0, 0, 0, 0, 100, 0, 0, 2, 0}));
  EXPECT_EQ(sent.data.size(), 4096u);
}

// Changed from the retry rule: a write is not sent again after a reset or a
// medium change (the disc may be another one) nor without a medium.
TEST(MmcWrite10, AUnitAttentionOrAMissingMediumFailsAtOnce) {
  for (auto failure :
       {ScriptedDevice::Failure(0x06, 0x28, 0x00), ScriptedDevice::Failure(0x06, 0x29, 0x00),
        ScriptedDevice::Failure(0x02, 0x3A, 0x00), ScriptedDevice::Failure(0x02, 0x3A, 0x02)}) {
    auto device = Scripted();
    device->Always(pm::kWrite10, failure);
    MmcDrive drive(device);
    std::vector<std::uint8_t> data(2048);
    testing::ManualJobClock clock;
    const ScsiResult r = drive.MmcWrite10(data, 0, 1, true, {&clock, {}});
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(device->CountOf(pm::kWrite10), 1u) << int(failure.asc);
    EXPECT_TRUE(clock.Sleeps().empty());
    EXPECT_FALSE(FailureText(r).empty());
  }
}

TEST(MmcWrite10, WritesLandOnTheEmulatedDiscThroughThePolicy) {
  PolicedDrive emulated(Medium(pm::kProfileDvdPlusR));
  MmcDrive drive = emulated.Mmc();
  std::vector<std::uint8_t> data(16 * 2048);
  std::iota(data.begin(), data.end(), 0);
  ASSERT_TRUE(drive.MmcWrite10(data, 0, 16, true).ok());
  std::vector<std::uint8_t> back(16 * 2048);
  ASSERT_TRUE(drive.MmcReadSectors(0, 16, back).ok());
  EXPECT_EQ(back, data);
  // A buffer too small for the count is refused before anything is sent.
  std::vector<std::uint8_t> small(2048);
  EXPECT_FALSE(drive.MmcReadSectors(0, 2, small).ok());
  EXPECT_FALSE(drive.MmcReadCd(0, 1, small).ok());
}

TEST(MmcCloseTrackSession, AFailureLeavesItsTextAndIsNotRetried) {
  auto device = Scripted();
  device->Always(pm::kCloseTrackSession, ScriptedDevice::Failure(0x05, 0x72, 0x03));
  MmcDrive drive(device);
  const ScsiResult r = drive.MmcCloseTrackSession(false, mmc::kCloseSession, 0);
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(device->CountOf(pm::kCloseTrackSession), 1u);
  EXPECT_EQ(FailureText(r), "Session Fixation Error - Incomplete Track in Session");
  EXPECT_EQ(device->Log()[0].cdb, (std::vector<std::uint8_t>{0x5B, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}));
}

// ---- sessions, tracks, formats ----------------------------------------------

TEST(MmcDiscInformation, OneCompleteSessionAndAnEmptyAppendableOneCountAsOne) {
  PolicedDrive emulated(Medium(pm::kProfileCdR, 40000));
  MmcDrive drive = emulated.Mmc();
  ASSERT_TRUE(
      drive.MmcSetWriteParameters(pm::kDataBlockMode1, pm::kWriteTypeTrackAtOnce, false, true, false).ok());
  std::vector<std::uint8_t> data(300 * 2048, 7);
  ASSERT_TRUE(drive.MmcWrite10(data, 0, 300, true).ok());
  ASSERT_TRUE(drive.MmcCloseTrackSession(false, mmc::kCloseSession, 0).ok());
  EXPECT_EQ(drive.MmcGetSessionCount(), 1);
  EXPECT_EQ(drive.MmcGetLastSessionState(), pm::kSessionEmpty);
  EXPECT_EQ(drive.MmcDiscIsWritable(), true);
  EXPECT_EQ(drive.MmcDiscIsBlank(), false);
  EXPECT_EQ(drive.MmcGetLastTrackNumber(), 2);
  EXPECT_EQ(drive.MmcGetTrackSessionNumber(1), 1u);
  EXPECT_EQ(drive.MmcGetTrackStartAddress(1), 0u);
  EXPECT_EQ(drive.MmcGetTrackSize(1), 300u);
  EXPECT_EQ(drive.MmcGetSessionTrackStart(2), drive.MmcGetTrackStartLba(2));
  EXPECT_EQ(drive.MmcGetNextWritableAddress(2), drive.MmcGetTrackStartLba(2));
  EXPECT_GT(drive.MmcGetNextWritableAddress(2).value_or(0), 300u);
  EXPECT_TRUE(drive.MmcGetCdMediaCode().ok());
  EXPECT_EQ(drive.MmcDiscIsErasable(), false);
}

TEST(MmcDiscInformation, EveryQueryGivesNothingAndEveryActionFailsWhenTheDriveFails) {
  auto device = Scripted();  // refuses every command
  MmcDrive drive(device);
  EXPECT_EQ(drive.MmcGetLastSessionState(), std::nullopt);
  EXPECT_EQ(drive.MmcGetSessionCount(), std::nullopt);
  EXPECT_EQ(drive.MmcDiscIsWritable(), std::nullopt);
  EXPECT_EQ(drive.MmcGetLastTrackNumber(), std::nullopt);
  EXPECT_FALSE(drive.MmcGetCdMediaCode().ok());
  EXPECT_EQ(drive.MmcDiscIsBlank(), std::nullopt);
  EXPECT_EQ(drive.MmcDiscIsErasable(), std::nullopt);
  EXPECT_EQ(drive.MmcGetCdCapacityMB(), std::nullopt);
  EXPECT_EQ(drive.MmcGetUsedSpaceMB(), std::nullopt);
  EXPECT_EQ(drive.MmcReadCapacity(), std::nullopt);
  EXPECT_EQ(drive.MmcReadDvdStructure(), std::nullopt);
  EXPECT_EQ(drive.MmcRead10(), std::nullopt);
  EXPECT_EQ(drive.MmcGetTrackStartAddress(1), std::nullopt);
  EXPECT_EQ(drive.MmcGetMediaTypeCode(), -1);
  EXPECT_EQ(drive.MmcReadFormatCapacities(), std::nullopt);
  EXPECT_FALSE(drive.MmcSetCdSpeed(1385).ok());
  EXPECT_FALSE(drive.MmcSetCdSpeedMax().ok());
  EXPECT_EQ(drive.MmcModeSenseCapabilities(), std::nullopt);
  EXPECT_FALSE(drive.MmcTestUnitReady().ok());
  EXPECT_EQ(drive.SessionDataMode(), std::nullopt);
  MmcDrive none(nullptr);
  EXPECT_FALSE(none.MmcTestUnitReady().ok());
  EXPECT_EQ(none.MmcGetMediaTypeCode(), -1);
}

TEST(MmcFormatCapacities, OnlyTheCurrentDescriptorGivesFfffffBlocksAndFormatByte98) {
  PolicedDrive plus_r(Medium(pm::kProfileDvdPlusR));
  MmcDrive drive = plus_r.Mmc();
  std::optional<FormattableCapacity> capacity = drive.MmcGetFormattableCapacity();
  ASSERT_TRUE(capacity);
  EXPECT_EQ(capacity->blocks, 0x00FFFFFFu);
  EXPECT_EQ(capacity->format_byte, 0x98);
  EXPECT_EQ(drive.MmcReadFormatCapacities(), pm::kDescriptorFormatted);

  PolicedDrive plus_rw(Medium(pm::kProfileDvdPlusRw));
  MmcDrive rw = plus_rw.Mmc();
  EXPECT_EQ(rw.MmcReadFormatCapacities(), pm::kDescriptorUnformatted);
  capacity = rw.MmcGetFormattableCapacity();
  ASSERT_TRUE(capacity);
  EXPECT_EQ(capacity->format_byte, 0x26 << 2);
  EXPECT_GT(capacity->blocks, 2000000u);
  EXPECT_TRUE(rw.MmcFormatUnit().ok());
  EXPECT_EQ(rw.MmcReadFormatCapacities(), pm::kDescriptorFormatted);
  const auto log = plus_rw.emulated().CommandLog();
  EXPECT_EQ(log.back().cdb, (std::vector<std::uint8_t>{0x23, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0}));
}

// ---- configuration ----------------------------------------------------------

TEST(MmcWriterTest, ADvdRomOnlyDriveIsNoWriterAndADriveRejectingTheQuestionIs) {
  platform::EmulatedIdentity rom;
  rom.writer = false;
  rom.profiles = {pm::kProfileDvdRom, pm::kProfileCdRom};
  PolicedDrive reader(Medium(pm::kProfileDvdRom), rom);
  EXPECT_FALSE(reader.Mmc().MmcGetCurrentProfile());
  PolicedDrive writer(Medium(pm::kProfileDvdPlusR));
  EXPECT_TRUE(writer.Mmc().MmcGetCurrentProfile());
  auto refusing = Scripted();
  EXPECT_TRUE(MmcDrive(refusing).MmcGetCurrentProfile());
}

TEST(MmcWriterTest, OnlyTheProfilesTheReplyDeclaresAreLookedAt) {
  // A profile list of one CD-ROM entry, then stale CD-R bytes past the
  // declared lengths.
  std::vector<std::uint8_t> reply(204, 0);
  reply[3] = 12 - 4 + 4;  // data length: header and a feature of 4 bytes
  reply[11] = 4;
  reply[13] = 0x08;
  for (std::size_t at = 17; at < reply.size(); at += 4) reply[at] = 0x09;
  auto device = Scripted();
  device->Always(pm::kGetConfiguration, ScriptedDevice::Reply(reply));
  EXPECT_FALSE(MmcDrive(device).MmcGetCurrentProfile());
  // A short reply: the bytes the drive did not move are never read.
  auto short_reply = Scripted();
  short_reply->Always(pm::kGetConfiguration,
                      ScriptedDevice::Reply({0, 0, 0, 200, 0, 0, 0, 0, 0, 0, 0, 192, 0, 8}));
  EXPECT_FALSE(MmcDrive(short_reply).MmcGetCurrentProfile());
}

TEST(MmcMediaTypeCode, TheCurrentProfileOfEveryEmulatedMediumGivesItsCode) {
  const std::pair<std::uint16_t, int> cases[] = {{pm::kProfileCdRom, 18},
                                                 {pm::kProfileCdR, 16},
                                                 {pm::kProfileCdRw, 17},
                                                 {pm::kProfileDvdRom, 0},
                                                 {pm::kProfileDvdR, 2},
                                                 {pm::kProfileDvdRam, 1},
                                                 {pm::kProfileDvdRwRestricted, 3},
                                                 {pm::kProfileDvdRwSequential, 3},
                                                 {pm::kProfileDvdPlusRw, 9},
                                                 {pm::kProfileDvdPlusR, 10},
                                                 {pm::kProfileDvdPlusRDl, 14},
                                                 {pm::kProfileBdRSrm, 21},
                                                 {pm::kProfileBdRe, 20}};
  for (const auto& [profile, code] : cases) {
    PolicedDrive emulated(Medium(profile));
    EXPECT_EQ(emulated.Mmc().MmcGetMediaTypeCode(), code) << std::hex << profile;
  }
  PolicedDrive empty(nullptr);
  EXPECT_EQ(empty.Mmc().MmcGetMediaTypeCode(), -1);
}

TEST(MmcSpeeds, TheCurrentWriteSpeedGoesIntoTheSpeedListOnce) {
  PolicedDrive emulated(Medium(pm::kProfileDvdPlusR));
  DriveList list;  // drive 0 of it: a scan of one fake drive
  std::vector<std::unique_ptr<platform::ScsiDevice>> one;
  one.push_back(std::make_unique<ScriptedDevice>());
  list.Replace(std::move(one));
  MmcDrive drive = emulated.Mmc(&list, 0);
  EXPECT_TRUE(drive.SetDvdWriteSpeed(4).ok());
  EXPECT_TRUE(drive.SetDvdWriteSpeed(4).ok());
  EXPECT_TRUE(drive.SetDvdWriteSpeed(8).ok());
  ASSERT_EQ(list.SpeedCount(0), 2);
  EXPECT_EQ(list.SpeedAt(0, 0), 5540);
  EXPECT_EQ(list.SpeedAt(0, 1), 11080);
  const auto log = emulated.emulated().CommandLog();
  // SET CD SPEED: read at maximum, write 4 x 1385 kB/s.
  EXPECT_EQ(log[0].cdb, (std::vector<std::uint8_t>{0xBB, 0, 0xFF, 0xFF, 0x15, 0xA4, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(drive.MmcSetCdSpeedMax().ok());
}

// Changed from reading the older field only: the block descriptors are
// skipped and the current write speed selected is taken when the drive gives
// one.
TEST(MmcSpeeds, TheCapabilitiesPageIsFoundPastItsBlockDescriptors) {
  auto page_reply = [](std::uint16_t selected, std::uint16_t older) {
    std::vector<std::uint8_t> r(8 + 8 + 32, 0);
    platform::PutBe16(&r[0], std::uint16_t(r.size() - 2));
    r[7] = 8;  // one block descriptor
    r[16] = 0x2A;
    r[17] = 30;
    platform::PutBe16(&r[16 + 20], older);
    platform::PutBe16(&r[16 + 28], selected);
    r[28] = 0xAB;  // what the block descriptor skew would read as the speed
    return r;
  };
  auto device = Scripted();
  device->Queue(pm::kModeSense10, ScriptedDevice::Reply(page_reply(2770, 1385)));
  device->Queue(pm::kModeSense10, ScriptedDevice::Reply(page_reply(0, 1385)));
  MmcDrive drive(device);
  EXPECT_EQ(drive.CurrentWriteSpeed(), 2770u);
  EXPECT_EQ(drive.CurrentWriteSpeed(), 1385u);
  // A page that is not 2Ah is no answer.
  std::vector<std::uint8_t> wrong = page_reply(2770, 1385);
  wrong[16] = 0x05;
  device->Queue(pm::kModeSense10, ScriptedDevice::Reply(wrong));
  EXPECT_EQ(drive.CurrentWriteSpeed(), std::nullopt);
}

// ---- write parameters -------------------------------------------------------

std::vector<std::uint8_t> LastModeSelect(const ScriptedDevice& device) {
  const auto log = device.Log();
  for (auto it = log.rbegin(); it != log.rend(); ++it)
    if (it->cdb[0] == pm::kModeSelect10) return it->data;
  return {};
}

// Changed: a failed MODE SENSE gives a page built from zeros, and the caller's
// write type and data block type are kept to their fields.
TEST(MmcWriteParameters, AFailedModeSenseGivesAPageFromZerosAndTheFieldsAreMasked) {
  auto device = Scripted();
  device->Always(pm::kGetConfiguration, ScriptedDevice::Reply({0, 0, 0, 8, 0, 0, 0, pm::kProfileCdR}));
  device->Always(pm::kModeSense10, ScriptedDevice::Failure(0x05, 0x24, 0x00));
  device->Always(pm::kModeSelect10, ScriptedDevice::Reply({}));
  MmcDrive drive(device);
  EXPECT_TRUE(drive.MmcSetWriteParameters(0xF8, 0x11, false, false, false).ok());
  const auto list = LastModeSelect(*device);
  ASSERT_EQ(list.size(), 60u);
  std::vector<std::uint8_t> expected(60, 0);
  expected[2] = 0x20;
  expected[8] = 0x05;
  expected[9] = 0x32;
  expected[10] = 0x01;  // track at once, no test write
  expected[11] = 0x04;
  expected[12] = 0x08;
  expected[23] = 0x96;
  EXPECT_EQ(list, expected);
  const auto select = device->Log().back().cdb;
  EXPECT_EQ(select, (std::vector<std::uint8_t>{0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}));
}

TEST(MmcWriteParameters, ThePageIsTakenFromPastTheBlockDescriptors) {
  std::vector<std::uint8_t> sense(8 + 8 + 52, 0);
  sense[1] = 8 + 8 + 52 - 2;
  sense[7] = 8;
  sense[16] = 0x05;
  sense[17] = 0x32;
  sense[16 + 8] = 0x11;  // page bytes the call does not set come from the drive
  sense[16 + 40] = 0x22;
  sense[8] = 0x77;  // block descriptor bytes stay out of the page
  auto device = Scripted();
  device->Always(pm::kGetConfiguration, ScriptedDevice::Reply({0, 0, 0, 8, 0, 0, 0, pm::kProfileDvdR}));
  device->Always(pm::kModeSense10, ScriptedDevice::Reply(sense));
  device->Always(pm::kModeSelect10, ScriptedDevice::Reply({}));
  MmcDrive drive(device);
  EXPECT_TRUE(drive.MmcSetWriteParameters(pm::kDataBlockMode1, pm::kWriteTypePacket, true, true, true).ok());
  const auto list = LastModeSelect(*device);
  ASSERT_EQ(list.size(), 60u);
  EXPECT_EQ(list[2], 0x20);
  EXPECT_EQ(list[6], 0);
  EXPECT_EQ(list[7], 0);
  EXPECT_EQ(list[10], 0x20 ^ 0x40 ^ 0x10);  // DVD-R: LS_V, BUFE, test write
  EXPECT_EQ(list[11], 0x20 ^ 0xC0 ^ 0x05);
  EXPECT_EQ(list[13], 0x10);
  EXPECT_EQ(list[16], 0x11);
  EXPECT_EQ(list[21], 0x10);
  EXPECT_EQ(list[48], 0x22);
  EXPECT_EQ(std::count(list.begin(), list.end(), 0x77), 0);
}

TEST(MmcWriteParameters, TheEmulatedDriveTakesDataAudioAndDvdRwParametersInStrictMode) {
  PolicedDrive cd(Medium(pm::kProfileCdRw));
  cd.emulated().SetStrict(true);
  EXPECT_TRUE(
      cd.Mmc().MmcSetWriteParameters(pm::kDataBlockMode1, pm::kWriteTypeTrackAtOnce, true, true, true).ok());
  EXPECT_TRUE(cd.Mmc().MmcSetAudioWriteParameters(false, false, false).ok());
  PolicedDrive dvd(Medium(pm::kProfileDvdRwSequential));
  dvd.emulated().SetStrict(true);
  EXPECT_TRUE(
      dvd.Mmc().MmcSetWriteParameters(pm::kDataBlockMode1, pm::kWriteTypePacket, false, false, false).ok());
  PolicedDrive plus(Medium(pm::kProfileDvdPlusR));
  plus.emulated().SetStrict(true);
  EXPECT_TRUE(
      plus.Mmc().MmcSetWriteParameters(pm::kDataBlockMode1, pm::kWriteTypePacket, false, true, false).ok());
}

}  // namespace
}  // namespace zephrel
