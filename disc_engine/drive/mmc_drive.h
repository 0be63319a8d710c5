// The MMC command set: every drive operation of the engine as one command (or
// two) sent to a drive through its transport policy, with the reply read the
// way the operation needs it. Each call has its own zeroed reply buffer, so
// calls from several threads share nothing but the drive itself; only the
// fields a reply actually declares are read.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "drive/mmc_commands.h"
#include "jobs/job_clock.h"
#include "platform/scsi.h"

namespace zephrel {

class DriveList;

// What a command that waits (a write the drive is not ready for yet) takes
// its time from and what ends the wait early: the job's stop request or the
// cancel flag.
struct DriveWait {
  JobClock* clock = nullptr;  // null: the engine's clock
  std::stop_token stop;
  const std::atomic<bool>* cancel = nullptr;

  bool Cancelled() const;
  // Waits duration on the clock; false when cancelled before or during it.
  bool Sleep(JobClock::Duration duration) const;
};

// Speed units in kB/s: one step of CD speed (1x) and of DVD speed.
inline constexpr int kCdSpeedStep = 176;
inline constexpr int kDvdSpeedStep = 1385;

// Sectors of 2048 bytes as megabytes (MiB).
float SectorsToMB(std::uint64_t sectors);

// Whether sector (at least its first 6 bytes) is a volume descriptor: its
// standard identifier reads "CD001", or "cd001" as some writers put it.
bool HoldsVolumeDescriptor(std::span<const std::uint8_t> sector);

// The text of a failed command, as the user is shown it: the sense row, or
// the transport's words.
std::string FailureText(const platform::ScsiResult& result);

// Result of MmcWrite10 while the drive reports a long write in progress and
// the caller asked not to wait.
inline constexpr int kWriteInProgress = 101;

class MmcDrive {
 public:
  // speeds, when given, is the list that MmcModeSenseCapabilities appends
  // drive `number`'s current write speed to. A null device fails every
  // command.
  explicit MmcDrive(std::shared_ptr<platform::ScsiDevice> device, DriveList* speeds = nullptr,
                    int number = -1);

  // Sends one command: an incoming buffer is zeroed first, the timeout is the
  // command's default.
  platform::ScsiResult Send(const mmc::Cdb& cdb, platform::DataDirection direction,
                            std::span<std::uint8_t> buffer = {});
  // An incoming command into a new zeroed buffer of allocation bytes; the
  // reply holds the bytes the drive moved, or nothing when it failed.
  std::optional<std::vector<std::uint8_t>> Query(const mmc::Cdb& cdb, std::size_t allocation,
                                                 platform::ScsiResult* result = nullptr);

  // ---- recording and erasing ------------------------------------------------
  int MmcBlank(std::uint8_t erase_mode);  // 1 / 0
  int MmcReserveTrack(std::uint32_t sectors);
  // The descriptor type of the current capacity (1 unformatted, 2 formatted,
  // 3 no medium), -1 on failure.
  int MmcReadFormatCapacities();
  // The first formattable descriptor: its blocks and format byte; 00FFFFFFh
  // and 98h when the drive lists only the current capacity.
  bool MmcGetFormattableCapacity(std::uint32_t* blocks, std::uint8_t* format_byte);
  // FORMAT UNIT, immediate, with the formattable capacity; 0 when that cannot
  // be read.
  int MmcFormatUnit();
  // Write parameters page 05h (MODE SENSE, then MODE SELECT): 0 / -1. The
  // write type and data block type are masked to their fields.
  int MmcSetWriteParameters(std::uint8_t data_block_type, std::uint8_t write_type, bool bufe,
                            bool multisession, bool test_write);
  int MmcSetAudioWriteParameters(bool bufe, bool multisession, bool test_write);
  // 1 written; kWriteInProgress when the drive reports a long write in
  // progress and wait is false; 0 failed, with the failure's text in
  // *sense_text. With wait, a long write in progress is waited out with
  // back-offs of 5 to 20 ms for up to 120 s, unless cancelled. A unit
  // attention or a missing medium fails at once; other failures are tried 51
  // times about 1 ms apart.
  int MmcWrite10(std::span<const std::uint8_t> data, std::uint32_t lba, std::uint16_t count,
                 std::string* sense_text, bool wait, const DriveWait& waits = {});
  int MmcSynchronizeCache();
  int MmcSynchronizeCacheImmed();
  // 1; 0 with the failure's text in *sense_text. Never retried.
  int MmcCloseTrackSession(bool immed, std::uint8_t function, std::uint16_t track, std::string* sense_text);

  // ---- configuration and speeds ---------------------------------------------
  // The media-type code of the current profile; -1 on failure.
  int MmcGetMediaTypeCode();
  // Page 2Ah: 1 on success, appending the current write speed to the speed
  // list; 0 on failure.
  int MmcModeSenseCapabilities();
  // The current write speed of page 2Ah in kB/s, when the page can be read.
  std::optional<std::uint32_t> CurrentWriteSpeed();
  int MmcSetCdSpeed(std::uint16_t write_kbps);  // 1 / -1
  int MmcSetCdSpeedMax();                       // 1 / -1
  int SetDvdWriteSpeed(int factor);             // always 1
  int SetCdWriteSpeed(int factor);              // always 1
  // Writer test: 1 when the profile list holds a writable CD or DVD profile
  // or the drive rejects the question, else 0.
  int MmcGetCurrentProfile();

  // ---- tracks and the disc --------------------------------------------------
  std::uint32_t MmcGetTrackStartAddress(std::uint32_t track);  // 0 on failure
  std::uint32_t MmcGetTrackSize(std::uint32_t track);
  std::uint32_t MmcGetTrackStartLba(std::uint32_t track);
  std::uint32_t MmcGetTrackSessionNumber(std::uint32_t track);
  std::uint32_t MmcGetNextWritableAddress(std::uint32_t track);
  std::uint32_t MmcGetSessionTrackStart(std::uint32_t track);
  int MmcGetLastSessionState();  // byte 2 AND 0Ch; -1 on failure
  int MmcGetSessionCount();      // less 1 when the last session is empty; 0 on failure
  int MmcDiscIsWritable();       // 1 / 0
  int MmcGetLastTrackNumber();   // -1 on failure
  int MmcGetCdMediaCode();       // -1 while not ready, else 1
  int MmcDiscIsBlank();          // 1 / 0 / -1
  int MmcDiscIsErasable();       // 1 / 0
  // CD capacity from the last possible lead-out start (less the 150 sectors
  // before LBA 0), or READ CAPACITY when the disc gives none; 0 on failure.
  float MmcGetCdCapacityMB();
  // Used space from the last session's lead-in start (less 150), or READ
  // CAPACITY when the disc gives no lead-out; 0 on failure.
  float MmcGetUsedSpaceMB();
  // Last recorded LBA; 0 on failure.
  std::uint32_t MmcReadCapacity();
  // Recorded sectors (last LBA + 1), when READ CAPACITY succeeds.
  std::optional<std::uint32_t> RecordedSectors();
  // DVD used space from the physical format's data area (end - start + 1);
  // 0 on failure or when the end sector is 0.
  float MmcReadDvdStructure();
  // MB of the ISO 9660 volume at sector 16 (its little-endian volume space
  // size); 0 on failure or when sector 16 holds no volume descriptor.
  float MmcRead10();
  // Volume space size in sectors (big-endian field) of the ISO 9660 volume at
  // sector 16; 0 without one.
  std::uint32_t ReadIsoVolumeSize();
  // 1 when sector 17 holds a volume descriptor ("CD001"), 2 when it does
  // not, 0 when it cannot be read.
  int SessionDataMode();

  // ---- reading --------------------------------------------------------------
  int MmcReadSectors(std::uint32_t lba, std::uint16_t count, std::span<std::uint8_t> buffer);  // 1 / 0
  int MmcReadCd(std::uint32_t lba, std::uint16_t count, std::span<std::uint8_t> buffer);       // 1 / 0
  // READ TOC format 0 in MSF, 804 bytes: the bytes moved, or nothing.
  std::optional<std::vector<std::uint8_t>> ReadTocReply();
  // The ATIP, 255 bytes; nothing on failure.
  std::optional<std::vector<std::uint8_t>> MmcReadAtip();
  // READ DVD STRUCTURE of format 0Eh or 11h; nothing on failure.
  std::optional<std::vector<std::uint8_t>> ReadDvdMediaId(mmc::DvdStructure format);

  // ---- tray -----------------------------------------------------------------
  void MmcEject();
  int MmcEjectMedium();
  int MmcLoadMedium();
  int MmcPreventAllowRemoval(bool prevent);
  int MmcAllowRemoval();
  int MmcTestUnitReady();  // 1 ready, 0 not

 private:
  std::optional<std::vector<std::uint8_t>> TrackInformation(std::uint32_t track, std::uint16_t allocation);
  std::optional<std::vector<std::uint8_t>> DiscInformation();
  // Page 05h as the drive holds it, from a zeroed buffer when MODE SENSE
  // fails: the 52 bytes of the page, wherever the block descriptors put it.
  std::array<std::uint8_t, 52> WriteParametersPage();
  int SelectWriteParameters(const std::array<std::uint8_t, 52>& page, bool dvd_minus_rw);
  int Simple(const mmc::Cdb& cdb);  // 1 / 0 for a command without data

  std::shared_ptr<platform::ScsiDevice> device_;
  DriveList* speeds_;
  int number_;
};

}  // namespace zephrel
