// Encodes a 60-second clip through the encoder layer and runs the very same
// ffmpeg command directly on it, then prints both times and their ratio (the
// layer should add nothing measurable: a ratio close to 1).
//   vantora_encoder_bench [input]   (without an input a test clip is made)
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "platform/process.h"
#include "vantora/ffmpeg_encoder.h"

namespace {

using Clock = std::chrono::steady_clock;

class Waiter : public vantora::EncoderEvents {
 public:
  void OnProgress(std::uint8_t) override {}
  void OnCompleted(const vantora::EncodeResult& result) override {
    std::lock_guard<std::mutex> lock(mu_);
    result_ = result;
    done_ = true;
    cv_.notify_all();
  }
  vantora::EncodeResult Wait() {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [&] { return done_; });
    return result_;
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  bool done_ = false;
  vantora::EncodeResult result_;
};

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

}  // namespace

int main(int argc, char** argv) {
  const vantora::EncoderTools tools = vantora::FindEncoderTools();
  if (const std::string problem = vantora::EncoderToolsProblem(tools); !problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return 1;
  }
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "vantora-encoder-bench";
  std::filesystem::create_directories(dir);
  std::filesystem::path input = argc > 1 ? std::filesystem::path(argv[1]) : dir / "input.mp4";
  if (argc <= 1 && !std::filesystem::exists(input)) {
    std::printf("making a 60 s test clip...\n");
    const auto r = platform::RunChild({tools.ffmpeg.string(),
                                       "-nostdin",
                                       "-loglevel",
                                       "error",
                                       "-y",
                                       "-f",
                                       "lavfi",
                                       "-i",
                                       "testsrc2=size=1280x720:rate=25",
                                       "-f",
                                       "lavfi",
                                       "-i",
                                       "sine=frequency=440",
                                       "-t",
                                       "60",
                                       "-c:v",
                                       "libx264",
                                       "-preset",
                                       "veryfast",
                                       "-c:a",
                                       "aac",
                                       input.string()},
                                      std::chrono::minutes(10));
    if (r.exit_code != 0) {
      std::fprintf(stderr, "cannot make the clip: %s\n", r.err.c_str());
      return 1;
    }
  }

  vantora::FfmpegEncoder encoder(tools);
  Waiter waiter;
  encoder.SetEvents(&waiter);
  const vantora::OpenResult opened = encoder.Open(input);
  if (!opened.ok()) {
    std::fprintf(stderr, "%s\n", opened.message.c_str());
    return 1;
  }
  const auto ours = dir / "ours.mpg";
  encoder.SetOutputPath(ours);
  auto t = Clock::now();
  encoder.Start();
  const vantora::EncodeResult result = waiter.Wait();
  const double layer = Since(t);
  if (result.status != vantora::EncodeStatus::kOk) {
    std::fprintf(stderr, "encoding failed: %s\n", result.message.c_str());
    return 1;
  }

  // The same command, run directly.
  const vantora::ProbeOutcome probe = vantora::ProbeMedia(tools, input);
  std::vector<std::string> args = vantora::BuildEncodeArguments(
      tools, input, probe.info, vantora::EncodeParameters{}, dir / "direct.mpg", false);
  t = Clock::now();
  const auto direct_run = platform::RunChild(args, std::chrono::minutes(30));
  const double direct = Since(t);
  if (direct_run.exit_code != 0) {
    std::fprintf(stderr, "direct run failed: %s\n", direct_run.err.c_str());
    return 1;
  }
  std::printf("encoder layer %.2f s, ffmpeg directly %.2f s, ratio %.3f\n", layer, direct, layer / direct);
  std::filesystem::remove(ours);
  std::filesystem::remove(dir / "direct.mpg");
  return 0;
}
