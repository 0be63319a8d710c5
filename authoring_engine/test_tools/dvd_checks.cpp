#include "dvd_checks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "testing/tools.h"

namespace dvdcheck {

int RunTool(const std::vector<std::string>& args, std::string* output) {
  const vantora::testing::ToolResult run = vantora::testing::RunTool(args);
  if (output != nullptr) *output = run.output;
  return run.started ? run.exit_code : -1;
}

std::filesystem::path TestTool(const std::string& name) {
  const char* dir = std::getenv("VANTORA_BINARY_DIR");
  return std::filesystem::path(dir != nullptr ? dir : VANTORA_BINARY_DIR) / "test_tools" / name;
}

int CountOf(const std::string& text, const std::string& needle) {
  int n = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos;
       at = text.find(needle, at + needle.size()))
    ++n;
  return n;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

namespace {

// libdvdread's notices about the machine rather than the disc: no decryption
// library and no device behind a folder.
bool IsEnvironmentNotice(const std::string& line) {
  return line.find("Encrypted DVD support unavailable") != std::string::npos ||
         line.find("Couldn't find device name") != std::string::npos;
}

}  // namespace

void ExpectDvdreadAcceptsEverything(const std::filesystem::path& dir) {
  std::string out;
  EXPECT_EQ(RunTool({TestTool("dvdread_check").string(), dir.string()}, &out), 0) << out;
  int warnings = 0;
  for (const std::string& line : Lines(out)) {
    if (line.find("libdvdread:") != std::string::npos && !IsEnvironmentNotice(line)) {
      warnings += CountOf(line, "libdvdread:");
      ADD_FAILURE() << line;
    }
    EXPECT_EQ(line.find("CHECK_VALUE failed"), std::string::npos) << line;
    EXPECT_EQ(line.find("mismatch:"), std::string::npos) << line;
  }
  EXPECT_EQ(warnings, 0);
  EXPECT_NE(out.find("mismatches=0"), std::string::npos) << out;
  EXPECT_EQ(out.find("vobus=0 "), std::string::npos) << out;
}

void ExpectPlaysAs(const std::filesystem::path& dir, const std::vector<std::string>& actions,
                   const std::string& trace) {
  std::vector<std::string> argv = {TestTool("dvdnav_harness").string(), dir.string()};
  argv.insert(argv.end(), actions.begin(), actions.end());
  std::string out;
  EXPECT_EQ(RunTool(argv, &out), 0) << out;
  std::string seen;
  for (const std::string& line : Lines(out)) {
    for (const char* prefix : {"menu ", "title ", "stop", "end ", "error "}) {
      if (line.rfind(prefix, 0) == 0) {
        seen += line + "\n";
        break;
      }
    }
  }
  EXPECT_EQ(seen, trace) << out;
}

}  // namespace dvdcheck
