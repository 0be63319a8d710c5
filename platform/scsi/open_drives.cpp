#include <algorithm>
#include <tuple>

#include "platform/emulated_drive.h"
#include "platform/scsi.h"
#include "platform/scsi_policy.h"

namespace platform {

namespace {

// Every backend's commands go through the one transport policy.
ScanResult WithPolicy(ScanResult scan) {
  for (auto& device : scan.devices) device = WithTransportPolicy(std::move(device));
  return scan;
}

ScanResult OpenBackends(const std::string& spec) {
  if (spec.empty() || spec == "sg") return ScanSgDrives();
  ScanResult result;
  std::size_t begin = 0;
  while (begin <= spec.size()) {
    std::size_t comma = spec.find(',', begin);
    if (comma == std::string::npos) comma = spec.size();
    const std::string entry = spec.substr(begin, comma - begin);
    begin = comma + 1;
    std::string error;
    std::unique_ptr<EmulatedDrive> drive;
    if (entry.rfind("emu:", 0) != 0 || entry.size() == 4) {
      error = "ZEPHREL_DRIVES entry \"" + entry + "\" is neither \"sg\" nor \"emu:DIR\"";
    } else {
      drive = EmulatedDrive::Open(entry.substr(4), &error);
    }
    if (!drive) {
      result.devices.clear();
      result.load_error = 501;
      result.message = error;
      return result;
    }
    result.devices.push_back(std::move(drive));
  }
  std::stable_sort(result.devices.begin(), result.devices.end(), [](const auto& a, const auto& b) {
    const ScsiAddress& x = a->identity().address;
    const ScsiAddress& y = b->identity().address;
    return std::tie(x.host, x.channel, x.target, x.lun) < std::tie(y.host, y.channel, y.target, y.lun);
  });
  return result;
}

}  // namespace

ScanResult OpenDrives(const std::string& spec) { return WithPolicy(OpenBackends(spec)); }

}  // namespace platform
