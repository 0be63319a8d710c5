// Helpers for the image build's tests: an event recorder, a synchronous job
// runner, child programs without a shell, and trees made from folders on disk.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "image/image_build_job.h"
#include "tree/tree_element.h"

namespace zephrel::testing {

struct JobEvent {
  enum Kind { kProcess, kError, kDescription, kEnd } kind = kProcess;
  std::int32_t a = 0, b = 0, c = 0;  // status/error number/mode_burn; file index/cancel; -/error
  std::string text;                  // file name or description
  std::int32_t total = 0, done = 0;
};

class JobEventRecorder : public ImageBuildEvents {
 public:
  void OnBuildingProcess(std::int32_t status, std::int32_t file_index, const std::string& file_name,
                         std::int32_t file_size, std::int32_t file_progress, std::int32_t total_sectors,
                         std::int32_t sectors_done) override;
  void BurnerOnError(std::int32_t error_number) override;
  void BurningErrorViewDescription(const std::string& text) override;
  void BurnerOnEndBurn(std::int32_t mode_burn, std::int32_t cancel, std::int32_t error) override;
  // Called before each event is recorded (e.g. to cancel at a phase).
  std::function<void(const JobEvent&)> on_event;

  std::vector<JobEvent> events() const;
  int EndCount() const;
  // The end event (the last one) has the error flag / the cancel flag.
  bool EndedWithError() const;
  bool EndedCanceled() const;
  std::string Descriptions() const;
  std::vector<std::int32_t> Errors() const;

 private:
  void Add(JobEvent e);
  mutable std::mutex mutex_;
  std::vector<JobEvent> events_;
};

// Runs a build on the calling thread.
void RunBuild(ImageBuildRequest request, JobEventRecorder* events, const std::atomic<bool>* cancel = nullptr);

// The tree of a folder on disk as the project tree would hold it after adding
// the folder's contents under the root (files sorted by name in each folder).
std::vector<TreeElement> TreeOfFolder(const std::filesystem::path& folder);
// The tree of a DVD-Video folder: AUDIO_TS (empty) and VIDEO_TS with the files
// of video_ts in name order.
std::vector<TreeElement> DvdVideoTree(const std::filesystem::path& video_ts);

// Authors a DVD-Video folder with dvdauthor into dest: title_sets title sets,
// each of one title made from clip, with menus (the manager's and each title
// set's) from menu_clip when menus is set. Returns dest/VIDEO_TS, or an empty
// path on failure.
std::filesystem::path AuthorDvdVideo(const std::filesystem::path& dest, int title_sets, bool menus,
                                     const std::filesystem::path& clip,
                                     const std::filesystem::path& menu_clip);

class TempDir;
// Fills dir/src with a tree that trips readers up: UTF-8 names, names that
// differ only in case, 40-character names, nine levels of folders,
// small_files small files in 100 folders and one file of large_bytes.
void MakeFixture(const TempDir& dir, int small_files, std::uint64_t large_bytes);
// A build of dir/src into image at a fixed build time.
ImageBuildRequest FolderImageRequest(const TempDir& dir, const std::string& image, int mode = 0);
// Checks an ISO 9660 + Joliet image of dir/src with isoinfo, iso-info, 7z and
// xorriso, extracts it into dir/extracted and compares that with dir/src.
void ExpectIsoImageReadable(const TempDir& dir, const std::string& image);
// Builds the fixture of MakeFixture into an image and checks it so.
void ExpectFixtureImageReadable(int small_files, std::uint64_t large_bytes);

// The generated test clip of that name.
std::filesystem::path TestClip(const std::string& name);

}  // namespace zephrel::testing
