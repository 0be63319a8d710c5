// Running the independent programs that tests check our output with (readers
// such as isoinfo, xorriso, ffprobe, the test tools of the build tree) and the
// programs that make test input (ffmpeg).
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace vantora::testing {

struct ToolResult {
  bool started = false;  // false: the program was not found or could not start
  int exit_code = -1;    // 128 + signal when a signal ended it
  std::string output;    // its standard output, with its error output unless kept apart
  std::string error;     // its error output when kept apart; why it did not start
};

enum class ToolErrors { kMerged, kApart };

// Runs argv without a shell; argv[0] is looked up in $PATH unless it holds a
// slash. A program still running after timeout is killed.
ToolResult RunTool(const std::vector<std::string>& argv, ToolErrors errors = ToolErrors::kMerged,
                   std::chrono::milliseconds timeout = std::chrono::minutes(10));

// Whether a program of that name is on $PATH (or, for a path, may be run).
bool HaveTool(const std::string& name);

}  // namespace vantora::testing
