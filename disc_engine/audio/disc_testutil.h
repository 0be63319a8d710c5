// Track lists for the audio tests: the process's track list as the TOC
// reader would leave it for a given table of contents.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "audio/cd_toc.h"
#include "drive/toc.h"
#include "platform/fileio.h"

namespace zephrel::testing {

// Track records for toc, numbered from 1, titled "Track 01" ..., none selected.
std::vector<TrackRecord> RecordsOf(const CdToc& toc);
// Replaces the process's track list with RecordsOf(toc).
void SetTrackList(const CdToc& toc);
// Two audio tracks at frames 150 and 14250, lead-out 27000 (disc id 0c016602).
CdToc TwoTrackToc();

// A pressed CD in an emulated drive that ZEPHREL_DRIVES names (unset again
// by the destructor): audio tracks of pseudo-random PCM, each pressed from a
// WAV file of its own (44-byte header, whole sectors, no gaps between tracks),
// and optionally a data session after them (a CD-Extra). Folder names hold
// blanks and non-ASCII characters.
class PressedDisc {
 public:
  explicit PressedDisc(const std::vector<std::uint32_t>& audio_sectors, std::uint32_t data_sectors = 0);
  ~PressedDisc();
  PressedDisc(const PressedDisc&) = delete;
  PressedDisc& operator=(const PressedDisc&) = delete;

  bool ok() const { return ok_; }
  const std::filesystem::path& folder() const { return temp_->path(); }
  // The emulated drive's folder (ZEPHREL_DRIVES names it).
  std::filesystem::path drive_folder() const { return temp_->path() / "drive \xE6\x97\xA5\xE6\x9C\xAC"; }
  const std::vector<std::uint8_t>& pcm(std::size_t track) const { return pcm_[track]; }
  // Every audio track's PCM, in disc order.
  std::vector<std::uint8_t> AllPcm() const;

 private:
  std::optional<platform::TemporaryFolder> temp_;
  std::vector<std::vector<std::uint8_t>> pcm_;
  bool ok_ = false;
};

// The bytes of a file (empty when it cannot be read).
std::vector<std::uint8_t> FileBytes(const std::filesystem::path& path);

}  // namespace zephrel::testing
