// Fixed-width integers stored at a byte address in a given byte order, as disc
// and file formats lay them out. The caller guarantees the bytes are there.
#pragma once

#include <cstdint>

namespace platform {

inline void PutLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void PutLe64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void PutBe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}
inline void PutBe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * (3 - i)));
}

inline std::uint16_t GetLe16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::uint32_t GetLe32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}
inline std::uint64_t GetLe64(const std::uint8_t* p) {
  return GetLe32(p) | std::uint64_t(GetLe32(p + 4)) << 32;
}
inline std::uint32_t GetBe16(const std::uint8_t* p) { return std::uint32_t(p[0]) << 8 | p[1]; }
inline std::uint32_t GetBe24(const std::uint8_t* p) { return std::uint32_t(p[0]) << 16 | GetBe16(p + 1); }
inline std::uint32_t GetBe32(const std::uint8_t* p) { return std::uint32_t(p[0]) << 24 | GetBe24(p + 1); }

}  // namespace platform
