#include "audio/audio_image_job.h"

#include <system_error>

#include "image/cue_sheet.h"
#include "image/raw_sector.h"
#include "platform/byte_order.h"
#include "platform/text.h"

namespace zephrel {
namespace {

bool Exists(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found;
}

std::int32_t Clamp32(std::uint64_t v) {
  return static_cast<std::int32_t>(std::min<std::uint64_t>(v, INT32_MAX));
}

}  // namespace

std::array<std::uint8_t, kAudioTableSize> TrackTable(const std::vector<TrackTableEntry>& entries) {
  std::array<std::uint8_t, kAudioTableSize> t{};
  t[0] = 'Z';
  t[1] = 'P';
  t[2] = 'X';
  t[4] = 'V';
  t[5] = '1';
  t[6] = 1;
  t[7] = static_cast<std::uint8_t>(entries.size());
  for (std::size_t k = 0; k < entries.size() && 8 + 17 * (k + 1) <= t.size(); ++k) {
    std::uint8_t* e = &t[8 + 17 * k];
    e[0] = static_cast<std::uint8_t>(k + 1);
    platform::PutLe32(e + 1, entries[k].start);
    platform::PutBe32(e + 5, entries[k].start);
    platform::PutLe32(e + 9, entries[k].length);
    platform::PutBe32(e + 13, entries[k].length);
  }
  return t;
}

std::array<std::uint8_t, kAudioTableSize> AudioTrackTable(const std::vector<AudioSource>& sources) {
  std::vector<TrackTableEntry> entries;
  std::uint64_t start = 0;
  for (const AudioSource& source : sources) {
    entries.push_back({static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(source.sectors)});
    start += source.sectors + kAudioPregapSectors;
  }
  return TrackTable(entries);
}

AudioImageJob::AudioImageJob(AudioImageRequest request, ImageBuildEvents* events,
                             const std::atomic<bool>* cancel)
    : request_(std::move(request)), events_(events), cancel_(cancel) {}

void AudioImageJob::Fail(std::int32_t error_number, const std::string& text) {
  failed_ = true;
  if (error_number != 0) events_->BurnerOnError(error_number);
  events_->BurningErrorViewDescription(text);
}

void AudioImageJob::Run() {
  const std::filesystem::path& image_path = request_.image_path;
  const bool with_sheet = request_.mode == 1;
  const std::filesystem::path sheet_path = WithExtension(image_path, "cue");
  bool canceled = false;
  [&] {
    if (image_path.empty() || !image_path.has_filename()) {
      Fail(kErrorImageCreate, "No image file name was given.");
      return;
    }
    if (with_sheet && sheet_path == image_path) {
      Fail(kErrorImageCreate,
           "The image " + platform::PathToUtf8(image_path) + " cannot be its own CUE sheet.");
      return;
    }
    if (Exists(image_path) || (with_sheet && Exists(sheet_path))) {
      Fail(kErrorImageCreate, "The file " +
                                  platform::PathToUtf8(Exists(image_path) ? image_path : sheet_path) +
                                  " exists already; it is left as it is.");
      return;
    }
    int failed_index = -1;
    std::string error;
    const std::optional<std::vector<AudioSource>> sources =
        SizeAudioSources(request_.wav_files, &failed_index, &error);
    if (!sources) {
      Fail(failed_index >= 0 ? kErrorWavFile : 0, error);
      return;
    }
    if (with_sheet) {
      std::vector<AudioCueTrack> tracks;
      for (const AudioSource& s : *sources) tracks.push_back({s.layout.data_bytes, false});
      if (!WriteAudioCueSheet(image_path, sheet_path, tracks, &error)) {
        Fail(kErrorImageCreate, error);
        return;
      }
    }
    platform::FileError fe;
    platform::File image = platform::File::Open(image_path, platform::File::Mode::kCreateExclusive, &fe);
    if (!image.is_open()) {
      if (with_sheet) {
        std::error_code ec;
        std::filesystem::remove(sheet_path, ec);  // this job's own sheet
      }
      Fail(kErrorImageCreate, fe.message);
      return;
    }
    const bool written = Write(*sources, image, &canceled);
    // The image is closed before the end event, and a late write error counts.
    if (!image.Close(&fe) && written) Fail(0, fe.message);
    if (failed_ || canceled || (cancel_ && cancel_->load())) {
      // A partial image (and its sheet) is this job's own: nothing is left
      // under the user's name that could pass for a whole one.
      std::error_code ec;
      std::filesystem::remove(image_path, ec);
      if (with_sheet) std::filesystem::remove(sheet_path, ec);
    }
  }();
  events_->BurnerOnEndBurn(1, canceled || (cancel_ && cancel_->load()) ? 1 : 0, failed_ ? 1 : 0);
}

bool AudioImageJob::Write(const std::vector<AudioSource>& sources, platform::File& image, bool* canceled) {
  platform::FileError fe;
  if (request_.mode != 1) {
    const auto table = AudioTrackTable(sources);
    if (!image.WriteAll(table.data(), table.size(), &fe)) {
      Fail(0, fe.message);
      return false;
    }
  }
  const std::uint64_t total = TotalSectors(sources);
  std::uint64_t done = 0;
  int last_percent = -1;
  std::vector<std::uint8_t> buffer(kAudioBlockSectors * kCdRawSectorSize);
  const std::vector<std::uint8_t> silence(kAudioPregapSectors * kCdRawSectorSize, 0);
  for (std::size_t i = 0; i < sources.size(); ++i) {
    if (cancel_ && cancel_->load()) {
      *canceled = true;
      return true;
    }
    const AudioSource& source = sources[i];
    const auto index = static_cast<std::int32_t>(i + 1);
    AudioSourceReader reader;
    std::string error;
    if (!reader.Open(source, &error)) {
      Fail(kErrorWavFile, error);
      return false;
    }
    events_->OnBuildingProcess(kStatusAudioTrack, index, source.path, Clamp32(source.sectors), 0,
                               Clamp32(total), Clamp32(done));
    for (std::uint64_t k = 0; k < source.sectors;) {
      if (cancel_ && cancel_->load()) {
        *canceled = true;
        return true;
      }
      const std::uint64_t n = source.sectors - k >= kAudioBlockSectors ? kAudioBlockSectors : 1;
      if (!reader.Read(k, n, buffer.data(), &error)) {
        Fail(kErrorWavFile, error);
        return false;
      }
      if (!image.WriteAll(buffer.data(), n * kCdRawSectorSize, &fe)) {
        Fail(0, fe.message);
        return false;
      }
      k += n;
      done += n;
      const int percent = total ? static_cast<int>(done * 100 / total) : 100;
      if (percent != last_percent) {
        last_percent = percent;
        events_->OnBuildingProcess(kStatusAudioProgress, index, "", Clamp32(source.sectors), 0,
                                   Clamp32(total), Clamp32(done));
      }
    }
    if (!image.WriteAll(silence.data(), silence.size(), &fe)) {
      Fail(0, fe.message);
      return false;
    }
  }
  return true;
}

}  // namespace zephrel
