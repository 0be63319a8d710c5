#include "vob_writer.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

#include "mpeg_format.h"
#include "nav_commands.h"
#include "nav_pack.h"
#include "platform/fileio.h"
#include "platform/text.h"

namespace morvix {
namespace {

constexpr std::uint64_t kPack = mpeg::kPackSize;
constexpr int kMaxVobTitles = 99;
constexpr std::uint64_t kWriteBackBytes = 32u << 20;
static_assert(kVobCopyBlock % mpeg::kPackSize == 0);

// One VOBU in file order with its place in the cell table and its output
// packs.
struct VobuRef {
  int cell = 0;
  int index = 0;  // within the cell
  std::int64_t in_first = 0;
  std::int64_t in_last = 0;
  std::int64_t out_first = 0;
  std::int64_t out_last = 0;
  std::int64_t out_last_video = -1;
};

std::uint32_t Low32(std::int64_t ticks) {
  return static_cast<std::uint32_t>(std::max<std::int64_t>(ticks, 0));
}

int StepOf(const VobWriteRequest& r) {
  if (!r.menu) return 6;
  return r.title_index < 0 ? 2 : 4;
}

// The navigation data of the VOBU vobus[n] (all but the highlight).
Status DescribeVobu(const MpegFile& file, const std::vector<VobuRef>& vobus, std::size_t n, int rate,
                    NavPackInfo& info) {
  const VobuRef& ref = vobus[n];
  const Cell& cell = file.cells()[static_cast<std::size_t>(ref.cell)];
  const Vobu& v = cell.vobus[static_cast<std::size_t>(ref.index)];
  info.lbn = static_cast<std::uint32_t>(ref.out_first);
  info.s_ptm = Low32(v.start_ticks);
  info.e_ptm = Low32(v.end_ticks);
  info.se_e_ptm = ref.index == cell.last_video_vobu ? Low32(cell.end_ticks) : 0;
  const double elapsed = static_cast<double>(std::max<std::int64_t>(0, v.start_ticks - cell.start_ticks)) /
                         static_cast<double>(mpeg::kTicksPerSecond);
  if (EncodePlaybackTime(elapsed, rate, info.c_eltm) != kOk) return kErrMpegFormat2;
  info.vobu_ea = static_cast<std::uint32_t>(ref.out_last - ref.out_first);
  info.first_ref_ea =
      ref.out_last_video >= 0 ? static_cast<std::uint32_t>(ref.out_last_video - ref.out_first) : 0;
  info.vob_idn = static_cast<std::uint16_t>(cell.part + 1);
  info.c_idn = static_cast<std::uint8_t>(cell.cell_number + 1);
  for (std::size_t j = n + 1; j < vobus.size() && vobus[j].cell == ref.cell; ++j) {
    const Vobu& later = cell.vobus[static_cast<std::size_t>(vobus[j].index)];
    if (j == n + 1) {
      info.next_vobu = static_cast<std::uint32_t>(vobus[j].out_first - ref.out_first);
      info.next_vobu_has_video = later.has_video;
    }
    if (later.has_video) {
      info.next_video = static_cast<std::uint32_t>(vobus[j].out_first - ref.out_first);
      break;
    }
  }
  return kOk;
}

}  // namespace

std::filesystem::path VobFileName(const std::filesystem::path& folder, bool menu, int title_index, int part) {
  char name[32];
  if (menu && title_index < 0) {
    std::snprintf(name, sizeof name, "VIDEO_TS.VOB");
  } else if (menu) {
    std::snprintf(name, sizeof name, "VTS_%02d_0.VOB", title_index + 1);
  } else {
    std::snprintf(name, sizeof name, "VTS_%02d_%d.VOB", title_index + 1, part + 1);
  }
  return folder / name;
}

Status VobWriter::WriteVob(MpegFile& file, const VobWriteRequest& request, ErrorContext& error,
                           VobWriteResult* result) {
  ProgressThrottle progress(request.progress, StepOf(request));
  if (progress.Report(0.0) != 0) return kStopped;
  if ((!request.menu && request.title_index < 0) || request.title_index >= kMaxVobTitles) {
    return kErrInvalidTitleNumber;
  }
  const std::wstring input_name = platform::PathToWide(file.path());
  if (file.cell_count() <= 0) return error.Fail(kErrMpegFormat2, input_name);

  std::vector<VobuRef> vobus;
  for (int c = 0; c < file.cell_count(); ++c) {
    const Cell& cell = file.cells()[static_cast<std::size_t>(c)];
    for (int i = 0; i < static_cast<int>(cell.vobus.size()); ++i) {
      const Vobu& v = cell.vobus[static_cast<std::size_t>(i)];
      vobus.push_back(VobuRef{c, i, v.first_pack, v.last_pack, v.first_pack, v.last_pack, v.last_video_pack});
    }
  }
  if (vobus.empty() || vobus.front().in_first != 0) return error.Fail(kErrMpegFormat2, input_name);
  const std::int64_t in_packs = vobus.back().in_last + 1;

  // The highlight sub-picture, shown from the first VOBU's start on.
  const bool highlight = request.menu && !request.buttons.empty();
  std::vector<std::uint8_t> spu_packs;
  if (highlight) {
    if (request.buttons.size() > static_cast<std::size_t>(nav::kMaxButtons))
      return kErrInternalUnknownCommand;
    ButtonMap map;
    std::filesystem::path failing_mask;
    if (MakeButtonMap(request.buttons, request.warning, map, &failing_mask) != kOk) {
      if (!failing_mask.empty()) error.file = platform::PathToWide(failing_mask);
      return kErrInternalUnknownCommand;
    }
    const std::int64_t start = file.cells().front().vobus.front().start_ticks;
    const auto pts =
        static_cast<std::uint64_t>(std::max<std::int64_t>(start, 0)) & ((std::uint64_t{1} << 33) - 1);
    const Status s = EncodeHighlight(map, pts, request.schemes, spu_packs);
    if (s == kErrSubpictureTooLarge) return error.Fail(s, input_name);
    if (s != kOk) return kErrInternalTooManyPrograms;
  }
  // The sub-picture packs go right after the first navigation pack, so that
  // the unit has arrived before the first picture is shown; every later
  // pack moves up by them.
  const auto inserted = static_cast<std::int64_t>(spu_packs.size() / kPack);
  const std::int64_t insert_after = inserted > 0 ? vobus.front().in_first : -1;
  const auto out_sector = [&](std::int64_t pack) { return pack > insert_after ? pack + inserted : pack; };
  for (VobuRef& ref : vobus) {
    ref.out_first = out_sector(ref.in_first);
    ref.out_last = out_sector(ref.in_last);
    if (ref.out_last_video >= 0) ref.out_last_video = out_sector(ref.out_last_video);
  }

  // Part boundaries as input pack numbers.
  std::vector<std::int64_t> part_start;
  {
    std::vector<int> firsts = file.part_first_vobu();
    if (request.menu || firsts.empty()) firsts = {0};
    for (const int first : firsts) {
      if (first < 0 || static_cast<std::size_t>(first) >= vobus.size())
        return error.Fail(kErrMpegFormat2, input_name);
      part_start.push_back(vobus[static_cast<std::size_t>(first)].in_first);
    }
  }

  platform::FileError ferr;
  platform::File in = platform::File::Open(file.path(), platform::File::Mode::kRead, &ferr);
  if (!in.is_open()) return error.Fail(kErrOpenFile, input_name);
  in.AdviseSequential();
  // Packs the writer changes pass through this buffer; the rest of a VOBU
  // moves file to file without it (in the kernel where it can).
  const std::size_t block_packs = std::max<std::size_t>(1, block_bytes_ / kPack);
  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[block_packs * kPack]);
  if (!buffer) return kErrOutOfMemory;
  const auto read_packs = [&](std::int64_t first, std::size_t count) {
    return in.ReadFullyAt(buffer.get(), count * kPack, static_cast<std::uint64_t>(first) * kPack, &ferr) ==
           count * kPack;
  };

  const int rate = FrameRateSelector(file.video().tv_system);
  std::uint64_t scr_shift = 0;  // 27 MHz units added to every pack after the insertion
  VobWriteResult written;
  platform::File out;
  std::size_t part = 0;
  std::filesystem::path out_path;
  std::uint64_t written_back = 0;  // bytes of the current file handed to the disk

  for (std::size_t n = 0; n < vobus.size(); ++n) {
    const VobuRef& ref = vobus[n];
    if (n == 0 || (part + 1 < part_start.size() && ref.in_first == part_start[part + 1])) {
      if (n > 0) {
        if (!out.Close(&ferr)) return error.Fail(kErrWriteFile, platform::PathToWide(out_path));
        ++part;
      }
      out_path =
          VobFileName(request.output_folder, request.menu, request.title_index, static_cast<int>(part));
      out = platform::File::Open(out_path, platform::File::Mode::kCreateTruncate, &ferr);
      if (!out.is_open()) return error.Fail(kErrOpenForWrite, platform::PathToWide(out_path));
      written.files.push_back(out_path);
      written.file_bytes.push_back(0);
      written_back = 0;
    }
    const auto write = [&](const std::uint8_t* data, std::size_t bytes) {
      if (!out.WriteAll(data, bytes, &ferr)) return false;
      written.file_bytes.back() += bytes;
      return true;
    };

    // The navigation pack.
    if (!read_packs(ref.in_first, 1)) return error.Fail(kErrReadFile, input_name);
    std::uint8_t* nav = buffer.get();
    if (scr_shift != 0) WriteScr(nav, ReadScr(nav) + scr_shift);
    NavPackInfo info;
    if (const Status s = DescribeVobu(file, vobus, n, rate, info); s != kOk) return error.Fail(s, input_name);
    Highlight hl;
    if (highlight) {
      hl.hli_ss = ref.index == 0 ? 1 : 2;
      hl.s_ptm = info.s_ptm;
      hl.buttons = &request.buttons;
      hl.schemes = &request.schemes;
      info.highlight = &hl;
    }
    if (const Status s = FillNavPack(nav, info); s != kOk) {
      return s == kErrMpegFormat ? error.Fail(s, input_name) : s;
    }
    if (!write(nav, kPack)) return error.Fail(kErrWriteFile, platform::PathToWide(out_path));

    if (ref.in_first == insert_after) {
      // The sub-picture packs are clocked on from the pack before them; the
      // later packs move on when there is no room.
      const std::uint64_t duration = PackDuration(nav);
      std::uint64_t scr = ReadScr(nav);
      for (std::int64_t k = 0; k < inserted; ++k) {
        scr += duration;
        WriteScr(spu_packs.data() + static_cast<std::size_t>(k) * kPack, scr);
      }
      if (ref.in_first + 1 < in_packs) {
        std::uint8_t next[mpeg::kPackHeaderSize];
        if (in.ReadFullyAt(next, sizeof next, static_cast<std::uint64_t>(ref.in_first + 1) * kPack, &ferr) !=
            sizeof next) {
          return error.Fail(kErrReadFile, input_name);
        }
        const std::uint64_t next_scr = ReadScr(next);
        if (scr + duration > next_scr) scr_shift = scr + duration - next_scr;
      }
      if (!write(spu_packs.data(), spu_packs.size()))
        return error.Fail(kErrWriteFile, platform::PathToWide(out_path));
    }

    // The rest of the VOBU, as it is unless its clock moves on.
    std::int64_t pack = ref.in_first + 1;
    if (scr_shift == 0 && pack <= ref.in_last) {
      const auto bytes = static_cast<std::uint64_t>(ref.in_last + 1 - pack) * kPack;
      const std::uint64_t copied = out.CopyFrom(in, static_cast<std::uint64_t>(pack) * kPack, bytes, &ferr);
      if (ferr) return error.Fail(kErrWriteFile, platform::PathToWide(out_path));
      if (copied != bytes) return error.Fail(kErrReadFile, input_name);
      written.file_bytes.back() += bytes;
      pack = ref.in_last + 1;
    }
    while (pack <= ref.in_last) {
      const auto count = static_cast<std::size_t>(
          std::min<std::int64_t>(ref.in_last + 1 - pack, static_cast<std::int64_t>(block_packs)));
      if (!read_packs(pack, count)) return error.Fail(kErrReadFile, input_name);
      for (std::size_t k = 0; k < count; ++k) {
        std::uint8_t* p = buffer.get() + k * kPack;
        WriteScr(p, ReadScr(p) + scr_shift);
      }
      if (!write(buffer.get(), count * kPack))
        return error.Fail(kErrWriteFile, platform::PathToWide(out_path));
      pack += static_cast<std::int64_t>(count);
    }
    // Hand what is written to the disk as the file grows.
    if (written.file_bytes.back() - written_back >= kWriteBackBytes) {
      out.StartWriteBack(written_back, written.file_bytes.back() - written_back);
      written_back = written.file_bytes.back();
    }
    if (progress.Report(static_cast<double>(n + 1) / static_cast<double>(vobus.size()) * 100.0) != 0) {
      return kStopped;
    }
  }
  if (!out.Close(&ferr)) return error.Fail(kErrWriteFile, platform::PathToWide(out_path));

  // The analysis now describes the files written.
  for (const VobuRef& ref : vobus) {
    Vobu& v = file.cells()[static_cast<std::size_t>(ref.cell)].vobus[static_cast<std::size_t>(ref.index)];
    v.first_pack = ref.out_first;
    v.last_pack = ref.out_last;
    if (v.first_video_pack >= 0) v.first_video_pack = out_sector(v.first_video_pack);
    if (v.last_video_pack >= 0) v.last_video_pack = ref.out_last_video;
    v.out_first_sector = static_cast<std::uint32_t>(ref.out_first);
    v.out_last_sector = static_cast<std::uint32_t>(ref.out_last);
  }
  file.set_length(file.length() + static_cast<std::uint64_t>(inserted) * kPack);
  written.inserted_packs = static_cast<int>(inserted);
  if (result != nullptr) *result = std::move(written);
  if (progress.Report(100.0) != 0) return kStopped;
  return kOk;
}

}  // namespace morvix
