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

// The answers of the members about the medium in a drive.
struct MediumAnswers {
  std::vector<std::int32_t> speeds;
  std::int32_t type = -99, empty = -99, writable = -99, rw = -99, sessions = -99, last_session = -99;
  float total = -99, used = -99;
  bool simulate = false;
  friend bool operator==(const MediumAnswers&, const MediumAnswers&) = default;
};

std::ostream& operator<<(std::ostream& out, const MediumAnswers& a) {
  out << "speeds";
  for (std::int32_t speed : a.speeds) out << " " << speed;
  return out << ", type " << a.type << ", empty " << a.empty << ", writable " << a.writable << ", rw " << a.rw
             << ", sessions " << a.sessions << ", last session " << a.last_session << ", total " << a.total
             << ", used " << a.used << ", simulate " << a.simulate;
}

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
  // A scripted drive that takes every speed asked and reports 40x as its
  // current one whatever was asked.
  std::shared_ptr<testing::ScriptedDevice> UseOneSpeedDrive() {
    auto scripted = UseScripted();
    scripted->Always(mmc::kSetCdSpeed, testing::ScriptedDevice::Reply({}));
    std::vector<std::uint8_t> page(8 + 32, 0);
    page[1] = 8 + 32 - 2;  // the mode data length
    page[8] = mmc::kPageCapabilities;
    page[9] = 30;
    platform::PutBe16(&page[8 + 28], 7056);
    scripted->Always(mmc::kModeSense10, testing::ScriptedDevice::Reply(page));
    return scripted;
  }
  platform::ScsiResult TestUnitReady() {
    const mmc::Cdb cdb = mmc::TestUnitReady();
    return Raw().exec(cdb.span(), DataDirection::kNone, {}, {});
  }

  // What the members tell of the medium in drive 0, the write speeds first,
  // as the output step asks them (and the other members of the medium).
  MediumAnswers Ask() {
    MediumAnswers a;
    std::int32_t count = Member(&ISOBuilder::Burner_SpeedWriteCount);
    for (std::int32_t i = 0; i < count; ++i) {
      std::int32_t speed = 0;
      builder_->Burner_GetSpeedWrite(0, i, speed);
      a.speeds.push_back(speed);
    }
    a.type = Member(&ISOBuilder::Burner_GetMediaType);
    a.empty = Member(&ISOBuilder::Burner_MediaIsEmpty);
    a.writable = Member(&ISOBuilder::Burner_DiskIsStillWritable);
    a.rw = Member(&ISOBuilder::Burner_MediaIsRW);
    a.sessions = Member(&ISOBuilder::Burner_GetSessionCount);
    a.last_session = Member(&ISOBuilder::Burner_GetStateLastSession);
    builder_->Burner_GetMediaTotalSpace(0, a.total);
    builder_->Burner_GetMediaUsedSpace(0, a.used);
    a.simulate = builder_->MediaCanSimulate(0);
    return a;
  }
  // One refresh of the output step: its answers and the commands it cost.
  MediumAnswers Refresh(std::size_t* commands) {
    drive_->ClearCommandLog();
    builder_->BeginMediaRefresh(0);
    MediumAnswers answers = Ask();
    builder_->EndMediaRefresh(0);
    *commands = drive_->CommandLog().size();
    return answers;
  }
  std::filesystem::path Content(std::uint32_t sectors) {
    const std::filesystem::path content = root_.string() + ".content " + std::to_string(++contents_);
    const std::vector<std::uint8_t> image = testing::IsoImage(sectors);
    std::ofstream(content, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    return content;
  }
  void TearDown() override {
    for (int i = 1; i <= contents_; ++i)
      std::filesystem::remove(root_.string() + ".content " + std::to_string(i));
    testing::EmulatedEngineTest::TearDown();
  }
  int contents_ = 0;
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
  auto scripted = UseOneSpeedDrive();
  EXPECT_EQ(Member(&ISOBuilder::Burner_SpeedWriteCount), 1);
  EXPECT_EQ(scripted->CountOf(mmc::kSetCdSpeed), 52u) << "CD steps from 52x down to 1x without a medium";
}

TEST_F(DriveMembers, ADriveThatReportsOneSpeedButDescribesFiveHasTheFive) {
  auto scripted = UseOneSpeedDrive();
  // Five write speed descriptors, slowest first, one of them twice.
  const std::uint32_t described[] = {1764, 3528, 5292, 7056, 7056, 8467};
  std::vector<std::uint8_t> performance(8 + 16 * std::size(described), 0);
  platform::PutBe32(&performance[0], std::uint32_t(performance.size() - 4));
  for (std::size_t i = 0; i < std::size(described); ++i)
    platform::PutBe32(&performance[8 + 16 * i + 12], described[i]);
  scripted->Always(mmc::kGetPerformance, testing::ScriptedDevice::Reply(performance));
  ASSERT_EQ(Member(&ISOBuilder::Burner_SpeedWriteCount), 5);
  std::vector<std::int32_t> factors;
  for (int i = 0; i < 5; ++i) {
    std::int32_t factor = 0;
    builder_->Burner_GetSpeedWrite(0, i, factor);
    factors.push_back(factor);
  }
  EXPECT_EQ(factors, (std::vector<std::int32_t>{48, 40, 30, 20, 10})) << "fastest first, each once";
}

TEST_F(DriveMembers, TheSpeedProbeListsEachSpeedOnceFastestFirst) {
  UseMedium(platform::kProfileCdR);
  EXPECT_EQ(Member(&ISOBuilder::Burner_SpeedWriteCount), 3);
  DriveList& drives = EngineState::Instance().drives;
  EXPECT_EQ(drives.SpeedAt(0, 0), 7056);
  EXPECT_EQ(drives.SpeedAt(0, 1), 3528);
  EXPECT_EQ(drives.SpeedAt(0, 2), 1764);
  drive_->ClearCommandLog();
  EXPECT_EQ(Member(&ISOBuilder::Burner_SpeedWriteCount), 3);
  EXPECT_LE(drive_->CommandLog().size(), 2u) << "the same medium is probed once";
}

// Every medium kind the emulated drive offers, as the output step shows it:
// the first refresh probes the speeds; after it a refresh costs few commands
// and answers what the drive answers when each member asks it directly.
TEST_F(DriveMembers, ARefreshAfterTheFirstOnAMediumAsksTheDriveAFewQuestionsAndAnswersAsTheDriveDoes) {
  struct Case {
    const char* name;
    std::uint16_t profile;      // 0: no medium
    std::uint32_t content = 0;  // sectors of a complete session
    bool formatted = false;
    bool pressed_cd = false;
  };
  const Case cases[] = {
      {"blank DVD+R", platform::kProfileDvdPlusR},
      {"complete DVD+R", platform::kProfileDvdPlusR, 600},
      {"blank DVD-R", platform::kProfileDvdR},
      {"complete DVD-R", platform::kProfileDvdR, 600},
      {"unformatted DVD+RW", platform::kProfileDvdPlusRw},
      {"formatted DVD+RW", platform::kProfileDvdPlusRw, 0, true},
      {"blank DVD-RW", platform::kProfileDvdRwSequential},
      {"restricted overwrite DVD-RW", platform::kProfileDvdRwRestricted},
      {"blank DVD+R DL", platform::kProfileDvdPlusRDl},
      {"blank CD-R", platform::kProfileCdR},
      {"complete CD-R", platform::kProfileCdR, 600},
      {"blank CD-RW", platform::kProfileCdRw},
      {"blank BD-R", platform::kProfileBdRSrm},
      {"unformatted BD-RE", platform::kProfileBdRe},
      {"formatted BD-RE", platform::kProfileBdRe, 0, true},
      {"DVD-RAM", platform::kProfileDvdRam},
      {"pressed DVD", platform::kProfileDvdRom, 600},
      {"pressed CD", platform::kProfileCdRom, 0, false, true},
      {"no medium", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::MediumSpec medium;
    medium.profile = c.profile;
    medium.formatted = c.formatted;
    if (c.content) medium.content = Content(c.content);
    if (c.pressed_cd) {
      medium.content = Content(300);
      medium.pressed = {{medium.content, 0, 0, false}};
      medium.content.clear();
    }
    UseDrive(c.profile ? &medium : nullptr);
    ASSERT_FALSE(HasFatalFailure());
    std::size_t first = 0, second = 0, third = 0;
    const MediumAnswers in_first = Refresh(&first);
    const MediumAnswers in_second = Refresh(&second);
    const MediumAnswers in_third = Refresh(&third);
    EXPECT_LE(second, 12u);
    EXPECT_LE(third, 12u);
    EXPECT_LT(second, first);
    const MediumAnswers direct = Ask();  // outside a refresh: each member asks the drive
    EXPECT_EQ(in_first, direct);
    EXPECT_EQ(in_second, direct);
    EXPECT_EQ(in_third, direct);
    EXPECT_EQ(direct.type == -1, c.profile == 0);
    ForgetDrive();
  }
}

TEST_F(DriveMembers, AMediumChangedBetweenTwoRefreshesIsAnsweredWholeInTheSecond) {
  UseMedium(platform::kProfileDvdPlusR);
  std::size_t commands = 0;
  const MediumAnswers dvd = Refresh(&commands);
  ASSERT_EQ(dvd.type, 10);
  ASSERT_EQ(dvd.speeds, (std::vector<std::int32_t>{8, 4, 2}));
  // Another disc, put in without the listener (or any member) seeing the tray.
  std::string error;
  platform::MediumSpec cd = testing::Medium(platform::kProfileCdRw);
  cd.content = Content(300);
  ASSERT_TRUE(drive_->InsertMedium(cd, &error)) << error;
  const MediumAnswers changed = Refresh(&commands);
  EXPECT_EQ(changed.type, 17);
  EXPECT_EQ(changed.speeds, (std::vector<std::int32_t>{40, 20, 10})) << "probed again, in CD steps";
  EXPECT_EQ(changed, Ask());
  // Changed while a refresh is open: the refresh says its answers may be of
  // two media, and the next one answers for the new medium alone.
  builder_->BeginMediaRefresh(0);
  EXPECT_EQ(Member(&ISOBuilder::Burner_GetMediaType), 17);
  ASSERT_TRUE(drive_->InsertMedium(testing::Medium(platform::kProfileDvdR), &error)) << error;
  Member(&ISOBuilder::Burner_MediaIsEmpty);
  EXPECT_FALSE(builder_->EndMediaRefresh(0));
  const MediumAnswers dvd_r = Refresh(&commands);
  EXPECT_EQ(dvd_r.type, 2);
  EXPECT_EQ(dvd_r.empty, 1);
  EXPECT_EQ(dvd_r.speeds, (std::vector<std::int32_t>{8, 4, 2}));
  EXPECT_EQ(dvd_r, Ask());
  builder_->BeginMediaRefresh(0);
  EXPECT_EQ(Member(&ISOBuilder::Burner_GetMediaType), 2);
  EXPECT_TRUE(builder_->EndMediaRefresh(0));
  // Taken out: the next refresh says no medium in every answer.
  drive_->RemoveMedium();
  const MediumAnswers none = Refresh(&commands);
  EXPECT_EQ(none.type, -1);
  EXPECT_EQ(none.empty, 0);
  EXPECT_EQ(none.writable, 0);
  EXPECT_EQ(none.total, 0.0f);
  EXPECT_EQ(none, Ask());
}

TEST_F(DriveMembers, InARefreshADriveWithoutAMediumReadyHasNoMediumWhateverItsProfileSays) {
  auto scripted = UseScripted();
  scripted->Always(mmc::kTestUnitReady, testing::ScriptedDevice::Failure(0x02, 0x3A, 0x00));
  std::vector<std::uint8_t> configuration(8, 0);
  platform::PutBe32(&configuration[0], 4);
  platform::PutBe16(&configuration[6], platform::kProfileDvdPlusR);
  scripted->Always(mmc::kGetConfiguration, testing::ScriptedDevice::Reply(configuration));
  std::vector<std::uint8_t> blank(34, 0);
  blank[1] = 32;
  blank[6] = 1;  // an empty disc of one track
  scripted->Always(mmc::kReadDiscInformation, testing::ScriptedDevice::Reply(blank));
  EXPECT_EQ(Member(&ISOBuilder::Burner_GetMediaType), 10) << "asked directly, the profile is taken";
  builder_->BeginMediaRefresh(0);
  EXPECT_EQ(Member(&ISOBuilder::Burner_GetMediaType), -1);
  EXPECT_EQ(Member(&ISOBuilder::Burner_MediaIsEmpty), 0);
  EXPECT_EQ(Member(&ISOBuilder::Burner_DiskIsStillWritable), 0);
  builder_->EndMediaRefresh(0);
  EXPECT_EQ(scripted->CountOf(mmc::kTestUnitReady), 1u);
  EXPECT_EQ(scripted->CountOf(mmc::kGetConfiguration), 1u) << "only the direct question reached the drive";
  EXPECT_EQ(scripted->CountOf(mmc::kReadDiscInformation), 0u);
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
