// Recording and closing: WRITE(10), RESERVE TRACK, CLOSE TRACK/SESSION, SYNCHRONIZE CACHE, BLANK and FORMAT
// UNIT.
#include "emulated_drive_impl.h"
#include "emulated_drive_tao.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace platform {
using namespace emu;

Check EmulatedDrive::Impl::Writable(const Medium& m) const {
  if (m.write_protected) return kWriteProtected;
  if (ClassOf(m) == MediumClass::kRom || IsHdDvd(m.profile)) return kCannotWriteFormat;
  return kGood;
}

Check EmulatedDrive::Impl::Write10(const std::uint8_t* cdb, std::span<std::uint8_t> buffer,
                                   std::string* terr) {
  std::uint32_t lba = GetBe32(cdb + 2);
  std::uint32_t count = GetBe16(cdb + 7);
  Medium& m = Active();
  if (Check c = Writable(m); c.failed()) return c;
  const bool cd = IsCd(m.profile);
  // Session at once: each track's data form (from the cue sheet) sets the
  // block size, and the first pregap (from LBA -150) is taken and dropped.
  const bool sao = cd && SessionAtOnce() && ClassOf(m) == MediumClass::kSequential;
  const Track* first_sao = nullptr;
  for (const Track& t : m.tracks)
    if (sao && t.dao && !first_sao) first_sao = &t;
  bool audio = cd && (page05[4] & 0x0F) == 0;
  if (first_sao) {
    const bool pregap = std::int32_t(lba) < 0;
    for (const Track& t : m.tracks)
      if (t.dao && (pregap ? &t == first_sao : lba >= t.start && lba < t.start + t.size)) audio = t.audio;
  }
  const std::size_t block = audio ? 2352 : 2048;
  if (buffer.size() < count * block) {
    *terr = "data buffer shorter than the transfer length";
    return kGood;
  }
  if (count == 0) return kGood;
  if (first_sao && std::int32_t(lba) < 0) {
    if (std::int32_t(lba) < -std::int32_t(kCdPregapSectors)) return kInvalidWriteAddress;
    const std::uint32_t pregap = std::min<std::uint32_t>(count, std::uint32_t(-std::int32_t(lba)));
    if (pregap == count) return kGood;
    buffer = buffer.subspan(pregap * block);
    lba = 0;
    count -= pregap;
  }
  const std::uint64_t end = std::uint64_t(lba) + count;
  if (ClassOf(m) == MediumClass::kRandom) {
    if (!m.formatted) return kNotFormatted;
    if (end > m.capacity) return kOutOfRange;
    if (m.profile == kProfileDvdRwRestricted && (lba % 16 || count % 16)) return kInvalidWriteAddress;
    if (!Record(lba, count, buffer.data(), false)) return kWriteError;
    return kGood;
  }
  // Sequential recording: only at the next writable address of an open track.
  const int write_type = page05[2] & 0x0F;
  if (cd && write_type >= 2 && !first_sao) return kSequenceError;  // session at once needs a cue sheet
  Track* target = nullptr;
  for (Track& t : m.tracks)
    if ((t.state == TrackState::kOpen || t.state == TrackState::kReserved) && !m.finalized) {
      if (t.next_writable() == lba) target = &t;
    }
  if (IsDvdMinus(m.profile) && write_type == 2 && (!target || !target->dao)) return kSequenceError;
  if (pacing.BeforeWrite(count * block)) underrun = true;
  if (underrun) {
    underrun = false;
    if (!(page05[2] & 0x40)) {
      Track* open = target ? target : OpenTrack(m);
      if (open && !simulation) {
        open->damaged = true;
        dirty = true;
      }
      return kLossOfStreaming;
    }
  }
  if (!target) return end > m.capacity ? kOutOfRange : kInvalidWriteAddress;
  if (target->damaged) return kInvalidWriteAddress;
  if (target->state == TrackState::kOpen ? end > m.capacity
                                         : end > std::uint64_t(target->start) + target->size)
    return target->state == TrackState::kOpen ? kOutOfRange : kInvalidWriteAddress;
  if (cd && !first_sao) {
    const bool data_mode = (page05[3] & 0x04) != 0;
    if (data_mode == audio || (target->written > 0 && target->audio != audio)) return kIllegalModeForTrack;
  }
  if (!simulation && !Record(lba, count, buffer.data(), audio)) return kWriteError;
  target->audio = audio;
  if (target->written == 0 && !first_sao) target->control = cd ? std::uint8_t(page05[3] & 0x0F) : 4;
  target->written += count;
  if (target->state == TrackState::kReserved && target->written == target->size && !target->dao)
    target->state = TrackState::kComplete;
  dirty = dirty || !simulation;
  return kGood;
}

Check EmulatedDrive::Impl::ReserveTrack(const std::uint8_t* cdb) {
  Medium& m = Active();
  if (Check c = Writable(m); c.failed()) return c;
  if (ClassOf(m) != MediumClass::kSequential) return kSequenceError;
  if (cdb[1] & 0x01) return kInvalidField;  // reservation by address is not offered
  std::uint32_t size = GetBe32(cdb + 5);
  if (size == 0) return kInvalidField;
  Track* open = OpenTrack(m);
  if (!open || open->written > 0) return kSequenceError;
  const bool dao = IsDvdMinus(m.profile) && (page05[2] & 0x0F) == 2;
  // An incremental track holds whole ECC blocks; a disc-at-once track is
  // complete once the host has sent the size it reserved.
  if (!IsCd(m.profile) && !dao) size = (size + 15) / 16 * 16;
  if (std::uint64_t(open->start) + size > m.capacity) return kOutOfRange;
  if (dao && (open->number != 1 || open->session != 1)) return kSequenceError;
  open->state = TrackState::kReserved;
  open->size = size;
  open->dao = dao;
  const std::uint32_t session = open->session;
  const std::uint32_t next = FollowingTrackStart(m, open->start + size, page05[2] & 0x0F);
  if (!dao) AppendOpenTrack(m, session, next);
  dirty = dirty || !simulation;
  return kGood;
}

Check EmulatedDrive::Impl::CloseOpenSession(Medium& m, bool allow_empty) {
  const std::uint32_t session = SessionCount(m);
  bool any = false;
  for (const Track& t : m.tracks) {
    if (t.session != session) continue;
    if (t.state == TrackState::kReserved && t.written < t.size) return kSessionFixationError;
    any = any || t.written > 0;
  }
  if (!any && !allow_empty) return kSequenceError;
  if (OpenTrack(m) && OpenTrack(m)->written == 0) m.tracks.pop_back();
  for (Track& t : m.tracks) {
    if (t.session != session) continue;
    if (t.state == TrackState::kOpen) t.size = ClosedTrackSize(m, t);
    t.state = TrackState::kComplete;
  }
  return kGood;
}

Check EmulatedDrive::Impl::CloseTrackSession(const std::uint8_t* cdb) {
  pacing.EndSession();
  Medium& m = Active();
  if (Check c = Writable(m); c.failed()) return c;
  const int function = cdb[2] & 0x07;
  const std::uint32_t number = GetBe16(cdb + 4);
  const bool plus_rw = IsDvdPlusRw(m.profile);
  const bool sequential = ClassOf(m) == MediumClass::kSequential;
  if (plus_rw && (function == 0 || function == 2 || function == 3)) {
    if (m.bg_format == 2) m.bg_format = 1;
    bg_remaining = 0;
  } else if (!sequential) {
    if (!(function == 3 && m.profile == kProfileDvdRwRestricted)) return kInvalidField;
  } else if (m.finalized) {
    return kSequenceError;
  } else if (function == 1) {
    Track* t = nullptr;
    for (Track& candidate : m.tracks)
      if (candidate.number == number) t = &candidate;
    if (!t) return kInvalidField;
    if (t->state == TrackState::kReserved) {
      t->written = t->size;
      t->state = TrackState::kComplete;
      if (t->dao) m.finalized = true;
    } else if (t->state == TrackState::kOpen && t->written > 0) {
      t->size = ClosedTrackSize(m, *t);
      t->state = TrackState::kComplete;
      const std::uint32_t session = t->session;
      AppendOpenTrack(m, session, FollowingTrackStart(m, t->start + t->size, page05[2] & 0x0F));
    }
  } else if (function == 2) {
    const std::uint32_t session = SessionCount(m);
    if (Check c = CloseOpenSession(m, false); c.failed()) return c;
    const std::uint32_t end = m.tracks.back().start + m.tracks.back().size;
    const bool more = UsesWriteParameters(m.profile) ? (page05[3] >> 6) == 3 : true;
    const std::uint32_t next = NextSessionStart(m, end, session);
    if (more && next < m.capacity && session < 99) {
      AppendOpenTrack(m, session + 1, next);
    } else {
      m.finalized = true;
    }
  } else if ((function == 3 && m.profile == kProfileDvdRwSequential) ||
             (function == 5 && IsDvdPlusR(m.profile)) ||
             (function == 6 && (IsDvdPlusR(m.profile) || m.profile == kProfileBdRSrm))) {
    // Finalising closes an open session first; an empty last session is
    // dropped when earlier ones hold data.
    if (Check c = CloseOpenSession(m, SessionCount(m) > 1); c.failed()) return c;
    m.finalized = true;
  } else {
    return kInvalidField;
  }
  dirty = dirty || !simulation;
  if (cdb[1] & 0x01) StartOperation(kOperationInProgress);
  return kGood;
}

Check EmulatedDrive::Impl::SynchronizeCache(const std::uint8_t* cdb) {
  pacing.EndSession();
  Medium& m = Active();
  bool closed = false, pending = false;
  for (Track& t : m.tracks) {
    if (t.dao && t.state == TrackState::kReserved && t.written == t.size) {
      t.state = TrackState::kComplete;
      t.dao = false;
      closed = true;
    }
    pending = pending || (t.dao && t.state == TrackState::kReserved);
  }
  if (closed && !pending) {
    // The lead-out follows: a CD written at once with multisession set stays
    // open for another session.
    const Track& last = m.tracks.back();
    const std::uint32_t session = last.session;
    const std::uint32_t next = NextSessionStart(m, last.start + last.size, session);
    if (IsCd(m.profile) && (page05[3] >> 6) == 3 && next < m.capacity)
      AppendOpenTrack(m, session + 1, next);
    else
      m.finalized = true;
  }
  if (closed) {
    dirty = dirty || !simulation;
    if (cdb[1] & 0x02) StartOperation(kLongWriteInProgress);
  }
  return kGood;
}

Check EmulatedDrive::Impl::SendCueSheet(const std::uint8_t* cdb, std::span<std::uint8_t> buffer,
                                        std::string* terr) {
  Medium& m = Active();
  if (Check c = Writable(m); c.failed()) return c;
  if (!IsCd(m.profile) || ClassOf(m) != MediumClass::kSequential) return kCannotWriteFormat;
  if (!SessionAtOnce()) return kSequenceError;
  const std::size_t length = GetBe24(cdb + 6);
  if (buffer.size() < length) {
    *terr = "data buffer shorter than the cue sheet length";
    return kGood;
  }
  Track* open = OpenTrack(m);
  if (!open || open->written > 0 || m.finalized) return kSequenceError;
  if (length == 0 || length % 8) return kInvalidParameter;
  auto bcd = [](std::uint8_t b) { return std::uint32_t((b >> 4) * 10 + (b & 0x0F)); };
  struct Start {
    std::uint32_t number;
    std::int32_t lba;
    bool audio;
    std::uint8_t control;
  };
  std::vector<Start> starts;
  std::int32_t lead_out = -1;
  for (std::size_t at = 0; at < length; at += 8) {
    const std::uint8_t* e = buffer.data() + at;
    const std::int32_t lba = MsfToLba(Msf{e[5], e[6], e[7]});
    const std::uint8_t form = e[3] & 0x3F;
    if (e[1] == 0xAA) {
      lead_out = lba;
    } else if (e[1] != 0 && e[2] == 1) {
      if (form != 0x00 && form != 0x10) return kInvalidParameter;  // CD-DA or Mode 1, sent by the host
      starts.push_back({bcd(e[1]), lba, form == 0x00, std::uint8_t(e[0] >> 4)});
    } else if (e[1] != 0 && (form & 0x0F) == 0x01) {
      return kInvalidParameter;  // pregaps the drive would generate are not offered
    }
  }
  if (starts.empty() || lead_out < 0 || starts.front().lba != std::int32_t(open->start))
    return kInvalidParameter;
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const std::int32_t end = i + 1 < starts.size() ? starts[i + 1].lba : lead_out;
    if (end <= starts[i].lba || (i && starts[i].number != starts[i - 1].number + 1)) return kInvalidParameter;
  }
  if (std::uint32_t(lead_out) > m.capacity) return kOutOfRange;
  const std::uint32_t session = open->session, first_number = open->number;
  m.tracks.pop_back();
  for (std::size_t i = 0; i < starts.size(); ++i) {
    Track t;
    t.number = first_number + std::uint32_t(i);
    t.session = session;
    t.start = std::uint32_t(starts[i].lba);
    t.size = std::uint32_t((i + 1 < starts.size() ? starts[i + 1].lba : lead_out) - starts[i].lba);
    t.state = TrackState::kReserved;
    t.audio = starts[i].audio;
    t.control = starts[i].control;
    t.dao = true;
    m.tracks.push_back(t);
  }
  dirty = dirty || !simulation;
  return kGood;
}

Check EmulatedDrive::Impl::BlankLastSession(Medium& m, bool erase) {
  const std::uint32_t open_session = SessionCount(m);
  const bool open_has_data = !m.finalized && SessionHasData(m, open_session);
  if (!erase) {
    if (open_has_data || (!m.finalized && open_session == 1)) return kSequenceError;
    if (!m.finalized) m.tracks.pop_back();  // the empty open session
  } else {
    if (m.tracks.empty() || (!m.finalized && !open_has_data && open_session == 1))
      return kGood;  // blank already
    if (!m.finalized && !open_has_data) m.tracks.pop_back();
    const std::uint32_t session = m.tracks.back().session;
    const std::uint32_t start = std::find_if(m.tracks.begin(), m.tracks.end(), [&](const Track& t) {
                                  return t.session == session;
                                })->start;
    std::erase_if(m.tracks, [&](const Track& t) { return t.session == session; });
    m.finalized = false;
    AppendOpenTrack(m, session, start);
    return kGood;
  }
  m.finalized = false;
  const Track& last = m.tracks.back();
  const std::uint32_t session = last.session, end = last.start + last.size;
  AppendOpenTrack(m, session, end);
  return kGood;
}

Check EmulatedDrive::Impl::Blank(const std::uint8_t* cdb) {
  Medium& m = *state.medium;
  if (m.profile != kProfileCdRw && m.profile != kProfileDvdRwSequential &&
      m.profile != kProfileDvdRwRestricted)
    return kIncompatibleMedium;
  if (m.write_protected) return kWriteProtected;
  const int type = cdb[1] & 0x07;
  if (type == 5 || type == 6) {
    if (m.profile == kProfileDvdRwRestricted) return kInvalidField;
    if (Check c = BlankLastSession(m, type == 6); c.failed()) return c;
  } else if (type <= 1) {
    if (m.profile == kProfileDvdRwRestricted) m.profile = kProfileDvdRwSequential;
    m.formatted = false;
    MakeBlank(m);
    if (type == 0 && ::ftruncate(media_fd, 0) != 0) return kWriteError;
  } else {
    return kInvalidField;  // track blanking is not offered
  }
  simulation.reset();
  if (TestWrite()) simulation = m;
  dirty = true;
  if (cdb[1] & 0x10) StartOperation(kOperationInProgress);
  return kGood;
}

Check EmulatedDrive::Impl::FormatUnit(const std::uint8_t* cdb, std::span<std::uint8_t> buffer,
                                      std::string* terr) {
  Medium& m = *state.medium;
  if ((cdb[1] & 0x17) != 0x11) return kInvalidField;  // format data with format code 1
  if (buffer.size() < 12) {
    *terr = "data buffer shorter than the format parameter list";
    return kGood;
  }
  const std::uint8_t* d = buffer.data();
  if (GetBe16(d + 2) != 8) return kInvalidParameter;
  const bool immed = d[1] & 0x02;
  const std::uint32_t blocks = GetBe32(d + 4);
  const int type = d[8] >> 2;
  const bool dvd_rw = m.profile == kProfileDvdRwSequential || m.profile == kProfileDvdRwRestricted;
  if (!IsDvdPlusRw(m.profile) && !dvd_rw && m.profile != kProfileBdRe && m.profile != kProfileDvdRam)
    return kCannotFormat;
  if (m.write_protected) return kWriteProtected;
  if (blocks > m.capacity && blocks != 0xFFFFFFFFu) return kInvalidParameter;
  if (IsDvdPlusRw(m.profile)) {
    if (type != 0x26) return kInvalidParameter;
    m.formatted = true;
    MakeBlank(m);
    m.bg_format = 2;
    bg_remaining = operation_length;
  } else if (dvd_rw) {
    if (type != 0x00 && type != 0x15 && type != 0x10) return kInvalidParameter;
    m.profile = kProfileDvdRwRestricted;
    MakeBlank(m);
    if (immed) StartOperation(kFormatInProgress);
  } else {
    if (type != 0x00 && type != 0x30 && type != 0x31) return kInvalidParameter;
    m.formatted = true;
    MakeBlank(m);
    if (immed) StartOperation(kFormatInProgress);
  }
  simulation.reset();
  dirty = true;
  return kGood;
}

}  // namespace platform
