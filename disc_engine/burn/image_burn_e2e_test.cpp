// Burning image files on an emulated drive: each format is recognised by its
// volume descriptor and its user data lands on the medium from the next
// writable address, padded with zeros to a whole block; images that do not
// fit, that were built for another start, or that are no image at all are
// refused before anything is written. Media read back with isoinfo and
// xorriso.
#include "burn/image_burn.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "burn/burn_pipeline.h"
#include "burn/burn_testutil.h"
#include "drive/mmc_drive.h"
#include "image/image_build_testutil.h"
#include "image/iso9660_format.h"
#include "image/raw_sector.h"
#include "testing/tools.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;
using testing::kOdd;
using testing::kTrue;
using testing::ReadAll;
using testing::WriteAll;
using vantora::testing::RunTool;

class ImageBurn : public testing::BurnTest {
 protected:
  // An ISO image of a few files by a peer, with a name that holds blanks and
  // non-ASCII letters.
  std::string PeerImage(const std::vector<std::string>& extra = {}) {
    dir_.MakeDir("src");
    dir_.WriteFile("src/a" + kOdd + ".txt", "a file\n");
    dir_.WriteFile("src/big.bin", "big", 1u << 20);
    const std::string image = dir_.path() + "/peer" + kOdd + ".iso";
    std::vector<std::string> argv = {"genisoimage", "-quiet", "-J", "-R", "-o", image};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.push_back(dir_.path() + "/src");
    const auto r = RunTool(argv);
    EXPECT_EQ(r.exit_code, 0) << r.output;
    return image;
  }
  std::vector<platform::Variant> Burn(const std::shared_ptr<testing::RecordingSink>& sink,
                                      const std::string& image, std::int32_t simulation = 0) {
    const std::size_t ends = sink->Count(kBurnerOnEndBurn);
    builder_->Burner_BurnImage(0, image, 0, kTrue, simulation);
    return WaitForEnd(*sink, ends);
  }
  // Each 2048-byte sector of iso wrapped in a raw sector of sector_bytes with
  // its user data at user_at.
  std::string Wrapped(const std::string& iso, std::size_t sector_bytes, std::size_t user_at, int mode) {
    const std::vector<std::uint8_t> plain = ReadAll(iso);
    std::vector<std::uint8_t> raw;
    for (std::size_t at = 0; at < plain.size(); at += 2048) {
      std::vector<std::uint8_t> s(std::max<std::size_t>(sector_bytes, 2352), 0);
      std::memcpy(s.data() + user_at, plain.data() + at, 2048);
      if (mode >= 0)
        BuildRawSector(std::span<std::uint8_t, 2352>(s.data(), 2352), mode, std::int64_t(at / 2048) + 150);
      raw.insert(raw.end(), s.begin(), s.begin() + std::ptrdiff_t(sector_bytes));
    }
    const std::string out = iso + "." + std::to_string(sector_bytes) + "_" + std::to_string(user_at) + ".bin";
    WriteAll(out, raw);
    return out;
  }
  // The medium starts with image's sectors padded with zeros to `padded`
  // sectors (what follows is the next session's empty track on an open disc).
  void ExpectMediumHolds(const std::vector<std::uint8_t>& image, std::size_t padded) {
    std::vector<std::uint8_t> expected = image;
    expected.resize(padded * 2048, 0);
    std::vector<std::uint8_t> medium = ReadAll(Export());
    ASSERT_GE(medium.size(), expected.size());
    medium.resize(expected.size());
    EXPECT_TRUE(medium == expected);
  }
};

TEST_F(ImageBurn, AnIsoImageOnADvdPlusRIsWrittenAsItIsAndReadsBackAsItsSource) {
  const std::string image = PeerImage();
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  ASSERT_EQ(Burn(sink, image), End(1, 0, 0)) << Said(*sink);
  const std::vector<std::uint8_t> bytes = ReadAll(image);
  const std::size_t sectors = bytes.size() / 2048;
  ExpectMediumHolds(bytes, (sectors + 31) / 32 * 32);
  const std::string out = dir_.path() + "/extracted";
  const auto extract =
      RunTool({"xorriso", "-osirrox", "on", "-indev", Export("again.iso"), "-extract", "/", out});
  EXPECT_EQ(extract.exit_code, 0) << extract.output;
  EXPECT_EQ(RunTool({"diff", "-r", dir_.path() + "/src", out}).exit_code, 0);
  EXPECT_EQ(Closes(), (std::vector<std::pair<int, int>>{{1, 1}, {2, 255}}));
  // The start event gives the sectors to write.
  for (const auto& e : sink->events())
    if (e.id == kOnBuildingProcess && e.args[0].i4() == kStatusImageBurnStart) {
      EXPECT_EQ(e.args[1].i4(), 1);
      EXPECT_EQ(e.args[5].i4(), static_cast<std::int32_t>((sectors + 31) / 32 * 32));
    }
}

// Runs a program written for real drives on the drive folder, shown to it as
// /dev/sr7 by the emulated drive's preload shim.
vantora::testing::ToolResult RunOnDrive(const fs::path& folder, std::vector<std::string> argv) {
  std::vector<std::string> line = {
      "env", "EMUDRIVE_SHIM_DEVICE=/dev/sr7", "EMUDRIVE_SHIM_FOLDER=" + folder.string(),
      "LD_PRELOAD=" + std::string(VANTORA_BINARY_DIR) + "/platform/scsi/libemudrive_shim.so"};
  line.insert(line.end(), argv.begin(), argv.end());
  return RunTool(line);
}

TEST_F(ImageBurn, DiscsTheEngineBurnedReadAsWholeToProgramsWrittenForRealDrives) {
  const std::string image = PeerImage();
  for (const std::uint16_t profile : {platform::kProfileDvdPlusR, platform::kProfileCdR}) {
    SCOPED_TRACE(profile);
    if (drive_) {
      NextJob();
      platform::MediumSpec medium;
      medium.profile = profile;
      std::string error;
      ASSERT_TRUE(drive_->InsertMedium(medium, &error)) << error;
    } else {
      UseMedium(profile);
    }
    auto sink = Advised();
    ASSERT_EQ(Burn(sink, image), End(1, 0, 0)) << Said(*sink);
    drive_->CloseTray();  // the burn ejected the disc
    if (profile == platform::kProfileDvdPlusR) {
      const auto info = RunOnDrive(root_, {"dvd+rw-mediainfo", "/dev/sr7"});
      EXPECT_EQ(info.exit_code, 0) << info.output;
      // One closed session; the disc stays appendable.
      EXPECT_NE(info.output.find("Disc status:           appendable"), std::string::npos) << info.output;
      EXPECT_NE(info.output.find("Track Size:            704*2KB"), std::string::npos) << info.output;
    } else {
      const auto info = RunOnDrive(root_, {"cd-info", "--no-device-info", "/dev/sr7"});
      EXPECT_EQ(info.exit_code, 0) << info.output;
      EXPECT_NE(info.output.find("Disc mode is listed as: CD-DATA (Mode 1)"), std::string::npos)
          << info.output;
    }
    const auto check = RunOnDrive(root_, {"xorriso", "-indev", "/dev/sr7", "-check_media", "--", "-toc"});
    EXPECT_EQ(check.exit_code, 0) << check.output;
    EXPECT_NE(check.output.find("Media status : is written"), std::string::npos) << check.output;
    EXPECT_NE(check.output.find(", + good"), std::string::npos) << check.output;
    EXPECT_EQ(check.output.find("unreadable"), std::string::npos) << check.output;
  }
}

TEST_F(ImageBurn, AThousandSectorImageOnACdRWrites1026SectorsTheLast26Zeros) {
  std::vector<std::uint8_t> image(1000 * 2048, 0x5A);
  std::memset(image.data() + 16 * 2048, 0, 2048);
  image[16 * 2048] = 1;
  std::memcpy(image.data() + 16 * 2048 + 1, "CD001", 5);
  const std::string path = dir_.path() + "/thousand" + kOdd + ".iso";
  WriteAll(path, image);
  UseMedium(platform::kProfileCdR);
  auto sink = Advised();
  ASSERT_EQ(Burn(sink, path), End(1, 0, 0)) << Said(*sink);
  EXPECT_EQ(SectorsWritten(), 1026u);
  for (const auto& w : Commands(mmc::kWrite10)) EXPECT_EQ(platform::GetBe16(w.data() + 7), 27u);
  ExpectMediumHolds(image, 1026);
  EXPECT_EQ(Closes(), (std::vector<std::pair<int, int>>{{2, 0}}));
}

TEST_F(ImageBurn, RawMode1Mode2AndShortSectorImagesAreRecognisedAndWrittenAsTheirUserData) {
  const std::string iso = PeerImage();
  const std::vector<std::uint8_t> plain = ReadAll(iso);
  const std::size_t padded = (plain.size() / 2048 + 31) / 32 * 32;
  for (const auto& [bytes, at, mode] :
       {std::tuple{2352, 16, int(kRawMode1)}, std::tuple{2352, 24, -1}, std::tuple{2336, 8, -1}}) {
    SCOPED_TRACE(std::to_string(bytes) + " bytes, data at " + std::to_string(at));
    const std::string raw = Wrapped(iso, std::size_t(bytes), std::size_t(at), mode);
    platform::MediumSpec rw;
    rw.profile = platform::kProfileDvdPlusRw;
    rw.formatted = true;
    rw.capacity = 4096;
    if (!drive_) {
      UseDrive(&rw);
    } else {
      NextJob();
      std::string error;
      ASSERT_TRUE(drive_->InsertMedium(rw, &error)) << error;
    }
    fs::remove(dir_.path() + "/medium.iso");
    auto sink = Advised();
    ASSERT_EQ(Burn(sink, raw), End(1, 0, 0)) << Said(*sink);
    const std::vector<std::uint8_t> medium = ReadAll(Export());
    ASSERT_GE(medium.size(), plain.size());
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), medium.begin()));
    EXPECT_EQ(SectorsWritten(), padded);
  }
}

TEST_F(ImageBurn, ARawImageFromCreateIsoBurnsTheSameBytesAsItsPlainImage) {
  dir_.MakeDir("src");
  dir_.WriteFile("src/x" + kOdd + ".txt", "x\n");
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  builder_->AddFile(kRootId, dir_.path() + "/src/x" + kOdd + ".txt");
  builder_->CreateIso(dir_.path() + "/plain.iso", 0, 0);
  ASSERT_TRUE(sink->WaitFor(kBurnerOnEndBurn, 1));
  builder_->CreateIso(dir_.path() + "/raw.iso", 1, 0);
  ASSERT_TRUE(sink->WaitFor(kBurnerOnEndBurn, 2));
  ASSERT_EQ(Burn(sink, dir_.path() + "/raw.bin"), End(1, 0, 0)) << Said(*sink);
  const std::vector<std::uint8_t> plain = ReadAll(dir_.path() + "/plain.iso");
  ExpectMediumHolds(plain, (plain.size() / 2048 + 31) / 32 * 32);
}

TEST_F(ImageBurn, ALowerCaseVolumeDescriptorIsAcceptedAsAnIsoImage) {
  std::vector<std::uint8_t> image(40 * 2048, 0);
  image[16 * 2048] = 1;
  std::memcpy(image.data() + 16 * 2048 + 1, "cd001", 5);
  const std::string path = dir_.path() + "/lower.iso";
  WriteAll(path, image);
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  ASSERT_EQ(Burn(sink, path), End(1, 0, 0)) << Said(*sink);
  EXPECT_EQ(SectorsWritten(), 64u);
}

TEST_F(ImageBurn, AFileOfNoKnownFormatGives1055AndEndsAsCancelledWithNothingWritten) {
  const std::string path = dir_.path() + "/notes" + kOdd + ".iso";
  WriteAll(path, std::vector<std::uint8_t>(100000, 'n'));
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  EXPECT_EQ(Burn(sink, path), End(1, 1, 0));
  EXPECT_EQ(Errors(*sink), std::vector<std::int32_t>{1055});
  EXPECT_TRUE(Commands(mmc::kWrite10).empty());
}

TEST_F(ImageBurn, AFolderOrAMissingFileGivenAsTheImageIsRefusedByName) {
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  const std::string folder = dir_.MakeDir("folder" + kOdd);
  EXPECT_EQ(Burn(sink, folder), End(1, 0, 1));
  EXPECT_EQ(sink->Texts(kBurningErrorViewDescription).back(),
            "Can't read : " + folder + " (it is not a regular file)");
  NextJob();
  auto second = Advised();
  EXPECT_EQ(Burn(second, dir_.path() + "/missing.iso"), End(1, 0, 1));
  EXPECT_EQ(Said(*second), "Can't read : " + dir_.path() + "/missing.iso (No such file or directory)\n");
  EXPECT_TRUE(Commands(mmc::kWrite10).empty());
}

TEST_F(ImageBurn, AnImageLargerThanTheDiscGives1015) {
  const std::string path = dir_.path() + "/large.iso";
  std::vector<std::uint8_t> head(17 * 2048, 0);
  head[16 * 2048] = 1;
  std::memcpy(head.data() + 16 * 2048 + 1, "CD001", 5);
  WriteAll(path, head);
  fs::resize_file(path, 2000ull * 2048);
  platform::MediumSpec small;
  small.profile = platform::kProfileCdR;
  small.atip_lead_out = {0, 20, 0};
  UseDrive(&small);
  auto sink = Advised();
  EXPECT_EQ(Burn(sink, path), End(1, 1, 0));
  EXPECT_EQ(Errors(*sink), std::vector<std::int32_t>{1015});
  EXPECT_TRUE(Commands(mmc::kWrite10).empty());
}

TEST_F(ImageBurn, AnImageBuiltForSectorZeroIsRefusedOnALaterSessionButOneBuiltForThatStartBurns) {
  const std::string first = PeerImage();
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  ASSERT_EQ(Burn(sink, first), End(1, 0, 0)) << Said(*sink);
  NextJob();
  auto second = Advised();
  EXPECT_EQ(Burn(second, first), End(1, 0, 1));
  EXPECT_NE(Said(*second).find("was built for a disc that starts at sector 0"), std::string::npos)
      << Said(*second);
  EXPECT_TRUE(Commands(mmc::kWrite10).empty()) << "nothing was written";

  // The next session as a peer builds it for its start.
  NextJob();
  std::vector<std::uint8_t> info(28, 0);
  const mmc::Cdb cdb = mmc::ReadTrackInformation(mmc::kTrackByNumber, 2, 28);
  ASSERT_TRUE(Raw().exec(cdb.span(), platform::DataDirection::kIn, info, {}).ok());
  const std::uint32_t start = platform::GetBe32(info.data() + 12);
  fs::remove_all(dir_.path() + "/src");
  dir_.MakeDir("src");
  dir_.WriteFile("src/later.txt", "later\n");
  const std::string later = dir_.path() + "/later.iso";
  const auto made = RunTool({"genisoimage", "-quiet", "-J", "-R", "-C", "0," + std::to_string(start), "-o",
                             later, dir_.path() + "/src"});
  ASSERT_EQ(made.exit_code, 0) << made.output;
  auto third = Advised();
  ASSERT_EQ(Burn(third, later), End(1, 0, 0)) << Said(*third);
  ASSERT_FALSE(Commands(mmc::kWrite10).empty());
  EXPECT_EQ(platform::GetBe32(Commands(mmc::kWrite10).front().data() + 2), start);
  const std::string medium = Export("both.iso");
  const auto listing = RunTool({"isoinfo", "-J", "-f", "-T", std::to_string(start), "-i", medium});
  EXPECT_EQ(listing.exit_code, 0) << listing.output;
  EXPECT_NE(listing.output.find("/later.txt"), std::string::npos) << listing.output;
}

TEST_F(ImageBurn, ASimulationIsRefusedOnADvdPlusRAndWritesNothingOnACdR) {
  const std::string image = PeerImage();
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  EXPECT_EQ(Burn(sink, image, kTrue), End(1, 0, 1));
  EXPECT_TRUE(Commands(mmc::kWrite10).empty());
  NextJob();
  std::string error;
  platform::MediumSpec cd;
  cd.profile = platform::kProfileCdR;
  ASSERT_TRUE(drive_->InsertMedium(cd, &error)) << error;
  auto second = Advised();
  EXPECT_EQ(Burn(second, image, kTrue), End(1, 0, 0)) << Said(*second);
  EXPECT_FALSE(Commands(mmc::kWrite10).empty());
  EXPECT_EQ(DiscInfo()[2] & 0x03, 0) << "blank still";
}

TEST_F(ImageBurn, ACancelAtTheStartStopsTheFeedOfARawImage) {
  const std::string raw = Wrapped(PeerImage(), 2352, 16, kRawMode1);
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  sink->SetHook([&](const testing::RecordedEvent& e) {
    if (e.id == kOnBuildingProcess && e.args[0].i4() == kStatusImageBurnStart) builder_->CancelBurn();
  });
  EXPECT_EQ(Burn(sink, raw), End(1, 1, 0));
  EXPECT_TRUE(Commands(mmc::kCloseTrackSession).empty());
}

TEST_F(ImageBurn, UnloadComFromAHandlerOnTheDriveWritersThreadReturnsAndTheJobEndsOnce) {
  const std::string image = PeerImage();
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  std::atomic<bool> unloaded{false};
  sink->SetHook([&](const testing::RecordedEvent& e) {
    // The writer's progress is raised on its own thread.
    if (e.id == kOnBuildingProcess && e.args[0].i4() == 11 && !unloaded.exchange(true)) builder_->UnloadCom();
  });
  builder_->Burner_SetSizeBuffer(1);
  builder_->Burner_BurnImage(0, image, 0, kTrue, 0);
  ASSERT_TRUE(sink->WaitFor(kBurnerOnEndBurn)) << "UnloadCom never returned to the writer";
  builder_->UnloadCom();
  EXPECT_TRUE(unloaded.load());
  EXPECT_EQ(sink->Count(kBurnerOnEndBurn), 1u);
}

TEST_F(ImageBurn, ACancelWhileTheDriveFinishesTheDiscEndsTheWaitAtOnce) {
  const std::string image = PeerImage();
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  // The drive writes its lead-out for ever; the user cancels meanwhile.
  sink->SetHook([&](const testing::RecordedEvent& e) {
    if (e.id != kBurnerCloseSession) return;
    drive_->InjectFault(
        {.opcode = mmc::kReadDiscInformation, .count = 100000, .key = 0x02, .asc = 0x04, .ascq = 0x07});
    builder_->CancelBurn();
  });
  EXPECT_EQ(Burn(sink, image), End(1, 1, 0)) << Said(*sink);
  EXPECT_LT(clock_->Elapsed(), std::chrono::seconds(2));
  EXPECT_EQ(
      sink->Texts(kBurningErrorViewDescription),
      std::vector<std::string>{
          "Cancelled while the drive was still finishing the disc: it may go on writing for some minutes."});
}

// ---------------------------------------------------------------------------
// The fit of an image on every medium the drive can write

// An image of `sectors` sectors whose primary volume descriptor declares
// `declared`; each sector carries its number, so a shifted or cut burn shows.
// Only the first sectors are written when `sparse`.
void WriteNumberedImage(const std::string& path, std::uint32_t sectors, std::uint32_t declared, bool sparse) {
  const std::uint32_t written = sparse ? 17 : sectors;
  std::vector<std::uint8_t> image(std::size_t(written) * 2048, 0);
  for (std::uint32_t s = 0; s < written; ++s) platform::PutBe32(image.data() + std::size_t(s) * 2048 + 8, s);
  std::uint8_t* pvd = image.data() + 16 * 2048;
  std::memset(pvd, 0, 2048);
  pvd[0] = 1;
  std::memcpy(pvd + 1, "CD001", 5);
  pvd[6] = 1;
  iso9660::PutBoth32(pvd + iso9660::vd::kVolumeSpaceSize, declared);
  WriteAll(path, image);
  fs::resize_file(path, std::uintmax_t(sectors) * 2048);
}

struct FitCase {
  const char* name;
  std::uint16_t profile;
  bool formatted;          // DVD+RW, BD-RE
  std::uint32_t capacity;  // sectors; a smaller disc than standard when not 0
  std::uint32_t free;      // what the disc holds
};

constexpr std::uint32_t kSmall = 8640;  // whole blocks of 27 and of 32 sectors

class ImageBurnFit : public ImageBurn, public ::testing::WithParamInterface<FitCase> {};

TEST_P(ImageBurnFit, AnImageOfExactlyTheFreeSpaceBurnsAndReadsBackAndOneSectorMoreIsRefusedBeforeAnyWrite) {
  const FitCase& c = GetParam();
  platform::MediumSpec spec;
  spec.profile = c.profile;
  spec.capacity = c.capacity;
  spec.formatted = c.formatted;
  ReplaceMedium(spec);
  float total = 0;
  builder_->Burner_GetMediaTotalSpace(0, total);
  EXPECT_EQ(total, SectorsToMB(c.free)) << "the disc's own figure";

  if (c.capacity != 0) {
    const std::string fits = dir_.path() + "/fits" + kOdd + ".iso";
    WriteNumberedImage(fits, c.free, c.free, false);
    auto sink = Advised();
    EXPECT_EQ(Burn(sink, fits), End(1, 0, 0)) << Said(*sink);
    EXPECT_EQ(SectorsWritten(), c.free);
    ExpectMediumHolds(ReadAll(fits), c.free);
    fs::remove(fits);
    ReplaceMedium(spec);
  }
  const std::string more = dir_.path() + "/more.iso";
  WriteNumberedImage(more, c.free + 1, c.free + 1, c.capacity == 0);
  auto sink = Advised();
  EXPECT_EQ(Burn(sink, more), End(1, 1, 0)) << Said(*sink);
  EXPECT_EQ(Errors(*sink), std::vector<std::int32_t>{kErrorNoSpace});
  EXPECT_TRUE(Commands(mmc::kWrite10).empty());
  EXPECT_TRUE(Commands(mmc::kCloseTrackSession).empty());
}

INSTANTIATE_TEST_SUITE_P(
    EveryWritableMedium, ImageBurnFit,
    ::testing::Values(
        FitCase{"CdR", platform::kProfileCdR, false, 0, 359849},
        FitCase{"CdRSmall", platform::kProfileCdR, false, kSmall, kSmall},
        FitCase{"CdRw", platform::kProfileCdRw, false, 0, 359849},
        FitCase{"CdRwSmall", platform::kProfileCdRw, false, kSmall, kSmall},
        FitCase{"DvdR", platform::kProfileDvdR, false, 0, 2298496},
        FitCase{"DvdRSmall", platform::kProfileDvdR, false, kSmall, kSmall},
        FitCase{"DvdRwSequential", platform::kProfileDvdRwSequential, false, 0, 2298496},
        FitCase{"DvdRwSequentialSmall", platform::kProfileDvdRwSequential, false, kSmall, kSmall},
        FitCase{"DvdRwRestricted", platform::kProfileDvdRwRestricted, false, 0, 2298496},
        FitCase{"DvdRwRestrictedSmall", platform::kProfileDvdRwRestricted, false, kSmall, kSmall},
        FitCase{"DvdPlusR", platform::kProfileDvdPlusR, false, 0, 2295104},
        FitCase{"DvdPlusRSmall", platform::kProfileDvdPlusR, false, kSmall, kSmall},
        FitCase{"DvdPlusRDl", platform::kProfileDvdPlusRDl, false, 0, 4173824},
        FitCase{"DvdPlusRDlSmall", platform::kProfileDvdPlusRDl, false, kSmall, kSmall},
        FitCase{"DvdPlusRwBlank", platform::kProfileDvdPlusRw, false, 0, 2295104},
        FitCase{"DvdPlusRwBlankSmall", platform::kProfileDvdPlusRw, false, kSmall, kSmall},
        FitCase{"DvdPlusRwFormatted", platform::kProfileDvdPlusRw, true, 0, 2295104},
        FitCase{"DvdPlusRwFormattedSmall", platform::kProfileDvdPlusRw, true, kSmall, kSmall},
        FitCase{"DvdRam", platform::kProfileDvdRam, false, 0, 2236704},
        FitCase{"DvdRamSmall", platform::kProfileDvdRam, false, kSmall, kSmall},
        FitCase{"BdR", platform::kProfileBdRSrm, false, 0, 12219392},
        FitCase{"BdRSmall", platform::kProfileBdRSrm, false, kSmall, kSmall},
        FitCase{"BdReBlank", platform::kProfileBdRe, false, 0, 12219392},
        FitCase{"BdReBlankSmall", platform::kProfileBdRe, false, kSmall, kSmall},
        FitCase{"BdReFormatted", platform::kProfileBdRe, true, 0, 12219392},
        FitCase{"BdReFormattedSmall", platform::kProfileBdRe, true, kSmall, kSmall}),
    [](const ::testing::TestParamInfo<FitCase>& info) { return std::string(info.param.name); });

TEST_F(ImageBurn, ACutImageIsRefusedBeforeAnyWriteNamingTheFileAndBothSizes) {
  UseMedium(platform::kProfileDvdPlusR);
  const std::string cut = dir_.path() + "/cut" + kOdd + ".iso";
  WriteNumberedImage(cut, 8288, 16560, false);
  auto sink = Advised();
  EXPECT_EQ(Burn(sink, cut), End(1, 0, 1));
  EXPECT_EQ(Said(*sink), "The image " + cut +
                             " is shorter than the volume it holds: it has 8288 whole sectors, its volume "
                             "declares 16560: nothing was written.\n");
  // Only the system area and the descriptor, and a raw image cut inside a sector.
  NextJob();
  WriteNumberedImage(cut, 17, 16560, false);
  auto head = Advised();
  EXPECT_EQ(Burn(head, cut), End(1, 0, 1));
  NextJob();
  WriteNumberedImage(cut, 64, 64, false);
  const std::string raw = Wrapped(cut, 2352, 16, kRawMode1);
  fs::resize_file(raw, 64 * 2352 - 1);
  auto cut_raw = Advised();
  EXPECT_EQ(Burn(cut_raw, raw), End(1, 0, 1));
  EXPECT_TRUE(Commands(mmc::kWrite10).empty());
}

}  // namespace
}  // namespace zephrel
