// The engine's drives as the members reach them: the MMC command set on a
// drive of the process's drive list, and the process's one media-change
// listener, which polls on the engine's threads and pauses while a disc job
// runs.
#pragma once

#include <cstdint>

#include "drive/media_listener.h"
#include "drive/medium_snapshot.h"
#include "drive/mmc_drive.h"

namespace zephrel {

// Drive `drive` of the drive list, with its speed list; every command fails
// for a number outside the list.
MmcDrive DriveFor(std::int32_t drive);

// Drive `drive` as the media members ask it: through the open refresh's look
// at its medium (see ISOBuilder::BeginMediaRefresh), else directly, or with
// look_outside through a look of its own.
MmcDrive MediumDriveFor(std::int32_t drive, bool look_outside = false);

MediaListener& EngineListener();
MediumRefreshes& EngineRefreshes();

}  // namespace zephrel
