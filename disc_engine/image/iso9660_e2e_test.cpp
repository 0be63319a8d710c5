// The layout checked by independent readers: a test-only writer puts the
// header and the file data of a layout into an image file, which isoinfo and
// xorriso must read back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "image/iso9660_format.h"
#include "image/iso9660_layout.h"
#include "image/iso9660_testutil.h"
#include "testing/tools.h"
#include "tree/project_tree.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;

using vantora::testing::RunTool;
using vantora::testing::ToolResult;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Writes the volume as an image file: the header from the session start, then
// each file's data at its extent, zero-filled to the end of the volume.
void WriteImage(const IsoLayout& layout, const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  const off_t base = off_t(layout.session_start) * iso9660::kSectorSize;
  ASSERT_EQ(::pwrite(fd, layout.header.data(), layout.header.size(), base), ssize_t(layout.header.size()));
  for (const FilePlacement& p : layout.placements) {
    std::string data = ReadAll(p.source_path);
    ASSERT_EQ(data.size(), p.size) << p.source_path;
    if (data.empty()) continue;
    ASSERT_EQ(::pwrite(fd, data.data(), data.size(), off_t(p.extent) * iso9660::kSectorSize),
              ssize_t(data.size()));
  }
  ASSERT_EQ(::ftruncate(fd, off_t(layout.end_sector) * iso9660::kSectorSize), 0);
  ::close(fd);
}

void ExpectContains(const ToolResult& r, const std::string& needle) {
  EXPECT_NE(r.output.find(needle), std::string::npos) << "missing '" << needle << "' in:\n" << r.output;
}

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

class IsoReadersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.MakeDir("disc/sub/deeper");
    dir_.MakeDir("disc/empty folder");
    dir_.WriteFile("disc/readme.txt", "hello, disc\n");
    dir_.WriteFile("disc/\xC3\x89t\xC3\xA9.txt", "accents");  // "Été.txt"
    dir_.WriteFile("disc/a.txt", "lower");
    dir_.WriteFile("disc/A.TXT", "upper");
    dir_.WriteFile("disc/empty.bin", "");
    dir_.WriteFile("disc/a very long file name that goes beyond thirty-one.data", "long");
    dir_.WriteFile("disc/sub/random.bin", RandomBytes(100000, 7));
    dir_.WriteFile("disc/sub/deeper/exact.bin", RandomBytes(4096, 8));
    image_ = dir_.path() + "/out.iso";
  }

  LayoutResult LayOutScan(bool dvd, std::uint32_t session_start = 0) {
    ProjectTree tree(nullptr);
    tree.AddDirectory(kRootId, dir_.path() + "/disc");
    tree.WaitForScans();
    LayoutOptions o;
    o.dvd_video = dvd;
    o.session_start = session_start;
    o.volume_name = "Test Vol";
    o.software_name = "Vantora";
    o.clock = testing::PinnedClock(1772600767);
    return LayOutIso9660(tree.Snapshot(), o);
  }

  // Extracts the image with xorriso and compares every file with its source.
  void ExpectExtractedTreeMatches(const std::string& read_fs,
                                  const std::vector<std::pair<std::string, std::string>>& files) {
    std::string out = dir_.path() + "/extract-" + read_fs;
    ToolResult r = RunTool({"xorriso", "-abort_on", "FAILURE", "-read_fs", read_fs, "-osirrox", "on",
                            "-indev", image_, "-extract", "/", out});
    ASSERT_EQ(r.exit_code, 0) << r.output;
    for (const auto& [in_image, source] : files) {
      EXPECT_EQ(ReadAll(out + "/" + in_image), ReadAll(source)) << in_image;
    }
  }

  testing::TempDir dir_;
  std::string image_;
};

// Keeps the image for inspection when ZEPHREL_KEEP_IMAGE names a path.
void KeepImage(const std::string& image) {
  if (const char* keep = std::getenv("ZEPHREL_KEEP_IMAGE"))
    fs::copy_file(image, keep, fs::copy_options::overwrite_existing);
}

TEST_F(IsoReadersTest, IsoinfoAndXorrisoReadBothHierarchiesAndTheFileData) {
  LayoutResult r = LayOutScan(false);
  ASSERT_TRUE(r.ok()) << r.error;
  WriteImage(r.layout, image_);
  KeepImage(image_);

  ToolResult d = RunTool({"isoinfo", "-d", "-i", image_});
  EXPECT_EQ(d.exit_code, 0);
  ExpectContains(d, "Volume id: TEST VOL");
  ExpectContains(d, "Volume size is: " + std::to_string(r.layout.end_sector));
  ExpectContains(d, "Joliet with UCS level 3 found");
  ExpectContains(d, "Publisher id: VANTORA");

  ToolResult l = RunTool({"isoinfo", "-l", "-i", image_});
  EXPECT_EQ(l.exit_code, 0);
  for (const char* name :
       {"README.TXT", "_T_.TXT", "A.TXT", "A1.TXT", "EMPTY.BIN", "RANDOM.BIN", "EXACT.BIN",
        "Directory listing of /DISC/SUB/DEEPER/", "Directory listing of /DISC/EMPTY FOLDER/"}) {
    ExpectContains(l, name);
  }

  ToolResult j = RunTool({"isoinfo", "-J", "-j", "iso8859-1", "-l", "-i", image_});
  EXPECT_EQ(j.exit_code, 0);
  for (const char* name :
       {"readme.txt", "\xC9t\xE9.txt", " a.txt", " A.TXT",
        "a very long file name that goes beyond thirty-one.data", "Directory listing of /disc/sub/deeper/"}) {
    ExpectContains(j, name);
  }

  ToolResult find = RunTool({"xorriso", "-abort_on", "FAILURE", "-indev", image_, "-find", "/"});
  EXPECT_EQ(find.exit_code, 0) << find.output;
  ExpectContains(find, "'/disc/sub/deeper/exact.bin'");
  ExpectContains(find, "'/disc/\xC3\x89t\xC3\xA9.txt'");
  EXPECT_EQ(find.output.find("SORRY"), std::string::npos) << find.output;

  const std::string src = dir_.path() + "/disc/";
  ExpectExtractedTreeMatches("any", {{"disc/readme.txt", src + "readme.txt"},
                                     {"disc/a.txt", src + "a.txt"},
                                     {"disc/A.TXT", src + "A.TXT"},
                                     {"disc/empty.bin", src + "empty.bin"},
                                     {"disc/sub/random.bin", src + "sub/random.bin"},
                                     {"disc/sub/deeper/exact.bin", src + "sub/deeper/exact.bin"}});
  ExpectExtractedTreeMatches("ecma119", {{"DISC/README.TXT", src + "readme.txt"},
                                         {"DISC/SUB/RANDOM.BIN", src + "sub/random.bin"},
                                         {"DISC/SUB/DEEPER/EXACT.BIN", src + "sub/deeper/exact.bin"}});
}

TEST_F(IsoReadersTest, DvdVideoModeImagesReadAsIso9660WithDataInAddOrder) {
  testing::TreeBuilder t;
  t.Folder(kRootId, "AUDIO_TS");
  std::int32_t video = t.Folder(kRootId, "VIDEO_TS");
  std::vector<std::string> names = {"VIDEO_TS.IFO", "VIDEO_TS.VOB", "VIDEO_TS.BUP", "VTS_01_0.IFO",
                                    "VTS_01_1.VOB"};
  unsigned seed = 1;
  for (const auto& name : names) {
    std::string path = dir_.WriteFile(name, RandomBytes(5000 + 3000 * seed, seed));
    ++seed;
    t.File(video, name, fs::file_size(path), std::nullopt, path);
  }
  LayoutOptions o;
  o.dvd_video = true;
  o.volume_name = "DVD";
  o.clock = testing::PinnedClock(1772600767);
  LayoutResult r = LayOutIso9660(t.elements(), o);
  ASSERT_TRUE(r.ok()) << r.error;
  ASSERT_EQ(r.layout.placements.size(), names.size());
  for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(r.layout.placements[i].name, names[i]);
  WriteImage(r.layout, image_);

  ToolResult d = RunTool({"isoinfo", "-d", "-i", image_});
  ExpectContains(d, "Volume size is: " + std::to_string(r.layout.end_sector));
  ExpectContains(d, "NO Joliet present");
  ToolResult l = RunTool({"isoinfo", "-l", "-i", image_});
  ExpectContains(l, "Directory listing of /VIDEO_TS/");
  ExpectContains(l, "VTS_01_1.VOB");
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& name : names) files.emplace_back("VIDEO_TS/" + name, dir_.path() + "/" + name);
  ExpectExtractedTreeMatches("ecma119", files);
}

// A later session: the image file holds the whole disc (the first session's
// area left empty), and readers find the volume at the session start.
TEST_F(IsoReadersTest, ALaterSessionIsReadFromItsStartSector) {
  LayoutResult r = LayOutScan(false, 1000);
  ASSERT_TRUE(r.ok()) << r.error;
  WriteImage(r.layout, image_);
  ToolResult d = RunTool({"isoinfo", "-d", "-T", "1000", "-i", image_});
  ExpectContains(d, "Volume size is: " + std::to_string(r.layout.end_sector));
  ToolResult l = RunTool({"isoinfo", "-J", "-l", "-T", "1000", "-i", image_});
  ExpectContains(l, "Directory listing of /disc/sub/deeper/");
  ToolResult x = RunTool({"isoinfo", "-T", "1000", "-i", image_, "-x", "/DISC/SUB/RANDOM.BIN"});
  EXPECT_EQ(x.exit_code, 0);
  EXPECT_EQ(x.output, ReadAll(dir_.path() + "/disc/sub/random.bin"));
}

}  // namespace
}  // namespace zephrel
