// The audio image: every WAV file of a list as raw 2352-byte audio sectors,
// each track followed by 150 sectors of silence, either with a CUE sheet
// beside the image (mode 1) or after a 4096-byte track table (any other mode).
// One job object per image; it reports through its events and raises exactly
// one end event (ModeBurn 1), last, after the image is closed.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/audio_sources.h"
#include "image/image_build_job.h"

namespace zephrel {

inline constexpr std::size_t kAudioTableSize = 4096;

// The track table of a table-mode image: "ZPX", 0, "V1", 1, the track count,
// then per track its number, its start and its length in sectors, each
// little- then big-endian. Starts count from the first sector after the table.
std::array<std::uint8_t, kAudioTableSize> AudioTrackTable(const std::vector<AudioSource>& sources);

// One entry of a track table: the track's start and length in sectors.
struct TrackTableEntry {
  std::uint32_t start = 0;
  std::uint32_t length = 0;
};
// The track table of those entries (numbered from 1), in the same layout; the
// table has room for 240 entries and its count byte says how many were given.
std::array<std::uint8_t, kAudioTableSize> TrackTable(const std::vector<TrackTableEntry>& entries);

struct AudioImageRequest {
  std::filesystem::path image_path;
  int mode = 0;  // 1: CUE sheet (image path with .cue) beside the image
  std::vector<std::string> wav_files;
};

class AudioImageJob {
 public:
  // events and cancel must outlive the job; cancel is polled between blocks.
  AudioImageJob(AudioImageRequest request, ImageBuildEvents* events, const std::atomic<bool>* cancel);

  // Runs the whole job on the calling thread. Nothing is written when a file
  // of the list is not CD audio or the image or its sheet exists already.
  void Run();

 private:
  bool Write(const std::vector<AudioSource>& sources, platform::File& image, bool* canceled);
  void Fail(std::int32_t error_number, const std::string& text);

  AudioImageRequest request_;
  ImageBuildEvents* events_;
  const std::atomic<bool>* cancel_;
  bool failed_ = false;
};

}  // namespace zephrel
