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

HResult ISOBuilder::Burner_BurnData(std::int32_t DriveNum, std::int32_t /*DataMode*/,
                                    std::int32_t /*BurnMode*/, std::int32_t /*Multisession*/,
                                    std::int32_t /*FakeWrite*/, std::int32_t /*BurnProof*/,
                                    std::int32_t /*ImportSession*/, std::int32_t /*VideoMode*/) {
  ProjectTree::Process().StopScans();  // the burn reads a tree no scan changes
  StartUnavailableJob("Burner_BurnData", DriveNum, JobEnd::kEndBurn, 1);
  return S_OK;
}

HResult ISOBuilder::Burner_SetWriteSpeed(std::int32_t /*DriveNum*/, std::int32_t /*Speed*/) { return S_OK; }

HResult ISOBuilder::AudioFile_M4A_GetDuration(const std::string& /*myM4AFile*/, float& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::AudioFile_M4A_Decode(const std::string& /*Source*/, const std::string& /*Dest*/) {
  return S_OK;
}

HResult ISOBuilder::Burner_CopyCDDVD(std::int32_t EntryDevice, const std::string& /*ImagePath*/,
                                     std::int32_t /*ImageMode*/) {
  StartUnavailableJob("Burner_CopyCDDVD", EntryDevice, JobEnd::kEndBurn, 2);
  return S_OK;
}

HResult ISOBuilder::Burner_BurnImage(std::int32_t DriveIndex, const std::string& /*ImagePath*/,
                                     std::int32_t /*ImageMode*/, std::int32_t /*BurnProof*/,
                                     std::int32_t /*Simulation*/) {
  StartUnavailableJob("Burner_BurnImage", DriveIndex, JobEnd::kEndBurn, 1);
  return S_OK;
}

}  // namespace zephrel
