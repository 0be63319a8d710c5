// Arbitrary command sequences, and arbitrary drive state files, against the
// emulated drive: no crash, no hang, and a state that parses serialises to
// something that parses to the same text again.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "emulated_drive_state.h"
#include "platform/emulated_drive.h"

namespace {

const std::filesystem::path& Folder() {
  static const std::filesystem::path folder = [] {
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(Folder(), ec);
    });
    return std::filesystem::temp_directory_path() / ("vantora-emu-fuzz-" + std::to_string(::getpid()));
  }();
  return folder;
}

void RunCommands(platform::EmulatedDrive& drive, const std::uint8_t* data, std::size_t size) {
  std::size_t at = 0;
  for (int n = 0; n < 48 && at < size; ++n) {
    std::size_t cdb_length = std::size_t(data[at++] % 17);
    if (size - at < cdb_length) return;
    std::vector<std::uint8_t> cdb(data + at, data + at + cdb_length);
    at += cdb_length;
    std::size_t buffer_length = 0;
    if (size - at >= 2) {
      buffer_length = (std::size_t(data[at]) << 8 | data[at + 1]) * 4;
      at += 2;
    }
    std::vector<std::uint8_t> buffer(buffer_length, 0);
    const std::size_t fill = std::min(buffer_length, size - at);
    std::copy(data + at, data + at + fill, buffer.begin());
    at += fill;
    drive.exec(cdb, platform::DataDirection::kOut, buffer, std::chrono::milliseconds(100));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::error_code ec;
  std::filesystem::remove_all(Folder(), ec);
  std::string error;
  if (data[0] & 1) {
    // A state file: parse, round-trip, then drive a few commands with it.
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t split = text.find('\x01');
    auto state = platform::emu::Parse(text.substr(0, split), &error);
    if (!state) return 0;
    const std::string once = platform::emu::Serialise(*state);
    auto again = platform::emu::Parse(once, &error);
    if (!again || platform::emu::Serialise(*again) != once) __builtin_trap();
    std::filesystem::create_directories(Folder());
    std::ofstream(Folder() / "drive.state") << once;
    std::ofstream(Folder() / "media.img").close();
    auto drive = platform::EmulatedDrive::Open(Folder(), &error);
    if (!drive) return 0;
    if (split != std::string::npos) RunCommands(*drive, data + 2 + split, size - 2 - split);
    return 0;
  }
  static const std::uint16_t kProfiles[] = {platform::kProfileCdR,      platform::kProfileCdRw,
                                            platform::kProfileDvdR,     platform::kProfileDvdRwSequential,
                                            platform::kProfileDvdPlusR, platform::kProfileDvdPlusRw,
                                            platform::kProfileDvdRam,   platform::kProfileBdRe,
                                            platform::kProfileDvdRom};
  platform::MediumSpec spec;
  spec.profile = kProfiles[(data[0] >> 1) % (sizeof kProfiles / sizeof kProfiles[0])];
  spec.capacity = 64 + data[1];
  spec.formatted = data[0] & 0x80;
  if (!platform::EmulatedDrive::Create(Folder(), {},
                                       spec.profile == platform::kProfileDvdRom ? nullptr : &spec, &error))
    return 0;
  auto drive = platform::EmulatedDrive::Open(Folder(), &error);
  if (!drive) __builtin_trap();
  drive->SetOperationLength(2);
  RunCommands(*drive, data + 2, size - 2);
  return 0;
}
