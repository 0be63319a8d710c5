#include <string>

#include "bmp_format.h"
#include "platform/bitmap.h"
#include "platform/byte_order.h"
#include "platform/fileio.h"

namespace platform {
namespace {}  // namespace

bool WriteBmp(const std::filesystem::path& path, const Bitmap& bitmap, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = path.string() + ": " + why;
    return false;
  };
  if (bitmap.width < 1 || bitmap.width > kMaxBitmapSide || bitmap.height < 1 ||
      bitmap.height > kMaxBitmapSide) {
    return fail("picture size " + std::to_string(bitmap.width) + "x" + std::to_string(bitmap.height) +
                " is outside 1.." + std::to_string(kMaxBitmapSide));
  }
  if (bitmap.rgb.size() != static_cast<std::size_t>(bitmap.width) * bitmap.height * 3) {
    return fail("pixel buffer does not match the picture size");
  }
  const std::uint64_t stride = bmp::RowStride(static_cast<std::uint64_t>(bitmap.width));
  const std::uint64_t image_size = stride * static_cast<std::uint64_t>(bitmap.height);
  const std::size_t offset = bmp::kFileHeaderSize + bmp::kInfoHeaderSize;
  std::string out(offset + image_size, '\0');
  out[bmp::kOffType] = 'B';
  out[bmp::kOffType + 1] = 'M';
  platform::PutLe32(reinterpret_cast<std::uint8_t*>(&out[bmp::kOffFileSize]),
                    static_cast<std::uint32_t>(out.size()));
  platform::PutLe32(reinterpret_cast<std::uint8_t*>(&out[bmp::kOffBits]), static_cast<std::uint32_t>(offset));
  platform::PutLe32(reinterpret_cast<std::uint8_t*>(&out[bmp::kOffHeaderSize]), bmp::kInfoHeaderSize);
  platform::PutLe32(reinterpret_cast<std::uint8_t*>(&out[bmp::kOffWidth]),
                    static_cast<std::uint32_t>(bitmap.width));
  platform::PutLe32(reinterpret_cast<std::uint8_t*>(&out[bmp::kOffHeight]),
                    static_cast<std::uint32_t>(bitmap.height));  // positive: bottom-up
  platform::PutLe16(reinterpret_cast<std::uint8_t*>(&out[bmp::kOffPlanes]), 1);
  platform::PutLe16(reinterpret_cast<std::uint8_t*>(&out[bmp::kOffBitCount]), bmp::kTrueColorBits);
  platform::PutLe32(reinterpret_cast<std::uint8_t*>(&out[bmp::kOffCompression]), bmp::kBiRgb);
  platform::PutLe32(reinterpret_cast<std::uint8_t*>(&out[bmp::kOffSizeImage]),
                    static_cast<std::uint32_t>(image_size));
  platform::PutLe32(reinterpret_cast<std::uint8_t*>(&out[bmp::kOffXPelsPerMeter]), bmp::kPelsPerMeter72Dpi);
  platform::PutLe32(reinterpret_cast<std::uint8_t*>(&out[bmp::kOffYPelsPerMeter]), bmp::kPelsPerMeter72Dpi);
  for (int y = 0; y < bitmap.height; ++y) {
    char* dst = out.data() + offset + stride * static_cast<std::uint64_t>(bitmap.height - 1 - y);
    const std::uint8_t* src = bitmap.Pixel(0, y);
    for (int x = 0; x < bitmap.width; ++x, src += 3, dst += 3) {
      dst[0] = static_cast<char>(src[2]);
      dst[1] = static_cast<char>(src[1]);
      dst[2] = static_cast<char>(src[0]);
    }
  }
  FileError err;
  if (!WriteFileAtomic(path, out, &err)) {
    if (error) *error = err.message;
    return false;
  }
  return true;
}

}  // namespace platform
