// The output step's drive frame in the real window, over the real disc engine
// and emulated DVD writers, and over a fake drive the user may not open.
#include <gtest/gtest.h>

#include <grp.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <fstream>

#include "form_testutil.h"
#include "platform/emulated_drive.h"
#include "platform/mmc.h"
#include "platform/text.h"
#include "vantora/cindral_form.h"
#include "vantora/zephrel_disc_burner.h"

namespace vantora {
namespace {

namespace fs = std::filesystem;

class DiscStatusFormTest : public ::testing::Test, protected testing::WizardFakes {
 protected:
  void SetUp() override {
    testing::App();
    std::ofstream(ConfigFile(temp.path())) << "[LAUNCH]\nVALUE=True\n[menuDVD]\nmenu=False\n";
  }
  void TearDown() override {
    form.reset();
    ::unsetenv("ZEPHREL_DRIVES");
  }
  // An emulated writer holding medium, named by ZEPHREL_DRIVES.
  // An emulated writer holding medium, or empty without one.
  void EmulatedDrive(const platform::MediumSpec* medium) {
    std::string error;
    drive_folder = temp / "drive é";
    ASSERT_TRUE(platform::EmulatedDrive::Create(drive_folder, testing::AcmeWriter(), medium, &error))
        << error;
    ::setenv("ZEPHREL_DRIVES", ("emu:" + platform::PathToUtf8(drive_folder)).c_str(), 1);
  }
  void Open(DiscBurnerFactory make_burner) {
    FormServices services = testing::FormServicesOver(*this, temp.path());
    services.make_burner = std::move(make_burner);
    services.device_access = device_access;
    form = std::make_unique<CindralForm>(std::move(services));
    form->show();
  }
  // The output step with the burn option clicked.
  void ReachBurnOption() {
    form->controller().AddVideo(temp / "movie.mpg");
    for (int i = 0; i < 3; ++i) QTest::mouseClick(Find<QPushButton>("NextButton"), Qt::LeftButton);
    ASSERT_EQ(form->controller().CurrentStep, 3);
    auto* option1 = Find<QRadioButton>("Option1");
    testing::Choose(option1);
    ASSERT_TRUE(option1->isChecked());
  }
  template <typename T>
  T* Find(const char* name) {
    return testing::FindChild<T>(*form, name);
  }
  std::string Status() { return Find<QLabel>("Label19")->text().toStdString(); }
  bool Label20Shown() { return !Find<QLabel>("Label20")->isHidden(); }
  bool StartEnabled() { return Find<QPushButton>("NextButton")->isEnabled(); }
  void Screenshot(const std::string& name) {
    QApplication::processEvents();
    EXPECT_TRUE(testing::SaveScreenshot(*form, name));
  }

  testing::TempFolder temp;
  fs::path drive_folder;
  std::function<int(const std::string&)> device_access;
  std::unique_ptr<CindralForm> form;
};

TEST_F(DiscStatusFormTest, AnEmptyDvdPlusRInAnEmulatedWriterIsShownWithItsSpeedsAndFreeSpace) {
  platform::MediumSpec medium;
  medium.profile = platform::kProfileDvdPlusR;
  EmulatedDrive(&medium);
  Open([] { return CreateZephrelDiscBurner(); });
  ASSERT_EQ(Find<QComboBox>("ImageCombo1")->currentText(), "[1:0:0] ACME DVDRW X1 (1.02)");
  ReachBurnOption();
  EXPECT_FALSE(StartEnabled()) << "until the disc status finds a usable disc";
  ASSERT_TRUE(QTest::qWaitFor([&] { return Status() != "No Media (0 MB available)"; }, 20000)) << Status();
  EXPECT_EQ(Status(), "DVD+R - Empty Disc (4482.625 MB)");
  EXPECT_FALSE(Label20Shown());
  EXPECT_TRUE(StartEnabled());
  EXPECT_EQ(Find<QPushButton>("NextButton")->text(), "Start >");
  auto* speeds = Find<QComboBox>("Combo1");
  ASSERT_GT(speeds->count(), 0);
  EXPECT_EQ(speeds->currentIndex(), 0);
  EXPECT_TRUE(speeds->itemText(0).endsWith(" x")) << speeds->itemText(0).toStdString();
  // A DVD+R records no test write: the switch is off, and says why.
  auto* simulation = Find<QCheckBox>("CheckSimulation");
  EXPECT_EQ(simulation->text(), "Simulation");
  EXPECT_FALSE(simulation->isEnabled());
  EXPECT_FALSE(simulation->isChecked());
  EXPECT_EQ(simulation->toolTip().toStdString(), SimulationRefusal("DVD+R"));
  Screenshot("step3_output_emulated_dvd_plus_r");

  // Shown again for the same disc, the status costs the drive a few commands:
  // the speeds were probed once for this disc. (The listener is stopped so
  // that its polls are not counted.)
  form->controller().burner()->Burner_StopListenDrive();
  const fs::path trace = temp / "commands é.log";
  ::setenv("ZEPHREL_SCSI_LOG", platform::PathToUtf8(trace).c_str(), 1);
  form->controller().RefreshDiscStatus(false);
  ::unsetenv("ZEPHREL_SCSI_LOG");
  std::ifstream commands(trace);
  int sent = 0;
  for (std::string line; std::getline(commands, line);) ++sent;
  EXPECT_GT(sent, 0);
  EXPECT_LE(sent, 12);
  EXPECT_EQ(Status(), "DVD+R - Empty Disc (4482.625 MB)");
  EXPECT_EQ(speeds->count(), 3);
}

TEST_F(DiscStatusFormTest, AnEmulatedWriterWithoutAMediumOffersNoSpeed) {
  EmulatedDrive(nullptr);
  Open([] { return CreateZephrelDiscBurner(); });
  ReachBurnOption();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Status() != "No Media (0 MB available)"; }, 20000)) << Status();
  EXPECT_EQ(Status(), "No Media");
  EXPECT_EQ(Find<QComboBox>("Combo1")->count(), 0) << Find<QComboBox>("Combo1")->itemText(0).toStdString();
  EXPECT_FALSE(StartEnabled());
  Screenshot("step3_output_no_medium");
}

TEST_F(DiscStatusFormTest, AFullDvdMinusRwIsErasedBehindTheEraseFormAndThenShownEmpty) {
  // A closed DVD-RW holding one session of data.
  const fs::path content = temp / "content.bin";
  std::ofstream(content, std::ios::binary) << std::string(2048 * 32, 'x');
  platform::MediumSpec medium;
  medium.profile = platform::kProfileDvdRwSequential;
  medium.content = content;
  EmulatedDrive(&medium);
  dialogs.yes = true;
  Open([] { return CreateZephrelDiscBurner(); });
  bool form_seen = false;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    if (QDialog* erase = form->EraseForm()) {
      form_seen = true;
      EXPECT_EQ(erase->windowTitle(), "Erasing disk");
      auto* text = erase->findChild<QLabel*>("Label1");
      ASSERT_NE(text, nullptr);
      EXPECT_EQ(text->text(), "Erasing disk. Please wait...");
    }
  });
  watcher.start(1);
  ReachBurnOption();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Status().rfind("DVD-RW - Empty Disc (", 0) == 0; }, 20000))
      << Status();
  watcher.stop();
  ASSERT_FALSE(dialogs.questions.empty());
  EXPECT_EQ(dialogs.questions[0].text, "This disk is no more writable. Do you want to erase this disk?");
  EXPECT_EQ(form->EraseForm(), nullptr);
  EXPECT_FALSE(Label20Shown());
  EXPECT_TRUE(StartEnabled());
  EXPECT_TRUE(Find<QCheckBox>("CheckSimulation")->isEnabled()) << "a sequential DVD-RW records a test write";
  EXPECT_TRUE(Find<QCheckBox>("CheckSimulation")->toolTip().isEmpty());
  (void)form_seen;  // an erase quicker than the first look leaves no trace
}

TEST_F(DiscStatusFormTest, ADriveTheUserMayNotOpenShowsThePermissionTextInsteadOfAMediumState) {
  testing::FakeDiscBurner::Log& log = burner_log;
  const fs::path device = temp / "sr0";
  std::ofstream(device) << "";
  log.device_paths[0] = platform::PathToUtf8(device);
  log.media[0].type = 11;
  log.media[0].name = "DVD+R";
  log.media[0].empty = 1;
  log.media[0].total = 4482.623f;
  device_access = [](const std::string&) { return EACCES; };  // as for a user outside the group, even as root
  Open(FakeBurners());
  ReachBurnOption();
  ASSERT_NE(log.media_events, nullptr);
  log.media_events->BurnerOnMediaChange();
  QApplication::processEvents();
  const struct group* g = getgrgid(getegid());
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(Status(), "You may not use this drive: you are not in the group \"" + std::string(g->gr_name) +
                          "\" that owns " + platform::PathToUtf8(device) +
                          ". Ask to be added to that group, then log in again.");
  EXPECT_TRUE(Label20Shown());
  EXPECT_FALSE(StartEnabled());
  Screenshot("step3_output_permission_denied");
}

TEST_F(DiscStatusFormTest, WithoutADriveTheBurnOptionKeepsItsExactCaptionAndIsDisabled) {
  ::setenv("ZEPHREL_DRIVES", ("emu:" + platform::PathToUtf8(temp / "no drive here")).c_str(), 1);
  Open([] { return CreateZephrelDiscBurner(); });
  auto* option1 = Find<QRadioButton>("Option1");
  EXPECT_EQ(option1->text(), "Burn the project on DVD (No compatible drive was found!)");
  EXPECT_FALSE(option1->isEnabled());
  EXPECT_TRUE(Find<QRadioButton>("Option2")->isChecked());
  EXPECT_FALSE(Find<QComboBox>("ImageCombo1")->isEnabled());
}

}  // namespace
}  // namespace vantora
