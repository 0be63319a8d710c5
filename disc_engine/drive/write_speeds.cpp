#include "drive/write_speeds.h"

#include <algorithm>
#include <functional>

#include "drive/drive_list.h"
#include "drive/mmc_drive.h"
#include "platform/byte_order.h"

namespace zephrel {
namespace {

// The GET PERFORMANCE reply: a header whose first field counts the bytes
// after it, then the write speed descriptors.
constexpr std::size_t kPerformanceHeaderLength = 8;
constexpr std::size_t kWriteSpeedDescriptorLength = 16;
constexpr std::size_t kWriteSpeedAt = 12;  // within a descriptor, kB/s
constexpr std::uint16_t kMostDescriptors = 64;

}  // namespace

std::vector<long> WriteSpeedDescriptors(MmcDrive& drive) {
  const std::size_t allocation = kPerformanceHeaderLength + kWriteSpeedDescriptorLength * kMostDescriptors;
  const auto reply = drive.Query(mmc::GetPerformanceWriteSpeeds(kMostDescriptors), allocation);
  std::vector<long> speeds;
  if (!reply || reply->size() < kPerformanceHeaderLength) return speeds;
  // Only what the reply declares and the drive moved.
  const std::size_t end =
      std::min<std::size_t>(reply->size(), std::size_t(platform::GetBe32(reply->data())) + 4);
  for (std::size_t at = kPerformanceHeaderLength; at + kWriteSpeedDescriptorLength <= end;
       at += kWriteSpeedDescriptorLength) {
    const long speed = static_cast<long>(platform::GetBe32(reply->data() + at + kWriteSpeedAt));
    if (speed > 0 && std::find(speeds.begin(), speeds.end(), speed) == speeds.end()) speeds.push_back(speed);
  }
  std::sort(speeds.begin(), speeds.end(), std::greater<>());
  return speeds;
}

int ProbeWriteSpeeds(MmcDrive& drive, DriveList& speeds, int number, int code) {
  speeds.ClearSpeeds(number);
  if (code >= 1 && code <= 15) {
    for (int factor = 20; factor >= 2; --factor) drive.SetDvdWriteSpeed(factor);
  } else {
    for (int factor = 52; factor >= 1; --factor) drive.SetCdWriteSpeed(factor);
  }
  // A drive may take every request and report one speed for all of them: a
  // list that hides speeds the drive offers would be wrong.
  const std::vector<long> offered = WriteSpeedDescriptors(drive);
  if (static_cast<int>(offered.size()) > speeds.SpeedCount(number)) {
    speeds.ClearSpeeds(number);
    for (long speed : offered) speeds.AddSpeed(number, speed);
  }
  return speeds.SpeedCount(number);
}

}  // namespace zephrel
