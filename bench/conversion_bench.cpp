// The wizard's conversion step against ffmpeg run by hand with the same
// arguments. Each round, in rotated order: (a) the wizard's conversion driver
// over the real ffmpeg encoders (no window), (b) ffmpeg with the wizard's
// arguments, one file after another, (c) the same, every file at once. Then
// one long clip: (a) beside (b). Prints times, ratios to (c), cores used,
// peak memory (the sum over the running encoders) and the SSIM of every
// converted title against its source, scaled the same way.
//   conversion_bench [--quick] [--long] [--lanes N] [--dir FOLDER]
// --quick: one round on short clips; --long: the long clip alone.
// Last line: conversion files=R1 long=R2 ssim=S1/S0
//   R1: the file set's median time of (a) over (c); R2: the long clip's median
//   time of (a) over (b); S1/S0: mean SSIM of (a)'s and of (b)'s outputs.
#include <dirent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench_run.h"
#include "round_order.h"
#include "vantora/ffmpeg_encoder.h"
#include "vantora/media_probe.h"
#include "vantora/settings.h"
#include "vantora/video_list.h"
#include "vantora/wizard_controller.h"
#include "wizard_fakes.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string Load() {
  std::ifstream f("/proc/loadavg");
  std::string a, b, c;
  f >> a >> b >> c;
  return a + " " + b + " " + c;
}

// The resident memory of the processes whose parent is pid, summed.
long ChildrenRssKib(pid_t parent) {
  long total = 0;
  DIR* d = opendir("/proc");
  if (d == nullptr) return 0;
  while (dirent* e = readdir(d)) {
    const int pid = std::atoi(e->d_name);
    if (pid <= 0) continue;
    std::ifstream stat("/proc/" + std::string(e->d_name) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos) continue;
    char state;
    int ppid = 0;
    if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) != 2 || ppid != parent) continue;
    std::ifstream statm("/proc/" + std::string(e->d_name) + "/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    total += resident * (sysconf(_SC_PAGESIZE) / 1024);
  }
  closedir(d);
  return total;
}

struct Run {
  double seconds = 0;
  double cores = 0;  // CPU time over wall time
  long peak_mib = 0;
  bool ok = false;
};

// Runs body in a child process; its encoders are children of that process.
Run Measure(const std::function<bool()>& body) {
  const auto start = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body() ? 0 : 1);
  std::atomic<bool> done{false};
  long peak = 0;
  std::thread sampler([&] {
    while (!done) {
      peak = std::max(peak, ChildrenRssKib(pid));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  done = true;
  sampler.join();
  Run r;
  r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const double cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                     usage.ru_stime.tv_usec / 1e6;
  r.cores = cpu / r.seconds;
  r.peak_mib = std::max(peak / 1024, usage.ru_maxrss / 1024);
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return r;
}

bool Ffmpeg(std::vector<std::string> args) {
  args.insert(args.begin(), {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"});
  return bench::Exec(std::move(args));
}

struct Clip {
  std::string name;
  std::vector<std::string> make;  // ffmpeg arguments after the inputs
  std::string size;
  std::string rate = "30";
  std::string audio = "sine=frequency=440";
};

bool MakeClip(const fs::path& file, const Clip& clip, int seconds) {
  if (fs::exists(file)) return true;
  const std::string d = std::to_string(seconds);
  std::vector<std::string> a = {
      "-f", "lavfi", "-i", "testsrc2=size=" + clip.size + ":rate=" + clip.rate + ":duration=" + d,
      "-f", "lavfi", "-i", clip.audio + ":duration=" + d};
  a.insert(a.end(), clip.make.begin(), clip.make.end());
  // Made under another name, so that a clip cut short is never taken.
  const fs::path part = file.parent_path() / ("part." + file.filename().string());
  a.push_back(part.string());
  if (!Ffmpeg(a)) return false;
  fs::rename(part, file);
  return true;
}

struct Target {
  bool ntsc = false;
  bool wide = true;
  int kbit = 4500;
};

vantora::EncodeParameters Params(const Target& t) {
  vantora::EncodeParameters p;
  p.tv_system = t.ntsc ? vantora::kTvSystemNtsc : vantora::kTvSystemPal;
  p.height = t.ntsc ? 480 : 576;
  p.frame_rate = t.ntsc ? 29.97f : 25.0f;
  p.aspect = t.wide ? vantora::kAspect16x9 : vantora::kAspect4x3;
  p.video_bitrate = t.kbit * 1000;
  return p;
}

// The wizard's ffmpeg arguments for input into output (no preview).
std::vector<std::string> WizardArguments(const vantora::EncoderTools& tools, const fs::path& input,
                                         const Target& t, const fs::path& output) {
  const vantora::ProbeOutcome probe = vantora::ProbeMedia(tools, input);
  return vantora::BuildEncodeArguments(tools, input, probe.info, Params(t), output, false);
}

bool RunArguments(const std::vector<std::string>& argv) {
  const platform::ChildResult run = platform::RunChild(argv, std::chrono::hours(4));
  if (!run.started || run.exit_code != 0) std::fprintf(stderr, "ffmpeg failed: %s\n", run.err.c_str());
  return run.started && run.exit_code == 0;
}

// (b) and (c): ffmpeg by hand, one after another or all at once.
bool ByHand(const vantora::EncoderTools& tools, const std::vector<fs::path>& inputs, const Target& t,
            const fs::path& out_dir, bool at_once) {
  std::vector<std::vector<std::string>> runs;
  for (const fs::path& in : inputs)
    runs.push_back(WizardArguments(tools, in, t, out_dir / (in.stem().string() + ".mpg")));
  if (!at_once) {
    for (const auto& argv : runs)
      if (!RunArguments(argv)) return false;
    return true;
  }
  std::vector<std::thread> threads;
  std::atomic<bool> ok{true};
  for (const auto& argv : runs) threads.emplace_back([&ok, argv] { ok = RunArguments(argv) && ok; });
  for (std::thread& th : threads) th.join();
  return ok;
}

// The encoders' events, handed to the thread that runs the controller.
class EventQueue {
 public:
  void Post(std::function<void()> f) {
    std::lock_guard lock(mu_);
    tasks_.push_back(std::move(f));
    cv_.notify_one();
  }
  // Runs the tasks until done() holds.
  void RunUntil(const std::function<bool()>& done) {
    while (!done()) {
      std::function<void()> f;
      {
        std::unique_lock lock(mu_);
        cv_.wait_for(lock, std::chrono::milliseconds(200), [this] { return !tasks_.empty(); });
        if (tasks_.empty()) continue;
        f = std::move(tasks_.front());
        tasks_.pop_front();
      }
      f();
    }
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> tasks_;
};

class LaneEvents final : public vantora::EncoderEvents, public vantora::PreviewSink {
 public:
  LaneEvents(EventQueue& q, std::function<vantora::WizardController*()> c, int lane)
      : q_(q), c_(std::move(c)), lane_(lane) {}
  void OnProgress(std::uint8_t p) override {
    q_.Post([this, p] { c_()->EncoderProgress(lane_, p); });
  }
  void OnCompleted(const vantora::EncodeResult& r) override {
    q_.Post([this, r] { c_()->EncoderCompleted(lane_, r); });
  }
  void OnPreviewFrame(const vantora::PreviewFrame&) override {}

 private:
  EventQueue& q_;
  std::function<vantora::WizardController*()> c_;
  int lane_;
};

class NullView final : public vantora::WizardView {
 public:
  void Refresh() override {}
  bool SaveMenuPicture(const fs::path&) override { return false; }
  void EndProgram() override {}
};

// (a): the wizard's conversion step, walked as a user would, with the real
// encoders; the converted files are copied to out_dir.
bool ByWizard(const vantora::EncoderTools& tools, const std::vector<fs::path>& inputs, const Target& t,
              const fs::path& work, const fs::path& out_dir, int lanes) {
  const fs::path home = work / "home";
  const fs::path temp = work / "temp";
  fs::remove_all(home);
  fs::remove_all(temp);
  fs::create_directories(home);
  fs::create_directories(temp);
  std::ofstream(vantora::ConfigFile(home)) << "[LAUNCH]\nVALUE=True\n";
  vantora::testing::WizardFakes fakes;
  vantora::FfprobeProber prober(tools);
  std::vector<std::unique_ptr<vantora::FfmpegEncoder>> encoders;
  for (int i = 0; i < lanes; ++i) encoders.push_back(std::make_unique<vantora::FfmpegEncoder>(tools));
  EventQueue queue;
  std::unique_ptr<vantora::WizardController> controller;
  std::vector<std::unique_ptr<LaneEvents>> events;
  for (int i = 0; i < lanes; ++i) {
    events.push_back(std::make_unique<LaneEvents>(
        queue, [&] { return controller.get(); }, i));
    encoders[static_cast<std::size_t>(i)]->SetEvents(events.back().get());
    encoders[static_cast<std::size_t>(i)]->SetPreviewTarget(events.back().get());
  }
  vantora::WizardParts parts = fakes.Parts(home);
  parts.encoder = encoders[0].get();
  for (int i = 1; i < lanes; ++i) parts.extra_encoders.push_back(encoders[static_cast<std::size_t>(i)].get());
  parts.prober = &prober;
  NullView view;
  controller = std::make_unique<vantora::WizardController>(parts, view);
  vantora::WizardController& c = *controller;
  c.Start();
  c.screen().temp_path = temp.string();
  c.screen().ntsc = t.ntsc;
  c.screen().aspect_4x3 = !t.wide;
  c.screen().bitrate_text = std::to_string(t.kbit);
  c.NextButton_Click();
  c.AddVideoFiles(inputs);
  c.NextButton_Click();
  c.Combo2_Click(false);
  c.NextButton_Click();
  c.UpdateOutputFrames(vantora::kOutputIso);
  c.screen().output_dir = work.string();
  if (c.CurrentStep != 3) {
    std::fprintf(stderr, "the wizard stopped at step %d\n", c.CurrentStep);
    return false;
  }
  // The converted files are taken when the authoring is handed them (the
  // fake authoring makes no disc, which the wizard then reports).
  bool ok = false;
  fakes.authoring.on_progress = [&] {
    if (ok) return;
    ok = fakes.authoring.titles.size() == inputs.size();
    for (std::size_t i = 0; ok && i < inputs.size(); ++i) {
      std::error_code ec;
      fs::copy_file(fakes.authoring.titles[i], out_dir / (inputs[i].stem().string() + ".mpg"),
                    fs::copy_options::overwrite_existing, ec);
      ok = !ec;
    }
  };
  c.NextButton_Click();
  queue.RunUntil([&] { return c.CurrentStep != 4; });
  for (auto& e : encoders) e->Shutdown();
  ok = ok && fakes.authoring.builds == 1;
  if (!ok) {
    for (const auto& m : fakes.dialogs.messages) std::fprintf(stderr, "wizard: %s\n", m.text.c_str());
  }
  controller.reset();
  return ok;
}

// The mean SSIM of converted against its source scaled as the wizard scales it.
double Ssim(const vantora::EncoderTools& tools, const fs::path& source, const fs::path& converted,
            const Target& t) {
  const std::vector<std::string> args = WizardArguments(tools, source, t, converted);
  std::string filter;
  for (std::size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == "-vf") filter = args[i + 1];
  const std::string rate = t.ntsc ? "30000/1001" : "25";
  const platform::ChildResult run = platform::RunChild(
      {tools.ffmpeg.string(), "-nostdin", "-hide_banner", "-i", converted.string(), "-i", source.string(),
       "-lavfi",
       "[1:v]fps=" + rate + "," + filter + ",format=yuv420p[ref];[0:v]format=yuv420p[out];[out][ref]ssim",
       "-f", "null", "-"},
      std::chrono::hours(1));
  const auto at = run.err.rfind("All:");
  return at == std::string::npos ? 0.0 : std::atof(run.err.c_str() + at + 4);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  bool quick = false;
  int lanes = vantora::ConversionLanesHere();
  fs::path dir = fs::temp_directory_path() / "vantora-conversion-bench";
  bool long_only = false;
  const char* usage = "usage: conversion_bench [--quick] [--long] [--lanes N] [--dir FOLDER]\n";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool value = i + 1 < argc;
    if (a == "--quick") {
      quick = true;
    } else if (a == "--long") {
      long_only = true;
    } else if (a == "--lanes" && value && std::atoi(argv[i + 1]) >= 1) {
      lanes = std::atoi(argv[++i]);
    } else if (a == "--dir" && value) {
      dir = argv[++i];
    } else if (a == "--help" || a == "-h") {
      std::fputs(usage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "conversion_bench: unknown or incomplete option %s\n%s", a.c_str(), usage);
      return 2;
    }
  }
  const vantora::EncoderTools tools = vantora::FindEncoderTools();
  if (const std::string problem = vantora::EncoderToolsProblem(tools); !problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return 1;
  }
  const fs::path media = dir / (quick ? "quick" : "full");
  fs::create_directories(media);
  const std::vector<std::string> h264 = {"-c:v", "libx264",  "-preset",  "veryfast", "-b:v",
                                         "6M",   "-pix_fmt", "yuv420p",  "-c:a",     "aac",
                                         "-b:a", "160k",     "-shortest"};
  auto with = [](std::vector<std::string> a, std::vector<std::string> more) {
    a.insert(a.begin(), more.begin(), more.end());
    return a;
  };
  const std::vector<std::pair<Clip, std::string>> set = {
      {{"h264_720p", h264, "1280x720"}, "mp4"},
      {{"h264_1080p", h264, "1920x1080"}, "mp4"},
      {{"phone_portrait", h264, "1080x1920"}, "mp4"},
      {{"vp9_opus",
        {"-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8", "-b:v", "3M", "-c:a", "libopus",
         "-shortest"},
        "1280x720",
        "30",
        "sine=frequency=440:sample_rate=48000"},
       "mkv"},
      {{"mpeg4_avi", {"-c:v", "mpeg4", "-q:v", "4", "-c:a", "pcm_s16le", "-shortest"}, "640x480", "25"},
       "avi"},
      {{"sd_4x3", with(h264, {"-vf", "setsar=8/9"}), "720x480", "30000/1001"}, "mp4"},
  };
  const int base_seconds = quick ? 12 : 30;
  std::vector<fs::path> files;
  for (std::size_t i = 0; i < set.size(); ++i) {
    const fs::path f = media / (set[i].first.name + "." + set[i].second);
    const int seconds = base_seconds + static_cast<int>(i) * (quick ? 3 : 18);  // 30 to 120 s in full
    if (!MakeClip(f, set[i].first, seconds)) return 1;
    files.push_back(f);
  }
  const fs::path long_clip = media / "long_1080p.mp4";
  if (!MakeClip(long_clip, {"long", h264, "1920x1080", "25"}, quick ? 90 : 600)) return 1;

  std::printf("load before: %s; %d lanes; %u cores\n", Load().c_str(), lanes,
              std::thread::hardware_concurrency());
  const int rounds = quick ? 1 : 3;
  std::vector<double> set_ratios, long_ratios, ssim_a, ssim_b;
  const fs::path work = dir / "work";
  const std::vector<Target> targets =
      quick ? std::vector<Target>{{false, true}} : std::vector<Target>{{false, true}, {true, false}};
  for (const Target& t : targets) {
    const char* system = t.ntsc ? "NTSC" : "PAL";
    for (int round = 0; round < (long_only ? 0 : rounds); ++round) {
      std::map<char, Run> runs;
      for (char tool : bench::RoundOrder(std::vector<char>{'a', 'b', 'c'}, round)) {
        const fs::path out = work / std::string(1, tool);
        fs::remove_all(out);
        fs::create_directories(out);
        runs[tool] = Measure([&] {
          if (tool == 'a') return ByWizard(tools, files, t, work / "wizard", out, lanes);
          return ByHand(tools, files, t, out, tool == 'c');
        });
      }
      const Run& a = runs['a'];
      const Run& b = runs['b'];
      const Run& c = runs['c'];
      std::printf(
          "%s files round %d (load %s): (a) wizard %.1f s %.1f cores %ld MiB%s, (b) one by one %.1f s %.1f "
          "cores, "
          "(c) all at once %.1f s %.1f cores %ld MiB; a/c %.2f, b/c %.2f\n",
          system, round + 1, Load().c_str(), a.seconds, a.cores, a.peak_mib, a.ok ? "" : " FAILED", b.seconds,
          b.cores, c.seconds, c.cores, c.peak_mib, a.seconds / c.seconds, b.seconds / c.seconds);
      if (!a.ok || !b.ok || !c.ok) return 1;
      set_ratios.push_back(a.seconds / c.seconds);
    }
    for (const fs::path& f : long_only ? std::vector<fs::path>{} : files) {
      const double sa = Ssim(tools, f, work / "a" / (f.stem().string() + ".mpg"), t);
      const double sb = Ssim(tools, f, work / "b" / (f.stem().string() + ".mpg"), t);
      std::printf("  ssim %-16s wizard %.4f, today's arguments %.4f\n", f.stem().c_str(), sa, sb);
      ssim_a.push_back(sa);
      ssim_b.push_back(sb);
    }
    for (int round = 0; round < rounds; ++round) {
      std::map<char, Run> runs;
      for (char tool : bench::RoundOrder(std::vector<char>{'a', 'b'}, round)) {
        const fs::path out = work / (std::string("long_") + tool);
        fs::remove_all(out);
        fs::create_directories(out);
        runs[tool] = Measure([&] {
          if (tool == 'a') return ByWizard(tools, {long_clip}, t, work / "wizard", out, lanes);
          return ByHand(tools, {long_clip}, t, out, false);
        });
      }
      const Run& a = runs['a'];
      const Run& b = runs['b'];
      std::printf(
          "%s long clip round %d (load %s): (a) wizard %.1f s %.1f cores %ld MiB%s, (b) today's single run "
          "%.1f s %.1f cores; a/b %.2f\n",
          system, round + 1, Load().c_str(), a.seconds, a.cores, a.peak_mib, a.ok ? "" : " FAILED", b.seconds,
          b.cores, a.seconds / b.seconds);
      if (!a.ok || !b.ok) return 1;
      long_ratios.push_back(a.seconds / b.seconds);
    }
    const double la = Ssim(tools, long_clip, work / "long_a" / "long_1080p.mpg", t);
    const double lb = Ssim(tools, long_clip, work / "long_b" / "long_1080p.mpg", t);
    std::printf("  ssim long_1080p       wizard %.4f, today's arguments %.4f\n", la, lb);
    ssim_a.push_back(la);
    ssim_b.push_back(lb);
  }
  // Which of ffmpeg's thread options pay for one encode of the 1080p clip.
  struct Variant {
    const char* name;
    std::vector<std::string> input, output;  // options before -i and before the output
  };
  const std::vector<Variant> variants = {
      {"ffmpeg's defaults (today)", {}, {}},
      {"decoder -threads 1", {"-threads", "1"}, {}},
      {"-filter_threads 4", {"-filter_threads", "4"}, {}},
      {"encoder -threads 1", {}, {"-threads", "1"}},
      {"encoder -threads 8", {}, {"-threads", "8"}},
      {"encoder -slices 36 -threads 8", {}, {"-slices", "36", "-threads", "8"}},
  };
  std::map<std::string, std::vector<double>> variant_times;
  for (int round = 0; round < (long_only ? 0 : rounds); ++round) {
    for (const Variant& v : bench::RoundOrder(variants, round)) {
      std::vector<std::string> argv = WizardArguments(tools, files[1], targets[0], work / "variant.mpg");
      const auto input_at = std::find(argv.begin(), argv.end(), "-f");
      argv.insert(input_at, v.input.begin(), v.input.end());
      const auto output_at = std::find(argv.begin(), argv.end(), "dvd") - 1;
      argv.insert(output_at, v.output.begin(), v.output.end());
      const Run r = Measure([&] { return RunArguments(argv); });
      std::printf("threads: %-30s %.1f s %.1f cores (load %s)%s\n", v.name, r.seconds, r.cores,
                  Load().c_str(), r.ok ? "" : " FAILED");
      variant_times[v.name].push_back(r.seconds);
    }
  }
  for (const Variant& v : long_only ? std::vector<Variant>{} : variants)
    std::printf("threads: %-30s median %.1f s\n", v.name, Median(variant_times[v.name]));

  double mean_a = 0, mean_b = 0;
  for (double v : ssim_a) mean_a += v / static_cast<double>(ssim_a.size());
  for (double v : ssim_b) mean_b += v / static_cast<double>(ssim_b.size());
  std::printf("load after: %s\n", Load().c_str());
  // Without the file set (--long) its ratio reads "-".
  char files_ratio[32] = "-";
  if (!set_ratios.empty()) std::snprintf(files_ratio, sizeof files_ratio, "%.2f", Median(set_ratios));
  std::printf("conversion files=%s long=%.2f ssim=%.4f/%.4f\n", files_ratio, Median(long_ratios), mean_a,
              mean_b);
  return 0;
}
