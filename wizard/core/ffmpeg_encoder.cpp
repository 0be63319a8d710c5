#include "vantora/ffmpeg_encoder.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/fileio.h"
#include "platform/process.h"
#include "vantora/dvd_stream_check.h"

namespace vantora {

using platform::ChildProcess;
using platform::ChildResult;
using platform::LastLine;
using platform::ReadAvailable;
using platform::RunChild;

namespace {

using Clock = std::chrono::steady_clock;

// After a stop request ffmpeg gets this long to end before it is killed.
constexpr auto kStopGrace = std::chrono::seconds(5);
constexpr std::size_t kKeptErrorBytes = 8192;

int RoundEven(double v) {
  int n = static_cast<int>(std::lround(v));
  if (n % 2 != 0) n += (v >= n) ? 1 : -1;
  return n < 2 ? 2 : n;
}

std::string Kbit(int bits_per_second) { return std::to_string(bits_per_second / 1000) + "k"; }

std::string Hold(const std::string& s, std::size_t n) { return s.size() > n ? s.substr(s.size() - n) : s; }

void RemoveQuietly(const std::filesystem::path& p) {
  std::error_code ec;
  std::filesystem::remove(p, ec);
}

// ffmpeg, quiet but for errors, replacing its outputs.
std::vector<std::string> FfmpegCommand(const EncoderTools& tools) {
  return {tools.ffmpeg.string(), "-nostdin", "-hide_banner", "-nostats", "-loglevel", "error", "-y"};
}

// Whether the demuxer finds a time through an index (so a piece starts at
// its frame, decoded from the key frame before it); streams found by a
// search of their bytes (MPEG program and transport streams) are not cut.
bool SeeksToTheFrame(const std::string& demuxer) {
  return demuxer == "mov" || demuxer == "matroska" || demuxer == "avi" || demuxer == "dv";
}

// How far the audio encoded beside a long input's pieces is moved forward in
// time, so that the AC-3 encoder's delay before its first frame stays above
// zero.
constexpr double kAudioTimeShift = 1.0;

// The audio mapped before as DVD AC-3, or none.
void AppendAudio(std::vector<std::string>& a, const MediaInfo& info, const EncodeParameters& p) {
  if (!info.has_audio()) {
    a.push_back("-an");
    return;
  }
  a.insert(a.end(), {"-c:a", "ac3", "-b:a", Kbit(p.audio_bitrate), "-ar", std::to_string(p.audio_sample_rate),
                     "-ac", std::to_string(p.audio_channels)});
}

}  // namespace

std::string CheckEncodeParameters(const EncodeParameters& p) {
  const bool pal = p.tv_system == kTvSystemPal;
  if (!pal && p.tv_system != kTvSystemNtsc) {
    return "unknown TV system code " + std::to_string(p.tv_system);
  }
  const int full = pal ? 576 : 480;
  const bool size_ok = ((p.width == 720 || p.width == 704) && p.height == full) ||
                       (p.width == 352 && (p.height == full || p.height == full / 2));
  if (!size_ok) {
    return "the frame size " + std::to_string(p.width) + "x" + std::to_string(p.height) +
           " is not a DVD frame size for " + (pal ? "PAL" : "NTSC");
  }
  const double rate = pal ? 25.0 : 29.97;
  if (std::fabs(p.frame_rate - rate) > 0.01) {
    return "the frame rate does not match the TV system";
  }
  if (p.video_bitrate < 1000 || p.video_bitrate > kMaxVideoBitrate) {
    return "the video bit rate must be between 1 and 9000 kbit/s";
  }
  if (p.audio_sample_rate != 48000) return "DVD audio must be sampled at 48000 Hz";
  if (p.audio_bits != 16) return "DVD audio is encoded from 16-bit samples";
  if (p.audio_channels < 1 || p.audio_channels > 2) return "the audio must be mono or stereo";
  static constexpr int kAc3Rates[] = {64000,  80000,  96000,  112000, 128000, 160000,
                                      192000, 224000, 256000, 320000, 384000, 448000};
  bool rate_ok = false;
  for (int r : kAc3Rates) rate_ok |= r == p.audio_bitrate;
  if (!rate_ok) return "the audio bit rate is not an AC-3 rate of at most 448 kbit/s";
  if (p.aspect != kAspect4x3 && p.aspect != kAspect16x9) {
    return "unknown aspect ratio code " + std::to_string(p.aspect);
  }
  return {};
}

PictureSize FitPicture(int src_width, int src_height, int sar_num, int sar_den, int dst_width, int dst_height,
                       bool wide) {
  if (src_width <= 0 || src_height <= 0) return {dst_width, dst_height};
  if (sar_num <= 0 || sar_den <= 0) sar_num = sar_den = 1;
  const double source = static_cast<double>(src_width) * sar_num / sar_den / src_height;
  const double target = wide ? 16.0 / 9.0 : 4.0 / 3.0;
  if (source >= target) {
    return {dst_width, std::min(dst_height, RoundEven(dst_height * target / source))};
  }
  return {std::min(dst_width, RoundEven(dst_width * source / target)), dst_height};
}

PictureSize PreviewSize(int aspect) { return {kPreviewWidth, aspect == kAspect16x9 ? 90 : 120}; }

std::vector<VideoPiece> PlanPieces(double duration, const EncodeParameters& p, int pieces) {
  const bool pal = p.tv_system == kTvSystemPal;
  const double rate = pal ? 25.0 : 30000.0 / 1001.0;
  const long gop = pal ? 15 : 18;  // the group of pictures of the DVD targets
  const long frames = std::lround(duration * rate);
  pieces = static_cast<int>(std::clamp<long>(pieces, 1, std::max(1L, frames / gop)));
  const long per = ((frames + pieces - 1) / pieces + gop - 1) / gop * gop;
  std::vector<VideoPiece> plan;
  for (long first = 0; first < frames; first += per) {
    // The last piece ends with the input's duration, as the sound does: its
    // own frame-rate conversion would otherwise round its end on its own.
    plan.push_back({first, std::min(per, frames - first), first / rate});
  }
  if (plan.empty()) plan.push_back({0, 0, 0.0});
  return plan;
}

int PieceProcesses(int lanes) { return std::max(1, static_cast<int>(std::lround(lanes * 4 / 3.0))); }

int PieceCount(double duration, int processes) {
  const int by_length = static_cast<int>(duration / kPieceSeconds);
  return std::clamp(by_length, processes, 2 * processes);
}

std::vector<std::string> BuildEncodeArguments(const EncoderTools& tools, const std::filesystem::path& input,
                                              const MediaInfo& info, const EncodeParameters& p,
                                              const std::filesystem::path& temp_output, bool preview,
                                              const VideoPiece* piece) {
  const bool pal = p.tv_system == kTvSystemPal;
  const bool wide = p.aspect == kAspect16x9;
  // A picture of exactly the frame's size with square pixels (the menu page)
  // is in the frame's own pixels already: it is neither scaled nor padded, so
  // the menu buttons stay where the page put them.
  const bool frame_sized = info.width == p.width && info.height == p.height && info.sar_num == info.sar_den;
  const PictureSize fit =
      frame_sized ? PictureSize{p.width, p.height}
                  : FitPicture(info.width, info.height, info.sar_num, info.sar_den, p.width, p.height, wide);
  const std::string dar = wide ? "16:9" : "4:3";
  std::string filter = "scale=" + std::to_string(fit.width) + ":" + std::to_string(fit.height) +
                       ",pad=" + std::to_string(p.width) + ":" + std::to_string(p.height) +
                       ":(ow-iw)/2:(oh-ih)/2:black,setdar=" + (wide ? "16/9" : "4/3");
  std::vector<std::string> a = FfmpegCommand(tools);
  // The input: a local file only, read by the demuxer the probe found.
  a.insert(a.end(), {"-progress", "pipe:1", "-protocol_whitelist", "file", "-format_whitelist",
                     std::string(AllowedDemuxers())});
  if (piece != nullptr) {
    // A piece runs beside as many others as there are cores: its decoder,
    // filters and encoder each keep to one thread, which spares the cost of
    // handing frames between threads.
    a.insert(a.end(), {"-filter_threads", "1", "-threads", "1"});
  }
  if (piece != nullptr && piece->first_frame > 0) {
    // Decoded from the key frame before and cut exactly at the piece's start.
    char start[32];
    std::snprintf(start, sizeof start, "%.6f", piece->start_seconds);
    a.insert(a.end(), {"-ss", start});
  }
  if (piece != nullptr && piece->frames > 0) {
    // The input is read no further than the piece's end and a second more
    // for the frame-rate conversion (-frames:v cuts it exactly): the preview
    // output, which has no end of its own, would read on to the input's end.
    char length[32];
    std::snprintf(length, sizeof length, "%.6f", piece->frames / (pal ? 25.0 : 30000.0 / 1001.0) + 1.0);
    a.insert(a.end(), {"-t", length});
  }
  a.insert(a.end(),
           {"-f", info.demuxer, "-i", FileUrl(input), "-map", "0:" + std::to_string(info.video_stream)});
  if (info.has_audio() && piece == nullptr) {
    a.insert(a.end(), {"-map", "0:" + std::to_string(info.audio_stream)});
  }
  a.insert(a.end(), {"-target", pal ? "pal-dvd" : "ntsc-dvd", "-vf", filter, "-aspect", dar, "-s",
                     std::to_string(p.width) + "x" + std::to_string(p.height), "-b:v", Kbit(p.video_bitrate),
                     "-maxrate", Kbit(kMaxVideoBitrate), "-bufsize", std::to_string(kVideoBufferBits)});
  if (piece != nullptr) {
    // The video alone; its groups of pictures count their time code on from
    // the piece's first frame, as in one whole encode.
    a.insert(a.end(), {"-an", "-threads", "1", "-timecode_frame_start", std::to_string(piece->first_frame)});
    if (piece->frames > 0) a.insert(a.end(), {"-frames:v", std::to_string(piece->frames)});
    a.insert(a.end(), {"-f", "mpeg2video", FileUrl(temp_output)});
  } else {
    AppendAudio(a, info, p);
    a.insert(a.end(), {"-f", "dvd", FileUrl(temp_output)});
  }
  if (preview) {
    // The disc's picture in small: the same pillarbox or letterbox.
    const PictureSize size = PreviewSize(p.aspect);
    const int width = std::max(1, (fit.width * size.width + p.width / 2) / p.width);
    const int height = std::max(1, (fit.height * size.height + p.height / 2) / p.height);
    a.insert(a.end(), {"-map", "0:" + std::to_string(info.video_stream), "-an", "-vf",
                       "fps=2,scale=" + std::to_string(width) + ":" + std::to_string(height) +
                           ",pad=" + std::to_string(size.width) + ":" + std::to_string(size.height) +
                           ":(ow-iw)/2:(oh-ih)/2:black",
                       "-f", "rawvideo", "-pix_fmt", "rgb24", "pipe:3"});
  }
  return a;
}

int ConversionLanes(unsigned cores, std::uint64_t memory_bytes) {
  constexpr std::uint64_t kLaneMemory = 400ull << 20;
  const long by_cores = std::lround(std::max(1u, cores) * 0.75);
  const long by_memory = static_cast<long>(std::min<std::uint64_t>(memory_bytes / kLaneMemory, 64));
  return static_cast<int>(std::clamp(std::min(by_cores, by_memory), 1L, 8L));
}

int ConversionLanesHere() {
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  std::uint64_t available = 0;
  if (std::FILE* f = std::fopen("/proc/meminfo", "r")) {
    char line[256];
    unsigned long long kib = 0;
    while (std::fgets(line, sizeof line, f) != nullptr) {
      if (std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1) {
        available = static_cast<std::uint64_t>(kib) * 1024;
        break;
      }
    }
    std::fclose(f);
  }
  if (available == 0) {
    available = static_cast<std::uint64_t>(std::max(0L, sysconf(_SC_PHYS_PAGES))) *
                static_cast<std::uint64_t>(std::max(0L, sysconf(_SC_PAGESIZE))) / 2;
  }
  return ConversionLanes(online > 0 ? static_cast<unsigned>(online) : 1u, available);
}

std::vector<std::string> BuildAudioArguments(const EncoderTools& tools, const std::filesystem::path& input,
                                             const MediaInfo& info, const EncodeParameters& p,
                                             const std::filesystem::path& temp_output) {
  std::vector<std::string> a = FfmpegCommand(tools);
  a.insert(a.end(),
           {"-protocol_whitelist", "file", "-format_whitelist", std::string(AllowedDemuxers()), "-f",
            info.demuxer, "-i", FileUrl(input), "-map", "0:" + std::to_string(info.audio_stream), "-vn"});
  AppendAudio(a, info, p);
  // NUT keeps each frame's time as the input gave it, but none below zero:
  // they are shifted forward, and back again by the join.
  char shift[32];
  std::snprintf(shift, sizeof shift, "%.6f", kAudioTimeShift);
  a.insert(a.end(), {"-output_ts_offset", shift, "-f", "nut", FileUrl(temp_output)});
  return a;
}

std::vector<std::string> BuildJoinArguments(const EncoderTools& tools, const std::filesystem::path& video,
                                            const std::filesystem::path* audio, const EncodeParameters& p,
                                            const std::filesystem::path& temp_output) {
  const bool pal = p.tv_system == kTvSystemPal;
  std::vector<std::string> a = FfmpegCommand(tools);
  a.insert(a.end(), {"-progress", "pipe:1", "-protocol_whitelist", "file", "-fflags", "+genpts", "-f",
                     "mpegvideo", "-framerate", pal ? "25" : "30000/1001", "-i", FileUrl(video)});
  if (audio != nullptr) {
    // The made-up times show each picture one frame after it is decoded, as
    // the whole encode does; the sound is moved by as much to stay with it.
    char frame[32];
    std::snprintf(frame, sizeof frame, "%.6f", (pal ? 1 / 25.0 : 1001 / 30000.0) - kAudioTimeShift);
    a.insert(a.end(), {"-itsoffset", frame, "-f", "nut", "-i", FileUrl(*audio)});
    // The times are kept as they are (the audio's shifted back): the sound
    // starts before its first picture by the AC-3 encoder's delay, as in the
    // whole encode.
    a.insert(a.begin() + 1, "-copyts");
  }
  a.insert(a.end(), {"-map", "0:v", "-c:v", "copy"});
  if (audio != nullptr) {
    a.insert(a.end(), {"-map", "1:a", "-c:a", "copy"});
  } else {
    a.push_back("-an");
  }
  // What the DVD targets set for the program stream. The elementary stream
  // carries no presentation times; they are made up (+genpts) because the
  // muxer starts each video object unit, with its navigation pack, by them.
  a.insert(a.end(), {"-muxrate", "10080000", "-packetsize", "2048", "-f", "dvd", FileUrl(temp_output)});
  return a;
}

std::optional<std::filesystem::path> CreateTempBeside(const std::filesystem::path& path, std::string* error) {
  for (int n = 0; n < 100; ++n) {
    std::filesystem::path candidate = path;
    candidate += (n == 0 ? std::string() : "." + std::to_string(n)) + ".part";
    platform::FileError fe;
    platform::File f = platform::File::Open(candidate, platform::File::Mode::kCreateExclusive, &fe);
    if (f.is_open()) return candidate;
    if (fe.code != EEXIST) {
      *error = fe.message;
      return std::nullopt;
    }
  }
  *error = "no free temporary name beside " + path.string();
  return std::nullopt;
}

FfmpegEncoder::FfmpegEncoder(EncoderTools tools) : tools_(std::move(tools)) {
  wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  worker_ = std::thread([this] { WorkerLoop(); });
}

FfmpegEncoder::~FfmpegEncoder() {
  Shutdown();
  if (wake_fd_ >= 0) close(wake_fd_);
}

void FfmpegEncoder::Shutdown() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    quit_ = true;
    if (busy_) stop_requested_ = true;
  }
  std::uint64_t one = 1;
  ssize_t ignored = write(wake_fd_, &one, sizeof one);
  (void)ignored;
  cv_.notify_all();
  if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

void FfmpegEncoder::SetEvents(EncoderEvents* events) {
  std::lock_guard<std::mutex> lock(mu_);
  events_ = events;
}
void FfmpegEncoder::SetPreviewTarget(PreviewSink* sink) {
  std::lock_guard<std::mutex> lock(mu_);
  preview_sink_ = sink;
}
void FfmpegEncoder::SetPreviewEnabled(bool on) {
  std::lock_guard<std::mutex> lock(mu_);
  preview_on_ = on;
}
void FfmpegEncoder::ClearPreview() {
  PreviewSink* sink;
  {
    std::lock_guard<std::mutex> lock(mu_);
    sink = preview_sink_;
  }
  if (sink != nullptr) sink->OnPreviewFrame(PreviewFrame{});
}

void FfmpegEncoder::SetOutputPath(const std::filesystem::path& path) {
  std::lock_guard<std::mutex> lock(mu_);
  output_ = path;
}
std::filesystem::path FfmpegEncoder::OutputPath() const {
  std::lock_guard<std::mutex> lock(mu_);
  return output_;
}

OpenResult FfmpegEncoder::Open(const std::filesystem::path& input) {
  ProbeOutcome probe = ProbeMedia(tools_, input);
  std::lock_guard<std::mutex> lock(mu_);
  input_ = input;
  if (probe.result.ok()) {
    info_ = probe.info;
  } else {
    info_.reset();
  }
  return probe.result;
}
bool FfmpegEncoder::HasVideo() const {
  std::lock_guard<std::mutex> lock(mu_);
  return info_ && info_->has_video();
}
bool FfmpegEncoder::HasAudio() const {
  std::lock_guard<std::mutex> lock(mu_);
  return info_ && info_->has_audio();
}
double FfmpegEncoder::DurationSeconds() const {
  std::lock_guard<std::mutex> lock(mu_);
  return info_ ? info_->duration : 0.0;
}

void FfmpegEncoder::SetFrameSize(int width, int height) {
  std::lock_guard<std::mutex> lock(mu_);
  params_.width = width;
  params_.height = height;
}
void FfmpegEncoder::SetFrameRate(float fps) {
  std::lock_guard<std::mutex> lock(mu_);
  params_.frame_rate = fps;
}
void FfmpegEncoder::SetVideoBitrate(int bps) {
  std::lock_guard<std::mutex> lock(mu_);
  params_.video_bitrate = bps;
}
void FfmpegEncoder::SetAudioSampleRate(int hz) {
  std::lock_guard<std::mutex> lock(mu_);
  params_.audio_sample_rate = hz;
}
void FfmpegEncoder::SetAudioBitsPerSample(int bits) {
  std::lock_guard<std::mutex> lock(mu_);
  params_.audio_bits = bits;
}
void FfmpegEncoder::SetAudioChannels(int channels) {
  std::lock_guard<std::mutex> lock(mu_);
  params_.audio_channels = channels;
}
void FfmpegEncoder::SetAudioBitrate(int bps) {
  std::lock_guard<std::mutex> lock(mu_);
  params_.audio_bitrate = bps;
}
void FfmpegEncoder::SetTvSystem(int code) {
  std::lock_guard<std::mutex> lock(mu_);
  params_.tv_system = code;
}
void FfmpegEncoder::SetAspect(int code) {
  std::lock_guard<std::mutex> lock(mu_);
  params_.aspect = code;
}

void FfmpegEncoder::SetParallelism(int pieces) {
  std::lock_guard<std::mutex> lock(mu_);
  pieces_ = std::max(1, pieces);
}

bool FfmpegEncoder::Start() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (busy_ || quit_) return false;
    busy_ = true;
    stop_requested_ = false;
    pending_ = Job{input_, info_, params_, output_, preview_on_ && preview_sink_ != nullptr, pieces_};
    fps_ = 0;
    position_ = 0;
    timing_ = false;
    started_ = ended_ = Clock::time_point{};
  }
  cv_.notify_all();
  return true;
}

void FfmpegEncoder::Stop() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!busy_) return;
    stop_requested_ = true;
  }
  std::uint64_t one = 1;
  ssize_t ignored = write(wake_fd_, &one, sizeof one);
  (void)ignored;
}

double FfmpegEncoder::FramesPerSecond() const {
  std::lock_guard<std::mutex> lock(mu_);
  return fps_;
}
double FfmpegEncoder::ElapsedSeconds() const {
  std::lock_guard<std::mutex> lock(mu_);
  if (started_ == Clock::time_point{}) return 0;
  const auto end = timing_ ? Clock::now() : ended_;
  return std::chrono::duration<double>(end - started_).count();
}
double FfmpegEncoder::PositionSeconds() const {
  std::lock_guard<std::mutex> lock(mu_);
  return position_;
}

bool FfmpegEncoder::StopRequested() const {
  std::lock_guard<std::mutex> lock(mu_);
  return stop_requested_;
}

void FfmpegEncoder::Raise(std::uint8_t percent) {
  EncoderEvents* events;
  {
    std::lock_guard<std::mutex> lock(mu_);
    events = events_;
  }
  if (events != nullptr) events->OnProgress(percent);
}

void FfmpegEncoder::DeliverPreview(const PreviewFrame& frame) {
  PreviewSink* sink;
  {
    std::lock_guard<std::mutex> lock(mu_);
    sink = preview_on_ ? preview_sink_ : nullptr;
  }
  if (sink != nullptr) sink->OnPreviewFrame(frame);
}

void FfmpegEncoder::WorkerLoop() {
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(mu_);
      cv_.wait(lock, [this] { return pending_.has_value() || quit_; });
      if (!pending_) return;
      job = std::move(*pending_);
      pending_.reset();
    }
    EncodeResult result;
    try {
      result = RunJob(job);
    } catch (const std::exception& e) {
      result = {EncodeStatus::kFailed, e.what()};
    }
    EncoderEvents* events;
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (timing_) {
        timing_ = false;
        ended_ = Clock::now();
      }
      busy_ = false;
      events = events_;
    }
    // Exactly one completion per accepted start; the handler may start the
    // next encoding, which this loop picks up once it returns.
    if (events != nullptr) events->OnCompleted(result);
  }
}

EncodeResult FfmpegEncoder::RunJob(const Job& job) {
  if (StopRequested()) return {EncodeStatus::kCancelled, {}};
  if (tools_.ffmpeg.empty()) return {EncodeStatus::kFailed, EncoderToolsProblem(tools_)};
  if (!job.info) return {EncodeStatus::kFailed, "no input file has been opened"};
  if (!job.info->has_video()) {
    return {EncodeStatus::kFailed, "the input " + job.input.string() + " has no video stream"};
  }
  if (job.output.empty()) return {EncodeStatus::kFailed, "no output file has been given"};
  std::error_code same_ec;
  if (std::filesystem::equivalent(job.input, job.output, same_ec)) {
    return {EncodeStatus::kFailed,
            "the output file " + job.output.string() + " is the input itself and would be replaced"};
  }
  if (std::string problem = CheckEncodeParameters(job.params); !problem.empty()) {
    return {EncodeStatus::kFailed, problem};
  }
  std::string error;
  const auto temp = CreateTempBeside(job.output, &error);
  if (!temp) return {EncodeStatus::kFailed, "cannot create the output file: " + error};
  EncodeResult result = RunFfmpeg(job, *temp);
  if (result.status != EncodeStatus::kOk) {
    RemoveQuietly(*temp);
    return result;
  }
  const DvdStreamReport check = CheckDvdProgramStream(*temp);
  if (!check.ok) {
    RemoveQuietly(*temp);
    return {EncodeStatus::kFailed, "the converted file is not a DVD program stream: " + check.problem};
  }
  std::error_code ec;
  std::filesystem::rename(*temp, job.output, ec);
  if (ec) {
    RemoveQuietly(*temp);
    return {EncodeStatus::kFailed,
            "cannot rename the converted file to " + job.output.string() + ": " + ec.message()};
  }
  return {EncodeStatus::kOk, {}};
}

EncodeResult FfmpegEncoder::RunFfmpeg(const Job& job, const std::filesystem::path& temp) {
  const bool pieces =
      job.pieces >= 2 && job.info->duration >= kMinPieceSeconds * 2 && SeeksToTheFrame(job.info->demuxer);
  if (!pieces) {
    return RunChildren({BuildEncodeArguments(tools_, job.input, *job.info, job.params, temp, job.preview)},
                       job, 1);
  }
  // A long input: its video in pieces encoded side by side, each its own
  // elementary stream that starts a closed group of pictures, and its audio
  // beside them; the pieces are joined byte for byte, then put in the
  // program stream together with the audio.
  const int processes = PieceProcesses(job.pieces);
  const std::vector<VideoPiece> plan =
      PlanPieces(job.info->duration, job.params, PieceCount(job.info->duration, processes));
  std::vector<std::filesystem::path> parts;  // the audio's first, if any
  auto remove_parts = [&parts] {
    for (const auto& p : parts) RemoveQuietly(p);
  };
  std::vector<std::vector<std::string>> runs;
  std::string error;
  const bool audio = job.info->has_audio();
  for (std::size_t i = 0; i < plan.size() + (audio ? 1 : 0); ++i) {
    const bool sound = audio && i == 0;
    auto part = CreateTempBeside(temp.string() + "." + std::to_string(i) + (sound ? ".nut" : ".m2v"), &error);
    if (!part) {
      remove_parts();
      return {EncodeStatus::kFailed, "cannot create a temporary file: " + error};
    }
    parts.push_back(*part);
    runs.push_back(sound ? BuildAudioArguments(tools_, job.input, *job.info, job.params, *part)
                         : BuildEncodeArguments(tools_, job.input, *job.info, job.params, *part, job.preview,
                                                &plan[i - (audio ? 1 : 0)]));
  }
  // The audio takes little of a core: it runs beside the pieces' processes.
  EncodeResult result = RunChildren(runs, job, static_cast<std::size_t>(processes) + (audio ? 1 : 0));
  if (result.status != EncodeStatus::kOk) {
    remove_parts();
    return result;
  }
  auto joined = CreateTempBeside(temp.string() + ".m2v", &error);
  if (!joined) {
    remove_parts();
    return {EncodeStatus::kFailed, "cannot create a temporary file: " + error};
  }
  {
    std::ofstream out(*joined, std::ios::binary | std::ios::trunc);
    for (std::size_t i = audio ? 1 : 0; i < parts.size(); ++i) {
      std::ifstream in(parts[i], std::ios::binary);
      out << in.rdbuf();
    }
    out.flush();
    if (!out) result = {EncodeStatus::kFailed, "cannot write the temporary file " + joined->string()};
  }
  if (result.status == EncodeStatus::kOk) {
    Job mux = job;
    mux.preview = false;
    mux.pieces = -1;  // no progress of its own: the pieces made it
    result = RunChildren({BuildJoinArguments(tools_, *joined, audio ? &parts[0] : nullptr, job.params, temp)},
                         mux, 1);
  }
  remove_parts();
  RemoveQuietly(*joined);
  return result;
}

EncodeResult FfmpegEncoder::RunChildren(const std::vector<std::vector<std::string>>& runs, const Job& job,
                                        std::size_t at_once) {
  struct Piece {
    ChildProcess child;
    std::string out, err, frames;
    double position = 0, fps = 0;
    bool ended = false;  // reaped
  };
  std::vector<Piece> pieces(runs.size());
  at_once = std::max<std::size_t>(1, at_once);
  std::size_t next = 0;  // the first piece not started yet
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!timing_) {
      started_ = Clock::now();
      timing_ = true;
    }
  }
  const bool report = job.pieces >= 0;
  const PictureSize psize = PreviewSize(job.params.aspect);
  const std::size_t frame_bytes = static_cast<std::size_t>(psize.width) * psize.height * 3;
  const double duration = job.info->duration;

  std::optional<Clock::time_point> kill_at;
  bool signalled = false;
  int failed = -1;  // the first piece that failed
  std::string start_error;
  auto open = [](const Piece& p) {
    return p.child.stdout_fd() >= 0 || p.child.stderr_fd() >= 0 || p.child.fd3() >= 0;
  };
  auto running = [](const Piece& p) { return p.child.started() && !p.ended; };
  // Ends every piece started: a stop, or a failure that makes their work of no use.
  auto end_all = [&] {
    for (Piece& p : pieces) p.child.Signal(SIGTERM);
    signalled = true;
    kill_at = Clock::now() + kStopGrace;
  };
  std::vector<pollfd> fds;
  for (;;) {
    if (!signalled && StopRequested()) end_all();
    // The next pieces start as the ones before end.
    while (!signalled && next < pieces.size() &&
           static_cast<std::size_t>(std::count_if(pieces.begin(), pieces.end(), running)) < at_once) {
      ChildProcess::Options options;
      options.pipe_fd3 =
          job.preview && std::find(runs[next].begin(), runs[next].end(), "pipe:3") != runs[next].end();
      if (!pieces[next].child.Start(runs[next], options, &start_error)) {
        end_all();
        break;
      }
      ++next;
    }
    if (std::none_of(pieces.begin(), pieces.end(), open)) break;
    int timeout = -1;
    if (kill_at) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(*kill_at - Clock::now()).count();
      if (left <= 0) {
        for (Piece& p : pieces) p.child.Signal(SIGKILL);
        kill_at.reset();
      } else {
        timeout = static_cast<int>(left);
      }
    }
    fds.clear();
    for (const Piece& p : pieces) {
      fds.push_back({p.child.stdout_fd(), POLLIN, 0});
      fds.push_back({p.child.stderr_fd(), POLLIN, 0});
      fds.push_back({p.child.fd3(), POLLIN, 0});
    }
    fds.push_back({wake_fd_, POLLIN, 0});
    if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
      for (Piece& p : pieces) p.child.Signal(SIGKILL);
      break;
    }
    if (fds.back().revents != 0) {
      std::uint64_t count;
      ssize_t ignored = read(wake_fd_, &count, sizeof count);
      (void)ignored;
    }
    // The preview follows the earliest piece still showing pictures.
    const auto shown =
        std::find_if(pieces.begin(), pieces.end(), [](const Piece& p) { return p.child.fd3() >= 0; }) -
        pieces.begin();
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      Piece& piece = pieces[i];
      ChildProcess& child = piece.child;
      if (fds[3 * i].revents != 0) {
        if (!ReadAvailable(child.stdout_fd(), &piece.out)) child.CloseStdout();
        // -progress writes blocks of key=value lines, each ending with "progress=".
        std::size_t nl;
        while ((nl = piece.out.find('\n')) != std::string::npos) {
          const std::string line = piece.out.substr(0, nl);
          piece.out.erase(0, nl + 1);
          const std::size_t eq = line.find('=');
          if (eq == std::string::npos) continue;
          const std::string key = line.substr(0, eq);
          const std::string value = line.substr(eq + 1);
          if (key == "out_time_us" || key == "fps") {
            char* end = nullptr;
            const double v = std::strtod(value.c_str(), &end);
            if (end == value.c_str() || !std::isfinite(v) || v < 0) continue;
            if (key == "fps") {
              piece.fps = v;
            } else {
              piece.position = v / 1e6;
            }
          } else if (key == "progress" && report && !StopRequested()) {
            // The pieces together: their positions add up, and so do the
            // speeds of those running.
            if (value == "end" && pieces.size() > 1) piece.fps = 0;
            double position = 0, fps = 0;
            for (const Piece& p : pieces) {
              position += p.position;
              fps += p.fps;
            }
            {
              std::lock_guard<std::mutex> lock(mu_);
              position_ = std::min(position, duration > 0 ? duration : position);
              fps_ = fps;
            }
            double percent = duration > 0 ? position / duration * 100.0 : 0.0;
            if (value == "end" && pieces.size() == 1) percent = 100;
            Raise(static_cast<std::uint8_t>(std::clamp(percent, 0.0, 100.0)));
          }
        }
        if (piece.out.size() > 65536) piece.out.clear();
      }
      if (fds[3 * i + 1].revents != 0) {
        if (!ReadAvailable(child.stderr_fd(), &piece.err)) child.CloseStderr();
        piece.err = Hold(piece.err, kKeptErrorBytes);
      }
      if (fds[3 * i + 2].revents != 0) {
        if (!ReadAvailable(child.fd3(), &piece.frames)) child.CloseFd3();
        if (static_cast<std::ptrdiff_t>(i) != shown) {
          piece.frames.clear();
        } else if (piece.frames.size() >= frame_bytes) {
          // Only the newest whole picture is shown.
          const std::size_t last = (piece.frames.size() / frame_bytes - 1) * frame_bytes;
          PreviewFrame frame{psize.width, psize.height,
                             std::vector<std::uint8_t>(piece.frames.begin() + last,
                                                       piece.frames.begin() + last + frame_bytes)};
          piece.frames.erase(0, last + frame_bytes);
          DeliverPreview(frame);
        }
      }
      if (running(piece) && !open(piece)) {
        piece.ended = true;
        // A piece that failed ends the others: their work is of no use.
        if (child.Wait() != 0 && !signalled) {
          failed = static_cast<int>(i);
          end_all();
        }
      }
    }
  }
  std::vector<int> codes;
  for (Piece& p : pieces) codes.push_back(p.child.started() ? p.child.Wait() : 0);
  if (StopRequested()) return {EncodeStatus::kCancelled, {}};
  if (!start_error.empty() && failed < 0) return {EncodeStatus::kFailed, start_error};
  for (std::size_t i = 0; i < pieces.size() && failed < 0; ++i) {
    if (codes[i] != 0) failed = static_cast<int>(i);
  }
  if (failed < 0) return {EncodeStatus::kOk, {}};
  const int code = codes[static_cast<std::size_t>(failed)];
  std::string why = LastLine(pieces[static_cast<std::size_t>(failed)].err);
  if (why.empty()) why = "ffmpeg ended with code " + std::to_string(code);
  return {EncodeStatus::kFailed, why};
}

bool FfmpegPictureClipMaker::MakeClip(const std::filesystem::path& picture, const std::string& reserved,
                                      int milliseconds, const std::filesystem::path& clip,
                                      std::string* error) {
  if (!reserved.empty()) {
    *error = "the reserved argument must be empty";
    return false;
  }
  if (tools_.ffmpeg.empty()) {
    *error = EncoderToolsProblem(tools_);
    return false;
  }
  if (milliseconds <= 0 || milliseconds > 600000) {
    *error = "the clip length must be between 1 ms and 10 minutes";
    return false;
  }
  if (!platform::IsRegularFile(picture)) {
    *error = "cannot read the picture " + picture.string();
    return false;
  }
  const auto temp = CreateTempBeside(clip, error);
  if (!temp) return false;
  // The picture is decoded once and its frame repeated, so a picture that
  // cannot be decoded ends the run at once.
  const long frames = std::max(1L, std::lround(milliseconds * 25 / 1000.0));
  std::vector<std::string> argv = FfmpegCommand(tools_);
  argv.insert(argv.end(), {"-protocol_whitelist", "file", "-f", "image2", "-pattern_type", "none",
                           "-framerate", "25", "-i", FileUrl(picture), "-vf",
                           "scale=trunc(iw/2)*2:trunc(ih/2)*2,loop=loop=" + std::to_string(frames - 1) +
                               ":size=1:start=0",
                           "-c:v", "ffv1", "-pix_fmt", "yuv420p", "-f", "avi", FileUrl(*temp)});
  const ChildResult run = RunChild(argv, std::chrono::minutes(2));
  if (!run.started || run.timed_out || run.exit_code != 0) {
    RemoveQuietly(*temp);
    *error = !run.started    ? run.start_error
             : run.timed_out ? "the clip was not finished in time"
                             : "cannot make a clip of " + picture.string() + ": " + LastLine(run.err);
    return false;
  }
  std::error_code ec;
  std::filesystem::rename(*temp, clip, ec);
  if (ec) {
    RemoveQuietly(*temp);
    *error = "cannot rename the clip to " + clip.string() + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace vantora
