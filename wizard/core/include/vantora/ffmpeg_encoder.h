// The video encoder and the picture-to-clip converter over the ffmpeg and
// ffprobe programs, run as child processes. An encoding writes to a temporary
// name beside the output, is checked to be a DVD program stream and only then
// renamed to the output path.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "vantora/media_probe.h"
#include "vantora/video_encoder.h"

namespace vantora {

// DVD-Video limits the encoder holds to.
inline constexpr int kMaxVideoBitrate = 9000000;  // bit/s, leaves room for 448 kbit/s audio
inline constexpr int kVideoBufferBits = 1835008;  // VBV buffer of DVD-Video

struct EncodeParameters {
  int width = 720;
  int height = 576;
  float frame_rate = 25.0f;
  int video_bitrate = 4500000;  // bit/s
  int audio_sample_rate = 48000;
  int audio_bits = 16;
  int audio_channels = 2;
  int audio_bitrate = 448000;  // bit/s
  int tv_system = kTvSystemPal;
  int aspect = kAspect4x3;
};

// "" when the parameters describe a DVD-Video stream, else what is wrong.
std::string CheckEncodeParameters(const EncodeParameters& p);

struct PictureSize {
  int width = 0;
  int height = 0;
};

// The size (even numbers) that a picture of src_width x src_height with the
// given sample aspect ratio takes inside a dst_width x dst_height frame shown
// at 4:3 or 16:9, keeping its shape; the rest of the frame is black.
PictureSize FitPicture(int src_width, int src_height, int sar_num, int sar_den, int dst_width, int dst_height,
                       bool wide);

// Preview pictures: small, a few per second.
inline constexpr int kPreviewWidth = 160;
PictureSize PreviewSize(int aspect);

// A piece of a long input's video, encoded beside the others: its first
// output frame, its number of frames (0: to the end) and where it starts.
// The pieces hold the input's duration in frames.
struct VideoPiece {
  long first_frame = 0;
  long frames = 0;
  double start_seconds = 0;
};

// An input shorter than twice this is encoded in one piece.
inline constexpr double kMinPieceSeconds = 30;
// The length of a piece when an input gives more pieces than processes.
inline constexpr double kPieceSeconds = 15;

// How many processes, each keeping one core busy, encode the pieces of a
// long input given lanes of the conversion: a lane stands for one whole
// encode, which keeps about 4/3 of a core busy.
int PieceProcesses(int lanes);

// How many pieces an input of duration seconds is cut into for processes
// processes: one each at least; up to two each, pieces of kPieceSeconds,
// so that a process that falls behind (the machine is shared) is made up
// for by the others taking more pieces.
int PieceCount(double duration, int processes);

// How the video of an input of duration seconds is cut into at most pieces
// pieces of whole groups of pictures.
std::vector<VideoPiece> PlanPieces(double duration, const EncodeParameters& p, int pieces);

// The ffmpeg argument vector of one encoding (argv[0] included); with a
// piece, of that piece's video alone as an MPEG-2 elementary stream.
std::vector<std::string> BuildEncodeArguments(const EncoderTools& tools, const std::filesystem::path& input,
                                              const MediaInfo& info, const EncodeParameters& p,
                                              const std::filesystem::path& temp_output, bool preview,
                                              const VideoPiece* piece = nullptr);

// The input's audio alone as DVD AC-3, with its times, encoded beside the
// pieces of the video.
std::vector<std::string> BuildAudioArguments(const EncoderTools& tools, const std::filesystem::path& input,
                                             const MediaInfo& info, const EncodeParameters& p,
                                             const std::filesystem::path& temp_output);

// The pass that puts the joined video and the audio (none: silent) as they
// are into one DVD program stream.
std::vector<std::string> BuildJoinArguments(const EncoderTools& tools, const std::filesystem::path& video,
                                            const std::filesystem::path* audio, const EncodeParameters& p,
                                            const std::filesystem::path& temp_output);

class FfmpegEncoder final : public VideoEncoder {
 public:
  explicit FfmpegEncoder(EncoderTools tools);
  ~FfmpegEncoder() override;  // Shutdown()
  FfmpegEncoder(const FfmpegEncoder&) = delete;
  FfmpegEncoder& operator=(const FfmpegEncoder&) = delete;

  void SetEvents(EncoderEvents* events) override;
  void SetPreviewTarget(PreviewSink* sink) override;
  void SetPreviewEnabled(bool on) override;
  void ClearPreview() override;  // delivers an empty frame on the calling thread
  void Shutdown() override;

  void SetOutputPath(const std::filesystem::path& path) override;
  std::filesystem::path OutputPath() const override;

  OpenResult Open(const std::filesystem::path& input) override;
  bool HasVideo() const override;
  bool HasAudio() const override;
  double DurationSeconds() const override;

  void SetFrameSize(int width, int height) override;
  void SetFrameRate(float frames_per_second) override;
  void SetVideoBitrate(int bits_per_second) override;
  void SetAudioSampleRate(int hertz) override;
  void SetAudioBitsPerSample(int bits) override;
  void SetAudioChannels(int channels) override;
  void SetAudioBitrate(int bits_per_second) override;
  void SetTvSystem(int code) override;
  void SetAspect(int code) override;

  void SetParallelism(int pieces) override;
  bool Start() override;
  void Stop() override;

  double FramesPerSecond() const override;
  double ElapsedSeconds() const override;
  double PositionSeconds() const override;

 private:
  struct Job {
    std::filesystem::path input;
    std::optional<MediaInfo> info;
    EncodeParameters params;
    std::filesystem::path output;
    // Preview pictures are made when the preview is on at the start; they are
    // shown while it stays on.
    bool preview = false;
    // Processes the video may be split into; -1: a pass that reports no
    // progress of its own.
    int pieces = 1;
  };

  void WorkerLoop();
  EncodeResult RunJob(const Job& job);
  EncodeResult RunFfmpeg(const Job& job, const std::filesystem::path& temp);
  // Runs the ffmpeg processes in order, at_once of them side by side, until
  // all have ended; the first failure or a stop ends them all.
  EncodeResult RunChildren(const std::vector<std::vector<std::string>>& runs, const Job& job,
                           std::size_t at_once);
  bool StopRequested() const;
  void Raise(std::uint8_t percent);
  void DeliverPreview(const PreviewFrame& frame);

  const EncoderTools tools_;
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::thread worker_;
  int wake_fd_ = -1;  // eventfd: wakes the worker when a stop is requested

  std::optional<Job> pending_;
  bool busy_ = false;  // from an accepted Start until its completion is raised
  bool quit_ = false;
  bool stop_requested_ = false;

  EncoderEvents* events_ = nullptr;
  PreviewSink* preview_sink_ = nullptr;
  bool preview_on_ = false;
  int pieces_ = 1;

  std::filesystem::path input_;
  std::optional<MediaInfo> info_;
  EncodeParameters params_;
  std::filesystem::path output_;

  double fps_ = 0;
  double position_ = 0;
  std::chrono::steady_clock::time_point started_{};
  std::chrono::steady_clock::time_point ended_{};
  bool timing_ = false;
};

// The picture-to-clip converter: an AVI clip (lossless video, 25 frames per
// second) that shows the picture for the given time.
class FfmpegPictureClipMaker final : public PictureClipMaker {
 public:
  explicit FfmpegPictureClipMaker(EncoderTools tools) : tools_(std::move(tools)) {}
  bool MakeClip(const std::filesystem::path& picture, const std::string& reserved, int milliseconds,
                const std::filesystem::path& clip, std::string* error) override;

 private:
  const EncoderTools tools_;
};

// How many files the wizard converts at once on a machine with cores
// processors and memory_bytes of memory available. One ffmpeg encode keeps
// little more than one core busy (its decode, filter and encode loop is
// serial), so three lanes per four cores fill the machine and leave room
// for the decoders' own threads; each lane is given 400 MiB, which a 4K
// source needs, and at most 8 lanes run.
int ConversionLanes(unsigned cores, std::uint64_t memory_bytes);
// The same for this machine: its online processors and MemAvailable.
int ConversionLanesHere();

// Creates an empty file with a new name beside path ("<name>.part",
// "<name>.1.part", ...) for output that is renamed over path once complete.
std::optional<std::filesystem::path> CreateTempBeside(const std::filesystem::path& path, std::string* error);

}  // namespace vantora
