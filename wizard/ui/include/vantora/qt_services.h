// The Qt side of the wizard's services: the desktop opener, the dialogs, and
// the fixed size of the main window.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QWidget>

#include "vantora/functions.h"

namespace vantora {

// Opens local paths and http(s) addresses with the desktop's handler; never
// through a command line.
class QtShell : public Shell {
 public:
  bool OpenWithShell(const std::string& target) override;
};

// Dialogs owned by a parent window (which must outlive this object).
class QtDialogs : public Dialogs {
 public:
  explicit QtDialogs(QWidget* parent) : parent_(parent) {}
  std::string BrowseForFolder(const std::string& title) override;
  void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
  bool AskYesNo(const std::string& text, const std::string& title, MessageIcon icon) override;
  bool AskOkCancel(const std::string& text, const std::string& title, MessageIcon icon) override;
  std::vector<std::string> OpenFiles(const std::string& title, const std::string& filter,
                                     const std::string& folder, bool multiple) override;
  std::optional<std::uint32_t> ChooseColor(std::uint32_t initial) override;

 private:
  int Ask(const std::string& text, const std::string& title, MessageIcon icon, int buttons);
  QWidget* parent_;
};

// The login manager's sleep and idle lock, asked for over D-Bus without
// waiting for the answer. Without the bus or the manager the machine simply
// may sleep. Lives on the thread of bus's events; bus must stay connected or
// never have been.
class LogindInhibitor final : public QObject, public SleepInhibitor {
 public:
  explicit LogindInhibitor(QDBusConnection bus = QDBusConnection::systemBus());
  ~LogindInhibitor() override;
  void Inhibit(const std::string& why) override;
  void Release() override;
  // Whether the manager's lock is held now.
  bool held() const { return fd_ >= 0; }

 private:
  QDBusConnection bus_;
  bool wanted_ = false;
  unsigned request_ = 0;  // answers to an older request are let go
  int fd_ = -1;
};

// The user's folders as the desktop names them: $VANTORA_HOME holds them all
// when set; else Config.ini in vantora/ of the configuration folder, the
// throw-away files in vantora/ of the cache folder, the job logs in
// vantora/logs/ of the state folder, and the Videos folder as the default
// output (the home folder when there is none). resources: share/vantora
// beside the folder of program_dir (bin/ when installed, wizard/ in the build
// tree).
UserFolders StandardUserFolders(const std::filesystem::path& program_dir);

// Keeps the window at a fixed outer size given in twips (15 twips per pixel
// at the usual 96 dots per inch): it can be neither enlarged nor shrunk.
void HookMainWindow(QWidget* window, float width_twips, float height_twips);

}  // namespace vantora
