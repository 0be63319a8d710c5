#include "audio/audio_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <fstream>

#include "audio/audio_testutil.h"

namespace zephrel {
namespace {

using testing::MakeWav;
using testing::ReadWholeFile;
using testing::TempDir;

std::uint32_t Le32At(const std::string& s, std::size_t at) {
  return std::uint32_t(std::uint8_t(s[at])) | std::uint32_t(std::uint8_t(s[at + 1])) << 8 |
         std::uint32_t(std::uint8_t(s[at + 2])) << 16 | std::uint32_t(std::uint8_t(s[at + 3])) << 24;
}

TEST(WavHeader, ATrackOfOneHundredSectorsHasItsDataAndRiffSizes) {
  TempDir dir;
  std::string error;
  const std::string path = dir.path() + "/track é 01.wav";
  ASSERT_TRUE(WriteWavHeader(path, 100, &error)) << error;
  const std::string h = ReadWholeFile(path);
  ASSERT_EQ(h.size(), 44u);
  EXPECT_EQ(h.substr(0, 4), "RIFF");
  EXPECT_EQ(Le32At(h, 4), 235236u);
  EXPECT_EQ(h.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(Le32At(h, 24), 44100u);
  EXPECT_EQ(Le32At(h, 28), 176400u);
  EXPECT_EQ(h.substr(36, 4), "data");
  EXPECT_EQ(Le32At(h, 40), 235200u);
  // Our own reader is not the judge of the header: its fields are checked
  // above. With some sound after it, it reads as CD audio.
  std::ofstream(path, std::ios::app) << std::string(2352, '\0');
  EXPECT_TRUE(ReadCdAudioWav(path, &error).has_value()) << error;
}

TEST(WavHeader, AFolderThatCannotHoldTheFileIsReported) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(WriteWavHeader(dir.path() + "/missing/x.wav", 1, &error));
  EXPECT_FALSE(error.empty());
}

TEST(CdAudioCheck, AcceptsPlainAndExtensiblePcmAtCdFormatAndFindsTheDataAfterOtherChunks) {
  TempDir dir;
  std::string error;
  const auto plain =
      ReadCdAudioWav(MakeWav(dir, "a.wav", std::string(2352, 'x'), 1, 2, 44100, 16, true), &error);
  ASSERT_TRUE(plain) << error;
  EXPECT_EQ(plain->data_bytes, 2352u);
  EXPECT_GT(plain->data_offset, 44u) << "the LIST chunk comes before the data";
  EXPECT_TRUE(ReadCdAudioWav(MakeWav(dir, "b.wav", "1234", 0xFFFE), &error)) << error;
}

TEST(CdAudioCheck, RefusesEveryOtherFormatNamingTheFileAndItsFormat) {
  TempDir dir;
  struct Case {
    const char* name;
    std::uint16_t format, channels;
    std::uint32_t rate;
    std::uint16_t bits, sub;
    const char* says;
  } cases[] = {
      {"mono.wav", 1, 1, 44100, 16, 1, "1 channel,"},
      {"48k.wav", 1, 2, 48000, 16, 1, "48000 Hz"},
      {"8bit.wav", 1, 2, 44100, 8, 1, "8-bit"},
      {"24bit.wav", 1, 2, 44100, 24, 1, "24-bit"},
      {"float.wav", 3, 2, 44100, 32, 1, "floating point"},
      {"adpcm.wav", 2, 2, 44100, 16, 1, "format 2"},
      {"ext-float.wav", 0xFFFE, 2, 44100, 16, 3, "extensible format 3"},
      {"silent 日本.wav", 1, 2, 44100, 16, 1, "its data chunk is empty"},
  };
  for (const Case& c : cases) {
    std::string error;
    const std::string pcm = std::string(c.name).starts_with("silent") ? "" : "abcd";
    const std::string path = MakeWav(dir, c.name, pcm, c.format, c.channels, c.rate, c.bits, false, c.sub);
    EXPECT_FALSE(ReadCdAudioWav(path, &error)) << c.name;
    EXPECT_NE(error.find(c.name), std::string::npos) << error;
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
  }
}

TEST(CdAudioCheck, FoldersFifosAndMissingFilesAreRefusedWithoutBlocking) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(ReadCdAudioWav(dir.MakeDir("a folder.wav"), &error));
  const std::string fifo = dir.path() + "/pipe 日本.wav";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(ReadCdAudioWav(fifo, &error));
  EXPECT_NE(error.find("pipe 日本.wav"), std::string::npos) << error;
  EXPECT_FALSE(ReadCdAudioWav(dir.path() + "/none.wav", &error));
  EXPECT_FALSE(ReadCdAudioWav(dir.WriteFile("text.wav", "hello"), &error));
}

TEST(Id3v1, IsAppendedOnceAndThenReplacedWithoutGrowingTheFile) {
  TempDir dir;
  const std::string mp3 = dir.WriteFile("song 🎵.mp3", std::string(1000, '\xFF'));
  Id3v1Tag tag{
      "A title that is much longer than thirty bytes", "Artist", "Album", "19999", "Created by Zephrel", 17};
  std::string error;
  ASSERT_TRUE(WriteId3v1Tag(mp3, tag, &error)) << error;
  std::string bytes = ReadWholeFile(mp3);
  ASSERT_EQ(bytes.size(), 1128u);
  EXPECT_EQ(bytes.substr(1000, 3), "TAG");
  EXPECT_EQ(bytes.substr(1003, 30), std::string("A title that is much longer th"));
  EXPECT_EQ(bytes.substr(1033, 7), std::string("Artist\0", 7));
  EXPECT_EQ(bytes.substr(1093, 4), "1999");
  EXPECT_EQ(std::uint8_t(bytes[1127]), 17);

  tag.title = "New";
  ASSERT_TRUE(WriteId3v1Tag(mp3, tag, &error)) << error;
  bytes = ReadWholeFile(mp3);
  EXPECT_EQ(bytes.size(), 1128u) << "the old tag is replaced";
  EXPECT_EQ(bytes.substr(1003, 4), std::string("New\0", 4));
}

TEST(Id3v1, TextsAreCutOnACharacterBoundary) {
  const auto t = Id3v1Bytes({std::string(29, 'a') + "é", "", "", "", "", 0});
  EXPECT_EQ(t[3 + 28], 'a');
  EXPECT_EQ(t[3 + 29], 0) << "the two-byte é does not fit in the last byte";
}

TEST(Id3v1, AnEmptyPathOrAMissingFileIsNotTagged) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(WriteId3v1Tag("", {}, &error));
  EXPECT_FALSE(WriteId3v1Tag(dir.path() + "/none.mp3", {}, &error));
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/none.mp3"));
}

}  // namespace
}  // namespace zephrel

namespace zephrel {
namespace {

TEST(WavHeader, AFullDiskIsReported) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP();
  std::string error;
  EXPECT_FALSE(WriteWavHeader("/dev/full", 10, &error));
  EXPECT_NE(error.find("/dev/full"), std::string::npos) << error;
}

}  // namespace
}  // namespace zephrel
