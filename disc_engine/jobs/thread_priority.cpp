#include "jobs/thread_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace zephrel {
namespace {

int CurrentThreadId() { return static_cast<int>(::syscall(SYS_gettid)); }

}  // namespace

int CurrentThreadNice() {
  errno = 0;
  return ::getpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadId()));
}

// On Linux a PRIO_PROCESS target that names a thread id sets that thread's
// nice value alone.
ScopedThreadPriority::ScopedThreadPriority(int delta) : thread_id_(CurrentThreadId()) {
  errno = 0;
  previous_ = ::getpriority(PRIO_PROCESS, static_cast<id_t>(thread_id_));
  if (errno != 0 || delta == 0) return;
  changed_ = ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread_id_), previous_ + delta) == 0;
}

ScopedThreadPriority::~ScopedThreadPriority() {
  if (changed_) ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread_id_), previous_);
}

}  // namespace zephrel
