// Pressed CDs in the emulated drive: tracks from file ranges, sessions laid
// out as a mastered CD-Extra has them.
#include <gtest/gtest.h>

#include <fstream>

#include "emulated_drive_testutil.h"
#include "platform/cd_sector.h"
#include "platform/emulated_drive.h"

namespace platform {
namespace {

using testing::Be32;
using testing::EmulatedDriveHarness;
using testing::Pattern;
using testing::SenseText;
using testing::TempFolder;

std::filesystem::path WriteFile(const TempFolder& folder, const std::string& name,
                                const std::vector<std::uint8_t>& bytes) {
  const std::filesystem::path path = folder.path() / name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return path;
}

std::vector<std::uint8_t> ReadCd(EmulatedDriveHarness& drive, std::uint32_t lba, std::uint32_t count,
                                 ScsiResult* result) {
  std::vector<std::uint8_t> data;
  *result = drive.In({0xBE, 0, std::uint8_t(lba >> 24), std::uint8_t(lba >> 16), std::uint8_t(lba >> 8),
                      std::uint8_t(lba), 0, 0, std::uint8_t(count), 0xF8, 0, 0},
                     &data, count * kCdRawSectorSize);
  return data;
}

class PressedCd : public ::testing::Test {
 protected:
  // Two audio tracks (from one file with a 44-byte header before its frames,
  // and from a file of its own), then a data session of 20 user-data sectors.
  void SetUp() override {
    first_ = Pattern(44 + 30 * kCdRawSectorSize, 1);
    second_ = Pattern(12 * kCdRawSectorSize + 100, 2);  // a partial last sector
    data_ = Pattern(20 * 2048, 3);
    MediumSpec medium;
    medium.profile = kProfileCdRom;
    medium.pressed = {{WriteFile(files_, "one é.wav", first_), 44, 0, true, false, false},
                      {WriteFile(files_, "two.pcm", second_), 0, 0, true, false, false},
                      {WriteFile(files_, "data.iso", data_), 0, 0, false, false, true}};
    drive_.emplace(medium);
    drive_->None({0, 0, 0, 0, 0, 0});  // the medium's unit attention
  }
  TempFolder files_;
  std::vector<std::uint8_t> first_, second_, data_;
  std::optional<EmulatedDriveHarness> drive_;
};

TEST_F(PressedCd, TheTableListsEveryTrackWithTheDataSessionAfterItsGap) {
  std::vector<std::uint8_t> toc;
  ASSERT_EQ(SenseText(drive_->In({0x43, 0, 0, 0, 0, 0, 0, 0x03, 0x24, 0}, &toc, 804)), "ok");
  ASSERT_EQ(toc.size(), 4u + 4 * 8);
  EXPECT_EQ(toc[2], 1);
  EXPECT_EQ(toc[3], 3);
  EXPECT_EQ(toc[4 + 1] & 0x0F, 0);  // audio
  EXPECT_EQ(Be32(toc, 4 + 4), 0u);
  EXPECT_EQ(Be32(toc, 12 + 4), 30u);
  EXPECT_EQ(toc[20 + 1] & 0x0F, 4);  // data
  EXPECT_EQ(Be32(toc, 20 + 4), 30u + 13 + 11400);
  EXPECT_EQ(toc[28 + 2], 0xAA);
  EXPECT_EQ(Be32(toc, 28 + 4), 30u + 13 + 11400 + 20);
}

TEST_F(PressedCd, TheFullTocGivesEachSessionItsPointsInAbsoluteTime) {
  // Laid out by hand: session, ADR/control, TNO, point, time (3), zero, point
  // time (3); A0 the first track, A1 the last, A2 the lead-out.
  const std::vector<std::uint8_t> expected = {
      0x00, 0x65, 0x01, 0x02,                                            // 99 bytes, sessions 1 to 2
      0x01, 0x10, 0x00, 0xA0, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00,  // first track 1, CD-DA/CD-ROM
      0x01, 0x10, 0x00, 0xA1, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00,  // last track 2
      0x01, 0x10, 0x00, 0xA2, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x2B,  // lead-out at 00:02:43
      0x01, 0x10, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00,  // track 1 at 00:02:00
      0x01, 0x10, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x1E,  // track 2 at 00:02:30
      0x02, 0x14, 0x00, 0xA0, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00,  // data session
      0x02, 0x14, 0x00, 0xA1, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00,
      0x02, 0x14, 0x00, 0xA2, 0x00, 0x00, 0x00, 0x00, 0x02, 0x22, 0x3F,  // lead-out at 02:34:63
      0x02, 0x14, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x02, 0x22, 0x2B,  // track 3 at 02:34:43
  };
  std::vector<std::uint8_t> toc;
  ASSERT_EQ(SenseText(drive_->In({0x43, 0x02, 0x02, 0, 0, 0, 0, 0x03, 0x24, 0}, &toc, 804)), "ok");
  EXPECT_EQ(toc, expected);
}

TEST_F(PressedCd, AudioFramesReadBackAsTheyWerePressedAndAPartialSectorEndsInZeros) {
  ScsiResult r;
  std::vector<std::uint8_t> got = ReadCd(*drive_, 0, 10, &r);
  ASSERT_EQ(SenseText(r), "ok");
  EXPECT_TRUE(std::equal(got.begin(), got.end(), first_.begin() + 44));
  got = ReadCd(*drive_, 42, 1, &r);
  ASSERT_EQ(SenseText(r), "ok");
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + 100, second_.end() - 100));
  EXPECT_TRUE(std::all_of(got.begin() + 100, got.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST_F(PressedCd, TheDataTrackReadsAsMode1AndTheGapBetweenSessionsDoesNot) {
  std::vector<std::uint8_t> user;
  const std::uint32_t start = 30 + 13 + 11400;
  ASSERT_EQ(SenseText(drive_->In({0x28, 0, std::uint8_t(start >> 24), std::uint8_t(start >> 16),
                                  std::uint8_t(start >> 8), std::uint8_t(start), 0, 0, 2, 0},
                                 &user, 4096)),
            "ok");
  EXPECT_TRUE(std::equal(user.begin(), user.end(), data_.begin()));
  ScsiResult r;
  ReadCd(*drive_, 30 + 13 + 100, 1, &r);
  EXPECT_FALSE(r.ok());
}

TEST_F(PressedCd, TrackInformationGivesTheLastAudioTrackItsOwnSize) {
  const std::vector<std::uint8_t> info = drive_->TrackInformation(2);
  ASSERT_GE(info.size(), 28u);
  EXPECT_EQ(Be32(info, 8), 30u);   // start
  EXPECT_EQ(Be32(info, 24), 13u);  // size, without the gap that follows
}

TEST(PressedCdRefusal, AMissingFileOrATrackOnADvdIsRefused) {
  TempFolder folder;
  std::string error;
  MediumSpec medium;
  medium.profile = kProfileCdRom;
  medium.pressed = {{folder.path() / "missing.wav", 0, 0, true, false, false}};
  EXPECT_FALSE(EmulatedDrive::Create(folder.path() / "a", {}, &medium, &error));
  EXPECT_NE(error.find("missing.wav"), std::string::npos) << error;
  medium.profile = kProfileDvdRom;
  medium.pressed = {{WriteFile(folder, "x.pcm", Pattern(2352, 4)), 0, 0, true, false, false}};
  EXPECT_FALSE(EmulatedDrive::Create(folder.path() / "b", {}, &medium, &error));
}

}  // namespace
}  // namespace platform
