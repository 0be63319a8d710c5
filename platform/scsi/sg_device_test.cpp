#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/scsi.h"
#include "platform/scsi_policy.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// A sysfs class folder and a /dev folder that the scanner is pointed at.
class FakeSysfs : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("zephrel_sysfs_" + std::to_string(::getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(sysfs());
    fs::create_directories(dev());
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path sysfs() const { return root_ / "class"; }
  fs::path dev() const { return root_ / "dev"; }

  static void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
  }

  // node "sr1" goes under device/block, "sg3" under device/scsi_generic.
  void AddDevice(const std::string& address, int type, const std::string& vendor, const std::string& model,
                 const std::string& rev, const std::string& node) {
    const fs::path device = sysfs() / address / "device";
    Write(device / "type", std::to_string(type) + "\n");
    Write(device / "vendor", vendor + "\n");
    Write(device / "model", model + "\n");
    Write(device / "rev", rev + "\n");
    if (!node.empty()) {
      fs::create_directories(device / (node.rfind("sr", 0) == 0 ? "block" : "scsi_generic") / node);
      Write(dev() / node, "");
    }
  }

  fs::path root_;
};

TEST_F(FakeSysfs, DrivesComeInHostChannelTargetLunOrderWithRawInquiryTexts) {
  AddDevice("10:0:0:0", 5, "LATER   ", "DVD-RW DRIVE    ", "1.00", "sr3");
  AddDevice("2:0:1:0", 5, "TARGET1 ", "CD-R            ", "2.00", "sr2");
  AddDevice("2:0:0:1", 5, "LUN1    ", "DVD+RW          ", "3.00", "sr1");
  AddDevice("2:0:0:0", 0, "DISK    ", "NOT A CD        ", "4.00", "sg0");  // a disk: skipped
  AddDevice("3:0:0:0", 5, "GENERIC ", "ONLY SG         ", "5.00", "sg4");
  AddDevice("4:0:0:0", 5, "NONODE  ", "NO NODE         ", "6.00", "");  // no node: skipped
  fs::create_directories(sysfs() / "not-an-address");

  ScanResult scan = ScanSgDrives(sysfs(), dev());
  EXPECT_EQ(scan.load_error, 0);
  ASSERT_EQ(scan.devices.size(), 4u);
  const DeviceIdentity& lun1 = scan.devices[0]->identity();
  EXPECT_EQ(lun1.vendor, "LUN1    ");  // trailing blanks kept
  EXPECT_EQ(lun1.product, "DVD+RW          ");
  EXPECT_EQ(lun1.revision, "3.00");
  EXPECT_EQ(lun1.address.host, 2);
  EXPECT_EQ(lun1.address.target, 0);
  EXPECT_EQ(lun1.address.lun, 1);
  EXPECT_EQ(lun1.node, (dev() / "sr1").string());
  EXPECT_EQ(scan.devices[1]->identity().vendor, "TARGET1 ");
  EXPECT_EQ(scan.devices[1]->identity().address.target, 1);
  EXPECT_EQ(scan.devices[2]->identity().node, (dev() / "sg4").string());
  EXPECT_EQ(scan.devices[3]->identity().address.host, 10);  // numeric, not text, order
}

TEST_F(FakeSysfs, TextsEndAtTheirFirstZeroByte) {
  AddDevice("0:0:0:0", 5, std::string("AB\0CDEFG", 8), "MODEL           ", "1.0 ", "sr0");
  ScanResult scan = ScanSgDrives(sysfs(), dev());
  ASSERT_EQ(scan.devices.size(), 1u);
  EXPECT_EQ(scan.devices[0]->identity().vendor, "AB");
  EXPECT_EQ(scan.devices[0]->identity().revision, "1.0 ");
}

TEST_F(FakeSysfs, AMissingSysfsFolderGivesAnEmptyListWithoutError) {
  ScanResult scan = ScanSgDrives(root_ / "absent", dev());
  EXPECT_TRUE(scan.devices.empty());
  EXPECT_EQ(scan.load_error, 0);
}

TEST_F(FakeSysfs, CommandsThatCannotReachADriveFailAndAreTraced) {
  const fs::path log = root_ / "scsi.log";
  ::setenv("ZEPHREL_SCSI_LOG", log.c_str(), 1);
  AddDevice("0:0:0:0", 5, "VENDOR  ", "MODEL           ", "1.00", "sr0");
  ScanResult scan = ScanSgDrives(sysfs(), dev());
  ASSERT_EQ(scan.devices.size(), 1u);
  auto drive = WithTransportPolicy(std::move(scan.devices[0]));
  std::uint8_t reply[36] = {};
  const std::uint8_t inquiry[6] = {0x12, 0, 0, 0, 36, 0};
  // The node is a plain file: the ioctl is refused and no success is reported.
  ScsiResult r = drive->exec(inquiry, DataDirection::kIn, reply, std::chrono::milliseconds(0));
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.transport, ScsiResult::Transport::kError);
  EXPECT_FALSE(r.transport_message.empty());
  // Nothing to open: the failure names the node.
  fs::remove(dev() / "sr0");
  ScanResult again = ScanSgDrives(sysfs(), dev());
  r = WithTransportPolicy(std::move(again.devices[0]))
          ->exec(inquiry, DataDirection::kIn, reply, std::chrono::milliseconds(0));
  EXPECT_NE(r.transport_message.find("sr0"), std::string::npos);
  ::unsetenv("ZEPHREL_SCSI_LOG");

  std::ifstream in(log);
  std::string first;
  std::getline(in, first);
  EXPECT_NE(first.find("CDB 12 00 00 00 24 00"), std::string::npos) << first;
  EXPECT_NE(first.find("transport error"), std::string::npos) << first;
}

}  // namespace
}  // namespace platform
