// Hosts that call the control back from inside its events.
#include <gtest/gtest.h>

#include "quillon/identity.h"
#include "quillon/quillon_ctrl.h"
#include "quillon_testutil.h"

namespace quillon {
namespace {

using platform::Variant;
using platform::VARIANT_FALSE;
using platform::VARIANT_TRUE;
using testing::FakeControl;
using testing::Listen;

FakeControl Ready(int progress_calls = 5) {
  FakeControl f;
  EXPECT_EQ(f.ctrl->AddMainMenu("menu.mpg"), VARIANT_TRUE);
  EXPECT_EQ(f.ctrl->AddMainMenuButton(100, 100, 200, 200, 1), VARIANT_TRUE);
  EXPECT_EQ(f.ctrl->AddTitle("a.mpg"), VARIANT_TRUE);
  EXPECT_EQ(f.ctrl->SetOutputDir("/out"), platform::S_OK);
  f.engine->progress_calls = progress_calls;
  return f;
}

TEST(QuillonReentrancyTest, ClearAllFromProgressStopsTheBuildAndClearsAfterIt) {
  FakeControl f = Ready();
  auto events = Listen(*f.ctrl);
  int titles_seen_inside = -1;
  events->on_progress = [&] {
    if (events->progress.size() == 2) {
      f.ctrl->ClearAll();
      titles_seen_inside = f.ctrl->GetTitleCount();
    }
  };
  EXPECT_EQ(f.ctrl->BuildDVDImage(), VARIANT_FALSE);
  EXPECT_EQ(titles_seen_inside, 1) << "the settings stay while the engine builds from them";
  EXPECT_EQ(events->progress.size(), 2u) << "the engine stopped at the next progress answer";
  EXPECT_EQ(events->completed, 0);
  EXPECT_EQ(f.engine->builds_finished, 0);
  EXPECT_EQ(f.engine->init_calls, 1) << "cleared once the engine returned";
  EXPECT_EQ(f.ctrl->GetTitleCount(), 0);

  // The control is usable again, and the stop request does not linger.
  ASSERT_EQ(f.ctrl->AddTitle("a.mpg"), VARIANT_TRUE);
  ASSERT_EQ(f.ctrl->SetOutputDir("/out"), platform::S_OK);
  events->on_progress = nullptr;
  EXPECT_EQ(f.ctrl->BuildDVDImage(), VARIANT_TRUE);
  EXPECT_EQ(events->completed, 1);
}

TEST(QuillonReentrancyTest, MutatorsAndANestedBuildDuringABuildReturnFalseAndChangeNothing) {
  FakeControl f = Ready(1);
  auto events = Listen(*f.ctrl);
  std::vector<int> results;
  events->on_progress = [&] {
    EXPECT_TRUE(f.ctrl->building());
    results.push_back(f.ctrl->BuildDVDImage());
    results.push_back(f.ctrl->AddTitle("b.mpg"));
    results.push_back(f.ctrl->AddMainMenu("menu2.mpg"));
    results.push_back(f.ctrl->RemoveTitle(1));
    results.push_back(f.ctrl->AddMainMenuButton(300, 100, 400, 200, 1));
    results.push_back(f.ctrl->RemoveMainMenuButton(1));
    results.push_back(f.ctrl->SetMainMenuButtonColor(1, 1, 1, 1, 1, 1));
    EXPECT_EQ(f.ctrl->SetOutputDir("/elsewhere"), QUILLON_E_BUILD_RUNNING);
    EXPECT_EQ(f.ctrl->SetEnableAutoNextTitle(VARIANT_FALSE), QUILLON_E_BUILD_RUNNING);
    auto r = f.ctrl->Invoke(dispid::kOutputDir, platform::DispatchKind::kPropertyPut,
                            std::vector<Variant>{Variant("/z")});
    EXPECT_EQ(r.hr, platform::DISP_E_EXCEPTION);
    EXPECT_EQ(r.scode, QUILLON_E_BUILD_RUNNING);
    r = f.ctrl->Invoke(dispid::kEnableAutoNextTitle, platform::DispatchKind::kPropertyPut,
                       std::vector<Variant>{Variant::Bool(false)});
    EXPECT_EQ(r.hr, platform::DISP_E_EXCEPTION);
    // Reads are fine.
    EXPECT_EQ(f.ctrl->GetTitleCount(), 1);
    EXPECT_EQ(f.ctrl->GetMainMenuButtonCount(), 1);
  };
  EXPECT_EQ(f.ctrl->BuildDVDImage(), VARIANT_TRUE);
  EXPECT_EQ(results, std::vector<int>(7, VARIANT_FALSE));
  EXPECT_EQ(events->completed, 1);
  EXPECT_EQ(f.engine->builds_started, 1);
  EXPECT_EQ(f.ctrl->GetOutputDir(), "/out");
  EXPECT_EQ(f.ctrl->GetEnableAutoNextTitle(), 1);
  EXPECT_FALSE(f.ctrl->building());
  EXPECT_EQ(f.ctrl->BuildDVDImage(), VARIANT_FALSE) << "the add refused during the build left a gap";
}

TEST(QuillonReentrancyTest, TheOnCompletedHandlerMayClearAndReuseTheControl) {
  FakeControl f = Ready(1);
  auto events = Listen(*f.ctrl);
  int nested = -2;
  events->on_completed = [&] {
    EXPECT_FALSE(f.ctrl->building());
    if (events->completed > 1) return;
    f.ctrl->ClearAll();
    EXPECT_EQ(f.ctrl->GetTitleCount(), 0);
    EXPECT_EQ(f.ctrl->AddTitle("next.mpg"), VARIANT_TRUE);
    EXPECT_EQ(f.ctrl->SetOutputDir("/out2"), platform::S_OK);
    nested = f.ctrl->BuildDVDImage();
  };
  EXPECT_EQ(f.ctrl->BuildDVDImage(), VARIANT_TRUE);
  EXPECT_EQ(nested, VARIANT_TRUE);
  EXPECT_EQ(events->completed, 2);
  EXPECT_EQ(f.engine->titles, std::vector<std::string>{"next.mpg"});
}

TEST(QuillonReentrancyTest, OnlyOneBuildRunsInAProcess) {
  FakeControl first = Ready(1);
  FakeControl second = Ready(1);
  auto events = Listen(*first.ctrl);
  int inner = -2;
  events->on_progress = [&] { inner = second.ctrl->BuildDVDImage(); };
  EXPECT_EQ(first.ctrl->BuildDVDImage(), VARIANT_TRUE);
  EXPECT_EQ(inner, VARIANT_FALSE);
  EXPECT_EQ(second.engine->builds_started, 0);
  // Both builds end their turn, whichever way they end.
  EXPECT_EQ(second.ctrl->BuildDVDImage(), VARIANT_TRUE);
  FakeControl empty;
  EXPECT_EQ(empty.ctrl->BuildDVDImage(), VARIANT_FALSE);
  EXPECT_EQ(first.ctrl->BuildDVDImage(), VARIANT_TRUE);
}

TEST(QuillonReentrancyTest, ProgressAfterTheBuildGoesNowhere) {
  // The second control's events must not receive the first one's progress.
  FakeControl first = Ready(2);
  FakeControl second = Ready(2);
  auto a = Listen(*first.ctrl);
  auto b = Listen(*second.ctrl);
  ASSERT_EQ(first.ctrl->BuildDVDImage(), VARIANT_TRUE);
  ASSERT_EQ(second.ctrl->BuildDVDImage(), VARIANT_TRUE);
  EXPECT_EQ(a->progress.size(), 2u);
  EXPECT_EQ(b->progress.size(), 2u);
}

}  // namespace
}  // namespace quillon
