// Stand-in for the SG_IO backend until it is linked in: a weak definition
// that the real one replaces, reporting that the backend cannot start.
#include "platform/scsi.h"

namespace platform {

__attribute__((weak)) ScanResult ScanSgDrives(const std::filesystem::path&, const std::filesystem::path&) {
  ScanResult result;
  result.load_error = 501;
  result.message = "the SG_IO drive backend is not available in this build";
  return result;
}

}  // namespace platform
