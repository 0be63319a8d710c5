#include "quillon_testutil.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace quillon::testing {
namespace {

bool Missing(const std::string& path) { return path.find("missing") != std::string::npos; }

}  // namespace

ButtonSchemes EngineDefaultSchemes() {
  return {0, 7, 5, 2, 0, 15, 0,  15,   // normal
          0, 8, 5, 4, 0, 15, 15, 15,   // selected
          0, 9, 5, 4, 0, 15, 15, 15};  // activated
}

void FakeEngine::Init() {
  s_->main_menu = false;
  s_->titles.clear();
  s_->buttons.clear();
  s_->schemes = EngineDefaultSchemes();
  s_->output_dir.clear();
  s_->auto_next = 1;
  s_->init_calls++;
  s_->calls.push_back("Init");
}

EngineStatus FakeEngine::AddMainMenu(const std::string& video_file) {
  s_->calls.push_back("AddMainMenu");
  if (Missing(video_file)) return -4003;
  s_->main_menu = true;
  s_->buttons.clear();
  s_->schemes = EngineDefaultSchemes();
  return kMainMenuId;
}

EngineStatus FakeEngine::AddTitle(const std::string& movie_file) {
  s_->calls.push_back("AddTitle");
  if (Missing(movie_file)) return -4003;
  s_->titles.push_back(movie_file);
  return static_cast<EngineStatus>(s_->titles.size());
}

EngineStatus FakeEngine::DeleteTitle(std::int32_t title) {
  s_->calls.push_back("DeleteTitle");
  if (title < 1 || title > GetTitleCount()) return -2011;
  s_->titles.erase(s_->titles.begin() + (title - 1));
  return 0;
}

EngineStatus FakeEngine::AddMenuBtn(std::int32_t menu_id, std::uint16_t left, std::uint16_t top,
                                    std::uint16_t right, std::uint16_t bottom, std::uint32_t type,
                                    std::uint32_t value) {
  s_->calls.push_back("AddMenuBtn");
  if (menu_id != kMainMenuId || !s_->main_menu) return -2018;
  if (top < 40 || top > 534 || left < 40 || left > 678 || bottom < 41 || bottom > 535 || right < 41 ||
      right > 679 || left >= right || top >= bottom) {
    return -2012;
  }
  s_->buttons.push_back({left, top, right, bottom, type, value});
  return static_cast<EngineStatus>(s_->buttons.size() - 1);
}

EngineStatus FakeEngine::DeleteButton(std::int32_t menu_id, std::int32_t button) {
  s_->calls.push_back("DeleteButton");
  if (menu_id != kMainMenuId || !s_->main_menu) return -2018;
  if (button < 1 || button > static_cast<std::int32_t>(s_->buttons.size())) return -2013;
  s_->buttons.erase(s_->buttons.begin() + (button - 1));
  return 0;
}

std::int32_t FakeEngine::GetButtonCount(std::int32_t menu_id) {
  if (menu_id != kMainMenuId || !s_->main_menu) return 0;
  return static_cast<std::int32_t>(s_->buttons.size());
}

EngineStatus FakeEngine::GetButtonSchemes(std::int32_t menu_id, ButtonSchemes* schemes) {
  if (menu_id != kMainMenuId || !s_->main_menu) return -2018;
  *schemes = s_->schemes;
  return 0;
}

EngineStatus FakeEngine::SetButtonSchemes(std::int32_t menu_id, const ButtonSchemes& schemes) {
  s_->calls.push_back("SetButtonSchemes");
  if (menu_id != kMainMenuId || !s_->main_menu) return -2018;
  s_->schemes = schemes;
  return 0;
}

EngineStatus FakeEngine::SetOutputDir(const std::string& folder) {
  s_->calls.push_back("SetOutputDir");
  if (folder.empty() || Missing(folder)) {
    s_->output_dir.clear();
    return -4002;
  }
  s_->output_dir = folder;
  return 0;
}

EngineStatus FakeEngine::SetAutoNextTitle(std::int32_t on) {
  s_->calls.push_back("SetAutoNextTitle");
  s_->auto_next = on;
  s_->auto_next_sent.push_back(on);
  return 0;
}

EngineStatus FakeEngine::Build(EngineProgress progress) {
  s_->calls.push_back("Build");
  s_->builds_started++;
  if (s_->titles.empty()) return -2001;
  if (s_->output_dir.empty()) return -2022;
  for (int i = 1; i <= s_->progress_calls; ++i) {
    const double overall = 100.0 * i / s_->progress_calls;
    const double step = i % 2 ? 50.0 : 100.0;
    if (progress && progress(overall, step, L"step") != 0) return kEngineStopped;
  }
  if (s_->build_status >= 0) s_->builds_finished++;
  return s_->build_status;
}

std::string FakeEngine::StatusText(EngineStatus status) {
  return "Error code = " + std::to_string(status) + "\nfake text";
}

void EventRecorder::TotalProcessing(double iCurrentPos, double iOverallPos) {
  progress.emplace_back(iCurrentPos, iOverallPos);
  if (on_progress) on_progress();
}

void EventRecorder::OnCompleted() {
  completed++;
  if (on_completed) on_completed();
}

std::filesystem::path Clip(const char* name) {
  const char* dir = std::getenv("VANTORA_TEST_MEDIA");
  return std::filesystem::path(dir != nullptr ? dir : "") / name;
}

std::shared_ptr<EventRecorder> Listen(CQuillonCtrl& ctrl) {
  auto recorder = std::make_shared<EventRecorder>();
  platform::Cookie cookie = 0;
  EXPECT_EQ(ctrl.events().Advise(recorder, &cookie), platform::S_OK);
  return recorder;
}

}  // namespace quillon::testing
