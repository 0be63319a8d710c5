#include "jobs/job_state.h"

#include <algorithm>

namespace zephrel {
namespace {

// The engine thread the calling thread helps; none for other threads.
thread_local std::thread::id helper_of;

}  // namespace

ScopedHelperThread::ScopedHelperThread(std::thread::id owner) { helper_of = owner; }
ScopedHelperThread::~ScopedHelperThread() { helper_of = {}; }

EngineThreads::~EngineThreads() { StopAndJoin(); }

std::unique_ptr<JobTicket> EngineThreads::TryClaimJob() {
  bool expected = false;
  if (!job_slot_.compare_exchange_strong(expected, true)) return nullptr;
  return std::make_unique<JobTicket>(job_slot_);
}

bool EngineThreads::Start(std::function<void(std::stop_token)> body) {
  std::lock_guard lock(mutex_);
  if (closed_) return false;
  ReapFinished();
  auto finished = std::make_shared<std::atomic<bool>>(false);
  Worker worker;
  worker.finished = finished;
  worker.thread = std::jthread([body = std::move(body), finished](std::stop_token stop) {
    try {
      body(stop);
    } catch (...) {
      // A worker reports through its job's events; nothing escapes the thread.
    }
    finished->store(true);
  });
  workers_.push_back(std::move(worker));
  return true;
}

void EngineThreads::ReapFinished() {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (it->finished->load() && it->thread.get_id() != std::this_thread::get_id()) {
      it->thread.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

void EngineThreads::StopAndJoin() {
  std::vector<Worker> workers;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    workers.swap(workers_);
  }
  for (Worker& worker : workers) worker.thread.request_stop();
  std::vector<Worker> self;
  for (Worker& worker : workers) {
    const std::thread::id id = worker.thread.get_id();
    if (id == std::this_thread::get_id() || (id == helper_of && id != std::thread::id())) {
      self.push_back(std::move(worker));  // waits for the caller: joined later
    } else if (worker.thread.joinable()) {
      worker.thread.join();
    }
  }
  std::lock_guard lock(mutex_);
  for (Worker& worker : self) workers_.push_back(std::move(worker));
}

void EngineThreads::Reopen() {
  std::lock_guard lock(mutex_);
  closed_ = false;
}

std::shared_ptr<JobClock> EngineState::Clock() const {
  std::lock_guard lock(clock_mutex_);
  return clock_ ? clock_ : SystemJobClock();
}

void EngineState::SetClockForTesting(std::shared_ptr<JobClock> clock) {
  std::lock_guard lock(clock_mutex_);
  clock_ = std::move(clock);
}

EngineState& EngineState::Instance() {
  static EngineState* state = new EngineState();  // lives to process exit
  return *state;
}

}  // namespace zephrel
