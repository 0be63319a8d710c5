// The application object that the tests of the wizard's widgets and window
// share.
#pragma once

#include <QApplication>

namespace vantora::testing {

// The process's one application, made on first use; headless unless the
// caller chose a platform.
QApplication& App();

}  // namespace vantora::testing
