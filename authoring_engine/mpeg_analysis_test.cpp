#include "mpeg_analysis.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "mpeg_scanner.h"
#include "mpeg_testutil.h"
#include "testing/tools.h"

namespace morvix {
namespace {

using testing::MakeClip;
using testing::ReadAll;
using testing::ScratchDir;
using testing::WriteAll;
using Bytes = std::vector<std::uint8_t>;

const std::vector<std::string> kPalVideo = {"-f", "lavfi", "-i", "testsrc2=size=720x576:rate=25"};
const std::vector<std::string> kNtscVideo = {"-f", "lavfi", "-i", "testsrc2=size=720x480:rate=30000/1001"};
const std::vector<std::string> kTone = {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000"};

std::vector<std::string> Args(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::filesystem::path Pal(const std::string& name, std::vector<std::string> extra, bool audio = true) {
  auto args = Args({kPalVideo,
                    audio ? kTone : std::vector<std::string>{},
                    {"-t", "2", "-target", "pal-dvd", "-aspect", "4:3"},
                    extra});
  return MakeClip(name, args);
}

std::filesystem::path Ntsc(const std::string& name, std::vector<std::string> extra) {
  return MakeClip(name,
                  Args({kNtscVideo, kTone, {"-t", "2", "-target", "ntsc-dvd", "-aspect", "4:3"}, extra}));
}

struct Result {
  Status status;
  std::unique_ptr<MpegFile> file;
  ErrorContext error;
};

Result Analyse(const std::filesystem::path& path, AnalysisRequest request = {}) {
  Result r;
  r.file = std::make_unique<MpegFile>(path);
  r.status = r.file->Analyse(request, r.error);
  return r;
}

AnalysisRequest Chapters(std::vector<double> starts) {
  AnalysisRequest request;
  request.chapter_count = static_cast<int>(starts.size());
  request.chapter_starts = std::move(starts);
  return request;
}

std::vector<Vobu> AllVobus(const MpegFile& f) {
  std::vector<Vobu> out;
  for (const Cell& c : f.cells()) out.insert(out.end(), c.vobus.begin(), c.vobus.end());
  return out;
}

double TotalLength(const MpegFile& f) {
  double total = 0;
  for (const Cell& c : f.cells()) total += c.length;
  return total;
}

// Frames that ffprobe decodes from the file's video stream.
int ProbeFrameCount(const std::filesystem::path& path) {
  const vantora::testing::ToolResult r =
      vantora::testing::RunTool({"ffprobe", "-v", "quiet", "-count_frames", "-select_streams", "v:0",
                                 "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", path.string()},
                                vantora::testing::ToolErrors::kApart);
  int frames = -1;
  if (!r.started || std::sscanf(r.output.c_str(), "%d", &frames) != 1) frames = -1;
  return frames;
}

// Presentation times (90 kHz) of every decoded video frame, in display order.
std::vector<std::int64_t> ProbeFramePts(const std::filesystem::path& path) {
  const vantora::testing::ToolResult r =
      vantora::testing::RunTool({"ffprobe", "-v", "quiet", "-select_streams", "v:0", "-show_entries",
                                 "frame=pts", "-of", "csv=p=0", path.string()},
                                vantora::testing::ToolErrors::kApart);
  std::vector<std::int64_t> pts;
  std::istringstream lines(r.output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line[0] >= '0' && line[0] <= '9')
      pts.push_back(std::strtoll(line.c_str(), nullptr, 10));
  }
  std::sort(pts.begin(), pts.end());
  return pts;
}

// ---------------------------------------------------------------- attributes

struct VideoCase {
  std::string name;
  bool pal;
  std::vector<std::string> extra;
  int tv_system, size_class, aspect;
};

TEST(MpegAnalysisTest, ClipsOfEverySizeAndAspectGiveTheirVideoAttributes) {
  const std::vector<VideoCase> cases = {
      {"pal720_43.mpg", true, {"-aspect", "4:3"}, 2, 1, 1},
      {"pal720_169.mpg", true, {"-aspect", "16:9"}, 2, 1, 2},
      {"pal704.mpg", true, {"-s", "704x576", "-aspect", "4:3"}, 2, 2, 1},
      {"pal352full.mpg", true, {"-s", "352x576", "-aspect", "4:3"}, 2, 3, 1},
      {"pal352half.mpg", true, {"-s", "352x288", "-aspect", "4:3"}, 2, 4, 1},
      {"ntsc720_169.mpg", false, {"-aspect", "16:9"}, 1, 1, 2},
      {"ntsc704.mpg", false, {"-s", "704x480", "-aspect", "4:3"}, 1, 2, 1},
      {"ntsc352half.mpg", false, {"-s", "352x240", "-aspect", "4:3"}, 1, 4, 1},
  };
  for (const VideoCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = c.pal ? Pal(c.name, c.extra) : Ntsc(c.name, c.extra);
    ASSERT_FALSE(path.empty());
    Result r = Analyse(path);
    ASSERT_EQ(r.status, kOk);
    EXPECT_EQ(r.file->video().tv_system, c.tv_system);
    EXPECT_EQ(r.file->video().size_class, c.size_class);
    EXPECT_EQ(r.file->video().aspect, c.aspect);
    EXPECT_NEAR(r.file->video().frame_rate, c.pal ? 25.0 : 29.97, 0.01);
    EXPECT_EQ(r.file->video().mpeg_version, 2);
    const Bytes data = ReadAll(path);
    EXPECT_EQ(r.file->vobu_count(), testing::CountNavPacks(data));
    EXPECT_EQ(r.file->length(), data.size());
    EXPECT_EQ(r.file->part_count(), 1);
    EXPECT_EQ(r.file->cell_count(), 1);
  }
}

TEST(MpegAnalysisTest, AudioStreamsAreRecordedWithTheirCodingAndRate) {
  struct AudioCase {
    std::string name;
    std::vector<std::string> extra;
    int coding, sample_rate;
    std::uint8_t id;
  };
  const std::vector<AudioCase> cases = {
      {"ac3.mpg", {}, 1, 1, 0x80},
      {"mp2.mpg", {"-c:a", "mp2", "-b:a", "224k"}, 2, 1, 0xC0},
      {"lpcm.mpg", {"-c:a", "pcm_dvd"}, 4, 1, 0xA0},
      {"lpcm96.mpg", {"-c:a", "pcm_dvd", "-ar", "96000"}, 4, 2, 0xA0},
  };
  for (const AudioCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = Pal(c.name, c.extra);
    ASSERT_FALSE(path.empty());
    Result r = Analyse(path);
    ASSERT_EQ(r.status, kOk);
    ASSERT_EQ(r.file->audio_stream_count(), 1);
    const AudioStreamAttributes& a = r.file->audio()[0];
    EXPECT_EQ(a.coding, c.coding);
    EXPECT_EQ(a.sample_rate, c.sample_rate);
    EXPECT_EQ(a.stream_id, c.id);
    EXPECT_EQ(a.channels, 2);  // the other fields keep their defaults
    EXPECT_EQ(a.quantisation, 3);
    EXPECT_EQ(a.extension, 0);
  }
  Result silent = Analyse(Pal("noaudio.mpg", {"-an"}, false));
  ASSERT_EQ(silent.status, kOk);
  EXPECT_EQ(silent.file->audio_stream_count(), 0);
}

TEST(MpegAnalysisTest, EveryAudioStreamPresentIsMappedToItsStreamNumber) {
  const auto path = MakeClip(
      "two_audio.mpg",
      Args({kPalVideo,
            kTone,
            {"-f", "lavfi", "-i", "sine=frequency=880:sample_rate=48000"},
            {"-map", "0", "-map", "1", "-map", "2", "-t", "2", "-target", "pal-dvd", "-aspect", "4:3"}}));
  ASSERT_FALSE(path.empty());
  Result r = Analyse(path);
  ASSERT_EQ(r.status, kOk);
  ASSERT_EQ(r.file->audio_stream_count(), 2);
  EXPECT_EQ(r.file->audio()[0].stream_id, 0x80);
  EXPECT_EQ(r.file->audio()[1].stream_id, 0x81);
  EXPECT_EQ(r.file->audio()[1].stream_number(), 1);
}

// Rewrites the first payload byte of every private-stream-1 packet (or the
// stream id of every MPEG audio packet) from `from` to `to`.
Bytes Restream(Bytes data, std::uint8_t from, std::uint8_t to, bool private_stream) {
  for (std::size_t at = 0; at + 2048 <= data.size(); at += 2048) {
    std::uint8_t* p = data.data() + at;
    if (private_stream && p[17] == 0xBD && p[23 + p[22]] == from) p[23 + p[22]] = to;
    if (!private_stream && p[17] == from) p[17] = to;
  }
  return data;
}

TEST(MpegAnalysisTest, SubpictureAndNonDvdStreamsAreNotCountedAsAudio) {
  const auto ac3 = Pal("ac3.mpg", {});
  const auto mp2 = Pal("mp2.mpg", {"-c:a", "mp2", "-b:a", "224k"});
  ASSERT_FALSE(ac3.empty());
  ASSERT_FALSE(mp2.empty());
  const auto sub = ScratchDir() / "subpicture.mpg";
  WriteAll(sub, Restream(ReadAll(ac3), 0x80, 0x20, true));
  Result r = Analyse(sub);
  ASSERT_EQ(r.status, kOk);
  EXPECT_EQ(r.file->audio_stream_count(), 0);
  const auto d0 = ScratchDir() / "stream_d0.mpg";
  WriteAll(d0, Restream(ReadAll(mp2), 0xC0, 0xD0, false));
  r = Analyse(d0);
  ASSERT_EQ(r.status, kOk);
  EXPECT_EQ(r.file->audio_stream_count(), 0);
}

// ------------------------------------------------------------------- timing

TEST(MpegAnalysisTest, OpenGopVobusStartBeforeTheirIFrameAndLeaveNoGaps) {
  const auto path = Pal("opengop.mpg", {"-bf", "2", "-g", "12"});
  ASSERT_FALSE(path.empty());
  Result r = Analyse(path);
  ASSERT_EQ(r.status, kOk);
  const auto vobus = AllVobus(*r.file);
  ASSERT_GE(vobus.size(), 3u);
  for (std::size_t i = 0; i + 1 < vobus.size(); ++i) {
    EXPECT_EQ(vobus[i].end_ticks, vobus[i + 1].start_ticks);
    EXPECT_TRUE(vobus[i].has_pts);
    // Each VOBU after the first starts a whole number of frames after the first.
    EXPECT_EQ((vobus[i + 1].start_ticks - vobus[0].start_ticks) % 3600, 0) << i;
    EXPECT_EQ(vobus[i + 1].start_ticks - vobus[i].start_ticks, vobus[i].pictures * 3600) << i;
  }
  // The title lasts exactly its frames: 2 s at 25 frames per second.
  const int frames = ProbeFrameCount(path);
  ASSERT_GT(frames, 0);
  EXPECT_NEAR(TotalLength(*r.file), frames / 25.0, 1e-9);
  EXPECT_EQ(vobus.back().end_ticks - vobus.front().start_ticks, frames * 3600);
  // Each VOBU starts with the first frame it presents, as a decoder shows it.
  const auto pts = ProbeFramePts(path);
  ASSERT_EQ(static_cast<int>(pts.size()), frames);
  std::size_t shown = 0;
  for (const Vobu& v : vobus) {
    ASSERT_LT(shown, pts.size());
    EXPECT_EQ(v.start_ticks, pts[shown]) << "VOBU from pack " << v.first_pack;
    shown += static_cast<std::size_t>(v.pictures);
  }
}

TEST(MpegAnalysisTest, ChaptersLandOnTheFirstVobuAfterTheirTimeAndCellsHaveNoGaps) {
  const auto path = Pal("opengop.mpg", {"-bf", "2", "-g", "12"});
  Result whole = Analyse(path);
  ASSERT_EQ(whole.status, kOk);
  const auto vobus = AllVobus(*whole.file);
  const double w = vobus[0].start_seconds();
  Result r = Analyse(path, Chapters({0.0, 0.5, 1.0}));
  ASSERT_EQ(r.status, kOk);
  ASSERT_EQ(r.file->chapter_count(), 3);
  ASSERT_EQ(r.file->cell_count(), 3);
  int index = 0;
  for (int c = 1; c < 3; ++c) {
    const double start = c * 0.5;
    const Cell& cell = r.file->cells()[static_cast<std::size_t>(r.file->chapters()[c].first_cell)];
    const double first = cell.vobus.front().start_seconds() - w;
    EXPECT_GT(first, start);
    // The VOBU before it starts at or before the chapter time.
    index += static_cast<int>(r.file->cells()[static_cast<std::size_t>(c - 1)].vobus.size());
    EXPECT_LE(vobus[static_cast<std::size_t>(index - 1)].start_seconds() - w, start);
    EXPECT_EQ(r.file->chapters()[c].cell_number, c);
    EXPECT_EQ(r.file->chapters()[c].part, 0);
  }
  EXPECT_NEAR(TotalLength(*r.file), TotalLength(*whole.file), 1e-9);
  for (int c = 0; c + 1 < 3; ++c) {
    EXPECT_EQ(r.file->cells()[c].end_ticks, r.file->cells()[c + 1].start_ticks);
  }
}

TEST(MpegAnalysisTest, JoinedStreamsKeepTheirLengthAcrossClockJumps) {
  const auto one = Pal("ac3.mpg", {});
  Result single = Analyse(one);
  ASSERT_EQ(single.status, kOk);
  const double clip = TotalLength(*single.file);
  // Three copies joined byte for byte: the clock restarts at each join.
  Bytes joined;
  const Bytes data = ReadAll(one);
  for (int i = 0; i < 3; ++i) joined.insert(joined.end(), data.begin(), data.end());
  WriteAll(ScratchDir() / "joined.mpg", joined);
  Result r = Analyse(ScratchDir() / "joined.mpg", Chapters({0.0, clip + 0.3}));
  ASSERT_EQ(r.status, kOk);
  EXPECT_NEAR(TotalLength(*r.file), 3 * clip, 1e-9);
  // Chapter 2 lands in the second copy, on its second VOBU.
  const std::size_t per_copy = AllVobus(*single.file).size();
  EXPECT_EQ(r.file->cells()[0].vobus.size(), per_copy + 1);
  for (const Vobu& v : AllVobus(*r.file)) EXPECT_GE(v.end_ticks, v.start_ticks);
}

TEST(MpegAnalysisTest, ChapterStartsPastTheEndOrMissingAreRefused) {
  const auto path = Pal("ac3.mpg", {});
  Result r = Analyse(path);
  ASSERT_EQ(r.status, kOk);
  // A second analysis drops the results of the first, also when it fails.
  EXPECT_EQ(r.file->Analyse(Chapters({0.0, 1.0, 5.0}), r.error), kErrChapterPastEnd);
  EXPECT_EQ(r.file->cell_count(), -1);
  EXPECT_TRUE(r.file->chapters().empty());
  EXPECT_EQ(r.file->audio_stream_count(), 0);
  AnalysisRequest no_starts;
  no_starts.chapter_count = 2;
  EXPECT_EQ(Analyse(path, no_starts).status, kErrInvalidChapterStart);
}

// ------------------------------------------------------------------ limits

TEST(MpegAnalysisTest, BadInputsGiveTheirCodes) {
  const auto dir = ScratchDir();
  auto write = [&](const std::string& name, const Bytes& data) {
    WriteAll(dir / name, data);
    return dir / name;
  };
  EXPECT_EQ(Analyse(dir / "missing.mpg").status, kErrNoFile);
  EXPECT_EQ(Analyse(write("short.mpg", Bytes(2047, 0))).status, kErrMpegLength);
  EXPECT_EQ(Analyse(write("empty.mpg", Bytes())).status, kErrMpegFormat);
  Bytes noise(8192);
  std::uint32_t x = 12345;
  for (auto& b : noise) b = static_cast<std::uint8_t>((x = x * 1103515245 + 12345) >> 16);
  EXPECT_EQ(Analyse(write("noise.mpg", noise)).status, kErrMpegFormat);

  auto pad = [&](const std::filesystem::path& p) {
    Bytes d = ReadAll(p);
    d.resize((d.size() + 2047) / 2048 * 2048, 0xFF);
    return write(p.filename().string() + ".padded", d);
  };
  const auto ts = MakeClip("stream.ts", Args({kPalVideo, {"-t", "1", "-c:v", "mpeg2video", "-f", "mpegts"}}));
  ASSERT_FALSE(ts.empty());
  EXPECT_EQ(Analyse(pad(ts)).status, kErrMpegFormat);
  const auto mpeg1 =
      MakeClip("mpeg1.mpg", Args({kPalVideo, {"-t", "1", "-c:v", "mpeg1video", "-f", "mpeg"}}));
  ASSERT_FALSE(mpeg1.empty());
  EXPECT_EQ(Analyse(pad(mpeg1)).status, kErrMpegFormat);
  const auto vob = Pal("vob.vob", {"-f", "vob"});
  ASSERT_FALSE(vob.empty());
  EXPECT_EQ(Analyse(vob).status, kErrMpegFormat);

  struct Case {
    std::string name;
    std::vector<std::string> args;
    Status code;
  };
  const std::vector<Case> cases = {
      {"vga.mpg", {"-s", "640x480"}, kErrResolution},
      {"half720.mpg", {"-s", "720x288"}, kErrResolution},
      {"half704.mpg", {"-s", "704x288"}, kErrResolution},
      {"a44.mpg", {"-ar", "44100"}, kErrMpegFormat},
      {"mp2_44.mpg", {"-c:a", "mp2", "-b:a", "224k", "-ar", "44100"}, kErrMpegFormat},
      {"ntsc_size_25.mpg", {"-s", "720x480"}, kErrFpsMismatch},
      {"fps24.mpg", {"-r", "24"}, kErrFpsInvalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = Pal(c.name, c.args);
    ASSERT_FALSE(path.empty());
    ErrorContext ctx;
    MpegFile f(path);
    EXPECT_EQ(f.Analyse({}, ctx), c.code);
    EXPECT_EQ(ctx.file, path.wstring());
    EXPECT_EQ(f.cell_count(), -1);
  }
}

// Replaces every sequence header's given nibble.
Bytes PatchSequenceHeaders(Bytes d, bool remove, int aspect) {
  for (std::size_t i = 0; i + 8 < d.size(); ++i) {
    if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && d[i + 3] == 0xB3) {
      if (remove) {
        d[i + 3] = 0xB2;  // user data instead
      } else {
        d[i + 7] = static_cast<std::uint8_t>(aspect << 4 | (d[i + 7] & 0x0F));
      }
    }
  }
  return d;
}

TEST(MpegAnalysisTest, AspectCodesOtherThanFourThirdsAndWideAndMissingHeadersAreRefused) {
  const auto path = Pal("ac3.mpg", {});
  const Bytes data = ReadAll(path);
  const auto square = ScratchDir() / "aspect1.mpg";
  WriteAll(square, PatchSequenceHeaders(data, false, 1));
  EXPECT_EQ(Analyse(square).status, kErrAspect);
  const auto wide = ScratchDir() / "aspect4.mpg";
  WriteAll(wide, PatchSequenceHeaders(data, false, 4));
  EXPECT_EQ(Analyse(wide).status, kErrAspect);
  const auto none = ScratchDir() / "noseq.mpg";
  WriteAll(none, PatchSequenceHeaders(data, true, 0));
  EXPECT_EQ(Analyse(none).status, kErrMpegFormat);
}

TEST(MpegAnalysisTest, EveryVobuMustStartWithANavigationPackShape) {
  const Bytes good = ReadAll(Pal("ac3.mpg", {}));
  auto expect = [&](const std::string& name, Bytes d, Status code) {
    SCOPED_TRACE(name);
    WriteAll(ScratchDir() / name, d);
    EXPECT_EQ(Analyse(ScratchDir() / name).status, code);
  };
  // The second VOBU start pack loses its DSI packet.
  std::size_t second = 0;
  for (std::size_t at = 2048; at < good.size(); at += 2048) {
    if (good[at + 17] == 0xBB) {
      second = at;
      break;
    }
  }
  ASSERT_GT(second, 0u);
  Bytes d = good;
  d[second + 1027] = 0xBE;
  expect("nodsi.mpg", d, kErrMpegFormat);
  d = good;
  d[second + 41] = 0xE0;
  expect("nopci.mpg", d, kErrMpegFormat);
  // Stuffing announced in a navigation pack would move its fields.
  d = good;
  d[13] |= 2;
  expect("navstuffing.mpg", d, kErrMpegFormat);
  // A pack that does not start with a pack header.
  d = good;
  d[2048 * 3 + 3] = 0xBB;
  expect("nopackheader.mpg", d, kErrMpegFormat);
  // MPEG-1 pack header marker.
  d = good;
  d[2048 * 3 + 4] = 0x21;
  expect("mpeg1marker.mpg", d, kErrMpegFormat);
  // A stream that does not begin with a navigation pack.
  expect("headless.mpg", Bytes(good.begin() + 2048, good.end()), kErrMpegFormat);
}

TEST(MpegAnalysisTest, ANavigationPackWhoseSystemHeaderLacksTheVideoOrPrivateStreamOneEntryIsRefused) {
  const auto clip = Pal("ac3.mpg", {});
  const Bytes good = ReadAll(clip);
  ASSERT_EQ(Analyse(clip).status, kOk);
  // The entries of the last navigation pack's system header, whatever their order.
  std::size_t last = 0;
  for (std::size_t at = 0; at + 2048 <= good.size(); at += 2048) {
    if (good[at + 17] == 0xBB) last = at;
  }
  ASSERT_GT(last, 0u);
  const std::size_t end = last + 20 + (good[last + 18] << 8 | good[last + 19]);
  for (std::uint8_t removed : {std::uint8_t{0xE0}, std::uint8_t{0xBD}}) {
    SCOPED_TRACE(static_cast<int>(removed));
    Bytes d = good;
    int replaced = 0;
    for (std::size_t at = last + 26; at + 3 <= end; at += 3) {
      if (d[at] == removed || (removed == 0xE0 && d[at] == 0xB9)) {
        d[at] = 0xC7;  // an audio stream the clip does not have
        ++replaced;
      }
    }
    ASSERT_GT(replaced, 0);
    WriteAll(ScratchDir() / "no_entry.mpg", d);
    EXPECT_EQ(Analyse(ScratchDir() / "no_entry.mpg").status, kErrMpegFormat);
  }

  // A synthetic stream is accepted with the entries and refused without them.
  namespace t = testing;
  Bytes seq = t::SequenceHeader(720, 576, 2, 3);
  Bytes pic = t::PictureHeader(0, 1);
  seq.insert(seq.end(), pic.begin(), pic.end());
  Bytes file = t::NavPack();
  const Bytes video = t::VideoPack(seq, 90000);
  file.insert(file.end(), video.begin(), video.end());
  WriteAll(ScratchDir() / "entries.mpg", file);
  EXPECT_EQ(Analyse(ScratchDir() / "entries.mpg").status, kOk);
  std::fill(file.begin() + 26, file.begin() + 38, std::uint8_t{0});
  WriteAll(ScratchDir() / "no_entries.mpg", file);
  EXPECT_EQ(Analyse(ScratchDir() / "no_entries.mpg").status, kErrMpegFormat);
}

TEST(MpegAnalysisTest, PackHeaderStuffingIsHonoured) {
  namespace t = testing;
  Bytes seq = t::SequenceHeader(720, 576, 2, 3);
  Bytes pic = t::PictureHeader(0, 1);
  seq.insert(seq.end(), pic.begin(), pic.end());
  Bytes video = t::VideoPack(seq, 90000);
  // Move the packet up by three stuffing bytes (dropping three padding bytes).
  Bytes stuffed(video.begin(), video.begin() + 14);
  stuffed[13] = static_cast<std::uint8_t>(0xF8 | 3);
  stuffed.insert(stuffed.end(), {0xFF, 0xFF, 0xFF});
  stuffed.insert(stuffed.end(), video.begin() + 14, video.end() - 3);
  // The padding packet now ends 3 bytes early: shorten its length.
  const std::size_t pad = 14 + 3 + 6 + 3 + 5 + seq.size();
  ASSERT_EQ(stuffed[pad + 3], 0xBE);
  const int len = (stuffed[pad + 4] << 8 | stuffed[pad + 5]) - 3;
  stuffed[pad + 4] = static_cast<std::uint8_t>(len >> 8);
  stuffed[pad + 5] = static_cast<std::uint8_t>(len);
  Bytes file = t::NavPack();
  file.insert(file.end(), stuffed.begin(), stuffed.end());
  WriteAll(ScratchDir() / "stuffed.mpg", file);
  Result r = Analyse(ScratchDir() / "stuffed.mpg");
  ASSERT_EQ(r.status, kOk);
  EXPECT_EQ(r.file->video().tv_system, 2);
  EXPECT_EQ(r.file->cells()[0].vobus[0].start_ticks, 90000);
}

TEST(MpegAnalysisTest, PresentationTimeZeroIsAKnownTime) {
  namespace t = testing;
  Bytes es = t::SequenceHeader(720, 576, 2, 3);
  for (const auto& part : {t::PictureHeader(0, 1), t::PictureHeader(1, 2)})
    es.insert(es.end(), part.begin(), part.end());
  Bytes file = t::NavPack();
  for (const Bytes& p : {t::VideoPack(es, 0), t::NavPack(), t::VideoPack(t::PictureHeader(0, 1), 7200),
                         t::NavPack(), t::AudioPack(0xBD, {0x80, 1, 0, 1, 0x0B, 0x77, 0, 0, 0x10})}) {
    file.insert(file.end(), p.begin(), p.end());
  }
  WriteAll(ScratchDir() / "pts0.mpg", file);
  Result r = Analyse(ScratchDir() / "pts0.mpg", Chapters({0.0, 0.05}));
  ASSERT_EQ(r.status, kOk);
  const auto vobus = AllVobus(*r.file);
  ASSERT_EQ(vobus.size(), 3u);
  EXPECT_TRUE(vobus[0].has_pts);
  EXPECT_EQ(vobus[0].start_ticks, 0);
  EXPECT_EQ(vobus[1].start_ticks, 7200);
  // The VOBU without video follows on from its predecessor.
  EXPECT_FALSE(vobus[2].has_pts);
  EXPECT_FALSE(vobus[2].has_video);
  EXPECT_EQ(vobus[2].start_ticks, 7200 + 3600);
  // Chapter 2 (0.05 s) lands on the VOBU at 0.08 s.
  EXPECT_EQ(r.file->cells()[1].vobus.front().start_ticks, 7200);
  EXPECT_DOUBLE_EQ(r.file->cells()[0].length, 0.08);
  EXPECT_EQ(r.file->cells()[1].last_video_vobu, 0);
  EXPECT_EQ(r.file->audio_stream_count(), 1);
}

TEST(MpegAnalysisTest, RepeatedAndFieldPicturesCountByTheFieldsTheyShow) {
  namespace t = testing;
  auto cat = [](std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  // VOBU 1: two frame pictures, the first repeating a field (3 + 2 fields).
  const Bytes first =
      cat({t::SequenceHeader(720, 576, 3, 3), t::PictureHeader(0, 1), t::PictureCodingExtension(3, true),
           t::PictureHeader(1, 2), t::PictureCodingExtension(3, false)});
  // VOBU 2, without a PTS: two field pictures (one frame).
  const Bytes second = cat({t::PictureHeader(0, 1), t::PictureCodingExtension(1, false),
                            t::PictureHeader(0, 2), t::PictureCodingExtension(2, false)});
  const Bytes file = cat({t::NavPack(), t::VideoPack(first, 90000), t::NavPack(), t::VideoPack(second, -1)});
  WriteAll(ScratchDir() / "fields.mpg", file);
  Result r = Analyse(ScratchDir() / "fields.mpg");
  ASSERT_EQ(r.status, kOk);
  EXPECT_EQ(r.file->video().aspect, 2);
  const auto vobus = AllVobus(*r.file);
  ASSERT_EQ(vobus.size(), 2u);
  EXPECT_EQ(vobus[0].fields, 5);
  EXPECT_EQ(vobus[1].start_ticks, 90000 + 9000);
  EXPECT_FALSE(vobus[1].has_pts);
  EXPECT_EQ(vobus[1].end_ticks, 90000 + 9000 + 3600);
  EXPECT_DOUBLE_EQ(r.file->cells()[0].length, 0.14);
}

TEST(MpegScannerTest, EveryPrefixSearchFindsTheFirstWholePrefix) {
  std::uint32_t seed = 12345;
  const auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 16;
  };
  const auto naive = [](const Bytes& b) {
    for (std::size_t i = 0; i + 3 <= b.size(); ++i) {
      if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1) return i;
    }
    return b.size();
  };
  for (int round = 0; round < 3000; ++round) {
    // Bytes drawn mostly from 0, 1 and 2, so near-prefixes abound; lengths
    // around the vector sizes and their tails.
    Bytes b(next() % 100);
    for (auto& x : b) x = static_cast<std::uint8_t>(next() % 7 < 5 ? next() % 3 : next() % 256);
    const std::size_t expected = naive(b);
    for (const auto how : {mpeg::PrefixSearch::kScalar, mpeg::PrefixSearch::kSse2, mpeg::PrefixSearch::kAvx2,
                           mpeg::PrefixSearch::kBest}) {
      ASSERT_EQ(mpeg::FindStartCodePrefix(b.data(), b.size(), how), expected)
          << "round " << round << " search " << static_cast<int>(how);
    }
  }
}

TEST(MpegScannerTest, StartCodesAreFoundAtEveryOffsetAndAcrossPacketEnds) {
  namespace t = testing;
  // Slice-like filler full of zeros and ones that never forms 00 00 01.
  const Bytes filler_pattern = {0, 1, 0, 2, 1, 0, 0, 2, 0, 0, 0, 2, 1, 1, 0, 1, 0x47};
  Bytes es = t::SequenceHeader(720, 576, 2, 3);
  int fields = 0;
  const int pictures = 300;
  for (int n = 0; n < pictures; ++n) {
    // Filler lengths 0..70 put the next start code at every offset of the
    // search vectors; some start codes follow zero stuffing.
    for (int k = 0; k < n % 71; ++k)
      es.push_back(filler_pattern[static_cast<std::size_t>(k) % filler_pattern.size()]);
    if (n % 7 == 3) es.insert(es.end(), {0, 0, 0});
    const bool repeat = n % 3 == 0;
    fields += repeat ? 3 : 2;
    for (const Bytes& part :
         {t::PictureHeader(n % 12, n % 12 == 0 ? 1 : 2), t::PictureCodingExtension(3, repeat)}) {
      es.insert(es.end(), part.begin(), part.end());
    }
  }
  // Payload sizes that split start codes at every byte of the prefix and the
  // code, and that are shorter than a search vector.
  const std::vector<std::size_t> sizes = {1, 2, 3, 5, 17, 31, 32, 33, 34, 35, 64, 700, 2000};
  mpeg::StreamScanner scanner;
  const Bytes nav = t::NavPack();
  ASSERT_EQ(scanner.AddPack(nav.data(), 0), kOk);
  std::int64_t number = 1;
  for (std::size_t at = 0, k = 0; at < es.size(); ++k) {
    const std::size_t size = std::min(sizes[k % sizes.size()], es.size() - at);
    const Bytes pack = t::VideoPack(Bytes(es.begin() + static_cast<std::ptrdiff_t>(at),
                                          es.begin() + static_cast<std::ptrdiff_t>(at + size)),
                                    at == 0 ? 90000 : -1);
    ASSERT_EQ(scanner.AddPack(pack.data(), number++), kOk);
    at += size;
  }
  ASSERT_EQ(scanner.Finish(number), kOk);
  ASSERT_EQ(scanner.vobus().size(), 1u);
  EXPECT_EQ(scanner.vobus()[0].pictures, pictures);
  EXPECT_EQ(scanner.vobus()[0].fields, fields);
  EXPECT_EQ(scanner.video().tv_system, 2);
}

TEST(MpegAnalysisTest, SizeLimitsAreCheckedOnSparseFiles) {
  auto sparse = [](const std::string& name, std::uint64_t size) {
    const auto p = ScratchDir() / name;
    { std::ofstream(p, std::ios::binary); }
    std::filesystem::resize_file(p, size);
    return p;
  };
  const auto gib = sparse("menu_1gib.mpg", 0x40000000ULL);
  AnalysisRequest menu;
  menu.menu = true;
  EXPECT_EQ(Analyse(gib, menu).status, kErrMenuTooLarge);
  const auto movie = sparse("movie_limit.mpg", 9017753600ULL);
  Result r = Analyse(movie);
  EXPECT_EQ(r.status, kErrMpegTooLarge);
  EXPECT_EQ(r.error.file, movie.wstring());
  std::filesystem::remove(gib);
  std::filesystem::remove(movie);
}

// The 2-second clip looped into one continuous stream of copies x 2 s.
std::filesystem::path Looped(int copies) {
  const auto one = Pal("ac3.mpg", {});
  return MakeClip(
      "looped" + std::to_string(copies) + ".mpg",
      {"-stream_loop", std::to_string(copies - 1), "-i", one.string(), "-c", "copy", "-f", "dvd"});
}

TEST(MpegAnalysisTest, LongMoviesAreCutIntoPartsAtVobuBoundaries) {
  const auto path = Looped(4);
  const std::uint64_t part_bytes = 2u << 20;
  MpegFile f(path);
  f.set_part_bytes_for_testing(part_bytes);
  ErrorContext ctx;
  ASSERT_EQ(f.Analyse({}, ctx), kOk);
  ASSERT_GE(f.part_count(), 3);
  ASSERT_EQ(f.cell_count(), f.part_count());
  std::int64_t next_pack = 0;
  for (int c = 0; c < f.cell_count(); ++c) {
    const Cell& cell = f.cells()[static_cast<std::size_t>(c)];
    EXPECT_EQ(cell.part, c);
    EXPECT_EQ(cell.cell_number, 0);
    EXPECT_EQ(cell.vobus.front().first_pack, next_pack);
    next_pack = cell.vobus.back().last_pack + 1;
    const std::uint64_t bytes = static_cast<std::uint64_t>(next_pack - cell.vobus.front().first_pack) * 2048;
    EXPECT_LE(bytes, part_bytes);
    if (c + 1 < f.cell_count()) {
      // The next VOBU would not have fitted.
      const Vobu& after = f.cells()[static_cast<std::size_t>(c + 1)].vobus.front();
      EXPECT_GT(bytes + static_cast<std::uint64_t>(after.last_pack - after.first_pack + 1) * 2048,
                part_bytes);
    }
  }
  EXPECT_EQ(next_pack * 2048, static_cast<std::int64_t>(f.length()));

  // A chapter inside the second part starts a second cell there.
  const double in_second =
      f.cells()[1].vobus.back().start_seconds() - f.cells()[0].vobus[0].start_seconds() - 0.01;
  MpegFile g(path);
  g.set_part_bytes_for_testing(part_bytes);
  ASSERT_EQ(g.Analyse(Chapters({0.0, in_second}), ctx), kOk);
  EXPECT_EQ(g.cell_count(), f.cell_count() + 1);
  EXPECT_EQ(g.chapters()[1].part, 1);
  EXPECT_EQ(g.chapters()[1].cell_number, 1);
  EXPECT_EQ(g.cells()[2].part, 1);
  EXPECT_EQ(g.cells()[2].cell_number, 1);
}

TEST(MpegAnalysisTest, MoviesNeedingMoreThanNinePartsAreRefused) {
  const auto path = Looped(6);
  Result whole = Analyse(path);
  ASSERT_EQ(whole.status, kOk);
  std::uint64_t largest = 0;
  for (const Vobu& v : AllVobus(*whole.file)) {
    largest =
        std::max<std::uint64_t>(largest, static_cast<std::uint64_t>(v.last_pack - v.first_pack + 1) * 2048);
  }
  const std::uint64_t total = whole.file->length();
  ASSERT_GT(total / largest, 9u);
  ErrorContext ctx;
  MpegFile nine(path);  // every full part holds more than a ninth of the file
  nine.set_part_bytes_for_testing(total / 9 + largest);
  ASSERT_EQ(nine.Analyse({}, ctx), kOk);
  EXPECT_LE(nine.part_count(), 9);
  EXPECT_GT(nine.part_count(), 1);
  MpegFile ten(path);
  ten.set_part_bytes_for_testing(largest);
  EXPECT_EQ(ten.Analyse({}, ctx), kErrMpegTooLarge);
  EXPECT_EQ(ten.cell_count(), -1);
}

TEST(MpegAnalysisTest, AShortReadInsideTheFileIsAReadError) {
  const auto path = Looped(4);  // over one 4 MiB read block
  ASSERT_GT(std::filesystem::file_size(path), 4u << 20);
  const auto copy = ScratchDir() / "shrinking.mpg";
  std::filesystem::copy_file(path, copy, std::filesystem::copy_options::overwrite_existing);
  AnalysisRequest request;
  request.progress = [&](int, double percent) {
    if (percent > 0 && percent < 100) std::filesystem::resize_file(copy, 1u << 20);
    return 0;
  };
  Result r = Analyse(copy, request);
  EXPECT_EQ(r.status, kErrReadFile);
  EXPECT_EQ(r.error.file, copy.wstring());
  EXPECT_EQ(r.file->cell_count(), -1);
}

TEST(MpegAnalysisTest, ProgressIsThrottledStartsAtZeroEndsAtHundredAndCanStop) {
  const auto path = Looped(4);
  std::vector<double> seen;
  AnalysisRequest request;
  request.menu = true;
  request.progress = [&](int step, double percent) {
    EXPECT_EQ(step, 3);
    seen.push_back(percent);
    return 0;
  };
  ASSERT_EQ(Analyse(path, request).status, kOk);
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen.front(), 0.0);
  EXPECT_EQ(seen.back(), 100.0);
  for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i], seen[i - 1]);
  EXPECT_LT(seen.size(), 1200u);

  request.main_menu = true;
  int calls = 0;
  request.progress = [&](int step, double) {
    EXPECT_EQ(step, 1);
    return ++calls == 2 ? 1 : 0;
  };
  Result stopped = Analyse(path, request);
  EXPECT_EQ(stopped.status, kStopped);
  EXPECT_EQ(stopped.file->cell_count(), -1);
  request.progress = [](int, double) { return 1; };
  EXPECT_EQ(Analyse(path, request).status, kStopped);
}

TEST(MpegAnalysisTest, SharedClipsAnalyseCleanly) {
  struct Shared {
    std::string name;
    int tv_system, aspect, audio;
  };
  for (const Shared& s : {Shared{"pal_43.mpg", 2, 1, 1}, Shared{"ntsc_169.mpg", 1, 2, 1},
                          Shared{"pal_menu.mpg", 2, 1, 0}, Shared{"pal_noaudio.mpg", 2, 1, 0}}) {
    SCOPED_TRACE(s.name);
    const auto path = testing::SharedClip(s.name);
    if (path.empty()) GTEST_SKIP() << "test media not generated";
    Result r = Analyse(
        path, s.name == "pal_menu.mpg" ? AnalysisRequest{1, {}, true, true, {}} : Chapters({0.0, 4.0, 8.0}));
    ASSERT_EQ(r.status, kOk);
    EXPECT_EQ(r.file->video().tv_system, s.tv_system);
    EXPECT_EQ(r.file->video().aspect, s.aspect);
    EXPECT_EQ(r.file->audio_stream_count(), s.audio);
    EXPECT_EQ(r.file->vobu_count(), testing::CountNavPacks(ReadAll(path)));
    const int frames = ProbeFrameCount(path);
    EXPECT_NEAR(TotalLength(*r.file), frames / r.file->video().frame_rate, 1e-6);
  }
}

TEST(SequenceHeaderTest, SizesAspectsAndRatesMapToTheirClassesOrCodes) {
  struct Case {
    int width, height, aspect, rate;
    Status status;
    int tv_system, size_class;
  };
  const Case cases[] = {
      {720, 576, 2, 3, kOk, 2, 1},
      {704, 480, 3, 4, kOk, 1, 2},
      {352, 480, 2, 4, kOk, 1, 3},
      {352, 240, 2, 4, kOk, 1, 4},
      {352, 288, 3, 3, kOk, 2, 4},
      {720, 240, 2, 4, kErrResolution, 0, 0},
      {704, 288, 2, 3, kErrResolution, 0, 0},
      {640, 480, 2, 4, kErrResolution, 0, 0},
      {720, 500, 2, 3, kErrResolution, 0, 0},
      {720, 576, 1, 3, kErrAspect, 0, 0},
      {720, 576, 4, 3, kErrAspect, 0, 0},
      {720, 576, 2, 2, kErrFpsInvalid, 0, 0},
      {720, 576, 2, 4, kErrFpsMismatch, 0, 0},
      {720, 480, 2, 3, kErrFpsMismatch, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    VideoAttributes video;
    EXPECT_EQ(mpeg::CheckSequenceHeader(c.width, c.height, c.aspect, c.rate, video), c.status);
    if (c.status == kOk) {
      EXPECT_EQ(video.tv_system, c.tv_system);
      EXPECT_EQ(video.size_class, c.size_class);
      EXPECT_EQ(video.aspect, c.aspect == 3 ? 2 : 1);
    } else {
      EXPECT_EQ(video.tv_system, 1);  // untouched defaults
    }
  }
}

TEST(MpegAnalysisTest, AMovieOfExactlyThePartSizeIsOnePartAndOnePackMoreIsTwo) {
  const auto path = Looped(4);
  const std::uint64_t length = std::filesystem::file_size(path);
  ErrorContext ctx;
  MpegFile exact(path);
  exact.set_part_bytes_for_testing(length);
  ASSERT_EQ(exact.Analyse({}, ctx), kOk);
  EXPECT_EQ(exact.part_count(), 1);
  MpegFile over(path);
  over.set_part_bytes_for_testing(length - 2048);
  ASSERT_EQ(over.Analyse({}, ctx), kOk);
  EXPECT_EQ(over.part_count(), 2);
  // Menus are never cut.
  MpegFile menu(path);
  menu.set_part_bytes_for_testing(length - 2048);
  AnalysisRequest request;
  request.menu = true;
  ASSERT_EQ(menu.Analyse(request, ctx), kOk);
  EXPECT_EQ(menu.part_count(), 1);
}

TEST(MpegAnalysisTest, ChaptersPastTheEndOfTheSharedClipAreRefused) {
  const auto clip = testing::SharedClip("pal_43.mpg");
  if (clip.empty()) GTEST_SKIP() << "test media not generated";
  EXPECT_EQ(Analyse(clip, Chapters({0.0, 10.0, 20.0})).status, kErrChapterPastEnd);
}

TEST(MpegAnalysisTest, AStreamWithoutNavigationPacksIsRefused) {
  namespace t = testing;
  Bytes es = t::SequenceHeader(720, 576, 2, 3);
  const Bytes pic = t::PictureHeader(0, 1);
  es.insert(es.end(), pic.begin(), pic.end());
  const Bytes video = t::VideoPack(es, 90000);
  Bytes file = video;
  file.insert(file.end(), video.begin(), video.end());
  WriteAll(ScratchDir() / "nonav.mpg", file);
  EXPECT_EQ(Analyse(ScratchDir() / "nonav.mpg").status, kErrMpegFormat);
}

}  // namespace
}  // namespace morvix
