// Helpers shared by the wizard core's tests.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "testing/temp_folder.h"
#include "vantora/functions.h"

namespace vantora::testing {

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
