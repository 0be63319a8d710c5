// MP3 files from the encoder, judged by independent readers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "audio/audio_files.h"
#include "audio/audio_testutil.h"
#include "audio/mp3_encoder.h"
#include "image/image_build_testutil.h"
#include "testing/tools.h"

namespace zephrel {
namespace {

using testing::TempDir;
using vantora::testing::RunTool;

// Seconds of a 440 Hz sine, left and right, as 16-bit little-endian PCM.
std::vector<std::uint8_t> Sine(int seconds) {
  std::vector<std::uint8_t> pcm(static_cast<std::size_t>(seconds) * 176400);
  for (std::size_t i = 0; i < pcm.size() / 4; ++i) {
    const auto v = static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * 440 * double(i) / 44100));
    for (int ch = 0; ch < 2; ++ch) {
      pcm[4 * i + 2 * ch] = static_cast<std::uint8_t>(v);
      pcm[4 * i + 2 * ch + 1] = static_cast<std::uint8_t>(v >> 8);
    }
  }
  return pcm;
}

std::string Encode(const TempDir& dir, const std::string& name, const Mp3Settings& settings) {
  std::shared_ptr<const LameApi> api;
  std::string error;
  EXPECT_EQ(LoadMp3Encoder(&api, &error), kEncoderLoaded) << error;
  if (!api) return {};
  const std::string path = dir.path() + "/" + name;
  Mp3Writer writer(api);
  EXPECT_TRUE(writer.Open(path, BuildMp3EncoderConfig(settings), &error)) << error;
  const auto pcm = Sine(3);
  // Odd pieces: a sample split across calls must wait for its other bytes.
  for (std::size_t at = 0; at < pcm.size();) {
    const std::size_t n = std::min<std::size_t>(23521, pcm.size() - at);
    EXPECT_TRUE(writer.Encode(pcm.data() + at, n, &error)) << error;
    at += n;
  }
  EXPECT_TRUE(writer.Close(&error)) << error;
  return path;
}

TEST(Mp3Writer, ASineWithDefaultSettingsIsAValidJointStereo128KbitMp3) {
  TempDir dir;
  const std::string mp3 = Encode(dir, "sine é.mp3", Mp3Settings{});
  std::string error;
  ASSERT_TRUE(WriteId3v1Tag(mp3, {"Sine", "Zephrel", "Tests", "2026", "Created by Zephrel", 12}, &error))
      << error;
  const auto val = RunTool({"mp3val", mp3});
  ASSERT_EQ(val.exit_code, 0) << val.output;
  EXPECT_EQ(val.output.find("WARNING"), std::string::npos) << val.output;
  EXPECT_EQ(val.output.find("ERROR"), std::string::npos) << val.output;
  const auto info = RunTool({"mp3info", "-p", "%o|%r|%Q|%t|%a|%y\n", mp3});
  ASSERT_EQ(info.exit_code, 0) << info.output;
  EXPECT_EQ(info.output, "joint stereo|128|44100|Sine|Zephrel|2026\n");
}

TEST(Mp3Writer, VbrWithItsHeaderGivesAValidVariableRateFile) {
  TempDir dir;
  Mp3Settings s;
  s.vbr = true;
  s.vbr_header = true;
  s.vbr_bitrate = "320";
  s.bitrate = "32";
  s.vbr_quality = "VBR-2";
  s.channel = "Stereo";
  const std::string mp3 = Encode(dir, "vbr.mp3", s);
  std::string error;
  ASSERT_TRUE(WriteId3v1Tag(mp3, {"V", "", "", "", "", 0}, &error)) << error;
  const auto val = RunTool({"mp3val", mp3});
  ASSERT_EQ(val.exit_code, 0) << val.output;
  EXPECT_EQ(val.output.find("WARNING"), std::string::npos) << val.output;
  const auto info = RunTool({"mp3info", "-p", "%o|%r\n", mp3});
  EXPECT_EQ(info.output, "stereo|Variable\n");
  const std::string bytes = testing::ReadWholeFile(mp3);
  EXPECT_TRUE(bytes.find("Xing") < 64) << "the VBR header frame comes first";
}

TEST(Mp3Writer, AStreamThatWasNeverOpenedRefusesToEncode) {
  std::shared_ptr<const LameApi> api;
  std::string error;
  ASSERT_EQ(LoadMp3Encoder(&api, &error), kEncoderLoaded) << error;
  Mp3Writer writer(api);
  const std::uint8_t pcm[4] = {};
  EXPECT_FALSE(writer.Encode(pcm, 4, &error));
  EXPECT_FALSE(writer.Close(&error));
}

TEST(Mp3Writer, AnOutputFileThatCannotBeCreatedIsReported) {
  TempDir dir;
  std::shared_ptr<const LameApi> api;
  std::string error;
  ASSERT_EQ(LoadMp3Encoder(&api, &error), kEncoderLoaded) << error;
  Mp3Writer writer(api);
  EXPECT_FALSE(writer.Open(dir.path() + "/missing/x.mp3", Mp3EncoderConfig{}, &error));
  EXPECT_NE(error.find("missing/x.mp3"), std::string::npos) << error;
}

TEST(Mp3Writer, AFullDiskIsReportedAndNotTakenForSuccess) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP();
  std::shared_ptr<const LameApi> api;
  std::string error;
  ASSERT_EQ(LoadMp3Encoder(&api, &error), kEncoderLoaded) << error;
  Mp3Writer writer(api);
  ASSERT_TRUE(writer.Open("/dev/full", Mp3EncoderConfig{}, &error)) << error;
  const auto pcm = Sine(1);
  bool ok = writer.Encode(pcm.data(), pcm.size(), &error);
  ok = writer.Close(&error) && ok;
  EXPECT_FALSE(ok);
  EXPECT_NE(error.find("/dev/full"), std::string::npos) << error;
}

}  // namespace
}  // namespace zephrel
