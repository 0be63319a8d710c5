#include "audio/mp3_encoder.h"

#include <dlfcn.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/text.h"

namespace zephrel {

// The entry points of the encoder library that the writer calls.
struct LameApi {
  using Handle = void*;
  using SetInt = int (*)(Handle, int);
  void* library = nullptr;
  Handle (*init)() = nullptr;
  SetInt set_num_channels = nullptr, set_in_samplerate = nullptr, set_out_samplerate = nullptr,
         set_brate = nullptr, set_mode = nullptr, set_quality = nullptr, set_vbr = nullptr,
         set_vbr_q = nullptr, set_vbr_min = nullptr, set_vbr_max = nullptr, set_vbr_mean = nullptr,
         set_write_vbr_tag = nullptr, set_error_protection = nullptr, set_copyright = nullptr,
         set_original = nullptr, set_extension = nullptr, set_preset = nullptr;
  int (*init_params)(Handle) = nullptr;
  int (*encode_interleaved)(Handle, short*, int, unsigned char*, int) = nullptr;
  int (*flush)(Handle, unsigned char*, int) = nullptr;
  std::size_t (*lametag_frame)(Handle, unsigned char*, std::size_t) = nullptr;
  int (*close)(Handle) = nullptr;
  ~LameApi() {
    if (library) dlclose(library);
  }
};

namespace {

// The library's own numbers.
constexpr int kLameVbrOff = 0, kLameVbrRh = 2, kLameVbrAbr = 3, kLameVbrMtrh = 4;
constexpr int kLamePresetR3mix = 1000, kLamePresetStandard = 1001, kLamePresetExtreme = 1002,
              kLamePresetInsane = 1003, kLamePresetStandardFast = 1004, kLamePresetExtremeFast = 1005;

// A preset of the settings and what it asks of the encoder.
struct PresetMapping {
  std::string_view name;
  int library_preset = 0;            // the library's preset
  int quality = -1;                  // algorithm quality
  int bitrate = 0, sample_rate = 0;  // fixed-rate presets: bit rate, output rate and mode
  Mp3Mode mode = Mp3Mode::kStereo;
};

constexpr std::array<PresetMapping, 24> kPresets = {{
    {"NONE"},
    {"NORMAL", 0, 5},
    {"LOW", 0, 7},
    {"HIGH", 0, 2},
    {"Q_VOICE", 0, 5, 56, 24000, Mp3Mode::kMono},
    {"R3MIX", kLamePresetR3mix},
    {"VERY HIGH", 0, 0},
    {"STANDARD", kLamePresetStandard},
    {"FAST STANDARD", kLamePresetStandardFast},
    {"EXTREME", kLamePresetExtreme},
    {"FAST EXTREME", kLamePresetExtremeFast},
    {"INSANE", kLamePresetInsane},
    {"ABR"},
    {"CBR"},
    {"PHONE", 0, -1, 16, 8000, Mp3Mode::kMono},
    {"SW", 0, -1, 24, 11025, Mp3Mode::kMono},
    {"AM", 0, -1, 40, 16000, Mp3Mode::kMono},
    {"FM", 0, -1, 112, 22050, Mp3Mode::kJointStereo},
    {"VOICE", 0, -1, 56, 24000, Mp3Mode::kMono},
    {"RADIO", 0, -1, 112, 32000, Mp3Mode::kJointStereo},
    {"TAPE", 0, -1, 128, 44100, Mp3Mode::kJointStereo},
    {"HIFI", 0, -1, 160, 44100, Mp3Mode::kJointStereo},
    {"CD", 0, -1, 192, 44100, Mp3Mode::kStereo},
    {"STUDIO", 0, -1, 256, 44100, Mp3Mode::kStereo},
}};

int Number(const std::string& text, int fallback) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  return end != text.c_str() && v > 0 && v <= 640 ? static_cast<int>(v) : fallback;
}

template <class F>
bool Bind(void* library, const char* name, F* out) {
  *out = reinterpret_cast<F>(dlsym(library, name));
  return *out != nullptr;
}

}  // namespace

Mp3EncoderConfig BuildMp3EncoderConfig(const Mp3Settings& s) {
  Mp3EncoderConfig c;
  constexpr std::pair<std::string_view, Mp3Mode> kModes[] = {{"Mono", Mp3Mode::kMono},
                                                             {"Stereo", Mp3Mode::kStereo},
                                                             {"Joint-stereo", Mp3Mode::kJointStereo},
                                                             {"Dual-Channel", Mp3Mode::kDualChannel}};
  for (const auto& [name, mode] : kModes) {
    if (platform::AsciiIEquals(s.channel, name)) c.mode = mode;
  }
  c.bitrate = Number(s.bitrate, 128);
  c.crc = s.crc;
  c.copyright = s.copyright;
  c.original = s.original;
  c.private_bit = s.private_bit;
  if (!s.vbr) return c;

  c.vbr = true;
  if (s.frequency == "32000" || s.frequency == "44100" || s.frequency == "48000") {
    c.out_sample_rate = std::atoi(s.frequency.c_str());
  }
  c.vbr_max_bitrate = Number(s.vbr_bitrate, 0);
  c.vbr_header = s.vbr_header;
  constexpr std::pair<std::string_view, int> kMethods[] = {{"Default", kLameVbrMtrh},
                                                           {"Old", kLameVbrRh},
                                                           {"New", kLameVbrMtrh},
                                                           {"MTRH", kLameVbrMtrh},
                                                           {"ABR", kLameVbrAbr}};
  c.vbr_method = kLameVbrMtrh;
  for (const auto& [name, method] : kMethods) {
    if (platform::AsciiIEquals(s.vbr_method, name)) c.vbr_method = method;
  }
  if (c.vbr_method == kLameVbrAbr) c.abr_bitrate = c.bitrate;
  if (s.vbr_quality.size() == 5 && platform::AsciiIEquals(s.vbr_quality.substr(0, 4), "VBR-") &&
      s.vbr_quality[4] >= '0' && s.vbr_quality[4] <= '9') {
    c.vbr_quality = s.vbr_quality[4] - '0';
  }
  for (const PresetMapping& p : kPresets) {
    if (!platform::AsciiIEquals(s.preset, p.name)) continue;
    c.library_preset = p.library_preset;
    c.quality = p.quality;
    if (p.name == "CBR") c.vbr = false;
    if (p.name == "ABR") {
      c.vbr_method = kLameVbrAbr;
      c.abr_bitrate = c.bitrate;
    }
    if (p.bitrate != 0) {  // a fixed-rate preset
      c.vbr = false;
      c.bitrate = p.bitrate;
      c.out_sample_rate = p.sample_rate;
      c.mode = p.mode;
    }
  }
  if (!c.vbr) c.vbr_header = false;
  return c;
}

int LoadMp3Encoder(std::shared_ptr<const LameApi>* api, std::string* error) {
  const char* override_name = std::getenv("ZEPHREL_LAME_LIBRARY");
  const std::string name = override_name && *override_name ? override_name : "libmp3lame.so.0";
  auto lame = std::make_shared<LameApi>();
  lame->library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lame->library) {
    *error = std::string(kEncoderMissingText) + ": " + name + " cannot be loaded";
    return kEncoderLibraryMissing;
  }
  void* l = lame->library;
  const bool all =
      Bind(l, "lame_init", &lame->init) && Bind(l, "lame_set_num_channels", &lame->set_num_channels) &&
      Bind(l, "lame_set_in_samplerate", &lame->set_in_samplerate) &&
      Bind(l, "lame_set_out_samplerate", &lame->set_out_samplerate) &&
      Bind(l, "lame_set_brate", &lame->set_brate) && Bind(l, "lame_set_mode", &lame->set_mode) &&
      Bind(l, "lame_set_quality", &lame->set_quality) && Bind(l, "lame_set_VBR", &lame->set_vbr) &&
      Bind(l, "lame_set_VBR_q", &lame->set_vbr_q) &&
      Bind(l, "lame_set_VBR_min_bitrate_kbps", &lame->set_vbr_min) &&
      Bind(l, "lame_set_VBR_max_bitrate_kbps", &lame->set_vbr_max) &&
      Bind(l, "lame_set_VBR_mean_bitrate_kbps", &lame->set_vbr_mean) &&
      Bind(l, "lame_set_bWriteVbrTag", &lame->set_write_vbr_tag) &&
      Bind(l, "lame_set_error_protection", &lame->set_error_protection) &&
      Bind(l, "lame_set_copyright", &lame->set_copyright) &&
      Bind(l, "lame_set_original", &lame->set_original) &&
      Bind(l, "lame_set_extension", &lame->set_extension) && Bind(l, "lame_set_preset", &lame->set_preset) &&
      Bind(l, "lame_init_params", &lame->init_params) &&
      Bind(l, "lame_encode_buffer_interleaved", &lame->encode_interleaved) &&
      Bind(l, "lame_encode_flush", &lame->flush) && Bind(l, "lame_get_lametag_frame", &lame->lametag_frame) &&
      Bind(l, "lame_close", &lame->close);
  if (!all) {
    *error = std::string(kEncoderMissingText) + ": " + name + " lacks an entry point";
    return kEncoderEntryPointMissing;
  }
  *api = std::move(lame);
  return kEncoderLoaded;
}

Mp3Writer::Mp3Writer(std::shared_ptr<const LameApi> api) : api_(std::move(api)) {}

Mp3Writer::~Mp3Writer() { Release(); }

void Mp3Writer::Release() {
  if (stream_) api_->close(stream_);
  stream_ = nullptr;
}

bool Mp3Writer::Open(const std::filesystem::path& path, const Mp3EncoderConfig& c, std::string* error) {
  Release();
  platform::FileError fe;
  file_ = platform::File::Open(path, platform::File::Mode::kCreateTruncate, &fe);
  if (!file_.is_open()) {
    *error = fe.message;
    return false;
  }
  stream_ = api_->init();
  if (!stream_) {
    *error = "The MP3 encoder cannot start a stream";
    return false;
  }
  const LameApi& l = *api_;
  l.set_num_channels(stream_, 2);
  l.set_in_samplerate(stream_, 44100);
  if (c.out_sample_rate != 0) l.set_out_samplerate(stream_, c.out_sample_rate);
  l.set_mode(stream_, static_cast<int>(c.mode));
  l.set_error_protection(stream_, c.crc);
  l.set_copyright(stream_, c.copyright);
  l.set_original(stream_, c.original);
  l.set_extension(stream_, c.private_bit);
  l.set_write_vbr_tag(stream_, c.vbr_header);
  if (c.vbr) {
    l.set_vbr(stream_, c.vbr_method);
    l.set_vbr_q(stream_, c.vbr_quality);
    l.set_vbr_min(stream_, c.bitrate);
    if (c.vbr_max_bitrate != 0) l.set_vbr_max(stream_, c.vbr_max_bitrate);
    if (c.abr_bitrate != 0) l.set_vbr_mean(stream_, c.abr_bitrate);
    if (c.library_preset != 0) l.set_preset(stream_, c.library_preset);
  } else {
    l.set_vbr(stream_, kLameVbrOff);
    l.set_brate(stream_, c.bitrate);
  }
  if (c.quality >= 0) l.set_quality(stream_, c.quality);
  if (l.init_params(stream_) < 0) {
    *error = "The MP3 encoder refused its settings (" + std::to_string(c.bitrate) + " kbit/s)";
    Release();
    return false;
  }
  vbr_header_ = c.vbr_header;
  carry_.clear();
  return true;
}

bool Mp3Writer::WriteOut(int bytes, std::string* error) {
  if (bytes < 0) {
    *error = "The MP3 encoder failed (" + std::to_string(bytes) + ")";
    return false;
  }
  platform::FileError fe;
  if (bytes > 0 && !file_.WriteAll(out_.data(), static_cast<std::size_t>(bytes), &fe)) {
    *error = fe.message;
    return false;
  }
  return true;
}

bool Mp3Writer::Encode(const std::uint8_t* pcm, std::size_t bytes, std::string* error) {
  if (!stream_) {
    *error = "No MP3 stream is open";
    return false;
  }
  constexpr std::size_t kChunkSamples = 1152 * 8;  // per channel
  while (bytes > 0) {
    // Whole stereo samples: a partial one waits in carry_ for the next bytes.
    const std::size_t take = std::min(bytes, kChunkSamples * 4 - carry_.size());
    carry_.insert(carry_.end(), pcm, pcm + take);
    pcm += take;
    bytes -= take;
    const std::size_t frames = carry_.size() / 4;
    if (frames == 0) break;
    samples_.resize(frames * 2);
    for (std::size_t i = 0; i < frames * 2; ++i) {
      samples_[i] = static_cast<std::int16_t>(carry_[2 * i] | carry_[2 * i + 1] << 8);
    }
    carry_.erase(carry_.begin(), carry_.begin() + static_cast<std::ptrdiff_t>(frames * 4));
    out_.resize(frames + frames / 4 + 7200);
    const int n = api_->encode_interleaved(stream_, samples_.data(), static_cast<int>(frames), out_.data(),
                                           static_cast<int>(out_.size()));
    if (!WriteOut(n, error)) return false;
  }
  return true;
}

bool Mp3Writer::Close(std::string* error) {
  if (!stream_) {
    *error = "No MP3 stream is open";
    return false;
  }
  out_.resize(7200);
  bool ok = WriteOut(api_->flush(stream_, out_.data(), static_cast<int>(out_.size())), error);
  if (ok && vbr_header_) {
    std::array<unsigned char, 2880> frame{};
    const std::size_t size = api_->lametag_frame(stream_, frame.data(), frame.size());
    platform::FileError fe;
    if (size > 0 && size <= frame.size() && !file_.WriteAllAt(frame.data(), size, 0, &fe)) {
      *error = fe.message;
      ok = false;
    }
  }
  Release();
  platform::FileError fe;
  if (!file_.Close(&fe) && ok) {
    *error = fe.message;
    ok = false;
  }
  return ok;
}

}  // namespace zephrel
