#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "api/engine_testutil.h"
#include "drive/toc.h"
#include "platform/emulated_drive.h"
#include "platform/fileio.h"
#include "zephrel/iso_builder.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;

// A pressed audio CD of one track in an emulated drive, as drive 0.
class RipMembersTest : public testing::ISOBuilderTest {
 protected:
  void SetUp() override {
    platform::FileError error;
    temp_ = platform::TemporaryFolder::Create("rip-members", &error);
    ASSERT_TRUE(temp_);
    const fs::path pcm = temp_->path() / "track é.pcm";
    std::ofstream(pcm, std::ios::binary) << std::string(18633 * 2352, '\x5A');
    platform::MediumSpec medium;
    medium.profile = platform::kProfileCdRom;
    medium.content = pcm;
    medium.content_is_audio = true;
    std::string text;
    const fs::path drive = temp_->path() / "drive 日本";
    ASSERT_TRUE(platform::EmulatedDrive::Create(drive, {}, &medium, &text)) << text;
    setenv("ZEPHREL_DRIVES", ("emu:" + drive.native()).c_str(), 1);
    builder_->Burner_Init();
  }
  void TearDown() override {
    testing::ISOBuilderTest::TearDown();
    unsetenv("ZEPHREL_DRIVES");
    TrackList::Process().Clear();
  }
  std::optional<platform::TemporaryFolder> temp_;
};

TEST_F(RipMembersTest, TheTrackListComesFromTheDiscInTheDrive) {
  std::int32_t count = 0;
  builder_->AudioRip_GetNbTracks(0, count);
  ASSERT_EQ(count, 1);
  std::string duration;
  builder_->AudioRip_GetTrackDuration(0, 0, duration);
  EXPECT_EQ(duration, "04:08.33");
  std::int32_t seconds = 0;
  builder_->AudioRip_GetTotalDuration(0, seconds);
  EXPECT_EQ(seconds, (150 + 18633) / 75);
  std::string title;
  builder_->CDDB_GetTrackTitle(0, title);
  EXPECT_EQ(title, "Track 01");
}

TEST_F(RipMembersTest, ADriveThatCannotReadATableGivesNoTracks) {
  std::int32_t count = 0;
  builder_->AudioRip_GetNbTracks(0, count);
  ASSERT_EQ(count, 1);
  builder_->AudioRip_GetNbTracks(5, count);
  EXPECT_EQ(count, 0);
  std::int32_t seconds = -1;
  builder_->AudioRip_GetTotalDuration(0, seconds);
  EXPECT_EQ(seconds, 0);
}

TEST_F(RipMembersTest, NoTrackIsSelectedAfterReadingAndSelectionsOutsideTheListAreIgnored) {
  std::int32_t count = 0, selected = 7;
  builder_->AudioRip_GetNbTracks(0, count);
  builder_->AudioRip_TrackSelected(0, selected);
  EXPECT_EQ(selected, 0);
  builder_->AudioRip_TrackSelected(0, std::int32_t{-1});
  builder_->AudioRip_TrackSelected(0, selected);
  EXPECT_EQ(selected, -1);
  builder_->AudioRip_TrackSelected(1, std::int32_t{-1});
  builder_->AudioRip_TrackSelected(-3, std::int32_t{-1});
  builder_->AudioRip_TrackSelected(1, selected);
  EXPECT_EQ(selected, 0);
  builder_->AudioRip_GetNbTracks(0, count);
  builder_->AudioRip_TrackSelected(0, selected);
  EXPECT_EQ(selected, 0);  // a new reading clears the selection
}

}  // namespace
}  // namespace zephrel
