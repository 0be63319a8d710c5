// The authoring driver: fills the authoring control with the converted videos
// and the menu, runs its build on a worker, and shows its progress.
#include <algorithm>
#include <system_error>

#include "platform/text.h"
#include "vantora/format.h"
#include "vantora/wizard_controller.h"

namespace vantora {

namespace fs = std::filesystem;

namespace {

constexpr char kAuthoringKey[] = "DVD Filesystem creation...";
constexpr std::int16_t kButtonContrast = 13;

std::int16_t ColorIndex(int index) { return static_cast<std::int16_t>(index); }

}  // namespace

void WizardController::StartDvdBuild() {
  ShowStep(5);
  log_.Clear();
  screen_.progress4 = 0;
  screen_.progress4_visible = true;
  screen_.progress3 = 0;
  AuthoringControl& quillon = *parts_.authoring;
  quillon.ClearAll();

  if (!screen_.classical_menu) {
    quillon.SetEnableAutoNextTitle(true);
  } else {
    // Every button must be accepted: a refused one would leave its title
    // without a way in.
    bool accepted = quillon.AddMainMenu((TempFolder / "menu.mpg").native());
    accepted = quillon.SetMainMenuButtonColor(ColorIndex(screen_.button_color[0]), kButtonContrast,
                                              ColorIndex(screen_.button_color[1]), kButtonContrast,
                                              ColorIndex(screen_.button_color[2]), kButtonContrast) &&
               accepted;
    accepted = accepted && !MenuButtons.empty();
    for (std::size_t i = 0; i < MenuButtons.size(); ++i) {
      const MenuButtonRect& r = MenuButtons[i];
      accepted = quillon.AddMainMenuButton(r.Left, r.Top, r.Left + r.Size, r.Top + r.Size,
                                           static_cast<std::int16_t>(i + 1)) &&
                 accepted;
    }
    if (!accepted) {
      parts_.dialogs->ShowMessage("Unexpected Error during Menu compilation...", kMessageTitle,
                                  MessageIcon::kCritical);
      quillon.ClearAll();
      ShowStep(2);
      return;
    }
    quillon.SetEnableAutoNextTitle(false);
  }

  std::error_code ec;
  if (screen_.output_option == kOutputFolder) {
    if (!screen_.output_dir.empty() && screen_.output_dir.back() != '/') screen_.output_dir += '/';
    ProjectFolder = fs::path(screen_.output_dir) / screen_.label;
  } else {
    ProjectFolder = TempFolder / screen_.label;
    // Removed where it is made, whatever the temporary folder is later.
    if (std::find(authored_folders_.begin(), authored_folders_.end(), ProjectFolder) ==
        authored_folders_.end())
      authored_folders_.push_back(ProjectFolder);
  }
  fs::create_directories(ProjectFolder, ec);
  if (ec) {
    // Said now, with the folder and the system's reason, rather than by a
    // build that cannot write.
    quillon.ClearAll();
    EndJob(false);
    ShowStep(3);
    const std::string what = screen_.output_option == kOutputFolder ? "Can't write the destination file\n"
                                                                    : "Can't write in the temporary folder\n";
    parts_.dialogs->ShowMessage(what + platform::PathToUtf8(ProjectFolder) + ": " + ec.message(),
                                kMessageTitle, MessageIcon::kCritical);
    return;
  }
  quillon.SetOutputDir(ProjectFolder.native());

  screen_.label13 = "Compilation step progress :";
  screen_.label14 = "Total conversion :";
  screen_.label22.clear();

  // Every video must become its title, in list order: one refused would move
  // every later title under another button.
  std::string refused;
  for (const VideoRow& row : screen_.rows) {
    if (!quillon.AddTitle(row.converted.native()) && refused.empty()) refused = row.text;
  }
  const int titles = quillon.GetTitleCount();
  if (titles <= 0) {
    parts_.dialogs->ShowMessage("Please select menu or title", kMessageTitle, MessageIcon::kNone);
    view_.Refresh();
    return;
  }
  if (!refused.empty() || titles != static_cast<int>(screen_.rows.size())) {
    quillon.ClearAll();
    EndJob(false);
    ShowStep(3);
    parts_.dialogs->ShowMessage("The video \"" + (refused.empty() ? screen_.rows.front().text : refused) +
                                    "\" could not be added to the DVD: its converted file is missing or "
                                    "cannot be read.",
                                kMessageTitle, MessageIcon::kCritical);
    return;
  }

  Busy = true;
  if (!authoring_run_) authoring_run_ = std::make_unique<AuthoringRun>(quillon, parts_.dispatcher);
  AuthoringRun::Handlers handlers;
  handlers.total_processing = [this](double step, double overall) {
    Quillon1_TotalProcessing(step, overall);
  };
  handlers.on_completed = [this] { Quillon1_OnCompleted(); };
  handlers.returned = [this](bool built, const std::string& text) { OnAuthoringBuildReturned(built, text); };
  if (!authoring_run_->Start(std::move(handlers))) {
    OnAuthoringBuildReturned(false, "The DVD compilation could not be started.");
    return;
  }
  view_.Refresh();
}

void WizardController::Quillon1_TotalProcessing(double iCurrentPos, double iOverallPos) {
  if (!log_.ProgressLogHasKey(kAuthoringKey)) log_.AddRow(kAuthoringKey, kAuthoringKey, LogIcon::kStep);
  screen_.label13 = "File processing:";
  screen_.progress4 = RoundHalfEven(iCurrentPos);
  screen_.label14 = "Total DVD Image creation:";
  screen_.progress3 = RoundHalfEven(iOverallPos);
  view_.Refresh();
}

void WizardController::OnAuthoringBuildReturned(bool built, const std::string& error_text) {
  if (cancel_after_build_) {
    OnAuthoringReturned();
    return;
  }
  if (built) return;  // the completion handler has taken over
  // The folder was not built: say why, keep the converted files, and let the
  // user start again from the output step.
  log_.AddRow("DVD compilation failure !", ErrorRowKey("DVD compilation failure !"), LogIcon::kError);
  parts_.authoring->ClearAll();
  EndJob(false);
  ShowStep(3);
  ShowEndMessage("The DVD Video compilation failed.", MessageIcon::kCritical, {error_text});
}

}  // namespace vantora
