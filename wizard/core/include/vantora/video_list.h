// The video list of step 1: its rows, how a file is probed before it becomes
// a row, the names the rows convert to, and the size estimate shown beside the
// list and on the capacity gauge.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "vantora/media_probe.h"

namespace vantora {

// The authoring engine holds at most this many titles.
inline constexpr int kMaxTitles = 99;

// One row of the video list.
struct VideoRow {
  std::string text;                 // the row's caption: "01 - holiday.avi"
  std::filesystem::path source;     // the user's video (the row's key)
  std::filesystem::path converted;  // the converted MPEG file; empty until its conversion succeeded
  int seconds = 0;                  // whole seconds of the source
  bool has_audio = false;
  bool has_video = false;
};

// Probes media files. Probe is called from several threads at once.
class MediaProber {
 public:
  virtual ~MediaProber() = default;
  virtual ProbeOutcome Probe(const std::filesystem::path& file) = 0;
};

// The prober over ffprobe.
class FfprobeProber final : public MediaProber {
 public:
  explicit FfprobeProber(EncoderTools tools) : tools_(std::move(tools)) {}
  ProbeOutcome Probe(const std::filesystem::path& file) override { return ProbeMedia(tools_, file); }

 private:
  const EncoderTools tools_;
};

// "01 - holiday.avi": the number with at least two digits, " - ", the title.
std::string RowCaption(int number, const std::string& title);

// The file name a row converts to: the caption up to and including its last
// ".", then "mpg" ("03 - trip.avi" gives "03 - trip.mpg"); a caption without
// "." gives the caption and ".mpg".
std::string ConvertedFileBaseName(const std::string& row_text);

// The converted file of every row, in row order, inside folder. A converted
// row keeps its file; the others get the name above, made unique with
// " (2)", " (3)", ... so that no two rows share a file and no file is any
// row's source.
std::vector<std::filesystem::path> AssignConvertedFiles(const std::vector<VideoRow>& rows,
                                                        const std::filesystem::path& folder);

struct SizeEstimate {
  std::int32_t kilobytes = 0;  // EstimatedSizeKB
  int gauge_megabytes = 0;     // the gauge's value
  std::string size_text;       // "Estimated size : 120.8 MB"
  std::string duration_text;   // the total duration, "mm:ss"
};

// The payload estimate of the rows at the given rates (kbit/s); a converted
// row counts with its file's size (0 when it has vanished).
SizeEstimate EstimateSize(const std::vector<VideoRow>& rows, int video_kbps, int audio_kbps);

// megabytes to two decimals (halves to even), trailing zeros dropped: "120.8".
std::string MegabytesText(double megabytes);

// True when folder holds a regular file VIDEO_TS.IFO (in any case).
bool IsVideoTsFolder(const std::filesystem::path& folder);

// What to tell a user whose folder is no VIDEO_TS folder: its VIDEO_TS
// subfolder when it has one, else that the VIDEO_TS folder itself is wanted.
std::string VideoTsFolderHint(const std::filesystem::path& folder);

// The add dialog's filter, as pairs "name (patterns)" joined by ";;".
std::string VideoFileFilter();

}  // namespace vantora
