// _DQuillon reached by dispatch id, as late-bound hosts call it.
#include <gtest/gtest.h>

#include "quillon/identity.h"
#include "quillon/quillon_ctrl.h"
#include "quillon_testutil.h"

namespace quillon {
namespace {

using platform::DispatchKind;
using platform::InvokeResult;
using platform::Variant;
using platform::VarType;
using testing::FakeControl;
using testing::Listen;

InvokeResult Call(CQuillonCtrl& c, platform::DispId id, std::vector<Variant> args = {},
                  DispatchKind kind = DispatchKind::kMethod) {
  return c.Invoke(id, kind, args);
}

TEST(QuillonDispatchTest, TheTablePublishesEveryMemberWithItsIdKindAndTypes) {
  FakeControl f;
  struct Expect {
    const char* name;
    platform::DispId id;
    DispatchKind kind;
    std::size_t params;
    VarType result;
  };
  const Expect expected[] = {
      {"AboutBox", -552, DispatchKind::kMethod, 0, VarType::kEmpty},
      {"AddMainMenu", 2, DispatchKind::kMethod, 1, VarType::kBool},
      {"AddTitle", 3, DispatchKind::kMethod, 1, VarType::kBool},
      {"OutputDir", 4, DispatchKind::kPropertyGet, 0, VarType::kString},
      {"OutputDir", 4, DispatchKind::kPropertyPut, 1, VarType::kEmpty},
      {"AddMainMenuButton", 5, DispatchKind::kMethod, 5, VarType::kBool},
      {"SetMainMenuButtonColor", 6, DispatchKind::kMethod, 6, VarType::kBool},
      {"EnableAutoNextTitle", 7, DispatchKind::kPropertyGet, 0, VarType::kBool},
      {"EnableAutoNextTitle", 7, DispatchKind::kPropertyPut, 1, VarType::kEmpty},
      {"GetTitleCount", 8, DispatchKind::kMethod, 0, VarType::kI2},
      {"RemoveTitle", 9, DispatchKind::kMethod, 1, VarType::kBool},
      {"ClearAll", 10, DispatchKind::kMethod, 0, VarType::kEmpty},
      {"GetMainMenuButtonCount", 11, DispatchKind::kMethod, 0, VarType::kI2},
      {"RemoveMainMenuButton", 12, DispatchKind::kMethod, 1, VarType::kBool},
      {"BuildDVDImage", 13, DispatchKind::kMethod, 0, VarType::kBool},
  };
  const auto members = f.ctrl->Members();
  ASSERT_EQ(members.size(), std::size(expected));
  for (std::size_t i = 0; i < members.size(); ++i) {
    EXPECT_EQ(members[i].name, expected[i].name);
    EXPECT_EQ(members[i].id, expected[i].id) << expected[i].name;
    EXPECT_EQ(members[i].kind, expected[i].kind) << expected[i].name;
    EXPECT_EQ(members[i].params.size(), expected[i].params) << expected[i].name;
    EXPECT_EQ(members[i].result, expected[i].result) << expected[i].name;
  }
  EXPECT_EQ(f.ctrl->IdOfName("buildDVDimage"), 13);
  EXPECT_FALSE(f.ctrl->IdOfName("Build").has_value()) << "dispatch id 1 is not used";
  const auto events = CQuillonCtrl::EventMembers();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].name, "TotalProcessing");
  EXPECT_EQ(events[0].params.size(), 2u);
  EXPECT_EQ(events[1].id, 2);
}

TEST(QuillonDispatchTest, AHostsWholeSessionRunsThroughInvoke) {
  FakeControl f;
  auto events = Listen(*f.ctrl);
  CQuillonCtrl& c = *f.ctrl;
  ASSERT_TRUE(Call(c, dispid::kClearAll).ok());
  EXPECT_EQ(Call(c, dispid::kAddMainMenu, {Variant("menu.mpg")}).value, Variant::Bool(true));
  EXPECT_EQ(Call(c, dispid::kSetMainMenuButtonColor,
                 {Variant(2), Variant(13), Variant(5), Variant(13), Variant(7), Variant(13)})
                .value,
            Variant::Bool(true));
  // Button coordinates passed by reference, as some hosts do.
  std::int16_t left = 100, top = 120;
  std::int32_t right = 180, bottom = 200;
  for (std::int16_t title = 1; title <= 3; ++title) {
    std::vector<Variant> args{Variant::Ref(&left), Variant::Ref(&top), Variant::Ref(&right),
                              Variant::Ref(&bottom), Variant(title)};
    EXPECT_EQ(Call(c, dispid::kAddMainMenuButton, args).value, Variant::Bool(true));
    left = static_cast<std::int16_t>(left + 150);
    right += 150;
  }
  EXPECT_EQ(Call(c, dispid::kGetMainMenuButtonCount).value, Variant(std::int16_t{3}));
  ASSERT_TRUE(Call(c, dispid::kEnableAutoNextTitle, {Variant::Bool(false)}, DispatchKind::kPropertyPut).ok());
  EXPECT_EQ(Call(c, dispid::kEnableAutoNextTitle, {}, DispatchKind::kPropertyGet).value,
            Variant::Bool(false));
  ASSERT_TRUE(Call(c, dispid::kOutputDir, {Variant("/out")}, DispatchKind::kPropertyPut).ok());
  EXPECT_EQ(Call(c, dispid::kOutputDir, {}, DispatchKind::kPropertyGet).value, Variant("/out"));
  for (const char* t : {"1.mpg", "2.mpg", "3.mpg"}) {
    EXPECT_EQ(Call(c, dispid::kAddTitle, {Variant(t)}).value, Variant::Bool(true));
  }
  EXPECT_EQ(Call(c, dispid::kGetTitleCount).value, Variant(std::int16_t{3}));
  EXPECT_EQ(Call(c, dispid::kBuildDVDImage).value, Variant::Bool(true));
  EXPECT_EQ(events->completed, 1);
  EXPECT_GE(events->progress.size(), 1u);
  EXPECT_EQ(f.engine->buttons[2].left, 400);
  EXPECT_EQ(f.engine->schemes[1], 2);
  EXPECT_EQ(f.engine->auto_next_sent.back(), 0);

  EXPECT_EQ(Call(c, dispid::kRemoveTitle, {Variant(std::int16_t{3})}).value, Variant::Bool(true));
  EXPECT_EQ(Call(c, dispid::kRemoveMainMenuButton, {Variant(1)}).value, Variant::Bool(true));
  EXPECT_EQ(Call(c, dispid::kRemoveTitle, {Variant(9)}).value, Variant::Bool(false));
}

TEST(QuillonDispatchTest, WrongCountsTypesAndIdsGiveErrorsNotCalls) {
  FakeControl f;
  CQuillonCtrl& c = *f.ctrl;
  EXPECT_EQ(Call(c, 1).hr, platform::DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(c, 14).hr, platform::DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(c, dispid::kGetTitleCount, {}, DispatchKind::kPropertyGet).hr,
            platform::DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(c, dispid::kAddTitle).hr, platform::DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(c, dispid::kAddMainMenuButton, {Variant(1), Variant(2), Variant(3), Variant(4)}).hr,
            platform::DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(c, dispid::kClearAll, {Variant(1)}).hr, platform::DISP_E_BADPARAMCOUNT);
  auto r =
      Call(c, dispid::kAddMainMenuButton, {Variant(1), Variant("left"), Variant(3), Variant(4), Variant(1)});
  EXPECT_EQ(r.hr, platform::DISP_E_TYPEMISMATCH);
  EXPECT_EQ(r.bad_arg, 1);
  r = Call(c, dispid::kRemoveTitle, {Variant(70000)});
  EXPECT_EQ(r.hr, platform::DISP_E_OVERFLOW) << "an I2 argument that does not fit is not cut";
  EXPECT_EQ(Call(c, dispid::kEnableAutoNextTitle, {Variant("maybe")}, DispatchKind::kPropertyPut).hr,
            platform::DISP_E_TYPEMISMATCH);
  EXPECT_TRUE(f.engine->calls.empty());
  // Numbers convert to text, as automation converts them.
  EXPECT_EQ(Call(c, dispid::kAddTitle, {Variant(12)}).value, Variant::Bool(true));
  EXPECT_EQ(f.engine->titles.back(), "12");
}

TEST(QuillonDispatchTest, ARefusedOutputFolderIsAnErrorThroughInvoke) {
  FakeControl f;
  auto r = Call(*f.ctrl, dispid::kOutputDir, {Variant("/x/missing")}, DispatchKind::kPropertyPut);
  EXPECT_EQ(r.hr, platform::DISP_E_EXCEPTION);
  EXPECT_EQ(r.scode, QUILLON_E_ENGINE_REFUSED);
  EXPECT_FALSE(r.description.empty());
}

TEST(QuillonDispatchTest, AboutBoxShowsTheAboutTextThroughTheHost) {
  FakeControl f;
  AboutInfo shown;
  int calls = 0;
  f.ctrl->SetAboutHandler([&](const AboutInfo& info) {
    shown = info;
    calls++;
  });
  ASSERT_TRUE(Call(*f.ctrl, dispid::kAboutBox).ok());
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(shown.caption, "About Quillon Control");
  EXPECT_EQ(shown.title_line, "Quillon Control, Version 4.0");
  EXPECT_EQ(shown.button, "OK");
  FakeControl silent;
  EXPECT_TRUE(Call(*silent.ctrl, dispid::kAboutBox).ok()) << "no host dialog: nothing shown";
}

}  // namespace
}  // namespace quillon
