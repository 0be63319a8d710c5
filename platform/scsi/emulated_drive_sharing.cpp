// Sharing one emulated drive between programs, as a real drive is shared: the
// tray, the medium, the tray lock and the test controls live in the state
// file, which every program reads again when another has changed it and
// changes only under the folder's state lock; and a program may hold the
// drive for itself (a lock on the folder), as an exclusive open of a real
// drive does.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "emulated_drive_impl.h"
#include "platform/fileio.h"

namespace platform {
using namespace emu;

namespace emu {
namespace {

std::int64_t Nanoseconds(const struct timespec& t) { return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; }

}  // namespace

FileStamp StampOf(const std::filesystem::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return {};
  return {st.st_dev, st.st_ino, st.st_size, Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim)};
}

}  // namespace emu

void EmulatedDrive::Impl::Acquire(bool write) {
  const auto now = std::chrono::steady_clock::now();
  // A WRITE whose save is deferred changes nothing in the state file, so it
  // needs neither the lock nor a fresh look at the file while the last look
  // is recent: another program's change reaches it within kRecheck.
  if (write && defer_write_saves && !must_save && !state.underrun && now - checked < kRecheck) return;
  if (lock_fd < 0) lock_fd = ::open((folder / kLockFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock_fd >= 0)
    while (::flock(lock_fd, LOCK_EX) != 0 && errno == EINTR) {
    }
  locked = true;
  Refresh();
  checked = now;
}

void EmulatedDrive::Impl::Release() {
  if (dirty && !deferred_write) {
    if (!locked) Acquire(false);
    Save(&save_error);
  }
  deferred_write = false;
  if (locked && lock_fd >= 0) ::flock(lock_fd, LOCK_UN);
  locked = false;
}

void EmulatedDrive::Impl::Refresh() {
  const std::filesystem::path file = folder / kStateFile;
  const FileStamp now = StampOf(file);
  if (now == stamp) return;
  FileError read_error;
  const std::optional<std::string> text = ReadFile(file, &read_error);
  std::string parse_error;
  std::optional<DriveState> fresh = text ? Parse(*text, &parse_error) : std::nullopt;
  if (!fresh) return;  // a damaged file is replaced at the next save
  stamp = now;
  const bool medium_changed = fresh->changes != state.changes;
  // Recording not saved yet (deferred writes) stays, unless the medium itself
  // was changed meanwhile.
  if (dirty && !medium_changed) fresh->medium = std::move(state.medium);
  state = std::move(*fresh);
  if (medium_changed) {
    ResetWriteParameters();
    busy = 0;
    busy_until = {};
    bg_remaining = 0;
    simulation.reset();
    pacing.EndSession();
    unit_attention = Loaded();
  }
  ApplyPacing();
}

void EmulatedDrive::Impl::ApplyPacing() {
  if (state.pacing_kbps == applied_kbps && state.pacing_buffer == applied_buffer) return;
  applied_kbps = state.pacing_kbps;
  applied_buffer = state.pacing_buffer;
  pacing.Set(applied_kbps, applied_buffer);
}

HoldResult EmulatedDrive::HoldExclusive(std::string* why) {
  std::lock_guard lock(impl_->mutex);
  Impl& d = *impl_;
  if (d.hold_fd >= 0) return HoldResult::kHeld;
  d.hold_fd = ::open(d.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (d.hold_fd < 0) {
    *why = d.folder.string() + ": " + std::strerror(errno);
    return HoldResult::kFailed;
  }
  if (::flock(d.hold_fd, LOCK_EX | LOCK_NB) == 0) return HoldResult::kHeld;
  const int error = errno;
  ::close(d.hold_fd);
  d.hold_fd = -1;
  *why = d.folder.string() + ": " + std::strerror(error == EWOULDBLOCK ? EBUSY : error);
  return error == EWOULDBLOCK ? HoldResult::kInUse : HoldResult::kFailed;
}

// As a system unlocks a drive's tray when the program that held it closes
// it, even when the drive was too busy to take the unlock command.
void EmulatedDrive::ReleaseExclusive() {
  LockedDrive locked(*impl_);
  if (impl_->hold_fd < 0) return;
  ::close(impl_->hold_fd);
  impl_->hold_fd = -1;
  if (impl_->state.prevent) impl_->state.prevent = false, impl_->dirty = true;
}

}  // namespace platform
