// A fresh folder for one test, under the system's temporary folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/fileio.h"

namespace vantora::testing {

// Created empty; removed with everything in it when destroyed, after the
// permissions a test took away from folders below it are given back.
// Throws std::runtime_error when the folder cannot be made.
class TempFolder {
 public:
  explicit TempFolder(std::string_view prefix = "vantora-test");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return folder_->path(); }
  std::filesystem::path operator/(std::string_view name) const { return path() / name; }

 private:
  std::optional<platform::TemporaryFolder> folder_;
};

}  // namespace vantora::testing
