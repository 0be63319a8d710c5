// Child processes started from an argument vector (never through a shell),
// with their standard output and error (and optionally a fourth descriptor,
// fd 3) read through pipes. A child is addressed only through its own process
// descriptor, so a signal can never reach another program that happens to get
// the same process id later. A child dies with the thread that started it.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace platform {

// What a child used, known once it has been reaped.
struct ChildUsage {
  double user_seconds = 0;
  double system_seconds = 0;
  long peak_kib = 0;  // its largest resident set
};

class ChildProcess {
 public:
  struct Options {
    bool pipe_fd3 = false;          // give the child a write end as its fd 3
    bool pipe_stdin = false;        // give the child a pipe as its stdin (else /dev/null)
    bool stderr_to_stdout = false;  // one pipe for both (stderr_fd() is then -1)
  };

  ChildProcess() = default;
  // A child still running is killed and reaped.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] (a path to the program; no search, no shell) with stdin on
  // /dev/null, or on a pipe whose write end is stdin_fd(). Returns false with *error when the program cannot
  // be started (the error names the program and the reason).
  bool Start(const std::vector<std::string>& argv, const Options& options, std::string* error);

  bool started() const { return pid_ > 0; }
  // Read ends of the child's pipes, -1 when closed or absent. Non-blocking.
  int stdout_fd() const { return out_fd_; }
  int stderr_fd() const { return err_fd_; }
  int fd3() const { return fd3_fd_; }
  // Write end of the child's stdin with pipe_stdin (blocking), -1 otherwise
  // or once closed; closing it ends the child's input.
  int stdin_fd() const { return in_fd_; }
  void CloseStdin();
  // Becomes readable when the child has ended.
  int pidfd() const { return pidfd_; }
  void CloseStdout();
  void CloseStderr();
  void CloseFd3();

  // Sends sig to this child only. False when it has already been reaped.
  bool Signal(int sig);
  // Waits for the child to end and reaps it. Returns the exit code, or 128 +
  // signal number when a signal ended it. Further calls return the same value.
  int Wait();
  bool exited_by_signal() const { return by_signal_; }
  // What the child used (zero until Wait has reaped it).
  const ChildUsage& usage() const { return usage_; }

 private:
  int pid_ = -1;
  int pidfd_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  int fd3_fd_ = -1;
  int in_fd_ = -1;
  bool reaped_ = false;
  bool by_signal_ = false;
  int exit_code_ = -1;
  ChildUsage usage_;
};

// The whole output of a child that was run to its end.
struct ChildResult {
  bool started = false;
  std::string start_error;  // why it could not be started
  bool timed_out = false;   // killed after the time limit
  int exit_code = -1;
  std::string out;  // at most max_output bytes of stdout
  std::string err;  // the last max_output bytes of stderr
  ChildUsage usage;
};

// Runs argv to its end, collecting its output. A child that runs longer than
// timeout is killed.
ChildResult RunChild(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                     std::size_t max_output = 4u << 20, const ChildProcess::Options& options = {});

// The program called name in the folders of $PATH (/usr/local/bin, /usr/bin
// and /bin when it is unset): the first regular file there that may be
// executed; empty when there is none. A name holding a slash is a path, not
// searched for: it comes back as it is when it names such a file.
std::filesystem::path FindProgram(const std::string& name);

// Appends what can be read now from a non-blocking descriptor. Returns false at
// the end of the stream or on an error (the descriptor should then be closed).
bool ReadAvailable(int fd, std::string* into);

// The last non-empty line of a program's error output, without trailing blanks.
std::string LastLine(const std::string& text);

}  // namespace platform
