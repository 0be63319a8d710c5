#include "platform/scsi_policy.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <string>
#include <vector>

#include "emulated_drive_testutil.h"
#include "platform/emulated_drive.h"

namespace platform {
namespace {

using namespace std::chrono_literals;
using testing::Medium;
using testing::SenseText;
using testing::TempFolder;

// A backend that records what reaches it and answers from a script (GOOD when
// the script is used up).
class ScriptedBackend : public ScsiDevice {
 public:
  struct Sent {
    std::vector<std::uint8_t> cdb;
    std::chrono::milliseconds timeout;
  };
  explicit ScriptedBackend(std::vector<ScsiResult> answers = {}) : answers_(std::move(answers)) {
    identity_.node = "scripted";
  }
  ScsiResult exec(std::span<const std::uint8_t> cdb, DataDirection, std::span<std::uint8_t>,
                  std::chrono::milliseconds timeout) override {
    sent_->push_back({{cdb.begin(), cdb.end()}, timeout});
    if (answers_.empty()) return {};
    ScsiResult r = answers_.front();
    answers_.erase(answers_.begin());
    return r;
  }
  const DeviceIdentity& identity() const override { return identity_; }
  std::shared_ptr<std::vector<Sent>> sent() const { return sent_; }

 private:
  DeviceIdentity identity_;
  std::vector<ScsiResult> answers_;
  std::shared_ptr<std::vector<Sent>> sent_ = std::make_shared<std::vector<Sent>>();
};

ScsiResult UnitAttention() {
  ScsiResult r;
  r.status = 2;
  r.sense = {0x06, 0x28, 0x00, true};
  return r;
}

// An emulated drive opened the way the engine opens it.
struct PolicedEmulatedDrive {
  explicit PolicedEmulatedDrive(const MediumSpec& medium) {
    std::string error;
    EXPECT_TRUE(EmulatedDrive::Create(folder.path() / "drive", {}, &medium, &error)) << error;
    ScanResult scan = OpenDrives("emu:" + (folder.path() / "drive").string());
    EXPECT_EQ(scan.load_error, 0) << scan.message;
    device = std::move(scan.devices.at(0));
    auto* policy = dynamic_cast<TransportPolicy*>(device.get());
    EXPECT_NE(policy, nullptr) << "OpenDrives hands out an emulated drive without the policy";
    emulated = policy ? dynamic_cast<EmulatedDrive*>(&policy->backend()) : nullptr;
    emulated->ClearCommandLog();
  }
  ScsiResult Send(std::vector<std::uint8_t> cdb, std::size_t in = 0) {
    std::vector<std::uint8_t> buffer(in);
    return device->exec(cdb, in ? DataDirection::kIn : DataDirection::kNone, buffer, 0ms);
  }
  TempFolder folder;
  std::unique_ptr<ScsiDevice> device;
  EmulatedDrive* emulated = nullptr;
};

// The odd blocks a careless caller might build: BLANK in 9 bytes, SET CD SPEED
// in 11, RESERVE TRACK in 12, INQUIRY in 10.
const std::vector<std::vector<std::uint8_t>> kOddBlocks = {
    std::vector<std::uint8_t>{0xA1, 0, 0, 0, 0, 0, 0, 0, 0},
    std::vector<std::uint8_t>{0xBB, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0},
    std::vector<std::uint8_t>{0x53, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0},
    std::vector<std::uint8_t>{0x12, 0, 0, 0, 36, 0, 0, 0, 0, 0},
};

std::string ExpectedRefusal(std::size_t length) {
  return "command block of " + std::to_string(length) + " bytes refused";
}

TEST(TransportPolicyLengths, AnOddLengthBlockToAnEmulatedDriveIsRefusedBeforeItReachesTheDrive) {
  PolicedEmulatedDrive drive(Medium(kProfileCdRw, 40000));
  ASSERT_NE(drive.emulated, nullptr);
  drive.emulated->SetStrict(true);
  for (const auto& cdb : kOddBlocks) {
    const ScsiResult r = drive.Send(cdb, cdb[0] == 0x12 ? 36 : 0);
    EXPECT_EQ(r.transport, ScsiResult::Transport::kError) << int(cdb[0]);
    EXPECT_EQ(r.transport_message, ExpectedRefusal(cdb.size()));
  }
  EXPECT_TRUE(drive.emulated->CommandLog().empty());
  // The same commands at their standard lengths are carried out.
  EXPECT_EQ(SenseText(drive.Send({0xA1, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})), "ok");
  EXPECT_EQ(SenseText(drive.Send({0x12, 0, 0, 0, 36, 0}, 36)), "ok");
}

TEST(TransportPolicyLengths, AnSgDriveRefusesTheSameBlocksWithTheSameWords) {
  // A fake sysfs tree with one drive whose node is a plain file: anything
  // that reached the ioctl would fail with another message.
  TempFolder folder;
  const auto device_dir = folder.path() / "class" / "0:0:0:0" / "device";
  std::filesystem::create_directories(device_dir / "block" / "sr0");
  std::ofstream(device_dir / "type") << "5\n";
  std::filesystem::create_directories(folder.path() / "dev");
  std::ofstream(folder.path() / "dev" / "sr0") << "";
  ScanResult scan = ScanSgDrives(folder.path() / "class", folder.path() / "dev");
  ASSERT_EQ(scan.devices.size(), 1u);
  auto drive = WithTransportPolicy(std::move(scan.devices[0]));
  for (const auto& cdb : kOddBlocks) {
    std::vector<std::uint8_t> buffer(36);
    const ScsiResult r = drive->exec(cdb, DataDirection::kIn, buffer, 0ms);
    EXPECT_EQ(r.transport, ScsiResult::Transport::kError);
    EXPECT_EQ(r.transport_message, ExpectedRefusal(cdb.size()));
  }
}

TEST(TransportPolicyLengths, VendorGroupBlocksMayHaveAnyOfTheFourLengths) {
  auto backend = std::make_unique<ScriptedBackend>();
  auto sent = backend->sent();
  TransportPolicy policy(std::move(backend));
  for (std::size_t length : {6u, 10u, 12u, 16u}) {
    std::vector<std::uint8_t> cdb(length, 0);
    cdb[0] = 0xC5;
    EXPECT_TRUE(policy.exec(cdb, DataDirection::kNone, {}, 0ms).ok()) << length;
  }
  EXPECT_EQ(policy.exec(std::vector<std::uint8_t>(8, 0xC5), DataDirection::kNone, {}, 0ms).transport,
            ScsiResult::Transport::kError);
  EXPECT_EQ(policy.exec({}, DataDirection::kNone, {}, 0ms).transport, ScsiResult::Transport::kError);
  EXPECT_EQ(sent->size(), 4u);
}

TEST(TransportPolicyTimeouts, AnUnsetTimeoutBecomesTheCommandsDefaultAndAGivenOneIsKept) {
  auto backend = std::make_unique<ScriptedBackend>();
  auto sent = backend->sent();
  TransportPolicy policy(std::move(backend));
  policy.exec(std::vector<std::uint8_t>{0xA1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, DataDirection::kNone, {},
              0ms);
  policy.exec(std::vector<std::uint8_t>{0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0}, DataDirection::kNone, {}, -5ms);
  policy.exec(std::vector<std::uint8_t>{0x12, 0, 0, 0, 36, 0}, DataDirection::kNone, {}, 0ms);
  policy.exec(std::vector<std::uint8_t>{0x12, 0, 0, 0, 36, 0}, DataDirection::kNone, {}, 1234ms);
  ASSERT_EQ(sent->size(), 4u);
  EXPECT_EQ((*sent)[0].timeout, std::chrono::hours(2));
  EXPECT_EQ((*sent)[1].timeout, std::chrono::seconds(60));
  EXPECT_EQ((*sent)[2].timeout, std::chrono::seconds(30));
  EXPECT_EQ((*sent)[3].timeout, 1234ms);
}

TEST(TransportPolicyUnitAttention, AfterATrayChangeAReadIsSentOnceMoreAndAWriteIsNot) {
  PolicedEmulatedDrive drive(Medium(kProfileDvdPlusR));
  ASSERT_NE(drive.emulated, nullptr);
  ASSERT_TRUE(drive.emulated->OpenTray());
  drive.emulated->CloseTray();
  drive.emulated->ClearCommandLog();
  const std::vector<std::uint8_t> disc_information = {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0};
  const ScsiResult answered = drive.Send(disc_information, 34);
  EXPECT_EQ(SenseText(answered), "ok");
  EXPECT_TRUE(answered.after_unit_attention) << "the caller learns that the medium may be another one";
  EXPECT_FALSE(drive.Send(disc_information, 34).after_unit_attention);
  auto log = drive.emulated->CommandLog();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].sense.at(2), 0x06);  // the unit attention, then the answer
  EXPECT_EQ(log[1].status, 0);

  ASSERT_TRUE(drive.emulated->OpenTray());
  drive.emulated->CloseTray();
  drive.emulated->ClearCommandLog();
  std::vector<std::uint8_t> data(2048, 0x5A);
  const std::vector<std::uint8_t> write = {0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0};
  ScsiResult r = drive.device->exec(write, DataDirection::kOut, data, 0ms);
  EXPECT_EQ(SenseText(r), "06/28/00");
  EXPECT_EQ(drive.emulated->CommandLog().size(), 1u);
  // The caller decides: sent again, the write lands.
  r = drive.device->exec(write, DataDirection::kOut, data, 0ms);
  EXPECT_EQ(SenseText(r), "ok");
}

TEST(TransportPolicyUnitAttention, AReadIsSentAgainOnlyOnceEvenWhenEveryAnswerIsAUnitAttention) {
  auto backend = std::make_unique<ScriptedBackend>(
      std::vector<ScsiResult>{UnitAttention(), UnitAttention(), UnitAttention()});
  auto sent = backend->sent();
  TransportPolicy policy(std::move(backend));
  const ScsiResult r = policy.exec(std::vector<std::uint8_t>{0x43, 0x02, 0, 0, 0, 0, 0, 0x03, 0x24, 0},
                                   DataDirection::kIn, {}, 0ms);
  EXPECT_EQ(r.sense.key, 0x06);
  EXPECT_EQ(sent->size(), 2u);
  for (std::uint8_t op : {0xA1, 0x04, 0x5B, 0x53, 0x5D, 0x35, 0x55}) {
    sent->clear();
    auto again = std::make_unique<ScriptedBackend>(std::vector<ScsiResult>{UnitAttention()});
    auto again_sent = again->sent();
    TransportPolicy mutating(std::move(again));
    std::vector<std::uint8_t> cdb(StandardCdbLength(op), 0);
    cdb[0] = op;
    EXPECT_EQ(mutating.exec(cdb, DataDirection::kNone, {}, 0ms).sense.key, 0x06) << int(op);
    EXPECT_EQ(again_sent->size(), 1u) << int(op);
  }
}

TEST(TransportPolicyTrace, EveryCommandToAnEmulatedDriveIsTracedWithItsOutcome) {
  PolicedEmulatedDrive drive(Medium(kProfileDvdPlusR));
  const auto log = drive.folder.path() / "scsi log é.txt";
  ASSERT_TRUE(drive.emulated->OpenTray());
  drive.emulated->CloseTray();
  ::setenv("ZEPHREL_SCSI_LOG", log.c_str(), 1);
  drive.Send({0x00, 0, 0, 0, 0, 0});  // the unit attention of the closed tray, then ready
  drive.Send({0xA1, 0, 0, 0, 0, 0, 0, 0, 0});
  ::unsetenv("ZEPHREL_SCSI_LOG");
  drive.Send({0x00, 0, 0, 0, 0, 0});  // not traced
  std::ifstream in(log);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 2u);
  const std::string node = (drive.folder.path() / "drive").string();
  EXPECT_EQ(
      lines[0],
      node + " CDB 00 00 00 00 00 00 -> status 00 sense 0/00/00 moved 0 (sent again after a unit attention)");
  EXPECT_EQ(lines[1],
            node + " CDB A1 00 00 00 00 00 00 00 00 -> transport error: command block of 9 bytes refused");
}

}  // namespace
}  // namespace platform
