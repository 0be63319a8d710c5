// Medium information: READ CAPACITY, READ DISC/TRACK INFORMATION, READ TOC/PMA/ATIP, READ DVD STRUCTURE and
// READ FORMAT CAPACITIES.
#include "emulated_drive_impl.h"

#include <algorithm>
#include <cstring>

namespace platform {
using namespace emu;

namespace {
// Data modes of READ TRACK INFORMATION (byte 6, bits 3-0).
constexpr int kDataModeOne = 0x01;
constexpr int kDataModeUnknown = 0x0F;
// Points of the full TOC besides the track numbers.
constexpr std::uint8_t kPointFirstTrack = 0xA0;
constexpr std::uint8_t kPointLastTrack = 0xA1;
constexpr std::uint8_t kPointLeadOut = 0xA2;
constexpr std::uint8_t kPointNextSession = 0xB0;
}  // namespace

Check EmulatedDrive::Impl::ReadCapacity(std::span<std::uint8_t> buffer, std::size_t* out) {
  const Medium& m = Active();
  std::uint32_t end = ClassOf(m) == MediumClass::kSequential ? RecordedEnd(m) : m.capacity;
  if (ClassOf(m) == MediumClass::kRandom && !m.formatted) end = 0;
  std::vector<std::uint8_t> r(8, 0);
  PutBe32(&r[0], end ? end - 1 : 0);
  PutBe32(&r[4], 2048);
  *out = Send(r, 8, buffer);
  return kGood;
}

Check EmulatedDrive::Impl::DiscInformation(const std::uint8_t* cdb, std::span<std::uint8_t> buffer,
                                           std::size_t* out) {
  if ((cdb[1] & 0x07) != 0) return kInvalidField;  // only standard disc information
  const Medium& m = Active();
  mmc::DiscInformation d;
  d.disc_status = DiscStatus(m);
  d.erasable = IsErasable(m.profile);
  d.last_session_state = LastSessionState(m) << 2;
  d.first_track = 1;
  d.sessions = int(SessionCount(m));
  int first = m.tracks.empty() ? 1 : int(m.tracks.back().number), last = first;
  for (const Track& t : m.tracks)
    if (t.session == std::uint32_t(d.sessions)) first = std::min(first, int(t.number));
  d.first_track_in_last_session = first;
  d.last_track_in_last_session = last;
  d.background_format = IsDvdPlusRw(m.profile) ? m.bg_format : 0;
  if (IsCd(m.profile) && d.disc_status <= mmc::kDiscAppendable) {
    std::int32_t lead_in = MsfToLba(m.atip_lead_in);
    if (d.sessions > 1) {
      std::uint32_t end = 0;
      for (const Track& t : m.tracks)
        if (t.session < std::uint32_t(d.sessions)) end = std::max(end, t.start + t.size);
      lead_in = std::int32_t(end) + (d.sessions == 2 ? 6750 : 2250);
    }
    d.last_session_lead_in.emplace();
    d.last_possible_lead_out.emplace();
    PutAddress(d.last_session_lead_in->data(), lead_in, true);
    PutAddress(d.last_possible_lead_out->data(), std::int32_t(m.capacity), true);
  }
  *out = Send(mmc::BuildDiscInformation(d), GetBe16(cdb + 7), buffer);
  return kGood;
}

std::uint32_t EmulatedDrive::Impl::TrackSize(const Medium& m, const Track& t) const {
  return t.state == TrackState::kOpen ? (m.capacity > t.start ? m.capacity - t.start : 0) : t.size;
}

Check EmulatedDrive::Impl::TrackInformation(const std::uint8_t* cdb, std::span<std::uint8_t> buffer,
                                            std::size_t* out) {
  const Medium& m = Active();
  const int type = cdb[1] & 0x03;
  const std::uint32_t value = GetBe32(cdb + 2);
  mmc::TrackInformation r;
  if (ClassOf(m) == MediumClass::kRandom && !m.formatted) {
    // An unformatted DVD+RW or BD-RE holds one blank track over the whole
    // medium, as READ DISC INFORMATION counts it; it is written once formatted.
    const bool first =
        (type == 1 && value == 1) || (type == 2 && value == 1) || (type == 0 && value < m.capacity);
    if (!first) return type == 0 ? kOutOfRange : kInvalidField;
    r.track = 1, r.session = 1;
    r.track_mode = mmc::kTrackModeData;
    r.blank = true;
    r.data_mode = kDataModeUnknown;
    r.free_blocks = m.capacity;
    r.size = m.capacity;
    *out = Send(mmc::BuildTrackInformation(r), GetBe16(cdb + 7), buffer);
    return kGood;
  }
  const Track* found = nullptr;
  if (type == 0) {
    for (const Track& t : m.tracks)
      if (value >= t.start && value < t.start + TrackSize(m, t)) found = &t;
    if (!found) return kOutOfRange;
  } else if (type == 1 && value == 0) {
    if (!IsCd(m.profile)) return kInvalidField;
    // Track 0 of a CD is the lead-in of the last session.
    std::int32_t lead_in = MsfToLba(m.atip_lead_in);
    r.start = std::uint32_t(lead_in);
    r.size = std::uint32_t(-lead_in);
    r.session = int(SessionCount(m));
    r.track_mode = mmc::kTrackModeData;
    r.data_mode = kDataModeUnknown;
    *out = Send(mmc::BuildTrackInformation(r), GetBe16(cdb + 7), buffer);
    return kGood;
  } else if (type == 1) {
    for (const Track& t : m.tracks) {
      bool open = t.state == TrackState::kOpen || (t.state == TrackState::kReserved && t.written < t.size);
      if (value == 0xFF ? t.state == TrackState::kOpen
                        : (t.number == value || ((cdb[1] & 0x04) && open && t.number >= value))) {
        found = &t;
        break;
      }
    }
    if (!found) return kInvalidField;
  } else if (type == 2) {
    for (const Track& t : m.tracks)
      if (t.session == value) {
        found = &t;
        break;
      }
    if (!found) return kInvalidField;
  } else {
    return kInvalidField;
  }
  const Track& t = *found;
  const bool sequential = ClassOf(m) == MediumClass::kSequential;
  const bool incremental = IsDvdMinus(m.profile) && !t.dao && sequential;
  const std::uint32_t size = TrackSize(m, t);
  const bool writable =
      sequential && !m.finalized && !t.damaged &&
      (t.state == TrackState::kOpen || (t.state == TrackState::kReserved && t.written < t.size));
  r.track = int(t.number);
  r.session = int(t.session);
  r.damage = t.damaged;
  r.track_mode = IsCd(m.profile) ? (t.control & mmc::track_info::kTrackModeMask)
                 : incremental   ? mmc::kTrackModeDataIncremental
                                 : mmc::kTrackModeData;
  r.blank = t.written == 0 && t.state != TrackState::kComplete;
  r.reserved = t.state == TrackState::kReserved;
  r.packet = incremental;
  r.data_mode = r.blank || t.audio ? kDataModeUnknown : kDataModeOne;
  r.start = t.start;
  if (writable) r.next_writable = t.next_writable();
  if (writable) r.free_blocks = size - t.written;
  r.size = size;
  if (t.written > 0 && sequential) r.last_recorded = t.start + t.written - 1;
  *out = Send(mmc::BuildTrackInformation(r), GetBe16(cdb + 7), buffer);
  return kGood;
}

void EmulatedDrive::Impl::FullToc(const Medium& m, const std::vector<const Track*>& listed, bool finalized,
                                  mmc::FullToc* r) const {
  const std::uint32_t last_session = listed.back()->session;
  r->first_session = 1;
  r->last_session = int(last_session);
  // A point of the lead-in's Q sub-channel, with its address as absolute time.
  auto point = [&](std::uint32_t session, std::uint8_t adr_control, std::uint8_t code, Msf time, Msf p) {
    r->descriptors.push_back({std::uint8_t(session), adr_control, 0, code, time, p});
  };
  for (std::uint32_t session = 1; session <= last_session; ++session) {
    std::vector<const Track*> tracks;
    for (const Track* t : listed)
      if (t->session == session) tracks.push_back(t);
    if (tracks.empty()) continue;
    const Track& first = *tracks.front();
    const Track& last = *tracks.back();
    const std::uint32_t end = last.start + last.size;
    const std::uint8_t control = std::uint8_t(first.control & 0x0F);
    point(session, std::uint8_t(0x10 | control), kPointFirstTrack, {}, {std::uint8_t(first.number), 0x00, 0});
    point(session, std::uint8_t(0x10 | (last.control & 0x0F)), kPointLastTrack, {},
          {std::uint8_t(last.number), 0, 0});
    point(session, std::uint8_t(0x10 | (last.control & 0x0F)), kPointLeadOut, {},
          LbaToMsf(std::int32_t(end)));
    for (const Track* t : tracks)
      point(session, std::uint8_t(0x10 | (t->control & 0x0F)), std::uint8_t(t->number), {},
            LbaToMsf(std::int32_t(t->start)));
    if (session == last_session && !finalized) {
      // Mode 5: where the next session's program area may start, and the
      // last possible start of the lead-out.
      const std::uint32_t next = NextSessionStart(m, end, session);
      point(session, std::uint8_t(0x50 | control), kPointNextSession, LbaToMsf(std::int32_t(next)),
            LbaToMsf(std::int32_t(m.capacity)));
    }
  }
}

Check EmulatedDrive::Impl::ReadToc(const std::uint8_t* cdb, std::span<std::uint8_t> buffer,
                                   std::size_t* out) {
  const Medium& m = Active();
  const bool msf = cdb[1] & 0x02;
  int format = cdb[2] & 0x0F;
  if (format == 0 && (cdb[9] >> 6)) format = cdb[9] >> 6;  // the older place of the format
  const std::uint32_t number = cdb[6];
  const std::size_t allocation = GetBe16(cdb + 7);
  if (format == 4) {
    if (m.profile != kProfileCdR && m.profile != kProfileCdRw) return kInvalidField;
    mmc::Atip atip;
    atip.rewritable = m.profile == kProfileCdRw;
    atip.lead_in = m.atip_lead_in;
    atip.lead_out = LbaToMsf(std::int32_t(m.capacity));
    *out = Send(mmc::BuildAtip(atip), allocation, buffer);
    return kGood;
  }
  if (format != 0 && format != 1 && !(format == 2 && IsCd(m.profile))) return kInvalidField;
  // Tracks in the table: those of closed sessions on CD, all recorded ones elsewhere.
  std::vector<const Track*> listed;
  const bool finalized = DiscStatus(m) >= 2;
  for (const Track& t : m.tracks) {
    bool closed = finalized || t.session < SessionCount(m);
    if (IsCd(m.profile) ? closed : (t.written > 0 || (closed && t.state == TrackState::kComplete)))
      listed.push_back(&t);
  }
  if (listed.empty()) return kInvalidField;
  if (format == 2) {
    mmc::FullToc full;
    FullToc(m, listed, finalized, &full);
    *out = Send(mmc::BuildFullToc(full), allocation, buffer);
    return kGood;
  }
  auto end_of = [&](const Track* t) {
    return t->start + (t->state == TrackState::kComplete ? t->size : t->written);
  };
  mmc::TocReply r;
  auto descriptor = [&](std::uint8_t track, std::uint8_t control, std::int32_t lba) {
    mmc::TocDescriptor d;
    d.adr_control = std::uint8_t(0x10 | (IsCd(m.profile) ? control : mmc::toc::kControlData));
    d.track = track;
    std::uint8_t address[4] = {};
    PutAddress(address, lba, msf);
    d.address = GetBe32(address);
    r.descriptors.push_back(d);
  };
  r.first = int(listed.front()->number);
  r.last = int(listed.back()->number);
  if (format == 0) {
    if (number > listed.back()->number && number != mmc::toc::kLeadOut) return kInvalidField;
    for (const Track* t : listed)
      if (t->number >= number && number != mmc::toc::kLeadOut)
        descriptor(std::uint8_t(t->number), t->control, std::int32_t(t->start));
    descriptor(mmc::toc::kLeadOut, listed.back()->control, std::int32_t(end_of(listed.back())));
  } else {
    // The last complete session (an open one only counts when none is).
    std::uint32_t session = finalized ? SessionCount(m) : SessionCount(m) - 1;
    if (session == 0) session = 1;
    const Track* first = listed.front();
    for (const Track* t : listed)
      if (t->session == session) {
        first = t;
        break;
      }
    r.first = 1;
    r.last = int(first->session);
    descriptor(std::uint8_t(first->number), first->control, std::int32_t(first->start));
  }
  *out = Send(mmc::BuildToc(r), allocation, buffer);
  return kGood;
}

Check EmulatedDrive::Impl::ReadDvdStructure(const std::uint8_t* cdb, std::span<std::uint8_t> buffer,
                                            std::size_t* out) {
  const Medium& m = Active();
  if (IsCd(m.profile)) return kCannotReadFormat;
  const int media_type = cdb[1] & 0x0F;
  const std::uint8_t format = cdb[7];
  if (IsBd(m.profile) || IsHdDvd(m.profile)) return kInvalidField;
  if (strict && media_type != 0) return kInvalidField;
  std::vector<std::uint8_t> r;
  if (format == 0x00) {
    std::uint8_t book = 0;
    switch (m.profile) {
      case kProfileDvdRam:
        book = 0x1;
        break;
      case kProfileDvdR:
      case kProfileDvdRDlSequential:
        book = 0x2;
        break;
      case kProfileDvdRwRestricted:
      case kProfileDvdRwSequential:
        book = 0x3;
        break;
      case kProfileDvdPlusRw:
      case kProfileDvdPlusRwDl:
        book = 0x9;
        break;
      case kProfileDvdPlusR:
      case kProfileDvdPlusRDl:
        book = 0xA;
        break;
    }
    mmc::PhysicalFormat f;
    f.book_type = book;
    f.part_version = 2;
    const bool dual = m.profile == kProfileDvdPlusRDl || m.profile == kProfileDvdRDlSequential ||
                      m.profile == kProfileDvdPlusRwDl;
    f.layers = dual ? 2 : 1;
    f.data_start = mmc::dvd_structure::kFirstDataSector;
    const std::uint32_t end = ClassOf(m) == MediumClass::kSequential ? RecordedEnd(m) : m.capacity;
    if (end) f.data_end = mmc::dvd_structure::kFirstDataSector + end - 1;
    const int layer_type = IsErasable(m.profile) ? 0x04 : m.profile == kProfileDvdRom ? 0x01 : 0x02;
    r = mmc::BuildPhysicalFormat(f, layer_type);
  } else if (format == 0x0E) {
    if (!IsDvdMinus(m.profile)) return kInvalidField;
    mmc::MediaIdentifier id;
    id.manufacturer = m.manufacturer_id;
    r = mmc::BuildPreRecorded(id);
  } else if (format == 0x20) {
    // The layer boundary of a dual-layer DVD+R: layer 0's data zone capacity.
    if (m.profile != kProfileDvdPlusRDl) return kInvalidField;
    r.assign(4 + 8, 0);
    PutBe32(&r[8], LayerZeroCapacity(m));
  } else if (format == 0xFF) {
    // The structures this medium answers, each readable, with its length.
    r.assign(4, 0);
    auto list = [&](std::uint8_t code, std::uint16_t length) {
      const std::uint8_t entry[4] = {code, 0x40, std::uint8_t(length >> 8), std::uint8_t(length)};
      r.insert(r.end(), entry, entry + 4);
    };
    list(0x00, 2048);
    if (IsDvdMinus(m.profile)) list(0x0E, 64);
    if (IsDvdPlusR(m.profile) || IsDvdPlusRw(m.profile)) list(0x11, 256);
    if (m.profile == kProfileDvdPlusRDl) list(0x20, 8);
    list(0xFF, std::uint16_t(4 * ((r.size() - 4) / 4 + 1)));
  } else if (format == 0x11) {
    if (!IsDvdPlusR(m.profile) && !IsDvdPlusRw(m.profile)) return kInvalidField;
    mmc::MediaIdentifier id;
    id.manufacturer = m.manufacturer_id;
    id.media_type = m.media_type_id;
    id.revision = 1;
    // Disc category and version: DVD+RW 9h or DVD+R Ah, in the high nibble.
    r = mmc::BuildAdip(id, IsDvdPlusRw(m.profile) ? 0x92 : 0xA1);
  } else {
    return kInvalidField;
  }
  PutBe16(&r[0], std::uint32_t(r.size() - 2));
  *out = Send(r, GetBe16(cdb + 8), buffer);
  return kGood;
}

Check EmulatedDrive::Impl::ReadFormatCapacities(const std::uint8_t* cdb, std::span<std::uint8_t> buffer,
                                                std::size_t* out) {
  mmc::FormatCapacities r;
  auto add = [&](std::uint32_t blocks, std::uint8_t type, std::uint32_t param) {
    r.formattable.push_back({blocks, std::uint8_t(type << 2), param});
  };
  if (!Loaded() || !Supported()) {
    r.current.type = mmc::kDescriptorNoMedium;
  } else {
    const Medium& m = *state.medium;
    const bool unformatted = ClassOf(m) == MediumClass::kRandom && !m.formatted;
    r.current.blocks = m.capacity;
    r.current.type = std::uint8_t(unformatted ? mmc::kDescriptorUnformatted : mmc::kDescriptorFormatted);
    r.current.parameter = platform::kSectorSize;
    if (state.identity.writer) {
      if (IsDvdPlusRw(m.profile)) add(m.capacity, 0x26, 0);
      if (m.profile == kProfileDvdRwSequential || m.profile == kProfileDvdRwRestricted) {
        add(m.capacity, 0x00, 16);
        add(m.capacity, 0x15, 16);
      }
      if (m.profile == kProfileBdRe) {
        add(m.capacity, 0x00, 0);
        add(m.capacity, 0x30, 0);
      }
      if (m.profile == kProfileDvdRam) add(m.capacity, 0x00, 0);
    }
  }
  *out = Send(mmc::BuildFormatCapacities(r), GetBe16(cdb + 7), buffer);
  return kGood;
}

}  // namespace platform
