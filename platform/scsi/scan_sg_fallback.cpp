// Stand-in for the SG_IO backend while its source (sg_device.cpp) is not in
// the tree: the build leaves this file out as soon as that source exists.
#include "platform/scsi.h"

namespace platform {

ScanResult ScanSgDrives(const std::filesystem::path&, const std::filesystem::path&) {
  ScanResult result;
  result.load_error = 501;
  result.message = "the SG_IO drive backend is not available in this build";
  return result;
}

}  // namespace platform
