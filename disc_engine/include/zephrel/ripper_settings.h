// The ripper's settings: the sections MP3, COMPRESSION, SAUVEGARDE, Output and
// CDDB of the Config.ini in a folder the client names. Every key is read with
// the marker default "023Error"; a key that is missing gets its default
// written into the file at once, and the default is used. The two dialogs
// that edit these settings are shown by the host (see RipperDialogHandler):
// the engine itself never shows UI.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "zephrel/export.h"

namespace zephrel {

// The [MP3] and [COMPRESSION] settings, as texts and switches.
struct Mp3Settings {
  std::string bitrate = "128";
  std::string vbr_bitrate = "128";
  std::string channel = "Joint-Stereo";
  std::string preset = "NORMAL";
  std::string frequency = "44100";
  std::string vbr_method = "Default";
  std::string vbr_quality = "VBR-7";
  bool crc = false;
  bool vbr = false;
  bool vbr_header = false;
  bool copyright = false;
  bool original = false;
  bool private_bit = false;
  std::string compression = "MP3";  // read and kept; nothing else uses it
};

// The output settings of the ripper dialog.
struct RipperOutputSettings {
  std::string output_folder;        // SAUVEGARDE/Chemin, UTF-8
  std::string pattern = "%N - %T";  // Output/Nom
  bool subfolders = true;           // Output/Rep: artist and album folders
  bool auto_cddb = true;            // CDDB/Auto: kept for the client
};

// folder/Config.ini.
ZEPHREL_API std::filesystem::path RipperConfigFile(const std::filesystem::path& folder);

// Reads the [MP3] keys in their order, then COMPRESSION/Select; each missing
// key is written with its default.
ZEPHREL_API Mp3Settings LoadMp3Settings(const std::filesystem::path& folder);
// Reads Chemin (default: folder/"My Music"), Nom, Rep and Auto.
ZEPHREL_API RipperOutputSettings LoadRipperSettings(const std::filesystem::path& folder);
// The single readers the rip's path builder uses.
ZEPHREL_API std::string ReadOutputFolder(const std::filesystem::path& folder);
ZEPHREL_API std::string ReadNamePattern(const std::filesystem::path& folder);
ZEPHREL_API bool ReadSubfolderSwitch(const std::filesystem::path& folder);

// What "OK" of each dialog writes. False with error set when the file cannot
// be written (what was written before the failure stays).
ZEPHREL_API bool SaveMp3Settings(const std::filesystem::path& folder, const Mp3Settings& settings,
                                 std::string* error);
bool SaveRipperSettings(const std::filesystem::path& folder, const RipperOutputSettings& settings,
                        std::string* error);

// The lists of the MP3 dialog, in the order they are shown.
ZEPHREL_API std::span<const std::string_view> Mp3BitRates();
ZEPHREL_API std::span<const std::string_view> Mp3Channels();
ZEPHREL_API std::span<const std::string_view> Mp3VbrMethods();
ZEPHREL_API std::span<const std::string_view> Mp3PresetNames();
ZEPHREL_API std::span<const std::string_view> Mp3VbrQualities();
ZEPHREL_API std::span<const std::string_view> Mp3Frequencies();

// The first item that starts with text, ignoring ASCII case (the platform's
// list search); nullopt when there is none or text is empty.
ZEPHREL_API std::optional<std::size_t> FindListItem(std::span<const std::string_view> items,
                                                    std::string_view text);

// The selection the MP3 dialog opens with: each list's item for the stored
// text, or the item of its fallback when the stored text is not in the list.
struct Mp3DialogSelection {
  std::size_t bitrate = 0, channel = 0, vbr_method = 0, vbr_bitrate = 0, preset = 0, vbr_quality = 0,
              frequency = 0;
};
ZEPHREL_API Mp3DialogSelection SelectMp3Items(const Mp3Settings& settings);
// The settings that a selection and the check boxes of the dialog stand for.
ZEPHREL_API Mp3Settings Mp3SettingsFromSelection(const Mp3DialogSelection& selection,
                                                 const Mp3Settings& switches);

// A code button of the ripper dialog: the pattern cut to 49 characters, a
// blank when it is not empty, then code.
ZEPHREL_API std::string AddPatternCode(std::string_view pattern, std::string_view code);

// Shows the two dialogs for the engine. Each runs modally on the calling
// thread and returns the edited settings on OK, nullopt on Cancel or Close.
class ZEPHREL_API RipperDialogHandler {
 public:
  virtual ~RipperDialogHandler() = default;
  virtual std::optional<Mp3Settings> EditMp3Settings(const Mp3Settings& current) = 0;
  virtual std::optional<RipperOutputSettings> EditRipperSettings(const RipperOutputSettings& current) = 0;
};

}  // namespace zephrel
