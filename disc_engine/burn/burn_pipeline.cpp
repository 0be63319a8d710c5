#include "burn/burn_pipeline.h"

#include <algorithm>
#include <cstring>

#include "burn/erase_jobs.h"
#include "burn/readiness_wait.h"
#include "drive/media.h"

namespace zephrel {
namespace {

using platform::DataDirection;
using platform::ScsiResult;
constexpr std::size_t kSector = platform::mmc::kSectorSize;

// The drive's current profile, from the GET CONFIGURATION header; 0 when it
// cannot be read.
std::uint16_t CurrentProfile(MmcDrive& drive) {
  constexpr std::uint16_t kHeader = mmc::feature::kHeaderLength;
  const auto reply = drive.Query(mmc::GetConfiguration(mmc::kAllFeatures, 0, kHeader), kHeader);
  const auto configuration = reply ? mmc::ParseConfiguration(*reply, kHeader) : std::nullopt;
  return configuration ? configuration->current_profile : 0;
}

bool Overwritable(MmcDrive& drive, int code) {
  switch (code) {
    case kMediaDvdRam:
    case kMediaDvdPlusRw:
    case kMediaDvdPlusRwDl:
    case kMediaBdRe:
      return true;
    case kMediaDvdRw:
      return CurrentProfile(drive) == platform::mmc::kProfileDvdRwRestricted;
    default:
      return false;
  }
}

// Whether the disc reports itself complete (READ DISC INFORMATION status 2):
// a session close that leaves no room for another completes the disc.
bool DiscComplete(MmcDrive& drive) {
  const auto info = drive.ReadDiscInformation();
  return info && info->disc_status == mmc::kDiscComplete;
}

// A command without data; its failure's text in *text.
bool Run(MmcDrive& drive, const mmc::Cdb& cdb, std::string* text) {
  const ScsiResult r = drive.Send(cdb, DataDirection::kNone);
  if (!r.ok()) *text = FailureText(r);
  return r.ok();
}

}  // namespace

std::uint32_t BlockSectorsFor(int code) {
  return code == kMediaCdR || code == kMediaCdRw ? kCdBlockSectorsPerBlock : kDvdBlockSectorsPerBlock;
}

bool CanSimulate(MmcDrive& drive, int code) {
  if (code == kMediaCdR || code == kMediaCdRw || code == kMediaDvdR) return true;
  return code == kMediaDvdRw && CurrentProfile(drive) == platform::mmc::kProfileDvdRwSequential;
}

bool ReservesTrack(MmcDrive& drive, int code) {
  return code == kMediaDvdR || (code == kMediaDvdRw && !Overwritable(drive, code));
}

std::optional<std::uint32_t> SessionStart(MmcDrive& drive, int code, int last_track, std::string* why) {
  constexpr std::uint16_t kThroughFreeBlocks = mmc::track_info::kFreeBlocks + 4;
  std::optional<mmc::TrackInformation> reply;
  if (last_track > 0) reply = drive.ReadTrackInformation(std::uint32_t(last_track), kThroughFreeBlocks);
  if (reply && reply->next_writable) return *reply->next_writable;
  if (Overwritable(drive, code)) return 0u;
  *why = reply ? "The disc takes no more data (it has no writable address): nothing was written."
               : "The next writable address of the disc cannot be read: nothing was written.";
  return std::nullopt;
}

bool FormatIfUnformatted(MmcDrive& drive, Job& job, int code) {
  if (code != kMediaDvdPlusRw && code != kMediaBdRe) return true;
  if (drive.MmcReadFormatCapacities() != mmc::kDescriptorUnformatted) return true;
  if (!drive.MmcFormatUnit().ok()) {
    job.events().BurningErrorViewDescription("The disc cannot be formatted: nothing was written.");
    return false;
  }
  if (code == kMediaDvdPlusRw) return true;  // formatted in the background as it is written
  const Readiness ready = WaitUntilReady(drive, job, kReadyOtherwise);
  if (!ready.ready()) job.events().BurningErrorViewDescription(ready.text);
  return ready.ready();
}

std::uint64_t CapacitySectors(MmcDrive& drive, int code) {
  if (const std::optional<std::uint64_t> reported = ReportedCapacitySectors(drive, code)) return *reported;
  const double mb = GetMediaCapacityMB(drive, code);
  return mb > 0 ? static_cast<std::uint64_t>(mb * 1024.0 * 1024.0 / 2048.0) : 0;
}

// ---------------------------------------------------------------------------
// The drive writer

DriveWriter::DriveWriter(Job& job, MmcDrive& drive, SectorFifo& fifo, std::uint32_t start)
    : job_(job), drive_(drive), fifo_(fifo), start_(start) {}

DriveWriter::~DriveWriter() {
  fifo_.Stop();
  Join();
}

void DriveWriter::Start(std::uint32_t total_sectors) {
  total_ = total_sectors;
  thread_ = std::thread([this, owner = std::this_thread::get_id()] {
    const ScopedHelperThread helper(owner);  // the job thread joins this one
    try {
      Run();
    } catch (...) {
      failed_.store(true);
      fifo_.Stop();
      try {
        job_.events().BurningErrorViewDescription("The drive writer stopped on an unexpected error.");
      } catch (...) {
      }
    }
  });
}

void DriveWriter::Join() {
  if (thread_.joinable()) thread_.join();
}

void DriveWriter::SetFileName(const std::string& name) {
  std::lock_guard lock(name_mutex_);
  file_name_ = name;
}

void DriveWriter::Report() {
  std::string name;
  {
    std::lock_guard lock(name_mutex_);
    name = file_name_;
  }
  const auto capacity = static_cast<std::int32_t>(fifo_.Capacity());
  const auto count = static_cast<std::int32_t>(fifo_.Count());
  job_.events().OnBuildingProcess(kStatusFileData, 0, name, capacity, count,
                                  static_cast<std::int32_t>(total_),
                                  static_cast<std::int32_t>(written_.load()));
  job_.events().BurnerBufferStatus(capacity, count);
}

void DriveWriter::Run() {
  const DriveWait waits{&job_.clock(), job_.stop_token(), &EngineState::Instance().flags.cancel};
  int last_percent = -1;
  for (;;) {
    const std::span<const std::uint8_t> block = fifo_.Front();
    if (block.empty()) break;
    const std::uint32_t done = written_.load();
    if (done >= total_) break;
    const auto n = static_cast<std::uint16_t>(std::min(total_ - done, fifo_.SectorsPerBlock()));
    const ScsiResult r =
        drive_.MmcWrite10(block.first(std::size_t(n) * kSector), start_ + done, n, true, waits);
    if (!r.ok()) {
      failed_.store(true);
      fifo_.Stop();
      job_.events().BurningErrorViewDescription(FailureText(r));
      break;
    }
    fifo_.Release();
    written_.store(done + n);
    const int percent = total_ ? static_cast<int>(std::uint64_t(done + n) * 100 / total_) : 100;
    if (percent > last_percent) {
      last_percent = percent;
      Report();
    }
  }
  Report();
}

// ---------------------------------------------------------------------------
// The producer's side

FifoSink::FifoSink(SectorFifo& fifo, ISOBuilderEvents& events) : fifo_(fifo), events_(events) {}

bool FifoSink::Queue() {
  block_ = {};
  fill_ = 0;
  if (!fifo_.Commit()) return false;
  if (!fifo_.Started())
    events_.BurnerBufferStatus(static_cast<std::int32_t>(fifo_.Capacity()),
                               static_cast<std::int32_t>(fifo_.Count()));
  return true;
}

bool FifoSink::Write(const std::uint8_t* data, std::size_t size, std::string* error) {
  while (size > 0) {
    if (block_.empty() && (block_ = fifo_.Reserve()).empty()) {
      error->clear();
      return false;
    }
    const std::size_t n = std::min(size, block_.size() - fill_);
    std::memcpy(block_.data() + fill_, data, n);
    fill_ += n;
    data += n;
    size -= n;
    if (fill_ == block_.size() && !Queue()) {
      error->clear();
      return false;
    }
  }
  return true;
}

bool FifoSink::Close(std::string* error) {
  if (fill_ > 0) {
    std::memset(block_.data() + fill_, 0, block_.size() - fill_);
    if (!Queue()) {
      error->clear();
      return false;
    }
  }
  fifo_.Finish();
  return true;
}

// ---------------------------------------------------------------------------
// Closing

bool CloseByMedium(MmcDrive& drive, Job& job, int code, int new_track, bool multisession) {
  ISOBuilderEvents& events = job.events();
  bool ok = true;
  const auto step = [&](bool done, const std::string& text, const char* heading = nullptr) {
    if (done) return;
    if (heading) events.BurningErrorViewDescription(heading);
    events.BurningErrorViewDescription(text);
    ok = false;
  };
  // A cancel while the drive finishes ends the wait, not the closing; a wait
  // that ends any other way than ready fails it. Either way the drive is
  // still busy: nothing more is sent.
  bool waited_out = false;
  const auto wait = [&] {
    const Readiness ready = WaitUntilReady(drive, job, kReadyAfterClose);
    waited_out = !ready.ready();
    if (ready.outcome == Readiness::kCancelled)
      events.BurningErrorViewDescription(ready.text);
    else
      step(ready.ready(), ready.text);
  };
  // Each close is sent immediate and waited for before the next command.
  const auto close = [&](std::uint8_t function, int track, const char* heading = nullptr) {
    if (waited_out) return;
    const ScsiResult r = drive.MmcCloseTrackSession(true, function, static_cast<std::uint16_t>(track));
    step(r.ok(), r.ok() ? std::string() : FailureText(r), heading);
    const bool sent = r.ok();
    if (sent) wait();
  };
  const auto sync = [&](bool immed) {
    std::string text;
    step(Run(drive, mmc::SynchronizeCache(immed), &text), text);
  };
  switch (code) {
    case kMediaDvdRw:
      // Written at once (DAO) it is closed by this flush.
      sync(true);
      events.BurnerCloseSession(1);
      break;
    case kMediaDvdR:
      events.BurnerCloseSession(1);
      sync(false);
      close(mmc::kCloseTrack, new_track, "Close Track error...");
      close(mmc::kCloseSession, new_track + 2, "Close Session error...");
      break;
    case kMediaDvdPlusRw:
      sync(false);
      events.BurnerCloseSession(1);
      close(mmc::kCloseSession, 255);
      break;
    case kMediaDvdPlusR:
    case kMediaDvdPlusRDl:
      sync(false);
      events.BurnerCloseSession(1);
      close(mmc::kCloseTrack, new_track);
      close(mmc::kCloseSession, 255);
      // A session that fills the disc completes it; there is nothing left to
      // finalise then, and the drive would refuse the command.
      if (!multisession && !DiscComplete(drive)) close(mmc::kCloseFinalizeCompatible, new_track + 1);
      break;
    case kMediaDvdPlusRwDl:
      sync(false);
      events.BurnerCloseSession(1);
      close(mmc::kCloseFinalizeDvdRw, 255);
      break;
    case kMediaCdR:
    case kMediaCdRw:
      sync(false);
      events.BurnerCloseSession(1);
      close(mmc::kCloseSession, 0);
      break;
    default:
      sync(false);
      break;
  }
  if (!waited_out) wait();
  if (!ok) events.BurnerOnError(kCloseFailed);
  return ok;
}

}  // namespace zephrel
