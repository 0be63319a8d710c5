// Copying a disc into an image on an emulated drive: a two-session CD as a raw
// image with a sheet that cd-info reads, a DVD in 2048-byte sectors, zeros for
// unreadable sectors, and the user's existing files left alone.
#include "burn/disc_copy.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "burn/burn_testutil.h"
#include "testing/tools.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;
using testing::kOdd;
using testing::kTrue;
using testing::ReadAll;
using vantora::testing::RunTool;

class DiscCopy : public testing::BurnTest {
 protected:
  std::string MakeIso(const std::string& name, const std::vector<std::string>& extra = {}) {
    fs::remove_all(dir_.path() + "/src");
    dir_.MakeDir("src");
    dir_.WriteFile("src/" + name + ".txt", name + "\n");
    dir_.WriteFile("src/" + name + ".bin", name, 300000);
    const std::string image = dir_.path() + "/" + name + ".iso";
    std::vector<std::string> argv = {"genisoimage", "-quiet", "-J", "-R", "-o", image};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.push_back(dir_.path() + "/src");
    EXPECT_EQ(RunTool(argv).exit_code, 0);
    return image;
  }
  void BurnImage(const std::string& image) {
    auto sink = Advised();
    builder_->Burner_BurnImage(0, image, 0, kTrue, 0);
    ASSERT_EQ(WaitForEnd(*sink, 0), End(1, 0, 0)) << Said(*sink);
    NextJob();
  }
  // A CD-R of two sessions of data; the start of the second.
  std::uint32_t TwoSessionCd() {
    UseMedium(platform::kProfileCdR);
    BurnImage(MakeIso("first"));
    std::vector<std::uint8_t> info(28, 0);
    const mmc::Cdb cdb = mmc::ReadTrackInformation(mmc::kTrackByNumber, 2, 28);
    EXPECT_TRUE(Raw().exec(cdb.span(), platform::DataDirection::kIn, info, {}).ok());
    const std::uint32_t start = platform::GetBe32(info.data() + 12);
    BurnImage(MakeIso("second", {"-C", "0," + std::to_string(start)}));
    drive_->ClearCommandLog();
    return start;
  }
  std::vector<platform::Variant> Copy(const std::shared_ptr<testing::RecordingSink>& sink,
                                      const std::string& image, int mode) {
    const std::size_t ends = sink->Count(kBurnerOnEndBurn);
    builder_->Burner_CopyCDDVD(0, image, mode);
    return WaitForEnd(*sink, ends);
  }
  std::size_t Statuses(const testing::RecordingSink& sink, int status) {
    std::size_t n = 0;
    for (const auto& e : sink.events())
      if (e.id == kOnBuildingProcess && e.args[0].i4() == status) ++n;
    return n;
  }
};

TEST_F(DiscCopy, ATwoSessionCdCopiedRawGivesAnImageAtDiscAddressesAndASheetCdInfoReads) {
  const std::uint32_t second = TwoSessionCd();
  auto sink = Advised();
  const std::string image = dir_.path() + "/copy" + kOdd + ".bin";
  ASSERT_EQ(Copy(sink, image, 1), End(2, 0, 0)) << Said(*sink);
  const std::vector<std::uint8_t> raw = ReadAll(image);
  ASSERT_EQ(raw.size() % 2352, 0u);
  const std::vector<std::uint8_t> user = ReadAll(Export());
  ASSERT_GE(raw.size() / 2352, second + 18u);
  ASSERT_GE(user.size() / 2048, second + 18u);
  // The user data of every raw sector is the disc's, at the disc's address.
  for (std::uint32_t lba : {16u, 17u, second + 16, second + 17}) {
    EXPECT_TRUE(
        std::equal(user.begin() + lba * 2048, user.begin() + (lba + 1) * 2048, raw.begin() + lba * 2352 + 16))
        << lba;
  }
  EXPECT_EQ(std::vector<std::uint8_t>(raw.begin() + (second - 1) * 2352, raw.begin() + second * 2352),
            std::vector<std::uint8_t>(2352, 0))
      << "the gap between the sessions is zeros";
  EXPECT_EQ(Statuses(*sink, kStatusCopyStart), 1u);
  EXPECT_EQ(sink->Count(kRipperOnRipTrack), 2u);

  const std::string sheet = dir_.path() + "/copy" + kOdd + ".cue";
  const auto text = ReadAll(sheet);
  const std::string cue(text.begin(), text.end());
  EXPECT_NE(cue.find("REM SESSION 2"), std::string::npos) << cue;
  EXPECT_NE(cue.find("TRACK 2 MODE1/2352"), std::string::npos) << cue;
  const auto info = RunTool({"cd-info", "--no-device-info", "--no-disc-mode", "--cue-file", sheet});
  EXPECT_EQ(info.exit_code, 0) << info.output;
  EXPECT_NE(info.output.find("  2: "), std::string::npos) << info.output;
}

TEST_F(DiscCopy, UnreadableSectorsAreWrittenAsZerosReportedOneByOneAndOnceAtTheTwentieth) {
  UseMedium(platform::kProfileCdR);
  BurnImage(MakeIso("one"));
  drive_->InjectFault(
      {.opcode = mmc::kReadCd, .first_lba = 100, .last_lba = 124, .count = 1000, .key = 0x03, .asc = 0x11});
  auto sink = Advised();
  const std::string image = dir_.path() + "/bad.bin";
  ASSERT_EQ(Copy(sink, image, 1), End(2, 0, 0)) << Said(*sink);
  EXPECT_EQ(Statuses(*sink, kStatusCopyUnreadable), 25u);
  EXPECT_EQ(Statuses(*sink, kStatusCopyManyUnreadable), 1u);
  const std::vector<std::uint8_t> raw = ReadAll(image);
  ASSERT_GE(raw.size(), 126u * 2352);
  EXPECT_EQ(std::vector<std::uint8_t>(raw.begin() + 100 * 2352, raw.begin() + 125 * 2352),
            std::vector<std::uint8_t>(25 * 2352, 0));
  EXPECT_NE(std::vector<std::uint8_t>(raw.begin() + 99 * 2352, raw.begin() + 100 * 2352),
            std::vector<std::uint8_t>(2352, 0))
      << "the sector before is read";
}

TEST_F(DiscCopy, ADvdIsCopiedIn2048ByteSectorsEvenWhenRawSectorsAreAsked) {
  UseMedium(platform::kProfileDvdPlusR);
  const std::string iso = MakeIso("dvd");
  BurnImage(iso);
  auto sink = Advised();
  const std::string image = dir_.path() + "/dvd copy.iso";
  ASSERT_EQ(Copy(sink, image, 1), End(2, 0, 0)) << Said(*sink);
  const std::vector<std::uint8_t> copy = ReadAll(image);
  const std::vector<std::uint8_t> plain = ReadAll(iso);
  ASSERT_GE(copy.size(), plain.size());
  EXPECT_TRUE(std::equal(plain.begin(), plain.end(), copy.begin()));
  const auto text = ReadAll(dir_.path() + "/dvd copy.cue");
  const std::string cue(text.begin(), text.end());
  EXPECT_NE(cue.find("REM ORIGINAL MEDIA-TYPE: DVD+R\r\n"), std::string::npos) << cue;
  EXPECT_NE(cue.find("TRACK 1 MODE1/2048"), std::string::npos) << cue;
  EXPECT_EQ(RunTool({"isoinfo", "-d", "-i", image}).exit_code, 0);
}

TEST_F(DiscCopy, AnExistingImageOrSheetGives2001AndStaysUntouched) {
  UseMedium(platform::kProfileCdR);
  BurnImage(MakeIso("one"));
  const std::string image = dir_.WriteFile("mine" + kOdd + ".bin", "my image\n");
  auto sink = Advised();
  EXPECT_EQ(Copy(sink, image, 1), End(2, 0, 1));
  EXPECT_EQ(Errors(*sink), std::vector<std::int32_t>{2001});
  EXPECT_EQ(ReadAll(image).size(), 9u);
  EXPECT_FALSE(fs::exists(dir_.path() + "/mine" + kOdd + ".cue"));

  const std::string sheet = dir_.WriteFile("other.cue", "my sheet\n");
  NextJob();
  auto second = Advised();
  EXPECT_EQ(Copy(second, dir_.path() + "/other.bin", 1), End(2, 0, 1));
  EXPECT_EQ(Errors(*second), std::vector<std::int32_t>{2001});
  EXPECT_FALSE(fs::exists(dir_.path() + "/other.bin"));
  EXPECT_EQ(ReadAll(sheet).size(), 9u);
}

}  // namespace
}  // namespace zephrel
