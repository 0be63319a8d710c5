// emudrive_shim: a test-only LD_PRELOAD library that shows an emulated drive
// folder to an unmodified program as a Linux optical drive, so that programs
// written for real drives can judge the emulator.
//
//   EMUDRIVE_SHIM_DEVICE=/dev/sr7 EMUDRIVE_SHIM_FOLDER=DIR LD_PRELOAD=.../libemudrive_shim.so PROGRAM ...
//
// The device path opens, stats as a block device of the SCSI CD-ROM major and
// answers SG_IO, CDROM_SEND_PACKET and the sg, scsi and cdrom queries such
// programs ask. Every command block goes to the emulated drive as it came,
// without the engine's transport policy. EMUDRIVE_SHIM_LOG=FILE appends one
// line per command and per ioctl: what the program asked and the answer.
// Never installed; built without sanitizers, as the programs it is loaded
// into are.
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <linux/fs.h>
#include <mntent.h>
#include <scsi/scsi.h>
#include <scsi/scsi_ioctl.h>
#include <scsi/sg.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "platform/emulated_drive.h"

namespace {

constexpr unsigned kScsiCdromMajor = 11;

struct OpenFile {
  std::uint64_t position = 0;
};

struct Shim {
  std::recursive_mutex mutex;  // the drive's own file calls come back through the shim
  std::string device, folder, log_path;
  unsigned minor = 0;
  std::unique_ptr<platform::EmulatedDrive> drive;
  std::map<int, OpenFile> files;

  Shim() {
    const char* d = std::getenv("EMUDRIVE_SHIM_DEVICE");
    const char* f = std::getenv("EMUDRIVE_SHIM_FOLDER");
    const char* l = std::getenv("EMUDRIVE_SHIM_LOG");
    if (d && f) device = d, folder = f;
    if (l) log_path = l;
    for (char c : device)
      if (c >= '0' && c <= '9') minor = minor * 10 + unsigned(c - '0');
  }
};

Shim& TheShim() {
  static Shim* shim = new Shim;  // never destroyed: programs call close() from their own destructors
  return *shim;
}

template <typename F>
F Real(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

bool IsOursOrInherited(int fd);

// An empty path (AT_EMPTY_PATH: the call is about dir itself). The C library
// declares the path of the *at calls never null, but a caller may still pass
// one.
bool IsEmptyPath(const char* path) { return path != nullptr && *path == 0; }

// The device path, or /dev/fd/N of a descriptor of the device (which a
// program hands to a program it runs to read the disc).
bool IsDevice(const char* path) {
  const Shim& s = TheShim();
  if (!path || s.device.empty()) return false;
  if (s.device == path) return true;
  const char* n = std::strncmp(path, "/dev/fd/", 8) == 0          ? path + 8
                  : std::strncmp(path, "/proc/self/fd/", 14) == 0 ? path + 14
                                                                  : nullptr;
  if (!n || !*n || std::strspn(n, "0123456789") != std::strlen(n)) return false;
  return IsOursOrInherited(std::atoi(n));
}

// The name of the anonymous file behind each descriptor of the device. A
// program that hands such a descriptor to a program it runs (as one that
// reloads the tray through a copy of itself does) is recognised by it there.
constexpr char kMarker[] = "emudrive-shim-device";

bool IsOurs(int fd) {
  Shim& s = TheShim();
  std::lock_guard lock(s.mutex);
  return s.files.count(fd) != 0;
}

// IsOurs, also for a descriptor inherited from the program that opened it,
// or one that a program it runs opened again through /dev/fd/N with calls
// the shim does not see (fopen).
bool IsOursOrInherited(int fd) {
  if (IsOurs(fd)) return true;
  if (TheShim().device.empty() || fd < 0) return false;
  char link[64], target[256];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = ::readlink(link, target, sizeof target - 1);
  if (n <= 0) return false;
  target[n] = 0;
  if (!std::strstr(target, kMarker)) return false;
  std::lock_guard lock(TheShim().mutex);
  TheShim().files[fd] = {};
  return true;
}

void Log(const char* format, ...) {
  const Shim& s = TheShim();
  if (s.log_path.empty()) return;
  using OpenFn = int (*)(const char*, int, ...);
  static const OpenFn real_open = Real<OpenFn>("open");
  const int fd = real_open(s.log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  char line[1024];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(line, sizeof line - 1, format, args);
  va_end(args);
  n = std::clamp(n, 0, int(sizeof line) - 2);
  line[n++] = '\n';
  if (::write(fd, line, std::size_t(n)) < 0) {
  }
  ::close(fd);
}

// The drive, opened on first use; null when the folder holds none.
platform::EmulatedDrive* Drive() {
  Shim& s = TheShim();
  if (!s.drive) {
    std::string error;
    s.drive = platform::EmulatedDrive::Open(s.folder, &error);
    if (!s.drive) Log("cannot open the emulated drive: %s", error.c_str());
  }
  return s.drive.get();
}

// Runs one command block; the sense bytes (fixed format) go to sense.
platform::ScsiResult Run(const std::uint8_t* cdb, std::size_t length, platform::DataDirection direction,
                         std::uint8_t* data, std::size_t bytes, std::uint8_t (&sense)[18]) {
  Shim& s = TheShim();
  std::memset(sense, 0, sizeof sense);
  platform::ScsiResult r;
  {
    std::lock_guard lock(s.mutex);
    platform::EmulatedDrive* drive = Drive();
    if (!drive) {
      r.transport = platform::ScsiResult::Transport::kError;
      r.transport_message = "no emulated drive";
    } else {
      r = drive->exec(std::span<const std::uint8_t>(cdb, length), direction,
                      std::span<std::uint8_t>(data, bytes), std::chrono::milliseconds(60000));
    }
  }
  if (r.status == 2) {
    sense[0] = 0x70;
    sense[2] = r.sense.key;
    sense[7] = 10;
    sense[12] = r.sense.asc;
    sense[13] = r.sense.ascq;
  }
  if (!s.log_path.empty()) {
    std::string hex;
    char b[4];
    for (std::size_t i = 0; i < length; ++i) std::snprintf(b, sizeof b, "%02X ", cdb[i]), hex += b;
    if (direction == platform::DataDirection::kOut && cdb[0] != 0x2A) {  // parameters, not sectors
      hex += "data ";
      for (std::size_t i = 0; i < std::min<std::size_t>(bytes, 64); ++i)
        std::snprintf(b, sizeof b, "%02X", data[i]), hex += b;
      hex += " ";
    }
    Log("cdb %s-> %s %02X/%02X/%02X moved %zu of %zu", hex.c_str(),
        r.transport != platform::ScsiResult::Transport::kOk ? "transport error"
        : r.status                                          ? "check"
                                                            : "good",
        r.sense.key, r.sense.asc, r.sense.ascq, r.transferred, bytes);
  }
  return r;
}

int SgIo(sg_io_hdr_t* h) {
  if (!h || h->interface_id != 'S' || !h->cmdp || h->cmd_len == 0 || h->cmd_len > 16 || h->iovec_count) {
    errno = EINVAL;
    return -1;
  }
  platform::DataDirection direction = platform::DataDirection::kNone;
  if (h->dxfer_direction == SG_DXFER_FROM_DEV || h->dxfer_direction == SG_DXFER_TO_FROM_DEV)
    direction = platform::DataDirection::kIn;
  else if (h->dxfer_direction == SG_DXFER_TO_DEV)
    direction = platform::DataDirection::kOut;
  const std::size_t bytes = direction == platform::DataDirection::kNone ? 0 : h->dxfer_len;
  std::uint8_t sense[18];
  platform::ScsiResult r =
      Run(h->cmdp, h->cmd_len, direction, static_cast<std::uint8_t*>(h->dxferp), bytes, sense);
  h->status = r.status;
  h->masked_status = std::uint8_t(r.status >> 1);
  h->msg_status = 0;
  h->host_status = r.transport == platform::ScsiResult::Transport::kOk ? 0 : 0x07;  // DID_ERROR
  h->driver_status = r.status ? 0x08 : 0;                                           // DRIVER_SENSE
  h->sb_len_wr = 0;
  if (r.status == 2 && h->sbp && h->mx_sb_len) {
    h->sb_len_wr = std::uint8_t(std::min<std::size_t>(h->mx_sb_len, sizeof sense));
    std::memcpy(h->sbp, sense, h->sb_len_wr);
  }
  h->resid = direction == platform::DataDirection::kIn ? int(bytes - std::min(bytes, r.transferred)) : 0;
  h->duration = 1;
  h->info = (r.status || h->host_status) ? SG_INFO_CHECK : SG_INFO_OK;
  return 0;
}

int SendPacket(cdrom_generic_command* c) {
  platform::DataDirection direction = c->data_direction == CGC_DATA_READ    ? platform::DataDirection::kIn
                                      : c->data_direction == CGC_DATA_WRITE ? platform::DataDirection::kOut
                                                                            : platform::DataDirection::kNone;
  const std::size_t bytes = direction == platform::DataDirection::kNone ? 0 : c->buflen;
  std::uint8_t sense[18];
  platform::ScsiResult r = Run(c->cmd, CDROM_PACKET_SIZE, direction, c->buffer, bytes, sense);
  c->stat = r.status;
  if (c->sense) std::memcpy(c->sense, sense, std::min(sizeof sense, sizeof *c->sense));
  if (!r.ok()) {
    errno = EIO;
    return -1;
  }
  if (direction == platform::DataDirection::kIn) c->buflen = unsigned(r.transferred);
  return 0;
}

// A command with a reply, for the cdrom ioctls built on MMC commands.
platform::ScsiResult Query(std::vector<std::uint8_t> cdb, std::vector<std::uint8_t>* reply,
                           std::size_t size) {
  reply->assign(size, 0);
  std::uint8_t sense[18];
  platform::ScsiResult r =
      Run(cdb.data(), cdb.size(), size ? platform::DataDirection::kIn : platform::DataDirection::kNone,
          reply->data(), size, sense);
  if (r.status == 2 && r.sense.key == 6)  // the kernel retries a unit attention
    r = Run(cdb.data(), cdb.size(), size ? platform::DataDirection::kIn : platform::DataDirection::kNone,
            reply->data(), size, sense);
  reply->resize(r.ok() ? r.transferred : 0);
  return r;
}

platform::ScsiAddress Address() {
  std::lock_guard lock(TheShim().mutex);
  return Drive() ? Drive()->identity().address : platform::ScsiAddress{};
}

int Fail(int error) {
  errno = error;
  return -1;
}

int DriveStatus() {
  std::vector<std::uint8_t> none;
  platform::ScsiResult r = Query({0x00, 0, 0, 0, 0, 0}, &none, 0);
  if (r.ok()) return CDS_DISC_OK;
  if (r.sense.asc == 0x3A) return r.sense.ascq == 0x02 ? CDS_TRAY_OPEN : CDS_NO_DISC;
  return CDS_DRIVE_NOT_READY;
}

// The TOC entry of a track (0xAA: the lead-out), as READ TOC format 0 gives it.
bool TocEntry(std::uint8_t track, bool msf, std::uint8_t* control, std::uint8_t* address) {
  std::vector<std::uint8_t> toc;
  if (!Query({0x43, std::uint8_t(msf ? 0x02 : 0), 0, 0, 0, 0, track, 0x03, 0x24, 0}, &toc, 804).ok() ||
      toc.size() < 12)
    return false;
  for (std::size_t at = 4; at + 8 <= toc.size(); at += 8)
    if (toc[at + 2] == track) {
      *control = toc[at + 1];
      std::memcpy(address, &toc[at + 4], 4);
      return true;
    }
  return false;
}

int CdromIoctl(int fd, unsigned long request, void* arg) {
  std::vector<std::uint8_t> reply;
  switch (request) {
    case SG_IO:
      return SgIo(static_cast<sg_io_hdr_t*>(arg));
    case CDROM_SEND_PACKET:
      return SendPacket(static_cast<cdrom_generic_command*>(arg));
    case SG_GET_VERSION_NUM:
      *static_cast<int*>(arg) = 30527;
      return 0;
    case SG_GET_TIMEOUT:
      return 60 * 100;
    case SG_SET_TIMEOUT:
    case SG_SET_RESERVED_SIZE:
    case SG_SET_COMMAND_Q:
    case SG_SET_FORCE_PACK_ID:
      return 0;
    case SG_GET_RESERVED_SIZE:
      *static_cast<int*>(arg) = 1 << 20;
      return 0;
    case SG_EMULATED_HOST:
      *static_cast<int*>(arg) = 0;
      return 0;
    case SCSI_IOCTL_GET_IDLUN: {
      const platform::ScsiAddress a = Address();
      int* idlun = static_cast<int*>(arg);
      idlun[0] = (a.target & 0xFF) | (a.lun & 0xFF) << 8 | (a.channel & 0xFF) << 16 | (a.host & 0xFF) << 24;
      idlun[1] = a.host + 1;
      return 0;
    }
    case SCSI_IOCTL_GET_BUS_NUMBER:
      *static_cast<int*>(arg) = Address().host;
      return 0;
    case CDROM_GET_CAPABILITY:
      return CDC_CLOSE_TRAY | CDC_OPEN_TRAY | CDC_LOCK | CDC_SELECT_SPEED | CDC_MULTI_SESSION |
             CDC_MEDIA_CHANGED | CDC_PLAY_AUDIO | CDC_DRIVE_STATUS | CDC_GENERIC_PACKET | CDC_CD_R |
             CDC_CD_RW | CDC_DVD | CDC_DVD_R | CDC_DVD_RAM;
    case CDROM_DRIVE_STATUS:
      return DriveStatus();
    case CDROM_MEDIA_CHANGED:
      return 0;
    case CDROM_CLEAR_OPTIONS:
    case CDROM_SET_OPTIONS:
      return 0;
    case CDROM_LOCKDOOR:
      return Query({0x1E, 0, 0, 0, std::uint8_t(reinterpret_cast<unsigned long>(arg) ? 1 : 0), 0}, &reply, 0)
                     .ok()
                 ? 0
                 : Fail(EIO);
    case CDROMEJECT:
      return Query({0x1B, 0, 0, 0, 0x02, 0}, &reply, 0).ok() ? 0 : Fail(EBUSY);
    case CDROMCLOSETRAY:
      return Query({0x1B, 0, 0, 0, 0x03, 0}, &reply, 0).ok() ? 0 : Fail(EIO);
    case CDROM_SELECT_SPEED: {
      const unsigned long speed = reinterpret_cast<unsigned long>(arg);
      const std::uint16_t kbps = speed ? std::uint16_t(std::min(0xFFFFul, speed * 176)) : 0xFFFF;
      return Query({0xBB, 0, std::uint8_t(kbps >> 8), std::uint8_t(kbps), 0xFF, 0xFF, 0, 0, 0, 0, 0, 0},
                   &reply, 0)
                     .ok()
                 ? 0
                 : Fail(EIO);
    }
    case CDROMREADTOCHDR: {
      if (!Query({0x43, 0, 0, 0, 0, 0, 0, 0, 4, 0}, &reply, 4).ok() || reply.size() < 4) return Fail(EIO);
      auto* h = static_cast<cdrom_tochdr*>(arg);
      h->cdth_trk0 = reply[2];
      h->cdth_trk1 = reply[3];
      return 0;
    }
    case CDROMREADTOCENTRY: {
      auto* e = static_cast<cdrom_tocentry*>(arg);
      std::uint8_t control = 0, address[4];
      const bool msf = e->cdte_format == CDROM_MSF;
      if (!TocEntry(e->cdte_track, msf, &control, address)) return Fail(EIO);
      e->cdte_adr = control >> 4;
      e->cdte_ctrl = control & 0x0F;
      if (msf) {
        e->cdte_addr.msf.minute = address[1];
        e->cdte_addr.msf.second = address[2];
        e->cdte_addr.msf.frame = address[3];
      } else {
        e->cdte_addr.lba = int(platform::GetBe32(address));
      }
      e->cdte_datamode = (control & 0x04) ? 1 : 0;
      return 0;
    }
    case CDROMMULTISESSION: {
      auto* m = static_cast<cdrom_multisession*>(arg);
      const bool msf = m->addr_format == CDROM_MSF;
      if (!Query({0x43, std::uint8_t(msf ? 0x02 : 0), 0x01, 0, 0, 0, 0, 0, 12, 0}, &reply, 12).ok() ||
          reply.size() < 12)
        return Fail(EIO);
      m->xa_flag = reply[3] > 1 ? 1 : 0;
      if (msf) {
        m->addr.msf.minute = reply[9];
        m->addr.msf.second = reply[10];
        m->addr.msf.frame = reply[11];
      } else {
        m->addr.lba = int(platform::GetBe32(&reply[8]));
      }
      return 0;
    }
    case CDROM_DISC_STATUS: {
      const int status = DriveStatus();
      if (status != CDS_DISC_OK) return status;
      if (!Query({0x43, 0, 0, 0, 0, 0, 0, 0x03, 0x24, 0}, &reply, 804).ok() || reply.size() < 12)
        return CDS_NO_INFO;
      bool audio = false, data = false;
      for (std::size_t at = 4; at + 8 <= reply.size(); at += 8)
        if (reply[at + 2] != 0xAA) ((reply[at + 1] & 0x04) ? data : audio) = true;
      return audio && data ? CDS_MIXED : data ? CDS_DATA_1 : audio ? CDS_AUDIO : CDS_NO_INFO;
    }
    case BLKSSZGET:
      *static_cast<int*>(arg) = 2048;
      return 0;
    case BLKGETSIZE64:
    case BLKGETSIZE: {
      std::uint64_t bytes = 0;
      if (Query({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, &reply, 8).ok() && reply.size() == 8)
        bytes = (std::uint64_t(platform::GetBe32(reply.data())) + 1) * 2048;
      if (request == BLKGETSIZE64)
        *static_cast<std::uint64_t*>(arg) = bytes;
      else
        *static_cast<unsigned long*>(arg) = bytes / 512;
      return 0;
    }
    case BLKFLSBUF:
    case BLKRRPART:
      return 0;
    default:
      (void)fd;
      Log("ioctl %#lx not answered", request);
      return Fail(ENOTTY);
  }
}

void FillStat(struct stat* st) {
  std::memset(st, 0, sizeof *st);
  st->st_mode = S_IFBLK | 0660;
  st->st_rdev = makedev(kScsiCdromMajor, TheShim().minor);
  st->st_dev = makedev(0, 5);
  st->st_ino = 0x5EED0000u + TheShim().minor;
  st->st_nlink = 1;
  st->st_blksize = 2048;
}

int OpenDevice(int flags) {
  {
    std::lock_guard lock(TheShim().mutex);
    if (!Drive()) return Fail(ENXIO);
  }
  if (!(flags & O_NONBLOCK) && DriveStatus() != CDS_DISC_OK) return Fail(ENOMEDIUM);
  const int fd = ::memfd_create(kMarker, (flags & O_CLOEXEC) ? MFD_CLOEXEC : 0);
  if (fd < 0) return -1;
  std::lock_guard lock(TheShim().mutex);
  TheShim().files[fd] = {};
  Log("open %s flags %#x -> fd %d", TheShim().device.c_str(), flags, fd);
  return fd;
}

// Reads whole 2048-byte sectors of the medium at the file position.
ssize_t ReadAt(std::uint64_t offset, void* buffer, std::size_t bytes) {
  if (offset % 2048 || bytes % 2048) return Fail(EINVAL);
  std::uint8_t* out = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < bytes) {
    const std::uint32_t lba = std::uint32_t((offset + done) / 2048);
    const std::uint16_t count = std::uint16_t(std::min<std::size_t>((bytes - done) / 2048, 32));
    std::uint8_t cdb[10] = {0x28,
                            0,
                            std::uint8_t(lba >> 24),
                            std::uint8_t(lba >> 16),
                            std::uint8_t(lba >> 8),
                            std::uint8_t(lba),
                            0,
                            std::uint8_t(count >> 8),
                            std::uint8_t(count),
                            0};
    std::uint8_t sense[18];
    platform::ScsiResult r =
        Run(cdb, sizeof cdb, platform::DataDirection::kIn, out + done, std::size_t(count) * 2048, sense);
    if (!r.ok()) {
      if (done) break;
      return r.sense.key == 5 && r.sense.asc == 0x21 ? 0 : Fail(EIO);
    }
    done += std::size_t(count) * 2048;
  }
  return ssize_t(done);
}

}  // namespace

extern "C" {

#define SHIM_OPEN(name)                                                  \
  int name(const char* path, int flags, ...) {                           \
    using Fn = int (*)(const char*, int, ...);                           \
    static const Fn real = Real<Fn>(#name);                              \
    mode_t mode = 0;                                                     \
    if (flags & (O_CREAT | O_TMPFILE)) {                                 \
      va_list args;                                                      \
      va_start(args, flags);                                             \
      mode = va_arg(args, mode_t);                                       \
      va_end(args);                                                      \
    }                                                                    \
    return IsDevice(path) ? OpenDevice(flags) : real(path, flags, mode); \
  }
SHIM_OPEN(open)
SHIM_OPEN(open64)

int __open_2(const char* path, int flags) {
  using Fn = int (*)(const char*, int);
  static const Fn real = Real<Fn>("__open_2");
  return IsDevice(path) ? OpenDevice(flags) : real(path, flags);
}
int __open64_2(const char* path, int flags) {
  using Fn = int (*)(const char*, int);
  static const Fn real = Real<Fn>("__open64_2");
  return IsDevice(path) ? OpenDevice(flags) : real(path, flags);
}

#define SHIM_OPENAT(name)                                                     \
  int name(int dir, const char* path, int flags, ...) {                       \
    using Fn = int (*)(int, const char*, int, ...);                           \
    static const Fn real = Real<Fn>(#name);                                   \
    mode_t mode = 0;                                                          \
    if (flags & (O_CREAT | O_TMPFILE)) {                                      \
      va_list args;                                                           \
      va_start(args, flags);                                                  \
      mode = va_arg(args, mode_t);                                            \
      va_end(args);                                                           \
    }                                                                         \
    return IsDevice(path) ? OpenDevice(flags) : real(dir, path, flags, mode); \
  }
SHIM_OPENAT(openat)
SHIM_OPENAT(openat64)

int close(int fd) {
  using Fn = int (*)(int);
  static const Fn real = Real<Fn>("close");
  {
    Shim& s = TheShim();
    std::lock_guard lock(s.mutex);
    s.files.erase(fd);
  }
  return real(fd);
}

int ioctl(int fd, unsigned long request, ...) {
  using Fn = int (*)(int, unsigned long, ...);
  static const Fn real = Real<Fn>("ioctl");
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  if (!IsOursOrInherited(fd)) return real(fd, request, arg);
  return CdromIoctl(fd, request, arg);
}

#define SHIM_STAT(name, type)                      \
  int name(const char* path, struct type* st) {    \
    using Fn = int (*)(const char*, struct type*); \
    static const Fn real = Real<Fn>(#name);        \
    if (!IsDevice(path)) return real(path, st);    \
    FillStat(reinterpret_cast<struct stat*>(st));  \
    return 0;                                      \
  }
SHIM_STAT(stat, stat)
SHIM_STAT(stat64, stat64)
SHIM_STAT(lstat, stat)
SHIM_STAT(lstat64, stat64)

#define SHIM_FSTAT(name, type)                       \
  int name(int fd, struct type* st) {                \
    using Fn = int (*)(int, struct type*);           \
    static const Fn real = Real<Fn>(#name);          \
    if (!IsOursOrInherited(fd)) return real(fd, st); \
    FillStat(reinterpret_cast<struct stat*>(st));    \
    return 0;                                        \
  }
SHIM_FSTAT(fstat, stat)
SHIM_FSTAT(fstat64, stat64)

#define SHIM_FSTATAT(name, type)                                           \
  int name(int dir, const char* path, struct type* st, int flags) {        \
    using Fn = int (*)(int, const char*, struct type*, int);               \
    static const Fn real = Real<Fn>(#name);                                \
    if (!IsDevice(path) && !(IsEmptyPath(path) && IsOursOrInherited(dir))) \
      return real(dir, path, st, flags);                                   \
    FillStat(reinterpret_cast<struct stat*>(st));                          \
    return 0;                                                              \
  }
SHIM_FSTATAT(fstatat, stat)
SHIM_FSTATAT(fstatat64, stat64)

// Programs built against older C libraries stat through these.
#define SHIM_XSTAT(name, type)                               \
  int name(int version, const char* path, struct type* st) { \
    using Fn = int (*)(int, const char*, struct type*);      \
    static const Fn real = Real<Fn>(#name);                  \
    if (!IsDevice(path)) return real(version, path, st);     \
    FillStat(reinterpret_cast<struct stat*>(st));            \
    return 0;                                                \
  }
SHIM_XSTAT(__xstat, stat)
SHIM_XSTAT(__xstat64, stat64)
SHIM_XSTAT(__lxstat, stat)
SHIM_XSTAT(__lxstat64, stat64)

#define SHIM_FXSTAT(name, type)                               \
  int name(int version, int fd, struct type* st) {            \
    using Fn = int (*)(int, int, struct type*);               \
    static const Fn real = Real<Fn>(#name);                   \
    if (!IsOursOrInherited(fd)) return real(version, fd, st); \
    FillStat(reinterpret_cast<struct stat*>(st));             \
    return 0;                                                 \
  }
SHIM_FXSTAT(__fxstat, stat)
SHIM_FXSTAT(__fxstat64, stat64)

// A program unmounts what is mounted from its drive before writing. Nothing
// is mounted from the emulated drive, and nothing else may be unmounted by a
// test: the table of mounts reads empty.
FILE* setmntent(const char* file, const char* mode) {
  using Fn = FILE* (*)(const char*, const char*);
  static const Fn real = Real<Fn>("setmntent");
  return real(TheShim().device.empty() ? file : "/dev/null", mode);
}

int access(const char* path, int mode) {
  using Fn = int (*)(const char*, int);
  static const Fn real = Real<Fn>("access");
  return IsDevice(path) ? 0 : real(path, mode);
}

ssize_t read(int fd, void* buffer, size_t bytes) {
  using Fn = ssize_t (*)(int, void*, size_t);
  static const Fn real = Real<Fn>("read");
  if (!IsOursOrInherited(fd)) return real(fd, buffer, bytes);
  std::uint64_t position;
  {
    std::lock_guard lock(TheShim().mutex);
    position = TheShim().files[fd].position;
  }
  const ssize_t n = ReadAt(position, buffer, bytes);
  if (n > 0) {
    std::lock_guard lock(TheShim().mutex);
    TheShim().files[fd].position += std::uint64_t(n);
  }
  return n;
}

ssize_t pread(int fd, void* buffer, size_t bytes, off_t offset) {
  using Fn = ssize_t (*)(int, void*, size_t, off_t);
  static const Fn real = Real<Fn>("pread");
  if (!IsOursOrInherited(fd)) return real(fd, buffer, bytes, offset);
  return ReadAt(std::uint64_t(offset), buffer, bytes);
}

ssize_t pread64(int fd, void* buffer, size_t bytes, off64_t offset) {
  using Fn = ssize_t (*)(int, void*, size_t, off64_t);
  static const Fn real = Real<Fn>("pread64");
  if (!IsOursOrInherited(fd)) return real(fd, buffer, bytes, offset);
  return ReadAt(std::uint64_t(offset), buffer, bytes);
}

off_t lseek(int fd, off_t offset, int whence) {
  using Fn = off_t (*)(int, off_t, int);
  static const Fn real = Real<Fn>("lseek");
  if (!IsOursOrInherited(fd)) return real(fd, offset, whence);
  std::lock_guard lock(TheShim().mutex);
  OpenFile& f = TheShim().files[fd];
  if (whence == SEEK_SET)
    f.position = std::uint64_t(offset);
  else if (whence == SEEK_CUR)
    f.position = std::uint64_t(std::int64_t(f.position) + offset);
  else
    return Fail(EINVAL);
  return off_t(f.position);
}

off64_t lseek64(int fd, off64_t offset, int whence) { return lseek(fd, offset, whence); }

}  // extern "C"
