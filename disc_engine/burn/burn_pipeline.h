// The parts every burn of 2048-byte sectors shares: where on the medium the
// new data starts, the producer's side of the sector FIFO (whole blocks
// assembled from any run of sectors), the drive writer on its own thread, and
// the closing of the track and session in the way the medium needs.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "drive/mmc_drive.h"
#include "image/image_build_job.h"
#include "jobs/job_runner.h"
#include "jobs/sector_fifo.h"

namespace zephrel {

// BurnerOnError number: the data does not fit on the medium.
inline constexpr std::int32_t kErrorNoSpace = 1015;

// What a burn asked to simulate tells when the medium cannot (see
// CanSimulate).
inline constexpr const char* kNoSimulation =
    "This medium cannot be burned in simulation (test write): nothing was written.";

// Sectors per FIFO block for a medium: 27 on CD-R and CD-RW, else 32.
std::uint32_t BlockSectorsFor(int media_code);

// Whether the medium records a test write (simulation): CD-R/RW and
// sequential DVD-R/RW. Elsewhere a simulated burn would burn for real.
bool CanSimulate(MmcDrive& drive, int media_code);

// Whether a burn reserves its track before writing: DVD-R, and DVD-RW
// written in sequence (a restricted-overwrite DVD-RW has no tracks to
// reserve).
bool ReservesTrack(MmcDrive& drive, int media_code);

// The first sector the new data gets: the next writable address of the last
// track. Overwritable media (DVD+RW, BD-RE, DVD-RAM, restricted-overwrite
// DVD-RW) report none and are written from 0; on sequential media a missing
// address means the disc cannot take more data (nothing: *why says so).
std::optional<std::uint32_t> SessionStart(MmcDrive& drive, int media_code, int last_track, std::string* why);

// Formats an overwritable medium that has never been formatted (DVD+RW,
// BD-RE) before it is written, and waits until the drive is ready again.
// False, with the reason told, when that fails.
bool FormatIfUnformatted(MmcDrive& drive, Job& job, int media_code);

// The total capacity of the medium in 2048-byte sectors: what the medium
// reports, else the figure of its media type.
std::uint64_t CapacitySectors(MmcDrive& drive, int media_code);

// The drive writer: takes blocks out of the FIFO and writes them with
// WRITE(10) from the session start, reporting progress (OnBuildingProcess 11
// and BurnerBufferStatus) by whole percent. A failed write raises its text,
// marks the writer failed and stops the FIFO, so the producer stops too. The
// thread is joined before the writer goes (and so before the FIFO it uses).
class DriveWriter {
 public:
  DriveWriter(Job& job, MmcDrive& drive, SectorFifo& fifo, std::uint32_t start);
  ~DriveWriter();
  DriveWriter(const DriveWriter&) = delete;
  DriveWriter& operator=(const DriveWriter&) = delete;

  void Start(std::uint32_t total_sectors);
  void Join();
  // The name of the file the producer reads, for the progress events.
  void SetFileName(const std::string& name);

  bool failed() const { return failed_.load(); }
  std::uint32_t written() const { return written_.load(); }
  std::uint32_t total() const { return total_; }

 private:
  void Run();
  void Report();

  Job& job_;
  MmcDrive& drive_;
  SectorFifo& fifo_;
  const std::uint32_t start_;
  std::uint32_t total_ = 0;
  std::atomic<bool> failed_{false};
  std::atomic<std::uint32_t> written_{0};
  std::mutex name_mutex_;
  std::string file_name_;
  std::thread thread_;
};

// The producer's side of the FIFO: bytes of whole sectors in, written
// straight into the FIFO's next free block, which is queued once full; while
// the FIFO fills for the first time each block queued is reported with
// BurnerBufferStatus. Close completes the last block with zeros and marks the
// end. A block refused (the writer stopped, or the job was cancelled) fails
// with an empty text.
class FifoSink : public ImageSink {
 public:
  FifoSink(SectorFifo& fifo, ISOBuilderEvents& events);
  bool Write(const std::uint8_t* data, std::size_t size, std::string* error) override;
  bool Close(std::string* error) override;

 private:
  bool Queue();

  SectorFifo& fifo_;
  ISOBuilderEvents& events_;
  std::span<std::uint8_t> block_;  // the FIFO's block being filled
  std::size_t fill_ = 0;
};

// Closes the new track and session as the medium needs (new_track is the
// number of the track just written), checking every command; waits until the
// drive is ready again. A failure is told with its text, then
// BurnerOnError(1014). True when everything succeeded.
bool CloseByMedium(MmcDrive& drive, Job& job, int media_code, int new_track, bool multisession);

}  // namespace zephrel
