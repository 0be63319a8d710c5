// Every command the drive layer sends is one a standard drive takes: run
// against the emulated drive in strict mode, no operation is refused as
// malformed (each answer is the one the lenient drive gives), every block
// has its opcode's standard length and control byte 0, and no opcode is
// unknown to the drive.
#include <gtest/gtest.h>

#include "drive/drive_list.h"
#include "drive/drive_testutil.h"
#include "drive/media.h"
#include "drive/mmc_drive.h"
#include "drive/toc.h"
#include "platform/scsi_policy.h"

namespace zephrel {
namespace {

using testing::IsoImage;
using testing::Medium;
using testing::PolicedDrive;
namespace pm = platform::mmc;

// Passes every command on and keeps its block and outcome.
class Recording : public platform::ScsiDevice {
 public:
  struct Sent {
    std::vector<std::uint8_t> cdb;
    platform::ScsiResult result;
  };
  explicit Recording(std::shared_ptr<platform::ScsiDevice> inner) : inner_(std::move(inner)) {}
  platform::ScsiResult exec(std::span<const std::uint8_t> cdb, platform::DataDirection direction,
                            std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override {
    platform::ScsiResult r = inner_->exec(cdb, direction, buffer, timeout);
    sent.push_back({{cdb.begin(), cdb.end()}, r});
    return r;
  }
  const platform::DeviceIdentity& identity() const override { return inner_->identity(); }
  std::vector<Sent> sent;

 private:
  std::shared_ptr<platform::ScsiDevice> inner_;
};

// Every operation of the command set, the media and the table of contents,
// in an order that leaves the medium as a job would.
void RunEveryOperation(MmcDrive& d, DriveList* speeds) {
  std::vector<std::uint8_t> sector(2048 * 2), raw(2352 * 2), data(32 * 2048, 0x5A);
  const int code = d.MmcGetMediaTypeCode();
  d.MmcTestUnitReady();
  d.MmcGetCurrentProfile();
  d.MmcModeSenseCapabilities();
  d.CurrentWriteSpeed();
  d.MmcSetCdSpeed(1385 * 4);
  d.SetDvdWriteSpeed(4);
  d.SetCdWriteSpeed(16);
  d.MmcSetCdSpeedMax();
  d.MmcReadFormatCapacities();
  d.MmcGetFormattableCapacity();
  d.MmcGetLastSessionState();
  d.MmcGetSessionCount();
  d.MmcDiscIsWritable();
  d.MmcGetLastTrackNumber();
  d.MmcGetCdMediaCode();
  d.MmcDiscIsBlank();
  d.MmcDiscIsErasable();
  d.MmcGetCdCapacityMB();
  d.MmcGetUsedSpaceMB();
  d.MmcGetTrackStartAddress(1);
  d.MmcGetTrackSize(1);
  d.MmcGetTrackStartLba(1);
  d.MmcGetTrackSessionNumber(1);
  d.MmcGetNextWritableAddress(1);
  d.MmcGetSessionTrackStart(1);
  d.MmcReadCapacity();
  d.RecordedSectors();
  d.MmcReadDvdStructure();
  d.MmcRead10();
  d.ReadIsoVolumeSize();
  d.SessionDataMode();
  d.MmcReadAtip();
  d.ReadDvdMediaId(mmc::kStructurePreRecorded);
  d.ReadDvdMediaId(mmc::kStructureAdip);
  ReadToc(d, 0);
  GetMediaCapacityMB(d, code);
  GetMediaUsedSpaceMB(d, code);
  ReadMediaId(d, code);
  d.MmcPreventAllowRemoval(true);
  d.MmcPreventAllowRemoval(false);
  d.MmcAllowRemoval();
  d.MmcReadSectors(0, 2, sector);
  d.MmcReadCd(0, 2, raw);
  // Recording, as the media's jobs do it.
  if (code == kMediaDvdPlusRw) d.MmcFormatUnit();
  if (code == kMediaCdRw || code == kMediaDvdRw) d.MmcBlank(0x01);
  if (IsCdMedia(code)) d.MmcSetAudioWriteParameters(true, false, false);
  d.MmcSetWriteParameters(mmc::kDataBlockMode1, mmc::kWriteTypeTrackAtOnce, true, true, false);
  if (code == kMediaDvdR) d.MmcReserveTrack(64);
  d.MmcWrite10(data, d.MmcGetNextWritableAddress(1).value_or(0), 32, true);
  d.MmcSynchronizeCache();
  d.MmcSynchronizeCacheImmed();
  d.MmcCloseTrackSession(false, mmc::kCloseTrack, 1);
  d.MmcCloseTrackSession(false, mmc::kCloseSession, 0);
  d.MmcEjectMedium();
  d.MmcLoadMedium();
  d.MmcTestUnitReady();
  d.MmcEject();
  (void)speeds;
}

std::vector<platform::MediumSpec> EveryMedium(const PolicedDrive& holder) {
  std::vector<platform::MediumSpec> media;
  for (std::uint16_t profile :
       {pm::kProfileCdR, pm::kProfileCdRw, pm::kProfileDvdR, pm::kProfileDvdRwSequential,
        pm::kProfileDvdRwRestricted, pm::kProfileDvdPlusR, pm::kProfileDvdPlusRw, pm::kProfileDvdPlusRDl,
        pm::kProfileDvdRam, pm::kProfileBdRSrm, pm::kProfileBdRe})
    media.push_back(Medium(profile));
  const auto image = holder.WriteContent("strict.iso", IsoImage(400));
  for (std::uint16_t profile : {pm::kProfileCdRom, pm::kProfileDvdRom, pm::kProfileBdRSrm}) {
    auto recorded = Medium(profile);
    recorded.content = image;
    media.push_back(recorded);
  }
  auto audio = Medium(pm::kProfileCdRom);
  audio.content = image;
  audio.content_is_audio = true;
  media.push_back(audio);
  return media;
}

std::vector<Recording::Sent> RunOn(const platform::MediumSpec* medium, bool strict) {
  PolicedDrive emulated(medium);
  emulated.emulated().SetStrict(strict);
  auto recording = std::make_shared<Recording>(emulated.device());
  DriveList speeds;
  MmcDrive drive(recording, &speeds, 0);
  RunEveryOperation(drive, &speeds);
  TrackList::Process().Clear();
  return recording->sent;
}

std::string Outcome(const platform::ScsiResult& r) {
  if (r.transport != platform::ScsiResult::Transport::kOk) return "transport: " + r.transport_message;
  if (r.ok()) return "ok " + std::to_string(r.transferred);
  char text[16];
  std::snprintf(text, sizeof text, "%02X/%02X/%02X", r.sense.key, r.sense.asc, r.sense.ascq);
  return text;
}

TEST(MmcStrictDrive, NoCommandOfAnyOperationIsRefusedAsMalformedOnAnyMedium) {
  PolicedDrive holder(nullptr);
  auto media = EveryMedium(holder);
  std::vector<const platform::MediumSpec*> cases = {nullptr};
  for (const auto& m : media) cases.push_back(&m);
  for (const platform::MediumSpec* medium : cases) {
    const std::string name =
        medium ? std::to_string(medium->profile) + (medium->content.empty() ? "" : "+content")
               : std::string("no medium");
    const auto strict = RunOn(medium, true);
    const auto lenient = RunOn(medium, false);
    ASSERT_EQ(strict.size(), lenient.size()) << name;
    ASSERT_GT(strict.size(), 50u) << name;
    for (std::size_t i = 0; i < strict.size(); ++i) {
      const auto& cdb = strict[i].cdb;
      EXPECT_EQ(cdb.size(), platform::StandardCdbLength(cdb[0])) << name << " opcode " << int(cdb[0]);
      EXPECT_EQ(cdb.back(), 0) << name << " opcode " << int(cdb[0]);
      EXPECT_EQ(strict[i].result.transport, platform::ScsiResult::Transport::kOk)
          << name << " opcode " << int(cdb[0]) << ": " << strict[i].result.transport_message;
      EXPECT_EQ(Outcome(strict[i].result), Outcome(lenient[i].result)) << name << " opcode " << int(cdb[0]);
      EXPECT_NE(Outcome(strict[i].result), "05/20/00") << name << " opcode " << int(cdb[0]);
    }
  }
}

}  // namespace
}  // namespace zephrel
