// Builds the same inputs with the image build job, with the peer
// "genisoimage", and copies the same bytes with "cp", alternating in one run
// in an order that moves on by one tool every round (each run ends with
// "sync"), and prints wall times, the ratios to cp and the
// peak memory of each run. Inputs, made in the work folder given as the first
// argument: (a) one large file, (b) 20,000 files of 3 KB in 200 folders,
// (c) a DVD-Video set authored by dvdauthor from the clip given as the second
// argument (optional). The size of (a) and (c) in MB is the third argument
// (default 2000).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench_run.h"
#include "image/image_build_job.h"
#include "platform/process.h"
#include "round_order.h"

namespace {

namespace fs = std::filesystem;

using bench::Exec;
using bench::Measure;
using bench::Run;

class Quiet : public zephrel::ImageBuildEvents {
 public:
  void OnBuildingProcess(std::int32_t, std::int32_t, const std::string&, std::int32_t, std::int32_t,
                         std::int32_t, std::int32_t) override {}
  void BurnerOnError(std::int32_t n) override { std::fprintf(stderr, "error %d\n", n); }
  void BurningErrorViewDescription(const std::string& text) override {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  void BurnerOnEndBurn(std::int32_t, std::int32_t, std::int32_t error) override { failed = error != 0; }
  bool failed = false;
};

void AddFolder(std::vector<zephrel::TreeElement>& tree, const fs::path& folder, std::int32_t parent) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    zephrel::TreeElement e;
    e.name = entry.path().filename().string();
    e.source_path = entry.path().string();
    e.id = static_cast<std::int32_t>(tree.size() + 1);
    e.parent_id = parent;
    e.kind = entry.is_directory() ? zephrel::kKindFolder : zephrel::kKindFile;
    if (!entry.is_directory()) e.file_size = entry.file_size();
    tree.push_back(e);
    if (entry.is_directory()) AddFolder(tree, entry.path(), e.id);
  }
}

bool BuildOurs(const fs::path& source, const fs::path& image, bool dvd_video) {
  zephrel::ImageBuildRequest request;
  request.image_path = image;
  request.dvd_video = dvd_video;
  if (dvd_video) {
    for (const char* name : {"AUDIO_TS", "VIDEO_TS"}) {
      zephrel::TreeElement folder;
      folder.name = name;
      folder.id = static_cast<std::int32_t>(request.tree.size() + 1);
      request.tree.push_back(folder);
    }
    AddFolder(request.tree, source / "VIDEO_TS", 2);
  } else {
    AddFolder(request.tree, source, zephrel::kRootId);
  }
  Quiet events;
  zephrel::ImageBuildJob job(std::move(request), &events, nullptr);
  job.Run();
  return !events.failed;
}

void Compare(const char* label, const fs::path& source, const fs::path& work, bool dvd_video, int rounds) {
  std::printf("%s\n", label);
  enum Tool { kCp, kPeer, kOurs };
  for (int round = 0; round < rounds; ++round) {
    fs::remove_all(work / "out");
    fs::create_directories(work / "out");
    Run runs[3];
    for (const Tool tool : bench::RoundOrder<Tool>({kCp, kPeer, kOurs}, round)) {
      if (tool == kCp) {
        runs[kCp] = Measure([&] {
          return Exec({"cp", "-r", source.string(), (work / "out" / "copy").string()});
        });
      } else if (tool == kPeer) {
        runs[kPeer] = Measure([&] {
          std::vector<std::string> argv{"genisoimage", "-quiet", "-o", (work / "out" / "peer.iso").string()};
          if (dvd_video)
            argv.push_back("-dvd-video");
          else
            argv.push_back("-J");
          argv.push_back(source.string());
          return Exec(argv);
        });
      } else {
        runs[kOurs] = Measure([&] { return BuildOurs(source, work / "out" / "ours.iso", dvd_video); });
      }
    }
    const Run& cp = runs[kCp];
    const Run& peer = runs[kPeer];
    const Run& ours = runs[kOurs];
    std::printf(
        "  cp %.2f s %ld MiB | genisoimage %.2f s (%.2f x cp) %ld MiB%s | ours %.2f s (%.2f x cp) %ld "
        "MiB%s\n",
        cp.seconds, cp.peak_mib, peer.seconds, peer.seconds / cp.seconds, peer.peak_mib,
        peer.ok ? "" : " FAILED", ours.seconds, ours.seconds / cp.seconds, ours.peak_mib,
        ours.ok ? "" : " FAILED");
  }
  fs::remove_all(work / "out");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s WORK_FOLDER [CLIP.mpg] [MB]\n", argv[0]);
    return 2;
  }
  const fs::path work = argv[1];
  const std::uint64_t mb = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 2000;
  fs::create_directories(work);

  const fs::path large = work / "large";
  fs::create_directories(large);
  {
    std::ofstream out(large / "large.bin", std::ios::binary);
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131);
    for (std::uint64_t i = 0; i < mb; ++i)
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  Compare("(a) one large file", large, work, false, 3);
  fs::remove_all(large);

  const fs::path many = work / "many";
  for (int f = 0; f < 200; ++f) {
    const fs::path folder = many / ("folder" + std::to_string(f));
    fs::create_directories(folder);
    for (int i = 0; i < 100; ++i) {
      std::ofstream(folder / ("file" + std::to_string(i) + ".dat")) << std::string(3000, char('a' + i % 26));
    }
  }
  Compare("(b) 20,000 files of 3 KB in 200 folders", many, work, false, 3);
  fs::remove_all(many);

  if (argc > 2) {
    const fs::path clip = argv[2];
    const std::uint64_t copies =
        std::max<std::uint64_t>(1, mb * (1 << 20) / std::max<std::uint64_t>(1, fs::file_size(clip)));
    const fs::path dvd = work / "dvd";
    {
      std::ofstream xml(work / "dvd.xml");
      xml << "<dvdauthor dest=\"" << dvd.string() << "\"><vmgm/><titleset><titles><pgc>";
      // One link per copy: the same file named twice is taken once.
      for (std::uint64_t i = 0; i < copies; ++i) {
        const fs::path link = work / ("clip" + std::to_string(i) + ".mpg");
        fs::remove(link);
        fs::create_symlink(fs::absolute(clip), link);
        xml << "<vob file=\"" << link.string() << "\"/>";
      }
      xml << "</pgc></titles></titleset></dvdauthor>\n";
    }
    ::setenv("VIDEO_FORMAT", "PAL", 1);
    if (!Exec({"dvdauthor", "-x", (work / "dvd.xml").string()})) {
      std::fprintf(stderr, "dvdauthor failed\n");
      return 1;
    }
    Compare("(c) DVD-Video set", dvd, work, true, 3);
    fs::remove_all(dvd);
  }
  return 0;
}
