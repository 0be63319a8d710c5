// Images built by the job, read back by independent readers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>

#include "image_build_job.h"
#include "image_build_testutil.h"
#include "iso9660_testutil.h"
#include "raw_sector_testutil.h"
#include "udf_writer.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;
using testing::RunProgram;

constexpr std::int64_t kBuildTime = 1700000000;

std::string ProbePath() {
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return {};
  self[n] = 0;
  return (fs::path(self).parent_path() / "zephrel_dvdread_probe").string();
}

// path -> (sector, size) as libdvdread's UDF reader finds them.
std::map<std::string, std::pair<std::uint32_t, std::uint32_t>> ProbeUdf(const std::string& image,
                                                                       const std::vector<std::string>& paths) {
  std::vector<std::string> argv{ProbePath(), image};
  argv.insert(argv.end(), paths.begin(), paths.end());
  const auto r = RunProgram(argv);
  EXPECT_EQ(r.exit_code, 0) << r.output;
  std::map<std::string, std::pair<std::uint32_t, std::uint32_t>> out;
  std::istringstream in(r.output);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string tag, path;
    std::uint32_t sector = 0, size = 0;
    if (fields >> tag >> path >> sector >> size && tag == "FILE") out[path] = {sector, size};
  }
  return out;
}

// name -> extent from isoinfo -l of the ISO 9660 hierarchy.
std::map<std::string, std::uint32_t> IsoExtents(const std::string& image) {
  const auto r = RunProgram({"isoinfo", "-l", "-i", image});
  EXPECT_EQ(r.exit_code, 0) << r.output;
  std::map<std::string, std::uint32_t> out;
  // Lines end in "[ extent flags]  NAME".
  std::istringstream in(r.output);
  std::string text;
  while (std::getline(in, text)) {
    const std::size_t open = text.find('['), close = text.find(']');
    if (open == std::string::npos || close == std::string::npos || close < open) continue;
    std::istringstream fields(text.substr(open + 1, close - open - 1));
    std::istringstream rest(text.substr(close + 1));
    std::uint32_t extent = 0;
    std::string name;
    if (fields >> extent && rest >> name) out[name] = extent;
  }
  return out;
}

void ExpectDvdImageReadable(const fs::path& video_ts, const std::string& image, int titles) {
  const auto udfinfo = RunProgram({"udfinfo", image});
  EXPECT_EQ(udfinfo.exit_code, 0) << udfinfo.output;
  EXPECT_EQ(udfinfo.output.find("arning"), std::string::npos) << udfinfo.output;
  EXPECT_EQ(udfinfo.output.find("rror"), std::string::npos) << udfinfo.output;

  const auto sevenzip = RunProgram({"7z", "l", "-tudf", image});
  EXPECT_EQ(sevenzip.exit_code, 0) << sevenzip.output;
  EXPECT_EQ(sevenzip.output.find("Headers Error"), std::string::npos) << sevenzip.output;
  EXPECT_EQ(sevenzip.output.find("Unsupported feature"), std::string::npos) << sevenzip.output;

  const auto lsdvd = RunProgram({"lsdvd", image});
  EXPECT_EQ(lsdvd.exit_code, 0) << lsdvd.output;
  char last_title[32];
  std::snprintf(last_title, sizeof last_title, "Title: %02d", titles);
  EXPECT_NE(lsdvd.output.find(last_title), std::string::npos) << lsdvd.output;

  std::vector<std::string> paths;
  std::map<std::string, std::uint64_t> sizes;
  for (const auto& entry : fs::directory_iterator(video_ts)) {
    paths.push_back("/VIDEO_TS/" + entry.path().filename().string());
    sizes[paths.back()] = fs::file_size(entry.path());
  }
  const auto udf = ProbeUdf(image, paths);
  const auto iso = IsoExtents(image);
  ASSERT_EQ(udf.size(), paths.size());
  for (const auto& [path, found] : udf) {
    EXPECT_EQ(found.second, sizes[path]) << path;
    const std::string name = fs::path(path).filename().string();
    ASSERT_TRUE(iso.count(name)) << name;
    EXPECT_EQ(found.first, iso.at(name)) << "UDF position + partition start = ISO extent for " << name;
    EXPECT_NE(found.first, 0u) << path;
  }
  // Every text 7-Zip lists is one of the files, and each is there.
  for (const auto& [path, size] : sizes) {
    EXPECT_NE(sevenzip.output.find(fs::path(path).filename().string()), std::string::npos) << path;
  }
}

ImageBuildRequest DvdRequest(const fs::path& video_ts, const std::string& image) {
  ImageBuildRequest request;
  request.image_path = image;
  request.dvd_video = true;
  request.tree = testing::DvdVideoTree(video_ts);
  request.volume_name = "MY_DVD";
  request.clock = testing::PinnedClock(kBuildTime);
  return request;
}

TEST(DvdVideoImage, OneTitleSetWithoutMenusReadsInEveryReader) {
  testing::TempDir dir;
  const fs::path video_ts =
      testing::AuthorDvdVideo(dir.path() + "/dvd", 1, false, testing::TestClip("pal_43.mpg"), {});
  ASSERT_FALSE(video_ts.empty()) << "dvdauthor failed";
  const std::string image = dir.path() + "/dvd.iso";
  testing::RecordingEvents events;
  testing::RunBuild(DvdRequest(video_ts, image), &events);
  ASSERT_FALSE(events.EndedWithError()) << events.Descriptions();
  ExpectDvdImageReadable(video_ts, image, 1);
  // The manager declares 32 sectors for itself (its backup in the last three)
  // although its files fill 6; the title set starts where it says.
  const auto iso = IsoExtents(image);
  EXPECT_EQ(iso.at("VIDEO_TS.BUP") - iso.at("VIDEO_TS.IFO"), 29u);
  EXPECT_EQ(iso.at("VTS_01_0.IFO") - iso.at("VIDEO_TS.IFO"), 32u);
  EXPECT_EQ(iso.at("VTS_01_1.VOB") - iso.at("VTS_01_0.IFO"), 6u);
}

TEST(DvdVideoImage, TenTitleSetsWithMenusReadInEveryReader) {
  testing::TempDir dir;
  const fs::path video_ts = testing::AuthorDvdVideo(dir.path() + "/dvd", 10, true, testing::TestClip("pal_menu.mpg"),
                                                    testing::TestClip("pal_menu.mpg"));
  ASSERT_FALSE(video_ts.empty()) << "dvdauthor failed";
  ASSERT_GE(std::distance(fs::directory_iterator(video_ts), fs::directory_iterator()), 41);
  const std::string image = dir.path() + "/dvd.iso";
  testing::RecordingEvents events;
  testing::RunBuild(DvdRequest(video_ts, image), &events);
  ASSERT_FALSE(events.EndedWithError()) << events.Descriptions();
  ExpectDvdImageReadable(video_ts, image, 10);
}

}  // namespace
}  // namespace zephrel
