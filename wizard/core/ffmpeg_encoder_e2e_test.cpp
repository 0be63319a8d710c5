// The encoder layer against the real ffmpeg and ffprobe, on clips generated
// for the tests; results are read back with our DVD stream check and with
// ffprobe as an independent reader.
#include "vantora/ffmpeg_encoder.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>

#include "authoring_testutil.h"
#include "core_testutil.h"
#include "platform/process.h"
#include "vantora/dvd_stream_check.h"
#include "vantora/probe_answer.h"

namespace vantora {

using platform::ChildResult;
using platform::RunChild;

namespace {

using testing::ExpectAuthoringAccepts;
using testing::TempFolder;
using testing::WriteBytes;

// Collects the encoder's events and lets a test wait for completions.
class RecordingEvents : public EncoderEvents, public PreviewSink {
 public:
  void OnProgress(std::uint8_t percent) override {
    std::lock_guard<std::mutex> lock(mu_);
    progress_.push_back(percent);
    if (completions_.size() > 0) progress_after_completion_ = true;
    cv_.notify_all();
  }
  void OnCompleted(const EncodeResult& result) override {
    std::lock_guard<std::mutex> lock(mu_);
    completions_.push_back(result);
    cv_.notify_all();
  }
  void OnPreviewFrame(const PreviewFrame& frame) override {
    std::lock_guard<std::mutex> lock(mu_);
    if (frame.width > 0) last_frame_ = frame;
    ++frames_;
  }
  // Waits for n completions (a generous guard against a hung encoder).
  std::vector<EncodeResult> WaitForCompletions(std::size_t n) {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait_for(lock, std::chrono::minutes(2), [&] { return completions_.size() >= n; });
    return completions_;
  }
  void WaitForProgress() {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait_for(lock, std::chrono::minutes(2), [&] { return !progress_.empty() || !completions_.empty(); });
  }
  std::vector<std::uint8_t> progress() {
    std::lock_guard<std::mutex> lock(mu_);
    return progress_;
  }
  bool progress_after_completion() {
    std::lock_guard<std::mutex> lock(mu_);
    return progress_after_completion_;
  }
  PreviewFrame last_frame() {
    std::lock_guard<std::mutex> lock(mu_);
    return last_frame_;
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<std::uint8_t> progress_;
  std::vector<EncodeResult> completions_;
  bool progress_after_completion_ = false;
  PreviewFrame last_frame_;
  int frames_ = 0;
};

// Child processes of this test process (direct children only).
std::vector<int> OwnChildren() {
  std::vector<int> children;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return children;
  while (dirent* e = readdir(proc)) {
    const int pid = std::atoi(e->d_name);
    if (pid <= 0) continue;
    std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
    std::string line;
    std::getline(stat, line);
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == getpid()) {
      children.push_back(pid);
    }
  }
  closedir(proc);
  return children;
}

struct ProbedStream {
  std::string codec;
  int width = 0;
  int height = 0;
  std::string dar;
  std::string rate;
  int sample_rate = 0;
};

// What ffprobe (not our code) reads from an encoded file.
std::vector<ProbedStream> ProbeWithFfprobe(const std::filesystem::path& file) {
  const ChildResult r =
      RunChild({FindEncoderTools().ffprobe.native(), "-v", "error", "-show_entries",
                "stream=codec_type,codec_name,width,height,display_aspect_ratio,r_frame_rate,sample_rate",
                "-of", "json", file.native()},
               std::chrono::seconds(60));
  std::vector<ProbedStream> streams;
  const std::optional<Json> doc = ParseJson(r.out);
  const Json* found = doc ? JsonFind(&*doc, "streams") : nullptr;
  if (found == nullptr || !found->is_array()) return streams;
  for (const Json& s : *found) {
    ProbedStream p;
    auto text = [&](const char* k) { return JsonText(JsonFind(&s, k)).value_or(""); };
    auto number = [&](const char* k) { return static_cast<int>(JsonNumber(JsonFind(&s, k)).value_or(0)); };
    // The navigation packets show as a data stream; only pictures and sound count.
    if (text("codec_type") != "video" && text("codec_type") != "audio") continue;
    p.codec = text("codec_name");
    p.width = number("width");
    p.height = number("height");
    p.dar = text("display_aspect_ratio");
    p.rate = text("r_frame_rate");
    p.sample_rate = number("sample_rate");
    streams.push_back(p);
  }
  return streams;
}

class EncoderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tools_ = FindEncoderTools();
    ASSERT_EQ(EncoderToolsProblem(tools_), "");
    media_ = std::make_unique<TempFolder>();
    auto make = [](std::vector<std::string> args) {
      std::vector<std::string> argv = {
          tools_.ffmpeg.native(), "-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
      argv.insert(argv.end(), args.begin(), args.end());
      const ChildResult r = RunChild(argv, std::chrono::minutes(2));
      ASSERT_EQ(r.exit_code, 0) << r.err;
    };
    const std::string dir = media_->path().native() + "/";
    make({"-f", "lavfi", "-i", "testsrc2=size=640x360:rate=25", "-f", "lavfi", "-i",
          "sine=frequency=440:sample_rate=44100", "-t", "2", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a",
          "aac", dir + "h264_aac.mp4"});
    make({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=30", "-t", "2", "-c:v", "mpeg4",
          dir + "video_only.avi"});
    make({"-f",
          "lavfi",
          "-i",
          "sine=frequency=440:sample_rate=44100",
          "-f",
          "lavfi",
          "-i",
          "color=red:s=64x64",
          "-t",
          "2",
          "-map",
          "0",
          "-map",
          "1",
          "-frames:v",
          "1",
          "-c:v",
          "mjpeg",
          "-disposition:v",
          "attached_pic",
          "-c:a",
          "libmp3lame",
          dir + "cover_art.mp3"});
    make({"-f", "lavfi", "-i", "testsrc2=size=720x576:rate=25", "-t", "40", "-c:v", "mpeg4", "-q:v", "5",
          dir + "long.avi"});
    // Long enough to be encoded in pieces: 64 s, with sound, at 30 frames a second.
    make({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=30", "-f", "lavfi", "-i",
          "sine=frequency=440:sample_rate=48000", "-t", "64", "-c:v", "libx264", "-preset", "ultrafast",
          "-pix_fmt", "yuv420p", "-c:a", "aac", dir + "pieces.mp4"});
    WriteBytes(media_->path() / "notes.txt", "Just some text.\nNothing to see here.\n");
    WriteBytes(media_->path() / "empty.avi", "");
    // A playlist wearing a video's name: it would make a reader open other files.
    WriteBytes(media_->path() / "playlist.avi",
               "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\nh264_aac.mp4\n#EXT-X-ENDLIST\n");
  }
  static void TearDownTestSuite() { media_.reset(); }

  static std::filesystem::path Media(const char* name) { return media_->path() / name; }

  void SetUp() override {
    encoder_ = std::make_unique<FfmpegEncoder>(tools_);
    encoder_->SetEvents(&events_);
  }
  void TearDown() override { encoder_.reset(); }

  // The wizard's parameter block.
  void Configure(bool ntsc, bool wide, int video_kbit = 4500) {
    encoder_->SetAudioBitrate(448 * 1000);
    encoder_->SetAudioChannels(2);
    encoder_->SetAudioSampleRate(48000);
    encoder_->SetAudioBitsPerSample(16);
    encoder_->SetVideoBitrate(video_kbit * 1000);
    encoder_->SetAspect(wide ? kAspect16x9 : kAspect4x3);
    encoder_->SetTvSystem(ntsc ? kTvSystemNtsc : kTvSystemPal);
    encoder_->SetFrameRate(ntsc ? 29.97f : 25.0f);
    encoder_->SetFrameSize(720, ntsc ? 480 : 576);
  }

  bool NoPartFiles() {
    for (const auto& e : std::filesystem::directory_iterator(out_.path())) {
      if (e.path().extension() == ".part") return false;
    }
    return true;
  }

  static EncoderTools tools_;
  static std::unique_ptr<TempFolder> media_;
  TempFolder out_;
  RecordingEvents events_;
  std::unique_ptr<FfmpegEncoder> encoder_;
};

EncoderTools EncoderTest::tools_;
std::unique_ptr<TempFolder> EncoderTest::media_;

TEST_F(EncoderTest, ProbeTruthTable) {
  struct Row {
    const char* file;
    bool opens;
    bool video;
    bool audio;
  } rows[] = {
      {"h264_aac.mp4", true, true, true},   {"video_only.avi", true, true, false},
      {"cover_art.mp3", true, false, true}, {"notes.txt", false, false, false},
      {"empty.avi", false, false, false},   {"playlist.avi", false, false, false},
      {"missing.avi", false, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    const OpenResult r = encoder_->Open(Media(row.file));
    EXPECT_EQ(r.ok(), row.opens) << r.message;
    EXPECT_EQ(encoder_->HasVideo(), row.video);
    EXPECT_EQ(encoder_->HasAudio(), row.audio);
    if (row.opens) {
      EXPECT_NEAR(encoder_->DurationSeconds(), 2.0, 0.1);
    } else {
      EXPECT_EQ(r.status, OpenStatus::kUnrecognized);
      EXPECT_EQ(r.message.rfind("Unrecognized format", 0), 0u) << r.message;
      EXPECT_EQ(encoder_->DurationSeconds(), 0);
    }
  }
}

// The list probes a file when it is added and the encoder again when it is
// converted: ffprobe runs once while the file stays as it was.
TEST_F(EncoderTest, AFileIsProbedOnceUntilItChanges) {
  TempFolder bin;
  const auto count = bin / "runs";
  WriteBytes(bin / "ffprobe", "#!/bin/sh\necho run >> '" + count.native() + "'\nexec '" +
                                  tools_.ffprobe.native() + "' \"$@\"\n");
  chmod((bin / "ffprobe").c_str(), 0755);
  const EncoderTools counted{tools_.ffmpeg, bin / "ffprobe"};
  const auto clip = out_ / "clip é.mp4";
  std::filesystem::copy_file(Media("h264_aac.mp4"), clip);
  auto runs = [&] {
    const std::string lines = testing::ReadBytes(count);
    return std::count(lines.begin(), lines.end(), '\n');
  };
  ASSERT_TRUE(ProbeMedia(counted, clip).result.ok());
  FfmpegEncoder encoder(counted);
  ASSERT_TRUE(encoder.Open(clip).ok());
  EXPECT_TRUE(encoder.HasAudio());
  EXPECT_EQ(runs(), 1);
  // Replaced by another video: probed again.
  std::filesystem::copy_file(Media("video_only.avi"), clip,
                             std::filesystem::copy_options::overwrite_existing);
  ASSERT_TRUE(encoder.Open(clip).ok());
  EXPECT_FALSE(encoder.HasAudio());
  EXPECT_EQ(runs(), 2);
  // A file that could not be read is tried again.
  WriteBytes(out_ / "later.avi", "not yet a video");
  EXPECT_FALSE(encoder.Open(out_ / "later.avi").ok());
  EXPECT_FALSE(encoder.Open(out_ / "later.avi").ok());
  EXPECT_EQ(runs(), 4);
}

TEST_F(EncoderTest, PalFourByThreeEncodeIsADvdProgramStream) {
  ASSERT_TRUE(encoder_->Open(Media("h264_aac.mp4")).ok());
  const auto output = out_ / "01 - clip.mpg";
  encoder_->SetOutputPath(output);
  EXPECT_EQ(encoder_->OutputPath(), output);
  Configure(false, false);
  ASSERT_TRUE(encoder_->Start());
  EXPECT_FALSE(encoder_->Start());  // one encoding at a time
  const auto done = events_.WaitForCompletions(1);
  ASSERT_EQ(done.size(), 1u);
  ASSERT_EQ(done[0].status, EncodeStatus::kOk) << done[0].message;
  EXPECT_FALSE(events_.progress().empty());
  EXPECT_FALSE(events_.progress_after_completion());
  EXPECT_GT(encoder_->ElapsedSeconds(), 0);
  EXPECT_NEAR(encoder_->PositionSeconds(), 2.0, 0.2);

  const DvdStreamReport report = CheckDvdProgramStream(output);
  ASSERT_TRUE(report.ok) << report.problem;
  EXPECT_EQ(report.first_sequence, (SequenceHeader{720, 576, 2, 3}));
  EXPECT_GT(report.audio_packs, 0u);
  ExpectAuthoringAccepts(output, 2, 1, 1);

  const auto streams = ProbeWithFfprobe(output);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].codec, "mpeg2video");
  EXPECT_EQ(streams[0].dar, "4:3");
  EXPECT_EQ(streams[0].rate, "25/1");
  EXPECT_EQ(streams[1].codec, "ac3");
  EXPECT_EQ(streams[1].sample_rate, 48000);
  EXPECT_TRUE(NoPartFiles());
}

TEST_F(EncoderTest, NtscSixteenByNineEncodeOfASilentVideo) {
  ASSERT_TRUE(encoder_->Open(Media("video_only.avi")).ok());
  const auto output = out_ / "02 - silent.mpg";
  encoder_->SetOutputPath(output);
  Configure(true, true, 6000);
  ASSERT_TRUE(encoder_->Start());
  const auto done = events_.WaitForCompletions(1);
  ASSERT_EQ(done.size(), 1u);
  ASSERT_EQ(done[0].status, EncodeStatus::kOk) << done[0].message;
  const DvdStreamReport report = CheckDvdProgramStream(output);
  ASSERT_TRUE(report.ok) << report.problem;
  EXPECT_EQ(report.first_sequence, (SequenceHeader{720, 480, 3, 4}));
  EXPECT_EQ(report.audio_packs, 0u);
  ExpectAuthoringAccepts(output, 1, 2, 0);
  const auto streams = ProbeWithFfprobe(output);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].dar, "16:9");
  EXPECT_EQ(streams[0].rate, "30000/1001");
}

TEST_F(EncoderTest, CancelGivesOneCancelledCompletionAndLeavesNothing) {
  // One process, and a long input in pieces (every piece is stopped and no
  // piece file stays).
  const struct {
    const char* input;
    int pieces;
  } rows[] = {{"long.avi", 1}, {"pieces.mp4", 3}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.input);
    RecordingEvents events;
    encoder_ = std::make_unique<FfmpegEncoder>(tools_);
    encoder_->SetEvents(&events);
    ASSERT_TRUE(encoder_->Open(Media(row.input)).ok());
    const auto output = out_ / "03 - long.mpg";
    encoder_->SetOutputPath(output);
    Configure(false, false);
    encoder_->SetParallelism(row.pieces);
    ASSERT_TRUE(encoder_->Start());
    events.WaitForProgress();
    encoder_->Stop();
    encoder_->Stop();  // a second request changes nothing
    const auto done = events.WaitForCompletions(1);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].status, EncodeStatus::kCancelled);
    EXPECT_FALSE(std::filesystem::exists(output));
    EXPECT_TRUE(NoPartFiles());
    EXPECT_TRUE(std::filesystem::is_empty(out_.path()));
    EXPECT_TRUE(OwnChildren().empty());
    encoder_->Stop();  // nothing runs: no further completion
    encoder_.reset();  // joins the worker: every event has been raised by now
    EXPECT_EQ(events.WaitForCompletions(1).size(), 1u);
  }
}

TEST_F(EncoderTest, ShutdownCancelsTheRunningEncodingBeforeItReturns) {
  ASSERT_TRUE(encoder_->Open(Media("long.avi")).ok());
  encoder_->SetOutputPath(out_ / "07 - shut down.mpg");
  Configure(false, false);
  ASSERT_TRUE(encoder_->Start());
  events_.WaitForProgress();
  encoder_->Shutdown();
  const auto done = events_.WaitForCompletions(1);  // already there: no waiting
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].status, EncodeStatus::kCancelled);
  EXPECT_TRUE(OwnChildren().empty());
  EXPECT_TRUE(NoPartFiles());
  EXPECT_FALSE(encoder_->Start());  // nothing starts after a shutdown
}

// Encodes h264_aac.mp4 with a stand-in ffmpeg (a shell script) and returns
// the one completion; the output must not exist afterwards.
EncodeResult EncodeWithStandIn(const std::string& script, const std::filesystem::path& output,
                               const std::filesystem::path& input, const EncoderTools& real) {
  TempFolder bin;
  const auto fake = bin / "ffmpeg";
  WriteBytes(fake, "#!/bin/sh\n" + script);
  chmod(fake.c_str(), 0755);
  RecordingEvents events;
  FfmpegEncoder stand_in({fake, real.ffprobe});
  stand_in.SetEvents(&events);
  EXPECT_TRUE(stand_in.Open(input).ok());
  stand_in.SetOutputPath(output);
  EXPECT_TRUE(stand_in.Start());
  const auto done = events.WaitForCompletions(1);
  EXPECT_EQ(done.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(output));
  return done.empty() ? EncodeResult{} : done[0];
}

TEST_F(EncoderTest, AFailingEncoderGivesFailedWithItsMessage) {
  const EncodeResult r = EncodeWithStandIn("echo 'Conversion refused: disk on fire' >&2\nexit 1\n",
                                           out_ / "04 - failed.mpg", Media("h264_aac.mp4"), tools_);
  EXPECT_EQ(r.status, EncodeStatus::kFailed);
  EXPECT_EQ(r.message, "Conversion refused: disk on fire");
  EXPECT_TRUE(NoPartFiles());
}

TEST_F(EncoderTest, AnEncoderThatSucceedsWithoutADvdStreamGivesFailed) {
  // Claims success and leaves the (empty) output as it found it.
  const EncodeResult r =
      EncodeWithStandIn("exit 0\n", out_ / "05 - empty.mpg", Media("h264_aac.mp4"), tools_);
  EXPECT_EQ(r.status, EncodeStatus::kFailed);
  EXPECT_NE(r.message.find("not a DVD program stream"), std::string::npos);
  EXPECT_TRUE(NoPartFiles());
}

TEST_F(EncoderTest, RefusedParametersAndMissingInputGiveFailedCompletions) {
  const auto output = out_ / "06 - refused.mpg";
  WriteBytes(output, "an older conversion");
  encoder_->SetOutputPath(output);
  Configure(false, false);
  ASSERT_TRUE(encoder_->Start());  // nothing opened
  ASSERT_TRUE(encoder_->Open(Media("h264_aac.mp4")).ok());
  encoder_->SetVideoBitrate(12000 * 1000);  // beyond DVD-Video
  events_.WaitForCompletions(1);
  ASSERT_TRUE(encoder_->Start());
  Configure(false, false);
  encoder_->SetFrameSize(640, 480);
  events_.WaitForCompletions(2);
  ASSERT_TRUE(encoder_->Start());
  ASSERT_TRUE(encoder_->Open(Media("cover_art.mp3")).ok());
  Configure(false, false);
  events_.WaitForCompletions(3);
  ASSERT_TRUE(encoder_->Start());
  events_.WaitForCompletions(4);
  std::filesystem::copy_file(Media("video_only.avi"), out_ / "source.avi");
  ASSERT_TRUE(encoder_->Open(out_ / "source.avi").ok());
  encoder_->SetOutputPath(out_ / "." / "source.avi");  // the same file by another name
  ASSERT_TRUE(encoder_->Start());
  const auto done = events_.WaitForCompletions(5);
  ASSERT_EQ(done.size(), 5u);
  EXPECT_NE(done[4].message.find("is the input itself"), std::string::npos);
  EXPECT_EQ(std::filesystem::file_size(out_ / "source.avi"),
            std::filesystem::file_size(Media("video_only.avi")));
  EXPECT_NE(done[0].message.find("no input"), std::string::npos);
  EXPECT_NE(done[1].message.find("9000 kbit/s"), std::string::npos);
  EXPECT_NE(done[2].message.find("640x480"), std::string::npos);
  EXPECT_NE(done[3].message.find("no video stream"), std::string::npos);
  for (const EncodeResult& r : done) EXPECT_EQ(r.status, EncodeStatus::kFailed);
  EXPECT_EQ(testing::ReadBytes(output), "an older conversion");
  EXPECT_TRUE(NoPartFiles());
}

// Starts the next encoding from inside the completion handler, as the wizard's
// conversion chain does.
class ChainingEvents : public EncoderEvents {
 public:
  ChainingEvents(VideoEncoder* encoder, std::vector<std::filesystem::path> outputs)
      : encoder_(encoder), outputs_(std::move(outputs)) {}
  void OnProgress(std::uint8_t) override {}
  void OnCompleted(const EncodeResult& result) override {
    std::lock_guard<std::mutex> lock(mu_);
    results_.push_back(result);
    if (results_.size() < outputs_.size()) {
      encoder_->SetOutputPath(outputs_[results_.size()]);
      restarted_ = encoder_->Start();
    }
    cv_.notify_all();
  }
  std::vector<EncodeResult> Wait(std::size_t n) {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait_for(lock, std::chrono::minutes(2), [&] { return results_.size() >= n; });
    return results_;
  }
  bool restarted_ = false;

 private:
  VideoEncoder* encoder_;
  std::vector<std::filesystem::path> outputs_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<EncodeResult> results_;
};

TEST_F(EncoderTest, TheCompletionHandlerCanStartTheNextEncoding) {
  const std::vector<std::filesystem::path> outputs = {out_ / "a.mpg", out_ / "b.mpg"};
  ChainingEvents chain(encoder_.get(), outputs);
  encoder_->SetEvents(&chain);
  ASSERT_TRUE(encoder_->Open(Media("video_only.avi")).ok());
  Configure(false, false);
  encoder_->SetOutputPath(outputs[0]);
  ASSERT_TRUE(encoder_->Start());
  const auto done = chain.Wait(2);
  ASSERT_EQ(done.size(), 2u);
  EXPECT_TRUE(chain.restarted_);
  EXPECT_EQ(done[0].status, EncodeStatus::kOk) << done[0].message;
  EXPECT_EQ(done[1].status, EncodeStatus::kOk) << done[1].message;
  EXPECT_TRUE(CheckDvdProgramStream(outputs[1]).ok);
  encoder_->Shutdown();
}

// A long input encoded in pieces side by side gives the stream one process
// gives: every DVD check passes, it has the source's frames and its sound
// starts and ends with the pictures as in the encode in one piece.
TEST_F(EncoderTest, ALongInputInPiecesIsOneDvdStreamWithEveryFrameAndTheSoundInStep) {
  struct Row {
    bool ntsc;
    int lanes;
  } rows[] = {
      {false, 2},  // three processes take four pieces in turn
      {true, 4},   // five processes, five pieces
  };
  struct Read {
    double frames = 0, video_start = 0, audio_start = 0, video_duration = 0, audio_duration = 0;
  };
  auto encode = [&](const Row& row, int lanes) -> std::optional<Read> {
    RecordingEvents events;
    encoder_->SetEvents(&events);
    EXPECT_TRUE(encoder_->Open(Media("pieces.mp4")).ok());
    const auto output = out_ / ("pieces " + std::to_string(lanes) + ".mpg");
    encoder_->SetOutputPath(output);
    Configure(row.ntsc, false);
    encoder_->SetParallelism(lanes);
    EXPECT_TRUE(encoder_->Start());
    const auto done = events.WaitForCompletions(1);
    encoder_->SetEvents(&events_);
    if (done.size() != 1u || done[0].status != EncodeStatus::kOk) {
      ADD_FAILURE() << (done.empty() ? "no completion" : done[0].message);
      return std::nullopt;
    }
    const auto progress = events.progress();
    EXPECT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_NEAR(encoder_->PositionSeconds(), 64.0, 0.5);
    const DvdStreamReport report = CheckDvdProgramStream(output);
    EXPECT_TRUE(report.ok) << report.problem;
    EXPECT_EQ(report.first_sequence, (SequenceHeader{720, row.ntsc ? 480 : 576, 2, row.ntsc ? 4 : 3}));
    ExpectAuthoringAccepts(output, row.ntsc ? 1 : 2, 1, 1);
    EXPECT_TRUE(NoPartFiles());
    EXPECT_TRUE(OwnChildren().empty());
    // ffprobe decodes every frame and reads where each stream starts and ends.
    const ChildResult r = RunChild({tools_.ffprobe.native(), "-v", "error", "-count_frames", "-show_entries",
                                    "stream=codec_type,nb_read_frames,start_time,duration", "-of",
                                    "default=noprint_wrappers=1", output.native()},
                                   std::chrono::minutes(2));
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::map<std::string, std::map<std::string, double>> streams;  // by codec type
    std::istringstream lines(r.out);
    std::string line, type;
    while (std::getline(lines, line)) {
      const std::size_t eq = line.find('=');
      if (eq == std::string::npos) continue;
      if (line.substr(0, eq) == "codec_type") {
        type = line.substr(eq + 1);
      } else {
        streams[type][line.substr(0, eq)] = std::atof(line.c_str() + eq + 1);
      }
    }
    return Read{streams["video"]["nb_read_frames"], streams["video"]["start_time"],
                streams["audio"]["start_time"], streams["video"]["duration"], streams["audio"]["duration"]};
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.ntsc ? "NTSC" : "PAL") + " with " + std::to_string(row.lanes) + " lanes");
    const std::optional<Read> whole = encode(row, 1);
    const std::optional<Read> pieces = encode(row, row.lanes);
    ASSERT_TRUE(whole && pieces);
    const double rate = row.ntsc ? 30000.0 / 1001.0 : 25.0;
    // The pieces end with the source, give or take the last frame (the
    // frame-rate conversion rounds the end of the last piece on its own).
    // The encode in one piece keeps each of the 30 frames a second at 29.97
    // until they are more than a frame behind, so it may end two frames later.
    EXPECT_NEAR(whole->frames, 64 * rate, 3.0);
    EXPECT_NEAR(pieces->frames, 64 * rate, 1.0);
    EXPECT_NEAR(pieces->frames, whole->frames, 2.0);
    EXPECT_NEAR(pieces->video_start - pieces->audio_start, whole->video_start - whole->audio_start, 0.002);
    EXPECT_NEAR(pieces->video_duration, 64.0, 1.5 / rate);
    EXPECT_NEAR(pieces->audio_duration, whole->audio_duration, 0.05);
  }
}

TEST_F(EncoderTest, PreviewDeliversSmallPicturesWhenSwitchedOn) {
  encoder_->SetPreviewTarget(&events_);
  encoder_->SetPreviewEnabled(true);
  ASSERT_TRUE(encoder_->Open(Media("video_only.avi")).ok());
  Configure(false, true);
  encoder_->SetOutputPath(out_ / "preview.mpg");
  ASSERT_TRUE(encoder_->Start());
  ASSERT_EQ(events_.WaitForCompletions(1)[0].status, EncodeStatus::kOk);
  const PreviewFrame frame = events_.last_frame();
  EXPECT_EQ(frame.width, 160);
  EXPECT_EQ(frame.height, 90);
  EXPECT_EQ(frame.rgb.size(), 160u * 90 * 3);
}

TEST_F(EncoderTest, WithoutFfmpegOpeningAndEncodingSayWhatIsMissing) {
  FfmpegEncoder bare(EncoderTools{});
  bare.SetEvents(&events_);
  const OpenResult r = bare.Open(Media("h264_aac.mp4"));
  EXPECT_EQ(r.status, OpenStatus::kToolMissing);
  EXPECT_NE(r.message.find("install the ffmpeg package"), std::string::npos);
  ASSERT_TRUE(bare.Start());
  const auto done = events_.WaitForCompletions(1);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].status, EncodeStatus::kFailed);
  EXPECT_NE(done[0].message.find("ffmpeg"), std::string::npos);
}

// A 24-bit BMP of the given size in one colour.
void WriteBmp(const std::filesystem::path& file, int width, int height) {
  const int row = (width * 3 + 3) & ~3;
  const std::uint32_t data = static_cast<std::uint32_t>(row * height);
  std::string b(54 + data, '\0');
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, 54 + data);
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(width));
  put32(22, static_cast<std::uint32_t>(height));
  b[26] = 1;
  b[28] = 24;
  put32(34, data);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      char* p = &b[54 + y * row + x * 3];
      p[0] = static_cast<char>(160);  // blue
      p[1] = static_cast<char>(x % 256);
      p[2] = static_cast<char>(y % 256);
    }
  }
  WriteBytes(file, b);
}

TEST_F(EncoderTest, PictureToClipMakesAClipTheEncoderOpensAndEncodes) {
  WriteBmp(out_ / "menu 100%.bmp", 720, 576);
  FfmpegPictureClipMaker maker(tools_);
  std::string error;
  const auto clip = out_ / "menutemp.avi";
  ASSERT_TRUE(maker.MakeClip(out_ / "menu 100%.bmp", "", 1000, clip, &error)) << error;
  ASSERT_TRUE(encoder_->Open(clip).ok());
  EXPECT_TRUE(encoder_->HasVideo());
  EXPECT_FALSE(encoder_->HasAudio());
  EXPECT_NEAR(encoder_->DurationSeconds(), 1.0, 0.05);
  Configure(false, false);
  encoder_->SetOutputPath(out_ / "menu.mpg");
  ASSERT_TRUE(encoder_->Start());
  const auto done = events_.WaitForCompletions(1);
  ASSERT_EQ(done[0].status, EncodeStatus::kOk) << done[0].message;
  EXPECT_TRUE(CheckDvdProgramStream(out_ / "menu.mpg").ok);

  EXPECT_FALSE(maker.MakeClip(out_ / "missing.bmp", "", 1000, out_ / "x.avi", &error));
  EXPECT_FALSE(std::filesystem::exists(out_ / "x.avi"));
  WriteBytes(out_ / "junk.bmp", "not a picture");
  EXPECT_FALSE(maker.MakeClip(out_ / "junk.bmp", "", 1000, out_ / "x.avi", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(std::filesystem::exists(out_ / "x.avi"));
  EXPECT_TRUE(NoPartFiles());
}

}  // namespace
}  // namespace vantora
