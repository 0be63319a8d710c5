// The main window's video list, menu designer, conversion labels and About
// box, offscreen with scripted dialogs and a fake prober. The screenshot test
// also runs on a virtual X display (see CMakeLists.txt).
#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDropEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include <fstream>

#include "form_testutil.h"
#include "platform/fileio.h"
#include "platform/text.h"
#include "vantora/capacity_view.h"
#include "vantora/cindral_form.h"
#include "vantora/my_progress_bar.h"

namespace vantora {
namespace {

namespace fs = std::filesystem;

// Drops data on widget as a user would: the drag enters, then is dropped.
void DropOn(QWidget* widget, QMimeData* data) {
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &enter);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &drop);
}

class VideoMenuStepsTest : public ::testing::Test, protected testing::WizardFakes {
 protected:
  static void SetUpTestSuite() {
    testing::App();
    QFontDatabase::addApplicationFont("/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf");
  }
  void SetUp() override {
    platform::FileError error;
    folder = platform::TemporaryFolder::Create("vantora_steps", &error);
    ASSERT_TRUE(folder.has_value());
    home = folder->path();
  }
  void Start(const std::string& config = "[LAUNCH]\nVALUE=True\n[menuDVD]\nmenu=True\n") {
    std::ofstream(ConfigFile(home)) << config;
    FormServices services = testing::FormServicesOver(*this, home);
    services.prober = &prober;
    form = std::make_unique<CindralForm>(std::move(services));
    form->show();
  }
  void TearDown() override { form.reset(); }
  WizardController& c() { return form->controller(); }
  template <typename T>
  T* Find(const char* name) {
    return testing::FindChild<T>(*form, name);
  }
  void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
  fs::path Video(const std::string& name, double seconds = 100) {
    std::ofstream(home / name) << "video";
    prober.media[home / name] = {seconds, true, true};
    return home / name;
  }
  // Lets the probes end and their rows arrive.
  void WaitForRows() {
    (void)QTest::qWaitFor([&] { return !c().ProbesRunning(); }, 5000);  // the assertion below says why
    ASSERT_FALSE(c().ProbesRunning());
  }
  void AddThreeVideos() {
    dialogs.files_answer = {Video("beach.avi").native(), Video("mountains é.mkv").native(),
                            Video("日本 trip.mp4").native()};
    Click("LabelAddFile");
    WaitForRows();
  }
  void Screenshot(const std::string& name) {
    QApplication::processEvents();
    EXPECT_TRUE(testing::SaveScreenshot(*form, name));
  }

  std::optional<platform::TemporaryFolder> folder;
  fs::path home;
  std::unique_ptr<CindralForm> form;
};

TEST_F(VideoMenuStepsTest, ThreeChosenFilesArriveAsRowsWhileNextAndClearWait) {
  Start();
  Click("NextButton");
  dialogs.files_answer = {Video("a.avi").native(), Video("b.avi").native(), Video("c.avi").native()};
  Click("LabelAddFile");
  // The rows come from the probes, after this handler has returned.
  if (c().ProbesRunning()) {
    EXPECT_FALSE(Find<QPushButton>("NextButton")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("Image2")->isEnabled());
  }
  WaitForRows();
  EXPECT_TRUE(Find<QPushButton>("NextButton")->isEnabled());
  EXPECT_TRUE(Find<QPushButton>("Image2")->isEnabled());
  auto* list = Find<QTreeWidget>("ListViewChapters");
  ASSERT_EQ(list->topLevelItemCount(), 3);
  EXPECT_EQ(list->topLevelItem(0)->text(0), "01 - a.avi");
  EXPECT_EQ(list->topLevelItem(2)->text(0), "03 - c.avi");
  EXPECT_EQ(list->topLevelItem(2)->text(1), "01:41");
  EXPECT_EQ(c().AddFolder, home.native());
}

TEST_F(VideoMenuStepsTest, TheEstimateShowsBesideTheListAndOnTheGauge) {
  Start();
  Click("NextButton");
  EXPECT_EQ(Find<QLabel>("Label6")->text(), "Estimated size : 0 MB");
  dialogs.files_answer = {Video("a.avi").native(), Video("b.avi").native()};
  Click("LabelAddFile");
  WaitForRows();
  EXPECT_EQ(Find<QLabel>("Label6")->text(), "Estimated size : 120.8 MB");
  EXPECT_EQ(Find<QLabel>("Label5")->text(), "03:21");
  EXPECT_EQ(Find<CapacityView>("CapacityView")->value(), 121);
  Find<QSlider>("Slider1")->setValue(9000);
  EXPECT_EQ(c().VideoBitrate, 9000);
  EXPECT_EQ(Find<QLabel>("Label6")->text().toStdString(),
            "Estimated size : " + MegabytesText((9000 / 8 + 56) * 200 / 1024.0) + " MB");
}

TEST_F(VideoMenuStepsTest, ADropOfFilesAddsThemAndOtherDataIsIgnored) {
  Start();
  Click("NextButton");
  QWidget* viewport = Find<QTreeWidget>("ListViewChapters")->viewport();
  QMimeData text;
  text.setText("/etc/passwd");
  DropOn(viewport, &text);
  QMimeData web;
  web.setUrls({QUrl("https://example.org/a.avi")});
  DropOn(viewport, &web);
  WaitForRows();
  EXPECT_TRUE(c().screen().rows.empty());
  EXPECT_TRUE(dialogs.messages.empty());
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(QString::fromStdString(Video("dropped é.avi").native()))});
  DropOn(viewport, &files);
  WaitForRows();
  ASSERT_EQ(c().screen().rows.size(), 1u) << (dialogs.messages.empty() ? "" : dialogs.messages.back().text);
  EXPECT_EQ(c().screen().rows[0].text, "01 - dropped é.avi");
}

TEST_F(VideoMenuStepsTest, TheMenuStepDrawsThePageAndTheSavedBitmapIsThePageItself) {
  Start();
  Click("NextButton");
  AddThreeVideos();
  Click("NextButton");
  ASSERT_EQ(c().CurrentStep, 2);
  EXPECT_TRUE(Find<QWidget>("Picture7")->isVisible());
  EXPECT_EQ(Find<QComboBox>("Combo2")->currentText(), "Classical Menu");
  EXPECT_EQ(form->MenuPicture().size(), QSize(720, 480));  // NTSC
  ASSERT_EQ(c().MenuButtons.size(), 3u);
  const QImage shown = form->MenuPicture();
  c().RedrawMenuPreview(true);
  ASSERT_TRUE(form->SaveMenuPicture(home / "saved.bmp"));
  const QImage saved(QString::fromStdString((home / "saved.bmp").native()));
  EXPECT_EQ(saved.size(), QSize(720, 480));
  // Only the marker squares differ between the shown page and the saved one.
  for (const MenuButtonRect& b : c().MenuButtons) {
    EXPECT_NE(shown.pixel(b.Left + 1, b.Top + 1) & 0xFFFFFF, saved.pixel(b.Left + 1, b.Top + 1) & 0xFFFFFF);
    EXPECT_EQ(shown.pixel(b.Left + 1, b.Top + 1) & 0xFFFFFF, 0xFFFFFFu);  // the normal colour, White
  }
  // Leaving the step makes the clip from that page.
  Click("NextButton");
  EXPECT_EQ(c().CurrentStep, 3);
  ASSERT_EQ(clip_maker.calls.size(), 1u);
  EXPECT_FALSE(fs::exists(home / "menutemp.bmp"));
}

TEST_F(VideoMenuStepsTest, DesignerControlsMoveTheLinesAndTheColourListsWriteTheirKeys) {
  Start();
  Click("NextButton");
  AddThreeVideos();
  Click("NextButton");
  const auto before = c().MenuButtons;
  Find<QSlider>("ChaptersTop")->setValue(200);
  ASSERT_EQ(c().MenuButtons.size(), 3u);
  EXPECT_EQ(c().MenuButtons[0].Top, 200);
  EXPECT_EQ(c().MenuButtons[1].Top - c().MenuButtons[0].Top, before[1].Top - before[0].Top);
  auto* selected = Find<QComboBox>("cboselectedbtncolor");
  EXPECT_EQ(selected->currentText(), "Red");
  selected->setCurrentIndex(7);
  Q_EMIT selected->activated(7);
  EXPECT_EQ(ReadIni(ConfigFile(home), "menuDVD", "selectedcolor"), "Blue");
  EXPECT_EQ(c().screen().button_color[1], 7);
}

TEST_F(VideoMenuStepsTest, TheAboutBoxChecksForUpdatesOnlyWithAServerAndOpensTheLinks) {
  unsetenv("VANTORA_UPDATE_HOST");
  Start();
  Click("NextButton");
  Click("Image10");
  QDialog* about = form->AboutBox();
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(about->isVisible());
  EXPECT_EQ(about->windowTitle(), "About Vantora Converter");
  EXPECT_FALSE(about->findChild<QPushButton*>("Command1")->isVisible()) << "no server, no update check";
  QTest::mouseClick(about->findChild<QPushButton*>("Command2"), Qt::LeftButton);
  setenv("VANTORA_UPDATE_HOST", "127.0.0.1:1", 1);  // a server that is not there
  Click("Image10");
  ASSERT_TRUE(about->findChild<QPushButton*>("Command1")->isVisible());
  QTest::mouseClick(about->findChild<QPushButton*>("Command1"), Qt::LeftButton);
  unsetenv("VANTORA_UPDATE_HOST");
  ASSERT_FALSE(dialogs.messages.empty());
  EXPECT_EQ(dialogs.messages.back().text.rfind("Can't check for updates: ", 0), 0u);
  QTest::mouseClick(about->findChild<QPushButton*>("Label5"), Qt::LeftButton);
  QTest::mouseClick(about->findChild<QPushButton*>("Label7"), Qt::LeftButton);
  EXPECT_EQ(shell.opened, (std::vector<std::string>{
                              std::string("mailto: ") + kContactMail + "?subject=Vantora", kHomePage}));
  QTest::mouseClick(about->findChild<QPushButton*>("Command2"), Qt::LeftButton);
  EXPECT_FALSE(about->isVisible());
}

TEST_F(VideoMenuStepsTest, TheConversionStepShowsTheEncodersProgress) {
  Start();
  Click("NextButton");
  AddThreeVideos();
  Click("NextButton");
  Click("NextButton");
  encoder.duration = 100;  // of the menu clip and of every video
  Click("NextButton");
  ASSERT_EQ(c().CurrentStep, 4);
  c().Taldex1_Completed(encoder.Finish());  // the menu clip
  encoder.position = 50;
  c().Taldex1_Progress(50);
  EXPECT_EQ(Find<QLabel>("Label10")->text(), "File conversion : 01 - beach.avi");
  EXPECT_EQ(Find<QLabel>("LabelStatus")->text(), "File progress : 50% (00:00:50 of 00:01:40 converted)");
  // 150 of the 400 seconds of the menu clip and the three videos.
  EXPECT_EQ(Find<MyProgressBar>("MyProgressBar2")->GetValue(), 38);
  EXPECT_TRUE(Find<QLabel>("Label12")->text().startsWith("Time Elapsed : 00:00:"));
  EXPECT_TRUE(Find<QLabel>("LabelTimeLeft")->text().startsWith("Time Left : "));
}

// Types a title as a person would end it: the text, then the edit's signal.
void TypeTitle(QLineEdit* edit, const QString& text) {
  edit->setText(text);
  Q_EMIT edit->textEdited(text);
}

TEST_F(VideoMenuStepsTest, TheDesignerShowsTheWholePageAndEveryCaptionWholeInTheWindow) {
  for (const char* system : {"NTSC", "PAL"}) {
    Start(std::string("[LAUNCH]\nVALUE=True\n[menuDVD]\nmenu=True\n[parameter]\nNTSC=") +
          (std::string(system) == "NTSC" ? "True" : "False") + "\n");
    Click("NextButton");
    AddThreeVideos();
    Click("NextButton");
    ASSERT_EQ(c().CurrentStep, 2);
    auto* tabs = Find<QTabWidget>("TabStrip1");
    for (int tab = 0; tab < tabs->count(); ++tab) {
      tabs->setCurrentIndex(tab);
      QApplication::processEvents();
      SCOPED_TRACE(std::string(system) + ", tab " + tabs->tabText(tab).toStdString());
      const QRect window = form->rect();
      // The whole page, its shape kept, inside the window.
      auto* page = Find<QLabel>("PicGrand");
      const QPixmap shown = page->pixmap();
      const QSize full = form->MenuPicture().size();
      ASSERT_FALSE(shown.isNull());
      EXPECT_TRUE(window.contains(QRect(page->mapTo(form.get(), QPoint(0, 0)), page->size())));
      EXPECT_LE(shown.width(), page->width());
      EXPECT_LE(shown.height(), page->height());
      EXPECT_NEAR(double(shown.width()) / shown.height(), double(full.width()) / full.height(), 0.02);
      EXPECT_GE(shown.width(), 200) << "a thumbnail a person can read";
      // Every tab's caption and every control's text fits.
      QTabBar* bar = tabs->tabBar();
      for (int i = 0; i < bar->count(); ++i) {
        EXPECT_TRUE(bar->rect().contains(bar->tabRect(i))) << bar->tabText(i).toStdString();
        EXPECT_GT(bar->tabRect(i).width(), bar->fontMetrics().horizontalAdvance(bar->tabText(i)))
            << bar->tabText(i).toStdString();
      }
      for (QWidget* w : tabs->currentWidget()->findChildren<QWidget*>()) {
        const bool has_text = qobject_cast<QLabel*>(w) != nullptr ||
                              qobject_cast<QAbstractButton*>(w) != nullptr ||
                              qobject_cast<QComboBox*>(w) != nullptr;
        if (!w->isVisible() || !has_text) continue;
        const std::string name = w->objectName().toStdString();
        EXPECT_TRUE(window.contains(QRect(w->mapTo(form.get(), QPoint(0, 0)), w->size()))) << name;
        if (qobject_cast<QComboBox*>(w) == nullptr && w->minimumWidth() == 0) {
          EXPECT_GE(w->width(), w->sizeHint().width()) << name;
        }
      }
    }
    form.reset();
  }
}

TEST_F(VideoMenuStepsTest, CjkAndEmojiAreDrawnAndACharacterNoFontHasIsToldOnTheMenuStep) {
  Start();
  Click("NextButton");
  AddThreeVideos();
  Click("NextButton");
  auto* warning = Find<QLabel>("LabelMissingGlyphs");
  EXPECT_FALSE(warning->isVisible()) << "the lines hold é and 日本";
  TypeTitle(Find<QLineEdit>("TextTitleDVD"), QString::fromUtf8("été 日本 🎬"));
  EXPECT_FALSE(warning->isVisible()) << warning->text().toStdString();
  TypeTitle(Find<QLineEdit>("TextTitleDVD"), QString::fromUtf8("été \U0010FFFD 日本"));
  EXPECT_TRUE(warning->isVisible());
  EXPECT_NE(warning->text().indexOf("U+10FFFD"), -1) << warning->text().toStdString();
  Screenshot("step2_menu_missing_glyph");
  TypeTitle(Find<QLineEdit>("TextTitleDVD"), QString::fromUtf8("Vacances"));
  EXPECT_FALSE(warning->isVisible());
}

TEST_F(VideoMenuStepsTest, ScreenshotsOfTheVideoListAndTheMenuDesigner) {
  Start();
  Click("NextButton");
  AddThreeVideos();
  Screenshot("step1_video_list");
  Click("NextButton");
  ASSERT_EQ(c().CurrentStep, 2);
  TypeTitle(Find<QLineEdit>("TextTitleDVD"), QString::fromUtf8("Été 2023 日本 🎬"));
  Screenshot("step2_menu_designer");
  for (int tab : {1, 2}) {
    Find<QTabWidget>("TabStrip1")->setCurrentIndex(tab);
    Screenshot("step2_menu_designer_tab" + std::to_string(tab + 1));
  }
  EXPECT_TRUE(form->MenuPicture().save(
      QString::fromStdString(platform::PathToUtf8(testing::ScreenshotFolder() / "menu_page.png"))));
}

}  // namespace
}  // namespace vantora
