#include "image/image_build_job.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "image/cue_sheet.h"
#include "image/raw_sector.h"
#include "platform/fileio.h"
#include "platform/mmc.h"
#include "platform/text.h"

namespace zephrel {
namespace {

constexpr std::size_t kSector = platform::mmc::kSectorSize;
// File data moves in blocks of this many bytes.
constexpr std::size_t kCopyBlock = 1 << 20;

class FileSink : public ImageSink {
 public:
  explicit FileSink(platform::File* file) : file_(file) {}
  bool Write(const std::uint8_t* data, std::size_t size, std::string* error) override {
    platform::FileError fe;
    if (file_->WriteAll(data, size, &fe)) return true;
    *error = platform::ErrnoText(fe.code);
    return false;
  }
  bool Close(std::string* error) override {
    if (::fsync(file_->fd()) != 0 && errno != EINVAL && errno != EROFS) {
      *error = platform::ErrnoText(errno);
      return false;
    }
    return true;
  }

 private:
  platform::File* file_;
};

// Hands blocks on to a sink the job does not own (a burn's stream).
class BorrowedSink : public ImageSink {
 public:
  explicit BorrowedSink(ImageSink* sink) : sink_(sink) {}
  bool Write(const std::uint8_t* data, std::size_t size, std::string* error) override {
    return sink_->Write(data, size, error);
  }
  bool Close(std::string* error) override { return sink_->Close(error); }

 private:
  ImageSink* sink_;
};

}  // namespace

// The open image: sectors go through the sink, in raw mode wrapped as Mode 1
// sectors with their addresses.
struct ImageBuildJob::Output {
  platform::File file;
  bool raw = false;
  std::uint64_t next_sector = 0;  // logical sector of the next write
  std::unique_ptr<ImageSink> sink;
  bool direct = false;  // sink is the image file itself: data may move in the kernel
  std::vector<std::uint8_t> raw_buffer;

  bool WriteImageBlock(const std::uint8_t* data, std::size_t sectors, std::string* error) {
    if (!raw) {
      next_sector += sectors;
      return sink->Write(data, sectors * kSector, error);
    }
    while (sectors > 0) {
      const std::size_t n = std::min<std::size_t>(sectors, kCopyBlock / kSector);
      raw_buffer.resize(n * kCdRawSectorSize);
      for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t* s = raw_buffer.data() + i * kCdRawSectorSize;
        std::memcpy(s + 16, data + i * kSector, kSector);
        BuildRawSector(std::span<std::uint8_t, kCdRawSectorSize>(s, kCdRawSectorSize), kRawMode1,
                       static_cast<std::int64_t>(next_sector + i) + kCdMsfOffset);
      }
      if (!sink->Write(raw_buffer.data(), raw_buffer.size(), error)) return false;
      next_sector += n;
      data += n * kSector;
      sectors -= n;
    }
    return true;
  }
};

ImageBuildJob::ImageBuildJob(ImageBuildRequest request, ImageBuildEvents* events,
                             const std::atomic<bool>* cancel)
    : request_(std::move(request)), events_(events), cancel_(cancel) {}

ImageBuildJob::~ImageBuildJob() = default;

bool ImageBuildJob::Canceled() {
  if (!canceled_ && cancel_ && cancel_->load()) canceled_ = true;
  return canceled_;
}

void ImageBuildJob::Fail(const std::string& text) {
  error_ = true;
  events_->BurningErrorViewDescription(text);
}

void ImageBuildJob::Phase(int status) {
  events_->OnBuildingProcess(status, 0, {}, 0, 0, static_cast<std::int32_t>(total_sectors_), 0);
}

void ImageBuildJob::Run() {
  try {
    Build();
  } catch (...) {
    error_ = true;
    try {
      events_->BurningErrorViewDescription("Compilation exception !");
    } catch (...) {
    }
  }
  out_.reset();
  if (error_ || canceled_) RemoveCreated();
  events_->BurnerOnEndBurn(0, canceled_ ? 1 : 0, error_ ? 1 : 0);
}

void ImageBuildJob::RemoveCreated() {
  std::error_code ec;
  if (image_created_) std::filesystem::remove(image_file_, ec);
  if (sheet_created_) std::filesystem::remove(sheet_file_, ec);
  image_created_ = sheet_created_ = false;
}

bool ImageBuildJob::Build() {
  if (request_.stream) return BuildStream();
  const bool raw = request_.mode == 1;
  image_file_ = raw ? WithExtension(request_.image_path, "bin") : request_.image_path;
  if (raw) sheet_file_ = WithExtension(request_.image_path, "cue");
  if (image_file_.filename().empty()) {
    Fail("The image path " + platform::PathToUtf8(request_.image_path) + " names no file.");
    return false;
  }
  if (raw && !CueImageNameIsValid(image_file_)) {
    Fail("The image name " + platform::PathToUtf8(image_file_.filename()) +
         " cannot stand in a CUE sheet (it holds a '\"').");
    return false;
  }
  // An existing image or sheet is the user's: never replaced.
  std::error_code ec;
  if (std::filesystem::symlink_status(image_file_, ec).type() != std::filesystem::file_type::not_found ||
      (raw &&
       std::filesystem::symlink_status(sheet_file_, ec).type() != std::filesystem::file_type::not_found)) {
    error_ = true;
    events_->BurnerOnError(kErrorImageCreate);
    return false;
  }

  ImagePlan plan;
  if (!Plan(&plan)) return false;
  if (raw && std::int64_t(total_sectors_) - 1 + kCdMsfOffset > kCdLastAddress) {
    Fail("The image is too large for a raw CD image (more than 99 minutes).");
    return false;
  }
  if (!CheckSources(plan.layout)) return false;
  const std::uint64_t image_bytes = std::uint64_t(total_sectors_) * (raw ? kCdRawSectorSize : kSector);
  if (!CreateOutput(image_bytes)) return false;
  if (!CopyTreeFilesIntoImage(plan)) return false;
  if (Canceled()) return false;
  std::string close_error;
  if (!out_->sink->Close(&close_error)) {
    Fail("Writing the image " + platform::PathToUtf8(image_file_) + " failed: " + close_error);
    return false;
  }
  platform::FileError fe;
  if (!out_->file.Close(&fe)) {
    Fail("Writing the image " + platform::PathToUtf8(image_file_) +
         " failed: " + platform::ErrnoText(fe.code));
    return false;
  }
  return true;
}

bool ImageBuildJob::BuildStream() {
  ImagePlan plan;
  if (!Plan(&plan)) return false;
  if (!CheckSources(plan.layout)) return false;
  if (request_.before_data && !request_.before_data(total_sectors_)) {
    stopped_ = true;
    return false;
  }
  out_ = std::make_unique<Output>();
  out_->sink = std::make_unique<BorrowedSink>(request_.stream);
  if (!CopyTreeFilesIntoImage(plan)) return false;
  if (Canceled()) return false;
  std::string close_error;
  if (!out_->sink->Close(&close_error)) {
    if (close_error.empty()) {
      stopped_ = true;
    } else {
      Fail(close_error);
    }
    return false;
  }
  return true;
}

bool ImageBuildJob::Plan(ImagePlan* plan) {
  ImagePlanOptions options;
  options.layout.session_start = request_.session_start;
  options.layout.dvd_video = request_.dvd_video;
  options.layout.volume_name = request_.volume_name;
  options.layout.software_name = request_.software_name;
  options.layout.clock = request_.clock;
  options.layout.phase = [this](int status) {
    Phase(status);
    return !Canceled();
  };
  options.pad_to_sectors = request_.pad_to_sectors;
  ImagePlanResult result = PlanImage(request_.tree, options);
  if (result.status == LayoutResult::Status::kCanceled) {
    canceled_ = true;
    return false;
  }
  if (!result.ok()) {
    Fail(result.error);
    return false;
  }
  if (Canceled()) return false;
  *plan = std::move(result.plan);
  total_sectors_ = plan->total_sectors;
  return true;
}

bool ImageBuildJob::CheckSources(const IsoLayout& layout) {
  for (const FilePlacement& p : layout.placements) {
    if (Canceled()) return false;
    platform::FileError fe;
    const std::optional<std::uint64_t> size = platform::RegularFileSize(p.source_path, &fe);
    if (!size || *size != p.size) {
      Fail("Can't read : " + p.source_path +
           (size                 ? " (its size changed since it was added)"
            : fe.message.empty() ? ""
                                 : " (" + fe.message + ")"));
      return false;
    }
  }
  return true;
}

bool ImageBuildJob::CreateOutput(std::uint64_t image_bytes) {
  const std::filesystem::path folder = image_file_.has_parent_path() ? image_file_.parent_path() : ".";
  platform::FileError fe;
  const std::optional<std::uint64_t> free =
      request_.free_space ? request_.free_space(folder) : platform::FreeSpace(folder, &fe);
  platform::File file = platform::File::Open(image_file_, platform::File::Mode::kCreateExclusive, &fe, 0644);
  if (!file.is_open()) {
    error_ = true;
    events_->BurnerOnError(kErrorImageCreate);
    return false;
  }
  image_created_ = true;
  out_ = std::make_unique<Output>();
  out_->file = std::move(file);
  out_->raw = request_.mode == 1;
  out_->sink =
      request_.make_sink ? request_.make_sink(out_->file.fd()) : std::make_unique<FileSink>(&out_->file);
  out_->direct = !request_.make_sink && !out_->raw;
  if (free && *free < image_bytes + 4096) {
    Fail("There is not enough free space for the image in " + platform::PathToUtf8(folder) + ": " +
         std::to_string((image_bytes + (1 << 20) - 1) >> 20) + " MB needed, " + std::to_string(*free >> 20) +
         " MB free.");
    return false;
  }
  if (out_->raw) {
    std::string error;
    if (!WriteDataCueSheet(image_file_, sheet_file_, &error)) {
      Fail("The CUE sheet " + platform::PathToUtf8(sheet_file_) + " cannot be written: " + error);
      return false;
    }
    sheet_created_ = true;
  }
  return true;
}

bool ImageBuildJob::CopyTreeFilesIntoImage(const ImagePlan& plan) {
  const IsoLayout& layout = plan.layout;
  const std::vector<std::uint8_t>& end_sectors = plan.end_sectors;
  std::string error;
  const auto write = [&](const std::uint8_t* data, std::size_t sectors) {
    if (out_->WriteImageBlock(data, sectors, &error)) return true;
    if (error.empty()) {
      stopped_ = true;
      return false;
    }
    Fail("Writing the image " + platform::PathToUtf8(image_file_) + " failed: " + error);
    return false;
  };
  for (std::size_t at = 0; at < layout.header.size(); at += kCopyBlock) {
    if (Canceled()) return false;
    const std::size_t bytes = std::min(kCopyBlock, layout.header.size() - at);
    if (!write(layout.header.data() + at, bytes / kSector)) return false;
  }
  sectors_done_ = layout.header.size() / kSector;
  buffer_.assign(kCopyBlock, 0);
  const auto zeros = [&](std::uint64_t sectors) {
    if (sectors == 0) return true;
    std::fill_n(buffer_.begin(), std::min<std::uint64_t>(sectors * kSector, buffer_.size()), 0);
    while (sectors > 0) {
      if (Canceled()) return false;
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(sectors, kCopyBlock / kSector));
      if (!write(buffer_.data(), n)) return false;
      sectors -= n;
      sectors_done_ += n;
    }
    return true;
  };
  for (const FilePlacement& p : layout.placements) {
    if (Canceled()) return false;
    const std::uint64_t position = layout.session_start + out_->next_sector;
    if (p.extent < position) {
      Fail("The image layout is inconsistent at " + p.name + ".");
      return false;
    }
    if (!zeros(p.extent - position) || !CopyFileIntoImage(p)) return false;
  }
  const std::uint64_t data_end = layout.session_start + out_->next_sector;
  if (data_end < layout.end_sector && !zeros(layout.end_sector - data_end)) return false;
  if (!end_sectors.empty()) {
    if (!write(end_sectors.data(), end_sectors.size() / kSector)) return false;
    sectors_done_ += end_sectors.size() / kSector;
  }
  return true;
}

bool ImageBuildJob::CopyFileIntoImage(const FilePlacement& p) {
  if (p.size == 0) return true;
  const platform::UniqueFd source(
      ::open(p.source_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  const int fd = source.get();
  if (fd < 0) {
    Fail("Can't read : " + p.source_path + " (" + platform::ErrnoText(errno) + ")");
    return false;
  }
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  std::uint64_t left = p.size;
  std::uint64_t file_sectors_done = 0;
  // Whole sectors of a plain image move file to file in the kernel; the tail
  // (and any file system that cannot) goes through the buffer below.
  bool in_kernel = out_->direct;
  while (in_kernel && left >= kCopyBlock) {
    if (Canceled()) return false;
    std::size_t moved = 0;
    while (moved < kCopyBlock) {
      const ssize_t n = ::copy_file_range(fd, nullptr, out_->file.fd(), nullptr, kCopyBlock - moved, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && moved == 0 &&
          (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF)) {
        in_kernel = false;  // fall back to the buffered copy from here on
        break;
      }
      if (n < 0) {
        Fail("Writing the image " + platform::PathToUtf8(image_file_) +
             " failed: " + platform::ErrnoText(errno));
        return false;
      }
      if (n == 0) {
        Fail("Can't read : " + p.source_path + " (it is shorter than when it was added)");
        return false;
      }
      moved += static_cast<std::size_t>(n);
    }
    if (!in_kernel) break;
    const std::size_t sectors = kCopyBlock / kSector;
    out_->next_sector += sectors;
    left -= kCopyBlock;
    sectors_done_ += sectors;
    file_sectors_done += sectors;
    Progress(p, file_sectors_done);
  }
  while (left > 0) {
    if (Canceled()) return false;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kCopyBlock));
    std::size_t got = 0;
    while (got < want) {
      const ssize_t n = ::read(fd, buffer_.data() + got, want - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) continue;
      if (n <= 0) {
        Fail("Can't read : " + p.source_path +
             (n < 0 ? " (" + platform::ErrnoText(errno) + ")" : " (it is shorter than when it was added)"));
        return false;
      }
      got += static_cast<std::size_t>(n);
    }
    const std::size_t sectors = (want + kSector - 1) / kSector;
    std::memset(buffer_.data() + want, 0, sectors * kSector - want);
    std::string error;
    if (!out_->WriteImageBlock(buffer_.data(), sectors, &error)) {
      if (error.empty()) {
        stopped_ = true;
        return false;
      }
      Fail("Writing the image " + platform::PathToUtf8(image_file_) + " failed: " + error);
      return false;
    }
    left -= want;
    sectors_done_ += sectors;
    file_sectors_done += sectors;
    Progress(p, file_sectors_done);
  }
  std::uint8_t extra;
  ssize_t n;
  do {
    n = ::read(fd, &extra, 1);
  } while (n < 0 && errno == EINTR);
  if (n > 0) {
    Fail("Can't read : " + p.source_path + " (it grew since it was added)");
    return false;
  }
  return true;
}

void ImageBuildJob::Progress(const FilePlacement& file, std::uint64_t file_sectors_done) {
  const int percent = total_sectors_ ? static_cast<int>(sectors_done_ * 100 / total_sectors_) : 100;
  if (percent <= last_percent_ && file_sectors_done < file.sectors) return;
  last_percent_ = std::max(last_percent_, percent);
  events_->OnBuildingProcess(kStatusFileData, file.id, file.name, static_cast<std::int32_t>(file.sectors),
                             static_cast<std::int32_t>(file_sectors_done),
                             static_cast<std::int32_t>(total_sectors_),
                             static_cast<std::int32_t>(sectors_done_));
}

}  // namespace zephrel
