#include "vantora/qt_services.h"

#include <fcntl.h>
#include <unistd.h>
#include <QColorDialog>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>
#include <cstdlib>

namespace vantora {
namespace {

QMessageBox::Icon ToQt(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation:
      return QMessageBox::Information;
    case MessageIcon::kExclamation:
      return QMessageBox::Warning;
    case MessageIcon::kCritical:
      return QMessageBox::Critical;
    case MessageIcon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

LogindInhibitor::LogindInhibitor(QDBusConnection bus) : bus_(std::move(bus)) {}

LogindInhibitor::~LogindInhibitor() { Release(); }

void LogindInhibitor::Inhibit(const std::string& why) {
  if (wanted_) return;
  wanted_ = true;
  if (!bus_.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                     "org.freedesktop.login1.Manager", "Inhibit");
  call << QString("sleep:idle") << QString("Vantora") << QString::fromStdString(why) << QString("block");
  const unsigned request = ++request_;
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, 10000), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, request](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
    // The lock lasts as long as its descriptor is open.
    if (reply.isError() || !reply.value().isValid() || request != request_ || !wanted_ || fd_ >= 0) return;
    fd_ = ::fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0);
  });
}

void LogindInhibitor::Release() {
  wanted_ = false;
  ++request_;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

UserFolders StandardUserFolders(const std::filesystem::path& program_dir) {
  namespace fs = std::filesystem;
  const fs::path resources = program_dir.parent_path() / "share" / "vantora";
  if (const char* home = std::getenv("VANTORA_HOME"); home != nullptr && *home != '\0')
    return FoldersIn(home, resources);
  auto standard = [](QStandardPaths::StandardLocation location) {
    return fs::path(QStandardPaths::writableLocation(location).toStdString());
  };
  UserFolders folders;
  folders.config = standard(QStandardPaths::GenericConfigLocation) / "vantora";
  folders.cache = standard(QStandardPaths::GenericCacheLocation) / "vantora";
  folders.logs = StateLogsFolder();
  folders.videos = standard(QStandardPaths::MoviesLocation);
  std::error_code ec;
  if (folders.videos.empty() || !fs::is_directory(folders.videos, ec)) folders.videos = HomeFolder();
  folders.resources = resources;
  return folders;
}

bool QtShell::OpenWithShell(const std::string& target) {
  const QString text = QString::fromStdString(target);
  QUrl url;
  if (text.startsWith("http://") || text.startsWith("https://")) {
    url = QUrl(text, QUrl::StrictMode);
  } else if (text.startsWith("mailto:")) {
    url = QUrl("mailto:" + text.mid(7).trimmed(), QUrl::StrictMode);
  } else {
    url = QUrl::fromLocalFile(text);  // a path is never taken as a command or an address
  }
  return url.isValid() && QDesktopServices::openUrl(url);
}

std::string QtDialogs::BrowseForFolder(const std::string& title) {
  return QFileDialog::getExistingDirectory(parent_, QString::fromStdString(title)).toStdString();
}

// Message texts may hold file names and server answers: always plain text.
int QtDialogs::Ask(const std::string& text, const std::string& title, MessageIcon icon, int buttons) {
  QMessageBox box(ToQt(icon), QString::fromStdString(title), QString::fromStdString(text),
                  static_cast<QMessageBox::StandardButtons>(buttons), parent_);
  box.setTextFormat(Qt::PlainText);
  return box.exec();
}

void QtDialogs::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) {
  Ask(text, title, icon, QMessageBox::Ok);
}

bool QtDialogs::AskYesNo(const std::string& text, const std::string& title, MessageIcon icon) {
  return Ask(text, title, icon, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool QtDialogs::AskOkCancel(const std::string& text, const std::string& title, MessageIcon icon) {
  return Ask(text, title, icon, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

std::vector<std::string> QtDialogs::OpenFiles(const std::string& title, const std::string& filter,
                                              const std::string& folder, bool multiple) {
  std::vector<std::string> files;
  if (multiple) {
    for (const QString& f :
         QFileDialog::getOpenFileNames(parent_, QString::fromStdString(title), QString::fromStdString(folder),
                                       QString::fromStdString(filter)))
      files.push_back(f.toStdString());
  } else {
    const QString f =
        QFileDialog::getOpenFileName(parent_, QString::fromStdString(title), QString::fromStdString(folder),
                                     QString::fromStdString(filter));
    if (!f.isEmpty()) files.push_back(f.toStdString());
  }
  return files;
}

std::optional<std::uint32_t> QtDialogs::ChooseColor(std::uint32_t initial) {
  const QColor chosen = QColorDialog::getColor(QColor::fromRgb(initial), parent_);
  if (!chosen.isValid()) return std::nullopt;
  return static_cast<std::uint32_t>(chosen.rgb() & 0xFFFFFF);
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
