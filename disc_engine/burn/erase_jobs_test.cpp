// Erase, format and closing of the last session on an emulated drive: the
// events a client sees and the state the drive's medium is left in, read back
// with the drive's own answers. Waits run on a clock that never waits.
#include "burn/erase_jobs.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "api/emulated_engine_testutil.h"
#include "drive/mmc_drive.h"
#include "jobs/job_clock_testutil.h"
#include "platform/byte_order.h"

namespace zephrel {
namespace {

using namespace std::chrono_literals;
using platform::DataDirection;
using platform::Variant;

// Time stands still until a wait moves it; on_sleep runs at each wait, with
// the number of waits so far (a test's way to change the drive mid-wait).
class HookedClock final : public JobClock {
 public:
  TimePoint Now() override {
    std::lock_guard lock(mutex_);
    return TimePoint{} + elapsed_;
  }
  bool SleepFor(Duration duration, std::stop_token stop) override {
    std::function<void(int)> hook;
    int count = 0;
    {
      std::lock_guard lock(mutex_);
      if (stop.stop_requested()) return false;
      elapsed_ += duration;
      count = ++sleeps_;
      hook = on_sleep_;
    }
    if (hook) hook(count);
    return !stop.stop_requested();
  }
  void OnSleep(std::function<void(int)> hook) {
    std::lock_guard lock(mutex_);
    on_sleep_ = std::move(hook);
  }
  Duration Elapsed() {
    std::lock_guard lock(mutex_);
    return elapsed_;
  }
  int Sleeps() {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }

 private:
  std::mutex mutex_;
  Duration elapsed_{};
  int sleeps_ = 0;
  std::function<void(int)> on_sleep_;
};

class DiscJobs : public testing::EmulatedEngineTest {
 protected:
  void TearDown() override {
    builder_->burner_EjectAfterErase(0);
    EmulatedEngineTest::TearDown();
  }

  // A medium holding one complete session of `sectors` sectors of data.
  void UseRecordedMedium(std::uint16_t profile, std::uint32_t sectors = 64) {
    std::filesystem::create_directories(root_.parent_path());
    const std::filesystem::path content = root_.string() + ".content";
    {
      std::ofstream out(content, std::ios::binary);
      std::vector<char> data(std::size_t(sectors) * 2048, 'x');
      out.write(data.data(), std::streamsize(data.size()));
    }
    platform::MediumSpec medium;
    medium.profile = profile;
    medium.content = content;
    UseDrive(&medium);
    std::filesystem::remove(content);
  }

  // The drive's own disc information, read past the engine.
  std::vector<std::uint8_t> DiscInfo() {
    std::vector<std::uint8_t> reply(34, 0);
    const mmc::Cdb cdb = mmc::ReadDiscInformation(34);
    EXPECT_TRUE(Raw().exec(cdb.span(), DataDirection::kIn, reply, {}).ok());
    return reply;
  }
  int DiscStatus() { return DiscInfo()[2] & 0x03; }
  platform::ScsiResult TestUnitReady() {
    const mmc::Cdb cdb = mmc::TestUnitReady();
    return Raw().exec(cdb.span(), DataDirection::kNone, {}, {});
  }
  // Records `sectors` sectors at the next writable address of the open track,
  // multisession, as a burn that was never closed leaves them.
  void RecordOpenTrack(std::uint32_t lba, std::uint32_t sectors) {
    ASSERT_TRUE(
        MmcDrive(raw_shared())
            .MmcSetWriteParameters(mmc::kDataBlockMode1, mmc::kWriteTypeTrackAtOnce, true, true, false)
            .ok());
    std::vector<std::uint8_t> data(std::size_t(sectors) * 2048, 0x5A);
    const mmc::Cdb cdb = mmc::Write10(lba, static_cast<std::uint16_t>(sectors));
    const platform::ScsiResult r = Raw().exec(cdb.span(), DataDirection::kOut, data, {});
    ASSERT_TRUE(r.ok()) << FailureText(r);
  }
  std::vector<std::vector<std::uint8_t>> Commands(std::uint8_t opcode) {
    std::vector<std::vector<std::uint8_t>> found;
    for (const auto& c : drive_->CommandLog())
      if (c.cdb[0] == opcode) found.push_back(c.cdb);
    return found;
  }
  // Runs the erase and waits for its end; the engine's threads are joined
  // afterwards, so nothing more can arrive.
  void EraseAndWait(std::shared_ptr<testing::RecordingSink>& sink, int mode) {
    builder_->Burner_EraseDisk(0, mode);
    ASSERT_TRUE(sink->WaitFor(kBurnerOnEraseComplete));
    builder_->UnloadCom();
  }
  std::vector<Variant> EraseEnd(const testing::RecordingSink& sink) {
    for (const auto& e : sink.events())
      if (e.id == kBurnerOnEraseComplete) return e.args;
    return {};
  }
  // The job ended once, with success, and said nothing else.
  void ExpectSucceeded(const testing::RecordingSink& sink) {
    EXPECT_EQ(sink.Count(kBurnerOnEraseComplete), 1u);
    EXPECT_EQ(EraseEnd(sink), (std::vector<Variant>{Variant(std::int32_t{0}), Variant(std::int32_t{1})}));
    EXPECT_EQ(sink.Count(kBurningErrorViewDescription), 0u);
  }
  // The job ended once, with failure, after the texts given.
  void ExpectFailed(const testing::RecordingSink& sink, const std::vector<std::string>& texts) {
    EXPECT_EQ(sink.Count(kBurnerOnEraseComplete), 1u);
    EXPECT_EQ(EraseEnd(sink), (std::vector<Variant>{Variant(std::int32_t{0}), Variant(std::int32_t{0})}));
    EXPECT_EQ(sink.Texts(kBurningErrorViewDescription), texts);
  }

  // Leaves the engine and the drive behind for the next case of a table.
  void Fresh() {
    builder_->UnloadCom();
    source_.reset();
    raw_.reset();
    drive_.reset();
    std::filesystem::remove_all(root_);
    builder_ = CreateISOBuilder();
  }

  std::shared_ptr<HookedClock> clock_ = std::make_shared<HookedClock>();
  testing::ScopedJobClock scoped_clock_{clock_};
};

Variant I4(std::int32_t v) { return Variant(v); }

// ---------------------------------------------------------------------------
// Erase

TEST_F(DiscJobs, AFullEraseOfACdRwLeavesAnEmptyDiscAndEndsOnceWithSuccess) {
  UseRecordedMedium(platform::kProfileCdRw);
  ASSERT_EQ(DiscStatus(), 2);
  auto sink = Advised();
  EraseAndWait(sink, 0);
  ExpectSucceeded(*sink);
  EXPECT_EQ(DiscStatus(), 0);
  EXPECT_TRUE(TestUnitReady().ok()) << "the tray stays closed without eject-after-erase";
}

TEST_F(DiscJobs, AFastEraseOfADvdRwLeavesAnEmptyDisc) {
  UseRecordedMedium(platform::kProfileDvdRwSequential);
  auto sink = Advised();
  EraseAndWait(sink, 1);
  ExpectSucceeded(*sink);
  EXPECT_EQ(DiscStatus(), 0);
  const auto blanks = Commands(mmc::kBlank);
  ASSERT_EQ(blanks.size(), 1u);
  EXPECT_EQ(blanks[0][1], 0x11) << "a fast erase, immediate";
}

TEST_F(DiscJobs, AFullEraseOfADvdRwAndAFastEraseOfACdRwBothEmptyTheDisc) {
  UseRecordedMedium(platform::kProfileDvdRwSequential);
  auto sink = Advised();
  EraseAndWait(sink, 0);
  ExpectSucceeded(*sink);
  EXPECT_EQ(DiscStatus(), 0);

  platform::MediumSpec cd_rw;
  cd_rw.profile = platform::kProfileCdRw;
  std::string error;
  ASSERT_TRUE(drive_->InsertMedium(cd_rw, &error)) << error;
  builder_->Burner_Init();
  auto second = Advised();
  EraseAndWait(second, 1);
  ExpectSucceeded(*second);
  EXPECT_EQ(DiscStatus(), 0);
}

TEST_F(DiscJobs, TheBlankIsSentImmediateWithTheBlankTypeAloneAndSuccessWaitsUntilTheDriveIsDone) {
  UseRecordedMedium(platform::kProfileCdRw);
  drive_->SetOperationLength(5);
  auto sink = Advised();
  EraseAndWait(sink, 0x10 | 1);
  const auto blanks = Commands(mmc::kBlank);
  ASSERT_EQ(blanks.size(), 1u);
  EXPECT_EQ(blanks[0][1], 0x11) << "the blank type and the immediate bit go to the drive";
  EXPECT_GE(clock_->Sleeps(), 1) << "the job waited for the drive on its clock";
  ExpectSucceeded(*sink);
  EXPECT_EQ(DiscStatus(), 0);
}

TEST_F(DiscJobs, WithEjectAfterEraseTheTrayIsOpenAtTheEnd) {
  UseRecordedMedium(platform::kProfileCdRw);
  builder_->burner_EjectAfterErase(1);
  auto sink = Advised();
  EraseAndWait(sink, 1);
  ExpectSucceeded(*sink);
  const platform::ScsiResult r = TestUnitReady();
  EXPECT_EQ(r.sense.asc, 0x3A);
  EXPECT_EQ(r.sense.ascq, 0x02) << "medium not present, tray open";
}

TEST_F(DiscJobs, AnEraseTheDriveRefusesEndsWithFailureAndItsReason) {
  UseRecordedMedium(platform::kProfileCdRw);
  drive_->InjectFault({.opcode = mmc::kBlank, .count = 1, .key = 0x05, .asc = 0x30, .ascq = 0x00});
  auto sink = Advised();
  EraseAndWait(sink, 1);
  ExpectFailed(*sink, {"Incompatible Medium Installed"});
}

TEST_F(DiscJobs, AWriteOnceDiscIsRefusedAsNotRewritableBeforeAnyCommandIsSent) {
  for (const std::uint16_t profile : {platform::kProfileDvdPlusR, platform::kProfileDvdR,
                                      platform::kProfileCdR, platform::kProfileBdRSrm}) {
    SCOPED_TRACE(profile);
    UseMedium(profile);
    auto sink = Advised();
    EraseAndWait(sink, 1);
    ExpectFailed(*sink, {kNotRewritable});
    EXPECT_TRUE(Commands(mmc::kBlank).empty());
    EXPECT_TRUE(Commands(mmc::kFormatUnit).empty());
    ForgetDrive();
  }
}

TEST_F(DiscJobs, ABdReFormattedOrNotAndADvdRamAreErasedByFormattingThemWhole) {
  for (const bool formatted : {false, true}) {
    for (const std::uint16_t profile : {platform::kProfileBdRe, platform::kProfileDvdRam}) {
      SCOPED_TRACE(::testing::Message() << profile << (formatted ? " formatted" : ""));
      platform::MediumSpec medium;
      medium.profile = profile;
      medium.formatted = formatted;
      UseDrive(&medium);
      auto sink = Advised();
      EraseAndWait(sink, 1);
      ExpectSucceeded(*sink);
      EXPECT_EQ(Commands(mmc::kFormatUnit).size(), 1u);
      EXPECT_TRUE(Commands(mmc::kBlank).empty());
      std::vector<std::uint8_t> list(12, 0);
      const mmc::Cdb cdb = mmc::ReadFormatCapacities(12);
      ASSERT_TRUE(Raw().exec(cdb.span(), DataDirection::kIn, list, {}).ok());
      EXPECT_EQ(list[8] & 0x03, 2) << "formatted";
      ForgetDrive();
    }
  }
}

TEST_F(DiscJobs, AMediumTakenOutWhileTheEraseIsWaitedForEndsTheWaitAtOnce) {
  UseRecordedMedium(platform::kProfileCdRw);
  // The drive is still busy after its answer, then the medium goes.
  drive_->InjectFault(
      {.opcode = mmc::kReadDiscInformation, .count = 2, .key = 0x02, .asc = 0x04, .ascq = 0x07});
  clock_->OnSleep([this](int count) {
    if (count == 1) drive_->RemoveMedium();
  });
  auto sink = Advised();
  EraseAndWait(sink, 0);
  ExpectFailed(*sink, {"Medium Not Present"});
  EXPECT_EQ(clock_->Sleeps(), 2);
}

TEST_F(DiscJobs, AnEraseWaitedForIsGivenUpAfterFiveMinutes) {
  UseRecordedMedium(platform::kProfileCdRw);
  drive_->InjectFault(
      {.opcode = mmc::kReadDiscInformation, .count = 100000, .key = 0x02, .asc = 0x04, .ascq = 0x07});
  auto sink = Advised();
  EraseAndWait(sink, 0);
  EXPECT_EQ(EraseEnd(*sink), (std::vector<Variant>{I4(0), I4(0)}));
  EXPECT_EQ(clock_->Elapsed(), 5min);
  EXPECT_EQ(sink->Texts(kBurningErrorViewDescription),
            std::vector<std::string>{
                "The drive did not become ready: Logical Unit Not Ready, Operation In Progress"});
}

// ---------------------------------------------------------------------------
// Format

TEST_F(DiscJobs, FormattingADvdPlusRwWritesZerosOverTheFirst2080SectorsAndClosesTheFormat) {
  UseMedium(platform::kProfileDvdPlusRw);
  auto sink = Advised();
  EraseAndWait(sink, 0);
  ExpectSucceeded(*sink);
  EXPECT_EQ(sink->Count(kBurnerOnEraseComplete), 1u);
  EXPECT_EQ(sink->Count(kBurningErrorViewDescription), 0u);

  const auto writes = Commands(mmc::kWrite10);
  ASSERT_EQ(writes.size(), 65u);
  for (std::size_t i = 0; i < writes.size(); ++i) {
    EXPECT_EQ(platform::GetBe32(&writes[i][2]), i * 32) << i;
    EXPECT_EQ(platform::GetBe16(&writes[i][7]), 32u);
  }
  ASSERT_EQ(Commands(mmc::kFormatUnit).size(), 1u);
  const auto closes = Commands(mmc::kCloseTrackSession);
  ASSERT_EQ(closes.size(), 1u);
  EXPECT_EQ(closes[0][2] & 0x07, mmc::kCloseFinalizeDvdRw);
  EXPECT_EQ(Commands(mmc::kSynchronizeCache).size(), 1u);
  // Formatted, background format no longer running.
  EXPECT_NE(DiscInfo()[7] & 0x03, 2);
  std::vector<std::uint8_t> capacities(252, 0);
  const mmc::Cdb cdb = mmc::ReadFormatCapacities(252);
  ASSERT_TRUE(Raw().exec(cdb.span(), DataDirection::kIn, capacities, {}).ok());
  EXPECT_EQ(capacities[8] & 0x03, 0x02) << "formatted media";

  builder_->Burner_Init();
  std::int32_t empty = 0;
  builder_->Burner_MediaIsEmpty(0, empty);
  EXPECT_EQ(empty, 1) << "a freshly formatted DVD+RW reads as empty though the drive calls it complete";
}

TEST_F(DiscJobs, ALongWriteInProgressDuringTheFillStopsItWithoutAClose) {
  UseMedium(platform::kProfileDvdPlusRw);
  drive_->InjectFault(
      {.opcode = mmc::kWrite10, .first_lba = 64, .last_lba = 64, .key = 0x02, .asc = 0x04, .ascq = 0x08});
  auto sink = Advised();
  EraseAndWait(sink, 0);
  EXPECT_EQ(Commands(mmc::kWrite10).size(), 3u) << "the writes at 0, 32 and 64";
  EXPECT_TRUE(Commands(mmc::kCloseTrackSession).empty());
  ExpectSucceeded(*sink);
}

TEST_F(DiscJobs, AFillWriteThatKeepsFailingEndsTheFillAndTheFormatFails) {
  UseMedium(platform::kProfileDvdPlusRw);
  drive_->InjectFault({.opcode = mmc::kWrite10,
                       .first_lba = 32,
                       .last_lba = 32,
                       .count = 51,
                       .key = 0x03,
                       .asc = 0x0C,
                       .ascq = 0x00});
  auto sink = Advised();
  EraseAndWait(sink, 0);
  EXPECT_EQ(Commands(mmc::kWrite10).size(), 1u + 51u) << "one write, then 51 attempts at 32";
  ExpectFailed(*sink, {"Write Error"});
}

TEST_F(DiscJobs, AFailedCloseOfTheFormatEndsWithFailure) {
  UseMedium(platform::kProfileDvdPlusRw);
  drive_->InjectFault({.opcode = mmc::kCloseTrackSession, .key = 0x05, .asc = 0x72, .ascq = 0x00});
  auto sink = Advised();
  EraseAndWait(sink, 0);
  ExpectFailed(*sink, {"Session Fixation Error"});
}

TEST_F(DiscJobs, AFormatTheDriveRefusesIsReportedAndTheFillStillTries) {
  UseMedium(platform::kProfileDvdPlusRw);
  drive_->InjectFault({.opcode = mmc::kFormatUnit, .key = 0x05, .asc = 0x30, .ascq = 0x06});
  auto sink = Advised();
  EraseAndWait(sink, 0);
  // The disc stays unformatted, so the fill's first write fails too.
  ExpectFailed(*sink, {"Error while formating the media...", "Medium Not Formatted"});
  EXPECT_EQ(Commands(mmc::kWrite10).size(), 51u);
}

// ---------------------------------------------------------------------------
// Closing the last session

class CloseLastSession : public DiscJobs {
 protected:
  void CloseAndWait(std::shared_ptr<testing::RecordingSink>& sink) {
    std::int32_t started = 0;
    builder_->Burner_CloseLastSession(0, started);
    EXPECT_EQ(started, 1);
    ASSERT_TRUE(sink->WaitFor(kOnBurnerOnEndCloseSession));
    builder_->UnloadCom();
    EXPECT_EQ(TestUnitReady().sense.ascq, 0x02) << "the job ends with the tray open";
    drive_->CloseTray();
    builder_->Burner_Init();
  }
  // The drive stays busy (02/04/07) for `answers` readiness questions after
  // the close of the session is announced.
  // The clock's time then is in closing_at_.
  void BusyAfterTheSessionClose(testing::RecordingSink& sink, int answers) {
    sink.SetHook([this, answers](const testing::RecordedEvent& e) {
      if (e.id != kBurnerCloseSession) return;
      closing_at_ = clock_->Elapsed();
      drive_->InjectFault(
          {.opcode = mmc::kReadDiscInformation, .count = answers, .key = 0x02, .asc = 0x04, .ascq = 0x07});
    });
  }
  std::optional<JobClock::Duration> closing_at_;  // set and read on the job's thread
  // The job ended with the reason, then error 1014, then its end event.
  void ExpectCloseFailed(const testing::RecordingSink& sink, const std::string& reason) {
    EXPECT_EQ(sink.Texts(kBurningErrorViewDescription), std::vector<std::string>{reason});
    const auto ids = Ids(sink);
    ASSERT_GE(ids.size(), 3u);
    EXPECT_EQ(ids[ids.size() - 3], kBurningErrorViewDescription);
    EXPECT_EQ(ids[ids.size() - 2], kBurnerOnError);
    EXPECT_EQ(ids.back(), kOnBurnerOnEndCloseSession);
    for (const auto& e : sink.events())
      if (e.id == kBurnerOnError) {
        EXPECT_EQ(e.args, std::vector<Variant>{Variant(std::int32_t{kCloseFailed})});
      }
  }
  std::vector<platform::DispId> Ids(const testing::RecordingSink& sink) {
    std::vector<platform::DispId> ids;
    for (const auto& e : sink.events()) ids.push_back(e.id);
    return ids;
  }
  std::int32_t Member(platform::HResult (ISOBuilder::*member)(std::int32_t, std::int32_t&)) {
    std::int32_t value = -99;
    (builder_.get()->*member)(0, value);
    return value;
  }
};

TEST_F(CloseLastSession, AnAppendableDvdRGetsItsSessionClosedAndStaysAppendable) {
  UseMedium(platform::kProfileDvdR);
  RecordOpenTrack(0, 100);
  ASSERT_EQ(Member(&ISOBuilder::Burner_GetStateLastSession), 4) << "incomplete";
  auto sink = Advised();
  CloseAndWait(sink);
  EXPECT_EQ(Ids(*sink), (std::vector<platform::DispId>{kBurnerCloseTrack, kBurnerCloseSession,
                                                       kOnBurnerOnEndCloseSession}));
  EXPECT_EQ(sink->events()[0].args, std::vector<Variant>{I4(1)});
  EXPECT_EQ(sink->events()[1].args, std::vector<Variant>{I4(1)});
  const auto closes = Commands(mmc::kCloseTrackSession);
  ASSERT_EQ(closes.size(), 2u);
  EXPECT_EQ(closes[0][2], mmc::kCloseTrack);
  EXPECT_EQ(platform::GetBe16(&closes[0][4]), 1u);
  EXPECT_EQ(closes[1][2], mmc::kCloseSession);

  const auto info = DiscInfo();
  EXPECT_EQ(info[2] & 0x03, 1) << "still appendable";
  EXPECT_EQ(info[4], 2) << "a closed session and the empty one after it";
  EXPECT_EQ(Member(&ISOBuilder::Burner_GetSessionCount), 1);
  EXPECT_EQ(Member(&ISOBuilder::Burner_DiskIsStillWritable), 1);
  EXPECT_EQ(Member(&ISOBuilder::Burner_GetStateLastSession), 0) << "the new, empty session";
  // A new session starts at the invisible track after the closed one.
  std::vector<std::uint8_t> track(48, 0);
  const mmc::Cdb cdb = mmc::ReadTrackInformation(mmc::kTrackByNumber, info[6], 48);
  ASSERT_TRUE(Raw().exec(cdb.span(), DataDirection::kIn, track, {}).ok());
  EXPECT_EQ(Member(&ISOBuilder::Burner_NewSessionAdressStart),
            static_cast<std::int32_t>(platform::GetBe32(&track[8])));
  EXPECT_GE(Member(&ISOBuilder::Burner_NewSessionAdressStart), 100) << "after the recorded sectors";
}

TEST_F(CloseLastSession, ADvdRWhoseLastTrackIsTwoClosesTrackOneOnce) {
  UseMedium(platform::kProfileDvdR);
  // Track 1 reserved and filled in part; track 2 is the invisible track.
  const mmc::Cdb reserve = mmc::ReserveTrack(200);
  ASSERT_TRUE(Raw().exec(reserve.span(), DataDirection::kNone, {}, {}).ok());
  RecordOpenTrack(0, 100);
  ASSERT_EQ(DiscInfo()[6], 2);
  auto sink = Advised();
  CloseAndWait(sink);
  ASSERT_FALSE(sink->events().empty());
  EXPECT_EQ(sink->events()[0].id, kBurnerCloseTrack);
  EXPECT_EQ(sink->events()[0].args, std::vector<Variant>{I4(1)});
  const auto closes = Commands(mmc::kCloseTrackSession);
  ASSERT_EQ(closes.size(), 2u);
  EXPECT_EQ(closes[0][2], mmc::kCloseTrack);
  EXPECT_EQ(platform::GetBe16(&closes[0][4]), 1u);
  EXPECT_EQ(closes[1][2], mmc::kCloseSession);
  EXPECT_EQ(sink->Count(kBurnerOnError), 0u);
  EXPECT_EQ(DiscInfo()[2] & 0x03, 1);
}

TEST_F(CloseLastSession, AnAppendableCdRGetsItsSessionClosedAndStaysAppendable) {
  UseMedium(platform::kProfileCdR);
  RecordOpenTrack(0, 300);
  auto sink = Advised();
  CloseAndWait(sink);
  EXPECT_EQ(sink->Count(kBurnerOnError), 0u);
  EXPECT_EQ(sink->Count(kBurningErrorViewDescription), 0u);
  const auto info = DiscInfo();
  EXPECT_EQ(info[2] & 0x03, 1);
  EXPECT_EQ(info[4], 2);
  EXPECT_EQ(Commands(mmc::kCloseTrackSession).size(), 2u);
}

TEST_F(CloseLastSession, AFailedCloseGivesItsReasonThenError1014BeforeTheEnd) {
  UseMedium(platform::kProfileDvdR);  // blank: there is no session to close
  auto sink = Advised();
  CloseAndWait(sink);
  ExpectCloseFailed(*sink, "Command Sequence Error");
}

TEST_F(CloseLastSession, AMediumTakenOutDuringTheCloseEndsTheJobPromptlyWithTheReason) {
  UseMedium(platform::kProfileDvdR);
  RecordOpenTrack(0, 100);
  auto sink = Advised();
  // The drive takes its time over the session's lead-out, and the disc is
  // pulled out meanwhile.
  BusyAfterTheSessionClose(*sink, 2);
  bool removed = false;
  clock_->OnSleep([&](int) {
    if (closing_at_ && !removed) drive_->RemoveMedium(), removed = true;
  });
  CloseAndWait(sink);
  ASSERT_TRUE(closing_at_);
  EXPECT_EQ(clock_->Elapsed() - *closing_at_, 2s)
      << "two questions a second apart, then the answer that there is no medium";
  ExpectCloseFailed(*sink, "Medium Not Present");
}

TEST_F(CloseLastSession, AWaitAfterACloseIsGivenUpAfterFifteenMinutes) {
  UseMedium(platform::kProfileDvdR);
  RecordOpenTrack(0, 100);
  auto sink = Advised();
  BusyAfterTheSessionClose(*sink, 100000);
  CloseAndWait(sink);
  ASSERT_TRUE(closing_at_);
  EXPECT_EQ(clock_->Elapsed() - *closing_at_, 15min);
  ExpectCloseFailed(*sink, "The drive did not become ready: Logical Unit Not Ready, Operation In Progress");
}

// ---------------------------------------------------------------------------
// Disc state members

TEST_F(CloseLastSession, AFinalisedDiscReportsACompleteLastSessionAndNoRoomLeft) {
  UseRecordedMedium(platform::kProfileDvdR);
  EXPECT_EQ(Member(&ISOBuilder::Burner_GetStateLastSession), 12);
  EXPECT_EQ(Member(&ISOBuilder::Burner_DiskIsStillWritable), 0);
  EXPECT_EQ(Member(&ISOBuilder::Burner_GetSessionCount), 1);
  EXPECT_EQ(Member(&ISOBuilder::Burner_MediaIsEmpty), 0);
  EXPECT_EQ(Member(&ISOBuilder::Burner_MediaIsRW), 0);
  EXPECT_EQ(Member(&ISOBuilder::Burner_NewSessionAdressStart), 0);
}

TEST_F(CloseLastSession, ANewMediumIsReadCorrectlyThroughTheUnitAttentionThatAnnouncesIt) {
  UseMedium(platform::kProfileDvdPlusR);
  platform::MediumSpec cd_rw;
  cd_rw.profile = platform::kProfileCdRw;
  std::string error;
  ASSERT_TRUE(drive_->InsertMedium(cd_rw, &error)) << error;  // the drive now answers 06/28/00 once
  EXPECT_EQ(Member(&ISOBuilder::Burner_MediaIsEmpty), 1);
  EXPECT_EQ(Member(&ISOBuilder::Burner_MediaIsRW), 1);
}

TEST_F(CloseLastSession, WithoutAMediumTheStateMembersGiveTheirNeutralValues) {
  UseDrive(nullptr);
  EXPECT_EQ(Member(&ISOBuilder::Burner_GetStateLastSession), -1);
  EXPECT_EQ(Member(&ISOBuilder::Burner_GetSessionCount), 0);
  EXPECT_EQ(Member(&ISOBuilder::Burner_DiskIsStillWritable), 0);
  EXPECT_EQ(Member(&ISOBuilder::Burner_MediaIsEmpty), 0);
  EXPECT_EQ(Member(&ISOBuilder::Burner_MediaIsRW), 0);
  EXPECT_EQ(Member(&ISOBuilder::Burner_NewSessionAdressStart), 0);
}

// ---------------------------------------------------------------------------
// Holding the drive: every writing job has it alone and keeps its tray locked

// A writing job as a client starts it, the medium it is given and the end
// event it raises.
struct WritingJob {
  const char* name;
  std::uint16_t profile;
  platform::DispId end;
  std::function<void(ISOBuilder&)> start;
};

const WritingJob kWritingJobs[] = {
    {"erase", platform::kProfileCdRw, kBurnerOnEraseComplete,
     [](ISOBuilder& b) { b.Burner_EraseDisk(0, 1); }},
    {"format", platform::kProfileDvdPlusRw, kBurnerOnEraseComplete,
     [](ISOBuilder& b) { b.Burner_EraseDisk(0, 0); }},
    {"close", platform::kProfileDvdR, kOnBurnerOnEndCloseSession,
     [](ISOBuilder& b) {
       std::int32_t started = 0;
       b.Burner_CloseLastSession(0, started);
     }},
    {"data burn", platform::kProfileDvdPlusR, kBurnerOnEndBurn,
     [](ISOBuilder& b) { b.Burner_BurnData(0, 8, 1, 0, 0, 1, 0, 0); }},
    {"image burn", platform::kProfileDvdPlusR, kBurnerOnEndBurn,
     [](ISOBuilder& b) { b.Burner_BurnImage(0, "/nonexistent/image.iso", 0, 1, 0); }},
    {"audio burn", platform::kProfileCdR, kBurnerOnEndBurn,
     [](ISOBuilder& b) { b.Burner_BurnAudio(0, 0, 0, 1); }},
};

class DriveHeld : public DiscJobs {
 protected:
  // The drive as another program opens it.
  std::unique_ptr<platform::EmulatedDrive> OtherProgram() {
    std::string error;
    auto other = platform::EmulatedDrive::Open(root_, &error);
    EXPECT_TRUE(other) << error;
    return other;
  }
  // Whether the tray is locked and the drive held, as another program finds.
  void ExpectHeld(bool held, const std::string& when) {
    auto other = OtherProgram();
    std::string why;
    EXPECT_EQ(other->OpenTray(), !held) << when;
    EXPECT_EQ(other->HoldExclusive(&why), held ? platform::HoldResult::kInUse : platform::HoldResult::kHeld)
        << when;
  }
};

TEST_F(DriveHeld, EveryWritingJobIsRefusedWithNothingSentWhileAnotherProgramHoldsTheDrive) {
  for (const WritingJob& job : kWritingJobs) {
    SCOPED_TRACE(job.name);
    UseMedium(job.profile);
    auto other = OtherProgram();
    std::string why;
    ASSERT_EQ(other->HoldExclusive(&why), platform::HoldResult::kHeld) << why;
    drive_->ClearCommandLog();
    auto sink = Advised();
    job.start(*builder_);
    ASSERT_TRUE(sink->WaitFor(job.end));
    builder_->UnloadCom();
    EXPECT_EQ(sink->Texts(kBurningErrorViewDescription), std::vector<std::string>{kDriveInUse});
    EXPECT_EQ(sink->Count(job.end), 1u);
    EXPECT_EQ(sink->events().back().id, job.end);
    if (job.end == kBurnerOnEndBurn) {
      EXPECT_EQ(sink->events().back().args[2], I4(1)) << "a refused burn ends with its error flag";
    }
    EXPECT_TRUE(drive_->CommandLog().empty()) << "not one command reached the drive";
    other.reset();
    Fresh();
  }
}

TEST_F(DriveHeld, TheTrayIsLockedAndTheDriveHeldWhileEachJobRunsAndFreedAtItsEnd) {
  for (const WritingJob& job : kWritingJobs) {
    // The burns wait only while they close, which their own suites show
    // locked; here the jobs that wait on the drive.
    if (job.end == kBurnerOnEndBurn) continue;
    SCOPED_TRACE(job.name);
    if (job.profile == platform::kProfileDvdR) {
      UseMedium(job.profile);
      RecordOpenTrack(0, 64);
    } else if (job.profile == platform::kProfileCdRw) {
      UseRecordedMedium(job.profile);
    } else {
      UseMedium(job.profile);
    }
    int checked = 0;
    clock_->OnSleep([&](int) {
      if (!checked++) ExpectHeld(true, "while the job waits for the drive");
    });
    auto sink = Advised();
    job.start(*builder_);
    ASSERT_TRUE(sink->WaitFor(job.end));
    builder_->UnloadCom();
    clock_->OnSleep(nullptr);
    EXPECT_GE(checked, 1);
    ExpectHeld(false, "after the job");
    Fresh();
  }
}

TEST_F(DriveHeld, AJobThatFailsFreesTheTrayAndTheDriveToo) {
  UseMedium(platform::kProfileDvdPlusR);  // cannot be erased
  auto sink = Advised();
  EraseAndWait(sink, 1);
  ExpectFailed(*sink, {"The disc is not rewritable: it cannot be erased."});
  ExpectHeld(false, "after a failed erase");

  drive_->CloseTray();
  builder_->Burner_Init();
  auto burn = Advised();
  builder_->Burner_BurnImage(0, "/nonexistent/image.iso", 0, 1, 0);
  ASSERT_TRUE(burn->WaitFor(kBurnerOnEndBurn));
  builder_->UnloadCom();
  ExpectHeld(false, "after a refused image");
}

// ---------------------------------------------------------------------------
// Long commands: sent immediate, waited for on the job's clock

TEST_F(DiscJobs, AFormatsCloseIsSentImmediateAndWaitedForUntilTheDriveIsDone) {
  UseMedium(platform::kProfileDvdPlusRw);
  auto sink = Advised();
  EraseAndWait(sink, 0);
  ExpectSucceeded(*sink);
  const auto closes = Commands(mmc::kCloseTrackSession);
  ASSERT_EQ(closes.size(), 1u);
  EXPECT_EQ(closes[0][1] & 0x01, 0x01);
  EXPECT_GE(clock_->Sleeps(), 1) << "the job waited for the drive on its clock";
}

// The real clock and a paced drive: an erase, a format's close and a
// session's close each last many seconds, and a cancel or the engine's
// shutdown in the middle ends the job at once, with its one end event.
class LongCommands : public DriveHeld {
 protected:
  struct Case {
    const char* name;
    std::uint16_t profile;
    platform::DispId end;
    bool unload;  // else cancel
  };
  // Starts the job and, once the long command is under way, cancels it or
  // shuts the engine down; returns how long the job took after that.
  std::chrono::steady_clock::duration RunAndStop(const Case& c, std::shared_ptr<testing::RecordingSink> sink,
                                                 std::uint8_t long_command) {
    const auto sent = [&] {
      for (const auto& cmd : drive_->CommandLog())
        if (cmd.cdb[0] == long_command) return true;
      return false;
    };
    if (c.profile == platform::kProfileCdRw) {
      builder_->Burner_EraseDisk(0, 0);  // a full erase: the whole disc
    } else {
      for (const WritingJob& job : kWritingJobs)
        if (job.profile == c.profile && job.end == c.end) job.start(*builder_);
    }
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!sent() && std::chrono::steady_clock::now() < limit)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(sent());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // The drive is still at it (a command the drive answers only once done
    // would be in the log only then): the job waits for it on its own clock.
    const platform::ScsiResult busy = Raw().exec(mmc::TestUnitReady().span(), DataDirection::kNone, {}, {});
    EXPECT_TRUE(busy.sense.key == 2 && busy.sense.asc == 4)
        << "the long command still runs when the job is stopped";
    const auto stopped = std::chrono::steady_clock::now();
    if (c.unload) {
      builder_->UnloadCom();
    } else {
      builder_->CancelBurn();
      EXPECT_TRUE(sink->WaitFor(c.end));
      builder_->UnloadCom();
    }
    return std::chrono::steady_clock::now() - stopped;
  }
  testing::ScopedJobClock real_clock_{SystemJobClock()};
};

TEST_F(LongCommands, ACancelOrAShutdownInTheMiddleOfAnEraseAFormatOrACloseEndsTheJobAtOnce) {
  const Case cases[] = {
      {"erase, cancelled", platform::kProfileCdRw, kBurnerOnEraseComplete, false},
      {"erase, shut down", platform::kProfileCdRw, kBurnerOnEraseComplete, true},
      {"format, cancelled", platform::kProfileDvdPlusRw, kBurnerOnEraseComplete, false},
      {"format, shut down", platform::kProfileDvdPlusRw, kBurnerOnEraseComplete, true},
      {"close, cancelled", platform::kProfileDvdR, kOnBurnerOnEndCloseSession, false},
      {"close, shut down", platform::kProfileDvdR, kOnBurnerOnEndCloseSession, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.profile == platform::kProfileCdRw) {
      UseRecordedMedium(c.profile);
    } else {
      UseMedium(c.profile);
      if (c.profile == platform::kProfileDvdR) RecordOpenTrack(0, 64);
    }
    // A full erase of the disc at this speed takes about a minute, and a close
    // (a five-hundredth of the disc) several seconds.
    drive_->SetWritePacing(c.profile == platform::kProfileCdRw ? 12000 : 1385, 1 << 20);
    auto sink = Advised();
    const std::uint8_t command = c.profile == platform::kProfileCdRw ? mmc::kBlank : mmc::kCloseTrackSession;
    const auto took = RunAndStop(c, sink, command);
    EXPECT_LT(took, std::chrono::milliseconds(1500));
    EXPECT_EQ(sink->Count(c.end), 1u);
    EXPECT_EQ(sink->events().back().id, c.end);
    if (c.end == kBurnerOnEraseComplete) {
      EXPECT_EQ(sink->events().back().args[1], I4(0));
    }
    drive_->SetWritePacing(0, 0);
    ExpectHeld(false, "after the job");
    Fresh();
  }
}

}  // namespace
}  // namespace zephrel
