// A real movie over 1 GiB: cut into two parts, read with flat memory.
#include <gtest/gtest.h>

#include "mpeg_analysis.h"
#include "mpeg_testutil.h"

namespace morvix {
namespace {

TEST(MpegAnalysisBigTest, AMovieOverOneGibIsCutIntoTwoPartsWithFlatMemory) {
  if (testing::SharedClip("pal_43.mpg").empty()) GTEST_SKIP() << "test media not generated";
  const auto big = testing::ClipOverOneGib("big.mpg");
  ASSERT_FALSE(big.empty());
  ASSERT_GT(std::filesystem::file_size(big), 0x40000000ULL);

  const long before = testing::PeakRssKib();
  MpegFile file(big);
  ErrorContext error;
  ASSERT_EQ(file.Analyse({}, error), kOk);
  EXPECT_LT(testing::PeakRssKib() - before, 64 * 1024) << "memory grew with the file";

  ASSERT_EQ(file.part_count(), 2);
  ASSERT_EQ(file.cell_count(), 2);
  for (const Cell& cell : file.cells()) {
    const std::uint64_t bytes =
        static_cast<std::uint64_t>(cell.vobus.back().last_pack - cell.vobus.front().first_pack + 1) * 2048;
    EXPECT_LE(bytes, 0x40000000ULL);
    EXPECT_EQ(cell.cell_number, 0);
  }
  EXPECT_EQ(file.cells()[1].part, 1);
  EXPECT_EQ(file.cells()[0].end_ticks, file.cells()[1].start_ticks);
  std::filesystem::remove(big);
}

}  // namespace
}  // namespace morvix
