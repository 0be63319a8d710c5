// The video encoder the wizard drives: it opens (probes) one input, takes a
// block of DVD encoding parameters, encodes the input into a DVD-Video MPEG-2
// program stream in the background and reports progress and exactly one
// completion, with a status, per accepted start.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vantora {

// TV-system codes and aspect codes as the wizard passes them.
inline constexpr int kTvSystemPal = 7;
inline constexpr int kTvSystemNtsc = 8;
inline constexpr int kAspect4x3 = 1;
inline constexpr int kAspect16x9 = 2;

enum class OpenStatus {
  kOk,
  kUnrecognized,  // not a readable file of an accepted media format
  kToolMissing,   // the probing program is not installed
};

struct OpenResult {
  OpenStatus status = OpenStatus::kUnrecognized;
  std::string message;  // empty when kOk
  bool ok() const { return status == OpenStatus::kOk; }
};

enum class EncodeStatus { kOk, kFailed, kCancelled };

struct EncodeResult {
  EncodeStatus status = EncodeStatus::kFailed;
  std::string message;  // the reason when kFailed
};

// A small picture of the encoding in progress: RGB, 3 bytes per pixel,
// top-down, no padding. An empty frame (0 x 0) clears the preview.
struct PreviewFrame {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};

class PreviewSink {
 public:
  virtual ~PreviewSink() = default;
  // Called on the encoder's worker thread (for ClearPreview, on its caller's);
  // the frame lives for the call.
  virtual void OnPreviewFrame(const PreviewFrame& frame) = 0;
};

class EncoderEvents {
 public:
  virtual ~EncoderEvents() = default;
  // Percent done (0 to 100), repeatedly while an encoding runs.
  virtual void OnProgress(std::uint8_t percent) = 0;
  // Once per accepted Start, after the output file is in place (kOk) or gone.
  virtual void OnCompleted(const EncodeResult& result) = 0;
};

// Events are raised on the encoder's own worker thread, one at a time and in
// order; no progress follows a completion. A handler may call Start (the next
// encoding begins after the handler returns) and Stop; it must not call
// Shutdown or destroy the encoder.
class VideoEncoder {
 public:
  virtual ~VideoEncoder() = default;

  // The sinks must stay alive until they are replaced or the encoder is shut
  // down. nullptr stops the delivery.
  virtual void SetEvents(EncoderEvents* events) = 0;
  virtual void SetPreviewTarget(PreviewSink* sink) = 0;
  virtual void SetPreviewEnabled(bool on) = 0;
  // Shows an empty preview.
  virtual void ClearPreview() = 0;
  // Stops a running encoding and waits until the worker has ended. Called once
  // when the program ends; no event follows its return.
  virtual void Shutdown() = 0;

  virtual void SetOutputPath(const std::filesystem::path& path) = 0;
  virtual std::filesystem::path OutputPath() const = 0;

  // Probes the input. Blocks for the probe (about 0.1 s); call it off the UI
  // thread. On failure the encoder has no input.
  virtual OpenResult Open(const std::filesystem::path& input) = 0;
  virtual bool HasVideo() const = 0;
  virtual bool HasAudio() const = 0;
  virtual double DurationSeconds() const = 0;

  virtual void SetFrameSize(int width, int height) = 0;
  virtual void SetFrameRate(float frames_per_second) = 0;
  virtual void SetVideoBitrate(int bits_per_second) = 0;
  virtual void SetAudioSampleRate(int hertz) = 0;
  virtual void SetAudioBitsPerSample(int bits) = 0;
  virtual void SetAudioChannels(int channels) = 0;
  virtual void SetAudioBitrate(int bits_per_second) = 0;
  virtual void SetTvSystem(int code) = 0;  // kTvSystemPal or kTvSystemNtsc
  virtual void SetAspect(int code) = 0;    // kAspect4x3 or kAspect16x9

  // How many of the conversion's lanes the next encoding may use for a long
  // input (its pieces are encoded side by side and joined); 1: one.
  virtual void SetParallelism(int pieces) { (void)pieces; }

  // Starts encoding the opened input into the output path with the
  // parameters set so far; returns at once. False (and no completion) only
  // while an encoding is still running; every other problem is reported by a
  // kFailed completion.
  virtual bool Start() = 0;
  // Cancels the running encoding: its completion reads kCancelled and its
  // output is removed. Nothing happens when no encoding runs.
  virtual void Stop() = 0;

  virtual double FramesPerSecond() const = 0;
  virtual double ElapsedSeconds() const = 0;
  virtual double PositionSeconds() const = 0;
};

// The picture-to-clip converter: turns one still picture into a short video
// clip that the encoder can open.
class PictureClipMaker {
 public:
  virtual ~PictureClipMaker() = default;
  // Writes clip (replacing it) from the picture, showing it for milliseconds.
  // The second argument is reserved and must be empty. Returns when the clip is
  // complete; false with *error otherwise (no clip is left then).
  virtual bool MakeClip(const std::filesystem::path& picture, const std::string& reserved, int milliseconds,
                        const std::filesystem::path& clip, std::string* error) = 0;
};

}  // namespace vantora
