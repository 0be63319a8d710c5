#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/fileio.h"

namespace platform {
namespace {

int OpenPidfd(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

void CloseFd(int* fd) {
  if (*fd >= 0) {
    close(*fd);
    *fd = -1;
  }
}

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

}  // namespace

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !reaped_) {
    Signal(SIGKILL);
    Wait();
  }
  CloseFd(&out_fd_);
  CloseFd(&err_fd_);
  CloseFd(&fd3_fd_);
  CloseFd(&in_fd_);
  CloseFd(&pidfd_);
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const Options& options, std::string* error) {
  if (argv.empty() || started()) {
    *error = "no program to start";
    return false;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  int out[2] = {-1, -1}, err[2] = {-1, -1}, extra[2] = {-1, -1}, status[2] = {-1, -1}, in[2] = {-1, -1};
  auto close_all = [&] {
    for (int* p : {out, err, extra, status, in}) {
      CloseFd(&p[0]);
      CloseFd(&p[1]);
    }
  };
  int devnull = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (devnull < 0 || pipe2(out, O_CLOEXEC) != 0 ||
      (!options.stderr_to_stdout && pipe2(err, O_CLOEXEC) != 0) || pipe2(status, O_CLOEXEC) != 0 ||
      (options.pipe_fd3 && pipe2(extra, O_CLOEXEC) != 0) ||
      (options.pipe_stdin && pipe2(in, O_CLOEXEC) != 0)) {
    *error = "cannot start " + argv[0] + ": " + ErrnoText(errno);
    close_all();
    if (devnull >= 0) close(devnull);
    return false;
  }
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // Child: only async-signal-safe calls from here to exec.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    dup2(in[0] >= 0 ? in[0] : devnull, 0);
    dup2(out[1], 1);
    dup2(err[1] >= 0 ? err[1] : out[1], 2);
    if (extra[1] >= 0) dup2(extra[1], 3);
    const int keep_from = extra[1] >= 0 ? 4 : 3;
    for (int fd = 0; fd < keep_from; ++fd) fcntl(fd, F_SETFD, 0);
    // Nothing else of this process leaks into the child; the status pipe
    // stays open up to exec (it is close-on-exec).
    const unsigned first = static_cast<unsigned>(keep_from);
    const unsigned keep = static_cast<unsigned>(status[1]);
    if (keep >= first) {
      if (keep > first) syscall(SYS_close_range, first, keep - 1, 0u);
      syscall(SYS_close_range, keep + 1, ~0u, 0u);
    } else {
      syscall(SYS_close_range, first, ~0u, 0u);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    execv(args[0], args.data());
    const int e = errno;
    ssize_t ignored = write(status[1], &e, sizeof e);
    (void)ignored;
    _exit(127);
  }
  close(devnull);
  if (pid < 0) {
    *error = "cannot start " + argv[0] + ": " + ErrnoText(errno);
    close_all();
    return false;
  }
  CloseFd(&out[1]);
  CloseFd(&err[1]);
  CloseFd(&extra[1]);
  CloseFd(&status[1]);
  CloseFd(&in[0]);
  int exec_errno = 0;
  ssize_t n;
  do {
    n = read(status[0], &exec_errno, sizeof exec_errno);
  } while (n < 0 && errno == EINTR);
  CloseFd(&status[0]);
  pid_ = pid;
  if (n > 0) {
    Wait();
    close_all();
    *error = "cannot start " + argv[0] + ": " + ErrnoText(exec_errno);
    return false;
  }
  pidfd_ = OpenPidfd(pid);
  out_fd_ = out[0];
  err_fd_ = err[0];
  fd3_fd_ = extra[0];
  in_fd_ = in[1];
  for (int fd : {out_fd_, err_fd_, fd3_fd_}) {
    if (fd >= 0) SetNonBlocking(fd);
  }
  return true;
}

void ChildProcess::CloseStdout() { CloseFd(&out_fd_); }
void ChildProcess::CloseStderr() { CloseFd(&err_fd_); }
void ChildProcess::CloseFd3() { CloseFd(&fd3_fd_); }
void ChildProcess::CloseStdin() { CloseFd(&in_fd_); }

bool ChildProcess::Signal(int sig) {
  if (pid_ <= 0 || reaped_) return false;
  if (pidfd_ >= 0) {
    return syscall(SYS_pidfd_send_signal, pidfd_, sig, nullptr, 0) == 0;
  }
  // Without a process descriptor the id is still ours: it is not reaped yet.
  return kill(pid_, sig) == 0;
}

int ChildProcess::Wait() {
  if (pid_ <= 0) return -1;
  if (reaped_) return exit_code_;
  int status = 0;
  rusage used{};
  pid_t r;
  do {
    r = wait4(pid_, &status, 0, &used);
  } while (r < 0 && errno == EINTR);
  reaped_ = true;
  if (r > 0) {
    usage_.user_seconds =
        static_cast<double>(used.ru_utime.tv_sec) + static_cast<double>(used.ru_utime.tv_usec) / 1e6;
    usage_.system_seconds =
        static_cast<double>(used.ru_stime.tv_sec) + static_cast<double>(used.ru_stime.tv_usec) / 1e6;
    usage_.peak_kib = used.ru_maxrss;
  }
  if (r < 0) {
    exit_code_ = -1;
  } else if (WIFSIGNALED(status)) {
    by_signal_ = true;
    exit_code_ = 128 + WTERMSIG(status);
  } else {
    exit_code_ = WEXITSTATUS(status);
  }
  return exit_code_;
}

bool ReadAvailable(int fd, std::string* into) {
  char buffer[16384];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      into->append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

std::string LastLine(const std::string& text) {
  std::size_t end = text.size();
  while (end > 0) {
    const std::size_t nl = text.rfind('\n', end - 1);
    const std::size_t begin = nl == std::string::npos ? 0 : nl + 1;
    std::size_t stop = end;
    while (stop > begin && (text[stop - 1] == '\r' || text[stop - 1] == ' ' || text[stop - 1] == '\t' ||
                            text[stop - 1] == '\n')) {
      --stop;
    }
    if (stop > begin) return text.substr(begin, stop - begin);
    if (nl == std::string::npos) break;
    end = nl;
  }
  return {};
}

ChildResult RunChild(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                     std::size_t max_output, const ChildProcess::Options& options) {
  ChildResult result;
  ChildProcess child;
  ChildProcess::Options run_options = options;
  run_options.pipe_fd3 = false;  // nothing here would read it
  run_options.pipe_stdin = false;
  if (!child.Start(argv, run_options, &result.start_error)) return result;
  result.started = true;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  bool out_open = true, err_open = child.stderr_fd() >= 0;
  while (out_open || err_open) {
    pollfd fds[2] = {{child.stdout_fd(), POLLIN, 0}, {child.stderr_fd(), POLLIN, 0}};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timed_out = true;
      child.Signal(SIGKILL);
      break;
    }
    const int r = poll(fds, 2, static_cast<int>(left.count()));
    if (r < 0 && errno != EINTR) {
      child.Signal(SIGKILL);  // cannot watch it any more: do not wait for it forever
      break;
    }
    if (out_open && fds[0].revents != 0) {
      out_open = ReadAvailable(child.stdout_fd(), &result.out);
      if (!out_open) child.CloseStdout();
      if (result.out.size() > max_output) {
        // Too much to be an answer: treat as a failure of the tool.
        result.out.resize(max_output);
        child.Signal(SIGKILL);
      }
    }
    if (err_open && fds[1].revents != 0) {
      err_open = ReadAvailable(child.stderr_fd(), &result.err);
      if (!err_open) child.CloseStderr();
      if (result.err.size() > max_output) result.err.erase(0, result.err.size() - max_output);
    }
  }
  result.exit_code = child.Wait();
  result.usage = child.usage();
  return result;
}

std::filesystem::path FindProgram(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) {
    return IsRegularFile(name) && access(name.c_str(), X_OK) == 0 ? std::filesystem::path(name)
                                                                  : std::filesystem::path();
  }
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (dir.empty()) continue;
    std::filesystem::path candidate = std::filesystem::path(dir) / name;
    if (IsRegularFile(candidate) && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

}  // namespace platform
