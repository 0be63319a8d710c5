#include "tree/project_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <unordered_set>
#include <utility>

#include "image/iso9660_format.h"
#include "platform/fileio.h"
#include "tree/folder_scan.h"

namespace zephrel {

namespace {

// Folder scans raise OnAddingElements every hundredth id above this one.
constexpr std::int32_t kProgressIdThreshold = 1000;
constexpr std::int32_t kProgressIdStep = 100;

std::int64_t MtimeSeconds(const struct stat& st) { return static_cast<std::int64_t>(st.st_mtim.tv_sec); }

// Drops trailing '/' (but keeps a lone "/").
std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string LastComponent(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsValidElementName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

struct ProjectTree::Scan {
  std::thread thread;
  std::atomic<bool> stop{false};
  std::atomic<bool> done{false};
  std::uint64_t epoch = 0;
  EventTarget target;  // kept alive while the scan may raise events
};

struct ProjectTree::ScanBatch {
  std::vector<TreeElement> elements;
  std::size_t skipped = 0;
  std::string first_skipped;

  void Skip(const std::string& path) {
    if (skipped++ == 0) first_skipped = path;
  }
};

ProjectTree::ProjectTree(TreeEvents* events) : events_(events) {}

ProjectTree::~ProjectTree() { StopScans(); }

ProjectTree& ProjectTree::Process() {
  static ProjectTree tree(nullptr);
  return tree;
}

namespace {
void Report(TreeEvents* events, std::int32_t error_number, const std::string& description) {
  if (events) events->OnBuildingError(error_number, description);
}
}  // namespace

// ---- element list -------------------------------------------------------

std::int32_t ProjectTree::AppendLocked(TreeElement element) {
  position_of_[element.id] = elements_.size();
  std::int32_t id = element.id;
  elements_.push_back(std::move(element));
  return id;
}

const TreeElement* ProjectTree::FindLocked(std::int32_t id) const {
  auto it = position_of_.find(id);
  return it == position_of_.end() ? nullptr : &elements_[it->second];
}

bool ProjectTree::IsLiveFolderLocked(std::int32_t id) const {
  if (id == kRootId) return true;
  const TreeElement* e = FindLocked(id);
  return e && e->is_folder() && !e->removed;
}

std::int32_t ProjectTree::AddVirtualDirectory(std::int32_t dad_index, std::string name, EventTarget target) {
  CancelAddDirectory();
  {
    std::lock_guard lock(mutex_);
    if (IsValidElementName(name) && IsLiveFolderLocked(dad_index)) {
      TreeElement e;
      e.name = std::move(name);
      e.id = ++id_counter_;
      e.parent_id = dad_index;
      e.kind = kKindFolder;
      return AppendLocked(std::move(e));
    }
  }
  Report(Resolve(target), kErrorCannotAddElement, name);
  return -1;
}

namespace {

// What a file of the given status is, for a refusal that names its kind.
const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// Why AddFile refuses path, or empty when it may be added (links followed;
// nothing is opened, so a FIFO or a device cannot block the call).
std::string AddFileRefusal(const std::string& path, const std::string& name, struct stat* st) {
  if (!IsValidElementName(name)) return path + ": not a file name";
  if (::stat(path.c_str(), st) != 0) return path + ": " + platform::ErrnoText(errno);
  if (!S_ISREG(st->st_mode)) {
    return path + ": " + KindOf(st->st_mode) + ", not a regular file; only regular files go into an image";
  }
  const auto size = static_cast<std::uint64_t>(st->st_size);
  if (size > iso9660::kMaxFileSize) {
    return path + ": " + std::to_string(size) + " bytes; an ISO 9660 file holds at most " +
           std::to_string(iso9660::kMaxFileSize) + " bytes (4 GiB less one byte)";
  }
  if (::access(path.c_str(), R_OK) != 0) return path + ": " + platform::ErrnoText(errno);
  return {};
}

}  // namespace

std::int32_t ProjectTree::AddFile(std::int32_t dad_index, std::string path, EventTarget target) {
  struct stat st {};
  std::string name = LastComponent(path);
  std::string refusal = AddFileRefusal(path, name, &st);
  if (refusal.empty()) {
    std::lock_guard lock(mutex_);
    if (IsLiveFolderLocked(dad_index)) {
      TreeElement e;
      e.name = std::move(name);
      e.source_path = path;
      e.id = ++id_counter_;
      e.parent_id = dad_index;
      e.kind = kKindFile;
      e.file_size = static_cast<std::uint64_t>(st.st_size);
      e.mtime = MtimeSeconds(st);
      return AppendLocked(std::move(e));
    }
    refusal = path + ": the folder " + std::to_string(dad_index) + " to add it to does not exist";
  }
  Report(Resolve(target), kErrorCannotAddElement, refusal);
  return -1;
}

bool ProjectTree::AddImportedElements(std::vector<TreeElement> elements, std::int32_t last_id) {
  std::lock_guard lock(mutex_);
  // An earlier import is replaced: its elements go, and what was added into
  // its folders since moves into the new import's folder of the same path.
  std::unordered_map<std::int32_t, std::string> old_paths;  // imported folder id -> path
  for (const TreeElement& e : elements_) {
    if (!e.from_last_session || !e.is_folder()) continue;
    auto parent = old_paths.find(e.parent_id);
    old_paths[e.id] = (parent == old_paths.end() ? std::string() : parent->second) + "/" + e.name;
  }
  std::unordered_set<std::int32_t> new_folders, new_ids;
  std::unordered_map<std::int32_t, std::string> new_paths;
  std::unordered_map<std::string, std::int32_t> new_folder_at;
  for (const TreeElement& e : elements) {
    if (e.id <= 0 || !new_ids.insert(e.id).second) return false;
    auto taken = position_of_.find(e.id);
    if (taken != position_of_.end() && !elements_[taken->second].from_last_session) return false;
    const bool parent_is_new = new_folders.count(e.parent_id) != 0;
    if (!parent_is_new && e.parent_id != kRootId) return false;
    if (e.is_folder()) {
      new_folders.insert(e.id);
      auto parent = new_paths.find(e.parent_id);
      const std::string path = (parent == new_paths.end() ? std::string() : parent->second) + "/" + e.name;
      new_paths[e.id] = path;
      new_folder_at.emplace(path, e.id);
    }
  }
  std::vector<TreeElement> kept;
  kept.reserve(elements_.size() + elements.size());
  for (TreeElement& e : elements_) {
    if (e.from_last_session) continue;
    auto old_parent = old_paths.find(e.parent_id);
    if (old_parent != old_paths.end()) {
      auto match = new_folder_at.find(old_parent->second);
      e.parent_id = match == new_folder_at.end() ? kRootId : match->second;
    }
    kept.push_back(std::move(e));
  }
  for (TreeElement& e : elements) {
    e.from_last_session = true;
    kept.push_back(std::move(e));
  }
  // Parents before children again (a moved element may now precede its new
  // folder); siblings keep their order.
  std::unordered_map<std::int32_t, std::vector<std::size_t>> children;
  for (std::size_t i = 0; i < kept.size(); ++i) children[kept[i].parent_id].push_back(i);
  elements_.clear();
  position_of_.clear();
  std::vector<std::pair<std::int32_t, std::size_t>> stack{{kRootId, 0}};
  while (!stack.empty()) {
    auto& [folder, next] = stack.back();
    auto it = children.find(folder);
    if (it == children.end() || next >= it->second.size()) {
      stack.pop_back();
      continue;
    }
    TreeElement& e = kept[it->second[next++]];
    const std::int32_t id = e.id;
    const bool folder_element = e.is_folder();
    AppendLocked(std::move(e));
    if (folder_element) stack.emplace_back(id, 0);
  }
  id_counter_ = std::max(id_counter_, last_id);
  return true;
}

std::int32_t ProjectTree::IdCounter() const {
  std::lock_guard lock(mutex_);
  return id_counter_;
}

void ProjectTree::RemoveAt(std::int32_t id) {
  std::lock_guard lock(mutex_);
  auto it = position_of_.find(id);
  if (it == position_of_.end()) return;
  TreeElement& target = elements_[it->second];
  target.removed = true;
  if (target.is_file()) return;
  // Children always follow their parent in the list, so one pass from the
  // folder on finds every descendant.
  std::unordered_set<std::int32_t> removed_folders{id};
  for (std::size_t i = it->second + 1; i < elements_.size(); ++i) {
    TreeElement& e = elements_[i];
    if (!removed_folders.count(e.parent_id)) continue;
    e.removed = true;
    if (e.is_folder()) removed_folders.insert(e.id);
  }
}

bool ProjectTree::RenameElementAt(std::int32_t id, std::string new_name) {
  if (!IsValidElementName(new_name)) return false;
  std::lock_guard lock(mutex_);
  auto it = position_of_.find(id);
  if (it == position_of_.end() || elements_[it->second].removed) return false;
  const std::int32_t parent = elements_[it->second].parent_id;
  for (const TreeElement& e : elements_) {
    if (e.id != id && e.parent_id == parent && !e.removed && e.name == new_name) return false;
  }
  elements_[it->second].name = std::move(new_name);
  return true;
}

void ProjectTree::GetFilesDirsAtLevel(std::int32_t level, EventTarget target) {
  TreeEvents* events = Resolve(target);
  std::vector<TreeElement> children;
  {
    std::lock_guard lock(mutex_);
    for (const TreeElement& e : elements_) {
      if (e.parent_id == level && !e.removed) children.push_back(e);
    }
  }
  if (!events) return;
  events->BeginRetrieveElementsAtLevel();
  for (const TreeElement& e : children) {
    events->RetrieveElementsAtLevel(e.name, e.source_path, e.id, static_cast<float>(e.file_size),
                                    e.is_file() ? 1 : 0, e.from_last_session ? 1 : 0);
  }
  events->EndRetrieveElementsAtLevel();
}

std::int32_t ProjectTree::DirectoryCountAtLevel(std::int32_t index, EventTarget target) {
  TreeEvents* events = Resolve(target);
  std::vector<std::pair<std::string, std::int32_t>> folders;
  {
    std::lock_guard lock(mutex_);
    for (const TreeElement& e : elements_) {
      if (e.parent_id == index && !e.removed && e.is_folder()) folders.emplace_back(e.name, e.id);
    }
  }
  if (events) {
    events->RetrieveDirectoriesAtLevelBegin(index);
    for (const auto& [name, id] : folders) events->RetrieveDirectoriesAtLevel(name, id, index, 0);
  }
  return static_cast<std::int32_t>(folders.size());
}

std::int32_t ProjectTree::CountKind(std::int32_t kind) const {
  std::lock_guard lock(mutex_);
  std::int32_t n = 0;
  for (const TreeElement& e : elements_) n += (e.kind == kind && !e.removed) ? 1 : 0;
  return n;
}

std::int32_t ProjectTree::GetDirectoryCount() const { return CountKind(kKindFolder); }
std::int32_t ProjectTree::GetFileCount() const { return CountKind(kKindFile); }

double ProjectTree::ProjectedFilesMB() const {
  std::lock_guard lock(mutex_);
  std::uint64_t kib = 0;
  for (const TreeElement& e : elements_) {
    if (!e.removed && !e.from_last_session) kib += e.file_size / 1024;
  }
  return static_cast<double>(kib) / 1024.0;
}

float ProjectTree::ProjectedImageSizeMB(float listened_drive_used_mb) const {
  double used = listened_drive_used_mb > 0 ? listened_drive_used_mb : 0.0;
  return static_cast<float>(used + ProjectedFilesMB());
}

void ProjectTree::SetCDName(std::string name) {
  std::lock_guard lock(mutex_);
  cd_name_ = std::move(name);
}
void ProjectTree::SetSoftwareName(std::string name) {
  std::lock_guard lock(mutex_);
  software_name_ = std::move(name);
}
std::string ProjectTree::CDName() const {
  std::lock_guard lock(mutex_);
  return cd_name_;
}
std::string ProjectTree::SoftwareName() const {
  std::lock_guard lock(mutex_);
  return software_name_;
}

std::vector<TreeElement> ProjectTree::Snapshot() const {
  std::lock_guard lock(mutex_);
  return elements_;
}

void ProjectTree::Clear() {
  auto scans = TakeScans();
  for (auto& s : scans) s->stop = true;
  JoinScans(scans);
  std::lock_guard lock(mutex_);
  elements_.clear();
  position_of_.clear();
  id_counter_ = 0;
  ++epoch_;
}

// ---- scans ----------------------------------------------------------------

std::vector<std::shared_ptr<ProjectTree::Scan>> ProjectTree::TakeScans() {
  std::lock_guard lock(scans_mutex_);
  return std::exchange(scans_, {});
}

void ProjectTree::JoinScans(std::vector<std::shared_ptr<Scan>>& scans) {
  for (auto& s : scans) {
    if (!s->thread.joinable()) continue;
    if (s->thread.get_id() == std::this_thread::get_id()) {
      // Called from a handler on the scan's own thread: it cannot wait for
      // itself; the scan sees the stop flag (and a newer epoch) and ends.
      s->thread.detach();  // the thread holds its own reference to the scan
      continue;
    }
    s->thread.join();
  }
}

void ProjectTree::ReapFinishedScansLocked() {
  std::vector<std::shared_ptr<Scan>> keep;
  for (auto& s : scans_) {
    if (s->done) {
      s->thread.join();
    } else {
      keep.push_back(std::move(s));
    }
  }
  scans_ = std::move(keep);
}

void ProjectTree::CancelAddDirectory() {
  std::lock_guard lock(scans_mutex_);
  for (auto& s : scans_) s->stop = true;
}

void ProjectTree::StopScans() {
  auto scans = TakeScans();
  for (auto& s : scans) s->stop = true;
  JoinScans(scans);
}

void ProjectTree::WaitForScans() {
  auto scans = TakeScans();
  JoinScans(scans);
}

void ProjectTree::AddDirectory(std::int32_t dad_index, std::string path, EventTarget target) {
  auto scan = std::make_shared<Scan>();
  TreeEvents* events = Resolve(target);
  scan->target = std::move(target);
  {
    std::lock_guard lock(mutex_);
    scan->epoch = epoch_;
  }
  std::lock_guard lock(scans_mutex_);
  ReapFinishedScansLocked();
  scan->thread = std::thread([this, self = scan, events, dad_index, p = std::move(path)]() mutable {
    // Nothing leaves the scan's thread: a failure (memory running out, a
    // handler that throws) ends the scan as reported and ended.
    try {
      RunScan(self.get(), events, dad_index, p);
    } catch (...) {
      try {
        Report(events, kErrorCannotAddElement, p + ": the scan of this folder failed");
      } catch (...) {
      }
      try {
        if (events) events->OnEndAddingElements();
      } catch (...) {
      }
    }
    self->done = true;
  });
  scans_.push_back(std::move(scan));
}

std::int32_t ProjectTree::NextScanId(const Scan* scan) {
  std::lock_guard lock(mutex_);
  if (scan->epoch != epoch_) return -1;  // the tree was cleared under the scan
  return ++id_counter_;
}

void ProjectTree::RunScan(Scan* scan, TreeEvents* events, std::int32_t dad_index, std::string path) {
  ScanBatch batch;
  path = StripTrailingSlashes(std::move(path));
  std::string name = LastComponent(path);
  platform::UniqueFd top(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  bool parent_ok;
  {
    std::lock_guard lock(mutex_);
    parent_ok = IsLiveFolderLocked(dad_index);
  }
  if (top.get() < 0 || !IsValidElementName(name) || !parent_ok) {
    Report(events, kErrorCannotAddElement, path);
  } else {
    std::int32_t top_id = NextScanId(scan);
    if (top_id > 0) {
      if (events && top_id > kProgressIdThreshold && top_id % kProgressIdStep == 0) {
        events->OnAddingElements(name, 1);
      }
      TreeElement folder;
      folder.name = name;
      folder.id = top_id;
      folder.parent_id = dad_index;
      folder.kind = kKindFolder;
      batch.elements.push_back(std::move(folder));
      ScanFolderTree(scan, events, top.get(), top_id, path, &batch);
    }
    {
      std::lock_guard lock(mutex_);
      if (scan->epoch == epoch_) {
        // A parent removed while the scan ran hides what it found.
        const bool hidden = !IsLiveFolderLocked(dad_index);
        elements_.reserve(elements_.size() + batch.elements.size());
        for (TreeElement& e : batch.elements) {
          e.removed = e.removed || hidden;
          AppendLocked(std::move(e));
        }
      }
    }
    if (batch.skipped > 0) {
      Report(events, kErrorCannotAddElement,
             batch.first_skipped + " (" + std::to_string(batch.skipped) +
                 (batch.skipped == 1 ? " entry" : " entries") + " skipped)");
    }
  }
  if (events) events->OnEndAddingElements();
}

bool ProjectTree::ScanFolderTree(Scan* scan, TreeEvents* events, int top_fd, std::int32_t top_id,
                                 const std::string& top_path, ScanBatch* batch) {
  // Every entry gets a new id as it is met.
  struct Sink : FolderScanSink {
    ProjectTree* tree;
    Scan* scan;
    TreeEvents* events;
    ScanBatch* batch;
    std::int32_t Add(const std::string& name, std::string source, std::int32_t parent, std::int32_t kind,
                     const struct stat& st) override {
      std::int32_t id = tree->NextScanId(scan);
      if (id < 0) return -1;
      if (events && id > kProgressIdThreshold && id % kProgressIdStep == 0) events->OnAddingElements(name, 1);
      TreeElement e;
      e.name = name;
      e.source_path = std::move(source);
      e.id = id;
      e.parent_id = parent;
      e.kind = kind;
      e.file_size = kind == kKindFile ? static_cast<std::uint64_t>(st.st_size) : 0;
      e.mtime = MtimeSeconds(st);
      batch->elements.push_back(std::move(e));
      return id;
    }
    void Skip(const std::string& path) override { batch->Skip(path); }
    bool Stopped() override { return scan->stop; }
  } sink;
  sink.tree = this;
  sink.scan = scan;
  sink.events = events;
  sink.batch = batch;
  return zephrel::ScanFolderTree(top_fd, top_id, top_path, sink);
}

}  // namespace zephrel
