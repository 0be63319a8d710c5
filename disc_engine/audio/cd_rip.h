// The reading loops of a rip: one track's sectors into a sink (a WAV file or
// the MP3 encoder), or the whole disc into an image. Both read ten sectors a
// block while more than ten remain, then single sectors, and check their cancel
// flags between blocks.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "audio/cd_audio_reader.h"
#include "audio/cd_toc.h"
#include "platform/fileio.h"

namespace zephrel {

// Where the sectors go. Write is called with whole sectors, in disc order.
class RipSink {
 public:
  virtual ~RipSink() = default;
  // False with *error set when the bytes could not be kept (the rip stops).
  virtual bool Write(std::span<const std::uint8_t> bytes, std::string* error) = 0;
};

// Appends the sectors to a file at its current position. The file must outlive
// the sink.
class FileRipSink : public RipSink {
 public:
  explicit FileRipSink(platform::File& file) : file_(file) {}
  bool Write(std::span<const std::uint8_t> bytes, std::string* error) override;

 private:
  platform::File& file_;
};

struct TrackRipResult {
  std::uint32_t sectors_done = 0;    // written to the sink
  bool canceled = false;             // a cancel flag ended the track
  std::optional<std::string> error;  // a read error or a sink failure ended it
};

// Rips sectors sectors from first_lba. A sector that cannot be read ends the
// track with the reader's text. percent(p) is called whenever the whole
// percentage of sectors done changes. Stops before the next block when
// rip_cancel or track_cancel is set.
TrackRipResult RipTrackSectors(CdAudioReader& reader, std::uint32_t first_lba, std::uint32_t sectors,
                               RipSink& sink, const std::atomic<bool>& rip_cancel,
                               const std::atomic<bool>& track_cancel,
                               const std::function<void(int)>& percent);

// A disc rip gives up on a track after this many sectors it could not read.
inline constexpr int kDiscRipBadSectorLimit = 20;

struct DiscRipResult {
  std::uint32_t sectors_done = 0;
  bool canceled = false;
  std::optional<std::string> error;  // the rip ended early: a sink failure, or too many bad sectors
};

// Rips the disc from LBA 0 up to the TOC's lead-out. A sector that cannot be
// read is written as zeros and reported through read_error(text); after
// kDiscRipBadSectorLimit of them in one track the rip ends. progress(track,
// percent) is called when the percentage of the track holding the current
// address changes (99 is shown as 100).
DiscRipResult RipDiscSectors(CdAudioReader& reader, const CdToc& toc, RipSink& sink,
                             const std::atomic<bool>& cancel, const std::function<void(int, int)>& progress,
                             const std::function<void(const std::string&)>& read_error);

// The first LBA a track rip reads: the track's start less the 150 frames
// before LBA 0, or 0.
std::uint32_t RipFirstLba(const CdTocTrack& track);

}  // namespace zephrel
