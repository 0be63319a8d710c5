// The main window over the real disc engine with an emulated drive.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <fstream>

#include "form_testutil.h"
#include "platform/emulated_drive.h"
#include "platform/text.h"
#include "vantora/cindral_form.h"
#include "vantora/zephrel_disc_burner.h"

namespace vantora {
namespace {

namespace fs = std::filesystem;

TEST(ZephrelDiscBurner, TheWizardListsAnEmulatedDriveAndEndsTheEngineAtQuit) {
  testing::App();
  testing::TempFolder temp;
  platform::MediumSpec medium;
  std::string error;
  ASSERT_TRUE(platform::EmulatedDrive::Create(temp / "drive", testing::AcmeWriter(), &medium, &error))
      << error;
  ::setenv("ZEPHREL_DRIVES", ("emu:" + platform::PathToUtf8(temp / "drive")).c_str(), 1);
  std::ofstream(ConfigFile(temp.path())) << "[LAUNCH]\nVALUE=True\n[menuDVD]\nmenu=False\n";

  testing::WizardFakes fakes;
  int ended = 0;
  FormServices services = testing::FormServicesOver(fakes, temp.path());
  services.make_burner = [] { return CreateZephrelDiscBurner(); };
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
