// Ripping a pressed CD in an emulated drive, checked with independent readers.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <optional>

#include "api/engine_testutil.h"
#include "audio/disc_testutil.h"
#include "drive/toc.h"
#include "platform/emulated_drive.h"
#include "testing/tools.h"
#include "zephrel/iso_builder.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;
using vantora::testing::RunTool;

// Every file the process writes is cut at bytes while it lives, as on a disk
// that is full; the write past it fails with "File too large".
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = old_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~ScopedFileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, previous_);
  }

 private:
  struct rlimit old_ {};
  void (*previous_)(int) = nullptr;
};

// A pressed CD in drive 0 with its table of contents read; app_ is an
// application folder for the ripper's settings.
class DiscRip : public testing::ISOBuilderTest {
 protected:
  void Insert(testing::PressedDisc& disc) {
    ASSERT_TRUE(disc.ok());
    app_ = disc.folder() / "app \xC3\xA9";
    fs::create_directories(app_);
    builder_->Burner_Init();
    std::int32_t count = 0;
    builder_->AudioRip_GetNbTracks(0, count);
    tracks_ = count;
  }
  void TearDown() override {
    testing::ISOBuilderTest::TearDown();
    TrackList::Process().Clear();
  }
  fs::path app_;
  int tracks_ = 0;
};

TEST_F(DiscRip, ABinCueRipEqualsTheSourceAndItsSheetReadsBack) {
  testing::PressedDisc disc({300, 451, 127});
  Insert(disc);
  ASSERT_EQ(tracks_, 3);
  auto sink = Advised();
  const fs::path image = disc.folder() / "ripped disc \xC3\xA9.bin";
  builder_->AudioRip_RipDiscAsImage(0, "", image.native(), 1);
  ASSERT_TRUE(sink->WaitFor(kRipperOnEndRip));
  EXPECT_TRUE(sink->Texts(kBurningErrorViewDescription).empty());
  EXPECT_TRUE(testing::FileBytes(image) == disc.AllPcm());
  const fs::path cue = disc.folder() / "ripped disc \xC3\xA9.cue";
  ASSERT_TRUE(fs::is_regular_file(cue));
  const auto info = RunTool({"cd-info", "--no-device-info", "--no-cddb", "--cue-file", cue.native()});
  ASSERT_EQ(info.exit_code, 0) << info.output;
  EXPECT_NE(info.output.find("CD-DA"), std::string::npos) << info.output;
  // The last percentage of every track was reported.
  int hundreds = 0;
  for (const auto& e : sink->events()) hundreds += e.id == kRipperOnRip && e.args[2].i4() == 100;
  EXPECT_EQ(hundreds, 3);
}

TEST_F(DiscRip, ACancelledRipOrAFullDiskLeavesNeitherTheCutImageNorItsSheet) {
  for (const bool full : {false, true}) {
    SCOPED_TRACE(full ? "the disk is full" : "cancelled");
    testing::PressedDisc disc({300, 451});
    Insert(disc);
    auto sink = Advised();
    if (!full) {
      sink->SetHook([this](const testing::RecordedEvent& e) {
        if (e.id == kRipperOnRip && e.args[2].i4() >= 50) builder_->CancelRip();
      });
    }
    const fs::path image = disc.folder() / "cut \xC3\xA9.bin";
    {
      std::optional<ScopedFileSizeLimit> limit;
      if (full) limit.emplace(2352 * 400 + 100);
      builder_->AudioRip_RipDiscAsImage(0, "", image.native(), 1);
      ASSERT_TRUE(sink->WaitFor(kRipperOnEndRip));
    }
    EXPECT_EQ(sink->Count(kRipperOnEndRip), 1u);
    EXPECT_FALSE(fs::exists(image));
    EXPECT_FALSE(fs::exists(disc.folder() / "cut \xC3\xA9.cue"));
    if (full) {
      const std::vector<std::string> texts = sink->Texts(kBurningErrorViewDescription);
      ASSERT_EQ(texts.size(), 1u);
      EXPECT_NE(texts[0].find("File too large"), std::string::npos) << texts[0];
    }
    builder_->UnloadCom();
    builder_ = CreateISOBuilder();
    TrackList::Process().Clear();
  }
}

TEST_F(DiscRip, AnImageThatExistsIsNotOverwritten) {
  testing::PressedDisc disc({20});
  Insert(disc);
  const fs::path image = disc.folder() / "mine.bin";
  std::ofstream(image) << "the user's own file";
  auto sink = Advised();
  builder_->AudioRip_RipDiscAsImage(0, "", image.native(), 1);
  ASSERT_TRUE(sink->WaitFor(kRipperOnEndRip));
  ASSERT_EQ(sink->Count(kBurnerOnError), 1u);
  for (const auto& e : sink->events()) {
    if (e.id == kBurnerOnError) {
      EXPECT_EQ(e.args[0].i4(), 1001);
    }
  }
  EXPECT_EQ(sink->events().back().id, kRipperOnEndRip);
  std::ifstream in(image);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "the user's own file");
}

// Rips of the selected tracks of a pressed CD into the output folder that the
// ripper's settings name below the application folder.
class TrackRip : public DiscRip {
 protected:
  void SelectAll() {
    for (int i = 0; i < tracks_; ++i) builder_->AudioRip_TrackSelected(i, std::int32_t{-1});
  }
  // The ripped file of track (1-based), with the default settings: artist and
  // album folders, "%N - %T".
  fs::path Ripped(int track, const std::string& extension) {
    char name[32];
    std::snprintf(name, sizeof name, "%02d - Track %02d.", track, track);
    return app_ / "My Music" / "Unknown" / "Unknown" / (name + extension);
  }
  // The header's data size and RIFF size, and the bytes after the header.
  static void ExpectWav(const fs::path& path, const std::vector<std::uint8_t>& pcm) {
    const std::vector<std::uint8_t> bytes = testing::FileBytes(path);
    ASSERT_GE(bytes.size(), 44u) << path.native();
    auto le32 = [&](std::size_t at) {
      return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 |
             std::uint32_t(bytes[at + 2]) << 16 | std::uint32_t(bytes[at + 3]) << 24;
    };
    EXPECT_EQ(le32(40), pcm.size());
    EXPECT_EQ(le32(4), pcm.size() + 36);
    EXPECT_TRUE(std::equal(bytes.begin() + 44, bytes.end(), pcm.begin(), pcm.end())) << path.native();
    const auto soxi = RunTool({"soxi", "-s", path.native()});
    EXPECT_EQ(soxi.exit_code, 0) << soxi.output;
    EXPECT_EQ(soxi.output, std::to_string(pcm.size() / 4) + "\n");
  }
};

TEST_F(TrackRip, WavFilesHoldThePcmBitExactWithTheirHeaders) {
  testing::PressedDisc disc({300, 451, 27});
  Insert(disc);
  ASSERT_EQ(tracks_, 3);
  SelectAll();
  auto sink = Advised();
  builder_->AudioRip_RipTrack(0, 0, app_.native(), 1);
  ASSERT_TRUE(sink->WaitFor(kRipperOnEndRip));
  EXPECT_TRUE(sink->Texts(kBurningErrorViewDescription).empty());
  for (int t = 0; t < 3; ++t) ExpectWav(Ripped(t + 1, "wav"), disc.pcm(t));
  EXPECT_EQ(sink->Count(kRipperOnStartRip), 3u);
  EXPECT_EQ(sink->events().back().id, kRipperOnEndRip);
}

TEST_F(TrackRip, ALinkOrFolderInTheOutputFolderIsNotWrittenThroughAndAnEarlierRipIsReplacedWhole) {
  testing::PressedDisc disc({30, 40, 20});
  Insert(disc);
  SelectAll();
  fs::create_directories(Ripped(1, "wav").parent_path());
  // Track 1: a link to a file outside the output folder; track 2: a folder;
  // track 3: an earlier rip of other bytes.
  const fs::path outside = app_ / "outside.txt";
  std::ofstream(outside) << "the user's own file\n";
  fs::create_symlink(outside, Ripped(1, "wav"));
  fs::create_directory(Ripped(2, "wav"));
  std::ofstream(Ripped(3, "wav")) << "an earlier rip\n";
  auto sink = Advised();
  builder_->AudioRip_RipTrack(0, 0, app_.native(), 1);
  ASSERT_TRUE(sink->WaitFor(kRipperOnEndRip));
  EXPECT_EQ(sink->Texts(kBurningErrorViewDescription),
            (std::vector<std::string>{
                "Track 1 is not ripped: " + Ripped(1, "wav").native() + " is a link, which is left as it is.",
                "Track 2 is not ripped: " + Ripped(2, "wav").native() +
                    " exists and is not a regular file, which is left as it is."}));
  EXPECT_EQ(testing::FileBytes(outside).size(), std::string("the user's own file\n").size());
  EXPECT_TRUE(fs::is_symlink(Ripped(1, "wav")));
  EXPECT_TRUE(fs::is_directory(Ripped(2, "wav")));
  ExpectWav(Ripped(3, "wav"), disc.pcm(2));
  for (const auto& entry : fs::directory_iterator(Ripped(1, "wav").parent_path()))
    EXPECT_EQ(entry.path().native().find(".part"), std::string::npos) << entry.path().native();
}

struct FullDiskCase {
  const char* name;
  std::vector<std::uint32_t> tracks;  // sectors of each track of the disc
  rlim_t limit;                       // bytes a file may hold
  std::vector<int> kept;              // sectors of each track's WAV, -1: no file
};

const FullDiskCase kFullDiskCases[] = {
    {"the disk fills inside a block", {40}, 44 + 2352 * 25 + 100, {20}},
    {"the disk fills at a block's end", {40}, 44 + 2352 * 30, {30}},
    {"the second track is cut, the first whole", {20, 100}, 44 + 2352 * 55, {20, 50}},
    {"no header can be written", {40, 30}, 20, {-1, -1}},
};

TEST_F(TrackRip, OnAFullDiskACutTrackIsAValidShorterWavAndATrackThatNeverStartedLeavesNoFile) {
  for (const FullDiskCase& c : kFullDiskCases) {
    SCOPED_TRACE(c.name);
    testing::PressedDisc disc(c.tracks);
    Insert(disc);
    SelectAll();
    auto sink = Advised();
    {
      ScopedFileSizeLimit full(c.limit);
      builder_->AudioRip_RipTrack(0, 0, app_.native(), 1);
      ASSERT_TRUE(sink->WaitFor(kRipperOnEndRip));
    }
    EXPECT_EQ(sink->Count(kRipperOnEndRip), 1u);
    std::size_t cut = 0;
    for (std::size_t t = 0; t < c.tracks.size(); ++t) {
      const fs::path wav = Ripped(int(t + 1), "wav");
      if (c.kept[t] < 0) {
        EXPECT_FALSE(fs::exists(wav)) << wav.native();
        ++cut;
        continue;
      }
      cut += std::uint32_t(c.kept[t]) < c.tracks[t];
      const auto& pcm = disc.pcm(t);
      ExpectWav(wav, std::vector<std::uint8_t>(pcm.begin(), pcm.begin() + c.kept[t] * 2352));
    }
    // Each cut track is named with the reason.
    const std::vector<std::string> texts = sink->Texts(kBurningErrorViewDescription);
    EXPECT_EQ(texts.size(), cut);
    for (const std::string& text : texts) EXPECT_NE(text.find("File too large"), std::string::npos) << text;
    if (fs::exists(Ripped(1, "wav").parent_path())) {
      for (const auto& entry : fs::directory_iterator(Ripped(1, "wav").parent_path()))
        EXPECT_EQ(entry.path().native().find(".part"), std::string::npos) << entry.path().native();
    }
    builder_->UnloadCom();
    builder_ = CreateISOBuilder();
    TrackList::Process().Clear();
  }
}

TEST_F(TrackRip, OnlyTracksSelectedWithTrueAreRipped) {
  testing::PressedDisc disc({20, 20, 20});
  Insert(disc);
  builder_->AudioRip_TrackSelected(0, std::int32_t{1});
  builder_->AudioRip_TrackSelected(2, std::int32_t{-1});
  auto sink = Advised();
  builder_->AudioRip_RipTrack(0, 0, app_.native(), 1);
  ASSERT_TRUE(sink->WaitFor(kRipperOnEndRip));
  EXPECT_FALSE(fs::exists(Ripped(1, "wav")));
  EXPECT_FALSE(fs::exists(Ripped(2, "wav")));
  ExpectWav(Ripped(3, "wav"), disc.pcm(2));
}

TEST_F(TrackRip, CancellingTrackTwoOfThreeLeavesAShorterValidWavAndRipsTrackThree) {
  testing::PressedDisc disc({100, 200, 50});
  Insert(disc);
  SelectAll();
  auto sink = Advised();
  sink->SetHook([this](const testing::RecordedEvent& e) {
    if (e.id == kRipperOnRip && e.args[1].i4() == 1 && e.args[2].i4() >= 50)
      builder_->CencelRipCurrentTrack();
  });
  builder_->AudioRip_RipTrack(0, 0, app_.native(), 1);
  ASSERT_TRUE(sink->WaitFor(kRipperOnEndRip));
  ExpectWav(Ripped(1, "wav"), disc.pcm(0));
  const std::vector<std::uint8_t> second = testing::FileBytes(Ripped(2, "wav"));
  ASSERT_GT(second.size(), 44u);
  const std::size_t written = second.size() - 44;
  EXPECT_LT(written, disc.pcm(1).size());
  EXPECT_EQ(written % 2352, 0u);
  ExpectWav(Ripped(2, "wav"), std::vector<std::uint8_t>(disc.pcm(1).begin(), disc.pcm(1).begin() + written));
  ExpectWav(Ripped(3, "wav"), disc.pcm(2));
}

TEST_F(TrackRip, ABadSectorEndsItsTrackWithTheTextAndAHeaderForWhatWasRead) {
  testing::PressedDisc disc({40, 30});
  ASSERT_TRUE(disc.ok());
  platform::EmulatedDrive* emulated = nullptr;
  testing::ScopedDriveSource source([&] {
    platform::ScanResult scan;
    std::string error;
    auto drive = platform::EmulatedDrive::Open(disc.drive_folder(), &error);
    emulated = drive.get();
    scan.devices.push_back(std::move(drive));
    return scan;
  });
  Insert(disc);
  ASSERT_NE(emulated, nullptr);
  platform::InjectedFault fault;
  fault.opcode = 0xBE;
  fault.first_lba = fault.last_lba = 23;
  fault.count = 100;
  fault.key = 0x03;
  fault.asc = 0x11;
  emulated->InjectFault(fault);
  SelectAll();
  auto sink = Advised();
  builder_->AudioRip_RipTrack(0, 0, app_.native(), 1);
  ASSERT_TRUE(sink->WaitFor(kRipperOnEndRip));
  const std::vector<std::string> texts = sink->Texts(kBurningErrorViewDescription);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].rfind("Read error at LBA 23: ", 0), 0u) << texts[0];
  ExpectWav(Ripped(1, "wav"),
            std::vector<std::uint8_t>(disc.pcm(0).begin(), disc.pcm(0).begin() + 23 * 2352));
  ExpectWav(Ripped(2, "wav"), disc.pcm(1));
}

TEST_F(TrackRip, OnACdExtraTheDataTrackIsSkippedAndTheLastAudioTrackKeepsItsOwnLength) {
  testing::PressedDisc disc({60, 45}, 30);
  Insert(disc);
  ASSERT_EQ(tracks_, 3);
  SelectAll();
  auto sink = Advised();
  builder_->AudioRip_RipTrack(0, 0, app_.native(), 1);
  ASSERT_TRUE(sink->WaitFor(kRipperOnEndRip));
  ExpectWav(Ripped(1, "wav"), disc.pcm(0));
  ExpectWav(Ripped(2, "wav"), disc.pcm(1));
  EXPECT_FALSE(fs::exists(Ripped(3, "wav")));
  const std::vector<std::string> texts = sink->Texts(kBurningErrorViewDescription);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], "Track 3 is a data track: it is not ripped");
  // The disc identifier still counts the data track and the TOC's lead-out.
  std::int32_t count = 0;
  builder_->CDDB_GetNbTrack(count);
  EXPECT_EQ(count, 3);
}

TEST_F(TrackRip, Mp3FilesAreTaggedWithTheDiscInformation) {
  testing::PressedDisc disc({200, 150});
  Insert(disc);
  SelectAll();
  builder_->CDDB_SetArtist("Art\xC3\xA9");
  builder_->CDDB_SetAlbum("Album");
  builder_->CDDB_SetYear("1999");
  builder_->CDDB_SetGenre("jazz");
  builder_->CDDB_SetTrackTitle(1, "First");
  builder_->CDDB_SetTrackTitle(2, "Second");
  auto sink = Advised();
  builder_->AudioRip_RipTrack(0, 0, app_.native(), 0);
  ASSERT_TRUE(sink->WaitFor(kRipperOnEndRip));
  ASSERT_TRUE(sink->Texts(kBurningErrorViewDescription).empty())
      << sink->Texts(kBurningErrorViewDescription)[0];
  const char* titles[] = {"First", "Second"};
  for (int t = 0; t < 2; ++t) {
    const fs::path mp3 = app_ / "My Music" / "Art\xC3\xA9" / "Album" /
                         ((t == 0 ? std::string("01 - ") : std::string("02 - ")) + titles[t] + ".mp3");
    ASSERT_TRUE(fs::is_regular_file(mp3)) << mp3.native();
    const auto info = RunTool({"mp3info", "-p", "%t|%l|%y|%c|%g", mp3.native()});
    EXPECT_EQ(info.exit_code, 0) << info.output;
    EXPECT_EQ(info.output, std::string(titles[t]) + "|Album|1999|Created by Zephrel|Jazz") << mp3.native();
  }
}

TEST_F(DiscRip, ATableModeRipPutsTheTrackTableBeforeTheSectors) {
  testing::PressedDisc disc({30, 20});
  Insert(disc);
  auto sink = Advised();
  const fs::path image = disc.folder() / "table.img";
  builder_->AudioRip_RipDiscAsImage(0, "", image.native(), 0);
  ASSERT_TRUE(sink->WaitFor(kRipperOnEndRip));
  EXPECT_TRUE(sink->Texts(kBurningErrorViewDescription).empty());
  EXPECT_FALSE(fs::exists(disc.folder() / "table.cue"));
  const std::vector<std::uint8_t> bytes = testing::FileBytes(image);
  ASSERT_EQ(bytes.size(), 4096 + 50 * 2352u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 3), "ZPX");
  EXPECT_EQ(bytes[7], 2);  // two tracks
  auto le32 = [&](std::size_t at) {
    return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 | std::uint32_t(bytes[at + 2]) << 16 |
           std::uint32_t(bytes[at + 3]) << 24;
  };
  EXPECT_EQ(le32(8 + 17 + 1), 150u + 30);  // track 2 by its start frame
  EXPECT_EQ(le32(8 + 17 + 9), 20u);
  EXPECT_TRUE(std::equal(bytes.begin() + 4096, bytes.end(), disc.AllPcm().begin()));
}

}  // namespace
}  // namespace zephrel
