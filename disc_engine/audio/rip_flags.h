// The flag that ends the current track of a rip (CencelRipCurrentTrack); a
// rip clears it when each track starts. The flag that ends the whole rip is
// the engine's rip_cancel job flag.
#pragma once

#include <atomic>
#include <cstdint>

namespace zephrel {

// The one selection value that selects a track for ripping (automation TRUE).
inline constexpr std::int32_t kTrackSelected = -1;

inline std::atomic<bool>& TrackCancelFlag() {
  static std::atomic<bool> flag{false};
  return flag;
}

}  // namespace zephrel
