#include "emulated_drive_state.h"

#include <algorithm>
#include <charconv>
#include <sstream>

namespace platform::emu {

bool IsCd(std::uint16_t p) { return p == kProfileCdRom || p == kProfileCdR || p == kProfileCdRw; }
bool IsDvdMinus(std::uint16_t p) {
  return p == kProfileDvdR || p == kProfileDvdRwSequential || p == kProfileDvdRwRestricted ||
         p == kProfileDvdRDlSequential;
}
bool IsBd(std::uint16_t p) { return p == kProfileBdRSrm || p == kProfileBdRRrm || p == kProfileBdRe; }
bool IsErasable(std::uint16_t p) {
  return p == kProfileCdRw || p == kProfileDvdRwRestricted || p == kProfileDvdRwSequential ||
         p == kProfileDvdPlusRw || p == kProfileDvdPlusRwDl || p == kProfileDvdRam || p == kProfileBdRe ||
         p == kProfileHdDvdRam;
}
bool SupportsTestWrite(std::uint16_t p) {
  return p == kProfileCdR || p == kProfileCdRw || p == kProfileDvdR || p == kProfileDvdRwSequential ||
         p == kProfileDvdRDlSequential;
}

MediumClass ClassOf(const Medium& m) {
  switch (m.profile) {
    case kProfileCdR:
    case kProfileCdRw:
    case kProfileDvdR:
    case kProfileDvdRwSequential:
    case kProfileDvdRDlSequential:
    case kProfileDvdPlusR:
    case kProfileDvdPlusRDl:
    case kProfileBdRSrm:
      return MediumClass::kSequential;
    case kProfileDvdRam:
    case kProfileDvdRwRestricted:
    case kProfileDvdPlusRw:
    case kProfileDvdPlusRwDl:
    case kProfileBdRRrm:
    case kProfileBdRe:
      return MediumClass::kRandom;
    default:
      return MediumClass::kRom;
  }
}

std::uint32_t SectorSize(std::uint16_t profile) { return IsCd(profile) ? 2352 : 2048; }

std::uint32_t DefaultCapacity(std::uint16_t p) {
  switch (p) {
    case kProfileCdRom:
    case kProfileCdR:
    case kProfileCdRw:
      return 359849;  // 79:59:74
    case kProfileDvdR:
    case kProfileDvdRwSequential:
    case kProfileDvdRwRestricted:
      return 2298496;
    case kProfileDvdRDlSequential:
      return 4171712;
    case kProfileDvdRam:
      return 2236704;
    case kProfileDvdPlusRw:
    case kProfileDvdPlusR:
      return 2295104;
    case kProfileDvdPlusRwDl:
    case kProfileDvdPlusRDl:
      return 4173824;
    case kProfileBdRSrm:
    case kProfileBdRRrm:
    case kProfileBdRe:
      return 12219392;
    default:
      return 2295104;
  }
}

void AppendOpenTrack(Medium& m, std::uint32_t session, std::uint32_t start) {
  Track t;
  t.number = m.tracks.empty() ? 1 : m.tracks.back().number + 1;
  t.session = session;
  t.start = start;
  m.tracks.push_back(t);
}

void MakeBlank(Medium& m) {
  m.tracks.clear();
  m.finalized = false;
  m.bg_format = 0;
  if (ClassOf(m) == MediumClass::kSequential) {
    AppendOpenTrack(m, 1, 0);
  } else if (ClassOf(m) == MediumClass::kRandom) {
    if (m.profile == kProfileDvdRam || m.profile == kProfileDvdRwRestricted) m.formatted = true;
    if (m.formatted) {
      Track t;
      t.size = t.written = m.capacity;
      t.state = TrackState::kComplete;
      m.tracks.push_back(t);
    }
  }
}

Track* OpenTrack(Medium& m) {
  return !m.tracks.empty() && m.tracks.back().state == TrackState::kOpen ? &m.tracks.back() : nullptr;
}
const Track* OpenTrack(const Medium& m) { return OpenTrack(const_cast<Medium&>(m)); }

Medium MakeMedium(const MediumSpec& spec, std::uint32_t content_sectors) {
  Medium m;
  m.profile = spec.profile;
  m.capacity = spec.capacity ? spec.capacity : DefaultCapacity(spec.profile);
  if (IsCd(spec.profile) && !spec.capacity)
    m.capacity = static_cast<std::uint32_t>(MsfToLba(spec.atip_lead_out));
  m.write_protected = spec.write_protected;
  m.formatted = spec.formatted;
  m.atip_lead_in = spec.atip_lead_in;
  m.manufacturer_id = spec.manufacturer_id;
  m.media_type_id = spec.media_type_id;
  if (ClassOf(m) == MediumClass::kRom) m.capacity = content_sectors;
  MakeBlank(m);
  if (content_sectors > 0 && ClassOf(m) != MediumClass::kRandom) {
    m.tracks.clear();
    Track t;
    t.size = t.written = content_sectors;
    t.state = TrackState::kComplete;
    t.audio = spec.content_is_audio;
    t.control = t.audio ? 0 : 4;
    m.tracks.push_back(t);
    m.finalized = true;
  }
  return m;
}

namespace {

std::string Join(const std::vector<std::uint32_t>& values, bool hex) {
  std::ostringstream out;
  for (std::size_t i = 0; i < values.size(); ++i)
    out << (i ? "," : "") << (hex ? std::hex : std::dec) << values[i];
  return out.str();
}

bool ParseNumber(std::string_view text, std::uint32_t* value, int base = 10) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value, base);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ParseList(std::string_view text, std::vector<std::uint32_t>* values, int base = 10) {
  values->clear();
  while (!text.empty()) {
    if (values->size() == 32) return false;
    std::size_t comma = text.find(',');
    std::uint32_t v;
    if (!ParseNumber(text.substr(0, comma), &v, base)) return false;
    values->push_back(v);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return true;
}

}  // namespace

std::string Serialise(const DriveState& s) {
  std::ostringstream out;
  const EmulatedIdentity& id = s.identity;
  out << "vantora-emulated-drive 1\n";
  out << "vendor=" << id.vendor << "\nproduct=" << id.product << "\nrevision=" << id.revision << "\n";
  out << "address="
      << Join({std::uint32_t(id.address.host), std::uint32_t(id.address.channel),
               std::uint32_t(id.address.target), std::uint32_t(id.address.lun)},
              false)
      << "\n";
  out << "writer=" << id.writer << "\n";
  out << "profiles=" << Join(std::vector<std::uint32_t>(id.profiles.begin(), id.profiles.end()), true)
      << "\n";
  out << "cd_write_speeds=" << Join(id.cd_write_speeds, false) << "\n";
  out << "dvd_write_speeds=" << Join(id.dvd_write_speeds, false) << "\n";
  out << "cd_read_speeds=" << Join(id.cd_read_speeds, false) << "\n";
  out << "dvd_read_speeds=" << Join(id.dvd_read_speeds, false) << "\n";
  out << "tray_open=" << s.tray_open << "\nprevent=" << s.prevent << "\nchanges=" << s.changes
      << "\nnot_ready=" << s.not_ready << "\noperation_length=" << s.operation_length
      << "\nunderrun=" << s.underrun << "\npacing=" << s.pacing_kbps << "," << s.pacing_buffer << "\n";
  for (const InjectedFault& f : s.faults) {
    out << "fault="
        << Join({f.opcode, f.first_lba, f.last_lba, std::uint32_t(f.count), f.key, f.asc, f.ascq, f.shorten},
                false)
        << "\n";
  }
  if (s.medium) {
    const Medium& m = *s.medium;
    out << "medium=" << std::hex << m.profile << std::dec << "\n";
    out << "capacity=" << m.capacity << "\nwrite_protected=" << m.write_protected
        << "\nformatted=" << m.formatted << "\nfinalized=" << m.finalized << "\nbg_format=" << m.bg_format
        << "\n";
    out << "atip_lead_in="
        << Join({m.atip_lead_in.minute, m.atip_lead_in.second, m.atip_lead_in.frame}, false) << "\n";
    out << "manufacturer_id=" << m.manufacturer_id << "\nmedia_type_id=" << m.media_type_id << "\n";
    for (const Track& t : m.tracks) {
      out << "track="
          << Join({t.number, t.session, t.start, t.size, t.written, std::uint32_t(t.state), t.audio,
                   t.damaged, t.dao, t.control},
                  false)
          << "\n";
    }
  }
  return out.str();
}

std::optional<DriveState> Parse(const std::string& text, std::string* error) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != "vantora-emulated-drive 1") {
    *error = "not an emulated drive state (bad first line)";
    return std::nullopt;
  }
  DriveState s;
  EmulatedIdentity& id = s.identity;
  id.profiles.clear();
  int line_number = 1;
  while (std::getline(in, line)) {
    ++line_number;
    if (line.empty()) continue;
    std::size_t eq = line.find('=');
    std::string key = line.substr(0, eq);
    std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    std::vector<std::uint32_t> list;
    std::uint32_t n = 0;
    bool ok = eq != std::string::npos;
    Medium* m = s.medium ? &*s.medium : nullptr;
    if (!ok) {
    } else if (key == "vendor") {
      id.vendor = value;
    } else if (key == "product") {
      id.product = value;
    } else if (key == "revision") {
      id.revision = value;
    } else if (key == "address") {
      ok = ParseList(value, &list) && list.size() == 4;
      if (ok)
        id.address = {int(list[0] & 0xFFFF), int(list[1] & 0xFFFF), int(list[2] & 0xFFFF),
                      int(list[3] & 0xFFFF)};
    } else if (key == "writer") {
      ok = ParseNumber(value, &n) && n <= 1;
      id.writer = n;
    } else if (key == "profiles") {
      ok = ParseList(value, &list, 16);
      for (std::uint32_t p : list) ok = ok && p <= 0xFFFF;
      if (ok) id.profiles.assign(list.begin(), list.end());
    } else if (key == "cd_write_speeds") {
      ok = ParseList(value, &id.cd_write_speeds);
    } else if (key == "dvd_write_speeds") {
      ok = ParseList(value, &id.dvd_write_speeds);
    } else if (key == "cd_read_speeds") {
      ok = ParseList(value, &id.cd_read_speeds);
    } else if (key == "dvd_read_speeds") {
      ok = ParseList(value, &id.dvd_read_speeds);
    } else if (key == "tray_open") {
      ok = ParseNumber(value, &n) && n <= 1;
      s.tray_open = n;
    } else if (key == "prevent" || key == "underrun") {
      ok = ParseNumber(value, &n) && n <= 1;
      (key == "prevent" ? s.prevent : s.underrun) = n;
    } else if (key == "changes") {
      ok = ParseNumber(value, &s.changes);
    } else if (key == "not_ready" || key == "operation_length") {
      ok = ParseNumber(value, &n) && n < 0x7FFFFFFF;
      (key == "not_ready" ? s.not_ready : s.operation_length) = int(n);
    } else if (key == "pacing") {
      ok = ParseList(value, &list) && list.size() == 2;
      if (ok) s.pacing_kbps = list[0], s.pacing_buffer = list[1];
    } else if (key == "fault") {
      ok = ParseList(value, &list) && (list.size() == 7 || list.size() == 8) && list[0] <= 0xFF &&
           list[3] >= 1 && list[3] < 0x7FFFFFFF && list[4] <= 0x0F && list[5] <= 0xFF && list[6] <= 0xFF &&
           s.faults.size() < 256;
      if (ok)
        s.faults.push_back({std::uint8_t(list[0]), list[1], list[2], int(list[3]), std::uint8_t(list[4]),
                            std::uint8_t(list[5]), std::uint8_t(list[6]), list.size() == 8 ? list[7] : 0});
    } else if (key == "medium") {
      ok = ParseNumber(value, &n, 16) && n <= 0xFFFF && !s.medium;
      if (ok) {
        s.medium.emplace();
        s.medium->profile = std::uint16_t(n);
      }
    } else if (!m) {
      ok = false;
    } else if (key == "capacity") {
      ok = ParseNumber(value, &m->capacity) && m->capacity < 0x7FFFFFFF;
    } else if (key == "write_protected") {
      ok = ParseNumber(value, &n) && n <= 1;
      m->write_protected = n;
    } else if (key == "formatted") {
      ok = ParseNumber(value, &n) && n <= 1;
      m->formatted = n;
    } else if (key == "finalized") {
      ok = ParseNumber(value, &n) && n <= 1;
      m->finalized = n;
    } else if (key == "bg_format") {
      ok = ParseNumber(value, &n) && n <= 3;
      m->bg_format = int(n);
    } else if (key == "atip_lead_in") {
      ok = ParseList(value, &list) && list.size() == 3 && list[0] < 100 && list[1] < 60 && list[2] < 75;
      if (ok) m->atip_lead_in = {std::uint8_t(list[0]), std::uint8_t(list[1]), std::uint8_t(list[2])};
    } else if (key == "manufacturer_id") {
      m->manufacturer_id = value;
    } else if (key == "media_type_id") {
      m->media_type_id = value;
    } else if (key == "track") {
      ok = ParseList(value, &list) && list.size() == 10 && list[5] <= 2 && list[9] <= 15 && list[0] >= 1 &&
           list[0] <= 99 && list[1] >= 1 && list[1] <= 99;
      if (ok) {
        Track t{list[0],      list[1],
                list[2],      list[3],
                list[4],      TrackState(list[5]),
                list[6] != 0, std::uint8_t(list[9]),
                list[7] != 0, list[8] != 0};
        const Track* prev = m->tracks.empty() ? nullptr : &m->tracks.back();
        std::uint64_t end = std::uint64_t(t.start) + (t.state == TrackState::kOpen ? t.written : t.size);
        ok = end <= m->capacity && t.written <= (t.state == TrackState::kOpen ? m->capacity : t.size) &&
             (!prev || (t.number == prev->number + 1 && t.session >= prev->session &&
                        t.start >= prev->start + prev->size && prev->state != TrackState::kOpen));
        if (ok) m->tracks.push_back(t);
      }
    } else {
      ok = false;
    }
    if (!ok) {
      *error = "bad line " + std::to_string(line_number) + " in the drive state: " + line;
      return std::nullopt;
    }
  }
  return s;
}

}  // namespace platform::emu
