// The import of a disc's last session into the project tree, so that a new
// session shows the old files beside the new ones: the last session is found
// from the session information of the table of contents, its directory tree
// is read back (Joliet when the session has it, else the primary hierarchy)
// and the elements replace any earlier import, marked as from the last
// session. What could not be imported is said, one sentence each.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "drive/mmc_drive.h"
#include "tree/project_tree.h"

namespace zephrel {

struct LastSessionPlace {
  std::uint32_t start = 0;         // first sector of the last complete session
  std::uint32_t recorded_end = 0;  // first sector past the recorded area
};

// READ TOC format 1 gives the start of the first track of the last complete
// session; the recorded area ends where READ CAPACITY says, or, when it does
// not answer, at the end of that track. None when the disc holds no session,
// and when the drive's answer cannot be read: then *unreadable says why (a
// reply shorter than it declares is never taken for a disc without sessions).
std::optional<LastSessionPlace> LocateLastSession(MmcDrive& drive, std::string* unreadable = nullptr);

// Imports the last session of the disc in drive into tree. Returns false,
// with the reason reported, when nothing could be imported.
bool ImportLastSession(MmcDrive& drive, ProjectTree& tree,
                       const std::function<void(const std::string&)>& report);

}  // namespace zephrel
