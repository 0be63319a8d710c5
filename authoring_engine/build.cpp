#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <vector>

#include "build_pipeline.h"

#include "analysis_ahead.h"
#include "ifo_writer.h"
#include "mpeg_analysis.h"
#include "mpeg_format.h"
#include "platform/fileio.h"
#include "platform/text.h"
#include "vob_menu_request.h"
#include "vob_writer.h"

namespace morvix {
namespace {

namespace fs = std::filesystem;

constexpr double kFirstChapterTolerance = 0.001;
constexpr int kNtscLastLine = 479;
constexpr std::size_t kProbePacks = 1024;  // how far the TV system of title 1 is looked for

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

// The menu of title n (0 = the main menu).
const MenuSetting* MenuOf(const SettingData& s, int n) {
  if (n == 0) return &s.main_menu;
  const TitleSetting* title = s.Title(n);
  return title != nullptr ? &title->menu() : nullptr;
}

Status Validate(const SettingData& s, ErrorContext& error) {
  error.title = 0;
  const fs::path folder = platform::WideToPath(s.output_folder);
  std::error_code ec;
  if (s.output_folder.empty() || !fs::is_directory(folder, ec))
    return error.Fail(kErrOutputDir, s.output_folder);
  if (s.title_count < 1) return kErrNoTitle;
  for (int n = 0; n <= s.title_count; ++n) {
    const TitleSetting* title = n > 0 ? s.Title(n) : nullptr;
    if (n > 0 && title == nullptr) return kErrInternalNoTitleRecord;
    error.title = n;
    const MenuSetting& menu = *MenuOf(s, n);
    if (menu.IsSet()) {
      if (menu.button_count < 1) return kErrNoButton;
      if (!Exists(platform::WideToPath(menu.video_file))) return kErrMenuVideoMissing;
    }
    if (n == 0) continue;
    if (!Exists(platform::WideToPath(title->movie_file))) return kErrTitleVideoMissing;
    const int chapters = std::clamp(title->chapter_count, 1, kMaxChapters);
    if (std::fabs(title->chapter_starts[0]) > kFirstChapterTolerance) return kErrFirstChapterNotZero;
    for (int c = 1; c < chapters; ++c) {
      if (!(title->chapter_starts[c] - title->chapter_starts[c - 1] >= kMinChapterLength)) {
        return kErrChapterTooShort;
      }
    }
  }
  error.title = 0;
  return kOk;
}

// Every button must lead somewhere a player can go: a title jump (main menu
// only) to an existing title, a chapter jump (title menus only) to an
// existing chapter of that title, a main-menu jump only when there is one.
Status CheckButtonTargets(const SettingData& s, ErrorContext& error) {
  for (int n = 0; n <= s.title_count; ++n) {
    const MenuSetting* menu = MenuOf(s, n);
    if (menu == nullptr || !menu->IsSet()) continue;
    const int count = std::clamp(menu->button_count, 0, kMaxButtons);
    for (int b = 0; b < count; ++b) {
      const ButtonSetting& button = menu->buttons[static_cast<std::size_t>(b)];
      bool ok = true;
      switch (button.command) {
        case kBtnCmdTitle:
          ok = n == 0 && button.value >= 1 && button.value <= static_cast<std::uint32_t>(s.title_count);
          break;
        case kBtnCmdChapter:
          ok = n > 0 && button.value >= 1 &&
               button.value <= static_cast<std::uint32_t>(std::max(1, s.Title(n)->chapter_count));
          break;
        case kBtnCmdMainMenu:
          ok = s.HasMainMenu();
          break;
        default:
          break;
      }
      if (!ok) {
        error.title = n;
        return kErrInvalidButtonCommand;
      }
    }
  }
  return kOk;
}

std::vector<fs::path> InputFiles(const SettingData& s) {
  std::vector<fs::path> inputs;
  for (int n = 0; n <= s.title_count; ++n) {
    const MenuSetting* menu = MenuOf(s, n);
    if (menu != nullptr && menu->IsSet()) {
      inputs.push_back(platform::WideToPath(menu->video_file));
      for (int b = 0; b < std::clamp(menu->button_count, 0, kMaxButtons); ++b) {
        const ButtonSetting& button = menu->buttons[static_cast<std::size_t>(b)];
        if (button.kind == ButtonKind::kMask) inputs.push_back(platform::WideToPath(button.mask_file));
      }
    }
    if (n > 0) inputs.push_back(platform::WideToPath(s.Title(n)->movie_file));
  }
  return inputs;
}

// Deletes the DVD-Video files of the output folder; nothing else there is
// touched. When one of them is an input (by name, or reached through a link)
// the build stops before anything is deleted. The old set goes whole or not
// at all: its files are first moved into a hidden folder beside them, and
// when one cannot be moved (so could not be deleted either) the ones moved go
// back and the build stops naming it.
Status CleanOutputFolder(const SettingData& s, ErrorContext& error) {
  const fs::path folder = platform::WideToPath(s.output_folder);
  std::error_code ec;
  std::vector<fs::path> doomed;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code type_ec;
    if (it->is_directory(type_ec)) continue;
    if (IsDvdVideoFileName(platform::PathToUtf8(it->path().filename()))) doomed.push_back(it->path());
  }
  if (ec) return error.Fail(kErrDeleteFile, platform::PathToWide(folder));
  for (const fs::path& input : InputFiles(s)) {
    for (const fs::path& file : doomed) {
      std::error_code same_ec;
      if (fs::equivalent(input, file, same_ec))
        return error.Fail(kErrDeleteFile, platform::PathToWide(input));
    }
  }
  if (doomed.empty()) return kOk;

  std::string aside_name = platform::PathToUtf8(folder / ".old-video-ts.XXXXXX");
  if (::mkdtemp(aside_name.data()) == nullptr)
    return error.Fail(kErrDeleteFile, platform::PathToWide(doomed[0]));
  const fs::path aside = platform::Utf8ToPath(aside_name);
  std::size_t moved = 0;
  for (; moved < doomed.size(); ++moved) {
    const fs::path& file = doomed[moved];
    if (std::rename(file.c_str(), (aside / file.filename()).c_str()) != 0) break;
  }
  if (moved < doomed.size()) {
    for (std::size_t k = 0; k < moved; ++k)
      std::rename((aside / doomed[k].filename()).c_str(), doomed[k].c_str());
    ::rmdir(aside.c_str());
    return error.Fail(kErrDeleteFile, platform::PathToWide(doomed[moved]));
  }
  for (const fs::path& file : doomed) {
    if (::unlink((aside / file.filename()).c_str()) != 0)
      return error.Fail(kErrDeleteFile, platform::PathToWide(file));
  }
  ::rmdir(aside.c_str());
  return kOk;
}

// The TV system (1 NTSC, 2 PAL) of the first sequence header within the
// first packs of path; 0 when none is found there.
int ProbeTvSystem(const fs::path& path) {
  platform::FileError ferr;
  platform::File in = platform::File::Open(path, platform::File::Mode::kRead, &ferr);
  // Only a regular file is read: a FIFO could hold the build for ever (the
  // analysis refuses it).
  struct stat st {};
  if (!in.is_open() || ::fstat(in.fd(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  std::vector<std::uint8_t> pack(mpeg::kPackSize);
  for (std::size_t k = 0; k < kProbePacks; ++k) {
    if (in.ReadFully(pack.data(), pack.size(), &ferr) != pack.size()) return 0;
    if (pack[14] != 0 || pack[15] != 0 || pack[16] != 1 || pack[17] != mpeg::kVideoStream) continue;
    const std::size_t payload = 23u + pack[22];
    if (payload + 7 > pack.size()) continue;
    const std::uint8_t* p = pack.data() + payload;
    if (p[0] != 0 || p[1] != 0 || p[2] != 1 || p[3] != mpeg::kSequenceHeaderCode) continue;
    const int height = (p[5] & 0x0F) << 8 | p[6];
    if (height == 480 || height == 240) return 1;
    if (height == 576 || height == 288) return 2;
    return 0;
  }
  return 0;
}

// Buttons that reach below the last line of an NTSC picture.
bool ButtonsFitNtsc(const MenuSetting& menu) {
  for (int b = 0; b < std::clamp(menu.button_count, 0, kMaxButtons); ++b) {
    const ButtonSetting& button = menu.buttons[static_cast<std::size_t>(b)];
    const int last_line = button.kind == ButtonKind::kMask ? button.bottom - 1 : button.bottom;
    if (last_line > kNtscLastLine) return false;
  }
  return true;
}

class Pipeline {
 public:
  Pipeline(const SettingData& s, ProgressCallback callback, const BuildOptions& options, ErrorContext& error)
      : s_(s), callback_(callback), options_(options), error_(error) {
    step_progress_ = [this](int step, double percent) { return Report(step, percent); };
  }

  Status Run() {
    const int n = s_.title_count;
    const fs::path folder = platform::WideToPath(s_.output_folder);
    DiscNavigation disc;
    disc.title_count = n;
    disc.has_main_menu = s_.HasMainMenu();
    disc.auto_next = s_.auto_next_title != 0;
    // The main menu is written before any title is analysed: title 1's
    // system, read from its first sequence header, is the disc's.
    reference_system_ = ProbeTvSystem(platform::WideToPath(s_.Title(1)->movie_file));

    // The movies are analysed on a worker, ahead of the writing (results
    // are taken in order below).
    std::vector<std::unique_ptr<MpegFile>> movies(static_cast<std::size_t>(n));
    std::vector<AnalysisAhead::Job> jobs;
    for (int a = 0; a < n; ++a) {
      const TitleSetting& title = *s_.Title(a + 1);
      auto& movie = movies[static_cast<std::size_t>(a)];
      movie = std::make_unique<MpegFile>(platform::WideToPath(title.movie_file));
      if (options_.part_bytes > 0) movie->set_part_bytes_for_testing(options_.part_bytes);
      AnalysisAhead::Job job;
      job.file = movie.get();
      job.request.chapter_count = std::clamp(title.chapter_count, 1, kMaxChapters);
      for (int c = 0; c < job.request.chapter_count; ++c) {
        job.request.chapter_starts.push_back(c == 0 ? 0.0
                                                    : title.chapter_starts[static_cast<std::size_t>(c)]);
      }
      jobs.push_back(std::move(job));
    }
    AnalysisAhead ahead(std::move(jobs));

    std::unique_ptr<MpegFile> main_menu;
    std::uint64_t main_menu_bytes = 0;
    title_ = 0;
    if (disc.has_main_menu) {
      main_menu = std::make_unique<MpegFile>(platform::WideToPath(s_.main_menu.video_file));
      if (Status st = AnalyseMenu(*main_menu, s_.main_menu, 0, true); st != kOk) return st;
      if (Status st = WriteVob(*main_menu, &s_.main_menu, -1, main_menu_bytes); st != kOk) return st;
    }

    std::vector<std::unique_ptr<MpegFile>> menus(static_cast<std::size_t>(n));
    std::vector<std::uint64_t> menu_bytes(static_cast<std::size_t>(n), 0);
    std::vector<std::uint64_t> movie_bytes(static_cast<std::size_t>(n), 0);
    for (int a = 0; a < n; ++a) {
      title_ = a;
      const TitleSetting& title = *s_.Title(a + 1);
      const auto i = static_cast<std::size_t>(a);
      if (title.menu().IsSet()) {
        menus[i] = std::make_unique<MpegFile>(platform::WideToPath(title.menu().video_file));
        if (Status st = AnalyseMenu(*menus[i], title.menu(), a + 1, false); st != kOk) return st;
        if (Status st = WriteVob(*menus[i], &title.menu(), a, menu_bytes[i]); st != kOk) return st;
      }
      error_.title = a + 1;
      if (Status st = ahead.Take(i, step_progress_, error_); st != kOk) return st;
      if (Status st = CheckSystem(*movies[i]); st != kOk) return st;
      if (Status st = WriteVob(*movies[i], nullptr, a, movie_bytes[i]); st != kOk) return st;
    }

    // Playback times count frames of the disc's one TV system.
    disc.tv_system = reference_system_ != 0 ? reference_system_ : 1;
    std::vector<TitleSetInfoWriter> sets(static_cast<std::size_t>(n));
    for (int a = 0; a < n; ++a) {
      title_ = a;
      const auto i = static_cast<std::size_t>(a);
      TitleSetInfo info;
      info.output_folder = folder;
      info.title_index = a;
      info.menu = menus[i].get();
      info.menu_vob_bytes = menu_bytes[i];
      info.menu_palette = &s_.Title(a + 1)->menu().palette;
      info.movie = movies[i].get();
      info.movie_vob_bytes = movie_bytes[i];
      info.disc = disc;
      info.progress = step_progress_;
      error_.title = a + 1;
      if (Status st = sets[i].Write(info, error_); st != kOk) return st;
    }

    title_ = 0;
    ManagerInfo info;
    info.output_folder = folder;
    info.menu = main_menu.get();
    info.menu_vob_bytes = main_menu_bytes;
    info.menu_palette = &s_.main_menu.palette;
    info.disc = disc;
    info.title_sets = &sets;
    info.progress = step_progress_;
    error_.title = 0;
    ManagerInfoWriter manager;
    const Status st = manager.Write(info, error_);
    if (st != kOk && !manager.ifo().empty()) {
      // Stopped after the manager files were written: a set whose build did
      // not end must not look complete.
      std::error_code ec;
      fs::remove(folder / "VIDEO_TS.IFO", ec);
      fs::remove(folder / "VIDEO_TS.BUP", ec);
    }
    return st;
  }

 private:
  int Report(int step, double percent) {
    if (callback_ == nullptr) return 0;
    const std::wstring text = StepText(step, title_);
    return callback_(OverallPercent(step, percent, title_, s_.title_count), percent, text.c_str());
  }

  // Checks that an analysed file's TV system matches title 1's.
  Status CheckSystem(const MpegFile& file) {
    const int system = file.video().tv_system;
    if (reference_system_ == 0) reference_system_ = system;
    if (system != reference_system_) return error_.Fail(kErrFpsMismatch, platform::PathToWide(file.path()));
    return kOk;
  }

  Status AnalyseMenu(MpegFile& file, const MenuSetting& menu, int title_number, bool main) {
    AnalysisRequest request;
    request.menu = true;
    request.main_menu = main;
    request.progress = step_progress_;
    error_.title = title_number;
    if (Status st = file.Analyse(request, error_); st != kOk) return st;
    if (Status st = CheckSystem(file); st != kOk) return st;
    if (file.video().tv_system == 1 && !ButtonsFitNtsc(menu)) return kErrInvalidButtonPosition;
    return kOk;
  }

  // Writes file's VOBs; bytes receives the size of all files written.
  Status WriteVob(MpegFile& file, const MenuSetting* menu, int title_index, std::uint64_t& bytes) {
    VobWriteRequest request;
    request.output_folder = platform::WideToPath(s_.output_folder);
    request.title_index = title_index;
    if (menu != nullptr) SetMenuRequest(*menu, request);
    request.progress = step_progress_;
    VobWriteResult result;
    if (Status st = VobWriter().WriteVob(file, request, error_, &result); st != kOk) return st;
    bytes = 0;
    for (std::uint64_t b : result.file_bytes) bytes += b;
    return kOk;
  }

  const SettingData& s_;
  ProgressCallback callback_;
  const BuildOptions& options_;
  ErrorContext& error_;
  StepProgress step_progress_;
  int title_ = 0;
  int reference_system_ = 0;
};

}  // namespace

double OverallPercent(int step, double x, int a, int n) {
  const double h = x / 100.0;
  const double titles = std::max(1, n);
  double m = 100, t = 0, i = 0, v = 0;
  switch (step) {
    case 1:
      m = 0.3 * x;
      break;
    case 2:
      m = 30 + 0.7 * x;
      break;
    case 3:
      t = (100 * a + 3 * h) / titles;
      break;
    case 4:
      t = (100 * a + 3 + 7 * h) / titles;
      break;
    case 5:
      t = (100 * a + 10 + 27 * h) / titles;
      break;
    case 6:
      t = (100 * a + 37 + 63 * h) / titles;
      break;
    case 7:
      t = 100;
      i = x;
      break;
    case 8:
      t = 100;
      i = 100;
      v = x;
      break;
    default:
      t = 100;
      i = 100;
      v = 100;
      break;
  }
  return (5 * m + 90 * t + 4 * i + v) / 100;
}

std::wstring StepText(int step, int title) {
  static const wchar_t* const kTexts[] = {L"Analyzing main menu video file...",
                                          L"Creating main menu video file...",
                                          L"Analyzing menu video file of title %d...",
                                          L"Creating menu video file of title %d...",
                                          L"Analyzing movie video file of title %d...",
                                          L"Creating movie video file of title %d...",
                                          L"Creating info file of title %d...",
                                          L"Creating info file of main menu",
                                          L"Complete"};
  if (step < 1 || step > 9) return L"";
  wchar_t text[96];
  std::swprintf(text, sizeof text / sizeof text[0], kTexts[step - 1], title + 1);
  return text;
}

bool IsDvdVideoFileName(const std::string& name) {
  const std::string upper = platform::AsciiUpper(name);
  if (upper.size() != 12 || upper[8] != '.') return false;
  const std::string ext = upper.substr(9);
  if (ext != "IFO" && ext != "BUP" && ext != "VOB") return false;
  if (upper.compare(0, 8, "VIDEO_TS") == 0) return true;
  const auto digit = [&](std::size_t k) { return std::isdigit(static_cast<unsigned char>(upper[k])) != 0; };
  return upper.compare(0, 4, "VTS_") == 0 && digit(4) && digit(5) && upper[6] == '_' && digit(7);
}

Status BuildVideoTs(const SettingData& settings, ProgressCallback progress, const BuildOptions& options,
                    ErrorContext& error) noexcept {
  try {
    error.file.clear();
    error.title = 0;
    if (Status st = Validate(settings, error); st != kOk) return st;
    if (Status st = CheckButtonTargets(settings, error); st != kOk) return st;
    // The output folder is this build's until it returns: a second build
    // into it, from this process or another, is refused at once.
    const fs::path folder = platform::WideToPath(settings.output_folder);
    platform::FileError lock_error;
    const std::optional<platform::FolderLock> lock = platform::FolderLock::TryLock(folder, &lock_error);
    if (!lock) return error.Fail(kErrOpenFile, settings.output_folder);
    if (Status st = CleanOutputFolder(settings, error); st != kOk) return st;
    return Pipeline(settings, progress, options, error).Run();
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  } catch (...) {
    return kErrInternalUnexpected;
  }
}

Status CMorvixAPI::Build(ProgressCallback progress) noexcept {
  if (!settings_) return kErrNoSettings;
  // The build reads only its own copy: a progress handler may change or
  // clear this object's settings while the build runs.
  std::unique_ptr<SettingData> own;
  try {
    own = std::make_unique<SettingData>(*settings_);
  } catch (...) {
    return kErrOutOfMemory;
  }
  return BuildVideoTs(*own, progress, BuildOptions{}, error_);
}

}  // namespace morvix
