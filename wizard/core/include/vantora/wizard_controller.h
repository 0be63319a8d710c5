// The wizard's main logic, free of any toolkit: its state (current step, job
// flags), start-up, the six steps and their buttons, the project settings of
// step 0, the output options of step 3, the drive list, closing and
// shut-down. A view (the main window) shows WizardScreen and forwards the
// user's clicks; every handler runs on the view's thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/http.h"
#include "vantora/authoring_run.h"
#include "vantora/button_colors.h"
#include "vantora/disc_burner.h"
#include "vantora/functions.h"
#include "vantora/job_log.h"
#include "vantora/menu_layout.h"
#include "vantora/settings.h"
#include "vantora/ui_event_dispatcher.h"
#include "vantora/video_encoder.h"
#include "vantora/video_list.h"

namespace vantora {

inline constexpr int kFirstStep = 0;
inline constexpr int kLastStep = 5;

inline constexpr char kClassicalMenu[] = "Classical Menu";
inline constexpr char kWithoutMenu[] = "DVD Without Menu";

// Output options of step 3.
enum OutputOption : int { kOutputBurn = 1, kOutputIso = 2, kOutputFolder = 3 };

// Menu page size in twips by TV system.
inline constexpr int kMenuPageWidthTwips = 10823;
inline constexpr int kMenuPageHeightPalTwips = 8663;
inline constexpr int kMenuPageHeightNtscTwips = 7237;

// Everything the main window shows; the view writes the user's edits of
// step 0 and step 3 back into it.
struct WizardScreen {
  std::string status_version;  // "Version a.b.c"
  int shown_step = -1;         // the page shown
  std::string label_step;
  std::string label_detail_step;
  std::string next_caption = "Next >";
  bool next_visible = true;
  bool next_enabled = true;
  bool previous_visible = true;
  bool previous_enabled = false;
  std::string quit_caption = "Quit";

  // Step 0.
  std::string label = kDefaultDiscLabel;  // Text1
  bool ntsc = true;                       // OptionNTSC, else OptionPAL
  bool aspect_4x3 = true;                 // Option43, else Option169
  std::string bitrate_text = "4500";      // TextBitrate
  std::string temp_path;                  // TextPath
  int menu_page_width_twips = kMenuPageWidthTwips;
  int menu_page_height_twips = kMenuPageHeightNtscTwips;

  // Step 1.
  std::vector<VideoRow> rows;                                // ListViewChapters
  std::string estimated_size_text = "Estimated Size: 0 MB";  // Label6
  std::string total_duration_text = "00:00";                 // Label5
  int gauge_value = 0;                                       // CapacityView
  bool probing = false;                                      // probes run: Next and Clear wait

  // Step 2.
  std::vector<std::string> menu_titles;  // List1
  std::string menu_title_text;           // TextTitleDVD
  bool classical_menu = true;            // Combo2; Picture7 shown with it
  MenuDesign menu;                       // the designer's controls
  // The button colour lists (normal, selected, activated): the chosen
  // entry (-1 before the first choice) and the swatch.
  int button_color[3] = {-1, -1, -1};
  Rgb button_swatch[3] = {kUnchosenSwatch, kUnchosenSwatch, kUnchosenSwatch};

  // Step 3.
  int output_option = kOutputIso;
  bool option1_enabled = true;
  std::string option1_caption = "Burn the project on DVD";
  bool option3_visible = true;  // with Image12
  bool frame_burner_visible = false;
  bool frame_output_dir_visible = true;
  std::string output_dir;                  // TextOutputDir
  std::vector<std::string> drive_entries;  // ImageCombo1
  int selected_drive = -1;                 // 0-based; -1 with no drive
  bool drive_list_enabled = true;
  int speed_index = -1;                    // Combo1's ListIndex; -1 with no speed listed
  bool simulation = false;                 // CheckSimulation
  bool simulation_enabled = true;          // false for a medium that records no test write
  std::string simulation_tip;              // why the switch is disabled
  std::vector<std::string> speed_entries;  // Combo1: "16 x", ...
  std::string disc_status_text = "No Media (0 MB available)";  // Label19
  bool insert_disc_visible = true;                             // Label20

  // Step 4.
  bool preview_on = true;          // Check1
  int progress1 = 0;               // MyProgressBar1
  int progress2 = 0;               // MyProgressBar2
  std::string file_converting;     // LabelFileConverting
  std::string conversion_caption;  // Label10
  std::string file_progress;       // LabelStatus
  std::string frames_encoded;      // LabelPercent
  std::string time_elapsed;        // Label12: since the conversion started
  std::string time_left;           // LabelTimeLeft: the estimate of what is left

  // Step 5.
  std::string label13, label14, label22;
  int progress3 = 0;              // MyProgressBar3: the whole build, then the sectors written
  int progress4 = 0;              // MyProgressBar4: the build's step, then the FIFO
  bool progress4_visible = true;  // Label13 and MyProgressBar4: an image file has no FIFO to show

  // The capacity gauge: gigabyte scale, maximum in MB.
  bool gauge_gigabytes = false;
  int gauge_maximum = 0;
};

// What the controller asks of its view.
class WizardView {
 public:
  virtual ~WizardView() = default;
  // Show the screen state again.
  virtual void Refresh() = 0;
  // Writes the menu page as a 24-bit bitmap; false when it cannot.
  virtual bool SaveMenuPicture(const std::filesystem::path& bitmap) = 0;
  // How big a text is on the menu page (the page is 96 dots per inch).
  virtual TextExtent MeasureMenuText(const MenuFont& font, const std::string& text) {
    return {0.5 * font.points * static_cast<double>(text.size()), font.points * 4.0 / 3.0};
  }
  // Draws the menu page (markers hidden or not) and shows it in the
  // thumbnail and the preview window.
  virtual void ShowMenuPage(const MenuDesign&, const MenuLayout&, bool /*hide_markers*/) {}
  // Loads the menu background from picture ("Default": the bundled one);
  // "" on success, else why it cannot be used (the old background stays).
  virtual std::string LoadMenuBackground(const std::filesystem::path& /*picture*/) { return ""; }
  // The erase form ("Erasing disk"), shown modally until CloseEraseForm;
  // events are delivered meanwhile. A view without it returns at once.
  virtual void ShowEraseForm() {}
  virtual void CloseEraseForm() {}
  // Ends the program's event loop (after the shut-down's clean-up).
  virtual void EndProgram() = 0;
};

// The file system that holds a folder, and its free space for the user.
struct FolderSpace {
  std::uint64_t device = 0;
  std::uint64_t available = 0;  // bytes
};

// The folder's file system and free space; nullopt when it cannot be read.
std::optional<FolderSpace> MeasureFolderSpace(const std::filesystem::path& folder);

// Why the image file cannot be created (the system's words), or "" when the
// reason cannot be told.
std::string ImageWriteReason(const std::filesystem::path& image);

struct WizardParts {
  UserFolders folders;
  std::string version = "1.0.0";
  FirstRunPage first_run;
  DiscBurnerFactory make_burner;          // must give an engine
  AuthoringControl* authoring = nullptr;  // required
  VideoEncoder* encoder = nullptr;        // required
  // Encoders that convert rows alongside `encoder`, each running one file at
  // a time; empty: the rows are converted one after the other.
  std::vector<VideoEncoder*> extra_encoders;
  PictureClipMaker* clip_maker = nullptr;         // required
  Dialogs* dialogs = nullptr;                     // required
  Shell* shell = nullptr;                         // required
  std::shared_ptr<UiEventDispatcher> dispatcher;  // may be null (events then run directly)
  LogClock* clock = nullptr;                      // required
  // Held while the conversion and compilation steps show; null: none.
  SleepInhibitor* inhibitor = nullptr;
  // Probes the files added to the list; null: the encoder's Open, on the
  // caller's thread.
  MediaProber* prober = nullptr;
  // Runs a task later on the view's thread; null: probes run on the caller's
  // thread and rows are added before AddVideoFiles returns.
  std::function<void(std::function<void()>)> post_to_ui;
  platform::HttpLimits http_limits;  // of the update check
  // Whether the user may open a drive's device for reading and writing: 0,
  // or the errno of the refusal. Null: access(2).
  std::function<int(const std::string& device_path)> device_access;
  // The file system and free space of a folder. Null: MeasureFolderSpace.
  std::function<std::optional<FolderSpace>(const std::filesystem::path& folder)> folder_space;
  // Seconds of a steady clock, for the conversion's elapsed and remaining
  // time. Null: std::chrono::steady_clock.
  std::function<double()> steady_seconds;
};

class WizardController : private DiscBurnerEvents, private DiscMediaEvents {
 public:
  // parts' pointers must outlive the controller; view too.
  WizardController(WizardParts parts, WizardView& view);
  ~WizardController();
  WizardController(const WizardController&) = delete;
  WizardController& operator=(const WizardController&) = delete;

  // Start-up: version, drive list, first run, encoder preview, step 0, gauge,
  // settings.
  void Start();

  void ShowStep(int step);
  void NextButton_Click();
  void PreviousButton_Click();
  void QuitButton_Click();
  // Closing the window. True when the close is refused (a job runs).
  bool QueryUnload();
  // A request from outside to end (SIGTERM): stops what runs, then ends
  // normally.
  void Terminate();
  void ShutdownApplication();

  // Handlers of step 0 and step 3.
  void Command1_Click();
  void CommandOutputDirSelect_Click();
  void OptionNTSC_Click(bool ntsc);
  void UpdateOutputFrames(int mode);
  void ImageCombo1_Click(int drive);
  // Reads the speeds and the medium of the selected drive into the output
  // step. may_ask_erase: a full rewritable DVD brings the erase question.
  void RefreshDiscStatus(bool may_ask_erase = true);
  void Combo2_Click(bool classical);
  // Adds a video to the list (probed on the caller's thread).
  void AddVideo(const std::filesystem::path& source);

  // Step 1: the video list.
  void LabelAddFile_Click();  // the add dialog
  // Probes the files (off the view's thread when post_to_ui is set) and adds
  // them in the given order.
  void AddVideoFiles(const std::vector<std::filesystem::path>& files);
  // Dropped data: only local files are taken, others are ignored.
  void ListViewChapters_OLEDragDrop(const std::vector<std::string>& local_files);
  void Image8_Click(int selected_row);  // remove
  void Image2_Click();                  // clear
  void Image7_Click();                  // an existing VIDEO_TS folder
  void Slider1_Change(int kbit_per_second);
  // Waits until the probes started so far have ended and their rows are added
  // (tests; the view pumps its events instead).
  bool ProbesRunning() const { return probe_batches_ > 0; }

  // Step 2: the menu designer and the button colours.
  void Command4_Click();  // background picture
  void TitleColor_Click();
  void ChaptersColor_Click();
  void FillButtonColorLists();
  void ButtonColor_Click(ButtonState state, int index);
  std::vector<MenuButtonRect> MenuButtons;

  // Step 4: the events of a conversion lane's encoder (0: `encoder`, i:
  // extra_encoders[i - 1]), on the view's thread.
  void EncoderProgress(int lane, std::uint8_t percent);
  void EncoderCompleted(int lane, const EncodeResult& result);
  void Taldex1_Progress(std::uint8_t percent) { EncoderProgress(0, percent); }
  void Taldex1_Completed(const EncodeResult& result) { EncoderCompleted(0, result); }
  // Check1: the preview of the encoding that step 4 follows, on or off.
  void Check1_Click(bool on);
  // How many files are converted at once.
  int ConversionLanes() const { return static_cast<int>(1 + parts_.extra_encoders.size()); }

  // The About box's "Check for Updates".
  void CheckStart();

  // The end of every conversion, authoring or disc job, whatever its outcome:
  // clears Busy and Burning, and returns to step 1 when asked.
  void EndJob(bool back_to_video_list);
  // Called when the authoring control's build has returned; a cancel asked
  // during the build is carried out now.
  void OnAuthoringReturned();
  // A file the wizard created in the temporary folder (a converted video);
  // only such files are removed by DeleteConvertedFiles.
  void RecordCreatedFile(const std::filesystem::path& file);

  // Routines that later steps provide.
  void UpdateEstimatedSize();
  void DeleteConvertedFiles();
  void RedrawMenuPreview(bool final_page);
  void EncodeMenuVideo();
  void ConvertNextFile(int file_index);
  void StartDvdBuild();
  void StartImageOrBurn();

  // The authoring control's events (run on the user-interface thread).
  void Quillon1_TotalProcessing(double iCurrentPos, double iOverallPos);
  void Quillon1_OnCompleted();
  // Fills the disc engine's project tree with the DVD-Video files of folder;
  // false (with the reason shown) when the folder holds no VIDEO_TS.IFO or
  // the engine refused a file.
  bool BuildDiscLayout(const std::filesystem::path& folder);
  void ResetAfterBurn();
  void DeleteDvdFolder(const std::filesystem::path& folder, const std::string& label);
  // Whether a disc-engine job that the wizard started has not ended yet.
  bool DiscJobRunning() const { return disc_job_.active; }
  // Whether the authoring build still runs on its worker.
  bool AuthoringRunning() const;

  WizardScreen& screen() { return screen_; }
  JobLog& job_log() { return log_; }
  DiscBurner* burner() { return burner_.get(); }
  std::filesystem::path ConfigPath() const;

  // Form state.
  int CurrentStep = 0;
  int LastStep = kLastStep;
  int FirstStep = kFirstStep;
  int VideoBitrate = kDefaultVideoBitrate;
  int AudioBitrate = 448;
  std::int32_t EstimatedSizeKB = 0;
  std::filesystem::path TempFolder;
  int FileIndex = 0;
  bool StopRequested = false;
  bool Busy = false;
  std::string OutputFolderSetting;
  bool Burning = false;
  std::filesystem::path ProjectFolder;
  bool UseExistingVideoTs = false;
  std::filesystem::path ExistingVideoTsFolder;
  std::string AddFolder;

 private:
  // The disc-engine job that the wizard started and whose end it waits for.
  struct DiscJob {
    bool active = false;
    int mode_burn = 0;                  // 1 for a burn
    bool error = false;                 // an error was reported during the job
    bool cancel_asked = false;          // the user pressed Cancel
    std::string reason;                 // the first error's text
    std::filesystem::path iso_partial;  // the image while it is written
    std::filesystem::path iso_final;    // its name once complete
  };

  // DiscBurnerEvents.
  void OnBuildingProcess(std::int32_t Status, std::int32_t FileIndex, const std::string& FileName,
                         std::int32_t FileSize, std::int32_t FileProgress, std::int32_t TotalImageSize,
                         std::int32_t TotalImageProgress) override;
  void OnBuildingError(std::int32_t ErrorNumber, const std::string& ErrorDescription) override;
  void OnEndBuild(std::int32_t Canceled, std::int32_t Error) override;
  void BurnerOnError(std::int32_t ErrorNumber) override;
  void BurnerCloseTrack(std::int32_t Track) override;
  void BurnerCloseSession(std::int32_t Session) override;
  void BurnerOnEndBurn(std::int32_t ModeBurn, std::int32_t Cancel, std::int32_t ErrorBurner) override;
  void BurningErrorViewDescription(const std::string& ErrorDesc) override;
  void BurnerBufferStatus(std::int32_t MaxBuffer, std::int32_t SizeBuffer) override;

  void OnAuthoringBuildReturned(bool built, const std::string& error_text);
  // Ends the layout's row of the job log once the layout is over (step 10,
  // the first sectors or FIFO report, or the end of a job that laid it out):
  // the row shows its last step and, when the writing began, "Writing
  // started !" follows with the bars relabelled for the writing.
  void EndLayoutRow(bool writing = true);
  // The message box that ends a job: text, then each non-empty note on a
  // line of its own (where the result is, why it failed), then the job log's
  // file when there is one.
  void ShowEndMessage(const std::string& text, MessageIcon icon, const std::vector<std::string>& notes);
  // Removes the DVD folders the authoring made in a temporary folder, in the
  // folder each was made in (the temporary folder may have changed since).
  void DeleteAuthoredFolders();
  // Shows the FIFO and writing bars, empty, lays the folder out in the
  // engine's tree and starts the image or the burn of it.
  void WriteFolderToDisc(const std::filesystem::path& folder);
  void ShowWritingBars();  // Label13/14/22 and the bars, for the image or burn about to start
  // Starts the image or the burn of the tree just laid out; false, with the
  // reason shown, when the engine did not start it.
  bool StartDiscJob(int option);
  // A job that could not start or failed before its end: says why, keeps
  // every file and goes back to the output step.
  void FailBeforeDiscJob(const std::string& reason);
  void NoteJobError(const std::string& reason);
  // Whether Cancel goes to the disc engine: a job is marked as burning, or
  // the end of one the wizard started is still awaited (a refused second
  // start has ended its own job, not that one).
  bool DiscJobToCancel() const { return Burning || disc_job_.active; }
  // Keys of the job log's rows: date " " time, and with the new row's number
  // and the message for error rows.
  std::string log_clock_date_time() const { return parts_.clock->Date() + " " + parts_.clock->Time(); }
  std::string ErrorRowKey(const std::string& message) const;

  // DiscMediaEvents: applied only while the output step shows and its
  // listener runs.
  void BurnerOnMediaChange() override;
  void BurnerOnEraseComplete(std::int32_t DriveNum, std::int32_t InError) override;
  // Whether d is a number of the drive list (nothing else reaches the engine).
  bool DriveInList(int d) const;
  void StopListener();
  // At "Start >" with the burn option: false when the project is larger than
  // the disc's free space and the user does not want to go on.
  bool ConfirmDiscSpace();
  // At "Start >": the output and temporary folders can be written, and when
  // one has less free space than the project needs there the user is asked.
  bool CheckFoldersBeforeStart();
  // With the ISO output: an image of the same name is replaced only after the
  // user said Yes (once per start).
  bool ConfirmReplaceImage();

  void FillBurnerList();
  void LoadSettingsIntoScreen();
  // The parameter block, given to e (null: `encoder`).
  void ApplyEncoderParameters(VideoEncoder* e = nullptr);
  void ClearConvertedColumn();
  void ListenSelectedDrive();
  // At Cancel while a conversion or compilation runs: whether the user
  // confirms that the work or the disc is given up.
  bool ConfirmCancel();
  bool CheckDiscLabel();
  void AddProbedFile(const std::filesystem::path& file, const ProbeOutcome& outcome);
  void ProbesDone();
  bool CheckSourcesExist();
  // The conversion's lanes: starting one file, filling the idle lanes with
  // the next rows, following the lowest running row on screen, stopping.
  VideoEncoder& LaneEncoder(int lane) const;
  bool StartEncode(int lane, int index);
  void FillLanes();
  int RunningLanes() const;
  void FollowLowestRow();
  void StopAllLanes();
  void BeginConversionRun();
  // A file could not be converted: the other lanes are stopped and message
  // is shown once every lane has ended.
  void FailConversion(const std::string& message);
  double SteadySeconds() const;
  bool SaveMenuClip();
  void FinishConversionCancel();
  void StopConversionWithMessage(const std::string& message);
  void ApplyButtonColor(ButtonState state, int index);
  // The colour dialog for a text of the menu page; a chosen colour redraws it.
  void ChooseTextColor(Rgb& text_color);

  WizardParts parts_;
  WizardView& view_;
  WizardScreen screen_;
  JobLog log_;
  std::unique_ptr<DiscBurner> burner_;
  std::vector<std::filesystem::path> created_files_;
  std::vector<std::filesystem::path> authored_folders_;  // DVD folders made in a temporary folder
  bool cancel_after_build_ = false;
  bool shut_down_ = false;
  // Conversion: what each lane encodes (0: the menu clip, 1 to n: a row,
  // -1: idle), the next row to start, and the lane shown on screen. A cancel
  // or a failure waits for every running encoding before it goes on.
  struct ConversionLane {
    int index = -1;
    double seconds = 0;  // of the file it encodes
    int pieces = 1;      // processes its encoder may use
  };
  std::vector<ConversionLane> lanes_;
  int next_row_ = 1;
  int followed_lane_ = -1;
  bool cancel_after_encode_ = false;
  std::string conversion_failure_;  // the first failure's message, shown once every lane has ended
  double conversion_started_ = 0;   // SteadySeconds at the start
  double done_seconds_ = 0;         // of the files finished in this run
  double total_seconds_ = 0;        // of every file this run converts
  std::vector<std::filesystem::path> converted_targets_;  // per row, for this run
  // Probes: batches may end in any order, their rows are added in the order
  // the batches were started.
  int probe_batches_ = 0;
  int next_batch_ = 0;
  int next_batch_to_add_ = 0;
  std::map<int, std::function<void()>> ready_batches_;
  std::vector<std::thread> probe_threads_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  std::unique_ptr<AuthoringRun> authoring_run_;
  DiscJob disc_job_;
  bool starting_disc_job_ = false;           // inside CreateIso or Burner_BurnData
  std::string refused_reason_;               // an error reported inside that call
  bool laying_out_ = false;                  // inside BuildDiscLayout
  bool layout_row_open_ = false;             // the job log's layout row awaits its end
  std::filesystem::path replace_confirmed_;  // the image the user agreed to replace
  std::string layout_refused_;               // a file the engine refused meanwhile
  // The drive listener: every start gets a new generation; 0 while stopped.
  unsigned listener_generation_ = 0;
  unsigned listening_ = 0;
  // The free space (MB) of the usable disc last shown; negative when none.
  float disc_free_mb_ = -1;
  // Whether the disc last shown records a test write (a simulated burn runs).
  bool disc_can_simulate_ = true;
  std::int32_t sectors_total_ = 0;  // of the disc job's last sector count
  // The erase question is open, or the erase it started runs (false again
  // once its end has come).
  bool erasing_ = false;
};

// Why a disc label cannot name the project folder: "" when it can. The label
// becomes a folder name under the temporary and output folders, so it must
// not be empty, "." or "..", nor hold a separator or a control character.
std::string DiscLabelProblem(const std::string& label);

// Why the simulation switch is off for a medium (its type name).
std::string SimulationRefusal(const std::string& medium);

// What the disc status says instead of a medium when the user may not open a
// drive's device (access_error EACCES or EPERM): that the user is not in the
// group that owns it, naming the group. "" for any other error (0 included).
std::string DevicePermissionText(const std::string& device_path, int access_error);

// The files of a VIDEO_TS folder that go on the disc, in disc order: of
// names that differ only in case (a case-sensitive file system can hold
// both) the exact one, else the first of them sorted.
struct DvdFileChoice {
  std::string chosen;
  std::vector<std::string> matches;  // every name that matched, sorted
};
std::vector<DvdFileChoice> ChooseDvdFiles(const std::vector<std::string>& listed);
// The size of the files of folder that go on the disc, in MB.
double DvdFilesMegabytes(const std::filesystem::path& folder);

}  // namespace vantora
