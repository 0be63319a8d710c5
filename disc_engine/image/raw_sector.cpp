#include "image/raw_sector.h"

#include <cstring>

#include "platform/byte_order.h"
#include "platform/cd_sector.h"

namespace zephrel {

using namespace platform;

std::uint32_t ComputeEdc(std::span<const std::uint8_t, kCdRawSectorSize> sector, std::size_t first,
                         std::size_t last) {
  if (last < first || last >= kCdRawSectorSize) return 0;
  return CdEdc(sector.subspan(first, last - first + 1));
}

int BuildRawSector(std::span<std::uint8_t, kCdRawSectorSize> sector, int mode, std::int64_t address) {
  std::uint8_t* s = sector.data();
  WriteCdSync(sector);
  if (mode < kRawMode0 || mode > kRawMode2Form2 || address < 0 || address > kCdLastAddress) return -1;
  switch (mode) {
    case kRawMode0:
      std::memset(s + kCdHeaderOffset, 0, kCdRawSectorSize - kCdHeaderOffset);
      WriteCdHeader(sector, address, 0);
      break;
    case kRawMode1:
      CompleteCdMode1Sector(sector, address);
      break;
    case kRawMode2:
      WriteCdHeader(sector, address, 2);
      break;
    case kRawMode2Form1:
      PutLe32(s + kCdMode2Form1EdcOffset,
              ComputeEdc(sector, kCdMode2SubheaderOffset, kCdMode2Form1EdcOffset - 1));
      std::memset(s + kCdHeaderOffset, 0, 4);  // the parity of Form 1 sees a zero header
      EncodeCdParity(sector);
      WriteCdHeader(sector, address, 2);
      break;
    case kRawMode2Form2:
      WriteCdHeader(sector, address, 2);
      PutLe32(s + kCdMode2Form2EdcOffset,
              ComputeEdc(sector, kCdMode2SubheaderOffset, kCdMode2Form2EdcOffset - 1));
      break;
  }
  return 0;
}

}  // namespace zephrel
