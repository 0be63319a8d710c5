// The wizard's small platform services: its per-user folder, file sizes, the
// settings-file calls, the fixed window size, and the interfaces through which
// it opens things with the desktop and shows dialogs (replaced by recording
// fakes in tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantora {

// Where the wizard keeps what it writes and finds what it ships. The program
// finds them (the desktop's standard folders) and hands them in; each folder
// the wizard writes to is made when first written.
struct UserFolders {
  std::filesystem::path config;     // Config.ini
  std::filesystem::path cache;      // throw-away files: the menu picture and clip, update answers,
                                    // the default temporary project folder
  std::filesystem::path logs;       // one job log file per run
  std::filesystem::path videos;     // the default output folder, where the add dialog first opens
  std::filesystem::path resources;  // read-only files shipped with the program (Background/)
};

// Every folder of the user in the one folder home (what VANTORA_HOME asks
// for): Config.ini, the throw-away files and logs/ in it, output there too.
UserFolders FoldersIn(const std::filesystem::path& home, const std::filesystem::path& resources = {});
// The user's home folder: $HOME when absolute, else the password database's.
std::filesystem::path HomeFolder();
// The logs folder under $XDG_STATE_HOME (absolute), else ~/.local/state.
std::filesystem::path StateLogsFolder();
// Where versions before the desktop's folders kept Config.ini:
// $XDG_DATA_HOME/vantora (absolute), else ~/.local/share/vantora.
std::filesystem::path OldConfigFile();
// folder's Config.ini.
std::filesystem::path ConfigFile(const std::filesystem::path& folder);

// Moves a settings file left at old_file to new_file, once: nothing when
// new_file exists or old_file is not a regular file. Values that were only
// the old defaults (the old folder itself, its projects/ folder) are
// replaced by the new ones (folders.videos, folders.cache / "projects"), every
// other value and line kept. False with *error when it cannot be moved; both
// files are then as they were.
bool MoveOldConfig(const std::filesystem::path& old_file, const std::filesystem::path& new_file,
                   const UserFolders& folders, std::string* error);

// Size in bytes of a regular file, or 0 when it cannot be read.
std::int64_t GetFileSizeCurrency(const std::filesystem::path& path);

// At most this many bytes of a value come back from ReadIni.
inline constexpr std::size_t kIniValueMax = 254;

// The value of key in section of file, or "" when the file, the section or the
// key is missing or unreadable. Longer values are cut to kIniValueMax bytes
// (never inside a character).
std::string ReadIni(const std::filesystem::path& file, std::string_view section, std::string_view key);

// Writes key = value, keeping every other line of the file; the value reads
// back unchanged, except that line breaks become blanks. False with *error
// when the file cannot be read or written; the file is then unchanged.
bool WriteIni(const std::filesystem::path& file, std::string_view section, std::string_view key,
              std::string_view value, std::string* error);

// value fit for one line of the file: line breaks become blanks.
std::string IniStoredValue(std::string_view value);

struct WindowPixels {
  int width = 0;
  int height = 0;
};

// A window size given in twips as pixels: both values rounded to whole numbers,
// then divided (integer division). 9225 x 7950 twips at 15 twips per pixel
// are 615 x 530 pixels.
WindowPixels TwipsToPixels(double width_twips, double height_twips, double twips_per_pixel_x,
                           double twips_per_pixel_y);

// Opens a file, a folder or a web page with the desktop's handler.
class Shell {
 public:
  virtual ~Shell() = default;
  // target: a local path or an http(s) URL. False when nothing handles it.
  virtual bool OpenWithShell(const std::string& target) = 0;
};

// Keeps the machine from going to sleep while a long job runs.
class SleepInhibitor {
 public:
  virtual ~SleepInhibitor() = default;
  // Takes the lock, saying why; nothing when it is held already. Failing to
  // take it (no session bus, no login manager) is not an error.
  virtual void Inhibit(const std::string& why) = 0;
  // Lets the machine sleep again; nothing when the lock is not held.
  virtual void Release() = 0;
};

enum class MessageIcon { kNone, kInformation, kExclamation, kCritical };

// The title of the wizard's message boxes and questions.
inline constexpr char kMessageTitle[] = "Vantora";

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A folder chosen by the user, or "" when the dialog was cancelled.
  virtual std::string BrowseForFolder(const std::string& title) = 0;
  virtual void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) = 0;
  // True for Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& title, MessageIcon icon) = 0;
  // True for OK (the buttons are OK and Cancel).
  virtual bool AskOkCancel(const std::string& /*text*/, const std::string& /*title*/, MessageIcon /*icon*/) {
    return false;
  }
  // The files chosen in an open-file dialog opening in folder, in the
  // dialog's order (several only when multiple); empty when cancelled.
  // filter: "name (patterns);;name (patterns)...".
  virtual std::vector<std::string> OpenFiles(const std::string& /*title*/, const std::string& /*filter*/,
                                             const std::string& /*folder*/, bool /*multiple*/) {
    return {};
  }
  // A colour (0xRRGGBB) chosen in the colour dialog; nullopt when cancelled.
  virtual std::optional<std::uint32_t> ChooseColor(std::uint32_t /*initial*/) { return std::nullopt; }
};

}  // namespace vantora
