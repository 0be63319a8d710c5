#include "audio/cd_rip.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "drive/mmc_commands.h"
#include "platform/cd_sector.h"
#include "platform/emulated_drive.h"
#include "platform/fileio.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;
constexpr std::size_t kSector = platform::kCdRawSectorSize;

struct MemorySink : RipSink {
  std::vector<std::uint8_t> bytes;
  std::vector<std::size_t> writes;
  bool Write(std::span<const std::uint8_t> data, std::string*) override {
    bytes.insert(bytes.end(), data.begin(), data.end());
    writes.push_back(data.size() / kSector);
    return true;
  }
};

struct FullSink : RipSink {
  bool Write(std::span<const std::uint8_t>, std::string* error) override {
    *error = "No space left on device";
    return false;
  }
};

// A pressed single-track audio CD of `sectors` sectors of pseudo-random PCM on
// an emulated drive.
class CdRipTest : public ::testing::Test {
 protected:
  void Press(std::uint32_t sectors) {
    platform::FileError error;
    temp_ = platform::TemporaryFolder::Create("cd-rip", &error);
    ASSERT_TRUE(temp_);
    pcm_.resize(sectors * kSector);
    std::mt19937 random(sectors);
    for (auto& b : pcm_) b = static_cast<std::uint8_t>(random());
    const fs::path content = temp_->path() / "pressed.pcm";
    std::ofstream(content, std::ios::binary).write(reinterpret_cast<const char*>(pcm_.data()), pcm_.size());
    platform::MediumSpec medium;
    medium.profile = platform::kProfileCdRom;
    medium.content = content;
    medium.content_is_audio = true;
    std::string text;
    ASSERT_TRUE(platform::EmulatedDrive::Create(temp_->path() / "drive", {}, &medium, &text)) << text;
    drive_ = platform::EmulatedDrive::Open(temp_->path() / "drive", &text);
    ASSERT_TRUE(drive_) << text;
    // Settle the unit attention of the inserted medium.
    const mmc::Cdb tur = mmc::TestUnitReady();
    drive_->exec(tur.span(), platform::DataDirection::kNone, {}, std::chrono::seconds(5));
    drive_->ClearCommandLog();
  }
  std::vector<std::uint32_t> ReadCdCounts() {
    std::vector<std::uint32_t> counts;
    for (const auto& c : drive_->CommandLog()) {
      if (c.cdb[0] == 0xBE) counts.push_back((c.cdb[6] << 16) | (c.cdb[7] << 8) | c.cdb[8]);
    }
    return counts;
  }
  void InjectReadError(std::uint32_t lba, int commands) {
    platform::InjectedFault fault;
    fault.opcode = 0xBE;
    fault.first_lba = lba;
    fault.last_lba = lba;
    fault.count = commands;
    fault.key = 0x03;
    fault.asc = 0x11;
    fault.ascq = 0x00;
    drive_->InjectFault(fault);
  }

  std::optional<platform::TemporaryFolder> temp_;
  std::unique_ptr<platform::EmulatedDrive> drive_;
  std::vector<std::uint8_t> pcm_;
  std::atomic<bool> rip_cancel_{false}, track_cancel_{false};
};

TEST_F(CdRipTest, ATrackIsReadInBlocksOfTenThenSingleSectorsBitExact) {
  Press(25);
  CdAudioReader reader(*drive_);
  MemorySink sink;
  std::vector<int> percents;
  const TrackRipResult result =
      RipTrackSectors(reader, 0, 25, sink, rip_cancel_, track_cancel_, [&](int p) { percents.push_back(p); });
  EXPECT_FALSE(result.error);
  EXPECT_EQ(result.sectors_done, 25u);
  EXPECT_EQ(ReadCdCounts(), (std::vector<std::uint32_t>{10, 10, 1, 1, 1, 1, 1}));
  EXPECT_TRUE(sink.bytes == pcm_);
  EXPECT_EQ(percents, (std::vector<int>{40, 80, 84, 88, 92, 96, 100}));
}

TEST_F(CdRipTest, AFailedBlockIsReadAgainSectorBySector) {
  Press(30);
  InjectReadError(14, 1);  // only the ten-sector read fails
  CdAudioReader reader(*drive_);
  MemorySink sink;
  const TrackRipResult result = RipTrackSectors(reader, 0, 30, sink, rip_cancel_, track_cancel_, {});
  EXPECT_FALSE(result.error);
  EXPECT_TRUE(sink.bytes == pcm_);
  // Two blocks (the second failing), its ten sectors again, then the last ten one by one.
  EXPECT_EQ(ReadCdCounts().size(), 2u + 10u + 10u);
}

TEST_F(CdRipTest, ASectorThatStaysBadEndsTheTrackWithItsAddressAndSense) {
  Press(30);
  InjectReadError(14, 2);
  CdAudioReader reader(*drive_);
  MemorySink sink;
  const TrackRipResult result = RipTrackSectors(reader, 0, 30, sink, rip_cancel_, track_cancel_, {});
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->rfind("Read error at LBA 14: ", 0), 0u) << *result.error;
  EXPECT_GT(result.error->size(), std::string("Read error at LBA 14: ").size());
  EXPECT_EQ(result.sectors_done, 14u);
  EXPECT_TRUE(std::equal(sink.bytes.begin(), sink.bytes.end(), pcm_.begin()));
  EXPECT_EQ(sink.bytes.size(), 14 * kSector);
}

TEST_F(CdRipTest, TheTrackCancelFlagEndsTheTrackBetweenBlocks) {
  Press(40);
  CdAudioReader reader(*drive_);
  MemorySink sink;
  const TrackRipResult result =
      RipTrackSectors(reader, 0, 40, sink, rip_cancel_, track_cancel_, [&](int) { track_cancel_ = true; });
  EXPECT_TRUE(result.canceled);
  EXPECT_EQ(result.sectors_done, 10u);
}

TEST_F(CdRipTest, ASinkThatFailsEndsTheTrackWithItsText) {
  Press(12);
  CdAudioReader reader(*drive_);
  FullSink sink;
  const TrackRipResult result = RipTrackSectors(reader, 0, 12, sink, rip_cancel_, track_cancel_, {});
  EXPECT_EQ(result.error, "No space left on device");
}

TEST_F(CdRipTest, ADiscRipWritesZerosForABadSectorAndGoesOn) {
  Press(40);
  InjectReadError(17, 2);
  CdToc toc;
  toc.tracks = {{1, 150, 0, 0}};
  toc.lead_out = 150 + 40;
  CdAudioReader reader(*drive_);
  MemorySink sink;
  std::vector<std::string> errors;
  std::vector<std::pair<int, int>> progress;
  const DiscRipResult result = RipDiscSectors(
      reader, toc, sink, rip_cancel_, [&](int t, int p) { progress.emplace_back(t, p); },
      [&](const std::string& text) { errors.push_back(text); });
  EXPECT_FALSE(result.error);
  EXPECT_EQ(result.sectors_done, 40u);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("Read error at LBA 17: ", 0), 0u);
  std::vector<std::uint8_t> expected = pcm_;
  std::fill_n(expected.begin() + 17 * kSector, kSector, 0);
  EXPECT_TRUE(sink.bytes == expected);
  EXPECT_EQ(progress.back(), std::make_pair(0, 100));
}

TEST_F(CdRipTest, ADiscRipEndsAtTheLeadOutNotPastIt) {
  Press(25);
  CdToc toc;
  toc.tracks = {{1, 150, 0, 0}};
  toc.lead_out = 150 + 25;
  CdAudioReader reader(*drive_);
  MemorySink sink;
  const DiscRipResult result = RipDiscSectors(reader, toc, sink, rip_cancel_, {}, {});
  EXPECT_FALSE(result.error);
  EXPECT_TRUE(sink.bytes == pcm_);
}

TEST_F(CdRipTest, ADiscRipGivesUpAfterTwentyBadSectorsInATrack) {
  Press(60);
  platform::InjectedFault fault;
  fault.opcode = 0xBE;
  fault.first_lba = 5;
  fault.last_lba = 40;
  fault.count = 1000;
  fault.key = 0x03;
  fault.asc = 0x11;
  drive_->InjectFault(fault);
  CdToc toc;
  toc.tracks = {{1, 150, 0, 0}};
  toc.lead_out = 150 + 60;
  CdAudioReader reader(*drive_);
  MemorySink sink;
  int errors = 0;
  const DiscRipResult result =
      RipDiscSectors(reader, toc, sink, rip_cancel_, {}, [&](const std::string&) { ++errors; });
  ASSERT_TRUE(result.error);
  EXPECT_EQ(errors, kDiscRipBadSectorLimit);
  EXPECT_EQ(result.error->rfind("Read error at LBA 24: ", 0), 0u) << *result.error;
}

TEST(CdRipExtra, ADiscRipOfACdExtraWritesTheSessionGapAsZerosWithoutReadingIt) {
  platform::FileError error;
  auto temp = platform::TemporaryFolder::Create("cd-extra", &error);
  ASSERT_TRUE(temp);
  std::vector<std::uint8_t> pcm(30 * kSector), data(20 * 2048);
  std::mt19937 random(7);
  for (auto& b : pcm) b = static_cast<std::uint8_t>(random());
  for (auto& b : data) b = static_cast<std::uint8_t>(random());
  std::ofstream(temp->path() / "a.pcm", std::ios::binary)
      .write(reinterpret_cast<const char*>(pcm.data()), pcm.size());
  std::ofstream(temp->path() / "d.iso", std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), data.size());
  platform::MediumSpec medium;
  medium.profile = platform::kProfileCdRom;
  medium.pressed = {{temp->path() / "a.pcm", 0, 0, true, false, false},
                    {temp->path() / "d.iso", 0, 0, false, false, true}};
  std::string text;
  ASSERT_TRUE(platform::EmulatedDrive::Create(temp->path() / "drive", {}, &medium, &text)) << text;
  auto drive = platform::EmulatedDrive::Open(temp->path() / "drive", &text);
  const mmc::Cdb tur = mmc::TestUnitReady();
  drive->exec(tur.span(), platform::DataDirection::kNone, {}, std::chrono::seconds(5));
  CdToc toc;
  toc.tracks = {{1, 150, 0, 30}, {2, 150 + 30 + 11400, 4, 20}};
  toc.lead_out = 150 + 30 + 11400 + 20;
  CdAudioReader reader(*drive);
  MemorySink sink;
  std::atomic<bool> cancel{false};
  int errors = 0;
  const DiscRipResult result =
      RipDiscSectors(reader, toc, sink, cancel, {}, [&](const std::string&) { ++errors; });
  EXPECT_FALSE(result.error);
  EXPECT_EQ(errors, 0);
  ASSERT_EQ(sink.bytes.size(), (30 + 11400 + 20) * kSector);
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), sink.bytes.begin()));
  EXPECT_TRUE(std::all_of(sink.bytes.begin() + 30 * kSector, sink.bytes.begin() + (30 + 11400) * kSector,
                          [](std::uint8_t b) { return b == 0; }));
  const std::size_t first_data = (30 + 11400) * kSector;
  EXPECT_EQ(sink.bytes[first_data + 1], 0xFF);  // the sync pattern of a raw Mode 1 sector
  EXPECT_EQ(sink.bytes[first_data + 15], 1);    // its mode byte
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 2048, sink.bytes.begin() + first_data + 16));
}

TEST(RipFirstLba, IsTheStartLessTheLeadInFramesAndNeverNegative) {
  EXPECT_EQ(RipFirstLba({1, 150, 0, 0}), 0u);
  EXPECT_EQ(RipFirstLba({2, 14250, 0, 0}), 14100u);
  EXPECT_EQ(RipFirstLba({1, 100, 0, 0}), 0u);
}

}  // namespace
}  // namespace zephrel
