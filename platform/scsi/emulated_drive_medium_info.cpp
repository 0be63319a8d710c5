// Medium information: READ CAPACITY, READ DISC/TRACK INFORMATION, READ TOC/PMA/ATIP, READ DVD STRUCTURE and
// READ FORMAT CAPACITIES.
#include "emulated_drive_impl.h"

#include <algorithm>
#include <cstring>

namespace platform {
using namespace emu;

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
  std::vector<std::uint8_t> r(34, 0);
  PutBe16(&r[0], 32);
  const int status = DiscStatus(m);
  r[2] = std::uint8_t((IsErasable(m.profile) ? 0x10 : 0) | LastSessionState(m) << 2 | status);
  r[3] = 1;
  const std::uint32_t sessions = SessionCount(m);
  std::uint32_t first = m.tracks.empty() ? 1 : m.tracks.back().number, last = first;
  for (const Track& t : m.tracks)
    if (t.session == sessions) first = std::min(first, t.number);
  r[4] = std::uint8_t(sessions);
  r[5] = std::uint8_t(first);
  r[6] = std::uint8_t(last);
  r[7] = std::uint8_t(IsDvdPlusRw(m.profile) ? m.bg_format : 0);
  std::fill(&r[16], &r[24], 0xFF);
  if (IsCd(m.profile) && status <= 1) {
    std::int32_t lead_in = MsfToLba(m.atip_lead_in);
    if (sessions > 1) {
      std::uint32_t end = 0;
      for (const Track& t : m.tracks)
        if (t.session < sessions) end = std::max(end, t.start + t.size);
      lead_in = std::int32_t(end) + (sessions == 2 ? 6750 : 2250);
    }
    PutAddress(&r[16], lead_in, true);
    PutAddress(&r[20], std::int32_t(m.capacity), true);
  }
  *out = Send(r, GetBe16(cdb + 7), buffer);
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
  std::vector<std::uint8_t> r(48, 0);
  PutBe16(&r[0], 46);
  if (ClassOf(m) == MediumClass::kRandom && !m.formatted) {
    // An unformatted DVD+RW or BD-RE holds one blank track over the whole
    // medium, as READ DISC INFORMATION counts it; it is written once formatted.
    const bool first =
        (type == 1 && value == 1) || (type == 2 && value == 1) || (type == 0 && value < m.capacity);
    if (!first) return type == 0 ? kOutOfRange : kInvalidField;
    r[2] = 1, r[3] = 1;
    r[5] = 0x04;  // data track
    r[6] = 0x4F;  // blank, data mode unknown
    PutBe32(&r[16], m.capacity);
    PutBe32(&r[24], m.capacity);
    *out = Send(r, GetBe16(cdb + 7), buffer);
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
    PutBe32(&r[8], std::uint32_t(lead_in));
    PutBe32(&r[24], std::uint32_t(-lead_in));
    r[3] = std::uint8_t(SessionCount(m));
    r[5] = 0x04;
    r[6] = 0x0F;
    *out = Send(r, GetBe16(cdb + 7), buffer);
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
  r[2] = std::uint8_t(t.number);
  r[3] = std::uint8_t(t.session);
  r[5] = std::uint8_t((t.damaged ? 0x20 : 0) | (IsCd(m.profile) ? t.control : (incremental ? 0x05 : 0x04)));
  const bool blank = t.written == 0 && t.state != TrackState::kComplete;
  r[6] = std::uint8_t((t.state == TrackState::kReserved ? 0x80 : 0) | (blank ? 0x40 : 0) |
                      (incremental ? 0x20 : 0) | (blank || t.audio ? 0x0F : 0x01));
  r[7] = std::uint8_t((t.written > 0 && sequential ? 0x02 : 0) | (writable ? 0x01 : 0));
  PutBe32(&r[8], t.start);
  if (writable) PutBe32(&r[12], t.next_writable());
  if (writable) PutBe32(&r[16], size - t.written);
  PutBe32(&r[24], size);
  if (t.written > 0) PutBe32(&r[28], t.start + t.written - 1);
  *out = Send(r, GetBe16(cdb + 7), buffer);
  return kGood;
}

namespace {

// One 11-byte descriptor of the full TOC: a point of the lead-in's Q
// sub-channel, with its address as absolute time.
void AddTocPoint(std::vector<std::uint8_t>* r, std::uint32_t session, std::uint8_t adr_control,
                 std::uint8_t point, Msf time, Msf p) {
  const std::uint8_t d[11] = {std::uint8_t(session),
                              adr_control,
                              0,
                              point,
                              time.minute,
                              time.second,
                              time.frame,
                              0,
                              p.minute,
                              p.second,
                              p.frame};
  r->insert(r->end(), d, d + 11);
}

}  // namespace

void EmulatedDrive::Impl::FullToc(const Medium& m, const std::vector<const Track*>& listed, bool finalized,
                                  std::vector<std::uint8_t>* r) const {
  const std::uint32_t last_session = listed.back()->session;
  (*r)[2] = 1;
  (*r)[3] = std::uint8_t(last_session);
  for (std::uint32_t session = 1; session <= last_session; ++session) {
    std::vector<const Track*> tracks;
    for (const Track* t : listed)
      if (t->session == session) tracks.push_back(t);
    if (tracks.empty()) continue;
    const Track& first = *tracks.front();
    const Track& last = *tracks.back();
    const std::uint32_t end = last.start + last.size;
    const std::uint8_t control = std::uint8_t(first.control & 0x0F);
    AddTocPoint(r, session, std::uint8_t(0x10 | control), 0xA0, {}, {std::uint8_t(first.number), 0x00, 0});
    AddTocPoint(r, session, std::uint8_t(0x10 | (last.control & 0x0F)), 0xA1, {},
                {std::uint8_t(last.number), 0, 0});
    AddTocPoint(r, session, std::uint8_t(0x10 | (last.control & 0x0F)), 0xA2, {},
                LbaToMsf(std::int32_t(end)));
    for (const Track* t : tracks)
      AddTocPoint(r, session, std::uint8_t(0x10 | (t->control & 0x0F)), std::uint8_t(t->number), {},
                  LbaToMsf(std::int32_t(t->start)));
    if (session == last_session && !finalized) {
      // Mode 5: where the next session's program area may start, and the
      // last possible start of the lead-out.
      const std::uint32_t next = NextSessionStart(m, end, session);
      AddTocPoint(r, session, std::uint8_t(0x50 | control), 0xB0, LbaToMsf(std::int32_t(next)),
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
  std::vector<std::uint8_t> r(4, 0);
  if (format == 4) {
    if (m.profile != kProfileCdR && m.profile != kProfileCdRw) return kInvalidField;
    r.resize(28, 0);
    r[4] = 0x50;
    r[6] = std::uint8_t(0x80 | (m.profile == kProfileCdRw ? 0x40 : 0));
    r[8] = m.atip_lead_in.minute, r[9] = m.atip_lead_in.second, r[10] = m.atip_lead_in.frame;
    Msf out_msf = LbaToMsf(std::int32_t(m.capacity));
    r[12] = out_msf.minute, r[13] = out_msf.second, r[14] = out_msf.frame;
    PutBe16(&r[0], 26);
    *out = Send(r, GetBe16(cdb + 7), buffer);
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
  auto end_of = [&](const Track* t) {
    return t->start + (t->state == TrackState::kComplete ? t->size : t->written);
  };
  auto descriptor = [&](std::uint8_t track, std::uint8_t control, std::int32_t lba) {
    std::size_t at = r.size();
    r.resize(at + 8, 0);
    r[at + 1] = std::uint8_t(0x10 | (IsCd(m.profile) ? control : 0x04));
    r[at + 2] = track;
    PutAddress(&r[at + 4], lba, msf);
  };
  r[2] = std::uint8_t(listed.front()->number);
  r[3] = std::uint8_t(listed.back()->number);
  if (format == 2) {
    FullToc(m, listed, finalized, &r);
  } else if (format == 0) {
    if (number > listed.back()->number && number != 0xAA) return kInvalidField;
    for (const Track* t : listed)
      if (t->number >= number && number != 0xAA)
        descriptor(std::uint8_t(t->number), t->control, std::int32_t(t->start));
    descriptor(0xAA, listed.back()->control, std::int32_t(end_of(listed.back())));
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
    r[2] = 1;
    r[3] = std::uint8_t(first->session);
    descriptor(std::uint8_t(first->number), first->control, std::int32_t(first->start));
  }
  PutBe16(&r[0], std::uint32_t(r.size() - 2));
  *out = Send(r, GetBe16(cdb + 7), buffer);
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
  auto text = [&](std::size_t at, const std::string& s, std::size_t n) {
    std::memcpy(&r[at], s.data(), std::min(n, s.size()));
  };
  if (format == 0x00) {
    r.assign(4 + 2048, 0);
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
    r[4] = std::uint8_t(book << 4 | 0x02);
    r[5] = 0x0F;  // 120 mm, no maximum rate
    const bool dual = m.profile == kProfileDvdPlusRDl || m.profile == kProfileDvdRDlSequential ||
                      m.profile == kProfileDvdPlusRwDl;
    r[6] = std::uint8_t((dual ? 0x20 : 0) | (IsErasable(m.profile)         ? 0x04
                                             : m.profile == kProfileDvdRom ? 0x01
                                                                           : 0x02));
    PutBe32(&r[8], 0x030000);
    std::uint32_t end = ClassOf(m) == MediumClass::kSequential ? RecordedEnd(m) : m.capacity;
    if (end) PutBe32(&r[12], 0x030000 + end - 1);
  } else if (format == 0x0E) {
    if (!IsDvdMinus(m.profile)) return kInvalidField;
    r.assign(4 + 64, 0);
    for (int field = 0; field < 5; ++field) r[4 + 8 * field] = std::uint8_t(field + 1);
    std::string id = m.manufacturer_id;
    text(4 + 17, id, 6);
    if (id.size() > 6) text(4 + 25, id.substr(6), 6);
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
    r.assign(4 + 256, 0);
    r[4] = IsDvdPlusRw(m.profile) ? 0x92 : 0xA1;
    text(4 + 19, m.manufacturer_id, 8);
    text(4 + 27, m.media_type_id, 3);
    r[4 + 30] = 1;
  } else {
    return kInvalidField;
  }
  PutBe16(&r[0], std::uint32_t(r.size() - 2));
  *out = Send(r, GetBe16(cdb + 8), buffer);
  return kGood;
}

Check EmulatedDrive::Impl::ReadFormatCapacities(const std::uint8_t* cdb, std::span<std::uint8_t> buffer,
                                                std::size_t* out) {
  std::vector<std::uint8_t> r(12, 0);
  auto add = [&](std::uint32_t blocks, std::uint8_t type, std::uint32_t param) {
    std::size_t at = r.size();
    r.resize(at + 8, 0);
    PutBe32(&r[at], blocks);
    r[at + 4] = std::uint8_t(type << 2);
    r[at + 5] = std::uint8_t(param >> 16), r[at + 6] = std::uint8_t(param >> 8),
           r[at + 7] = std::uint8_t(param);
  };
  if (!Loaded() || !Supported()) {
    r[8] = 0x03;
    PutBe32(&r[4], 0);
  } else {
    const Medium& m = *state.medium;
    const bool unformatted = ClassOf(m) == MediumClass::kRandom && !m.formatted;
    PutBe32(&r[4], m.capacity);
    r[8] = unformatted ? 0x01 : 0x02;
    r[9] = 0, r[10] = 0x08, r[11] = 0;  // 2048-byte blocks
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
  r[3] = std::uint8_t(r.size() - 4);
  *out = Send(r, GetBe16(cdb + 7), buffer);
  return kGood;
}

}  // namespace platform
