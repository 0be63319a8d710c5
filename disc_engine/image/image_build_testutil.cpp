#include "image/image_build_testutil.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "image/iso9660_testutil.h"
#include "testing/tools.h"

namespace zephrel::testing {

using vantora::testing::RunTool;
using vantora::testing::ToolResult;

void JobEventRecorder::Add(JobEvent e) {
  if (on_event) on_event(e);
  std::lock_guard lock(mutex_);
  events_.push_back(std::move(e));
}

void JobEventRecorder::OnBuildingProcess(std::int32_t status, std::int32_t file_index,
                                         const std::string& file_name, std::int32_t, std::int32_t,
                                         std::int32_t total_sectors, std::int32_t sectors_done) {
  Add({JobEvent::kProcess, status, file_index, 0, file_name, total_sectors, sectors_done});
}
void JobEventRecorder::BurnerOnError(std::int32_t error_number) {
  Add({JobEvent::kError, error_number, 0, 0, {}, 0, 0});
}
void JobEventRecorder::BurningErrorViewDescription(const std::string& text) {
  Add({JobEvent::kDescription, 0, 0, 0, text, 0, 0});
}
void JobEventRecorder::BurnerOnEndBurn(std::int32_t mode_burn, std::int32_t cancel, std::int32_t error) {
  Add({JobEvent::kEnd, mode_burn, cancel, error, {}, 0, 0});
}

std::vector<JobEvent> JobEventRecorder::events() const {
  std::lock_guard lock(mutex_);
  return events_;
}
int JobEventRecorder::EndCount() const {
  const auto e = events();
  return static_cast<int>(
      std::count_if(e.begin(), e.end(), [](auto& x) { return x.kind == JobEvent::kEnd; }));
}
bool JobEventRecorder::EndedWithError() const {
  const auto e = events();
  return !e.empty() && e.back().kind == JobEvent::kEnd && e.back().c == 1;
}
bool JobEventRecorder::EndedCanceled() const {
  const auto e = events();
  return !e.empty() && e.back().kind == JobEvent::kEnd && e.back().b == 1;
}
std::string JobEventRecorder::Descriptions() const {
  std::string out;
  for (const auto& e : events()) {
    if (e.kind == JobEvent::kDescription) out += e.text + "\n";
  }
  return out;
}
std::vector<std::int32_t> JobEventRecorder::Errors() const {
  std::vector<std::int32_t> out;
  for (const auto& e : events()) {
    if (e.kind == JobEvent::kError) out.push_back(e.a);
  }
  return out;
}

void RunBuild(ImageBuildRequest request, JobEventRecorder* events, const std::atomic<bool>* cancel) {
  ImageBuildJob job(std::move(request), events, cancel);
  job.Run();
}

namespace {

void AddFolder(std::vector<TreeElement>& tree, const std::filesystem::path& folder, std::int32_t parent) {
  std::vector<std::filesystem::directory_entry> entries;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) entries.push_back(entry);
  std::sort(entries.begin(), entries.end());
  for (const auto& entry : entries) {
    TreeElement e;
    e.name = entry.path().filename().string();
    e.source_path = entry.path().string();
    e.id = static_cast<std::int32_t>(tree.size() + 1);
    e.parent_id = parent;
    struct stat st {};
    ::stat(entry.path().c_str(), &st);
    e.mtime = st.st_mtime;
    if (entry.is_directory()) {
      e.kind = kKindFolder;
      tree.push_back(e);
      AddFolder(tree, entry.path(), e.id);
    } else {
      e.kind = kKindFile;
      e.file_size = static_cast<std::uint64_t>(st.st_size);
      tree.push_back(e);
    }
  }
}

}  // namespace

std::vector<TreeElement> TreeOfFolder(const std::filesystem::path& folder) {
  std::vector<TreeElement> tree;
  AddFolder(tree, folder, kRootId);
  return tree;
}

std::vector<TreeElement> DvdVideoTree(const std::filesystem::path& video_ts) {
  std::vector<TreeElement> tree;
  TreeElement audio;
  audio.name = "AUDIO_TS";
  audio.id = 1;
  tree.push_back(audio);
  TreeElement video;
  video.name = "VIDEO_TS";
  video.id = 2;
  video.source_path = video_ts.string();
  tree.push_back(video);
  AddFolder(tree, video_ts, 2);
  return tree;
}

std::filesystem::path AuthorDvdVideo(const std::filesystem::path& dest, int title_sets, bool menus,
                                     const std::filesystem::path& clip,
                                     const std::filesystem::path& menu_clip) {
  const std::filesystem::path xml = dest.string() + ".xml";
  {
    std::ofstream out(xml);
    out << "<dvdauthor dest=\"" << dest.string() << "\">\n <vmgm>";
    if (menus) {
      out << "<menus><pgc entry=\"title\"><vob file=\"" << menu_clip.string()
          << "\"/><post>jump title 1;</post></pgc></menus>";
    }
    out << "</vmgm>\n";
    for (int t = 0; t < title_sets; ++t) {
      out << " <titleset>";
      if (menus) {
        out << "<menus><pgc entry=\"root\"><vob file=\"" << menu_clip.string()
            << "\"/><post>jump title 1;</post></pgc></menus>";
      }
      out << "<titles><pgc><vob file=\"" << clip.string() << "\"/></pgc></titles></titleset>\n";
    }
    out << "</dvdauthor>\n";
  }
  ::setenv("VIDEO_FORMAT", "PAL", 1);  // a manager without menus names no format of its own
  const ToolResult r = RunTool({"dvdauthor", "-x", xml.string()});
  if (r.exit_code != 0) return {};
  return dest / "VIDEO_TS";
}

std::filesystem::path TestClip(const std::string& name) {
  const char* dir = std::getenv("VANTORA_TEST_MEDIA");
  return std::filesystem::path(dir ? dir : ".") / name;
}

// A tree with the names and shapes that trip readers up: UTF-8 names, names
// differing only in case, 40-character names, nine levels of folders, many
// small files and one large one.
void MakeFixture(const TempDir& dir, int small_files, std::uint64_t large_bytes) {
  dir.MakeDir("src/Über Straße/日本語");
  dir.WriteFile("src/Über Straße/日本語/ñandú.txt", "utf-8 names\n");
  dir.WriteFile("src/Über Straße/readme.txt", "lower\n");
  dir.WriteFile("src/Über Straße/README.TXT", "upper\n");
  const std::string forty(36, 'n');
  dir.WriteFile("src/" + forty + ".dat", "forty\n");
  std::string deep = "src";
  for (int level = 1; level <= 9; ++level) {
    deep += "/level" + std::to_string(level);
    dir.MakeDir(deep.substr(0));
  }
  dir.WriteFile(deep.substr(0) + "/bottom.txt", "nine levels down\n");
  for (int i = 0; i < small_files; ++i) {
    const std::string folder = "src/many/f" + std::to_string(i % 100);
    if (i < 100) dir.MakeDir(folder);
    dir.WriteFile(folder + "/small" + std::to_string(i) + ".txt",
                  std::string(1 + i % 3000, char('a' + i % 26)));
  }
  // The large file: non-zero data with a pattern that shows misplaced blocks.
  std::string block(1 << 20, 0);
  std::ofstream large(dir.path() + "/src/large.bin", std::ios::binary);
  for (std::uint64_t at = 0; at < large_bytes; at += block.size()) {
    for (std::size_t i = 0; i < block.size(); i += 8) {
      const std::uint64_t v = (at + i) * 0x9E3779B97F4A7C15ull;
      std::memcpy(block.data() + i, &v, 8);
    }
    large.write(block.data(),
                static_cast<std::streamsize>(std::min<std::uint64_t>(block.size(), large_bytes - at)));
  }
}

ImageBuildRequest FolderImageRequest(const TempDir& dir, const std::string& image, int mode) {
  ImageBuildRequest request;
  request.image_path = image;
  request.mode = mode;
  request.tree = TreeOfFolder(dir.path() + "/src");
  request.volume_name = "Fixture";
  request.software_name = "Zephrel";
  request.clock = PinnedClock(1700000000);
  return request;
}

void ExpectIsoImageReadable(const TempDir& dir, const std::string& image) {
  for (const std::vector<std::string>& argv : {std::vector<std::string>{"isoinfo", "-d", "-i", image},
                                               {"isoinfo", "-l", "-i", image},
                                               {"isoinfo", "-J", "-l", "-i", image},
                                               {"iso-info", "-l", image},
                                               {"7z", "l", image}}) {
    const auto r = RunTool(argv);
    EXPECT_EQ(r.exit_code, 0) << argv[0] << " " << argv[1] << "\n" << r.output.substr(0, 4000);
    EXPECT_EQ(r.output.find("rror"), std::string::npos) << argv[0] << " " << argv[1];
    EXPECT_EQ(r.output.find("arning"), std::string::npos) << argv[0] << " " << argv[1];
  }
  for (const char* fs_kind : {"any", "ecma119"}) {
    const auto r =
        RunTool({"xorriso", "-abort_on", "FAILURE", "-read_fs", fs_kind, "-indev", image, "-find", "/"});
    EXPECT_EQ(r.exit_code, 0) << r.output.substr(0, 4000);
    EXPECT_EQ(r.output.find("Wrong or damaged"), std::string::npos) << fs_kind;
    EXPECT_EQ(r.output.find("WARNING"), std::string::npos) << fs_kind << r.output.substr(0, 4000);
  }
  const auto check = RunTool({"xorriso", "-indev", image, "-check_media", "--"});
  EXPECT_EQ(check.exit_code, 0) << check.output;
  EXPECT_EQ(check.output.find("damaged"), std::string::npos) << check.output;
  const std::string out = dir.path() + "/extracted";
  const auto extract = RunTool({"xorriso", "-osirrox", "on", "-indev", image, "-extract", "/", out});
  EXPECT_EQ(extract.exit_code, 0) << extract.output.substr(0, 4000);
  RunTool({"chmod", "-R", "u+w", out});
  const auto diff = RunTool({"diff", "-r", dir.path() + "/src", out});
  EXPECT_EQ(diff.exit_code, 0) << diff.output.substr(0, 4000);
}

void ExpectFixtureImageReadable(int small_files, std::uint64_t large_bytes) {
  TempDir dir;
  MakeFixture(dir, small_files, large_bytes);
  const std::string image = dir.path() + "/fixture.iso";
  JobEventRecorder events;
  RunBuild(FolderImageRequest(dir, image), &events);
  ASSERT_FALSE(events.EndedWithError()) << events.Descriptions();
  EXPECT_EQ(events.EndCount(), 1);
  ExpectIsoImageReadable(dir, image);
}

}  // namespace zephrel::testing
