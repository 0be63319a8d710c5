// The drive members over an emulated drive, and over scripted drives where a
// drive must answer what the emulator never does.
#include <gtest/gtest.h>

#include <fstream>

#include "api/emulated_engine_testutil.h"
#include "api/engine_drives.h"
#include "drive/drive_testutil.h"
#include "drive/mmc_commands.h"
#include "jobs/job_state.h"
#include "platform/byte_order.h"
#include "tree/project_tree.h"

namespace zephrel {
namespace {

using platform::DataDirection;

class DriveMembers : public testing::EmulatedEngineTest {
 protected:
  std::int32_t Member(platform::HResult (ISOBuilder::*member)(std::int32_t, std::int32_t&), int drive = 0) {
    std::int32_t value = -99;
    (builder_.get()->*member)(drive, value);
    return value;
  }
  // Makes a scripted drive the engine's only drive.
  std::shared_ptr<testing::ScriptedDevice> UseScripted() {
    auto scripted = std::make_shared<testing::ScriptedDevice>();
    source_ = std::make_unique<testing::ScopedDriveSource>([scripted] {
      platform::ScanResult scan;
      scan.devices.push_back(std::make_unique<testing::SharedDevice>(scripted));
      return scan;
    });
    builder_->Burner_Init();
    return scripted;
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
  UseScripted();  // every command is refused with 05/20/00
  EXPECT_EQ(Member(&ISOBuilder::isRealBurnerDevice), 1);
}

TEST_F(DriveMembers, ADriveThatAcceptsEverySpeedButReportsOneSpeedHasOneSpeed) {
  auto scripted = UseScripted();
  scripted->Always(mmc::kSetCdSpeed, testing::ScriptedDevice::Reply({}));
  std::vector<std::uint8_t> page(8 + 32, 0);
  page[1] = 8 + 32 - 2;  // the mode data length
  page[8] = mmc::kPageCapabilities;
  page[9] = 30;
  platform::PutBe16(&page[8 + 28], 7056);
  scripted->Always(mmc::kModeSense10, testing::ScriptedDevice::Reply(page));
  EXPECT_EQ(Member(&ISOBuilder::Burner_SpeedWriteCount), 1);
  EXPECT_EQ(scripted->CountOf(mmc::kSetCdSpeed), 52u) << "CD steps from 52x down to 1x without a medium";
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
  // A closed DVD+R holding one MB.
  const std::filesystem::path content = root_.string() + ".content";
  {
    std::ofstream out(content, std::ios::binary);
    const std::vector<char> data(512 * 2048, 'x');
    out.write(data.data(), std::streamsize(data.size()));
  }
  platform::MediumSpec medium;
  medium.profile = platform::kProfileDvdPlusR;
  medium.content = content;
  UseDrive(&medium);
  std::filesystem::remove(content);
  builder_->Clear();
  float mb = -1;
  builder_->GetProjectedImageSize(mb);
  EXPECT_FLOAT_EQ(mb, 0.0f) << "no drive listened to";
  builder_->Burner_ListenDrive(0);
  builder_->GetProjectedImageSize(mb);
  EXPECT_FLOAT_EQ(mb, 1.0f);
  builder_->Burner_StopListenDrive();
  builder_->GetProjectedImageSize(mb);
  EXPECT_FLOAT_EQ(mb, 0.0f);
}

TEST_F(DriveMembers, WriteSpeedsAreGivenInTheMediumsOwnSpeedFactors) {
  UseMedium(platform::kProfileDvdPlusR);
  ASSERT_EQ(Member(&ISOBuilder::Burner_SpeedWriteCount), 3);
  std::vector<std::int32_t> factors;
  for (int i = 0; i < 3; ++i) {
    std::int32_t factor = 0;
    builder_->Burner_GetSpeedWrite(0, i, factor);
    factors.push_back(factor);
  }
  EXPECT_EQ(factors, (std::vector<std::int32_t>{8, 4, 2}));
  std::int32_t outside = -1;
  builder_->Burner_GetSpeedWrite(0, 3, outside);
  EXPECT_EQ(outside, 0);
}

TEST_F(DriveMembers, CdWriteSpeedsAreGivenInCdFactors) {
  UseMedium(platform::kProfileCdR);
  ASSERT_EQ(Member(&ISOBuilder::Burner_SpeedWriteCount), 3);
  std::int32_t fastest = 0;
  builder_->Burner_GetSpeedWrite(0, 0, fastest);
  EXPECT_EQ(fastest, 40);
}

}  // namespace
}  // namespace zephrel
