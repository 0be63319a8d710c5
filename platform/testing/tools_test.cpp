#include "testing/tools.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "testing/temp_folder.h"

namespace vantora::testing {
namespace {

TEST(RunTool, FindsTheProgramOnThePathAndPassesArgumentsLiterally) {
  const ToolResult r = RunTool({"echo", "it's", "$HOME", "a b"});
  ASSERT_TRUE(r.started) << r.error;
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.output, "it's $HOME a b\n");
}

TEST(RunTool, MergesTheErrorOutputUnlessAskedToKeepItApart) {
  const ToolResult merged = RunTool({"sh", "-c", "echo one; echo two >&2; exit 3"});
  EXPECT_EQ(merged.exit_code, 3);
  EXPECT_EQ(merged.output, "one\ntwo\n");
  const ToolResult apart = RunTool({"sh", "-c", "echo one; echo two >&2"}, ToolErrors::kApart);
  EXPECT_EQ(apart.output, "one\n");
  EXPECT_EQ(apart.error, "two\n");
}

TEST(RunTool, AProgramThatIsNotThereDoesNotStartAndSaysWhy) {
  const ToolResult r = RunTool({"no-such-reader-anywhere", "x"});
  EXPECT_FALSE(r.started);
  EXPECT_EQ(r.exit_code, -1);
  EXPECT_NE(r.error.find("no-such-reader-anywhere"), std::string::npos);
  EXPECT_FALSE(HaveTool("no-such-reader-anywhere"));
  EXPECT_TRUE(HaveTool("sh"));
}

TEST(TempFolder, IsRemovedWithItsContentsEvenWhereATestTookPermissionsAway) {
  std::filesystem::path kept;
  {
    TempFolder folder("tools-test é 日本");
    kept = folder.path();
    std::filesystem::create_directories(folder / "locked" / "inner");
    std::ofstream(folder / "locked" / "inner" / "file") << "data";
    ASSERT_EQ(::chmod((folder / "locked").c_str(), 0), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(kept));
}

TEST(TempFolder, TwoFoldersAreNeverTheSame) {
  TempFolder a, b;
  EXPECT_NE(a.path(), b.path());
  EXPECT_TRUE(std::filesystem::is_directory(a.path()));
}

}  // namespace
}  // namespace vantora::testing
