// The disc layout, image and burn driver: after authoring (or for a VIDEO_TS
// folder the user chose) the DVD-Video files go into the disc engine's
// project tree, and the engine writes them to an ISO image or a disc.
#include <algorithm>
#include <array>
#include <system_error>

#include "platform/text.h"
#include "vantora/wizard_controller.h"

namespace vantora {

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t kVideoTsId = 2;  // the second virtual folder

// The DVD-Video file names in the order they go on the disc.
std::vector<std::string> DvdFileOrder() {
  std::vector<std::string> names = {"VIDEO_TS.IFO", "VIDEO_TS.VOB", "VIDEO_TS.BUP"};
  for (int t = 1; t <= 99; ++t) {
    const std::string tt = (t < 10 ? "0" : "") + std::to_string(t);
    names.push_back("VTS_" + tt + "_0.IFO");
    for (int m = 0; m <= 9; ++m) names.push_back("VTS_" + tt + "_" + std::to_string(m) + ".VOB");
    names.push_back("VTS_" + tt + "_0.BUP");
  }
  return names;
}

// The names of the plain files of folder (nullopt when it cannot be listed).
std::optional<std::vector<std::string>> PlainFiles(const fs::path& folder) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return std::nullopt;
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : it) {
    std::error_code type_ec;
    if (entry.is_regular_file(type_ec)) names.push_back(entry.path().filename().native());
  }
  return names;
}

// A name beside final that nothing holds yet, for the image while it is
// written.
fs::path PartialImageName(const fs::path& final_image) {
  const fs::path folder = final_image.parent_path();
  for (int n = 0;; ++n) {
    const std::string suffix = n == 0 ? ".partial" : "." + std::to_string(n) + ".partial";
    fs::path candidate = folder / ("." + final_image.filename().native() + suffix);
    std::error_code ec;
    if (fs::symlink_status(candidate, ec).type() == fs::file_type::not_found) return candidate;
  }
}

}  // namespace

std::vector<DvdFileChoice> ChooseDvdFiles(const std::vector<std::string>& listed) {
  std::vector<DvdFileChoice> choices;
  for (const std::string& wanted : DvdFileOrder()) {
    DvdFileChoice choice;
    for (const std::string& name : listed)
      if (platform::AsciiIEquals(name, wanted)) choice.matches.push_back(name);
    if (choice.matches.empty()) continue;
    std::sort(choice.matches.begin(), choice.matches.end());
    choice.chosen = choice.matches.front();
    if (std::find(choice.matches.begin(), choice.matches.end(), wanted) != choice.matches.end())
      choice.chosen = wanted;
    choices.push_back(std::move(choice));
  }
  return choices;
}

double DvdFilesMegabytes(const fs::path& folder) {
  const std::optional<std::vector<std::string>> listed = PlainFiles(folder);
  if (!listed) return 0;
  double bytes = 0;
  for (const DvdFileChoice& choice : ChooseDvdFiles(*listed)) {
    std::error_code ec;
    const auto size = fs::file_size(folder / choice.chosen, ec);
    if (!ec) bytes += static_cast<double>(size);
  }
  return bytes / (1024.0 * 1024.0);
}

bool WizardController::BuildDiscLayout(const fs::path& folder) {
  const std::optional<std::vector<std::string>> listed = PlainFiles(folder);
  const bool has_ifo = listed && std::any_of(listed->begin(), listed->end(), [](const std::string& name) {
                         return platform::AsciiIEquals(name, "VIDEO_TS.IFO");
                       });
  if (!has_ifo) {
    // Without it the engine would keep the tree of an earlier project.
    FailBeforeDiscJob("Your directory is not a valid DVD video directory");
    return false;
  }
  burner_->Clear();
  burner_->AddVirtualDirectory(0, "AUDIO_TS");
  burner_->AddVirtualDirectory(0, "VIDEO_TS");
  laying_out_ = true;
  layout_refused_.clear();
  for (const DvdFileChoice& choice : ChooseDvdFiles(*listed)) {
    const std::string& chosen = choice.chosen;
    if (choice.matches.size() > 1) {
      // A case-sensitive file system can hold both; the disc can hold one.
      std::string all;
      for (const std::string& name : choice.matches) all += (all.empty() ? "" : ", ") + name;
      const std::string warning = "Files differing only in case: " + all + "; only " + chosen + " is written";
      log_.AddRow(warning, ErrorRowKey(warning), LogIcon::kError);
    }
    burner_->AddFile(kVideoTsId, (folder / chosen).native());
    if (!layout_refused_.empty()) break;
  }
  laying_out_ = false;
  if (!layout_refused_.empty()) {
    FailBeforeDiscJob("");  // the refusal has been shown
    return false;
  }
  return true;
}

void WizardController::Quillon1_OnCompleted() {
  Busy = false;
  if (cancel_after_build_) return;  // the project is being cancelled
  if (screen_.output_option == kOutputFolder) {
    const std::string folder = platform::PathToUtf8(ProjectFolder) + "/";
    const bool shown = parts_.shell->OpenWithShell(ProjectFolder.native() + "/");
    ShowEndMessage("DVD creation Completed", MessageIcon::kNone,
                   {"The DVD folder is " + folder,
                    shown ? "" : "It could not be opened: this desktop has no program that shows folders."});
    ShowStep(1);
    return;
  }
  if (screen_.output_option != kOutputIso && screen_.output_option != kOutputBurn) return;
  WriteFolderToDisc(ProjectFolder);
}

void WizardController::ShowWritingBars() {
  screen_.label22.clear();
  screen_.progress4 = 0;
  screen_.progress3 = 0;
  // Only a burn goes through a FIFO; an image file is written directly.
  screen_.progress4_visible = screen_.output_option == kOutputBurn;
  screen_.label13 = screen_.progress4_visible ? "Fifo Buffer " : "";
  screen_.label14 = "Writing progression ";
  sectors_total_ = 0;
}

void WizardController::StartImageOrBurn() {
  if (screen_.output_option != kOutputIso && screen_.output_option != kOutputBurn) return;
  ShowStep(5);
  log_.Clear();
  WriteFolderToDisc(ExistingVideoTsFolder);
}

void WizardController::WriteFolderToDisc(const fs::path& folder) {
  // The bars may have shown the compilation; from here they show the writing
  // (a DVD-Video layout has no step 10 that would relabel them).
  ShowWritingBars();
  burner_->SetCDName(screen_.label);
  // The image may have appeared since "Start >".
  if (!ConfirmReplaceImage()) {
    FailBeforeDiscJob("");  // back to the output step, every file kept
    return;
  }
  if (!BuildDiscLayout(folder)) return;
  Busy = true;
  StartDiscJob(screen_.output_option);
}

bool WizardController::StartDiscJob(int option) {
  if (disc_job_.active) {
    // One disc job of the wizard's at a time; its end is still awaited.
    FailBeforeDiscJob("Another disc job is running");
    return false;
  }
  disc_job_ = DiscJob{};
  disc_job_.active = true;
  disc_job_.mode_burn = option == kOutputBurn ? 1 : 0;
  Burning = true;  // every job of the wizard's is cancelled through CancelBurn
  refused_reason_.clear();
  starting_disc_job_ = true;
  if (option == kOutputIso) {
    // The image is written under a name of its own and renamed once complete,
    // so a failed build leaves an earlier image of that name as it was.
    disc_job_.iso_final = fs::path(screen_.output_dir) / (screen_.label + ".iso");
    disc_job_.iso_partial = PartialImageName(disc_job_.iso_final);
    burner_->CreateIso(disc_job_.iso_partial.native(), 0, 1);
    replace_confirmed_.clear();
  } else {
    const std::int32_t drive = screen_.selected_drive;
    burner_->Burner_SetSizeBuffer(32);
    burner_->SetPriorityThread(0);
    std::int32_t speed = 0;
    if (burner_->Burner_GetSpeedWrite(drive, screen_.speed_index, speed) < 0) speed = 0;
    burner_->Burner_SetWriteSpeed(drive, speed);
    burner_->Burner_BurnData(drive, 8, 1, 0, screen_.simulation ? 1 : 0, 1, 0, 1);
  }
  starting_disc_job_ = false;
  // The job's own events come later, through the dispatcher; an error
  // reported inside the call is the engine refusing to start it, and no end
  // event follows.
  if (disc_job_.active && !refused_reason_.empty()) {
    disc_job_ = DiscJob{};
    FailBeforeDiscJob("");
    return false;
  }
  view_.Refresh();
  return true;
}

void WizardController::FailBeforeDiscJob(const std::string& reason) {
  if (!reason.empty()) log_.AddRow(reason, ErrorRowKey(reason), LogIcon::kError);
  // The authored folder and the converted files stay for another try.
  EndJob(false);
  ShowStep(3);
  std::string text = "DVD Video creation Eror";
  const std::string why = reason.empty() ? refused_reason_ : reason;
  if (!why.empty()) text += ":\n" + why;
  if (!reason.empty() || !refused_reason_.empty()) ShowEndMessage(text, MessageIcon::kCritical, {});
  refused_reason_.clear();
}

void WizardController::ResetAfterBurn() {
  StopRequested = true;
  parts_.authoring->ClearAll();
  ShowStep(1);
  ClearConvertedColumn();
  DeleteConvertedFiles();
}

void WizardController::DeleteAuthoredFolders() {
  std::vector<fs::path> kept;
  for (const fs::path& folder : authored_folders_) {
    DeleteDvdFolder(folder.parent_path(), folder.filename().native());
    std::error_code ec;
    if (fs::symlink_status(folder, ec).type() != fs::file_type::not_found) kept.push_back(folder);
  }
  authored_folders_ = std::move(kept);  // tried again at the next clean-up
}

void WizardController::DeleteDvdFolder(const fs::path& folder, const std::string& label) {
  const fs::path project = folder / label;
  if (const std::optional<std::vector<std::string>> files = PlainFiles(project)) {
    for (const std::string& name : *files) {
      std::error_code ec;
      fs::remove(project / name, ec);  // a file that cannot go stays
    }
  }
  std::error_code ec;
  fs::remove(project, ec);  // only when it is empty now
}

}  // namespace vantora
