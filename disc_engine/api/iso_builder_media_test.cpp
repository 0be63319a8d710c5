// The media members on emulated drives, as a client calls them.
#include <gtest/gtest.h>

#include "api/engine_testutil.h"
#include "drive/drive_testutil.h"
#include "drive/toc.h"
#include "platform/scsi.h"

namespace zephrel {
namespace {

using testing::IsoImage;
using testing::Medium;
namespace pm = platform::mmc;

class MediaMembers : public testing::ISOBuilderTest {
 protected:
  // Burner_Init over one emulated drive holding medium (none when null).
  void InitWith(const platform::MediumSpec* medium) {
    const std::filesystem::path folder =
        std::filesystem::path(dir_.path()) / ("drive " + std::to_string(next_++));
    std::string error;
    ASSERT_TRUE(platform::EmulatedDrive::Create(folder, {}, medium, &error)) << error;
    source_.emplace([folder] { return platform::OpenDrives("emu:" + folder.string()); });
    builder_->Burner_Init();
  }
  std::filesystem::path Content(const std::vector<std::uint8_t>& bytes) {
    return holder_.WriteContent("content " + std::to_string(next_++) + ".iso", bytes);
  }
  void TearDown() override {
    testing::ISOBuilderTest::TearDown();
    source_.reset();
  }

  testing::TempDir dir_;
  testing::PolicedDrive holder_{nullptr};
  std::optional<testing::ScopedDriveSource> source_;
  int next_ = 0;
};

TEST_F(MediaMembers, TheTypeNameNeedsNoDriveAndNamesReservedAndUnlistedCodes) {
  std::string name = "x";
  builder_->Burner_GetMediaTypeName(-7, 7, name);
  EXPECT_EQ(name, "Reserved");
  builder_->Burner_GetMediaTypeName(1000, 19, name);
  EXPECT_EQ(name, "");
  builder_->Burner_GetMediaTypeName(0, -1, name);
  EXPECT_EQ(name, "No Media");
  builder_->Burner_GetMediaTypeName(0, 10, name);
  EXPECT_EQ(name, "DVD+R");
}

TEST_F(MediaMembers, ABlankDvdPlusRIsNamedMeasuredAndIdentified) {
  auto spec = Medium(pm::kProfileDvdPlusR);
  spec.manufacturer_id = "RICOHJPN";
  spec.media_type_id = "R03";
  InitWith(&spec);
  std::int32_t code = 0;
  builder_->Burner_GetMediaType(0, code);
  EXPECT_EQ(code, 10);
  float total = 0, used = 1;
  builder_->Burner_GetMediaTotalSpace(0, total);
  EXPECT_EQ(total, 4482.625f) << "the 2295104 sectors the disc reports";
  builder_->Burner_GetMediaUsedSpace(0, used);
  EXPECT_EQ(used, 0.0f);
  std::string id, maker;
  builder_->Burner_GetMediaUID(0, id, maker);
  EXPECT_EQ(id, "RICOHJPN (R03\x01)");
  EXPECT_EQ(maker, "Ricoh Company Ltd.");
  std::int16_t mode = 9;
  builder_->GetSessionDataMode(0, 1, mode);
  EXPECT_EQ(mode, 0);  // nothing recorded at sector 17
}

TEST_F(MediaMembers, ACdKeepsTheFirstResultOfTheIdentifierUntouched) {
  auto spec = Medium(pm::kProfileCdR);
  spec.atip_lead_in = {97, 26, 66};
  InitWith(&spec);
  std::string id = "as it was", maker;
  builder_->Burner_GetMediaUID(0, id, maker);
  EXPECT_EQ(id, "as it was");
  EXPECT_EQ(maker, "CMC Magnetics Corporation");
  float total = 0;
  builder_->Burner_GetMediaTotalSpace(0, total);
  EXPECT_FLOAT_EQ(total, 702.830078125f);
}

TEST_F(MediaMembers, ADvdRomHasNoTotalButItsTableIsReadAgain) {
  auto spec = Medium(pm::kProfileDvdRom);
  spec.content = Content(IsoImage(800));
  InitWith(&spec);
  float total = 1, used = 0;
  builder_->Burner_GetMediaTotalSpace(0, total);
  EXPECT_EQ(total, 0.0f);
  EXPECT_EQ(TrackList::Process().Count(), 1);
  EXPECT_EQ(TrackList::Process().Drive(), 0);
  builder_->Burner_GetMediaUsedSpace(0, used);
  EXPECT_EQ(used, 800.0f * 2048 / (1024 * 1024));
  std::int16_t mode = 0;
  builder_->GetSessionDataMode(0, 7, mode);
  EXPECT_EQ(mode, 1);
  builder_->UnloadCom();
  EXPECT_EQ(TrackList::Process().Count(), 0);
}

TEST_F(MediaMembers, ASector17WithoutAVolumeDescriptorGivesDataMode2) {
  auto spec = Medium(pm::kProfileDvdRom);
  spec.content = Content(IsoImage(100, false));
  InitWith(&spec);
  std::int16_t mode = 0;
  builder_->GetSessionDataMode(0, 1, mode);
  EXPECT_EQ(mode, 2);
}

TEST_F(MediaMembers, ANumberOutsideTheListOrAnEmptyTrayGivesTheNeutralValues) {
  InitWith(nullptr);
  for (std::int32_t drive : {0, 1, -1}) {
    std::int32_t code = 5;
    builder_->Burner_GetMediaType(drive, code);
    EXPECT_EQ(code, -1) << drive;
    float total = 1, used = 1;
    builder_->Burner_GetMediaTotalSpace(drive, total);
    builder_->Burner_GetMediaUsedSpace(drive, used);
    EXPECT_EQ(total, 0.0f);
    EXPECT_EQ(used, 0.0f);
    std::string id = "x", maker = "y";
    builder_->Burner_GetMediaUID(drive, id, maker);
    EXPECT_EQ(id, "");
    EXPECT_EQ(maker, "");
    std::int16_t mode = 9;
    builder_->GetSessionDataMode(drive, 1, mode);
    EXPECT_EQ(mode, 0);
    EXPECT_FALSE(builder_->MediaCanSimulate(drive));
  }
}

TEST_F(MediaMembers, OnlyMediaThatRecordATestWriteCanSimulate) {
  const std::pair<int, bool> cases[] = {
      {pm::kProfileCdR, true},
      {pm::kProfileCdRw, true},
      {pm::kProfileDvdR, true},
      {pm::kProfileDvdRwSequential, true},
      {pm::kProfileDvdRwRestricted, false},
      {pm::kProfileDvdPlusR, false},
      {pm::kProfileDvdPlusRw, false},
  };
  for (const auto& [profile, can] : cases) {
    auto spec = Medium(profile);
    InitWith(&spec);
    EXPECT_EQ(builder_->MediaCanSimulate(0), can) << "profile 0x" << std::hex << profile;
  }
}

}  // namespace
}  // namespace zephrel
