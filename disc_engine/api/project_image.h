// What an image build of the project starts from, shared by CreateIso and the
// data burn, so that both lay out the same tree with the same switches.
#pragma once

#include <cstdint>

#include "image/image_build_job.h"
#include "zephrel/test_hooks.h"

namespace zephrel {

// VideoMode of CreateIso and Burner_BurnData: 1 turns the DVD-Video layout
// on, 0 off, any other value leaves it as it is.
void ApplyVideoMode(std::int32_t video_mode);

// The job's own copy of the project tree with its names and the DVD-Video
// switch, stamped with the clock SetBuildClockForTesting (zephrel/test_hooks.h)
// installed, if any; call once the job holds the slot.
ImageBuildRequest ProjectImageRequest();

}  // namespace zephrel
