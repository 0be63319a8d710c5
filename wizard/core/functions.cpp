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

// $name when it is an absolute path, else home / fallback.
std::filesystem::path XdgFolder(const char* name, const char* fallback) {
  if (const char* v = std::getenv(name); v != nullptr && *v == '/') return v;
  return HomeFolder() / fallback;
}

int RoundToInt(double v) {
  if (!std::isfinite(v)) return 0;
  v = std::nearbyint(v);
  if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (v < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}

}  // namespace

std::filesystem::path HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') return home;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return "/tmp";
}

UserFolders FoldersIn(const std::filesystem::path& home, const std::filesystem::path& resources) {
  return UserFolders{home, home, home / "logs", home, resources};
}

std::filesystem::path StateLogsFolder() {
  return XdgFolder("XDG_STATE_HOME", ".local/state") / "vantora" / "logs";
}

std::filesystem::path OldConfigFile() {
  return XdgFolder("XDG_DATA_HOME", ".local/share") / "vantora" / "Config.ini";
}

std::filesystem::path ConfigFile(const std::filesystem::path& folder) { return folder / "Config.ini"; }

bool MoveOldConfig(const std::filesystem::path& old_file, const std::filesystem::path& new_file,
                   const UserFolders& folders, std::string* error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::exists(fs::symlink_status(new_file, ec)) || !platform::IsRegularFile(old_file)) return true;
  auto failed = [&](const std::string& why) {
    if (error != nullptr) {
      *error = "The settings of " + platform::PathToUtf8(old_file) + " could not be moved to " +
               platform::PathToUtf8(new_file) + ": " + why;
    }
    return false;
  };
  platform::FileError fe;
  platform::IniDocument doc = platform::IniDocument::Load(old_file, &fe);
  if (fe) return failed(fe.message);
  // The old defaults pointed into the hidden folder the file leaves.
  const fs::path old_folder = old_file.parent_path();
  const std::string old_home = platform::PathToUtf8(old_folder);
  const struct {
    const char* section;
    std::string old_default;
    fs::path now;
  } moved_defaults[] = {
      {"tempPath", platform::PathToUtf8(old_folder / "projects"), folders.cache / "projects"},
      {"outPutDir", old_home, folders.videos},
      {"RepInit", old_home, folders.videos},
      {"RepInit", old_home + "/", folders.videos},
  };
  for (const auto& d : moved_defaults) {
    const std::string* v = doc.Find(d.section, "value");
    if (v != nullptr && *v == d.old_default) doc.Set(d.section, "value", platform::PathToUtf8(d.now));
  }
  fs::create_directories(new_file.parent_path(), ec);
  if (!platform::WriteFileAtomic(new_file, doc.Serialize(), &fe)) return failed(fe.message);
  if (!fs::remove(old_file, ec) && ec) {
    fs::remove(new_file, ec);
    return failed(ec.message());
  }
  return true;
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
