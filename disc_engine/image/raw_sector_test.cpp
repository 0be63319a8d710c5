#include "image/raw_sector.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "image/raw_sector_testutil.h"

namespace zephrel {
namespace {

using Sector = std::array<std::uint8_t, kCdRawSectorSize>;

Sector Mode1(std::int64_t lba, const std::vector<std::uint8_t>& data) {
  Sector s{};
  std::copy(data.begin(), data.end(), s.begin() + 16);
  EXPECT_EQ(BuildRawSector(s, kRawMode1, lba + kCdMsfOffset), 0);
  return s;
}

std::vector<std::uint8_t> Pattern() {
  std::vector<std::uint8_t> d(2048);
  for (std::size_t i = 0; i < d.size(); ++i) d[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return d;
}

TEST(RawSector, Mode1SectorsMatchKnownAnswerVectors) {
  // Vectors computed by a separate implementation of the ECMA-130 word layout.
  Sector s = Mode1(0, Pattern());
  EXPECT_EQ(testing::Crc32(s), 0xfc2b9df2u);
  EXPECT_EQ(ComputeEdc(s, 0, 2063), 0x68eef435u);
  EXPECT_EQ(s[2076], 0x29);
  EXPECT_EQ(s[2351], 0xd1);
  Sector last = Mode1(449849, std::vector<std::uint8_t>(2048, 0));
  EXPECT_EQ(testing::Crc32(last), 0x15cc7356u);
  EXPECT_EQ(last[12], 0x99);
  EXPECT_EQ(last[13], 0x59);
  EXPECT_EQ(last[14], 0x74);
}

TEST(RawSector, Mode2Form1SectorMatchesKnownAnswerVector) {
  Sector s{};
  const std::uint8_t sub[8] = {0, 0, 8, 0, 0, 0, 8, 0};
  std::copy(std::begin(sub), std::end(sub), s.begin() + 16);
  const auto data = Pattern();
  std::copy(data.begin(), data.end(), s.begin() + 24);
  ASSERT_EQ(BuildRawSector(s, kRawMode2Form1, 16 + kCdMsfOffset), 0);
  EXPECT_EQ(testing::Crc32(s), 0x4c59836au);
}

TEST(RawSector, HeadersCountFromTwoSecondsInBcd) {
  Sector s0 = Mode1(0, Pattern());
  EXPECT_EQ(std::vector<int>(s0.begin() + 12, s0.begin() + 16), (std::vector<int>{0x00, 0x02, 0x00, 0x01}));
  Sector s16 = Mode1(16, Pattern());
  EXPECT_EQ(std::vector<int>(s16.begin() + 12, s16.begin() + 16), (std::vector<int>{0x00, 0x02, 0x16, 0x01}));
  Sector s300 = Mode1(300, Pattern());
  EXPECT_EQ(std::vector<int>(s300.begin() + 12, s300.begin() + 15), (std::vector<int>{0x00, 0x06, 0x00}));
}

TEST(RawSector, IndependentCheckerAcceptsEveryModeOneSectorItBuilds) {
  for (std::int64_t lba : {0, 1, 74, 75, 4499, 4500, 100000, 449849}) {
    auto data = Pattern();
    data[static_cast<std::size_t>(lba % 2048)] ^= 0x5A;
    Sector s = Mode1(lba, data);
    EXPECT_EQ(testing::CheckMode1Sector(s, lba), "") << lba;
    s[1000] ^= 1;
    EXPECT_NE(testing::CheckMode1Sector(s, lba), "") << "a flipped bit goes unnoticed at " << lba;
  }
}

TEST(RawSector, OtherModesFillTheirOwnFields) {
  Sector zero{};
  zero.fill(0x77);
  ASSERT_EQ(BuildRawSector(zero, kRawMode0, 150), 0);
  EXPECT_EQ(zero[15], 0);
  for (std::size_t i = 16; i < kCdRawSectorSize; ++i) ASSERT_EQ(zero[i], 0) << i;

  Sector form2{};
  form2.fill(0x11);
  ASSERT_EQ(BuildRawSector(form2, kRawMode2Form2, 150), 0);
  EXPECT_EQ(form2[15], 2);
  std::uint32_t stored = 0;
  for (int i = 0; i < 4; ++i) stored |= std::uint32_t(form2[2348 + i]) << (8 * i);
  EXPECT_EQ(stored, testing::BitwiseEdc(std::span<const std::uint8_t>(form2).subspan(16, 2332)));
}

TEST(RawSector, UnknownModesAndAddressesPastNinetyNineMinutesAreRefused) {
  Sector s{};
  s.fill(0x33);
  EXPECT_EQ(BuildRawSector(s, 5, 150), -1);
  EXPECT_EQ(s[15], 0x33) << "the header is left alone";
  EXPECT_EQ(s[1], 0xFF) << "the sync pattern is written";
  EXPECT_EQ(BuildRawSector(s, kRawMode1, kCdLastAddress + 1), -1);
  EXPECT_EQ(BuildRawSector(s, kRawMode1, -1), -1);
  EXPECT_EQ(ComputeEdc(s, 10, 9), 0u);
}

}  // namespace
}  // namespace zephrel
