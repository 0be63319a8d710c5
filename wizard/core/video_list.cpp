#include "vantora/video_list.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <set>
#include <system_error>

#include "platform/fileio.h"
#include "platform/text.h"
#include "vantora/format.h"
#include "vantora/functions.h"
#include "vantora/wizard_controller.h"

namespace vantora {

namespace fs = std::filesystem;

std::string RowCaption(int number, const std::string& title) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%02d", number);
  return std::string(digits) + " - " + title;
}

std::string ConvertedFileBaseName(const std::string& row_text) {
  const auto dot = row_text.rfind('.');
  if (dot == std::string::npos) return row_text + ".mpg";
  return row_text.substr(0, dot + 1) + "mpg";
}

namespace {

// A path's spelling for comparisons: absolute and normal, so that "a/./b" and
// "a/b" are the same file.
std::string Spelling(const fs::path& path) {
  std::error_code ec;
  fs::path absolute = fs::absolute(path, ec);
  if (ec) absolute = path;
  return absolute.lexically_normal().native();
}

}  // namespace

std::vector<fs::path> AssignConvertedFiles(const std::vector<VideoRow>& rows, const fs::path& folder) {
  std::set<std::string> taken;
  for (const VideoRow& row : rows) {
    taken.insert(Spelling(row.source));
    if (!row.converted.empty()) taken.insert(Spelling(row.converted));
  }
  std::vector<fs::path> files;
  files.reserve(rows.size());
  for (const VideoRow& row : rows) {
    if (!row.converted.empty()) {
      files.push_back(row.converted);
      continue;
    }
    const std::string base = ConvertedFileBaseName(row.text);
    const std::string stem = base.substr(0, base.size() - 4);  // without ".mpg"
    fs::path candidate = folder / base;
    for (int n = 2; taken.count(Spelling(candidate)) != 0; ++n)
      candidate = folder / (stem + " (" + std::to_string(n) + ").mpg");
    taken.insert(Spelling(candidate));
    files.push_back(candidate);
  }
  return files;
}

std::string MegabytesText(double megabytes) {
  const double hundredths = std::nearbyint(megabytes * 100.0);  // halves to even
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", hundredths / 100.0);
  std::string s = text;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

SizeEstimate EstimateSize(const std::vector<VideoRow>& rows, int video_kbps, int audio_kbps) {
  double kilobytes = 0;
  double seconds = 0;
  for (const VideoRow& row : rows) {
    seconds += row.seconds;
    if (row.converted.empty()) {
      if (row.has_audio) kilobytes += audio_kbps / 8.0 * row.seconds;
      if (row.has_video) kilobytes += video_kbps / 8.0 * row.seconds;
    } else {
      kilobytes += static_cast<double>(GetFileSizeCurrency(row.converted)) / 1024.0;
    }
  }
  SizeEstimate estimate;
  estimate.kilobytes = RoundHalfEven(kilobytes);
  estimate.gauge_megabytes = RoundHalfEven(estimate.kilobytes / 1024.0);
  estimate.size_text = "Estimated size : " + MegabytesText(estimate.kilobytes / 1024.0) + " MB";
  estimate.duration_text = FormatDuration(seconds);
  return estimate;
}

bool IsVideoTsFolder(const fs::path& folder) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().native();
    if (platform::AsciiIEquals(name, "VIDEO_TS.IFO") && platform::IsRegularFile(it->path())) return true;
  }
  return false;
}

std::string VideoTsFolderHint(const fs::path& folder) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().native();
    if (platform::AsciiIEquals(name, "VIDEO_TS") && IsVideoTsFolder(it->path()))
      return "Please choose the VIDEO_TS folder itself: " + platform::ToUtf8Lenient(it->path().native());
  }
  return "Please choose the VIDEO_TS folder itself, the one that holds VIDEO_TS.IFO.";
}

std::string VideoFileFilter() {
  return "All supported media files (*.avi *.AVI *.divx *.DIVX *.mov *.MOV *.mp4 *.MP4 *.flv *.FLV *.3gp "
         "*.3g2 *.3G2 *.3GP *.wmv *.WMV *.asf *.ASF *.mkv *.MKV *.mpg *.MPG *.mpeg *.MPEG *.m1v *.M1V *.TS "
         "*.ts *.MTS *.mts *.M2TS *.m2ts)"
         ";;Avi Files (*.avi *.AVI);;DivX Files (*.divx *.DIVX);;Flv Files (*.flv *.FLV)"
         ";;Matroska Files (*.mkv *.MKV);;Mpeg Files (*.mpg *.MPG *.mpeg *.MPEG *.m1v *.M1V)"
         ";;Mov Files (*.mov *.MOV);;Windows Media files (*.wmv *.WMV *.asf *.ASF);;Mp4 Files (*.mp4 *.MP4)"
         ";;3gp Files (*.3gp *.3GP *.3G2 *.3g2);;All Files (*)";
}

}  // namespace vantora

// The video list's handlers of the main window.
namespace vantora {

namespace {

constexpr int kProbeThreads = 4;

std::string Display(const fs::path& path) { return platform::ToUtf8Lenient(path.native()); }

// The encoder's own probe, for a controller built without a prober.
ProbeOutcome ProbeWithEncoder(VideoEncoder& encoder, const fs::path& file) {
  ProbeOutcome outcome;
  outcome.result = encoder.Open(file);
  if (!outcome.result.ok()) return outcome;
  outcome.info.duration = encoder.DurationSeconds();
  outcome.info.video_stream = encoder.HasVideo() ? 0 : -1;
  outcome.info.audio_stream = encoder.HasAudio() ? 1 : -1;
  return outcome;
}

ProbeOutcome ProbeSafely(MediaProber& prober, const fs::path& file) {
  try {
    return prober.Probe(file);
  } catch (const std::exception& e) {
    ProbeOutcome outcome;
    outcome.result = {OpenStatus::kUnrecognized, e.what()};
    return outcome;
  } catch (...) {
    return ProbeOutcome{};
  }
}

}  // namespace

void WizardController::UpdateEstimatedSize() {
  const SizeEstimate estimate = EstimateSize(screen_.rows, VideoBitrate, AudioBitrate);
  EstimatedSizeKB = estimate.kilobytes;
  screen_.gauge_value = estimate.gauge_megabytes;
  // An existing VIDEO_TS folder is written as it is: the gauge shows its size.
  if (UseExistingVideoTs) screen_.gauge_value = RoundHalfEven(DvdFilesMegabytes(ExistingVideoTsFolder));
  screen_.estimated_size_text = estimate.size_text;
  screen_.total_duration_text = estimate.duration_text;
}

void WizardController::AddVideo(const fs::path& source) {
  const ProbeOutcome outcome =
      parts_.prober ? ProbeSafely(*parts_.prober, source) : ProbeWithEncoder(*parts_.encoder, source);
  AddProbedFile(source, outcome);
  UpdateEstimatedSize();
  view_.Refresh();
}

void WizardController::AddVideoFiles(const std::vector<fs::path>& files) {
  if (files.empty()) return;
  if (!parts_.prober || !parts_.post_to_ui) {
    for (const fs::path& file : files) {
      const ProbeOutcome outcome =
          parts_.prober ? ProbeSafely(*parts_.prober, file) : ProbeWithEncoder(*parts_.encoder, file);
      AddProbedFile(file, outcome);
    }
    UpdateEstimatedSize();
    view_.Refresh();
    return;
  }
  ++probe_batches_;
  screen_.probing = true;
  view_.Refresh();
  // One ffprobe takes about a tenth of a second: a few run at once, and the
  // rows are added on the view's thread in the order the files were chosen.
  std::weak_ptr<int> alive = alive_;
  MediaProber* prober = parts_.prober;
  auto post = parts_.post_to_ui;
  const int batch = next_batch_++;
  probe_threads_.emplace_back([this, files, alive, prober, post, batch] {
    auto outcomes = std::make_shared<std::vector<ProbeOutcome>>(files.size());
    std::atomic<std::size_t> next{0};
    auto work = [&] {
      for (std::size_t i = next++; i < files.size(); i = next++)
        (*outcomes)[i] = ProbeSafely(*prober, files[i]);
    };
    std::vector<std::thread> pool;
    const std::size_t n = std::min<std::size_t>(kProbeThreads, files.size());
    for (std::size_t i = 1; i < n; ++i) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    post([this, files, outcomes, alive, batch] {
      if (alive.expired()) return;  // the controller is gone
      ready_batches_[batch] = [this, files, outcomes] {
        for (std::size_t i = 0; i < files.size(); ++i) AddProbedFile(files[i], (*outcomes)[i]);
      };
      // An earlier batch still probing holds the later ones back.
      for (auto it = ready_batches_.find(next_batch_to_add_); it != ready_batches_.end();
           it = ready_batches_.find(next_batch_to_add_)) {
        const std::function<void()> add = std::move(it->second);
        ready_batches_.erase(it);
        ++next_batch_to_add_;
        add();
        ProbesDone();
      }
    });
  });
}

void WizardController::ProbesDone() {
  if (probe_batches_ > 0) --probe_batches_;
  screen_.probing = probe_batches_ > 0;
  UpdateEstimatedSize();
  view_.Refresh();
}

void WizardController::AddProbedFile(const fs::path& file, const ProbeOutcome& outcome) {
  const std::string shown = Display(file);
  const std::string unrecognized = "Can't add this file. Unrecognized format...\r\n" + shown;
  if (screen_.rows.size() >= static_cast<std::size_t>(kMaxTitles)) {
    parts_.dialogs->ShowMessage(
        "A DVD holds at most " + std::to_string(kMaxTitles) + " videos: this file is not added.\r\n" + shown,
        kMessageTitle, MessageIcon::kExclamation);
    return;
  }
  for (const VideoRow& row : screen_.rows) {
    std::error_code ec;
    if (row.source == file || fs::equivalent(row.source, file, ec)) {
      // The format is fine: the file is in the list already.
      parts_.dialogs->ShowMessage("This file is already in the list:\r\n" + shown, kMessageTitle,
                                  MessageIcon::kExclamation);
      return;
    }
  }
  const int seconds = RoundHalfEven(outcome.info.duration);
  if (!outcome.result.ok() || seconds <= 0) {
    parts_.dialogs->ShowMessage(unrecognized, kMessageTitle, MessageIcon::kExclamation);
    return;
  }
  if (!outcome.info.has_video()) {
    parts_.dialogs->ShowMessage("No video stream found in this file!", "Vantora Converter",
                                MessageIcon::kExclamation);
    return;
  }
  if (!outcome.info.has_audio() &&
      !parts_.dialogs->AskYesNo(
          "No audio stream found in this file!\r\n\r\n" + shown +
              "\r\n\r\nDo you want to add this file ? (warning, no audio will be encoded)",
          kMessageTitle, MessageIcon::kNone))
    return;
  VideoRow row;
  row.text = RowCaption(static_cast<int>(screen_.rows.size()) + 1, Display(file.filename()));
  row.source = file;
  row.seconds = seconds;
  row.has_audio = outcome.info.has_audio();
  row.has_video = true;
  screen_.rows.push_back(std::move(row));
}

void WizardController::LabelAddFile_Click() {
  const std::vector<std::string> chosen = parts_.dialogs->OpenFiles("", VideoFileFilter(), AddFolder, true);
  if (chosen.empty()) return;  // cancelled
  std::vector<fs::path> files(chosen.begin(), chosen.end());
  const std::string folder = Display(files.front().parent_path());
  AddFolder = files.size() > 1 ? folder : folder + "/";
  AddVideoFiles(files);
}

void WizardController::ListViewChapters_OLEDragDrop(const std::vector<std::string>& local_files) {
  std::vector<fs::path> files;
  for (const std::string& name : local_files)
    if (!name.empty()) files.emplace_back(name);
  AddVideoFiles(files);
}

void WizardController::Image8_Click(int selected_row) {
  if (selected_row < 0 || selected_row >= static_cast<int>(screen_.rows.size())) return;
  // Its converted file, if any, stays until the next clean-up.
  screen_.rows.erase(screen_.rows.begin() + selected_row);
  UpdateEstimatedSize();
  view_.Refresh();
}

void WizardController::Image2_Click() {
  if (ProbesRunning()) return;  // rows are still to come
  screen_.rows.clear();
  DeleteConvertedFiles();
  UpdateEstimatedSize();
  view_.Refresh();
}

void WizardController::Image7_Click() {
  const std::string folder = parts_.dialogs->BrowseForFolder("Please select your Video_TS directory");
  if (folder.empty()) return;
  if (!IsVideoTsFolder(folder)) {
    UseExistingVideoTs = false;
    parts_.dialogs->ShowMessage(
        "Your directory is not a valid DVD video directory\n" + VideoTsFolderHint(folder), kMessageTitle,
        MessageIcon::kExclamation);
    return;
  }
  UseExistingVideoTs = true;
  screen_.option3_visible = false;
  ExistingVideoTsFolder = folder;
  UpdateEstimatedSize();
  if (screen_.option1_enabled) UpdateOutputFrames(kOutputBurn);
  CurrentStep = 3;
  ShowStep(3);
}

void WizardController::Slider1_Change(int kbit_per_second) {
  screen_.bitrate_text = std::to_string(kbit_per_second);
  VideoBitrate = kbit_per_second;
  UpdateEstimatedSize();
  view_.Refresh();
}

}  // namespace vantora
