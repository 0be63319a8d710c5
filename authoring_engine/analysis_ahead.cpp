#include "analysis_ahead.h"

#include <chrono>
#include <system_error>
#include <utility>

#include "progress_throttle.h"

namespace morvix {

AnalysisAhead::AnalysisAhead(std::vector<Job> jobs) : jobs_(std::move(jobs)), slots_(new Slot[jobs_.size()]) {
  if (jobs_.empty()) return;
  try {
    worker_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // No thread: Take analyses each job itself.
  }
}

AnalysisAhead::~AnalysisAhead() { Stop(); }

void AnalysisAhead::Stop() {
  stop_ = true;
  if (worker_.joinable()) worker_.join();
}

void AnalysisAhead::Run() {
  for (std::size_t k = 0; k < jobs_.size() && !stop_; ++k) {
    Slot& slot = slots_[k];
    ErrorContext error;
    Status status = kOk;
    // Nothing may leave the worker: a failure to copy the request is the
    // job's result like any other.
    try {
      AnalysisRequest request = jobs_[k].request;
      request.progress = [this, &slot](int, double percent) {
        slot.percent = percent;
        return stop_ ? 1 : 0;
      };
      status = jobs_[k].file->Analyse(request, error);
    } catch (...) {
      status = kErrOutOfMemory;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      slot.done = true;
      slot.status = status;
      slot.error = std::move(error);
    }
    done_.notify_all();
    // The build ends at its first failure; nothing after it is needed.
    if (status != kOk) break;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  done_.notify_all();
}

Status AnalysisAhead::Take(std::size_t k, const StepProgress& progress, ErrorContext& error) {
  if (k >= jobs_.size()) return kErrInternalUnknownCommand;
  Slot& slot = slots_[k];
  const auto inline_analysis = [&] {
    AnalysisRequest request = jobs_[k].request;
    request.progress = progress;
    return jobs_[k].file->Analyse(request, error);
  };
  if (!worker_.joinable()) return inline_analysis();
  ProgressThrottle throttle(progress, jobs_[k].request.step());
  if (throttle.Report(0.0) != 0) {
    Stop();
    return kStopped;
  }
  for (;;) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (done_.wait_for(lock, std::chrono::milliseconds(50), [&] { return slot.done || finished_; })) {
      // A worker that ended before this job (after an earlier failure) left it to be done here.
      if (!slot.done) {
        lock.unlock();
        return inline_analysis();
      }
      break;
    }
    lock.unlock();
    // The worker reports 100 only when the job is done; hold it back until then.
    const double percent = slot.percent;
    if (percent < 100.0 && throttle.Report(percent) != 0) {
      Stop();
      return kStopped;
    }
  }
  if (slot.status != kOk) {
    // Only the file comes from the worker: the title is the caller's.
    error.file = slot.error.file;
    return slot.status;
  }
  if (throttle.Report(100.0) != 0) {
    Stop();
    return kStopped;
  }
  return kOk;
}

}  // namespace morvix
