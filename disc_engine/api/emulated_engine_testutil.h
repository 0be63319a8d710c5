// An ISOBuilder over one emulated drive that the test holds too, so it can
// open the tray, change the medium, inject faults and read the command log
// while the engine works on the same drive.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "api/engine_testutil.h"
#include "platform/emulated_drive.h"
#include "platform/scsi_policy.h"

namespace zephrel::testing {

// Hands the engine a drive that the test owns as well (behind the transport
// policy, as every drive the engine opens).
class SharedDevice : public platform::ScsiDevice {
 public:
  explicit SharedDevice(std::shared_ptr<platform::ScsiDevice> device) : device_(std::move(device)) {}
  platform::ScsiResult exec(std::span<const std::uint8_t> cdb, platform::DataDirection direction,
                            std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override {
    return device_->exec(cdb, direction, buffer, timeout);
  }
  const platform::DeviceIdentity& identity() const override { return device_->identity(); }

 private:
  std::shared_ptr<platform::ScsiDevice> device_;
};

class EmulatedEngineTest : public ISOBuilderTest {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() /
            ("zephrel_engine_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(root_);
  }
  void TearDown() override {
    ISOBuilderTest::TearDown();
    raw_.reset();
    drive_.reset();
    std::filesystem::remove_all(root_);
  }

  // Creates the drive with the medium (none when null), makes it the engine's
  // only drive (number 0) and initialises the engine.
  void UseDrive(const platform::MediumSpec* medium, const platform::EmulatedIdentity& identity = {}) {
    std::string error;
    ASSERT_TRUE(platform::EmulatedDrive::Create(root_, identity, medium, &error)) << error;
    drive_ = std::shared_ptr<platform::EmulatedDrive>(platform::EmulatedDrive::Open(root_, &error));
    ASSERT_TRUE(drive_) << error;
    drive_->SetStrict(true);
    source_ = std::make_unique<ScopedDriveSource>([drive = drive_] {
      platform::ScanResult scan;
      scan.devices.push_back(platform::WithTransportPolicy(std::make_unique<SharedDevice>(drive)));
      return scan;
    });
    builder_->Burner_Init();
  }
  // The test's own way to the drive, behind the transport policy as the
  // engine's is (so a unit attention is asked again).
  // Unloads the engine and removes the drive, for a test that goes on with a
  // new drive (UseDrive) and a fresh engine object.
  void ForgetDrive() {
    builder_->UnloadCom();
    builder_ = CreateISOBuilder();
    raw_.reset();
    source_.reset();
    drive_.reset();
    std::filesystem::remove_all(root_);
  }
  platform::ScsiDevice& Raw() { return *raw_shared(); }
  std::shared_ptr<platform::ScsiDevice> raw_shared() {
    if (!raw_) raw_ = platform::WithTransportPolicy(std::make_unique<SharedDevice>(drive_));
    return raw_;
  }
  void UseMedium(std::uint16_t profile) {
    platform::MediumSpec medium;
    medium.profile = profile;
    UseDrive(&medium);
  }

  std::filesystem::path root_;
  std::shared_ptr<platform::EmulatedDrive> drive_;
  std::unique_ptr<ScopedDriveSource> source_;
  std::shared_ptr<platform::ScsiDevice> raw_;
};

}  // namespace zephrel::testing
