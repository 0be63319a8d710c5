#include "vantora/dvd_stream_check.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "core_testutil.h"

namespace vantora {
namespace {

using testing::Media;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

TEST(CheckDvdProgramStream, AcceptsTheDvdTestClipsWithTheirSequenceHeaders) {
  const DvdStreamReport pal = CheckDvdProgramStream(Media("pal_43.mpg"));
  ASSERT_TRUE(pal.ok) << pal.problem;
  EXPECT_EQ(pal.first_sequence, (SequenceHeader{720, 576, 2, 3}));
  EXPECT_GT(pal.nav_packs, 1u);
  EXPECT_GT(pal.audio_packs, 0u);
  const DvdStreamReport ntsc = CheckDvdProgramStream(Media("ntsc_169.mpg"));
  ASSERT_TRUE(ntsc.ok) << ntsc.problem;
  EXPECT_EQ(ntsc.first_sequence, (SequenceHeader{720, 480, 3, 4}));
  const DvdStreamReport silent = CheckDvdProgramStream(Media("pal_noaudio.mpg"));
  ASSERT_TRUE(silent.ok) << silent.problem;
  EXPECT_EQ(silent.audio_packs, 0u);
}

TEST(CheckDvdProgramStream, RefusesDamagedAndForeignFiles) {
  TempFolder dir;
  const std::string good = ReadBytes(Media("pal_43.mpg"));
  ASSERT_GT(good.size(), 4096u * 4);

  WriteBytes(dir / "empty", "");
  EXPECT_FALSE(CheckDvdProgramStream(dir / "empty").ok);
  EXPECT_FALSE(CheckDvdProgramStream(dir / "missing").ok);

  WriteBytes(dir / "short", good.substr(0, good.size() - 100));
  EXPECT_NE(CheckDvdProgramStream(dir / "short").problem.find("2048"), std::string::npos);

  std::string broken = good;
  broken[2048 * 3] = 0x47;  // a pack without its start code
  WriteBytes(dir / "broken", broken);
  EXPECT_NE(CheckDvdProgramStream(dir / "broken").problem.find("pack 3"), std::string::npos);

  // Without its first (navigation) pack the stream begins with video.
  WriteBytes(dir / "nonav", good.substr(2048));
  EXPECT_FALSE(CheckDvdProgramStream(dir / "nonav").ok);

  // Every navigation pack turned into padding: the video object units lose theirs.
  std::string stripped = good;
  for (std::size_t p = 2048; p < stripped.size(); p += 2048) {
    const std::size_t pos = p + 14 + (static_cast<unsigned char>(stripped[p + 13]) & 7);
    if (stripped.compare(pos, 4, std::string("\0\0\1\xbb", 4)) == 0) {
      const std::size_t after = pos + 6 +
                                ((static_cast<unsigned char>(stripped[pos + 4]) << 8) |
                                 static_cast<unsigned char>(stripped[pos + 5]));
      for (std::size_t q = after; q + 6 <= p + 2048;) {
        if (static_cast<unsigned char>(stripped[q + 3]) == 0xbf) stripped[q + 3] = '\xbe';
        q += 6 + ((static_cast<unsigned char>(stripped[q + 4]) << 8) |
                  static_cast<unsigned char>(stripped[q + 5]));
      }
    }
  }
  WriteBytes(dir / "stripped", stripped);
  const DvdStreamReport r = CheckDvdProgramStream(dir / "stripped");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.problem.find("navigation pack"), std::string::npos) << r.problem;

  WriteBytes(dir / "zeros", std::string(2048 * 2, '\0'));
  EXPECT_FALSE(CheckDvdProgramStream(dir / "zeros").ok);
}

}  // namespace
}  // namespace vantora
