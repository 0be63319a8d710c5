// How a benchmark runs and measures one tool: in a child process, with the
// wall time, the peak memory and "sync" after it.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/process.h"

namespace bench {

struct Run {
  double seconds = 0;
  long peak_mib = 0;
  double cpu_seconds = 0;  // user and system time of the child
  bool ok = false;
};

// Runs body in a child process and measures it, sync included.
inline Run Measure(const std::function<bool()>& body) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body() ? 0 : 1);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  ::sync();
  Run r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.peak_mib = usage.ru_maxrss / 1024;
  const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  r.cpu_seconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return r;
}

// Runs a program (looked up in $PATH) without a shell; true when it exits with 0.
inline bool Exec(std::vector<std::string> argv) {
  argv[0] = platform::FindProgram(argv[0]).native();
  const platform::ChildResult run = platform::RunChild(argv, std::chrono::hours(4));
  if (!run.started) std::fprintf(stderr, "%s\n", run.start_error.c_str());
  return run.started && run.exit_code == 0;
}

}  // namespace bench
