// Pressed CDs: tracks recorded from file ranges, sessions laid out as a
// mastered disc has them.
#include <algorithm>
#include <vector>

#include "emulated_drive_impl.h"
#include "platform/fileio.h"

namespace platform {
using namespace emu;

namespace {

// Sectors between the end of a session and the first track of the next: the
// lead-out (6750), the next lead-in (4500) and the track's pre-gap (150).
constexpr std::uint32_t kSessionGap = 6750 + 4500 + 150;
constexpr std::size_t kChunkSectors = 64;

}  // namespace

bool EmulatedDrive::Impl::LoadPressed(const MediumSpec& spec, std::vector<Track>* tracks,
                                      std::string* error) {
  tracks->clear();
  if (!IsCd(spec.profile)) {
    *error = "only a CD can be pressed";
    return false;
  }
  if (spec.pressed.size() > 99) {
    *error = "a CD holds at most 99 tracks";
    return false;
  }
  if (::ftruncate(media_fd, 0) != 0) {
    *error = "cannot clear " + (folder / kMediaFile).string();
    return false;
  }
  std::uint32_t lba = 0, session = 1;
  for (std::size_t i = 0; i < spec.pressed.size(); ++i) {
    const PressedTrack& p = spec.pressed[i];
    FileError file_error;
    File file = File::Open(p.file, File::Mode::kRead, &file_error);
    const std::optional<std::uint64_t> size = file.is_open() ? file.Size(&file_error) : std::nullopt;
    if (!size || p.offset > *size) {
      *error = "cannot read the pressed track " + p.file.string() +
               (file_error ? ": " + file_error.message : std::string(": the range lies past its end"));
      return false;
    }
    const std::uint64_t bytes = p.bytes ? std::min(p.bytes, *size - p.offset) : *size - p.offset;
    const bool raw = p.audio || p.raw;
    const std::size_t sector_bytes = raw ? kCdRawSectorSize : 2048;
    if (i > 0 && p.new_session) {
      lba += kSessionGap;
      ++session;
    }
    Track t;
    t.number = static_cast<std::uint32_t>(i + 1);
    t.session = session;
    t.start = lba;
    t.state = TrackState::kComplete;
    t.audio = p.audio;
    t.control = p.audio ? 0 : 4;
    std::vector<std::uint8_t> chunk(kChunkSectors * sector_bytes);
    for (std::uint64_t done = 0; done < bytes;) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), bytes - done));
      if (file.ReadFullyAt(chunk.data(), want, p.offset + done, &file_error) != want) {
        *error = "cannot read the pressed track " + p.file.string();
        return false;
      }
      const std::size_t sectors = (want + sector_bytes - 1) / sector_bytes;
      std::fill(chunk.begin() + std::ptrdiff_t(want), chunk.begin() + std::ptrdiff_t(sectors * sector_bytes),
                0);
      const bool ok = p.audio || !p.raw ? Record(lba, std::uint32_t(sectors), chunk.data(), p.audio)
                                        : WriteSectors(lba, chunk.data(), sectors * sector_bytes);
      if (!ok) {
        *error = "cannot record the pressed track " + p.file.string();
        return false;
      }
      lba += std::uint32_t(sectors);
      done += want;
    }
    t.size = t.written = lba - t.start;
    if (t.size == 0) {
      *error = "the pressed track " + p.file.string() + " is empty";
      return false;
    }
    tracks->push_back(t);
  }
  return true;
}

}  // namespace platform
