// Whole builds checked by independent readers: libdvdread (every table and
// every navigation pack reached through the cells), libdvdnav (playback as a
// player does it), dvdunauthor (the decompiled command programs), lsdvd
// (titles, chapters, lengths, frame rate), ffmpeg (clean decoding) and a byte
// comparison of every IFO with its BUP.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

#include "build_pipeline.h"
#include "build_testutil.h"
#include "morvix/error_text.h"
#include "mpeg_testutil.h"
#include "platform/text.h"
#include "vob_testutil.h"

namespace morvix {
namespace {

namespace fs = std::filesystem;
using dvdcheck::ExpectDvdreadAcceptsEverything;
using dvdcheck::Lines;
using testing::CountOf;
using testing::RunTool;
using testing::SharedClip;
using testing::TestTool;

// What a disc must show to lsdvd and libdvdnav.
struct Expected {
  double fps = 25.0;
  std::vector<int> chapters;         // per title
  std::vector<double> seconds;       // per title: the input's duration
  std::vector<int> audio_streams;    // per title
  std::vector<std::string> actions;  // harness actions
  std::string trace;                 // harness output lines
};

fs::path Author(const std::string& name, CMorvixAPI& api, std::uint64_t part_bytes = 0) {
  const fs::path dir = testing::NewOutputDir(name);
  const std::wstring folder = platform::Utf8ToWide(dir.string());
  EXPECT_EQ(api.SetOutputDir(folder.c_str()), kOk);
  BuildOptions options;
  options.part_bytes = part_bytes;
  ErrorContext error;
  const Status status = BuildVideoTs(*api.GetSettingData(), nullptr, options, error);
  EXPECT_EQ(status, kOk) << platform::WideToUtf8(ComposeErrorMessage(status, error));
  return dir;
}

double InputSeconds(const fs::path& clip) {
  std::string out;
  RunTool({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
           "stream=nb_read_frames,r_frame_rate", "-of", "csv=p=0", clip.string()},
          &out);
  int num = 0, den = 1, frames = 0;
  if (std::sscanf(out.c_str(), "%d/%d,%d", &num, &den, &frames) != 3 || num == 0) return -1;
  return frames * static_cast<double>(den) / num;
}

void ExpectLsdvdSees(const fs::path& dir, const Expected& e) {
  std::string out;
  EXPECT_EQ(RunTool({"lsdvd", "-x", dir.string()}, &out), 0) << out;
  std::size_t t = 0;
  for (const std::string& line : Lines(out)) {
    int title = 0, h = 0, m = 0, sec = 0, ms = 0, chapters = 0, cells = 0, audio = 0;
    double fps = 0;
    if (std::sscanf(line.c_str(), "Title: %d, Length: %d:%d:%d.%d Chapters: %d, Cells: %d, Audio streams: %d",
                    &title, &h, &m, &sec, &ms, &chapters, &cells, &audio) == 8) {
      ASSERT_LT(t, e.chapters.size()) << out;
      EXPECT_EQ(title, static_cast<int>(t + 1));
      const double seconds = h * 3600 + m * 60 + sec + ms / 1000.0;
      EXPECT_NEAR(seconds, e.seconds[t], cells / e.fps + 1e-6) << line;
      EXPECT_EQ(chapters, e.chapters[t]) << line;
      EXPECT_EQ(audio, e.audio_streams[t]) << line;
      ++t;
    } else if (const std::size_t at = line.find("FPS: ");
               at != std::string::npos && std::sscanf(line.c_str() + at, "FPS: %lf", &fps) == 1) {
      EXPECT_NEAR(fps, e.fps, 0.01) << line;
    }
  }
  EXPECT_EQ(t, e.chapters.size()) << out;
}

// Every menu VOB, and every title's movie parts read as one stream (as a
// player reads them: a part may end inside an audio frame), decode cleanly.
void ExpectEveryVobDecodes(const fs::path& dir) {
  std::map<std::string, std::vector<std::string>> streams;  // VTS_nn (or the menu's name) -> files
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".VOB") continue;
    const bool movie_part = name.rfind("VTS_", 0) == 0 && name[7] != '0';
    streams[movie_part ? name.substr(0, 6) : name].push_back(entry.path().string());
  }
  EXPECT_FALSE(streams.empty());
  for (auto& [name, files] : streams) {
    std::sort(files.begin(), files.end());  // VTS_nn_1 .. VTS_nn_9
    std::string input = files.size() > 1 ? "concat:" : "";
    for (std::size_t i = 0; i < files.size(); ++i) input += (i > 0 ? "|" : "") + files[i];
    std::string out;
    EXPECT_EQ(RunTool({"ffmpeg", "-nostdin", "-v", "error", "-i", input, "-f", "null", "-"}, &out), 0)
        << input;
    for (const std::string& line : Lines(out)) {
      // The muxer-side note about the inputs' last audio timestamps is no decoding error.
      EXPECT_NE(line.find("non monotonically increasing dts"), std::string::npos) << input << ": " << line;
    }
  }
}

void ExpectBackupsEqualInfoFiles(const fs::path& dir) {
  int ifos = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() != ".IFO") continue;
    ++ifos;
    fs::path bup = entry.path();
    bup.replace_extension(".BUP");
    EXPECT_EQ(testing::ReadAll(entry.path()), testing::ReadAll(bup)) << entry.path();
  }
  EXPECT_GT(ifos, 1);
}

void ExpectAcceptedByEveryReader(const fs::path& dir, const Expected& e) {
  SCOPED_TRACE(dir.string());
  ExpectDvdreadAcceptsEverything(dir);
  dvdcheck::ExpectPlaysAs(dir, e.actions, e.trace);
  ExpectLsdvdSees(dir, e);
  ExpectEveryVobDecodes(dir);
  ExpectBackupsEqualInfoFiles(dir);
}

// dvdunauthor's script of the disc, whitespace collapsed.
std::string Decompiled(const fs::path& dir) {
  const fs::path work = testing::NewOutputDir(dir.filename().string() + "_unauthor");
  std::string out;
  EXPECT_EQ(RunTool({"env", "-C", work.string(), "dvdunauthor", dir.string()}, &out), 0) << out;
  const std::vector<std::uint8_t> xml = testing::ReadAll(work / "dvdauthor.xml");
  std::string text(xml.begin(), xml.end());
  std::string collapsed;
  for (char c : text) {
    const bool space = std::isspace(static_cast<unsigned char>(c)) != 0;
    if (!space)
      collapsed += c;
    else if (collapsed.empty() || collapsed.back() != ' ')
      collapsed += ' ';
  }
  return collapsed;
}

std::string Section(const std::string& text, const std::string& tag, int occurrence = 0) {
  std::size_t at = 0;
  for (int i = 0; i <= occurrence; ++i) {
    at = text.find("<" + tag + ">", at);
    if (at == std::string::npos) return "(missing)";
    at += tag.size() + 2;
  }
  const std::size_t end = text.find("</" + tag + ">", at);
  return end == std::string::npos ? "(unterminated)" : text.substr(at, end - at);
}

constexpr const char* kAutoNextConstants =
    " g0 = 2; g7 = 3; g8 = 4; g9 = 5; g10 = 6; g13 = 7; g14 = 8; g15 = 9;";

TEST(BuildE2e, OneTitleWithoutMenuStartsAtOnceAndStops) {
  const fs::path clip = SharedClip("pal_43.mpg");
  CMorvixAPI api;
  testing::AddClipTitle(api, clip);
  const fs::path dir = Author("case_a", api);
  Expected e;
  e.chapters = {1};
  e.seconds = {InputSeconds(clip)};
  e.audio_streams = {1};
  e.trace = "title 1 chapter 1\nstop\n";
  ExpectAcceptedByEveryReader(dir, e);

  const std::string script = Decompiled(dir);
  EXPECT_EQ(Section(script, "fpc"), std::string(" g1 = 1; g2 = 1; g3 = 0; g4 = 1; g5 = 1; g6 = 0;") +
                                        kAutoNextConstants + " jump title 1; ");
  EXPECT_EQ(Section(script, "pre", 1), " jump title 1; ") << "the title set's menu starts its title";
  EXPECT_EQ(Section(script, "pre", 2), " g5 = 1; ");
  EXPECT_EQ(Section(script, "post"), " g5 = 1; g3 = 1; g11 = 1; g12 = 0; call vmgm menu 1 resume 1; ");
}

void ExpectThreeTitleMenuDisc(const std::string& name, const fs::path& title_clip, const fs::path& menu_clip,
                              double fps) {
  CMorvixAPI api;
  for (int t = 0; t < 3; ++t) testing::AddClipTitle(api, title_clip);
  testing::AddTitleButtons(api, menu_clip, 3);
  api.SetAutoNextTitle(0);
  const fs::path dir = Author(name, api);
  Expected e;
  e.fps = fps;
  e.chapters = {1, 1, 1};
  const double seconds = InputSeconds(title_clip);
  e.seconds = {seconds, seconds, seconds};
  e.audio_streams = {1, 1, 1};
  e.actions = {"select:1", "select:2", "select:3", "select:2", "titlekey"};
  e.trace =
      "menu vmgm buttons=3\ntitle 1 chapter 1\nmenu vmgm buttons=3\ntitle 2 chapter 1\nmenu vmgm "
      "buttons=3\ntitle 3 chapter 1\n"
      "menu vmgm buttons=3\ntitle 2 chapter 1\nmenu vmgm buttons=3\nend actions\n";
  ExpectAcceptedByEveryReader(dir, e);

  const std::string script = Decompiled(dir);
  EXPECT_EQ(Section(script, "fpc"), " g1 = 0; g2 = 1; g3 = 0; g4 = 3; g5 = 1; g6 = 0; jump vmgm menu 1; ");
  EXPECT_EQ(Section(script, "pre"), " ") << "without auto-next the main menu only shows itself";
  for (int t = 1; t <= 3; ++t) {
    EXPECT_NE(script.find("jump titleset " + std::to_string(t) + " menu entry root;"), std::string::npos)
        << t;
    EXPECT_NE(script.find("g5 = 1; g3 = " + std::to_string(t) + "; call vmgm menu 1 resume 1;"),
              std::string::npos)
        << t;
  }
}

TEST(BuildE2e, ThreeTitlesBehindAPalMainMenuPlayFromTheirButtons) {
  ExpectThreeTitleMenuDisc("case_b_pal", SharedClip("pal_43.mpg"), SharedClip("pal_menu.mpg"), 25.0);
}

TEST(BuildE2e, ThreeTitlesBehindAnNtscWideMainMenuPlayFromTheirButtons) {
  ExpectThreeTitleMenuDisc("case_b_ntsc", SharedClip("ntsc_169.mpg"), testing::NtscMenuClip(), 29.97);
}

TEST(BuildE2e, WithAutoNextTheTitlesAfterTheChosenOnePlayInOrderThenTheMenuReturns) {
  const fs::path clip = SharedClip("pal_43.mpg");
  CMorvixAPI api;
  for (int t = 0; t < 3; ++t) testing::AddClipTitle(api, clip);
  testing::AddTitleButtons(api, SharedClip("pal_menu.mpg"), 3);
  const fs::path dir = Author("auto_next_menu", api);
  Expected e;
  e.chapters = {1, 1, 1};
  const double seconds = InputSeconds(clip);
  e.seconds = {seconds, seconds, seconds};
  e.audio_streams = {1, 1, 1};
  e.actions = {"select:2"};
  e.trace = "menu vmgm buttons=3\ntitle 2 chapter 1\ntitle 3 chapter 1\nmenu vmgm buttons=3\nend actions\n";
  ExpectAcceptedByEveryReader(dir, e);

  const std::string script = Decompiled(dir);
  // After title a (g3 = a, g11 = a % 10, g12 = a / 10) the next title plays;
  // otherwise, and after the last one, the menu (line 12).
  EXPECT_EQ(Section(script, "pre"),
            " if (g3 != 0) { goto l5; } if (g1 == 0) { goto l12; } jump title 1; goto l12;"
            " l5: if (g5 != 1) { goto l12; } if (g2 == 0) { goto l12; } if (g12 == 0) { goto l10; } goto l12;"
            " l10: if (g11 == g2) { jump title 2; } if (g11 == g0) { jump title 3; } l12: ");
}

TEST(BuildE2e, ATitleMenuJumpsToChaptersAndBackToTheMainMenu) {
  const fs::path clip = SharedClip("pal_43.mpg");
  const std::wstring menu = platform::Utf8ToWide(SharedClip("pal_menu.mpg").string());
  CMorvixAPI api;
  testing::AddClipTitle(api, clip, {0.0f, 4.0f, 8.0f});
  testing::AddTitleButtons(api, SharedClip("pal_menu.mpg"), 1);
  api.AddTitleMenu(1, menu.c_str());
  api.AddMenuBtn(TitleMenuId(1), 100, 100, 160, 140, 2, 3, nullptr);
  api.AddMenuBtn(TitleMenuId(1), 100, 200, 160, 240, 3, 0, nullptr);
  api.SetAutoNextTitle(0);
  const fs::path dir = Author("title_menu", api);
  Expected e;
  e.chapters = {3};
  e.seconds = {InputSeconds(clip)};
  e.audio_streams = {1};
  e.actions = {"select:1", "select:1", "select:1", "select:2"};
  e.trace =
      "menu vmgm buttons=1\nmenu vtsm buttons=2\ntitle 1 chapter 3\nmenu vmgm buttons=1\nmenu vtsm "
      "buttons=2\n"
      "menu vmgm buttons=1\nend actions\n";
  ExpectAcceptedByEveryReader(dir, e);
}

TEST(BuildE2e, ChaptersOfOneTitleAreProgramsOfItsChain) {
  const fs::path clip = SharedClip("pal_43.mpg");
  CMorvixAPI api;
  testing::AddClipTitle(api, clip, {0.0f, 4.0f, 8.0f});
  const fs::path dir = Author("case_c", api);
  Expected e;
  e.chapters = {3};
  e.seconds = {InputSeconds(clip)};
  e.audio_streams = {1};
  e.trace = "title 1 chapter 1\nstop\n";
  ExpectAcceptedByEveryReader(dir, e);
}

TEST(BuildE2e, ANineChapterTitleHasAChainTimeEqualToItsCellsAndToTheInput) {
  const fs::path clip = testing::MakeClip(
      "nine_chapters.mpg", {"-f", "lavfi", "-i", "testsrc2=size=720x576:rate=25", "-f", "lavfi", "-i",
                            "sine=sample_rate=48000", "-t", "19.4", "-target", "pal-dvd", "-aspect", "4:3"});
  ASSERT_FALSE(clip.empty());
  CMorvixAPI api;
  ASSERT_EQ(testing::AddClipTitle(api, clip, {0.0f, 2.1f, 4.2f, 6.3f, 8.4f, 10.5f, 12.6f, 14.7f, 16.8f}), 1);
  const fs::path dir = Author("nine_chapters", api);
  Expected e;
  e.chapters = {9};
  e.seconds = {InputSeconds(clip)};
  e.audio_streams = {1};
  e.trace = "title 1 chapter 1\nstop\n";
  ExpectAcceptedByEveryReader(dir, e);  // libdvdread compares the chain's time with its cells'
}

TEST(BuildE2e, TitleSplitIntoPartsPlaysThroughAndTheNextTitleFollows) {
  const fs::path clip = SharedClip("pal_43.mpg");
  const fs::path silent = SharedClip("pal_noaudio.mpg");
  CMorvixAPI api;
  testing::AddClipTitle(api, clip);
  testing::AddClipTitle(api, silent);
  const fs::path dir = Author("case_d", api, 2u << 20);
  ASSERT_TRUE(fs::exists(dir / "VTS_01_3.VOB"))
      << "the test part size cuts the movie into at least three parts";
  Expected e;
  e.chapters = {1, 1};
  e.seconds = {InputSeconds(clip), InputSeconds(silent)};
  e.audio_streams = {1, 0};
  e.trace = "title 1 chapter 1\ntitle 2 chapter 1\nstop\n";
  ExpectAcceptedByEveryReader(dir, e);

  const std::string script = Decompiled(dir);
  EXPECT_EQ(Section(script, "fpc"), std::string(" g1 = 1; g2 = 1; g3 = 0; g4 = 2; g5 = 1; g6 = 0;") +
                                        kAutoNextConstants + " jump title 1; ");
  EXPECT_NE(script.find("<audio id=\"0\"/>"), std::string::npos);
  EXPECT_EQ(CountOf(script, "<audio id=\"0\"/>"), 1) << "only the title with sound has an audio stream";
  EXPECT_EQ(script.find("there should be only"), std::string::npos);
}

}  // namespace
}  // namespace morvix
