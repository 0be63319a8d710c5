#include "image/image_build_job.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>

#include "image/cue_sheet.h"
#include "image/image_build_testutil.h"
#include "image/iso9660_testutil.h"
#include "platform/byte_order.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;
using testing::JobEvent;
using testing::JobEventRecorder;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes straight to the image file.
struct PlainSink : ImageSink {
  explicit PlainSink(int descriptor) : fd(descriptor) {}
  int fd;
  bool Write(const std::uint8_t* d, std::size_t n, std::string*) override {
    return ::write(fd, d, n) == static_cast<ssize_t>(n);
  }
  bool Close(std::string*) override { return true; }
};

class ImageBuildJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.MakeDir("src/sub");
    dir_.WriteFile("src/a.txt", "alpha\n");
    dir_.WriteFile("src/sub/b.bin", std::string(3 * 2048 + 5, 'b'));
    dir_.WriteFile("src/sub/c.bin", "", 3 << 20);
  }
  ImageBuildRequest Request(const std::string& image, int mode = 0) {
    ImageBuildRequest r;
    r.image_path = image;
    r.mode = mode;
    r.tree = testing::TreeOfFolder(dir_.path() + "/src");
    r.volume_name = "TEST";
    r.clock = testing::PinnedClock(1700000000);
    return r;
  }
  std::string Out(const std::string& name) const { return dir_.path() + "/" + name; }
  // Files in the output folder other than the sources.
  std::vector<std::string> Outputs() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir_.path())) {
      if (e.path().filename() != "src") out.push_back(e.path().filename().string());
    }
    return out;
  }
  testing::TempDir dir_;
};

TEST_F(ImageBuildJobTest, AnImageIsWrittenWithPhasesProgressAndOneEnd) {
  JobEventRecorder events;
  ImageBuildJob job(Request(Out("x.iso")), &events, nullptr);
  job.Run();
  ASSERT_FALSE(job.failed()) << events.Descriptions();
  EXPECT_EQ(events.EndCount(), 1);
  EXPECT_EQ(events.events().back().kind, JobEvent::kEnd);
  EXPECT_FALSE(events.EndedWithError());
  EXPECT_EQ(fs::file_size(Out("x.iso")), std::uint64_t(job.total_sectors()) * 2048);
  std::vector<int> statuses;
  int last_done = 0;
  for (const auto& e : events.events()) {
    if (e.kind != JobEvent::kProcess) continue;
    if (e.a != kStatusFileData) {
      statuses.push_back(e.a);
      continue;
    }
    EXPECT_GE(e.done, last_done);
    last_done = e.done;
    EXPECT_EQ(e.total, static_cast<std::int32_t>(job.total_sectors()));
  }
  EXPECT_EQ(statuses, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(last_done, static_cast<std::int32_t>(job.total_sectors()));
  // The file data sits where the directory says: a.txt's bytes are in the image.
  EXPECT_NE(Slurp(Out("x.iso")).find("alpha\n"), std::string::npos);
}

TEST_F(ImageBuildJobTest, AnExistingImageOrSheetRaises1001AndStaysUntouched) {
  dir_.WriteFile("x.iso", "keep me");
  JobEventRecorder events;
  testing::RunBuild(Request(Out("x.iso")), &events);
  EXPECT_EQ(events.Errors(), std::vector<std::int32_t>{kErrorImageCreate});
  EXPECT_EQ(events.EndCount(), 1);
  EXPECT_TRUE(events.EndedWithError()) << "the end event must not read as success";
  EXPECT_EQ(Slurp(Out("x.iso")), "keep me");

  dir_.WriteFile("r.cue", "user sheet");
  JobEventRecorder raw;
  testing::RunBuild(Request(Out("r.iso"), 1), &raw);
  EXPECT_EQ(raw.Errors(), std::vector<std::int32_t>{kErrorImageCreate});
  EXPECT_TRUE(raw.EndedWithError());
  EXPECT_EQ(Slurp(Out("r.cue")), "user sheet");
  EXPECT_FALSE(fs::exists(Out("r.bin")));

  JobEventRecorder nowhere;
  testing::RunBuild(Request(Out("missing/x.iso")), &nowhere);
  EXPECT_EQ(nowhere.Errors(), std::vector<std::int32_t>{kErrorImageCreate});
  EXPECT_TRUE(nowhere.EndedWithError());
}

TEST_F(ImageBuildJobTest, RawModeReplacesOrAppendsTheExtensionOfTheFileNameOnly) {
  dir_.MakeDir("out.d");
  JobEventRecorder events;
  testing::RunBuild(Request(Out("out.d/image"), 1), &events);
  ASSERT_FALSE(events.EndedWithError()) << events.Descriptions();
  EXPECT_TRUE(fs::exists(Out("out.d/image.bin")));
  EXPECT_EQ(Slurp(Out("out.d/image.cue")), DataCueSheetText("image.bin"));
  EXPECT_EQ(fs::file_size(Out("out.d/image.bin")) % 2352, 0u);

  JobEventRecorder quoted;
  testing::RunBuild(Request(Out("say\"hi\".iso"), 1), &quoted);
  EXPECT_TRUE(quoted.EndedWithError());
  EXPECT_NE(quoted.Descriptions().find("CUE sheet"), std::string::npos);
  EXPECT_EQ(Outputs(), std::vector<std::string>{"out.d"});
}

TEST_F(ImageBuildJobTest, ASheetThatCannotBeWrittenFailsTheJob) {
  ImageBuildRequest request = Request(Out("x.iso"), 1);
  const std::string sheet = Out("x.cue");
  request.make_sink = [sheet](int fd) {
    fs::create_directory(sheet);  // taken between the checks and the sheet
    return std::make_unique<PlainSink>(fd);
  };
  JobEventRecorder events;
  testing::RunBuild(std::move(request), &events);
  EXPECT_TRUE(events.EndedWithError());
  EXPECT_NE(events.Descriptions().find("CUE sheet"), std::string::npos) << events.Descriptions();
  EXPECT_FALSE(fs::exists(Out("x.bin")));
  EXPECT_TRUE(fs::is_directory(sheet)) << "what the job did not create stays";
}

TEST_F(ImageBuildJobTest, RawImagesPastNinetyNineMinutesAreRefusedBeforeAnythingIsWritten) {
  dir_.WriteFile("src/huge.bin", "", 1ull << 30);
  JobEventRecorder events;
  testing::RunBuild(Request(Out("big.iso"), 1), &events);
  EXPECT_TRUE(events.EndedWithError());
  EXPECT_NE(events.Descriptions().find("99 minutes"), std::string::npos);
  EXPECT_TRUE(Outputs().empty());
}

TEST_F(ImageBuildJobTest, AVanishedOrChangedSourceFailsTheJobNamingIt) {
  for (const char* change : {"vanish", "shrink", "grow"}) {
    ImageBuildRequest request = Request(Out("x.iso"));
    const std::string victim = dir_.path() + "/src/sub/b.bin";
    if (std::string(change) == "vanish") fs::remove(victim);
    if (std::string(change) == "shrink") fs::resize_file(victim, 100);
    if (std::string(change) == "grow") fs::resize_file(victim, 9000);
    JobEventRecorder events;
    testing::RunBuild(std::move(request), &events);
    EXPECT_TRUE(events.EndedWithError()) << change;
    EXPECT_EQ(events.EndCount(), 1);
    EXPECT_NE(events.Descriptions().find("Can't read : " + victim), std::string::npos)
        << events.Descriptions();
    EXPECT_TRUE(Outputs().empty()) << change;
    dir_.WriteFile("src/sub/b.bin", std::string(3 * 2048 + 5, 'b'));
  }
}

TEST_F(ImageBuildJobTest, ASourceThatShrinksWhileBeingCopiedFailsTheJob) {
  ImageBuildRequest request = Request(Out("x.iso"));
  const std::string victim = dir_.path() + "/src/sub/c.bin";
  request.make_sink = [victim](int fd) {
    fs::resize_file(victim, 1 << 20);  // after the checks, before the copy
    return std::make_unique<PlainSink>(fd);
  };
  JobEventRecorder events;
  testing::RunBuild(std::move(request), &events);
  EXPECT_TRUE(events.EndedWithError());
  EXPECT_NE(events.Descriptions().find("Can't read : " + victim), std::string::npos) << events.Descriptions();
  EXPECT_TRUE(Outputs().empty());
}

// A sink that fails after a number of bytes, as a full disk does.
struct FailingSink : ImageSink {
  std::size_t room;
  explicit FailingSink(std::size_t bytes) : room(bytes) {}
  bool Write(const std::uint8_t*, std::size_t n, std::string* error) override {
    if (n > room) {
      *error = "No space left on device";
      return false;
    }
    room -= n;
    return true;
  }
  bool Close(std::string*) override { return true; }
};

TEST_F(ImageBuildJobTest, AWriteFailureReportsTheSystemTextAndLeavesNoFile) {
  for (std::size_t room : {std::size_t(0), std::size_t(40 * 2048), std::size_t(2 << 20)}) {
    for (int mode : {0, 1}) {
      ImageBuildRequest request = Request(Out("x.iso"), mode);
      request.make_sink = [room](int) { return std::make_unique<FailingSink>(room); };
      JobEventRecorder events;
      testing::RunBuild(std::move(request), &events);
      EXPECT_TRUE(events.EndedWithError()) << room;
      EXPECT_EQ(events.EndCount(), 1);
      EXPECT_NE(events.Descriptions().find("No space left on device"), std::string::npos);
      EXPECT_TRUE(Outputs().empty()) << "partial output left after " << room << " bytes, mode " << mode;
    }
  }
}

TEST_F(ImageBuildJobTest, TooLittleFreeSpaceFailsBeforeAnyDataIsWritten) {
  ImageBuildRequest request = Request(Out("x.iso"));
  request.free_space = [](const fs::path&) { return std::optional<std::uint64_t>(1 << 20); };
  bool written = false;
  request.make_sink = [&written](int fd) {
    struct Watch : PlainSink {
      Watch(int descriptor, bool* flag) : PlainSink(descriptor), written(flag) {}
      bool* written;
      bool Write(const std::uint8_t* d, std::size_t n, std::string* e) override {
        *written = true;
        return PlainSink::Write(d, n, e);
      }
    };
    return std::make_unique<Watch>(fd, &written);
  };
  JobEventRecorder events;
  testing::RunBuild(std::move(request), &events);
  EXPECT_TRUE(events.EndedWithError());
  EXPECT_NE(events.Descriptions().find("not enough free space"), std::string::npos) << events.Descriptions();
  EXPECT_FALSE(written);
  EXPECT_TRUE(Outputs().empty());
}

TEST_F(ImageBuildJobTest, AFileSizeLimitInAChildProcessFailsTheJobWithTheSystemText) {
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {
      1 << 20, 1 << 20
    };
    ::setrlimit(RLIMIT_FSIZE, &limit);
    JobEventRecorder events;
    testing::RunBuild(Request(Out("x.iso")), &events);
    int code = 0;
    if (events.EndedWithError()) code |= 1;
    if (events.EndCount() == 1) code |= 2;
    if (events.Descriptions().find("File too large") != std::string::npos) code |= 4;
    if (!fs::exists(Out("x.iso"))) code |= 8;
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 15) << "1 error flag, 2 one end, 4 system text, 8 no file left";
}

TEST_F(ImageBuildJobTest, CancelInEveryPhaseGivesOneEndAndNoOutput) {
  for (int status = 1; status <= kStatusFileData; ++status) {
    for (int mode : {0, 1}) {
      std::atomic<bool> cancel{false};
      JobEventRecorder events;
      events.on_event = [&](const JobEvent& e) {
        if (e.kind == JobEvent::kProcess && e.a == status) cancel = true;
      };
      testing::RunBuild(Request(Out("x.iso"), mode), &events, &cancel);
      EXPECT_EQ(events.EndCount(), 1) << status;
      EXPECT_TRUE(events.EndedCanceled()) << status;
      EXPECT_FALSE(events.EndedWithError()) << status;
      EXPECT_TRUE(Outputs().empty()) << "output left after a cancel at status " << status;
    }
  }
  std::atomic<bool> cancel{true};
  JobEventRecorder events;
  testing::RunBuild(Request(Out("x.iso")), &events, &cancel);
  EXPECT_TRUE(events.EndedCanceled());
  EXPECT_TRUE(Outputs().empty());
}

TEST_F(ImageBuildJobTest, AnExceptionEndsTheJobOnceWithTheErrorFlag) {
  ImageBuildRequest request = Request(Out("x.iso"));
  request.make_sink = [](int) -> std::unique_ptr<ImageSink> { throw std::runtime_error("boom"); };
  JobEventRecorder events;
  testing::RunBuild(std::move(request), &events);
  EXPECT_EQ(events.EndCount(), 1);
  EXPECT_TRUE(events.EndedWithError());
  EXPECT_NE(events.Descriptions().find("Compilation exception !"), std::string::npos);
  EXPECT_TRUE(Outputs().empty());
}

TEST_F(ImageBuildJobTest, DvdVideoRefusesAnImportedSession) {
  ImageBuildRequest request = Request(Out("x.iso"));
  request.dvd_video = true;
  TreeElement imported;
  imported.name = "OLD.TXT";
  imported.id = 100;
  imported.kind = kKindFile;
  imported.file_size = 10;
  imported.extent = 500;
  imported.from_last_session = true;
  request.tree.push_back(imported);
  JobEventRecorder events;
  testing::RunBuild(std::move(request), &events);
  EXPECT_TRUE(events.EndedWithError());
  EXPECT_NE(events.Descriptions().find("last session"), std::string::npos);
  EXPECT_TRUE(Outputs().empty());
}

// A manager IFO that declares its first title set at sector start and its
// backup at backup (0: none).
std::string ManagerIfo(std::uint32_t title_set_start, std::uint32_t last_sector, std::uint32_t ifo_last) {
  std::string ifo(2 * 2048, '\0');
  ifo.replace(0, 12, "DVDVIDEO-VMG");
  auto be32 = [&](std::size_t at, std::uint32_t v) {
    platform::PutBe32(reinterpret_cast<std::uint8_t*>(&ifo[at]), v);
  };

  be32(0x0C, last_sector);
  be32(0x1C, ifo_last);
  be32(0xC4, 1);  // title search pointers in sector 1
  ifo[2048 + 1] = 1;
  ifo[2048 + 8 + 6] = 1;
  be32(2048 + 8 + 8, title_set_start);
  return ifo;
}

TEST_F(ImageBuildJobTest, DvdVideoFilesStartWhereTheirSetsDeclareOrAreRefused) {
  testing::TempDir dvd;
  dvd.MakeDir("VIDEO_TS");
  dvd.WriteFile("VIDEO_TS/VIDEO_TS.IFO", ManagerIfo(10, 9, 1));
  dvd.WriteFile("VIDEO_TS/VIDEO_TS.BUP", ManagerIfo(10, 9, 1));
  dvd.WriteFile("VIDEO_TS/VTS_01_0.IFO", std::string(2048, '\0'));
  ImageBuildRequest request;
  request.image_path = Out("dvd.iso");
  request.dvd_video = true;
  request.tree = testing::DvdVideoTree(dvd.path() + "/VIDEO_TS");
  request.clock = testing::PinnedClock(1700000000);
  JobEventRecorder events;
  testing::RunBuild(request, &events);
  ASSERT_FALSE(events.EndedWithError()) << events.Descriptions();
  const std::string image = Slurp(Out("dvd.iso"));
  const std::size_t ifo = image.find("DVDVIDEO-VMG");
  ASSERT_NE(ifo, std::string::npos);
  EXPECT_EQ(image.find("DVDVIDEO-VMG", ifo + 1), ifo + 8 * 2048) << "backup at 9 - 1 sectors";
  fs::remove(Out("dvd.iso"));

  // A title set declared inside the manager's own files cannot be held.
  dvd.WriteFile("VIDEO_TS/VIDEO_TS.IFO", ManagerIfo(3, 3, 1));
  JobEventRecorder refused;
  testing::RunBuild(request, &refused);
  EXPECT_TRUE(refused.EndedWithError());
  EXPECT_NE(refused.Descriptions().find("VTS_01_0.IFO"), std::string::npos) << refused.Descriptions();
  EXPECT_TRUE(Outputs().empty());
}

}  // namespace
}  // namespace zephrel
