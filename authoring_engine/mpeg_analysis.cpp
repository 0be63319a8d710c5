#include "mpeg_analysis.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <system_error>

#include "mpeg_scanner.h"
#include "platform/fileio.h"
#include "platform/text.h"

namespace morvix {
namespace {

constexpr std::size_t kReadBlock = 1u << 20;  // 1 MiB, a whole number of packs

std::int64_t FrameTicks(const VideoAttributes& video) {
  return video.tv_system == 2 ? mpeg::kPalFrameTicks : mpeg::kNtscFrameTicks;
}

// How long a VOBU's pictures are shown, in 90 kHz ticks.
std::int64_t Duration(const Vobu& v, std::int64_t frame) { return v.fields * frame / 2; }

// Settles every VOBU's start and end: the first picture's PTS less its
// temporal reference (open GOPs present B pictures before the I picture);
// VOBUs without a usable PTS follow on from their neighbours.
std::vector<Vobu> SettleTimes(const std::vector<mpeg::ScannedVobu>& scanned, std::int64_t frame) {
  std::vector<Vobu> out(scanned.size());
  std::int64_t wrap_offset = 0;
  std::int64_t last_known = -1;
  for (std::size_t i = 0; i < scanned.size(); ++i) {
    const mpeg::ScannedVobu& s = scanned[i];
    Vobu& v = out[i];
    v.first_pack = s.first_pack;
    v.last_pack = s.last_pack;
    v.first_video_pack = s.first_video_pack;
    v.last_video_pack = s.last_video_pack;
    v.has_video = s.first_video_pack >= 0;
    v.pictures = s.pictures;
    v.fields = s.fields;
    if (s.first_picture_has_pts) {
      std::int64_t pts = s.first_picture_pts + wrap_offset;
      if (last_known >= 0 && pts + (std::int64_t{1} << 32) < last_known) {
        wrap_offset += std::int64_t{1} << 33;  // the 33-bit clock wrapped
        pts += std::int64_t{1} << 33;
      }
      last_known = pts;
      v.has_pts = true;
      v.start_ticks = pts - static_cast<std::int64_t>(s.first_picture_temporal_reference) * frame;
    }
  }
  std::size_t first_known = out.size();
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i].has_pts) {
      first_known = i;
      break;
    }
  }
  if (first_known == out.size()) {
    std::int64_t t = 0;
    for (Vobu& v : out) {
      v.start_ticks = t;
      t += Duration(v, frame);
    }
  } else {
    for (std::size_t i = first_known; i-- > 0;) {
      out[i].start_ticks = out[i + 1].start_ticks - Duration(out[i], frame);
    }
    for (std::size_t i = first_known + 1; i < out.size(); ++i) {
      if (!out[i].has_pts) out[i].start_ticks = out[i - 1].start_ticks + Duration(out[i - 1], frame);
    }
  }
  // A VOBU ends where the next one starts, unless the clock jumps there (a
  // joined stream): then it ends after its own pictures. The elapsed time
  // runs on across such jumps.
  std::int64_t elapsed = 0;
  for (std::size_t i = 0; i < out.size(); ++i) {
    Vobu& v = out[i];
    const std::int64_t own = Duration(v, frame);
    v.end_ticks = v.start_ticks + own;
    if (i + 1 < out.size()) {
      const std::int64_t gap = out[i + 1].start_ticks - v.start_ticks;
      if (gap >= 0 && gap <= 2 * own + mpeg::kTicksPerSecond / 2) v.end_ticks = out[i + 1].start_ticks;
    }
    v.elapsed_ticks = elapsed;
    elapsed += v.end_ticks - v.start_ticks;
  }
  return out;
}

}  // namespace

MpegFile::MpegFile(std::filesystem::path path) : path_(std::move(path)) {}

void MpegFile::Reset() {
  analysed_ = false;
  cells_.clear();
  video_ = VideoAttributes{};
  audio_.clear();
  part_first_vobu_.clear();
  chapters_.clear();
}

int MpegFile::vobu_count() const {
  int n = 0;
  for (const Cell& c : cells_) n += static_cast<int>(c.vobus.size());
  return n;
}

Status MpegFile::Analyse(const AnalysisRequest& request, ErrorContext& error) noexcept {
  Status status = kOk;
  try {
    status = AnalyseFile(request, error);
  } catch (const std::bad_alloc&) {
    status = kErrOutOfMemory;
  } catch (...) {
    try {
      status = error.Fail(kErrReadFile, platform::PathToWide(path_));
    } catch (...) {
      status = kErrOutOfMemory;
    }
  }
  if (status != kOk) Reset();
  return status;
}

Status MpegFile::AnalyseFile(const AnalysisRequest& request, ErrorContext& error) {
  Reset();
  ProgressThrottle progress(request.progress, request.step());
  const std::wstring name = platform::PathToWide(path_);
  if (progress.Report(0.0) != 0) return kStopped;

  std::error_code ec;
  if (!std::filesystem::exists(path_, ec)) return error.Fail(kErrNoFile, name);
  const int chapter_count = std::max(1, request.chapter_count);
  if (chapter_count > 1 && request.chapter_starts.size() < static_cast<std::size_t>(chapter_count)) {
    return kErrInvalidChapterStart;
  }

  // The open never waits (a FIFO or a device is refused here at once).
  platform::FileError ferr;
  platform::File in = platform::File::Open(path_, platform::File::Mode::kRead, &ferr);
  if (!in.is_open()) return error.Fail(kErrOpenFile, name);
  struct stat st {};
  if (::fstat(in.fd(), &st) != 0 || !S_ISREG(st.st_mode)) return error.Fail(kErrOpenFile, name);
  const std::uint64_t length = static_cast<std::uint64_t>(st.st_size);
  if (length % mpeg::kPackSize != 0) return error.Fail(kErrMpegLength, name);
  if (request.menu && length >= kPartBytes) return error.Fail(kErrMenuTooLarge, name);
  if (length >= kMovieLimitBytes) return error.Fail(kErrMpegTooLarge, name);
  if (length == 0) return error.Fail(kErrMpegFormat, name);
  in.AdviseSequential();

  // Scan: one sequential pass in large blocks.
  const std::size_t block = static_cast<std::size_t>(std::min<std::uint64_t>(kReadBlock, length));
  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[block]);
  if (!buffer) return kErrOutOfMemory;
  const std::int64_t packs = static_cast<std::int64_t>(length / mpeg::kPackSize);
  mpeg::StreamScanner scanner;
  std::int64_t pack = 0;
  std::uint64_t offset = 0;
  while (offset < length) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(block, length - offset));
    const std::size_t got = in.ReadFully(buffer.get(), want, &ferr);
    // The length was checked above: a short read here is an I/O fault (or the
    // file shrank), never the end of the stream.
    if (ferr || got != want) return error.Fail(kErrReadFile, name);
    for (std::size_t at = 0; at < want; at += mpeg::kPackSize, ++pack) {
      const Status status = scanner.AddPack(buffer.get() + at, pack);
      if (status != kOk) return error.Fail(status, name);
    }
    offset += want;
    if (progress.Report(static_cast<double>(pack) / static_cast<double>(packs) * 99.0) != 0) return kStopped;
  }
  buffer.reset();
  if (const Status status = scanner.Finish(packs); status != kOk) return error.Fail(status, name);

  const std::int64_t frame = FrameTicks(scanner.video());
  std::vector<Vobu> vobus = SettleTimes(scanner.vobus(), frame);
  const int vobu_total = static_cast<int>(vobus.size());

  // Chapters: each starts at the first VOBU (after the previous chapter's)
  // whose elapsed time lies past the chapter time.
  std::vector<int> chapter_vobu{0};
  for (int c = 1; c < chapter_count; ++c) {
    const double start = request.chapter_starts[static_cast<std::size_t>(c)];
    int k = chapter_vobu.back() + 1;
    while (k < vobu_total &&
           !(static_cast<double>(vobus[static_cast<std::size_t>(k)].elapsed_ticks) / 90000.0 > start)) {
      ++k;
    }
    if (k >= vobu_total) return error.Fail(kErrChapterPastEnd, name);
    chapter_vobu.push_back(k);
  }

  // Parts of at most part_bytes_, cut at VOBU boundaries.
  std::vector<int> part_first{0};
  if (!request.menu && length > part_bytes_) {
    std::uint64_t total = 0;
    for (int i = 0; i < vobu_total; ++i) {
      const Vobu& v = vobus[static_cast<std::size_t>(i)];
      const std::uint64_t bytes =
          static_cast<std::uint64_t>(v.last_pack - v.first_pack + 1) * mpeg::kPackSize;
      if (bytes > part_bytes_) return error.Fail(kErrMpegFormat, name);
      if (total > 0 && total + bytes > part_bytes_) {
        part_first.push_back(i);
        total = 0;
      }
      total += bytes;
    }
  }
  if (static_cast<int>(part_first.size()) > kMaxParts) return error.Fail(kErrMpegTooLarge, name);

  // Cells: one at every part start and every chapter start.
  std::vector<int> cell_first = part_first;
  cell_first.insert(cell_first.end(), chapter_vobu.begin(), chapter_vobu.end());
  std::sort(cell_first.begin(), cell_first.end());
  cell_first.erase(std::unique(cell_first.begin(), cell_first.end()), cell_first.end());

  std::vector<Cell> cells;
  int part = -1;
  int number_in_part = 0;
  for (std::size_t c = 0; c < cell_first.size(); ++c) {
    const int first = cell_first[c];
    const int end = c + 1 < cell_first.size() ? cell_first[c + 1] : vobu_total;
    if (part + 1 < static_cast<int>(part_first.size()) &&
        part_first[static_cast<std::size_t>(part + 1)] == first) {
      ++part;
      number_in_part = 0;
    }
    Cell cell;
    cell.part = part;
    cell.cell_number = number_in_part++;
    cell.vobus.assign(vobus.begin() + first, vobus.begin() + end);
    for (int i = 0; i < static_cast<int>(cell.vobus.size()); ++i) {
      if (cell.vobus[static_cast<std::size_t>(i)].has_video) cell.last_video_vobu = i;
    }
    cell.start_ticks = cell.vobus.front().start_ticks;
    cell.end_ticks = cell.vobus.back().end_ticks;
    const Vobu& last = cell.vobus.back();
    cell.length = static_cast<double>(last.elapsed_ticks + (last.end_ticks - last.start_ticks) -
                                      cell.vobus.front().elapsed_ticks) /
                  90000.0;
    cells.push_back(std::move(cell));
  }

  std::vector<Chapter> chapters;
  for (int first_vobu : chapter_vobu) {
    const auto it = std::find(cell_first.begin(), cell_first.end(), first_vobu);
    const int index = static_cast<int>(it - cell_first.begin());
    const Cell& cell = cells[static_cast<std::size_t>(index)];
    chapters.push_back(Chapter{index, cell.part, cell.cell_number});
  }

  length_ = length;
  video_ = scanner.video();
  audio_ = scanner.audio();
  cells_ = std::move(cells);
  part_first_vobu_ = std::move(part_first);
  chapters_ = std::move(chapters);
  analysed_ = true;
  if (progress.Report(100.0) != 0) {
    Reset();
    return kStopped;
  }
  return kOk;
}

}  // namespace morvix
