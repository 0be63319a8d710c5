// Recording fakes of the wizard's outside parts, for its tests.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "vantora/disc_burner.h"
#include "vantora/functions.h"
#include "vantora/job_log.h"
#include "vantora/video_encoder.h"

namespace vantora::testing {

struct FakeDrive {
  int ha = 0, id = 0, lun = 0;
  std::string vendor, model, revision;
};

class FakeDiscBurner final : public DiscBurner {
 public:
  struct Log {
    std::vector<std::string> calls;  // "Init", "Listen 0", "StopListen", "CancelBurn", "UnloadCom"
    std::vector<int> listened;
    bool dispatcher_set = false;
  };
  FakeDiscBurner(std::vector<FakeDrive> drives, Log& log) : drives_(std::move(drives)), log_(log) {}
  HResult Burner_Init() override { return Note("Init"); }
  HResult Burner_DriveCount(std::int16_t& v) override {
    v = static_cast<std::int16_t>(drives_.size());
    return platform::S_OK;
  }
  HResult Burner_DriveHA(std::int32_t d, std::int16_t& v) override { return Get(d, [&](auto& x) { v = x.ha; }); }
  HResult Burner_DriveID(std::int32_t d, std::int16_t& v) override { return Get(d, [&](auto& x) { v = x.id; }); }
  HResult Burner_DriveLUN(std::int32_t d, std::int16_t& v) override { return Get(d, [&](auto& x) { v = x.lun; }); }
  HResult Burner_GetDriveVendor(std::int32_t d, std::string& v) override { return Get(d, [&](auto& x) { v = x.vendor; }); }
  HResult Burner_DriveModel(std::int32_t d, std::string& v) override { return Get(d, [&](auto& x) { v = x.model; }); }
  HResult Burner_DriveRevision(std::int32_t d, std::string& v) override { return Get(d, [&](auto& x) { v = x.revision; }); }
  HResult Burner_ListenDrive(std::int32_t d) override {
    log_.listened.push_back(d);
    return Note("Listen " + std::to_string(d));
  }
  HResult Burner_StopListenDrive() override { return Note("StopListen"); }
  HResult CancelBurn() override { return Note("CancelBurn"); }
  HResult UnloadCom() override { return Note("UnloadCom"); }
  void SetDispatcher(std::shared_ptr<platform::EventDispatcher>, std::function<void()>) override {
    log_.dispatcher_set = true;
  }

 private:
  HResult Note(const std::string& call) {
    log_.calls.push_back(call);
    return platform::S_OK;
  }
  template <typename F>
  HResult Get(std::int32_t d, F f) {
    if (d < 0 || d >= static_cast<int>(drives_.size())) return platform::E_INVALIDARG;
    f(drives_[d]);
    return platform::S_OK;
  }
  std::vector<FakeDrive> drives_;
  Log& log_;
};

class FakeAuthoring final : public AuthoringControl {
 public:
  void ClearAll() override { clear_calls.push_back(building); }
  bool IsBuilding() const override { return building; }
  bool building = false;
  std::vector<bool> clear_calls;  // whether a build ran at each ClearAll
};

class FakeEncoder final : public VideoEncoder {
 public:
  void SetEvents(EncoderEvents*) override {}
  void SetPreviewTarget(PreviewSink*) override {}
  void SetPreviewEnabled(bool on) override { preview = on; }
  void ClearPreview() override {}
  void Shutdown() override { ++shutdowns; }
  void SetOutputPath(const std::filesystem::path& p) override { output = p; }
  std::filesystem::path OutputPath() const override { return output; }
  OpenResult Open(const std::filesystem::path&) override { return {OpenStatus::kOk, ""}; }
  bool HasVideo() const override { return true; }
  bool HasAudio() const override { return true; }
  double DurationSeconds() const override { return 1; }
  void SetFrameSize(int w, int h) override { width = w, height = h; }
  void SetFrameRate(float f) override { fps = f; }
  void SetVideoBitrate(int b) override { video_bitrate = b; }
  void SetAudioSampleRate(int h) override { sample_rate = h; }
  void SetAudioBitsPerSample(int b) override { bits = b; }
  void SetAudioChannels(int c) override { channels = c; }
  void SetAudioBitrate(int b) override { audio_bitrate = b; }
  void SetTvSystem(int c) override { tv = c; }
  void SetAspect(int c) override { aspect = c; }
  bool Start() override { return false; }
  void Stop() override { ++stops; }
  double FramesPerSecond() const override { return 0; }
  double ElapsedSeconds() const override { return 0; }
  double PositionSeconds() const override { return 0; }

  std::filesystem::path output;
  bool preview = false;
  int width = 0, height = 0, video_bitrate = 0, sample_rate = 0, bits = 0, channels = 0,
      audio_bitrate = 0, tv = 0, aspect = 0, shutdowns = 0, stops = 0;
  float fps = 0;
};

class FakeClipMaker final : public PictureClipMaker {
 public:
  bool MakeClip(const std::filesystem::path& picture, const std::string&, int ms,
                const std::filesystem::path& clip, std::string*) override {
    calls.push_back({picture, clip, ms});
    return true;
  }
  struct Call {
    std::filesystem::path picture, clip;
    int ms;
  };
  std::vector<Call> calls;
};

class FakeDialogs final : public Dialogs {
 public:
  struct Message {
    std::string text, title;
    MessageIcon icon;
  };
  std::string BrowseForFolder(const std::string& title) override {
    browse_titles.push_back(title);
    return folder_answer;
  }
  void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override {
    messages.push_back({text, title, icon});
  }
  bool AskYesNo(const std::string& text, const std::string& title, MessageIcon icon) override {
    questions.push_back({text, title, icon});
    return yes;
  }
  std::vector<Message> messages, questions;
  std::vector<std::string> browse_titles;
  std::string folder_answer;
  bool yes = true;
};

class FakeClock final : public LogClock {
 public:
  std::string Time() override { return time; }
  std::string Date() override { return date; }
  std::string time = "14:03:07";
  std::string date = "2026-12-09";
};

}  // namespace vantora::testing
