// A scripted authoring engine and event recorders for the control's tests.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "quillon/authoring_engine.h"
#include "quillon/quillon_ctrl.h"

namespace quillon::testing {

// The engine's own default schemes (normal, selected, activated).
ButtonSchemes EngineDefaultSchemes();

// Keeps the settings the control hands it. A path containing "missing" is a
// file that does not exist. Build needs an output folder (else -2022) and
// reports progress `progress_calls` times; a non-zero answer stops it (1).
class FakeEngine : public AuthoringEngine {
 public:
  struct Button {
    std::uint16_t left, top, right, bottom;
    std::uint32_t type, value;
  };
  struct State {
    bool main_menu = false;
    std::vector<std::string> titles;
    std::vector<Button> buttons;
    ButtonSchemes schemes = EngineDefaultSchemes();
    std::string output_dir;
    int auto_next = 1;
    int init_calls = 0;
    int builds_started = 0;
    int builds_finished = 0;         // wrote a folder
    std::vector<std::string> calls;  // names of mutating calls, in order
    std::vector<int> auto_next_sent;
    int progress_calls = 3;
    EngineStatus build_status = 0;  // what a finished build returns
  };

  explicit FakeEngine(std::shared_ptr<State> state) : s_(std::move(state)) {}

  void Init() override;
  EngineStatus AddMainMenu(const std::string& video_file) override;
  EngineStatus AddTitle(const std::string& movie_file) override;
  EngineStatus DeleteTitle(std::int32_t title) override;
  std::int32_t GetTitleCount() override { return static_cast<std::int32_t>(s_->titles.size()); }
  std::int32_t GetMainMenuId() override { return s_->main_menu ? kMainMenuId : 0; }
  EngineStatus AddMenuBtn(std::int32_t menu_id, std::uint16_t left, std::uint16_t top, std::uint16_t right,
                          std::uint16_t bottom, std::uint32_t type, std::uint32_t value) override;
  EngineStatus DeleteButton(std::int32_t menu_id, std::int32_t button) override;
  std::int32_t GetButtonCount(std::int32_t menu_id) override;
  EngineStatus GetButtonSchemes(std::int32_t menu_id, ButtonSchemes* schemes) override;
  EngineStatus SetButtonSchemes(std::int32_t menu_id, const ButtonSchemes& schemes) override;
  ButtonSchemes DefaultButtonSchemes() const override { return EngineDefaultSchemes(); }
  EngineStatus SetOutputDir(const std::string& folder) override;
  EngineStatus SetAutoNextTitle(std::int32_t on) override;
  EngineStatus Build(EngineProgress progress) override;
  // "Error code = <status>" and "fake text".
  std::string StatusText(EngineStatus status) override;

 private:
  std::shared_ptr<State> s_;
};

// A control over a FakeEngine whose state the test keeps.
struct FakeControl {
  std::shared_ptr<FakeEngine::State> engine = std::make_shared<FakeEngine::State>();
  std::unique_ptr<CQuillonCtrl> ctrl = std::make_unique<CQuillonCtrl>(std::make_unique<FakeEngine>(engine));
};

// Records events and runs optional callbacks from inside them.
class EventRecorder : public QuillonEvents {
 public:
  void TotalProcessing(double iCurrentPos, double iOverallPos) override;
  void OnCompleted() override;

  std::vector<std::pair<double, double>> progress;  // (step, overall)
  int completed = 0;
  std::function<void()> on_progress;
  std::function<void()> on_completed;
};

// Records what the control asks of its container.
class RecordingSite : public ControlSite {
 public:
  void ResizeWindow(std::int32_t w, std::int32_t h) override { resized.emplace_back(w, h); }
  void OnPropertyChanged(std::int32_t id) override { changed.push_back(id); }
  void Invalidate() override { invalidated++; }
  std::vector<std::pair<int, int>> resized;
  std::vector<int> changed;
  int invalidated = 0;
};

// A generated test clip (in the folder VANTORA_TEST_MEDIA names).
std::filesystem::path Clip(const char* name);

// Advises a new recorder on the control's events.
std::shared_ptr<EventRecorder> Listen(CQuillonCtrl& ctrl);

}  // namespace quillon::testing
