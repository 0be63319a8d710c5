#include "vantora/ffmpeg_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace vantora {
namespace {

TEST(CheckEncodeParameters, AcceptsTheWizardsBlocksAndRefusesWhatDvdCannotHold) {
  EncodeParameters pal;
  EXPECT_EQ(CheckEncodeParameters(pal), "");
  EncodeParameters ntsc;
  ntsc.tv_system = kTvSystemNtsc;
  ntsc.height = 480;
  ntsc.frame_rate = 29.97f;
  ntsc.aspect = kAspect16x9;
  EXPECT_EQ(CheckEncodeParameters(ntsc), "");

  auto problem = [](auto change) {
    EncodeParameters p;
    change(p);
    return CheckEncodeParameters(p);
  };
  EXPECT_NE(problem([](auto& p) { p.video_bitrate = 12000 * 1000; }), "");
  EXPECT_NE(problem([](auto& p) { p.video_bitrate = 9001 * 1000; }), "");
  EXPECT_EQ(problem([](auto& p) { p.video_bitrate = 9000 * 1000; }), "");
  EXPECT_EQ(problem([](auto& p) { p.video_bitrate = 1000; }), "");
  EXPECT_NE(problem([](auto& p) { p.video_bitrate = 0; }), "");
  EXPECT_NE(problem([](auto& p) { p.height = 480; }), "");  // PAL with an NTSC height
  EXPECT_NE(problem([](auto& p) { p.frame_rate = 29.97f; }), "");
  EXPECT_NE(problem([](auto& p) { p.tv_system = 3; }), "");
  EXPECT_NE(problem([](auto& p) { p.aspect = 0; }), "");
  EXPECT_NE(problem([](auto& p) { p.audio_sample_rate = 44100; }), "");
  EXPECT_NE(problem([](auto& p) { p.audio_channels = 6; }), "");
  EXPECT_NE(problem([](auto& p) { p.audio_bitrate = 640000; }), "");
  EXPECT_NE(problem([](auto& p) { p.audio_bits = 24; }), "");
}

TEST(FitPicture, KeepsTheShapeInsideTheDisplayAspect) {
  // 16:9 source in a 4:3 frame: letterbox.
  EXPECT_EQ(FitPicture(640, 360, 1, 1, 720, 576, false).width, 720);
  EXPECT_EQ(FitPicture(640, 360, 1, 1, 720, 576, false).height, 432);
  // 4:3 source in a 16:9 frame: pillarbox.
  EXPECT_EQ(FitPicture(320, 240, 1, 1, 720, 576, true).width, 540);
  EXPECT_EQ(FitPicture(320, 240, 1, 1, 720, 576, true).height, 576);
  // Anamorphic DVD pictures fill their own frame.
  EXPECT_EQ(FitPicture(720, 576, 64, 45, 720, 576, true).height, 576);
  EXPECT_EQ(FitPicture(720, 480, 8, 9, 720, 480, false).width, 720);
  // Unknown sample aspect counts as square; degenerate sizes fill the frame.
  EXPECT_EQ(FitPicture(640, 480, 0, 1, 720, 480, false).width, 720);
  EXPECT_EQ(FitPicture(0, 0, 1, 1, 720, 576, false).width, 720);
  // A very wide picture never shrinks to nothing.
  EXPECT_GE(FitPicture(10000, 10, 1, 1, 720, 576, false).height, 2);
}

bool Has(const std::vector<std::string>& args, const std::vector<std::string>& run) {
  return std::search(args.begin(), args.end(), run.begin(), run.end()) != args.end();
}

TEST(BuildEncodeArguments, ReadsOnlyTheLocalFileWithTheProbedDemuxer) {
  MediaInfo info;
  info.demuxer = "avi";
  info.video_stream = 1;
  info.audio_stream = 0;
  info.width = 640;
  info.height = 480;
  const auto args = BuildEncodeArguments({"/usr/bin/ffmpeg", "/usr/bin/ffprobe"}, "/in/-i odd name.avi", info,
                                         EncodeParameters{}, "/out/a.mpg.part", false);
  EXPECT_EQ(args.front(), "/usr/bin/ffmpeg");
  EXPECT_TRUE(Has(args, {"-protocol_whitelist", "file"}));
  EXPECT_TRUE(Has(args, {"-f", "avi", "-i", "file:/in/-i odd name.avi"}));
  EXPECT_TRUE(Has(args, {"-map", "0:1", "-map", "0:0"}));
  EXPECT_TRUE(Has(args, {"-target", "pal-dvd"}));
  EXPECT_TRUE(Has(args, {"-aspect", "4:3"}));
  EXPECT_TRUE(Has(args, {"-b:v", "4500k", "-maxrate", "9000k"}));
  EXPECT_TRUE(Has(args, {"-c:a", "ac3", "-b:a", "448k", "-ar", "48000", "-ac", "2"}));
  EXPECT_TRUE(Has(args, {"-f", "dvd", "file:/out/a.mpg.part"}));
  EXPECT_TRUE(Has(args, {"-progress", "pipe:1"}));
  EXPECT_FALSE(Has(args, {"pipe:3"}));
  const auto format = std::find(args.begin(), args.end(), "-format_whitelist");
  ASSERT_NE(format, args.end());
  EXPECT_EQ(format[1].find("hls"), std::string::npos);
  EXPECT_EQ(format[1].find("concat"), std::string::npos);
}

TEST(BuildEncodeArguments, SilentWideNtscWithPreview) {
  MediaInfo info;
  info.demuxer = "mov";
  info.video_stream = 0;
  info.width = 1920;
  info.height = 1080;
  EncodeParameters p;
  p.tv_system = kTvSystemNtsc;
  p.height = 480;
  p.frame_rate = 29.97f;
  p.aspect = kAspect16x9;
  const auto args = BuildEncodeArguments({"ffmpeg", "ffprobe"}, "/v.mp4", info, p, "/o.part", true);
  EXPECT_TRUE(Has(args, {"-target", "ntsc-dvd"}));
  EXPECT_TRUE(Has(args, {"-aspect", "16:9"}));
  EXPECT_TRUE(Has(args, {"-an", "-f", "dvd"}));
  EXPECT_TRUE(Has(args, {"-vf", "scale=720:480,pad=720:480:(ow-iw)/2:(oh-ih)/2:black,setdar=16/9"}));
  EXPECT_TRUE(Has(args, {"-f", "rawvideo", "-pix_fmt", "rgb24", "pipe:3"}));
  EXPECT_TRUE(Has(args, {"fps=2,scale=160:90,pad=160:90:(ow-iw)/2:(oh-ih)/2:black"}));
}

TEST(BuildEncodeArguments, ThePreviewShowsThePillarboxOrLetterboxOfTheDisc) {
  struct Row {
    int width, height, aspect;
    const char* preview;
  };
  const Row rows[] = {
      {640, 480, kAspect16x9, "fps=2,scale=120:90,pad=160:90:(ow-iw)/2:(oh-ih)/2:black"},
      {1920, 1080, kAspect4x3, "fps=2,scale=160:90,pad=160:120:(ow-iw)/2:(oh-ih)/2:black"},
      {768, 576, kAspect4x3, "fps=2,scale=160:120,pad=160:120:(ow-iw)/2:(oh-ih)/2:black"},
  };
  for (const Row& row : rows) {
    MediaInfo info;
    info.demuxer = "avi";
    info.width = row.width;
    info.height = row.height;
    EncodeParameters p;
    p.aspect = row.aspect;
    const auto args = BuildEncodeArguments({"ffmpeg", "ffprobe"}, "/v.avi", info, p, "/o.part", true);
    EXPECT_TRUE(Has(args, {"-vf", row.preview, "-f", "rawvideo"})) << row.width << "x" << row.height;
  }
}

TEST(BuildEncodeArguments, AFrameSizedSquarePixelPictureIsNeitherScaledNorPadded) {
  MediaInfo info;
  info.demuxer = "avi";
  info.video_stream = 0;
  info.width = 720;
  info.height = 480;
  EncodeParameters p;
  p.tv_system = kTvSystemNtsc;
  p.height = 480;
  const auto args = BuildEncodeArguments({"ffmpeg", "ffprobe"}, "/menutemp.avi", info, p, "/o.part", false);
  EXPECT_TRUE(Has(args, {"-vf", "scale=720:480,pad=720:480:(ow-iw)/2:(oh-ih)/2:black,setdar=4/3"}));
  info.sar_num = 32;  // a DVD-sized video of other pixels keeps its shape
  info.sar_den = 27;
  const auto video = BuildEncodeArguments({"ffmpeg", "ffprobe"}, "/v.mpg", info, p, "/o.part", false);
  EXPECT_FALSE(Has(video, {"-vf", "scale=720:480,pad=720:480:(ow-iw)/2:(oh-ih)/2:black,setdar=4/3"}));
}

// A long input's video is cut into whole groups of pictures (15 frames in
// PAL, 18 in NTSC); the last piece runs to the end whatever its length.
TEST(PlanPieces, WholeGroupsOfPicturesTheLastToTheEnd) {
  struct Row {
    double seconds;
    bool ntsc;
    int pieces;
    std::vector<long> firsts;  // first frames; each piece ends where the next starts, the last with the input
  } rows[] = {
      {600, false, 6, {0, 2505, 5010, 7515, 10020, 12525}},  // 15000 frames
      {64, true, 4, {0, 486, 972, 1458}},                    // 1918 frames
      {10, false, 1, {0}},
      {0.2, false, 8, {0}},  // fewer frames than a group: one piece
  };
  for (const Row& row : rows) {
    EncodeParameters p;
    p.tv_system = row.ntsc ? kTvSystemNtsc : kTvSystemPal;
    const std::vector<VideoPiece> plan = PlanPieces(row.seconds, p, row.pieces);
    SCOPED_TRACE(row.seconds);
    ASSERT_EQ(plan.size(), row.firsts.size());
    for (std::size_t i = 0; i < plan.size(); ++i) {
      EXPECT_EQ(plan[i].first_frame, row.firsts[i]);
      const long end = i + 1 < plan.size() ? row.firsts[i + 1]
                                           : std::lround(row.seconds * (row.ntsc ? 30000.0 / 1001.0 : 25.0));
      EXPECT_EQ(plan[i].frames, end - row.firsts[i]);
      EXPECT_DOUBLE_EQ(plan[i].start_seconds, row.firsts[i] / (row.ntsc ? 30000.0 / 1001.0 : 25.0));
    }
  }
}

TEST(PlanPieces, OneProcessPerCoreAndUpToTwoPiecesEach) {
  struct Row {
    int lanes;
    double seconds;
    int processes, pieces;
  } rows[] = {
      {6, 600, 8, 16},  // the eight-core machine: 37.5 s pieces
      {6, 180, 8, 12},  // pieces of 15 s
      {6, 90, 8, 8},    // shorter pieces rather than idle cores
      {2, 64, 3, 4},   {4, 64, 5, 5}, {2, 3600, 3, 6}, {1, 600, 1, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.lanes) + " lanes, " + std::to_string(row.seconds) + " s");
    EXPECT_EQ(PieceProcesses(row.lanes), row.processes);
    EXPECT_EQ(PieceCount(row.seconds, row.processes), row.pieces);
  }
}

TEST(BuildEncodeArguments, APieceIsItsVideoAloneFromItsStartForItsFrames) {
  MediaInfo info;
  info.demuxer = "mov";
  info.video_stream = 0;
  info.audio_stream = 1;
  info.width = 1920;
  info.height = 1080;
  EncodeParameters p;
  const VideoPiece piece{2505, 2505, 100.2};
  const auto args = BuildEncodeArguments({"ffmpeg", "ffprobe"}, "/v.mp4", info, p, "/o.m2v", false, &piece);
  // One thread each for the decoder, the filters and the encoder.
  // Read from its start to its end (100.2 s long) and a second more.
  EXPECT_TRUE(Has(args, {"-filter_threads", "1", "-threads", "1", "-ss", "100.200000", "-t", "101.200000",
                         "-f", "mov", "-i", "file:/v.mp4", "-map", "0:0", "-target"}));
  EXPECT_TRUE(Has(args, {"-an", "-threads", "1", "-timecode_frame_start", "2505", "-frames:v", "2505", "-f",
                         "mpeg2video", "file:/o.m2v"}));
  EXPECT_FALSE(Has(args, {"-c:a", "ac3"}));
  // The sound alone, with its times, encoded beside the pieces.
  const auto sound = BuildAudioArguments({"ffmpeg", "ffprobe"}, "/v.mp4", info, p, "/a.nut");
  EXPECT_TRUE(Has(sound, {"-f", "mov", "-i", "file:/v.mp4", "-map", "0:1", "-vn", "-c:a", "ac3"}));
  EXPECT_TRUE(Has(sound, {"-output_ts_offset", "1.000000", "-f", "nut", "file:/a.nut"}));
  EXPECT_FALSE(Has(sound, {"-progress"}));  // the pieces' progress is the file's
  const std::filesystem::path audio = "/a.nut";
  const auto join = BuildJoinArguments({"ffmpeg", "ffprobe"}, "/o.m2v", &audio, p, "/o.part");
  EXPECT_TRUE(Has(join, {"-fflags", "+genpts", "-f", "mpegvideo", "-framerate", "25", "-i", "file:/o.m2v"}));
  EXPECT_TRUE(Has(join, {"-itsoffset", "-0.960000", "-f", "nut", "-i", "file:/a.nut"}));
  EXPECT_TRUE(Has(join, {"-map", "0:v", "-c:v", "copy", "-map", "1:a", "-c:a", "copy"}));
  EXPECT_TRUE(Has(join, {"-muxrate", "10080000", "-packetsize", "2048", "-f", "dvd", "file:/o.part"}));
  EXPECT_TRUE(Has(BuildJoinArguments({"ffmpeg", "ffprobe"}, "/o.m2v", nullptr, p, "/o.part"),
                  {"-c:v", "copy", "-an", "-muxrate"}));
}

}  // namespace
}  // namespace vantora
