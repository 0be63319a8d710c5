// Members that name the medium in a drive: its media-type code and name, its
// total and used space, its identifier and manufacturer, and whether a
// session holds data. Each reads the drive at the call; a drive number
// outside the list gives the neutral value.
#include "api/engine_drives.h"
#include "burn/burn_pipeline.h"
#include "drive/media.h"
#include "drive/mmc_drive.h"
#include "drive/toc.h"
#include "jobs/job_state.h"
#include "zephrel/iso_builder.h"

namespace zephrel {

using platform::HResult;
using platform::S_OK;

HResult ISOBuilder::Burner_GetMediaType(std::int32_t DriveNum, std::int32_t& pVal) {
  pVal = DriveFor(DriveNum).MmcGetMediaTypeCode();
  return S_OK;
}

// The drive number is not used: the name belongs to the code alone.
HResult ISOBuilder::Burner_GetMediaTypeName(std::int32_t /*DriveNum*/, std::int32_t index,
                                            std::string& pVal) {
  pVal = MediaTypeName(index);
  return S_OK;
}

HResult ISOBuilder::Burner_GetMediaTotalSpace(std::int32_t DriveNum, float& pVal) {
  MmcDrive drive = DriveFor(DriveNum);
  const int code = drive.MmcGetMediaTypeCode();
  if (code == kMediaDvdRom) ReadToc(drive, DriveNum);  // a pressed disc: its table, never a capacity
  pVal = GetMediaCapacityMB(drive, code);
  return S_OK;
}

HResult ISOBuilder::Burner_GetMediaUsedSpace(std::int32_t DriveNum, float& pVal) {
  MmcDrive drive = DriveFor(DriveNum);
  pVal = GetMediaUsedSpaceMB(drive, drive.MmcGetMediaTypeCode());
  return S_OK;
}

HResult ISOBuilder::Burner_GetMediaUID(std::int32_t DriveNum, std::string& pVal, std::string& pVal2) {
  MmcDrive drive = DriveFor(DriveNum);
  const MediaId id = ReadMediaId(drive, drive.MmcGetMediaTypeCode());
  if (id.has_id) pVal = id.id;  // CD media have no identifier: pVal stays as it was
  pVal2 = id.manufacturer;
  return S_OK;
}

// The rule the burns apply when they are asked to simulate.
bool ISOBuilder::MediaCanSimulate(std::int32_t DriveNum) const {
  MmcDrive drive = DriveFor(DriveNum);
  return CanSimulate(drive, drive.MmcGetMediaTypeCode());
}

// SessionNumber is not consulted: the answer is sector 17's.
HResult ISOBuilder::GetSessionDataMode(std::int32_t DriveIndex, std::int32_t /*SessionNumber*/,
                                       std::int16_t& pVal) {
  // 1: a volume descriptor at sector 17; 2: none there; 0: unreadable.
  const std::optional<bool> descriptor = DriveFor(DriveIndex).SessionDataMode();
  pVal = static_cast<std::int16_t>(!descriptor ? 0 : *descriptor ? 1 : 2);
  return S_OK;
}

}  // namespace zephrel
