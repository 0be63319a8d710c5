// 24-bit BMP files (BITMAPFILEHEADER + BITMAPINFOHEADER or a later header
// version). Width and height are checked before anything is allocated.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace platform {

// Top-down pixels, 3 bytes per pixel in R, G, B order, no row padding.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // width * height * 3 bytes

  std::uint8_t* Pixel(int x, int y) { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
  const std::uint8_t* Pixel(int x, int y) const {
    return &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
  }
};

enum class BitmapStatus {
  kOk,
  kUnreadable,    // cannot be opened or read, or truncated
  kNotBmp,        // no "BM" signature or a malformed header
  kNotTrueColor,  // bits per pixel other than 24 (BitmapResult::bits_per_pixel says which)
  kCompressed,    // compression other than BI_RGB
  kBadSize,       // width or height not in 1..kMaxBitmapSide
};

inline constexpr int kMaxBitmapSide = 16384;

struct BitmapResult {
  BitmapStatus status = BitmapStatus::kOk;
  int bits_per_pixel = 0;  // as found in the header (valid from kNotTrueColor on)
  std::string message;     // human-readable reason, names the file
  Bitmap bitmap;           // filled when status == kOk
};

BitmapResult ReadBmp(const std::filesystem::path& path);
// Parses BMP bytes held in memory (used by ReadBmp and the fuzz target).
BitmapResult ParseBmp(const std::uint8_t* data, std::size_t size);

// Writes a bottom-up 24-bit BMP with 4-byte row padding, atomically.
bool WriteBmp(const std::filesystem::path& path, const Bitmap& bitmap, std::string* error);

}  // namespace platform
