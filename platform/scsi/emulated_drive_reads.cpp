// Reading recorded sectors: READ(10) and READ CD.
#include "emulated_drive_impl.h"

#include <cstring>

namespace platform {
using namespace emu;

ReadBlock EmulatedDrive::Impl::Locate(const Medium& m, std::uint32_t lba) const {
  static const Track kWholeDisc;
  ReadBlock b;
  if (ClassOf(m) == MediumClass::kRandom) {
    if (!m.formatted)
      b.check = kNotFormatted;
    else if (lba >= m.capacity)
      b.check = kOutOfRange;
    else
      b.track = &kWholeDisc;
    return b;
  }
  for (const Track& t : m.tracks)
    if (lba >= t.start && lba < t.start + t.written) b.track = &t;
  if (!b.track) b.check = lba >= RecordedEnd(m) ? kOutOfRange : kUnrecoveredRead;
  return b;
}

Check EmulatedDrive::Impl::Read10(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out,
                                  std::string* terr) {
  const std::uint32_t lba = GetBe32(cdb + 2), count = GetBe16(cdb + 7);
  const Medium& m = *state.medium;
  if (buffer.size() < std::size_t(count) * 2048) {
    *terr = "data buffer shorter than the transfer length";
    return kGood;
  }
  std::vector<std::uint8_t> raw(kCdRawSectorSize);
  for (std::uint32_t i = 0; i < count; ++i) {
    ReadBlock b = Locate(m, lba + i);
    if (b.check.failed()) return b.check;
    if (b.track->audio) return kIllegalModeForTrack;
    std::uint8_t* dest = buffer.data() + std::size_t(i) * 2048;
    if (IsCd(m.profile)) {
      if (!ReadRaw(lba + i, raw.data(), raw.size())) return kUnrecoveredRead;
      std::memcpy(dest, raw.data() + kCdMode1UserDataOffset, 2048);
    } else if (!ReadRaw(lba + i, dest, 2048)) {
      return kUnrecoveredRead;
    }
  }
  *out = std::size_t(count) * 2048;
  return kGood;
}

Check EmulatedDrive::Impl::ReadCd(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out,
                                  std::string* terr) {
  const Medium& m = *state.medium;
  if (!IsCd(m.profile)) return kCannotReadFormat;
  const int expected = (cdb[1] >> 2) & 0x07;
  const std::uint32_t lba = GetBe32(cdb + 2), count = GetBe24(cdb + 6);
  const std::uint8_t flags = cdb[9];
  if (cdb[10] & 0x07) return kInvalidField;  // no sub-channel data
  if (expected > 5) return kInvalidField;
  if (count == 0 || (flags & 0xFE) == 0)
    return count == 0 ? kGood : Locate(m, lba).check;  // no bytes asked for
  if (buffer.size() / 4 < count) {
    *terr = "data buffer shorter than the transfer length";
    return kGood;
  }
  std::vector<std::uint8_t> raw(kCdRawSectorSize), sector;
  std::size_t done = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    ReadBlock b = Locate(m, lba + i);
    if (b.check.failed()) return b.check;
    const bool audio = b.track->audio;
    if ((expected == 1 && !audio) || (expected >= 2 && (audio || expected != 2))) return kIllegalModeForTrack;
    if (!ReadRaw(lba + i, raw.data(), raw.size())) return kUnrecoveredRead;
    sector.clear();
    if (audio) {
      if (flags & 0xF8) sector.assign(raw.begin(), raw.end());
    } else {
      if (flags & 0x80) sector.insert(sector.end(), raw.begin(), raw.begin() + 12);
      if (flags & 0x20) sector.insert(sector.end(), raw.begin() + 12, raw.begin() + 16);
      if (flags & 0x10) sector.insert(sector.end(), raw.begin() + 16, raw.begin() + 2064);
      if (flags & 0x08) sector.insert(sector.end(), raw.begin() + 2064, raw.end());
    }
    const int c2 = (flags >> 1) & 0x03;
    if (c2 == 1) sector.resize(sector.size() + 294, 0);
    if (c2 == 2) sector.resize(sector.size() + 296, 0);
    if (done + sector.size() > buffer.size()) {
      *terr = "data buffer shorter than the transfer length";
      return kGood;
    }
    if (!sector.empty()) std::memcpy(buffer.data() + done, sector.data(), sector.size());
    done += sector.size();
  }
  *out = done;
  return kGood;
}

}  // namespace platform
