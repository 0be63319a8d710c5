#include "vantora/update_check.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "controller_testutil.h"
#include "testing/loopback_http_server.h"

namespace vantora {
namespace {

namespace fs = std::filesystem;
using test_support::ClosedLoopbackPort;
using test_support::HttpReply;
using test_support::HttpRequest;
using test_support::LoopbackHttpServer;

TEST(VersionsTest, AreComparedByTheirNumbers) {
  EXPECT_GT(CompareVersions(*ParseVersion("1.0.10"), *ParseVersion("1.0.9")), 0);
  EXPECT_LT(CompareVersions(*ParseVersion("0.9.9"), *ParseVersion("1.0.0")), 0);
  EXPECT_EQ(CompareVersions(*ParseVersion("1.0"), *ParseVersion("1.0.0")), 0);
  EXPECT_EQ(ParseVersion("1..0"), std::nullopt);
  EXPECT_EQ(ParseVersion("1.0a"), std::nullopt);
  EXPECT_EQ(ParseVersion(""), std::nullopt);
  EXPECT_EQ(ParseVersion("99999999999"), std::nullopt);
}

TEST(VersionsTest, TheAnswersFirstLineLosesItsByteOrderMarkAndBlanks) {
  EXPECT_EQ(LatestVersionOfAnswer("\xEF\xBB\xBF 1.2.3 _notes\r\n9.9.9_x"), "1.2.3");
  EXPECT_EQ(LatestVersionOfAnswer("1.2.3"), std::nullopt);
  EXPECT_EQ(LatestVersionOfAnswer(""), std::nullopt);
  EXPECT_EQ(LatestVersionOfAnswer("\n1.2.3_x"), std::nullopt);
}

class UpdateCheckTest : public testing::ControllerFixture {
 protected:
  void SetUp() override {
    ControllerFixture::SetUp();
    unsetenv("VANTORA_UPDATE_HOST");
  }
  void TearDown() override {
    unsetenv("VANTORA_UPDATE_HOST");
    ControllerFixture::TearDown();
  }
  // Checks against a server that answers with reply; the program is 1.0.0.
  void CheckAgainst(const std::string& host_and_port) {
    setenv("VANTORA_UPDATE_HOST", host_and_port.c_str(), 1);
    c().CheckStart();
    EXPECT_FALSE(fs::exists(home / "result.dat"));
  }
  void CheckWith(HttpReply reply) {
    LoopbackHttpServer server([reply](const HttpRequest&) { return reply; });
    CheckAgainst(server.HostAndPort());
    requests = server.Requests();
  }
  std::string LastMessage() { return dialogs.messages.empty() ? "" : dialogs.messages.back().text; }
  std::vector<HttpRequest> requests;
};

TEST_F(UpdateCheckTest, ANewerVersionIsOfferedAndOkOpensTheDownload) {
  Start();
  LoopbackHttpServer server([](const HttpRequest&) { return HttpReply::Text("1.0.10_2026-12-01\r\n"); });
  CheckAgainst(server.HostAndPort());
  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].target, "/UpdateCindral.php?version=1.0.0");
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].text,
            "New version detected : V 1.0.10\r\nDo you want to download this new version ?");
  EXPECT_EQ(dialogs.questions[0].title, "Vantora");
  EXPECT_EQ(dialogs.questions[0].icon, MessageIcon::kInformation);
  EXPECT_EQ(shell.opened,
            std::vector<std::string>{"http://" + server.HostAndPort() + "/appli/Setup_Cindral.exe"});
  dialogs.ok = false;
  CheckAgainst(server.HostAndPort());
  EXPECT_EQ(shell.opened.size(), 1u);
}

TEST_F(UpdateCheckTest, TheSameOrAnOlderVersionIsUpToDate) {
  Start();
  CheckWith(HttpReply::Text("1.0.0_x"));
  EXPECT_EQ(LastMessage(), "Your version is up to date. The last version available is : 1.0.0");
  EXPECT_EQ(dialogs.messages.back().icon, MessageIcon::kInformation);
  CheckWith(HttpReply::Text("0.9.12_x"));
  EXPECT_EQ(LastMessage(), "Your version is up to date. The last version available is : 0.9.12");
  EXPECT_TRUE(dialogs.questions.empty());
  EXPECT_TRUE(shell.opened.empty());
}

TEST_F(UpdateCheckTest, AByteOrderMarkAndBlanksAreStripped) {
  Start();
  CheckWith(HttpReply::Text("\xEF\xBB\xBF  2.0.0_x  \n"));
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].text,
            "New version detected : V 2.0.0\r\nDo you want to download this new version ?");
}

TEST_F(UpdateCheckTest, GarbageOrAnEmptyAnswerAsksToReconnectLater) {
  Start();
  for (const char* body : {"", "<b>hello</b>", "1.0.1", "abc_def", "\n2.0.0_x"}) {
    dialogs.messages.clear();
    CheckWith(HttpReply::Text(body));
    EXPECT_EQ(LastMessage(), "Please try to reconnect later. Can't find information on the server.") << body;
    EXPECT_EQ(dialogs.messages.back().icon, MessageIcon::kExclamation);
  }
  EXPECT_TRUE(shell.opened.empty());
}

TEST_F(UpdateCheckTest, AFailedRequestSaysSoWithTheReason) {
  Start();
  CheckWith(HttpReply::Text("<html><body>3.0.0_x</body></html>", 404, "Not Found"));
  EXPECT_EQ(LastMessage(), "Can't check for updates: the server answered 404 Not Found.");
  CheckWith(HttpReply::Text(std::string(10 * 1024 * 1024, '9')));
  EXPECT_EQ(LastMessage(), "Can't check for updates: the answer is larger than 1048576 bytes.");
  ClosedLoopbackPort closed;
  CheckAgainst(closed.HostAndPort());
  EXPECT_EQ(LastMessage().rfind("Can't check for updates: ", 0), 0u);
  EXPECT_NE(LastMessage(), "Can't check for updates: ");
  EXPECT_TRUE(dialogs.questions.empty());
}

TEST_F(UpdateCheckTest, AStalledServerEndsAtTheShortenedTimeout) {
  Start();
  controller.reset();
  WizardParts parts = ControllerParts();
  parts.http_limits.total_timeout = std::chrono::milliseconds(300);
  StartWith(std::move(parts));
  CheckWith(HttpReply::Stall());
  EXPECT_EQ(LastMessage().rfind("Can't check for updates: no complete answer within 300 ms", 0), 0u)
      << LastMessage();
}

TEST_F(UpdateCheckTest, WithoutAServerTheCheckSaysItCannotReachIt) {
  Start();
  c().CheckStart();
  EXPECT_EQ(LastMessage(),
            "Can't check for updates: the update server cannot be reached (no server is set in "
            "VANTORA_UPDATE_HOST).");
  EXPECT_FALSE(fs::exists(home / "result.dat"));
}

TEST_F(UpdateCheckTest, AResultFileLeftOverIsDeletedAfterTheCheck) {
  Start();
  std::ofstream(home / "result.dat") << "old";
  c().CheckStart();
  EXPECT_FALSE(fs::exists(home / "result.dat"));
}

}  // namespace
}  // namespace vantora
