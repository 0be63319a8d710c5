// The WAV files that an audio CD or an audio image is made of: the process's
// WAV list, the sizing pass that checks every file before anything is
// written, and the block reader that hands out whole raw sectors.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "audio/audio_files.h"
#include "platform/fileio.h"

namespace zephrel {

// Blocks of a track: 27 raw sectors while that many remain, then single ones.
inline constexpr std::uint64_t kAudioBlockSectors = 27;
// Silence after each track of an image, and the pregap of each track on disc.
inline constexpr std::uint64_t kAudioPregapSectors = 150;
// A CD holds at most 99 tracks.
inline constexpr std::size_t kMaxAudioTracks = 99;
// The shortest audio track a CD may hold: four seconds.
inline constexpr std::uint64_t kMinAudioTrackSectors = 300;

// BurnerOnError numbers of the audio jobs.
inline constexpr std::int32_t kErrorNotAudioMedium = 1010;
inline constexpr std::int32_t kErrorWavFile = 1011;
inline constexpr std::int32_t kErrorAudioWrite = 1012;
inline constexpr std::int32_t kErrorAudioParameters = 1013;
inline constexpr std::int32_t kErrorAudioSpace = 1015;
// OnBuildingProcess statuses: a track starts, progress.
inline constexpr std::int32_t kStatusAudioTrack = 20;
inline constexpr std::int32_t kStatusAudioProgress = 21;

// The ordered list of WAV paths of the process (Burner_AddWavFile). Safe to
// use from any thread; jobs take a copy.
class WavList {
 public:
  static WavList& Process();
  void Add(std::string path);
  void Clear();
  std::size_t Count() const;
  std::vector<std::string> Snapshot() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> paths_;
};

struct AudioSource {
  std::string path;
  WavLayout layout;
  // AudioTrackSectors of its PCM bytes: sheet, table and progress alike; the
  // burn makes a shorter track up to kMinAudioTrackSectors.
  std::uint64_t sectors = 0;
};

// Checks and sizes every file, in order. nullopt with *failed_index and error
// set at the first file that cannot be opened or is not CD audio. An empty
// list, or more than 99 files, is refused with failed_index -1.
std::optional<std::vector<AudioSource>> SizeAudioSources(const std::vector<std::string>& paths,
                                                         int* failed_index, std::string* error);

// Sectors of all sources.
std::uint64_t TotalSectors(const std::vector<AudioSource>& sources);

// Reads one source's PCM as whole raw sectors; the last sector is padded with
// zeros, never with stale bytes.
class AudioSourceReader {
 public:
  // False with error set when the file cannot be opened.
  bool Open(const AudioSource& source, std::string* error);
  // Reads count sectors starting at sector first into buffer (count x 2352
  // bytes). False with error set on a read error or a file that shrank.
  bool Read(std::uint64_t first, std::uint64_t count, std::uint8_t* buffer, std::string* error);

 private:
  platform::File file_;
  AudioSource source_;
};

}  // namespace zephrel
