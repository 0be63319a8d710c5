// Locating the ffmpeg and ffprobe programs and probing media files with them.
// Inputs are recognised by their content, and only through an allow-list of
// demuxers that read one local file: playlists and other formats that open
// further files or URLs are refused.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "vantora/video_encoder.h"

namespace vantora {

struct EncoderTools {
  std::filesystem::path ffmpeg;   // empty when not found
  std::filesystem::path ffprobe;  // empty when not found
};

// $VANTORA_FFMPEG / $VANTORA_FFPROBE when set, else the first executable of
// that name on $PATH.
EncoderTools FindEncoderTools();

// What the user must be told when a tool is missing, or "" when both exist.
std::string EncoderToolsProblem(const EncoderTools& tools);

// Demuxers an input may be read with, as one comma-separated list.
std::string_view AllowedDemuxers();

struct MediaInfo {
  std::string demuxer;    // the demuxer that recognised the file
  double duration = 0;    // seconds; 0 when unknown
  int video_stream = -1;  // index of the first real video stream (not cover art)
  int audio_stream = -1;  // index of the first audio stream
  int width = 0;
  int height = 0;
  int sar_num = 1;  // sample aspect ratio of the video stream
  int sar_den = 1;
  bool has_video() const { return video_stream >= 0; }
  bool has_audio() const { return audio_stream >= 0; }
};

// Reads ffprobe's JSON answer (format and streams). nullopt when the text is
// not such an answer or names a demuxer outside the allow-list.
std::optional<MediaInfo> ParseProbeAnswer(std::string_view json);

struct ProbeOutcome {
  OpenResult result;
  MediaInfo info;
};

// Probes a local file with ffprobe.
ProbeOutcome ProbeMedia(const EncoderTools& tools, const std::filesystem::path& file);

// "file:" followed by the absolute path, so ffmpeg takes the name literally.
std::string FileUrl(const std::filesystem::path& path);

}  // namespace vantora
