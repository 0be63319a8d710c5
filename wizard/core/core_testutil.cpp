#include "core_testutil.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vantora::testing {

TempFolder::TempFolder() {
  platform::FileError error;
  folder_ = platform::TemporaryFolder::Create("vantora-test", &error);
  if (!folder_) throw std::runtime_error(error.message);
}

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

}  // namespace vantora::testing
