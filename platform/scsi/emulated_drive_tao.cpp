#include "emulated_drive_tao.h"

#include <algorithm>

namespace platform::emu {

std::uint32_t ClosedTrackSize(const Medium& m, const Track& t) {
  // A DVD track ends on an ECC block (16 sectors), a BD track on a cluster
  // (32): the drive pads what was written, and the next track starts there.
  const std::uint32_t unit = IsCd(m.profile) ? 1 : IsBd(m.profile) ? 32 : 16;
  const std::uint64_t size = (std::uint64_t(t.written) + unit - 1) / unit * unit;
  return std::uint32_t(std::min<std::uint64_t>(size, m.capacity > t.start ? m.capacity - t.start : 0));
}

std::uint32_t FollowingTrackStart(const Medium& medium, std::uint32_t end, int write_type) {
  if (IsCd(medium.profile) && write_type == kWriteTypeTrackAtOnce) return end + kCdTaoTrackGap;
  return end;
}

}  // namespace platform::emu
