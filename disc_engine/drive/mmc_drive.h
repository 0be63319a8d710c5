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
#include "platform/mmc_replies.h"
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

// Allocation of READ TOC format 0: 100 descriptors and the header.
inline constexpr std::uint16_t kTocReplyLength = 804;

// Whether a failed command was refused because the drive is still writing
// from its buffer (02/04/08): the caller may send it again later.
bool LongWriteInProgress(const platform::ScsiResult& result);

// A format descriptor of READ FORMAT CAPACITIES: the blocks and the format
// byte (format type in bits 7-2, sub-type in bits 1-0).
struct FormattableCapacity {
  std::uint32_t blocks = 0;
  std::uint8_t format_byte = 0;
};

// Members that act on the drive return the command's platform::ScsiResult
// (ok() when the drive took it; FailureText tells why not). Members that ask
// the drive return the typed answer, or nothing when the drive could not give
// it (the command failed, or its reply did not hold the field). The values the
// published members give for a failure are chosen in disc_engine/api.
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
  platform::ScsiResult MmcBlank(std::uint8_t erase_mode);
  platform::ScsiResult MmcReserveTrack(std::uint32_t sectors);
  // The descriptor type of the current capacity (mmc::kDescriptorUnformatted,
  // kDescriptorFormatted or kDescriptorNoMedium).
  std::optional<int> MmcReadFormatCapacities();
  // The first formattable descriptor; 00FFFFFFh blocks and format byte 98h
  // when the drive lists only the current capacity.
  std::optional<FormattableCapacity> MmcGetFormattableCapacity();
  // FORMAT UNIT, immediate, with the formattable capacity; the result of READ
  // FORMAT CAPACITIES when that cannot be read.
  platform::ScsiResult MmcFormatUnit();
  // Write parameters page 05h (MODE SENSE, then MODE SELECT): the MODE
  // SELECT's result. The write type (mmc::kWriteType...) and data block type
  // (mmc::kDataBlock...) are masked to their fields.
  platform::ScsiResult MmcSetWriteParameters(std::uint8_t data_block_type, std::uint8_t write_type, bool bufe,
                                             bool multisession, bool test_write);
  platform::ScsiResult MmcSetAudioWriteParameters(bool bufe, bool multisession, bool test_write);
  // The last WRITE(10)'s result. While the drive reports a long write in
  // progress (LongWriteInProgress) that is the result at once when wait is
  // false; with wait it is waited out with back-offs of 5 to 20 ms for up to
  // 120 s, unless cancelled. A unit attention or a missing medium fails at
  // once; other failures are tried 51 times about 1 ms apart.
  platform::ScsiResult MmcWrite10(std::span<const std::uint8_t> data, std::uint32_t lba, std::uint16_t count,
                                  bool wait, const DriveWait& waits = {});
  platform::ScsiResult MmcSynchronizeCache();
  platform::ScsiResult MmcSynchronizeCacheImmed();
  // Never retried.
  platform::ScsiResult MmcCloseTrackSession(bool immed, std::uint8_t function, std::uint16_t track);

  // ---- configuration and speeds ---------------------------------------------
  // The media-type code of the current profile; kMediaNone when the drive has
  // no medium of a known profile or cannot say.
  int MmcGetMediaTypeCode();
  // Page 2Ah: the current write speed in kB/s, appended to the speed list
  // (unless 0); nothing when the page cannot be read.
  std::optional<std::uint32_t> MmcModeSenseCapabilities();
  // The current write speed of page 2Ah in kB/s, when the page can be read.
  std::optional<std::uint32_t> CurrentWriteSpeed();
  platform::ScsiResult MmcSetCdSpeed(std::uint16_t write_kbps);
  platform::ScsiResult MmcSetCdSpeedMax();
  // SET CD SPEED of factor speed steps, then, when the drive took it, page
  // 2Ah into the speed list: the SET CD SPEED's result.
  platform::ScsiResult SetDvdWriteSpeed(int factor);
  platform::ScsiResult SetCdWriteSpeed(int factor);
  // Writer test: true when the profile list holds a writable CD or DVD
  // profile or the drive rejects the question.
  bool MmcGetCurrentProfile();

  // ---- tracks and the disc --------------------------------------------------
  // READ TRACK INFORMATION and READ DISC INFORMATION as read.
  std::optional<mmc::TrackInformation> ReadTrackInformation(std::uint32_t track,
                                                            std::uint16_t allocation = 48);
  std::optional<mmc::DiscInformation> ReadDiscInformation();
  std::optional<std::uint32_t> MmcGetTrackStartAddress(std::uint32_t track);
  std::optional<std::uint32_t> MmcGetTrackSize(std::uint32_t track);
  std::optional<std::uint32_t> MmcGetTrackStartLba(std::uint32_t track);
  std::optional<std::uint32_t> MmcGetTrackSessionNumber(std::uint32_t track);
  std::optional<std::uint32_t> MmcGetNextWritableAddress(std::uint32_t track);
  std::optional<std::uint32_t> MmcGetSessionTrackStart(std::uint32_t track);
  // The last session's state (mmc::kSessionEmpty, kSessionIncomplete,
  // kSessionDamaged, kSessionComplete) as byte 2 AND 0Ch.
  std::optional<int> MmcGetLastSessionState();
  // Sessions, less 1 when the last session is empty.
  std::optional<int> MmcGetSessionCount();
  std::optional<bool> MmcDiscIsWritable();  // the disc status is not complete
  std::optional<int> MmcGetLastTrackNumber();
  // READ DISC INFORMATION's result; callers only wait for it to succeed.
  platform::ScsiResult MmcGetCdMediaCode();
  std::optional<bool> MmcDiscIsBlank();
  std::optional<bool> MmcDiscIsErasable();
  // CD capacity from the last possible lead-out start (less the 150 sectors
  // before LBA 0), or READ CAPACITY when the disc gives none.
  std::optional<float> MmcGetCdCapacityMB();
  // Used space from the last session's lead-in start (less 150), or READ
  // CAPACITY when the disc gives no lead-out.
  std::optional<float> MmcGetUsedSpaceMB();
  // Last recorded LBA.
  std::optional<std::uint32_t> MmcReadCapacity();
  // Recorded sectors (last LBA + 1), when READ CAPACITY succeeds.
  std::optional<std::uint32_t> RecordedSectors();
  // DVD used space from the physical format's data area (end - start + 1);
  // 0 when the end sector is 0.
  std::optional<float> MmcReadDvdStructure();
  // MB of the ISO 9660 volume at sector 16 (its little-endian volume space
  // size); 0 when sector 16 holds no volume descriptor.
  std::optional<float> MmcRead10();
  // Volume space size in sectors (big-endian field) of the ISO 9660 volume at
  // sector 16; 0 without one.
  std::optional<std::uint32_t> ReadIsoVolumeSize();
  // Whether sector 17 holds a volume descriptor ("CD001").
  std::optional<bool> SessionDataMode();

  // ---- reading --------------------------------------------------------------
  platform::ScsiResult MmcReadSectors(std::uint32_t lba, std::uint16_t count, std::span<std::uint8_t> buffer);
  platform::ScsiResult MmcReadCd(std::uint32_t lba, std::uint16_t count, std::span<std::uint8_t> buffer);
  // READ TOC format 0 in MSF, kTocReplyLength bytes: the bytes moved, or
  // nothing.
  std::optional<std::vector<std::uint8_t>> ReadTocReply();
  // The ATIP, 255 bytes; nothing on failure.
  std::optional<std::vector<std::uint8_t>> MmcReadAtip();
  // READ DVD STRUCTURE of format 0Eh or 11h; nothing on failure.
  std::optional<std::vector<std::uint8_t>> ReadDvdMediaId(mmc::DvdStructure format);

  // ---- tray -----------------------------------------------------------------
  platform::ScsiResult MmcEject();
  platform::ScsiResult MmcEjectMedium();
  platform::ScsiResult MmcLoadMedium();
  platform::ScsiResult MmcPreventAllowRemoval(bool prevent);
  platform::ScsiResult MmcAllowRemoval();
  platform::ScsiResult MmcTestUnitReady();  // ok() when ready

 private:
  // Page 05h as the drive holds it, from a zeroed buffer when MODE SENSE
  // fails: the 52 bytes of the page, wherever the block descriptors put it.
  std::array<std::uint8_t, 52> WriteParametersPage();
  platform::ScsiResult SelectWriteParameters(const std::array<std::uint8_t, 52>& page, bool dvd_minus_rw);
  platform::ScsiResult Simple(const mmc::Cdb& cdb);  // a command without data
  // The volume space size of the ISO 9660 volume at sector 16, from its
  // little- or big-endian field; 0 without one.
  std::optional<std::uint32_t> VolumeSpaceSize(bool little_endian);

  std::shared_ptr<platform::ScsiDevice> device_;
  DriveList* speeds_;
  int number_;
};

}  // namespace zephrel
