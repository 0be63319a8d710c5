#include "vantora/dvd_stream_check.h"

#include <array>
#include <vector>

#include "platform/fileio.h"

namespace vantora {
namespace {

constexpr std::uint8_t kPackStart = 0xBA;
constexpr std::uint8_t kSystemHeader = 0xBB;
constexpr std::uint8_t kPrivateStream1 = 0xBD;
constexpr std::uint8_t kPaddingStream = 0xBE;
constexpr std::uint8_t kPrivateStream2 = 0xBF;
constexpr std::uint8_t kSequenceHeaderCode = 0xB3;

bool IsVideo(std::uint8_t id) { return (id & 0xF0) == 0xE0; }
bool IsMpegAudio(std::uint8_t id) { return (id & 0xE0) == 0xC0; }

// Payload of a video PES packet: the bytes after its header.
std::size_t PesPayloadOffset(const std::uint8_t* pes, std::size_t length) {
  // pes points at the 00 00 01 id; MPEG-2 PES header: 6 + 3 + header_data_length.
  if (length < 9 || (pes[6] & 0xC0) != 0x80) return length;
  const std::size_t offset = 9 + pes[8];
  return offset <= length ? offset : length;
}

}  // namespace

DvdStreamReport CheckDvdProgramStream(const std::filesystem::path& file) {
  DvdStreamReport r;
  platform::FileError error;
  platform::File f = platform::File::Open(file, platform::File::Mode::kRead, &error);
  if (!f.is_open()) {
    r.problem = error.message;
    return r;
  }
  f.AdviseSequential();
  std::vector<std::uint8_t> buffer(kDvdPackSize * 256);
  std::uint32_t scan = 0xFFFFFFFF;  // last bytes of the video elementary stream
  bool nav_since_video = false;     // a navigation pack came after the last video pack
  bool this_after_nav = false;      // the current video pack follows a navigation pack
  bool previous_after_nav = false;  // the same for the video pack before it
  int seq_bytes_wanted = 0;         // sequence header bytes still to collect
  std::array<std::uint8_t, 4> seq{};
  std::uint64_t offset = 0;
  for (;;) {
    const std::size_t got = f.ReadFully(buffer.data(), buffer.size(), &error);
    if (error) {
      r.problem = error.message;
      return r;
    }
    if (got % kDvdPackSize != 0) {
      r.problem = "the size is not a whole number of 2048-byte packs";
      return r;
    }
    for (std::size_t p = 0; p < got; p += kDvdPackSize, offset += kDvdPackSize) {
      const std::uint8_t* pack = buffer.data() + p;
      const std::uint64_t index = offset / kDvdPackSize;
      if (pack[0] != 0 || pack[1] != 0 || pack[2] != 1 || pack[3] != kPackStart || (pack[4] & 0xC0) != 0x40) {
        r.problem = "pack " + std::to_string(index) + " does not start with an MPEG-2 pack header";
        return r;
      }
      std::size_t pos = 14 + (pack[13] & 0x07);
      bool has_pci = false, has_dsi = false, is_video = false;
      std::size_t es_bytes_in_pack = 0;
      while (pos + 6 <= kDvdPackSize) {
        const std::uint8_t* pes = pack + pos;
        if (pes[0] != 0 || pes[1] != 0 || pes[2] != 1) {
          r.problem = "pack " + std::to_string(index) + " holds a broken packet";
          return r;
        }
        const std::uint8_t id = pes[3];
        const std::size_t length = 6 + ((static_cast<std::size_t>(pes[4]) << 8) | pes[5]);
        if (pos + length > kDvdPackSize) {
          r.problem = "pack " + std::to_string(index) + " holds a packet that overruns it";
          return r;
        }
        if (id == kPrivateStream2 && length > 6) {
          has_pci |= pes[6] == 0x00;
          has_dsi |= pes[6] == 0x01;
        } else if (IsVideo(id)) {
          if (!is_video) {
            previous_after_nav = this_after_nav;
            this_after_nav = nav_since_video;
          }
          is_video = true;
          for (std::size_t i = PesPayloadOffset(pes, length); i < length; ++i) {
            const std::uint8_t b = pes[i];
            if (seq_bytes_wanted > 0) {
              seq[4 - seq_bytes_wanted] = b;
              if (--seq_bytes_wanted == 0 && r.sequence_headers == 1) {
                r.first_sequence.width = (seq[0] << 4) | (seq[1] >> 4);
                r.first_sequence.height = ((seq[1] & 0x0F) << 8) | seq[2];
                r.first_sequence.aspect_code = seq[3] >> 4;
                r.first_sequence.frame_rate_code = seq[3] & 0x0F;
              }
            }
            scan = (scan << 8) | b;
            ++es_bytes_in_pack;
            if (scan == (0x00000100u | kSequenceHeaderCode)) {
              // A sequence header opens a video object unit, whose first pack
              // must follow a navigation pack. A start code that began in the
              // previous video pack belongs to that pack.
              const bool after_nav = es_bytes_in_pack >= 4 ? this_after_nav : previous_after_nav;
              if (!after_nav) {
                r.problem = "the video object unit at pack " + std::to_string(index) +
                            " does not begin with a navigation pack";
                return r;
              }
              ++r.sequence_headers;
              seq_bytes_wanted = 4;
            }
          }
        } else if (id == kPrivateStream1 || IsMpegAudio(id)) {
          ++r.audio_packs;
        } else if (id != kSystemHeader && id != kPaddingStream) {
          // Other stream ids have no place in a DVD program stream.
          r.problem = "pack " + std::to_string(index) + " holds an unexpected stream";
          return r;
        }
        pos += length;
      }
      if (has_pci != has_dsi) {
        r.problem = "pack " + std::to_string(index) + " is half a navigation pack";
        return r;
      }
      if (index == 0 && !has_pci) {
        r.problem = "the stream does not begin with a navigation pack";
        return r;
      }
      if (has_pci) {
        ++r.nav_packs;
        nav_since_video = true;
      }
      if (is_video) {
        ++r.video_packs;
        nav_since_video = false;
      }
      ++r.packs;
    }
    if (got < buffer.size()) break;
  }
  if (r.packs == 0) {
    r.problem = "the file is empty";
    return r;
  }
  if (r.sequence_headers == 0 || r.first_sequence.width == 0) {
    r.problem = "the stream holds no MPEG-2 video sequence header";
    return r;
  }
  r.ok = true;
  return r;
}

}  // namespace vantora
