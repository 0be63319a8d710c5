#include "audio/track_rip_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "audio/audio_files.h"
#include "audio/cd_rip.h"
#include "audio/cddb_genres.h"
#include "audio/rip_flags.h"
#include "audio/rip_path.h"
#include "jobs/job_state.h"
#include "platform/cd_sector.h"
#include "platform/fileio.h"
#include "platform/text.h"
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

// Cuts a WAV file to its header and the first sectors sectors, dropping the
// part of a block that a failed write (a full disk) left, and writes the
// header for that length over its first bytes.
bool CutWav(platform::File& file, std::uint64_t sectors, std::string* error) {
  const auto header = WavHeader(sectors);
  platform::FileError fe;
  if (file.Truncate(header.size() + sectors * platform::kCdRawSectorSize, &fe) &&
      file.WriteAllAt(header.data(), header.size(), 0, &fe))
    return true;
  *error = fe.message;
  return false;
}

std::string TrackText(std::size_t index) { return "Track " + std::to_string(index + 1); }

// A track is ripped under a temporary name beside its own and put in place
// when it ends, so that a file of the same name (an earlier rip) is replaced
// whole or not at all. Only a regular file is replaced: a link could lead
// outside the output folder, and a folder, FIFO or device is not ours to
// replace.
class TrackFile {
 public:
  explicit TrackFile(std::filesystem::path target) : target_(std::move(target)) {
    temporary_ = target_;
    temporary_ += "." + std::to_string(::getpid()) + ".part";
  }
  ~TrackFile() { Discard(); }
  TrackFile(const TrackFile&) = delete;
  TrackFile& operator=(const TrackFile&) = delete;

  // False, with the reason, when the name is taken by anything but a regular
  // file.
  bool Usable(std::size_t index, std::string* error) {
    struct stat st {};
    if (::lstat(target_.c_str(), &st) != 0) return true;
    existed_ = true;
    if (S_ISREG(st.st_mode)) return true;
    *error = TrackText(index) + " is not ripped: " + platform::PathToUtf8(target_) +
             (S_ISLNK(st.st_mode) ? " is a link" : " exists and is not a regular file") +
             ", which is left as it is.";
    return false;
  }
  const std::filesystem::path& temporary() const { return temporary_; }
  bool existed() const { return existed_; }
  void Created() { created_ = true; }
  // Puts the temporary file in place of the target.
  bool Commit(std::string* error) {
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
      *error = "The ripped track cannot be named " + platform::PathToUtf8(target_) + ": " +
               platform::ErrnoText(errno);
      return false;
    }
    created_ = false;
    return true;
  }
  void Discard() {
    if (created_) ::unlink(temporary_.c_str());
    created_ = false;
  }

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  bool existed_ = false;
  bool created_ = false;
};

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
    TrackFile out(*path);
    if (!out.Usable(i, &error)) {
      events.BurningErrorViewDescription(error);
      failed = true;
      continue;
    }
    platform::File wav;
    Mp3Writer mp3(request.encoder);
    bool opened = false;
    if (request.mp3) {
      opened = mp3.Open(out.temporary(), request.mp3_config, &error);
      if (opened) out.Created();
    } else {
      platform::FileError fe;
      wav = platform::File::Open(out.temporary(), platform::File::Mode::kCreateExclusive, &fe);
      if (wav.is_open()) out.Created();
      const auto header = WavHeader(sectors);
      opened = wav.is_open() && wav.WriteAll(header.data(), header.size(), &fe);
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
    bool closed = true;
    if (request.mp3) {
      closed = mp3.Close(&close_error);
      if (closed) {
        Id3v1Tag tag{title,        request.artist, request.album,
                     request.year, kTagComment,    Id3GenreNumber(request.genre)};
        closed = WriteId3v1Tag(out.temporary(), tag, &close_error);
      }
      if (!closed) {
        events.BurningErrorViewDescription(close_error);
        failed = true;
      }
    } else {
      platform::FileError fe;
      closed = result.sectors_done == sectors || CutWav(wav, result.sectors_done, &close_error);
      if (closed && !wav.Close(&fe)) {
        closed = false;
        close_error = fe.message;
      }
      if (!closed) {
        events.BurningErrorViewDescription(close_error);
        failed = true;
      }
    }
    // A whole track replaces a file of the same name; a cut one only takes
    // a free name, so an earlier rip is never lost to a cancel or a full disk.
    const bool whole = result.sectors_done == sectors && !result.error;
    if (closed && (whole || (!out.existed() && result.sectors_done > 0))) {
      std::string rename_error;
      if (!out.Commit(&rename_error)) {
        events.BurningErrorViewDescription(rename_error);
        failed = true;
      }
    } else if (out.existed()) {
      events.BurningErrorViewDescription(
          TrackText(i) + " was not ripped whole: " + platform::PathToUtf8(*path) + " is left as it was.");
    }
  }
  job.outcome().canceled = rip_cancel.load();
  job.outcome().failed = failed;
}

}  // namespace zephrel
