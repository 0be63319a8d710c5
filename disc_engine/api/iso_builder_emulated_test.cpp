// The drive list over emulated drives named by ZEPHREL_DRIVES.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "api/engine_testutil.h"
#include "platform/emulated_drive.h"
#include "zephrel/iso_builder.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;

class EmulatedDrives : public testing::ISOBuilderTest {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("zephrel_emu_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override {
    ::unsetenv("ZEPHREL_DRIVES");
    testing::ISOBuilderTest::TearDown();
    fs::remove_all(root_);
  }
  fs::path Make(const std::string& name, const std::string& vendor, platform::ScsiAddress address) {
    platform::EmulatedIdentity identity;
    identity.vendor = vendor;
    identity.address = address;
    std::string error;
    platform::MediumSpec medium;
    EXPECT_TRUE(platform::EmulatedDrive::Create(root_ / name, identity, &medium, &error)) << error;
    return root_ / name;
  }
  fs::path root_;
};

TEST_F(EmulatedDrives, BurnerInitListsThemInAddressOrderWithTheirIdentity) {
  const fs::path later = Make("later", "LATER", {0, 0, 1, 0});
  const fs::path first = Make("first", "FIRST", {0, 0, 0, 1});
  ::setenv("ZEPHREL_DRIVES", ("emu:" + later.string() + ",emu:" + first.string()).c_str(), 1);
  auto sink = Advised();
  builder_->Burner_Init();
  EXPECT_EQ(sink->Count(kBurnerOnError), 0u);
  std::int16_t count = 0;
  builder_->Burner_DriveCount(count);
  ASSERT_EQ(count, 2);
  std::string vendor;
  builder_->Burner_GetDriveVendor(0, vendor);
  EXPECT_EQ(vendor, "FIRST   ");
  std::int16_t lun = 0;
  builder_->Burner_DriveLUN(0, lun);
  EXPECT_EQ(lun, 1);
  std::string description;
  builder_->Burner_DriveDescription(1, description);
  EXPECT_EQ(description.rfind("LATER    - ", 0), 0u) << description;
}

TEST_F(EmulatedDrives, OneMissingFolderGivesLoadCode501AndNoDrives) {
  const fs::path present = Make("present", "PRESENT", {0, 0, 0, 0});
  ::setenv("ZEPHREL_DRIVES", ("emu:" + present.string() + ",emu:" + (root_ / "missing").string()).c_str(), 1);
  auto sink = Advised();
  builder_->Burner_Init();
  ASSERT_EQ(sink->Count(kBurnerOnError), 1u);
  EXPECT_EQ(sink->events()[0].args[0].i4(), 501);
  std::int16_t count = -1;
  builder_->Burner_DriveCount(count);
  EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace zephrel
