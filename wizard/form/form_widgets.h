// Small helpers the main window's source files share when they build widgets.
#pragma once

#include <QLatin1String>
#include <QString>
#include <string>

namespace vantora::form {

// A UTF-8 text as Qt's string.
inline QString Q(const std::string& text) { return QString::fromStdString(text); }

// The widget with its object name set (tests find controls by these names).
template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

}  // namespace vantora::form
