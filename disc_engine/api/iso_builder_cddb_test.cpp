#include <gtest/gtest.h>

#include <stdlib.h>
#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <thread>

#include "api/engine_testutil.h"
#include "audio/cddb_lookup.h"
#include "audio/disc_information.h"
#include "audio/disc_testutil.h"
#include "platform/fileio.h"
#include "platform/ini.h"
#include "testing/loopback_http_server.h"
#include "zephrel/iso_builder.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;
using testing::ISOBuilderTest;

const std::string kQueryCmd = "cddb+query+0c016602+2+150+14250+360";

class CddbMembersTest : public ISOBuilderTest {
 protected:
  void SetUp() override {
    platform::FileError error;
    temp_ = platform::TemporaryFolder::Create("cddb-members", &error);
    ASSERT_TRUE(temp_);
    base_ = temp_->path() / "CD \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xB5";
    fs::create_directory(base_);
    testing::SetTrackList(testing::TwoTrackToc());
    DiscInformation::Process().Locked([&](DiscState& s) { s = DiscState{}; });
    setenv("ZEPHREL_CDDB_URL", server_.Url("/~cddb/cddb.cgi").c_str(), 1);
  }
  void TearDown() override {
    ISOBuilderTest::TearDown();
    SetCddbFetch({});
    unsetenv("ZEPHREL_CDDB_URL");
  }
  void Answer(const std::string& cmd, const std::string& body) {
    std::lock_guard lock(mutex_);
    answers_[cmd] = body;
  }
  std::size_t Requests() { return server_.RequestCount(); }
  // The server's answer to a request: by its command, 404 for any other.
  test_support::HttpReply Serve(const test_support::HttpRequest& request) {
    if (stall_) return test_support::HttpReply::Stall();
    const std::string& target = request.target;
    const std::size_t from = target.find("?cmd=");
    std::lock_guard lock(mutex_);
    const auto it = from == std::string::npos
                        ? answers_.end()
                        : answers_.find(target.substr(from + 5, target.find('&') - from - 5));
    if (it == answers_.end()) return test_support::HttpReply::Text("not here", 404, "Not Found");
    return test_support::HttpReply::Text(it->second);
  }
  std::string Member(platform::HResult (ISOBuilder::*get)(std::string&)) {
    std::string value;
    EXPECT_EQ((builder_.get()->*get)(value), platform::S_OK);
    return value;
  }

  std::optional<platform::TemporaryFolder> temp_;
  fs::path base_;
  std::mutex mutex_;
  std::map<std::string, std::string> answers_;
  std::atomic<bool> stall_{false};  // the server answers nothing, until the client gives up
  test_support::LoopbackHttpServer server_{[this](const test_support::HttpRequest& r) { return Serve(r); }};
};

TEST_F(CddbMembersTest, AnExactMatchFillsEveryFieldAndStoresTheAnswer) {
  Answer(kQueryCmd, "200 rock 0c016602 AC/DC / Back in Black\r\n");
  Answer("cddb+read+rock+0c016602",
         "210 rock 0c016602\r\nDTITLE=AC/DC / Back in Black\r\nDYEAR=1980\r\nDGENRE=Hard Rock\r\n"
         "TTITLE0=Hells Bells\r\nTTITLE1=Shoot to Thrill\r\n.\r\n");
  auto sink = Advised();
  builder_->RequestCDDB(base_.native());
  ASSERT_TRUE(sink->WaitFor(kCDDBOnEndRequest));
  EXPECT_EQ(sink->events().back().args, std::vector<platform::Variant>{platform::Variant(std::int32_t{1})});
  EXPECT_EQ(Member(&ISOBuilder::CDDB_GetArtist), "AC/DC");
  EXPECT_EQ(Member(&ISOBuilder::CDDB_GetAlbum), "Back in Black");
  EXPECT_EQ(Member(&ISOBuilder::CDDB_GetYear), "1980");
  EXPECT_EQ(Member(&ISOBuilder::CDDb_GetGenre), "Hard Rock");
  std::string title;
  builder_->CDDB_GetTrackTitle(1, title);
  EXPECT_EQ(title, "Shoot to Thrill");
  EXPECT_TRUE(fs::is_regular_file(base_ / "CDDB" / "rock" / "0c016602.txt"));
  EXPECT_TRUE(fs::is_directory(base_ / "My Music"));
  EXPECT_EQ(platform::ReadIni(base_ / "CDDB" / "CDDB.ini", "CDDBID", "0c016602", ""),
            "\\CDDB\\rock\\0c016602.txt");
  const std::vector<test_support::HttpRequest> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target,
            "/~cddb/"
            "cddb.cgi?cmd=cddb+query+0c016602+2+150+14250+360&hello=anonymous+localhost+Zephrel+1.0&proto=5");
  EXPECT_EQ(requests[1].target,
            "/~cddb/cddb.cgi?cmd=cddb+read+rock+0c016602&hello=anonymous+localhost+Zephrel+1.0&proto=5");
}

TEST_F(CddbMembersTest, SeveralMatchesAreShownInTheChooserAndTheChosenDiscIsRead) {
  struct Chooser : CddbAlbumChooser {
    std::vector<std::string> rows;
    std::optional<std::size_t> ChooseAlbum(const CddbAlbumChoice& choice) override {
      rows = choice.rows;
      return 2;
    }
  };
  auto chooser = std::make_shared<Chooser>();
  builder_->SetCddbAlbumChooser(chooser);
  Answer(kQueryCmd,
         "211 Found inexact matches, list follows (until terminating `.')\r\nrock 0c016602 A / One\r\n"
         "misc 0c016603 B / Two\r\njazz 0c016604 C / Three\r\n.\r\n");
  Answer("cddb+read+jazz+0c016604", "210 jazz 0c016604\r\nDTITLE=C / Three\r\n.\r\n");
  auto sink = Advised();
  builder_->RequestCDDB(base_.native());
  ASSERT_TRUE(sink->WaitFor(kCDDBOnEndRequest));
  EXPECT_EQ(chooser->rows,
            (std::vector<std::string>{"rock : A / One", "misc : B / Two", "jazz : C / Three"}));
  EXPECT_EQ(Member(&ISOBuilder::CDDB_GetAlbum), "Three");
  EXPECT_TRUE(fs::is_regular_file(base_ / "CDDB" / "jazz" / "0c016604.txt"));
}

TEST_F(CddbMembersTest, UnsafeServerWordsWriteNothingOutsideTheStore) {
  Answer(kQueryCmd, "200 .. 0c016602 Evil\r\n");
  Answer("cddb+read+..+0c016602", "210 .. 0c016602\r\nDTITLE=Evil / Evil\r\n.\r\n");
  auto sink = Advised();
  builder_->RequestCDDB(base_.native());
  ASSERT_TRUE(sink->WaitFor(kCDDBOnEndRequest));
  Answer(kQueryCmd, "211 list\r\nrock ../../../x Evil\r\nrock 0c01/602 Evil\r\n.\r\n");
  builder_->RequestCDDB(base_.native());
  ASSERT_TRUE(sink->WaitFor(kCDDBOnEndRequest, 2));
  EXPECT_EQ(Requests(), 2u);  // no read was asked for
  EXPECT_EQ(Member(&ISOBuilder::CDDB_GetArtist), "Unknown");
  EXPECT_FALSE(fs::exists(base_ / "CDDB" / "CDDB.ini"));
  for (const auto& entry : fs::recursive_directory_iterator(temp_->path())) {
    EXPECT_FALSE(entry.is_regular_file()) << entry.path().native();
  }
}

TEST_F(CddbMembersTest, WithTheServerGoneTheRequestStillEnds) {
  test_support::ClosedLoopbackPort closed;
  setenv("ZEPHREL_CDDB_URL", closed.Url("/~cddb/cddb.cgi").c_str(), 1);
  auto sink = Advised();
  builder_->RequestCDDB(base_.native());
  ASSERT_TRUE(sink->WaitFor(kCDDBOnEndRequest));
  EXPECT_EQ(Member(&ISOBuilder::CDDB_GetAlbum), "Unknown");
}

TEST_F(CddbMembersTest, UnloadComStopsALookupThatTheServerLeavesWaitingAndItEndsOnce) {
  stall_ = true;
  auto sink = Advised();
  builder_->RequestCDDB(base_.native());
  while (Requests() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const auto start = std::chrono::steady_clock::now();
  builder_->UnloadCom();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5))
      << "not the 30 s of the request's own time limit";
  ASSERT_TRUE(sink->WaitFor(kCDDBOnEndRequest));
  EXPECT_EQ(sink->Count(kCDDBOnEndRequest), 1u);
  EXPECT_EQ(Member(&ISOBuilder::CDDB_GetAlbum), "Unknown");
}

TEST_F(CddbMembersTest, NoMatchKeepsThePresets) {
  builder_->CDDB_SetArtist("Someone");
  Answer(kQueryCmd, "202 No match found\r\n");
  auto sink = Advised();
  builder_->RequestCDDB(base_.native());
  ASSERT_TRUE(sink->WaitFor(kCDDBOnEndRequest));
  EXPECT_EQ(Member(&ISOBuilder::CDDB_GetArtist), "Unknown");
  EXPECT_EQ(Member(&ISOBuilder::CDDB_GetAlbum), "Unknown");
  EXPECT_EQ(Member(&ISOBuilder::CDDB_GetYear), "2006");
  EXPECT_EQ(Member(&ISOBuilder::CDDb_GetGenre), "Rock");
}

TEST_F(CddbMembersTest, AManualSaveIsFoundAgainWithoutARequest) {
  builder_->CDDB_SetArtist("Moi");
  builder_->CDDB_SetAlbum("Caf\xC3\xA9 100%");
  builder_->CDDB_SetYear("2024");
  builder_->CDDB_SetGenre("Jazz");
  builder_->CDDB_SetTrackTitle(1, "Un");
  builder_->CDDB_SetTrackTitle(2, "Deux");
  const CdToc toc = testing::TwoTrackToc();
  DiscInformation::Process().Locked([&](DiscState& s) { s.Identify(toc); });
  builder_->CDDB_ManualSaveInfos(base_.native());
  const fs::path file = base_ / "CDDB" / "Custom" / "0c016602.txt";
  ASSERT_TRUE(fs::is_regular_file(file));

  builder_->CDDB_SetArtist("changed");
  builder_->CDDB_SetTrackTitle(1, "changed");
  auto sink = Advised();
  builder_->CDDB_Localread(base_.native());
  EXPECT_EQ(sink->Count(kCDDBOnEndRequest), 1u);  // raised inside the call
  EXPECT_EQ(Requests(), 0u);
  EXPECT_EQ(Member(&ISOBuilder::CDDB_GetArtist), "Moi");
  EXPECT_EQ(Member(&ISOBuilder::CDDB_GetAlbum), "Caf\xC3\xA9 100%");
  std::string title;
  builder_->CDDB_GetTrackTitle(0, title);
  EXPECT_EQ(title, "Un");
}

TEST_F(CddbMembersTest, AManualSaveBeforeAnyDiscWasIdentifiedWritesNothing) {
  builder_->CDDB_ManualSaveInfos(base_.native());
  EXPECT_FALSE(fs::exists(base_ / "CDDB"));
}

TEST_F(CddbMembersTest, AnUnknownDiscIsLookedUpOnTheServer) {
  auto sink = Advised();
  builder_->CDDB_Localread(base_.native());
  ASSERT_TRUE(sink->WaitFor(kCDDBOnEndRequest));
  EXPECT_EQ(Requests(), 1u);
  EXPECT_EQ(Member(&ISOBuilder::CDDB_GetArtist), "Unknown");
}

TEST_F(CddbMembersTest, AStoredEntryWhoseFileIsGoneFallsBackToTheServer) {
  fs::create_directory(base_ / "CDDB");
  ASSERT_TRUE(
      platform::WriteIni(base_ / "CDDB" / "CDDB.ini", "CDDBID", "0c016602", "\\CDDB\\rock\\0c016602.txt"));
  auto sink = Advised();
  builder_->CDDB_Localread(base_.native());
  ASSERT_TRUE(sink->WaitFor(kCDDBOnEndRequest));
  EXPECT_EQ(Requests(), 1u);
}

TEST_F(CddbMembersTest, AStoredEntryOutsideTheStoreIsNotOpened) {
  fs::create_directory(base_ / "CDDB");
  std::ofstream(base_ / "secret.txt") << "210 x\nDTITLE=Leaked / Data\n";
  ASSERT_TRUE(
      platform::WriteIni(base_ / "CDDB" / "CDDB.ini", "CDDBID", "0c016602", "\\CDDB\\..\\secret.txt"));
  auto sink = Advised();
  builder_->CDDB_Localread(base_.native());
  ASSERT_TRUE(sink->WaitFor(kCDDBOnEndRequest));
  EXPECT_EQ(Member(&ISOBuilder::CDDB_GetArtist), "Unknown");
  EXPECT_EQ(Requests(), 1u);
}

TEST_F(CddbMembersTest, TrackIndexesOutsideTheListGiveEmptyAndAreIgnored) {
  builder_->CDDB_SetTrackTitle(0, "nowhere");
  builder_->CDDB_SetTrackTitle(3, "nowhere");
  std::string title = "x";
  builder_->CDDB_GetTrackTitle(2, title);
  EXPECT_EQ(title, "");
  builder_->CDDB_GetTrackTitle(-1, title);
  EXPECT_EQ(title, "");
  builder_->CDDB_GetTrackTitle(0, title);
  EXPECT_EQ(title, "Track 01");
  builder_->CDDB_SetTrackTitle(1, "");
  builder_->CDDB_GetTrackTitle(0, title);
  EXPECT_EQ(title, "");
  std::int32_t count = 0;
  builder_->CDDB_GetNbTrack(count);
  EXPECT_EQ(count, 2);
}

TEST_F(CddbMembersTest, TheGenreTableIsReachableByIndex) {
  std::int32_t count = 0;
  builder_->GetCDDBNbGenre(count);
  EXPECT_EQ(count, 148);
  std::string name;
  builder_->GetCDDBGenre(0, name);
  EXPECT_EQ(name, "Blues");
  builder_->GetCDDBGenre(147, name);
  EXPECT_EQ(name, "Synth Pop");
  builder_->GetCDDBGenre(148, name);
  EXPECT_EQ(name, "");
}

TEST_F(CddbMembersTest, ASecondRequestWhileOneRunsEndsAtOnceAndLeavesTheFirstAlone) {
  std::atomic<bool> release{false};
  std::atomic<bool> entered{false};
  SetCddbFetch([&](const std::string&, std::stop_token stop) -> std::optional<std::string> {
    entered = true;
    std::mutex m;
    std::condition_variable_any cv;
    std::unique_lock lock(m);
    cv.wait(lock, stop, [&] { return release.load(); });
    return std::nullopt;
  });
  auto sink = Advised();
  builder_->RequestCDDB(base_.native());
  while (!entered) std::this_thread::yield();
  builder_->RequestCDDB(base_.native());
  ASSERT_TRUE(sink->WaitFor(kCDDBOnEndRequest));
  // UnloadCom stops the waiting lookup and joins it; it still ends once.
  builder_->UnloadCom();
  EXPECT_EQ(sink->Count(kCDDBOnEndRequest), 2u);
}

}  // namespace
}  // namespace zephrel
