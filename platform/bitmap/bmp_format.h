// Layout of a BMP file: a 14-byte file header, an info header whose first
// 4 bytes give its size, an optional colour table, then the pixel array.
// Every field is little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::bmp {

// BITMAPFILEHEADER
inline constexpr std::size_t kFileHeaderSize = 14;
inline constexpr std::size_t kOffType = 0;      // bfType: "BM"
inline constexpr std::size_t kOffFileSize = 2;  // bfSize
inline constexpr std::size_t kOffBits = 10;     // bfOffBits: start of the pixel array

// Info header sizes (biSize).
inline constexpr std::uint32_t kCoreHeaderSize = 12;   // BITMAPCOREHEADER (16-bit width/height)
inline constexpr std::uint32_t kInfoHeaderSize = 40;   // BITMAPINFOHEADER and later versions extend it
inline constexpr std::uint32_t kMaxHeaderSize = 4096;  // larger is taken as a malformed header

// Offsets inside the file of the BITMAPINFOHEADER fields.
inline constexpr std::size_t kOffHeaderSize = 14;   // biSize
inline constexpr std::size_t kOffWidth = 18;        // biWidth (int32)
inline constexpr std::size_t kOffHeight = 22;       // biHeight (int32, negative = top-down)
inline constexpr std::size_t kOffPlanes = 26;       // biPlanes (must be 1)
inline constexpr std::size_t kOffBitCount = 28;     // biBitCount
inline constexpr std::size_t kOffCompression = 30;  // biCompression
inline constexpr std::size_t kOffSizeImage = 34;    // biSizeImage
inline constexpr std::size_t kOffXPelsPerMeter = 38;
inline constexpr std::size_t kOffYPelsPerMeter = 42;
inline constexpr std::size_t kOffClrUsed = 46;
inline constexpr std::size_t kOffClrImportant = 50;

// The same for BITMAPCOREHEADER (uint16 fields).
inline constexpr std::size_t kOffCoreWidth = 18;
inline constexpr std::size_t kOffCoreHeight = 20;
inline constexpr std::size_t kOffCorePlanes = 22;
inline constexpr std::size_t kOffCoreBitCount = 24;

// biCompression values.
inline constexpr std::uint32_t kBiRgb = 0;
inline constexpr std::uint32_t kBiJpeg = 4;
inline constexpr std::uint32_t kBiPng = 5;

inline constexpr int kTrueColorBits = 24;
inline constexpr std::uint32_t kPelsPerMeter72Dpi = 2835;

// Bytes of one stored row of 24-bit pixels: padded to a multiple of 4.
inline constexpr std::uint64_t RowStride(std::uint64_t width) { return (width * 3 + 3) & ~std::uint64_t{3}; }

}  // namespace platform::bmp
