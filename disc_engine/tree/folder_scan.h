// The walk of a folder tree on disk for the project tree: depth first, with an
// explicit stack of open folders (no recursion, no path lookups from the top),
// links to folders never followed and special files never opened. The walk
// only reads; what to keep of each entry is the sink's.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace zephrel {

class FolderScanSink {
 public:
  virtual ~FolderScanSink() = default;
  // A folder or a readable regular file (kind as in TreeElement) met below
  // parent; st is the entry's own (a file link's: its target's). Returns the
  // entry's new id, or a negative number to end the walk.
  virtual std::int32_t Add(const std::string& name, std::string source_path, std::int32_t parent,
                           std::int32_t kind, const struct stat& st) = 0;
  // An entry left out: a link that leads nowhere, a special file, a file too
  // large or unreadable; or a folder that cannot be read (which stays, empty).
  virtual void Skip(const std::string& path) = 0;
  // Polled between entries; true ends the walk.
  virtual bool Stopped() = 0;
};

// Walks everything below the open folder top_fd (which stays open), whose id
// is top_id. False when the walk ended early (stopped, or the top folder
// cannot be read).
bool ScanFolderTree(int top_fd, std::int32_t top_id, const std::string& top_path, FolderScanSink& sink);

}  // namespace zephrel
