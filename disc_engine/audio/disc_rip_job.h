// A disc ripped as an image: every sector from LBA 0 to the lead-out, raw,
// into a new image file, with a sheet beside it (mode 1) or after a 4096-byte
// track table (any other mode). The job body runs on a job thread of the
// runner, which raises RipperOnEndRip after it.
#pragma once

#include <filesystem>
#include <string>

#include "audio/cd_toc.h"
#include "jobs/job_runner.h"

namespace zephrel {

struct DiscRipRequest {
  std::filesystem::path image_path;
  int mode = 1;  // 1: raw sectors and a sheet; any other: the track table, then the sectors
  CdToc toc;     // the track list as it stood when the rip was asked for
};

// Runs the rip on the job's drive: RipperOnRip for the progress of the track
// being read, "Read error at LBA ..." through BurningErrorViewDescription for
// each sector that could not be read (written as zeros), BurnerOnError (1001)
// when the image or its sheet exists already or cannot be created.
void RunDiscRip(Job& job, const DiscRipRequest& request);

}  // namespace zephrel
