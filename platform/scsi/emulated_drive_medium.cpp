// The medium in the tray and the drive's persistent state: disc status, sessions, and the sectors in
// media.img.
#include "emulated_drive_impl.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/fileio.h"

namespace platform {
using namespace emu;

bool EmulatedDrive::Impl::Supported() const {
  const auto& p = state.identity.profiles;
  return std::find(p.begin(), p.end(), state.medium->profile) != p.end();
}

void EmulatedDrive::Impl::ResetWriteParameters() {
  page05.fill(0);
  page05[0] = kPageWriteParameters;
  page05[1] = 0x32;
  std::uint16_t p = state.medium ? state.medium->profile : 0;
  page05[2] = IsCd(p) ? 0x01 : 0x00;  // TAO on CD, incremental elsewhere
  page05[3] = IsCd(p) ? 0x04 : 0x05;
  page05[4] = 0x08;
  page05[15] = 150;
  simulation.reset();
  const auto& table = SpeedTable(true);
  write_speed = table.empty() ? 0 : table.back();
  const auto& reads = SpeedTable(false);
  read_speed = reads.empty() ? 0 : reads.back();
}

const std::vector<std::uint32_t>& EmulatedDrive::Impl::SpeedTable(bool write) const {
  bool dvd = state.medium && !IsCd(state.medium->profile);
  const EmulatedIdentity& id = state.identity;
  return write ? (dvd ? id.dvd_write_speeds : id.cd_write_speeds)
               : (dvd ? id.dvd_read_speeds : id.cd_read_speeds);
}

void EmulatedDrive::Impl::MediumChanged() {
  ResetWriteParameters();
  ++state.changes;
  busy = 0;
  busy_until = {};
  bg_remaining = 0;
  dirty = true;
  if (state.medium && state.medium->bg_format == 2) state.medium->bg_format = 1;
}

std::uint32_t EmulatedDrive::Impl::RecordedEnd(const Medium& m) {
  std::uint32_t end = 0;
  for (const Track& t : m.tracks) end = std::max(end, t.start + t.written);
  return end;
}

bool EmulatedDrive::Impl::SessionHasData(const Medium& m, std::uint32_t session) {
  for (const Track& t : m.tracks)
    if (t.session == session && (t.written > 0 || t.state != TrackState::kOpen)) return true;
  return false;
}

int EmulatedDrive::Impl::DiscStatus(const Medium& m) const {
  switch (ClassOf(m)) {
    case MediumClass::kRom:
      return 2;
    case MediumClass::kRandom:
      if (!m.formatted) return 0;
      return m.profile == kProfileDvdRam || m.profile == kProfileBdRe ? 3 : 2;
    case MediumClass::kSequential:
      if (m.finalized) return 2;
      return RecordedEnd(m) == 0 && SessionCount(m) == 1 && !SessionHasData(m, 1) ? 0 : 1;
  }
  return 0;
}

int EmulatedDrive::Impl::LastSessionState(const Medium& m) const {
  int status = DiscStatus(m);
  if (status == 0) return 0;
  if (status != 1) return 3;
  return SessionHasData(m, SessionCount(m)) ? 1 : 0;
}

std::uint32_t EmulatedDrive::Impl::NextSessionStart(const Medium& m, std::uint32_t end,
                                                    std::uint32_t closed_session) {
  if (!IsCd(m.profile)) return end;
  return end + (closed_session == 1 ? 6750 + 4500 + 150 : 2250 + 4500 + 150);
}

bool EmulatedDrive::Impl::Save(std::string* error) {
  dirty = false;
  must_save = false;
  FileError e;
  if (WriteFileAtomic(folder / kStateFile, Serialise(state), &e)) {
    stamp = StampOf(folder / kStateFile);
    return true;
  }
  *error = e.message;
  return false;
}

bool EmulatedDrive::Impl::WriteSectors(std::uint32_t lba, const std::uint8_t* data, std::size_t bytes) {
  std::uint64_t offset = std::uint64_t(lba) * SectorSize(state.medium->profile);
  if (offset != unwritten_end) StartWriteBack();
  if (unwritten_begin == unwritten_end) unwritten_begin = unwritten_end = offset;
  while (bytes > 0) {
    ssize_t n = ::pwrite(media_fd, data, bytes, off_t(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n, bytes -= std::size_t(n), offset += std::uint64_t(n);
  }
  unwritten_end = offset;
  if (unwritten_end - unwritten_begin >= kWriteBackBytes) StartWriteBack();
  return true;
}

void EmulatedDrive::Impl::StartWriteBack() {
  if (unwritten_end > unwritten_begin)
    ::sync_file_range(media_fd, off_t(unwritten_begin), off_t(unwritten_end - unwritten_begin),
                      SYNC_FILE_RANGE_WRITE);
  unwritten_begin = unwritten_end = 0;
}

bool EmulatedDrive::Impl::ReadRaw(std::uint32_t lba, std::uint8_t* data, std::size_t bytes) const {
  std::uint64_t offset = std::uint64_t(lba) * SectorSize(state.medium->profile);
  std::memset(data, 0, bytes);
  std::size_t done = 0;
  while (done < bytes) {
    ssize_t n = ::pread(media_fd, data + done, bytes - done, off_t(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;  // past the end of the sparse file: zeros
    done += std::size_t(n);
  }
  return true;
}

bool EmulatedDrive::Impl::Record(std::uint32_t lba, std::uint32_t count, const std::uint8_t* data,
                                 bool audio) {
  if (!IsCd(state.medium->profile) || audio)
    return WriteSectors(lba, data, std::size_t(count) * (audio ? 2352 : 2048));
  std::vector<std::uint8_t> raw(std::size_t(count) * kCdRawSectorSize);
  for (std::uint32_t i = 0; i < count; ++i) {
    EncodeMode1Sector(std::int32_t(lba + i), std::span<const std::uint8_t, 2048>(data + i * 2048, 2048),
                      std::span<std::uint8_t, 2352>(raw.data() + i * kCdRawSectorSize, 2352));
  }
  return WriteSectors(lba, raw.data(), raw.size());
}

bool EmulatedDrive::Impl::LoadContent(const MediumSpec& spec, std::uint32_t* sectors, std::string* error) {
  *sectors = 0;
  if (::ftruncate(media_fd, 0) != 0) {
    *error = "cannot clear " + (folder / kMediaFile).string() + ": " + std::strerror(errno);
    return false;
  }
  if (spec.content.empty()) return true;
  int fd = ::open(spec.content.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = "cannot read the medium content " + spec.content.string();
    if (fd >= 0) ::close(fd);
    return false;
  }
  const std::size_t block = spec.content_is_audio ? 2352 : 2048;
  std::vector<std::uint8_t> chunk(block * 64);
  std::uint32_t lba = 0;
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(fd, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    std::size_t blocks = (std::size_t(n) + block - 1) / block;
    std::fill(chunk.begin() + n, chunk.begin() + std::ptrdiff_t(blocks * block), 0);
    if (!Record(lba, std::uint32_t(blocks), chunk.data(), spec.content_is_audio)) {
      ok = false;
      break;
    }
    lba += std::uint32_t(blocks);
  }
  ::close(fd);
  if (!ok) *error = "cannot copy the medium content " + spec.content.string();
  *sectors = lba;
  return ok;
}

}  // namespace platform
