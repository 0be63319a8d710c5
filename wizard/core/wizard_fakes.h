// Recording fakes of the wizard's outside parts, for its tests.
#pragma once

#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core_testutil.h"
#include "vantora/disc_burner.h"
#include "vantora/functions.h"
#include "vantora/job_log.h"
#include "vantora/video_encoder.h"
#include "vantora/video_list.h"
#include "vantora/wizard_controller.h"

namespace vantora::testing {

struct FakeDrive {
  int ha = 0, id = 0, lun = 0;
  std::string vendor, model, revision;
};

// The medium in a fake drive, as the engine's media members report it.
struct FakeMedium {
  std::int32_t type = -1;
  std::string name = "No Media";
  std::int32_t empty = 0, writable = 0;
  float total = 0, used = 0;
  bool can_simulate = false;  // records a test write
};

class FakeDiscBurner final : public DiscBurner {
 public:
  struct Log {
    std::vector<std::string> calls;  // "Init", "Listen 0", "StopListen", "CancelBurn", "UnloadCom"
    std::vector<int> listened;
    bool dispatcher_set = false;
    std::vector<std::string> added;  // AddFile paths
    std::string iso_path;            // CreateIso's path
    std::vector<int> speeds;         // what Burner_GetSpeedWrite gives by index
    std::string refuse_file;         // AddFile of this path reports 5003
    const char* refusal = nullptr;   // CreateIso and BurnData report this at once
    // The wizard's handlers; a test raises the job's events through them.
    DiscBurnerEvents* events = nullptr;
    std::map<int, FakeMedium> media;          // by drive number
    std::map<int, std::string> device_paths;  // by drive number
    std::vector<int> media_drives;            // every number given to a media member
    int refreshes = 0;                        // BeginMediaRefresh calls
    int open_refreshes = 0;                   // Begin less End
    int asked_outside_refresh = 0;            // media members called with no refresh open
    int mixed_refreshes = 0;                  // refreshes from now on whose End says the medium changed
    std::vector<std::pair<int, int>> erases;  // drive, mode
    DiscMediaEvents* media_events = nullptr;
    // Called inside Burner_EraseDisk (an erase that ends at once).
    std::function<void()> on_erase;
    // Called inside Burner_GetMediaType with the drive number.
    std::function<void(int)> on_media_type;
  };
  FakeDiscBurner(std::vector<FakeDrive> drives, Log& log) : drives_(std::move(drives)), log_(log) {}
  HResult Burner_Init() override { return Note("Init"); }
  HResult Burner_DriveCount(std::int16_t& v) override {
    v = static_cast<std::int16_t>(drives_.size());
    return platform::S_OK;
  }
  HResult Burner_DriveHA(std::int32_t d, std::int16_t& v) override {
    return Get(d, [&](auto& x) { v = x.ha; });
  }
  HResult Burner_DriveID(std::int32_t d, std::int16_t& v) override {
    return Get(d, [&](auto& x) { v = x.id; });
  }
  HResult Burner_DriveLUN(std::int32_t d, std::int16_t& v) override {
    return Get(d, [&](auto& x) { v = x.lun; });
  }
  HResult Burner_GetDriveVendor(std::int32_t d, std::string& v) override {
    return Get(d, [&](auto& x) { v = x.vendor; });
  }
  HResult Burner_DriveModel(std::int32_t d, std::string& v) override {
    return Get(d, [&](auto& x) { v = x.model; });
  }
  HResult Burner_DriveRevision(std::int32_t d, std::string& v) override {
    return Get(d, [&](auto& x) { v = x.revision; });
  }
  HResult Burner_ListenDrive(std::int32_t d) override {
    log_.listened.push_back(d);
    return Note("Listen " + std::to_string(d));
  }
  HResult Burner_StopListenDrive() override { return Note("StopListen"); }
  HResult Burner_SpeedWriteCount(std::int32_t d, std::int32_t& v) override {
    return Medium(d, [&](auto&) { v = static_cast<std::int32_t>(log_.speeds.size()); });
  }
  HResult Burner_GetMediaType(std::int32_t d, std::int32_t& v) override {
    if (log_.on_media_type) log_.on_media_type(d);
    return Medium(d, [&](auto& m) { v = m.type; });
  }
  HResult Burner_GetMediaTypeName(std::int32_t d, std::int32_t, std::string& v) override {
    return Medium(d, [&](auto& m) { v = m.name; });
  }
  HResult Burner_MediaIsEmpty(std::int32_t d, std::int32_t& v) override {
    return Medium(d, [&](auto& m) { v = m.empty; });
  }
  HResult Burner_DiskIsStillWritable(std::int32_t d, std::int32_t& v) override {
    return Medium(d, [&](auto& m) { v = m.writable; });
  }
  HResult Burner_GetMediaTotalSpace(std::int32_t d, float& v) override {
    return Medium(d, [&](auto& m) { v = m.total; });
  }
  HResult Burner_GetMediaUsedSpace(std::int32_t d, float& v) override {
    return Medium(d, [&](auto& m) { v = m.used; });
  }
  HResult Burner_EraseDisk(std::int32_t d, std::int32_t mode) override {
    log_.erases.emplace_back(d, mode);
    const HResult hr = Note("Erase " + std::to_string(d));
    if (log_.on_erase) log_.on_erase();
    return hr;
  }
  std::string DriveDevicePath(std::int32_t d) override {
    const auto it = log_.device_paths.find(d);
    return it == log_.device_paths.end() ? "" : it->second;
  }
  bool MediaCanSimulate(std::int32_t d) override {
    bool can = false;
    Medium(d, [&](auto& m) { can = m.can_simulate; });
    return can;
  }
  void BeginMediaRefresh(std::int32_t) override {
    ++log_.refreshes;
    ++log_.open_refreshes;
  }
  bool EndMediaRefresh(std::int32_t) override {
    --log_.open_refreshes;
    if (log_.mixed_refreshes == 0) return true;
    --log_.mixed_refreshes;
    return false;
  }
  void SetMediaEvents(DiscMediaEvents* events) override { log_.media_events = events; }
  HResult CancelBurn() override { return Note("CancelBurn"); }
  HResult UnloadCom() override { return Note("UnloadCom"); }
  void SetDispatcher(std::shared_ptr<platform::EventDispatcher>, std::function<void()>) override {
    log_.dispatcher_set = true;
  }
  HResult SetCDName(const std::string& name) override { return Note("SetCDName " + name); }
  HResult Clear() override { return Note("Clear"); }
  HResult AddVirtualDirectory(std::int32_t dad, const std::string& name) override {
    return Note("AddVirtualDirectory " + std::to_string(dad) + " " + name);
  }
  HResult AddFile(std::int32_t dad, const std::string& path) override {
    log_.added.push_back(path);
    if (log_.refuse_file == path && events_) events_->OnBuildingError(5003, path);
    return Note("AddFile " + std::to_string(dad) + " " + path);
  }
  HResult CreateIso(const std::string& path, std::int32_t mode, std::int32_t video) override {
    log_.iso_path = path;
    Note("CreateIso " + std::to_string(mode) + " " + std::to_string(video));
    if (log_.refusal && events_) events_->BurningErrorViewDescription(log_.refusal);
    return platform::S_OK;
  }
  HResult Burner_SetSizeBuffer(std::int32_t size) override {
    return Note("SetSizeBuffer " + std::to_string(size));
  }
  HResult SetPriorityThread(std::int32_t p) override {
    return Note("SetPriorityThread " + std::to_string(p));
  }
  HResult Burner_GetSpeedWrite(std::int32_t d, std::int32_t index, std::int32_t& v) override {
    v = index >= 0 && index < static_cast<int>(log_.speeds.size()) ? log_.speeds[index] : 0;
    return Note("GetSpeedWrite " + std::to_string(d) + " " + std::to_string(index));
  }
  HResult Burner_SetWriteSpeed(std::int32_t d, std::int32_t speed) override {
    return Note("SetWriteSpeed " + std::to_string(d) + " " + std::to_string(speed));
  }
  HResult Burner_BurnData(std::int32_t d, std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t fake,
                          std::int32_t e, std::int32_t f, std::int32_t g) override {
    Note("BurnData " + std::to_string(d) + " " + std::to_string(a) + " " + std::to_string(b) + " " +
         std::to_string(c) + " " + std::to_string(fake) + " " + std::to_string(e) + " " + std::to_string(f) +
         " " + std::to_string(g));
    if (log_.refusal && events_) events_->BurningErrorViewDescription(log_.refusal);
    return platform::S_OK;
  }
  void SetEvents(DiscBurnerEvents* events) override {
    events_ = events;
    log_.events = events;
  }

 private:
  template <typename F>
  HResult Medium(std::int32_t d, F f) {
    log_.media_drives.push_back(d);
    if (log_.open_refreshes == 0) ++log_.asked_outside_refresh;
    if (d < 0 || d >= static_cast<int>(drives_.size())) return platform::E_INVALIDARG;
    f(log_.media[d]);
    return platform::S_OK;
  }
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
  DiscBurnerEvents* events_ = nullptr;
};

class FakeAuthoring final : public AuthoringControl {
 public:
  void ClearAll() override {
    clear_calls.push_back(building);
    if (!building) titles.clear(), menu.clear(), buttons.clear();
  }
  bool IsBuilding() const override { return building; }
  bool AddMainMenu(const std::string& path) override {
    menu = path;
    return !path.empty();
  }
  bool SetMainMenuButtonColor(std::int16_t a, std::int16_t b, std::int16_t c, std::int16_t d, std::int16_t e,
                              std::int16_t f) override {
    colors = {a, b, c, d, e, f};
    return true;
  }
  bool AddMainMenuButton(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b,
                         std::int16_t title) override {
    buttons.push_back({l, t, r, b, title});
    return static_cast<int>(buttons.size()) != refuse_button;
  }
  void SetEnableAutoNextTitle(bool on) override { auto_next.push_back(on); }
  void SetOutputDir(const std::string& folder) override { output_dir = folder; }
  bool AddTitle(const std::string& path) override {
    if (path == refuse_title) return false;
    titles.push_back(path);
    return true;
  }
  int GetTitleCount() override { return static_cast<int>(titles.size()); }
  bool BuildDVDImage() override {
    ++builds;
    building = true;
    if (events_) {
      for (const auto& [step, overall] : progress) {
        events_->TotalProcessing(step, overall);
        if (on_progress) on_progress();
      }
    }
    building = false;
    if (!build_result) return false;
    if (events_) events_->OnCompleted();
    return true;
  }
  std::string LastBuildStatusText() const override {
    return build_result ? "" : "Error code = -4003\nBad file";
  }
  void SetEvents(AuthoringEvents* events) override { events_ = events; }

  bool building = false;
  std::vector<bool> clear_calls;  // whether a build ran at each ClearAll
  std::string menu, output_dir, refuse_title;
  std::vector<int> colors;
  std::vector<std::vector<int>> buttons;
  std::vector<bool> auto_next;
  std::vector<std::string> titles;
  int refuse_button = 0;  // 1-based number of a button refused
  std::vector<std::pair<double, double>> progress{{50.0, 25.0}, {100.0, 100.0}};
  bool build_result = true;
  int builds = 0;
  std::function<void()> on_progress;  // run inside the build after each report

 private:
  AuthoringEvents* events_ = nullptr;
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
  OpenResult Open(const std::filesystem::path& input) override {
    opened.push_back(input);
    return open_result;
  }
  bool HasVideo() const override { return true; }
  bool HasAudio() const override { return true; }
  double DurationSeconds() const override { return duration; }
  void SetFrameSize(int w, int h) override { width = w, height = h; }
  void SetFrameRate(float f) override { fps = f; }
  void SetVideoBitrate(int b) override { video_bitrate = b; }
  void SetAudioSampleRate(int h) override { sample_rate = h; }
  void SetAudioBitsPerSample(int b) override { bits = b; }
  void SetAudioChannels(int c) override { channels = c; }
  void SetAudioBitrate(int b) override { audio_bitrate = b; }
  void SetTvSystem(int c) override { tv = c; }
  void SetAspect(int c) override { aspect = c; }
  // Accepts every start and records its output; the test ends it with
  // Finish (as the encoder's completion would).
  bool Start() override {
    started.push_back(output);
    running = true;
    return true;
  }
  void Stop() override { ++stops; }
  double FramesPerSecond() const override { return fps_now; }
  double ElapsedSeconds() const override { return elapsed; }
  double PositionSeconds() const override { return position; }
  // The running encoding's end: writes its output for kOk.
  EncodeResult Finish(EncodeStatus status = EncodeStatus::kOk, std::string message = "") {
    running = false;
    if (status == EncodeStatus::kOk) std::ofstream(output) << "converted";
    return {status, std::move(message)};
  }

  OpenResult open_result{OpenStatus::kOk, ""};
  double duration = 1;  // of every input opened
  std::vector<std::filesystem::path> opened, started;
  bool running = false;
  double fps_now = 0, elapsed = 0, position = 0;
  std::filesystem::path output;
  bool preview = false;
  int width = 0, height = 0, video_bitrate = 0, sample_rate = 0, bits = 0, channels = 0, audio_bitrate = 0,
      tv = 0, aspect = 0, shutdowns = 0, stops = 0;
  float fps = 0;
};

class FakeClipMaker final : public PictureClipMaker {
 public:
  bool MakeClip(const std::filesystem::path& picture, const std::string&, int ms,
                const std::filesystem::path& clip, std::string*) override {
    calls.push_back({picture, clip, ms});
    if (!succeed) return false;
    std::ofstream(clip) << "clip";
    return true;
  }
  bool succeed = true;
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
    // What reaches the program while a real question box waits for the user.
    if (while_asked) while_asked();
    return yes;
  }
  bool AskOkCancel(const std::string& text, const std::string& title, MessageIcon icon) override {
    questions.push_back({text, title, icon});
    return ok;
  }
  std::vector<std::string> OpenFiles(const std::string&, const std::string& filter, const std::string& folder,
                                     bool multiple) override {
    open_calls.push_back({filter, folder, multiple});
    return files_answer;
  }
  std::optional<std::uint32_t> ChooseColor(std::uint32_t) override { return color_answer; }
  std::function<void()> while_asked;
  struct OpenCall {
    std::string filter, folder;
    bool multiple;
  };
  std::vector<OpenCall> open_calls;
  std::vector<std::string> files_answer;
  std::optional<std::uint32_t> color_answer;
  bool ok = true;
  std::vector<Message> messages, questions;
  std::vector<std::string> browse_titles;
  std::string folder_answer;
  bool yes = true;
};

// Records whether the sleep lock is held and every time it was taken.
class FakeInhibitor final : public SleepInhibitor {
 public:
  void Inhibit(const std::string& why) override {
    if (!held) reasons.push_back(why);
    held = true;
  }
  void Release() override { held = false; }
  bool held = false;
  std::vector<std::string> reasons;
};

// Answers probes from a table by path; unknown paths are unrecognised.
class FakeProber final : public MediaProber {
 public:
  struct Media {
    double duration = 100;
    bool video = true;
    bool audio = true;
  };
  ProbeOutcome Probe(const std::filesystem::path& file) override {
    if (before_probe) before_probe(file);
    std::lock_guard lock(mu);
    probed.push_back(file);
    ProbeOutcome outcome;
    const auto it = media.find(file);
    if (it == media.end()) {
      outcome.result = {OpenStatus::kUnrecognized, "Unrecognized format"};
      return outcome;
    }
    outcome.result = {OpenStatus::kOk, ""};
    outcome.info.duration = it->second.duration;
    outcome.info.video_stream = it->second.video ? 0 : -1;
    outcome.info.audio_stream = it->second.audio ? 1 : -1;
    return outcome;
  }
  std::function<void(const std::filesystem::path&)> before_probe;  // runs on the probing thread
  std::mutex mu;
  std::map<std::filesystem::path, Media> media;
  std::vector<std::filesystem::path> probed;
};

class FakeClock final : public LogClock {
 public:
  std::string Time() override { return time; }
  std::string Date() override { return date; }
  std::string time = "14:03:07";
  std::string date = "2026-12-09";
};

// The fakes of every outside part the wizard takes, held together by a test
// (a fixture derives from it) so that they outlive the controller or window
// over them.
struct WizardFakes {
  // Fake burners over drives, recording into burner_log.
  DiscBurnerFactory FakeBurners(std::vector<FakeDrive> drives = {{1, 0, 0, "ACME", "DVDRW X1", "1.02"}}) {
    return
        [this, drives = std::move(drives)] { return std::make_unique<FakeDiscBurner>(drives, burner_log); };
  }
  // The controller's parts over these fakes for a program whose folders are
  // all home, without job log files; the prober is left out (files are then
  // probed by the encoder).
  WizardParts Parts(const std::filesystem::path& home,
                    std::vector<FakeDrive> drives = {{1, 0, 0, "ACME", "DVDRW X1", "1.02"}}) {
    WizardParts parts;
    parts.folders = FoldersIn(home);
    parts.folders.logs.clear();
    parts.inhibitor = &inhibitor;
    parts.make_burner = FakeBurners(std::move(drives));
    parts.authoring = &authoring;
    parts.encoder = &encoder;
    parts.clip_maker = &clip_maker;
    parts.dialogs = &dialogs;
    parts.shell = &shell;
    parts.clock = &clock;
    return parts;
  }

  FakeDiscBurner::Log burner_log;
  FakeInhibitor inhibitor;
  FakeAuthoring authoring;
  FakeEncoder encoder;
  FakeClipMaker clip_maker;
  FakeDialogs dialogs;
  RecordingShell shell;
  FakeClock clock;
  FakeProber prober;
};

}  // namespace vantora::testing
