// The MMC exchanges of the drive members and of the erase, format and close
// jobs: one command each, its reply parsed into a plain record. The device is
// the engine's (behind the transport policy, so a unit attention after a tray
// change is asked again before anything here sees it). Every reply buffer is
// zeroed before the command and only the bytes the drive sent are read.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "drive/mmc_commands.h"
#include "platform/scsi.h"

namespace zephrel {

// Sends a command block with the transport policy's timeout for its opcode.
platform::ScsiResult Send(platform::ScsiDevice& device, const mmc::Cdb& cdb,
                          platform::DataDirection direction = platform::DataDirection::kNone,
                          std::span<std::uint8_t> buffer = {});

// The text shown for a failed command: the sense text of its reply, or the
// transport's own message when no sense came back.
std::string FailureText(const platform::ScsiResult& result);

// True when the reply says there is no medium in the drive (ASC 3Ah).
bool MediumAbsent(const platform::ScsiResult& result);

// READ DISC INFORMATION, standard disc information.
struct DiscInformation {
  int disc_status = 0;         // byte 2 bits 1-0: 0 empty, 1 incomplete (appendable), 2 complete, 3 other
  int last_session_state = 0;  // byte 2 AND 0Ch: 0 empty, 4 incomplete, 8 damaged, 0Ch complete
  bool erasable = false;       // byte 2 bit 4
  int sessions = 0;            // bytes 9 and 4
  int first_track_last_session = 0;  // bytes 10 and 5
  int last_track_last_session = 0;   // bytes 11 and 6
};
std::optional<DiscInformation> ReadDiscInformation(platform::ScsiDevice& device,
                                                   platform::ScsiResult* result = nullptr);

// READ TRACK INFORMATION by track number.
struct TrackInformation {
  int number = 0;
  int session = 0;
  bool reserved = false;             // byte 6 bit 7 (RT)
  bool blank = false;                // byte 6 bit 6: nothing recorded (the invisible track)
  bool next_writable_valid = false;  // byte 7 bit 0
  std::uint32_t start = 0;           // bytes 8-11
  std::uint32_t next_writable = 0;   // bytes 12-15, when valid
  std::uint32_t size = 0;            // bytes 24-27

  // Recorded in part and still open for writing: the track a close must
  // close before its session can be closed.
  bool incomplete() const { return !blank && next_writable_valid; }
};
std::optional<TrackInformation> ReadTrackInformation(platform::ScsiDevice& device, int track);

// The drive's current profile (GET CONFIGURATION); nothing when the command
// fails.
std::optional<std::uint16_t> CurrentProfile(platform::ScsiDevice& device);

// The write parameters page (05h) as a job asks for it.
struct WriteParameters {
  int data_block_type = 8;  // Mode 1, 2048 bytes
  int write_type = 1;       // track at once
  bool buffer_underrun_protection = true;
  bool multisession = false;
  bool test_write = false;
};
// MODE SENSE of page 05h, then MODE SELECT of it with the given fields. For
// DVD-R/-RW the write type is incremental and the link size 16, as those media
// need. A failed MODE SENSE gives a page built from zeros, never stale bytes.
bool SetWriteParameters(platform::ScsiDevice& device, const WriteParameters& parameters);

// The first formattable capacity of READ FORMAT CAPACITIES: its number of
// blocks and the format byte (type in bits 7-2). When the list holds only the
// current capacity: 00FFFFFFh blocks and format byte 98h (type 26h, the
// DVD+RW full format).
struct FormattableCapacity {
  std::uint32_t blocks = 0x00FFFFFF;
  std::uint8_t format_byte = 0x98;
};
std::optional<FormattableCapacity> ReadFormattableCapacity(platform::ScsiDevice& device);

// The current write speed in kB/s from the capabilities page (2Ah): the
// selected write speed (page bytes 28-29), else the older field (20-21);
// nothing when the sense fails or gives 0.
std::optional<long> CurrentWriteSpeed(platform::ScsiDevice& device);

// True when the drive's profile list holds a writable CD or DVD profile, or
// when the drive does not answer the question.
bool DriveIsWriter(platform::ScsiDevice& device);

// The volume space size, in sectors, of an ISO 9660 volume whose primary
// descriptor is at sector 16; 0 when the read fails or holds none.
std::uint32_t ReadIsoVolumeSize(platform::ScsiDevice& device);

}  // namespace zephrel
