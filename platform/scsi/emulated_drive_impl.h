// The emulated drive's inner state and the commands it carries out, one
// file per idea: the medium and its persistence (emulated_drive_medium.cpp),
// the command path (emulated_drive_commands.cpp), identification, features
// and mode pages (emulated_drive_configuration.cpp), medium information
// (emulated_drive_medium_info.cpp), recording and closing
// (emulated_drive_recording.cpp), reading (emulated_drive_reads.cpp) and fault
// injection (emulated_drive_faults.cpp).
#pragma once

#include <unistd.h>

#include <sys/stat.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "emulated_drive_pacing.h"
#include "emulated_drive_state.h"
#include "platform/byte_order.h"
#include "platform/emulated_drive.h"
#include "platform/mmc_replies.h"

namespace platform {
namespace emu {

inline constexpr char kStateFile[] = "drive.state";
inline constexpr char kMediaFile[] = "media.img";
// Locked around every read-modify-write of the state file, by every program.
inline constexpr char kLockFile[] = "drive.lock";
inline constexpr std::size_t kLogLimit = 20000;
// How stale the state may be when a WRITE comes (see Acquire).
inline constexpr std::chrono::milliseconds kRecheck{2};
inline constexpr std::uint64_t kWriteBackBytes = 8u << 20;

// The answer a command ends with: no sense when it succeeded.
using Check = SenseCode;
inline constexpr Check kGood{};

inline void PutAddress(std::uint8_t* p, std::int32_t lba, bool msf) {
  if (!msf) return PutBe32(p, std::uint32_t(lba));
  Msf m = LbaToMsf(lba);
  p[0] = 0, p[1] = m.minute, p[2] = m.second, p[3] = m.frame;
}

inline std::string Padded(std::string text, std::size_t size) {
  text.resize(size, ' ');
  return text;
}

inline bool IsDvdPlusRw(std::uint16_t p) { return p == kProfileDvdPlusRw || p == kProfileDvdPlusRwDl; }
inline bool IsDvdPlusR(std::uint16_t p) { return p == kProfileDvdPlusR || p == kProfileDvdPlusRDl; }
inline bool IsHdDvd(std::uint16_t p) { return p >= kProfileHdDvdRom && p <= kProfileHdDvdRam; }
// Media whose write parameters page governs recording.
inline bool UsesWriteParameters(std::uint16_t p) { return IsCd(p) || IsDvdMinus(p); }

// What tells one version of the state file from another.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  std::int64_t modified_ns = 0, changed_ns = 0;
  bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const std::filesystem::path& file);

struct ReadBlock {
  const Track* track = nullptr;
  Check check;
};

}  // namespace emu

using namespace emu;

class EmulatedDrive::Impl {
 public:
  std::filesystem::path folder;
  DriveState state;
  DeviceIdentity device;
  int media_fd = -1;
  int lock_fd = -1;                                 // kLockFile
  int hold_fd = -1;                                 // the folder, locked while this program holds the drive
  FileStamp stamp;                                  // of the state file as last read or written here
  std::chrono::steady_clock::time_point checked{};  // when the state file was last looked at
  bool locked = false;                              // the state lock is held
  mutable std::mutex mutex;

  // Volatile drive state, as a real drive loses it at power-off.
  bool unit_attention = false;
  int busy = 0;  // commands until an immediate operation ends
  // An immediate operation timed on the pacing clock instead: when it began
  // and ends.
  std::chrono::steady_clock::time_point busy_from{}, busy_until{};
  bool in_progress = false;  // the current command arrived while one ran
  Check busy_sense;
  int bg_remaining = 0;
  WritePacing pacing;              // off by default (emulated_drive_pacing.cpp)
  bool defer_write_saves = false;  // the state is saved at the next command that is no WRITE
  bool strict = true;
  std::array<std::uint8_t, 52> page05{};
  std::uint32_t write_speed = 0, read_speed = 0;
  std::optional<Medium> simulation;  // the disc as a test write sees it
  std::deque<LoggedCommand> log;
  bool dirty = false;
  bool must_save = false;                              // saved even after a WRITE whose save is deferred
  bool deferred_write = false;                         // the current command's save is deferred
  std::uint32_t applied_kbps = 0, applied_buffer = 0;  // the pacing set from the state
  std::string save_error;
  std::uint64_t unwritten_begin = 0, unwritten_end = 0;  // medium bytes not yet sent to the disk

  ~Impl() {
    for (int fd : {media_fd, lock_fd, hold_fd})
      if (fd >= 0) ::close(fd);
  }

  // ---- sharing with other programs (emulated_drive_sharing.cpp)

  // Takes the state lock and reads the state again when another program has
  // changed it since (for a WRITE whose save is deferred, at most every
  // kRecheck).
  void Acquire(bool write);
  // Saves what changed (unless a deferred WRITE was all) and lets the lock go.
  void Release();
  void Refresh();
  void ApplyPacing();

  // ---- medium helpers (emulated_drive_medium.cpp)

  bool Loaded() const { return state.medium && !state.tray_open; }
  bool Supported() const;
  std::uint16_t CurrentProfile() const { return Loaded() && Supported() ? state.medium->profile : 0; }
  Medium& Active() { return simulation ? *simulation : *state.medium; }
  bool TestWrite() const { return (page05[2] & 0x10) != 0; }

  void ResetWriteParameters();

  const std::vector<std::uint32_t>& SpeedTable(bool write) const;

  void MediumChanged();

  static std::uint32_t RecordedEnd(const Medium& m);
  std::uint32_t SessionCount(const Medium& m) const { return m.tracks.empty() ? 1 : m.tracks.back().session; }
  // Whether a session holds recorded data or a reservation.
  static bool SessionHasData(const Medium& m, std::uint32_t session);
  int DiscStatus(const Medium& m) const;
  int LastSessionState(const Medium& m) const;
  // The first sector of the lead-out of a closed session that ends at end.
  static std::uint32_t NextSessionStart(const Medium& m, std::uint32_t end, std::uint32_t closed_session);

  // ---- persistence (emulated_drive_medium.cpp)

  bool Save(std::string* error);

  // Writes sectors of the medium; the medium file is sent on to the disk
  // every kWriteBackBytes as it is recorded, as a drive burns what it
  // receives, rather than left for the system to write long after.
  bool WriteSectors(std::uint32_t lba, const std::uint8_t* data, std::size_t bytes);
  void StartWriteBack();
  bool ReadRaw(std::uint32_t lba, std::uint8_t* data, std::size_t bytes) const;

  // Records user data (2048-byte blocks, or 2352-byte audio frames on CD).
  bool Record(std::uint32_t lba, std::uint32_t count, const std::uint8_t* data, bool audio);

  bool LoadContent(const MediumSpec& spec, std::uint32_t* sectors, std::string* error);
  // Records the tracks of a pressed CD (emulated_drive_pressed.cpp); their
  // records in disc order.
  bool LoadPressed(const MediumSpec& spec, std::vector<Track>* tracks, std::string* error);

  // ---- command path (emulated_drive_commands.cpp)

  static std::size_t Send(const std::vector<std::uint8_t>& reply, std::size_t allocation,
                          std::span<std::uint8_t> buffer);

  Check NoMedium() const { return state.tray_open ? kNoMediumTrayOpen : kNoMediumTrayClosed; }

  // Ends a counted operation once its commands have passed.
  void CountCommand();
  // Whether an immediate operation is still going on, and how far it is
  // (0 to 65535).
  bool Busy() const { return busy > 0 || std::chrono::steady_clock::now() < busy_until; }
  int OperationProgress() const;

  // The injected fault that hits this command, if any (emulated_drive_faults.cpp).
  std::optional<Check> InjectedFor(const std::uint8_t* cdb, std::size_t length);
  // How many bytes an injected fault cuts from the reply of a command that
  // succeeded (0: none).
  std::size_t InjectedShortening(std::uint8_t opcode);

  ScsiResult Exec(std::span<const std::uint8_t> sent, std::span<std::uint8_t> buffer);

  static std::vector<std::uint8_t> SenseBytes(Check c, int progress);

  Check Dispatch(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out,
                 std::string* terr);

  // Starts an operation that writes `sectors` (an erase, a format, a close).
  // While writes are paced it lasts as long as writing them at the write
  // speed would: an immediate one in the background, answering `sense`
  // meanwhile, another one before its command returns. Unpaced, an immediate
  // one lasts state.operation_length commands, another one no time.
  void StartOperation(Check sense, std::uint64_t sectors, bool immediate);
  // What a close, a quick erase or finishing a disc writes (its lead-out).
  static std::uint64_t LeadOutSectors(const Medium& m) { return m.capacity / 500; }

  // ---- identification and features (emulated_drive_configuration.cpp)

  Check Inquiry(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out);

  Check RequestSense(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out);

  bool Has(std::initializer_list<std::uint16_t> profiles) const;

  Check GetConfiguration(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out);

  // ---- mode pages and speeds (emulated_drive_configuration.cpp)

  std::vector<std::uint8_t> CapabilitiesPage() const;

  Check ModeSense(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out);

  Check ModeSelect(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::string* terr);

  Check SetSpeed(const std::uint8_t* cdb);

  // The fastest speed of a table not above request (the slowest when all are).
  static std::uint32_t PickSpeed(const std::vector<std::uint32_t>& table, std::uint32_t request);

  Check GetPerformance(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out);

  Check SetStreaming(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::string* terr);

  Check ReadBufferCapacity(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out);

  Check StartStop(const std::uint8_t* cdb);

  // GET EVENT STATUS NOTIFICATION, polled: the media class, with no event
  // pending.
  Check GetEventStatus(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out);

  // ---- medium information (emulated_drive_medium_info.cpp)

  Check ReadCapacity(std::span<std::uint8_t> buffer, std::size_t* out);

  Check DiscInformation(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out);

  std::uint32_t TrackSize(const Medium& m, const Track& t) const;

  Check TrackInformation(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out);

  Check ReadToc(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out);

  // READ TOC format 2 (full TOC) of a CD's closed sessions: the A0, A1, A2 and
  // track points of each, and B0 while another session may follow.
  void FullToc(const Medium& m, const std::vector<const Track*>& listed, bool finalized,
               mmc::FullToc* r) const;

  // Layer 0's share of a dual-layer DVD+R: half the medium, in whole ECC blocks.
  static std::uint32_t LayerZeroCapacity(const Medium& m) { return m.capacity / 2 / 16 * 16; }

  Check ReadDvdStructure(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out);

  Check ReadFormatCapacities(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out);

  // ---- recording and closing (emulated_drive_recording.cpp)

  Check Writable(const Medium& m) const;

  Check Write10(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::string* terr);

  Check ReserveTrack(const std::uint8_t* cdb);

  // Completes the tracks of the open session (an incomplete track is closed
  // on the way). A session with nothing recorded cannot be closed, nor one
  // whose reserved track is still being filled.
  Check CloseOpenSession(Medium& m, bool allow_empty);

  Check CloseTrackSession(const std::uint8_t* cdb);

  Check SynchronizeCache(const std::uint8_t* cdb);

  // SEND CUE SHEET: lays out the tracks of a session written at once on a
  // blank CD, reserved until the host has sent every sector from the first
  // pregap (LBA -150) to the lead-out.
  Check SendCueSheet(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::string* terr);
  bool SessionAtOnce() const {
    return state.medium && IsCd(state.medium->profile) && (page05[2] & 0x0F) == kWriteTypeSessionAtOnce;
  }

  // Type 5 reopens the last closed session for more tracks; type 6 erases
  // the last session that holds data (the open one, else the last closed).
  Check BlankLastSession(Medium& m, bool erase);

  Check Blank(const std::uint8_t* cdb);

  Check FormatUnit(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::string* terr);

  // ---- reading (emulated_drive_reads.cpp)

  // The track holding recorded sector lba, or why it cannot be read.
  ReadBlock Locate(const Medium& m, std::uint32_t lba) const;

  Check Read10(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out, std::string* terr);

  Check ReadCd(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out, std::string* terr);
};

namespace emu {

// The drive's mutex and its state lock, held together around a command or a
// control: the state is read again when another program changed it, and what
// changed is saved when the lock goes.
class LockedDrive {
 public:
  explicit LockedDrive(EmulatedDrive::Impl& drive, bool write = false) : lock_(drive.mutex), drive_(drive) {
    drive_.Acquire(write);
  }
  ~LockedDrive() { drive_.Release(); }
  LockedDrive(const LockedDrive&) = delete;
  LockedDrive& operator=(const LockedDrive&) = delete;

 private:
  std::lock_guard<std::mutex> lock_;
  EmulatedDrive::Impl& drive_;
};

}  // namespace emu
}  // namespace platform
