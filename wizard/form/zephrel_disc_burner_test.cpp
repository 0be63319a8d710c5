// The main window over the real disc engine with an emulated drive.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <fstream>

#include "../core/core_testutil.h"
#include "../core/wizard_fakes.h"
#include "platform/emulated_drive.h"
#include "vantora/cindral_form.h"
#include "vantora/zephrel_disc_burner.h"

namespace vantora {
namespace {

namespace fs = std::filesystem;

QApplication& App() {
  static int argc = 1;
  static char arg0[] = "vantora_form_tests";
  static char* argv[] = {arg0, nullptr};
  static QApplication* app = QApplication::instance() ? static_cast<QApplication*>(QApplication::instance())
                                                      : new QApplication(argc, argv);
  return *app;
}

TEST(ZephrelDiscBurner, TheWizardListsAnEmulatedDriveAndEndsTheEngineAtQuit) {
  App();
  testing::TempFolder temp;
  platform::EmulatedIdentity identity;
  identity.vendor = "ACME";
  identity.product = "DVDRW X1";
  identity.revision = "1.02";
  identity.address = {1, 0, 0, 0};
  platform::MediumSpec medium;
  std::string error;
  ASSERT_TRUE(platform::EmulatedDrive::Create(temp / "drive", identity, &medium, &error)) << error;
  ::setenv("ZEPHREL_DRIVES", ("emu:" + (temp / "drive").string()).c_str(), 1);
  std::ofstream(ConfigFile(temp.path())) << "[LAUNCH]\nVALUE=True\n[menuDVD]\nmenu=False\n";

  testing::FakeAuthoring authoring;
  testing::FakeEncoder encoder;
  testing::FakeClipMaker clip_maker;
  testing::FakeDialogs dialogs;
  testing::RecordingShell shell;
  testing::FakeClock clock;
  int ended = 0;
  FormServices services;
  services.program_folder = temp.path();
  services.make_burner = [] { return CreateZephrelDiscBurner(); };
  services.authoring = &authoring;
  services.encoder = &encoder;
  services.clip_maker = &clip_maker;
  services.dialogs = &dialogs;
  services.shell = &shell;
  services.clock = &clock;
  services.end_program = [&] { ++ended; };
  {
    CindralForm form(std::move(services));
    auto* drives = form.findChild<QComboBox*>("ImageCombo1");
    ASSERT_NE(drives, nullptr);
    ASSERT_EQ(drives->count(), 1);
    EXPECT_EQ(drives->currentText(), "[1:0:0] ACME DVDRW X1 (1.02)");
    EXPECT_TRUE(form.findChild<QRadioButton*>("Option1")->isEnabled());
    form.controller().AddVideo(temp / "movie.mpg");
    for (int i = 0; i < 3; ++i) form.controller().NextButton_Click();
    EXPECT_EQ(form.controller().CurrentStep, 3);  // the listener runs on the drive
    form.controller().UpdateOutputFrames(kOutputBurn);
    form.controller().QuitButton_Click();
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(form.controller().burner(), nullptr);
  }
  ::unsetenv("ZEPHREL_DRIVES");
}

}  // namespace
}  // namespace vantora
