// The data burn through the engine object on an emulated drive: what the
// medium holds afterwards, read back with xorriso, isoinfo, udfinfo and lsdvd
// from the drive's exported user data, against CreateIso of the same project
// at the same build time; the close commands each medium gets; and how the
// job ends when the disc, the drive or the client gets in the way.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "api/project_image.h"
#include "burn/burn_pipeline.h"
#include "burn/burn_testutil.h"
#include "drive/mmc_commands.h"
#include "image/image_build_testutil.h"
#include "image/iso9660_format.h"
#include "image/iso9660_testutil.h"
#include "platform/byte_order.h"
#include "testing/tools.h"
#include "tree/project_tree.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;
using platform::Variant;
using vantora::testing::RunTool;

using testing::kOdd;
using testing::kTrue;
using testing::ReadAll;

class DataBurn : public testing::BurnTest {
 protected:
  void SetUp() override {
    BurnTest::SetUp();
    ProjectTree::Process().Clear();
    SetBuildClockForTesting(testing::PinnedClock(1700000000));
  }
  void TearDown() override {
    BurnTest::TearDown();
    SetBuildClockForTesting(nullptr);
    ProjectTree::Process().Clear();
  }

  // The project: every entry of dir/src at the root.
  void AddSource(const std::shared_ptr<testing::RecordingSink>& sink) {
    std::size_t folders = 0;
    for (const auto& entry : fs::directory_iterator(dir_.path() + "/src")) {
      if (entry.is_directory()) {
        builder_->AddDirectory(kRootId, entry.path().string());
        ASSERT_TRUE(sink->WaitFor(kOnEndAddingElements, ++folders));
      } else {
        builder_->AddFile(kRootId, entry.path().string());
      }
    }
  }
  void MakeSource() {
    dir_.MakeDir("src");
    dir_.MakeDir("src/folder" + kOdd);
    dir_.WriteFile("src/folder" + kOdd + "/inner" + kOdd + ".txt", "inner\n");
    dir_.WriteFile("src/folder" + kOdd + "/big.bin", "big", 3u << 20);
    dir_.WriteFile("src/top.txt", "top\n");
  }

  // Burns the project and waits for the end.
  std::vector<Variant> Burn(const std::shared_ptr<testing::RecordingSink>& sink, std::int32_t multisession,
                            std::int32_t fake = 0, std::int32_t video = 0) {
    const std::size_t ends = sink->Count(kBurnerOnEndBurn);
    builder_->Burner_BurnData(0, 8, 1, multisession, fake, kTrue, 0, video);
    return WaitForEnd(*sink, ends);
  }
  // CreateIso of the same project.
  std::string CreateIso(const std::shared_ptr<testing::RecordingSink>& sink, int video = 0) {
    const std::string image = dir_.path() + "/same" + kOdd + ".iso";
    const std::size_t ends = sink->Count(kBurnerOnEndBurn);
    builder_->CreateIso(image, 0, video);
    EXPECT_TRUE(sink->WaitFor(kBurnerOnEndBurn, ends + 1));
    return image;
  }
};

// ---------------------------------------------------------------------------
// What the medium holds

TEST_F(DataBurn,
       AProjectBurnedOnADvdPlusRHoldsTheBytesOfCreateIsoPaddedToWholeBlocksAndReadsBackAsTheSource) {
  MakeSource();
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  AddSource(sink);
  const std::vector<std::uint8_t> image = ReadAll(CreateIso(sink));
  ASSERT_FALSE(image.empty());
  EXPECT_EQ(Burn(sink, 0), End(1, 0, 0)) << Said(*sink);

  const std::string medium = Export();
  std::vector<std::uint8_t> burned = ReadAll(medium);
  const std::uint32_t sectors = static_cast<std::uint32_t>(image.size() / 2048);
  const std::uint32_t padded = (sectors + 31) / 32 * 32;
  ASSERT_EQ(burned.size(), padded * 2048ul);
  EXPECT_EQ(VolumeSpaceSize(burned), padded) << "the volume records the padded size";
  EXPECT_EQ(VolumeSpaceSize(image), sectors);
  // Apart from the recorded size, the burn laid out the same bytes.
  std::vector<std::uint8_t> expected = image;
  expected.resize(burned.size(), 0);
  for (std::uint32_t sector : {iso9660::kPrimaryDescriptorSector, iso9660::kJolietDescriptorSector})
    iso9660::PutBoth32(expected.data() + sector * 2048 + iso9660::vd::kVolumeSpaceSize, padded);
  EXPECT_TRUE(burned == expected);
  testing::ExpectIsoImageReadable(dir_, medium);

  EXPECT_EQ(Closes(), (std::vector<std::pair<int, int>>{{1, 1}, {2, 255}, {6, 2}}))
      << "without multisession a DVD+R is finalised";
  EXPECT_EQ(DiscInfo()[2] & 0x03, 2) << "complete";
  EXPECT_EQ(Commands(mmc::kSynchronizeCache).size(), 1u);
}

TEST_F(DataBurn, EveryWriteIsOneWholeBlockAtTheNextAddressAndTheProgressCountsTheSectorsWritten) {
  MakeSource();
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  AddSource(sink);
  ASSERT_EQ(Burn(sink, 1), End(1, 0, 0));
  const auto writes = Commands(mmc::kWrite10);
  ASSERT_FALSE(writes.empty());
  std::uint32_t next = 0;
  for (const auto& w : writes) {
    EXPECT_EQ(platform::GetBe32(w.data() + 2), next);
    EXPECT_EQ(platform::GetBe16(w.data() + 7), 32u);
    next += 32;
  }
  std::int32_t last_total = 0, last_done = -1;
  for (const auto& e : sink->events()) {
    if (e.id != kOnBuildingProcess || e.args[0].i4() != 11) continue;
    EXPECT_GE(e.args[6].i4(), last_done);
    last_done = e.args[6].i4();
    last_total = e.args[5].i4();
  }
  EXPECT_EQ(last_total, static_cast<std::int32_t>(next));
  EXPECT_EQ(last_done, static_cast<std::int32_t>(next)) << "the last progress is the whole burn";
  EXPECT_GT(sink->Count(kBurnerBufferStatus), 0u);
  EXPECT_EQ(Closes(), (std::vector<std::pair<int, int>>{{1, 1}, {2, 255}})) << "multisession: left open";
  EXPECT_EQ(DiscInfo()[2] & 0x03, 1) << "appendable";
}

TEST_F(DataBurn, ADvdMinusRIsReservedThenClosedTrackBySessionAndReadsBack) {
  MakeSource();
  UseMedium(platform::kProfileDvdR);
  auto sink = Advised();
  AddSource(sink);
  ASSERT_EQ(Burn(sink, 0), End(1, 0, 0)) << Said(*sink);
  ASSERT_EQ(Commands(mmc::kReserveTrack).size(), 1u);
  EXPECT_EQ(Closes(), (std::vector<std::pair<int, int>>{{1, 1}, {2, 3}}));
  testing::ExpectIsoImageReadable(dir_, Export());
}

TEST_F(DataBurn, ACdRIsWrittenInBlocksOf27SectorsClosedBySessionAndReadsBack) {
  MakeSource();
  UseMedium(platform::kProfileCdR);
  auto sink = Advised();
  AddSource(sink);
  ASSERT_EQ(Burn(sink, 0), End(1, 0, 0)) << Said(*sink);
  const auto writes = Commands(mmc::kWrite10);
  ASSERT_FALSE(writes.empty());
  for (const auto& w : writes) EXPECT_EQ(platform::GetBe16(w.data() + 7), 27u);
  EXPECT_EQ(Closes(), (std::vector<std::pair<int, int>>{{2, 0}}));
  const std::string medium = Export();
  EXPECT_EQ(ReadAll(medium).size() % (27 * 2048), 0u);
  testing::ExpectIsoImageReadable(dir_, medium);
}

TEST_F(DataBurn, ASecondSessionStartsAtTheNextWritableAddressAndReadsAtThatSession) {
  MakeSource();
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  AddSource(sink);
  ASSERT_EQ(Burn(sink, 1), End(1, 0, 0));
  const std::uint32_t first_end = static_cast<std::uint32_t>(ReadAll(Export("first.iso")).size() / 2048);

  // The emulated drive puts the next session after a lead-out gap.
  NextJob();
  ProjectTree::Process().Clear();
  fs::remove_all(dir_.path() + "/src");
  dir_.MakeDir("src");
  dir_.WriteFile("src/second" + kOdd + ".txt", "second session\n");
  dir_.WriteFile("src/more.bin", "more", 200000);
  auto second = Advised();
  AddSource(second);
  ASSERT_EQ(Burn(second, 1), End(1, 0, 0)) << Said(*second);
  const auto writes = Commands(mmc::kWrite10);
  ASSERT_FALSE(writes.empty());
  const std::uint32_t session = platform::GetBe32(writes.front().data() + 2);
  ASSERT_GE(session, first_end);
  const std::string medium = Export("both.iso");
  const std::vector<std::uint8_t> bytes = ReadAll(medium);
  EXPECT_EQ(VolumeSpaceSize(bytes, session) % 32, 0u);

  const auto listing = RunTool({"isoinfo", "-J", "-f", "-T", std::to_string(session), "-i", medium});
  EXPECT_EQ(listing.exit_code, 0) << listing.output;
  EXPECT_NE(listing.output.find("/more.bin"), std::string::npos) << listing.output;
  const std::string out = dir_.path() + "/extracted";
  const auto extract = RunTool({"xorriso", "-osirrox", "on", "-load", "sbsector", std::to_string(session),
                                "-indev", medium, "-extract", "/", out});
  EXPECT_EQ(extract.exit_code, 0) << extract.output.substr(0, 4000);
  RunTool({"chmod", "-R", "u+w", out});
  const auto diff = RunTool({"diff", "-r", dir_.path() + "/src", out});
  EXPECT_EQ(diff.exit_code, 0) << diff.output.substr(0, 4000);
}

// ---------------------------------------------------------------------------
// Simulation

TEST_F(DataBurn, ASimulatedBurnOnADvdMinusRWritesNothingOnTheMedium) {
  MakeSource();
  UseMedium(platform::kProfileDvdR);
  auto sink = Advised();
  AddSource(sink);
  ASSERT_EQ(Burn(sink, 0, kTrue), End(1, 0, 0)) << Said(*sink);
  EXPECT_FALSE(Commands(mmc::kWrite10).empty()) << "the drive was sent the data";
  EXPECT_EQ(DiscInfo()[2] & 0x03, 0) << "and the disc is still blank";
}

TEST_F(DataBurn, ASimulatedBurnOnADvdPlusRIsRefusedBeforeAnythingIsWritten) {
  MakeSource();
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  AddSource(sink);
  EXPECT_EQ(Burn(sink, 0, kTrue), End(1, 0, 1));
  EXPECT_EQ(sink->Texts(kBurningErrorViewDescription),
            std::vector<std::string>{
                "This medium cannot be burned in simulation (test write): nothing was written."});
  EXPECT_TRUE(Commands(mmc::kWrite10).empty());
  EXPECT_TRUE(Commands(mmc::kCloseTrackSession).empty());
  EXPECT_EQ(DiscInfo()[2] & 0x03, 0);
}

TEST_F(DataBurn, AutomationTrueForBurnProofTurnsBufferUnderrunProtectionOnSoAnUnderrunDoesNoHarm) {
  MakeSource();
  UseMedium(platform::kProfileCdR);
  drive_->ArmUnderrun();  // without protection the next write ruins the disc
  auto sink = Advised();
  AddSource(sink);
  ASSERT_EQ(Burn(sink, 0), End(1, 0, 0)) << Said(*sink);
  testing::ExpectIsoImageReadable(dir_, Export());
}

// ---------------------------------------------------------------------------
// Failures

TEST_F(DataBurn, AWriteErrorEndsTheJobOnceWithTheErrorFlagAndTheSenseText) {
  MakeSource();
  UseMedium(platform::kProfileDvdPlusR);
  drive_->InjectFault(
      {.opcode = mmc::kWrite10, .first_lba = 64, .count = 100, .key = 0x03, .asc = 0x0C, .ascq = 0x00});
  auto sink = Advised();
  AddSource(sink);
  const auto end = Burn(sink, 0);
  EXPECT_EQ(end[2].i4(), 1);
  const auto texts = sink->Texts(kBurningErrorViewDescription);
  ASSERT_FALSE(texts.empty());
  EXPECT_NE(texts[0].find("Write Error"), std::string::npos) << texts[0];
  for (const auto& w : Commands(mmc::kWrite10)) EXPECT_LE(platform::GetBe32(w.data() + 2), 64u);
}

TEST_F(DataBurn, ADiscTooSmallGives1015AndOneEndAsCancelledWithNothingWritten) {
  MakeSource();
  platform::MediumSpec small;
  small.profile = platform::kProfileCdR;
  small.atip_lead_out = {0, 20, 0};  // 20 seconds: 1350 sectors
  UseDrive(&small);
  auto sink = Advised();
  AddSource(sink);
  EXPECT_EQ(Burn(sink, 0), End(1, 1, 0));
  EXPECT_EQ(Errors(*sink), std::vector<std::int32_t>{1015});
  EXPECT_TRUE(Commands(mmc::kWrite10).empty());
  EXPECT_TRUE(Commands(mmc::kCloseTrackSession).empty());
}

TEST_F(DataBurn, AnUnreadableNextWritableAddressOnASequentialMediumAbortsInsteadOfWritingFromSectorZero) {
  MakeSource();
  UseMedium(platform::kProfileDvdPlusR);
  drive_->InjectFault({.opcode = mmc::kReadTrackInformation, .count = 100, .key = 0x05, .asc = 0x24});
  auto sink = Advised();
  AddSource(sink);
  EXPECT_EQ(Burn(sink, 0), End(1, 0, 1));
  EXPECT_EQ(
      sink->Texts(kBurningErrorViewDescription),
      std::vector<std::string>{"The next writable address of the disc cannot be read: nothing was written."});
  EXPECT_TRUE(Commands(mmc::kWrite10).empty());
}

TEST_F(DataBurn, AFinalisedDiscThatReportsNoWritableAddressIsNotWrittenOver) {
  MakeSource();
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  AddSource(sink);
  ASSERT_EQ(Burn(sink, 0), End(1, 0, 0));
  const std::vector<std::uint8_t> before = ReadAll(Export("before.iso"));
  NextJob();
  auto again = Advised();
  EXPECT_EQ(Burn(again, 0), End(1, 0, 1));
  EXPECT_EQ(again->Texts(kBurningErrorViewDescription),
            std::vector<std::string>{
                "The disc takes no more data (it has no writable address): nothing was written."});
  EXPECT_TRUE(Commands(mmc::kWrite10).empty());
  EXPECT_TRUE(ReadAll(Export("after.iso")) == before);
}

TEST_F(DataBurn, AFailedCloseEndsWith1014AndTheSenseTextInsteadOfBurningComplete) {
  MakeSource();
  UseMedium(platform::kProfileDvdPlusR);
  drive_->InjectFault(
      {.opcode = mmc::kCloseTrackSession, .count = 1, .key = 0x05, .asc = 0x2C, .ascq = 0x00});
  auto sink = Advised();
  AddSource(sink);
  EXPECT_EQ(Burn(sink, 1), End(1, 0, 1));
  EXPECT_EQ(Errors(*sink), std::vector<std::int32_t>{1014});
  EXPECT_EQ(sink->Texts(kBurningErrorViewDescription).size(), 1u);
}

TEST_F(DataBurn, AFailedSynchronizeCacheOfADvdMinusRwInDiscAtOnceModeIsReportedToo) {
  MakeSource();
  UseMedium(platform::kProfileDvdRwSequential);
  drive_->InjectFault(
      {.opcode = mmc::kSynchronizeCache, .count = 100, .key = 0x03, .asc = 0x0C, .ascq = 0x00});
  auto sink = Advised();
  AddSource(sink);
  builder_->Burner_BurnData(0, 8, 2, 0, 0, kTrue, 0, 0);
  ASSERT_TRUE(sink->WaitFor(kBurnerOnEndBurn));
  builder_->UnloadCom();
  EXPECT_EQ(sink->events().back().args, End(1, 0, 1));
  EXPECT_EQ(Errors(*sink), std::vector<std::int32_t>{1014});
}

// Another program acts on the drive in the middle of the burn, through the
// emulated drive's tool: its tray button is refused while the burn holds the
// tray locked; a tray forced open or a write fault it sets reaches the burn,
// which ends once with its error flag and the drive's reason.
TEST_F(DataBurn, AnotherProgramsTrayOpeningOrWriteFaultMidBurnEndsTheJobOnceWithTheErrorFlag) {
  struct Case {
    std::vector<std::string> tool;
    const char* reason;
  };
  const Case cases[] = {
      {{"eject", "--force", root_.string()}, "Medium Not Present"},
      {{"fault", root_.string(), "2A", "3", "0C", "00", "1000"}, "Write Error"},
  };
  MakeSource();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    UseMedium(platform::kProfileDvdPlusR);
    auto sink = Advised();
    AddSource(sink);
    std::atomic<bool> acted{false};
    std::atomic<int> button = -1, tool = -1;
    sink->SetHook([&](const testing::RecordedEvent& e) {
      if (e.id != kOnBuildingProcess || e.args[0].i4() != 11 || acted.exchange(true)) return;
      button =
          RunTool({EMUDRIVE_TOOL, "eject", root_.string()}, vantora::testing::ToolErrors::kApart).exit_code;
      std::vector<std::string> argv = {EMUDRIVE_TOOL};
      argv.insert(argv.end(), c.tool.begin(), c.tool.end());
      tool = RunTool(argv).exit_code;
    });
    builder_->Burner_SetSizeBuffer(1);
    const auto end = Burn(sink, 0);
    EXPECT_EQ(button.load(), 1) << "the tray button is refused while the burn runs";
    EXPECT_EQ(tool.load(), 0);
    EXPECT_EQ(end[2].i4(), 1);
    const auto texts = sink->Texts(kBurningErrorViewDescription);
    ASSERT_FALSE(texts.empty());
    EXPECT_NE(texts[0].find(c.reason), std::string::npos) << texts[0];
    // The next case on a new drive.
    builder_->UnloadCom();
    source_.reset();
    raw_.reset();
    drive_.reset();
    fs::remove_all(root_);
    builder_ = CreateISOBuilder();
    ProjectTree::Process().Clear();
  }
}

TEST_F(DataBurn, UnloadComFromAHandlerOnTheDriveWritersThreadReturnsAndTheJobEndsOnce) {
  MakeSource();
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  AddSource(sink);
  std::atomic<bool> unloaded{false};
  sink->SetHook([&](const testing::RecordedEvent& e) {
    // The writer's progress is raised on its own thread.
    if (e.id == kOnBuildingProcess && e.args[0].i4() == 11 && !unloaded.exchange(true)) builder_->UnloadCom();
  });
  builder_->Burner_SetSizeBuffer(1);
  builder_->Burner_BurnData(0, 8, 1, 0, 0, kTrue, 0, 0);
  ASSERT_TRUE(sink->WaitFor(kBurnerOnEndBurn)) << "UnloadCom never returned to the writer";
  builder_->UnloadCom();
  EXPECT_TRUE(unloaded.load());
  EXPECT_EQ(sink->Count(kBurnerOnEndBurn), 1u);
}

TEST_F(DataBurn, ACancelRightAfterTheStartIsNotLostAndEndsWithoutCloseCommands) {
  MakeSource();
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  AddSource(sink);
  sink->SetHook([&](const testing::RecordedEvent& e) {
    if (e.id == kOnBuildingProcess && e.args[0].i4() == 1) builder_->CancelBurn();
  });
  EXPECT_EQ(Burn(sink, 0), End(1, 1, 0));
  EXPECT_TRUE(Commands(mmc::kWrite10).empty());
  EXPECT_TRUE(Commands(mmc::kCloseTrackSession).empty());
}

TEST_F(DataBurn, ACancelWhileTheDriveFinishesTheDiscEndsTheWaitAtOnceInsteadOfAfterFifteenMinutes) {
  MakeSource();
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  AddSource(sink);
  // The drive writes its lead-out for ever; the user cancels meanwhile.
  sink->SetHook([&](const testing::RecordedEvent& e) {
    if (e.id != kBurnerCloseSession) return;
    drive_->InjectFault(
        {.opcode = mmc::kReadDiscInformation, .count = 100000, .key = 0x02, .asc = 0x04, .ascq = 0x07});
    builder_->CancelBurn();
  });
  EXPECT_EQ(Burn(sink, 0), End(1, 1, 0)) << Said(*sink);
  EXPECT_LT(clock_->Elapsed(), std::chrono::seconds(2));
  EXPECT_EQ(Closes().size(), 1u) << "nothing is sent while the drive still closes the track";
  EXPECT_EQ(
      sink->Texts(kBurningErrorViewDescription),
      std::vector<std::string>{
          "Cancelled while the drive was still finishing the disc: it may go on writing for some minutes."});
}

TEST_F(DataBurn, ACancelBeforeTheFirstWriteSendsNoCloseCommandAndEndsCancelledWithoutError) {
  MakeSource();
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  AddSource(sink);
  // The producer fills the FIFO; the writer waits for it to be full, so the
  // first fill's report comes before any write.
  sink->SetHook([&](const testing::RecordedEvent& e) {
    if (e.id == kBurnerBufferStatus) builder_->CancelBurn();
  });
  EXPECT_EQ(Burn(sink, 0), End(1, 1, 0)) << Said(*sink);
  EXPECT_TRUE(Commands(mmc::kWrite10).empty());
  EXPECT_TRUE(Commands(mmc::kCloseTrackSession).empty());
  EXPECT_TRUE(Commands(mmc::kSynchronizeCache).empty());
  EXPECT_EQ(DiscInfo()[2] & 0x03, 0) << "still blank";
}

// On every medium the drive writes, a project of exactly what the disc holds
// burns whole (a write-once disc is finalised); on a disc one sector smaller
// it is refused before any write.
TEST_F(DataBurn, AProjectOfExactlyTheFreeSpaceBurnsWholeAndADiscOneSectorSmallerRefusesItWith1015) {
  MakeSource();
  // The project in the sectors a burn writes, padding included: whole blocks
  // of 27 sectors on a CD, of 32 on a DVD or BD.
  std::uint32_t projects[2] = {};  // a DVD or BD, a CD
  for (const std::uint16_t profile : {platform::kProfileDvdPlusR, platform::kProfileCdR}) {
    platform::MediumSpec standard;
    standard.profile = profile;
    ReplaceMedium(standard);
    ProjectTree::Process().Clear();
    auto sizing = Advised();
    AddSource(sizing);
    ASSERT_EQ(Burn(sizing, 0), End(1, 0, 0)) << Said(*sizing);
    projects[profile == platform::kProfileCdR] = SectorsWritten();
  }
  ASSERT_EQ(projects[0] % 32, 0u);
  ASSERT_EQ(projects[1] % 27, 0u);
  for (const std::uint16_t profile :
       {platform::kProfileCdR, platform::kProfileCdRw, platform::kProfileDvdR,
        platform::kProfileDvdRwSequential, platform::kProfileDvdRwRestricted, platform::kProfileDvdPlusR,
        platform::kProfileDvdPlusRDl, platform::kProfileDvdPlusRw, platform::kProfileDvdRam,
        platform::kProfileBdRSrm, platform::kProfileBdRe}) {
    const std::uint32_t project =
        projects[profile == platform::kProfileCdR || profile == platform::kProfileCdRw];
    platform::MediumSpec spec;
    spec.profile = profile;
    for (const std::uint32_t capacity : {project, project - 1}) {
      SCOPED_TRACE(::testing::Message() << "profile " << profile << ", " << capacity << " sectors");
      spec.capacity = capacity;
      ReplaceMedium(spec);
      ProjectTree::Process().Clear();
      auto sink = Advised();
      AddSource(sink);
      if (capacity == project) {
        EXPECT_EQ(Burn(sink, 0), End(1, 0, 0)) << Said(*sink);
        EXPECT_EQ(SectorsWritten(), project);
        testing::ExpectIsoImageReadable(dir_, Export("medium" + std::to_string(profile) + ".iso"));
        if (profile == platform::kProfileDvdPlusR || profile == platform::kProfileDvdR) {
          EXPECT_EQ(DiscInfo()[2] & 0x03, 2) << "complete";
        }
      } else {
        EXPECT_EQ(Burn(sink, 0), End(1, 1, 0)) << Said(*sink);
        EXPECT_EQ(Errors(*sink), std::vector<std::int32_t>{kErrorNoSpace});
        EXPECT_TRUE(Commands(mmc::kWrite10).empty());
        EXPECT_TRUE(Commands(mmc::kCloseTrackSession).empty());
      }
    }
  }
}

// Each writable medium's standard disc: the sectors it holds and the blocks
// a data burn on it writes whole.
struct StandardDisc {
  std::uint16_t profile;
  std::uint32_t free;
  std::uint32_t block;
};

const StandardDisc kStandardDiscs[] = {
    {platform::kProfileCdR, 359849, 27},
    {platform::kProfileCdRw, 359849, 27},
    {platform::kProfileDvdR, 2298496, 32},
    {platform::kProfileDvdRwSequential, 2298496, 32},
    {platform::kProfileDvdRwRestricted, 2298496, 32},
    {platform::kProfileDvdPlusR, 2295104, 32},
    {platform::kProfileDvdPlusRDl, 4173824, 32},
    {platform::kProfileDvdPlusRw, 2295104, 32},
    {platform::kProfileDvdRam, 2236704, 32},
    {platform::kProfileBdRSrm, 12219392, 32},
    {platform::kProfileBdRe, 12219392, 32},
};

// A project of sparse files as large as the standard disc holds is taken (the
// burn then cancelled before its first write); one sector more is refused
// before any write.
TEST_F(DataBurn, OnAStandardDiscOfEveryKindAProjectOfTheFreeSpaceIsTakenAndOneSectorMoreIsRefusedWith1015) {
  constexpr std::uint64_t kPiece = 1u << 20;  // sectors of one file: 2 GiB, under what a file may hold
  dir_.MakeDir("standard");
  const fs::path folder = fs::path(dir_.path()) / "standard";
  for (const StandardDisc& disc : kStandardDiscs) {
    SCOPED_TRACE(::testing::Message() << "profile " << disc.profile);
    platform::MediumSpec spec;
    spec.profile = disc.profile;
    const std::size_t files = (disc.free + kPiece) / kPiece;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < files; ++i) {
      paths.push_back((folder / ("part " + std::to_string(i) + kOdd + ".bin")).string());
      std::ofstream(paths.back(), std::ios::binary | std::ios::trunc).close();
      fs::resize_file(paths.back(), 2048);
    }
    const auto add = [&] {
      ProjectTree::Process().Clear();
      for (const std::string& path : paths) builder_->AddFile(kRootId, path);
    };
    // What the project takes besides its files' data.
    ReplaceMedium(spec);
    auto sizing = Advised();
    add();
    const std::string image = CreateIso(sizing);
    const std::uint64_t overhead = fs::file_size(image) / 2048 - files;
    fs::remove(image);
    for (const std::uint32_t more : {0u, 1u}) {
      SCOPED_TRACE(::testing::Message() << more << " sector(s) more than the disc holds");
      const std::uint64_t data = disc.free / disc.block * disc.block + more - overhead;
      ASSERT_GT(data, (files - 1) * kPiece);
      for (std::size_t i = 0; i < files; ++i)
        fs::resize_file(paths[i], (i + 1 < files ? kPiece : data - (files - 1) * kPiece) * 2048);
      ReplaceMedium(spec);
      auto sink = Advised();
      add();
      if (more == 0) {
        sink->SetHook([&](const testing::RecordedEvent& e) {
          if (e.id == kBurnerBufferStatus) builder_->CancelBurn();
        });
      }
      EXPECT_EQ(Burn(sink, 0), End(1, 1, 0)) << Said(*sink);
      EXPECT_EQ(Errors(*sink), more ? std::vector<std::int32_t>{kErrorNoSpace} : std::vector<std::int32_t>{});
      EXPECT_TRUE(Commands(mmc::kWrite10).empty());
      EXPECT_TRUE(Commands(mmc::kCloseTrackSession).empty());
    }
  }
}

TEST_F(DataBurn, ADvdVideoProjectBurnedOnADvdPlusRPassesLsdvdAndUdfinfo) {
  const fs::path video_ts =
      testing::AuthorDvdVideo(dir_.path() + "/dvd" + kOdd, 1, false, testing::TestClip("pal_43.mpg"), {});
  ASSERT_FALSE(video_ts.empty()) << "dvdauthor failed";
  UseMedium(platform::kProfileDvdPlusR);
  auto sink = Advised();
  builder_->AddVirtualDirectory(kRootId, "AUDIO_TS");
  builder_->AddVirtualDirectory(kRootId, "VIDEO_TS");
  for (const char* name : {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_1.VOB", "VTS_01_0.BUP"})
    builder_->AddFile(2, (video_ts / name).string());
  ASSERT_EQ(Burn(sink, 0, 0, 1), End(1, 0, 0)) << Said(*sink);
  const std::string medium = Export("video.iso");
  EXPECT_EQ(ReadAll(medium).size() % (32 * 2048), 0u);
  const auto udfinfo = RunTool({"udfinfo", medium});
  EXPECT_EQ(udfinfo.exit_code, 0) << udfinfo.output;
  EXPECT_EQ(udfinfo.output.find("rror"), std::string::npos) << udfinfo.output;
  const auto lsdvd = RunTool({"lsdvd", medium});
  EXPECT_EQ(lsdvd.exit_code, 0) << lsdvd.output;
}

}  // namespace
}  // namespace zephrel
