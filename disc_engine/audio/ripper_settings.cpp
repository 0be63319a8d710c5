#include "zephrel/ripper_settings.h"

#include <array>

#include "platform/ini.h"
#include "platform/text.h"

namespace zephrel {
namespace {

constexpr std::string_view kMissing = "023Error";

constexpr std::array<std::string_view, 17> kBitRates = {"8",   "16",  "24",  "32",  "40",  "48",
                                                        "56",  "64",  "80",  "96",  "112", "128",
                                                        "160", "192", "224", "256", "320"};
constexpr std::array<std::string_view, 4> kChannels = {"Mono", "Stereo", "Joint-stereo", "Dual-Channel"};
constexpr std::array<std::string_view, 5> kVbrMethods = {"Default", "Old", "New", "MTRH", "ABR"};
constexpr std::array<std::string_view, 24> kPresets = {
    "NONE",    "NORMAL",       "LOW",    "HIGH", "Q_VOICE", "R3MIX", "VERY HIGH", "STANDARD", "FAST STANDARD",
    "EXTREME", "FAST EXTREME", "INSANE", "ABR",  "CBR",     "PHONE", "SW",        "AM",       "FM",
    "VOICE",   "RADIO",        "TAPE",   "HIFI", "CD",      "STUDIO"};
constexpr std::array<std::string_view, 10> kVbrQualities = {"VBR-0", "VBR-1", "VBR-2", "VBR-3", "VBR-4",
                                                            "VBR-5", "VBR-6", "VBR-7", "VBR-8", "VBR-9"};
constexpr std::array<std::string_view, 3> kFrequencies = {"32000", "44100", "48000"};

platform::IniDocument LoadConfig(const std::filesystem::path& file) {
  platform::FileError error;  // a file that cannot be read gives every key its default
  return platform::IniDocument::Load(file, &error);
}

// The configuration file of a folder, read once for all the keys a caller
// wants.
class Config {
 public:
  explicit Config(const std::filesystem::path& folder)
      : file_(RipperConfigFile(folder)), doc_(LoadConfig(file_)) {}

  // The value of a key, or its default, written into the file when missing.
  std::string Key(std::string_view section, std::string_view key, std::string_view def) const {
    const std::string* value = doc_.Find(section, key);
    if (value && *value != kMissing) return *value;
    platform::WriteIni(file_, section, key, def);  // a file that cannot be written keeps the default in use
    return std::string(def);
  }

 private:
  std::filesystem::path file_;
  platform::IniDocument doc_;
};

bool Switch(const std::string& value) { return value.empty() || value[0] != '0'; }

std::string DefaultOutputFolder(const std::filesystem::path& folder) {
  return platform::PathToUtf8(folder / "My Music");
}

std::size_t Select(std::span<const std::string_view> items, const std::string& text,
                   std::string_view fallback) {
  if (auto found = FindListItem(items, text)) return *found;
  return FindListItem(items, fallback).value_or(0);
}

bool Write(const std::filesystem::path& file, std::string_view section, std::string_view key,
           std::string_view value, std::string* error) {
  platform::FileError fe;
  if (platform::WriteIni(file, section, key, value, &fe)) return true;
  if (error->empty())
    *error =
        fe.message.empty() ? "The settings cannot be written to " + platform::PathToUtf8(file) : fe.message;
  return false;
}

}  // namespace

std::filesystem::path RipperConfigFile(const std::filesystem::path& folder) { return folder / "Config.ini"; }

Mp3Settings LoadMp3Settings(const std::filesystem::path& folder) {
  const Config config(folder);
  const Mp3Settings d;
  Mp3Settings s;
  s.bitrate = config.Key("MP3", "Bitrate", d.bitrate);
  s.vbr_bitrate = config.Key("MP3", "VBRBitrate", d.vbr_bitrate);
  s.channel = config.Key("MP3", "Channel", d.channel);
  s.preset = config.Key("MP3", "Present", d.preset);
  s.frequency = config.Key("MP3", "Frequency", d.frequency);
  s.vbr_method = config.Key("MP3", "VBRMETHOD", d.vbr_method);
  s.vbr_quality = config.Key("MP3", "VBRQUALITY", d.vbr_quality);
  s.crc = Switch(config.Key("MP3", "CRC", "0"));
  s.vbr = Switch(config.Key("MP3", "VBR", "0"));
  s.vbr_header = Switch(config.Key("MP3", "VBRHEADER", "0"));
  s.copyright = Switch(config.Key("MP3", "COPYRIGHT", "0"));
  s.original = Switch(config.Key("MP3", "ORIGINAL", "0"));
  s.private_bit = Switch(config.Key("MP3", "PRIVATE", "0"));
  s.compression = config.Key("COMPRESSION", "Select", d.compression);
  return s;
}

namespace {

std::string OutputFolder(const Config& config, const std::filesystem::path& folder) {
  return config.Key("SAUVEGARDE", "Chemin", DefaultOutputFolder(folder));
}

std::string NamePattern(const Config& config) {
  return config.Key("Output", "Nom", RipperOutputSettings{}.pattern);
}

bool SubfolderSwitch(const Config& config) { return config.Key("Output", "Rep", "true") == "true"; }

}  // namespace

std::string ReadOutputFolder(const std::filesystem::path& folder) {
  return OutputFolder(Config(folder), folder);
}

std::string ReadNamePattern(const std::filesystem::path& folder) { return NamePattern(Config(folder)); }

bool ReadSubfolderSwitch(const std::filesystem::path& folder) { return SubfolderSwitch(Config(folder)); }

RipperOutputSettings LoadRipperSettings(const std::filesystem::path& folder) {
  const Config config(folder);
  RipperOutputSettings s;
  s.output_folder = OutputFolder(config, folder);
  s.pattern = NamePattern(config);
  s.auto_cddb = config.Key("CDDB", "Auto", "true") == "true";
  s.subfolders = SubfolderSwitch(config);
  return s;
}

bool SaveMp3Settings(const std::filesystem::path& folder, const Mp3Settings& s, std::string* error) {
  const std::filesystem::path file = RipperConfigFile(folder);
  auto flag = [](bool on) { return on ? "1" : "0"; };
  error->clear();
  bool ok = Write(file, "MP3", "Bitrate", s.bitrate, error);
  ok = Write(file, "MP3", "VBRBitrate", s.vbr_bitrate, error) && ok;
  ok = Write(file, "MP3", "Channel", s.channel, error) && ok;
  ok = Write(file, "MP3", "Present", s.preset, error) && ok;
  ok = Write(file, "MP3", "CRC", flag(s.crc), error) && ok;
  ok = Write(file, "MP3", "VBR", flag(s.vbr), error) && ok;
  ok = Write(file, "MP3", "VBRHEADER", flag(s.vbr_header), error) && ok;
  ok = Write(file, "MP3", "COPYRIGHT", flag(s.copyright), error) && ok;
  ok = Write(file, "MP3", "ORIGINAL", flag(s.original), error) && ok;
  ok = Write(file, "MP3", "PRIVATE", flag(s.private_bit), error) && ok;
  ok = Write(file, "MP3", "Frequency", s.frequency, error) && ok;
  ok = Write(file, "MP3", "VBRMETHOD", s.vbr_method, error) && ok;
  ok = Write(file, "MP3", "VBRQUALITY", s.vbr_quality, error) && ok;
  return ok;
}

bool SaveRipperSettings(const std::filesystem::path& folder, const RipperOutputSettings& s,
                        std::string* error) {
  const std::filesystem::path file = RipperConfigFile(folder);
  error->clear();
  bool ok = Write(file, "SAUVEGARDE", "Chemin", platform::CutUtf8Chars(s.output_folder, 259), error);
  ok = Write(file, "Output", "Nom", s.pattern, error) && ok;
  ok = Write(file, "CDDB", "Auto", s.auto_cddb ? "true" : "false", error) && ok;
  ok = Write(file, "Output", "Rep", s.subfolders ? "true" : "false", error) && ok;
  return ok;
}

std::span<const std::string_view> Mp3BitRates() { return kBitRates; }
std::span<const std::string_view> Mp3Channels() { return kChannels; }
std::span<const std::string_view> Mp3VbrMethods() { return kVbrMethods; }
std::span<const std::string_view> Mp3PresetNames() { return kPresets; }
std::span<const std::string_view> Mp3VbrQualities() { return kVbrQualities; }
std::span<const std::string_view> Mp3Frequencies() { return kFrequencies; }

std::optional<std::size_t> FindListItem(std::span<const std::string_view> items, std::string_view text) {
  if (text.empty()) return std::nullopt;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].size() >= text.size() && platform::AsciiIEquals(items[i].substr(0, text.size()), text))
      return i;
  }
  return std::nullopt;
}

Mp3DialogSelection SelectMp3Items(const Mp3Settings& s) {
  Mp3DialogSelection sel;
  sel.vbr_method = Select(kVbrMethods, s.vbr_method, "Default");
  sel.vbr_quality = Select(kVbrQualities, s.vbr_quality, "VBR-7");
  sel.bitrate = Select(kBitRates, s.bitrate, "128");
  sel.vbr_bitrate = Select(kBitRates, s.vbr_bitrate, "128");
  sel.channel = Select(kChannels, s.channel, "Joint-Stereo");
  sel.preset = Select(kPresets, s.preset, "Normal");
  sel.frequency = Select(kFrequencies, s.frequency, "44100");
  return sel;
}

Mp3Settings Mp3SettingsFromSelection(const Mp3DialogSelection& sel, const Mp3Settings& switches) {
  Mp3Settings s = switches;
  auto item = [](std::span<const std::string_view> items, std::size_t i) {
    return std::string(items[i < items.size() ? i : 0]);
  };
  s.bitrate = item(kBitRates, sel.bitrate);
  s.vbr_bitrate = item(kBitRates, sel.vbr_bitrate);
  s.channel = item(kChannels, sel.channel);
  s.preset = item(kPresets, sel.preset);
  s.frequency = item(kFrequencies, sel.frequency);
  s.vbr_method = item(kVbrMethods, sel.vbr_method);
  s.vbr_quality = item(kVbrQualities, sel.vbr_quality);
  return s;
}

std::string AddPatternCode(std::string_view pattern, std::string_view code) {
  std::string text = platform::CutUtf8Chars(pattern, 49);
  if (!text.empty()) text += ' ';
  text += code;
  return text;
}

}  // namespace zephrel
