// An emulated CD/DVD writer answering MMC commands, whose medium lives in a
// sparse file. One folder per drive holds its state (drive.state, replaced
// atomically after every change, under the lock of drive.lock) and the
// medium's sectors (media.img: 2048 bytes a sector for DVD and BD, 2352 for
// CD, where data written in 2048-byte mode is stored as raw Mode 1 sectors).
// Several programs may open one drive, as several may open a real one. What
// takes time on a real drive (an immediate BLANK, FORMAT or close, a
// background format, loading) is counted in commands, except that while
// writes are paced (SetWritePacing) an immediate erase, format or close takes
// the time that writing its share of the medium would at the write speed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/cd_sector.h"
#include "platform/mmc.h"
#include "platform/scsi.h"

namespace platform {

// The emulator speaks the shared MMC vocabulary (profiles, opcodes, senses).
using namespace mmc;

struct EmulatedIdentity {
  std::string vendor = "VANTORA ";          // padded or cut to 8 characters
  std::string product = "EMULATED WRITER";  // 16
  std::string revision = "1.00";            // 4
  ScsiAddress address;
  bool writer = true;
  // Profiles the drive supports, most preferred first.
  std::vector<std::uint16_t> profiles = {kProfileBdRe,
                                         kProfileBdRSrm,
                                         kProfileDvdPlusRDl,
                                         kProfileDvdPlusR,
                                         kProfileDvdPlusRw,
                                         kProfileDvdRwSequential,
                                         kProfileDvdRwRestricted,
                                         kProfileDvdR,
                                         kProfileDvdRam,
                                         kProfileDvdRom,
                                         kProfileCdRw,
                                         kProfileCdR,
                                         kProfileCdRom};
  // Speed tables in kB/s, ascending.
  std::vector<std::uint32_t> cd_write_speeds = {1764, 3528, 7056};    // 10x 20x 40x
  std::vector<std::uint32_t> dvd_write_speeds = {2770, 5540, 11080};  // 2x 4x 8x
  std::vector<std::uint32_t> cd_read_speeds = {7056};
  std::vector<std::uint32_t> dvd_read_speeds = {22160};
};

// One track of a pressed CD: the bytes of a file range, as 2352-byte audio
// frames, Mode 1 user data (2048 bytes a sector) or raw Mode 1 sectors (2352
// bytes, as a BIN image holds them). A last partial sector is padded with
// zeros.
struct PressedTrack {
  std::filesystem::path file;
  std::uint64_t offset = 0;
  std::uint64_t bytes = 0;  // 0: to the end of the file
  bool audio = true;
  bool raw = false;          // data sectors given raw
  bool new_session = false;  // opens a session after the one before
};

// A medium as inserted: blank unless content is given.
struct MediumSpec {
  std::uint16_t profile = kProfileDvdPlusR;
  std::uint32_t capacity = 0;  // sectors; 0 = the usual capacity of the profile
  bool write_protected = false;
  // DVD+RW, BD-RE: already formatted (DVD-RAM and restricted-overwrite
  // DVD-RW always are).
  bool formatted = false;
  // Recorded as one complete session of one track (a ROM, or a closed
  // recordable disc): 2048-byte user data, or 2352-byte audio frames.
  std::filesystem::path content;
  bool content_is_audio = false;
  // A pressed CD (CD-ROM, or a closed CD-R or CD-RW) of these tracks, in disc
  // order, in place of content: the first track at LBA 0, the others straight
  // after the track before, except that a track opening a session starts
  // 11400 sectors after the previous session's end (its lead-out, the next
  // lead-in and a 150-sector pre-gap), as on a CD-Extra.
  std::vector<PressedTrack> pressed;
  // CD: ATIP start of lead-in and last possible start of lead-out (which sets
  // the capacity when capacity is 0).
  Msf atip_lead_in{97, 26, 66};
  Msf atip_lead_out{79, 59, 74};
  // DVD: disc manufacturer identifier (pre-recorded information on -R/-RW,
  // ADIP on +R/+RW) and media type identifier.
  std::string manufacturer_id = "VANTORA1";
  std::string media_type_id = "R01";
};

struct InjectedFault {
  std::uint8_t opcode = 0;
  std::uint32_t first_lba = 0;           // commands that carry an LBA hit when
  std::uint32_t last_lba = 0xFFFFFFFFu;  // their range meets this one
  int count = 1;                         // how many commands it hits
  std::uint8_t key = 0, asc = 0, ascq = 0;
  // With sense key 0: the command succeeds, but its reply moves this many
  // bytes fewer than it declares, as a target that cuts replies short does.
  std::uint32_t shorten = 0;
};

struct LoggedCommand {
  std::vector<std::uint8_t> cdb;
  std::uint8_t status = 0;
  std::vector<std::uint8_t> sense;  // fixed-format sense data; empty when GOOD
  std::size_t transferred = 0;
};

class EmulatedDrive : public ScsiDevice {
 public:
  // Creates a drive folder (which must not hold a drive yet) with an identity
  // and, unless medium is null, a medium in the closed tray.
  static bool Create(const std::filesystem::path& folder, const EmulatedIdentity& identity,
                     const MediumSpec* medium, std::string* error);
  // Opens a drive folder; null (and *error) when it is missing or unusable.
  static std::unique_ptr<EmulatedDrive> Open(const std::filesystem::path& folder, std::string* error);

  ~EmulatedDrive() override;

  ScsiResult exec(std::span<const std::uint8_t> cdb, DataDirection direction, std::span<std::uint8_t> buffer,
                  std::chrono::milliseconds timeout) override;
  const DeviceIdentity& identity() const override;
  // A lock on the drive's folder, which one program at a time can take.
  HoldResult HoldExclusive(std::string* why) override;
  void ReleaseExclusive() override;

  // Test control. Every call that changes the drive saves its state, and
  // every program that opens the folder sees it at its next command: the
  // tray, the medium, the tray lock, injected faults, the operation length and
  // the pacing are the drive's, not one program's.
  // Opens the tray: false while removal is prevented, unless forced (as the
  // emergency eject of a real drive, or a program that unlocks it first).
  bool OpenTray(bool force = false);
  void CloseTray();  // with a medium: one unit attention, then ready
  // Puts a new medium in the tray (opening and closing it when closed).
  bool InsertMedium(const MediumSpec& medium, std::string* error);
  void RemoveMedium();
  // The next `commands` medium commands answer 02/04/01.
  void BecomeNotReady(int commands);
  // How many commands an immediate BLANK, FORMAT, close or background format
  // takes before it is done while writes are not paced (default 3; 0: it is
  // done when its command returns).
  void SetOperationLength(int commands);
  void InjectFault(const InjectedFault& fault);
  // The next WRITE underruns: with BUFE off it fails with 03/0C/09.
  void ArmUnderrun();
  // Writes in real time at kbps (0: at once, the default) through a drive
  // buffer of buffer_bytes: a WRITE waits while the buffer is full, and one
  // that finds it run dry in the middle of a write session is an underrun
  // (with BUFE off it ruins the track, as ArmUnderrun does).
  void SetWritePacing(std::uint32_t kbps, std::size_t buffer_bytes);
  // Underruns since the drive was opened.
  std::uint64_t UnderrunCount() const;
  // With deferral, the state file is not replaced after each WRITE but at the
  // next other command (a flush or a close ends every burn): for measuring a
  // burn's own speed. Off by default.
  void SetWriteSavesDeferred(bool deferred);
  // Lenient mode accepts a few things a standard drive refuses: a media type
  // other than DVD in READ DVD STRUCTURE, MODE SELECT without PF. In either
  // mode a command block of another length than the command's own is cut or
  // zero-padded, as a packet interface takes it: the transport policy in front
  // of every drive that OpenDrives opens refuses such blocks before they get
  // here.
  void SetStrict(bool strict);
  std::vector<LoggedCommand> CommandLog() const;
  void ClearCommandLog();

  // Writes the user data of the recorded data tracks, in disc order from
  // LBA 0 with unrecorded gaps as zeros, to a new file.
  bool ExportUserData(const std::filesystem::path& destination, std::string* error) const;

  class Impl;

 private:
  explicit EmulatedDrive(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
