// Burner_ImportLastSession on an emulated appendable DVD-R whose sessions
// genisoimage wrote: the last session's tree lands in the project tree,
// marked, with the old files' extents pointing at their bytes on the disc.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "api/emulated_engine_testutil.h"
#include "drive/mmc_drive.h"
#include "drive/session_tracks.h"
#include "jobs/job_state.h"
#include "platform/text.h"
#include "testing/temp_folder.h"
#include "testing/tools.h"
#include "tree/project_tree.h"

namespace zephrel::testing {
namespace {

using vantora::testing::RunTool;
using vantora::testing::TempFolder;

constexpr std::uint32_t kSector = 2048;

class ImportLastSessionTest : public EmulatedEngineTest {
 protected:
  void SetUp() override {
    EmulatedEngineTest::SetUp();
    ProjectTree::Process().Clear();
    UseMedium(platform::kProfileDvdR);
    sink_ = Advised();
  }
  void TearDown() override {
    ProjectTree::Process().Clear();
    EmulatedEngineTest::TearDown();
  }

  void Write(const std::string& relative, const std::string& text) {
    const std::filesystem::path p = src() / platform::Utf8ToPath(relative);
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
  }
  std::filesystem::path src() const { return dir_ / "src"; }

  // Writes one session of genisoimage's making (on top of the disc's last
  // session when there is one) as an incremental track, and closes it so
  // the disc stays appendable.
  void BurnSession(std::vector<std::string> options) {
    MmcDrive drive(raw_shared());
    const std::uint32_t next = NewSessionStart(drive);
    std::vector<std::string> argv = {"env", "TZ=Europe/Paris", "genisoimage", "-quiet"};
    argv.insert(argv.end(), options.begin(), options.end());
    if (sessions_ > 0) {
      std::string error;
      ASSERT_TRUE(drive_->ExportUserData(dir_ / "disc.bin", &error)) << error;
      argv.insert(argv.end(), {"-C", std::to_string(last_start_) + "," + std::to_string(next), "-M",
                               platform::PathToUtf8(dir_ / "disc.bin")});
    }
    argv.insert(argv.end(), {"-o", platform::PathToUtf8(dir_ / "session.iso"), platform::PathToUtf8(src())});
    auto r = RunTool(argv);
    ASSERT_EQ(r.exit_code, 0) << r.output;
    std::ifstream in(dir_ / "session.iso", std::ios::binary);
    std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(in)), {});
    image.resize((image.size() + kSector - 1) / kSector * kSector, 0);
    ASSERT_TRUE(drive
                    .MmcSetWriteParameters(platform::mmc::kDataBlockMode1, platform::mmc::kWriteTypePacket,
                                           false, true, false)
                    .ok());
    const std::uint32_t sectors = static_cast<std::uint32_t>(image.size() / kSector);
    for (std::uint32_t done = 0; done < sectors; done += 16) {
      const std::uint16_t n = static_cast<std::uint16_t>(std::min<std::uint32_t>(16, sectors - done));
      ASSERT_TRUE(
          drive
              .MmcWrite10(std::span(image.data() + std::size_t(done) * kSector, std::size_t(n) * kSector),
                          next + done, n, true)
              .ok());
    }
    const auto tracks = ReadLastSessionTracks(drive);
    ASSERT_TRUE(tracks);
    ASSERT_TRUE(
        drive.MmcCloseTrackSession(false, mmc::kCloseTrack, static_cast<std::uint16_t>(tracks->last)).ok());
    ASSERT_TRUE(drive.MmcCloseTrackSession(false, mmc::kCloseSession, 0).ok());
    last_start_ = next;
    ++sessions_;
  }

  std::map<std::string, TreeElement> Imported() {
    std::map<std::string, TreeElement> by_name;
    for (const TreeElement& e : ProjectTree::Process().Snapshot()) {
      if (!e.removed) by_name[e.name] = e;
    }
    return by_name;
  }
  std::string BytesOf(const TreeElement& e) {
    MmcDrive drive(raw_shared());
    std::vector<std::uint8_t> buffer((e.file_size + kSector - 1) / kSector * kSector);
    if (buffer.empty()) return {};
    EXPECT_TRUE(
        drive.MmcReadSectors(e.extent, static_cast<std::uint16_t>(buffer.size() / kSector), buffer).ok());
    return std::string(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(e.file_size));
  }
  std::vector<std::string> Reports() const {
    return sink_->Texts(platform::DispId(kBurningErrorViewDescription));
  }

  TempFolder dir_;
  std::shared_ptr<RecordingSink> sink_;
  std::uint32_t last_start_ = 0;
  int sessions_ = 0;
};

TEST_F(ImportLastSessionTest, TheSecondSessionOfAJolietDiscImportsWithOldAndNewFilesWhereTheyLie) {
  Write("dossier é/日本.txt", "first session bytes");
  BurnSession({"-J"});
  std::filesystem::remove_all(src());
  Write("new file.txt", "second session bytes");
  BurnSession({"-J"});
  ASSERT_GT(last_start_, 0u);

  drive_->ClearCommandLog();
  ASSERT_EQ(builder_->Burner_ImportLastSession(0), platform::S_OK);
  EXPECT_TRUE(Reports().empty()) << Reports().front();
  auto tree = Imported();
  ASSERT_EQ(tree.size(), 3u);
  ASSERT_TRUE(tree.count("DOSSIER_") || tree.count("dossier é"));
  ASSERT_TRUE(tree.count("new file.txt"));
  const TreeElement& fresh = tree["new file.txt"];
  EXPECT_TRUE(fresh.from_last_session);
  EXPECT_GE(fresh.extent, last_start_);
  EXPECT_EQ(BytesOf(fresh), "second session bytes");
  for (const auto& [name, e] : tree) {
    if (e.is_file() && name != "new file.txt") {
      EXPECT_LT(e.extent, last_start_) << "the old file still lies in the first session";
      EXPECT_EQ(BytesOf(e), "first session bytes");
    }
  }
  bool session_information_asked = false;
  for (const auto& c : drive_->CommandLog()) {
    session_information_asked |= c.cdb.size() > 2 && c.cdb[0] == 0x43 && (c.cdb[2] & 0x0F) == 1;
  }
  EXPECT_TRUE(session_information_asked) << "the last session is found from READ TOC format 1";
}

TEST_F(ImportLastSessionTest, ASessionWithoutJolietImportsItsPrimaryNames) {
  Write("readme", "plain");
  BurnSession({});
  ASSERT_EQ(builder_->Burner_ImportLastSession(0), platform::S_OK);
  auto tree = Imported();
  ASSERT_TRUE(tree.count("README")) << "README.;1 is README";
  EXPECT_EQ(BytesOf(tree["README"]), "plain");
}

TEST_F(ImportLastSessionTest, ASessionWithABootRecordImportsItsFiles) {
  Write("boot.img", std::string(4 * kSector, 'b'));
  Write("data.txt", "data");
  BurnSession({"-J", "-b", "boot.img", "-no-emul-boot", "-c", "boot.cat"});
  ASSERT_EQ(builder_->Burner_ImportLastSession(0), platform::S_OK);
  auto tree = Imported();
  ASSERT_TRUE(tree.count("data.txt"));
  EXPECT_EQ(BytesOf(tree["data.txt"]), "data");
  EXPECT_EQ(tree["boot.img"].file_size, 4 * kSector);
}

TEST_F(ImportLastSessionTest, ASecondImportReplacesTheFirstAndKeepsWhatWasAddedIntoItsFolders) {
  Write("folder/old.txt", "old");
  BurnSession({"-J"});
  ASSERT_EQ(builder_->Burner_ImportLastSession(0), platform::S_OK);
  std::int32_t folder_id = Imported()["folder"].id;
  ProjectTree& tree = ProjectTree::Process();
  const std::int32_t added = tree.AddVirtualDirectory(folder_id, "added later");
  ASSERT_GT(added, 0);
  ASSERT_EQ(builder_->Burner_ImportLastSession(0), platform::S_OK);
  EXPECT_EQ(tree.GetFileCount(), 1) << "not imported twice";
  EXPECT_EQ(tree.GetDirectoryCount(), 2);
  auto now = Imported();
  ASSERT_TRUE(now.count("added later"));
  EXPECT_EQ(now["added later"].parent_id, now["folder"].id);
  EXPECT_FALSE(now["added later"].from_last_session);
}

TEST_F(ImportLastSessionTest, ABlankDiscImportsNothingAndSaysSo) {
  ASSERT_EQ(builder_->Burner_ImportLastSession(0), platform::S_OK);
  EXPECT_TRUE(ProjectTree::Process().Snapshot().empty());
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_EQ(Reports()[0], "The disc holds no session to import.");
}

// A target that moves fewer bytes of READ TOC than it declares: the session
// cannot be found, and the user is told so, not that the disc is blank.
TEST_F(ImportLastSessionTest, ATableOfContentsCutShortIsReportedAsIncompleteNeverAsNoSession) {
  Write("kept.txt", "k");
  BurnSession({"-J"});
  for (std::uint32_t cut : {2u, 8u}) {
    const std::size_t before = Reports().size();
    platform::InjectedFault fault;
    fault.opcode = 0x43;
    fault.shorten = cut;
    drive_->InjectFault(fault);
    ASSERT_EQ(builder_->Burner_ImportLastSession(0), platform::S_OK);
    EXPECT_TRUE(ProjectTree::Process().Snapshot().empty()) << cut;
    ASSERT_EQ(Reports().size(), before + 1) << cut;
    EXPECT_EQ(Reports().back(), "The drive returned the table of contents of the disc incomplete (" +
                                    std::to_string(12 - cut) + " bytes): the last session cannot be found.");
  }
  // Whole again, the same disc imports.
  const std::size_t before = Reports().size();
  ASSERT_EQ(builder_->Burner_ImportLastSession(0), platform::S_OK);
  EXPECT_EQ(Reports().size(), before);
  EXPECT_TRUE(Imported().count("kept.txt"));
}

TEST_F(ImportLastSessionTest, WhileAnotherDiscJobRunsNothingIsReadAndTheClientIsTold) {
  Write("kept.txt", "k");
  BurnSession({"-J"});
  auto ticket = EngineState::Instance().threads.TryClaimJob();
  ASSERT_TRUE(ticket);
  drive_->ClearCommandLog();
  ASSERT_EQ(builder_->Burner_ImportLastSession(0), platform::S_OK);
  ticket->Release();
  EXPECT_TRUE(ProjectTree::Process().Snapshot().empty());
  EXPECT_TRUE(drive_->CommandLog().empty());
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_EQ(Reports()[0], "Another disc job is running");
}

TEST_F(ImportLastSessionTest, AnUnknownDriveIsReported) {
  ASSERT_EQ(builder_->Burner_ImportLastSession(7), platform::S_OK);
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_EQ(Reports()[0], "There is no drive number 7");
}

TEST_F(ImportLastSessionTest, ANewSessionBurnedOnTopListsTheOldAndNewFilesAndTheOldBytesStay) {
  Write("dossier/old.txt", "first session bytes");
  Write("top old.txt", "top old bytes");
  BurnSession({"-J"});
  ASSERT_EQ(builder_->Burner_ImportLastSession(0), platform::S_OK);
  ASSERT_TRUE(Reports().empty()) << Reports().front();
  Write("../added/nouveau é.txt", "new session bytes");
  builder_->AddFile(kRootId, platform::PathToUtf8(dir_ / "added" / platform::Utf8ToPath("nouveau é.txt")));
  MmcDrive drive(raw_shared());
  const std::uint32_t second = NewSessionStart(drive);
  ASSERT_GT(second, 0u);
  const std::size_t ends = sink_->Count(platform::DispId(kBurnerOnEndBurn));
  builder_->Burner_BurnData(0, 8, 1, 1, 0, 1, 1, 0);
  ASSERT_TRUE(sink_->WaitFor(platform::DispId(kBurnerOnEndBurn), ends + 1));
  const auto end = sink_->events().back();
  ASSERT_EQ(end.id, platform::DispId(kBurnerOnEndBurn));
  ASSERT_EQ(end.args.at(2).i4(), 0) << "the burn failed: " << ::testing::PrintToString(Reports());
  drive_->CloseTray();  // the burn ejects the disc at its end

  std::string error;
  ASSERT_TRUE(drive_->ExportUserData(dir_ / "disc.bin", &error)) << error;
  const std::string disc = platform::PathToUtf8(dir_ / "disc.bin");
  auto listing =
      RunTool({"isoinfo", "-J", "-j", "iso8859-1", "-l", "-i", disc, "-T", std::to_string(second)});
  ASSERT_EQ(listing.exit_code, 0) << listing.output;
  EXPECT_NE(listing.output.find("old.txt"), std::string::npos) << listing.output;
  EXPECT_NE(listing.output.find("top old.txt"), std::string::npos) << listing.output;
  EXPECT_NE(listing.output.find("nouveau \xE9.txt"), std::string::npos) << listing.output;
  auto found = RunTool({"xorriso", "-abort_on", "FATAL", "-load", "sbsector", std::to_string(second),
                        "-indev", disc, "-find", "/", "-type", "f"});
  ASSERT_EQ(found.exit_code, 0) << found.output;
  EXPECT_NE(found.output.find("/dossier/old.txt"), std::string::npos) << found.output;
  EXPECT_NE(found.output.find("/top old.txt"), std::string::npos) << found.output;
  EXPECT_NE(found.output.find("/nouveau é.txt"), std::string::npos) << found.output;
  // The old files' bytes, read back through the new session's directories.
  auto extracted = RunTool({"xorriso", "-abort_on", "FATAL", "-load", "sbsector", std::to_string(second),
                            "-indev", disc, "-osirrox", "on", "-extract", "/dossier/old.txt",
                            platform::PathToUtf8(dir_ / "old back.txt")});
  ASSERT_EQ(extracted.exit_code, 0) << extracted.output;
  std::ifstream back(dir_ / "old back.txt", std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(back)), {}), "first session bytes");

  // A fresh import reads the new session: old and new files together.
  ProjectTree::Process().Clear();
  const std::size_t said = Reports().size();
  ASSERT_EQ(builder_->Burner_ImportLastSession(0), platform::S_OK);
  EXPECT_EQ(Reports().size(), said) << Reports().back();
  auto tree = Imported();
  EXPECT_TRUE(tree.count("old.txt") && tree.count("top old.txt") && tree.count("nouveau é.txt"));
  for (const auto& [name, e] : tree) EXPECT_TRUE(e.from_last_session) << name;
  EXPECT_EQ(BytesOf(tree["old.txt"]), "first session bytes");
  EXPECT_EQ(BytesOf(tree["nouveau é.txt"]), "new session bytes");
}

}  // namespace
}  // namespace zephrel::testing
