// The data burn: the project's image is built on the fly (the same producer
// and layout as an image file) from the disc's next writable address into the
// sector FIFO, while the drive writer writes the blocks; then the track and
// session are closed as the medium needs and the tray is opened. The job ends
// with BurnerOnEndBurn(1, cancel, error); a disc too small gives 1015 and
// ends as cancelled, before anything is written.
#pragma once

#include "image/image_build_job.h"
#include "jobs/job_runner.h"

namespace zephrel {

struct DataBurnSettings {
  int data_mode = 8;  // data block type of the write parameters
  int burn_mode = 1;  // write type
  bool multisession = false;
  bool simulate = false;
  bool burn_proof = false;
};

// request holds the tree and the names, as for an image file; the burn sets
// its stream, session start, padding and hook.
void BurnData(Job& job, const DataBurnSettings& settings, ImageBuildRequest request);

}  // namespace zephrel
