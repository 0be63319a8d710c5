#include "platform/fileio.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace platform {
namespace {

namespace fs = std::filesystem;

class FileIo : public ::testing::Test {
 protected:
  void SetUp() override {
    FileError err;
    folder_ = TemporaryFolder::Create("fileio_test", &err);
    ASSERT_TRUE(folder_) << err.message;
    dir_ = folder_->path();
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    return names;
  }

  std::optional<TemporaryFolder> folder_;
  fs::path dir_;
};

std::string Pattern(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
  return s;
}

TEST_F(FileIo, ExclusiveCreateRefusesAnExistingNameAndLeavesItAlone) {
  const fs::path p = dir_ / "a.bin";
  FileError err;
  File f = File::Open(p, File::Mode::kCreateExclusive, &err);
  ASSERT_TRUE(f.is_open()) << err.message;
  ASSERT_TRUE(f.WriteAll("first", 5, &err)) << err.message;
  ASSERT_TRUE(f.Close(&err));

  File again = File::Open(p, File::Mode::kCreateExclusive, &err);
  EXPECT_FALSE(again.is_open());
  EXPECT_EQ(err.code, EEXIST);
  EXPECT_NE(err.message.find("a.bin"), std::string::npos) << err.message;
  EXPECT_EQ(ReadFile(p, &err).value_or(""), "first");

  // A dangling symbolic link counts as an existing name: nothing is created through it.
  fs::create_symlink(dir_ / "target", dir_ / "link");
  File through = File::Open(dir_ / "link", File::Mode::kCreateExclusive, &err);
  EXPECT_FALSE(through.is_open());
  EXPECT_EQ(err.code, EEXIST);
  EXPECT_FALSE(fs::exists(dir_ / "target"));
}

TEST_F(FileIo, ReadsAndWritesUseSixtyFourBitOffsets) {
  const fs::path p = dir_ / "sparse.bin";
  FileError err;
  File f = File::Open(p, File::Mode::kCreateTruncate, &err);
  ASSERT_TRUE(f.is_open()) << err.message;
  const std::uint64_t far = (std::uint64_t{5} << 30) + 7;  // beyond 4 GiB
  ASSERT_TRUE(f.WriteAllAt("xyz", 3, far, &err)) << err.message;
  EXPECT_EQ(f.Size(&err).value_or(0), far + 3);
  char buf[8] = {};
  EXPECT_EQ(f.ReadFullyAt(buf, sizeof buf, far - 1, &err), 4u);  // short only at the end
  EXPECT_EQ(std::string(buf, 4), std::string("\0xyz", 4));
  ASSERT_TRUE(f.Seek(far + 1, &err));
  EXPECT_EQ(f.ReadFully(buf, sizeof buf, &err), 2u);
  EXPECT_EQ(std::string(buf, 2), "yz");
  ASSERT_TRUE(f.Truncate(10, &err));
  EXPECT_EQ(RegularFileSize(p, &err).value_or(0), 10u);
}

void IgnoreSignal(int) {}

TEST_F(FileIo, WriteAllCompletesAcrossShortWritesAndInterruptions) {
  // A blocking write to a small pipe that a signal interrupts returns a short
  // count (or EINTR when nothing was moved); WriteAll must carry on.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::fcntl(fds[1], F_SETPIPE_SZ, 4096);
  struct sigaction sa = {}, old = {};
  sa.sa_handler = IgnoreSignal;  // no SA_RESTART
  ASSERT_EQ(::sigaction(SIGUSR1, &sa, &old), 0);

  FileError err;
  File out = File::Open("/proc/self/fd/" + std::to_string(fds[1]), File::Mode::kReadWrite, &err);
  ASSERT_TRUE(out.is_open()) << err.message;
  ::close(fds[1]);

  const std::string data = Pattern(1 << 20);
  std::string received;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    char buf[1000];
    while (received.size() < data.size()) {
      ssize_t n = ::read(fds[0], buf, sizeof buf);
      if (n > 0)
        received.append(buf, static_cast<std::size_t>(n));
      else if (n < 0 && errno != EINTR)
        break;
    }
  });
  bool ok = false;
  std::thread writer([&] {
    ok = out.WriteAll(data.data(), data.size(), &err);
    done = true;
  });
  const pthread_t writer_handle = writer.native_handle();
  while (!done) {
    ::pthread_kill(writer_handle, SIGUSR1);
    std::this_thread::yield();
  }
  writer.join();
  reader.join();
  ::sigaction(SIGUSR1, &old, nullptr);
  ::close(fds[0]);
  EXPECT_TRUE(ok) << err.message;
  EXPECT_TRUE(received == data);
}

TEST_F(FileIo, WriteAllReportsTheErrorAfterAShortWrite) {
  // With a file size limit the first write stops short at the limit and the
  // next one fails with EFBIG: the error must come back, not success.
  const fs::path p = dir_ / "limited.bin";
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit rl = {10000, 10000};
    if (::setrlimit(RLIMIT_FSIZE, &rl) != 0) ::_exit(10);
    FileError err;
    File f = File::Open(p, File::Mode::kCreateTruncate, &err);
    if (!f.is_open()) ::_exit(11);
    const std::string data = Pattern(25000);
    if (f.WriteAll(data.data(), data.size(), &err)) ::_exit(12);
    if (err.code != EFBIG) ::_exit(13);
    if (err.message.find("limited.bin") == std::string::npos) ::_exit(14);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  FileError err;
  EXPECT_EQ(RegularFileSize(p, &err).value_or(0), 10000u);
}

TEST_F(FileIo, CopyFromMovesARangeToTheCurrentPositionWhateverTheTarget) {
  const std::string data = Pattern(3 << 20);
  FileError err;
  ASSERT_TRUE(WriteFileAtomic(dir_ / "source.bin", data, &err)) << err.message;
  File source = File::Open(dir_ / "source.bin", File::Mode::kRead, &err);
  ASSERT_TRUE(source.is_open());

  // Same file system (in-kernel copy), a memory file system (across file
  // systems when the folder is not one) and a pipe (no copy_file_range).
  std::vector<fs::path> targets = {dir_ / "copy.bin"};
  std::optional<TemporaryFolder> shm;
  if (fs::is_directory("/dev/shm")) {
    shm = TemporaryFolder::Create("fileio_test", &err, "/dev/shm");
    if (shm) targets.push_back(shm->path() / "copy.bin");
  }
  for (const fs::path& target : targets) {
    File out = File::Open(target, File::Mode::kCreateTruncate, &err);
    ASSERT_TRUE(out.is_open()) << err.message;
    ASSERT_TRUE(out.WriteAll("head", 4, &err));
    EXPECT_EQ(out.CopyFrom(source, 1000, 2 << 20, &err), 2u << 20) << target << ": " << err.message;
    EXPECT_EQ(out.CopyFrom(source, 5, 7, &err), 7u);
    // Past the source's end only what is there is copied.
    EXPECT_EQ(out.CopyFrom(source, data.size() - 10, 100, &err), 10u);
    EXPECT_FALSE(err);
    ASSERT_TRUE(out.Close(&err));
    const std::string expected =
        "head" + data.substr(1000, 2 << 20) + data.substr(5, 7) + data.substr(data.size() - 10);
    EXPECT_TRUE(ReadFile(target, &err).value_or("") == expected) << target;
  }

  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  File pipe_end = File::Open("/proc/self/fd/" + std::to_string(fds[1]), File::Mode::kReadWrite, &err);
  ::close(fds[1]);
  ASSERT_TRUE(pipe_end.is_open()) << err.message;
  EXPECT_EQ(pipe_end.CopyFrom(source, 100, 1000, &err), 1000u) << err.message;
  char got[1000];
  ASSERT_EQ(::read(fds[0], got, sizeof got), 1000);
  ::close(fds[0]);
  EXPECT_EQ(std::string(got, sizeof got), data.substr(100, 1000));

  // A target that cannot be written is an error, not a short copy.
  File read_only = File::Open(dir_ / "source.bin", File::Mode::kRead, &err);
  EXPECT_EQ(read_only.CopyFrom(source, 0, 100, &err), 0u);
  EXPECT_TRUE(err);
  EXPECT_NE(err.message.find("source.bin"), std::string::npos) << err.message;
}

TEST_F(FileIo, FifosAndDevicesNeverBlockTheRegularFileChecks) {
  const fs::path fifo = dir_ / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(IsRegularFile(fifo));
  FileError err;
  EXPECT_FALSE(ReadFile(fifo, &err).has_value());  // returns at once: no writer is ever attached
  EXPECT_NE(err.code, 0);
  EXPECT_FALSE(RegularFileSize(fifo, &err).has_value());
  EXPECT_FALSE(ReadFile("/dev/zero", &err).has_value());
  EXPECT_FALSE(IsRegularFile("/dev/null"));
  EXPECT_FALSE(ReadFile(dir_, &err).has_value());
  EXPECT_EQ(err.code, EISDIR);
  EXPECT_FALSE(ReadFile(dir_ / "missing", &err).has_value());
  EXPECT_EQ(err.code, ENOENT);
  EXPECT_FALSE(IsRegularFile(dir_ / "missing"));
}

TEST_F(FileIo, AtomicReplaceLeavesTheOldOrTheNewFileAndNoTemporaries) {
  const fs::path p = dir_ / "settings.ini";
  FileError err;
  ASSERT_TRUE(WriteFileAtomic(p, "old", &err)) << err.message;
  ::chmod(p.c_str(), 0640);
  const std::string big = Pattern(300000);
  ASSERT_TRUE(WriteFileAtomic(p, big, &err)) << err.message;
  EXPECT_TRUE(ReadFile(p, &err).value_or("") == big);
  EXPECT_EQ(fs::status(p).permissions() & fs::perms::all, fs::perms(0640));
  EXPECT_EQ(Names(), std::vector<std::string>{"settings.ini"});

  // A symbolic link keeps pointing at the replaced file.
  fs::create_symlink("settings.ini", dir_ / "link.ini");
  ASSERT_TRUE(WriteFileAtomic(dir_ / "link.ini", "via link", &err)) << err.message;
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.ini"));
  EXPECT_EQ(ReadFile(p, &err).value_or(""), "via link");

  // A folder in the way is refused and left as it was; no temporary remains.
  fs::create_directory(dir_ / "folder");
  EXPECT_FALSE(WriteFileAtomic(dir_ / "folder", "x", &err));
  EXPECT_NE(err.code, 0);
  EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
  // A path under a regular file cannot be created.
  EXPECT_FALSE(WriteFileAtomic(p / "child", "x", &err));
  EXPECT_EQ(err.code, ENOTDIR);
  EXPECT_EQ(Names().size(), 3u);
}

TEST_F(FileIo, FreeSpaceIsReportedForAFolderAndMissingFoldersAreErrors) {
  FileError err;
  auto free_space = FreeSpace(dir_, &err);
  ASSERT_TRUE(free_space.has_value()) << err.message;
  EXPECT_GT(*free_space, 0u);
  EXPECT_FALSE(FreeSpace(dir_ / "missing", &err).has_value());
  EXPECT_EQ(err.code, ENOENT);
  EXPECT_NE(ErrnoText(ENOENT).find("No such file"), std::string::npos);
}

TEST_F(FileIo, TemporaryFoldersAreUniqueAndRemovedWithTheirContents) {
  FileError err;
  fs::path kept;
  {
    auto a = TemporaryFolder::Create("work", &err, dir_);
    auto b = TemporaryFolder::Create("work", &err, dir_);
    ASSERT_TRUE(a && b) << err.message;
    EXPECT_NE(a->path(), b->path());
    EXPECT_EQ(a->path().parent_path(), dir_);
    fs::create_directories(a->path() / "sub");
    ASSERT_TRUE(WriteFileAtomic(a->path() / "sub" / "f", "x", &err));
    TemporaryFolder moved = std::move(*a);
    kept = moved.path();
    a.reset();  // the moved-from object removes nothing
    EXPECT_TRUE(fs::exists(kept / "sub" / "f"));
  }
  EXPECT_FALSE(fs::exists(kept));
  EXPECT_TRUE(fs::is_empty(dir_));
  EXPECT_FALSE(TemporaryFolder::Create("work", &err, dir_ / "missing"));
  EXPECT_EQ(err.code, ENOENT);
}

TEST_F(FileIo, AFolderLockExcludesEveryOtherLockOfTheFolderUntilItIsDestroyed) {
  FileError err;
  {
    std::optional<FolderLock> first = FolderLock::TryLock(dir_, &err);
    ASSERT_TRUE(first) << err.message;
    EXPECT_FALSE(FolderLock::TryLock(dir_, &err));
    EXPECT_EQ(err.code, EWOULDBLOCK);
    FolderLock moved = std::move(*first);
    first.reset();  // the moved-from object holds nothing
    EXPECT_FALSE(FolderLock::TryLock(dir_, &err));
  }
  EXPECT_TRUE(FolderLock::TryLock(dir_, &err)) << err.message;
  EXPECT_TRUE(fs::is_empty(dir_)) << "nothing is created in the folder";
  EXPECT_FALSE(FolderLock::TryLock(dir_ / "missing", &err));
  EXPECT_EQ(err.code, ENOENT);
}

TEST_F(FileIo, ATemporaryFileBesideAPathIsNewAndInTheSameFolder) {
  FileError err;
  File a = CreateTemporaryBeside(dir_ / "VIDEO_TS.IFO", &err);
  File b = CreateTemporaryBeside(dir_ / "VIDEO_TS.IFO", &err);
  ASSERT_TRUE(a.is_open() && b.is_open()) << err.message;
  EXPECT_NE(a.path(), b.path());
  EXPECT_EQ(a.path().parent_path(), dir_);
  EXPECT_FALSE(fs::exists(dir_ / "VIDEO_TS.IFO"));
  EXPECT_FALSE(CreateTemporaryBeside(dir_ / "missing" / "x", &err).is_open());
  EXPECT_EQ(err.code, ENOENT);
}

}  // namespace
}  // namespace platform
