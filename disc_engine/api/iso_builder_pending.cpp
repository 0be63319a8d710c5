// Members whose work is not available in this version. Queries give their
// neutral value (0 or empty) and send nothing to a drive; a member that would
// start a disc job reports "<member> is not available" and raises the job's end
// event with the error flag, so no client waits for ever.
#include <string>

#include "jobs/job_runner.h"
#include "tree/project_tree.h"
#include "zephrel/iso_builder.h"

namespace zephrel {

using platform::HResult;
using platform::S_OK;

HResult ISOBuilder::AudioFile_M4A_GetDuration(const std::string& /*myM4AFile*/, float& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::AudioFile_M4A_Decode(const std::string& /*Source*/, const std::string& /*Dest*/) {
  return S_OK;
}

}  // namespace zephrel
