// The burning members: the data burn of the project, the burn of an image
// file, the copy of a disc into an image, and the write speed.
#include <algorithm>

#include "api/engine_drives.h"
#include "api/project_image.h"
#include "burn/data_burn.h"
#include "burn/disc_copy.h"
#include "burn/image_burn.h"
#include "drive/media.h"
#include "jobs/job_runner.h"
#include "platform/text.h"
#include "tree/project_tree.h"
#include "zephrel/iso_builder.h"

namespace zephrel {

using platform::HResult;
using platform::S_OK;

HResult ISOBuilder::Burner_BurnData(std::int32_t DriveNum, std::int32_t DataMode, std::int32_t BurnMode,
                                    std::int32_t Multisession, std::int32_t FakeWrite, std::int32_t BurnProof,
                                    std::int32_t /*ImportSession*/, std::int32_t VideoMode) {
  ProjectTree::Process().StopScans();  // the burn reads a tree no scan changes
  ApplyVideoMode(VideoMode);
  // A client's TRUE (-1 from automation, or 1) turns a switch on.
  DataBurnSettings settings;
  settings.data_mode = DataMode;
  settings.burn_mode = BurnMode;
  settings.multisession = Multisession != 0;
  settings.simulate = FakeWrite != 0;
  settings.burn_proof = BurnProof != 0;
  StartJob(events_, JobEnd::kEndBurn, DriveNum, JobSetup([settings]() -> JobBody {
             return [settings, request = ProjectImageRequest()](Job& job) mutable {
               BurnData(job, settings, std::move(request));
             };
           }),
           JobOptions{.priority_applies = true});
  return S_OK;
}

HResult ISOBuilder::Burner_BurnImage(std::int32_t DriveIndex, const std::string& ImagePath,
                                     std::int32_t /*ImageMode*/, std::int32_t BurnProof,
                                     std::int32_t Simulation) {
  // The format is read from the file itself; ImageMode is not needed.
  const ImageBurnSettings settings{.burn_proof = BurnProof != 0, .simulate = Simulation != 0};
  StartJob(
      events_, JobEnd::kEndBurn, DriveIndex,
      [settings, path = platform::Utf8ToPath(ImagePath)](Job& job) { BurnImage(job, path, settings); },
      JobOptions{.priority_applies = true});
  return S_OK;
}

HResult ISOBuilder::Burner_CopyCDDVD(std::int32_t EntryDevice, const std::string& ImagePath,
                                     std::int32_t ImageMode) {
  StartJob(
      events_, JobEnd::kEndBurn, EntryDevice,
      [path = platform::Utf8ToPath(ImagePath), raw = ImageMode == 1](Job& job) { CopyDisc(job, path, raw); },
      JobOptions{.priority_applies = true, .cancelled_by_rip = true});
  return S_OK;
}

HResult ISOBuilder::Burner_SetWriteSpeed(std::int32_t DriveNum, std::int32_t Speed) {
  MmcDrive drive = DriveFor(DriveNum);
  const int code = drive.MmcGetMediaTypeCode();
  if (code < 0 || code > 15) {
    drive.SetCdWriteSpeed(Speed);
  } else {
    drive.SetDvdWriteSpeed(Speed);
  }
  return S_OK;
}

}  // namespace zephrel
