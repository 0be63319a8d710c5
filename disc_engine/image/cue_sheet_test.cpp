#include "image/cue_sheet.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "image/iso9660_testutil.h"

namespace zephrel {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A WAV file whose data chunk holds pcm_bytes (sparse).
std::string Wav(const testing::TempDir& dir, const std::string& name, std::uint32_t pcm_bytes) {
  std::string header = "RIFF....WAVEfmt ";
  auto le32 = [](std::uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
  };
  header.replace(4, 4, le32(36 + pcm_bytes));
  header += le32(16) + std::string("\x01\x00\x02\x00", 4) + le32(44100) + le32(176400) +
            std::string("\x04\x00\x10\x00", 4) + "data" + le32(pcm_bytes);
  return dir.WriteFile(name, header, 44 + pcm_bytes);
}

TEST(FormatMsf, GivesMinutesSecondsAndFramesOfTheDifference) {
  EXPECT_EQ(FormatMsf(7500, 150), "01:38:00");
  EXPECT_EQ(FormatMsf(74, 0), "00:00:74");
  EXPECT_EQ(FormatMsf(0, 150), "00:00:00");
  EXPECT_EQ(FormatMsf(449999, 0), "99:59:74");
}

TEST(CueSheetPaths, ReplaceOrAppendTheExtensionOfTheLastComponentOnly) {
  EXPECT_EQ(WithExtension("/tmp/a/disc.iso", "cue"), "/tmp/a/disc.cue");
  EXPECT_EQ(WithExtension("/tmp/a.d/disc", "bin"), "/tmp/a.d/disc.bin");
  EXPECT_EQ(WithExtension("/tmp/a/my.disc.image", "cue"), "/tmp/a/my.disc.cue");
  EXPECT_EQ(WithExtension("/tmp/a/.hidden", "bin"), "/tmp/a/.hidden.bin");
  EXPECT_EQ(WithExtension("x.i", "bin"), "x.bin");
  EXPECT_FALSE(CueImageNameIsValid("/tmp/say\"hi\".bin"));
  EXPECT_TRUE(CueImageNameIsValid("/tmp/say \"hi/x.bin"));
}

TEST(DataCueSheet, DescribesOneRawModeOneTrackWithCrLfLines) {
  testing::TempDir dir;
  const std::string bin = dir.path() + "/disc one.bin";
  std::string error;
  ASSERT_TRUE(WriteDataCueSheet(bin, dir.path() + "/disc one.cue", &error)) << error;
  EXPECT_EQ(Slurp(dir.path() + "/disc one.cue"),
            "FILE \"disc one.bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n");
  EXPECT_FALSE(WriteDataCueSheet(bin, dir.path() + "/disc one.cue", &error)) << "an existing sheet is kept";
  EXPECT_FALSE(WriteDataCueSheet(dir.path() + "/q\"uote.bin", dir.path() + "/q.cue", &error));
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/q.cue"));
  EXPECT_FALSE(WriteDataCueSheet(bin, dir.path() + "/missing/x.cue", &error));
  EXPECT_FALSE(error.empty());
}

TEST(AudioCueSheet, CountsSectorsOfThePcmDataWithoutTheWavHeader) {
  testing::TempDir dir;
  std::string error;
  // Whole sectors of PCM, as every CD rip has: with the 44-byte header counted,
  // each later track would start one sector late.
  const std::uint64_t pcm = 2352ull * 1000;
  EXPECT_EQ(WavPcmBytes(Wav(dir, "a.wav", pcm), &error), pcm) << error;
  EXPECT_EQ(AudioTrackSectors(pcm), 1000u);
  const std::string text = AudioCueSheetText("a.bin", {{pcm, false}, {pcm, false}, {pcm, false}});
  EXPECT_NE(text.find("  TRACK 2 AUDIO\r\n    INDEX 00 00:13:25\r\n    INDEX 01 00:15:25\r\n"),
            std::string::npos)
      << text;
  // Track 3 starts after 2 x (1000 + 150) sectors = 2300 = 00:30:50.
  EXPECT_NE(text.find("  TRACK 3 AUDIO\r\n    INDEX 00 00:28:50\r\n    INDEX 01 00:30:50\r\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("FLAGS PRE"), std::string::npos) << "WAV sources are not pre-emphasised";
}

TEST(AudioCueSheet, TwoMillionByteFilesGiveTheKnownIndexTimes) {
  testing::TempDir dir;
  std::string error;
  const std::uint64_t pcm = WavPcmBytes(Wav(dir, "t.wav", 1000000 - 44), &error);
  const std::string text = AudioCueSheetText("a.bin", {{pcm, false}, {pcm, true}});
  EXPECT_EQ(text,
            "FILE \"a.bin\" BINARY\r\n  TRACK 1 AUDIO\r\n    INDEX 01 00:00:00\r\n"
            "  TRACK 2 AUDIO\r\n    FLAGS PRE\r\n    INDEX 00 00:05:51\r\n    INDEX 01 00:07:51\r\n");
  ASSERT_TRUE(WriteAudioCueSheet(dir.path() + "/a.bin", dir.path() + "/a.cue", {{pcm, false}}, &error))
      << error;
}

TEST(AudioCueSheet, WavFilesWithoutSampleDataAreRefused) {
  testing::TempDir dir;
  std::string error;
  EXPECT_EQ(WavPcmBytes(dir.WriteFile("x.wav", "RIFF\x04\x00\x00\x00WAVE"), &error), 0u);
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_EQ(WavPcmBytes(dir.WriteFile("y.wav", "not a wav file at all"), &error), 0u);
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace zephrel

namespace zephrel {
namespace {

TEST(DiscCopyCueSheet, NamesTheMediumAndMarksEachSessionBeforeItsFirstTrack) {
  const std::vector<DiscCueTrack> tracks = {
      {1, 1, 0, false, false}, {2, 1, 14100, false, true}, {3, 2, 40000, true, false}};
  EXPECT_EQ(DiscCopyCueSheetText("disc \xC3\xA9.bin", "CD-R", tracks, false),
            "FILE \"disc \xC3\xA9.bin\" BINARY\r\n"
            "REM ORIGINAL MEDIA-TYPE: CD-R\r\n"
            "  REM SESSION 1\r\n"
            "    TRACK 1 AUDIO\r\n"
            "      INDEX 01 00:00:00\r\n"
            "    TRACK 2 AUDIO\r\n"
            "      FLAGS PRE\r\n"
            "      INDEX 00 03:06:00\r\n"
            "      INDEX 01 03:08:00\r\n"
            "  REM SESSION 2\r\n"
            "    TRACK 3 MODE1/2352\r\n"
            "      INDEX 00 08:51:25\r\n"
            "      INDEX 01 08:53:25\r\n");
  EXPECT_NE(DiscCopyCueSheetText("x.bin", "", tracks, true).find("TRACK 3 MODE1/2048"), std::string::npos);
}

}  // namespace
}  // namespace zephrel
