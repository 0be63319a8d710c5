#include "image/raw_sector.h"

#include <cstring>

#include "platform/byte_order.h"
#include "platform/cd_sector.h"

namespace zephrel {
namespace {

std::uint8_t Bcd(std::int64_t value) { return static_cast<std::uint8_t>((value / 10) * 16 + value % 10); }

void WriteHeader(std::uint8_t* s, std::int64_t address, std::uint8_t mode) {
  s[12] = Bcd(address / 4500);
  s[13] = Bcd((address / 75) % 60);
  s[14] = Bcd(address % 75);
  s[15] = mode;
}

}  // namespace

std::uint32_t ComputeEdc(std::span<const std::uint8_t, kRawSectorSize> sector, std::size_t first,
                         std::size_t last) {
  if (last < first || last >= kRawSectorSize) return 0;
  return platform::CdEdc(sector.subspan(first, last - first + 1));
}

int BuildRawSector(std::span<std::uint8_t, kRawSectorSize> sector, int mode, std::int64_t address) {
  std::uint8_t* s = sector.data();
  s[0] = 0;
  std::memset(s + 1, 0xFF, 10);
  s[11] = 0;
  if (mode < kRawMode0 || mode > kRawMode2Form2 || address < 0 || address > kLastRawAddress) return -1;
  switch (mode) {
    case kRawMode0:
      std::memset(s + 12, 0, kRawSectorSize - 12);
      WriteHeader(s, address, 0);
      break;
    case kRawMode1: {
      WriteHeader(s, address, 1);
      platform::PutLe32(s + 2064, ComputeEdc(sector, 0, 2063));
      std::memset(s + 2068, 0, 8);
      platform::EncodeCdParity(sector);
      break;
    }
    case kRawMode2:
      WriteHeader(s, address, 2);
      break;
    case kRawMode2Form1:
      platform::PutLe32(s + 2072, ComputeEdc(sector, 16, 2071));
      std::memset(s + 12, 0, 4);  // the parity of Form 1 sees a zero header
      platform::EncodeCdParity(sector);
      WriteHeader(s, address, 2);
      break;
    case kRawMode2Form2:
      WriteHeader(s, address, 2);
      platform::PutLe32(s + 2348, ComputeEdc(sector, 16, 2347));
      break;
  }
  return 0;
}

}  // namespace zephrel
