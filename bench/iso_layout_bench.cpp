// Lays out a synthetic project tree of 200,000 elements and prints the time
// and the peak memory. Given a folder, it also scans it, lays it out and runs
// the peer "genisoimage -print-size" (which computes a layout without writing
// an image) on the same folder, printing the ratio of the two times.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/iso9660_layout.h"
#include "tree/project_tree.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

long PeakRssMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

std::vector<zephrel::TreeElement> SyntheticTree(int folders, int files_per_folder) {
  std::vector<zephrel::TreeElement> tree;
  tree.reserve(std::size_t(folders) * (files_per_folder + 1));
  std::int32_t id = 0;
  std::int32_t parent = zephrel::kRootId;
  std::vector<std::int32_t> top;
  for (int f = 0; f < folders; ++f) {
    zephrel::TreeElement folder;
    folder.name = "folder number " + std::to_string(f);
    folder.id = ++id;
    // Ten top folders, the others nested one level below them.
    folder.parent_id = f < 10 ? zephrel::kRootId : top[f % 10];
    if (f < 10) top.push_back(folder.id);
    tree.push_back(folder);
    parent = folder.id;
    for (int i = 0; i < files_per_folder; ++i) {
      zephrel::TreeElement file;
      file.name = "a rather long file name " + std::to_string(i) + ".dat";
      file.source_path = "/nonexistent/" + file.name;
      file.id = ++id;
      file.parent_id = parent;
      file.kind = zephrel::kKindFile;
      file.file_size = 1000 + i;
      tree.push_back(file);
    }
  }
  return tree;
}

}  // namespace

int main(int argc, char** argv) {
  auto tree = SyntheticTree(2000, 99);  // 200,000 elements
  auto start = Clock::now();
  zephrel::LayoutResult r = zephrel::LayOutIso9660(tree, zephrel::LayoutOptions{});
  double ours = Seconds(start);
  if (!r.ok()) {
    std::fprintf(stderr, "layout failed: %s\n", r.error.c_str());
    return 1;
  }
  std::printf("layout of %zu elements: %.3f s, %u sectors, peak memory %ld MiB\n", tree.size(), ours,
              r.layout.end_sector, PeakRssMiB());

  if (argc > 1) {
    zephrel::ProjectTree project(nullptr);
    project.AddDirectory(zephrel::kRootId, argv[1]);
    project.WaitForScans();
    auto snapshot = project.Snapshot();
    start = Clock::now();
    zephrel::LayoutResult folder = zephrel::LayOutIso9660(snapshot, zephrel::LayoutOptions{});
    double mine = Seconds(start);
    std::string command = std::string("genisoimage -quiet -J -print-size '") + argv[1] + "' >/dev/null 2>&1";
    start = Clock::now();
    int status = std::system(command.c_str());
    double peer = Seconds(start);
    std::printf(
        "folder %s: %zu elements, ours %.3f s, genisoimage -print-size %.3f s (exit %d), ratio %.2f\n",
        argv[1], snapshot.size(), mine, peer, status, peer > 0 ? mine / peer : 0.0);
    if (!folder.ok()) std::printf("our layout failed: %s\n", folder.error.c_str());
  }
  return 0;
}
