// The data burn beside CreateIso of the same project and "cp" of its files,
// each in its own process (wall time and peak memory), for several rounds in
// an order that moves on every round, with the machine's load beside each
// figure: the burn goes to an emulated DVD+R without pacing; then once more
// with the drive paced at DVD 16x (22,160 kB/s) and the wizard's 32 MiB FIFO,
// beside one more CreateIso, where the drive's underruns and the lowest FIFO
// fill after the first fill are printed. Arguments: a work folder; optionally
// a VIDEO_TS folder to burn as a DVD-Video project ("-": a data project of one
// large file and 2,000 small ones is made); the size of the made project in
// MB (default 2000); the rounds (default 3); 0 to leave out the paced burn.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "bench_run.h"
#include "drive/drive_list.h"
#include "platform/emulated_drive.h"
#include "platform/process.h"
#include "platform/scsi_policy.h"
#include "round_order.h"
#include "tree/tree_element.h"
#include "zephrel/iso_builder.h"

namespace {

namespace fs = std::filesystem;

// The machine's load over the last minute, as other programs make it.
double Load() {
  double load[1] = {0};
  return ::getloadavg(load, 1) == 1 ? load[0] : -1;
}

// Waits for the end of the job and keeps what the burn reports of its FIFO.
class EndSink : public platform::EventSink {
 public:
  bool SupportsInterface(const platform::Guid&) const override { return true; }
  void OnEvent(platform::DispId event, std::span<const platform::Variant> args) override {
    std::lock_guard lock(mutex_);
    if (event == zephrel::kBurnerBufferStatus && args.size() == 2) {
      const int max = args[0].i4(), size = args[1].i4();
      if (size >= max) full_ = true;
      if (full_) fills_.push_back(size);
      max_ = max;
    }
    if (event == zephrel::kBurningErrorViewDescription && !args.empty())
      std::fprintf(stderr, "%s\n", args[0].str().c_str());
    if (event == zephrel::kBurnerOnEndBurn && args.size() == 3) {
      failed_ = args[2].i4() != 0 || args[1].i4() != 0;
      ended_ = true;
      changed_.notify_all();
    }
  }
  bool Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return ended_; });
    return !failed_;
  }
  // The lowest fill while the producer still worked: the fills after the
  // first full FIFO, less the final drain once the producer is done (the run
  // of falling fills at the end).
  int lowest() const {
    std::size_t end = fills_.size();
    while (end > 1 && fills_[end - 1] <= fills_[end - 2]) --end;
    if (end > 0) --end;  // the first of the drain
    int lowest = max_;
    for (std::size_t i = 0; i < end; ++i) lowest = std::min(lowest, fills_[i]);
    return lowest;
  }
  int capacity() const { return max_; }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool ended_ = false, failed_ = false, full_ = false;
  int max_ = 0;
  std::vector<int> fills_;
};

void AddProject(zephrel::ISOBuilder& builder, const fs::path& source, bool video) {
  if (video) {
    builder.AddVirtualDirectory(zephrel::kRootId, "AUDIO_TS");
    builder.AddVirtualDirectory(zephrel::kRootId, "VIDEO_TS");
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(source)) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) builder.AddFile(2, f.string());
    return;
  }
  for (const auto& e : fs::directory_iterator(source)) {
    if (e.is_directory()) {
      builder.AddDirectory(zephrel::kRootId, e.path().string());
    } else {
      builder.AddFile(zephrel::kRootId, e.path().string());
    }
  }
}

// Waits for the folder scans that AddDirectory starts.
void WaitForScans(zephrel::ISOBuilder& builder) {
  for (;;) {
    std::int32_t files = 0;
    builder.GetFileCount(files);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::int32_t again = 0;
    builder.GetFileCount(again);
    if (again == files) return;
  }
}

bool CreateIso(const fs::path& source, bool video, const fs::path& image) {
  auto builder = zephrel::CreateISOBuilder();
  auto sink = std::make_shared<EndSink>();
  platform::Cookie cookie = 0;
  builder->Advise(sink, &cookie);
  AddProject(*builder, source, video);
  WaitForScans(*builder);
  builder->CreateIso(image.string(), 0, video ? 1 : 0);
  const bool ok = sink->Wait();
  builder->UnloadCom();
  return ok;
}

bool Burn(const fs::path& source, bool video, const fs::path& drive_folder, std::uint32_t pace_kbps) {
  std::string error;
  platform::MediumSpec medium;
  medium.profile = platform::kProfileDvdPlusR;
  if (!platform::EmulatedDrive::Create(drive_folder, {}, &medium, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  std::shared_ptr<platform::EmulatedDrive> drive(platform::EmulatedDrive::Open(drive_folder, &error));
  if (!drive) return false;
  // A 2 MiB drive buffer, as many DVD writers have; paced, the drive's closes
  // take the time their lead-out takes at that speed, unpaced none.
  if (pace_kbps) drive->SetWritePacing(pace_kbps, 2u << 20);
  if (!pace_kbps) drive->SetOperationLength(0);
  // The state file is replaced at the burn's flush, not after every block:
  // the emulator's own bookkeeping is not the burn's time.
  drive->SetWriteSavesDeferred(true);
  zephrel::SetDriveSourceForTesting([drive] {
    struct Shared : platform::ScsiDevice {
      std::shared_ptr<platform::EmulatedDrive> d;
      platform::ScsiResult exec(std::span<const std::uint8_t> cdb, platform::DataDirection dir,
                                std::span<std::uint8_t> buf, std::chrono::milliseconds t) override {
        return d->exec(cdb, dir, buf, t);
      }
      const platform::DeviceIdentity& identity() const override { return d->identity(); }
      platform::HoldResult HoldExclusive(std::string* why) override { return d->HoldExclusive(why); }
      void ReleaseExclusive() override { d->ReleaseExclusive(); }
    };
    auto shared = std::make_unique<Shared>();
    shared->d = drive;
    platform::ScanResult scan;
    scan.devices.push_back(platform::WithTransportPolicy(std::move(shared)));
    return scan;
  });
  auto builder = zephrel::CreateISOBuilder();
  auto sink = std::make_shared<EndSink>();
  platform::Cookie cookie = 0;
  builder->Advise(sink, &cookie);
  builder->Burner_Init();
  builder->Burner_SetSizeBuffer(32);
  AddProject(*builder, source, video);
  WaitForScans(*builder);
  builder->Burner_BurnData(0, 8, 1, 0, 0, 1, 0, video ? 1 : 0);
  const bool ok = sink->Wait();
  builder->UnloadCom();
  if (pace_kbps)
    std::printf(
        "paced at %u kB/s: underruns %llu, FIFO %d blocks, lowest fill after the first fill %d (load %.1f)\n",
        pace_kbps, static_cast<unsigned long long>(drive->UnderrunCount()), sink->capacity(), sink->lowest(),
        Load());
  std::fflush(stdout);  // the child ends with _exit
  return ok;
}

bool Copy(const fs::path& source, const fs::path& dest) {
  return bench::Exec({"cp", "-r", source.native(), dest.native()});
}

void MakeDataProject(const fs::path& src, std::uint64_t mb) {
  fs::create_directories(src / "small");
  std::vector<char> block(1 << 20);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
  std::ofstream big(src / "large.bin", std::ios::binary);
  for (std::uint64_t i = 0; i < mb; ++i) big.write(block.data(), std::streamsize(block.size()));
  for (int i = 0; i < 2000; ++i) {
    std::ofstream f(src / "small" / ("f" + std::to_string(i) + ".txt"), std::ios::binary);
    f.write(block.data() + i, 3000);
  }
}

void Print(const char* name, const bench::Run& r, double reference, double load) {
  std::printf("  %-28s %8.2f s (CPU %5.2f s)  %6ld MiB peak  %s  ratio to CreateIso %.3f  (load %.1f)\n",
              name, r.seconds, r.cpu_seconds, r.peak_mib, r.ok ? "ok  " : "FAIL",
              reference > 0 ? r.seconds / reference : 0.0, load);
  std::fflush(stdout);  // a child's output follows
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: burn_bench WORK [VIDEO_TS|-] [MB] [ROUNDS] [PACED 0|1]\n");
    return 2;
  }
  const fs::path work = argv[1];
  const bool video = argc > 2 && std::string(argv[2]) != "-";
  const std::uint64_t mb = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 2000;
  const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
  const bool run_paced = argc > 5 ? std::atoi(argv[5]) != 0 : true;
  fs::create_directories(work);
  fs::path source = video ? fs::path(argv[2]) : work / "src";
  if (!video && !fs::exists(source)) MakeDataProject(source, mb);
  const auto clean = [&] {
    std::error_code ec;
    for (const char* p : {"image.iso", "drive", "paced", "copy"}) fs::remove_all(work / p, ec);
  };
  clean();
  std::printf("%s project from %s, %d rounds, %u cores, load %.1f at the start\n",
              video ? "DVD-Video" : "data", source.c_str(), rounds, std::thread::hardware_concurrency(),
              Load());
  std::fflush(stdout);  // not again from a child
  // Each round runs CreateIso, the unpaced burn and cp of the same project, in
  // an order that moves on by one every round.
  enum Tool { kIso, kBurn, kCp };
  std::vector<double> ratios;
  bool ok = true;
  for (int round = 0; round < rounds; ++round) {
    bench::Run runs[3];
    double loads[3] = {};
    std::uintmax_t image_bytes = 0;
    for (const Tool tool : bench::RoundOrder<Tool>({kIso, kBurn, kCp}, round)) {
      loads[tool] = Load();
      if (tool == kIso) {
        runs[kIso] = bench::Measure([&] { return CreateIso(source, video, work / "image.iso"); });
        std::error_code ec;
        image_bytes = fs::file_size(work / "image.iso", ec);
        if (ec) image_bytes = 0;
      } else if (tool == kBurn) {
        runs[kBurn] = bench::Measure([&] { return Burn(source, video, work / "drive", 0); });
      } else {
        runs[kCp] = bench::Measure([&] { return Copy(source, work / "copy"); });
      }
      clean();
    }
    std::printf("round %d: image of %.1f MiB\n", round + 1, static_cast<double>(image_bytes) / 1048576.0);
    Print("CreateIso", runs[kIso], runs[kIso].seconds, loads[kIso]);
    Print("Burner_BurnData (no pacing)", runs[kBurn], runs[kIso].seconds, loads[kBurn]);
    Print("cp -r", runs[kCp], runs[kIso].seconds, loads[kCp]);
    ok = ok && runs[kIso].ok && runs[kBurn].ok && runs[kCp].ok;
    if (runs[kIso].seconds > 0) ratios.push_back(runs[kBurn].seconds / runs[kIso].seconds);
  }
  std::sort(ratios.begin(), ratios.end());
  if (!ratios.empty())
    std::printf("unpaced burn / CreateIso: median %.3f, best %.3f, worst %.3f over %zu rounds\n",
                ratios[ratios.size() / 2], ratios.front(), ratios.back(), ratios.size());
  std::fflush(stdout);
  if (run_paced) {
    // The paced burn beside one more CreateIso of the same project.
    const double iso_load = Load();
    const bench::Run iso = bench::Measure([&] { return CreateIso(source, video, work / "image.iso"); });
    clean();
    const double paced_load = Load();
    const bench::Run paced = bench::Measure([&] { return Burn(source, video, work / "paced", 22160); });
    clean();
    Print("CreateIso", iso, iso.seconds, iso_load);
    Print("Burner_BurnData (DVD 16x)", paced, iso.seconds, paced_load);
    std::printf("load at the end %.1f\n", Load());
    ok = ok && iso.ok && paced.ok;
  }
  return ok ? 0 : 1;
}
