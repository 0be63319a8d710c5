// READ TOC replies are the drive's bytes: whatever they hold, the records stay
// bounded and their lengths never negative.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "drive/toc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto records = zephrel::ParseToc(std::span<const std::uint8_t>(data, size));
  if (records.size() > 99 || (size < 20 && !records.empty())) std::abort();
  for (const auto& r : records) {
    if (r.length < 0 || r.start < 0 || r.duration.size() < 8 || r.duration.size() > 9) std::abort();
  }
  return 0;
}
