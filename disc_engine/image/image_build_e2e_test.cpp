// Images built by the job, read back by independent readers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "image/image_build_job.h"
#include "image/image_build_testutil.h"
#include "image/iso9660_testutil.h"
#include "image/raw_sector_testutil.h"
#include "image/udf_writer.h"
#include "testing/tools.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;
using vantora::testing::RunTool;

constexpr std::int64_t kBuildTime = 1700000000;

std::string ProbePath() {
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return {};
  self[n] = 0;
  return (fs::path(self).parent_path() / "zephrel_dvdread_probe").string();
}

// path -> (sector, size) as libdvdread's UDF reader finds them.
std::map<std::string, std::pair<std::uint32_t, std::uint32_t>> ProbeUdf(
    const std::string& image, const std::vector<std::string>& paths) {
  std::vector<std::string> argv{ProbePath(), image};
  argv.insert(argv.end(), paths.begin(), paths.end());
  const auto r = RunTool(argv);
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
  const auto r = RunTool({"isoinfo", "-l", "-i", image});
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
  const auto udfinfo = RunTool({"udfinfo", image});
  EXPECT_EQ(udfinfo.exit_code, 0) << udfinfo.output;
  EXPECT_EQ(udfinfo.output.find("arning"), std::string::npos) << udfinfo.output;
  EXPECT_EQ(udfinfo.output.find("rror"), std::string::npos) << udfinfo.output;

  const auto sevenzip = RunTool({"7z", "l", "-tudf", image});
  EXPECT_EQ(sevenzip.exit_code, 0) << sevenzip.output;
  EXPECT_EQ(sevenzip.output.find("Headers Error"), std::string::npos) << sevenzip.output;
  EXPECT_EQ(sevenzip.output.find("Unsupported feature"), std::string::npos) << sevenzip.output;

  const auto isoinfo = RunTool({"isoinfo", "-d", "-i", image});
  EXPECT_EQ(isoinfo.exit_code, 0) << isoinfo.output;
  EXPECT_NE(isoinfo.output.find("Volume size is: " + std::to_string(fs::file_size(image) / 2048)),
            std::string::npos)
      << "the ISO 9660 volume covers the closing anchor\n"
      << isoinfo.output;
  const auto xorriso = RunTool({"xorriso", "-indev", image, "-find", "/"});
  EXPECT_EQ(xorriso.exit_code, 0) << xorriso.output;
  EXPECT_EQ(xorriso.output.find("Wrong or damaged"), std::string::npos) << xorriso.output;
  EXPECT_EQ(fs::file_size(image) % (16 * 2048), 0u) << "whole ECC blocks";

  const auto lsdvd = RunTool({"lsdvd", image});
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

TEST(IsoImage, JolietImageOfAnAwkwardTreeReadsInEveryReader) {
  testing::ExpectFixtureImageReadable(2000, 20 << 20);
}

TEST(RawImage, EverySectorIsAValidModeOneSectorAndBchunkGivesBackTheIso) {
  testing::TempDir dir;
  testing::MakeFixture(dir, 50, 3 << 20);
  const std::string plain = dir.path() + "/plain.iso";
  testing::JobEventRecorder plain_events, raw_events;
  testing::RunBuild(testing::FolderImageRequest(dir, plain), &plain_events);
  ASSERT_FALSE(plain_events.EndedWithError()) << plain_events.Descriptions();
  testing::RunBuild(testing::FolderImageRequest(dir, dir.path() + "/raw image.iso", 1), &raw_events);
  ASSERT_FALSE(raw_events.EndedWithError()) << raw_events.Descriptions();
  const std::string bin = dir.path() + "/raw image.bin", cue = dir.path() + "/raw image.cue";
  ASSERT_TRUE(fs::exists(bin));
  ASSERT_TRUE(fs::exists(cue));
  EXPECT_FALSE(fs::exists(dir.path() + "/raw image.iso"));
  const std::uint64_t sectors = fs::file_size(plain) / 2048;
  ASSERT_EQ(fs::file_size(bin), sectors * 2352);

  std::ifstream in(bin, std::ios::binary);
  std::vector<std::uint8_t> sector(2352);
  for (std::uint64_t lba = 0; lba < sectors; ++lba) {
    in.read(reinterpret_cast<char*>(sector.data()), 2352);
    const std::string problem = testing::CheckMode1Sector(sector, static_cast<std::int64_t>(lba));
    ASSERT_EQ(problem, "") << "sector " << lba;
  }

  const auto bchunk = RunTool({"bchunk", bin, cue, dir.path() + "/back"});
  ASSERT_EQ(bchunk.exit_code, 0) << bchunk.output;
  const auto cmp = RunTool({"cmp", plain, dir.path() + "/back01.iso"});
  EXPECT_EQ(cmp.exit_code, 0) << cmp.output;

  const auto cdinfo = RunTool({"cd-info", "--no-device-info", "--cue-file", cue});
  EXPECT_EQ(cdinfo.exit_code, 0) << cdinfo.output;
  EXPECT_NE(cdinfo.output.find("ISO 9660"), std::string::npos) << cdinfo.output;
}

TEST(UdfBridge, OneGibibyteFileReadsBackWithItsFullSize) {
  // Writer level: the bridge alone, in a sparse image whose data is never
  // written.
  testing::TempDir dir;
  const std::uint64_t gib = 1ull << 30;
  UdfBridgeInput in;
  in.partition_start = 300;
  in.volume_name = "BIG";
  in.build_time = kBuildTime;
  in.video_ts = {{"VIDEO_TS.IFO", 2048, 0}, {"VTS_01_1.VOB", gib, 0}, {"VTS_01_2.VOB", gib + 4096, 0}};
  std::uint32_t next = 300 + UdfAreaBlocks({}, {"VIDEO_TS.IFO", "VTS_01_1.VOB", "VTS_01_2.VOB"});
  for (UdfFile& f : in.video_ts) {
    f.extent = next;
    next += static_cast<std::uint32_t>((f.size + 2047) / 2048);
  }
  in.partition_end = next;
  in.volume_end = next + 1;
  std::vector<std::uint8_t> header(std::size_t(in.video_ts[0].extent) * 2048, 0);
  std::array<std::uint8_t, 2048> anchor{};
  std::string error;
  ASSERT_TRUE(WriteUdfBridge(in, header, anchor, &error)) << error;
  // ISO 9660 descriptors at 16 and 17 start the recognition sequence.
  for (std::uint8_t type : {1, 255}) {
    std::uint8_t* d = header.data() + (type == 1 ? 16 : 17) * 2048;
    d[0] = type;
    std::memcpy(d + 1, "CD001", 5);
    d[6] = 1;
  }
  const std::string image = dir.path() + "/big.udf";
  {
    std::ofstream out(image, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
    out.seekp(static_cast<std::streamoff>(std::uint64_t(in.volume_end - 1) * 2048));
    out.write(reinterpret_cast<const char*>(anchor.data()), 2048);
  }
  // libdvdread reports the first extent of a file (never 0, as it did when
  // the length ran into the extent-type bits); 7-Zip sums every extent.
  const auto udf = ProbeUdf(image, {"/VIDEO_TS/VTS_01_1.VOB", "/VIDEO_TS/VTS_01_2.VOB"});
  EXPECT_EQ(udf.at("/VIDEO_TS/VTS_01_1.VOB").second, udf::kMaxExtentLength);
  EXPECT_EQ(udf.at("/VIDEO_TS/VTS_01_1.VOB").first, in.video_ts[1].extent);
  EXPECT_EQ(udf.at("/VIDEO_TS/VTS_01_2.VOB").first, in.video_ts[2].extent);
  const auto sevenzip = RunTool({"7z", "l", "-tudf", image});
  EXPECT_EQ(sevenzip.exit_code, 0) << sevenzip.output;
  EXPECT_NE(sevenzip.output.find("1073741824"), std::string::npos) << sevenzip.output;
  EXPECT_NE(sevenzip.output.find("1073745920"), std::string::npos) << sevenzip.output;
  const auto udfinfo = RunTool({"udfinfo", image});
  EXPECT_EQ(udfinfo.exit_code, 0) << udfinfo.output;
  EXPECT_EQ(udfinfo.output.find("arning"), std::string::npos) << udfinfo.output;
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
  testing::JobEventRecorder events;
  ImageBuildRequest request = DvdRequest(video_ts, image);
  request.volume_name = "été 2023 日本";
  testing::RunBuild(request, &events);
  ASSERT_FALSE(events.EndedWithError()) << events.Descriptions();
  ExpectDvdImageReadable(video_ts, image, 1);
  // Readers that show only the ISO 9660 name get the letters without their
  // accents; the UDF name is the label as typed.
  const auto isoinfo = RunTool({"isoinfo", "-d", "-i", image});
  EXPECT_NE(isoinfo.output.find("Volume id: ETE 2023 __\n"), std::string::npos) << isoinfo.output;
  const auto udfinfo = RunTool({"udfinfo", image});
  EXPECT_NE(udfinfo.output.find("label=été 2023 日本\n"), std::string::npos) << udfinfo.output;
  // The manager declares 32 sectors for itself (its backup in the last three)
  // although its files fill 6; the title set starts where it says.
  const auto iso = IsoExtents(image);
  EXPECT_EQ(iso.at("VIDEO_TS.BUP") - iso.at("VIDEO_TS.IFO"), 29u);
  EXPECT_EQ(iso.at("VTS_01_0.IFO") - iso.at("VIDEO_TS.IFO"), 32u);
  EXPECT_EQ(iso.at("VTS_01_1.VOB") - iso.at("VTS_01_0.IFO"), 6u);
}

TEST(DvdVideoImage, TenTitleSetsWithMenusReadInEveryReader) {
  testing::TempDir dir;
  const fs::path video_ts = testing::AuthorDvdVideo(
      dir.path() + "/dvd", 10, true, testing::TestClip("pal_menu.mpg"), testing::TestClip("pal_menu.mpg"));
  ASSERT_FALSE(video_ts.empty()) << "dvdauthor failed";
  ASSERT_GE(std::distance(fs::directory_iterator(video_ts), fs::directory_iterator()), 41);
  const std::string image = dir.path() + "/dvd.iso";
  testing::JobEventRecorder events;
  testing::RunBuild(DvdRequest(video_ts, image), &events);
  ASSERT_FALSE(events.EndedWithError()) << events.Descriptions();
  ExpectDvdImageReadable(video_ts, image, 10);
}

TEST(DvdVideoImage, ThreeHundredFilesOfOddNameLengthsAllReadBack) {
  testing::TempDir dir;
  dir.MakeDir("VIDEO_TS");
  std::vector<std::string> paths;
  for (int i = 0; i < 300; ++i) {
    const std::string name = "F" + std::string(std::size_t(i % 7), 'x') + std::to_string(i) + ".DAT";
    dir.WriteFile("VIDEO_TS/" + name, std::string(std::size_t(1 + i * 37), char('a' + i % 26)));
    paths.push_back("/VIDEO_TS/" + name);
  }
  const std::string image = dir.path() + "/files.iso";
  testing::JobEventRecorder events;
  testing::RunBuild(DvdRequest(dir.path() + "/VIDEO_TS", image), &events);
  ASSERT_FALSE(events.EndedWithError()) << events.Descriptions();
  const auto udf = ProbeUdf(image, paths);
  const auto iso = IsoExtents(image);
  for (const std::string& path : paths) {
    ASSERT_TRUE(udf.count(path)) << path;
    std::string name = fs::path(path).filename().string();
    for (char& c : name)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));  // ISO 9660 names
    EXPECT_EQ(udf.at(path).second, fs::file_size(dir.path() + path)) << path;
    ASSERT_TRUE(iso.count(name)) << name;
    EXPECT_EQ(udf.at(path).first, iso.at(name)) << path;
  }
  const auto sevenzip = RunTool({"7z", "l", "-tudf", image});
  EXPECT_EQ(sevenzip.exit_code, 0) << sevenzip.output;
  EXPECT_EQ(sevenzip.output.find("Headers Error"), std::string::npos);
  EXPECT_NE(sevenzip.output.find("300 files"), std::string::npos)
      << sevenzip.output.substr(sevenzip.output.size() - 400);
  const auto udfinfo = RunTool({"udfinfo", image});
  EXPECT_EQ(udfinfo.exit_code, 0) << udfinfo.output;
  EXPECT_NE(udfinfo.output.find("numfiles=300"), std::string::npos) << udfinfo.output;
}

// The bytes of the images built from the test fixtures, as SHA-256 over the
// whole image: a change to the layout, the bridge or the padding shows here
// before any reader is asked.
struct GoldenImage {
  const char* name;
  enum Source { kDataFixture, kDvdFiles, kDvdOneTitleSet, kDvdTenTitleSets } source;
  int mode;                     // 1: raw sectors
  bool stream;                  // a burn's stream in place of a file
  std::uint32_t session_start;  // streams only
  std::uint32_t pad_to_sectors;
  const char* sha256;
};

void PrintTo(const GoldenImage& row, std::ostream* os) { *os << row.name; }

class GoldenImageTest : public ::testing::TestWithParam<GoldenImage> {};

// Hands the stream of a burn to a file.
struct FileStream : ImageSink {
  explicit FileStream(const std::string& path) : out(path, std::ios::binary) {}
  bool Write(const std::uint8_t* data, std::size_t size, std::string*) override {
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return bool(out);
  }
  bool Close(std::string*) override {
    out.close();
    return bool(out);
  }
  std::ofstream out;
};

TEST_P(GoldenImageTest, BytesStayTheSame) {
  const GoldenImage& row = GetParam();
  testing::TempDir dir;
  ImageBuildRequest request;
  const std::string image = dir.path() + "/golden.iso";
  switch (row.source) {
    case GoldenImage::kDataFixture:
      testing::MakeFixture(dir, 300, (3 << 20) + 777);
      request = testing::FolderImageRequest(dir, image, row.mode);
      break;
    case GoldenImage::kDvdFiles:
      dir.MakeDir("VIDEO_TS");
      for (int i = 0; i < 40; ++i) {
        dir.WriteFile("VIDEO_TS/F" + std::string(std::size_t(i % 7), 'x') + std::to_string(i) + ".DAT",
                      std::string(std::size_t(1 + i * 997), char('a' + i % 26)));
      }
      request = DvdRequest(dir.path() + "/VIDEO_TS", image);
      break;
    case GoldenImage::kDvdOneTitleSet:
    case GoldenImage::kDvdTenTitleSets: {
      const bool ten = row.source == GoldenImage::kDvdTenTitleSets;
      const fs::path video_ts =
          ten ? testing::AuthorDvdVideo(dir.path() + "/dvd", 10, true, testing::TestClip("pal_menu.mpg"),
                                        testing::TestClip("pal_menu.mpg"))
              : testing::AuthorDvdVideo(dir.path() + "/dvd", 1, false, testing::TestClip("pal_43.mpg"), {});
      ASSERT_FALSE(video_ts.empty()) << "dvdauthor failed";
      request = DvdRequest(video_ts, image);
      break;
    }
  }
  for (TreeElement& e : request.tree) e.mtime = kBuildTime;  // the files' own times vary
  request.pad_to_sectors = row.pad_to_sectors;
  std::unique_ptr<FileStream> stream;
  if (row.stream) {
    stream = std::make_unique<FileStream>(image);
    request.stream = stream.get();
    request.session_start = row.session_start;
  }
  testing::JobEventRecorder events;
  testing::RunBuild(request, &events);
  ASSERT_FALSE(events.EndedWithError()) << events.Descriptions();
  const std::string file = row.mode == 1 ? dir.path() + "/golden.bin" : image;
  const auto sum = RunTool({"sha256sum", file});
  ASSERT_EQ(sum.exit_code, 0) << sum.output;
  EXPECT_EQ(sum.output.substr(0, 64), row.sha256) << row.name;
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, GoldenImageTest,
    ::testing::Values(GoldenImage{"Data", GoldenImage::kDataFixture, 0, false, 0, 1,
                                  "13c59b9a064ad0b8f622e0a28831e80baeba19c91892111d671962175600d02c"},
                      GoldenImage{"DataRaw", GoldenImage::kDataFixture, 1, false, 0, 1,
                                  "30c7603cfaf5105b6237c52b4609cd827e172a0ff520af6a437d87be63211de3"},
                      GoldenImage{"DataBurnSecondSession", GoldenImage::kDataFixture, 0, true, 23456, 32,
                                  "7da5789dca22b8305c12a3fb8da890cfe45aafa7de60371a72f52c592d31f5b3"},
                      GoldenImage{"DvdFiles", GoldenImage::kDvdFiles, 0, false, 0, 1,
                                  "7781d1a1db0c22d1941643d717adbbeec5abcbd9a887f4f2a9b2670b9a25498b"},
                      GoldenImage{"DvdFilesBurn", GoldenImage::kDvdFiles, 0, true, 0, 96,
                                  "bc1ca07641ed7d6187108fd93d5ab5f1d1109b1d6d52621e19f0fb986539333a"},
                      GoldenImage{"DvdOneTitleSet", GoldenImage::kDvdOneTitleSet, 0, false, 0, 1,
                                  "206f39da5f404824be296161f202772341711ee62278a91f235658ed5025f3f8"},
                      GoldenImage{"DvdTenTitleSetsWithMenus", GoldenImage::kDvdTenTitleSets, 0, false, 0, 1,
                                  "3b229aa7ed0260e02f8b319d790065e0c3d0ee46ca181b85001fe7a477617509"},
                      GoldenImage{"DvdTenTitleSetsBurn", GoldenImage::kDvdTenTitleSets, 0, true, 0, 80,
                                  "14ad4141fcd25126407f1f8d75c6a5ac5caa10a395b2bce361a9124d178fc024"}),
    [](const ::testing::TestParamInfo<GoldenImage>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zephrel
