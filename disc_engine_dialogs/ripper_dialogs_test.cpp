// The ripper's dialogs, offscreen: what they show for stored settings, how the
// VBR switch and the code buttons act, and what OK and Cancel leave in
// Config.ini when the engine raises them. Screenshots go to the build tree
// (screenshots/).
#include "zephrel_dialogs/ripper_dialogs.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <filesystem>

#include "dialogs_testutil.h"
#include "platform/fileio.h"
#include "platform/ini.h"
#include "platform/text.h"
#include "zephrel/iso_builder.h"

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace zephrel {
namespace {

namespace fs = std::filesystem;

class RipperDialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::StartOffscreenApplication(); }
  void SetUp() override {
    platform::FileError fe;
    folder_ = platform::TemporaryFolder::Create("zephrel-dialogs", &fe);
    ASSERT_TRUE(folder_) << fe.message;
    dir_ = platform::PathToUtf8(folder_->path() / "Rip é 日本");
    fs::create_directories(dir_);
  }
  std::string Ini(const char* section, const char* key) {
    return platform::ReadIni(fs::path(dir_) / "Config.ini", section, key, "<missing>");
  }
  static void Save(QWidget& w, const std::string& name) {
    const fs::path shots = fs::path(VANTORA_BINARY_DIR) / "screenshots";
    fs::create_directories(shots);
    w.grab().save(QString::fromStdString(platform::PathToUtf8(shots / (name + ".png"))));
  }
  template <class W>
  static W* Control(QWidget& dialog, int id) {
    W* w = dialog.findChild<W*>(QStringLiteral("id%1").arg(id));
    EXPECT_NE(w, nullptr) << id;
    return w;
  }
  // Presses the control id of the modal dialog once it is shown.
  static void PressInModal(int id) {
    QTimer::singleShot(0, [id] {
      QWidget* modal = QApplication::activeModalWidget();
      ASSERT_NE(modal, nullptr);
      Save(*modal, "ripper_dialog_" + modal->objectName().toStdString() + std::to_string(id));
      Control<QPushButton>(*modal, id)->click();
    });
  }

  std::optional<platform::TemporaryFolder> folder_;
  std::string dir_;
};

TEST_F(RipperDialogTest, TheMp3DialogPreselectsStoredValuesAndFallsBackForUnknownOnes) {
  Mp3Settings s;
  s.bitrate = "192";
  s.frequency = "48000";
  s.vbr_quality = "VBR-x";
  s.crc = true;
  Mp3ConfigurationDialog dialog(s);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), "Mp3 Format Configuration");
  EXPECT_EQ(Control<QComboBox>(dialog, 203)->currentText(), "192");
  EXPECT_EQ(Control<QComboBox>(dialog, 204)->currentText(), "Joint-stereo");
  EXPECT_EQ(Control<QComboBox>(dialog, 214)->currentText(), "48000");
  EXPECT_EQ(Control<QComboBox>(dialog, 213)->currentText(), "VBR-7");
  EXPECT_EQ(Control<QComboBox>(dialog, 212)->currentText(), "NORMAL");
  EXPECT_EQ(Control<QComboBox>(dialog, 212)->count(), 24);
  EXPECT_TRUE(Control<QCheckBox>(dialog, 205)->isChecked());
  Save(dialog, "mp3_dialog_vbr_off");
}

TEST_F(RipperDialogTest, TheVbrControlsFollowTheVbrSwitch) {
  Mp3ConfigurationDialog dialog(Mp3Settings{});
  dialog.show();
  for (int id : {210, 211, 212, 213, 214, 215}) EXPECT_FALSE(Control<QWidget>(dialog, id)->isEnabled()) << id;
  for (int id : {203, 204, 205, 206, 207, 208}) EXPECT_TRUE(Control<QWidget>(dialog, id)->isEnabled()) << id;
  Control<QCheckBox>(dialog, 209)->click();
  for (int id : {210, 211, 212, 213, 214, 215}) EXPECT_TRUE(Control<QWidget>(dialog, id)->isEnabled()) << id;
  Save(dialog, "mp3_dialog_vbr_on");
  EXPECT_TRUE(dialog.settings().vbr);
}

TEST_F(RipperDialogTest, TheCodeButtonsClearAndDefaultEditThePatternOnly) {
  RipperOutputSettings s;
  s.pattern = "";
  s.output_folder = "/music";
  s.subfolders = false;
  s.auto_cddb = false;
  RipperConfigurationDialog dialog(s, [](const QString& title) {
    EXPECT_EQ(title, "Select your output directory");
    return QStringLiteral("/chosen/日本");
  });
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), "Ripper Configuration");
  for (int id : {217, 1055, 1051}) Control<QPushButton>(dialog, id)->click();
  EXPECT_EQ(Control<QLineEdit>(dialog, 1049)->text(), "%N - %T");
  Control<QPushButton>(dialog, 1056)->click();
  EXPECT_EQ(Control<QLineEdit>(dialog, 1049)->text(), "");
  Control<QPushButton>(dialog, 1035)->click();
  EXPECT_EQ(Control<QLineEdit>(dialog, 1049)->text(), "%N - %T");
  EXPECT_TRUE(Control<QCheckBox>(dialog, 218)->isChecked());
  EXPECT_TRUE(Control<QCheckBox>(dialog, 1050)->isChecked());
  EXPECT_EQ(Control<QLineEdit>(dialog, 216)->text(), "/music") << "Default keeps the folder";
  Control<QPushButton>(dialog, 1027)->click();
  EXPECT_EQ(dialog.settings().output_folder, "/chosen/日本");
  Save(dialog, "ripper_dialog");
}

TEST_F(RipperDialogTest, OkWritesTheMp3KeysAndCancelWritesNothing) {
  auto builder = CreateISOBuilder();
  builder->SetRipperDialogHandler(std::make_shared<QtRipperDialogs>());
  PressInModal(2);  // Cancel
  builder->Ripper_LaunchMp3Configuration(dir_);
  const std::string after_cancel = platform::ReadFile(fs::path(dir_) / "Config.ini", nullptr).value_or("");
  EXPECT_EQ(Ini("MP3", "Channel"), "Joint-Stereo") << "reading wrote the default, Cancel kept it";

  PressInModal(1);  // OK
  builder->Ripper_LaunchMp3Configuration(dir_);
  EXPECT_EQ(Ini("MP3", "Channel"), "Joint-stereo") << "OK writes the selected text";
  EXPECT_EQ(Ini("MP3", "Bitrate"), "128");
  EXPECT_EQ(Ini("MP3", "VBR"), "0");
  EXPECT_NE(after_cancel.find("Joint-Stereo"), std::string::npos);
  builder->UnloadCom();
}

TEST_F(RipperDialogTest, OkWritesTheRipperKeysAndCloseWritesNothing) {
  auto builder = CreateISOBuilder();
  builder->SetRipperDialogHandler(
      std::make_shared<QtRipperDialogs>([](const QString&) { return QString(); }));
  platform::WriteIni(fs::path(dir_) / "Config.ini", "Output", "Nom", "%T");
  QTimer::singleShot(0, [] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    Control<QPushButton>(*modal, 1056)->click();  // Clear
    Control<QPushButton>(*modal, 2)->click();     // Close
  });
  builder->Ripper_LaunchConfiguration(dir_);
  EXPECT_EQ(Ini("Output", "Nom"), "%T");

  QTimer::singleShot(0, [] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    Control<QPushButton>(*modal, 1051)->click();  // %T
    Control<QCheckBox>(*modal, 1050)->setChecked(false);
    Control<QPushButton>(*modal, 1)->click();
  });
  builder->Ripper_LaunchConfiguration(dir_);
  EXPECT_EQ(Ini("Output", "Nom"), "%T %T");
  EXPECT_EQ(Ini("Output", "Rep"), "false");
  EXPECT_EQ(Ini("CDDB", "Auto"), "true");
  EXPECT_EQ(Ini("SAUVEGARDE", "Chemin"), platform::PathToUtf8(fs::path(dir_) / "My Music"));
  builder->UnloadCom();
}

}  // namespace
}  // namespace zephrel
