// Builds driven with the inputs a new user meets on the first day: names with
// blanks and non-ASCII letters, FIFOs, a disk that fills up, an old set that
// cannot be removed, a failing second title and two builds into one folder.
// Results are checked with libdvdread and lsdvd.
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "build_pipeline.h"
#include "build_testutil.h"
#include "engine_testutil.h"
#include "morvix/error_text.h"
#include "mpeg_testutil.h"
#include "platform/fileio.h"
#include "platform/text.h"
#include "testing/folder_held_elsewhere.h"
#include "vob_testutil.h"

namespace morvix {
namespace {

namespace fs = std::filesystem;
using dvdcheck::ExpectDvdreadAcceptsEverything;
using testing::RunTool;
using testing::SharedClip;

// Names with a blank, é, ü, 日本 and an emoji.
const std::string kOdd = " caf\xC3\xA9 \xC3\xBC \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80";

std::wstring Wide(const fs::path& path) { return platform::PathToWide(path); }

std::string Text(const CMorvixAPI& api, Status status) {
  wchar_t buffer[1024];
  api.GetErrText(status, buffer, 1024);
  return platform::WideToUtf8(buffer);
}

fs::path CopyTo(const fs::path& from, const fs::path& to) {
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  return to;
}

std::map<std::string, std::vector<std::uint8_t>> FolderContents(const fs::path& dir) {
  std::map<std::string, std::vector<std::uint8_t>> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.is_regular_file())
      files[platform::PathToUtf8(entry.path().filename())] = testing::ReadAll(entry.path());
  }
  return files;
}

// A failed build must not look like a disc: neither information file of the
// video manager, nothing a reader would open, no temporary file left over.
void ExpectNoDiscIn(const fs::path& dir) {
  EXPECT_FALSE(fs::exists(dir / "VIDEO_TS.IFO"));
  EXPECT_FALSE(fs::exists(dir / "VIDEO_TS.BUP"));
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = platform::PathToUtf8(entry.path().filename());
    EXPECT_TRUE(IsDvdVideoFileName(name)) << "left over: " << name;
  }
  std::string out;
  EXPECT_NE(RunTool({"lsdvd", platform::PathToUtf8(dir)}, &out), 0) << out;
}

// One title of the shared clip, without menus, into out.
void OneTitle(CMorvixAPI& api, const fs::path& out) {
  testing::AddClipTitle(api, SharedClip("pal_43.mpg"));
  ASSERT_EQ(api.SetOutputDir(Wide(out).c_str()), kOk);
}

// ---- non-ASCII and blank-holding paths --------------------------------------

TEST(BuildFaultsNonAsciiPaths, EveryPathArgumentMayHoldBlanksAndNonAsciiLetters) {
  testing::TestFolder root;
  const fs::path in = root.path() / ("in" + kOdd);
  const fs::path out = root.path() / ("out" + kOdd);
  fs::create_directories(in);
  fs::create_directories(out);
  const fs::path movie = CopyTo(SharedClip("pal_43.mpg"), in / ("movie" + kOdd + ".mpg"));
  const fs::path menu = CopyTo(SharedClip("pal_menu.mpg"), in / ("men\xC3\xBC" + kOdd + ".mpg"));
  const fs::path mask = CopyTo(testing::QuarterMask(), in / ("mask" + kOdd + ".bmp"));

  CMorvixAPI api;
  ASSERT_EQ(api.AddMainMenu(Wide(menu).c_str()), kMainMenuId);
  const int title = api.AddTitle(Wide(movie).c_str(), 1, nullptr);
  ASSERT_EQ(title, 1);
  ASSERT_EQ(api.AddMenuBtn(kMainMenuId, 100, 100, 160, 140, 1, 1, Wide(mask).c_str()), 0);
  const Status menu_id = api.AddTitleMenu(1, Wide(menu).c_str());
  ASSERT_GT(menu_id, 0);
  ASSERT_EQ(api.AddMenuBtn(menu_id, 100, 100, 160, 140, 2, 1, nullptr), 0);
  ASSERT_EQ(api.SetOutputDir(Wide(out).c_str()), kOk);

  const Status status = api.Build(nullptr);
  ASSERT_EQ(status, kOk) << Text(api, status);
  ExpectDvdreadAcceptsEverything(out);
  std::string lsdvd;
  EXPECT_EQ(RunTool({"lsdvd", platform::PathToUtf8(out)}, &lsdvd), 0) << lsdvd;
}

TEST(BuildFaultsNonAsciiPaths, ARefusedNonAsciiTitleIsNamedInsteadOfEndingTheProcess) {
  testing::TestFolder root;
  const fs::path bad = root.path() / ("\xE6\x97\xA5\xE6\x9C\xAC" + kOdd + ".mpg");
  testing::WriteAll(bad, std::vector<std::uint8_t>(4 * 2048, 0));
  CMorvixAPI api;
  OneTitle(api, root.path());
  ASSERT_EQ(api.AddTitle(Wide(bad).c_str(), 1, nullptr), 2);

  const Status status = api.Build(nullptr);
  EXPECT_EQ(status, kErrMpegFormat);
  EXPECT_NE(Text(api, status).find(platform::PathToUtf8(bad)), std::string::npos) << Text(api, status);
}

TEST(BuildFaultsNonAsciiPaths, ARefusedNonAsciiMenuIsNamedInsteadOfOutOfMemory) {
  testing::TestFolder root;
  const fs::path bad = root.path() / ("men\xC3\xBC" + kOdd + ".mpg");
  testing::WriteAll(bad, std::vector<std::uint8_t>(2048 + 7, 0));
  CMorvixAPI api;
  OneTitle(api, root.path());
  ASSERT_EQ(api.AddMainMenu(Wide(bad).c_str()), kMainMenuId);
  ASSERT_EQ(api.AddMenuBtn(kMainMenuId, 100, 100, 160, 140, 1, 1, nullptr), 0);

  const Status status = api.Build(nullptr);
  EXPECT_EQ(status, kErrMpegLength);
  EXPECT_NE(Text(api, status).find(platform::PathToUtf8(bad)), std::string::npos) << Text(api, status);
}

TEST(BuildFaultsNonAsciiPaths, AWriteFailureInANonAsciiFolderNamesTheFileInsteadOfOutOfMemory) {
  testing::TestFolder root;
  const fs::path out = root.path() / ("out" + kOdd);
  fs::create_directories(out / "VTS_01_1.VOB");  // a folder where the movie goes
  CMorvixAPI api;
  OneTitle(api, out);

  const Status status = api.Build(nullptr);
  EXPECT_EQ(status, kErrOpenForWrite);
  EXPECT_NE(Text(api, status).find(platform::PathToUtf8(out / "VTS_01_1.VOB")), std::string::npos)
      << Text(api, status);
  ExpectNoDiscIn(out);
}

// ---- FIFOs as inputs ---------------------------------------------------------

// Runs api.Build on a thread; when it has not returned within a minute, the
// FIFO is opened for writing once to release it, and the test fails.
Status BuildReleasingFifo(CMorvixAPI& api, const fs::path& fifo) {
  std::packaged_task<Status()> task([&api] { return api.Build(nullptr); });
  std::future<Status> result = task.get_future();
  std::thread worker(std::move(task));
  if (result.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    ADD_FAILURE() << "the build waits on the FIFO";
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
  }
  worker.join();
  return result.get();
}

fs::path MakeFifo(const fs::path& path) {
  EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
  return path;
}

TEST(BuildFaultsFifoInputs, AFifoAsTitleIsRefusedAtOnceWithItsName) {
  testing::TestFolder root;
  const fs::path fifo = MakeFifo(root.path() / ("title" + kOdd + ".mpg"));
  CMorvixAPI api;
  ASSERT_EQ(api.AddTitle(Wide(fifo).c_str(), 1, nullptr), 1);
  ASSERT_EQ(api.SetOutputDir(root.Wide("").c_str()), kOk);

  const Status status = BuildReleasingFifo(api, fifo);
  EXPECT_EQ(status, kErrOpenFile);
  EXPECT_NE(Text(api, status).find(platform::PathToUtf8(fifo)), std::string::npos) << Text(api, status);
}

TEST(BuildFaultsFifoInputs, AFifoAsSecondTitleIsRefusedAtOnceWithItsName) {
  testing::TestFolder root;
  const fs::path fifo = MakeFifo(root.path() / "second.mpg");
  const fs::path out = root.path() / "out";
  fs::create_directories(out);
  CMorvixAPI api;
  OneTitle(api, out);
  ASSERT_EQ(api.AddTitle(Wide(fifo).c_str(), 1, nullptr), 2);

  const Status status = BuildReleasingFifo(api, fifo);
  EXPECT_EQ(status, kErrOpenFile);
  EXPECT_NE(Text(api, status).find(platform::PathToUtf8(fifo)), std::string::npos) << Text(api, status);
  ExpectNoDiscIn(out);
}

TEST(BuildFaultsFifoInputs, AFifoAsMenuIsRefusedAtOnceWithItsName) {
  testing::TestFolder root;
  const fs::path fifo = MakeFifo(root.path() / ("menu" + kOdd + ".mpg"));
  CMorvixAPI api;
  OneTitle(api, root.path());
  ASSERT_EQ(api.AddMainMenu(Wide(fifo).c_str()), kMainMenuId);
  ASSERT_EQ(api.AddMenuBtn(kMainMenuId, 100, 100, 160, 140, 1, 1, nullptr), 0);

  const Status status = BuildReleasingFifo(api, fifo);
  EXPECT_EQ(status, kErrOpenFile);
  EXPECT_NE(Text(api, status).find(platform::PathToUtf8(fifo)), std::string::npos) << Text(api, status);
}

TEST(BuildFaultsFifoInputs, AFifoAsMaskBitmapIsRefusedAtOnce) {
  testing::TestFolder root;
  const fs::path fifo = MakeFifo(root.path() / "mask.bmp");
  CMorvixAPI api;
  OneTitle(api, root.path());
  ASSERT_EQ(api.AddMainMenu(Wide(SharedClip("pal_menu.mpg")).c_str()), kMainMenuId);
  std::future<Status> added = std::async(std::launch::async, [&] {
    return api.AddMenuBtn(kMainMenuId, 100, 100, 160, 140, 1, 1, Wide(fifo).c_str());
  });
  ASSERT_EQ(added.wait_for(std::chrono::seconds(60)), std::future_status::ready) << "waits on the FIFO";
  EXPECT_EQ(added.get(), kErrMaskLoad);
}

// ---- a disk that fills up ------------------------------------------------------

// A small tmpfs mounted for one test (needs the right to mount), removed with it.
class SmallDisk {
 public:
  static std::optional<SmallDisk> Mount(const fs::path& at) {
    fs::create_directories(at);
    if (::mount("tmpfs", at.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64m,mode=0700") != 0)
      return std::nullopt;
    return SmallDisk(at);
  }
  SmallDisk(SmallDisk&& other) noexcept : at_(std::move(other.at_)) { other.at_.clear(); }
  ~SmallDisk() {
    if (!at_.empty()) ::umount2(at_.c_str(), MNT_DETACH);
  }

  // Fills the disk so that exactly free_bytes stay free.
  void LeaveFree(std::uint64_t free_bytes) const {
    struct statvfs vfs {};
    ASSERT_EQ(::statvfs(at_.c_str(), &vfs), 0);
    const std::uint64_t now = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    ASSERT_GT(now, free_bytes);
    const int fd = ::open((at_ / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::posix_fallocate(fd, 0, static_cast<off_t>(now - free_bytes)), 0);
    ::close(fd);
  }

 private:
  explicit SmallDisk(fs::path at) : at_(std::move(at)) {}
  fs::path at_;
};

std::uint64_t Pages(std::uint64_t bytes) {
  const std::uint64_t page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
  return (bytes + page - 1) / page * page;
}

class BuildFaultsFullDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    // The sizes of a complete build of one title, in the order they are written.
    const fs::path out = root_.path() / "reference";
    fs::create_directories(out);
    CMorvixAPI api;
    OneTitle(api, out);
    ASSERT_EQ(api.Build(nullptr), kOk);
    vob_ = Pages(fs::file_size(out / "VTS_01_1.VOB"));
    vts_ = Pages(fs::file_size(out / "VTS_01_0.IFO"));
    vmg_ = Pages(fs::file_size(out / "VIDEO_TS.IFO"));
    page_ = Pages(1);
  }

  // Builds one title into a disk with free_bytes free, expects the write of
  // the file failing to fail, and checks what is left.
  void ExpectFailsLeavingNoDisc(std::uint64_t free_bytes, const std::string& failing) {
    const fs::path at = root_.path() / ("disk" + kOdd);
    std::optional<SmallDisk> disk = SmallDisk::Mount(at);
    if (!disk) GTEST_SKIP() << "no tmpfs can be mounted here";
    // Readers take a mount point for a device: the set goes into a folder on the disk.
    const fs::path out = at / ("out" + kOdd);
    fs::create_directories(out);
    disk->LeaveFree(free_bytes);
    CMorvixAPI api;
    OneTitle(api, out);
    const Status status = api.Build(nullptr);
    EXPECT_EQ(status, kErrWriteFile) << Text(api, status);
    EXPECT_NE(Text(api, status).find(platform::PathToUtf8(out / failing) + "\n"), std::string::npos)
        << Text(api, status);
    ExpectNoDiscIn(out);
  }

  testing::TestFolder root_;
  std::uint64_t vob_ = 0, vts_ = 0, vmg_ = 0, page_ = 0;
};

TEST_F(BuildFaultsFullDisk, FillingWhileTheMovieIsWrittenLeavesNoVideoManager) {
  ExpectFailsLeavingNoDisc(vob_ / 2 / page_ * page_, "VTS_01_1.VOB");
}

TEST_F(BuildFaultsFullDisk, FillingWhileTheTitleSetIfoIsWrittenLeavesNoVideoManager) {
  ExpectFailsLeavingNoDisc(vob_ + page_, "VTS_01_0.IFO");
}

TEST_F(BuildFaultsFullDisk, FillingWhileTheTitleSetBupIsWrittenLeavesNoVideoManager) {
  ExpectFailsLeavingNoDisc(vob_ + vts_ + page_, "VTS_01_0.BUP");
}

TEST_F(BuildFaultsFullDisk, FillingWhileVideoTsIfoIsWrittenLeavesNoVideoManager) {
  ExpectFailsLeavingNoDisc(vob_ + 2 * vts_ + page_, "VIDEO_TS.IFO");
}

TEST_F(BuildFaultsFullDisk, FillingWhileVideoTsBupIsWrittenLeavesNoVideoManager) {
  ExpectFailsLeavingNoDisc(vob_ + 2 * vts_ + vmg_ + page_, "VIDEO_TS.BUP");
}

TEST_F(BuildFaultsFullDisk, EnoughRoomForEveryFileBuildsTheWholeSet) {
  const fs::path at = root_.path() / "roomy";
  std::optional<SmallDisk> disk = SmallDisk::Mount(at);
  if (!disk) GTEST_SKIP() << "no tmpfs can be mounted here";
  const fs::path out = at / "out";
  fs::create_directories(out);
  disk->LeaveFree(vob_ + 2 * vts_ + 2 * vmg_ + page_);
  CMorvixAPI api;
  OneTitle(api, out);
  ASSERT_EQ(api.Build(nullptr), kOk);
  ExpectDvdreadAcceptsEverything(out);
}

TEST_F(BuildFaultsFullDisk, AFileSizeLimitHitWhileTheMovieIsWrittenLeavesNoVideoManager) {
  // Where no disk can be mounted: the movie outgrows the file-size limit of a
  // child process.
  const fs::path out = root_.path() / ("limited" + kOdd);
  fs::create_directories(out);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {};
    limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(vob_ / 2);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    CMorvixAPI api;
    testing::AddClipTitle(api, SharedClip("pal_43.mpg"));
    api.SetOutputDir(Wide(out).c_str());
    ::_exit(api.Build(nullptr) == kErrWriteFile ? 0 : 1);
  }
  int wstatus = 0;
  ASSERT_EQ(::waitpid(child, &wstatus, 0), child);
  EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0) << wstatus;
  ExpectNoDiscIn(out);
}

TEST(BuildFaultsInfoFiles, AFolderNamedVideoTsBupInTheWayLeavesNoVideoTsIfo) {
  testing::TestFolder root;
  fs::create_directories(root.path() / "VIDEO_TS.BUP");
  CMorvixAPI api;
  OneTitle(api, root.path());
  const Status status = api.Build(nullptr);
  EXPECT_EQ(status, kErrOpenForWrite);
  EXPECT_NE(Text(api, status).find(platform::PathToUtf8(root.path() / "VIDEO_TS.BUP")), std::string::npos)
      << Text(api, status);
  fs::remove(root.path() / "VIDEO_TS.BUP");
  ExpectNoDiscIn(root.path());
}

TEST(BuildFaultsInfoFiles, AFolderNamedLikeATitleSetIfoInTheWayLeavesNoVideoTsIfo) {
  testing::TestFolder root;
  fs::create_directories(root.path() / "VTS_01_0.IFO");
  CMorvixAPI api;
  OneTitle(api, root.path());
  EXPECT_EQ(api.Build(nullptr), kErrOpenForWrite);
  fs::remove(root.path() / "VTS_01_0.IFO");
  ExpectNoDiscIn(root.path());
}

int StopAtComplete(double, double, const wchar_t* text) { return std::wstring(text) == L"Complete" ? 1 : 0; }

TEST(BuildFaultsInfoFiles, AStopAnsweredAtTheVeryLastReportLeavesNoVideoTsIfo) {
  testing::TestFolder root;
  CMorvixAPI api;
  OneTitle(api, root.path());
  EXPECT_EQ(api.Build(&StopAtComplete), kStopped);
  ExpectNoDiscIn(root.path());
}

// ---- an old set that cannot be removed ---------------------------------------

TEST(BuildFaultsOldSet, AnOldSetWithOneFileThatCannotBeRemovedIsLeftWhole) {
  testing::TestFolder root;
  const fs::path out = root.path() / ("old" + kOdd);
  fs::create_directories(out);
  {
    CMorvixAPI api;
    OneTitle(api, out);
    testing::AddClipTitle(api, SharedClip("pal_noaudio.mpg"));
    ASSERT_EQ(api.Build(nullptr), kOk);
  }
  // The last old file the cleaning comes to is pinned in place by a mount
  // over it (a copy of itself, so the set stays playable): every other file
  // would already be gone when it fails.
  fs::path pinned;
  for (const auto& entry : fs::directory_iterator(out)) pinned = entry.path();
  ASSERT_FALSE(pinned.empty());
  const fs::path copy = CopyTo(pinned, root.path() / "pinned-copy");
  if (::mount(copy.c_str(), pinned.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    GTEST_SKIP() << "no file can be pinned by a mount here";
  }
  const auto before = FolderContents(out);

  CMorvixAPI api;
  OneTitle(api, out);
  const Status status = api.Build(nullptr);
  const auto after = FolderContents(out);
  ::umount2(pinned.c_str(), MNT_DETACH);

  EXPECT_EQ(status, kErrDeleteFile);
  EXPECT_NE(Text(api, status).find(platform::PathToUtf8(pinned)), std::string::npos) << Text(api, status);
  EXPECT_EQ(after.size(), before.size());
  EXPECT_TRUE(after == before) << "the old set is left as it was";
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(out)) ++entries;
  EXPECT_EQ(entries, before.size()) << "nothing of the cleaning is left";
  ExpectDvdreadAcceptsEverything(out);
}

TEST(BuildFaultsOldSet, AnOldSetThatCanBeRemovedIsReplaced) {
  testing::TestFolder root;
  {
    CMorvixAPI api;
    OneTitle(api, root.path());
    testing::AddClipTitle(api, SharedClip("pal_noaudio.mpg"));
    ASSERT_EQ(api.Build(nullptr), kOk);
  }
  CMorvixAPI api;
  OneTitle(api, root.path());
  ASSERT_EQ(api.Build(nullptr), kOk);
  EXPECT_FALSE(fs::exists(root.path() / "VTS_02_0.IFO")) << "the old second title set is gone";
  EXPECT_FALSE(fs::exists(root.path() / "VTS_02_1.VOB"));
  for (const auto& entry : fs::directory_iterator(root.path())) {
    EXPECT_TRUE(entry.is_regular_file() && IsDvdVideoFileName(platform::PathToUtf8(entry.path().filename())))
        << "nothing of the cleaning is left: " << entry.path();
  }
  ExpectDvdreadAcceptsEverything(root.path());
}

// ---- the failing title --------------------------------------------------------

TEST(BuildFaultsBlamedTitle, WhenTheSecondTitleFailsItsAnalysisTheSecondTitleAndItsFileAreNamed) {
  testing::TestFolder root;
  const fs::path bad = root.path() / "second.mpg";
  testing::WriteAll(bad, std::vector<std::uint8_t>(4 * 2048, 0));
  CMorvixAPI api;
  OneTitle(api, root.path());
  testing::AddTitleButtons(api, SharedClip("pal_menu.mpg"), 2);
  ASSERT_EQ(api.AddTitle(Wide(bad).c_str(), 1, nullptr), 2);

  ErrorContext error;
  const Status status = BuildVideoTs(*api.GetSettingData(), nullptr, BuildOptions{}, error);
  EXPECT_EQ(status, kErrMpegFormat);
  EXPECT_EQ(error.title, 2);
  EXPECT_EQ(error.file, Wide(bad));
}

TEST(BuildFaultsBlamedTitle, WhenTheThirdTitleFailsWhileTheSecondIsWrittenTheThirdIsNamed) {
  testing::TestFolder root;
  const fs::path bad = root.path() / "third.mpg";
  testing::WriteAll(bad, std::vector<std::uint8_t>(3 * 2048 + 1, 0));
  CMorvixAPI api;
  OneTitle(api, root.path());
  testing::AddClipTitle(api, SharedClip("pal_43.mpg"));
  ASSERT_EQ(api.AddTitle(Wide(bad).c_str(), 1, nullptr), 3);

  ErrorContext error;
  const Status status = BuildVideoTs(*api.GetSettingData(), nullptr, BuildOptions{}, error);
  EXPECT_EQ(status, kErrMpegLength);
  EXPECT_EQ(error.title, 3);
  EXPECT_EQ(error.file, Wide(bad));
}

// ---- two builds into one folder -------------------------------------------------

CMorvixAPI* g_second = nullptr;
Status g_second_status = kOk;
std::string g_second_text;

int StartSecondBuildOnce(double, double, const wchar_t*) {
  if (g_second != nullptr) {
    CMorvixAPI* second = std::exchange(g_second, nullptr);
    g_second_status = second->Build(nullptr);
    g_second_text = Text(*second, g_second_status);
  }
  return 0;
}

TEST(BuildFaultsTwoBuilds, ASecondBuildIntoTheSameFolderIsRefusedNamingTheFolder) {
  testing::TestFolder root;
  const fs::path out = root.path() / ("shared" + kOdd);
  fs::create_directories(out);
  CMorvixAPI first, second;
  OneTitle(first, out);
  OneTitle(second, out);
  g_second = &second;

  const Status status = first.Build(&StartSecondBuildOnce);
  EXPECT_EQ(status, kOk) << Text(first, status);
  EXPECT_EQ(g_second_status, kErrOpenFile);
  EXPECT_NE(g_second_text.find(platform::PathToUtf8(out)), std::string::npos) << g_second_text;
  EXPECT_NE(g_second_text.find("Please check if it's in use."), std::string::npos) << g_second_text;
  ExpectDvdreadAcceptsEverything(out);
}

TEST(BuildFaultsTwoBuilds, ABuildIntoAFolderThatAnotherProcessBuildsIntoIsRefused) {
  testing::TestFolder root;
  CMorvixAPI api;
  OneTitle(api, root.path());
  Status refused = kOk;
  {
    vantora::testing::FolderHeldElsewhere other(root.path());
    ASSERT_TRUE(other.held());
    refused = api.Build(nullptr);
  }
  EXPECT_EQ(refused, kErrOpenFile);
  EXPECT_NE(Text(api, refused).find(platform::PathToUtf8(root.path())), std::string::npos);
  EXPECT_TRUE(fs::is_empty(root.path())) << "nothing written or cleaned";
  EXPECT_EQ(api.Build(nullptr), kOk) << "the folder is free again";
}

}  // namespace
}  // namespace morvix
