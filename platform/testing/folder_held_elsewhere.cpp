#include "testing/folder_held_elsewhere.h"

#include <poll.h>
#include <unistd.h>

#include <string>

#include "platform/process.h"

namespace vantora::testing {

FolderHeldElsewhere::FolderHeldElsewhere(const std::filesystem::path& folder)
    : child_(std::make_unique<platform::ChildProcess>()) {
  // flock starts cat once it holds the lock, and cat keeps it until its input
  // ends: a line sent to cat comes back only while the lock is held (nothing
  // waits on a clock).
  const std::filesystem::path flock = platform::FindProgram("flock");
  const std::filesystem::path cat = platform::FindProgram("cat");
  if (flock.empty() || cat.empty()) return;
  platform::ChildProcess::Options options;
  options.pipe_stdin = true;
  std::string error;
  if (!child_->Start({flock.native(), "-x", folder.native(), cat.native()}, options, &error)) return;
  constexpr char kLine[] = "held\n";
  if (::write(child_->stdin_fd(), kLine, sizeof kLine - 1) != static_cast<ssize_t>(sizeof kLine - 1)) return;
  std::string said;
  while (said.size() < sizeof kLine - 1) {
    pollfd readable{child_->stdout_fd(), POLLIN, 0};
    if (::poll(&readable, 1, -1) < 0 || !platform::ReadAvailable(child_->stdout_fd(), &said)) break;
  }
  held_ = said == kLine;
}

FolderHeldElsewhere::~FolderHeldElsewhere() {
  child_->CloseStdin();  // cat ends, and flock lets the lock go
  child_->Wait();
}

}  // namespace vantora::testing
