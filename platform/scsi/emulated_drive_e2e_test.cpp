// An ISO image made by genisoimage, burned by raw CDBs and exported again,
// must satisfy isoinfo and xorriso and match the image byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "emulated_drive_testutil.h"
#include "platform/emulated_drive.h"

namespace platform {
namespace {

using testing::EmulatedDriveHarness;
using testing::SenseText;
using testing::TempFolder;

// Runs a command line made of fixed tool names and our own temporary paths.
int RunTool(const std::string& command, std::string* output) {
  output->clear();
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  char chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output->append(chunk, n);
  return ::pclose(pipe);
}

std::vector<std::uint8_t> Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class BurnedIso : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto tree = folder_.path() / "tree";
    std::filesystem::create_directories(tree / "docs");
    std::ofstream(tree / "readme.txt") << "burned on an emulated drive\n";
    std::ofstream big(tree / "docs" / "numbers.bin", std::ios::binary);
    for (int i = 0; i < 100000; ++i) big << i << '\n';
    big.close();
    iso_ = folder_.path() / "source.iso";
    std::string out;
    ASSERT_EQ(RunTool("genisoimage -quiet -R -J -V EMUBURN -o " + iso_.string() + " " + tree.string(), &out),
              0)
        << out;
    image_ = Slurp(iso_);
    ASSERT_EQ(image_.size() % 2048, 0u);
  }

  // Writes the image at the next writable address of the open track, 32
  // sectors a command, as a burner does.
  void Burn(EmulatedDriveHarness& h, std::uint32_t track) {
    const std::uint32_t sectors = std::uint32_t(image_.size() / 2048);
    const std::uint32_t start = h.NextWritable(track);
    for (std::uint32_t done = 0; done < sectors; done += 32) {
      const std::uint32_t n = std::min<std::uint32_t>(32, sectors - done);
      ASSERT_EQ(SenseText(h.Write(start + done, n, image_, 2048, std::size_t(done) * 2048)), "ok");
    }
  }

  void CheckExport(EmulatedDriveHarness& h) {
    const auto exported = folder_.path() / "exported.iso";
    std::string error, out;
    ASSERT_TRUE(h.drive().ExportUserData(exported, &error)) << error;
    EXPECT_EQ(Slurp(exported), image_);
    ASSERT_EQ(RunTool("isoinfo -d -i " + exported.string(), &out), 0) << out;
    EXPECT_NE(out.find("Volume id: EMUBURN"), std::string::npos) << out;
    ASSERT_EQ(RunTool("xorriso -indev " + exported.string() + " -find / -type f", &out), 0) << out;
    EXPECT_NE(out.find("/docs/numbers.bin"), std::string::npos) << out;
    EXPECT_NE(out.find("/readme.txt"), std::string::npos) << out;
  }

  TempFolder folder_;
  std::filesystem::path iso_;
  std::vector<std::uint8_t> image_;
};

TEST_F(BurnedIso, ADvdPlusRBurnExportsAnIsoThatStandardReadersAccept) {
  EmulatedDriveHarness h(testing::Medium(kProfileDvdPlusR, 20000));
  Burn(h, 1);
  ASSERT_EQ(SenseText(h.Sync()), "ok");
  ASSERT_EQ(SenseText(h.Close(1, 1)), "ok");
  ASSERT_EQ(SenseText(h.Close(6, 0)), "ok");
  CheckExport(h);
}

TEST_F(BurnedIso, ACdRBurnInMode1ExportsAnIsoThatStandardReadersAccept) {
  EmulatedDriveHarness h(testing::Medium(kProfileCdR, 20000));
  ASSERT_EQ(SenseText(h.SetWriteParameters(0x01, false)), "ok");
  Burn(h, 1);
  ASSERT_EQ(SenseText(h.Close(1, 1)), "ok");
  ASSERT_EQ(SenseText(h.Close(2)), "ok");
  EXPECT_EQ(h.DiscInformation()[2] & 0x03, 2);
  CheckExport(h);
}

TEST_F(BurnedIso, TheToolActsOnADriveThatAnotherProgramHoldsAsOnARealDrive) {
  EmulatedDriveHarness h(testing::Medium(kProfileDvdPlusR, 20000));
  const std::string tool = std::string(EMUDRIVE_TOOL) + " ";
  const std::string dir = (h.folder() / "drive").string();
  std::string why, out;
  ASSERT_EQ(h.drive().HoldExclusive(&why), HoldResult::kHeld) << why;
  ASSERT_EQ(SenseText(h.None({0x1E, 0, 0, 0, 1, 0})), "ok");  // the tray locked, as a burn locks it
  EXPECT_NE(RunTool(tool + "hold " + dir + " 0", &out), 0) << out;
  EXPECT_NE(out.find("busy"), std::string::npos) << out;

  ASSERT_EQ(RunTool(tool + "fault " + dir + " 2A 3 0C 00", &out), 0) << out;
  const std::uint32_t start = h.NextWritable(1);
  EXPECT_EQ(SenseText(h.Write(start, 32, image_)), "03/0C/00");
  Burn(h, 1);

  EXPECT_NE(RunTool(tool + "eject " + dir, &out), 0) << out;
  EXPECT_NE(out.find("removal is prevented"), std::string::npos) << out;
  EXPECT_EQ(SenseText(h.None({0, 0, 0, 0, 0, 0})), "ok");
  ASSERT_EQ(RunTool(tool + "eject --force " + dir, &out), 0) << out;
  EXPECT_EQ(SenseText(h.None({0, 0, 0, 0, 0, 0})), "02/3A/02");
  ASSERT_EQ(RunTool(tool + "load " + dir, &out), 0) << out;
  EXPECT_EQ(SenseText(h.None({0, 0, 0, 0, 0, 0})), "06/28/00");
  ASSERT_EQ(RunTool(tool + "info " + dir, &out), 0) << out;
  EXPECT_NE(out.find("disc appendable"), std::string::npos) << out;
  ASSERT_EQ(SenseText(h.Sync()), "ok");
  ASSERT_EQ(SenseText(h.Close(1, 1)), "ok");
  ASSERT_EQ(SenseText(h.Close(6, 0)), "ok");
  CheckExport(h);
}

}  // namespace
}  // namespace platform
