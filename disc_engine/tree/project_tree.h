// The project tree: the files and folders that the next image or data disc
// holds. One mutex guards the element list, its id index and the id counter;
// folder scans run on threads of their own, collect a private batch and merge
// it under that mutex when they end. Events are never raised while the mutex is
// held, so a handler may call back into the tree (except that a handler running
// on a scan thread must not wait for that scan).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "tree/tree_element.h"

namespace zephrel {

// Error number of OnBuildingError for a file or folder that cannot be added.
constexpr std::int32_t kErrorCannotAddElement = 5003;

// Receives what the tree reports. Scan events (OnAddingElements, the scan's
// OnBuildingError, OnEndAddingElements) arrive on the scan's thread; all other
// events on the thread of the call that raised them.
class TreeEvents {
 public:
  virtual ~TreeEvents() = default;
  virtual void OnAddingElements(const std::string& /*name*/, std::int32_t /*flag_file*/) {}
  virtual void OnEndAddingElements() {}
  virtual void OnBuildingError(std::int32_t /*error_number*/, const std::string& /*description*/) {}
  virtual void BeginRetrieveElementsAtLevel() {}
  virtual void RetrieveElementsAtLevel(const std::string& /*name*/, const std::string& /*path*/,
                                       std::int32_t /*index*/, float /*file_size*/,
                                       std::int32_t /*flag_file*/, std::int32_t /*flag_last_session*/) {}
  virtual void EndRetrieveElementsAtLevel() {}
  virtual void RetrieveDirectoriesAtLevelBegin(std::int32_t /*index*/) {}
  virtual void RetrieveDirectoriesAtLevel(const std::string& /*dir_name*/, std::int32_t /*index*/,
                                          std::int32_t /*dad_index*/, std::int32_t /*has_child*/) {}
};

// Where one call reports; when empty, the tree's own listener. A scan keeps
// its target alive until the scan's last event.
using EventTarget = std::shared_ptr<TreeEvents>;

class ProjectTree {
 public:
  // events may be null; otherwise it must outlive the tree.
  explicit ProjectTree(TreeEvents* events);
  // Stops and joins every running scan.
  ~ProjectTree();
  ProjectTree(const ProjectTree&) = delete;
  ProjectTree& operator=(const ProjectTree&) = delete;

  // Starts a scan of the folder at path (trailing '/' allowed) under the
  // folder dad_index and returns at once. The scan adds a folder named after
  // the last path component, then everything below it depth first; it never
  // follows links to folders, follows links to files only when they end at a
  // regular file, and skips special files and unreadable entries, reporting
  // them once at its end. OnEndAddingElements ends every scan.
  void AddDirectory(std::int32_t dad_index, std::string path, EventTarget target = {});
  // Asks every running scan to stop; what they found so far stays.
  void CancelAddDirectory();
  // Adds an empty folder (stopping running scans). Returns its id, or -1 when
  // refused (bad name or parent), reported with OnBuildingError.
  std::int32_t AddVirtualDirectory(std::int32_t dad_index, std::string name, EventTarget target = {});
  // Adds one regular file (links followed). Returns its id, or -1 when refused
  // (missing, unreadable, not a regular file, 4 GiB or more, bad parent),
  // reported as OnBuildingError(kErrorCannotAddElement, "<path>: <why>"),
  // where why gives the file's kind, or its size against the limit, or the
  // system's error text.
  std::int32_t AddFile(std::int32_t dad_index, std::string path, EventTarget target = {});
  // Adds elements imported from the last session of a disc, marked as such,
  // in place of an earlier import: its elements go, and what was added into
  // its folders since moves into the new import's folder of the same path (to
  // the top level when there is none). Their ids come from the import's own
  // counter: the tree's counter moves on to last_id when that is higher.
  // Refused (false, nothing changed) when an id is taken by an element that
  // is not imported or is repeated, or a parent is neither the root nor an
  // earlier folder of the import.
  bool AddImportedElements(std::vector<TreeElement> elements, std::int32_t last_id);
  // The last id given out (the next element gets the one after it).
  std::int32_t IdCounter() const;
  // Marks a file, or a folder and everything below it, removed. Ids stay taken.
  void RemoveAt(std::int32_t id);
  // Renames an element. Refused (false, name unchanged) for an unknown or
  // removed id and for a name that is empty, "." or "..", holds '/' or NUL, or
  // is already used by a sibling.
  bool RenameElementAt(std::int32_t id, std::string new_name);

  // Listing: Begin, one RetrieveElementsAtLevel per child of level (an id) in
  // list order, End.
  void GetFilesDirsAtLevel(std::int32_t level, EventTarget target = {});
  // RetrieveDirectoriesAtLevelBegin, then one event per child folder; returns
  // their number.
  std::int32_t DirectoryCountAtLevel(std::int32_t index, EventTarget target = {});
  std::int32_t GetDirectoryCount() const;
  std::int32_t GetFileCount() const;
  // Sum over files that are neither removed nor imported of whole KiB, in MB.
  double ProjectedFilesMB() const;
  // listened_drive_used_mb: the used space of the listened drive, or a
  // negative value when no drive is listened to (counted as 0).
  float ProjectedImageSizeMB(float listened_drive_used_mb) const;

  // Stops and joins running scans, then empties the tree; the next id is 1.
  // Volume and software names are kept.
  void Clear();
  // Stops and joins running scans (before a build or a burn reads the tree).
  void StopScans();
  // Waits until running scans end by themselves.
  void WaitForScans();

  void SetCDName(std::string name);
  void SetSoftwareName(std::string name);
  std::string CDName() const;
  std::string SoftwareName() const;

  // A copy of the element list, in list order.
  std::vector<TreeElement> Snapshot() const;

  // The process's project tree (no listener of its own: callers pass theirs).
  static ProjectTree& Process();

 private:
  struct Scan;
  struct ScanBatch;

  void RunScan(Scan* scan, TreeEvents* events, std::int32_t dad_index, std::string path);
  bool ScanFolderTree(Scan* scan, TreeEvents* events, int top_fd, std::int32_t top_id,
                      const std::string& top_path, ScanBatch* batch);
  std::int32_t NextScanId(const Scan* scan);
  std::vector<std::shared_ptr<Scan>> TakeScans();
  void JoinScans(std::vector<std::shared_ptr<Scan>>& scans);
  void ReapFinishedScansLocked();
  std::int32_t AppendLocked(TreeElement element);
  const TreeElement* FindLocked(std::int32_t id) const;
  bool IsLiveFolderLocked(std::int32_t id) const;
  std::int32_t CountKind(std::int32_t kind) const;
  TreeEvents* Resolve(const EventTarget& target) const { return target ? target.get() : events_; }

  TreeEvents* const events_;

  mutable std::mutex mutex_;  // guards the fields up to scans_mutex_
  std::vector<TreeElement> elements_;
  std::unordered_map<std::int32_t, std::size_t> position_of_;  // id -> index in elements_
  std::int32_t id_counter_ = 0;
  std::uint64_t epoch_ = 0;  // advanced by Clear; a scan of an older epoch is dropped
  std::string cd_name_;
  std::string software_name_;

  std::mutex scans_mutex_;  // guards scans_
  std::vector<std::shared_ptr<Scan>> scans_;
};

}  // namespace zephrel
