// What the dialog tests share: the one offscreen application their dialogs
// are shown in.
#pragma once

#include <QApplication>

#include <cstdlib>

namespace zephrel::testing {

// Starts the application on the offscreen platform (unless the environment
// names another) the first time it is called.
inline void StartOffscreenApplication() {
  static int argc = 1;
  static char name[] = "zephrel_dialogs_tests";
  static char* argv[] = {name, nullptr};
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (QApplication::instance() == nullptr) new QApplication(argc, argv);
}

}  // namespace zephrel::testing
