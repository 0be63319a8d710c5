#include "quillon/quillon_ctrl.h"

#include <gtest/gtest.h>

#include "quillon/identity.h"
#include "quillon_testutil.h"

namespace quillon {
namespace {

using platform::VARIANT_FALSE;
using platform::VARIANT_TRUE;
using testing::EngineDefaultSchemes;
using testing::FakeControl;
using testing::Listen;
using testing::RecordingSite;

// A control with a main menu, two titles and an output folder.
FakeControl Ready() {
  FakeControl f;
  EXPECT_EQ(f.ctrl->AddMainMenu("menu.mpg"), VARIANT_TRUE);
  EXPECT_EQ(f.ctrl->AddTitle("a.mpg"), VARIANT_TRUE);
  EXPECT_EQ(f.ctrl->AddTitle("b.mpg"), VARIANT_TRUE);
  EXPECT_EQ(f.ctrl->SetOutputDir("/out"), platform::S_OK);
  return f;
}

TEST(QuillonAddTest, AddsSucceedOnlyWhenTheEngineAcceptsTheFile) {
  FakeControl f;
  EXPECT_EQ(f.ctrl->AddMainMenu(""), VARIANT_FALSE);
  EXPECT_EQ(f.ctrl->AddTitle(""), VARIANT_FALSE);
  EXPECT_TRUE(f.engine->calls.empty()) << "an empty path reaches nothing";
  EXPECT_EQ(f.ctrl->AddMainMenu("/x/missing.mpg"), VARIANT_FALSE);
  EXPECT_EQ(f.ctrl->AddTitle("/x/missing.mpg"), VARIANT_FALSE);
  EXPECT_EQ(f.ctrl->AddTitle("/x/a.mpg"), VARIANT_TRUE);
  EXPECT_EQ(f.ctrl->GetTitleCount(), 1);
  EXPECT_EQ(f.ctrl->AddMainMenu("/x/menu.mpg"), VARIANT_TRUE);
}

TEST(QuillonAddTest, AFailedAddRefusesEveryBuildUntilClearAll) {
  FakeControl f = Ready();
  auto events = Listen(*f.ctrl);
  EXPECT_EQ(f.ctrl->AddTitle("/x/missing.mpg"), VARIANT_FALSE);
  EXPECT_EQ(f.ctrl->AddTitle("c.mpg"), VARIANT_TRUE) << "a later success does not undo the gap";
  EXPECT_EQ(f.ctrl->BuildDVDImage(), VARIANT_FALSE);
  EXPECT_EQ(f.engine->builds_started, 0) << "nothing is built or written";
  EXPECT_TRUE(events->progress.empty());
  EXPECT_EQ(events->completed, 0);

  f.ctrl->ClearAll();
  EXPECT_EQ(f.ctrl->AddTitle("a.mpg"), VARIANT_TRUE);
  EXPECT_EQ(f.ctrl->SetOutputDir("/out"), platform::S_OK);
  EXPECT_EQ(f.ctrl->BuildDVDImage(), VARIANT_TRUE);
}

TEST(QuillonButtonTest, ButtonsNeedAMainMenu) {
  FakeControl f;
  EXPECT_EQ(f.ctrl->AddMainMenuButton(100, 100, 200, 200, 1), VARIANT_FALSE);
  EXPECT_EQ(f.ctrl->RemoveMainMenuButton(1), VARIANT_FALSE);
  EXPECT_EQ(f.ctrl->GetMainMenuButtonCount(), 0);
  EXPECT_TRUE(f.engine->calls.empty());
}

TEST(QuillonButtonTest, JumpTitleMinusOneGoesBackToTheMenuAndOthersJumpToTheirTitle) {
  FakeControl f = Ready();
  EXPECT_EQ(f.ctrl->AddMainMenuButton(100, 110, 200, 210, -1), VARIANT_TRUE);
  EXPECT_EQ(f.ctrl->AddMainMenuButton(300, 110, 400, 210, 2), VARIANT_TRUE);
  ASSERT_EQ(f.engine->buttons.size(), 2u);
  EXPECT_EQ(f.engine->buttons[0].type, 3u);
  EXPECT_EQ(f.engine->buttons[0].value, 0xFFFFFFFFu);
  EXPECT_EQ(f.engine->buttons[1].type, 1u);
  EXPECT_EQ(f.engine->buttons[1].value, 2u);
  EXPECT_EQ(f.engine->buttons[1].left, 300);
  EXPECT_EQ(f.engine->buttons[1].top, 110);
  EXPECT_EQ(f.engine->buttons[1].right, 400);
  EXPECT_EQ(f.engine->buttons[1].bottom, 210);
  EXPECT_EQ(f.ctrl->GetMainMenuButtonCount(), 2);
  EXPECT_EQ(f.ctrl->RemoveMainMenuButton(1), VARIANT_TRUE);
  EXPECT_EQ(f.ctrl->RemoveMainMenuButton(5), VARIANT_FALSE);
  EXPECT_EQ(f.ctrl->GetMainMenuButtonCount(), 1);
}

TEST(QuillonButtonTest, CoordinatesOutsideSixteenBitsAreRefusedNotCut) {
  FakeControl f = Ready();
  // 65576 would be 40 once cut to 16 bits, a position the engine accepts.
  EXPECT_EQ(f.ctrl->AddMainMenuButton(65576, 100, 200, 200, 1), VARIANT_FALSE);
  EXPECT_EQ(f.ctrl->AddMainMenuButton(100, -1, 200, 200, 1), VARIANT_FALSE);
  EXPECT_EQ(f.ctrl->AddMainMenuButton(100, 100, 65536, 200, 1), VARIANT_FALSE);
  EXPECT_EQ(f.ctrl->AddMainMenuButton(100, 100, 200, 0x7FFFFFFF, 1), VARIANT_FALSE);
  EXPECT_TRUE(f.engine->buttons.empty());
  EXPECT_EQ(f.ctrl->AddMainMenuButton(100, 100, 65535, 200, 1), VARIANT_FALSE)
      << "in range, refused by the engine";
  EXPECT_EQ(f.ctrl->AddMainMenuButton(40, 40, 679, 535, 1), VARIANT_TRUE);
}

TEST(QuillonColourTest, TheCachedSchemesStartAtTheEngineDefaults) {
  FakeControl f;
  EXPECT_EQ(f.ctrl->cached_schemes(), EngineDefaultSchemes());
}

TEST(QuillonColourTest, ButtonColoursSetOnlyThePatternBytesOfEachScheme) {
  FakeControl f;
  EXPECT_EQ(f.ctrl->SetMainMenuButtonColor(5, 15, 6, 15, 7, 15), VARIANT_TRUE) << "no main menu needed";
  ButtonSchemes expected = EngineDefaultSchemes();
  expected[1] = 5;
  expected[5] = 15;
  expected[9] = 6;
  expected[13] = 15;
  expected[17] = 7;
  expected[21] = 15;
  EXPECT_EQ(f.ctrl->cached_schemes(), expected);
  EXPECT_TRUE(f.engine->calls.empty()) << "the engine gets them at BuildDVDImage";
}

TEST(QuillonColourTest, ColoursAndContrastsOutsideZeroToFifteenAreRefusedWholesale) {
  FakeControl f;
  const ButtonSchemes before = f.ctrl->cached_schemes();
  EXPECT_EQ(f.ctrl->SetMainMenuButtonColor(-1, 15, 6, 15, 7, 15), VARIANT_FALSE);
  EXPECT_EQ(f.ctrl->SetMainMenuButtonColor(2, 16, 6, 15, 7, 15), VARIANT_FALSE);
  EXPECT_EQ(f.ctrl->SetMainMenuButtonColor(2, 13, 5, 13, 7, 256), VARIANT_FALSE);
  EXPECT_EQ(f.ctrl->cached_schemes(), before);
  EXPECT_EQ(f.ctrl->SetMainMenuButtonColor(0, 0, 15, 15, 0, 0), VARIANT_TRUE);
}

TEST(QuillonColourTest, AddMainMenuReloadsTheCacheAndTheBuildSendsSchemesOnlyWithAMenu) {
  FakeControl f;
  ASSERT_EQ(f.ctrl->SetMainMenuButtonColor(2, 13, 5, 13, 7, 13), VARIANT_TRUE);
  ASSERT_EQ(f.ctrl->AddMainMenu("menu.mpg"), VARIANT_TRUE);
  EXPECT_EQ(f.ctrl->cached_schemes(), EngineDefaultSchemes()) << "the new menu's schemes replace the cache";
  ASSERT_EQ(f.ctrl->SetMainMenuButtonColor(2, 13, 5, 13, 7, 13), VARIANT_TRUE);
  ASSERT_EQ(f.ctrl->AddTitle("a.mpg"), VARIANT_TRUE);
  ASSERT_EQ(f.ctrl->SetOutputDir("/out"), platform::S_OK);
  ASSERT_EQ(f.ctrl->BuildDVDImage(), VARIANT_TRUE);
  EXPECT_EQ(f.engine->schemes, f.ctrl->cached_schemes());
  EXPECT_EQ(f.engine->schemes[1], 2);

  FakeControl bare;
  ASSERT_EQ(bare.ctrl->AddTitle("a.mpg"), VARIANT_TRUE);
  ASSERT_EQ(bare.ctrl->SetOutputDir("/out"), platform::S_OK);
  ASSERT_EQ(bare.ctrl->BuildDVDImage(), VARIANT_TRUE);
  for (const auto& call : bare.engine->calls) EXPECT_NE(call, "SetButtonSchemes");
}

TEST(QuillonBuildTest, WithoutTitlesNothingIsBuiltAndNoEventRaised) {
  FakeControl f;
  auto events = Listen(*f.ctrl);
  ASSERT_EQ(f.ctrl->SetOutputDir("/out"), platform::S_OK);
  EXPECT_EQ(f.ctrl->BuildDVDImage(), VARIANT_FALSE);
  EXPECT_EQ(f.engine->builds_started, 0);
  EXPECT_TRUE(events->progress.empty());
  EXPECT_EQ(events->completed, 0);
}

TEST(QuillonBuildTest, ASuccessfulBuildReportsStepThenOverallProgressAndCompletesOnce) {
  FakeControl f = Ready();
  auto events = Listen(*f.ctrl);
  int progress_at_completion = -1;
  events->on_completed = [&] { progress_at_completion = static_cast<int>(events->progress.size()); };
  EXPECT_EQ(f.ctrl->BuildDVDImage(), VARIANT_TRUE);
  ASSERT_EQ(events->progress.size(), 3u);
  // The fake reports overall 33.3, 66.7, 100 with steps 50, 100, 50.
  EXPECT_DOUBLE_EQ(events->progress[0].first, 50.0);
  EXPECT_NEAR(events->progress[0].second, 33.33, 0.01);
  EXPECT_DOUBLE_EQ(events->progress[1].first, 100.0);
  EXPECT_DOUBLE_EQ(events->progress[2].second, 100.0);
  EXPECT_EQ(events->completed, 1);
  EXPECT_EQ(progress_at_completion, 3) << "OnCompleted comes after the progress";
}

TEST(QuillonBuildTest, AFailedBuildReturnsFalseWithoutCompletion) {
  FakeControl f = Ready();
  f.engine->build_status = -4007;
  auto events = Listen(*f.ctrl);
  EXPECT_EQ(f.ctrl->BuildDVDImage(), VARIANT_FALSE);
  EXPECT_EQ(events->completed, 0);
  EXPECT_FALSE(events->progress.empty());
}

TEST(QuillonOutputDirTest, TheTextPutIsKeptAndARefusalIsReportedAndFailsTheBuild) {
  FakeControl f = Ready();
  FakeControl fresh;
  EXPECT_EQ(fresh.ctrl->GetOutputDir(), "");
  EXPECT_FALSE(fresh.ctrl->IsModified());
  EXPECT_EQ(fresh.ctrl->SetOutputDir("/out"), platform::S_OK);
  EXPECT_TRUE(fresh.ctrl->IsModified());

  EXPECT_EQ(f.ctrl->SetOutputDir("/x/missing"), QUILLON_E_ENGINE_REFUSED);
  EXPECT_EQ(f.ctrl->GetOutputDir(), "/x/missing");
  EXPECT_EQ(f.engine->output_dir, "") << "a refused folder leaves none set";
  auto events = Listen(*f.ctrl);
  EXPECT_EQ(f.ctrl->BuildDVDImage(), VARIANT_FALSE) << "the engine fails with -2022";
  EXPECT_EQ(events->completed, 0);
}

TEST(QuillonAutoNextTest, TheEngineReceivesOneOrZeroWhateverTheStoredBoolean) {
  FakeControl f = Ready();
  EXPECT_EQ(f.ctrl->GetEnableAutoNextTitle(), 1) << "a new control";
  ASSERT_EQ(f.ctrl->BuildDVDImage(), VARIANT_TRUE);
  ASSERT_EQ(f.ctrl->SetEnableAutoNextTitle(VARIANT_TRUE), platform::S_OK);
  EXPECT_EQ(f.ctrl->GetEnableAutoNextTitle(), -1);
  ASSERT_EQ(f.ctrl->BuildDVDImage(), VARIANT_TRUE);
  ASSERT_EQ(f.ctrl->SetEnableAutoNextTitle(VARIANT_FALSE), platform::S_OK);
  ASSERT_EQ(f.ctrl->BuildDVDImage(), VARIANT_TRUE);
  EXPECT_EQ(f.engine->auto_next_sent, (std::vector<int>{1, 1, 0}));
}

TEST(QuillonAutoNextTest, ClearAllKeepsTheControlsOwnSettingsAndTheNextBuildResendsThem) {
  FakeControl f = Ready();
  ASSERT_EQ(f.ctrl->SetEnableAutoNextTitle(VARIANT_FALSE), platform::S_OK);
  ASSERT_EQ(f.ctrl->SetMainMenuButtonColor(2, 13, 5, 13, 7, 13), VARIANT_TRUE);
  const ButtonSchemes schemes = f.ctrl->cached_schemes();
  f.ctrl->ClearAll();
  EXPECT_EQ(f.engine->init_calls, 1);
  EXPECT_EQ(f.ctrl->GetTitleCount(), 0);
  EXPECT_EQ(f.ctrl->GetEnableAutoNextTitle(), VARIANT_FALSE);
  EXPECT_EQ(f.ctrl->GetOutputDir(), "/out");
  EXPECT_EQ(f.ctrl->cached_schemes(), schemes);
  ASSERT_EQ(f.ctrl->AddTitle("a.mpg"), VARIANT_TRUE);
  ASSERT_EQ(f.ctrl->SetOutputDir("/out"), platform::S_OK);
  ASSERT_EQ(f.ctrl->BuildDVDImage(), VARIANT_TRUE);
  EXPECT_EQ(f.engine->auto_next_sent.back(), 0);
}

TEST(QuillonAutoNextTest, OnlyDesignModeNotifiesTheBoundPropertyChange) {
  FakeControl f;
  RecordingSite site;
  f.ctrl->SetSite(&site);
  ASSERT_EQ(f.ctrl->SetEnableAutoNextTitle(VARIANT_FALSE), platform::S_OK);
  EXPECT_TRUE(site.changed.empty());
  f.ctrl->SetDesignMode(true);
  ASSERT_EQ(f.ctrl->SetEnableAutoNextTitle(VARIANT_TRUE), platform::S_OK);
  EXPECT_EQ(site.changed, (std::vector<int>{dispid::kEnableAutoNextTitle}));
  EXPECT_TRUE(f.ctrl->IsModified());
}

TEST(QuillonEventsTest, OnlySinksOfTheEventInterfaceCanConnect) {
  FakeControl f;
  class Foreign : public platform::EventSink {
   public:
    bool SupportsInterface(const platform::Guid&) const override { return false; }
    void OnEvent(platform::DispId, std::span<const platform::Variant>) override {}
  };
  platform::Cookie cookie = 0;
  EXPECT_EQ(f.ctrl->events().Advise(std::make_shared<Foreign>(), &cookie), platform::CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(f.ctrl->FindConnectionPoint(IID_DQuillonEvents), &f.ctrl->events());
  EXPECT_EQ(f.ctrl->FindConnectionPoint(IID_DQuillon), nullptr);
}

TEST(QuillonBuildTextTest, OnlyABuildTheEngineFailedLeavesItsStatusText) {
  FakeControl f;
  ASSERT_EQ(f.ctrl->AddTitle("a.mpg"), platform::VARIANT_TRUE);
  EXPECT_EQ(f.ctrl->BuildDVDImage(), platform::VARIANT_FALSE) << "no output folder";
  EXPECT_EQ(f.ctrl->LastBuildStatusText(), "Error code = -2022\nfake text");
  ASSERT_EQ(f.ctrl->SetOutputDir("/out"), platform::S_OK);
  EXPECT_EQ(f.ctrl->BuildDVDImage(), platform::VARIANT_TRUE);
  EXPECT_EQ(f.ctrl->LastBuildStatusText(), "");
  f.ctrl->ClearAll();
  EXPECT_EQ(f.ctrl->BuildDVDImage(), platform::VARIANT_FALSE) << "no title: the engine is not asked";
  EXPECT_EQ(f.ctrl->LastBuildStatusText(), "");
}

}  // namespace
}  // namespace quillon
