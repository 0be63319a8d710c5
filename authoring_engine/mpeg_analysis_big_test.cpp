// A real movie over 1 GiB: cut into two parts, read with flat memory.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "mpeg_analysis.h"
#include "mpeg_testutil.h"

namespace morvix {
namespace {

long PeakRssKib() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST(MpegAnalysisBigTest, AMovieOverOneGibIsCutIntoTwoPartsWithFlatMemory) {
  const auto clip = testing::SharedClip("pal_43.mpg");
  if (clip.empty()) GTEST_SKIP() << "test media not generated";
  const std::uint64_t clip_bytes = std::filesystem::file_size(clip);
  const auto loops = static_cast<int>(0x40000000ULL / clip_bytes + 8);
  const auto big = testing::MakeClip(
      "big.mpg", {"-stream_loop", std::to_string(loops), "-i", clip.string(), "-c", "copy", "-f", "dvd"});
  ASSERT_FALSE(big.empty());
  ASSERT_GT(std::filesystem::file_size(big), 0x40000000ULL);

  const long before = PeakRssKib();
  MpegFile file(big);
  ErrorContext error;
  ASSERT_EQ(file.Analyse({}, error), kOk);
  EXPECT_LT(PeakRssKib() - before, 64 * 1024) << "memory grew with the file";

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
