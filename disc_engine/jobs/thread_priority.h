// Raising the priority of one job thread for the duration of a job.
#pragma once

namespace zephrel {

// Changes the calling thread's nice value by delta (negative raises the
// priority) and puts it back when destroyed. Only the calling thread is
// touched, never the process; a change the system does not permit is skipped
// without error. Create and destroy it on the same thread.
class ScopedThreadPriority {
 public:
  explicit ScopedThreadPriority(int delta);
  ~ScopedThreadPriority();
  ScopedThreadPriority(const ScopedThreadPriority&) = delete;
  ScopedThreadPriority& operator=(const ScopedThreadPriority&) = delete;

  bool changed() const { return changed_; }

 private:
  int thread_id_ = 0;
  int previous_ = 0;
  bool changed_ = false;
};

// The nice value of the calling thread.
int CurrentThreadNice();

}  // namespace zephrel
