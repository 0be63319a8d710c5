#include "vantora/qt_services.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>

namespace vantora {
namespace {

QMessageBox::Icon ToQt(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation: return QMessageBox::Information;
    case MessageIcon::kExclamation: return QMessageBox::Warning;
    case MessageIcon::kCritical: return QMessageBox::Critical;
    case MessageIcon::kNone: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

bool QtShell::OpenWithShell(const std::string& target) {
  const QString text = QString::fromStdString(target);
  QUrl url;
  if (text.startsWith("http://") || text.startsWith("https://")) {
    url = QUrl(text, QUrl::StrictMode);
  } else {
    url = QUrl::fromLocalFile(text);  // a path is never taken as a command or an address
  }
  return url.isValid() && QDesktopServices::openUrl(url);
}

std::string QtDialogs::BrowseForFolder(const std::string& title) {
  return QFileDialog::getExistingDirectory(parent_, QString::fromStdString(title)).toStdString();
}

void QtDialogs::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) {
  QMessageBox box(ToQt(icon), QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::Ok, parent_);
  box.exec();
}

bool QtDialogs::AskYesNo(const std::string& text, const std::string& title, MessageIcon icon) {
  QMessageBox box(ToQt(icon), QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::Yes | QMessageBox::No, parent_);
  return box.exec() == QMessageBox::Yes;
}

void HookMainWindow(QWidget* window, float width_twips, float height_twips) {
  const QScreen* screen = window->screen();
  const double dpi_x = screen != nullptr ? screen->logicalDotsPerInchX() : 96.0;
  const double dpi_y = screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
  const WindowPixels size = TwipsToPixels(width_twips, height_twips, dpi_x > 0 ? 1440.0 / dpi_x : 15,
                                          dpi_y > 0 ? 1440.0 / dpi_y : 15);
  if (size.width > 0 && size.height > 0) window->setFixedSize(size.width, size.height);
}

}  // namespace vantora
