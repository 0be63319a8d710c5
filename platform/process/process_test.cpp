#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

namespace platform {
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

TEST(RunChild, ReportsWhatTheChildUsed) {
  const ChildResult r = RunChild({"/bin/sh", "-c", "i=0; while [ $i -lt 20000 ]; do i=$((i+1)); done"},
                                 std::chrono::seconds(60));
  ASSERT_TRUE(r.started) << r.start_error;
  EXPECT_GT(r.usage.peak_kib, 0);
  EXPECT_GT(r.usage.user_seconds + r.usage.system_seconds, 0.0);
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

TEST(RunChild, CanMergeTheErrorOutputIntoTheStandardOutput) {
  ChildProcess::Options merged;
  merged.stderr_to_stdout = true;
  const ChildResult r = RunChild({"/bin/sh", "-c", "echo out; echo err >&2; echo out2"},
                                 std::chrono::seconds(30), 4u << 20, merged);
  ASSERT_TRUE(r.started) << r.start_error;
  EXPECT_EQ(r.out, "out\nerr\nout2\n");
  EXPECT_EQ(r.err, "");
  const ChildResult apart = RunChild({"/bin/sh", "-c", "echo out; echo err >&2"}, std::chrono::seconds(30));
  EXPECT_EQ(apart.out, "out\n");
  EXPECT_EQ(apart.err, "err\n");
}

TEST(FindProgram, FindsAnExecutableOnThePathAndNothingElse) {
  const std::filesystem::path sh = FindProgram("sh");
  ASSERT_FALSE(sh.empty());
  EXPECT_EQ(sh.filename(), "sh");
  EXPECT_TRUE(FindProgram("no-such-program-anywhere").empty());
  EXPECT_EQ(FindProgram("/bin/sh"), "/bin/sh");  // a path is taken as it is
  EXPECT_TRUE(FindProgram("/nonexistent/sh").empty());
  EXPECT_TRUE(FindProgram("/bin").empty());  // a folder is no program
  EXPECT_TRUE(FindProgram("").empty());
}

TEST(ChildProcess, ReadsWhatItIsGivenOnItsInputUntilThatIsClosed) {
  ChildProcess child;
  ChildProcess::Options options;
  options.pipe_stdin = true;
  std::string error;
  ASSERT_TRUE(child.Start({"/bin/cat"}, options, &error)) << error;
  ASSERT_GE(child.stdin_fd(), 0);
  ASSERT_EQ(::write(child.stdin_fd(), "line é\n", 8), 8);
  child.CloseStdin();  // cat ends at the end of its input
  EXPECT_EQ(child.Wait(), 0);
  std::string out;
  ReadAvailable(child.stdout_fd(), &out);
  EXPECT_EQ(out, "line \xc3\xa9\n");
}

TEST(LastLine, GivesTheLastNonEmptyLine) {
  EXPECT_EQ(LastLine("first\nsecond  \n\n"), "second");
  EXPECT_EQ(LastLine("only"), "only");
  EXPECT_EQ(LastLine("\n\n"), "");
  EXPECT_EQ(LastLine(""), "");
}

}  // namespace
}  // namespace platform
