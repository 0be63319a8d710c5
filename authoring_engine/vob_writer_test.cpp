#include "vob_writer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "mpeg_format.h"
#include "mpeg_testutil.h"
#include "nav_pack.h"
#include "platform/byte_order.h"
#include "vob_testutil.h"

namespace morvix {
namespace {

using platform::GetBe16;
using platform::GetBe32;
using testing::Analysed;
using testing::FourButtons;
using testing::NewOutputDir;
using testing::ReadAll;
using testing::SharedClip;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPack = 2048;

bool IsNavPack(const std::uint8_t* p) { return p[14] == 0 && p[15] == 0 && p[16] == 1 && p[17] == 0xBB; }

Bytes Concatenate(const std::vector<std::filesystem::path>& files) {
  Bytes all;
  for (const auto& f : files) {
    Bytes b = ReadAll(f);
    all.insert(all.end(), b.begin(), b.end());
  }
  return all;
}

TEST(VobWriterMovie, NavPacksCarryTheirSectorCountedThroughAllPartsOfTheTitleSet) {
  auto movie = Analysed(SharedClip("pal_43.mpg"), false, 2u << 20);
  ASSERT_TRUE(movie);
  ASSERT_GE(movie->part_count(), 3);
  const Bytes input = ReadAll(movie->path());
  const auto dir = NewOutputDir("movie_parts");
  VobWriter writer;
  writer.set_block_bytes_for_testing(5 * kPack);  // blocks end inside VOBUs
  VobWriteRequest request;
  request.output_folder = dir;
  request.title_index = 2;
  VobWriteResult result;
  ErrorContext error;
  ASSERT_EQ(writer.WriteVob(*movie, request, error, &result), kOk);

  ASSERT_EQ(result.files.size(), static_cast<std::size_t>(movie->part_count()));
  EXPECT_EQ(result.files[0], dir / "VTS_03_1.VOB");
  EXPECT_EQ(result.files[1], dir / "VTS_03_2.VOB");
  std::uint64_t total = 0;
  for (std::size_t k = 0; k < result.files.size(); ++k) {
    EXPECT_EQ(std::filesystem::file_size(result.files[k]), result.file_bytes[k]);
    total += result.file_bytes[k];
  }
  EXPECT_EQ(total, input.size());

  const Bytes output = Concatenate(result.files);
  ASSERT_EQ(output.size(), input.size());
  std::vector<std::uint32_t> nav_sectors;
  for (std::size_t s = 0; s < output.size() / kPack; ++s) {
    const std::uint8_t* p = output.data() + s * kPack;
    if (!IsNavPack(p)) {
      ASSERT_TRUE(std::equal(p, p + kPack, input.data() + s * kPack)) << "pack " << s << " changed";
      continue;
    }
    nav_sectors.push_back(static_cast<std::uint32_t>(s));
    EXPECT_EQ(GetBe32(p + nav::kPciLbn), s);
    EXPECT_EQ(GetBe32(p + nav::kDsiLbn), s);
    // The pack header and packet headers stay as they were.
    EXPECT_TRUE(std::equal(p, p + 14, input.data() + s * kPack));
    EXPECT_TRUE(std::equal(p + 1024, p + 1030, input.data() + s * kPack + 1024));
  }
  // Every VOBU begins with one, and the analysis records where it went.
  std::vector<std::uint32_t> recorded;
  for (const Cell& cell : movie->cells()) {
    for (const Vobu& v : cell.vobus) {
      recorded.push_back(v.out_first_sector);
      EXPECT_EQ(v.out_first_sector, v.first_pack);
      EXPECT_EQ(v.out_last_sector, v.last_pack);
      const std::uint8_t* p = output.data() + v.out_first_sector * kPack;
      EXPECT_EQ(GetBe32(p + nav::kVobuEa), v.out_last_sector - v.out_first_sector);
      EXPECT_EQ(GetBe16(p + nav::kVobuVobIdn), cell.part + 1);
      EXPECT_EQ(p[nav::kVobuCIdn], cell.cell_number + 1);
      EXPECT_EQ(GetBe32(p + nav::kVobuSPtm), v.start_ptm());
    }
  }
  EXPECT_EQ(recorded, nav_sectors);

  // The first nav pack of part 2 continues the count of part 1.
  const Bytes part2 = ReadAll(result.files[1]);
  ASSERT_GE(part2.size(), kPack);
  EXPECT_EQ(GetBe32(part2.data() + nav::kPciLbn), result.file_bytes[0] / kPack);
  EXPECT_EQ(GetBe16(part2.data() + nav::kVobuVobIdn), 2);
}

TEST(VobWriterMovie, SearchInformationPointsAtTheNextNavPackOfTheCell) {
  auto movie = Analysed(SharedClip("pal_43.mpg"), false);
  ASSERT_TRUE(movie);
  const auto dir = NewOutputDir("movie_sri");
  VobWriteRequest request;
  request.output_folder = dir;
  request.title_index = 0;
  ErrorContext error;
  ASSERT_EQ(VobWriter().WriteVob(*movie, request, error), kOk);
  const Bytes out = ReadAll(dir / "VTS_01_1.VOB");
  for (const Cell& cell : movie->cells()) {
    for (std::size_t i = 0; i < cell.vobus.size(); ++i) {
      const std::uint8_t* p = out.data() + cell.vobus[i].out_first_sector * kPack;
      const std::uint32_t next = GetBe32(p + nav::kVobuSri + 4 * nav::kSriNextVobu);
      const std::uint32_t prev_video = GetBe32(p + nav::kVobuSri + 4 * (nav::kSriWords - 1));
      EXPECT_EQ(prev_video, 0xBFFFFFFFu);
      EXPECT_EQ(p[nav::kDsiSubstream], 0x01);
      if (i + 1 == cell.vobus.size()) {
        EXPECT_EQ(next, 0x3FFFFFFFu);
        EXPECT_EQ(GetBe32(p + nav::kVobuSeEPtm), static_cast<std::uint32_t>(cell.end_ticks));
        // The last VOBU ends with its own pictures, which is where the cell ends.
        EXPECT_EQ(GetBe32(p + nav::kVobuEPtm), cell.vobus[i].end_ptm());
        EXPECT_EQ(cell.vobus[i].end_ticks, cell.end_ticks);
        continue;
      }
      const std::uint32_t distance = next & 0x3FFFFFFF;
      EXPECT_EQ(distance, cell.vobus[i + 1].out_first_sector - cell.vobus[i].out_first_sector);
      EXPECT_TRUE(IsNavPack(out.data() + (cell.vobus[i].out_first_sector + distance) * kPack));
      EXPECT_EQ(GetBe32(p + nav::kVobuEPtm), cell.vobus[i + 1].start_ptm());
      EXPECT_EQ(GetBe32(p + nav::kVobuSeEPtm), 0u);
      // No highlight in a movie.
      EXPECT_TRUE(
          std::all_of(p + nav::kHli, p + nav::kHli + nav::kHliSize, [](std::uint8_t b) { return b == 0; }));
    }
  }
}

struct MenuRun {
  std::unique_ptr<MpegFile> file;
  std::vector<Vobu> before;  // the analysis before the write
  VobWriteResult result;
  Status status = kOk;
  Bytes output;
  std::vector<std::wstring> warnings;
  ErrorContext error;
};

MenuRun WriteMenu(const std::string& name, std::vector<MenuButton> buttons, int title_index = -1) {
  MenuRun run;
  run.file = Analysed(SharedClip("pal_menu.mpg"), true);
  if (!run.file) return run;
  for (const Cell& c : run.file->cells()) run.before.insert(run.before.end(), c.vobus.begin(), c.vobus.end());
  VobWriteRequest request;
  request.output_folder = NewOutputDir(name);
  request.menu = true;
  request.title_index = title_index;
  request.buttons = std::move(buttons);
  request.warning = [&run](const std::wstring& text) { run.warnings.push_back(text); };
  run.status = VobWriter().WriteVob(*run.file, request, run.error, &run.result);
  if (run.status == kOk) run.output = ReadAll(run.result.files.at(0));
  return run;
}

TEST(VobWriterMenu, SubpicturePacksFollowTheFirstNavPackAndTheAnalysisMovesUp) {
  MenuRun run = WriteMenu("menu_layout", FourButtons());
  ASSERT_TRUE(run.file);
  ASSERT_EQ(run.status, kOk);
  ASSERT_EQ(run.result.files.size(), 1u);
  EXPECT_EQ(run.result.files[0].filename(), "VIDEO_TS.VOB");
  const int t = run.result.inserted_packs;
  ASSERT_GE(t, 1);
  const Bytes input = ReadAll(run.file->path());
  EXPECT_EQ(run.output.size(), input.size() + static_cast<std::size_t>(t) * kPack);
  EXPECT_EQ(run.file->length(), run.output.size());
  EXPECT_TRUE(run.warnings.empty());

  const Vobu& first_before = run.before.front();
  const std::size_t spu_at = static_cast<std::size_t>(first_before.first_pack + 1);
  for (int k = 0; k < t; ++k) {
    const std::uint8_t* p = run.output.data() + (spu_at + static_cast<std::size_t>(k)) * kPack;
    EXPECT_EQ(p[17], 0xBD);
    EXPECT_EQ(p[13], 0xF8) << "no stuffing in the pack header";
    EXPECT_EQ(p[23 + p[22]], 0x20);
  }
  // The sub-picture's PTS is the first VOBU's start, as is the highlight's.
  const std::uint8_t* first_spu = run.output.data() + spu_at * kPack;
  const std::int64_t pts = (static_cast<std::int64_t>(first_spu[23] & 0x0E) << 29) | (first_spu[24] << 22) |
                           ((first_spu[25] & 0xFE) << 14) | (first_spu[26] << 7) | (first_spu[27] >> 1);
  EXPECT_EQ(pts, first_before.start_ticks);
  EXPECT_GT(pts, 33990);

  std::vector<Vobu> after;
  for (const Cell& c : run.file->cells()) after.insert(after.end(), c.vobus.begin(), c.vobus.end());
  ASSERT_EQ(after.size(), run.before.size());
  EXPECT_EQ(after[0].first_pack, 0);
  EXPECT_EQ(after[0].last_pack, run.before[0].last_pack + t);
  EXPECT_EQ(after[0].first_video_pack, run.before[0].first_video_pack + t);
  for (std::size_t i = 0; i < after.size(); ++i) {
    EXPECT_EQ(after[i].first_pack, run.before[i].first_pack + (i == 0 ? 0 : t));
    EXPECT_EQ(after[i].last_video_pack, run.before[i].last_video_pack + t);
    EXPECT_EQ(after[i].out_first_sector, after[i].first_pack);
    EXPECT_EQ(after[i].out_last_sector, after[i].last_pack);
    const std::uint8_t* p = run.output.data() + after[i].first_pack * kPack;
    ASSERT_TRUE(IsNavPack(p));
    EXPECT_EQ(GetBe32(p + nav::kPciLbn), after[i].first_pack);
    EXPECT_EQ(GetBe32(p + nav::kVobuEa), after[i].last_pack - after[i].first_pack);
    // Highlight: four buttons, shown from the VOBU's start.
    const std::uint8_t* hli = p + nav::kHli;
    EXPECT_EQ(GetBe16(hli), i == 0 ? 1 : 2);
    EXPECT_EQ(GetBe32(hli + 2), after[i].start_ptm());
    EXPECT_EQ(hli[17], 4);
    EXPECT_EQ(GetBe32(hli + 22), 0x4580FFF0u);
    EXPECT_EQ(GetBe32(hli + 26), 0x4590FFF0u);
  }
  EXPECT_EQ(GetBe32(run.output.data() + nav::kHli + 2), static_cast<std::uint32_t>(pts));

  // The engine's own analyser reads the written menu back.
  MpegFile reread(run.result.files[0]);
  AnalysisRequest request;
  request.menu = true;
  ErrorContext error;
  EXPECT_EQ(reread.Analyse(request, error), kOk);
  EXPECT_EQ(reread.vobu_count(), static_cast<int>(after.size()));
}

TEST(VobWriterMenu, ClockReferenceNeverGoesDownAnywhereInTheMenuVob) {
  MenuRun run = WriteMenu("menu_scr", FourButtons(), 0);
  ASSERT_TRUE(run.file);
  ASSERT_EQ(run.status, kOk);
  EXPECT_EQ(run.result.files[0].filename(), "VTS_01_0.VOB");
  std::uint64_t previous = 0;
  for (std::size_t s = 0; s < run.output.size() / kPack; ++s) {
    const std::uint8_t* p = run.output.data() + s * kPack;
    ASSERT_EQ(p[3], 0xBA);
    const std::uint64_t scr = ReadScr(p);
    if (s > 0) {
      EXPECT_GT(scr, previous) << "pack " << s;
    }
    previous = scr;
    if (IsNavPack(p)) {
      EXPECT_EQ(GetBe32(p + nav::kDsiScr), static_cast<std::uint32_t>(scr / 300));
    }
  }
}

TEST(VobWriterMenu, MaskColoursOutsideTheFourAreReportedAndDrawnAsBackground) {
  auto buttons = FourButtons();
  buttons[3].mask_file = testing::MakeClip(
      "green_mask.bmp",
      {"-f", "lavfi", "-i", "color=c=0x00FE00:s=16x8,format=bgr24", "-frames:v", "1", "-pix_fmt", "bgr24"});
  ASSERT_FALSE(buttons[3].mask_file.empty());
  MenuRun run = WriteMenu("menu_green", buttons);
  ASSERT_TRUE(run.file);
  ASSERT_EQ(run.status, kOk);
  ASSERT_EQ(run.warnings.size(), 1u);
  EXPECT_EQ(run.warnings[0],
            L"Invalid color: [0000FE00] at [0,0], in file\n" + buttons[3].mask_file.wstring() + L"\n");
}

TEST(VobWriterMenu, MenuWithoutButtonsGetsNoSubpictureAndAnEmptyHighlight) {
  MenuRun run = WriteMenu("menu_plain", {});
  ASSERT_TRUE(run.file);
  ASSERT_EQ(run.status, kOk);
  EXPECT_EQ(run.result.inserted_packs, 0);
  EXPECT_EQ(run.output.size(), ReadAll(run.file->path()).size());
  EXPECT_TRUE(std::all_of(run.output.begin() + nav::kHli, run.output.begin() + nav::kHli + nav::kHliSize,
                          [](std::uint8_t b) { return b == 0; }));
}

TEST(VobWriterErrors, RefusalsNameTheFileAndStopsReturnOne) {
  const auto clip = SharedClip("pal_43.mpg");
  ASSERT_FALSE(clip.empty());
  const auto dir = NewOutputDir("errors");
  VobWriteRequest request;
  request.output_folder = dir;
  request.title_index = 0;
  ErrorContext error;

  MpegFile unanalysed(clip);
  EXPECT_EQ(VobWriter().WriteVob(unanalysed, request, error), kErrMpegFormat2);
  EXPECT_EQ(error.file, clip.wstring());

  auto movie = Analysed(clip, false);
  ASSERT_TRUE(movie);
  VobWriteRequest no_title = request;
  no_title.title_index = -1;
  EXPECT_EQ(VobWriter().WriteVob(*movie, no_title, error), kErrInvalidTitleNumber);
  no_title.title_index = 99;
  EXPECT_EQ(VobWriter().WriteVob(*movie, no_title, error), kErrInvalidTitleNumber);

  VobWriteRequest stop = request;
  stop.progress = [](int step, double percent) { return step == 6 && percent == 0.0 ? 1 : 0; };
  EXPECT_EQ(VobWriter().WriteVob(*movie, stop, error), kStopped);
  EXPECT_TRUE(std::filesystem::is_empty(dir));

  VobWriteRequest missing_dir = request;
  missing_dir.output_folder = dir / "absent";
  error = {};
  EXPECT_EQ(VobWriter().WriteVob(*movie, missing_dir, error), kErrOpenForWrite);
  EXPECT_EQ(error.file, (dir / "absent" / "VTS_01_1.VOB").wstring());

  // A later stop leaves what was written and still returns 1.
  int reports = 0;
  VobWriteRequest late_stop = request;
  late_stop.progress = [&reports](int, double percent) { return ++reports > 1 && percent > 0.0 ? 1 : 0; };
  EXPECT_EQ(VobWriter().WriteVob(*movie, late_stop, error), kStopped);
  EXPECT_TRUE(std::filesystem::exists(dir / "VTS_01_1.VOB"));
}

TEST(VobWriterErrors, InputWithoutTheSystemHeaderEntriesIsRefused) {
  Bytes clip = ReadAll(SharedClip("pal_menu.mpg"));
  ASSERT_GT(clip.size(), kPack);
  ASSERT_EQ(clip[32], 0xBD);
  clip[32] = 0xC1;  // the private stream 1 entry becomes an audio entry
  const auto path = testing::ScratchDir() / "no_private1.mpg";
  testing::WriteAll(path, clip);
  MpegFile file(path);
  AnalysisRequest analysis;
  analysis.menu = true;
  ErrorContext error;
  const Status analysed = file.Analyse(analysis, error);
  if (analysed != kOk) {
    EXPECT_EQ(analysed, kErrMpegFormat);  // refused early by the analysis
    return;
  }
  VobWriteRequest request;
  request.output_folder = NewOutputDir("no_private1");
  request.menu = true;
  request.buttons = FourButtons();
  EXPECT_EQ(VobWriter().WriteVob(file, request, error), kErrMpegFormat);
  EXPECT_EQ(error.file, path.wstring());
}

TEST(VobWriterErrors, InputThatChangedAfterTheAnalysisIsRefused) {
  const auto path = testing::ScratchDir() / "shrinking.mpg";
  std::filesystem::copy_file(SharedClip("pal_43.mpg"), path,
                             std::filesystem::copy_options::overwrite_existing);
  auto movie = Analysed(path, false);
  ASSERT_TRUE(movie);
  VobWriteRequest request;
  request.output_folder = NewOutputDir("shrinking");
  request.title_index = 0;
  ErrorContext error;
  std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
  EXPECT_EQ(VobWriter().WriteVob(*movie, request, error), kErrReadFile);
  EXPECT_EQ(error.file, path.wstring());
  std::filesystem::remove(path);
  error = {};
  EXPECT_EQ(VobWriter().WriteVob(*movie, request, error), kErrOpenFile);
  EXPECT_EQ(error.file, path.wstring());
}

TEST(VobWriterErrors, AWriteThatFailsPartWayIsAWriteErrorNamingTheOutput) {
  // The bulk of each VOBU moves file to file: a failure there (here a file
  // size limit reached inside a VOBU) must still come back as an error.
  auto movie = Analysed(SharedClip("pal_43.mpg"), false);
  ASSERT_TRUE(movie);
  VobWriteRequest request;
  request.output_folder = NewOutputDir("size_limit");
  request.title_index = 0;
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit = {300000, 300000};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(10);
    ErrorContext error;
    if (VobWriter().WriteVob(*movie, request, error) != kErrWriteFile) ::_exit(11);
    if (error.file != VobFileName(request.output_folder, false, 0, 0).wstring()) ::_exit(12);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(VobWriterErrors, HighlightFailuresKeepTheirMeaning) {
  auto missing_mask = FourButtons();
  missing_mask[3].mask_file = testing::ScratchDir() / "no_such_mask.bmp";
  MenuRun missing = WriteMenu("menu_missing_mask", missing_mask);
  ASSERT_TRUE(missing.file);
  EXPECT_EQ(missing.status, kErrInternalUnknownCommand);
  EXPECT_EQ(missing.error.file, missing_mask[3].mask_file.wstring());

  // A noisy full-size highlight cannot fit one sub-picture unit.
  const auto noise = testing::MakeClip(
      "noise_mask.bmp",
      {"-f", "lavfi", "-i",
       "nullsrc=s=598x398,geq=r='255*mod(X+Y,2)':g='255*mod(X+Y,2)':b='255*mod(X+Y,2)',format=bgr24",
       "-frames:v", "1", "-pix_fmt", "bgr24"});
  ASSERT_FALSE(noise.empty());
  MenuButton big;
  big.kind = MenuButtonKind::kMask;
  big.left = 40;
  big.top = 40;
  big.right = 40 + 598;
  big.bottom = 40 + 398;
  big.mask_file = noise;
  MenuRun too_large = WriteMenu("menu_too_large", {big});
  ASSERT_TRUE(too_large.file);
  EXPECT_EQ(too_large.status, kErrSubpictureTooLarge);
  EXPECT_EQ(too_large.error.file, too_large.file->path().wstring());
}

}  // namespace
}  // namespace morvix
