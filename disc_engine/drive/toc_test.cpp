#include "drive/toc.h"

#include <gtest/gtest.h>

#include "drive/drive_testutil.h"
#include "drive/mmc_drive.h"

namespace zephrel {
namespace {

using testing::Medium;
using testing::PolicedDrive;
using testing::ScriptedDevice;
namespace pm = platform::mmc;

struct Entry {
  std::uint8_t adr_control, track, minute, second, frame;
};

// A READ TOC (format 0, MSF) reply: header, then one descriptor per entry.
std::vector<std::uint8_t> TocReply(std::uint8_t first, std::uint8_t last, const std::vector<Entry>& entries) {
  std::vector<std::uint8_t> r(4, 0);
  for (const Entry& e : entries)
    r.insert(r.end(), {0, e.adr_control, e.track, 0, 0, e.minute, e.second, e.frame});
  const std::size_t length = r.size() - 2;
  r[0] = std::uint8_t(length >> 8);
  r[1] = std::uint8_t(length);
  r[2] = first;
  r[3] = last;
  return r;
}

class TrackListTest : public ::testing::Test {
 protected:
  void TearDown() override { TrackList::Process().Clear(); }
};

// ---- reading the table ------------------------------------------------------

TEST(ParseToc, AnAudioTrackFrom000200To041033Has18633FramesOf0408_33) {
  auto records = ParseToc(TocReply(1, 1, {{0x10, 1, 0, 2, 0}, {0x10, 0xAA, 4, 10, 33}}));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].start, 150);
  EXPECT_EQ(records[0].length, 18633);
  EXPECT_EQ(records[0].duration, "04:08.33");
  EXPECT_EQ(records[0].start_minute, 0);
  EXPECT_EQ(records[0].start_second, 2);
  EXPECT_EQ(records[0].start_frame, 0);
  EXPECT_EQ(records[0].title, "Track 01");
  EXPECT_EQ(records[0].selected, 0);
  EXPECT_EQ(records[0].reserved, 0);
  EXPECT_TRUE(records[0].audio());
}

TEST(ParseToc, EachRecordKeepsItsTrackNumberControlAndTocStart) {
  auto records = ParseToc(
      TocReply(1, 3, {{0x11, 1, 0, 2, 0}, {0x10, 2, 3, 0, 0}, {0x14, 3, 5, 0, 0}, {0x14, 0xAA, 60, 0, 0}}));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].title, "Track 01");
  EXPECT_EQ(records[1].title, "Track 02");
  EXPECT_EQ(records[2].title, "Track 03");
  EXPECT_TRUE(records[0].pre_emphasis());
  EXPECT_FALSE(records[1].pre_emphasis());
  EXPECT_FALSE(records[2].audio());
  EXPECT_EQ(records[2].number, 3);
  EXPECT_EQ(records[2].adr_control, 0x14);
  EXPECT_EQ(records[1].toc_start, 3 * 4500);
  EXPECT_EQ(records[2].length, 55 * 4500);
}

TEST(ParseToc, ALastTrackBelowTheFirstGivesNoRecords) {
  EXPECT_TRUE(ParseToc(TocReply(3, 2, {{0x10, 3, 0, 2, 0}, {0x10, 0xAA, 1, 0, 0}})).empty());
}

// Changed: the drive's reply is not trusted.
TEST(ParseToc, MalformedRepliesGiveSafeBoundedLists) {
  // A count past the descriptors the reply holds.
  auto records = ParseToc(TocReply(1, 99, {{0x10, 1, 0, 2, 0}, {0x10, 2, 1, 0, 0}, {0x10, 0xAA, 2, 0, 0}}));
  EXPECT_EQ(records.size(), 2u);
  // First track 0: still bounded by the reply.
  records = ParseToc(TocReply(0, 1, {{0x10, 0, 0, 2, 0}, {0x10, 1, 1, 0, 0}, {0x10, 0xAA, 2, 0, 0}}));
  EXPECT_EQ(records.size(), 2u);
  // Descending addresses: no negative lengths.
  records = ParseToc(TocReply(1, 2, {{0x10, 1, 5, 0, 0}, {0x10, 2, 1, 0, 0}, {0x10, 0xAA, 0, 2, 0}}));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].length, 0);
  EXPECT_EQ(records[1].length, 0);
  EXPECT_EQ(records[0].duration, "00:00.00");
  // A declared length past the bytes moved: only the bytes moved count.
  auto reply = TocReply(1, 2, {{0x10, 1, 0, 2, 0}, {0x10, 2, 1, 0, 0}, {0x10, 0xAA, 2, 0, 0}});
  reply[0] = 0xFF;
  reply[1] = 0xFF;
  reply.resize(4 + 8 * 2 + 3);
  EXPECT_EQ(ParseToc(reply).size(), 1u);
  // A declared length shorter than the bytes moved: only the declared count.
  reply = TocReply(1, 2, {{0x10, 1, 0, 2, 0}, {0x10, 2, 1, 0, 0}, {0x10, 0xAA, 2, 0, 0}});
  reply[1] = 2 + 8 * 2;
  EXPECT_EQ(ParseToc(reply).size(), 1u);
  // Too short for anything.
  EXPECT_TRUE(ParseToc(std::vector<std::uint8_t>{0, 2, 1}).empty());
  EXPECT_TRUE(ParseToc(std::vector<std::uint8_t>{}).empty());
  // No more than 99 tracks, whatever the reply says.
  std::vector<Entry> many;
  for (int i = 0; i < 120; ++i) many.push_back({0x10, std::uint8_t(i + 1), std::uint8_t(i / 2), 0, 0});
  auto big = TocReply(1, 255, many);
  EXPECT_EQ(ParseToc(big).size(), 99u);
}

TEST(DurationText, MinutesSecondsAndFramesHaveTwoDigitsEach) {
  EXPECT_EQ(DurationText(0), "00:00.00");
  EXPECT_EQ(DurationText(4500 * 74 + 75 * 59 + 74), "74:59.74");
  EXPECT_EQ(DurationText(-5), "00:00.00");
}

// ---- the process-wide list --------------------------------------------------

TEST_F(TrackListTest, ADiscWhoseLeadOutIsAt600000LastsAnHour) {
  auto device = std::make_shared<ScriptedDevice>();
  device->Always(pm::kReadTocPmaAtip,
                 ScriptedDevice::Reply(
                     TocReply(1, 2, {{0x10, 1, 0, 0, 0}, {0x10, 2, 30, 0, 0}, {0x10, 0xAA, 60, 0, 0}})));
  MmcDrive drive(device);
  EXPECT_EQ(ReadToc(drive, 3), 0);
  TrackList& list = TrackList::Process();
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Drive(), 3);
  EXPECT_EQ(list.GetDiscLengthSeconds(), 3600);
  EXPECT_EQ(list.GetTrackDurationText(1), "30:00.00");
  // The command: format 0, MSF, 804 bytes.
  EXPECT_EQ(device->Log()[0].cdb, (std::vector<std::uint8_t>{0x43, 0x02, 0, 0, 0, 0, 0, 0x03, 0x24, 0}));
  // READ TRACK INFORMATION failing leaves its fields 0.
  EXPECT_EQ(list.Record(0)->info_size, 0u);
}

TEST_F(TrackListTest, AFailedReadLeavesAnEmptyList) {
  TrackList& list = TrackList::Process();
  list.Replace(1, ParseToc(TocReply(1, 1, {{0x10, 1, 0, 2, 0}, {0x10, 0xAA, 1, 0, 0}})));
  auto device = std::make_shared<ScriptedDevice>();
  MmcDrive drive(device);
  EXPECT_EQ(ReadToc(drive, 0), -1);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.GetDiscLengthSeconds(), 0);
  EXPECT_EQ(list.Drive(), -1);
  EXPECT_EQ(list.GetTrackTitle(0), "");
  EXPECT_EQ(list.GetTrackDurationText(0), "");
}

TEST_F(TrackListTest, TitlesAreReplacedEmptiedAndCutTo259Characters) {
  TrackList& list = TrackList::Process();
  list.Replace(0, ParseToc(TocReply(1, 2, {{0x10, 1, 0, 2, 0}, {0x10, 2, 1, 0, 0}, {0x10, 0xAA, 2, 0, 0}})));
  list.SetTrackTitle(0, "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xB5");
  EXPECT_EQ(list.GetTrackTitle(0), "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xB5");
  list.SetTrackTitle(1, nullptr);
  EXPECT_EQ(list.GetTrackTitle(1), "");
  std::string long_title;
  for (int i = 0; i < 300; ++i) long_title += "\xC3\xA9";
  list.SetTrackTitle(1, long_title.c_str());
  EXPECT_EQ(list.GetTrackTitle(1), long_title.substr(0, 2 * 259));
  list.SetTrackTitle(5, "outside");  // nothing happens
  EXPECT_EQ(list.Count(), 2);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST_F(TrackListTest, AnEmulatedAudioCdGivesItsTracksWithBothStarts) {
  PolicedDrive emulated(Medium(pm::kProfileCdR, 40000));
  MmcDrive drive = emulated.Mmc();
  ASSERT_TRUE(drive.MmcSetAudioWriteParameters(false, false, false).ok());
  std::vector<std::uint8_t> audio(300 * 2352, 0x11);
  ASSERT_TRUE(drive.MmcWrite10(audio, 0, 300, true).ok());
  ASSERT_TRUE(drive.MmcCloseTrackSession(false, mmc::kCloseTrack, 1).ok());
  audio.resize(200 * 2352);
  // Track-at-once puts the link and the next track's pregap between tracks.
  const std::int32_t second = 300 + mmc::kCdTaoTrackGap;
  ASSERT_TRUE(drive.MmcWrite10(audio, second, 200, true).ok());
  ASSERT_TRUE(drive.MmcCloseTrackSession(false, mmc::kCloseSession, 0).ok());
  ASSERT_EQ(ReadToc(drive, 0), 0);
  const auto records = TrackList::Process().Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].start, 150);
  EXPECT_EQ(records[0].length, second);
  EXPECT_EQ(records[1].start, 150 + second);
  EXPECT_EQ(records[1].length, 200);
  EXPECT_TRUE(records[0].audio());
  EXPECT_EQ(records[0].adr_control, 0x10);
  EXPECT_EQ(records[1].info_start, static_cast<std::uint32_t>(second));
  EXPECT_EQ(records[1].info_size, 200u);
  EXPECT_EQ(records[0].duration, "00:06.07");  // 457 sectors: 6 s and 7 frames
  EXPECT_EQ(TrackList::Process().GetDiscLengthSeconds(), (150 + second + 200) / 75);

  // A drive that moves fewer bytes than the reply declares: a table cut in
  // the lead-out is read for what it holds, the last track ending where its
  // track information says; one that lost a track is unreadable, never a
  // disc of fewer tracks.
  struct Row {
    std::uint32_t cut;
    int result;
    std::size_t tracks;
  };
  for (const Row& row : {Row{2, 0, 2}, Row{6, 0, 2}, Row{10, -1, 0}, Row{22, -1, 0}}) {
    platform::InjectedFault fault;
    fault.opcode = pm::kReadTocPmaAtip;
    fault.shorten = row.cut;
    emulated.emulated().InjectFault(fault);
    ASSERT_EQ(ReadToc(drive, 0), row.result) << row.cut;
    const auto cut = TrackList::Process().Records();
    ASSERT_EQ(cut.size(), row.tracks) << row.cut;
    if (row.tracks == 2) {
      EXPECT_EQ(cut[1].start, records[1].start);
      EXPECT_EQ(cut[1].length, 200);
    }
  }
}

TEST_F(TrackListTest, ADataDiscGivesOneDataTrack) {
  PolicedDrive holder(nullptr);
  auto rom = Medium(pm::kProfileCdRom);
  rom.content = holder.WriteContent("disc.iso", testing::IsoImage(600));
  PolicedDrive emulated(rom);
  MmcDrive drive = emulated.Mmc();
  ASSERT_EQ(ReadToc(drive, 0), 0);
  const auto records = TrackList::Process().Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_FALSE(records[0].audio());
  EXPECT_EQ(records[0].length, 600);
  EXPECT_EQ(records[0].info_size, 600u);
}

}  // namespace
}  // namespace zephrel
