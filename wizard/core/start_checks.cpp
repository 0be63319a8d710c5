// What "Start >" checks before hours of conversion begin: that the folders the
// project is written to can be written and have room for it, and that an
// image of the same name is replaced only when the user says so.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <system_error>

#include "platform/fileio.h"
#include "platform/text.h"
#include "vantora/wizard_controller.h"

namespace vantora {

namespace fs = std::filesystem;

namespace {

constexpr double kMegabyte = 1024.0 * 1024.0;

std::string SystemReason(int error) { return std::generic_category().message(error); }

// The reason a new file cannot be made in folder, or "" when it can.
std::string WriteProblem(const fs::path& folder) {
  platform::FileError error;
  platform::File probe = platform::CreateTemporaryBeside(folder / ".vantora-write-check", &error);
  if (!probe.is_open()) return SystemReason(error.code);
  const fs::path name = probe.path();
  probe.Close(&error);
  std::error_code ec;
  fs::remove(name, ec);
  return "";
}

}  // namespace

std::optional<FolderSpace> MeasureFolderSpace(const fs::path& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return std::nullopt;
  platform::FileError error;
  const std::optional<std::uint64_t> free = platform::FreeSpace(folder, &error);
  if (!free) return std::nullopt;
  return FolderSpace{static_cast<std::uint64_t>(st.st_dev), *free};
}

std::string ImageWriteReason(const fs::path& image) {
  const fs::path folder = image.parent_path();
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return SystemReason(ENOENT);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return SystemReason(errno);
  if (fs::symlink_status(image, ec).type() != fs::file_type::not_found) return SystemReason(EEXIST);
  return WriteProblem(folder);
}

bool WizardController::CheckFoldersBeforeStart() {
  const bool output_used = screen_.output_option == kOutputIso || screen_.output_option == kOutputFolder;
  const fs::path output = screen_.output_dir;
  if (output_used) {
    if (screen_.output_dir.empty()) {
      parts_.dialogs->ShowMessage("Select the output directory first.", kMessageTitle,
                                  MessageIcon::kExclamation);
      return false;
    }
    std::error_code ec;
    fs::create_directories(output, ec);
    const std::string problem = ec ? ec.message() : WriteProblem(output);
    if (!problem.empty()) {
      parts_.dialogs->ShowMessage(
          "Can't write the destination file\n" + platform::PathToUtf8(output) + ": " + problem, kMessageTitle,
          MessageIcon::kCritical);
      return false;
    }
  }
  const bool converts = !UseExistingVideoTs;
  if (converts) {
    const std::string problem = WriteProblem(TempFolder);
    if (!problem.empty()) {
      parts_.dialogs->ShowMessage(
          "Can't write in the temporary folder\n" + platform::PathToUtf8(TempFolder) + ": " + problem,
          kMessageTitle, MessageIcon::kCritical);
      return false;
    }
  }

  // What each folder receives, in megabytes.
  double project_mb = 0, converted_mb = 0;
  if (UseExistingVideoTs) {
    project_mb = DvdFilesMegabytes(ExistingVideoTsFolder);
  } else {
    project_mb = EstimatedSizeKB / 1024.0;
    for (const VideoRow& row : screen_.rows) {
      std::error_code ec;
      const auto size = row.converted.empty() ? 0 : fs::file_size(row.converted, ec);
      if (!ec) converted_mb += static_cast<double>(size) / kMegabyte;
    }
  }
  struct Need {
    double megabytes = 0;
    std::vector<std::pair<std::string, fs::path>> folders;  // which folder, its path
    std::uint64_t available = 0;
  };
  std::map<std::uint64_t, Need> needs;  // by file system
  auto add = [&](const std::string& which, const fs::path& folder, double megabytes) {
    if (megabytes <= 0) return;
    const std::optional<FolderSpace> space =
        parts_.folder_space ? parts_.folder_space(folder) : MeasureFolderSpace(folder);
    if (!space) return;  // not measurable: the write itself will tell
    Need& need = needs[space->device];
    need.megabytes += megabytes;
    need.folders.emplace_back(which, folder);
    need.available = space->available;
  };
  if (converts) {
    // The converted videos, and the DVD folder authored beside them unless
    // it goes to the output folder.
    const double still_to_convert = std::max(0.0, project_mb - converted_mb);
    add("temporary", TempFolder,
        still_to_convert + (screen_.output_option == kOutputFolder ? 0 : project_mb));
  }
  if (output_used) add("output", output, project_mb);

  for (const auto& [device, need] : needs) {
    const double free_mb = static_cast<double>(need.available) / kMegabyte;
    if (need.megabytes <= free_mb) continue;
    std::string where;
    for (const auto& [which, folder] : need.folders)
      where += (where.empty() ? "the " : " and the ") + which + " folder " + platform::PathToUtf8(folder);
    if (need.folders.size() > 1) where += " (one disk)";
    const std::string text = "There is not enough free space for " + where + ": the project needs about " +
                             MegabytesText(need.megabytes) + " MB there, and " + MegabytesText(free_mb) +
                             " MB are free.\nStart anyway?";
    if (!parts_.dialogs->AskYesNo(text, kMessageTitle, MessageIcon::kExclamation)) return false;
  }
  return true;
}

bool WizardController::ConfirmReplaceImage() {
  if (screen_.output_option != kOutputIso) return true;
  const fs::path image = fs::path(screen_.output_dir) / (screen_.label + ".iso");
  std::error_code ec;
  if (fs::symlink_status(image, ec).type() == fs::file_type::not_found) return true;
  if (image == replace_confirmed_) return true;
  if (!parts_.dialogs->AskYesNo(
          "The file " + platform::PathToUtf8(image) + " already exists.\nDo you want to replace it?",
          kMessageTitle, MessageIcon::kExclamation))
    return false;
  replace_confirmed_ = image;
  return true;
}

}  // namespace vantora
