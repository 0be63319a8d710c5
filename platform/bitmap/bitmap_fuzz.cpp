#include <cstddef>
#include <cstdint>

#include "platform/bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::BitmapResult r = platform::ParseBmp(data, size);
  if (r.status == platform::BitmapStatus::kOk) {
    const platform::Bitmap& bm = r.bitmap;
    if (bm.width < 1 || bm.height < 1 || bm.width > platform::kMaxBitmapSide ||
        bm.height > platform::kMaxBitmapSide ||
        bm.rgb.size() != static_cast<std::size_t>(bm.width) * bm.height * 3) {
      __builtin_trap();
    }
  }
  return 0;
}
