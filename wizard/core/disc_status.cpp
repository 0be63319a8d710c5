// The drive list's disc status on the output step: the write speeds, the
// medium's name and state, its free space, and the erase of a full
// rewritable DVD.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "platform/text.h"
#include "vantora/bar_layout.h"
#include "vantora/format.h"
#include "vantora/wizard_controller.h"

namespace vantora {

namespace fs = std::filesystem;

namespace {

// Refreshes in a row of a drive whose medium keeps changing while it is asked.
constexpr int kRefreshAttempts = 3;

bool IsUsableDvdName(const std::string& name) {
  static const char* const kNames[] = {"DVD+RW", "DVD-RW", "DVD+R", "DVD-R", "DVD+R DL", "DVD-R DL"};
  return std::any_of(std::begin(kNames), std::end(kNames), [&](const char* n) { return name == n; });
}

// This wizard burns DVDs only, so only a rewritable DVD is worth erasing.
bool IsErasableDvdName(const std::string& name) { return name == "DVD+RW" || name == "DVD-RW"; }

int AccessError(const std::string& device_path) {
  return ::access(device_path.c_str(), R_OK | W_OK) == 0 ? 0 : errno;
}

std::string GroupOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "";
  std::vector<char> buffer(16384);
  struct group entry {};
  struct group* found = nullptr;
  if (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
    return std::to_string(st.st_gid);
  return found->gr_name;
}

}  // namespace

std::string DevicePermissionText(const std::string& device_path, int access_error) {
  if (access_error != EACCES && access_error != EPERM) return "";
  const std::string group = GroupOf(device_path);
  if (group.empty())
    return "You may not use this drive: " + device_path + " cannot be opened (permission denied).";
  return "You may not use this drive: you are not in the group \"" + group + "\" that owns " + device_path +
         ". Ask to be added to that group, then log in again.";
}

std::string SimulationRefusal(const std::string& medium) {
  return "A " + medium +
         " cannot be burned in simulation: only CD-R, CD-RW, DVD-R and DVD-RW discs record a test write.";
}

bool WizardController::DriveInList(int d) const {
  return d >= 0 && d < static_cast<int>(screen_.drive_entries.size());
}

void WizardController::StopListener() {
  listening_ = 0;
  if (burner_) burner_->Burner_StopListenDrive();
}

void WizardController::BurnerOnMediaChange() {
  // A poll that was under way when the listener stopped may still report:
  // it belongs to no step any more.
  if (listening_ == 0 || CurrentStep != 3) return;
  RefreshDiscStatus(true);
}

void WizardController::BurnerOnEraseComplete(std::int32_t /*DriveNum*/, std::int32_t InError) {
  erasing_ = false;
  view_.CloseEraseForm();
  const bool failed = InError == 0;
  if (failed) {
    const std::string message = "The disc could not be erased.";
    log_.AddRow(message, log_clock_date_time() + " " + message, LogIcon::kError);
    parts_.dialogs->ShowMessage(message, kMessageTitle, MessageIcon::kCritical);
  }
  if (listening_ == 0 || CurrentStep != 3) return;
  // After a failed erase the disc is still full: it is shown as it is,
  // without asking again.
  RefreshDiscStatus(!failed);
}

void WizardController::RefreshDiscStatus(bool may_ask_erase) {
  const int d = screen_.selected_drive;
  if (!burner_ || !DriveInList(d)) return;
  const unsigned generation = listening_;
  // The user's speed stays chosen when the new list still offers it.
  const bool had_speed =
      screen_.speed_index >= 0 && screen_.speed_index < static_cast<int>(screen_.speed_entries.size());
  const std::string chosen_speed = had_speed ? screen_.speed_entries[screen_.speed_index] : "";
  screen_.speed_entries.clear();
  screen_.speed_index = -1;
  disc_free_mb_ = -1;

  bool usable = false;
  bool can_simulate = true;
  std::string s;
  const std::string device = burner_->DriveDevicePath(d);
  const int access_error =
      device.empty() ? 0 : (parts_.device_access ? parts_.device_access(device) : AccessError(device));
  const std::string denied = DevicePermissionText(device, access_error);
  if (!denied.empty()) {
    // Every query would fail and read as "no disc": say why instead.
    s = denied;
  } else {
    // One look at the medium answers every question below, so they cannot
    // mix a disc taken out meanwhile with the one put in; when the drive
    // shows that its medium changed while they were asked, they are asked
    // again.
    struct Refresh {
      DiscBurner& burner;
      int drive;
      bool open = true;
      bool End() {
        open = false;
        return burner.EndMediaRefresh(drive);
      }
      ~Refresh() {
        if (open) burner.EndMediaRefresh(drive);
      }
    };
    for (int attempt = 1;; ++attempt) {
      screen_.speed_entries.clear();
      screen_.speed_index = -1;
      usable = false;
      can_simulate = true;
      disc_free_mb_ = -1;
      Refresh refresh{*burner_, d};
      burner_->BeginMediaRefresh(d);
      std::int32_t count = 0;
      if (burner_->Burner_SpeedWriteCount(d, count) < 0) count = 0;
      for (std::int32_t i = 0; i < count; ++i) {
        std::int32_t speed = 0;
        if (burner_->Burner_GetSpeedWrite(d, i, speed) < 0) continue;
        screen_.speed_entries.push_back(std::to_string(speed) + " x");
      }
      if (!screen_.speed_entries.empty()) {
        const auto kept = std::find(screen_.speed_entries.begin(), screen_.speed_entries.end(), chosen_speed);
        screen_.speed_index =
            kept == screen_.speed_entries.end() ? 0 : static_cast<int>(kept - screen_.speed_entries.begin());
      }

      std::string name = "Unknown";
      std::int32_t type = -1;  // a failed question reads as no medium
      burner_->Burner_GetMediaType(d, type);
      std::string answer;
      if (burner_->Burner_GetMediaTypeName(d, type, answer) >= 0) name = answer;
      usable = IsUsableDvdName(name);
      s = name;
      if (type == -1) {
        // Without a medium the drive's speeds say nothing about a burn.
        screen_.speed_entries.clear();
        screen_.speed_index = -1;
      }
      if (type != -1) {
        std::int32_t empty = 0, writable = 0;
        burner_->Burner_MediaIsEmpty(d, empty);
        if (empty != 0) {
          s += " - Empty Disc";
        } else if (burner_->Burner_DiskIsStillWritable(d, writable), writable != 0) {
          s += " - Appendable (Please insert Empty disc)";
          usable = false;
        } else {
          s += " - Complete disc (0 MB available)";
          // One question and one erase at a time: the media changes that
          // arrive while the question waits or the erase runs ask nothing.
          if (IsErasableDvdName(name) && may_ask_erase && !erasing_) {
            erasing_ = true;
            if (parts_.dialogs->AskYesNo("This disk is no more writable. Do you want to erase this disk?",
                                         kMessageTitle, MessageIcon::kNone)) {
              erasing_ = true;
              if (burner_->Burner_EraseDisk(d, 1) < 0) erasing_ = false;  // no end will come
              // The erase's end closes the form and shows the disc again; an
              // end that came before the form would leave it open for good.
              if (erasing_) view_.ShowEraseForm();
              return;
            }
            erasing_ = false;
          }
          usable = false;
        }
      }
      if (usable) {
        float total = 0, used = 0;
        burner_->Burner_GetMediaTotalSpace(d, total);
        burner_->Burner_GetMediaUsedSpace(d, used);
        disc_free_mb_ = total - used;
        s += " (" + FormatSingle(total - used) + " MB)";
        can_simulate = burner_->MediaCanSimulate(d);
      }
      if (refresh.End() || attempt == kRefreshAttempts) break;
    }
  }
  // The answers may have taken a while: they are shown only if the output
  // step and its listener are still those the questions were asked for.
  if (CurrentStep != 3 || generation != listening_) return;
  if (screen_.output_option == kOutputBurn) screen_.next_enabled = usable;
  disc_can_simulate_ = can_simulate;
  screen_.simulation_enabled = can_simulate;
  if (!can_simulate) {
    // A simulated burn would only be refused after the whole conversion.
    screen_.simulation = false;
    screen_.simulation_tip = SimulationRefusal(s.substr(0, s.find(" - ")));
  } else {
    screen_.simulation_tip.clear();
  }
  screen_.disc_status_text = s;
  screen_.insert_disc_visible = !usable;
  view_.Refresh();
}

bool WizardController::ConfirmDiscSpace() {
  const double project_mb =
      UseExistingVideoTs ? DvdFilesMegabytes(ExistingVideoTsFolder) : EstimatedSizeKB / 1024.0;
  if (screen_.output_option != kOutputBurn) {
    // An image or a folder is meant for a disc: the gauge's limit mark.
    if (project_mb <= kDvdLimitMegabytes) return true;
    return parts_.dialogs->AskYesNo("The project (" + MegabytesText(project_mb) +
                                        " MB) is larger than a single-layer DVD (" +
                                        std::to_string(kDvdLimitMegabytes) + " MB) by " +
                                        MegabytesText(project_mb - kDvdLimitMegabytes) + " MB. Go on anyway?",
                                    kMessageTitle, MessageIcon::kExclamation);
  }
  if (disc_free_mb_ < 0) return true;  // no usable disc was measured; the engine decides
  if (project_mb <= static_cast<double>(disc_free_mb_)) return true;
  return parts_.dialogs->AskYesNo(
      "The project (" + MegabytesText(project_mb) + " MB) is larger than the free space on the disc (" +
          FormatSingle(disc_free_mb_) + " MB) by " +
          MegabytesText(project_mb - static_cast<double>(disc_free_mb_)) + " MB. Burn anyway?",
      kMessageTitle, MessageIcon::kExclamation);
}

}  // namespace vantora
