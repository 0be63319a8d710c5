// Step 4: the menu clip and every row of the video list converted into DVD
// MPEG-2 files of the temporary folder, several at once: each encoder is a
// lane that takes the next row as soon as its file is done. Everything runs
// on the view's thread through the encoders' events.
#include <algorithm>
#include <chrono>
#include <system_error>

#include "platform/fileio.h"
#include "platform/text.h"
#include "vantora/format.h"
#include "vantora/wizard_controller.h"

namespace vantora {

namespace fs = std::filesystem;

namespace {

std::string Display(const fs::path& path) { return platform::ToUtf8Lenient(path.native()); }

}  // namespace

bool WizardController::CheckSourcesExist() {
  for (VideoRow& row : screen_.rows) {
    if (!platform::IsRegularFile(row.source)) {
      parts_.dialogs->ShowMessage("The video file " + Display(row.source) +
                                      " cannot be found any more: remove it from the list or put it back.",
                                  kMessageTitle, MessageIcon::kExclamation);
      return false;
    }
    // A converted file that has gone is made again.
    if (!row.converted.empty() && !platform::IsRegularFile(row.converted)) row.converted.clear();
  }
  return true;
}

double WizardController::SteadySeconds() const {
  if (parts_.steady_seconds) return parts_.steady_seconds();
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

VideoEncoder& WizardController::LaneEncoder(int lane) const {
  return lane == 0 ? *parts_.encoder : *parts_.extra_encoders[static_cast<std::size_t>(lane - 1)];
}

int WizardController::RunningLanes() const {
  return static_cast<int>(
      std::count_if(lanes_.begin(), lanes_.end(), [](const ConversionLane& l) { return l.index >= 0; }));
}

void WizardController::StopAllLanes() {
  for (std::size_t lane = 0; lane < lanes_.size(); ++lane) {
    if (lanes_[lane].index >= 0) LaneEncoder(static_cast<int>(lane)).Stop();
  }
}

void WizardController::BeginConversionRun() {
  lanes_.assign(static_cast<std::size_t>(ConversionLanes()), ConversionLane{});
  next_row_ = 1;
  followed_lane_ = -1;
  cancel_after_encode_ = false;
  conversion_failure_.clear();
  conversion_started_ = SteadySeconds();
  done_seconds_ = 0;
  total_seconds_ = 0;
  for (const VideoRow& row : screen_.rows) {
    if (row.converted.empty()) total_seconds_ += row.seconds;
  }
  screen_.time_elapsed = "Time Elapsed : " + FormatSeconds(0);
  screen_.time_left = "Time Left : ";
  if (converted_targets_.size() != screen_.rows.size())
    converted_targets_ = AssignConvertedFiles(screen_.rows, TempFolder);
}

void WizardController::EncodeMenuVideo() {
  Busy = true;
  FileIndex = 0;
  converted_targets_ = AssignConvertedFiles(screen_.rows, TempFolder);
  BeginConversionRun();
  // The menu clip takes the first lane; the rows fill the others alongside.
  if (StartEncode(0, 0)) FillLanes();
}

void WizardController::ConvertNextFile(int file_index) {
  if (RunningLanes() == 0) BeginConversionRun();
  next_row_ = std::max(next_row_, file_index);
  FillLanes();
}

bool WizardController::StartEncode(int lane, int index) {
  const bool menu = index == 0;
  const fs::path source = menu ? parts_.folders.cache / "menutemp.avi" : screen_.rows[index - 1].source;
  const std::string what = menu ? "the menu clip" : Display(source);
  VideoEncoder& e = LaneEncoder(lane);
  const OpenResult opened = e.Open(source);
  if (!opened.ok()) {
    FailConversion(menu ? "Can't convert the menu clip " + Display(source) + ":\r\n" + opened.message
                        : "Can't convert " + what + ":\r\n" + opened.message);
    return false;
  }
  e.SetOutputPath(menu ? TempFolder / "menu.mpg" : converted_targets_[index - 1]);
  ApplyEncoderParameters(&e);
  screen_.bitrate_text = std::to_string(VideoBitrate);
  // Every encoding is started able to show its preview; only the one
  // followed on screen shows it.
  e.SetPreviewEnabled(screen_.preview_on);
  // The lanes no encoding uses are shared by the rows not started yet: a
  // long video alone gets them all, split into pieces encoded side by side.
  int pieces = 1;
  if (!menu) {
    int used = 0;
    for (const ConversionLane& l : lanes_) used += l.index >= 0 ? l.pieces : 0;
    int waiting = 0;
    for (int k = index; k <= static_cast<int>(screen_.rows.size()); ++k)
      waiting += screen_.rows[k - 1].converted.empty();
    pieces = std::max(1, (ConversionLanes() - used) / std::max(1, waiting));
  }
  e.SetParallelism(pieces);
  if (!e.Start()) {
    FailConversion("Can't convert " + what + ": the encoder is still busy.");
    return false;
  }
  const double planned = menu ? 0.0 : screen_.rows[index - 1].seconds;
  const double seconds = e.DurationSeconds() > 0 ? e.DurationSeconds() : planned;
  total_seconds_ += seconds - planned;
  lanes_[static_cast<std::size_t>(lane)] = {index, seconds, pieces};
  FollowLowestRow();
  return true;
}

void WizardController::FillLanes() {
  const int n = static_cast<int>(screen_.rows.size());
  while (!StopRequested && conversion_failure_.empty()) {
    // Converted rows (of an earlier run of the step) are skipped.
    while (next_row_ >= 1 && next_row_ <= n && !screen_.rows[next_row_ - 1].converted.empty()) ++next_row_;
    if (next_row_ > n) break;
    const auto idle =
        std::find_if(lanes_.begin(), lanes_.end(), [](const ConversionLane& l) { return l.index < 0; });
    if (idle == lanes_.end()) break;
    Busy = true;
    if (!StartEncode(static_cast<int>(idle - lanes_.begin()), next_row_++)) return;
  }
  if (RunningLanes() == 0 && !StopRequested && conversion_failure_.empty() && next_row_ > n) {
    FileIndex = n + 1;
    StartDvdBuild();
    return;
  }
  view_.Refresh();
}

void WizardController::FollowLowestRow() {
  const int before = followed_lane_;
  followed_lane_ = -1;
  for (std::size_t lane = 0; lane < lanes_.size(); ++lane) {
    const int index = lanes_[lane].index;
    if (index >= 0 && (followed_lane_ < 0 || index < lanes_[static_cast<std::size_t>(followed_lane_)].index))
      followed_lane_ = static_cast<int>(lane);
  }
  for (std::size_t lane = 0; lane < lanes_.size(); ++lane) {
    if (lanes_[lane].index >= 0)
      LaneEncoder(static_cast<int>(lane))
          .SetPreviewEnabled(screen_.preview_on && followed_lane_ == static_cast<int>(lane));
  }
  if (followed_lane_ < 0) return;
  // The picture of the file followed before is not shown under another name.
  if (before >= 0 && before != followed_lane_) LaneEncoder(followed_lane_).ClearPreview();
  FileIndex = lanes_[static_cast<std::size_t>(followed_lane_)].index;
  const std::string text = FileIndex == 0 ? "menu" : screen_.rows[FileIndex - 1].text;
  screen_.file_converting = text;
  screen_.conversion_caption = "File conversion : " + text;
}

void WizardController::Check1_Click(bool on) {
  screen_.preview_on = on;
  if (followed_lane_ >= 0 && lanes_[static_cast<std::size_t>(followed_lane_)].index >= 0) {
    LaneEncoder(followed_lane_).SetPreviewEnabled(on);
  } else {
    parts_.encoder->SetPreviewEnabled(on);
  }
}

void WizardController::FailConversion(const std::string& message) {
  if (conversion_failure_.empty()) conversion_failure_ = message;
  StopAllLanes();
  if (RunningLanes() > 0) return;  // shown once the others have ended
  const std::string shown = conversion_failure_;
  conversion_failure_.clear();
  StopConversionWithMessage(shown);
}

void WizardController::EncoderCompleted(int lane, const EncodeResult& result) {
  if (lane < 0 || lane >= static_cast<int>(lanes_.size())) return;
  ConversionLane& l = lanes_[static_cast<std::size_t>(lane)];
  if (l.index < 0) return;  // no encoding of ours runs there
  const int index = l.index;
  const double seconds = l.seconds;
  l.index = -1;
  const bool menu = index == 0;
  const fs::path output = menu ? TempFolder / "menu.mpg" : converted_targets_[index - 1];
  const bool ok = result.status == EncodeStatus::kOk && platform::IsRegularFile(output);
  // A file finished is the wizard's, to be deleted by a cancel too.
  if (ok) RecordCreatedFile(output);
  if (cancel_after_encode_) {
    if (RunningLanes() == 0) FinishConversionCancel();
    return;
  }
  if (!ok) {
    // An encoding stopped because another one failed is no failure of its own.
    if (result.status == EncodeStatus::kCancelled && !conversion_failure_.empty()) {
      FailConversion(conversion_failure_);
      return;
    }
    const std::string what = menu ? "the menu clip" : Display(screen_.rows[index - 1].source);
    std::string reason = result.message;
    if (result.status == EncodeStatus::kCancelled) reason = "the conversion was stopped";
    if (result.status == EncodeStatus::kOk) reason = "the converted file " + Display(output) + " is missing";
    FailConversion("Can't convert " + what + " into " + Display(output) + ":\r\n" + reason);
    return;
  }
  if (!menu) screen_.rows[index - 1].converted = output;
  done_seconds_ += seconds;
  if (!conversion_failure_.empty()) {
    FailConversion(conversion_failure_);
    return;
  }
  if (StopRequested) {
    if (RunningLanes() == 0) Busy = false;
    return;
  }
  FollowLowestRow();
  FillLanes();
}

void WizardController::EncoderProgress(int lane, std::uint8_t percent) {
  if (lane < 0 || lane >= static_cast<int>(lanes_.size()) || lanes_[static_cast<std::size_t>(lane)].index < 0)
    return;
  if (lane == followed_lane_) {
    VideoEncoder& e = LaneEncoder(lane);
    const double position = e.PositionSeconds();
    const double duration = e.DurationSeconds();
    int p = percent;
    if (p > 102) p = duration > 0 ? static_cast<int>(position / duration * 100.0) : 0;
    p = std::clamp(p, 0, 100);
    screen_.file_progress = "File progress : " + std::to_string(p) + "% (" +
                            FormatSeconds(RoundHalfEven(position)) + " of " +
                            FormatSeconds(RoundHalfEven(duration)) + " converted)";
    screen_.frames_encoded =
        "Frames Encoded : " + std::to_string(RoundHalfEven(e.FramesPerSecond())) + " fps";
    screen_.progress1 = p;
  }
  // The total bar: seconds of video converted over the seconds of every file
  // of this run, the parts of the running encodings included.
  double done = done_seconds_;
  for (std::size_t l = 0; l < lanes_.size(); ++l) {
    if (lanes_[l].index >= 0)
      done += std::clamp(LaneEncoder(static_cast<int>(l)).PositionSeconds(), 0.0, lanes_[l].seconds);
  }
  screen_.progress2 =
      total_seconds_ > 0 ? std::clamp(RoundHalfEven(done / total_seconds_ * 100.0), 0, 100) : 0;
  const double elapsed = std::max(0.0, SteadySeconds() - conversion_started_);
  screen_.time_elapsed = "Time Elapsed : " + FormatSeconds(RoundHalfEven(elapsed));
  // The time left at the pace so far, once there is a pace to go by.
  if (done > 0 && elapsed >= 1 && total_seconds_ > done) {
    screen_.time_left =
        "Time Left : " + FormatSeconds(RoundHalfEven(elapsed * (total_seconds_ - done) / done));
  } else if (total_seconds_ <= done) {
    screen_.time_left = "Time Left : " + FormatSeconds(0);
  }
  view_.Refresh();
}

void WizardController::StopConversionWithMessage(const std::string& message) {
  cancel_after_encode_ = false;
  Busy = false;
  // Earlier conversions stay; the user may change the list and start again.
  CurrentStep = 3;
  ShowStep(3);
  parts_.dialogs->ShowMessage(message, kMessageTitle, MessageIcon::kExclamation);
}

void WizardController::FinishConversionCancel() {
  cancel_after_encode_ = false;
  parts_.authoring->ClearAll();
  ClearConvertedColumn();
  DeleteConvertedFiles();
  EndJob(true);
}

}  // namespace vantora
