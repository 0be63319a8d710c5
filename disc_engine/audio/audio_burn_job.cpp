#include "audio/audio_burn_job.h"

#include <array>

#include "audio/audio_sources.h"
#include "drive/media.h"
#include "drive/mmc_commands.h"
#include "drive/mmc_drive.h"
#include "image/raw_sector.h"
#include "platform/scsi_sense.h"

namespace zephrel {
namespace {

using platform::DataDirection;
using platform::ScsiResult;
using namespace std::chrono_literals;

constexpr auto kReadyPollInterval = 50ms;

std::int32_t Clamp32(std::uint64_t v) {
  return static_cast<std::int32_t>(std::min<std::uint64_t>(v, INT32_MAX));
}

// The drive is still busy with an earlier command (becoming ready, a long
// write, an operation in progress): the command may be sent again.
bool StillBusy(const ScsiResult& r) {
  return !r.ok() && r.sense.valid && r.sense.key == 0x02 && r.sense.asc == 0x04;
}

// Seconds of CD audio in bytes, as "1.25".
std::string SecondsText(std::uint64_t bytes) {
  const std::uint64_t hundredths = bytes * 100 / (kCdRawSectorSize * 75);
  const std::uint64_t fraction = hundredths % 100;
  return std::to_string(hundredths / 100) + (fraction < 10 ? ".0" : ".") + std::to_string(fraction);
}

// A track shorter than a CD allows (drives may refuse to close it) is made up
// to that length with silence after its sound. Returns what the user is told,
// one text per such track.
std::vector<std::string> PadShortTracks(std::vector<AudioSource>& sources) {
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    AudioSource& source = sources[i];
    if (source.sectors >= kMinAudioTrackSectors) continue;
    texts.push_back("Track " + std::to_string(i + 1) + " (" + source.path + ") lasts " +
                    SecondsText(source.layout.data_bytes) +
                    " seconds; an audio CD track lasts at least 4, so silence is added after it.");
    source.sectors = kMinAudioTrackSectors;
  }
  return texts;
}

class AudioBurn {
 public:
  AudioBurn(Job& job, const AudioBurnRequest& request, const std::atomic<bool>& cancel)
      : job_(job), request_(request), cancel_(cancel), drive_(job.context().device) {}

  void Run() {
    JobOutcome& outcome = job_.outcome();
    outcome = {.mode_burn = 0, .canceled = false, .failed = true};
    const int media = drive_.MmcGetMediaTypeCode();
    if (media != kMediaCdR && media != kMediaCdRw) {
      events().BurnerOnError(kErrorNotAudioMedium);
      events().BurningErrorViewDescription(
          "The disc in the drive is not a CD-R or CD-RW: audio CDs need one.");
      outcome = {.mode_burn = 0, .canceled = true, .failed = false};
      return;
    }
    int failed_index = -1;
    std::string error;
    std::optional<std::vector<AudioSource>> sources =
        SizeAudioSources(request_.wav_files, &failed_index, &error);
    if (!sources) {
      if (failed_index >= 0) {
        events().BurnerOnError(kErrorWavFile);
        events().BurningErrorViewDescription(error);
        outcome = {.mode_burn = 0, .canceled = true, .failed = false};
      } else {
        events().BurningErrorViewDescription(error);  // nothing was sent to the disc
      }
      return;
    }
    const std::vector<std::string> padded = PadShortTracks(*sources);
    if (!SetWriteParameters()) return;
    if (!CheckSpace(*sources)) return;
    for (const std::string& text : padded) events().BurningErrorViewDescription(text);
    total_ = TotalSectors(*sources);
    for (std::size_t i = 0; i < sources->size(); ++i) {
      if (cancel_.load()) {
        outcome = {.mode_burn = 0, .canceled = true, .failed = false};
        return;
      }
      if (!WriteTrack((*sources)[i], static_cast<std::int32_t>(i + 1))) {
        outcome = {.mode_burn = 0, .canceled = cancel_.load(), .failed = !cancel_.load() || failed_};
        return;
      }
    }
    outcome.failed = !CloseSessionAndEject();
    outcome.canceled = cancel_.load();
  }

 private:
  ISOBuilderEvents& events() { return job_.events(); }

  // Sends a command again while the drive says it is still busy, for at most
  // kAudioDriveBusyLimit on the job's clock.
  ScsiResult SendUntilNotBusy(const mmc::Cdb& cdb) {
    ScsiResult r;
    const bool answered = job_.PollUntil(kAudioDriveBusyLimit, kReadyPollInterval, [&] {
      r = drive_.Send(cdb, DataDirection::kNone);
      return !StillBusy(r);
    });
    if (!answered && r.ok()) r.status = 2;  // asked to stop while waiting
    return r;
  }

  void Fail(const std::string& text) {
    failed_ = true;
    events().BurningErrorViewDescription(text);
  }

  std::string Reason(const ScsiResult& r) {
    if (r.transport != ScsiResult::Transport::kOk) return r.transport_message;
    if (StillBusy(r)) return "The drive stayed busy for too long";
    return platform::SenseText(r.sense);
  }

  std::optional<mmc::DiscInformation> ReadDiscInfo() { return drive_.ReadDiscInformation(); }
  std::optional<mmc::TrackInformation> ReadTrackInfo(int track) {
    return drive_.ReadTrackInformation(static_cast<std::uint32_t>(track));
  }

  // Track at once, raw audio blocks, audio track mode and the three switches.
  bool SetWriteParameters() {
    if (drive_.MmcSetAudioWriteParameters(request_.burn_proof, request_.multisession, request_.test_write)
            .ok())
      return true;
    events().BurnerOnError(kErrorAudioParameters);
    Fail("The drive refused the audio write parameters.");
    return false;
  }

  bool NoSpace(const std::string& text) {
    events().BurnerOnError(kErrorAudioSpace);
    events().BurningErrorViewDescription(text);
    job_.outcome() = {.mode_burn = 0, .canceled = true, .failed = false};
    return false;
  }

  bool CheckSpace(const std::vector<AudioSource>& sources) {
    const std::optional<mmc::DiscInformation> disc = ReadDiscInfo();
    if (!disc) return NoSpace("The disc information cannot be read.");
    if (disc->disc_status == mmc::kDiscComplete)
      return NoSpace("The disc is complete: nothing more can be written.");
    const std::optional<mmc::TrackInformation> track = ReadTrackInfo(disc->last_track_in_last_session);
    if (!track || !track->next_writable) return NoSpace("The disc has no next writable address.");
    if (!track->free_blocks) return NoSpace("The drive did not report the disc's free space.");
    std::vector<std::uint64_t> sizes;
    for (const AudioSource& s : sources) sizes.push_back(s.sectors);
    const std::uint64_t needed = AudioDiscSectors(sizes);
    if (needed > *track->free_blocks) {
      return NoSpace("The audio tracks need " + std::to_string(needed) + " sectors; the disc has " +
                     std::to_string(*track->free_blocks) + " free.");
    }
    return true;
  }

  bool WriteTrack(const AudioSource& source, std::int32_t index) {
    if (!SetWriteParameters()) return false;
    const std::optional<mmc::DiscInformation> disc = ReadDiscInfo();
    const std::optional<mmc::TrackInformation> info =
        disc ? ReadTrackInfo(disc->last_track_in_last_session) : std::nullopt;
    if (!info || !info->next_writable) {
      events().BurnerOnError(kErrorAudioWrite);
      Fail("The drive reports no next writable address for the track.");
      return false;
    }
    const auto track = static_cast<std::int32_t>(disc->last_track_in_last_session);
    AudioSourceReader reader;
    std::string error;
    if (!reader.Open(source, &error)) {
      events().BurnerOnError(kErrorWavFile);
      Fail(error);
      return false;
    }
    events().OnBuildingProcess(kStatusAudioTrack, track, source.path, Clamp32(source.sectors), 0,
                               Clamp32(total_), Clamp32(done_));
    std::vector<std::uint8_t> block(kAudioBlockSectors * kCdRawSectorSize);
    bool write_failed = false;
    for (std::uint64_t k = 0; k < source.sectors && !cancel_.load();) {
      const std::uint64_t n = source.sectors - k >= kAudioBlockSectors ? kAudioBlockSectors : 1;
      if (!reader.Read(k, n, block.data(), &error)) {
        events().BurnerOnError(kErrorWavFile);
        Fail(error);
        write_failed = true;
        break;
      }
      const DriveWait waits{&job_.clock(), job_.stop_token(), &cancel_};
      const ScsiResult written = drive_.MmcWrite10({block.data(), n * kCdRawSectorSize},
                                                   static_cast<std::uint32_t>(*info->next_writable + k),
                                                   static_cast<std::uint16_t>(n), true, waits);
      if (!written.ok()) {
        events().BurnerOnError(kErrorAudioWrite);
        Fail(FailureText(written));
        write_failed = true;
        break;
      }
      k += n;
      done_ += n;
      const int percent = total_ ? static_cast<int>(done_ * 100 / total_) : 100;
      if (percent != last_percent_) {
        last_percent_ = percent;
        events().OnBuildingProcess(kStatusAudioProgress, index, "", Clamp32(source.sectors), 0,
                                   Clamp32(total_), Clamp32(done_));
      }
    }
    // The track is closed whatever happened, so the disc stays readable.
    ScsiResult r = SendUntilNotBusy(mmc::SynchronizeCache());
    if (!r.ok() && !write_failed) Fail("The drive could not write its cache: " + Reason(r));
    events().BurnerCloseTrack(track);
    r = SendUntilNotBusy(mmc::CloseTrackSession(mmc::kCloseTrack, static_cast<std::uint16_t>(track)));
    if (!r.ok() && !write_failed) Fail("The track could not be closed: " + Reason(r));
    return !write_failed && !failed_ && !cancel_.load();
  }

  bool CloseSessionAndEject() {
    const std::optional<mmc::DiscInformation> disc = ReadDiscInfo();
    events().BurnerCloseSession(1);
    const std::uint32_t sessions = disc ? static_cast<std::uint32_t>(disc->sessions) : 1;
    ScsiResult r = SendUntilNotBusy(
        mmc::CloseTrackSession(mmc::kCloseSession, static_cast<std::uint16_t>(sessions + 1)));
    if (!r.ok()) {
      Fail("The session could not be closed: " + Reason(r));
      return false;
    }
    const bool ready =
        job_.PollUntil(kAudioDriveBusyLimit, kReadyPollInterval, [&] { return ReadDiscInfo().has_value(); });
    if (!ready) {
      Fail("The drive did not become ready after the session was closed.");
      return false;
    }
    drive_.MmcAllowRemoval();
    drive_.MmcEject();
    return true;
  }

  Job& job_;
  const AudioBurnRequest& request_;
  const std::atomic<bool>& cancel_;
  MmcDrive drive_;
  std::uint64_t total_ = 0, done_ = 0;
  int last_percent_ = -1;
  bool failed_ = false;
};

}  // namespace

std::uint64_t AudioDiscSectors(const std::vector<std::uint64_t>& track_sectors) {
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < track_sectors.size(); ++i) {
    total += track_sectors[i];
    if (i > 0) total += platform::mmc::kCdTaoTrackGap;
  }
  return total;
}

void RunAudioBurn(Job& job, const AudioBurnRequest& request, const std::atomic<bool>& cancel) {
  if (!job.context().device) {
    job.events().BurningErrorViewDescription("The drive is not available.");
    return;
  }
  AudioBurn(job, request, cancel).Run();
}

}  // namespace zephrel
