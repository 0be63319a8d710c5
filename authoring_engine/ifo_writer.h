// Writers of the DVD-Video information files. Each title is its own title
// set: TitleSetInfoWriter writes VTS_nn_0.IFO and its identical .BUP after the
// title's VOB files are written; ManagerInfoWriter then writes VIDEO_TS.IFO
// and VIDEO_TS.BUP from the main menu and the finished title-set writers.
//
// Every sector address comes from the analysis as the VOB writer left it
// (output sectors, counted through all parts of a movie) and every size from
// the bytes the VOB writer reported, never from the inputs' lengths.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "morvix/status_codes.h"
#include "mpeg_analysis.h"
#include "pgc.h"
#include "progress_throttle.h"

namespace morvix {

// Attribute bytes of the information files: video (2 bytes) and audio
// (8 bytes). Null output or input: -1020 / -1021.
Status VideoAttributeBytes(const VideoAttributes* video, std::uint8_t* out);
Status AudioAttributeBytes(const AudioStreamAttributes* audio, std::uint8_t* out);

struct TitleSetInfo {
  std::filesystem::path output_folder;
  int title_index = 0;               // 0-based; the set is title_index + 1
  const MpegFile* menu = nullptr;    // the written title menu, or null
  std::uint64_t menu_vob_bytes = 0;  // as written
  const std::array<YCrCb, 16>* menu_palette = nullptr;
  const MpegFile* movie = nullptr;    // the written movie
  std::uint64_t movie_vob_bytes = 0;  // all parts, as written
  DiscNavigation disc;
  StepProgress progress;  // step 7; may be empty
};

class TitleSetInfoWriter {
 public:
  // Builds the information file and writes it as IFO and BUP. Returns 0, 1
  // when the progress callback asked to stop, or an error code (-2020 no
  // movie, -4005 with error.file naming the file that could not be written).
  // Files written before a failure stay; the set's own IFO and BUP appear
  // only together and whole.
  Status Write(const TitleSetInfo& info, ErrorContext& error);

  // The information file's bytes (valid after a successful Write).
  const std::vector<std::uint8_t>& ifo() const { return ifo_; }
  // Sectors of the whole title set: IFO, BUP, menu VOB and movie VOBs.
  std::uint32_t set_sectors() const { return set_sectors_; }
  int chapter_count() const { return chapter_count_; }

 private:
  std::vector<std::uint8_t> ifo_;
  std::uint32_t set_sectors_ = 0;
  int chapter_count_ = 0;
};

struct ManagerInfo {
  std::filesystem::path output_folder;
  const MpegFile* menu = nullptr;  // the written main menu, or null
  std::uint64_t menu_vob_bytes = 0;
  const std::array<YCrCb, 16>* menu_palette = nullptr;
  DiscNavigation disc;
  const std::vector<TitleSetInfoWriter>* title_sets = nullptr;  // one per title, all written
  StepProgress progress;                                        // steps 8 and 9; may be empty
};

class ManagerInfoWriter {
 public:
  // Writes VIDEO_TS.IFO and VIDEO_TS.BUP, then reports step 9 at 100.
  // Returns 0, 1 when the progress callback asked to stop, or an error code.
  // The two names appear together, whole, and only as the very last files of
  // the build; a failed write leaves neither.
  Status Write(const ManagerInfo& info, ErrorContext& error);
  const std::vector<std::uint8_t>& ifo() const { return ifo_; }

 private:
  std::vector<std::uint8_t> ifo_;
};

}  // namespace morvix
