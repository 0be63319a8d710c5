// Two hooks for the tests of programs built on the engine, which reach it
// only through this library: where Burner_Init finds its drives, and the time
// that every image and burn is stamped with. A program never calls them.
#pragma once

#include <chrono>
#include <functional>

#include "platform/scsi.h"
#include "zephrel/export.h"

namespace zephrel {

// Where Burner_Init gets its drives from: by default the backends that
// ZEPHREL_DRIVES names. A test installs a source of its own devices; an empty
// function restores the default.
using DriveSource = std::function<platform::ScanResult()>;
ZEPHREL_API void SetDriveSourceForTesting(DriveSource source);

// The build time of every image and burn from now on; an empty function
// restores the system clock.
ZEPHREL_API void SetBuildClockForTesting(std::function<std::chrono::system_clock::time_point()> clock);

}  // namespace zephrel
