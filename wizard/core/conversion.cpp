// Step 4: the menu clip and every row of the video list converted, one after
// the other, into DVD MPEG-2 files of the temporary folder. The chain runs
// on the view's thread through the encoder's completion events.
#include <algorithm>
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

void WizardController::EncodeMenuVideo() {
  Busy = true;
  FileIndex = 0;
  converted_targets_ = AssignConvertedFiles(screen_.rows, TempFolder);
  const fs::path clip = parts_.folders.cache / "menutemp.avi";
  const OpenResult opened = parts_.encoder->Open(clip);
  if (!opened.ok()) {
    StopConversionWithMessage("Can't convert the menu clip " + Display(clip) + ":\r\n" + opened.message);
    return;
  }
  parts_.encoder->SetOutputPath(TempFolder / "menu.mpg");
  ApplyEncoderParameters();
  screen_.bitrate_text = std::to_string(VideoBitrate);
  parts_.encoder->SetPreviewEnabled(screen_.preview_on);
  screen_.file_converting = "menu";
  screen_.conversion_caption = "File conversion : menu";
  if (!parts_.encoder->Start()) {
    StopConversionWithMessage("Can't convert the menu clip: the encoder is still busy.");
    return;
  }
  encoding_ = true;
  view_.Refresh();
}

void WizardController::ConvertNextFile(int file_index) {
  const int n = static_cast<int>(screen_.rows.size());
  if (converted_targets_.size() != screen_.rows.size())
    converted_targets_ = AssignConvertedFiles(screen_.rows, TempFolder);
  // Converted rows (of an earlier run of the step) are skipped.
  while (file_index >= 1 && file_index <= n && !screen_.rows[file_index - 1].converted.empty()) ++file_index;
  FileIndex = file_index;
  if (file_index > n) {
    StartDvdBuild();
    return;
  }
  Busy = true;
  const VideoRow& row = screen_.rows[file_index - 1];
  screen_.file_converting = row.text;
  screen_.conversion_caption = "File conversion : " + row.text;
  const OpenResult opened = parts_.encoder->Open(row.source);
  if (!opened.ok()) {
    StopConversionWithMessage("Can't convert " + Display(row.source) + ":\r\n" + opened.message);
    return;
  }
  parts_.encoder->SetOutputPath(converted_targets_[file_index - 1]);
  ApplyEncoderParameters();
  screen_.bitrate_text = std::to_string(VideoBitrate);
  parts_.encoder->SetPreviewEnabled(screen_.preview_on);
  if (!parts_.encoder->Start()) {
    StopConversionWithMessage("Can't convert " + Display(row.source) + ": the encoder is still busy.");
    return;
  }
  encoding_ = true;
  view_.Refresh();
}

void WizardController::Taldex1_Completed(const EncodeResult& result) {
  if (!encoding_) return;  // no encoding of ours runs
  encoding_ = false;
  if (cancel_after_encode_) {
    FinishConversionCancel();
    return;
  }
  const bool menu = FileIndex == 0;
  const int n = static_cast<int>(screen_.rows.size());
  if (!menu && (FileIndex < 1 || FileIndex > n)) return;
  const fs::path output = menu ? TempFolder / "menu.mpg" : converted_targets_[FileIndex - 1];
  if (result.status != EncodeStatus::kOk || !platform::IsRegularFile(output)) {
    const std::string what = menu ? "the menu clip" : Display(screen_.rows[FileIndex - 1].source);
    std::string reason = result.message;
    if (result.status == EncodeStatus::kCancelled) reason = "the conversion was stopped";
    if (result.status == EncodeStatus::kOk) reason = "the converted file " + Display(output) + " is missing";
    StopConversionWithMessage("Can't convert " + what + ":\r\n" + reason);
    return;
  }
  RecordCreatedFile(output);
  if (!menu) screen_.rows[FileIndex - 1].converted = output;
  ++FileIndex;
  if (StopRequested) {
    Busy = false;
    return;
  }
  ConvertNextFile(FileIndex);
}

void WizardController::Taldex1_Progress(std::uint8_t percent) {
  if (!encoding_) return;
  VideoEncoder& e = *parts_.encoder;
  const double position = e.PositionSeconds();
  const double duration = e.DurationSeconds();
  int p = percent;
  if (p > 102) p = duration > 0 ? static_cast<int>(position / duration * 100.0) : 0;
  p = std::clamp(p, 0, 100);
  screen_.file_progress = "File progress : " + std::to_string(p) + "% (" +
                          FormatSeconds(RoundHalfEven(position)) + " of " +
                          FormatSeconds(RoundHalfEven(duration)) + " converted)";
  screen_.frames_encoded = "Frames Encoded : " + std::to_string(RoundHalfEven(e.FramesPerSecond())) + " fps";
  screen_.time_elapsed = "Time Elapsed : " + FormatSeconds(RoundHalfEven(e.ElapsedSeconds()));
  screen_.progress1 = p;
  const int n = static_cast<int>(screen_.rows.size());
  if (FileIndex >= 1 && n > 0) {
    const double share = 100.0 / n;
    screen_.progress2 = RoundHalfEven((FileIndex - 1) * share + share * p / 100.0);
  } else {
    screen_.progress2 = 0;  // the menu clip comes before the rows
  }
  view_.Refresh();
}

void WizardController::StopConversionWithMessage(const std::string& message) {
  encoding_ = false;
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
