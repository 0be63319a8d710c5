// Helpers shared by the engine's tests: a scratch folder, files in it, and BMP
// files made by ffmpeg (an independent writer) or by the platform writer.
#pragma once

#include <filesystem>
#include <string>

#include "testing/temp_folder.h"

namespace morvix::testing {

// A fresh folder under the system's temporary folder, removed with everything
// in it on destruction.
class TestFolder {
 public:
  const std::filesystem::path& path() const { return folder_.path(); }
  // path()/name as a wide string.
  std::wstring Wide(const std::filesystem::path& name) const;
  // Creates path()/name holding a few bytes and returns it as a wide string.
  std::wstring MakeFile(const std::filesystem::path& name) const;

 private:
  vantora::testing::TempFolder folder_{"morvix-test"};
};

// Writes a one-colour BMP of width x height with ffmpeg (pure colours stay
// exact, e.g. "red" is 255, 0, 0); pix_fmt "bgr24" makes a 24-bit file, "pal8"
// an 8-bit one. Returns false when ffmpeg fails.
bool FfmpegBmp(const std::filesystem::path& path, int width, int height, const std::string& color = "red",
               const std::string& pix_fmt = "bgr24");

// Writes a 24-bit BMP of width x height (all black) with the platform writer.
bool PlatformBmp(const std::filesystem::path& path, int width, int height);

}  // namespace morvix::testing
