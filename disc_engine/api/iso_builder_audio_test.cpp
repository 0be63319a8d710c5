// The audio members of ISOBuilder: the WAV list, the audio image job and the
// ripper's dialogs through the host's handler.
#include <gtest/gtest.h>

#include "api/engine_testutil.h"
#include "audio/audio_testutil.h"
#include "jobs/job_state.h"
#include "platform/ini.h"

namespace zephrel {
namespace {

using testing::ISOBuilderTest;
using testing::TempDir;

class ISOBuilderAudioTest : public ISOBuilderTest {
 protected:
  void SetUp() override { builder_->Burner_ClearWavFile(); }
  void TearDown() override {
    builder_->Burner_ClearWavFile();
    ISOBuilderTest::TearDown();
  }
};

TEST_F(ISOBuilderAudioTest, TheWavListCountsAddedPathsUntilCleared) {
  std::int32_t count = -1;
  builder_->Burner_GetWavFileCount(count);
  EXPECT_EQ(count, 0);
  builder_->Burner_AddWavFile("/no/such/file é.wav");
  builder_->Burner_AddWavFile("/another.wav");
  builder_->Burner_GetWavFileCount(count);
  EXPECT_EQ(count, 2) << "paths are not checked when added";
  builder_->Burner_ClearWavFile();
  builder_->Burner_GetWavFileCount(count);
  EXPECT_EQ(count, 0);
}

TEST_F(ISOBuilderAudioTest, AnAudioImageJobEndsOnceWithModeBurnOneAndTheBusyFlagCleared) {
  TempDir dir;
  builder_->Burner_AddWavFile(testing::MakeWav(dir, "a.wav", testing::PatternPcm(2352 * 30)));
  builder_->Burner_AddWavFile(testing::MakeWav(dir, "b.wav", testing::PatternPcm(2352 * 2 + 8)));
  auto sink = Advised();
  ASSERT_EQ(builder_->Burner_CreateAudioImage(dir.path() + "/disc.bin", 1), platform::S_OK);
  ASSERT_TRUE(sink->WaitFor(kBurnerOnEndBurn));
  builder_->UnloadCom();  // joins the job thread
  EXPECT_EQ(sink->Count(kBurnerOnEndBurn), 1u);
  const auto events = sink->events();
  ASSERT_FALSE(events.empty());
  const auto& end = events.back();
  ASSERT_EQ(end.id, kBurnerOnEndBurn);
  EXPECT_EQ(end.args[0].i4(), 1);
  EXPECT_EQ(end.args[1].i4(), 0);
  EXPECT_EQ(end.args[2].i4(), 0);
  EXPECT_EQ(std::filesystem::file_size(dir.path() + "/disc.bin"), (30 + 150 + 3 + 150) * 2352u);
  EXPECT_TRUE(std::filesystem::exists(dir.path() + "/disc.cue"));
  EXPECT_FALSE(EngineState::Instance().flags.busy.load());
}

TEST_F(ISOBuilderAudioTest, AnImageOfAnEmptyListEndsWithTheErrorFlagAndWritesNothing) {
  TempDir dir;
  auto sink = Advised();
  builder_->Burner_CreateAudioImage(dir.path() + "/none.bin", 0);
  ASSERT_TRUE(sink->WaitFor(kBurnerOnEndBurn));
  builder_->UnloadCom();
  EXPECT_EQ(sink->events().back().args[2].i4(), 1);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// A host whose dialogs answer as the test says.
class ScriptedDialogs : public RipperDialogHandler {
 public:
  std::optional<Mp3Settings> mp3_answer;
  std::optional<RipperOutputSettings> ripper_answer;
  Mp3Settings mp3_shown;
  RipperOutputSettings ripper_shown;
  int shown = 0;
  std::optional<Mp3Settings> EditMp3Settings(const Mp3Settings& current) override {
    ++shown;
    mp3_shown = current;
    return mp3_answer;
  }
  std::optional<RipperOutputSettings> EditRipperSettings(const RipperOutputSettings& current) override {
    ++shown;
    ripper_shown = current;
    return ripper_answer;
  }
};

TEST_F(ISOBuilderAudioTest, WithoutADialogHostTheMembersChangeNothingAndSaySo) {
  TempDir dir;
  auto sink = Advised();
  builder_->Ripper_LaunchMp3Configuration(dir.path());
  builder_->Ripper_LaunchConfiguration(dir.path());
  EXPECT_EQ(sink->Texts(kBurningErrorViewDescription).size(), 2u);
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/Config.ini"));
}

TEST_F(ISOBuilderAudioTest, TheMp3DialogShowsTheStoredSettingsAndOkWritesTheAnswer) {
  TempDir dir;
  dir.WriteFile("Config.ini", "[MP3]\nBitrate=192\n");
  auto dialogs = std::make_shared<ScriptedDialogs>();
  Mp3Settings answer;
  answer.bitrate = "320";
  answer.channel = "Mono";
  dialogs->mp3_answer = answer;
  builder_->SetRipperDialogHandler(dialogs);
  builder_->Ripper_LaunchMp3Configuration(dir.path());
  EXPECT_EQ(dialogs->mp3_shown.bitrate, "192");
  const std::string ini = dir.path() + "/Config.ini";
  EXPECT_EQ(platform::ReadIni(ini, "MP3", "Bitrate", ""), "320");
  EXPECT_EQ(platform::ReadIni(ini, "MP3", "Channel", ""), "Mono");
}

TEST_F(ISOBuilderAudioTest, CancelInTheRipperDialogWritesNoKeyOfItsOwn) {
  TempDir dir;
  auto dialogs = std::make_shared<ScriptedDialogs>();
  builder_->SetRipperDialogHandler(dialogs);
  builder_->Ripper_LaunchConfiguration(dir.path());
  EXPECT_EQ(dialogs->shown, 1);
  EXPECT_EQ(dialogs->ripper_shown.output_folder, dir.path() + "/My Music");
  const std::string ini = dir.path() + "/Config.ini";
  // Reading writes the missing defaults; Cancel changes none of them.
  EXPECT_EQ(platform::ReadIni(ini, "Output", "Nom", ""), "%N - %T");

  RipperOutputSettings answer;
  answer.output_folder = dir.path() + "/Rips 日本";
  answer.pattern = "%C - %T";
  answer.subfolders = false;
  answer.auto_cddb = false;
  dialogs->ripper_answer = answer;
  builder_->Ripper_LaunchConfiguration(dir.path());
  EXPECT_EQ(platform::ReadIni(ini, "SAUVEGARDE", "Chemin", ""), dir.path() + "/Rips 日本");
  EXPECT_EQ(platform::ReadIni(ini, "Output", "Nom", ""), "%C - %T");
  EXPECT_EQ(platform::ReadIni(ini, "Output", "Rep", ""), "false");
  EXPECT_EQ(platform::ReadIni(ini, "CDDB", "Auto", ""), "false");
}

}  // namespace
}  // namespace zephrel
