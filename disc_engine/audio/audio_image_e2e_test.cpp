// Audio images from WAV files made by sox, read back by cd-info and bchunk.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstring>

#include "audio/audio_image_job.h"
#include "audio/audio_testutil.h"
#include "image/image_build_testutil.h"
#include "platform/byte_order.h"
#include "testing/tools.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;
using testing::JobEventRecorder;
using testing::ReadWholeFile;
using testing::TempDir;
using vantora::testing::RunTool;

struct Fixture {
  TempDir dir;
  std::vector<std::string> wavs;
  std::vector<std::string> pcm;  // each file's sample data
};

// Puts a LIST chunk (an INFO comment) before the data chunk of a WAV file, as
// tagging programs do.
void InsertListChunk(const std::string& path) {
  std::string bytes = ReadWholeFile(path);
  const std::size_t data = bytes.find("data");
  ASSERT_NE(data, std::string::npos);
  const std::string list("LIST\x12\x00\x00\x00INFOICMT\x06\x00\x00\x00a test", 26);
  bytes.insert(data, list);
  const std::uint32_t riff = static_cast<std::uint32_t>(bytes.size() - 8);
  for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<char>(riff >> (8 * i));
  std::FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), out), bytes.size());
  std::fclose(out);
}

// Three WAVs from sox: 2 s, 3 s with a LIST chunk (a comment), and one of
// 1.01 s whose PCM is not a whole number of sectors.
void MakeSoxWavs(Fixture* f) {
  const struct {
    const char* name;
    const char* seconds;
    bool comment;
  } specs[] = {{"one 日本.wav", "2", false}, {"two é.wav", "3", true}, {"three 🎵.wav", "1.01", false}};
  for (const auto& s : specs) {
    const std::string path = f->dir.path() + "/" + s.name;
    std::vector<std::string> argv{"sox", "-n", "-r", "44100", "-c", "2", "-b", "16"};
    argv.insert(argv.end(), {path, "synth", s.seconds, "sine", "300-900"});
    const auto r = RunTool(argv);
    ASSERT_EQ(r.exit_code, 0) << r.output;
    if (s.comment) InsertListChunk(path);
    std::string error;
    const auto layout = ReadWavLayout(path, &error);
    ASSERT_TRUE(layout) << error;
    f->wavs.push_back(path);
    f->pcm.push_back(ReadWholeFile(path).substr(layout->data_offset, layout->data_bytes));
  }
  ASSERT_NE(ReadWholeFile(f->wavs[1]).find("LIST"), std::string::npos) << "sox wrote no LIST chunk";
  ASSERT_NE(f->pcm[2].size() % 2352, 0u);
}

void RunImage(AudioImageRequest request, JobEventRecorder* events,
              const std::atomic<bool>* cancel = nullptr) {
  AudioImageJob(std::move(request), events, cancel).Run();
}

std::uint64_t Sectors(const std::string& pcm) { return (pcm.size() + 2351) / 2352; }

TEST(AudioImage, BinAndCueReadBackByCdInfoAndBchunkBitExact) {
  Fixture f;
  MakeSoxWavs(&f);
  const std::string bin = f.dir.path() + "/audio disc.bin";
  JobEventRecorder events;
  RunImage({bin, 1, f.wavs}, &events);
  ASSERT_EQ(events.EndCount(), 1);
  EXPECT_FALSE(events.EndedWithError()) << events.Descriptions();
  const std::string cue = f.dir.path() + "/audio disc.cue";

  const auto info = RunTool({"cd-info", "--no-device-info", "--no-cddb", "--cue-file", cue});
  ASSERT_EQ(info.exit_code, 0) << info.output;
  // Track starts in the image: each after the previous track and its 150-sector gap.
  std::uint64_t start = 0;
  for (int t = 0; t < 3; ++t) {
    char line[64];
    std::snprintf(line, sizeof line, "%3d: ", t + 1);
    const std::size_t at = info.output.find(line);
    ASSERT_NE(at, std::string::npos) << info.output;
    const std::string row = info.output.substr(at, info.output.find('\n', at) - at);
    char lsn[32];
    std::snprintf(lsn, sizeof lsn, " %06llu audio ", static_cast<unsigned long long>(start));
    EXPECT_NE(row.find(lsn), std::string::npos) << row;
    EXPECT_EQ(row.substr(row.find_last_not_of(' ') - 1, 2), "no") << "no pre-emphasis: " << row;
    start += Sectors(f.pcm[t]) + 150;
  }

  const auto split = RunTool({"bchunk", "-w", bin, cue, f.dir.path() + "/back"});
  ASSERT_EQ(split.exit_code, 0) << split.output;
  for (int t = 0; t < 3; ++t) {
    char name[64];
    std::snprintf(name, sizeof name, "/back%02d.wav", t + 1);
    const std::string back = ReadWholeFile(f.dir.path() + name);
    ASSERT_GE(back.size(), 44u);
    const std::string data = back.substr(44);
    // bchunk's tracks run to the next INDEX 01, so they carry the silence after them.
    ASSERT_GE(data.size(), Sectors(f.pcm[t]) * 2352) << t;
    EXPECT_EQ(data.substr(0, f.pcm[t].size()), f.pcm[t]) << "track " << t + 1 << " is bit-exact";
    EXPECT_EQ(data.substr(f.pcm[t].size(), Sectors(f.pcm[t]) * 2352 - f.pcm[t].size()),
              std::string(Sectors(f.pcm[t]) * 2352 - f.pcm[t].size(), '\0'))
        << "the last sector is padded with zeros";
  }
}

TEST(AudioImage, TableModeEntriesPointAtEachTracksBytes) {
  Fixture f;
  MakeSoxWavs(&f);
  const std::string image = f.dir.path() + "/table.img";
  JobEventRecorder events;
  RunImage({image, 0, f.wavs}, &events);
  EXPECT_FALSE(events.EndedWithError()) << events.Descriptions();
  EXPECT_FALSE(fs::exists(f.dir.path() + "/table.cue"));
  const std::string bytes = ReadWholeFile(image);
  ASSERT_EQ(bytes.substr(0, 7), std::string("ZPX\0V1\x01", 7));
  ASSERT_EQ(std::uint8_t(bytes[7]), 3);
  std::uint64_t expected_start = 0;
  for (int k = 0; k < 3; ++k) {
    const auto* e = reinterpret_cast<const std::uint8_t*>(bytes.data() + 8 + 17 * k);
    const std::uint32_t start = platform::GetLe32(e + 1);
    const std::uint32_t start_be = platform::GetBe32(e + 5);
    const std::uint32_t length = platform::GetLe32(e + 9);
    EXPECT_EQ(e[0], k + 1);
    EXPECT_EQ(start, start_be);
    EXPECT_EQ(start, expected_start);
    EXPECT_EQ(length, Sectors(f.pcm[k])) << "the same count as the sheet, without the header";
    EXPECT_EQ(bytes.substr(start * 2352ull + 4096, f.pcm[k].size()), f.pcm[k]) << "track " << k + 1;
    expected_start += length + 150;
  }
  EXPECT_EQ(bytes.size(), 4096 + expected_start * 2352);
}

TEST(AudioImage, ProgressCountsTheSameSectorsAsTheSheet) {
  Fixture f;
  MakeSoxWavs(&f);
  JobEventRecorder events;
  RunImage({f.dir.path() + "/p.bin", 1, f.wavs}, &events);
  const std::uint64_t total = Sectors(f.pcm[0]) + Sectors(f.pcm[1]) + Sectors(f.pcm[2]);
  int starts = 0;
  std::int32_t last_done = 0;
  for (const auto& e : events.events()) {
    if (e.kind != testing::JobEvent::kProcess) continue;
    EXPECT_EQ(e.total, static_cast<std::int32_t>(total));
    if (e.a == 20) {
      EXPECT_EQ(e.text, f.wavs[starts]);
      ++starts;
    }
    last_done = e.done;
  }
  EXPECT_EQ(starts, 3);
  EXPECT_EQ(last_done, static_cast<std::int32_t>(total));
}

TEST(AudioImage, A48KilohertzWavIsRefusedBeforeAnythingIsWritten) {
  Fixture f;
  MakeSoxWavs(&f);
  const std::string odd = f.dir.path() + "/odd rate.wav";
  ASSERT_EQ(RunTool({"sox", "-n", "-r", "48000", "-c", "2", "-b", "16", odd, "synth", "1", "sine", "440"})
                .exit_code,
            0);
  f.wavs.insert(f.wavs.begin() + 1, odd);
  for (int mode : {0, 1}) {
    JobEventRecorder events;
    RunImage({f.dir.path() + "/refused.bin", mode, f.wavs}, &events);
    EXPECT_EQ(events.Errors(), std::vector<std::int32_t>{1011});
    EXPECT_TRUE(events.EndedWithError());
    EXPECT_NE(events.Descriptions().find("odd rate.wav"), std::string::npos) << events.Descriptions();
    EXPECT_NE(events.Descriptions().find("48000 Hz"), std::string::npos) << events.Descriptions();
    EXPECT_FALSE(fs::exists(f.dir.path() + "/refused.bin"));
    EXPECT_FALSE(fs::exists(f.dir.path() + "/refused.cue"));
  }
}

TEST(AudioImage, AnExistingImageOrSheetIsLeftUntouchedAndTheJobFails) {
  TempDir dir;
  const std::vector<std::string> wavs{testing::MakeWav(dir, "a.wav", std::string(4, 'x'))};
  dir.WriteFile("old.cue", "mine");
  JobEventRecorder events;
  RunImage({dir.path() + "/old.bin", 1, wavs}, &events);
  EXPECT_EQ(events.Errors(), std::vector<std::int32_t>{1001});
  EXPECT_TRUE(events.EndedWithError()) << "a refused image is no success";
  EXPECT_FALSE(fs::exists(dir.path() + "/old.bin"));
  EXPECT_EQ(ReadWholeFile(dir.path() + "/old.cue"), "mine");

  dir.WriteFile("img.bin", "keep");
  JobEventRecorder again;
  RunImage({dir.path() + "/img.bin", 1, wavs}, &again);
  EXPECT_EQ(again.Errors(), std::vector<std::int32_t>{1001});
  EXPECT_EQ(ReadWholeFile(dir.path() + "/img.bin"), "keep");
  EXPECT_FALSE(fs::exists(dir.path() + "/img.cue")) << "no sheet is written for a refused image";

  JobEventRecorder self;
  RunImage({dir.path() + "/x.cue", 1, wavs}, &self);
  EXPECT_EQ(self.Errors(), std::vector<std::int32_t>{1001});
  EXPECT_FALSE(fs::exists(dir.path() + "/x.cue"));
}

TEST(AudioImage, AnEmptyListWritesNoFileAndFails) {
  TempDir dir;
  for (int mode : {0, 1}) {
    JobEventRecorder events;
    RunImage({dir.path() + "/empty.bin", mode, {}}, &events);
    EXPECT_TRUE(events.EndedWithError());
    EXPECT_NE(events.Descriptions().find("empty"), std::string::npos);
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(AudioImage, ACancelStopsBetweenBlocksAndTheEndSaysSo) {
  TempDir dir;
  const std::vector<std::string> wavs{testing::MakeWav(dir, "a.wav", testing::PatternPcm(2352 * 100))};
  std::atomic<bool> cancel{false};
  JobEventRecorder events;
  events.on_event = [&](const testing::JobEvent& e) {
    if (e.kind == testing::JobEvent::kProcess && e.a == 21) cancel = true;
  };
  RunImage({dir.path() + "/c.bin", 1, wavs}, &events, &cancel);
  ASSERT_EQ(events.EndCount(), 1);
  EXPECT_TRUE(events.EndedCanceled());
  EXPECT_FALSE(events.EndedWithError());
  EXPECT_FALSE(fs::exists(dir.path() + "/c.bin")) << "a cut image is not left under the user's name";
  EXPECT_FALSE(fs::exists(dir.path() + "/c.cue"));
}

TEST(AudioImage, AnImageNameTakenByALinkIsLeftAlone) {
  TempDir dir;
  const std::vector<std::string> wavs{testing::MakeWav(dir, "a.wav", testing::PatternPcm(2352 * 3))};
  fs::create_symlink(dir.path() + "/nowhere", dir.path() + "/link.bin");
  JobEventRecorder events;
  RunImage({dir.path() + "/link.bin", 0, wavs}, &events);
  EXPECT_TRUE(events.EndedWithError());
  EXPECT_EQ(events.Errors(), std::vector<std::int32_t>{1001});
  EXPECT_FALSE(fs::exists(dir.path() + "/nowhere")) << "the link is not followed";
}

TEST(AudioImage, AWriteErrorIsReportedAndTheImageIsNoSuccess) {
  TempDir dir;
  const std::vector<std::string> wavs{testing::MakeWav(dir, "a.wav", testing::PatternPcm(2352 * 200))};
  // A file size limit makes the image's writes fail part way, as a full disk does.
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 100 * 2352;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  JobEventRecorder events;
  RunImage({dir.path() + "/limited.bin", 1, wavs}, &events);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  EXPECT_TRUE(events.EndedWithError());
  EXPECT_EQ(events.EndCount(), 1);
  EXPECT_NE(events.Descriptions().find("limited.bin"), std::string::npos) << events.Descriptions();
  EXPECT_FALSE(fs::exists(dir.path() + "/limited.bin")) << "a cut image is not left under the user's name";
  EXPECT_FALSE(fs::exists(dir.path() + "/limited.cue"));
}

TEST(AudioTable, TwoFilesOf1000044BytesGiveTheKnownStartsAndLengths) {
  WavLayout layout;
  layout.data_bytes = 1000000;
  const std::vector<AudioSource> sources{{"a", layout, 426}, {"b", layout, 426}};
  const auto t = AudioTrackTable(sources);
  EXPECT_EQ(t[8], 1);
  EXPECT_EQ(t[8 + 17], 2);
  EXPECT_EQ(platform::GetLe16(&t[8 + 17 + 1]), 576);
  EXPECT_EQ(platform::GetLe16(&t[8 + 17 + 9]), 426);
}

}  // namespace
}  // namespace zephrel
