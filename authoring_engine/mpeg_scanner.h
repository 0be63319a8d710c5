// Pack-by-pack reader of a DVD-ready MPEG-2 program stream. It checks the
// shape of every pack, finds the VOBUs (each opened by a navigation pack),
// follows the video elementary stream for sequence and picture headers, and
// records the audio streams with their sample rates. It holds no file: the
// caller feeds it packs in order.
#pragma once

#include <cstdint>
#include <vector>

#include "mpeg_analysis.h"
#include "mpeg_format.h"

namespace morvix::mpeg {

// What the scan learns about one VOBU before the times are settled.
struct ScannedVobu {
  std::int64_t first_pack = 0;
  std::int64_t last_pack = 0;
  std::int64_t first_video_pack = -1;
  std::int64_t last_video_pack = -1;
  int pictures = 0;
  std::int64_t fields = 0;  // display fields of its pictures (repeat_first_field counted)
  bool first_picture_seen = false;
  bool first_picture_has_pts = false;
  std::int64_t first_picture_pts = 0;  // 33-bit PTS of the first picture in decode order
  int first_picture_temporal_reference = 0;
};

// Checks a sequence header's size, aspect and frame rate fields and fills
// video. Returns 0 or -4015, -4016, -4017, -4018.
Status CheckSequenceHeader(int width, int height, int aspect_code, int frame_rate_code,
                           VideoAttributes& video);

// Offset of the first 00 00 01 lying wholly in p[0, size), or size. kBest
// takes the fastest search this processor has; the others are there so that
// tests can hold every variant to the same answers.
enum class PrefixSearch { kBest, kScalar, kSse2, kAvx2 };
std::size_t FindStartCodePrefix(const std::uint8_t* p, std::size_t size,
                                PrefixSearch how = PrefixSearch::kBest);

class StreamScanner {
 public:
  // Takes the next pack (kPackSize bytes) with its number. Returns 0 or an
  // error code (-4011 for a pack that is not a DVD program stream pack, the
  // sequence-header and audio codes otherwise). After an error the scanner
  // must not be fed again.
  Status AddPack(const std::uint8_t* pack, std::int64_t number);
  // Ends the last VOBU at the last pack fed. Returns 0, or -4011 when no
  // VOBU or no sequence header was found.
  Status Finish(std::int64_t pack_count);

  const std::vector<ScannedVobu>& vobus() const { return vobus_; }
  const VideoAttributes& video() const { return video_; }
  // Audio streams in the order of their stream numbers.
  std::vector<AudioStreamAttributes> audio() const;

 private:
  Status AddVideo(const std::uint8_t* payload, std::size_t size, bool has_pts, std::int64_t pts);
  Status AddAudio(std::uint8_t stream_id, const std::uint8_t* payload, std::size_t size);
  Status OnStartCode(std::uint8_t code);
  Status OnCaptured();

  std::vector<ScannedVobu> vobus_;
  VideoAttributes video_;
  bool sequence_header_found_ = false;

  struct AudioSlot {
    AudioStreamAttributes attributes;
    bool rate_known = false;
  };
  std::vector<AudioSlot> audio_;

  // Video elementary stream state.
  std::uint32_t window_ = 0xFFFFFFFF;
  bool pending_pts_ = false;
  std::int64_t pending_pts_value_ = 0;
  enum class Capture { kNone, kSequence, kPicture, kExtension } capture_ = Capture::kNone;
  std::uint8_t capture_buf_[4] = {};
  int capture_have_ = 0;
  int capture_need_ = 0;
  bool capture_first_picture_ = false;
};

}  // namespace morvix::mpeg
