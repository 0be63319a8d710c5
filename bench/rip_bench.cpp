// Rips a pressed 60-minute audio CD (ten six-minute tracks) on an emulated
// drive through the engine's members, to WAV files beside "cp" of the same
// PCM, and to MP3 files beside "lame" run directly on the WAV files, in one
// run, in an order that moves on by one tool every round (each run ends with
// "sync"). Prints wall times, the ratios and the peak memory of each run.
// Usage: rip_bench WORK_FOLDER [ROUNDS] [MINUTES]
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "bench_run.h"
#include "platform/emulated_drive.h"
#include "platform/process.h"
#include "round_order.h"
#include "zephrel/iso_builder.h"

namespace {

namespace fs = std::filesystem;

constexpr int kTracks = 10;

using bench::Exec;
using bench::Measure;
using bench::Run;

// Waits for the end of a rip and counts its texts (each is a failure).
class EndSink : public platform::EventSink {
 public:
  bool SupportsInterface(const platform::Guid& iid) const override {
    return iid == zephrel::kDIIdIISOBuilderEvents || iid == zephrel::kIIdIDispatch;
  }
  void OnEvent(platform::DispId event, std::span<const platform::Variant> args) override {
    std::lock_guard lock(mutex_);
    if (event == zephrel::kBurningErrorViewDescription) {
      std::fprintf(stderr, "%s\n", args[0].str().c_str());
      ++texts_;
    }
    if (event == zephrel::kRipperOnEndRip) {
      ended_ = true;
      changed_.notify_all();
    }
  }
  bool Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return ended_; });
    return texts_ == 0;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool ended_ = false;
  int texts_ = 0;
};

// Rips every track with the engine into app/My Music (the default settings).
bool RipOurs(const fs::path& drive, const fs::path& app, bool mp3) {
  setenv("ZEPHREL_DRIVES", ("emu:" + drive.native()).c_str(), 1);
  auto builder = zephrel::CreateISOBuilder();
  auto sink = std::make_shared<EndSink>();
  platform::Cookie cookie = 0;
  builder->Advise(sink, &cookie);
  builder->Burner_Init();
  std::int32_t count = 0;
  builder->AudioRip_GetNbTracks(0, count);
  if (count != kTracks) return false;
  for (int i = 0; i < count; ++i) builder->AudioRip_TrackSelected(i, std::int32_t{-1});
  builder->AudioRip_RipTrack(0, 0, app.native(), mp3 ? 0 : 1);
  const bool ok = sink->Wait();
  builder->UnloadCom();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s WORK_FOLDER [ROUNDS] [MINUTES]\n", argv[0]);
    return 2;
  }
  const fs::path work = argv[1];
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const int minutes = argc > 3 ? std::atoi(argv[3]) : 60;
  fs::create_directories(work / "sources");

  // The PCM of each track, as WAV files (for lame) and raw (for cp).
  const std::size_t track_sectors = static_cast<std::size_t>(minutes) * 60 * 75 / kTracks;
  platform::MediumSpec medium;
  medium.profile = platform::kProfileCdRom;
  std::vector<fs::path> wavs;
  for (int t = 0; t < kTracks; ++t) {
    std::vector<std::uint8_t> pcm(track_sectors * 2352);
    std::uint32_t x = 12345u + static_cast<std::uint32_t>(t);
    for (std::size_t i = 0; i < pcm.size(); i += 2) {  // a tone with noise: something to encode
      x = x * 1664525u + 1013904223u;
      const auto sample = static_cast<std::int16_t>(8000.0 * ((i / 4) % 100) / 100.0 + (x >> 20) % 2000);
      pcm[i] = static_cast<std::uint8_t>(sample & 0xFF);
      pcm[i + 1] = static_cast<std::uint8_t>(sample >> 8);
    }
    const fs::path raw = work / "sources" / ("track" + std::to_string(t + 1) + ".pcm");
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(pcm.data()), std::streamsize(pcm.size()));
    medium.pressed.push_back({raw, 0, 0, true, false, false});
    const fs::path wav = work / "sources" / ("track" + std::to_string(t + 1) + ".wav");
    if (!Exec({"sox", "-t", "raw", "-r", "44100", "-e", "signed", "-b", "16", "-c", "2", raw.native(),
               wav.native()})) {
      std::fprintf(stderr, "sox could not make %s\n", wav.c_str());
      return 1;
    }
    wavs.push_back(wav);
  }
  fs::remove_all(work / "drive");
  std::string error;
  if (!platform::EmulatedDrive::Create(work / "drive", {}, &medium, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::printf("a pressed CD of %d minutes in %d tracks (%zu MB of PCM)\n", minutes, kTracks,
              track_sectors * 2352 * kTracks / 1000000);

  enum Tool { kCp, kOurs };
  for (const bool mp3 : {false, true}) {
    std::printf(mp3 ? "to MP3, beside lame on the WAV files\n" : "to WAV, beside cp of the PCM\n");
    for (int round = 0; round < rounds; ++round) {
      fs::remove_all(work / "out");
      fs::create_directories(work / "out" / "peer");
      fs::create_directories(work / "out" / "app");
      Run runs[2];
      for (const Tool tool : bench::RoundOrder<Tool>({kCp, kOurs}, round)) {
        if (tool == kOurs) {
          runs[kOurs] = Measure([&] { return RipOurs(work / "drive", work / "out" / "app", mp3); });
        } else {
          runs[kCp] = Measure([&] {
            for (int t = 0; t < kTracks; ++t) {
              const fs::path out =
                  work / "out" / "peer" / ("track" + std::to_string(t + 1) + (mp3 ? ".mp3" : ".pcm"));
              const bool ok =
                  mp3 ? Exec({"lame", "--quiet", "-b", "128", wavs[t].native(), out.native()})
                      : Exec({"cp", (work / "sources" / ("track" + std::to_string(t + 1) + ".pcm")).native(),
                              out.native()});
              if (!ok) return false;
            }
            return true;
          });
        }
      }
      const Run& peer = runs[kCp];
      const Run& ours = runs[kOurs];
      std::printf("  %s %.2f s %ld MiB%s | ours %.2f s (%.2f x %s) %ld MiB%s\n", mp3 ? "lame" : "cp",
                  peer.seconds, peer.peak_mib, peer.ok ? "" : " FAILED", ours.seconds,
                  ours.seconds / peer.seconds, mp3 ? "lame" : "cp", ours.peak_mib, ours.ok ? "" : " FAILED");
    }
  }
  fs::remove_all(work / "out");
  return 0;
}
