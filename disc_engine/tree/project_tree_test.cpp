#include "tree/project_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>

#include "image/iso9660_testutil.h"

namespace zephrel {
namespace {

using testing::TempDir;

struct RecordingEvents : TreeEvents {
  std::mutex mutex;
  std::vector<std::string> adding;
  int end_adding = 0;
  std::vector<std::pair<int, std::string>> errors;
  std::vector<std::string> listing;  // "begin", names, "end"
  std::vector<std::tuple<std::string, int, int, int>> folders;

  void OnAddingElements(const std::string& name, std::int32_t flag_file) override {
    std::lock_guard lock(mutex);
    adding.push_back(name + ":" + std::to_string(flag_file));
  }
  void OnEndAddingElements() override {
    std::lock_guard lock(mutex);
    ++end_adding;
  }
  void OnBuildingError(std::int32_t n, const std::string& d) override {
    std::lock_guard lock(mutex);
    errors.emplace_back(n, d);
  }
  void BeginRetrieveElementsAtLevel() override { listing.push_back("begin"); }
  void RetrieveElementsAtLevel(const std::string& name, const std::string& path, std::int32_t index,
                               float size, std::int32_t flag_file, std::int32_t last_session) override {
    listing.push_back(name + "|" + path + "|" + std::to_string(index) + "|" + std::to_string(size) + "|" +
                      std::to_string(flag_file) + "|" + std::to_string(last_session));
  }
  void EndRetrieveElementsAtLevel() override { listing.push_back("end"); }
  void RetrieveDirectoriesAtLevelBegin(std::int32_t index) override {
    listing.push_back("dirs " + std::to_string(index));
  }
  void RetrieveDirectoriesAtLevel(const std::string& name, std::int32_t index, std::int32_t dad,
                                  std::int32_t has_child) override {
    folders.emplace_back(name, index, dad, has_child);
  }
};

const TreeElement* ByName(const std::vector<TreeElement>& elements, const std::string& name) {
  for (const auto& e : elements) {
    if (e.name == name) return &e;
  }
  return nullptr;
}

// Every folder's descendants carry the ids right after its own: ids were
// handed out depth first.
void ExpectDepthFirstIds(const std::vector<TreeElement>& elements) {
  std::map<std::int32_t, const TreeElement*> by_id;
  for (const auto& e : elements) by_id[e.id] = &e;
  std::int32_t expected = 1;
  for (const auto& [id, e] : by_id) EXPECT_EQ(id, expected++) << "ids run 1, 2, ... without gaps";
  std::map<std::int32_t, std::int32_t> last_descendant;
  for (auto it = by_id.rbegin(); it != by_id.rend(); ++it) {
    const TreeElement* e = it->second;
    std::int32_t last = std::max(e->id, last_descendant.count(e->id) ? last_descendant[e->id] : e->id);
    last_descendant[e->id] = last;
    if (e->parent_id != kRootId) {
      std::int32_t& parent_last = last_descendant[e->parent_id];
      parent_last = std::max(parent_last, last);
    }
  }
  for (const auto& [id, e] : by_id) {
    if (e->parent_id == kRootId) continue;
    // The element lies within its parent's range, after the parent.
    EXPECT_GT(id, e->parent_id);
    EXPECT_LE(last_descendant[id], last_descendant[e->parent_id]);
  }
  // Siblings' ranges do not interleave: a folder's range holds only its own descendants.
  for (const auto& [id, e] : by_id) {
    for (std::int32_t other = id + 1; other <= last_descendant[id]; ++other) {
      std::int32_t p = by_id[other]->parent_id;
      while (p != kRootId && p != id) p = by_id[p]->parent_id;
      EXPECT_EQ(p, id) << other << " sits inside the range of " << id;
    }
  }
}

class ProjectTreeTest : public ::testing::Test {
 protected:
  TempDir dir_;
  RecordingEvents events_;
  ProjectTree tree_{&events_};
};

TEST_F(ProjectTreeTest, ScanHandsOutIdsDepthFirstFromOneAndKeepsAFirstSubFolder) {
  // "only" holds nothing but a folder, so a folder is its first entry.
  dir_.MakeDir("top/only/inner");
  dir_.WriteFile("top/only/inner/deep.txt", "deep");
  dir_.WriteFile("top/a.txt", "aaaa");
  dir_.MakeDir("top/sub");
  dir_.WriteFile("top/sub/b.txt", "bb");
  dir_.WriteFile("top/sub/c.txt", "c");
  tree_.AddVirtualDirectory(kRootId, "before");
  tree_.Clear();
  tree_.AddDirectory(kRootId, dir_.path() + "/top");
  tree_.WaitForScans();
  auto elements = tree_.Snapshot();
  ASSERT_EQ(elements.size(), 8u);
  const TreeElement* top = ByName(elements, "top");
  ASSERT_TRUE(top);
  EXPECT_EQ(top->id, 1);
  EXPECT_EQ(top->parent_id, kRootId);
  EXPECT_TRUE(top->source_path.empty());
  ExpectDepthFirstIds(elements);
  const TreeElement* deep = ByName(elements, "deep.txt");
  ASSERT_TRUE(deep);
  EXPECT_EQ(deep->source_path, dir_.path() + "/top/only/inner/deep.txt");
  EXPECT_EQ(deep->file_size, 4u);
  EXPECT_TRUE(deep->mtime.has_value());
  const TreeElement* sub = ByName(elements, "sub");
  EXPECT_EQ(sub->source_path, dir_.path() + "/top/sub");
  EXPECT_EQ(events_.end_adding, 1);
  EXPECT_TRUE(events_.errors.empty());
  EXPECT_EQ(tree_.GetFileCount(), 4);
  EXPECT_EQ(tree_.GetDirectoryCount(), 4);
}

TEST_F(ProjectTreeTest, ScanOfAHostileFolderEndsAndReportsEverySkippedEntryOnce) {
  dir_.MakeDir("top/loop");
  ASSERT_EQ(::symlink("..", (dir_.path() + "/top/loop/up").c_str()), 0);
  ASSERT_EQ(::symlink(".", (dir_.path() + "/top/self").c_str()), 0);
  ASSERT_EQ(::mkfifo((dir_.path() + "/top/pipe").c_str(), 0644), 0);
  ASSERT_EQ(::symlink("missing", (dir_.path() + "/top/dangling").c_str()), 0);
  ASSERT_EQ(::symlink("pipe", (dir_.path() + "/top/to_pipe").c_str()), 0);
  ASSERT_EQ(::symlink("/dev/zero", (dir_.path() + "/top/to_device").c_str()), 0);
  dir_.WriteFile("top/real.txt", "12345");
  ASSERT_EQ(::symlink("real.txt", (dir_.path() + "/top/to_real").c_str()), 0);
  dir_.MakeDir("top/locked");
  dir_.WriteFile("top/locked/secret.txt", "x");
  ASSERT_EQ(::chmod((dir_.path() + "/top/locked").c_str(), 0), 0);
  const bool root = ::geteuid() == 0;  // root reads the locked folder anyway

  tree_.AddDirectory(kRootId, dir_.path() + "/top/");  // trailing separator
  tree_.WaitForScans();
  auto elements = tree_.Snapshot();
  std::set<std::string> names;
  for (const auto& e : elements) names.insert(e.name);
  EXPECT_TRUE(names.count("top")) << "the trailing separator does not give an empty name";
  EXPECT_FALSE(names.count(""));
  EXPECT_TRUE(names.count("loop"));
  EXPECT_TRUE(names.count("real.txt"));
  EXPECT_TRUE(names.count("locked")) << "an unreadable folder stays, empty";
  EXPECT_EQ(names.count("secret.txt"), root ? 1u : 0u);
  for (const char* skipped : {"up", "self", "pipe", "dangling", "to_pipe", "to_device"})
    EXPECT_FALSE(names.count(skipped)) << skipped;
  const TreeElement* link = ByName(elements, "to_real");
  ASSERT_TRUE(link) << "a link to a regular file is followed";
  EXPECT_EQ(link->kind, kKindFile);
  EXPECT_EQ(link->file_size, 5u);

  EXPECT_EQ(events_.end_adding, 1);
  ASSERT_EQ(events_.errors.size(), 1u) << "one report for the whole scan";
  EXPECT_EQ(events_.errors[0].first, kErrorCannotAddElement);
  const std::string expected_count = std::to_string(root ? 6 : 7) + " entries skipped";
  EXPECT_NE(events_.errors[0].second.find(expected_count), std::string::npos) << events_.errors[0].second;
  EXPECT_EQ(events_.errors[0].second.rfind(dir_.path() + "/top/", 0), 0u) << "names the first skipped entry";
}

TEST_F(ProjectTreeTest, ScanOfAMissingFolderReportsItAndAddsNothing) {
  tree_.AddDirectory(kRootId, dir_.path() + "/nothing");
  tree_.AddDirectory(kRootId, dir_.WriteFile("plain.txt", "x"));
  tree_.WaitForScans();
  EXPECT_TRUE(tree_.Snapshot().empty());
  ASSERT_EQ(events_.errors.size(), 2u);
  EXPECT_EQ(events_.errors[0].first, kErrorCannotAddElement);
  EXPECT_EQ(events_.end_adding, 2);
}

TEST_F(ProjectTreeTest, AddingElementsIsReportedEveryHundredIdsAboveAThousandDuringScansOnly) {
  dir_.MakeDir("many");
  for (int i = 0; i < 1249; ++i) dir_.WriteFile("many/f" + std::to_string(i), "");
  tree_.AddDirectory(kRootId, dir_.path() + "/many");
  tree_.WaitForScans();
  EXPECT_EQ(tree_.GetFileCount(), 1249);
  ASSERT_EQ(events_.adding.size(), 2u);  // ids 1100 and 1200 (1250 is not a multiple of 100)
  auto elements = tree_.Snapshot();
  std::map<std::int32_t, std::string> name_of;
  for (const auto& e : elements) name_of[e.id] = e.name;
  EXPECT_EQ(events_.adding[0], name_of[1100] + ":1");
  EXPECT_EQ(events_.adding[1], name_of[1200] + ":1");
  std::string file = dir_.WriteFile("single.txt", "x");
  for (int i = 0; i < 100; ++i) tree_.AddVirtualDirectory(kRootId, "v" + std::to_string(i));
  for (int i = 0; i < 100; ++i) tree_.AddFile(kRootId, file);
  EXPECT_EQ(events_.adding.size(), 2u) << "never for AddFile or AddVirtualDirectory";
}

TEST(ProjectTreeScanThread, AHandlerThatThrowsOnTheScansThreadStillGetsTheScansEndAndNothingEscapes) {
  struct Throwing : RecordingEvents {
    void OnBuildingError(std::int32_t n, const std::string& d) override {
      RecordingEvents::OnBuildingError(n, d);
      throw std::runtime_error("handler failed");
    }
  };
  Throwing events;
  ProjectTree tree(&events);
  TempDir dir;
  dir.MakeDir("top");
  dir.WriteFile("top/kept.txt", "x");
  ASSERT_EQ(::mkfifo((dir.path() + "/top/pipe").c_str(), 0600), 0);  // skipped, so reported
  tree.AddDirectory(kRootId, dir.path() + "/top");
  tree.WaitForScans();
  EXPECT_EQ(events.end_adding, 1);
  ASSERT_EQ(events.errors.size(), 2u);
  EXPECT_EQ(events.errors[1].second, dir.path() + "/top: the scan of this folder failed");
  EXPECT_EQ(tree.GetFileCount(), 1) << "what the scan found stays";
}

TEST_F(ProjectTreeTest, AddFileTakesRegularReadableFilesAndRefusesEverythingElse) {
  std::string good = dir_.WriteFile("good.bin", "hello");
  std::int32_t id = tree_.AddFile(kRootId, good);
  ASSERT_EQ(id, 1);
  auto e = tree_.Snapshot()[0];
  EXPECT_EQ(e.name, "good.bin");
  EXPECT_EQ(e.source_path, good);
  EXPECT_EQ(e.file_size, 5u);
  struct stat st;
  ASSERT_EQ(::stat(good.c_str(), &st), 0);
  EXPECT_EQ(e.mtime, st.st_mtim.tv_sec);

  ASSERT_EQ(::mkfifo((dir_.path() + "/fifo").c_str(), 0644), 0);
  // Each refusal names the file and says why.
  std::vector<std::pair<std::string, std::string>> refused = {
      {dir_.path() + "/missing.bin", "No such file or directory"},
      {dir_.MakeDir("folder"), "a folder, not a regular file"},
      {dir_.path() + "/fifo", "a FIFO, not a regular file"},
      {good + "/", "not a file name"},
      {"/dev/zero", "a character device, not a regular file"}};
  if (::geteuid() != 0) {
    std::string locked = dir_.WriteFile("locked.bin", "x");
    ::chmod(locked.c_str(), 0);
    refused.emplace_back(locked, "Permission denied");
  }
  for (const auto& [path, why] : refused) {
    events_.errors.clear();
    EXPECT_EQ(tree_.AddFile(kRootId, path), -1) << path;
    ASSERT_EQ(events_.errors.size(), 1u) << path;
    EXPECT_EQ(events_.errors[0].first, kErrorCannotAddElement);
    EXPECT_EQ(events_.errors[0].second.rfind(path + ": ", 0), 0u) << events_.errors[0].second;
    EXPECT_NE(events_.errors[0].second.find(why), std::string::npos) << events_.errors[0].second;
  }
  events_.errors.clear();
  EXPECT_EQ(tree_.AddFile(12345, good), -1) << "an unknown parent";
  EXPECT_EQ(tree_.AddFile(id, good), -1) << "a file is no parent";
  ASSERT_EQ(events_.errors.size(), 2u);
  EXPECT_EQ(events_.errors[0].second, good + ": the folder 12345 to add it to does not exist");
  EXPECT_EQ(tree_.GetFileCount(), 1);
}

TEST_F(ProjectTreeTest, FilesOfFourGibibytesAreRefusedAndSizesBelowStaySixtyFourBit) {
  std::string largest = dir_.WriteFile("largest.bin", "", 0xFFFFFFFFull);
  std::string too_big = dir_.WriteFile("too_big.bin", "", 0x100000000ull);
  ASSERT_GT(tree_.AddFile(kRootId, largest), 0);
  EXPECT_EQ(tree_.Snapshot()[0].file_size, 0xFFFFFFFFull);
  EXPECT_EQ(tree_.AddFile(kRootId, too_big), -1);
  ASSERT_EQ(events_.errors.size(), 1u);
  EXPECT_EQ(events_.errors[0],
            std::make_pair(int(kErrorCannotAddElement),
                           too_big + ": 4294967296 bytes; an ISO 9660 file holds at most 4294967295 bytes "
                                     "(4 GiB less one byte)"));

  events_.errors.clear();
  tree_.Clear();
  tree_.AddDirectory(kRootId, dir_.path());
  tree_.WaitForScans();
  EXPECT_EQ(tree_.GetFileCount(), 1);
  ASSERT_EQ(events_.errors.size(), 1u);
  EXPECT_EQ(events_.errors[0].second, too_big + " (1 entry skipped)");
}

TEST_F(ProjectTreeTest, RenameRefusesEmptySlashedDotAndDuplicateNames) {
  std::int32_t a = tree_.AddVirtualDirectory(kRootId, "a");
  std::int32_t b = tree_.AddVirtualDirectory(kRootId, "b");
  std::int32_t inner = tree_.AddVirtualDirectory(a, "b");
  for (const std::string& bad : {std::string(), std::string("x/y"), std::string("."), std::string(".."),
                                 std::string("b"), std::string("n\0ul", 4)}) {
    EXPECT_FALSE(tree_.RenameElementAt(a, bad)) << bad;
  }
  EXPECT_EQ(ByName(tree_.Snapshot(), "a")->id, a) << "a refused rename leaves the name";
  EXPECT_FALSE(tree_.RenameElementAt(999, "z"));
  EXPECT_TRUE(tree_.RenameElementAt(inner, "c"));
  EXPECT_TRUE(tree_.RenameElementAt(b, "B")) << "case differs: allowed, the layout keeps them apart";
  EXPECT_TRUE(tree_.RenameElementAt(b, "B")) << "its own name again";
  EXPECT_EQ(ByName(tree_.Snapshot(), "c")->id, inner);
}

TEST_F(ProjectTreeTest, VirtualFoldersNeedAValidNameAndAnExistingFolderAsParent) {
  EXPECT_EQ(tree_.AddVirtualDirectory(kRootId, ""), -1);
  EXPECT_EQ(tree_.AddVirtualDirectory(kRootId, "a/b"), -1);
  EXPECT_EQ(tree_.AddVirtualDirectory(42, "orphan"), -1);
  EXPECT_EQ(events_.errors.size(), 3u);
  std::int32_t v = tree_.AddVirtualDirectory(kRootId, "v");
  EXPECT_EQ(v, 1);
  tree_.RemoveAt(v);
  EXPECT_EQ(tree_.AddVirtualDirectory(v, "under removed"), -1);
}

TEST_F(ProjectTreeTest, RemovingAFolderHidesItsSubTreeButKeepsItsIds) {
  std::int32_t keep = tree_.AddVirtualDirectory(kRootId, "keep");
  std::int32_t gone = tree_.AddVirtualDirectory(kRootId, "gone");
  std::int32_t gone_sub = tree_.AddVirtualDirectory(gone, "sub");
  std::string f = dir_.WriteFile("f.bin", "", 3 * 1024 * 1024);
  tree_.AddFile(gone_sub, f);
  tree_.AddFile(keep, f);
  EXPECT_EQ(tree_.GetFileCount(), 2);
  EXPECT_DOUBLE_EQ(tree_.ProjectedFilesMB(), 6.0);
  tree_.RemoveAt(gone);
  EXPECT_EQ(tree_.GetFileCount(), 1);
  EXPECT_EQ(tree_.GetDirectoryCount(), 1);
  EXPECT_DOUBLE_EQ(tree_.ProjectedFilesMB(), 3.0);
  tree_.GetFilesDirsAtLevel(gone_sub);
  EXPECT_EQ(events_.listing, (std::vector<std::string>{"begin", "end"}));
  EXPECT_EQ(tree_.AddVirtualDirectory(kRootId, "next"), 6) << "ids stay taken";
  tree_.RemoveAt(12345);  // unknown: nothing happens
  EXPECT_EQ(tree_.GetDirectoryCount(), 2);
}

TEST_F(ProjectTreeTest, ListingsReportChildrenInListOrder) {
  std::int32_t z = tree_.AddVirtualDirectory(kRootId, "z");
  std::string f = dir_.WriteFile("f.bin", "abc");
  std::int32_t file = tree_.AddFile(kRootId, f);
  std::int32_t a = tree_.AddVirtualDirectory(kRootId, "a");
  tree_.AddVirtualDirectory(z, "inner");
  tree_.GetFilesDirsAtLevel(kRootId);
  EXPECT_EQ(events_.listing,
            (std::vector<std::string>{"begin", "z||1|0.000000|0|0", "f.bin|" + f + "|2|3.000000|1|0",
                                      "a||3|0.000000|0|0", "end"}));
  EXPECT_EQ(tree_.DirectoryCountAtLevel(kRootId), 2);
  EXPECT_EQ(events_.listing.back(), "dirs 0");
  EXPECT_EQ(events_.folders,
            (std::vector<std::tuple<std::string, int, int, int>>{{"z", z, 0, 0}, {"a", a, 0, 0}}));
  (void)file;
}

TEST_F(ProjectTreeTest, ProjectedSizeCountsWholeKibibytesAndNoDriveAsZeroAndLeavesOutImportedFiles) {
  tree_.AddFile(kRootId, dir_.WriteFile("small.bin", std::string(1023, 'x')));
  EXPECT_DOUBLE_EQ(tree_.ProjectedFilesMB(), 0.0);
  TreeElement old_folder;
  old_folder.name = "old";
  old_folder.id = 10;
  TreeElement old_file;
  old_file.name = "old.bin";
  old_file.id = 11;
  old_file.parent_id = 10;
  old_file.kind = kKindFile;
  old_file.file_size = 50 * 1024 * 1024;
  EXPECT_FALSE(tree_.AddImportedElements({old_file}, 11)) << "its parent is unknown";
  ASSERT_TRUE(tree_.AddImportedElements({old_folder, old_file}, 11));
  TreeElement clash = old_folder;
  clash.id = 1;
  EXPECT_FALSE(tree_.AddImportedElements({clash}, 11)) << "id taken by an element that was added";
  EXPECT_EQ(tree_.GetFileCount(), 2) << "imported files count";
  EXPECT_DOUBLE_EQ(tree_.ProjectedFilesMB(), 0.0) << "but take no new space";
  EXPECT_EQ(tree_.AddVirtualDirectory(kRootId, "after"), 12);
  tree_.AddFile(kRootId, dir_.WriteFile("mb.bin", "", 1024 * 1024));
  EXPECT_FLOAT_EQ(tree_.ProjectedImageSizeMB(-1.0f), 1.0f) << "no listened drive";
  EXPECT_FLOAT_EQ(tree_.ProjectedImageSizeMB(100.0f), 101.0f);
}

TEST_F(ProjectTreeTest, AReimportReplacesTheEarlierOneAndWhatWasAddedIntoItsFoldersFollowsTheirPath) {
  auto imported = [](std::int32_t id, std::int32_t parent, const char* name, ElementKind kind) {
    TreeElement e;
    e.id = id;
    e.parent_id = parent;
    e.name = name;
    e.kind = kind;
    return e;
  };
  ASSERT_TRUE(
      tree_.AddImportedElements({imported(1, kRootId, "old", kKindFolder), imported(2, 1, "a.txt", kKindFile),
                                 imported(3, kRootId, "gone", kKindFolder)},
                                3));
  ASSERT_EQ(tree_.AddVirtualDirectory(1, "mine"), 4);
  ASSERT_EQ(tree_.AddVirtualDirectory(3, "orphan"), 5);
  // The new session: "old" again (id 10) with another file, and no "gone".
  ASSERT_TRUE(tree_.AddImportedElements(
      {imported(10, kRootId, "old", kKindFolder), imported(11, 10, "b.txt", kKindFile)}, 11));
  std::vector<TreeElement> now = tree_.Snapshot();
  std::map<std::string, TreeElement> by_name;
  for (const TreeElement& e : now) by_name[e.name] = e;
  EXPECT_FALSE(by_name.count("a.txt")) << "the earlier import is gone";
  ASSERT_TRUE(by_name.count("b.txt") && by_name.count("mine"));
  EXPECT_EQ(by_name["mine"].parent_id, 10);
  EXPECT_FALSE(by_name.count("gone"));
  ASSERT_TRUE(by_name.count("orphan"));
  EXPECT_EQ(by_name["orphan"].parent_id, kRootId) << "its folder is not in the new session";
  EXPECT_EQ(tree_.GetFileCount(), 1);
  // Parents still come before their children, so removing the folder hides
  // what was moved into it.
  std::set<std::int32_t> seen{kRootId};
  for (const TreeElement& e : now) {
    EXPECT_TRUE(seen.count(e.parent_id)) << e.name;
    seen.insert(e.id);
  }
  tree_.RemoveAt(10);
  for (const TreeElement& e : tree_.Snapshot()) {
    if (e.name == "mine") {
      EXPECT_TRUE(e.removed);
    }
  }
  EXPECT_EQ(tree_.AddVirtualDirectory(kRootId, "next"), 12) << "ids go on after the import";
}

TEST_F(ProjectTreeTest, ClearRestartsIdsAndKeepsTheVolumeTexts) {
  tree_.SetCDName("Disc");
  tree_.SetSoftwareName("Soft");
  tree_.AddVirtualDirectory(kRootId, "a");
  tree_.AddVirtualDirectory(kRootId, "b");
  tree_.Clear();
  EXPECT_TRUE(tree_.Snapshot().empty());
  EXPECT_EQ(tree_.AddVirtualDirectory(kRootId, "c"), 1);
  EXPECT_EQ(tree_.CDName(), "Disc");
  EXPECT_EQ(tree_.SoftwareName(), "Soft");
}

TEST_F(ProjectTreeTest, ClearStopsAndJoinsARunningScan) {
  dir_.MakeDir("big");
  for (int i = 0; i < 50; ++i) {
    dir_.MakeDir("big/d" + std::to_string(i));
    for (int j = 0; j < 40; ++j) dir_.WriteFile("big/d" + std::to_string(i) + "/f" + std::to_string(j), "");
  }
  tree_.AddDirectory(kRootId, dir_.path() + "/big");
  tree_.Clear();
  EXPECT_EQ(events_.end_adding, 1) << "the scan has ended when Clear returns";
  EXPECT_TRUE(tree_.Snapshot().empty());
  EXPECT_EQ(tree_.AddVirtualDirectory(kRootId, "fresh"), 1);
}

}  // namespace
}  // namespace zephrel

namespace zephrel {
namespace {

TEST(ProjectTreeTargets, ACallsOwnTargetReceivesItsEventsAndOutlivesItsScan) {
  testing::TempDir dir;
  dir.WriteFile("f.txt", "x");
  ProjectTree tree(nullptr);
  auto target = std::make_shared<RecordingEvents>();
  tree.AddDirectory(kRootId, dir.path(), target);
  tree.AddFile(kRootId, dir.path() + "/missing", target);
  tree.WaitForScans();
  EXPECT_EQ(target->end_adding, 1);
  EXPECT_EQ(target->errors.size(), 1u);
  auto dropped = std::make_shared<RecordingEvents>();
  std::weak_ptr<RecordingEvents> watch = dropped;
  tree.AddDirectory(kRootId, dir.path(), std::move(dropped));  // the scan keeps it alive until its last event
  tree.WaitForScans();
  EXPECT_TRUE(watch.expired());
  auto listener = std::make_shared<RecordingEvents>();
  tree.GetFilesDirsAtLevel(kRootId, listener);
  EXPECT_EQ(listener->listing.size(), 4u);  // begin, two scanned folders, end
  EXPECT_EQ(tree.DirectoryCountAtLevel(kRootId, listener), 2);
  EXPECT_EQ(listener->folders.size(), 2u);
}

}  // namespace
}  // namespace zephrel

namespace zephrel {
namespace {

// A handler running on the scan's own thread may clear the tree: the scan
// stops, what it found is dropped, and its end is still reported once.
struct ClearingEvents : TreeEvents {
  ProjectTree* tree = nullptr;
  std::promise<void> ended;
  int cleared = 0;
  void OnAddingElements(const std::string&, std::int32_t) override {
    if (cleared++ == 0) tree->Clear();
  }
  void OnEndAddingElements() override { ended.set_value(); }
};

TEST(ProjectTreeHandlers, MayClearTheTreeFromTheScansOwnThread) {
  testing::TempDir dir;
  dir.MakeDir("many");
  for (int i = 0; i < 1150; ++i) dir.WriteFile("many/f" + std::to_string(i), "");
  // Held by the scan (as its target) until its thread is done with it.
  auto events = std::make_shared<ClearingEvents>();
  ProjectTree tree(nullptr);
  events->tree = &tree;
  auto ended = events->ended.get_future();
  tree.AddDirectory(kRootId, dir.path() + "/many", events);
  ended.wait();
  EXPECT_EQ(events->cleared, 1) << "the scan stopped at the Clear";
  EXPECT_TRUE(tree.Snapshot().empty());
  EXPECT_EQ(tree.AddVirtualDirectory(kRootId, "fresh"), 1);
}

TEST(ProjectTreeHandlers, AFolderRemovedDuringItsScanHidesWhatTheScanFound) {
  testing::TempDir dir;
  dir.MakeDir("many");
  for (int i = 0; i < 1150; ++i) dir.WriteFile("many/f" + std::to_string(i), "");
  struct RemovingEvents : TreeEvents {
    ProjectTree* tree = nullptr;
    std::int32_t parent = 0;
    void OnAddingElements(const std::string&, std::int32_t) override { tree->RemoveAt(parent); }
  } events;
  ProjectTree tree(&events);
  events.tree = &tree;
  events.parent = tree.AddVirtualDirectory(kRootId, "parent");
  tree.AddDirectory(events.parent, dir.path() + "/many");
  tree.WaitForScans();
  EXPECT_EQ(tree.GetFileCount(), 0);
  EXPECT_EQ(tree.GetDirectoryCount(), 0);
}

}  // namespace
}  // namespace zephrel
