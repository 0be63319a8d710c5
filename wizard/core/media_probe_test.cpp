#include "vantora/media_probe.h"

#include <gtest/gtest.h>

#include "vantora/probe_answer.h"

namespace vantora {
namespace {

TEST(ParseProbeAnswer, ReadsStreamsAndDuration) {
  const auto info = ParseProbeAnswer(R"({"programs":[],"streams":[
      {"index":0,"codec_type":"video","width":1920,"height":1080,"sample_aspect_ratio":"1:1",
       "disposition":{"attached_pic":0}},
      {"index":1,"codec_type":"audio","duration":"12.5"}],
      "format":{"format_name":"mov,mp4,m4a,3gp,3g2,mj2","duration":"12.480000"}})");
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->demuxer, "mov");
  EXPECT_EQ(info->video_stream, 0);
  EXPECT_EQ(info->audio_stream, 1);
  EXPECT_EQ(info->width, 1920);
  EXPECT_EQ(info->height, 1080);
  EXPECT_DOUBLE_EQ(info->duration, 12.48);
}

TEST(ParseProbeAnswer, CoverArtIsNotAVideoStream) {
  const auto info = ParseProbeAnswer(R"({"streams":[
      {"index":0,"codec_type":"audio"},
      {"index":1,"codec_type":"video","width":64,"height":64,"disposition":{"attached_pic":1}}],
      "format":{"format_name":"mp3","duration":"2.0"}})");
  ASSERT_TRUE(info.has_value());
  EXPECT_FALSE(info->has_video());
  EXPECT_TRUE(info->has_audio());
}

TEST(ParseProbeAnswer, RefusesDemuxersOutsideTheAllowList) {
  for (const char* name : {"hls", "concat", "image2", "tty", "lavfi", "", "avi2"}) {
    const std::string json =
        std::string(R"({"streams":[],"format":{"format_name":")") + name + R"(","duration":"1"}})";
    EXPECT_FALSE(ParseProbeAnswer(json).has_value()) << name;
  }
  EXPECT_TRUE(ParseProbeAnswer(R"({"format":{"format_name":"avi"}})").has_value());
}

TEST(ParseProbeAnswer, RefusesTextThatIsNotAnAnswer) {
  for (const char* text : {"", "{}", "[]", "{\"format\":1}", "{\"format\":{\"format_name\":\"avi\"}", "null",
                           "{\"format\":{\"format_name\":\"avi\"}} trailing"}) {
    EXPECT_FALSE(ParseProbeAnswer(text).has_value()) << text;
  }
}

TEST(ParseProbeAnswer, IgnoresNonsenseNumbers) {
  const auto info = ParseProbeAnswer(R"({"streams":[
      {"index":-3,"codec_type":"video","width":10,"height":10},
      {"index":2,"codec_type":"video","width":"huge","height":10},
      {"index":4,"codec_type":"video","width":320,"height":240,"sample_aspect_ratio":"0:1"}],
      "format":{"format_name":"avi","duration":"N/A"}})");
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->video_stream, 4);
  EXPECT_EQ(info->sar_num, 1);
  EXPECT_EQ(info->sar_den, 1);
  EXPECT_EQ(info->duration, 0);
}

TEST(Json, DecodesEscapesAndRefusesDeepNesting) {
  const auto v = ParseJson(R"({"a":"x\u00e9\ud83d\ude00\n","b":[1,-2.5e3,true,null]})");
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(JsonText(JsonFind(&*v, "a")), "x\xc3\xa9\xf0\x9f\x98\x80\n");
  const Json* b = JsonFind(&*v, "b");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(JsonNumber(&(*b)[1]), -2500);
  EXPECT_TRUE(JsonTrue(&(*b)[2]));
  EXPECT_FALSE(JsonTrue(&(*b)[3]));
  EXPECT_FALSE(ParseJson(std::string(100, '[') + std::string(100, ']')).has_value());
  EXPECT_FALSE(
      ParseJson(std::string(kJsonMaxDepth + 1, '[') + std::string(kJsonMaxDepth + 1, ']')).has_value());
  EXPECT_TRUE(ParseJson(std::string(kJsonMaxDepth, '[') + std::string(kJsonMaxDepth, ']')).has_value());
  EXPECT_TRUE(ParseJson(R"(["[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[\"["])")
                  .has_value());
  for (const char* bad : {"\"\\x\"", "[1,]", "{\"a\" 1}", "01x", "\"\x01\"", "tru", "", "[1] 2"}) {
    EXPECT_FALSE(ParseJson(bad).has_value()) << bad;
  }
}

TEST(Json, ReadersTakeWhatIsNotThereAndRefuseWhatIsNotANumber) {
  const auto v = ParseJson(R"({"n":"12.5","na":"N/A","big":"1e999","obj":{"x":1},"s":"t"})");
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(JsonNumber(JsonFind(&*v, "n")), 12.5);
  EXPECT_EQ(JsonNumber(JsonFind(&*v, "na")), std::nullopt);
  EXPECT_EQ(JsonNumber(JsonFind(&*v, "big")), std::nullopt);
  EXPECT_EQ(JsonNumber(JsonFind(&*v, "missing")), std::nullopt);
  EXPECT_EQ(JsonFind(JsonFind(&*v, "missing"), "x"), nullptr);
  EXPECT_EQ(JsonFind(JsonFind(&*v, "s"), "x"), nullptr);  // a string has no members
  EXPECT_EQ(JsonNumber(JsonFind(JsonFind(&*v, "obj"), "x")), 1);
  EXPECT_EQ(JsonText(JsonFind(&*v, "obj")), std::nullopt);
  EXPECT_FALSE(JsonTrue(nullptr));
}

TEST(EncoderTools, MissingToolsAreNamedClearly) {
  EXPECT_EQ(EncoderToolsProblem({"/usr/bin/ffmpeg", "/usr/bin/ffprobe"}), "");
  const std::string both = EncoderToolsProblem({});
  EXPECT_NE(both.find("ffmpeg and ffprobe were not found"), std::string::npos);
  EXPECT_NE(both.find("install the ffmpeg package"), std::string::npos);
  EXPECT_NE(EncoderToolsProblem({"/usr/bin/ffmpeg", ""}).find("ffprobe was not found"), std::string::npos);
}

TEST(ProbeMedia, WithoutFfprobeSaysSoInsteadOfUnrecognized) {
  const ProbeOutcome o = ProbeMedia({"/usr/bin/ffmpeg", ""}, "/etc/hostname");
  EXPECT_EQ(o.result.status, OpenStatus::kToolMissing);
  EXPECT_NE(o.result.message.find("ffprobe"), std::string::npos);
  // A configured program that is not there is just as missing.
  const ProbeOutcome gone = ProbeMedia({"/nonexistent/ffmpeg", "/nonexistent/ffprobe"}, "/etc/hostname");
  EXPECT_EQ(gone.result.status, OpenStatus::kToolMissing);
}

TEST(ProbeMedia, RefusesWhatIsNotARegularFile) {
  const ProbeOutcome o = ProbeMedia({"/usr/bin/ffmpeg", "/usr/bin/ffprobe"}, "/dev/zero");
  EXPECT_EQ(o.result.status, OpenStatus::kUnrecognized);
  EXPECT_NE(o.result.message.find("Unrecognized format"), std::string::npos);
}

TEST(FileUrl, MakesAbsoluteLiteralFileAddresses) {
  EXPECT_EQ(FileUrl("/a/b/../c%d?.avi"), "file:/a/c%d?.avi");
  EXPECT_EQ(FileUrl("rel.avi").rfind("file:/", 0), 0u);
}

}  // namespace
}  // namespace vantora
