#include "audio/cd_rip.h"

#include <algorithm>
#include <vector>

#include "platform/cd_sector.h"

namespace zephrel {

namespace {

std::uint32_t BlockSectors(std::uint32_t remaining) {
  return remaining > kRipBlockSectors ? kRipBlockSectors : 1;
}

int WholePercent(std::uint64_t done, std::uint64_t total) {
  return total == 0 ? 100 : static_cast<int>(done * 100 / total);
}

// Sectors from lba to the next track's start when lba lies after the own end
// of a track that is shorter than its place in the table of contents.
std::uint32_t GapSectorsAt(const CdToc& toc, std::uint32_t lba) {
  for (std::size_t i = 0; i + 1 < toc.tracks.size(); ++i) {
    if (toc.tracks[i].own_length <= 0) continue;
    const std::uint32_t own_end =
        RipFirstLba(toc.tracks[i]) + static_cast<std::uint32_t>(toc.tracks[i].own_length);
    const std::uint32_t next = RipFirstLba(toc.tracks[i + 1]);
    if (lba >= own_end && lba < next) return next - lba;
  }
  return 0;
}

}  // namespace

bool FileRipSink::Write(std::span<const std::uint8_t> bytes, std::string* error) {
  platform::FileError fe;
  if (file_.WriteAll(bytes.data(), bytes.size(), &fe)) return true;
  *error = fe.message;
  return false;
}

std::uint32_t RipFirstLba(const CdTocTrack& track) {
  return track.start > platform::kCdMsfOffset
             ? static_cast<std::uint32_t>(track.start - platform::kCdMsfOffset)
             : 0;
}

TrackRipResult RipTrackSectors(CdAudioReader& reader, std::uint32_t first_lba, std::uint32_t sectors,
                               RipSink& sink, const std::atomic<bool>& rip_cancel,
                               const std::atomic<bool>& track_cancel,
                               const std::function<void(int)>& percent) {
  TrackRipResult result;
  std::vector<std::uint8_t> block(kRipBlockSectors * platform::kCdRawSectorSize);
  int last_percent = 0;
  while (result.sectors_done < sectors) {
    if (rip_cancel.load() || track_cancel.load()) {
      result.canceled = true;
      return result;
    }
    const std::uint32_t count = BlockSectors(sectors - result.sectors_done);
    CdReadFailure failure;
    const std::uint32_t read = reader.Read(first_lba + result.sectors_done, count, block, &failure);
    std::string error;
    if (read > 0 && !sink.Write(std::span(block).first(read * platform::kCdRawSectorSize), &error)) {
      result.error = error;
      return result;
    }
    result.sectors_done += read;
    if (read < count) {
      result.error = failure.text;
      return result;
    }
    const int now = WholePercent(result.sectors_done, sectors);
    if (now != last_percent) {
      last_percent = now;
      if (percent) percent(now);
    }
  }
  return result;
}

DiscRipResult RipDiscSectors(CdAudioReader& reader, const CdToc& toc, RipSink& sink,
                             const std::atomic<bool>& cancel, const std::function<void(int, int)>& progress,
                             const std::function<void(const std::string&)>& read_error) {
  DiscRipResult result;
  const std::uint32_t end = toc.lead_out > platform::kCdMsfOffset
                                ? static_cast<std::uint32_t>(toc.lead_out - platform::kCdMsfOffset)
                                : 0;
  std::vector<std::uint8_t> block(kRipBlockSectors * platform::kCdRawSectorSize);
  std::size_t bad_track = toc.tracks.size();
  int bad_count = 0;
  int last_track = -1, last_percent = -1;

  // The track holding lba: the last one that starts at or before it, the first at the least.
  auto track_of = [&toc](std::uint32_t lba) {
    std::size_t i = 0;
    while (i + 1 < toc.tracks.size() && RipFirstLba(toc.tracks[i + 1]) <= lba) ++i;
    return i;
  };

  std::uint32_t lba = 0;
  while (lba < end) {
    if (cancel.load()) {
      result.canceled = true;
      return result;
    }
    std::uint32_t count = BlockSectors(end - lba);
    std::uint32_t done = 0;
    // Between a session's last track and the next session nothing is recorded:
    // zeros stand for those sectors, as the sheet's positions count them.
    if (const std::uint32_t gap = GapSectorsAt(toc, lba); gap > 0) {
      count = std::min({gap, end - lba, kRipBlockSectors});
      std::fill_n(block.begin(), count * platform::kCdRawSectorSize, 0);
      done = count;
    }
    while (done < count) {
      CdReadFailure failure;
      auto part = std::span(block).subspan(done * platform::kCdRawSectorSize);
      const std::uint32_t read = reader.Read(lba + done, count - done, part, &failure);
      done += read;
      if (done == count) break;
      // The sector at lba + done is bad: zeros in its place, and on.
      std::fill_n(part.begin() + read * platform::kCdRawSectorSize, platform::kCdRawSectorSize, 0);
      if (read_error) read_error(failure.text);
      const std::size_t track = toc.tracks.empty() ? 0 : track_of(lba + done);
      if (track != bad_track) {
        bad_track = track;
        bad_count = 0;
      }
      if (++bad_count >= kDiscRipBadSectorLimit) {
        result.error = failure.text;
        return result;
      }
      ++done;
    }
    std::string error;
    if (!sink.Write(std::span(block).first(count * platform::kCdRawSectorSize), &error)) {
      result.error = error;
      return result;
    }
    lba += count;
    result.sectors_done += count;
    if (!toc.tracks.empty() && progress) {
      const std::size_t track = track_of(lba - 1);
      const std::uint32_t start = RipFirstLba(toc.tracks[track]);
      int now = WholePercent(lba - start, static_cast<std::uint64_t>(std::max(toc.TocLength(track), 1)));
      now = std::min(now == 99 ? 100 : now, 100);
      if (static_cast<int>(track) != last_track || now != last_percent) {
        last_track = static_cast<int>(track);
        last_percent = now;
        progress(last_track, now);
      }
    }
  }
  return result;
}

}  // namespace zephrel
