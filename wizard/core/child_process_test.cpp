#include "vantora/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>

namespace vantora {
namespace {

TEST(RunChild, CollectsOutputAndExitCodeWithoutAShell) {
  const ChildResult r = RunChild({"/bin/echo", "a;b", "$HOME"}, std::chrono::seconds(30));
  ASSERT_TRUE(r.started) << r.start_error;
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "a;b $HOME\n");  // arguments reach the program literally
  const ChildResult f = RunChild({"/bin/false"}, std::chrono::seconds(30));
  EXPECT_EQ(f.exit_code, 1);
}

TEST(RunChild, ReportsAProgramThatCannotStart) {
  const ChildResult r = RunChild({"/nonexistent/program"}, std::chrono::seconds(30));
  EXPECT_FALSE(r.started);
  EXPECT_NE(r.start_error.find("/nonexistent/program"), std::string::npos);
  EXPECT_NE(r.start_error.find("No such file"), std::string::npos);
}

TEST(RunChild, KillsAChildThatOverrunsItsTime) {
  const ChildResult r = RunChild({"/bin/sleep", "30"}, std::chrono::milliseconds(100));
  EXPECT_TRUE(r.timed_out);
  EXPECT_EQ(r.exit_code, 128 + SIGKILL);
}

TEST(ChildProcess, SignalsReachOnlyItsOwnChild) {
  ChildProcess child;
  std::string error;
  ASSERT_TRUE(child.Start({"/bin/sleep", "30"}, {}, &error)) << error;
  EXPECT_TRUE(child.Signal(SIGTERM));
  EXPECT_EQ(child.Wait(), 128 + SIGTERM);
  EXPECT_TRUE(child.exited_by_signal());
  EXPECT_FALSE(child.Signal(SIGTERM));  // reaped: nothing to signal any more
}

TEST(LastLine, GivesTheLastNonEmptyLine) {
  EXPECT_EQ(LastLine("first\nsecond  \n\n"), "second");
  EXPECT_EQ(LastLine("only"), "only");
  EXPECT_EQ(LastLine("\n\n"), "");
  EXPECT_EQ(LastLine(""), "");
}

}  // namespace
}  // namespace vantora
