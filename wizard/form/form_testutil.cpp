#include "form_testutil.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QTest>

#include "platform/text.h"

namespace vantora::testing {

namespace fs = std::filesystem;

FormServices FormServicesOver(WizardFakes& fakes, const fs::path& program_folder) {
  FormServices services;
  // The pictures the build ships; no job log files.
  services.folders = FoldersIn(program_folder, fs::path(VANTORA_BINARY_DIR) / "share" / "vantora");
  services.folders.logs.clear();
  services.inhibitor = &fakes.inhibitor;
  services.make_burner = fakes.FakeBurners();
  services.authoring = &fakes.authoring;
  services.encoder = &fakes.encoder;
  services.clip_maker = &fakes.clip_maker;
  services.dialogs = &fakes.dialogs;
  services.shell = &fakes.shell;
  services.clock = &fakes.clock;
  services.end_program = [] {};
  return services;
}

platform::EmulatedIdentity AcmeWriter() {
  platform::EmulatedIdentity identity;
  identity.vendor = "ACME";
  identity.product = "DVDRW X1";
  identity.revision = "1.02";
  identity.address = {1, 0, 0, 0};
  return identity;
}

void Choose(QRadioButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

fs::path ScreenshotFolder() {
  const fs::path dir =
      fs::path(VANTORA_BINARY_DIR) / "screenshots" / "wizard" / QGuiApplication::platformName().toStdString();
  fs::create_directories(dir);
  return dir;
}

bool SaveScreenshot(QWidget& widget, const std::string& name) {
  return widget.grab().save(
      QString::fromStdString(platform::PathToUtf8(ScreenshotFolder() / (name + ".png"))), "PNG");
}

}  // namespace vantora::testing
