#include "image/raw_sector_testutil.h"

#include <cstring>

namespace zephrel::testing {
namespace {

std::uint8_t GfMul(std::uint8_t a, std::uint8_t b) {
  unsigned r = 0, x = a;
  while (b) {
    if (b & 1) r ^= x;
    x <<= 1;
    if (x & 0x100) x ^= 0x11D;
    b >>= 1;
  }
  return static_cast<std::uint8_t>(r);
}

std::uint8_t AlphaPow(int n) {
  std::uint8_t r = 1;
  for (int i = 0; i < n; ++i) r = GfMul(r, 2);
  return r;
}

// Syndromes of one codeword v[0..n-1]: sum v_j and sum v_j * alpha^(n-1-j).
bool CodewordOk(const std::uint8_t* v, int n) {
  std::uint8_t s0 = 0, s1 = 0;
  for (int j = 0; j < n; ++j) {
    s0 ^= v[j];
    s1 ^= GfMul(v[j], AlphaPow(n - 1 - j));
  }
  return s0 == 0 && s1 == 0;
}

std::uint8_t Bcd(std::int64_t v) { return static_cast<std::uint8_t>((v / 10) * 16 + v % 10); }

}  // namespace

std::uint32_t BitwiseEdc(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc >> 1) ^ ((crc & 1) ? 0xD8018001u : 0u);
  }
  return crc;
}

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc >> 1) ^ ((crc & 1) ? 0xEDB88320u : 0u);
  }
  return ~crc;
}

bool ParitySyndromesAreZero(std::span<const std::uint8_t> sector) {
  const std::uint8_t* area = sector.data() + 12;
  for (int plane = 0; plane < 2; ++plane) {
    auto word = [&](int k) { return area[2 * k + plane]; };
    for (int np = 0; np < 43; ++np) {
      std::uint8_t v[26];
      for (int m = 0; m < 26; ++m) v[m] = word(43 * m + np);
      if (!CodewordOk(v, 26)) return false;
    }
    for (int nq = 0; nq < 26; ++nq) {
      std::uint8_t v[45];
      for (int m = 0; m < 43; ++m) v[m] = word((44 * m + 43 * nq) % 1118);
      v[43] = word(1118 + nq);
      v[44] = word(1144 + nq);
      if (!CodewordOk(v, 45)) return false;
    }
  }
  return true;
}

std::string CheckMode1Sector(std::span<const std::uint8_t> sector, std::int64_t lba) {
  if (sector.size() != 2352) return "not 2352 bytes";
  static const std::uint8_t kSync[12] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
  if (std::memcmp(sector.data(), kSync, 12) != 0) return "bad sync pattern";
  const std::int64_t a = lba + 150;
  const std::uint8_t header[4] = {Bcd(a / 4500), Bcd(a / 75 % 60), Bcd(a % 75), 1};
  if (std::memcmp(sector.data() + 12, header, 4) != 0) return "bad header";
  const std::uint32_t edc = BitwiseEdc(sector.subspan(0, 2064));
  std::uint32_t stored = 0;
  for (int i = 0; i < 4; ++i) stored |= std::uint32_t(sector[2064 + i]) << (8 * i);
  if (edc != stored) return "bad EDC";
  for (int i = 2068; i < 2076; ++i) {
    if (sector[i] != 0) return "intermediate bytes not zero";
  }
  if (!ParitySyndromesAreZero(sector)) return "P or Q syndrome not zero";
  return {};
}

}  // namespace zephrel::testing
