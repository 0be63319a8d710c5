// MP3 output of the ripper over the MP3 encoder library, which is loaded at
// run time (libmp3lame.so.0, or the file that ZEPHREL_LAME_LIBRARY names); the
// engine works without it and only MP3 ripping is unavailable then.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/fileio.h"
#include "zephrel/ripper_settings.h"

namespace zephrel {

// Load results of the encoder library.
inline constexpr int kEncoderLoaded = 0;
inline constexpr int kEncoderLibraryMissing = -1;
inline constexpr int kEncoderEntryPointMissing = -2;
inline constexpr const char* kEncoderMissingText = "MP3 encoder library not found (libmp3lame.so.0)";

// Channel modes of an MP3 stream.
enum class Mp3Mode { kStereo = 0, kJointStereo = 1, kDualChannel = 2, kMono = 3 };

// What one encoder is opened with; built afresh for every stream from the
// [MP3] settings, so nothing carries over from an earlier rip.
struct Mp3EncoderConfig {
  int out_sample_rate = 0;  // 0: the encoder's choice
  Mp3Mode mode = Mp3Mode::kStereo;
  int bitrate = 128;  // kbit/s; the minimum with VBR
  bool vbr = false;
  int vbr_method = 0;       // the library's VBR mode number
  int vbr_quality = 7;      // 0 (best) to 9
  int vbr_max_bitrate = 0;  // kbit/s, 0: none
  int abr_bitrate = 0;      // kbit/s, ABR only
  bool vbr_header = false;  // write the VBR header frame at the start
  bool crc = false, copyright = false, original = false, private_bit = false;
  int library_preset = 0;  // the library's preset number, 0: none
  int quality = -1;        // the library's algorithm quality 0..9, -1: its default
};

// The configuration that settings stand for (VBR fields only when VBR is on).
// Texts are compared without regard to ASCII case; an unknown channel text
// gives stereo, an unknown preset none.
Mp3EncoderConfig BuildMp3EncoderConfig(const Mp3Settings& settings);

struct LameApi;

// Binds the encoder library: kEncoderLoaded, kEncoderLibraryMissing or
// kEncoderEntryPointMissing (error set, the library's name in it).
int LoadMp3Encoder(std::shared_ptr<const LameApi>* api, std::string* error);

// One MP3 file being written. Open, any number of Encode, then Close; each
// returns false with error set on failure (the file keeps what was written).
class Mp3Writer {
 public:
  explicit Mp3Writer(std::shared_ptr<const LameApi> api);
  ~Mp3Writer();
  Mp3Writer(const Mp3Writer&) = delete;
  Mp3Writer& operator=(const Mp3Writer&) = delete;

  // Creates or truncates path and starts a stream with config.
  bool Open(const std::filesystem::path& path, const Mp3EncoderConfig& config, std::string* error);
  // 16-bit little-endian stereo PCM, any number of bytes (a partial sample
  // waits for the next call).
  bool Encode(const std::uint8_t* pcm, std::size_t bytes, std::string* error);
  // Flushes the encoder, writes the final VBR header frame when asked for,
  // closes the stream and the file.
  bool Close(std::string* error);

 private:
  bool WriteOut(int bytes, std::string* error);
  void Release();

  std::shared_ptr<const LameApi> api_;
  void* stream_ = nullptr;
  platform::File file_;
  bool vbr_header_ = false;
  std::vector<std::uint8_t> out_;
  std::vector<std::int16_t> samples_;
  std::vector<std::uint8_t> carry_;
};

}  // namespace zephrel
