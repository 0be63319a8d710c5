#include "tree/folder_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "image/iso9660_format.h"
#include "platform/fileio.h"
#include "tree/tree_element.h"

namespace zephrel {
namespace {

struct DirEntry {
  std::string name;
  struct stat st;  // lstat-style: links are not followed
};

// Reads every entry but "." and ".." of the open folder fd (fd stays open).
bool ReadEntries(int fd, std::vector<DirEntry>* entries) {
  int dup_fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (dup_fd < 0) return false;
  DIR* dir = ::fdopendir(dup_fd);
  if (!dir) {
    ::close(dup_fd);
    return false;
  }
  bool ok = true;
  for (;;) {
    errno = 0;
    struct dirent* d = ::readdir(dir);
    if (!d) {
      ok = errno == 0;
      break;
    }
    std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    DirEntry entry{std::move(name), {}};
    if (::fstatat(fd, entry.name.c_str(), &entry.st, AT_SYMLINK_NOFOLLOW) != 0) {
      entry.st.st_mode = 0;  // vanished or not accessible: reported as skipped
    }
    entries->push_back(std::move(entry));
  }
  ::closedir(dir);
  return ok;
}

}  // namespace

bool ScanFolderTree(int top_fd, std::int32_t top_id, const std::string& top_path, FolderScanSink& sink) {
  struct Frame {
    platform::UniqueFd fd;
    std::string path;
    std::int32_t id;
    std::vector<DirEntry> entries;
    std::size_t next = 0;
  };
  std::vector<Frame> stack;
  {
    Frame top{platform::UniqueFd(::fcntl(top_fd, F_DUPFD_CLOEXEC, 0)), top_path, top_id, {}, 0};
    if (top.fd.get() < 0 || !ReadEntries(top.fd.get(), &top.entries)) {
      sink.Skip(top_path);
      return false;
    }
    stack.push_back(std::move(top));
  }

  while (!stack.empty()) {
    if (sink.Stopped()) return false;
    Frame& frame = stack.back();
    if (frame.next >= frame.entries.size()) {
      stack.pop_back();
      continue;
    }
    const DirEntry& entry = frame.entries[frame.next++];
    const std::string sub_path = frame.path == "/" ? "/" + entry.name : frame.path + "/" + entry.name;
    const mode_t mode = entry.st.st_mode;
    if (S_ISDIR(mode)) {
      std::int32_t id = sink.Add(entry.name, sub_path, frame.id, kKindFolder, entry.st);
      if (id < 0) return false;
      Frame child{platform::UniqueFd(::openat(frame.fd.get(), entry.name.c_str(),
                                              O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)),
                  sub_path,
                  id,
                  {},
                  0};
      if (child.fd.get() < 0 || !ReadEntries(child.fd.get(), &child.entries)) {
        sink.Skip(sub_path);  // the folder stays, empty
        continue;
      }
      stack.push_back(std::move(child));  // invalidates frame
      continue;
    }
    struct stat target = entry.st;
    if (S_ISLNK(mode) && ::fstatat(frame.fd.get(), entry.name.c_str(), &target, 0) != 0) {
      sink.Skip(sub_path);  // dangling link
      continue;
    }
    // A link to a folder is never followed; specials (FIFOs, devices, sockets)
    // are never opened.
    if (!S_ISREG(target.st_mode) || static_cast<std::uint64_t>(target.st_size) > iso9660::kMaxFileSize ||
        ::faccessat(frame.fd.get(), entry.name.c_str(), R_OK, AT_EACCESS) != 0) {
      sink.Skip(sub_path);
      continue;
    }
    if (sink.Add(entry.name, sub_path, frame.id, kKindFile, target) < 0) return false;
  }
  return true;
}

}  // namespace zephrel
