// The rip of the selected tracks of an audio CD into WAV or MP3 files named
// by the ripper's settings. The job body runs on a job thread of the runner,
// which raises RipperOnEndRip after it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "audio/cd_toc.h"
#include "audio/mp3_encoder.h"
#include "jobs/job_runner.h"

namespace zephrel {

struct TrackRipRequest {
  // Copies taken when the rip was asked for: later edits do not change it.
  CdToc toc;
  std::vector<std::string> titles;     // one per track of toc
  std::vector<std::int32_t> selected;  // one per track of toc
  std::string artist, album, year, genre;
  std::filesystem::path app_folder;  // whose Config.ini names the output
  bool mp3 = false;
  std::shared_ptr<const LameApi> encoder;  // bound, for MP3
  Mp3EncoderConfig mp3_config;
};

// Rips every track whose selection is kTrackSelected, in disc order:
// RipperOnStartRip, RipperOnRip on each whole-percent change, texts through
// BurningErrorViewDescription for a data track (skipped), a read error or a
// file that cannot be written. A track that ends early (read error, track
// cancel, rip cancel) keeps what was read, with a WAV header that says so.
void RunTrackRip(Job& job, const TrackRipRequest& request);

}  // namespace zephrel
