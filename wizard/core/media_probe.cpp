#include "vantora/media_probe.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>
#include <tuple>

#include "platform/fileio.h"
#include "platform/process.h"
#include "vantora/probe_answer.h"

namespace vantora {

using platform::ChildResult;
using platform::LastLine;
using platform::RunChild;

namespace {

constexpr char kAllowed[] =
    "avi,mov,mp4,m4a,3gp,3g2,mj2,matroska,webm,flv,asf,mpeg,mpegts,mpegvideo,m4v,h264,hevc,"
    "dv,ogg,mp3,wav,aac,ac3,nut,mxf,rm,yuv4mpegpipe";

std::filesystem::path FindOnPath(const char* env_override, const char* name) {
  if (const char* v = std::getenv(env_override); v != nullptr && *v != '\0') {
    return access(v, X_OK) == 0 ? std::filesystem::path(v) : std::filesystem::path();
  }
  return platform::FindProgram(name);
}

bool DemuxerAllowed(std::string_view names) {
  // ffprobe names a demuxer by all its aliases ("mov,mp4,m4a,..."): the first
  // one decides.
  const std::string_view first = names.substr(0, names.find(','));
  if (first.empty()) return false;
  std::string_view list = kAllowed;
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    if (list.substr(0, comma) == first) return true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

// What ffprobe found in a file, kept while the file stays as it was: the
// wizard probes each file when it is added to the list and again when it is
// converted, and every run of ffprobe costs a third of a second of processor
// time (most of it loading its libraries) before the conversion can start.
class ProbeCache {
 public:
  using Key = std::tuple<std::string, std::string, dev_t, ino_t, off_t, long, long, long, long>;
  static std::optional<Key> KeyOf(const EncoderTools& tools, const std::filesystem::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return std::nullopt;
    return Key{tools.ffprobe.string(), FileUrl(file),      st.st_dev,         st.st_ino,         st.st_size,
               st.st_mtim.tv_sec,      st.st_mtim.tv_nsec, st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
  }
  std::optional<MediaInfo> Find(const Key& key) {
    std::lock_guard<std::mutex> lock(mu_);
    const auto it = found_.find(key);
    if (it == found_.end()) return std::nullopt;
    return it->second;
  }
  void Keep(const Key& key, const MediaInfo& info) {
    std::lock_guard<std::mutex> lock(mu_);
    if (found_.size() >= 256) found_.clear();
    found_[key] = info;
  }

 private:
  std::mutex mu_;
  std::map<Key, MediaInfo> found_;
};

ProbeCache& Probed() {
  static ProbeCache cache;
  return cache;
}

int ToInt(const Json* v) {
  const auto n = JsonNumber(v);
  if (!n || *n < 0 || *n > 1e6) return 0;
  return static_cast<int>(*n);
}

}  // namespace

EncoderTools FindEncoderTools() {
  return {FindOnPath("VANTORA_FFMPEG", "ffmpeg"), FindOnPath("VANTORA_FFPROBE", "ffprobe")};
}

std::string EncoderToolsProblem(const EncoderTools& tools) {
  std::string missing;
  if (tools.ffmpeg.empty()) missing = "ffmpeg";
  if (tools.ffprobe.empty()) missing += missing.empty() ? "ffprobe" : " and ffprobe";
  if (missing.empty()) return {};
  return "The program " + missing + (missing.find(' ') != std::string::npos ? " were" : " was") +
         " not found. Vantora needs ffmpeg and ffprobe to read and convert videos: install "
         "the ffmpeg package, then start Vantora again.";
}

std::string_view AllowedDemuxers() { return kAllowed; }

std::string FileUrl(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return "file:" + (ec ? path : absolute).lexically_normal().string();
}

std::optional<MediaInfo> ParseProbeAnswer(std::string_view json) {
  const std::optional<Json> doc = ParseJson(json);
  if (!doc || !doc->is_object()) return std::nullopt;
  const Json* format = JsonFind(&*doc, "format");
  if (format == nullptr || !format->is_object()) return std::nullopt;
  const auto names = JsonText(JsonFind(format, "format_name"));
  if (!names || !DemuxerAllowed(*names)) return std::nullopt;

  MediaInfo info;
  info.demuxer = names->substr(0, names->find(','));
  if (const auto v = JsonNumber(JsonFind(format, "duration")); v && *v > 0 && *v < 1e9) info.duration = *v;
  double longest_stream = 0;
  if (const Json* streams = JsonFind(&*doc, "streams"); streams != nullptr && streams->is_array()) {
    for (const Json& s : *streams) {
      const Json* type = JsonFind(&s, "codec_type");
      const Json* index = JsonFind(&s, "index");
      if (type == nullptr || index == nullptr) continue;
      const auto kind = JsonText(type);
      const auto idx = JsonNumber(index);
      if (!kind || !idx || *idx < 0 || *idx > 65535) continue;
      if (const auto v = JsonNumber(JsonFind(&s, "duration")); v && *v > longest_stream && *v < 1e9) {
        longest_stream = *v;
      }
      if (*kind == "video" && info.video_stream < 0) {
        // A still picture attached to an audio file is cover art, not video.
        if (JsonTrue(JsonFind(JsonFind(&s, "disposition"), "attached_pic"))) continue;
        const int w = ToInt(JsonFind(&s, "width"));
        const int h = ToInt(JsonFind(&s, "height"));
        if (w <= 0 || h <= 0) continue;
        info.video_stream = static_cast<int>(*idx);
        info.width = w;
        info.height = h;
        if (const Json* sar = JsonFind(&s, "sample_aspect_ratio")) {
          const std::string text = JsonText(sar).value_or("");
          const std::size_t colon = text.find(':');
          if (colon != std::string::npos) {
            const int num = std::atoi(text.c_str());
            const int den = std::atoi(text.c_str() + colon + 1);
            if (num > 0 && den > 0 && num <= 10000 && den <= 10000) {
              info.sar_num = num;
              info.sar_den = den;
            }
          }
        }
      } else if (*kind == "audio" && info.audio_stream < 0) {
        info.audio_stream = static_cast<int>(*idx);
      }
    }
  }
  if (info.duration <= 0) info.duration = longest_stream;
  return info;
}

ProbeOutcome ProbeMedia(const EncoderTools& tools, const std::filesystem::path& file) {
  ProbeOutcome outcome;
  if (tools.ffprobe.empty()) {
    outcome.result = {OpenStatus::kToolMissing, EncoderToolsProblem(tools)};
    return outcome;
  }
  // Only regular files: a device or a pipe could block the prober forever.
  if (!platform::IsRegularFile(file)) {
    outcome.result = {OpenStatus::kUnrecognized,
                      "Unrecognized format: " + file.string() + " is not a readable file"};
    return outcome;
  }
  // The file as it is now; a file that changes while it is probed is not kept.
  const auto key = ProbeCache::KeyOf(tools, file);
  if (key) {
    if (auto info = Probed().Find(*key)) {
      outcome.info = *info;
      outcome.result = {OpenStatus::kOk, {}};
      return outcome;
    }
  }
  const std::vector<std::string> argv = {
      tools.ffprobe.string(),
      "-v",
      "error",
      "-protocol_whitelist",
      "file",
      "-format_whitelist",
      std::string(kAllowed),
      "-show_entries",
      "format=format_name,duration:stream=index,codec_type,width,height,sample_aspect_ratio,"
      "duration:stream_disposition=attached_pic",
      "-of",
      "json",
      FileUrl(file)};
  const ChildResult run = RunChild(argv, std::chrono::seconds(60));
  if (!run.started) {
    outcome.result = {OpenStatus::kToolMissing, run.start_error};
    return outcome;
  }
  if (run.timed_out || run.exit_code != 0) {
    std::string why = run.timed_out ? "the probe did not finish" : LastLine(run.err);
    outcome.result = {OpenStatus::kUnrecognized,
                      "Unrecognized format" + (why.empty() ? std::string() : ": " + why)};
    return outcome;
  }
  const auto info = ParseProbeAnswer(run.out);
  if (!info) {
    outcome.result = {OpenStatus::kUnrecognized, "Unrecognized format"};
    return outcome;
  }
  if (key && ProbeCache::KeyOf(tools, file) == key) Probed().Keep(*key, *info);
  outcome.info = *info;
  outcome.result = {OpenStatus::kOk, {}};
  return outcome;
}

}  // namespace vantora
