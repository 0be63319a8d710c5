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

// The program's folder: $VANTORA_HOME, else $XDG_DATA_HOME/vantora, else
// ~/.local/share/vantora. It holds Config.ini and the temporary menu files.
std::filesystem::path ProgramFolder();
std::filesystem::path ConfigFile(const std::filesystem::path& program_folder);

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
