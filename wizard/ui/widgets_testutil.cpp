#include "widgets_testutil.h"

#include <stdlib.h>

namespace vantora::testing {

QApplication& App() {
  static QApplication* app = [] {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return existing;
    static int argc = 1;
    static char name[] = "vantora_tests";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return new QApplication(argc, argv);
  }();
  return *app;
}

}  // namespace vantora::testing
