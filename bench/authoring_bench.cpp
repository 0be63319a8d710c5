// authoring_bench: authors the same three titles with dvdauthor and with
// Morvix, and copies the same input bytes with cp, alternating the three in
// each round in an order that moves on by one every round (every run ends
// with sync), then prints wall times, the ratios to
// cp and each one's peak memory.
//
//   authoring_bench [--dir DIR] [--mb TOTAL] [--rounds N] [--keep]
//
// DIR (default /var/tmp) holds the inputs and outputs; put it on a tmpfs such
// as /dev/shm to measure with the files in memory. TOTAL is the size of the
// three inputs together in MiB (default 2100), made from one generated clip
// with ffmpeg -stream_loop ... -c copy.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "morvix/morvix_api.h"
#include "platform/process.h"
#include "platform/text.h"
#include "round_order.h"

namespace {

namespace fs = std::filesystem;

struct Run {
  double seconds = 0;
  double user = 0;
  double system = 0;
  double sync_seconds = 0;  // of seconds, the closing sync
  long peak_kib = 0;
  int status = -1;
};

// Runs argv (no shell; argv[0] looked up in $PATH) and measures it, the sync
// after it included. Its output is kept and shown only when asked for.
Run Spawn(std::vector<std::string> argv, bool quiet = true) {
  Run run;
  argv[0] = platform::FindProgram(argv[0]).native();
  const auto start = std::chrono::steady_clock::now();
  const platform::ChildResult child = platform::RunChild(argv, std::chrono::hours(4));
  if (!child.started) {
    std::fprintf(stderr, "%s\n", child.start_error.c_str());
    return run;
  }
  if (!quiet) std::fprintf(stderr, "%s%s", child.out.c_str(), child.err.c_str());
  run.status = child.exit_code;
  const auto exited = std::chrono::steady_clock::now();
  ::sync();
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.sync_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - exited).count();
  run.user = child.usage.user_seconds;
  run.system = child.usage.system_seconds;
  run.peak_kib = child.usage.peak_kib;
  return run;
}

// Builds a VIDEO_TS folder in out from the movies (one title each).
int BuildWithMorvix(const fs::path& out, const std::vector<fs::path>& movies) {
  morvix::CMorvixAPI api;
  for (const fs::path& movie : movies) {
    const std::wstring name = platform::Utf8ToWide(movie.string());
    if (api.AddTitle(name.c_str(), 1, nullptr) < 0) return 3;
  }
  const std::wstring folder = platform::Utf8ToWide(out.string());
  if (api.SetOutputDir(folder.c_str()) != 0) return 4;
  const morvix::Status status = api.Build(nullptr);
  if (status != 0) {
    wchar_t text[512];
    api.GetErrText(status, text, 512);
    std::fprintf(stderr, "%s\n", platform::WideToUtf8(text).c_str());
    return 5;
  }
  return 0;
}

void Fresh(const fs::path& dir) {
  fs::remove_all(dir);
  fs::create_directories(dir);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--build") == 0) {
    std::vector<fs::path> movies(argv + 3, argv + argc);
    return BuildWithMorvix(argv[2], movies);
  }
  fs::path dir = "/var/tmp";
  long total_mib = 2100;
  int rounds = 5;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--dir" && i + 1 < argc)
      dir = argv[++i];
    else if (a == "--mb" && i + 1 < argc)
      total_mib = std::atol(argv[++i]);
    else if (a == "--rounds" && i + 1 < argc)
      rounds = std::atoi(argv[++i]);
    else if (a == "--keep")
      keep = true;
    else {
      std::fprintf(stderr, "usage: authoring_bench [--dir DIR] [--mb TOTAL] [--rounds N] [--keep]\n");
      return 2;
    }
  }
  const fs::path work = dir / "authoring_bench";
  fs::create_directories(work);

  // Inputs: one 60-second clip, looped into three titles.
  const fs::path clip = work / "clip.mpg";
  if (!fs::exists(clip) && Spawn({"ffmpeg",
                                  "-nostdin",
                                  "-y",
                                  "-f",
                                  "lavfi",
                                  "-i",
                                  "testsrc2=size=720x576:rate=25",
                                  "-f",
                                  "lavfi",
                                  "-i",
                                  "sine=frequency=440:sample_rate=48000",
                                  "-t",
                                  "60",
                                  "-target",
                                  "pal-dvd",
                                  "-aspect",
                                  "4:3",
                                  "-b:v",
                                  "8000k",
                                  clip.string()})
                                   .status != 0) {
    std::fprintf(stderr, "ffmpeg could not make the clip\n");
    return 1;
  }
  const double per_title = static_cast<double>(total_mib) * 1048576.0 / 3;
  const long loops =
      std::max<long>(0, static_cast<long>(per_title / static_cast<double>(fs::file_size(clip))));
  std::vector<fs::path> movies;
  std::uintmax_t input_bytes = 0;
  for (int t = 1; t <= 3; ++t) {
    const fs::path movie = work / ("title" + std::to_string(t) + "_" + std::to_string(loops) + ".mpg");
    if (!fs::exists(movie) && Spawn({"ffmpeg", "-nostdin", "-y", "-stream_loop", std::to_string(loops), "-i",
                                     clip.string(), "-c", "copy", "-f", "dvd", movie.string()})
                                      .status != 0) {
      std::fprintf(stderr, "ffmpeg could not loop the clip\n");
      return 1;
    }
    movies.push_back(movie);
    input_bytes += fs::file_size(movie);
  }
  std::printf("inputs: 3 titles, %.1f MiB together, in %s\n", static_cast<double>(input_bytes) / 1048576.0,
              work.c_str());

  const fs::path xml = work / "dvdauthor.xml";
  {
    std::ofstream x(xml);
    x << "<dvdauthor dest=\"" << (work / "out_dvdauthor").string() << "\">\n <vmgm/>\n";
    for (const fs::path& m : movies) {
      x << " <titleset><titles><pgc><vob file=\"" << m.string() << "\"/></pgc></titles></titleset>\n";
    }
    x << "</dvdauthor>\n";
  }
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  std::map<std::string, std::vector<double>> times;
  std::map<std::string, long> peak;
  for (int r = 0; r < rounds; ++r) {
    for (const std::string& tool : bench::RoundOrder<std::string>({"cp", "dvdauthor", "morvix"}, r)) {
      const fs::path out = work / ("out_" + tool);
      Fresh(out);
      ::sync();
      std::vector<std::string> args;
      if (tool == "cp") {
        args = {"cp"};
        for (const fs::path& m : movies) args.push_back(m.string());
        args.push_back(out.string());
      } else if (tool == "dvdauthor") {
        fs::remove_all(out);
        setenv("VIDEO_FORMAT", "PAL", 1);
        args = {"dvdauthor", "-x", xml.string()};
      } else {
        args = {self, "--build", out.string()};
        for (const fs::path& m : movies) args.push_back(m.string());
      }
      const Run run = Spawn(args, tool != "morvix");
      if (run.status != 0) {
        std::fprintf(stderr, "%s failed (status %d)\n", tool.c_str(), run.status);
        return 1;
      }
      times[tool].push_back(run.seconds);
      peak[tool] = std::max(peak[tool], run.peak_kib);
      std::printf("round %d  %-9s %8.2f s  (sync %.2f s, user %.2f s, system %.2f s)\n", r + 1, tool.c_str(),
                  run.seconds, run.sync_seconds, run.user, run.system);
      std::fflush(stdout);
    }
  }
  const double cp = Median(times["cp"]);
  // The best run shows the work itself; the median includes the machine's
  // noise (page allocation costs vary a lot from run to run on a VM).
  const double cp_best = *std::min_element(times["cp"].begin(), times["cp"].end());
  std::printf("\n%-10s %10s %10s %10s %10s %12s\n", "tool", "median s", "x cp", "best s", "x cp", "peak MiB");
  for (const std::string tool : {"cp", "dvdauthor", "morvix"}) {
    const double t = Median(times[tool]);
    const double best = *std::min_element(times[tool].begin(), times[tool].end());
    std::printf("%-10s %10.2f %10.2f %10.2f %10.2f %12.1f\n", tool.c_str(), t, cp > 0 ? t / cp : 0.0, best,
                cp_best > 0 ? best / cp_best : 0.0, static_cast<double>(peak[tool]) / 1024.0);
  }
  if (!keep) {
    for (const std::string tool : {"cp", "dvdauthor", "morvix"}) fs::remove_all(work / ("out_" + tool));
  }
  return 0;
}
