// A real movie over 1 GiB written as two VOB parts with flat memory.
#include <gtest/gtest.h>

#include "mpeg_testutil.h"
#include "nav_pack.h"
#include "platform/byte_order.h"
#include "vob_testutil.h"
#include "vob_writer.h"

namespace morvix {
namespace {

TEST(VobWriterBigTest, AMovieOverOneGibIsWrittenAsTwoPartsWithFlatMemory) {
  if (testing::SharedClip("pal_43.mpg").empty()) GTEST_SKIP() << "test media not generated";
  const auto big = testing::ClipOverOneGib("big_vob_input.mpg");
  ASSERT_FALSE(big.empty());
  const std::uint64_t big_bytes = std::filesystem::file_size(big);
  ASSERT_GT(big_bytes, 0x40000000ULL);

  MpegFile file(big);
  ErrorContext error;
  ASSERT_EQ(file.Analyse({}, error), kOk);
  ASSERT_EQ(file.part_count(), 2);

  const auto dir = testing::NewOutputDir("big_vob");
  VobWriteRequest request;
  request.output_folder = dir;
  request.title_index = 0;
  VobWriteResult result;
  const long before = testing::PeakRssKib();
  ASSERT_EQ(VobWriter().WriteVob(file, request, error, &result), kOk);
  EXPECT_LT(testing::PeakRssKib() - before, 32 * 1024) << "memory grew with the file";

  ASSERT_EQ(result.files.size(), 2u);
  EXPECT_LE(result.file_bytes[0], 0x40000000ULL);
  EXPECT_EQ(result.file_bytes[0] + result.file_bytes[1], big_bytes);
  EXPECT_EQ(std::filesystem::file_size(dir / "VTS_01_2.VOB"), result.file_bytes[1]);
  // The second part's first navigation pack continues the sector count.
  std::vector<std::uint8_t> first(2048);
  {
    std::FILE* f = std::fopen((dir / "VTS_01_2.VOB").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fread(first.data(), 1, first.size(), f), first.size());
    std::fclose(f);
  }
  EXPECT_EQ(platform::GetBe32(first.data() + nav::kPciLbn), result.file_bytes[0] / 2048);
  EXPECT_EQ(platform::GetBe16(first.data() + nav::kVobuVobIdn), 2);
  EXPECT_EQ(file.cells()[1].vobus.front().out_first_sector, result.file_bytes[0] / 2048);
  std::filesystem::remove_all(dir);
  std::filesystem::remove(big);
}

}  // namespace
}  // namespace morvix
