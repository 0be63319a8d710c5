#include "testing/tools.h"

#include "platform/process.h"

namespace vantora::testing {
namespace {

// Large enough for any listing a reader prints of a test image.
constexpr std::size_t kMaxOutput = std::size_t{256} << 20;

}  // namespace

ToolResult RunTool(const std::vector<std::string>& argv, ToolErrors errors,
                   std::chrono::milliseconds timeout) {
  ToolResult result;
  if (argv.empty()) return result;
  const std::filesystem::path program = platform::FindProgram(argv[0]);
  if (program.empty()) {
    result.error = argv[0] + " is not on the path";
    return result;
  }
  std::vector<std::string> args = argv;
  args[0] = program.native();
  platform::ChildProcess::Options options;
  options.stderr_to_stdout = errors == ToolErrors::kMerged;
  platform::ChildResult run = platform::RunChild(args, timeout, kMaxOutput, options);
  result.started = run.started;
  result.exit_code = run.exit_code;
  result.output = std::move(run.out);
  result.error = run.started ? std::move(run.err) : std::move(run.start_error);
  return result;
}

bool HaveTool(const std::string& name) { return !platform::FindProgram(name).empty(); }

}  // namespace vantora::testing
