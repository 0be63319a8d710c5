// What the tests of the main window share: its services over the recording
// fakes, the emulated writer they burn to, and the folder of its screenshots.
#pragma once

#include <gtest/gtest.h>

#include <QRadioButton>
#include <QWidget>
#include <filesystem>
#include <string>

#include "../core/wizard_fakes.h"
#include "../ui/widgets_testutil.h"
#include "platform/emulated_drive.h"
#include "vantora/cindral_form.h"

namespace vantora::testing {

// The window's services over fakes for a program whose folders are all
// program_folder (the build's shipped pictures as its resources): fake
// burners over one drive, no prober (files are then probed by the encoder),
// and an end of the program that does nothing.
FormServices FormServicesOver(WizardFakes& fakes, const std::filesystem::path& program_folder);

// The identity of the emulated writer the tests list: "[1:0:0] ACME DVDRW X1 (1.02)".
platform::EmulatedIdentity AcmeWriter();

// The child of parent with that object name, expected to be there.
template <typename T>
T* FindChild(const QObject& parent, const char* name) {
  T* widget = parent.findChild<T*>(QLatin1String(name));
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

// Clicks a radio button on its indicator (its centre may lie past its text).
void Choose(QRadioButton* button);

// screenshots/wizard/<platform> under the build tree, one folder a platform
// ("offscreen", and "xcb" for a real window); made when missing.
std::filesystem::path ScreenshotFolder();
// Saves widget as it is drawn now as name.png in the screenshot folder.
bool SaveScreenshot(QWidget& widget, const std::string& name);

}  // namespace vantora::testing
