#include "audio/mp3_encoder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

namespace zephrel {
namespace {

// Sets an environment variable for one test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (old_.empty()) {
      ::unsetenv(name_);
    } else {
      ::setenv(name_, old_.c_str(), 1);
    }
  }

 private:
  const char* name_;
  std::string old_;
};

TEST(Mp3EncoderConfig, DefaultSettingsGiveJointStereoAt128WithoutVbr) {
  const Mp3EncoderConfig c = BuildMp3EncoderConfig(Mp3Settings{});
  EXPECT_EQ(c.mode, Mp3Mode::kJointStereo) << "Joint-Stereo matches Joint-stereo whatever the case";
  EXPECT_EQ(c.bitrate, 128);
  EXPECT_FALSE(c.vbr);
  EXPECT_EQ(c.library_preset, 0) << "presets go with VBR only";
}

TEST(Mp3EncoderConfig, EachConfigStartsAfreshSoAnUnknownModeIsStereoNotThePreviousOne) {
  Mp3Settings mono;
  mono.channel = "MONO";
  EXPECT_EQ(BuildMp3EncoderConfig(mono).mode, Mp3Mode::kMono);
  Mp3Settings odd;
  odd.channel = "Surround";
  EXPECT_EQ(BuildMp3EncoderConfig(odd).mode, Mp3Mode::kStereo);
}

TEST(Mp3EncoderConfig, PresetNamesAreMappedToTheLibraryNeverPassedThrough) {
  Mp3Settings s;
  s.vbr = true;
  s.preset = "STANDARD";
  EXPECT_EQ(BuildMp3EncoderConfig(s).library_preset, 1001);
  s.preset = "R3MIX";
  EXPECT_EQ(BuildMp3EncoderConfig(s).library_preset, 1000);
  s.preset = "FAST EXTREME";
  EXPECT_EQ(BuildMp3EncoderConfig(s).library_preset, 1005);
  s.preset = "HIGH";
  EXPECT_EQ(BuildMp3EncoderConfig(s).quality, 2);
  s.preset = "VERY HIGH";
  EXPECT_EQ(BuildMp3EncoderConfig(s).quality, 0);
  s.preset = "PHONE";  // the settings' 1000 is not the library's R3MIX
  const Mp3EncoderConfig phone = BuildMp3EncoderConfig(s);
  EXPECT_EQ(phone.library_preset, 0);
  EXPECT_EQ(phone.bitrate, 16);
  EXPECT_EQ(phone.out_sample_rate, 8000);
  EXPECT_EQ(phone.mode, Mp3Mode::kMono);
  EXPECT_FALSE(phone.vbr);
}

TEST(Mp3EncoderConfig, VbrFieldsComeFromTheirTexts) {
  Mp3Settings s;
  s.vbr = true;
  s.vbr_quality = "VBR-3";
  s.vbr_bitrate = "256";
  s.frequency = "48000";
  s.vbr_header = true;
  s.vbr_method = "abr";
  const Mp3EncoderConfig c = BuildMp3EncoderConfig(s);
  EXPECT_EQ(c.vbr_quality, 3);
  EXPECT_EQ(c.vbr_max_bitrate, 256);
  EXPECT_EQ(c.out_sample_rate, 48000);
  EXPECT_TRUE(c.vbr_header);
  EXPECT_EQ(c.abr_bitrate, 128);
  s.frequency = "22050";
  EXPECT_EQ(BuildMp3EncoderConfig(s).out_sample_rate, 0);
}

TEST(Mp3EncoderLoad, AMissingLibraryGivesMinusOneAndNamesIt) {
  ScopedEnv env("ZEPHREL_LAME_LIBRARY", "/nonexistent/libmp3lame.so.0");
  std::shared_ptr<const LameApi> api;
  std::string error;
  EXPECT_EQ(LoadMp3Encoder(&api, &error), kEncoderLibraryMissing);
  EXPECT_EQ(api, nullptr);
  EXPECT_NE(error.find("MP3 encoder library not found (libmp3lame.so.0)"), std::string::npos) << error;
}

TEST(Mp3EncoderLoad, ALibraryWithoutAnEntryPointGivesMinusTwo) {
  ScopedEnv env("ZEPHREL_LAME_LIBRARY", ZEPHREL_LAME_STUB);
  std::shared_ptr<const LameApi> api;
  std::string error;
  EXPECT_EQ(LoadMp3Encoder(&api, &error), kEncoderEntryPointMissing);
  EXPECT_EQ(api, nullptr);
}

}  // namespace
}  // namespace zephrel
