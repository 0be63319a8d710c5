#include "burn/image_burn.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "burn/burn_pipeline.h"
#include "drive/media.h"
#include "drive/mmc_drive.h"
#include "platform/byte_order.h"
#include "platform/fileio.h"
#include "platform/text.h"

namespace zephrel {
namespace {

constexpr std::size_t kSector = platform::mmc::kSectorSize;
// Whole sectors read at once while feeding.
constexpr std::size_t kFeedSectors = 16;
// The extent of a volume descriptor's root directory record (the big-endian
// half of its both-endian field).
constexpr std::size_t kRootExtent = 156 + 6;
constexpr std::size_t kVolumeSpaceSize = 80;

// The size its primary volume descriptor gives the volume, in sectors (the
// little-endian half of the both-endian field); 0 for another descriptor.
std::uint32_t DeclaredVolumeSectors(std::span<const std::uint8_t, 2048> descriptor) {
  if (descriptor[0] != 1) return 0;
  return platform::GetLe32(descriptor.data() + kVolumeSpaceSize);
}

}  // namespace

std::optional<ImageFormat> DetectImageFormat(platform::File& file, std::span<std::uint8_t, 2048> descriptor) {
  static constexpr ImageFormat kFormats[] = {
      {2048, 0, 16 * 2048},
      {2352, 16, 16 * 2352 + 16},
      {2336, 8, 16 * 2336 + 8},
      {2352, 24, 16 * 2352 + 24},
  };
  for (const ImageFormat& f : kFormats) {
    platform::FileError error;
    std::memset(descriptor.data(), 0, descriptor.size());
    if (file.ReadFullyAt(descriptor.data(), descriptor.size(), f.descriptor_offset, &error) < 6 || error)
      continue;
    if (HoldsVolumeDescriptor(descriptor)) return f;
  }
  return std::nullopt;
}

void BurnImage(Job& job, const std::filesystem::path& image, const ImageBurnSettings& settings) {
  ISOBuilderEvents& events = job.events();
  JobOutcome& outcome = job.outcome();
  outcome.mode_burn = 1;
  outcome.failed = true;
  if (!job.context().device) return events.BurningErrorViewDescription(kNoDevice);
  std::atomic<bool>& cancel = EngineState::Instance().flags.cancel;
  const std::string name = platform::PathToUtf8(image);

  MmcDrive drive(job.context().device);
  const int code = drive.MmcGetMediaTypeCode();
  if (settings.simulate && !CanSimulate(drive, code))
    return events.BurningErrorViewDescription(kNoSimulation);
  const bool multisession = code != kMediaDvdRw;
  drive.MmcSetWriteParameters(mmc::kDataBlockMode1, mmc::kWriteTypeTrackAtOnce, settings.burn_proof,
                              multisession, settings.simulate);
  if (!FormatIfUnformatted(drive, job, code)) {
    drive.MmcAllowRemoval();
    drive.MmcEjectMedium();
    return;
  }
  const int sessions = drive.MmcGetSessionCount().value_or(0);
  const int last_track = drive.MmcGetLastTrackNumber().value_or(-1);
  drive.MmcSetWriteParameters(mmc::kDataBlockMode1, mmc::kWriteTypeTrackAtOnce, settings.burn_proof,
                              multisession, settings.simulate);

  // Refusals before anything is written.
  const auto end_early = [&](bool as_cancel) {
    drive.MmcAllowRemoval();
    drive.MmcEjectMedium();
    if (as_cancel) cancel.store(true);
    outcome.canceled = cancel.load();
    outcome.failed = !as_cancel;
  };
  std::string why;
  const std::optional<std::uint32_t> start = SessionStart(drive, code, last_track, &why);
  if (!start) {
    events.BurningErrorViewDescription(why);
    return end_early(false);
  }
  if (cancel.load()) return end_early(false);
  platform::FileError open_error;
  platform::File file = platform::File::Open(image, platform::File::Mode::kRead, &open_error);
  struct stat st {};
  if (!file.is_open() || ::fstat(file.fd(), &st) != 0 || !S_ISREG(st.st_mode)) {
    events.BurningErrorViewDescription("Can't read : " + name +
                                       (!file.is_open() ? " (" + platform::ErrnoText(open_error.code) + ")"
                                                        : " (it is not a regular file)"));
    return end_early(false);
  }
  std::array<std::uint8_t, 2048> descriptor{};
  const std::optional<ImageFormat> format = DetectImageFormat(file, descriptor);
  if (!format) {
    events.BurnerOnError(kErrorImageFormat);
    return end_early(true);
  }
  const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
  const std::uint64_t sectors = (size + format->sector_bytes - 1) / format->sector_bytes;
  // A cut image would burn as a disc whose file system points past its end.
  if (const std::uint32_t declared = DeclaredVolumeSectors(descriptor);
      std::uint64_t(declared) * format->sector_bytes > size) {
    events.BurningErrorViewDescription("The image " + name + " is shorter than the volume it holds: it has " +
                                       std::to_string(size / format->sector_bytes) +
                                       " whole sectors, its volume declares " + std::to_string(declared) +
                                       ": nothing was written.");
    return end_early(false);
  }
  const std::uint32_t spb = BlockSectorsFor(code);
  const std::uint64_t to_write = (sectors + spb - 1) / spb * spb;
  if (to_write > 0xFFFFFFFFull - *start) {
    events.BurnerOnError(kErrorNoSpace);
    return end_early(true);
  }
  events.OnBuildingProcess(kStatusImageBurnStart, 1, {}, 0, 0, static_cast<std::int32_t>(to_write), 0);
  if (CapacitySectors(drive, code) < *start + to_write) {
    events.BurnerOnError(kErrorNoSpace);
    return end_early(true);
  }
  // An image records absolute sector numbers: one built for an earlier start
  // would be unreadable where this disc is written.
  const std::uint32_t root = platform::GetBe32(descriptor.data() + kRootExtent);
  if (root < *start) {
    events.BurningErrorViewDescription(
        "The image " + name + " was built for a disc that starts at sector 0 (its " +
        "root directory is at sector " + std::to_string(root) + "), but this disc is written from sector " +
        std::to_string(*start) + ": nothing was written.");
    return end_early(false);
  }

  if (ReservesTrack(drive, code)) {
    if (!drive.MmcReserveTrack(static_cast<std::uint32_t>(to_write)).ok()) {
      events.BurningErrorViewDescription("The track cannot be reserved on the disc: nothing was written.");
      return end_early(false);
    }
    drive.MmcSynchronizeCacheImmed();
  }

  SectorFifo fifo(job.context().fifo_mib, spb, &cancel);
  DriveWriter writer(job, drive, fifo, *start);
  FifoSink sink(fifo, events);
  writer.Start(static_cast<std::uint32_t>(to_write));
  writer.SetFileName(name);

  // The feed: user data of every sector, the tail of the last one zeros.
  bool fed = true, feed_failed = false;
  const std::size_t batch = kFeedSectors;
  std::vector<std::uint8_t> in(batch * format->sector_bytes), out(batch * kSector);
  std::uint64_t done = 0;
  file.AdviseSequential();
  while (done < sectors) {
    if (cancel.load() || writer.failed()) {
      fed = false;
      break;
    }
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(batch, sectors - done));
    const std::uint64_t offset = done * format->sector_bytes;
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(n * format->sector_bytes, size - offset));
    platform::FileError read_error;
    std::memset(in.data(), 0, in.size());
    const std::size_t got = file.ReadFullyAt(in.data(), want, offset, &read_error);
    if (read_error || got < want) {
      events.BurningErrorViewDescription("Can't read : " + name +
                                         (!read_error ? " (it is shorter than when the burn began)"
                                                      : " (" + platform::ErrnoText(read_error.code) + ")"));
      fed = false;
      feed_failed = true;
      break;
    }
    const std::uint8_t* data = in.data();
    if (format->sector_bytes != kSector) {
      for (std::size_t i = 0; i < n; ++i)
        std::memcpy(out.data() + i * kSector, in.data() + i * format->sector_bytes + format->user_data_at,
                    kSector);
      data = out.data();
    }
    std::string error;
    if (!sink.Write(data, n * kSector, &error)) {
      fed = false;
      break;
    }
    done += n;
  }
  std::string error;
  if (!fed || !sink.Close(&error)) {
    fed = false;
    fifo.Stop();
  }
  writer.Join();

  bool closed = true;
  if (fed && !writer.failed() && !cancel.load())
    closed = CloseByMedium(drive, job, code, sessions + 1, multisession);
  drive.MmcAllowRemoval();
  drive.MmcEjectMedium();
  outcome.canceled = cancel.load();
  const bool complete = writer.written() == to_write;
  outcome.failed = feed_failed || writer.failed() || !closed || (!outcome.canceled && !complete);
}

}  // namespace zephrel
