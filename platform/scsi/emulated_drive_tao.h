// Track-at-once spacing of the emulated drive: where the track after a closed
// or reserved one starts.
#pragma once

#include <cstdint>

#include "emulated_drive_state.h"

namespace platform::emu {

// The start of the track that follows one ending at end (its first sector
// after the last one). On a CD written track at once (write type 1) the link
// and the next track's pregap lie between them; otherwise tracks follow one
// another directly.
// The size of an incomplete track once closed: what was written, padded to
// the medium's recording unit.
std::uint32_t ClosedTrackSize(const Medium& medium, const Track& track);

std::uint32_t FollowingTrackStart(const Medium& medium, std::uint32_t end, int write_type);

}  // namespace platform::emu
