#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <unordered_map>

#include "image/iso9660_layout.h"
#include "image/iso9660_testutil.h"
#include "tree/project_tree.h"

namespace zephrel {
namespace {

struct CountingEvents : TreeEvents {
  std::atomic<int> end_adding{0};
  std::atomic<int> adding{0};
  void OnEndAddingElements() override { ++end_adding; }
  void OnAddingElements(const std::string&, std::int32_t) override { ++adding; }
};

// The list is a tree: unique ids, every parent an earlier folder (or the root).
void ExpectConsistent(const std::vector<TreeElement>& elements) {
  std::unordered_map<std::int32_t, const TreeElement*> seen;
  for (const auto& e : elements) {
    ASSERT_GT(e.id, 0);
    ASSERT_FALSE(seen.count(e.id)) << "duplicate id " << e.id;
    if (e.parent_id != kRootId) {
      auto it = seen.find(e.parent_id);
      ASSERT_NE(it, seen.end()) << "parent " << e.parent_id << " of " << e.id << " comes later or is missing";
      ASSERT_TRUE(it->second->is_folder());
    }
    seen[e.id] = &e;
  }
}

void MakeFixture(const testing::TempDir& dir) {
  for (int i = 0; i < 6; ++i) {
    std::string sub = "src/d" + std::to_string(i);
    dir.MakeDir(sub + "/inner");
    for (int j = 0; j < 30; ++j) dir.WriteFile(sub + "/f" + std::to_string(j), "data");
    dir.WriteFile(sub + "/inner/leaf", "leaf");
  }
}

TEST(ProjectTreeThreads, ConcurrentScansVirtualFoldersAndClearsKeepTheTreeConsistent) {
  testing::TempDir dir;
  MakeFixture(dir);
  CountingEvents events;
  ProjectTree tree(&events);
  const std::string src = dir.path() + "/src";
  std::atomic<int> scans_started{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 15; ++i) {
        tree.AddDirectory(t == 0 ? kRootId : (i % 3) + 1, src + "/");
        ++scans_started;
        tree.AddVirtualDirectory(kRootId, "v" + std::to_string(t) + "_" + std::to_string(i));
        (void)tree.GetFileCount();
        ExpectConsistent(tree.Snapshot());
      }
    });
  }
  threads.emplace_back([&] {
    for (int i = 0; i < 10; ++i) {
      tree.Clear();
      tree.GetFilesDirsAtLevel(kRootId);
      std::this_thread::yield();
    }
  });
  threads.emplace_back([&] {
    for (int i = 0; i < 20; ++i) {
      tree.CancelAddDirectory();
      tree.RemoveAt(i);
      tree.RenameElementAt(i + 1, "renamed" + std::to_string(i));
      (void)tree.ProjectedFilesMB();
    }
  });
  for (auto& th : threads) th.join();
  tree.WaitForScans();
  EXPECT_EQ(events.end_adding.load(), scans_started.load()) << "every scan ends with its event";
  auto elements = tree.Snapshot();
  ExpectConsistent(elements);

  // A quiet scan after all that sees the whole fixture.
  tree.Clear();
  tree.AddDirectory(kRootId, src);
  tree.WaitForScans();
  EXPECT_EQ(tree.GetFileCount(), 6 * 31);
  EXPECT_EQ(tree.GetDirectoryCount(), 1 + 6 * 2);
  ExpectConsistent(tree.Snapshot());
}

TEST(ProjectTreeThreads, StopScansBeforeABuildLeavesASnapshotThatLaysOut) {
  testing::TempDir dir;
  MakeFixture(dir);
  CountingEvents events;
  ProjectTree tree(&events);
  for (int i = 0; i < 4; ++i) tree.AddDirectory(kRootId, dir.path() + "/src");
  tree.StopScans();
  EXPECT_EQ(events.end_adding.load(), 4);
  auto snapshot = tree.Snapshot();
  ExpectConsistent(snapshot);
  LayoutOptions options;
  options.clock = testing::PinnedClock(0);
  LayoutResult r = LayOutIso9660(snapshot, options);
  ASSERT_TRUE(r.ok()) << r.error;
}

}  // namespace
}  // namespace zephrel
