#include "testing/temp_folder.h"

#include <sys/stat.h>

#include <stdexcept>
#include <string>

namespace vantora::testing {

TempFolder::TempFolder(std::string_view prefix) {
  platform::FileError error;
  folder_ = platform::TemporaryFolder::Create(prefix, &error);
  if (!folder_) throw std::runtime_error("cannot make a test folder: " + error.message);
}

TempFolder::~TempFolder() {
  namespace fs = std::filesystem;
  std::error_code ec;
  ::chmod(path().c_str(), 0755);
  for (auto it = fs::recursive_directory_iterator(path(), fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), 0755);
  }
}

}  // namespace vantora::testing
