#include "audio/audio_sources.h"

#include <cstring>

#include "image/cue_sheet.h"
#include "image/raw_sector.h"
#include "platform/text.h"

namespace zephrel {

WavList& WavList::Process() {
  static WavList list;
  return list;
}

void WavList::Add(std::string path) {
  std::lock_guard lock(mutex_);
  paths_.push_back(std::move(path));
}

void WavList::Clear() {
  std::lock_guard lock(mutex_);
  paths_.clear();
}

std::size_t WavList::Count() const {
  std::lock_guard lock(mutex_);
  return paths_.size();
}

std::vector<std::string> WavList::Snapshot() const {
  std::lock_guard lock(mutex_);
  return paths_;
}

std::optional<std::vector<AudioSource>> SizeAudioSources(const std::vector<std::string>& paths,
                                                         int* failed_index, std::string* error) {
  *failed_index = -1;
  if (paths.empty()) {
    *error = "The WAV list is empty: there is nothing to write.";
    return std::nullopt;
  }
  if (paths.size() > kMaxAudioTracks) {
    *error =
        "The WAV list holds " + std::to_string(paths.size()) + " files; an audio CD holds at most 99 tracks.";
    return std::nullopt;
  }
  std::vector<AudioSource> sources;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    std::optional<WavLayout> layout = ReadCdAudioWav(platform::Utf8ToPath(paths[i]), error);
    if (!layout) {
      *failed_index = static_cast<int>(i);
      return std::nullopt;
    }
    sources.push_back({paths[i], *layout, AudioTrackSectors(layout->data_bytes)});
  }
  return sources;
}

std::uint64_t TotalSectors(const std::vector<AudioSource>& sources) {
  std::uint64_t total = 0;
  for (const AudioSource& s : sources) total += s.sectors;
  return total;
}

bool AudioSourceReader::Open(const AudioSource& source, std::string* error) {
  platform::FileError fe;
  file_ = platform::File::Open(platform::Utf8ToPath(source.path), platform::File::Mode::kRead, &fe);
  if (!file_.is_open()) {
    *error = "The WAV file " + source.path + " cannot be opened: " + fe.message;
    return false;
  }
  file_.AdviseSequential();
  source_ = source;
  return true;
}

bool AudioSourceReader::Read(std::uint64_t first, std::uint64_t count, std::uint8_t* buffer,
                             std::string* error) {
  const std::uint64_t start = first * kCdRawSectorSize;
  const std::uint64_t wanted = count * kCdRawSectorSize;
  const std::uint64_t available = start < source_.layout.data_bytes ? source_.layout.data_bytes - start : 0;
  const std::uint64_t take = std::min(wanted, available);
  platform::FileError fe;
  const std::size_t got = file_.ReadFullyAt(buffer, take, source_.layout.data_offset + start, &fe);
  if (got != take) {
    *error = fe ? fe.message : "The WAV file " + source_.path + " became shorter while it was read.";
    return false;
  }
  std::memset(buffer + take, 0, wanted - take);
  return true;
}

}  // namespace zephrel
