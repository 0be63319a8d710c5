// Analysis of one DVD-ready MPEG-2 program stream (a menu clip or a title's
// movie): its VOBUs with their presentation times, the chapters mapped onto
// VOBUs, the split into VOB parts of at most 1 GiB, the cells, and the video
// and audio attributes that the information files need.
//
// The VOB writer reads the cells and fills each VOBU's output sectors; the
// information-file writers read the cells, parts, chapters and attributes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "morvix/status_codes.h"
#include "progress_throttle.h"

namespace morvix {

struct VideoAttributes {
  int tv_system = 1;   // 1 NTSC, 2 PAL
  int size_class = 1;  // 1 = 720 wide, 2 = 704, 3 = 352 full height, 4 = 352 half height
  int aspect = 1;      // 1 = 4:3, 2 = 16:9
  double frame_rate = 29.97002997;
  int mpeg_version = 2;
};

struct AudioStreamAttributes {
  int coding = 0;  // 4 = LPCM, 1 = AC-3, 2 = MPEG audio
  int channels = 2;
  int quantisation = 3;
  int sample_rate = 1;  // 1 = 48 kHz, 2 = 96 kHz (LPCM only)
  int extension = 0;
  std::uint8_t stream_id = 0;  // 0x80..0x87 AC-3, 0xA0..0xA7 LPCM, 0xC0..0xC7 MPEG
  int stream_number() const { return stream_id & 7; }
};

struct Vobu {
  std::int64_t first_pack = 0;  // pack numbers of the input, from 0
  std::int64_t last_pack = 0;
  std::int64_t first_video_pack = -1;  // -1 when the VOBU holds no video
  std::int64_t last_video_pack = -1;
  std::int64_t start_ticks = 0;    // presentation start, 90 kHz (may run past 32 bits)
  std::int64_t end_ticks = 0;      // the next VOBU's start; the last one (or one before a
                                   // clock jump): start + its pictures' display time
  std::int64_t elapsed_ticks = 0;  // presentation time from the file's first VOBU to this one
  bool has_pts = false;            // false: start interpolated from the neighbours
  bool has_video = false;
  int pictures = 0;                    // picture start codes in this VOBU
  std::int64_t fields = 0;             // display fields of those pictures
  std::uint32_t out_first_sector = 0;  // filled by the VOB writer
  std::uint32_t out_last_sector = 0;

  std::uint32_t start_ptm() const { return static_cast<std::uint32_t>(start_ticks); }
  std::uint32_t end_ptm() const { return static_cast<std::uint32_t>(end_ticks); }
  double start_seconds() const { return static_cast<double>(start_ticks) / 90000.0; }
};

struct Cell {
  std::vector<Vobu> vobus;
  int last_video_vobu = -1;      // index in vobus of the last VOBU holding video
  int part = 0;                  // 0-based VOB part
  int cell_number = 0;           // 0-based within its part
  double length = 0.0;           // seconds of presentation
  std::int64_t start_ticks = 0;  // first VOBU's start
  std::int64_t end_ticks = 0;    // last VOBU's end
};

struct Chapter {
  int first_cell = 0;  // 0-based index into cells()
  int part = 0;
  int cell_number = 0;  // within the part
};

struct AnalysisRequest {
  int chapter_count = 1;
  std::vector<double> chapter_starts;  // seconds; empty = none given
  bool menu = false;
  bool main_menu = false;
  // Step 1 (main menu), 3 (title menu) or 5 (movie) with the step percent;
  // may be empty. The caller binds the title index it reports with.
  StepProgress progress;

  // The step this analysis reports as.
  int step() const { return main_menu ? 1 : menu ? 3 : 5; }
};

class MpegFile {
 public:
  static constexpr std::uint64_t kPartBytes = 0x40000000;           // 1 GiB
  static constexpr std::uint64_t kMovieLimitBytes = 9017753600ULL;  // 4,403,200 packs
  static constexpr int kMaxParts = 9;
  static constexpr int kMaxAudioStreams = 8;

  explicit MpegFile(std::filesystem::path path);
  MpegFile(const MpegFile&) = delete;
  MpegFile& operator=(const MpegFile&) = delete;

  // Reads and checks the file. Returns 0, 1 when the progress callback asked
  // to stop, or an error code; on an error error.file names the input. After
  // anything but 0 the object holds no results (cell_count() is -1). Never
  // throws: running out of memory gives -3, any other failure -4006 naming
  // the input.
  Status Analyse(const AnalysisRequest& request, ErrorContext& error) noexcept;

  const std::filesystem::path& path() const { return path_; }
  std::uint64_t length() const { return length_; }
  // The VOB writer grows this by the packs that it inserts into a menu.
  void set_length(std::uint64_t bytes) { length_ = bytes; }

  int cell_count() const { return analysed_ ? static_cast<int>(cells_.size()) : -1; }
  const std::vector<Cell>& cells() const { return cells_; }
  std::vector<Cell>& cells() { return cells_; }
  int part_count() const { return static_cast<int>(part_first_vobu_.size()); }
  // Index (counted through all cells) of the first VOBU of each part.
  const std::vector<int>& part_first_vobu() const { return part_first_vobu_; }
  const std::vector<Chapter>& chapters() const { return chapters_; }
  int chapter_count() const { return static_cast<int>(chapters_.size()); }
  int vobu_count() const;

  const VideoAttributes& video() const { return video_; }
  // Audio streams present, in logical order (logical stream k is audio()[k]).
  const std::vector<AudioStreamAttributes>& audio() const { return audio_; }
  int audio_stream_count() const { return static_cast<int>(audio_.size()); }

  // Test hook: the part size used instead of 1 GiB for cutting movies.
  void set_part_bytes_for_testing(std::uint64_t bytes) { part_bytes_ = bytes; }

 private:
  void Reset();
  Status AnalyseFile(const AnalysisRequest& request, ErrorContext& error);

  std::filesystem::path path_;
  std::uint64_t length_ = 0;
  bool analysed_ = false;
  std::vector<Cell> cells_;
  VideoAttributes video_;
  std::vector<AudioStreamAttributes> audio_;
  std::vector<int> part_first_vobu_;
  std::vector<Chapter> chapters_;
  std::uint64_t part_bytes_ = kPartBytes;
};

}  // namespace morvix
