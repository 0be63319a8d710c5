// Raw CD sectors are checked here by a reader written from the Mode 1 layout
// alone: a bitwise CRC for the EDC and the Reed-Solomon syndromes of every P
// and Q codeword, so the sector encoder is not judged by itself.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "emulated_drive_testutil.h"
#include "platform/cd_sector.h"

namespace platform {
namespace {

using testing::Be32;
using testing::EmulatedDriveHarness;
using testing::Pattern;
using testing::SenseText;

std::uint32_t BitwiseEdc(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = 0;
  for (std::size_t i = 0; i < size; ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      const bool feedback = ((crc ^ (data[i] >> bit)) & 1) != 0;
      crc >>= 1;
      if (feedback) crc ^= 0xD8018001u;  // x^32+x^31+x^16+x^15+x^4+x^3+x+1, reflected
    }
  }
  return crc;
}

std::uint8_t GfTimes(std::uint8_t a, std::uint8_t b) {
  std::uint8_t product = 0;
  for (int bit = 0; bit < 8; ++bit) {
    if (b & (1 << bit)) product ^= a;
    a = std::uint8_t((a << 1) ^ ((a & 0x80) ? 0x1D : 0));
  }
  return product;
}

// Both syndromes of a codeword are zero: sum of symbols, and the sum weighted
// by alpha^(n-1-i).
bool SyndromesZero(const std::vector<std::uint8_t>& word) {
  std::uint8_t s0 = 0, s1 = 0;
  for (std::uint8_t symbol : word) {
    s0 ^= symbol;
    s1 = std::uint8_t(GfTimes(s1, 2) ^ symbol);
  }
  return s0 == 0 && s1 == 0;
}

// Returns an empty text when the sector is a sound Mode 1 sector of lba.
std::string CheckMode1(const std::uint8_t* s, std::int32_t lba) {
  static const std::uint8_t kSync[12] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
  if (std::memcmp(s, kSync, 12) != 0) return "bad sync";
  const int frames = lba + 150;
  auto bcd = [](int v) { return std::uint8_t((v / 10) << 4 | v % 10); };
  if (s[12] != bcd(frames / 4500) || s[13] != bcd(frames / 75 % 60) || s[14] != bcd(frames % 75) ||
      s[15] != 1)
    return "bad header";
  const std::uint32_t edc = BitwiseEdc(s, 2064);
  const std::uint32_t stored = s[2064] | s[2065] << 8 | s[2066] << 16 | std::uint32_t(s[2067]) << 24;
  if (edc != stored) return "bad EDC";
  for (int i = 2068; i < 2076; ++i)
    if (s[i] != 0) return "intermediate bytes not zero";
  const std::uint8_t* area = s + 12;  // header .. P parity: 1170 words, two planes
  for (int np = 0; np < 86; ++np) {
    std::vector<std::uint8_t> word;
    for (int mp = 0; mp < 26; ++mp) word.push_back(area[86 * mp + np]);
    if (!SyndromesZero(word)) return "P codeword " + std::to_string(np) + " has a syndrome";
  }
  for (int nq = 0; nq < 52; ++nq) {
    std::vector<std::uint8_t> word;
    for (int mq = 0; mq < 43; ++mq) word.push_back(area[(2 * (43 * (nq / 2) + 44 * mq) + nq % 2) % 2236]);
    word.push_back(area[2236 + nq]);
    word.push_back(area[2236 + 52 + nq]);
    if (!SyndromesZero(word)) return "Q codeword " + std::to_string(nq) + " has a syndrome";
  }
  return "";
}

TEST(CdSector, AllZeroUserDataAtLbaZeroHasTheKnownEdcAndValidParity) {
  std::array<std::uint8_t, 2048> zeros{};
  std::array<std::uint8_t, 2352> sector{};
  EncodeMode1Sector(0, zeros, sector);
  EXPECT_EQ(sector[2064], 0xC5);
  EXPECT_EQ(sector[2065], 0x13);
  EXPECT_EQ(sector[2066], 0x68);
  EXPECT_EQ(sector[2067], 0x2B);
  EXPECT_EQ(CheckMode1(sector.data(), 0), "");
}

TEST(CdSector, EncodedSectorsOfVariedDataPassTheIndependentCheck) {
  std::array<std::uint8_t, 2352> sector{};
  for (std::int32_t lba : {1, 74, 75, 4499, 4500, 100000, 359848}) {
    std::vector<std::uint8_t> data = Pattern(2048, std::uint32_t(lba));
    EncodeMode1Sector(lba, std::span<const std::uint8_t, 2048>(data.data(), 2048), sector);
    EXPECT_EQ(CheckMode1(sector.data(), lba), "") << "lba " << lba;
    sector[100] ^= 1;  // a corrupted byte must be noticed
    EXPECT_NE(CheckMode1(sector.data(), lba), "");
  }
}

TEST(CdSector, MsfAddressesCountTheTwoSecondOffsetAndTheLeadIn) {
  Msf m = LbaToMsf(0);
  EXPECT_EQ(m.minute * 10000 + m.second * 100 + m.frame, 200);
  m = LbaToMsf(359849);
  EXPECT_EQ(m.minute * 10000 + m.second * 100 + m.frame, 795974);
  EXPECT_EQ(MsfToLba({97, 26, 66}), -11634);
  m = LbaToMsf(-11634);
  EXPECT_EQ(m.minute * 10000 + m.second * 100 + m.frame, 972666);
}

TEST(EmulatedCdR, DataWrittenIn2048ByteModeIsStoredAsSoundRawMode1Sectors) {
  EmulatedDriveHarness h(testing::Medium(kProfileCdR, 2000));
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x01, false)), "ok");
  std::vector<std::uint8_t> data = Pattern(40 * 2048, 7);
  std::fill(data.begin(), data.begin() + 2048, 0);  // sector 0: all zeros
  ASSERT_EQ(SenseText(h.Write(0, 20, data)), "ok");
  ASSERT_EQ(SenseText(h.Write(20, 20, data, 2048, 20 * 2048)), "ok");
  std::ifstream image(h.folder() / "drive" / "media.img", std::ios::binary);
  std::vector<std::uint8_t> raw((std::istreambuf_iterator<char>(image)), std::istreambuf_iterator<char>());
  ASSERT_GE(raw.size(), 40u * 2352);
  EXPECT_EQ(raw[2064] | raw[2065] << 8 | raw[2066] << 16 | std::uint32_t(raw[2067]) << 24, 0x2B6813C5u);
  for (int lba = 0; lba < 40; ++lba) {
    const std::uint8_t* s = raw.data() + std::size_t(lba) * 2352;
    ASSERT_EQ(CheckMode1(s, lba), "") << "lba " << lba;
    ASSERT_EQ(std::memcmp(s + 16, data.data() + std::size_t(lba) * 2048, 2048), 0) << "lba " << lba;
  }
  // READ CD hands back exactly the stored raw sectors; READ(10) the user data.
  std::vector<std::uint8_t> got;
  ASSERT_EQ(SenseText(h.In({0xBE, 0x08, 0, 0, 0, 5, 0, 0, 3, 0xF8, 0, 0}, &got, 3 * 2352)), "ok");
  EXPECT_TRUE(std::equal(got.begin(), got.end(), raw.begin() + 5 * 2352));
  ASSERT_EQ(SenseText(h.Read(5, 3, &got)), "ok");
  EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin() + 5 * 2048));
  ASSERT_EQ(SenseText(h.In({0xBE, 0x00, 0, 0, 0, 5, 0, 0, 1, 0x10, 0, 0}, &got, 2352)), "ok");
  EXPECT_EQ(got.size(), 2048u);
  // Asking for CD-DA sectors from a data track is refused.
  EXPECT_EQ(SenseText(h.In({0xBE, 0x04, 0, 0, 0, 5, 0, 0, 1, 0xF8, 0, 0}, &got, 2352)), "05/64/00");
}

TEST(EmulatedCdR, AudioFramesAreStoredAsWrittenAndReadBackAsPcm) {
  EmulatedDriveHarness h(testing::Medium(kProfileCdR, 2000));
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x01, false, false, 0)), "ok");
  std::vector<std::uint8_t> pcm = Pattern(10 * 2352, 3);
  ASSERT_EQ(SenseText(h.Write(0, 10, pcm, 2352)), "ok");
  std::vector<std::uint8_t> got;
  ASSERT_EQ(SenseText(h.In({0xBE, 0x04, 0, 0, 0, 0, 0, 0, 10, 0x10, 0, 0}, &got, 10 * 2352)), "ok");
  EXPECT_EQ(got, pcm);
  EXPECT_EQ(SenseText(h.Read(0, 1, &got)), "05/64/00");  // READ(10) of audio
  // A data block into the audio track is an illegal mode for it.
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x01, false)), "ok");
  EXPECT_EQ(SenseText(h.Write(10, 1, Pattern(2048, 1))), "05/64/00");
  // Each track keeps the control nibble it was written with.
  ASSERT_EQ(SenseText(h.Close(1, 1)), "ok");
  std::vector<std::uint8_t> page(60, 0);
  page[8] = 0x05, page[9] = 0x32, page[10] = 0x01, page[11] = 0x01, page[12] = 0x00;
  ASSERT_EQ(SenseText(h.Out({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, page)), "ok");
  // Track at once: the second track starts after the link and its pregap.
  const std::uint32_t second = 10 + kCdTaoTrackGap;
  ASSERT_EQ(SenseText(h.Write(second, 5, pcm, 2352)), "ok");
  ASSERT_EQ(SenseText(h.Close(2)), "ok");
  ASSERT_EQ(SenseText(h.In({0x43, 0, 0, 0, 0, 0, 0, 0x03, 0x24, 0}, &got, 804)), "ok");
  ASSERT_EQ(got.size(), 28u);
  EXPECT_EQ(got[5], 0x10);
  EXPECT_EQ(got[13], 0x11);  // pre-emphasis
  EXPECT_EQ(Be32(got, 16), second);
}

}  // namespace
}  // namespace platform
