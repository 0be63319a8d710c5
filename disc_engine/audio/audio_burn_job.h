// The audio CD burn: every WAV file of a list as one audio track, written
// track at once onto a CD-R or CD-RW, then the session is closed and the disc
// ejected. Runs as the body of a disc job (StartJob); it reports through the
// job's events and leaves the end event to the job runner (ModeBurn 0).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "jobs/job_runner.h"

namespace zephrel {

struct AudioBurnRequest {
  std::vector<std::string> wav_files;
  bool multisession = false;  // leave the disc open for another session
  bool test_write = false;    // simulate: the drive records nothing
  bool burn_proof = false;    // buffer-underrun protection
};

// Sectors an audio CD of tracks of these sizes takes from the next writable
// address on: the tracks and, between two tracks, the link and the pregap of
// the next one (the same count the drive makes).
std::uint64_t AudioDiscSectors(const std::vector<std::uint64_t>& track_sectors);

// How long the job waits for a drive that reports it is still busy writing
// (after SYNCHRONIZE CACHE or a close) before it gives up.
inline constexpr std::chrono::minutes kAudioDriveBusyLimit{10};

// The job's body. job.context().device must be the drive's device.
void RunAudioBurn(Job& job, const AudioBurnRequest& request, const std::atomic<bool>& cancel);

}  // namespace zephrel
