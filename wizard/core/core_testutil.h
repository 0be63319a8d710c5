// Helpers shared by the wizard core's tests.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "vantora/functions.h"

namespace vantora::testing {

// A fresh folder under the system's temporary folder, removed on destruction.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
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
