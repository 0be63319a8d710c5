#include "vantora/wizard_controller.h"
#include "platform/text.h"

#include <algorithm>
#include <system_error>

namespace vantora {

namespace fs = std::filesystem;

namespace {

struct StepLook {
  const char* detail;
  const char* next_caption;
  bool next_visible;
  bool previous_visible;
  const char* quit_caption;
};

constexpr StepLook kSteps[] = {
    {"DVD Video Project information", "Next >", true, true, "Quit"},
    {"Select the movies you want to add to your DVD Video", "Next >", true, true, "Quit"},
    {"DVD Menu Configuration", "Next >", true, true, "Quit"},
    {"Output parameters", "Start >", true, true, "Quit"},
    {"Files conversion", "Next >", false, false, "Cancel"},
    {"DVD Video Compilation", "Next >", false, false, "Cancel"},
};

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace

std::string DriveEntryText(int host_adapter, int target, int lun, const std::string& vendor,
                           const std::string& model, const std::string& revision) {
  return "[" + std::to_string(host_adapter) + ":" + std::to_string(target) + ":" + std::to_string(lun) +
         "] " + Trim(vendor) + " " + Trim(model) + " (" + Trim(revision) + ")";
}

std::string DiscLabelProblem(const std::string& label) {
  if (label.empty()) return "The disc label must not be empty.";
  if (label == "." || label == "..")
    return "The disc label must not be \".\" or \"..\": it names the project folder.";
  for (unsigned char c : label) {
    if (c == '/' || c == '\\')
      return "The disc label must not contain \"/\" or \"\\\": it names the project folder.";
    if (c < 0x20 || c == 0x7f) return "The disc label must not contain control characters.";
  }
  return "";
}

WizardController::WizardController(WizardParts parts, WizardView& view)
    : parts_(std::move(parts)), view_(view), log_(*parts_.clock) {
  log_.KeepFilesIn(parts_.folders.logs);
}

WizardController::~WizardController() {
  // Rows of probes still running are not added any more.
  alive_.reset();
  for (std::thread& t : probe_threads_) t.join();
  // A build still running is stopped and joined; an engine still loaded (no
  // normal end) is stopped with its threads.
  if (parts_.dispatcher) parts_.dispatcher->Abort();
  if (authoring_run_ && authoring_run_->running()) parts_.authoring->ClearAll();
  authoring_run_.reset();
  if (burner_) {
    burner_->Burner_StopListenDrive();
    burner_->UnloadCom();
    burner_->SetEvents(nullptr);
    burner_->SetMediaEvents(nullptr);
  }
}

bool WizardController::AuthoringRunning() const { return authoring_run_ && authoring_run_->running(); }

fs::path WizardController::ConfigPath() const { return ConfigFile(parts_.folders.config); }

void WizardController::Start() {
  screen_.status_version = "Version " + parts_.version;
  Burning = false;
  UseExistingVideoTs = false;
  FillBurnerList();
  CurrentStep = 0;
  FirstStep = kFirstStep;
  LastStep = kLastStep;
  HandleFirstRun(ConfigPath(), parts_.first_run, *parts_.shell);
  parts_.encoder->ClearPreview();
  ShowStep(0);
  screen_.gauge_gigabytes = true;
  screen_.gauge_maximum = 9000;
  AudioBitrate = 448;
  LoadSettingsIntoScreen();
  FillButtonColorLists();
  // The menu designer starts on the bundled background.
  view_.LoadMenuBackground("Default");
  RedrawMenuPreview(false);
  view_.Refresh();
}

void WizardController::LoadSettingsIntoScreen() {
  const WizardSettings s = LoadSettings(ConfigPath(), parts_.folders);
  TempFolder = s.temp_folder;
  screen_.temp_path = s.temp_folder;
  VideoBitrate = s.video_bitrate;
  screen_.bitrate_text = std::to_string(VideoBitrate);
  screen_.label = s.label;
  screen_.ntsc = s.ntsc;
  OptionNTSC_Click(s.ntsc);
  screen_.aspect_4x3 = s.aspect_4x3;
  OutputFolderSetting = s.output_folder;
  screen_.output_dir = s.output_folder;
  AddFolder = s.add_folder;
  screen_.preview_on = s.show_preview;
  parts_.encoder->SetPreviewEnabled(s.show_preview);
}

void WizardController::FillBurnerList() {
  burner_ = parts_.make_burner();
  burner_->SetEvents(this);
  burner_->SetMediaEvents(this);
  if (parts_.dispatcher) {
    auto dispatcher = parts_.dispatcher;
    burner_->SetDispatcher(dispatcher, [dispatcher] { dispatcher->Abort(); });
  }
  burner_->Burner_Init();
  screen_.drive_entries.clear();
  std::int16_t count = 0;
  if (burner_->Burner_DriveCount(count) < 0) count = 0;
  for (int i = 0; i < count; ++i) {
    std::int16_t ha = 0, id = 0, lun = 0;
    std::string vendor, model, revision;
    burner_->Burner_DriveHA(i, ha);
    burner_->Burner_DriveID(i, id);
    burner_->Burner_DriveLUN(i, lun);
    burner_->Burner_GetDriveVendor(i, vendor);
    burner_->Burner_DriveModel(i, model);
    burner_->Burner_DriveRevision(i, revision);
    screen_.drive_entries.push_back(DriveEntryText(ha, id, lun, vendor, model, revision));
  }
  const int saved = ReadBurnerEntry(ConfigPath());
  const int n = static_cast<int>(screen_.drive_entries.size());
  if (n == 0) {
    screen_.selected_drive = -1;
    screen_.drive_list_enabled = false;
    screen_.option1_enabled = false;
    screen_.option1_caption = "Burn the project on DVD (No compatible drive was found!)";
    screen_.output_option = kOutputIso;
    UpdateOutputFrames(kOutputIso);
    return;
  }
  screen_.drive_list_enabled = true;
  // A saved entry outside the list selects the first one.
  screen_.selected_drive = (saved >= 1 && saved <= n) ? saved - 1 : 0;
}

void WizardController::ListenSelectedDrive() {
  // Without a selected drive nothing is listened to.
  if (!burner_ || !DriveInList(screen_.selected_drive)) return;
  listening_ = ++listener_generation_;
  burner_->Burner_ListenDrive(screen_.selected_drive);
}

void WizardController::ShowStep(int step) {
  StopListener();
  CurrentStep = step;
  screen_.shown_step = step;
  screen_.previous_enabled = step != FirstStep;
  screen_.next_enabled = step != LastStep;
  screen_.label_step = "Step " + std::to_string(step + 1);
  if (step < 0 || step > 5) {
    view_.Refresh();
    return;
  }
  if (parts_.inhibitor != nullptr) {
    if (step == 4 || step == 5)
      parts_.inhibitor->Inhibit(step == 4 ? "Converting videos for a DVD" : "Making a DVD");
    else
      parts_.inhibitor->Release();
  }
  const StepLook& look = kSteps[step];
  screen_.label_detail_step = look.detail;
  screen_.next_caption = look.next_caption;
  screen_.next_visible = look.next_visible;
  screen_.previous_visible = look.previous_visible;
  screen_.quit_caption = look.quit_caption;
  if (step == 2) {
    screen_.menu_titles.clear();
    for (const VideoRow& row : screen_.rows) screen_.menu_titles.push_back(row.text);
    screen_.menu_title_text = screen_.label;
    screen_.menu.lines = screen_.menu_titles;
    screen_.menu.title = screen_.label;
    screen_.classical_menu = ReadClassicalMenu(ConfigPath());
    RedrawMenuPreview(false);
  } else if (step == 3) {
    // With the burn option, "Start >" waits for the listener's first report
    // of a usable disc, as after choosing that option.
    if (screen_.output_option == kOutputBurn) screen_.next_enabled = false;
    ListenSelectedDrive();
  }
  view_.Refresh();
}

bool WizardController::CheckDiscLabel() {
  const std::string problem = DiscLabelProblem(screen_.label);
  if (problem.empty()) return true;
  parts_.dialogs->ShowMessage(problem, kMessageTitle, MessageIcon::kExclamation);
  return false;
}

void WizardController::ApplyEncoderParameters(VideoEncoder* encoder) {
  VideoEncoder& e = encoder != nullptr ? *encoder : *parts_.encoder;
  e.SetAudioBitrate(AudioBitrate * 1000);
  e.SetAudioChannels(2);
  e.SetAudioSampleRate(48000);
  e.SetAudioBitsPerSample(16);
  VideoBitrate = ClampVideoBitrate(BitrateFromText(screen_.bitrate_text));
  e.SetVideoBitrate(VideoBitrate * 1000);
  e.SetAspect(screen_.aspect_4x3 ? kAspect4x3 : kAspect16x9);
  if (screen_.ntsc) {
    e.SetTvSystem(kTvSystemNtsc);
    e.SetFrameRate(29.97f);
    e.SetFrameSize(720, 480);
  } else {
    e.SetTvSystem(kTvSystemPal);
    e.SetFrameRate(25.0f);
    e.SetFrameSize(720, 576);
  }
}

void WizardController::ClearConvertedColumn() {
  for (VideoRow& row : screen_.rows) row.converted.clear();
}

void WizardController::NextButton_Click() {
  if (CurrentStep == 0 && !CheckDiscLabel()) return;
  CurrentStep = std::min(CurrentStep + 1, LastStep);
  switch (CurrentStep) {
    case 1: {
      ShowStep(1);
      std::error_code ec;
      if (!screen_.temp_path.empty() && fs::is_directory(screen_.temp_path, ec)) {
        TempFolder = screen_.temp_path;
      } else {
        TempFolder = parts_.folders.cache / "projects";
        screen_.temp_path = platform::PathToUtf8(TempFolder);
        fs::create_directories(TempFolder, ec);  // a failure shows later, at the first write
      }
      DeleteConvertedFiles();
      ApplyEncoderParameters();
      ClearConvertedColumn();
      screen_.menu_page_width_twips = kMenuPageWidthTwips;
      screen_.menu_page_height_twips = screen_.ntsc ? kMenuPageHeightNtscTwips : kMenuPageHeightPalTwips;
      screen_.bitrate_text = std::to_string(VideoBitrate);
      UpdateEstimatedSize();
      view_.Refresh();
      break;
    }
    case 2: {
      if (ProbesRunning()) {  // rows are still to come
        CurrentStep = 1;
        return;
      }
      if (screen_.rows.empty()) {
        parts_.dialogs->ShowMessage("You must insert at least 1 video file into your project", kMessageTitle,
                                    MessageIcon::kExclamation);
        CurrentStep -= 2;
        NextButton_Click();
        return;
      }
      ShowStep(2);
      UseExistingVideoTs = false;
      ExistingVideoTsFolder.clear();
      UpdateEstimatedSize();  // the gauge may have shown a VIDEO_TS folder
      screen_.option3_visible = true;
      screen_.next_enabled = true;
      std::error_code ec;
      fs::remove(parts_.folders.cache / "menutemp.avi", ec);
      view_.Refresh();
      break;
    }
    case 3: {
      if (screen_.classical_menu && !SaveMenuClip()) {
        CurrentStep = 2;  // the message told why; the menu step stays
        return;
      }
      FileIndex = 0;
      ShowStep(3);
      break;
    }
    case 4: {
      if (screen_.output_option == kOutputBurn && screen_.selected_drive < 0) {
        // Nothing is burnt without a drive.
        CurrentStep = 3;
        parts_.dialogs->ShowMessage(
            "No DVD writer is selected: choose one, or save the project as an ISO "
            "image file or as IFO, VOB files.",
            kMessageTitle, MessageIcon::kExclamation);
        return;
      }
      if (screen_.output_option == kOutputBurn && screen_.simulation && !disc_can_simulate_) {
        CurrentStep = 3;  // refused now rather than after the conversion
        parts_.dialogs->ShowMessage(screen_.simulation_tip, kMessageTitle, MessageIcon::kExclamation);
        return;
      }
      // Each check keeps the output step when it refuses or the user says No.
      replace_confirmed_.clear();
      if (!ConfirmDiscSpace() || !CheckFoldersBeforeStart() || !ConfirmReplaceImage()) {
        CurrentStep = 3;
        return;
      }
      screen_.progress1 = 0;
      screen_.progress2 = 0;
      if (!UseExistingVideoTs) {
        if (!CheckSourcesExist()) {
          CurrentStep = 3;
          return;
        }
        converted_targets_ = AssignConvertedFiles(screen_.rows, TempFolder);
        Busy = true;
        ShowStep(4);
        StopRequested = false;
        if (screen_.classical_menu) {
          FileIndex = 0;
          EncodeMenuVideo();
        } else {
          FileIndex = 1;
          ConvertNextFile(FileIndex);
        }
      } else {
        ShowStep(5);
        StartImageOrBurn();
      }
      break;
    }
    default:
      ShowStep(CurrentStep);
      break;
  }
}

void WizardController::PreviousButton_Click() {
  if (CurrentStep == 1) {
    const bool converted = std::any_of(screen_.rows.begin(), screen_.rows.end(),
                                       [](const VideoRow& row) { return !row.converted.empty(); });
    if (converted &&
        !parts_.dialogs->AskYesNo("Be carefull, all your already converted files will be lost if you "
                                  "change the project settings.\nDo you wan to continue",
                                  kMessageTitle, MessageIcon::kNone))
      return;
  }
  ShowStep(std::max(CurrentStep - 1, FirstStep));
}

bool WizardController::ConfirmCancel() {
  const bool disc = CurrentStep == 5 && DiscJobToCancel();
  const bool burn = disc && (disc_job_.mode_burn == 1 || screen_.output_option == kOutputBurn);
  std::string question;
  if (CurrentStep == 4) {
    question =
        "Stop the conversion? The videos converted so far are deleted and the conversion has to start again.";
  } else if (burn) {
    question = "Stop burning? A disc that is stopped while it is written may not be usable any more.";
  } else {
    question = "Stop making the DVD? The work done so far is lost.";
  }
  return parts_.dialogs->AskYesNo(question, kMessageTitle, MessageIcon::kExclamation);
}

void WizardController::QuitButton_Click() {
  // One click would throw away hours of work or a disc: it is confirmed.
  auto running = [this] {
    return CurrentStep == 4 || (CurrentStep == 5 && (Busy || DiscJobToCancel() || AuthoringRunning() ||
                                                     parts_.authoring->IsBuilding()));
  };
  const bool cancelling =
      cancel_after_encode_ || cancel_after_build_ || (DiscJobToCancel() && disc_job_.cancel_asked);
  if (running() && !cancelling) {
    const int step = CurrentStep;
    if (!ConfirmCancel()) return;
    // The job went on while the question was open; when it has ended or moved
    // on, there is nothing left that this answer was about.
    if (CurrentStep != step || !running()) return;
  }
  if (CurrentStep == 4) {
    StopRequested = true;
    if (RunningLanes() > 0) {
      // The files are deleted once every running encoding has ended.
      cancel_after_encode_ = true;
      StopAllLanes();
      return;
    }
    FinishConversionCancel();
  } else if (CurrentStep == 5 && DiscJobToCancel()) {
    StopRequested = true;
    disc_job_.cancel_asked = true;
    burner_->CancelBurn();  // the end arrives as the engine's end event
  } else if (CurrentStep == 5) {
    StopRequested = true;
    if (AuthoringRunning() || parts_.authoring->IsBuilding()) {
      // The build is asked to stop; clearing and the return to the video list
      // wait until the build has returned.
      parts_.authoring->ClearAll();
      cancel_after_build_ = true;
      return;
    }
    parts_.authoring->ClearAll();
    ClearConvertedColumn();
    DeleteConvertedFiles();
    EndJob(true);
  } else {
    ShutdownApplication();
  }
}

void WizardController::OnAuthoringReturned() {
  if (!cancel_after_build_) return;
  cancel_after_build_ = false;
  parts_.authoring->ClearAll();
  ClearConvertedColumn();
  DeleteConvertedFiles();
  DeleteAuthoredFolders();  // what the stopped build wrote
  EndJob(true);
}

void WizardController::EndJob(bool back_to_video_list) {
  Busy = false;
  Burning = false;
  if (parts_.inhibitor != nullptr) parts_.inhibitor->Release();
  if (back_to_video_list) ShowStep(1);
  view_.Refresh();
}

bool WizardController::QueryUnload() {
  if (Busy) {
    parts_.dialogs->ShowMessage("You must cancel the current process to close this window", kMessageTitle,
                                MessageIcon::kInformation);
    return true;
  }
  ShutdownApplication();
  return false;
}

void WizardController::Terminate() {
  if (Busy || cancel_after_build_ || AuthoringRunning()) {
    StopRequested = true;
    parts_.encoder->Stop();
    for (VideoEncoder* e : parts_.extra_encoders) e->Stop();
    if (DiscJobToCancel() && burner_) burner_->CancelBurn();
    parts_.authoring->ClearAll();
  }
  ShutdownApplication();
}

void WizardController::ShutdownApplication() {
  if (shut_down_) return;
  shut_down_ = true;
  WizardSettings s;
  s.temp_folder = screen_.temp_path;
  s.video_bitrate = VideoBitrate;
  s.label = screen_.label;
  s.ntsc = screen_.ntsc;
  s.aspect_4x3 = screen_.aspect_4x3;
  s.output_folder = screen_.output_dir;
  s.add_folder = AddFolder;
  s.show_preview = screen_.preview_on;
  SaveSettings(ConfigPath(), s, screen_.bitrate_text);
  if (parts_.inhibitor != nullptr) parts_.inhibitor->Release();
  // Workers blocked in an event are released before their threads are joined.
  if (parts_.dispatcher) parts_.dispatcher->Abort();
  if (AuthoringRunning()) parts_.authoring->ClearAll();
  authoring_run_.reset();
  // The encoders have ended before their files are deleted.
  parts_.encoder->Shutdown();
  for (VideoEncoder* e : parts_.extra_encoders) e->Shutdown();
  DeleteConvertedFiles();
  DeleteAuthoredFolders();
  if (burner_) {
    StopListener();
    burner_->UnloadCom();
    burner_->SetEvents(nullptr);
    burner_->SetMediaEvents(nullptr);
    burner_.reset();
  }
  view_.EndProgram();
}

void WizardController::Command1_Click() {
  const std::string folder = parts_.dialogs->BrowseForFolder("Select the temp directory");
  if (folder.empty()) return;
  screen_.temp_path = folder;
  TempFolder = folder;
  view_.Refresh();
}

void WizardController::CommandOutputDirSelect_Click() {
  const std::string folder = parts_.dialogs->BrowseForFolder("Select the output directory");
  if (folder.empty()) return;
  screen_.output_dir = folder;
  view_.Refresh();
}

void WizardController::OptionNTSC_Click(bool ntsc) {
  screen_.ntsc = ntsc;
  screen_.menu_page_width_twips = kMenuPageWidthTwips;
  screen_.menu_page_height_twips = ntsc ? kMenuPageHeightNtscTwips : kMenuPageHeightPalTwips;
  view_.Refresh();
}

void WizardController::UpdateOutputFrames(int mode) {
  StopListener();
  if (mode == kOutputBurn) {
    screen_.output_option = kOutputBurn;
    screen_.next_enabled = false;  // until the disc status finds a usable disc
    screen_.frame_burner_visible = true;
    screen_.frame_output_dir_visible = false;
    ListenSelectedDrive();
  } else if (mode == kOutputIso || mode == kOutputFolder) {
    screen_.output_option = mode;
    screen_.frame_burner_visible = false;
    screen_.frame_output_dir_visible = true;
    screen_.next_enabled = true;
  }
  view_.Refresh();
}

void WizardController::ImageCombo1_Click(int drive) {
  if (drive < 0 || drive >= static_cast<int>(screen_.drive_entries.size())) return;
  screen_.selected_drive = drive;
  StopListener();
  ListenSelectedDrive();
}

void WizardController::Combo2_Click(bool classical) {
  screen_.classical_menu = classical;
  std::string error;
  WriteClassicalMenu(ConfigPath(), classical, &error);
  view_.Refresh();
}

void WizardController::RecordCreatedFile(const fs::path& file) { created_files_.push_back(file); }

void WizardController::DeleteConvertedFiles() {
  std::vector<fs::path> kept;
  for (const fs::path& file : created_files_) {
    const bool is_source = std::any_of(screen_.rows.begin(), screen_.rows.end(), [&](const VideoRow& row) {
      std::error_code ec;
      return row.source == file || fs::equivalent(row.source, file, ec);
    });
    if (is_source) continue;  // never a user's own video
    std::error_code ec;
    fs::remove(file, ec);
    if (ec && fs::exists(file)) kept.push_back(file);  // tried again at the next clean-up
  }
  created_files_ = std::move(kept);
}

}  // namespace vantora
