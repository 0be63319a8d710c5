// The DVD program-stream check reads whatever the encoder left behind.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "vantora/dvd_stream_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  const int fd = memfd_create("dvd_stream", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (write(fd, data, size) == static_cast<ssize_t>(size)) {
    const vantora::DvdStreamReport r = vantora::CheckDvdProgramStream("/proc/self/fd/" + std::to_string(fd));
    if (r.ok && (size % vantora::kDvdPackSize != 0 || r.packs == 0)) __builtin_trap();
  }
  close(fd);
  return 0;
}
