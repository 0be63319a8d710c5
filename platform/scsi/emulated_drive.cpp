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

#include "platform/byte_order.h"
#include "emulated_drive_state.h"
#include "emulated_drive_tao.h"
#include "platform/fileio.h"

namespace platform {
using namespace emu;

namespace {

constexpr char kStateFile[] = "drive.state";
constexpr char kMediaFile[] = "media.img";
constexpr std::size_t kLogLimit = 20000;

// The answer a command ends with: no sense when it succeeded.
using Check = SenseCode;
constexpr Check kGood{};

using platform::GetBe16;
using platform::GetBe24;
using platform::GetBe32;
using platform::PutBe16;
using platform::PutBe32;

void PutAddress(std::uint8_t* p, std::int32_t lba, bool msf) {
  if (!msf) return PutBe32(p, std::uint32_t(lba));
  Msf m = LbaToMsf(lba);
  p[0] = 0, p[1] = m.minute, p[2] = m.second, p[3] = m.frame;
}

// The CDB length of an opcode's group; 0 for the vendor and reserved groups.
std::size_t CdbLength(std::uint8_t opcode) {
  switch (opcode >> 5) {
    case 0: return 6;
    case 1: case 2: return 10;
    case 4: return 16;
    case 5: return 12;
    default: return 0;
  }
}

std::string Padded(std::string text, std::size_t size) {
  text.resize(size, ' ');
  return text;
}

bool IsDvdPlusRw(std::uint16_t p) { return p == kProfileDvdPlusRw || p == kProfileDvdPlusRwDl; }
bool IsDvdPlusR(std::uint16_t p) { return p == kProfileDvdPlusR || p == kProfileDvdPlusRDl; }
bool IsHdDvd(std::uint16_t p) { return p >= kProfileHdDvdRom && p <= kProfileHdDvdRam; }
// Media whose write parameters page governs recording.
bool UsesWriteParameters(std::uint16_t p) { return IsCd(p) || IsDvdMinus(p); }

struct ReadBlock {
  const Track* track = nullptr;
  Check check;
};

}  // namespace

class EmulatedDrive::Impl {
 public:
  std::filesystem::path folder;
  DriveState state;
  DeviceIdentity device;
  int media_fd = -1;
  mutable std::mutex mutex;

  // Volatile drive state, as a real drive loses it at power-off.
  bool prevent = false;
  bool unit_attention = false;
  int not_ready = 0;
  int operation_length = 3;
  int busy = 0;  // commands until an immediate operation ends
  bool in_progress = false;  // the current command arrived while one ran
  Check busy_sense;
  int bg_remaining = 0;
  std::vector<InjectedFault> faults;
  bool underrun = false;
  bool strict = true;
  std::array<std::uint8_t, 52> page05{};
  std::uint32_t write_speed = 0, read_speed = 0;
  std::optional<Medium> simulation;  // the disc as a test write sees it
  std::deque<LoggedCommand> log;
  bool dirty = false;
  std::string save_error;

  ~Impl() {
    if (media_fd >= 0) ::close(media_fd);
  }

  // ---- medium helpers -------------------------------------------------------

  bool Loaded() const { return state.medium && !state.tray_open; }
  bool Supported() const {
    const auto& p = state.identity.profiles;
    return std::find(p.begin(), p.end(), state.medium->profile) != p.end();
  }
  std::uint16_t CurrentProfile() const { return Loaded() && Supported() ? state.medium->profile : 0; }
  Medium& Active() { return simulation ? *simulation : *state.medium; }
  bool TestWrite() const { return (page05[2] & 0x10) != 0; }

  void ResetWriteParameters() {
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

  const std::vector<std::uint32_t>& SpeedTable(bool write) const {
    bool dvd = state.medium && !IsCd(state.medium->profile);
    const EmulatedIdentity& id = state.identity;
    return write ? (dvd ? id.dvd_write_speeds : id.cd_write_speeds) : (dvd ? id.dvd_read_speeds : id.cd_read_speeds);
  }

  void MediumChanged() {
    ResetWriteParameters();
    busy = 0;
    bg_remaining = 0;
    dirty = true;
    if (state.medium && state.medium->bg_format == 2) state.medium->bg_format = 1;
  }

  static std::uint32_t RecordedEnd(const Medium& m) {
    std::uint32_t end = 0;
    for (const Track& t : m.tracks) end = std::max(end, t.start + t.written);
    return end;
  }
  std::uint32_t SessionCount(const Medium& m) const { return m.tracks.empty() ? 1 : m.tracks.back().session; }
  // Whether a session holds recorded data or a reservation.
  static bool SessionHasData(const Medium& m, std::uint32_t session) {
    for (const Track& t : m.tracks)
      if (t.session == session && (t.written > 0 || t.state != TrackState::kOpen)) return true;
    return false;
  }
  int DiscStatus(const Medium& m) const {
    switch (ClassOf(m)) {
      case MediumClass::kRom: return 2;
      case MediumClass::kRandom:
        if (!m.formatted) return 0;
        return m.profile == kProfileDvdRam || m.profile == kProfileBdRe ? 3 : 2;
      case MediumClass::kSequential:
        if (m.finalized) return 2;
        return RecordedEnd(m) == 0 && SessionCount(m) == 1 && !SessionHasData(m, 1) ? 0 : 1;
    }
    return 0;
  }
  int LastSessionState(const Medium& m) const {
    int status = DiscStatus(m);
    if (status == 0) return 0;
    if (status != 1) return 3;
    return SessionHasData(m, SessionCount(m)) ? 1 : 0;
  }
  // The first sector of the lead-out of a closed session that ends at end.
  static std::uint32_t NextSessionStart(const Medium& m, std::uint32_t end, std::uint32_t closed_session) {
    if (!IsCd(m.profile)) return end;
    return end + (closed_session == 1 ? 6750 + 4500 + 150 : 2250 + 4500 + 150);
  }

  // ---- persistence ----------------------------------------------------------

  bool Save(std::string* error) {
    dirty = false;
    FileError e;
    if (WriteFileAtomic(folder / kStateFile, Serialise(state), &e)) return true;
    *error = e.message;
    return false;
  }

  bool WriteSectors(std::uint32_t lba, const std::uint8_t* data, std::size_t bytes) {
    std::uint64_t offset = std::uint64_t(lba) * SectorSize(state.medium->profile);
    while (bytes > 0) {
      ssize_t n = ::pwrite(media_fd, data, bytes, off_t(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      data += n, bytes -= std::size_t(n), offset += std::uint64_t(n);
    }
    return true;
  }
  bool ReadRaw(std::uint32_t lba, std::uint8_t* data, std::size_t bytes) const {
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

  // Records user data (2048-byte blocks, or 2352-byte audio frames on CD).
  bool Record(std::uint32_t lba, std::uint32_t count, const std::uint8_t* data, bool audio) {
    if (!IsCd(state.medium->profile) || audio) return WriteSectors(lba, data, std::size_t(count) * (audio ? 2352 : 2048));
    std::vector<std::uint8_t> raw(std::size_t(count) * kCdRawSectorSize);
    for (std::uint32_t i = 0; i < count; ++i) {
      EncodeMode1Sector(std::int32_t(lba + i), std::span<const std::uint8_t, 2048>(data + i * 2048, 2048),
                        std::span<std::uint8_t, 2352>(raw.data() + i * kCdRawSectorSize, 2352));
    }
    return WriteSectors(lba, raw.data(), raw.size());
  }

  bool LoadContent(const MediumSpec& spec, std::uint32_t* sectors, std::string* error) {
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
      if (n < 0) { ok = false; break; }
      if (n == 0) break;
      std::size_t blocks = (std::size_t(n) + block - 1) / block;
      std::fill(chunk.begin() + n, chunk.begin() + std::ptrdiff_t(blocks * block), 0);
      if (!Record(lba, std::uint32_t(blocks), chunk.data(), spec.content_is_audio)) { ok = false; break; }
      lba += std::uint32_t(blocks);
    }
    ::close(fd);
    if (!ok) *error = "cannot copy the medium content " + spec.content.string();
    *sectors = lba;
    return ok;
  }

  // ---- command plumbing -----------------------------------------------------

  static std::size_t Send(const std::vector<std::uint8_t>& reply, std::size_t allocation,
                          std::span<std::uint8_t> buffer) {
    std::size_t n = std::min({reply.size(), allocation, buffer.size()});
    if (n) std::memcpy(buffer.data(), reply.data(), n);
    return n;
  }

  Check NoMedium() const { return state.tray_open ? kNoMediumTrayOpen : kNoMediumTrayClosed; }

  // Ends a counted operation once its commands have passed.
  void CountCommand() {
    if (busy > 0) --busy;
    if (bg_remaining > 0 && --bg_remaining == 0 && state.medium && state.medium->bg_format == 2) {
      state.medium->bg_format = 3;
      dirty = true;
    }
  }

  std::optional<Check> InjectedFor(const std::uint8_t* cdb, std::size_t length) {
    std::uint8_t op = cdb[0];
    bool has_lba = op == kRead10 || op == kWrite10 || op == kReadCd || op == kVerify10;
    std::uint32_t first = has_lba && length >= 6 ? GetBe32(cdb + 2) : 0;
    std::uint32_t count = op == kReadCd ? GetBe24(cdb + 6) : (has_lba ? GetBe16(cdb + 7) : 1);
    std::uint64_t last = std::uint64_t(first) + (count ? count - 1 : 0);
    for (auto it = faults.begin(); it != faults.end(); ++it) {
      if (it->opcode != op) continue;
      if (has_lba && (last < it->first_lba || first > it->last_lba)) continue;
      Check c{it->key, it->asc, it->ascq};
      if (--it->count <= 0) faults.erase(it);
      return c;
    }
    return std::nullopt;
  }

  ScsiResult Exec(std::span<const std::uint8_t> sent, std::span<std::uint8_t> buffer) {
    ScsiResult result;
    // The transport policy sends only blocks of their opcode's standard
    // length. A block of another length is taken as a packet interface does:
    // cut or zero-padded to the standard length.
    if (sent.empty()) {
      result.transport = ScsiResult::Transport::kError;
      result.transport_message = "empty command block refused";
      return result;
    }
    const std::size_t standard = CdbLength(sent[0]);
    const std::size_t n = sent.size();
    std::array<std::uint8_t, 16> padded{};
    std::copy_n(sent.begin(), std::min<std::size_t>(n, 16), padded.begin());
    const std::span<const std::uint8_t> cdb(padded.data(), standard ? standard : std::min<std::size_t>(n, 16));
    std::size_t transferred = 0;
    Check check;
    std::string transport_error;
    const std::uint8_t op = cdb[0];
    const bool exempt = op == kInquiry || op == kRequestSense || op == kGetConfiguration;
    in_progress = busy > 0;
    CountCommand();
    if (auto fault = InjectedFor(cdb.data(), cdb.size())) {
      check = *fault;
    } else if (!exempt && unit_attention) {
      unit_attention = false;
      check = kMediumChanged;
    } else if (!exempt && in_progress) {
      check = busy_sense;
    } else {
      check = Dispatch(cdb.data(), buffer, &transferred, &transport_error);
    }
    if (!transport_error.empty()) {
      result.transport = ScsiResult::Transport::kError;
      result.transport_message = transport_error;
      check = kGood;
    }
    if (dirty && !Save(&save_error) && !check.failed()) check = kWriteError;
    LoggedCommand entry;
    entry.cdb.assign(cdb.begin(), cdb.end());
    if (check.failed()) {
      result.status = 2;
      result.sense = {check.key, check.asc, check.ascq, true};
      entry.sense = SenseBytes(check, -1);
      transferred = 0;
    }
    result.transferred = transferred;
    entry.status = result.status;
    entry.transferred = transferred;
    log.push_back(std::move(entry));
    if (log.size() > kLogLimit) log.pop_front();
    return result;
  }

  static std::vector<std::uint8_t> SenseBytes(Check c, int progress) {
    std::vector<std::uint8_t> s(18, 0);
    s[0] = 0x70;
    s[2] = c.key;
    s[7] = 10;
    s[12] = c.asc;
    s[13] = c.ascq;
    if (progress >= 0) {
      s[15] = 0x80;
      PutBe16(&s[16], std::uint32_t(progress));
    }
    return s;
  }

  Check Dispatch(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out, std::string* terr) {
    const std::uint8_t op = cdb[0];
    switch (op) {
      case kInquiry: return Inquiry(cdb, buffer, out);
      case kRequestSense: return RequestSense(cdb, buffer, out);
      case kGetConfiguration: return GetConfiguration(cdb, buffer, out);
      case kModeSense10: return ModeSense(cdb, buffer, out);
      case kModeSelect10: return ModeSelect(cdb, buffer, terr);
      case kStartStopUnit: return StartStop(cdb);
      case kPreventAllowMediumRemoval: prevent = (cdb[4] & 0x01) != 0; return kGood;
      case kSetCdSpeed: return SetSpeed(cdb);
      case kReadFormatCapacities: return ReadFormatCapacities(cdb, buffer, out);
      default: break;
    }
    static constexpr std::uint8_t kMediumCommands[] = {
        kTestUnitReady, kFormatUnit, kReadCapacity, kRead10, kWrite10, kSynchronizeCache, kReadTocPmaAtip,
        kReadDiscInformation, kReadTrackInformation, kReserveTrack, kCloseTrackSession, kBlank, kReadDvdStructure,
        kReadCd};
    if (std::find(std::begin(kMediumCommands), std::end(kMediumCommands), op) == std::end(kMediumCommands))
      return kInvalidCommand;
    const bool writes = op == kFormatUnit || op == kWrite10 || op == kReserveTrack || op == kCloseTrackSession ||
                        op == kBlank;
    if (writes && !state.identity.writer) return kInvalidCommand;
    if (!Loaded()) return NoMedium();
    if (not_ready > 0) {
      --not_ready;
      return kBecomingReady;
    }
    if (!Supported()) return kIncompatibleMedium;
    switch (op) {
      case kTestUnitReady: return kGood;
      case kFormatUnit: return FormatUnit(cdb, buffer, terr);
      case kReadCapacity: return ReadCapacity(buffer, out);
      case kRead10: return Read10(cdb, buffer, out, terr);
      case kWrite10: return Write10(cdb, buffer, terr);
      case kSynchronizeCache: return SynchronizeCache(cdb);
      case kReadTocPmaAtip: return ReadToc(cdb, buffer, out);
      case kReadDiscInformation: return DiscInformation(cdb, buffer, out);
      case kReadTrackInformation: return TrackInformation(cdb, buffer, out);
      case kReserveTrack: return ReserveTrack(cdb);
      case kCloseTrackSession: return CloseTrackSession(cdb);
      case kBlank: return Blank(cdb);
      case kReadDvdStructure: return ReadDvdStructure(cdb, buffer, out);
      case kReadCd: return ReadCd(cdb, buffer, out, terr);
    }
    return kInvalidCommand;
  }

  void StartOperation(Check sense) {
    busy = operation_length;
    busy_sense = sense;
  }

  // ---- identification -------------------------------------------------------

  Check Inquiry(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out) {
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

  Check RequestSense(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out) {
    if (cdb[1] & 0x01) return kInvalidField;  // descriptor format is not offered
    Check c = kGood;
    int progress = -1;
    if (in_progress) {
      c = busy_sense;
      progress = 65536 * (operation_length - busy) / (operation_length + 1);
    } else if (unit_attention) {
      unit_attention = false;
      c = kMediumChanged;
    } else if (!Loaded()) {
      c = NoMedium();
    } else if (state.medium->bg_format == 2) {
      progress = 65536 * (operation_length - bg_remaining) / (operation_length + 1);
    }
    *out = Send(SenseBytes(c, progress), cdb[4], buffer);
    return kGood;
  }

  // Features: code, whether the drive has it, whether it is current, body.
  void AddFeature(std::vector<std::uint8_t>& r, std::uint16_t code, bool current, std::vector<std::uint8_t> body,
                  std::uint8_t version = 0) {
    std::size_t at = r.size();
    r.resize(at + 4);
    PutBe16(&r[at], code);
    r[at + 2] = std::uint8_t(version << 2 | (code <= 3 ? 0x02 : 0) | (current ? 1 : 0));
    r[at + 3] = std::uint8_t(body.size());
    r.insert(r.end(), body.begin(), body.end());
  }

  bool Has(std::initializer_list<std::uint16_t> profiles) const {
    for (std::uint16_t p : state.identity.profiles)
      for (std::uint16_t q : profiles)
        if (p == q) return true;
    return false;
  }

  Check GetConfiguration(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out) {
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
    const std::initializer_list<std::uint16_t> dvds = {kProfileDvdRom, kProfileDvdR, kProfileDvdRam,
                                                       kProfileDvdRwRestricted, kProfileDvdRwSequential,
                                                       kProfileDvdRDlSequential, kProfileDvdPlusRw,
                                                       kProfileDvdPlusR, kProfileDvdPlusRwDl, kProfileDvdPlusRDl};
    const std::initializer_list<std::uint16_t> random = {kProfileDvdRam, kProfileDvdPlusRw, kProfileDvdPlusRwDl,
                                                         kProfileBdRe, kProfileDvdRwRestricted};
    const std::initializer_list<std::uint16_t> incremental = {kProfileCdR, kProfileCdRw, kProfileDvdR,
                                                              kProfileDvdRwSequential, kProfileDvdRDlSequential};
    const bool loaded = cur != 0;
    std::vector<Entry> features = {
        {kFeatureProfileList, true, true, profile_list},
        {kFeatureCore, true, true, {0, 0, 0, 2, 0x01, 0, 0, 0}},          // ATAPI, DBE
        {kFeatureRemovableMedium, true, true, {0x29, 0, 0, 0}},           // tray, eject, lock
        {kFeatureRandomReadable, true, loaded, {0, 0, 0x08, 0, 0, 1, 0, 0}},
        {kFeatureCdRead, Has(cds), is(cds), {0x00, 0, 0, 0}},
        {kFeatureDvdRead, Has(dvds), is(dvds), {}},
        {kFeatureRandomWritable, writer && Has(random), is(random), {0, 0, 0, 0, 0, 0, 0x08, 0, 0, 0x01, 0, 0}},
        {kFeatureIncrementalStreamingWritable, writer && Has(incremental), is(incremental), {0x01, 0x01, 0x01, 1, 16, 0, 0, 0}},
        {kFeatureFormattable, writer && Has(random), is(random), {0, 0, 0, 0}},
        {kFeatureRestrictedOverwrite, writer && Has({kProfileDvdRwRestricted}), is({kProfileDvdRwRestricted}), {}},
        {kFeatureDvdPlusRw, writer && Has({kProfileDvdPlusRw}), is({kProfileDvdPlusRw}), {0x01, 0x00, 0, 0}},
        {kFeatureDvdPlusR, Has({kProfileDvdPlusR}), is({kProfileDvdPlusR}), {std::uint8_t(writer ? 1 : 0), 0, 0, 0}},
        {kFeatureCdTrackAtOnce, writer && Has({kProfileCdR, kProfileCdRw}), is({kProfileCdR, kProfileCdRw}),
         {0x46, 0, 0, 0}},  // BUF, test write, CD-RW
        {kFeatureDvdMinusRWrite, writer && Has({kProfileDvdR, kProfileDvdRwSequential}),
         is({kProfileDvdR, kProfileDvdRwSequential, kProfileDvdRwRestricted}), {0x46, 0, 0, 0}},
    };
    std::vector<std::uint8_t> r(8, 0);
    PutBe16(&r[6], cur);
    for (const Entry& f : features) {
      if (!f.present) continue;
      if (rt == 2 ? f.code != start : f.code < start) continue;
      if (rt == 1 && !f.current) continue;
      AddFeature(r, f.code, f.current, f.body, f.code == kFeatureCore ? 1 : 0);
    }
    PutBe32(&r[0], std::uint32_t(r.size() - 4));
    *out = Send(r, GetBe16(cdb + 7), buffer);
    return kGood;
  }

  // ---- mode pages -----------------------------------------------------------

  std::vector<std::uint8_t> CapabilitiesPage() const {
    const auto& writes = SpeedTable(true);
    const std::size_t n = state.identity.writer ? writes.size() : 0;
    std::vector<std::uint8_t> p(32 + 4 * n, 0);
    p[0] = kPageCapabilities;
    p[1] = std::uint8_t(p.size() - 2);
    const bool dvd = Has({kProfileDvdRom, kProfileDvdR, kProfileDvdRwSequential, kProfileDvdPlusR});
    p[2] = std::uint8_t(0x03 | (dvd ? 0x38 : 0));  // CD-R, CD-RW, DVD-ROM, DVD-R, DVD-RAM read
    if (state.identity.writer) p[3] = std::uint8_t(0x07 | (dvd ? 0x10 : 0));
    p[4] = 0xF1;  // BUF, multisession, mode 2 forms, audio play
    p[5] = 0x03;  // CD-DA commands, accurate stream
    p[6] = 0x29 | (prevent ? 0x02 : 0);  // tray, eject, lock (and its state)
    const auto& reads = SpeedTable(false);
    PutBe16(&p[8], reads.empty() ? 0 : reads.back());
    PutBe16(&p[12], 2048);
    PutBe16(&p[14], read_speed);
    PutBe16(&p[18], writes.empty() ? 0 : writes.back());
    PutBe16(&p[20], write_speed);
    PutBe16(&p[28], write_speed);
    PutBe16(&p[30], std::uint32_t(n));
    for (std::size_t i = 0; i < n; ++i) PutBe16(&p[32 + 4 * i + 2], writes[n - 1 - i]);  // fastest first
    return p;
  }

  Check ModeSense(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out) {
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

  Check ModeSelect(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::string* terr) {
    if (strict && !(cdb[1] & 0x10)) return kInvalidField;  // page format required
    if (cdb[1] & 0x01) return kInvalidField;              // saved pages are not supported
    const std::size_t length = GetBe16(cdb + 7);
    if (length == 0) return kGood;
    if (buffer.size() < length) {
      *terr = "data buffer shorter than the parameter list length";
      return kGood;
    }
    const std::uint8_t* d = buffer.data();
    if (length < 10 || GetBe16(d + 6) != 0) return kInvalidParameter;  // no block descriptors
    const std::uint8_t code = d[8] & 0x3F;
    const std::size_t page_length = d[9];
    if (10 + page_length > length) return kInvalidParameter;
    if (code == kPageCapabilities) {
      std::vector<std::uint8_t> current = CapabilitiesPage();
      if (page_length + 2 != current.size() || !std::equal(current.begin() + 2, current.end(), d + 10))
        return kInvalidParameter;
      return kGood;
    }
    if (code != kPageWriteParameters || (page_length != 0x32 && page_length != 0x36)) return kInvalidParameter;
    std::array<std::uint8_t, 52> p{};
    std::memcpy(p.data(), d + 8, 52);
    p[0] = kPageWriteParameters;
    p[1] = 0x32;
    const std::uint16_t profile = state.medium && !state.tray_open ? state.medium->profile : 0;
    const int write_type = p[2] & 0x0F;
    const int block_type = p[4] & 0x0F;
    const bool test_write = (p[2] & 0x10) != 0;
    if ((p[3] >> 6) == 2) return kParameterValueInvalid;
    if (IsCd(profile) || profile == 0) {
      if (write_type > 3 || (block_type != 0 && block_type != 8)) return kParameterValueInvalid;
      if ((p[3] & 0x20) && GetBe32(&p[10]) == 0) return kParameterValueInvalid;  // fixed packets of no size
    } else if (IsDvdMinus(profile)) {
      if ((write_type != 0 && write_type != 2 && !(write_type == 4 && profile == kProfileDvdRDlSequential)) ||
          block_type != 8)
        return kParameterValueInvalid;
    }
    if (test_write && profile != 0 && !SupportsTestWrite(profile)) return kParameterValueInvalid;
    const bool was_test = TestWrite();
    page05 = p;
    if (TestWrite() != was_test || !TestWrite()) simulation.reset();
    if (TestWrite() && !simulation && state.medium) simulation = *state.medium;
    return kGood;
  }

  Check SetSpeed(const std::uint8_t* cdb) {
    auto pick = [](const std::vector<std::uint32_t>& table, std::uint32_t request) -> std::uint32_t {
      if (table.empty()) return 0;
      if (request == 0xFFFF) return table.back();
      std::uint32_t best = table.front();
      for (std::uint32_t s : table)
        if (s <= request) best = std::max(best, s);
      return best;
    };
    read_speed = pick(SpeedTable(false), GetBe16(cdb + 2));
    if (state.identity.writer) write_speed = pick(SpeedTable(true), GetBe16(cdb + 4));
    return kGood;
  }

  Check StartStop(const std::uint8_t* cdb) {
    if (cdb[4] & 0xF0) return kGood;  // power conditions: nothing to do
    const bool load_eject = cdb[4] & 0x02, start = cdb[4] & 0x01;
    if (!load_eject) return start && !state.medium ? NoMedium() : kGood;
    if (!start) {
      if (prevent) return kRemovalPrevented;
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

  // ---- medium information ---------------------------------------------------

  Check ReadCapacity(std::span<std::uint8_t> buffer, std::size_t* out) {
    const Medium& m = Active();
    std::uint32_t end = ClassOf(m) == MediumClass::kSequential ? RecordedEnd(m) : m.capacity;
    if (ClassOf(m) == MediumClass::kRandom && !m.formatted) end = 0;
    std::vector<std::uint8_t> r(8, 0);
    PutBe32(&r[0], end ? end - 1 : 0);
    PutBe32(&r[4], 2048);
    *out = Send(r, 8, buffer);
    return kGood;
  }

  Check DiscInformation(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out) {
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

  std::uint32_t TrackSize(const Medium& m, const Track& t) const {
    return t.state == TrackState::kOpen ? (m.capacity > t.start ? m.capacity - t.start : 0) : t.size;
  }

  Check TrackInformation(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out) {
    const Medium& m = Active();
    const int type = cdb[1] & 0x03;
    const std::uint32_t value = GetBe32(cdb + 2);
    if (ClassOf(m) == MediumClass::kRandom && !m.formatted) return kNotFormatted;
    const Track* found = nullptr;
    std::vector<std::uint8_t> r(48, 0);
    PutBe16(&r[0], 46);
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
        if (t.session == value) { found = &t; break; }
      if (!found) return kInvalidField;
    } else {
      return kInvalidField;
    }
    const Track& t = *found;
    const bool sequential = ClassOf(m) == MediumClass::kSequential;
    const bool incremental = IsDvdMinus(m.profile) && !t.dao && sequential;
    const std::uint32_t size = TrackSize(m, t);
    const bool writable = sequential && !m.finalized && !t.damaged &&
                          (t.state == TrackState::kOpen || (t.state == TrackState::kReserved && t.written < t.size));
    r[2] = std::uint8_t(t.number);
    r[3] = std::uint8_t(t.session);
    r[5] = std::uint8_t((t.damaged ? 0x20 : 0) | (IsCd(m.profile) ? t.control : (incremental ? 0x05 : 0x04)));
    const bool blank = t.written == 0 && t.state != TrackState::kComplete;
    r[6] = std::uint8_t((t.state == TrackState::kReserved ? 0x80 : 0) | (blank ? 0x40 : 0) |
                        (incremental ? 0x30 : 0) | (blank || t.audio ? 0x0F : 0x01));
    r[7] = std::uint8_t((t.written > 0 && sequential ? 0x02 : 0) | (writable ? 0x01 : 0));
    PutBe32(&r[8], t.start);
    if (writable) PutBe32(&r[12], t.next_writable());
    if (writable) PutBe32(&r[16], size - t.written);
    if (incremental) PutBe32(&r[20], 16);
    PutBe32(&r[24], size);
    if (t.written > 0) PutBe32(&r[28], t.start + t.written - 1);
    *out = Send(r, GetBe16(cdb + 7), buffer);
    return kGood;
  }

  Check ReadToc(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out) {
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
    if (format != 0 && format != 1) return kInvalidField;
    // Tracks in the table: those of closed sessions on CD, all recorded ones elsewhere.
    std::vector<const Track*> listed;
    const bool finalized = DiscStatus(m) >= 2;
    for (const Track& t : m.tracks) {
      bool closed = finalized || t.session < SessionCount(m);
      if (IsCd(m.profile) ? closed : (t.written > 0 || (closed && t.state == TrackState::kComplete)))
        listed.push_back(&t);
    }
    if (listed.empty()) return kInvalidField;
    auto end_of = [&](const Track* t) { return t->start + (t->state == TrackState::kComplete ? t->size : t->written); };
    auto descriptor = [&](std::uint8_t track, std::uint8_t control, std::int32_t lba) {
      std::size_t at = r.size();
      r.resize(at + 8, 0);
      r[at + 1] = std::uint8_t(0x10 | (IsCd(m.profile) ? control : 0x04));
      r[at + 2] = track;
      PutAddress(&r[at + 4], lba, msf);
    };
    r[2] = std::uint8_t(listed.front()->number);
    r[3] = std::uint8_t(listed.back()->number);
    if (format == 0) {
      if (number > listed.back()->number && number != 0xAA) return kInvalidField;
      for (const Track* t : listed)
        if (t->number >= number && number != 0xAA) descriptor(std::uint8_t(t->number), t->control, std::int32_t(t->start));
      descriptor(0xAA, listed.back()->control, std::int32_t(end_of(listed.back())));
    } else {
      // The last complete session (an open one only counts when none is).
      std::uint32_t session = finalized ? SessionCount(m) : SessionCount(m) - 1;
      if (session == 0) session = 1;
      const Track* first = listed.front();
      for (const Track* t : listed)
        if (t->session == session) { first = t; break; }
      r[2] = 1;
      r[3] = std::uint8_t(first->session);
      descriptor(std::uint8_t(first->number), first->control, std::int32_t(first->start));
    }
    PutBe16(&r[0], std::uint32_t(r.size() - 2));
    *out = Send(r, GetBe16(cdb + 7), buffer);
    return kGood;
  }

  Check ReadDvdStructure(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out) {
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
        case kProfileDvdRam: book = 0x1; break;
        case kProfileDvdR: case kProfileDvdRDlSequential: book = 0x2; break;
        case kProfileDvdRwRestricted: case kProfileDvdRwSequential: book = 0x3; break;
        case kProfileDvdPlusRw: case kProfileDvdPlusRwDl: book = 0x9; break;
        case kProfileDvdPlusR: case kProfileDvdPlusRDl: book = 0xA; break;
      }
      r[4] = std::uint8_t(book << 4 | 0x02);
      r[5] = 0x0F;  // 120 mm, no maximum rate
      const bool dual = m.profile == kProfileDvdPlusRDl || m.profile == kProfileDvdRDlSequential ||
                        m.profile == kProfileDvdPlusRwDl;
      r[6] = std::uint8_t((dual ? 0x20 : 0) | (IsErasable(m.profile) ? 0x04 : m.profile == kProfileDvdRom ? 0x01 : 0x02));
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

  Check ReadFormatCapacities(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out) {
    std::vector<std::uint8_t> r(12, 0);
    auto add = [&](std::uint32_t blocks, std::uint8_t type, std::uint32_t param) {
      std::size_t at = r.size();
      r.resize(at + 8, 0);
      PutBe32(&r[at], blocks);
      r[at + 4] = std::uint8_t(type << 2);
      r[at + 5] = std::uint8_t(param >> 16), r[at + 6] = std::uint8_t(param >> 8), r[at + 7] = std::uint8_t(param);
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
        if (m.profile == kProfileBdRe) { add(m.capacity, 0x00, 0); add(m.capacity, 0x30, 0); }
        if (m.profile == kProfileDvdRam) add(m.capacity, 0x00, 0);
      }
    }
    r[3] = std::uint8_t(r.size() - 4);
    *out = Send(r, GetBe16(cdb + 7), buffer);
    return kGood;
  }

  // ---- recording ------------------------------------------------------------

  Check Writable(const Medium& m) const {
    if (m.write_protected) return kWriteProtected;
    if (ClassOf(m) == MediumClass::kRom || IsHdDvd(m.profile)) return kCannotWriteFormat;
    return kGood;
  }

  Check Write10(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::string* terr) {
    const std::uint32_t lba = GetBe32(cdb + 2);
    const std::uint32_t count = GetBe16(cdb + 7);
    Medium& m = Active();
    if (Check c = Writable(m); c.failed()) return c;
    const bool cd = IsCd(m.profile);
    const bool audio = cd && (page05[4] & 0x0F) == 0;
    const std::size_t block = audio ? 2352 : 2048;
    if (buffer.size() < count * block) {
      *terr = "data buffer shorter than the transfer length";
      return kGood;
    }
    if (count == 0) return kGood;
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
    if (cd && write_type >= 2) return kSequenceError;  // session at once needs a cue sheet
    Track* target = nullptr;
    for (Track& t : m.tracks)
      if ((t.state == TrackState::kOpen || t.state == TrackState::kReserved) && !m.finalized) {
        if (t.next_writable() == lba) target = &t;
      }
    if (IsDvdMinus(m.profile) && write_type == 2 && (!target || !target->dao)) return kSequenceError;
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
    if (target->state == TrackState::kOpen ? end > m.capacity : end > std::uint64_t(target->start) + target->size)
      return target->state == TrackState::kOpen ? kOutOfRange : kInvalidWriteAddress;
    if (cd) {
      const bool data_mode = (page05[3] & 0x04) != 0;
      if (data_mode == audio || (target->written > 0 && target->audio != audio)) return kIllegalModeForTrack;
    }
    if (!simulation && !Record(lba, count, buffer.data(), audio)) return kWriteError;
    target->audio = audio;
    if (target->written == 0) target->control = cd ? std::uint8_t(page05[3] & 0x0F) : 4;
    target->written += count;
    if (target->state == TrackState::kReserved && target->written == target->size && !target->dao)
      target->state = TrackState::kComplete;
    dirty = dirty || !simulation;
    return kGood;
  }

  Check ReserveTrack(const std::uint8_t* cdb) {
    Medium& m = Active();
    if (Check c = Writable(m); c.failed()) return c;
    if (ClassOf(m) != MediumClass::kSequential) return kSequenceError;
    if (cdb[1] & 0x01) return kInvalidField;  // reservation by address is not offered
    std::uint32_t size = GetBe32(cdb + 5);
    if (size == 0) return kInvalidField;
    Track* open = OpenTrack(m);
    if (!open || open->written > 0) return kSequenceError;
    if (!IsCd(m.profile)) size = (size + 15) / 16 * 16;
    if (std::uint64_t(open->start) + size > m.capacity) return kOutOfRange;
    const bool dao = IsDvdMinus(m.profile) && (page05[2] & 0x0F) == 2;
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

  // Completes the tracks of the open session (an incomplete track is closed
  // on the way). A session with nothing recorded cannot be closed, nor one
  // whose reserved track is still being filled.
  Check CloseOpenSession(Medium& m, bool allow_empty) {
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
      if (t.state == TrackState::kOpen) t.size = t.written;
      t.state = TrackState::kComplete;
    }
    return kGood;
  }

  Check CloseTrackSession(const std::uint8_t* cdb) {
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
        t->size = t->written;
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

  Check SynchronizeCache(const std::uint8_t* cdb) {
    Medium& m = Active();
    for (Track& t : m.tracks) {
      if (t.dao && t.state == TrackState::kReserved && t.written == t.size) {
        t.state = TrackState::kComplete;
        m.finalized = true;
        dirty = dirty || !simulation;
        if (cdb[1] & 0x02) StartOperation(kLongWriteInProgress);
      }
    }
    return kGood;
  }

  // Type 5 reopens the last closed session for more tracks; type 6 erases
  // the last session that holds data (the open one, else the last closed).
  Check BlankLastSession(Medium& m, bool erase) {
    const std::uint32_t open_session = SessionCount(m);
    const bool open_has_data = !m.finalized && SessionHasData(m, open_session);
    if (!erase) {
      if (open_has_data || (!m.finalized && open_session == 1)) return kSequenceError;
      if (!m.finalized) m.tracks.pop_back();  // the empty open session
    } else {
      if (m.tracks.empty() || (!m.finalized && !open_has_data && open_session == 1)) return kGood;  // blank already
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

  Check Blank(const std::uint8_t* cdb) {
    Medium& m = *state.medium;
    if (m.profile != kProfileCdRw && m.profile != kProfileDvdRwSequential && m.profile != kProfileDvdRwRestricted)
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

  Check FormatUnit(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::string* terr) {
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

  // ---- reading --------------------------------------------------------------

  // The track holding recorded sector lba, or why it cannot be read.
  ReadBlock Locate(const Medium& m, std::uint32_t lba) const {
    static const Track kWholeDisc;
    ReadBlock b;
    if (ClassOf(m) == MediumClass::kRandom) {
      if (!m.formatted) b.check = kNotFormatted;
      else if (lba >= m.capacity) b.check = kOutOfRange;
      else b.track = &kWholeDisc;
      return b;
    }
    for (const Track& t : m.tracks)
      if (lba >= t.start && lba < t.start + t.written) b.track = &t;
    if (!b.track) b.check = lba >= RecordedEnd(m) ? kOutOfRange : kUnrecoveredRead;
    return b;
  }

  Check Read10(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out, std::string* terr) {
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

  Check ReadCd(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out, std::string* terr) {
    const Medium& m = *state.medium;
    if (!IsCd(m.profile)) return kCannotReadFormat;
    const int expected = (cdb[1] >> 2) & 0x07;
    const std::uint32_t lba = GetBe32(cdb + 2), count = GetBe24(cdb + 6);
    const std::uint8_t flags = cdb[9];
    if (cdb[10] & 0x07) return kInvalidField;  // no sub-channel data
    if (expected > 5) return kInvalidField;
    if (count == 0 || (flags & 0xFE) == 0) return count == 0 ? kGood : Locate(m, lba).check;  // no bytes asked for
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
};

// ---- EmulatedDrive -----------------------------------------------------------

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
  impl->device = {Padded(id.vendor, 8), Padded(id.product, 16), Padded(id.revision, 4), id.address, folder.string()};
  impl->ResetWriteParameters();
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

ScsiResult EmulatedDrive::exec(std::span<const std::uint8_t> cdb, DataDirection, std::span<std::uint8_t> buffer,
                               std::chrono::milliseconds) {
  std::lock_guard lock(impl_->mutex);
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

bool EmulatedDrive::OpenTray() {
  std::lock_guard lock(impl_->mutex);
  if (impl_->prevent) return false;
  if (!impl_->state.tray_open) {
    impl_->state.tray_open = true;
    impl_->MediumChanged();
    impl_->Save(&impl_->save_error);
  }
  return true;
}

void EmulatedDrive::CloseTray() {
  std::lock_guard lock(impl_->mutex);
  if (!impl_->state.tray_open) return;
  impl_->state.tray_open = false;
  impl_->MediumChanged();
  impl_->unit_attention = impl_->state.medium.has_value();
  impl_->Save(&impl_->save_error);
}

bool EmulatedDrive::InsertMedium(const MediumSpec& spec, std::string* error) {
  std::lock_guard lock(impl_->mutex);
  Impl& d = *impl_;
  if (!CleanText(spec.manufacturer_id) || !CleanText(spec.media_type_id) || spec.capacity >= 0x7FFFFFFF) {
    *error = "bad medium description";
    return false;
  }
  d.state.medium = MakeMedium(spec, 0);  // the profile decides the sector size of the content
  std::uint32_t sectors = 0;
  if (!d.LoadContent(spec, &sectors, error)) {
    d.state.medium.reset();
    d.MediumChanged();
    d.Save(&d.save_error);
    return false;
  }
  d.state.medium = MakeMedium(spec, sectors);
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
  std::lock_guard lock(impl_->mutex);
  impl_->state.medium.reset();
  impl_->MediumChanged();
  impl_->Save(&impl_->save_error);
}

void EmulatedDrive::BecomeNotReady(int commands) {
  std::lock_guard lock(impl_->mutex);
  impl_->not_ready = std::max(0, commands);
}

void EmulatedDrive::SetOperationLength(int commands) {
  std::lock_guard lock(impl_->mutex);
  impl_->operation_length = std::max(1, commands);
}

void EmulatedDrive::InjectFault(const InjectedFault& fault) {
  std::lock_guard lock(impl_->mutex);
  if (fault.count > 0) impl_->faults.push_back(fault);
}

void EmulatedDrive::ArmUnderrun() {
  std::lock_guard lock(impl_->mutex);
  impl_->underrun = true;
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
  std::lock_guard lock(impl_->mutex);
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
