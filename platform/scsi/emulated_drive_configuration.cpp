// Identification, features and mode pages: INQUIRY, REQUEST SENSE, GET CONFIGURATION, MODE SENSE/SELECT, SET
// CD SPEED and START STOP UNIT.
#include "emulated_drive_impl.h"

#include <algorithm>
#include <cstring>

namespace platform {
using namespace emu;

Check EmulatedDrive::Impl::Inquiry(const std::uint8_t* cdb, std::span<std::uint8_t> buffer,
                                   std::size_t* out) {
  if ((cdb[1] & 0x01) || cdb[2] != 0) return kInvalidField;  // no vital product data pages
  std::vector<std::uint8_t> r(36, 0);
  r[0] = 0x05;  // CD/DVD device
  r[1] = 0x80;  // removable medium
  r[2] = 0x05;
  r[3] = 0x02;
  r[4] = 31;
  const DeviceIdentity& id = device;
  std::memcpy(&r[8], id.vendor.data(), 8);
  std::memcpy(&r[16], id.product.data(), 16);
  std::memcpy(&r[32], id.revision.data(), 4);
  *out = Send(r, GetBe16(cdb + 3), buffer);
  return kGood;
}

Check EmulatedDrive::Impl::RequestSense(const std::uint8_t* cdb, std::span<std::uint8_t> buffer,
                                        std::size_t* out) {
  if (cdb[1] & 0x01) return kInvalidField;  // descriptor format is not offered
  Check c = kGood;
  int progress = -1;
  if (in_progress) {
    c = busy_sense;
    progress = OperationProgress();
  } else if (unit_attention) {
    unit_attention = false;
    c = kMediumChanged;
  } else if (!Loaded()) {
    c = NoMedium();
  } else if (state.medium->bg_format == 2) {
    progress = 65536 * (state.operation_length - bg_remaining) / (state.operation_length + 1);
  }
  *out = Send(SenseBytes(c, progress), cdb[4], buffer);
  return kGood;
}

bool EmulatedDrive::Impl::Has(std::initializer_list<std::uint16_t> profiles) const {
  for (std::uint16_t p : state.identity.profiles)
    for (std::uint16_t q : profiles)
      if (p == q) return true;
  return false;
}

Check EmulatedDrive::Impl::GetConfiguration(const std::uint8_t* cdb, std::span<std::uint8_t> buffer,
                                            std::size_t* out) {
  const int rt = cdb[1] & 0x03;
  const std::uint16_t start = std::uint16_t(GetBe16(cdb + 2));
  if (rt == 3) return kInvalidField;
  const std::uint16_t cur = CurrentProfile();
  auto is = [&](std::initializer_list<std::uint16_t> ps) {
    for (std::uint16_t p : ps)
      if (p == cur) return true;
    return false;
  };
  const bool writer = state.identity.writer;
  struct Entry {
    std::uint16_t code;
    bool present, current;
    std::vector<std::uint8_t> body;
  };
  std::vector<std::uint8_t> profile_list;
  for (std::uint16_t p : state.identity.profiles) {
    profile_list.push_back(std::uint8_t(p >> 8));
    profile_list.push_back(std::uint8_t(p));
    profile_list.push_back(p == cur && cur != 0 ? 1 : 0);
    profile_list.push_back(0);
  }
  const std::initializer_list<std::uint16_t> cds = {kProfileCdRom, kProfileCdR, kProfileCdRw};
  const std::initializer_list<std::uint16_t> dvds = {kProfileDvdRom,          kProfileDvdR,
                                                     kProfileDvdRam,          kProfileDvdRwRestricted,
                                                     kProfileDvdRwSequential, kProfileDvdRDlSequential,
                                                     kProfileDvdPlusRw,       kProfileDvdPlusR,
                                                     kProfileDvdPlusRwDl,     kProfileDvdPlusRDl};
  const std::initializer_list<std::uint16_t> random = {kProfileDvdRam, kProfileDvdPlusRw, kProfileDvdPlusRwDl,
                                                       kProfileBdRe, kProfileDvdRwRestricted};
  const std::initializer_list<std::uint16_t> incremental = {
      kProfileCdR, kProfileCdRw, kProfileDvdR, kProfileDvdRwSequential, kProfileDvdRDlSequential};
  const bool loaded = cur != 0;
  std::vector<Entry> features = {
      {kFeatureProfileList, true, true, profile_list},
      {kFeatureCore, true, true, {0, 0, 0, 2, 0x01, 0, 0, 0}},  // ATAPI, DBE
      {kFeatureRemovableMedium, true, true, {0x29, 0, 0, 0}},   // tray, eject, lock
      {kFeatureRandomReadable, true, loaded, {0, 0, 0x08, 0, 0, 1, 0, 0}},
      {kFeatureCdRead, Has(cds), is(cds), {0x00, 0, 0, 0}},
      {kFeatureDvdRead, Has(dvds), is(dvds), {}},
      {kFeatureRandomWritable, writer && Has(random), is(random), {0, 0, 0, 0, 0, 0, 0x08, 0, 0, 0x01, 0, 0}},
      {kFeatureIncrementalStreamingWritable,
       writer && Has(incremental),
       is(incremental),
       {0x01, 0x01, 0x01, 1, 16, 0, 0, 0}},
      {kFeatureFormattable, writer && Has(random), is(random), {0, 0, 0, 0}},
      {kFeatureRestrictedOverwrite,
       writer && Has({kProfileDvdRwRestricted}),
       is({kProfileDvdRwRestricted}),
       {}},
      {kFeatureDvdPlusRw, writer && Has({kProfileDvdPlusRw}), is({kProfileDvdPlusRw}), {0x01, 0x00, 0, 0}},
      {kFeatureDvdPlusR,
       Has({kProfileDvdPlusR}),
       is({kProfileDvdPlusR}),
       {std::uint8_t(writer ? 1 : 0), 0, 0, 0}},
      {kFeatureCdTrackAtOnce,
       writer && Has({kProfileCdR, kProfileCdRw}),
       is({kProfileCdR, kProfileCdRw}),
       {0x46, 0, 0, 0}},  // BUF, test write, CD-RW
      // Session at once by cue sheet: BUF, SAO, test write, CD-RW; the
      // longest cue sheet taken.
      {kFeatureCdMastering,
       writer && Has({kProfileCdR, kProfileCdRw}),
       is({kProfileCdR, kProfileCdRw}),
       {0x66, 0x00, 0x10, 0x00}},
      {kFeatureDvdMinusRWrite,
       writer && Has({kProfileDvdR, kProfileDvdRwSequential}),
       is({kProfileDvdR, kProfileDvdRwSequential, kProfileDvdRwRestricted}),
       {0x46, 0, 0, 0}},
      // READ BUFFER CAPACITY in blocks, SET CD SPEED, write speeds in page
      // 2Ah and in GET PERFORMANCE, stream writing.
      {kFeatureRealTimeStreaming, writer, loaded, {0x1F, 0, 0, 0}},
  };
  mmc::Configuration r;
  r.current_profile = cur;
  for (const Entry& f : features) {
    if (!f.present) continue;
    if (rt == 2 ? f.code != start : f.code < start) continue;
    if (rt == 1 && !f.current) continue;
    // The profile list, core and removable medium features are persistent.
    r.features.push_back({f.code, f.code == kFeatureCore || f.code == kFeatureRealTimeStreaming ? 1 : 0,
                          f.code <= kFeatureRemovableMedium, f.current, f.body});
  }
  *out = Send(mmc::BuildConfiguration(r), GetBe16(cdb + 7), buffer);
  return kGood;
}

std::vector<std::uint8_t> EmulatedDrive::Impl::CapabilitiesPage() const {
  const auto& writes = SpeedTable(true);
  const std::size_t n = state.identity.writer ? writes.size() : 0;
  namespace cp = mmc::caps_page;
  std::vector<std::uint8_t> p(cp::kWriteSpeedDescriptors + cp::kWriteSpeedDescriptorLength * n, 0);
  p[mmc::mode::kPageCode] = kPageCapabilities;
  p[mmc::mode::kPageLength] = std::uint8_t(p.size() - 2);
  const bool dvd = Has({kProfileDvdRom, kProfileDvdR, kProfileDvdRwSequential, kProfileDvdPlusR});
  // CD-R, CD-RW, DVD-ROM, DVD-R, DVD-RAM read
  p[cp::kReadCapabilities] = std::uint8_t(0x03 | (dvd ? 0x38 : 0));
  if (state.identity.writer) p[cp::kWriteCapabilities] = std::uint8_t(0x07 | (dvd ? 0x10 : 0));
  p[cp::kFeatures] = 0xF1;                                // BUF, multisession, mode 2 forms, audio play
  p[cp::kCdDa] = 0x03;                                    // CD-DA commands, accurate stream
  p[cp::kMechanism] = 0x29 | (state.prevent ? 0x02 : 0);  // tray, eject, lock (and its state)
  const auto& reads = SpeedTable(false);
  PutBe16(&p[cp::kMaximumReadSpeed], reads.empty() ? 0 : reads.back());
  PutBe16(&p[cp::kBufferSize], 2048);
  PutBe16(&p[cp::kCurrentReadSpeed], read_speed);
  PutBe16(&p[cp::kMaximumWriteSpeed], writes.empty() ? 0 : writes.back());
  PutBe16(&p[cp::kCurrentWriteSpeed], write_speed);
  PutBe16(&p[cp::kCurrentWriteSpeedSelected], write_speed);
  PutBe16(&p[cp::kWriteSpeedDescriptorCount], std::uint32_t(n));
  for (std::size_t i = 0; i < n; ++i)  // fastest first
    PutBe16(&p[cp::kWriteSpeedDescriptors + cp::kWriteSpeedDescriptorLength * i + cp::kDescriptorWriteSpeed],
            writes[n - 1 - i]);
  return p;
}

Check EmulatedDrive::Impl::ModeSense(const std::uint8_t* cdb, std::span<std::uint8_t> buffer,
                                     std::size_t* out) {
  const int pc = cdb[2] >> 6;
  const int page = cdb[2] & 0x3F;
  if (pc == 3) return kSavingNotSupported;
  std::vector<std::uint8_t> r(8, 0);
  auto add = [&](std::vector<std::uint8_t> p) {
    if (pc == 1) std::fill(p.begin() + 2, p.end(), std::uint8_t(p[0] == kPageWriteParameters ? 0xFF : 0x00));
    r.insert(r.end(), p.begin(), p.end());
  };
  if (page == kPageWriteParameters || page == kPageAll)
    add(std::vector<std::uint8_t>(page05.begin(), page05.end()));
  if (page == kPageCapabilities || page == kPageAll) add(CapabilitiesPage());
  if (r.size() == 8) return kInvalidField;
  PutBe16(&r[0], std::uint32_t(r.size() - 2));
  *out = Send(r, GetBe16(cdb + 7), buffer);
  return kGood;
}

Check EmulatedDrive::Impl::ModeSelect(const std::uint8_t* cdb, std::span<std::uint8_t> buffer,
                                      std::string* terr) {
  if (strict && !(cdb[1] & 0x10)) return kInvalidField;  // page format required
  if (cdb[1] & 0x01) return kInvalidField;               // saved pages are not supported
  const std::size_t length = GetBe16(cdb + 7);
  if (length == 0) return kGood;
  if (buffer.size() < length) {
    *terr = "data buffer shorter than the parameter list length";
    return kGood;
  }
  const std::uint8_t* d = buffer.data();
  namespace wp = mmc::write_page;
  constexpr std::size_t kPage = mmc::mode::kHeaderLength;
  if (length < kPage + 2 || GetBe16(d + mmc::mode::kBlockDescriptorLength) != 0)
    return kInvalidParameter;  // no block descriptors
  const std::uint8_t code = d[kPage + mmc::mode::kPageCode] & mmc::mode::kPageCodeMask;
  const std::size_t page_length = d[kPage + mmc::mode::kPageLength];
  if (kPage + 2 + page_length > length) return kInvalidParameter;
  if (code == kPageCapabilities) {
    std::vector<std::uint8_t> current = CapabilitiesPage();
    if (page_length + 2 != current.size() || !std::equal(current.begin() + 2, current.end(), d + kPage + 2))
      return kInvalidParameter;
    return kGood;
  }
  if (code != kPageWriteParameters || (page_length != wp::kPageLengthValue && page_length != 0x36))
    return kInvalidParameter;
  std::array<std::uint8_t, wp::kLength> p{};
  std::memcpy(p.data(), d + kPage, wp::kLength);
  p[mmc::mode::kPageCode] = kPageWriteParameters;
  p[mmc::mode::kPageLength] = wp::kPageLengthValue;
  const std::uint16_t profile = state.medium && !state.tray_open ? state.medium->profile : 0;
  const int write_type = p[wp::kWriteType] & wp::kWriteTypeMask;
  const int block_type = p[wp::kDataBlockType] & wp::kDataBlockTypeMask;
  const bool test_write = (p[wp::kWriteType] & wp::kTestWrite) != 0;
  if ((p[wp::kTrackMode] >> 6) == 2) return kParameterValueInvalid;  // multi-session value 10b is reserved
  if (IsCd(profile) || profile == 0) {
    // Packets, track at once and session at once (by cue sheet); no raw writing.
    if (write_type > kWriteTypeSessionAtOnce ||
        (block_type != kDataBlockRaw && block_type != kDataBlockMode1))
      return kParameterValueInvalid;
    if ((p[wp::kTrackMode] & wp::kFixedPacket) && GetBe32(&p[wp::kPacketSize]) == 0)
      return kParameterValueInvalid;  // fixed packets of no size
  } else if (IsDvdMinus(profile)) {
    if ((write_type != kWriteTypePacket && write_type != kWriteTypeSessionAtOnce &&
         !(write_type == kWriteTypeLayerJump && profile == kProfileDvdRDlSequential)) ||
        block_type != kDataBlockMode1)
      return kParameterValueInvalid;
  }
  if (test_write && profile != 0 && !SupportsTestWrite(profile)) return kParameterValueInvalid;
  const bool was_test = TestWrite();
  page05 = p;
  if (TestWrite() != was_test || !TestWrite()) simulation.reset();
  if (TestWrite() && !simulation && state.medium) simulation = *state.medium;
  return kGood;
}

Check EmulatedDrive::Impl::SetSpeed(const std::uint8_t* cdb) {
  read_speed = PickSpeed(SpeedTable(false), GetBe16(cdb + 2));
  if (state.identity.writer) write_speed = PickSpeed(SpeedTable(true), GetBe16(cdb + 4));
  return kGood;
}

std::uint32_t EmulatedDrive::Impl::PickSpeed(const std::vector<std::uint32_t>& table, std::uint32_t request) {
  if (table.empty()) return 0;
  if (request >= 0xFFFF) return table.back();
  std::uint32_t best = table.front();
  for (std::uint32_t s : table)
    if (s <= request) best = std::max(best, s);
  return best;
}

Check EmulatedDrive::Impl::GetPerformance(const std::uint8_t* cdb, std::span<std::uint8_t> buffer,
                                          std::size_t* out) {
  const std::uint8_t type = cdb[10];
  const std::uint32_t wanted = GetBe16(cdb + 8);
  const bool loaded = CurrentProfile() != 0;
  const std::uint32_t end = loaded ? state.medium->capacity : 0;
  std::vector<std::uint8_t> r(8, 0);
  auto descriptor = [&](std::initializer_list<std::uint32_t> fields, std::uint8_t flags) {
    if ((r.size() - 8) / 16 >= wanted) return;
    std::size_t at = r.size();
    r.resize(at + 16, 0);
    for (std::uint32_t f : fields) PutBe32(&r[at], f), at += 4;
    r[r.size() - 16] |= flags;
  };
  if (type == 0x00) {
    // Performance at the start and end of the medium, for reading or (bit 2)
    // writing: the selected speed over the whole medium.
    if ((cdb[1] & 0x03) != 0) return kInvalidField;  // nominal performance only
    const bool write = cdb[1] & 0x04;
    r[4] = write ? 0x02 : 0x00;
    const std::uint32_t speed = write ? write_speed : read_speed;
    if (loaded) descriptor({0, speed, end ? end - 1 : 0, speed}, 0);
  } else if (type == 0x03) {
    // Write speed descriptors, fastest first.
    if (!state.identity.writer) return kInvalidField;
    const auto& writes = SpeedTable(true);
    const auto& reads = SpeedTable(false);
    const std::uint32_t read = reads.empty() ? 0 : reads.back();
    if (loaded)
      for (auto it = writes.rbegin(); it != writes.rend(); ++it) descriptor({0, end, read, *it}, 0);
  } else {
    return kInvalidField;
  }
  PutBe32(&r[0], std::uint32_t(r.size() - 4));
  *out = Send(r, 8 + 16 * std::size_t(wanted), buffer);
  return kGood;
}

Check EmulatedDrive::Impl::SetStreaming(const std::uint8_t* cdb, std::span<std::uint8_t> buffer,
                                        std::string* terr) {
  const std::size_t length = GetBe16(cdb + 9);
  if (cdb[8] != 0) return kInvalidField;  // only the performance descriptor
  if (length < 28) return length == 0 ? kGood : kInvalidParameter;
  if (buffer.size() < 28) {
    *terr = "data buffer shorter than the parameter list length";
    return kGood;
  }
  const std::uint8_t* d = buffer.data();
  auto rate = [](std::uint32_t kilobytes, std::uint32_t ms) -> std::uint32_t {
    return ms ? std::uint32_t(std::uint64_t(kilobytes) * 1000 / ms) : 0;
  };
  if (d[0] & 0x04) {  // restore the drive's defaults
    const auto& writes = SpeedTable(true);
    const auto& reads = SpeedTable(false);
    write_speed = writes.empty() ? 0 : writes.back();
    read_speed = reads.empty() ? 0 : reads.back();
    return kGood;
  }
  if (const std::uint32_t r = rate(GetBe32(d + 12), GetBe32(d + 16)))
    read_speed = PickSpeed(SpeedTable(false), r);
  if (const std::uint32_t w = rate(GetBe32(d + 20), GetBe32(d + 24)); w && state.identity.writer)
    write_speed = PickSpeed(SpeedTable(true), w);
  return kGood;
}

Check EmulatedDrive::Impl::ReadBufferCapacity(const std::uint8_t* cdb, std::span<std::uint8_t> buffer,
                                              std::size_t* out) {
  constexpr std::uint32_t kBufferBytes = 4 << 20;  // empty whenever a command arrives
  mmc::BufferCapacity r;
  if (cdb[1] & 0x01) {
    r.available = kBufferBytes / platform::kSectorSize;  // blocks available
  } else {
    r.length = kBufferBytes;
    r.available = kBufferBytes;
  }
  *out = Send(mmc::BuildBufferCapacity(r), GetBe16(cdb + 7), buffer);
  return kGood;
}

Check EmulatedDrive::Impl::GetEventStatus(const std::uint8_t* cdb, std::span<std::uint8_t> buffer,
                                          std::size_t* out) {
  if (!(cdb[1] & 0x01)) return kInvalidField;  // polled only
  mmc::MediaEvent r;
  r.supported_classes = 1 << mmc::kNotificationMedia;  // the classes this drive reports
  if (cdb[4] & (1 << mmc::kNotificationMedia)) {
    // No pending event; the medium's presence and the tray.
    r.event_available = true;
    r.notification_class = mmc::kNotificationMedia;
    r.media_present = state.medium && !state.tray_open;
    r.tray_open = state.tray_open;
  }
  *out = Send(mmc::BuildMediaEvent(r), GetBe16(cdb + 7), buffer);
  return kGood;
}

Check EmulatedDrive::Impl::StartStop(const std::uint8_t* cdb) {
  if (cdb[4] & 0xF0) return kGood;  // power conditions: nothing to do
  const bool load_eject = cdb[4] & 0x02, start = cdb[4] & 0x01;
  if (!load_eject) return start && !state.medium ? NoMedium() : kGood;
  if (!start) {
    if (state.prevent) return kRemovalPrevented;
    if (!state.tray_open) {
      state.tray_open = true;
      MediumChanged();
    }
    return kGood;
  }
  if (state.tray_open) {
    state.tray_open = false;
    dirty = true;
    if (state.medium) {
      MediumChanged();
      unit_attention = true;
    }
  }
  return kGood;
}

}  // namespace platform
