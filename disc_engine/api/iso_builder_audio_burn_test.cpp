// Burner_BurnAudio on emulated CD writers: what the medium holds afterwards,
// read back with READ CD, and the events and errors of each way it can end.
#include <gtest/gtest.h>

#include "api/engine_testutil.h"
#include "audio/audio_burn_job.h"
#include "audio/audio_testutil.h"
#include "jobs/job_clock_testutil.h"
#include "platform/byte_order.h"
#include "platform/emulated_drive.h"
#include "platform/scsi_policy.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;
using platform::EmulatedDrive;
using platform::InjectedFault;
using platform::MediumSpec;
using testing::RecordedEvent;
using testing::TempDir;

constexpr std::uint32_t kGap = platform::mmc::kCdTaoTrackGap;

class AudioBurnTest : public testing::ISOBuilderTest {
 protected:
  void TearDown() override {
    builder_->Burner_ClearWavFile();
    testing::ISOBuilderTest::TearDown();
    source_.reset();
  }

  // One emulated writer with a blank medium of profile, the engine's drive 0.
  void InsertBlank(std::uint16_t profile, std::uint32_t capacity = 20000) {
    platform::MediumSpec medium;
    medium.profile = profile;
    medium.capacity = capacity;
    std::string error;
    const fs::path folder = fs::path(dir_.path()) / "drive";
    ASSERT_TRUE(EmulatedDrive::Create(folder, {}, &medium, &error)) << error;
    std::unique_ptr<EmulatedDrive> drive = EmulatedDrive::Open(folder, &error);
    ASSERT_TRUE(drive) << error;
    drive->SetStrict(true);
    drive_ = drive.get();
    auto holder = std::make_shared<std::unique_ptr<EmulatedDrive>>(std::move(drive));
    source_.emplace([holder] {
      platform::ScanResult scan;
      if (*holder) scan.devices.push_back(platform::WithTransportPolicy(std::move(*holder)));
      return scan;
    });
    builder_->Burner_Init();
    std::int16_t count = 0;
    builder_->Burner_DriveCount(count);
    ASSERT_EQ(count, 1);
  }

  // A new engine and no drive, for the next case of a table.
  void NextCase() {
    builder_->Burner_ClearWavFile();
    builder_->UnloadCom();
    builder_ = CreateISOBuilder();
    source_.reset();
    pcm_.clear();
    fs::remove_all(fs::path(dir_.path()) / "drive");
  }

  std::string AddWav(const std::string& name, std::size_t pcm_bytes, unsigned seed) {
    const std::string pcm = testing::PatternPcm(pcm_bytes, seed);
    pcm_.push_back(pcm);
    const std::string path = testing::MakeWav(dir_, name, pcm, 1, 2, 44100, 16, seed == 2);
    builder_->Burner_AddWavFile(path);
    return path;
  }

  std::vector<RecordedEvent> Burn(std::int32_t multisession = 0, std::int32_t fake = 0,
                                  std::int32_t proof = 0) {
    auto sink = std::make_shared<testing::RecordingSink>();
    EXPECT_EQ(builder_->Advise(sink, &cookie_), platform::S_OK);
    if (hook_) sink->SetHook(hook_);
    builder_->Burner_BurnAudio(0, multisession, fake, proof);
    EXPECT_TRUE(sink->WaitFor(kBurnerOnEndBurn));
    auto events = sink->events();
    builder_->Unadvise(cookie_);
    Reload();
    return events;
  }

  // Closes the tray that a finished burn opened and takes the drive's unit
  // attention, so the medium can be read back.
  void Reload() {
    drive_->CloseTray();
    const std::uint8_t tur[6] = {};
    drive_->exec(tur, platform::DataDirection::kNone, {}, std::chrono::seconds(5));
  }

  static std::vector<std::int32_t> EndArgs(const std::vector<RecordedEvent>& events) {
    EXPECT_FALSE(events.empty());
    if (events.empty() || events.back().id != kBurnerOnEndBurn) return {};
    return {events.back().args[0].i4(), events.back().args[1].i4(), events.back().args[2].i4()};
  }
  static std::vector<std::int32_t> Errors(const std::vector<RecordedEvent>& events) {
    std::vector<std::int32_t> errors;
    for (const auto& e : events)
      if (e.id == kBurnerOnError) errors.push_back(e.args[0].i4());
    return errors;
  }
  static std::string Descriptions(const std::vector<RecordedEvent>& events) {
    std::string text;
    for (const auto& e : events)
      if (e.id == kBurningErrorViewDescription) text += e.args[0].str() + "\n";
    return text;
  }
  bool WroteAnything() const {
    for (const auto& c : drive_->CommandLog())
      if (c.cdb[0] == platform::mmc::kWrite10) return true;
    return false;
  }

  platform::ScsiResult ReadCd(std::uint32_t lba, std::uint32_t count, std::vector<std::uint8_t>* out) {
    out->assign(count * 2352, 0);
    const std::uint8_t cdb[12] = {0xBE,
                                  0x04,
                                  std::uint8_t(lba >> 24),
                                  std::uint8_t(lba >> 16),
                                  std::uint8_t(lba >> 8),
                                  std::uint8_t(lba),
                                  0,
                                  std::uint8_t(count >> 8),
                                  std::uint8_t(count),
                                  0xF8,
                                  0,
                                  0};
    return drive_->exec(cdb, platform::DataDirection::kIn, *out, std::chrono::seconds(5));
  }
  std::vector<std::uint8_t> Info(std::uint8_t op, std::uint32_t track = 0) {
    std::vector<std::uint8_t> d(48, 0);
    std::uint8_t cdb[10] = {op,
                            std::uint8_t(op == 0x52 ? 1 : 0),
                            std::uint8_t(track >> 24),
                            std::uint8_t(track >> 16),
                            std::uint8_t(track >> 8),
                            std::uint8_t(track),
                            0,
                            0,
                            48,
                            0};
    EXPECT_TRUE(drive_->exec(cdb, platform::DataDirection::kIn, d, std::chrono::seconds(5)).ok());
    return d;
  }

  TempDir dir_;
  EmulatedDrive* drive_ = nullptr;
  std::optional<testing::ScopedDriveSource> source_;
  std::vector<std::string> pcm_;
  std::function<void(const RecordedEvent&)> hook_;
  platform::Cookie cookie_ = 0;
};

std::uint32_t Be32(const std::vector<std::uint8_t>& d, std::size_t at) { return platform::GetBe32(&d[at]); }

TEST_F(AudioBurnTest, EachWavBecomesATrackWithItsPcmAtTheReportedAddressesAndTheDiscIsClosed) {
  InsertBlank(platform::mmc::kProfileCdR);
  AddWav("one 日本.wav", 2352 * 310, 1);
  AddWav("two é.wav", 2352 * 27 * 12 + 1, 2);  // 325 sectors: twelve blocks and a single one
  AddWav("three.wav", 2352 * 302, 3);
  const std::uint32_t sectors[] = {310, 325, 302};
  const auto events = Burn();
  EXPECT_EQ(EndArgs(events), (std::vector<std::int32_t>{0, 0, 0})) << Descriptions(events);
  EXPECT_EQ(Descriptions(events), "");

  std::vector<std::int32_t> closed, starts;
  std::vector<std::int32_t> kinds;
  for (const auto& e : events) {
    if (e.id == kOnBuildingProcess) {
      if (e.args[0].i4() == 20) {
        starts.push_back(e.args[1].i4());
        EXPECT_EQ(e.args[3].i4(), sectors[starts.size() - 1]) << "FileSize: the track's sectors";
        EXPECT_EQ(e.args[5].i4(), 310 + 325 + 302) << "the sectors of all tracks";
      }
      kinds.push_back(e.args[0].i4());
    }
    if (e.id == kBurnerCloseTrack) closed.push_back(e.args[0].i4());
  }
  EXPECT_EQ(starts, (std::vector<std::int32_t>{1, 2, 3}));
  EXPECT_EQ(closed, (std::vector<std::int32_t>{1, 2, 3}));
  ASSERT_FALSE(kinds.empty());
  EXPECT_EQ(kinds.front(), 20);
  std::size_t close_session = 0;
  for (const auto& e : events)
    if (e.id == kBurnerCloseSession) {
      ++close_session;
      EXPECT_EQ(e.args[0].i4(), 1);
    }
  EXPECT_EQ(close_session, 1u);

  // The medium: three audio tracks spaced by the link and the pregap.
  std::uint32_t start = 0;
  for (int t = 0; t < 3; ++t) {
    const auto info = Info(0x52, t + 1);
    EXPECT_EQ(Be32(info, 8), start) << "track " << t + 1;
    EXPECT_EQ(Be32(info, 24), sectors[t]);
    std::vector<std::uint8_t> back;
    ASSERT_TRUE(ReadCd(start, sectors[t], &back).ok());
    std::vector<std::uint8_t> expected(pcm_[t].begin(), pcm_[t].end());
    expected.resize(sectors[t] * 2352, 0);  // the last sector padded with zeros
    EXPECT_EQ(back, expected) << "track " << t + 1;
    start += sectors[t] + kGap;
  }
  EXPECT_EQ(Info(0x51)[2] & 0x03, 2) << "without multisession the disc is complete";
  // Blocks of 27 sectors while that many remain, then single sectors.
  std::vector<std::uint32_t> counts, expected_counts;
  for (const auto& c : drive_->CommandLog())
    if (c.cdb[0] == platform::mmc::kWrite10) counts.push_back(std::uint32_t(c.cdb[7]) << 8 | c.cdb[8]);
  for (const std::uint32_t n : sectors) {
    expected_counts.insert(expected_counts.end(), n / 27, 27);
    expected_counts.insert(expected_counts.end(), n % 27, 1);
  }
  EXPECT_EQ(counts, expected_counts);
  bool ejected = false;
  for (const auto& c : drive_->CommandLog())
    ejected = ejected || (c.cdb[0] == 0x1B && (c.cdb[4] & 0x03) == 0x02);
  EXPECT_TRUE(ejected);
}

// A track shorter than four seconds (300 sectors) is followed by silence up
// to that length, and the user is told which one.
struct ShortTrackCase {
  const char* name;
  std::vector<std::size_t> pcm_bytes;  // one WAV file each
  std::vector<bool> padded;
};

const ShortTrackCase kShortTrackCases[] = {
    {"one sector", {2352}, {true}},
    {"one byte", {4}, {true}},
    {"299 sectors", {2352 * 299}, {true}},
    {"300 sectors", {2352 * 300}, {false}},
    {"four seconds less one sample fill 300 sectors", {2352 * 300 - 4}, {false}},
    {"a short track between two long ones", {2352 * 310, 2352 * 2 + 8, 2352 * 305}, {false, true, false}},
};

TEST_F(AudioBurnTest, ATrackShorterThanFourSecondsIsFollowedBySilenceUpToFourSecondsAndTheUserIsTold) {
  for (const ShortTrackCase& c : kShortTrackCases) {
    SCOPED_TRACE(c.name);
    InsertBlank(platform::mmc::kProfileCdR);
    std::vector<std::string> paths;
    std::vector<std::uint32_t> sectors;
    std::uint32_t total = 0;
    for (std::size_t t = 0; t < c.pcm_bytes.size(); ++t) {
      paths.push_back(AddWav("track " + std::to_string(t + 1) + " é.wav", c.pcm_bytes[t], unsigned(t + 1)));
      sectors.push_back(std::max<std::uint32_t>(std::uint32_t((c.pcm_bytes[t] + 2351) / 2352), 300));
      total += sectors.back();
    }
    const auto events = Burn();
    EXPECT_EQ(EndArgs(events), (std::vector<std::int32_t>{0, 0, 0})) << Descriptions(events);
    EXPECT_TRUE(Errors(events).empty());
    // One text for each short track, naming its file, before anything is written.
    std::vector<std::string> texts;
    for (const auto& e : events) {
      if (e.id == kBurningErrorViewDescription) texts.push_back(e.args[0].str());
      if (e.id == kOnBuildingProcess && e.args[0].i4() == 20) {
        EXPECT_EQ(e.args[3].i4(), std::int32_t(sectors[e.args[1].i4() - 1]))
            << "FileSize: the sectors written";
        EXPECT_EQ(e.args[5].i4(), std::int32_t(total));
      }
    }
    std::size_t text = 0;
    for (std::size_t t = 0; t < paths.size(); ++t) {
      if (!c.padded[t]) continue;
      ASSERT_LT(text, texts.size()) << "track " << t + 1;
      EXPECT_NE(texts[text].find(paths[t]), std::string::npos) << texts[text];
      EXPECT_NE(texts[text].find("4"), std::string::npos) << texts[text];
      ++text;
    }
    EXPECT_EQ(text, texts.size()) << Descriptions(events);
    // The medium: each track at least 300 sectors, its sound then silence.
    std::uint32_t start = 0;
    for (std::size_t t = 0; t < paths.size(); ++t) {
      const auto info = Info(0x52, std::uint32_t(t + 1));
      EXPECT_EQ(Be32(info, 8), start) << "track " << t + 1;
      EXPECT_EQ(Be32(info, 24), sectors[t]) << "track " << t + 1;
      std::vector<std::uint8_t> back;
      ASSERT_TRUE(ReadCd(start, sectors[t], &back).ok());
      std::vector<std::uint8_t> expected(pcm_[t].begin(), pcm_[t].end());
      expected.resize(sectors[t] * 2352, 0);
      EXPECT_TRUE(back == expected) << "track " << t + 1;
      start += sectors[t] + kGap;
    }
    EXPECT_EQ(Info(0x51)[2] & 0x03, 2) << "the disc is complete";
    NextCase();
  }
}

TEST_F(AudioBurnTest, AutomationTrueTurnsEverySwitchOnSoASimulationWritesNothing) {
  InsertBlank(platform::mmc::kProfileCdRw);
  AddWav("a.wav", 2352 * 10, 1);
  const auto events = Burn(-1, -1, -1);
  EXPECT_EQ(EndArgs(events), (std::vector<std::int32_t>{0, 0, 0})) << Descriptions(events);
  EXPECT_TRUE(WroteAnything());
  EXPECT_EQ(Info(0x51)[2] & 0x03, 0) << "a test write leaves the disc blank";
}

TEST_F(AudioBurnTest, ADvdInTheDriveGives1010AndTouchesNothing) {
  InsertBlank(platform::mmc::kProfileDvdPlusR);
  AddWav("a.wav", 2352, 1);
  const auto events = Burn();
  EXPECT_EQ(Errors(events), std::vector<std::int32_t>{1010});
  EXPECT_EQ(EndArgs(events), (std::vector<std::int32_t>{0, 1, 0}));
  EXPECT_FALSE(WroteAnything());
}

TEST_F(AudioBurnTest, AWavThatIsNotCdAudioGives1011BeforeAnythingIsWritten) {
  InsertBlank(platform::mmc::kProfileCdR);
  AddWav("a.wav", 2352 * 5, 1);
  builder_->Burner_AddWavFile(testing::MakeWav(dir_, "mono.wav", "abcd", 1, 1, 44100, 16));
  const auto events = Burn();
  EXPECT_EQ(Errors(events), std::vector<std::int32_t>{1011});
  EXPECT_NE(Descriptions(events).find("mono.wav"), std::string::npos) << Descriptions(events);
  EXPECT_EQ(EndArgs(events), (std::vector<std::int32_t>{0, 1, 0}));
  EXPECT_FALSE(WroteAnything());
}

TEST_F(AudioBurnTest, AFailedWriteGives1012WithTheSenseTextAndTheTrackIsClosed) {
  InsertBlank(platform::mmc::kProfileCdR);
  AddWav("a.wav", 2352 * 60, 1);
  drive_->InjectFault({platform::mmc::kWrite10, 30, 40, 1000, 0x03, 0x0C, 0x00});  // past the retries
  const auto events = Burn();
  EXPECT_EQ(Errors(events), std::vector<std::int32_t>{1012});
  EXPECT_NE(Descriptions(events).find("Write Error"), std::string::npos) << Descriptions(events);
  EXPECT_EQ(EndArgs(events), (std::vector<std::int32_t>{0, 0, 1}));
  std::size_t close_track = 0, close_session = 0;
  for (const auto& e : events) {
    close_track += e.id == kBurnerCloseTrack;
    close_session += e.id == kBurnerCloseSession;
  }
  EXPECT_EQ(close_track, 1u);
  EXPECT_EQ(close_session, 0u) << "the session stays open";
}

TEST_F(AudioBurnTest, RefusedWriteParametersGive1013) {
  InsertBlank(platform::mmc::kProfileCdR);
  AddWav("a.wav", 2352, 1);
  drive_->InjectFault({platform::mmc::kModeSelect10, 0, 0xFFFFFFFFu, 1, 0x05, 0x26, 0x02});
  const auto events = Burn();
  EXPECT_EQ(Errors(events), std::vector<std::int32_t>{1013});
  EXPECT_EQ(EndArgs(events), (std::vector<std::int32_t>{0, 0, 1}));
  EXPECT_FALSE(WroteAnything());
}

TEST_F(AudioBurnTest, TheSpaceCheckCountsTheGapsSoOneSectorShortGives1015) {
  InsertBlank(platform::mmc::kProfileCdR, 400 + 350 + kGap - 1);
  AddWav("a.wav", 2352 * 400, 1);
  AddWav("b.wav", 2352 * 350, 2);
  const auto events = Burn();
  EXPECT_EQ(Errors(events), std::vector<std::int32_t>{1015});
  EXPECT_EQ(EndArgs(events), (std::vector<std::int32_t>{0, 1, 0}));
  EXPECT_FALSE(WroteAnything());
}

TEST_F(AudioBurnTest, ADiscThatHoldsTheTracksAndGapsExactlyIsBurned) {
  InsertBlank(platform::mmc::kProfileCdR, 400 + 350 + kGap);
  AddWav("a.wav", 2352 * 400, 1);
  AddWav("b.wav", 2352 * 350, 2);
  const auto events = Burn();
  EXPECT_EQ(EndArgs(events), (std::vector<std::int32_t>{0, 0, 0})) << Descriptions(events);
  EXPECT_EQ(AudioDiscSectors({400, 350}), 400 + 350 + kGap);
}

TEST_F(AudioBurnTest, TheSpaceCheckCountsAShortTrackWithItsSilence) {
  for (const std::uint32_t spare : {0u, 1u}) {
    SCOPED_TRACE(spare);
    InsertBlank(platform::mmc::kProfileCdR, 300 + 300 + kGap - 1 + spare);
    AddWav("short.wav", 2352 * 10, 1);
    AddWav("b.wav", 2352 * 300, 2);
    const auto events = Burn();
    if (spare) {
      EXPECT_EQ(EndArgs(events), (std::vector<std::int32_t>{0, 0, 0})) << Descriptions(events);
    } else {
      EXPECT_EQ(Errors(events), std::vector<std::int32_t>{1015});
      EXPECT_EQ(EndArgs(events), (std::vector<std::int32_t>{0, 1, 0}));
      EXPECT_FALSE(WroteAnything());
    }
    NextCase();
  }
}

TEST_F(AudioBurnTest, ACompleteDiscGives1015) {
  InsertBlank(platform::mmc::kProfileCdR);
  AddWav("a.wav", 2352 * 5, 1);
  EXPECT_EQ(EndArgs(Burn()), (std::vector<std::int32_t>{0, 0, 0}));
  drive_->ClearCommandLog();
  const auto events = Burn();
  EXPECT_EQ(Errors(events), std::vector<std::int32_t>{1015});
  EXPECT_EQ(EndArgs(events), (std::vector<std::int32_t>{0, 1, 0}));
  EXPECT_FALSE(WroteAnything());
}

TEST_F(AudioBurnTest, AnEmptyListIsRefusedWithoutTouchingTheDisc) {
  InsertBlank(platform::mmc::kProfileCdR);
  const auto events = Burn();
  EXPECT_EQ(EndArgs(events), (std::vector<std::int32_t>{0, 0, 1}));
  EXPECT_NE(Descriptions(events).find("empty"), std::string::npos);
  EXPECT_FALSE(WroteAnything());
  for (const auto& c : drive_->CommandLog()) EXPECT_NE(c.cdb[0], platform::mmc::kCloseTrackSession);
}

TEST_F(AudioBurnTest, MultisessionLeavesTheDiscAppendable) {
  InsertBlank(platform::mmc::kProfileCdR);
  AddWav("a.wav", 2352 * 5, 1);
  EXPECT_EQ(EndArgs(Burn(1)), (std::vector<std::int32_t>{0, 0, 0}));
  EXPECT_EQ(Info(0x51)[2] & 0x03, 1);
}

TEST_F(AudioBurnTest, ADriveThatStaysBusyEndsTheJobWithTheErrorFlagAfterABoundedWait) {
  auto clock = std::make_shared<testing::ManualJobClock>();
  testing::ScopedJobClock scoped(clock);
  InsertBlank(platform::mmc::kProfileCdR);
  AddWav("a.wav", 2352 * 5, 1);
  hook_ = [this](const RecordedEvent& e) {
    if (e.id == kBurnerCloseTrack) drive_->BecomeNotReady(1000000);
  };
  const auto events = Burn();
  EXPECT_EQ(EndArgs(events), (std::vector<std::int32_t>{0, 0, 1}));
  EXPECT_NE(Descriptions(events).find("busy"), std::string::npos) << Descriptions(events);
  EXPECT_GE(clock->Elapsed(), kAudioDriveBusyLimit);
  EXPECT_LE(clock->Elapsed(), kAudioDriveBusyLimit + std::chrono::seconds(1));
}

TEST_F(AudioBurnTest, ACancelBetweenBlocksEndsWithTheCancelFlagAndTheTrackClosed) {
  InsertBlank(platform::mmc::kProfileCdR);
  AddWav("a.wav", 2352 * 27 * 5, 1);
  AddWav("b.wav", 2352 * 5, 2);
  hook_ = [this](const RecordedEvent& e) {
    if (e.id == kOnBuildingProcess && e.args[0].i4() == 21) builder_->CancelBurn();
  };
  const auto events = Burn();
  EXPECT_EQ(EndArgs(events), (std::vector<std::int32_t>{0, 1, 0}));
  std::size_t close_track = 0;
  for (const auto& e : events) close_track += e.id == kBurnerCloseTrack;
  EXPECT_EQ(close_track, 1u);
}

}  // namespace
}  // namespace zephrel
