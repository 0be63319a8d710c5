#include "vantora/cindral_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <fstream>
#include <thread>

#include "form_testutil.h"
#include "platform/fileio.h"

// Font and desktop-bus libraries keep caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libdbus-1.so\n"; }

namespace vantora {
namespace {

namespace fs = std::filesystem;

using testing::Choose;

class CindralFormTest : public ::testing::Test, protected testing::WizardFakes {
 protected:
  void SetUp() override {
    testing::App();
    platform::FileError error;
    auto temp = platform::TemporaryFolder::Create("vantora_form", &error);
    ASSERT_TRUE(temp.has_value());
    folder.emplace(std::move(*temp));
    home = folder->path();
  }
  void Start(std::string config = "[LAUNCH]\nVALUE=True\n[menuDVD]\nmenu=False\n",
             std::vector<testing::FakeDrive> drives = {{1, 0, 0, "ACME", "DVDRW X1", "1.02"}}) {
    std::ofstream(ConfigFile(home)) << config;
    FormServices services = testing::FormServicesOver(*this, home);
    services.make_burner = FakeBurners(std::move(drives));
    services.end_program = [this] { ++ended; };
    form = std::make_unique<CindralForm>(std::move(services));
    form->show();
  }
  void TearDown() override { form.reset(); }

  template <typename T>
  T* Find(const char* name) {
    return testing::FindChild<T>(*form, name);
  }
  QPushButton* Next() { return Find<QPushButton>("NextButton"); }
  QPushButton* Previous() { return Find<QPushButton>("PreviousButton"); }
  QPushButton* Quit() { return Find<QPushButton>("QuitButton"); }

  struct Look {
    int step;
    const char* detail;
    const char* next;
    bool next_visible, next_enabled, previous_visible, previous_enabled;
    const char* quit;
  };
  void ExpectLook(const Look& look) {
    SCOPED_TRACE("step " + std::to_string(look.step));
    auto* frames = Find<QStackedWidget>("FrameStep");
    EXPECT_EQ(frames->currentIndex(), look.step);
    for (int i = 0; i < 6; ++i) {
      auto* page = Find<QWidget>(("FrameStep" + std::to_string(i)).c_str());
      EXPECT_EQ(page->isVisible(), i == look.step) << "page " << i;
    }
    EXPECT_EQ(Find<QLabel>("LabelStep")->text().toStdString(), "Step " + std::to_string(look.step + 1));
    EXPECT_EQ(Find<QLabel>("LabelDetailStep")->text().toStdString(), look.detail);
    EXPECT_EQ(Next()->text().toStdString(), look.next);
    EXPECT_EQ(Next()->isVisible(), look.next_visible);
    EXPECT_EQ(Next()->isEnabled(), look.next_enabled);
    EXPECT_EQ(Previous()->text().toStdString(), "< Previous");
    EXPECT_EQ(Previous()->isVisible(), look.previous_visible);
    EXPECT_EQ(Previous()->isEnabled(), look.previous_enabled);
    EXPECT_EQ(Quit()->text().toStdString(), look.quit);
    EXPECT_EQ(form->controller().CurrentStep, look.step);
  }
  void Screenshot(const std::string& name) { EXPECT_TRUE(testing::SaveScreenshot(*form, name)); }

  std::optional<platform::TemporaryFolder> folder;
  fs::path home;
  int ended = 0;
  std::unique_ptr<CindralForm> form;
};

TEST_F(CindralFormTest, TheWizardWalksFromStepZeroToThreeAndBackWithTheCaptionsOfEachStep) {
  Start();
  const Look step0{0, "DVD Video Project information", "Next >", true, true, true, false, "Quit"};
  const Look step1{
      1, "Select the movies you want to add to your DVD Video", "Next >", true, true, true, true, "Quit"};
  const Look step2{2, "DVD Menu Configuration", "Next >", true, true, true, true, "Quit"};
  const Look step3{3, "Output parameters", "Start >", true, true, true, true, "Quit"};
  ExpectLook(step0);
  EXPECT_EQ(Find<QLineEdit>("Text1")->text(), "New DVD");
  EXPECT_TRUE(Find<QRadioButton>("OptionNTSC")->isChecked());
  EXPECT_TRUE(Find<QRadioButton>("Option43")->isChecked());
  EXPECT_EQ(Find<QLineEdit>("TextBitrate")->text(), "4500");
  EXPECT_EQ(Find<QLineEdit>("TextPath")->toolTip(), "Directory where will be created all temporary files");
  EXPECT_EQ(Find<QLabel>("StatusBar1Panel2")->text(), "Version 1.0.0");

  QTest::mouseClick(Next(), Qt::LeftButton);
  ExpectLook(step1);
  form->controller().AddVideo(home / "movie.mpg");
  ASSERT_EQ(Find<QTreeWidget>("ListViewChapters")->topLevelItemCount(), 1);

  QTest::mouseClick(Next(), Qt::LeftButton);
  ExpectLook(step2);
  EXPECT_EQ(Find<QComboBox>("Combo2")->currentText(), "DVD Without Menu");
  EXPECT_FALSE(Find<QWidget>("Picture7")->isVisible());
  EXPECT_EQ(Find<QListWidget>("List1")->count(), 1);
  EXPECT_EQ(Find<QLineEdit>("TextTitleDVD")->text(), "New DVD");

  QTest::mouseClick(Next(), Qt::LeftButton);
  ExpectLook(step3);
  EXPECT_TRUE(clip_maker.calls.empty());
  EXPECT_FALSE(fs::exists(home / "menutemp.bmp"));
  EXPECT_EQ(Find<QRadioButton>("Option3")->text(), "Only create IFO, VOB files ");
  EXPECT_TRUE(Find<QRadioButton>("Option2")->isChecked());
  EXPECT_TRUE(Find<QWidget>("FrameOutputDir")->isVisible());
  EXPECT_FALSE(Find<QWidget>("FrameBurner")->isVisible());
  EXPECT_EQ(Find<QComboBox>("ImageCombo1")->currentText(), "[1:0:0] ACME DVDRW X1 (1.02)");
  EXPECT_EQ(burner_log.listened, std::vector<int>{0});

  // Choosing the burn option shows the drive frame and waits for a disc.
  Choose(Find<QRadioButton>("Option1"));
  EXPECT_TRUE(Find<QWidget>("FrameBurner")->isVisible());
  EXPECT_FALSE(Next()->isEnabled());
  Choose(Find<QRadioButton>("Option3"));
  EXPECT_TRUE(Next()->isEnabled());

  for (const Look& look : {step2, step1, step0}) {
    QTest::mouseClick(Previous(), Qt::LeftButton);
    ExpectLook(look);
  }
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(CindralFormTest, TheWizardStartsAndWalksToStepOneWithNonAsciiHomeAndTemporaryFolders) {
  const std::string odd = " caf\xC3\xA9 \xC3\xBC \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80";
  home = folder->path() / ("home" + odd);
  const fs::path temp = folder->path() / ("temp" + odd);
  fs::create_directories(home);
  fs::create_directories(temp);
  Start("[LAUNCH]\nVALUE=True\n[menuDVD]\nmenu=False\n[tempPath]\nvalue=" + temp.native() + "\n");
  ExpectLook({0, "DVD Video Project information", "Next >", true, true, true, false, "Quit"});
  EXPECT_EQ(Find<QLineEdit>("TextPath")->text().toStdString(), temp.native());

  QTest::mouseClick(Next(), Qt::LeftButton);
  ExpectLook(
      {1, "Select the movies you want to add to your DVD Video", "Next >", true, true, true, true, "Quit"});
  EXPECT_EQ(form->controller().TempFolder, temp);
  form->controller().AddVideo(home / ("movie" + odd + ".mpg"));
  ASSERT_EQ(Find<QTreeWidget>("ListViewChapters")->topLevelItemCount(), 1);
  Screenshot("step1_non_ascii_folders");
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(CindralFormTest, AMissingTemporaryFolderIsMadeUnderANonAsciiHomeFolderAtStepOne) {
  const std::string odd = " caf\xC3\xA9 \xC3\xBC \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80";
  home = folder->path() / ("home" + odd);
  fs::create_directories(home);
  Start("[LAUNCH]\nVALUE=True\n[tempPath]\nvalue=" + (folder->path() / ("gone" + odd)).native() + "\n");
  QTest::mouseClick(Next(), Qt::LeftButton);
  EXPECT_EQ(form->controller().CurrentStep, 1);
  EXPECT_EQ(form->controller().TempFolder, home / "projects");
  EXPECT_TRUE(fs::is_directory(home / "projects"));
  EXPECT_EQ(Find<QLineEdit>("TextPath")->text().toStdString(), (home / "projects").native());
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(CindralFormTest, TheStepsOfTheJobsHideNextAndPreviousAndOfferCancel) {
  Start();
  form->controller().ShowStep(4);
  ExpectLook({4, "Files conversion", "Next >", false, true, false, true, "Cancel"});
  form->controller().ShowStep(5);
  ExpectLook({5, "DVD Video Compilation", "Next >", false, false, false, true, "Cancel"});
}

TEST_F(CindralFormTest, AnEmptyVideoListShowsItsMessageAndKeepsStepOne) {
  Start();
  QTest::mouseClick(Next(), Qt::LeftButton);
  QTest::mouseClick(Next(), Qt::LeftButton);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "You must insert at least 1 video file into your project");
  EXPECT_EQ(dialogs.messages[0].title, "Vantora");
  EXPECT_EQ(form->controller().CurrentStep, 1);
  EXPECT_TRUE(Find<QWidget>("FrameStep1")->isVisible());
}

TEST_F(CindralFormTest, PreviousWithConvertedRowsAsksBeforeGoingBack) {
  Start();
  QTest::mouseClick(Next(), Qt::LeftButton);
  form->controller().AddVideo(home / "movie.mpg");
  form->controller().screen().rows[0].converted = home / "projects" / "1 - movie.mpg";
  dialogs.yes = false;
  QTest::mouseClick(Previous(), Qt::LeftButton);
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(form->controller().CurrentStep, 1);
  dialogs.yes = true;
  QTest::mouseClick(Previous(), Qt::LeftButton);
  EXPECT_EQ(form->controller().CurrentStep, 0);
}

TEST_F(CindralFormTest, ClosingWhileBusyIsRefusedWithItsMessage) {
  Start();
  form->controller().Busy = true;
  EXPECT_FALSE(form->close());
  EXPECT_TRUE(form->isVisible());
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "You must cancel the current process to close this window");
  EXPECT_EQ(ended, 0);
  form->controller().EndJob(false);
  EXPECT_TRUE(form->close());
  EXPECT_EQ(ended, 1);
}

TEST_F(CindralFormTest, QuitAtStepZeroSavesWhatTheUserTypedAndEndsTheProgram) {
  Start();
  auto* label = Find<QLineEdit>("Text1");
  label->selectAll();
  QTest::keyClicks(label, "Holiday");
  Choose(Find<QRadioButton>("OptionPAL"));
  Choose(Find<QRadioButton>("Option169"));
  QTest::mouseClick(Quit(), Qt::LeftButton);
  EXPECT_EQ(ended, 1);
  const WizardSettings saved = LoadSettings(ConfigFile(home), FoldersIn(home));
  EXPECT_EQ(saved.label, "Holiday");
  EXPECT_FALSE(saved.ntsc);
  EXPECT_FALSE(saved.aspect_4x3);
  EXPECT_EQ(burner_log.calls.back(), "UnloadCom");
}

TEST_F(CindralFormTest, LabelsThatCannotNameAFolderAreRefusedAtStepZero) {
  Start();
  auto* label = Find<QLineEdit>("Text1");
  for (const char* text : {"", "..", "a/b"}) {
    label->selectAll();
    QTest::keyClick(label, Qt::Key_Delete);
    QTest::keyClicks(label, text);
    QTest::mouseClick(Next(), Qt::LeftButton);
    EXPECT_EQ(form->controller().CurrentStep, 0) << text;
  }
  EXPECT_EQ(dialogs.messages.size(), 3u);
}

TEST_F(CindralFormTest, WithNoDriveTheIsoOptionIsChosenAndTheBurnOptionIsDisabled) {
  Start("[LAUNCH]\nVALUE=True\n[menuDVD]\nmenu=False\n", {});
  auto* option1 = Find<QRadioButton>("Option1");
  EXPECT_FALSE(option1->isEnabled());
  EXPECT_EQ(option1->text(), "Burn the project on DVD (No compatible drive was found!)");
  EXPECT_TRUE(Find<QRadioButton>("Option2")->isChecked());
  EXPECT_FALSE(Find<QComboBox>("ImageCombo1")->isEnabled());
  form->controller().AddVideo(home / "movie.mpg");
  for (int i = 0; i < 3; ++i) QTest::mouseClick(Next(), Qt::LeftButton);
  EXPECT_EQ(form->controller().CurrentStep, 3);
  EXPECT_TRUE(burner_log.listened.empty());
  EXPECT_TRUE(burner_log.dispatcher_set);
}

TEST_F(CindralFormTest, TheJobLogShowsItsRowsNewestLast) {
  Start();
  JobLog& log = form->controller().job_log();
  log.AddRow("FileSystem analysing (Step 1 / 10)", "FILESYSTEM", LogIcon::kStep);
  log.AddProgressLine("Writing started !");
  clock.time = "14:03:09";
  log.UpdateProgressLine("FileSystem analysing (Step 10 / 10)", "FILESYSTEM");
  auto* view = Find<QTreeWidget>("ListViewProgress");
  ASSERT_EQ(view->topLevelItemCount(), 2);
  EXPECT_EQ(view->topLevelItem(0)->text(0), "14:03:09 - FileSystem analysing (Step 10 / 10)");
  EXPECT_EQ(view->topLevelItem(1)->text(0), "14:03:07 - Writing started !");
  log.Clear();
  EXPECT_EQ(view->topLevelItemCount(), 0);
}

TEST_F(CindralFormTest, EachStepIsPicturedForAPersonToLookAt) {
  Start("[LAUNCH]\nVALUE=True\n");
  form->controller().AddVideo(home / "first movie.mpg");
  form->controller().AddVideo(home / "second movie.mpg");
  for (int step = 0; step <= 5; ++step) {
    form->controller().ShowStep(step);
    if (step == 5) form->controller().job_log().AddProgressLine("Writing started !");
    Screenshot("step" + std::to_string(step));
  }
}

TEST_F(CindralFormTest, EngineEventsRunOnTheUiThreadWhileTheRaisingThreadWaits) {
  Start();
  UiEventDispatcher& dispatcher = form->dispatcher();
  QThread* ui = QThread::currentThread();
  std::atomic<bool> first_on_ui{false}, second_on_ui{false}, second_seen_in_modal{false};
  std::atomic<int> done{0};
  QEventLoop loop;
  auto finished = [&] {
    if (++done == 2) QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  };
  QDialog modal;
  std::thread second;
  std::thread first([&] {
    dispatcher.Dispatch(kEventBurnerOnEraseComplete - 1, platform::Delivery::kBlocking, [&] {
      first_on_ui = QThread::currentThread() == ui;
      // A modal dialog inside the handler; a second thread's event must still
      // arrive while it is shown.
      second = std::thread([&] {
        dispatcher.Dispatch(kEventBurnerOnEraseComplete, platform::Delivery::kBlocking, [&] {
          second_on_ui = QThread::currentThread() == ui;
          second_seen_in_modal = modal.isVisible();
          modal.accept();
        });
        finished();
      });
      modal.exec();
    });
    finished();
  });
  loop.exec();
  first.join();
  second.join();
  EXPECT_TRUE(first_on_ui);
  EXPECT_TRUE(second_on_ui);
  EXPECT_TRUE(second_seen_in_modal);
}

TEST_F(CindralFormTest, TheSimulationSwitchAndTheSpeedEntryReachWhatTheBurnIsGiven) {
  Start();
  form->controller().ShowStep(3);
  form->controller().UpdateOutputFrames(kOutputBurn);
  auto* simulation = Find<QCheckBox>("CheckSimulation");
  QTest::mouseClick(simulation, Qt::LeftButton, {}, QPoint(6, simulation->height() / 2));
  EXPECT_TRUE(form->controller().screen().simulation);
  auto* speeds = Find<QComboBox>("Combo1");
  speeds->addItems({"4x", "8x", "16x"});
  speeds->setCurrentIndex(2);
  EXPECT_EQ(form->controller().screen().speed_index, 2);
}

}  // namespace
}  // namespace vantora
