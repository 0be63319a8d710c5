// The engine object fed as a new user feeds it: names with blanks and
// non-ASCII letters in every path, and files that no image can hold. Images
// are read back with isoinfo, udfinfo and libdvdread.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "api/engine_testutil.h"
#include "image/image_build_testutil.h"
#include "image/iso9660_testutil.h"
#include "testing/tools.h"
#include "tree/project_tree.h"
#include "zephrel/iso_builder.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;
using vantora::testing::RunTool;
using vantora::testing::ToolErrors;

// A blank, é, ü, 日本 and an emoji.
const std::string kOdd = " caf\xC3\xA9 \xC3\xBC \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80";

class ISOBuilderFaults : public testing::ISOBuilderTest {
 protected:
  void SetUp() override { ProjectTree::Process().Clear(); }
  void TearDown() override {
    ISOBuilderTest::TearDown();
    ProjectTree::Process().Clear();
  }

  // Builds the tree into image and waits for the end; true when it ended without error.
  bool Build(const std::shared_ptr<testing::RecordingSink>& sink, const std::string& image, int video_mode) {
    builder_->CreateIso(image, 0, video_mode);
    EXPECT_TRUE(sink->WaitFor(kBurnerOnEndBurn));
    const auto events = sink->events();
    return !events.empty() && events.back().id == kBurnerOnEndBurn && events.back().args[2].i4() == 0;
  }

  std::vector<std::pair<std::int32_t, std::string>> Refusals(const testing::RecordingSink& sink) const {
    std::vector<std::pair<std::int32_t, std::string>> out;
    for (const auto& e : sink.events()) {
      if (e.id == kOnBuildingError) out.emplace_back(e.args[0].i4(), e.args[1].str());
    }
    return out;
  }

  testing::TempDir dir_;
};

TEST_F(ISOBuilderFaults, AddFileAddDirectoryAndTheImagePathMayHoldBlanksAndNonAsciiLetters) {
  dir_.MakeDir("src");
  dir_.MakeDir("src/folder" + kOdd);
  dir_.MakeDir("src/folder" + kOdd + "/sub " + kOdd);
  dir_.WriteFile("src/folder" + kOdd + "/inner" + kOdd + ".txt", "inner\n");
  dir_.WriteFile("src/folder" + kOdd + "/sub " + kOdd + "/deep.txt", "deep\n");
  const std::string single = dir_.WriteFile("src/single" + kOdd + ".txt", "single\n");
  auto sink = Advised();
  builder_->AddDirectory(kRootId, dir_.path() + "/src/folder" + kOdd);
  ASSERT_TRUE(sink->WaitFor(kOnEndAddingElements));
  builder_->AddFile(kRootId, single);
  EXPECT_TRUE(Refusals(*sink).empty());
  const std::string image = dir_.path() + "/image" + kOdd + ".iso";
  ASSERT_TRUE(Build(sink, image, 0)) << sink->Texts(kBurningErrorViewDescription).size();

  // 7z reads the Joliet names as UTF-8 (isoinfo prints only 8-bit code pages).
  const auto joliet = RunTool({"7z", "l", "-ba", "-slt", image});
  EXPECT_EQ(joliet.exit_code, 0) << joliet.output;
  // Joliet holds UCS-2: the emoji, beyond it, becomes '_'.
  const std::string bmp = " caf\xC3\xA9 \xC3\xBC \xE6\x97\xA5\xE6\x9C\xAC _";
  for (const std::string& path : {"folder" + bmp + "/inner" + bmp + ".txt",
                                  "folder" + bmp + "/sub " + bmp + "/deep.txt", "single" + bmp + ".txt"}) {
    EXPECT_NE(joliet.output.find("Path = " + path + "\n"), std::string::npos) << path << "\n"
                                                                              << joliet.output;
  }
  const auto extracted = RunTool({"7z", "x", "-so", image, "single" + bmp + ".txt"}, ToolErrors::kApart);
  EXPECT_EQ(extracted.output.substr(0, 7), "single\n");
  const auto plain = RunTool({"isoinfo", "-l", "-i", image});
  EXPECT_EQ(plain.exit_code, 0) << plain.output;
}

TEST_F(ISOBuilderFaults, ADvdVideoFolderWithANonAsciiPathMakesAnImageThatUdfReadersAccept) {
  const fs::path video_ts =
      testing::AuthorDvdVideo(dir_.path() + "/dvd" + kOdd, 1, false, testing::TestClip("pal_43.mpg"), {});
  ASSERT_FALSE(video_ts.empty()) << "dvdauthor failed";
  auto sink = Advised();
  builder_->AddVirtualDirectory(kRootId, "AUDIO_TS");
  builder_->AddVirtualDirectory(kRootId, "VIDEO_TS");
  for (const char* name : {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_1.VOB", "VTS_01_0.BUP"}) {
    builder_->AddFile(2, (video_ts / name).string());
  }
  EXPECT_TRUE(Refusals(*sink).empty());
  const std::string image = dir_.path() + "/disc" + kOdd + ".iso";
  ASSERT_TRUE(Build(sink, image, 1));

  const auto udfinfo = RunTool({"udfinfo", image});
  EXPECT_EQ(udfinfo.exit_code, 0) << udfinfo.output;
  EXPECT_EQ(udfinfo.output.find("rror"), std::string::npos) << udfinfo.output;
  const auto listing = RunTool({"isoinfo", "-f", "-i", image});
  EXPECT_EQ(listing.exit_code, 0) << listing.output;
  EXPECT_NE(listing.output.find("/VIDEO_TS/VTS_01_1.VOB"), std::string::npos) << listing.output;
  const auto lsdvd = RunTool({"lsdvd", image});
  EXPECT_EQ(lsdvd.exit_code, 0) << lsdvd.output;
}

TEST_F(ISOBuilderFaults, AFifoGivenToAddFileIsRefusedNamingItsKindAndTheImageIsBuiltWithoutIt) {
  const std::string kept = dir_.WriteFile("kept.txt", "kept\n");
  const std::string fifo = dir_.path() + "/pipe" + kOdd;
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto sink = Advised();
  builder_->AddFile(kRootId, kept);
  builder_->AddFile(kRootId, fifo);
  const auto refusals = Refusals(*sink);
  ASSERT_EQ(refusals.size(), 1u);
  EXPECT_EQ(refusals[0].first, 5003);
  EXPECT_EQ(refusals[0].second, fifo + ": a FIFO, not a regular file; only regular files go into an image");

  const std::string image = dir_.path() + "/out.iso";
  ASSERT_TRUE(Build(sink, image, 0));
  const auto listing = RunTool({"isoinfo", "-J", "-f", "-i", image});
  EXPECT_EQ(listing.output, "/kept.txt\n");
}

TEST_F(ISOBuilderFaults, AFileOfFourGibibytesIsRefusedWithItsSizeAgainstTheLimit) {
  const std::string largest = dir_.WriteFile("largest" + kOdd + ".bin", "", 0xFFFFFFFFull);
  const std::string too_big = dir_.WriteFile("too big" + kOdd + ".bin", "", 0x100000000ull);
  auto sink = Advised();
  builder_->AddFile(kRootId, largest);
  builder_->AddFile(kRootId, too_big);
  const auto refusals = Refusals(*sink);
  ASSERT_EQ(refusals.size(), 1u);
  EXPECT_EQ(refusals[0].first, 5003);
  EXPECT_EQ(refusals[0].second, too_big +
                                    ": 4294967296 bytes; an ISO 9660 file holds at most 4294967295 bytes "
                                    "(4 GiB less one byte)");
  std::int32_t files = 0;
  builder_->GetFileCount(files);
  EXPECT_EQ(files, 1) << "only the file below the limit is in the project";
}

}  // namespace
}  // namespace zephrel
