// Registration, persistence and drawing of the control.
#include "quillon/registration.h"

#include <gtest/gtest.h>

#include "quillon/identity.h"
#include "quillon/quillon_ctrl.h"
#include "quillon_testutil.h"

namespace quillon {
namespace {

using platform::ClassRegistry;
using platform::VARIANT_FALSE;
using platform::VARIANT_TRUE;
using testing::FakeControl;
using testing::RecordingSite;

TEST(QuillonRegistrationTest, RegisteringPublishesBothClassesAndTheTypeLibrary) {
  ClassRegistry reg;
  ASSERT_EQ(DllRegisterServer(reg), platform::S_OK);
  ASSERT_EQ(DllRegisterServer(reg), platform::S_OK) << "twice";
  EXPECT_TRUE(reg.HasTypeLibrary(LIBID_QuillonLib, 1, 0));
  const auto control = reg.Find(CLSID_Quillon);
  ASSERT_TRUE(control.has_value());
  EXPECT_EQ(control->prog_id, "QUILLON.QuillonCtrl.1");
  EXPECT_EQ(control->type_name, "Quillon ActiveX Control");
  EXPECT_EQ(control->misc_status, 0x20591u);
  EXPECT_EQ(control->threading_model, "Apartment");
  EXPECT_EQ(control->type_library, LIBID_QuillonLib);
  platform::Guid clsid;
  EXPECT_EQ(reg.ClassIdFromProgId("QUILLON.QuillonPropPage.1", &clsid), platform::S_OK);
  EXPECT_EQ(clsid, CLSID_QuillonPropPage);
  EXPECT_EQ(reg.Find(CLSID_QuillonPropPage)->type_name, "Quillon Property Page");

  std::unique_ptr<platform::Dispatchable> page;
  ASSERT_EQ(reg.CreateInstance("QUILLON.QuillonPropPage.1", &page), platform::S_OK);
  auto* prop_page = dynamic_cast<CQuillonPropPage*>(page.get());
  ASSERT_NE(prop_page, nullptr);
  EXPECT_EQ(prop_page->caption(), "General");
  EXPECT_TRUE(prop_page->Members().empty());
}

TEST(QuillonRegistrationTest, UnregisteringRemovesEverythingAndASecondTimeFails) {
  ClassRegistry reg;
  ASSERT_EQ(DllRegisterServer(reg), platform::S_OK);
  EXPECT_EQ(DllUnregisterServer(reg), platform::S_OK);
  EXPECT_FALSE(reg.HasTypeLibrary(LIBID_QuillonLib, 1, 0));
  EXPECT_FALSE(reg.Find(CLSID_Quillon).has_value());
  EXPECT_FALSE(reg.Find(CLSID_QuillonPropPage).has_value());
  std::unique_ptr<platform::Dispatchable> obj;
  EXPECT_EQ(reg.CreateInstance("QUILLON.QuillonCtrl.1", &obj), platform::CO_E_CLASSSTRING);
  EXPECT_EQ(DllUnregisterServer(reg), platform::SELFREG_E_TYPELIB);

  // The type library back but a class missing: the class step fails.
  ASSERT_EQ(reg.RegisterTypeLibrary({LIBID_QuillonLib, 1, 0, ""}), platform::S_OK);
  EXPECT_EQ(DllUnregisterServer(reg), platform::SELFREG_E_CLASS);
}

TEST(QuillonPersistenceTest, EnableAutoNextTitleIsTheOnlyPersistedPropertyWithDefaultTrue) {
  FakeControl saved;
  ASSERT_EQ(saved.ctrl->SetEnableAutoNextTitle(VARIANT_FALSE), platform::S_OK);
  ASSERT_EQ(saved.ctrl->SetOutputDir("/out"), platform::S_OK);
  PropertyBag bag;
  saved.ctrl->SaveState(bag);
  EXPECT_EQ(bag.Read(PropertyBag::kVersionKey), platform::Variant(0x00010000));
  EXPECT_EQ(bag.size(), 2u) << "the output folder is not persisted";

  FakeControl loaded;
  loaded.ctrl->LoadState(bag);
  EXPECT_EQ(loaded.ctrl->GetEnableAutoNextTitle(), VARIANT_FALSE);
  EXPECT_EQ(loaded.ctrl->GetOutputDir(), "");

  FakeControl from_empty;
  ASSERT_EQ(from_empty.ctrl->SetEnableAutoNextTitle(VARIANT_FALSE), platform::S_OK);
  from_empty.ctrl->LoadState(PropertyBag());
  EXPECT_EQ(from_empty.ctrl->GetEnableAutoNextTitle(), VARIANT_TRUE);

  PropertyBag odd;
  odd.Write("EnableAutoNextTitle", platform::Variant("not a boolean"));
  from_empty.ctrl->LoadState(odd);
  EXPECT_EQ(from_empty.ctrl->GetEnableAutoNextTitle(), VARIANT_TRUE);
}

class RecordingPainter : public Painter {
 public:
  void FillRect(const Rect& r, Colour c) override {
    log.push_back("fill " + Str(r) + " " + std::to_string(c));
  }
  void SetTransparentTextBackground() override { log.push_back("transparent"); }
  void SetTextColour(Colour c) override { log.push_back("text colour " + std::to_string(c)); }
  void DrawCentredLine(std::string_view text, const Rect& r) override {
    log.push_back("centred " + std::string(text) + " " + Str(r));
  }
  static std::string Str(const Rect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
  }
  std::vector<std::string> log;
};

TEST(QuillonPersistenceTest, ResettingRestoresTheDefaultAndRedraws) {
  FakeControl f;
  RecordingSite site;
  f.ctrl->SetSite(&site);
  ASSERT_EQ(f.ctrl->SetEnableAutoNextTitle(VARIANT_FALSE), platform::S_OK);
  f.ctrl->ResetState();
  EXPECT_EQ(f.ctrl->GetEnableAutoNextTitle(), VARIANT_TRUE);
  EXPECT_EQ(site.invalidated, 1);
}

TEST(QuillonDrawingTest, RunModeShrinksTheWindowToOnePixelAndDrawsNothing) {
  FakeControl f;
  RecordingSite site;
  RecordingPainter painter;
  f.ctrl->SetSite(&site);
  f.ctrl->OnDraw(&painter, Rect{0, 0, 320, 240});
  EXPECT_TRUE(painter.log.empty());
  EXPECT_EQ(site.resized, (std::vector<std::pair<int, int>>{{1, 1}}));
}

TEST(QuillonDrawingTest, DesignModeDrawsTheRedNameCentredOnBlack) {
  FakeControl f;
  RecordingSite site;
  RecordingPainter painter;
  f.ctrl->SetSite(&site);
  f.ctrl->SetDesignMode(true);
  f.ctrl->OnDraw(&painter, Rect{10, 20, 330, 260});
  EXPECT_EQ(painter.log, (std::vector<std::string>{"fill 10,20,330,260 0", "transparent", "text colour 255",
                                                   "centred Quillon ActiveX Control 10,20,330,260"}));
  EXPECT_TRUE(site.resized.empty());
  f.ctrl->OnDraw(nullptr, Rect{0, 0, 1, 1});  // no device context: nothing, no crash
}

}  // namespace
}  // namespace quillon
