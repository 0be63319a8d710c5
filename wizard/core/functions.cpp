#include "vantora/functions.h"

#include <pwd.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/fileio.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace vantora {
namespace {

std::filesystem::path HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') return home;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return "/tmp";
}

int RoundToInt(double v) {
  if (!std::isfinite(v)) return 0;
  v = std::nearbyint(v);
  if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (v < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}

}  // namespace

std::filesystem::path ProgramFolder() {
  if (const char* v = std::getenv("VANTORA_HOME"); v != nullptr && *v != '\0') return v;
  if (const char* v = std::getenv("XDG_DATA_HOME"); v != nullptr && *v == '/') {
    return std::filesystem::path(v) / "vantora";
  }
  return HomeFolder() / ".local" / "share" / "vantora";
}

std::filesystem::path ConfigFile(const std::filesystem::path& program_folder) {
  return program_folder / "Config.ini";
}

std::int64_t GetFileSizeCurrency(const std::filesystem::path& path) {
  platform::FileError error;
  const auto size = platform::RegularFileSize(path, &error);
  if (!size || *size > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return 0;
  }
  return static_cast<std::int64_t>(*size);
}

std::string ReadIni(const std::filesystem::path& file, std::string_view section, std::string_view key) {
  return platform::CutUtf8(platform::ReadIni(file, section, key, ""), kIniValueMax);
}

std::string IniStoredValue(std::string_view value) {
  std::string v(value);
  for (char& c : v) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return v;
}

bool WriteIni(const std::filesystem::path& file, std::string_view section, std::string_view key,
              std::string_view value, std::string* error) {
  platform::FileError fe;
  if (platform::WriteIni(file, section, key, IniStoredValue(value), &fe)) return true;
  if (error != nullptr) {
    *error = fe.message.empty() ? "cannot write " + platform::PathToUtf8(file) : fe.message;
  }
  return false;
}

WindowPixels TwipsToPixels(double width_twips, double height_twips, double twips_per_pixel_x,
                           double twips_per_pixel_y) {
  const int tx = RoundToInt(twips_per_pixel_x);
  const int ty = RoundToInt(twips_per_pixel_y);
  if (tx <= 0 || ty <= 0) return {};
  return {RoundToInt(width_twips) / tx, RoundToInt(height_twips) / ty};
}

}  // namespace vantora
