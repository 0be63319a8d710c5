#include "audio/track_rip_job.h"

#include "audio/audio_files.h"
#include "audio/cd_rip.h"
#include "audio/cddb_genres.h"
#include "audio/rip_flags.h"
#include "audio/rip_path.h"
#include "jobs/job_state.h"
#include "platform/cd_sector.h"
#include "platform/fileio.h"
#include "zephrel/ripper_settings.h"

namespace zephrel {

namespace {

constexpr const char* kTagComment = "Created by Zephrel";

class Mp3Sink : public RipSink {
 public:
  explicit Mp3Sink(Mp3Writer& writer) : writer_(writer) {}
  bool Write(std::span<const std::uint8_t> bytes, std::string* error) override {
    return writer_.Encode(bytes.data(), bytes.size(), error);
  }

 private:
  Mp3Writer& writer_;
};

// The header of a WAV file whose data holds sectors sectors, written over its
// first bytes.
bool CorrectWavHeader(platform::File& file, std::uint64_t sectors, std::string* error) {
  const auto header = WavHeader(sectors);
  platform::FileError fe;
  if (file.WriteAllAt(header.data(), header.size(), 0, &fe)) return true;
  *error = fe.message;
  return false;
}

std::string TrackText(std::size_t index) { return "Track " + std::to_string(index + 1); }

}  // namespace

void RunTrackRip(Job& job, const TrackRipRequest& request) {
  ISOBuilderEvents& events = job.events();
  const std::int32_t drive = job.context().drive;
  std::atomic<bool>& rip_cancel = EngineState::Instance().flags.rip_cancel;
  std::atomic<bool>& track_cancel = TrackCancelFlag();
  track_cancel.store(false);
  CdAudioReader reader(*job.context().device);
  RipPathBuilder paths;
  const std::string output = ReadOutputFolder(request.app_folder);
  const bool subfolders = ReadSubfolderSwitch(request.app_folder);
  const std::string pattern = ReadNamePattern(request.app_folder);
  bool failed = false;

  for (std::size_t i = 0; i < request.toc.tracks.size() && i < request.selected.size(); ++i) {
    if (request.selected[i] != kTrackSelected) continue;
    if (rip_cancel.load() || job.stop_token().stop_requested()) break;
    track_cancel.store(false);
    const CdTocTrack& track = request.toc.tracks[i];
    if (track.is_data()) {
      events.BurningErrorViewDescription(TrackText(i) + " is a data track: it is not ripped");
      continue;
    }
    const std::string title = i < request.titles.size() ? request.titles[i] : std::string();
    std::string error;
    const std::optional<std::filesystem::path> path =
        paths.Build(output, subfolders, pattern, static_cast<int>(i + 1),
                    RipTrackNames{title, request.artist, request.album, request.year},
                    request.mp3 ? "mp3" : "wav", &error);
    if (!path) {
      events.BurningErrorViewDescription(error);
      failed = true;
      continue;
    }
    const std::uint32_t sectors = static_cast<std::uint32_t>(std::max(request.toc.RipLength(i), 0));
    platform::File wav;
    Mp3Writer mp3(request.encoder);
    bool opened = false;
    if (request.mp3) {
      opened = mp3.Open(*path, request.mp3_config, &error);
    } else if (WriteWavHeader(*path, sectors, &error)) {
      platform::FileError fe;
      wav = platform::File::Open(*path, platform::File::Mode::kReadWrite, &fe);
      opened = wav.is_open() && wav.Seek(audio_format::kWavHeaderSize, &fe);
      if (!opened) error = fe.message;
    }
    if (!opened) {
      events.BurningErrorViewDescription(error);
      failed = true;
      continue;
    }
    events.RipperOnStartRip(drive, static_cast<std::int32_t>(i));

    FileRipSink wav_sink(wav);
    Mp3Sink mp3_sink(mp3);
    RipSink& sink = request.mp3 ? static_cast<RipSink&>(mp3_sink) : wav_sink;
    const TrackRipResult result = RipTrackSectors(
        reader, RipFirstLba(track), sectors, sink, rip_cancel, track_cancel,
        [&](int percent) { events.RipperOnRip(drive, static_cast<std::int32_t>(i), percent); });
    if (result.error) {
      events.BurningErrorViewDescription(*result.error);
      failed = true;
    }

    std::string close_error;
    if (request.mp3) {
      bool closed = mp3.Close(&close_error);
      if (closed) {
        Id3v1Tag tag{title,        request.artist, request.album,
                     request.year, kTagComment,    Id3GenreNumber(request.genre)};
        closed = WriteId3v1Tag(*path, tag, &close_error);
      }
      if (!closed) {
        events.BurningErrorViewDescription(close_error);
        failed = true;
      }
    } else {
      platform::FileError fe;
      bool closed =
          result.sectors_done == sectors || CorrectWavHeader(wav, result.sectors_done, &close_error);
      if (closed && !wav.Close(&fe)) {
        closed = false;
        close_error = fe.message;
      }
      if (!closed) {
        events.BurningErrorViewDescription(close_error);
        failed = true;
      }
    }
  }
  job.outcome().canceled = rip_cancel.load();
  job.outcome().failed = failed;
}

}  // namespace zephrel
