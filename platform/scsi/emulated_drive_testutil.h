// Helpers for tests that talk to an emulated drive in raw CDBs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/emulated_drive.h"
#include "testing/temp_folder.h"

namespace platform::testing {

using vantora::testing::TempFolder;

// "KK/AA/QQ" of a result's sense, "ok" when it succeeded.
std::string SenseText(const ScsiResult& result);

// An emulated drive in a temporary folder, spoken to by raw CDBs.
class EmulatedDriveHarness {
 public:
  explicit EmulatedDriveHarness(const MediumSpec* medium, const EmulatedIdentity& identity = {});
  explicit EmulatedDriveHarness(const MediumSpec& medium, const EmulatedIdentity& identity = {})
      : EmulatedDriveHarness(&medium, identity) {}

  EmulatedDrive& drive() { return *drive_; }
  const std::filesystem::path& folder() const { return folder_.path(); }
  void Reopen();

  ScsiResult None(std::vector<std::uint8_t> cdb);
  ScsiResult In(std::vector<std::uint8_t> cdb, std::vector<std::uint8_t>* data, std::size_t size);
  ScsiResult Out(std::vector<std::uint8_t> cdb, std::vector<std::uint8_t> data);

  std::vector<std::uint8_t> DiscInformation();
  std::vector<std::uint8_t> TrackInformation(std::uint32_t track);
  std::uint32_t NextWritable(std::uint32_t track);
  // MODE SELECT of the write parameters page.
  ScsiResult SetWriteParameters(std::uint8_t write_type, bool multisession, bool test_write = false,
                                std::uint8_t block_type = 8, bool bufe = false);
  // WRITE(10) of count blocks (block bytes each) taken from data at offset.
  ScsiResult Write(std::uint32_t lba, std::uint32_t count, const std::vector<std::uint8_t>& data,
                   std::size_t block = 2048, std::size_t offset = 0);
  ScsiResult Read(std::uint32_t lba, std::uint32_t count, std::vector<std::uint8_t>* data);
  ScsiResult Close(int function, std::uint16_t track = 0, bool immed = false);
  ScsiResult Reserve(std::uint32_t size);
  ScsiResult Sync(bool immed = false);

 private:
  TempFolder folder_;
  std::unique_ptr<EmulatedDrive> drive_;
};

// A blank medium of a profile (capacity 0: the usual one).
MediumSpec Medium(std::uint16_t profile, std::uint32_t capacity = 0);

// Deterministic pseudo-random bytes.
std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed);
std::uint32_t Be32(const std::vector<std::uint8_t>& d, std::size_t at);
std::uint32_t Be16(const std::vector<std::uint8_t>& d, std::size_t at);

}  // namespace platform::testing
