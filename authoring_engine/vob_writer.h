// Writes an analysed MPEG-2 program stream as DVD-Video VOB files: the main
// menu as VIDEO_TS.VOB, a title's menu as VTS_nn_0.VOB and a title's movie as
// VTS_nn_1.VOB .. VTS_nn_9.VOB (one file per part of the analysis). The first
// pack of every VOBU becomes a navigation pack; a menu with buttons gets its
// highlight sub-picture inserted right after its first navigation pack.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "morvix/status_codes.h"
#include "mpeg_analysis.h"
#include "progress_throttle.h"
#include "subpicture_encoder.h"

namespace morvix {

struct VobWriteRequest {
  std::filesystem::path output_folder;  // must exist
  bool menu = false;
  int title_index = -1;             // 0-based title; -1 with menu set = the main menu
  std::vector<MenuButton> buttons;  // menus only; at most 36
  ButtonColorSchemes schemes;
  StepProgress progress;  // may be empty; steps 2 (main menu), 4 (title menu), 6 (movie)
  WarningSink warning;    // may be empty
};

// What was written, for the information files.
struct VobWriteResult {
  std::vector<std::filesystem::path> files;  // in part order
  std::vector<std::uint64_t> file_bytes;     // size of each file as written
  int inserted_packs = 0;                    // sub-picture packs of a menu
};

// Size of the buffer for the packs the writer changes (a menu's packs after
// its sub-picture when their clock moves on); everything else moves file to
// file without passing through it.
inline constexpr std::size_t kVobCopyBlock = 1u << 20;

class VobWriter {
 public:
  // Writes file's VOB files. file must have been analysed (with the same
  // menu flag) and be written once per analysis: its VOBUs receive their
  // output sectors (out_first_sector, out_last_sector), which run on through
  // all movie parts of the title set; for a menu the pack numbers of the
  // analysis move up by the inserted packs and length() grows by them.
  // Returns 0, 1 when the progress callback asked to stop, or an error code
  // with error.file set for the errors that name a file. Files written before
  // a failure stay.
  Status WriteVob(MpegFile& file, const VobWriteRequest& request, ErrorContext& error,
                  VobWriteResult* result = nullptr);

  // Test hook: the buffer size (a whole number of packs).
  void set_block_bytes_for_testing(std::size_t bytes) { block_bytes_ = bytes; }

 private:
  std::size_t block_bytes_ = kVobCopyBlock;
};

// Output file name of part (0-based) of a title's movie, of its menu
// (menu set, part ignored) or of the main menu (title_index -1).
std::filesystem::path VobFileName(const std::filesystem::path& folder, bool menu, int title_index, int part);

}  // namespace morvix
