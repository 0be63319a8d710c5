// The 2048-byte logical sector: the user data of one sector of every CD
// (Mode 1), DVD and BD medium, and so the size of a DVD-Video pack, of an
// information file's table unit and of an ISO 9660 or UDF block on them.
#pragma once

#include <cstddef>

namespace platform {

inline constexpr std::size_t kSectorSize = 2048;

}  // namespace platform
