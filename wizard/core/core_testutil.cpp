#include "core_testutil.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vantora::testing {

void WriteBytes(const std::filesystem::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::filesystem::path Media(const char* name) {
  const char* dir = std::getenv("VANTORA_TEST_MEDIA");
  return std::filesystem::path(dir != nullptr ? dir : "") / name;
}

}  // namespace vantora::testing
