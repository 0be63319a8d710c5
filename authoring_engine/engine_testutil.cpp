#include "engine_testutil.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "mpeg_testutil.h"
#include "platform/bitmap.h"
#include "platform/text.h"

namespace morvix::testing {

std::wstring TestFolder::Wide(const std::filesystem::path& name) const {
  return platform::Utf8ToWide((path() / name).string());
}

std::wstring TestFolder::MakeFile(const std::filesystem::path& name) const {
  std::ofstream(path() / name, std::ios::binary) << "not empty";
  return Wide(name);
}

bool FfmpegBmp(const std::filesystem::path& path, int width, int height, const std::string& color,
               const std::string& pix_fmt) {
  // Generating in RGB keeps the colour exact (no round trip through YUV) and the
  // size odd where asked.
  const std::string source =
      "color=c=" + color + ":s=" + std::to_string(width) + "x" + std::to_string(height) + ",format=bgr24";
  return RunQuiet({"ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i", source, "-frames:v",
                   "1", "-pix_fmt", pix_fmt, path.string()});
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
