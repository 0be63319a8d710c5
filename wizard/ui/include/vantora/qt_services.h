// The Qt side of the wizard's services: the desktop opener, the dialogs, and
// the fixed size of the main window.
#pragma once

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

// Keeps the window at a fixed outer size given in twips (15 twips per pixel
// at the usual 96 dots per inch): it can be neither enlarged nor shrunk.
void HookMainWindow(QWidget* window, float width_twips, float height_twips);

}  // namespace vantora
