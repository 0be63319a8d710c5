// The data burn's two threads around a small FIFO: a project several times the
// size of a 4 MiB FIFO is burned whole, in order, with the producer and the
// drive writer taking turns many times, and a write error stops both sides.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "burn/burn_testutil.h"
#include "tree/project_tree.h"

namespace zephrel {
namespace {

using testing::kTrue;
using testing::ReadAll;

class DataBurnThreads : public testing::BurnTest {
 protected:
  void SetUp() override {
    BurnTest::SetUp();
    ProjectTree::Process().Clear();
    UseMedium(platform::kProfileDvdPlusR);
    builder_->Burner_SetSizeBuffer(4);
    for (int i = 0; i < 6; ++i) {
      std::string content(3u << 20, static_cast<char>('a' + i));
      const std::string file = dir_.WriteFile("f" + std::to_string(i) + ".bin", content);
      builder_->AddFile(kRootId, file);
    }
  }
  void TearDown() override {
    BurnTest::TearDown();
    ProjectTree::Process().Clear();
  }
};

TEST_F(DataBurnThreads, AProjectFourTimesTheFifoIsBurnedWholeAndInOrder) {
  auto sink = Advised();
  builder_->Burner_BurnData(0, 8, 1, 0, 0, kTrue, 0, 0);
  ASSERT_EQ(WaitForEnd(*sink, 0), End(1, 0, 0)) << Said(*sink);
  const std::vector<std::uint8_t> medium = ReadAll(Export());
  std::uint32_t next = 0;
  for (const auto& w : Commands(mmc::kWrite10)) {
    EXPECT_EQ(platform::GetBe32(w.data() + 2), next);
    next += platform::GetBe16(w.data() + 7);
  }
  EXPECT_EQ(medium.size(), std::size_t(next) * 2048);
  for (int i = 0; i < 6; ++i) {
    const std::string needle(4096, static_cast<char>('a' + i));
    EXPECT_NE(std::search(medium.begin(), medium.end(), needle.begin(), needle.end()), medium.end()) << i;
  }
}

TEST_F(DataBurnThreads, AWriteErrorMidwayStopsTheProducerAndEndsOnceWithTheErrorFlag) {
  drive_->InjectFault(
      {.opcode = mmc::kWrite10, .first_lba = 4000, .count = 1000, .key = 0x03, .asc = 0x0C, .ascq = 0x00});
  auto sink = Advised();
  builder_->Burner_BurnData(0, 8, 1, 0, 0, kTrue, 0, 0);
  const auto end = WaitForEnd(*sink, 0);
  EXPECT_EQ(end[2].i4(), 1);
  const auto writes = Commands(mmc::kWrite10);
  ASSERT_FALSE(writes.empty());
  for (const auto& w : writes)
    EXPECT_LE(platform::GetBe32(w.data() + 2), 4000u) << "nothing after the failed write";
  EXPECT_EQ(platform::GetBe32(writes.back().data() + 2), 4000u);
}

}  // namespace
}  // namespace zephrel
