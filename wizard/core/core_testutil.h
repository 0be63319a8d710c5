// Helpers shared by the wizard core's tests.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fileio.h"
#include "vantora/functions.h"

namespace vantora::testing {

// A fresh folder under the system's temporary folder, removed on destruction.
class TempFolder {
 public:
  TempFolder();
  const std::filesystem::path& path() const { return folder_->path(); }
  std::filesystem::path operator/(std::string_view name) const { return path() / name; }

 private:
  std::optional<platform::TemporaryFolder> folder_;
};

void WriteBytes(const std::filesystem::path& file, std::string_view bytes);
std::string ReadBytes(const std::filesystem::path& file);

// A Shell that records what it was asked to open.
class RecordingShell : public Shell {
 public:
  bool OpenWithShell(const std::string& target) override {
    opened.push_back(target);
    return true;
  }
  std::vector<std::string> opened;
};

}  // namespace vantora::testing
