// The disc copy: every sector of the disc in a drive, track by track, into a
// new image file whose addresses equal the disc's (the gaps between sessions
// are zeros), with a CUE sheet beside it in raw mode. CD media are copied as
// raw 2352-byte sectors when asked, any other medium in 2048-byte sectors. An
// unreadable sector is written as zeros and reported (status 102; status 103
// once, at the twentieth in one track). The job ends with
// BurnerOnEndBurn(2, rip cancel, error); CancelRip ends it.
#pragma once

#include <filesystem>

#include "jobs/job_runner.h"

namespace zephrel {

// BurnerOnError number: the image (or its sheet) exists or cannot be created.
inline constexpr std::int32_t kErrorCopyImageCreate = 2001;
inline constexpr std::int32_t kStatusCopyProgress = 100;
inline constexpr std::int32_t kStatusCopyStart = 101;
inline constexpr std::int32_t kStatusCopyUnreadable = 102;
inline constexpr std::int32_t kStatusCopyManyUnreadable = 103;

// raw: the caller asked for 2352-byte sectors (Burner_CopyCDDVD's ImageMode 1).
void CopyDisc(Job& job, const std::filesystem::path& image, bool raw);

}  // namespace zephrel
