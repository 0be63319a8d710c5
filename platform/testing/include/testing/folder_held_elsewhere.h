// A folder held by another process through its advisory lock (flock), as a
// build running in another program holds its output folder.
#pragma once

#include <filesystem>
#include <memory>

namespace platform {
class ChildProcess;
}

namespace vantora::testing {

class FolderHeldElsewhere {
 public:
  // Starts flock(1) on folder and waits until it holds the lock.
  explicit FolderHeldElsewhere(const std::filesystem::path& folder);
  // Lets the other process go (the lock with it) and waits for it.
  ~FolderHeldElsewhere();
  FolderHeldElsewhere(const FolderHeldElsewhere&) = delete;
  FolderHeldElsewhere& operator=(const FolderHeldElsewhere&) = delete;

  // True once the other process holds the lock.
  bool held() const { return held_; }

 private:
  std::unique_ptr<platform::ChildProcess> child_;
  bool held_ = false;
};

}  // namespace vantora::testing
