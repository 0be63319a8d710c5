// The wizard's settings in Config.ini: what it reads at start-up (with the
// defaults of a missing, empty or unreadable key), the nine keys it saves when
// it ends normally, the menu keys, and the first-run mark. Every read goes to
// the file; nothing is cached.
#pragma once

#include <filesystem>
#include <string>

#include "vantora/functions.h"

namespace vantora {

inline constexpr int kDefaultVideoBitrate = 4500;  // kbit/s
inline constexpr int kMaxDvdVideoBitrate = 9000;   // kbit/s
inline constexpr char kDefaultDiscLabel[] = "New DVD";

struct WizardSettings {
  std::string temp_folder;                   // tempPath
  int video_bitrate = kDefaultVideoBitrate;  // parameter/videobitrate, kbit/s, as stored
  std::string label;                         // parameter/label
  bool ntsc = true;                          // parameter/NTSC
  bool aspect_4x3 = true;                    // parameter/Option43
  std::string output_folder;                 // outPutDir
  std::string add_folder;                    // RepInit
  bool show_preview = true;                  // ShowPreview
};

// The settings of a first start: "projects" under the cache folder, 4500
// kbit/s, "New DVD", NTSC, 4:3, output and add-video folders = the Videos
// folder, preview on.
WizardSettings DefaultSettings(const UserFolders& folders);

// Reads the settings; every key that is missing, empty or unreadable takes its
// default, so a missing, unreadable or damaged file gives the defaults.
WizardSettings LoadSettings(const std::filesystem::path& config, const UserFolders& folders);

// A stored bit-rate text as a number: its leading number rounded (halves to
// even), 0 when it has none, the default when it is empty.
int BitrateFromText(const std::string& text);

// The bit rate the encoder is given: below 1 becomes 4500, above 9000 (the
// DVD-Video limit) becomes 9000.
int ClampVideoBitrate(int kbit_per_second);

struct SaveResult {
  bool ok = true;
  std::string message;  // one message for the whole save when it failed
};

// Writes the nine saved keys in one replacement of the file, keeping every
// other section and line. bitrate_text is what the bit-rate box shows. A file
// that exists but cannot be read is left alone and the save fails.
SaveResult SaveSettings(const std::filesystem::path& config, const WizardSettings& settings,
                        const std::string& bitrate_text);

// Button colours of the menu: states normal, selected, activated.
enum class ButtonState { kNormal, kSelected, kActivated };
std::string ReadButtonColor(const std::filesystem::path& config, ButtonState state);
bool WriteButtonColor(const std::filesystem::path& config, ButtonState state, const std::string& name,
                      std::string* error);
// True unless menuDVD/menu reads "False".
bool ReadClassicalMenu(const std::filesystem::path& config);
bool WriteClassicalMenu(const std::filesystem::path& config, bool classical, std::string* error);
// The 1-based drive entry of Drive/burner; 0 when it is empty or not a number.
int ReadBurnerEntry(const std::filesystem::path& config);

// The first-run page. With no host (the default) nothing is opened.
struct FirstRunPage {
  std::string host;                 // e.g. "www.example.org"; empty: no page
  std::string product = "vantora";  // sent as "soft"
};

// The address of the first-run page: https://host/SetupSoft.php?soft=...&dealio=...
std::string FirstRunUrl(const FirstRunPage& page, bool dealio);

struct FirstRunResult {
  bool first_run = false;  // LAUNCH/VALUE did not read "True"
  bool page_opened = false;
  std::string save_error;  // the mark could not be written
};

// On the first run (LAUNCH/VALUE is not "True"): reads INSTALL/DEALIO, writes
// LAUNCH/VALUE = "True" and opens the first-run page when a host is set.
FirstRunResult HandleFirstRun(const std::filesystem::path& config, const FirstRunPage& page, Shell& shell);

}  // namespace vantora
