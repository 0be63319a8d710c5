// Ripping a pressed CD in an emulated drive, checked with independent readers.
#include <gtest/gtest.h>

#include <fstream>

#include "api/engine_testutil.h"
#include "audio/disc_testutil.h"
#include "testing/tools.h"
#include "zephrel/iso_builder.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;
using vantora::testing::RunTool;

class DiscRip : public testing::ISOBuilderTest {
 protected:
  void Insert(testing::PressedDisc& disc) {
    ASSERT_TRUE(disc.ok());
    builder_->Burner_Init();
    std::int32_t count = 0;
    builder_->AudioRip_GetNbTracks(0, count);
    tracks_ = count;
  }
  void TearDown() override {
    testing::ISOBuilderTest::TearDown();
    TrackList::Process().Clear();
  }
  int tracks_ = 0;
};

TEST_F(DiscRip, ABinCueRipEqualsTheSourceAndItsSheetReadsBack) {
  testing::PressedDisc disc({300, 451, 127});
  Insert(disc);
  ASSERT_EQ(tracks_, 3);
  auto sink = Advised();
  const fs::path image = disc.folder() / "ripped disc \xC3\xA9.bin";
  builder_->AudioRip_RipDiscAsImage(0, "", image.native(), 1);
  ASSERT_TRUE(sink->WaitFor(kRipperOnEndRip));
  EXPECT_TRUE(sink->Texts(kBurningErrorViewDescription).empty());
  EXPECT_TRUE(testing::FileBytes(image) == disc.AllPcm());
  const fs::path cue = disc.folder() / "ripped disc \xC3\xA9.cue";
  ASSERT_TRUE(fs::is_regular_file(cue));
  const auto info = RunTool({"cd-info", "--no-device-info", "--no-cddb", "--cue-file", cue.native()});
  ASSERT_EQ(info.exit_code, 0) << info.output;
  EXPECT_NE(info.output.find("CD-DA"), std::string::npos) << info.output;
  // The last percentage of every track was reported.
  int hundreds = 0;
  for (const auto& e : sink->events()) hundreds += e.id == kRipperOnRip && e.args[2].i4() == 100;
  EXPECT_EQ(hundreds, 3);
}

TEST_F(DiscRip, AnImageThatExistsIsNotOverwritten) {
  testing::PressedDisc disc({20});
  Insert(disc);
  const fs::path image = disc.folder() / "mine.bin";
  std::ofstream(image) << "the user's own file";
  auto sink = Advised();
  builder_->AudioRip_RipDiscAsImage(0, "", image.native(), 1);
  ASSERT_TRUE(sink->WaitFor(kRipperOnEndRip));
  ASSERT_EQ(sink->Count(kBurnerOnError), 1u);
  for (const auto& e : sink->events()) {
    if (e.id == kBurnerOnError) EXPECT_EQ(e.args[0].i4(), 1001);
  }
  EXPECT_EQ(sink->events().back().id, kRipperOnEndRip);
  std::ifstream in(image);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "the user's own file");
}

}  // namespace
}  // namespace zephrel
