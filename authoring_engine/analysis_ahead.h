// Analysis of a build's movies on a worker thread, one after another and
// ahead of the writer: reading the next movie to analyse it overlaps the
// writing of the one before. Each result is taken on the caller's thread, in
// order, where the caller sees the analysis progress as it stands, so the
// progress callback is never called from the worker.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "morvix/status_codes.h"
#include "mpeg_analysis.h"

namespace morvix {

class AnalysisAhead {
 public:
  struct Job {
    MpegFile* file = nullptr;  // must outlive this object
    AnalysisRequest request;   // its progress is ignored; Take reports it
  };

  // Starts analysing jobs in order. Without a worker thread (none could be
  // started) each job is analysed when it is taken.
  explicit AnalysisAhead(std::vector<Job> jobs);
  // Stops the worker at its next block and waits for it.
  ~AnalysisAhead();
  AnalysisAhead(const AnalysisAhead&) = delete;
  AnalysisAhead& operator=(const AnalysisAhead&) = delete;

  // Waits for job k's analysis, reporting its step progress (throttled, 0
  // first and 100 last) through progress, and returns what Analyse returned
  // with error.file filled as Analyse fills it (error.title is left as the
  // caller set it). kStopped when progress answered
  // non-zero: the worker stops and no later job is analysed.
  Status Take(std::size_t k, const StepProgress& progress, ErrorContext& error);

 private:
  struct Slot {
    std::atomic<double> percent{0.0};
    bool done = false;
    Status status = kOk;
    ErrorContext error;
  };

  void Run();
  void Stop();

  std::vector<Job> jobs_;
  std::unique_ptr<Slot[]> slots_;
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;  // the worker has left its loop
  std::atomic<bool> stop_{false};
  std::thread worker_;
};

}  // namespace morvix
