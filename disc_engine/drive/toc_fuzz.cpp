// READ TOC replies, and every other reply the engine reads, are the drive's
// bytes: whatever they hold, the records stay bounded, their lengths are
// never negative, and no reply is read past the bytes moved.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "drive/toc.h"
#include "platform/mmc_replies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto records = zephrel::ParseToc(std::span<const std::uint8_t>(data, size));
  if (records.size() > 99 || (size < 20 && !records.empty())) std::abort();
  for (const auto& r : records) {
    if (r.length < 0 || r.start < 0 || r.duration.size() < 8 || r.duration.size() > 9) std::abort();
  }
  // The first byte picks the allocation the reply was asked with.
  namespace mmc = platform::mmc;
  const std::span<const std::uint8_t> moved(data, size);
  const std::size_t allocation = size > 0 ? std::size_t(data[0]) * 8 : 0;
  if (auto t = mmc::ParseToc(moved, allocation); t && t->descriptors.size() > size / 8) std::abort();
  if (auto f = mmc::ParseFullToc(moved, allocation); f && f->descriptors.size() > size / 11) std::abort();
  if (auto c = mmc::ParseConfiguration(moved, allocation)) {
    std::size_t bytes = 0;
    for (const auto& feature : c->features)
      bytes += 4 + feature.data.size() + mmc::ProfileNumbers(feature).size();
    if (bytes > 2 * size) std::abort();
  }
  if (auto c = mmc::ParseFormatCapacities(moved, allocation); c && c->formattable.size() > size / 8)
    std::abort();
  if (auto page = mmc::FindModePage(moved, size > 0 ? data[0] & 0x3F : 0)) {
    if (page->size() > size) std::abort();
    mmc::ParseCapabilitiesPage(*page);
  }
  mmc::ParseDiscInformation(moved, allocation);
  mmc::ParseTrackInformation(moved, allocation);
  mmc::ParseAtip(moved, allocation);
  mmc::ParsePhysicalFormat(moved, allocation);
  mmc::ParsePreRecorded(moved, allocation);
  mmc::ParseAdip(moved, allocation);
  mmc::ParseBufferCapacity(moved, allocation);
  mmc::ParseMediaEvent(moved, allocation);
  return 0;
}
