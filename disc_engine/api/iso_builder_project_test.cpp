#include <gtest/gtest.h>

#include "api/engine_testutil.h"
#include "image/iso9660_testutil.h"
#include "tree/project_tree.h"

namespace zephrel {
namespace {

using testing::ISOBuilderTest;

// The tree is process-wide: each test starts from an empty one.
class ISOBuilderTreeTest : public ISOBuilderTest {
 protected:
  void SetUp() override { builder_->Clear(); }
  void TearDown() override {
    builder_->Clear();
    ISOBuilderTest::TearDown();
  }
  testing::TempDir dir_;
};

TEST_F(ISOBuilderTreeTest, TreeMembersWorkOnTheProcessTreeAndReportToTheCallingObject) {
  auto sink = Advised();
  dir_.MakeDir("disc");
  dir_.WriteFile("disc/a.txt", "aaa");
  dir_.WriteFile("disc/b.txt", "", 2 * 1024 * 1024);
  builder_->AddDirectory(kRootId, dir_.path() + "/disc");
  ASSERT_TRUE(sink->WaitFor(kOnEndAddingElements));
  std::int32_t n = -1;
  builder_->GetFileCount(n);
  EXPECT_EQ(n, 2);
  builder_->GetDirectoryCount(n);
  EXPECT_EQ(n, 1);
  float mb = 0;
  builder_->GetProjectedImageSize(mb);
  EXPECT_FLOAT_EQ(mb, 2.0f) << "no listened drive counts as 0";

  builder_->AddFile(kRootId, dir_.path() + "/missing.txt");
  std::vector<std::pair<std::int64_t, std::string>> errors;
  for (const auto& e : sink->events()) {
    if (e.id == kOnBuildingError) errors.emplace_back(e.args[0].i4(), e.args[1].str());
  }
  EXPECT_EQ(errors, (std::vector<std::pair<std::int64_t, std::string>>{
                        {5003, dir_.path() + "/missing.txt: No such file or directory"}}));

  builder_->AddVirtualDirectory(kRootId, "virtual");
  builder_->GetFilesDirsAtLevel(kRootId);
  EXPECT_EQ(sink->Count(kBeginRetrieveElementsAtLevel), 1u);
  EXPECT_EQ(sink->Texts(kRetrieveElementsAtLevel), (std::vector<std::string>{"disc", "virtual"}));
  EXPECT_EQ(sink->Count(kEndRetrieveElementsAtLevel), 1u);
  builder_->DirectoryCountAtLevel(kRootId, n);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(sink->Count(kRetrieveDirectoriesAtLevel), 2u);

  builder_->RenameElementAt(1, "renamed");
  builder_->RemoveAt(4);
  builder_->GetDirectoryCount(n);
  EXPECT_EQ(n, 1);
  builder_->Clear();
  builder_->GetFileCount(n);
  EXPECT_EQ(n, 0);
}

TEST_F(ISOBuilderTreeTest, CreateIsoAndBurnDataStopAndJoinARunningScanFirst) {
  auto sink = Advised();
  dir_.MakeDir("big");
  for (int i = 0; i < 20; ++i) {
    dir_.MakeDir("big/d" + std::to_string(i));
    for (int j = 0; j < 50; ++j) dir_.WriteFile("big/d" + std::to_string(i) + "/f" + std::to_string(j), "");
  }
  builder_->AddDirectory(kRootId, dir_.path() + "/big");
  builder_->CreateIso(dir_.path() + "/out.iso", 0, 0);
  EXPECT_EQ(sink->Count(kOnEndAddingElements), 1u) << "the scan has ended when CreateIso returns";
  ASSERT_TRUE(sink->WaitFor(kBurnerOnEndBurn));
  builder_->AddDirectory(kRootId, dir_.path() + "/big");
  builder_->Burner_BurnData(0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(sink->Count(kOnEndAddingElements), 2u) << "the scan has ended when Burner_BurnData returns";
}

}  // namespace
}  // namespace zephrel
