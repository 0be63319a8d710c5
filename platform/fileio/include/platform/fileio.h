// Files with 64-bit offsets and errors as values. Every call reports failure
// through a FileError (errno and a message naming the file); none throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct FileError {
  int code = 0;                                         // errno, or 0 for success
  std::string message;                                  // "<operation> <path>: <strerror>"; empty on success
  explicit operator bool() const { return code != 0; }  // true = an error
};

// An open file descriptor, closed on destruction. Move-only.
class File {
 public:
  enum class Mode {
    kRead,             // existing file, read only
    kReadWrite,        // existing file, read and write
    kCreateExclusive,  // new file, fails with EEXIST when the name exists
    kCreateTruncate,   // create or truncate
  };

  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens path. Opening for read never blocks on a FIFO (O_NONBLOCK is used
  // and cleared again after the open). A file it creates gets permissions
  // (less the umask).
  static File Open(const std::filesystem::path& path, Mode mode, FileError* error,
                   unsigned permissions = 0666);

  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  const std::filesystem::path& path() const { return path_; }

  // Reads up to size bytes at the current position, retrying on EINTR and on
  // short reads until size bytes are read or the end of the file is reached.
  // Returns the number of bytes read (less than size only at the end of the
  // file); on error returns 0 and sets *error.
  std::size_t ReadFully(void* data, std::size_t size, FileError* error);
  // The same at an absolute offset (pread); the file position is unchanged.
  std::size_t ReadFullyAt(void* data, std::size_t size, std::uint64_t offset, FileError* error);

  // Writes all size bytes, looping over short writes and EINTR. Returns false
  // and sets *error on failure (ENOSPC, EFBIG, EIO ...).
  bool WriteAll(const void* data, std::size_t size, FileError* error);
  bool WriteAllAt(const void* data, std::size_t size, std::uint64_t offset, FileError* error);

  // Copies size bytes of from, starting at from_offset, to this file's
  // current position, which moves on past them; from's own position is not
  // used. The bytes move inside the kernel where the file systems allow it
  // (a clone or an in-kernel copy), otherwise through a buffer. Returns the
  // number of bytes copied: fewer than size only when from ends first. On an
  // error returns 0 and sets *error (the bytes copied before it stay).
  std::uint64_t CopyFrom(File& from, std::uint64_t from_offset, std::uint64_t size, FileError* error);

  bool Seek(std::uint64_t offset, FileError* error);
  std::optional<std::uint64_t> Size(FileError* error) const;
  bool Truncate(std::uint64_t size, FileError* error);
  bool Sync(FileError* error);
  // Hints that the file is read sequentially (posix_fadvise).
  void AdviseSequential();
  // Starts writing [offset, offset + size) back to the disk without waiting
  // for it, so that a long sequential writer does not leave it all to the
  // end. Only a hint: nothing is reported.
  void StartWriteBack(std::uint64_t offset, std::uint64_t size);
  // Closes now; reports a close error (e.g. delayed write failure).
  bool Close(FileError* error);

 private:
  int fd_ = -1;
  std::filesystem::path path_;
};

// A bare file descriptor (from open, openat, fcntl), closed on destruction.
// Move-only.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads a whole (small) file. Fails for anything that is not a regular file.
std::optional<std::string> ReadFile(const std::filesystem::path& path, FileError* error);

// Creates a new, empty file under a unique temporary name in path's folder,
// open for writing (its path() is that name), for a file that is written
// whole and then renamed over path. Fails like File::Open.
File CreateTemporaryBeside(const std::filesystem::path& path, FileError* error);

// Writes contents to a temporary file beside path, syncs it and renames it over
// path, so readers see either the old or the new file, never a partial one.
// The temporary file is removed on failure.
bool WriteFileAtomic(const std::filesystem::path& path, std::string_view contents, FileError* error);

// Free space for an unprivileged user on the file system holding path.
std::optional<std::uint64_t> FreeSpace(const std::filesystem::path& path, FileError* error);

// True when path names a regular file (following symbolic links). Never opens
// the file, so FIFOs and devices cannot block it.
bool IsRegularFile(const std::filesystem::path& path);

// Size of a regular file, or nullopt (error set) for anything else.
std::optional<std::uint64_t> RegularFileSize(const std::filesystem::path& path, FileError* error);

// A new, empty folder that is removed with everything in it when the object
// is destroyed. Move-only; a moved-from object owns nothing.
class TemporaryFolder {
 public:
  // Creates "<prefix>.XXXXXX" (unique) in parent, or in the system's temporary
  // folder when parent is empty.
  static std::optional<TemporaryFolder> Create(std::string_view prefix, FileError* error,
                                               const std::filesystem::path& parent = {});
  ~TemporaryFolder();
  TemporaryFolder(TemporaryFolder&& other) noexcept;
  TemporaryFolder& operator=(TemporaryFolder&& other) noexcept;
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  TemporaryFolder() = default;
  void Remove();
  std::filesystem::path path_;
};

// An exclusive advisory lock (flock) on a folder itself, held until the
// object is destroyed; nothing is created in the folder. Locks taken through
// separate TryLock calls exclude each other, in one process or several.
// Move-only.
class FolderLock {
 public:
  // Takes the lock without waiting; nullopt with *error set (EWOULDBLOCK
  // when another holder has it) otherwise.
  static std::optional<FolderLock> TryLock(const std::filesystem::path& folder, FileError* error);
  ~FolderLock();
  FolderLock(FolderLock&& other) noexcept;
  FolderLock& operator=(FolderLock&& other) noexcept;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  FolderLock() = default;
  int fd_ = -1;
};

// Text of errno values, thread-safe.
std::string ErrnoText(int code);

}  // namespace platform
