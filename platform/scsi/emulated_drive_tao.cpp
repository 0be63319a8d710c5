#include "emulated_drive_tao.h"

namespace platform::emu {

std::uint32_t FollowingTrackStart(const Medium& medium, std::uint32_t end, int write_type) {
  if (IsCd(medium.profile) && write_type == kWriteTypeTrackAtOnce) return end + kCdTaoTrackGap;
  return end;
}

}  // namespace platform::emu
