#include "engine_testutil.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "platform/bitmap.h"
#include "platform/text.h"

extern char** environ;

namespace morvix::testing {

TestFolder::TestFolder() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "morvix-test-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TestFolder::~TestFolder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::wstring TestFolder::Wide(const std::filesystem::path& name) const {
  return platform::Utf8ToWide((path_ / name).string());
}

std::wstring TestFolder::MakeFile(const std::filesystem::path& name) const {
  std::ofstream(path_ / name, std::ios::binary) << "not empty";
  return Wide(name);
}

bool RunProgram(std::initializer_list<std::string> argv) {
  std::vector<std::string> args(argv);
  std::vector<char*> raw;
  for (std::string& a : args) raw.push_back(a.data());
  raw.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, raw[0], &actions, nullptr, raw.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool FfmpegBmp(const std::filesystem::path& path, int width, int height, const std::string& color,
               const std::string& pix_fmt) {
  // Generating in RGB keeps the colour exact (no round trip through YUV) and the
  // size odd where asked.
  const std::string source =
      "color=c=" + color + ":s=" + std::to_string(width) + "x" + std::to_string(height) + ",format=bgr24";
  return RunProgram({"ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i", source,
                     "-frames:v", "1", "-pix_fmt", pix_fmt, path.string()});
}

bool PlatformBmp(const std::filesystem::path& path, int width, int height) {
  platform::Bitmap bitmap;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.rgb.assign(static_cast<std::size_t>(width) * height * 3, 0);
  std::string error;
  return platform::WriteBmp(path, bitmap, &error);
}

}  // namespace morvix::testing
