#include "mpeg_scanner.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define MORVIX_X86_SIMD 1
#endif

#include "nav_pack.h"
#include "platform/byte_order.h"

namespace morvix::mpeg {

using platform::GetBe16;

namespace {

bool IsStartCodePrefix(const std::uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 1; }

std::int64_t ReadPts(const std::uint8_t* p) {
  return (static_cast<std::int64_t>(p[0] & 0x0E) << 29) | (static_cast<std::int64_t>(p[1]) << 22) |
         (static_cast<std::int64_t>(p[2] & 0xFE) << 14) | (static_cast<std::int64_t>(p[3]) << 7) |
         (p[4] >> 1);
}

// Start codes are sparse in coded pictures (one a slice), so the search runs
// over whole vectors and stops only at real prefixes.
std::size_t FindPrefixScalar(const std::uint8_t* p, std::size_t size, std::size_t i) {
  for (; i + 3 <= size; ++i) {
    if (p[i + 2] > 1) {
      i += 2;  // no prefix can end at or before i + 2
    } else if (p[i + 2] == 1 && p[i] == 0 && p[i + 1] == 0) {
      return i;
    }
  }
  return size;
}

#ifdef MORVIX_X86_SIMD
std::size_t FindPrefixSse2(const std::uint8_t* p, std::size_t size) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = _mm_set1_epi8(1);
  std::size_t i = 0;
  for (; i + 18 <= size; i += 16) {
    const __m128i a = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), zero);
    const __m128i b = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1)), zero);
    const __m128i c = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 2)), one);
    const int mask = _mm_movemask_epi8(_mm_and_si128(_mm_and_si128(a, b), c));
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
  }
  return FindPrefixScalar(p, size, i);
}

__attribute__((target("avx2"))) std::size_t FindPrefixAvx2(const std::uint8_t* p, std::size_t size) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i one = _mm256_set1_epi8(1);
  std::size_t i = 0;
  for (; i + 34 <= size; i += 32) {
    const __m256i a = _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)), zero);
    const __m256i b =
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 1)), zero);
    const __m256i c = _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 2)), one);
    const auto mask =
        static_cast<unsigned>(_mm256_movemask_epi8(_mm256_and_si256(_mm256_and_si256(a, b), c)));
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
  }
  return FindPrefixScalar(p, size, i);
}
#endif

// An MPEG-2 PES header: where the payload starts and the PTS when the flags
// say one is there.
struct PesHeader {
  std::size_t payload = 0;  // offset from the packet start
  bool has_pts = false;
  std::int64_t pts = 0;
};

bool ParsePesHeader(const std::uint8_t* packet, std::size_t packet_size, PesHeader& out) {
  if (packet_size < 9 || (packet[6] & 0xC0) != 0x80) return false;  // not an MPEG-2 PES header
  const std::uint8_t flags = packet[7];
  const std::size_t header_length = packet[8];
  out.payload = 9 + header_length;
  if (out.payload > packet_size) return false;
  if (flags & 0x80) {
    if (header_length < 5) return false;
    out.has_pts = true;
    out.pts = ReadPts(packet + 9);
  }
  return true;
}

// The sample rate of an audio stream read from its own frame header:
// 1 = 48 kHz, 2 = 96 kHz, 0 = another rate, -1 = no header in this payload.
int Ac3Rate(const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i + 5 <= size; ++i) {
    if (data[i] != 0x0B || data[i + 1] != 0x77) continue;
    const int fscod = data[i + 4] >> 6;
    const int frmsizecod = data[i + 4] & 0x3F;
    if (fscod == 3 || frmsizecod >= 38) continue;  // not a sync frame
    return fscod == 0 ? 1 : 0;
  }
  return -1;
}

int MpegAudioFrameBytes(const std::uint8_t* h) {
  static constexpr int kLayer2Kbps[16] = {0,   32,  48,  56,  64,  80,  96,  112,
                                          128, 160, 192, 224, 256, 320, 384, 0};
  static constexpr int kLayer1Kbps[16] = {0,   32,  64,  96,  128, 160, 192, 224,
                                          256, 288, 320, 352, 384, 416, 448, 0};
  static constexpr int kLayer3Kbps[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                          112, 128, 160, 192, 224, 256, 320, 0};
  static constexpr int kRates[3] = {44100, 48000, 32000};
  const int layer = (h[1] >> 1) & 3;  // 3 = layer I, 2 = II, 1 = III
  const int bitrate_index = h[2] >> 4;
  const int rate_index = (h[2] >> 2) & 3;
  const int padding = (h[2] >> 1) & 1;
  const int rate = kRates[rate_index];
  if (layer == 3) return (12 * kLayer1Kbps[bitrate_index] * 1000 / rate + padding) * 4;
  const int kbps = layer == 2 ? kLayer2Kbps[bitrate_index] : kLayer3Kbps[bitrate_index];
  return 144 * kbps * 1000 / rate + padding;
}

int MpegAudioRate(const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i + 4 <= size; ++i) {
    const std::uint8_t* h = data + i;
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) continue;
    const int version = (h[1] >> 3) & 3;  // 3 = MPEG-1, 2 = MPEG-2, 0 = MPEG-2.5
    const int layer = (h[1] >> 1) & 3;
    const int bitrate_index = h[2] >> 4;
    const int rate_index = (h[2] >> 2) & 3;
    if (version == 1 || layer == 0 || bitrate_index == 0 || bitrate_index == 15 || rate_index == 3) {
      continue;
    }
    if (version == 3) {
      // Confirm with the next frame header when it lies in this payload.
      const std::size_t next = i + static_cast<std::size_t>(MpegAudioFrameBytes(h));
      if (next + 2 <= size && (data[next] != 0xFF || (data[next + 1] & 0xE0) != 0xE0)) continue;
    }
    return version == 3 && rate_index == 1 ? 1 : 0;
  }
  return -1;
}

}  // namespace

std::size_t FindStartCodePrefix(const std::uint8_t* p, std::size_t size, PrefixSearch how) {
#ifdef MORVIX_X86_SIMD
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (how == PrefixSearch::kBest) how = avx2 ? PrefixSearch::kAvx2 : PrefixSearch::kSse2;
  if (how == PrefixSearch::kAvx2 && avx2) return FindPrefixAvx2(p, size);
  if (how != PrefixSearch::kScalar) return FindPrefixSse2(p, size);
#else
  (void)how;
#endif
  return FindPrefixScalar(p, size, 0);
}

Status CheckSequenceHeader(int width, int height, int aspect_code, int frame_rate_code,
                           VideoAttributes& video) {
  int tv_system;
  if (height == 480 || height == 240) {
    tv_system = 1;
  } else if (height == 576 || height == 288) {
    tv_system = 2;
  } else {
    return kErrResolution;
  }
  const bool half_height = height == 240 || height == 288;
  int size_class;
  if (width == 720 && !half_height) {
    size_class = 1;
  } else if (width == 704 && !half_height) {
    size_class = 2;
  } else if (width == 352) {
    size_class = half_height ? 4 : 3;
  } else {
    return kErrResolution;
  }
  int aspect;
  if (aspect_code == 2) {
    aspect = 1;
  } else if (aspect_code == 3) {
    aspect = 2;
  } else {
    return kErrAspect;
  }
  int rate_system;
  double frame_rate;
  if (frame_rate_code == 3) {
    rate_system = 2;
    frame_rate = 25.0;
  } else if (frame_rate_code == 4) {
    rate_system = 1;
    frame_rate = 29.97002997;
  } else {
    return kErrFpsInvalid;
  }
  if (rate_system != tv_system) return kErrFpsMismatch;
  video.tv_system = tv_system;
  video.size_class = size_class;
  video.aspect = aspect;
  video.frame_rate = frame_rate;
  video.mpeg_version = 2;
  return kOk;
}

Status StreamScanner::AddPack(const std::uint8_t* p, std::int64_t number) {
  if (!IsStartCodePrefix(p) || p[3] != kPackStartCode || (p[4] & 0xC0) != 0x40) return kErrMpegFormat;
  const std::size_t stuffing = p[13] & 7;
  std::size_t pos = kPackHeaderSize + stuffing;

  if (IsStartCodePrefix(p + pos) && p[pos + 3] == kSystemHeader) {
    // A VOBU starts here; the pack must have the navigation-pack shape, since
    // it is later overwritten with navigation data.
    if (stuffing != 0 ||
        GetBe16(p + kNavSystemHeaderOffset + 4) != kNavPciOffset - kNavSystemHeaderOffset - 6 ||
        !IsStartCodePrefix(p + kNavPciOffset) || p[kNavPciOffset + 3] != kPrivateStream2 ||
        GetBe16(p + kNavPciOffset + 4) != kNavPciLength || !IsStartCodePrefix(p + kNavDsiOffset) ||
        p[kNavDsiOffset + 3] != kPrivateStream2 || GetBe16(p + kNavDsiOffset + 4) != kNavDsiLength) {
      return kErrMpegFormat;
    }
    // The writer sets the video and private stream 1 buffer bounds in the
    // system header, so both entries must be there.
    if (const Status s = CheckNavSystemHeader(p); s != kOk) return s;
    if (!vobus_.empty()) vobus_.back().last_pack = number - 1;
    ScannedVobu vobu;
    vobu.first_pack = number;
    vobu.last_pack = number;
    vobus_.push_back(vobu);
    return kOk;
  }
  if (vobus_.empty()) return kErrMpegFormat;  // the stream must open with a navigation pack

  while (pos + 6 <= kPackSize) {
    const std::uint8_t* packet = p + pos;
    if (!IsStartCodePrefix(packet)) return kErrMpegFormat;
    const std::uint8_t id = packet[3];
    if (id == kProgramEnd) break;
    if (id < kProgramEnd) return kErrMpegFormat;
    const std::size_t size = 6 + static_cast<std::size_t>(GetBe16(packet + 4));
    if (pos + size > kPackSize) return kErrMpegFormat;

    if (id == kVideoStream || id == kPrivateStream1 || (id >= kMpegAudioFirst && id <= kMpegAudioLast)) {
      PesHeader pes;
      if (!ParsePesHeader(packet, size, pes)) return kErrMpegFormat;
      const std::uint8_t* payload = packet + pes.payload;
      const std::size_t payload_size = size - pes.payload;
      Status status = kOk;
      if (id == kVideoStream) {
        ScannedVobu& vobu = vobus_.back();
        if (vobu.first_video_pack < 0) vobu.first_video_pack = number;
        vobu.last_video_pack = number;
        status = AddVideo(payload, payload_size, pes.has_pts, pes.pts);
      } else if (id == kPrivateStream1) {
        if (payload_size > 0) {
          const std::uint8_t sub = payload[0];
          if ((sub >= kAc3First && sub <= kAc3Last) || (sub >= kLpcmFirst && sub <= kLpcmLast)) {
            status = AddAudio(sub, payload, payload_size);
          }
        }
      } else {
        status = AddAudio(id, payload, payload_size);
      }
      if (status != kOk) return status;
    }
    pos += size;
  }
  return kOk;
}

Status StreamScanner::AddVideo(const std::uint8_t* data, std::size_t size, bool has_pts, std::int64_t pts) {
  if (has_pts) {
    pending_pts_ = true;
    pending_pts_value_ = pts;
  }
  std::size_t i = 0;
  while (i < size) {
    // With nothing being captured and no prefix begun in the window, skip to
    // the next prefix found inside the payload.
    if (capture_ == Capture::kNone && (window_ & 0xFF) != 0 && (window_ & 0xFFFFFF) != 0x000001) {
      const std::size_t found = i + FindStartCodePrefix(data + i, size - i);
      if (found == size) {
        for (std::size_t k = size - std::min<std::size_t>(3, size - i); k < size; ++k)
          window_ = (window_ << 8) | data[k];
        break;
      }
      window_ = 0x000001;
      i = found + 3;
      continue;
    }
    const std::uint8_t b = data[i++];
    if (capture_ != Capture::kNone) {
      capture_buf_[capture_have_++] = b;
      if (capture_have_ == capture_need_) {
        const Status status = OnCaptured();
        if (status != kOk) return status;
      }
    }
    window_ = (window_ << 8) | b;
    if ((window_ & 0xFFFFFF00u) == 0x00000100u) {
      const Status status = OnStartCode(b);
      if (status != kOk) return status;
    }
  }
  // A PTS belongs to the first picture that starts in its packet; keep it
  // only while a start code may still be completing across the packet end.
  if ((window_ & 0xFF) != 0 && (window_ & 0xFFFFFF) != 0x000001) pending_pts_ = false;
  return kOk;
}

Status StreamScanner::OnStartCode(std::uint8_t code) {
  capture_ = Capture::kNone;
  if (code == kPictureStartCode) {
    ScannedVobu& vobu = vobus_.back();
    ++vobu.pictures;
    vobu.fields += 2;  // a frame picture unless its coding extension says otherwise
    capture_first_picture_ = !vobu.first_picture_seen;
    if (!vobu.first_picture_seen) {
      vobu.first_picture_seen = true;
      vobu.first_picture_has_pts = pending_pts_;
      vobu.first_picture_pts = pending_pts_value_;
      capture_ = Capture::kPicture;
      capture_need_ = 2;
      capture_have_ = 0;
    }
    pending_pts_ = false;
  } else if (code == kSequenceHeaderCode && !sequence_header_found_) {
    capture_ = Capture::kSequence;
    capture_need_ = 4;
    capture_have_ = 0;
  } else if (code == kExtensionStartCode && vobus_.back().pictures > 0) {
    capture_ = Capture::kExtension;
    capture_need_ = 4;
    capture_have_ = 0;
  }
  return kOk;
}

Status StreamScanner::OnCaptured() {
  const std::uint8_t* b = capture_buf_;
  const Capture kind = capture_;
  capture_ = Capture::kNone;
  if (kind == Capture::kSequence) {
    const int width = b[0] << 4 | b[1] >> 4;
    const int height = (b[1] & 0x0F) << 8 | b[2];
    const Status status = CheckSequenceHeader(width, height, b[3] >> 4, b[3] & 0x0F, video_);
    if (status != kOk) return status;
    sequence_header_found_ = true;
  } else if (kind == Capture::kPicture && capture_first_picture_) {
    vobus_.back().first_picture_temporal_reference = b[0] << 2 | b[1] >> 6;
  } else if (kind == Capture::kExtension && (b[0] >> 4) == kPictureCodingExtensionId) {
    // picture_structure 3 is a frame (shown for 2 fields, 3 with
    // repeat_first_field); a field picture is shown for one field.
    const int structure = b[2] & 3;
    const bool repeat_first_field = (b[3] & 0x02) != 0;
    ScannedVobu& vobu = vobus_.back();
    if (structure != 3) {
      vobu.fields -= 1;
    } else if (repeat_first_field) {
      vobu.fields += 1;
    }
  }
  return kOk;
}

Status StreamScanner::AddAudio(std::uint8_t stream_id, const std::uint8_t* payload, std::size_t size) {
  auto it = std::find_if(audio_.begin(), audio_.end(),
                         [&](const AudioSlot& s) { return s.attributes.stream_id == stream_id; });
  if (it == audio_.end()) {
    // Two codings under one stream number would leave players unable to tell
    // them apart.
    for (const AudioSlot& s : audio_) {
      if (s.attributes.stream_number() == (stream_id & 7)) return kErrMpegFormat;
    }
    AudioSlot slot;
    slot.attributes.stream_id = stream_id;
    slot.attributes.coding = stream_id >= kLpcmFirst && stream_id <= kLpcmLast ? 4
                             : stream_id >= kAc3First && stream_id <= kAc3Last ? 1
                                                                               : 2;
    audio_.push_back(slot);
    it = audio_.end() - 1;
  }
  if (it->rate_known) return kOk;
  int rate = -1;
  switch (it->attributes.coding) {
    case 1:  // sub-stream id, frame count, first access unit pointer, then AC-3 frames
      if (size > 4) rate = Ac3Rate(payload + 4, size - 4);
      break;
    case 4:  // sub-stream id, frame count, pointer, then the LPCM header
      if (size > 5) {
        const int frequency = (payload[5] >> 4) & 3;
        rate = frequency == 0 ? 1 : frequency == 1 ? 2 : 0;
      }
      break;
    default:
      rate = MpegAudioRate(payload, size);
      break;
  }
  if (rate == 0) return kErrMpegFormat;
  if (rate > 0) {
    it->rate_known = true;
    it->attributes.sample_rate = rate;
  }
  return kOk;
}

Status StreamScanner::Finish(std::int64_t pack_count) {
  if (vobus_.empty() || !sequence_header_found_) return kErrMpegFormat;
  vobus_.back().last_pack = pack_count - 1;
  return kOk;
}

std::vector<AudioStreamAttributes> StreamScanner::audio() const {
  std::vector<AudioStreamAttributes> out;
  for (const AudioSlot& s : audio_) out.push_back(s.attributes);
  std::sort(out.begin(), out.end(), [](const AudioStreamAttributes& a, const AudioStreamAttributes& b) {
    return a.stream_number() < b.stream_number();
  });
  return out;
}

}  // namespace morvix::mpeg
