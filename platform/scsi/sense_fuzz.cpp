#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/scsi.h"
#include "platform/scsi_sense.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const platform::Sense sense = platform::ParseSense(std::span<const std::uint8_t>(data, size));
  (void)platform::SenseText(sense);
  return 0;
}
