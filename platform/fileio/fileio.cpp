#include "platform/fileio.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <utility>

namespace platform {
namespace {

// Largest file ReadFile loads into memory.
constexpr std::uint64_t kMaxReadFileSize = std::uint64_t{1} << 30;

void SetError(FileError* error, int code, const std::string& operation, const std::filesystem::path& path) {
  if (!error) return;
  error->code = code;
  error->message = operation + " " + path.string() + ": " + ErrnoText(code);
}

void SetErrorText(FileError* error, int code, const std::string& operation, const std::filesystem::path& path,
                  const std::string& text) {
  if (!error) return;
  error->code = code;
  error->message = operation + " " + path.string() + ": " + text;
}

void ClearError(FileError* error) {
  if (!error) return;
  error->code = 0;
  error->message.clear();
}

bool OffsetFits(std::uint64_t offset) {
  return offset <= static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
}

// Both strerror_r flavours (GNU returns a pointer, XSI fills the buffer).
[[maybe_unused]] const char* StrerrorResult(int, const char* buffer) { return buffer; }
[[maybe_unused]] const char* StrerrorResult(const char* result, const char*) { return result; }

// A name for a temporary file beside path that no other writer picks.
std::filesystem::path TempNameBeside(const std::filesystem::path& path) {
  static std::atomic<unsigned> counter{0};
  thread_local std::mt19937_64 rng{std::random_device{}()};
  std::filesystem::path tmp = path;
  tmp += ".tmp" + std::to_string(::getpid()) + "." + std::to_string(counter++) + "." +
         std::to_string(rng() % 1000000);
  return tmp;
}

}  // namespace

std::string ErrnoText(int code) {
  char buffer[256] = {0};
  return StrerrorResult(strerror_r(code, buffer, sizeof buffer), buffer);
}

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

File::File(File&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) { other.fd_ = -1; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
  }
  return *this;
}

File File::Open(const std::filesystem::path& path, Mode mode, FileError* error, unsigned permissions) {
  ClearError(error);
  // O_NOCTTY: a terminal the user picks never becomes the controlling one.
  int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  switch (mode) {
    case Mode::kRead:
      flags |= O_RDONLY;
      break;
    case Mode::kReadWrite:
      flags |= O_RDWR;
      break;
    case Mode::kCreateExclusive:
      flags |= O_RDWR | O_CREAT | O_EXCL;
      break;
    case Mode::kCreateTruncate:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
  }
  File file;
  int fd;
  do {
    fd = ::open(path.c_str(), flags, static_cast<mode_t>(permissions));
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    SetError(error, errno, "open", path);
    return file;
  }
  file.fd_ = fd;
  file.path_ = path;
  // Blocking I/O from here on: O_NONBLOCK only kept the open from waiting.
  int fl = ::fcntl(fd, F_GETFL);
  if (fl < 0 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) < 0) {
    SetError(error, errno, "open", path);
    return File();
  }
  return file;
}

namespace {

// Repeats op(done) -- one read or write of the bytes from done on -- over
// short transfers and EINTR until size bytes have moved. A read stops early at
// the end of the file; a write that moves nothing fails with EIO. Returns the
// bytes moved, or nullopt with *code set.
template <typename Op>
std::optional<std::size_t> TransferAll(std::size_t size, bool writing, Op op, int* code) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = op(done);
    if (n < 0) {
      if (errno == EINTR) continue;
      *code = errno;
      return std::nullopt;
    }
    if (n == 0) {
      if (!writing) break;  // end of file
      *code = EIO;          // no progress and no reason given
      return std::nullopt;
    }
    done += static_cast<std::size_t>(n);
  }
  return done;
}

// True when [offset, offset + size) is addressable with off_t.
bool RangeFits(std::uint64_t offset, std::size_t size) {
  return OffsetFits(offset) && size <= static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) - offset;
}

}  // namespace

std::size_t File::ReadFully(void* data, std::size_t size, FileError* error) {
  ClearError(error);
  auto* p = static_cast<char*>(data);
  int code = 0;
  auto done = TransferAll(
      size, false, [&](std::size_t d) { return ::read(fd_, p + d, size - d); }, &code);
  if (!done) SetError(error, code, "read", path_);
  return done.value_or(0);
}

std::size_t File::ReadFullyAt(void* data, std::size_t size, std::uint64_t offset, FileError* error) {
  ClearError(error);
  if (!RangeFits(offset, size)) {
    SetError(error, EINVAL, "read", path_);
    return 0;
  }
  auto* p = static_cast<char*>(data);
  int code = 0;
  auto done = TransferAll(
      size, false,
      [&](std::size_t d) { return ::pread(fd_, p + d, size - d, static_cast<off_t>(offset + d)); }, &code);
  if (!done) SetError(error, code, "read", path_);
  return done.value_or(0);
}

bool File::WriteAll(const void* data, std::size_t size, FileError* error) {
  ClearError(error);
  const auto* p = static_cast<const char*>(data);
  int code = 0;
  auto done = TransferAll(
      size, true, [&](std::size_t d) { return ::write(fd_, p + d, size - d); }, &code);
  if (!done) SetError(error, code, "write", path_);
  return done.has_value();
}

std::uint64_t File::CopyFrom(File& from, std::uint64_t from_offset, std::uint64_t size, FileError* error) {
  ClearError(error);
  if (!OffsetFits(from_offset) ||
      size > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) - from_offset) {
    SetError(error, EINVAL, "read", from.path_);
    return 0;
  }
  // Errors that only say this way of copying is not available here.
  const auto unsupported = [](int e) {
    return e == EXDEV || e == EINVAL || e == ENOSYS || e == EOPNOTSUPP || e == EBADF || e == ETXTBSY;
  };
  constexpr std::size_t kChunk = std::size_t{1} << 30;
  std::uint64_t done = 0;
  // 1: copy_file_range (may clone on file systems that share blocks);
  // 2: sendfile (page cache to file, also across file systems);
  // 3: read and write through a buffer.
  for (int way = 1; way <= 3 && done < size; ++way) {
    std::unique_ptr<char[]> buffer;
    constexpr std::size_t kBuffer = std::size_t{1} << 20;
    while (done < size) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size - done, kChunk));
      ssize_t n;
      if (way == 1) {
        loff_t in = static_cast<loff_t>(from_offset + done);
        n = ::copy_file_range(from.fd_, &in, fd_, nullptr, want, 0);
      } else if (way == 2) {
        off_t in = static_cast<off_t>(from_offset + done);
        n = ::sendfile(fd_, from.fd_, &in, want);
      } else {
        if (!buffer) buffer.reset(new char[kBuffer]);
        const std::size_t part = std::min(want, kBuffer);
        n = ::pread(from.fd_, buffer.get(), part, static_cast<off_t>(from_offset + done));
        if (n < 0 && errno != EINTR) {
          SetError(error, errno, "read", from.path_);
          return 0;
        }
        if (n > 0 && !WriteAll(buffer.get(), static_cast<std::size_t>(n), error)) return 0;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && way < 3 && unsupported(errno)) break;  // try the next way from here
      if (n < 0) {
        SetError(error, errno, "copy to", path_);
        return 0;
      }
      if (n == 0) return done;  // from ended
      done += static_cast<std::uint64_t>(n);
    }
  }
  return done;
}

bool File::WriteAllAt(const void* data, std::size_t size, std::uint64_t offset, FileError* error) {
  ClearError(error);
  if (!RangeFits(offset, size)) {
    SetError(error, EFBIG, "write", path_);
    return false;
  }
  const auto* p = static_cast<const char*>(data);
  int code = 0;
  auto done = TransferAll(
      size, true,
      [&](std::size_t d) { return ::pwrite(fd_, p + d, size - d, static_cast<off_t>(offset + d)); }, &code);
  if (!done) SetError(error, code, "write", path_);
  return done.has_value();
}

bool File::Seek(std::uint64_t offset, FileError* error) {
  ClearError(error);
  if (!OffsetFits(offset)) {
    SetError(error, EINVAL, "seek", path_);
    return false;
  }
  if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
    SetError(error, errno, "seek", path_);
    return false;
  }
  return true;
}

std::optional<std::uint64_t> File::Size(FileError* error) const {
  ClearError(error);
  struct stat st;
  if (::fstat(fd_, &st) != 0) {
    SetError(error, errno, "stat", path_);
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(st.st_size);
}

bool File::Truncate(std::uint64_t size, FileError* error) {
  ClearError(error);
  if (!OffsetFits(size)) {
    SetError(error, EFBIG, "truncate", path_);
    return false;
  }
  int rc;
  do {
    rc = ::ftruncate(fd_, static_cast<off_t>(size));
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    SetError(error, errno, "truncate", path_);
    return false;
  }
  return true;
}

bool File::Sync(FileError* error) {
  ClearError(error);
  int rc;
  do {
    rc = ::fsync(fd_);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    SetError(error, errno, "sync", path_);
    return false;
  }
  return true;
}

void File::AdviseSequential() {
  if (fd_ >= 0) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

void File::StartWriteBack(std::uint64_t offset, std::uint64_t size) {
  if (fd_ >= 0 && OffsetFits(offset) && OffsetFits(size)) {
    ::sync_file_range(fd_, static_cast<off64_t>(offset), static_cast<off64_t>(size), SYNC_FILE_RANGE_WRITE);
  }
}

bool File::Close(FileError* error) {
  ClearError(error);
  if (fd_ < 0) return true;
  int fd = fd_;
  fd_ = -1;
  // The descriptor is released even when close reports EINTR; never retry.
  if (::close(fd) != 0 && errno != EINTR) {
    SetError(error, errno, "close", path_);
    return false;
  }
  return true;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

std::optional<std::string> ReadFile(const std::filesystem::path& path, FileError* error) {
  ClearError(error);
  File file = File::Open(path, File::Mode::kRead, error);
  if (!file.is_open()) return std::nullopt;
  struct stat st;
  if (::fstat(file.fd(), &st) != 0) {
    SetError(error, errno, "stat", path);
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode)) {
    SetErrorText(error, S_ISDIR(st.st_mode) ? EISDIR : EINVAL, "read", path, "not a regular file");
    return std::nullopt;
  }
  if (static_cast<std::uint64_t>(st.st_size) > kMaxReadFileSize) {
    SetError(error, EFBIG, "read", path);
    return std::nullopt;
  }
  std::string contents;
  std::size_t have = 0;
  std::size_t chunk = static_cast<std::size_t>(st.st_size) + 1;  // +1 sees the end at once
  for (;;) {
    contents.resize(have + chunk);
    FileError read_error;
    std::size_t n = file.ReadFully(contents.data() + have, chunk, &read_error);
    if (read_error) {
      if (error) *error = read_error;
      return std::nullopt;
    }
    have += n;
    if (n < chunk) break;  // end of file
    if (have > kMaxReadFileSize) {
      SetError(error, EFBIG, "read", path);
      return std::nullopt;
    }
    chunk = 64 * 1024;  // the file grew while being read
  }
  contents.resize(have);
  return contents;
}

File CreateTemporaryBeside(const std::filesystem::path& path, FileError* error) {
  ClearError(error);
  std::filesystem::path tmp;
  File file;
  for (int attempt = 0; attempt < 100 && !file.is_open(); ++attempt) {
    tmp = TempNameBeside(path);
    file = File::Open(tmp, File::Mode::kCreateExclusive, error);
    if (!file.is_open() && (!error || error->code != EEXIST)) break;
  }
  if (!file.is_open() && error && error->code == 0) SetError(error, EEXIST, "create", tmp);
  return file;
}

bool WriteFileAtomic(const std::filesystem::path& path, std::string_view contents, FileError* error) {
  ClearError(error);
  // Replace the file a symbolic link points to, not the link.
  std::filesystem::path target = path;
  std::error_code ec;
  if (std::filesystem::is_symlink(path, ec)) {
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
    if (!ec) target = resolved;
  }
  struct stat st;
  bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    SetErrorText(error, S_ISDIR(st.st_mode) ? EISDIR : EINVAL, "replace", target, "not a regular file");
    return false;
  }
  File file = CreateTemporaryBeside(target, error);
  if (!file.is_open()) return false;
  const std::filesystem::path tmp = file.path();
  auto fail = [&]() {
    file.Close(nullptr);
    ::unlink(tmp.c_str());
    return false;
  };
  if (exists && ::fchmod(file.fd(), st.st_mode & 07777) != 0) {
    SetError(error, errno, "chmod", tmp);
    return fail();
  }
  if (!file.WriteAll(contents.data(), contents.size(), error)) return fail();
  if (!file.Sync(error)) return fail();
  if (!file.Close(error)) return fail();
  if (::rename(tmp.c_str(), target.c_str()) != 0) {
    SetError(error, errno, "rename", target);
    return fail();
  }
  // Make the rename itself durable; a failure here does not undo the write.
  std::filesystem::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

std::optional<std::uint64_t> FreeSpace(const std::filesystem::path& path, FileError* error) {
  ClearError(error);
  struct statvfs sv;
  int rc;
  do {
    rc = ::statvfs(path.c_str(), &sv);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    SetError(error, errno, "statvfs", path);
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(sv.f_bavail) * sv.f_frsize;
}

bool IsRegularFile(const std::filesystem::path& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::uint64_t> RegularFileSize(const std::filesystem::path& path, FileError* error) {
  ClearError(error);
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    SetError(error, errno, "stat", path);
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode)) {
    SetErrorText(error, S_ISDIR(st.st_mode) ? EISDIR : EINVAL, "stat", path, "not a regular file");
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(st.st_size);
}

std::optional<TemporaryFolder> TemporaryFolder::Create(std::string_view prefix, FileError* error,
                                                       const std::filesystem::path& parent) {
  ClearError(error);
  std::filesystem::path base = parent;
  if (base.empty()) {
    std::error_code ec;
    base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
  }
  std::string name = (base / std::string(prefix)).string() + ".XXXXXX";
  if (::mkdtemp(name.data()) == nullptr) {
    SetError(error, errno, "create folder", name);
    return std::nullopt;
  }
  TemporaryFolder folder;
  folder.path_ = name;
  return folder;
}

TemporaryFolder::~TemporaryFolder() { Remove(); }

TemporaryFolder::TemporaryFolder(TemporaryFolder&& other) noexcept : path_(std::move(other.path_)) {
  other.path_.clear();
}

TemporaryFolder& TemporaryFolder::operator=(TemporaryFolder&& other) noexcept {
  if (this != &other) {
    Remove();
    path_ = std::move(other.path_);
    other.path_.clear();
  }
  return *this;
}

void TemporaryFolder::Remove() {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);  // best effort: a destructor cannot report
  path_.clear();
}

std::optional<FolderLock> FolderLock::TryLock(const std::filesystem::path& folder, FileError* error) {
  ClearError(error);
  FolderLock lock;
  lock.fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (lock.fd_ < 0) {
    SetError(error, errno, "open", folder);
    return std::nullopt;
  }
  int rc;
  do {
    rc = ::flock(lock.fd_, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    SetError(error, errno, "lock", folder);
    return std::nullopt;
  }
  return lock;
}

FolderLock::~FolderLock() {
  if (fd_ >= 0) ::close(fd_);  // closing the last descriptor releases the lock
}

FolderLock::FolderLock(FolderLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  std::swap(fd_, other.fd_);
  return *this;
}

}  // namespace platform
