#include "burn/disc_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "drive/media.h"
#include "drive/mmc_drive.h"
#include "drive/toc.h"
#include "image/cue_sheet.h"
#include "image/image_build_job.h"
#include "platform/fileio.h"
#include "platform/text.h"

namespace zephrel {
namespace {

constexpr std::size_t kBatch = 10;
constexpr std::size_t kRawSector = 2352;
constexpr int kManyUnreadable = 20;
constexpr std::uint32_t kProgressEvery = 150;

// The image and sheet this job made: removed again unless the copy is done.
struct Created {
  std::filesystem::path image, sheet;
  bool image_made = false, sheet_made = false, keep = false;
  platform::File file;
  ~Created() {
    file = platform::File();
    if (keep) return;
    std::error_code ec;
    if (image_made) std::filesystem::remove(image, ec);
    if (sheet_made) std::filesystem::remove(sheet, ec);
  }
};

bool Exists(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found;
}

}  // namespace

void CopyDisc(Job& job, const std::filesystem::path& image, bool raw_asked) {
  ISOBuilderEvents& events = job.events();
  JobOutcome& outcome = job.outcome();
  const std::atomic<bool>& rip_cancel = EngineState::Instance().flags.rip_cancel;
  outcome.mode_burn = 2;
  outcome.failed = true;
  const std::string name = platform::PathToUtf8(image);
  const auto fail = [&](const std::string& text) {
    events.BurningErrorViewDescription(text);
    outcome.canceled = rip_cancel.load();
  };

  Created created;
  created.image = image;
  created.sheet = WithExtension(image, "cue");
  // The user's files are never replaced: an existing image or sheet, or one
  // that cannot be made, ends the job before anything is written.
  if (image.filename().empty() || Exists(image) || (raw_asked && Exists(created.sheet))) {
    events.BurnerOnError(kErrorCopyImageCreate);
    return;
  }
  if (!job.context().device) return fail(kNoDevice);
  MmcDrive drive(job.context().device);

  const int code = drive.MmcGetMediaTypeCode();
  const bool raw = raw_asked && IsCdMedia(code);
  const std::size_t sector_bytes = raw ? kRawSector : platform::mmc::kSectorSize;

  if (ReadToc(drive, job.context().drive) != 0 || TrackList::Process().Count() == 0)
    return fail("The table of contents of the disc cannot be read: nothing was copied.");
  const std::vector<TrackRecord> records = TrackList::Process().Records();
  std::vector<DiscCueTrack> tracks;
  std::vector<std::uint32_t> sizes;
  for (const TrackRecord& r : records) {
    if (r.number < 1 || r.number > 99) continue;
    DiscCueTrack t;
    t.number = r.number;
    t.session =
        static_cast<int>(drive.MmcGetTrackSessionNumber(static_cast<std::uint32_t>(r.number)).value_or(0));
    t.start = r.info_start;
    t.data = !r.audio();
    t.pre_emphasis = r.pre_emphasis();
    tracks.push_back(t);
    sizes.push_back(code == kMediaDvdPlusRw ? drive.ReadIsoVolumeSize().value_or(0) : r.info_size);
  }
  if (tracks.empty()) return fail("The disc holds no track: nothing was copied.");

  platform::FileError open_error;
  created.file = platform::File::Open(image, platform::File::Mode::kCreateExclusive, &open_error, 0644);
  if (!created.file.is_open()) {
    events.BurnerOnError(kErrorCopyImageCreate);
    return;
  }
  created.image_made = true;
  if (raw_asked) {
    std::string error;
    const std::string media = code >= kMediaCdRom ? std::string() : MediaTypeName(code);
    if (!WriteDiscCopyCueSheet(image, created.sheet, media, tracks, !raw, &error))
      return fail("The CUE sheet " + platform::PathToUtf8(created.sheet) + " cannot be written: " + error);
    created.sheet_made = true;
  }

  const std::uint32_t disc_sectors = tracks.back().start + sizes.back();
  const auto total = static_cast<std::int32_t>(disc_sectors);
  events.OnBuildingProcess(kStatusCopyStart, static_cast<std::int32_t>(tracks.size()), {}, 0, 0, total, 0);

  std::vector<std::uint8_t> batch(kBatch * sector_bytes), one(sector_bytes), zeros(kBatch * sector_bytes, 0);
  const auto write = [&](const std::uint8_t* data, std::size_t bytes) {
    platform::FileError error;
    if (created.file.WriteAll(data, bytes, &error)) return true;
    fail("Writing the image " + name + " failed: " + platform::ErrnoText(error.code));
    return false;
  };
  const auto read = [&](std::uint32_t lba, std::uint16_t count, std::span<std::uint8_t> buffer) {
    return raw ? drive.MmcReadCd(lba, count, buffer).ok() : drive.MmcReadSectors(lba, count, buffer).ok();
  };
  bool many_reported = false;
  std::uint64_t position = 0;  // the next sector of the image
  for (std::size_t j = 0; j < tracks.size(); ++j) {
    if (rip_cancel.load() || job.stop_token().stop_requested()) {
      outcome.canceled = true;
      outcome.failed = false;
      return;
    }
    events.RipperOnRipTrack(tracks[j].number);
    // Zeros up to the track's start keep image addresses equal to disc ones.
    while (position < tracks[j].start) {
      const std::size_t n =
          static_cast<std::size_t>(std::min<std::uint64_t>(kBatch, tracks[j].start - position));
      if (!write(zeros.data(), n * sector_bytes)) return;
      position += n;
    }
    std::uint32_t address = tracks[j].start, done = 0;
    const std::uint32_t size = sizes[j];
    int errors = 0;
    bool single = false;
    while (done < size) {
      if (rip_cancel.load() || job.stop_token().stop_requested()) {
        outcome.canceled = true;
        outcome.failed = false;
        return;
      }
      if (!single && size - done > kBatch) {
        if (read(address, kBatch, batch)) {
          if (!write(batch.data(), batch.size())) return;
          address += kBatch;
          done += kBatch;
          position += kBatch;
        } else {
          single = true;
          continue;
        }
      } else {
        if (!read(address, 1, one)) {
          // Zeros stand for what could not be read: never another sector's data.
          std::memset(one.data(), 0, one.size());
          events.OnBuildingProcess(kStatusCopyUnreadable, 0, {}, 0, 0, total,
                                   static_cast<std::int32_t>(address));
          ++errors;
          single = true;
        }
        if (!write(one.data(), one.size())) return;
        ++address;
        ++done;
        ++position;
      }
      if (errors >= kManyUnreadable && !many_reported) {
        many_reported = true;
        events.OnBuildingProcess(kStatusCopyManyUnreadable, 0, {}, 0, 0, total,
                                 static_cast<std::int32_t>(address));
      }
      if (done % kProgressEvery == 0 || done == size)
        events.OnBuildingProcess(kStatusCopyProgress, 0, {}, 0, 0, total, static_cast<std::int32_t>(address));
    }
  }
  if (::fsync(created.file.fd()) != 0 && errno != EINVAL)
    return fail("Writing the image " + name + " failed: " + platform::ErrnoText(errno));
  platform::FileError close_error;
  if (!created.file.Close(&close_error))
    return fail("Writing the image " + name + " failed: " + platform::ErrnoText(close_error.code));
  outcome.canceled = rip_cancel.load();
  outcome.failed = false;
  created.keep = true;
}

}  // namespace zephrel
