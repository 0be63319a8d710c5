#include <cstring>
#include <string>

#include "bmp_format.h"
#include "platform/bitmap.h"
#include "platform/byte_order.h"
#include "platform/fileio.h"

namespace platform {
namespace {

// What the headers say, checked: the pixel array is stride * height bytes at
// pixel_offset (the last row may lack its padding).
struct BmpLayout {
  int width = 0;
  int height = 0;
  bool top_down = false;
  std::uint64_t pixel_offset = 0;
  std::uint64_t stride = 0;
  std::uint64_t pixel_bytes = 0;  // bytes needed from pixel_offset on
};

BitmapResult Fail(BitmapStatus status, const std::string& name, const std::string& why, int bpp = 0) {
  BitmapResult r;
  r.status = status;
  r.bits_per_pixel = bpp;
  r.message = name + ": " + why;
  return r;
}

// Checks the headers held in head (the file's first head_size bytes) against
// a file of file_size bytes. Returns kOk and fills *layout, or the refusal.
BitmapResult CheckHeaders(const std::uint8_t* head, std::size_t head_size, std::uint64_t file_size,
                          const std::string& name, BmpLayout* layout) {
  if (head_size >= 2 && (head[0] != 'B' || head[1] != 'M')) {
    return Fail(BitmapStatus::kNotBmp, name, "not a BMP file (no BM signature)");
  }
  if (head_size < bmp::kFileHeaderSize + 4)
    return Fail(BitmapStatus::kUnreadable, name, "truncated BMP header");
  const std::uint32_t header_size = GetLe32(head + bmp::kOffHeaderSize);
  if (header_size != bmp::kCoreHeaderSize &&
      (header_size < bmp::kInfoHeaderSize || header_size > bmp::kMaxHeaderSize)) {
    return Fail(BitmapStatus::kNotBmp, name, "unknown BMP header size " + std::to_string(header_size));
  }
  if (head_size < bmp::kFileHeaderSize + header_size) {
    return Fail(BitmapStatus::kUnreadable, name, "truncated BMP header");
  }
  std::int64_t width, height;
  unsigned planes, bpp;
  std::uint32_t compression = bmp::kBiRgb;
  if (header_size == bmp::kCoreHeaderSize) {
    width = GetLe16(head + bmp::kOffCoreWidth);
    height = GetLe16(head + bmp::kOffCoreHeight);
    planes = GetLe16(head + bmp::kOffCorePlanes);
    bpp = GetLe16(head + bmp::kOffCoreBitCount);
  } else {
    width = static_cast<std::int32_t>(GetLe32(head + bmp::kOffWidth));
    height = static_cast<std::int32_t>(GetLe32(head + bmp::kOffHeight));
    planes = GetLe16(head + bmp::kOffPlanes);
    bpp = GetLe16(head + bmp::kOffBitCount);
    compression = GetLe32(head + bmp::kOffCompression);
  }
  if (planes != 1) return Fail(BitmapStatus::kNotBmp, name, "malformed BMP header (planes != 1)");
  const int bits = static_cast<int>(bpp);
  if (compression == bmp::kBiJpeg || compression == bmp::kBiPng) {
    return Fail(BitmapStatus::kCompressed, name, "compressed BMP (embedded JPEG or PNG) is not supported",
                bits);
  }
  if (bits != bmp::kTrueColorBits) {
    return Fail(BitmapStatus::kNotTrueColor, name,
                std::to_string(bits) + " bits per pixel; only 24-bit BMP files are supported", bits);
  }
  if (compression != bmp::kBiRgb) {
    return Fail(BitmapStatus::kCompressed, name,
                "compressed BMP (compression " + std::to_string(compression) + ") is not supported", bits);
  }
  const bool top_down = height < 0;
  if (top_down) height = -height;
  if (width < 1 || width > kMaxBitmapSide || height < 1 || height > kMaxBitmapSide) {
    return Fail(BitmapStatus::kBadSize, name,
                "picture size " + std::to_string(width) + "x" + std::to_string(top_down ? -height : height) +
                    " is outside 1.." + std::to_string(kMaxBitmapSide),
                bits);
  }
  const std::uint64_t offset = GetLe32(head + bmp::kOffBits);
  if (offset < bmp::kFileHeaderSize + header_size) {
    return Fail(BitmapStatus::kNotBmp, name, "malformed BMP header (pixel data overlaps the header)", bits);
  }
  const std::uint64_t stride = bmp::RowStride(static_cast<std::uint64_t>(width));
  const std::uint64_t needed =
      stride * static_cast<std::uint64_t>(height - 1) + static_cast<std::uint64_t>(width) * 3;
  if (offset > file_size || file_size - offset < needed) {
    return Fail(BitmapStatus::kUnreadable, name, "truncated BMP file (pixel data missing)", bits);
  }
  layout->width = static_cast<int>(width);
  layout->height = static_cast<int>(height);
  layout->top_down = top_down;
  layout->pixel_offset = offset;
  layout->stride = stride;
  layout->pixel_bytes = needed;
  BitmapResult ok;
  ok.bits_per_pixel = bits;
  return ok;
}

// Converts the stored rows (BGR, padded, bottom-up unless top_down) held in
// pixels (layout.pixel_bytes bytes) into result->bitmap.
void DecodePixels(const std::uint8_t* pixels, const BmpLayout& layout, BitmapResult* result) {
  Bitmap& bm = result->bitmap;
  bm.width = layout.width;
  bm.height = layout.height;
  bm.rgb.resize(static_cast<std::size_t>(layout.width) * layout.height * 3);
  for (int y = 0; y < layout.height; ++y) {
    const int stored_row = layout.top_down ? y : layout.height - 1 - y;
    const std::uint8_t* src = pixels + layout.stride * static_cast<std::uint64_t>(stored_row);
    std::uint8_t* dst = bm.Pixel(0, y);
    for (int x = 0; x < layout.width; ++x, src += 3, dst += 3) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
    }
  }
}

}  // namespace

BitmapResult ParseBmp(const std::uint8_t* data, std::size_t size) {
  const std::string name = "BMP data";
  if (!data) size = 0;
  BmpLayout layout;
  BitmapResult result = CheckHeaders(data, size, size, name, &layout);
  if (result.status != BitmapStatus::kOk) return result;
  DecodePixels(data + layout.pixel_offset, layout, &result);
  return result;
}

BitmapResult ReadBmp(const std::filesystem::path& path) {
  const std::string name = path.string();
  FileError err;
  File file = File::Open(path, File::Mode::kRead, &err);
  if (!file.is_open()) return Fail(BitmapStatus::kUnreadable, name, "cannot open: " + ErrnoText(err.code));
  if (!IsRegularFile(path)) return Fail(BitmapStatus::kUnreadable, name, "not a regular file");
  std::optional<std::uint64_t> file_size = file.Size(&err);
  if (!file_size) return Fail(BitmapStatus::kUnreadable, name, "cannot read: " + ErrnoText(err.code));

  // The headers first: nothing large is allocated until they are checked.
  std::uint8_t head[bmp::kFileHeaderSize + bmp::kMaxHeaderSize];
  const std::size_t head_size = file.ReadFully(head, sizeof head, &err);
  if (err) return Fail(BitmapStatus::kUnreadable, name, "cannot read: " + ErrnoText(err.code));
  BmpLayout layout;
  BitmapResult result = CheckHeaders(head, head_size, *file_size, name, &layout);
  if (result.status != BitmapStatus::kOk) return result;

  std::vector<std::uint8_t> pixels(layout.pixel_bytes);
  if (file.ReadFullyAt(pixels.data(), pixels.size(), layout.pixel_offset, &err) != pixels.size()) {
    return Fail(
        BitmapStatus::kUnreadable, name,
        err ? "cannot read: " + ErrnoText(err.code) : std::string("truncated BMP file (pixel data missing)"),
        result.bits_per_pixel);
  }
  DecodePixels(pixels.data(), layout, &result);
  return result;
}

}  // namespace platform
