// The emulated drive's public face: making and opening drive folders, the
// command entry point and the controls that tests use.
#include "platform/emulated_drive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>

#include "emulated_drive_impl.h"
#include "platform/fileio.h"

namespace platform {
using namespace emu;

EmulatedDrive::EmulatedDrive(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
EmulatedDrive::~EmulatedDrive() = default;

namespace {

bool CleanText(const std::string& s) {
  return std::none_of(s.begin(), s.end(), [](char c) { return c == '\n' || c == '\r' || c == '\0'; });
}

std::unique_ptr<EmulatedDrive::Impl> OpenImpl(const std::filesystem::path& folder, std::string* error) {
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    *error = "emulated drive folder " + folder.string() + " does not exist";
    return nullptr;
  }
  const std::filesystem::path state_path = folder / kStateFile;
  FileError read_error;
  std::optional<std::string> text = ReadFile(state_path, &read_error);
  if (!text) {
    *error = "no usable drive state in " + folder.string() + ": " + read_error.message;
    return nullptr;
  }
  std::string parse_error;
  auto state = Parse(*text, &parse_error);
  if (!state) {
    *error = state_path.string() + ": " + parse_error;
    return nullptr;
  }
  auto impl = std::make_unique<EmulatedDrive::Impl>();
  impl->folder = folder;
  impl->state = std::move(*state);
  const std::filesystem::path media = folder / kMediaFile;
  impl->media_fd = ::open(media.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  struct stat st {};
  if (impl->media_fd < 0 || ::fstat(impl->media_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = "cannot open " + media.string() + ": " + std::strerror(errno);
    return nullptr;
  }
  const EmulatedIdentity& id = impl->state.identity;
  impl->device = {Padded(id.vendor, 8), Padded(id.product, 16), Padded(id.revision, 4), id.address,
                  folder.string()};
  impl->ResetWriteParameters();
  impl->Acquire(false);  // the test controls in the state, and its stamp
  impl->Release();
  return impl;
}

}  // namespace

bool EmulatedDrive::Create(const std::filesystem::path& folder, const EmulatedIdentity& identity,
                           const MediumSpec* medium, std::string* error) {
  if (!CleanText(identity.vendor) || !CleanText(identity.product) || !CleanText(identity.revision) ||
      (medium && (!CleanText(medium->manufacturer_id) || !CleanText(medium->media_type_id)))) {
    *error = "drive identity texts must not hold line breaks or NUL characters";
    return false;
  }
  if (medium && medium->capacity >= 0x7FFFFFFF) {
    *error = "medium capacity too large";
    return false;
  }
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (std::filesystem::exists(folder / kStateFile, ec)) {
    *error = "a drive exists already in " + folder.string();
    return false;
  }
  DriveState state;
  state.identity = identity;
  state.identity.vendor = Padded(identity.vendor, 8);
  state.identity.product = Padded(identity.product, 16);
  state.identity.revision = Padded(identity.revision, 4);
  const std::filesystem::path media = folder / kMediaFile;
  int fd = ::open(media.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "cannot create " + media.string() + ": " + std::strerror(errno);
    return false;
  }
  ::close(fd);
  FileError write_error;
  if (!WriteFileAtomic(folder / kStateFile, Serialise(state), &write_error)) {
    *error = write_error.message;
    return false;
  }
  if (!medium) return true;
  auto drive = Open(folder, error);
  return drive && drive->InsertMedium(*medium, error) && (drive->CloseTray(), true);
}

std::unique_ptr<EmulatedDrive> EmulatedDrive::Open(const std::filesystem::path& folder, std::string* error) {
  auto impl = OpenImpl(folder, error);
  if (!impl) return nullptr;
  return std::unique_ptr<EmulatedDrive>(new EmulatedDrive(std::move(impl)));
}

ScsiResult EmulatedDrive::exec(std::span<const std::uint8_t> cdb, DataDirection,
                               std::span<std::uint8_t> buffer, std::chrono::milliseconds) {
  LockedDrive locked(*impl_, !cdb.empty() && cdb[0] == kWrite10);
  try {
    return impl_->Exec(cdb, buffer);
  } catch (const std::exception& e) {
    ScsiResult r;
    r.transport = ScsiResult::Transport::kError;
    r.transport_message = std::string("emulated drive failed: ") + e.what();
    return r;
  }
}

const DeviceIdentity& EmulatedDrive::identity() const { return impl_->device; }

bool EmulatedDrive::OpenTray(bool force) {
  LockedDrive locked(*impl_);
  if (impl_->state.prevent && !force) return false;
  impl_->state.prevent = impl_->state.prevent && !force;
  if (!impl_->state.tray_open) {
    impl_->state.tray_open = true;
    impl_->MediumChanged();
    impl_->Save(&impl_->save_error);
  }
  return true;
}

void EmulatedDrive::CloseTray() {
  LockedDrive locked(*impl_);
  if (!impl_->state.tray_open) return;
  impl_->state.tray_open = false;
  impl_->MediumChanged();
  impl_->unit_attention = impl_->state.medium.has_value();
  impl_->Save(&impl_->save_error);
}

bool EmulatedDrive::InsertMedium(const MediumSpec& spec, std::string* error) {
  LockedDrive locked(*impl_);
  Impl& d = *impl_;
  if (!CleanText(spec.manufacturer_id) || !CleanText(spec.media_type_id) || spec.capacity >= 0x7FFFFFFF) {
    *error = "bad medium description";
    return false;
  }
  d.state.medium = MakeMedium(spec, 0);  // the profile decides the sector size of the content
  std::uint32_t sectors = 0;
  std::vector<emu::Track> pressed;
  const bool loaded =
      spec.pressed.empty() ? d.LoadContent(spec, &sectors, error) : d.LoadPressed(spec, &pressed, error);
  if (!loaded) {
    d.state.medium.reset();
    d.MediumChanged();
    d.Save(&d.save_error);
    return false;
  }
  if (!pressed.empty()) sectors = pressed.back().start + pressed.back().size;
  d.state.medium = MakeMedium(spec, sectors);
  if (!pressed.empty()) d.state.medium->tracks = std::move(pressed);
  if (sectors > d.state.medium->capacity) {
    *error = "the medium content is larger than its capacity";
    d.state.medium.reset();
    ::ftruncate(d.media_fd, 0);
  }
  d.MediumChanged();
  if (!d.state.tray_open) d.unit_attention = d.state.medium.has_value();
  return d.Save(error) && d.state.medium.has_value();
}

void EmulatedDrive::RemoveMedium() {
  LockedDrive locked(*impl_);
  impl_->state.medium.reset();
  impl_->MediumChanged();
  impl_->Save(&impl_->save_error);
}

void EmulatedDrive::SetOperationLength(int commands) {
  LockedDrive locked(*impl_);
  impl_->state.operation_length = std::max(0, commands);
  impl_->dirty = true;
}

void EmulatedDrive::SetStrict(bool strict) {
  std::lock_guard lock(impl_->mutex);
  impl_->strict = strict;
}

std::vector<LoggedCommand> EmulatedDrive::CommandLog() const {
  std::lock_guard lock(impl_->mutex);
  return {impl_->log.begin(), impl_->log.end()};
}

void EmulatedDrive::ClearCommandLog() {
  std::lock_guard lock(impl_->mutex);
  impl_->log.clear();
}

bool EmulatedDrive::ExportUserData(const std::filesystem::path& destination, std::string* error) const {
  LockedDrive locked(*impl_);
  const Impl& d = *impl_;
  if (!d.state.medium) {
    *error = "no medium in the drive";
    return false;
  }
  const Medium& m = *d.state.medium;
  int fd = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "cannot create " + destination.string() + ": " + std::strerror(errno);
    return false;
  }
  std::vector<std::uint8_t> raw(kCdRawSectorSize);
  std::uint64_t end = 0;
  bool ok = true;
  for (const Track& t : m.tracks) {
    if (t.audio) continue;
    std::uint32_t written = ClassOf(m) == MediumClass::kRandom ? (m.formatted ? m.capacity : 0) : t.written;
    for (std::uint32_t i = 0; i < written && ok; ++i) {
      const std::uint32_t lba = t.start + i;
      ok = d.ReadRaw(lba, raw.data(), IsCd(m.profile) ? kCdRawSectorSize : 2048);
      const std::uint8_t* user = raw.data() + (IsCd(m.profile) ? kCdMode1UserDataOffset : 0);
      if (ok && std::any_of(user, user + 2048, [](std::uint8_t b) { return b != 0; }))
        ok = ::pwrite(fd, user, 2048, off_t(std::uint64_t(lba) * 2048)) == 2048;
    }
    end = std::max<std::uint64_t>(end, std::uint64_t(t.start) + written);
  }
  ok = ok && ::ftruncate(fd, off_t(end * 2048)) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok) {
    *error = "cannot write " + destination.string() + ": " + std::strerror(errno);
    ::unlink(destination.c_str());
  }
  return ok;
}

}  // namespace platform
