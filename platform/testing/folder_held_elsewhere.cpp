#include "testing/folder_held_elsewhere.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace vantora::testing {

FolderHeldElsewhere::FolderHeldElsewhere(const std::filesystem::path& folder) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return;
  if (::pipe2(out, O_CLOEXEC) != 0) {
    ::close(in[0]);
    ::close(in[1]);
    return;
  }
  // The child says "held" once it has the lock and keeps it until its input
  // ends (the process that started it cannot run ahead of it, and nothing
  // waits on a clock).
  std::vector<std::string> argv = {"flock", "-x", folder.native(), "sh", "-c", "echo held; read line"};
  std::vector<char*> cargv;
  for (std::string& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, "flock", &actions, nullptr, cargv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  to_child_ = in[1];
  if (rc == 0) {
    pid_ = pid;
    char said[5] = {};
    held_ = ::read(out[0], said, 4) == 4 && std::string(said) == "held";
  }
  ::close(out[0]);
}

FolderHeldElsewhere::~FolderHeldElsewhere() {
  if (to_child_ >= 0) ::close(to_child_);
  if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
}

}  // namespace vantora::testing
