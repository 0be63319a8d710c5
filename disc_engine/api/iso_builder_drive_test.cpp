// The drive members over an emulated drive, and over scripted drives where a
// drive must answer what the emulator never does.
#include <gtest/gtest.h>

#include <functional>

#include "api/emulated_engine_testutil.h"
#include "api/engine_listener.h"
#include "drive/mmc_commands.h"
#include "jobs/job_state.h"
#include "platform/byte_order.h"
#include "tree/project_tree.h"

namespace zephrel {
namespace {

using platform::DataDirection;

// A drive whose every answer comes from a function of the command block.
class ScriptedDevice : public platform::ScsiDevice {
 public:
  using Script = std::function<platform::ScsiResult(std::span<const std::uint8_t>, std::span<std::uint8_t>)>;
  explicit ScriptedDevice(Script script) : script_(std::move(script)) { identity_.node = "scripted"; }
  platform::ScsiResult exec(std::span<const std::uint8_t> cdb, DataDirection, std::span<std::uint8_t> buffer,
                            std::chrono::milliseconds) override {
    return script_(cdb, buffer);
  }
  const platform::DeviceIdentity& identity() const override { return identity_; }

 private:
  Script script_;
  platform::DeviceIdentity identity_;
};

platform::ScsiResult Good(std::size_t transferred = 0) {
  platform::ScsiResult r;
  r.transferred = transferred;
  return r;
}

platform::ScsiResult Refused() {
  platform::ScsiResult r;
  r.status = 2;
  r.sense = {0x05, 0x20, 0x00, true};
  return r;
}

class DriveMembers : public testing::EmulatedEngineTest {
 protected:
  std::int32_t Member(platform::HResult (ISOBuilder::*member)(std::int32_t, std::int32_t&), int drive = 0) {
    std::int32_t value = -99;
    (builder_.get()->*member)(drive, value);
    return value;
  }
  void UseScripted(ScriptedDevice::Script script) {
    source_ = std::make_unique<testing::ScopedDriveSource>([script] {
      platform::ScanResult scan;
      scan.devices.push_back(std::make_unique<ScriptedDevice>(script));
      return scan;
    });
    builder_->Burner_Init();
  }
  platform::ScsiResult TestUnitReady() {
    const mmc::Cdb cdb = mmc::TestUnitReady();
    return Raw().exec(cdb.span(), DataDirection::kNone, {}, {});
  }
};

TEST_F(DriveMembers, AnEmulatedWriterIsARealBurnerAndAReaderOfDiscsOnlyIsNot) {
  UseMedium(platform::kProfileDvdPlusR);
  EXPECT_EQ(Member(&ISOBuilder::isRealBurnerDevice), 1);
  builder_->UnloadCom();
  source_.reset();
  drive_.reset();
  raw_.reset();
  std::filesystem::remove_all(root_);

  platform::EmulatedIdentity reader;
  reader.writer = false;
  reader.profiles = {platform::kProfileDvdRom, platform::kProfileCdRom};
  UseDrive(nullptr, reader);
  EXPECT_EQ(Member(&ISOBuilder::isRealBurnerDevice), 0);
}

TEST_F(DriveMembers, ADriveThatRejectsTheProfileQuestionCountsAsABurner) {
  UseScripted([](std::span<const std::uint8_t> cdb, std::span<std::uint8_t>) {
    return cdb[0] == mmc::kGetConfiguration ? Refused() : Good();
  });
  EXPECT_EQ(Member(&ISOBuilder::isRealBurnerDevice), 1);
}

TEST_F(DriveMembers, TheProfileListIsWalkedOnlyAsFarAsTheDriveDeclaresIt) {
  // A DVD-ROM profile declared, and a CD-R profile number left in the bytes
  // after the declared list: not a writer.
  UseScripted([](std::span<const std::uint8_t> cdb, std::span<std::uint8_t> buffer) {
    if (cdb[0] != mmc::kGetConfiguration) return Good();
    std::fill(buffer.begin(), buffer.end(), 0);
    platform::PutBe32(&buffer[0], 12);
    buffer[11] = 4;  // one profile descriptor
    platform::PutBe16(&buffer[12], mmc::kProfileDvdRom);
    platform::PutBe16(&buffer[16], mmc::kProfileCdR);
    return Good(buffer.size());
  });
  EXPECT_EQ(Member(&ISOBuilder::isRealBurnerDevice), 0);
}

TEST_F(DriveMembers, ADriveThatAcceptsEverySpeedButReportsOneSpeedHasOneSpeed) {
  int requests = 0;
  UseScripted([&requests](std::span<const std::uint8_t> cdb, std::span<std::uint8_t> buffer) {
    if (cdb[0] == mmc::kSetCdSpeed) ++requests;
    if (cdb[0] != mmc::kModeSense10 || (cdb[2] & 0x3F) != mmc::kPageCapabilities) return Good();
    std::fill(buffer.begin(), buffer.end(), 0);
    platform::PutBe16(&buffer[8 + 28], 7056);
    return Good(buffer.size());
  });
  EXPECT_EQ(Member(&ISOBuilder::Burner_SpeedWriteCount), 1);
  EXPECT_GT(requests, 1);
}

TEST_F(DriveMembers, TheSpeedProbeListsEachSpeedOnceFastestFirst) {
  UseMedium(platform::kProfileCdR);
  EXPECT_EQ(Member(&ISOBuilder::Burner_SpeedWriteCount), 3);
  DriveList& drives = EngineState::Instance().drives;
  EXPECT_EQ(drives.SpeedAt(0, 0), 7056);
  EXPECT_EQ(drives.SpeedAt(0, 1), 3528);
  EXPECT_EQ(drives.SpeedAt(0, 2), 1764);
  EXPECT_EQ(Member(&ISOBuilder::Burner_SpeedWriteCount), 3) << "a second probe starts afresh";
}

TEST_F(DriveMembers, EjectOpensTheTray) {
  UseMedium(platform::kProfileDvdPlusR);
  ASSERT_TRUE(TestUnitReady().ok());
  builder_->Burner_Eject(0);
  EXPECT_EQ(TestUnitReady().sense.ascq, 0x02);
}

TEST_F(DriveMembers, AllowMediumUnlocksTheJobDriveAndLeavesItsTrayOpen) {
  UseMedium(platform::kProfileDvdPlusR);
  const mmc::Cdb prevent = mmc::PreventAllowMediumRemoval(true);
  ASSERT_TRUE(Raw().exec(prevent.span(), DataDirection::kNone, {}, {}).ok());
  EngineState::Instance().flags.job_drive.store(0);
  builder_->Burner_AllowMedium(7);  // the number given is not the one used
  EXPECT_EQ(TestUnitReady().sense.ascq, 0x02);
}

TEST_F(DriveMembers, EjectAfterEraseReadsBackWhatWasPut) {
  UseMedium(platform::kProfileDvdPlusR);
  for (std::int32_t value : {1, 0, 7, -3}) {
    builder_->burner_EjectAfterErase(value);
    std::int32_t read = 99;
    builder_->burner_EjectAfterErase(read);
    EXPECT_EQ(read, value);
  }
  builder_->burner_EjectAfterErase(0);
}

TEST_F(DriveMembers, TheProjectedSizeCountsTheListenedDriveOnlyWhileOneIsListened) {
  UseMedium(platform::kProfileDvdPlusR);
  builder_->Clear();
  float mb = -1;
  builder_->Burner_ListenDrive(0);
  builder_->GetProjectedImageSize(mb);
  float used = -1;
  builder_->Burner_GetMediaUsedSpace(0, used);
  EXPECT_FLOAT_EQ(mb, used > 0 ? used : 0.0f);
  builder_->Burner_StopListenDrive();
  builder_->GetProjectedImageSize(mb);
  EXPECT_FLOAT_EQ(mb, 0.0f);
}

}  // namespace
}  // namespace zephrel
