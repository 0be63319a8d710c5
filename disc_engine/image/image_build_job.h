// The image build: lays out a private snapshot of the project tree and writes
// it to a new file, either as 2048-byte sectors or as raw 2352-byte Mode 1
// sectors (.bin) with a CUE sheet beside it; in the DVD-Video mode with a UDF
// bridge. One job object per build; it reports only through its events and
// raises exactly one end event, last.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/image_plan.h"
#include "image/iso9660_layout.h"
#include "tree/tree_element.h"

namespace zephrel {

// BurnerOnError number: the image file cannot be created (it exists, or its
// folder does not let it be made).
constexpr std::int32_t kErrorImageCreate = 1001;
// OnBuildingProcess status of the file-data phase.
constexpr std::int32_t kStatusFileData = 11;

class ImageBuildEvents {
 public:
  virtual ~ImageBuildEvents() = default;
  virtual void OnBuildingProcess(std::int32_t status, std::int32_t file_index, const std::string& file_name,
                                 std::int32_t file_size, std::int32_t file_progress,
                                 std::int32_t total_sectors, std::int32_t sectors_done) = 0;
  virtual void BurnerOnError(std::int32_t error_number) = 0;
  virtual void BurningErrorViewDescription(const std::string& text) = 0;
  // The end of the job: raised once, after everything else.
  virtual void BurnerOnEndBurn(std::int32_t mode_burn, std::int32_t cancel, std::int32_t error) = 0;
};

// Where the image's bytes go. The default writes to the created file; tests
// put a failing one in its place.
class ImageSink {
 public:
  virtual ~ImageSink() = default;
  // Writes all bytes; false with error set (the system's text) on failure.
  virtual bool Write(const std::uint8_t* data, std::size_t size, std::string* error) = 0;
  // Flushes and closes; false with error set when data may be lost.
  virtual bool Close(std::string* error) = 0;
};

struct ImageBuildRequest {
  std::filesystem::path image_path;  // raw mode: the extension becomes .bin
  int mode = 0;                      // 1: raw sectors with a CUE sheet; other: 2048-byte sectors
  bool dvd_video = false;            // ISO 9660 with a UDF bridge, no Joliet
  std::vector<TreeElement> tree;     // the job's own copy of the project tree
  std::string volume_name;           // UTF-8
  std::string software_name;
  LayoutClock clock;  // the build time; the system clock when empty
  // Wraps the created image file (its descriptor stays owned by the job);
  // empty: plain writes.
  std::function<std::unique_ptr<ImageSink>(int fd)> make_sink;
  // Free bytes in a folder (nullopt: unknown); empty: asks the file system.
  std::function<std::optional<std::uint64_t>(const std::filesystem::path& folder)> free_space;

  // A burn: the sectors go to stream (which must outlive the job) in place of
  // a file, in 2048-byte sectors, and no file or sheet is made. Closing the
  // stream ends the data. A write that fails with an empty error text stops
  // the build quietly (the other side has stopped and said why).
  ImageSink* stream = nullptr;
  // First sector of the session; every sector number of the layout counts
  // from it.
  std::uint32_t session_start = 0;
  // The image is padded with zeros to a whole number of these sectors, and
  // its volume descriptors record the padded size.
  std::uint32_t pad_to_sectors = 1;
  // Called once the size is known, before any sector is written; false stops
  // the build quietly (the hook has said why).
  std::function<bool(std::uint32_t total_sectors)> before_data;
};

class ImageBuildJob {
 public:
  // events and cancel must outlive the job; cancel is polled between phases,
  // files and blocks.
  ImageBuildJob(ImageBuildRequest request, ImageBuildEvents* events, const std::atomic<bool>* cancel);
  ~ImageBuildJob();
  ImageBuildJob(const ImageBuildJob&) = delete;
  ImageBuildJob& operator=(const ImageBuildJob&) = delete;

  // Runs the whole build on the calling thread. On failure or cancel every
  // file this job created is removed; files that existed are never touched.
  void Run();

  // Sectors of the image (0 until the layout is done).
  std::uint32_t total_sectors() const { return total_sectors_; }
  bool failed() const { return error_; }
  bool canceled() const { return canceled_; }
  // The build stopped where the stream or the before_data hook asked.
  bool stopped() const { return stopped_; }
  // The image file (with .bin in raw mode) and, in raw mode, its sheet.
  const std::filesystem::path& image_file() const { return image_file_; }
  const std::filesystem::path& sheet_file() const { return sheet_file_; }

 private:
  struct Output;
  bool Build();
  bool BuildStream();
  // Plans the image (phases and cancel go through the job's events).
  bool Plan(ImagePlan* plan);
  bool CheckSources(const IsoLayout& layout);
  bool CreateOutput(std::uint64_t image_bytes);
  // Writes the header, then every file's data in layout order (zeros in the
  // gaps), then the end sectors.
  bool CopyTreeFilesIntoImage(const ImagePlan& plan);
  bool CopyFileIntoImage(const FilePlacement& placement);
  bool Canceled();
  void Fail(const std::string& text);
  void Phase(int status);
  void Progress(const FilePlacement& file, std::uint64_t file_sectors_done);
  void RemoveCreated();

  ImageBuildRequest request_;
  ImageBuildEvents* events_;
  const std::atomic<bool>* cancel_;
  std::filesystem::path image_file_, sheet_file_;
  bool image_created_ = false, sheet_created_ = false;
  bool error_ = false;  // once set, stays set
  bool canceled_ = false;
  bool stopped_ = false;
  std::uint32_t total_sectors_ = 0;
  std::uint64_t sectors_done_ = 0;
  int last_percent_ = -1;
  std::unique_ptr<Output> out_;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace zephrel
