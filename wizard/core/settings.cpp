#include "vantora/settings.h"

#include <cerrno>
#include <system_error>

#include "platform/fileio.h"
#include "platform/ini.h"
#include "platform/text.h"
#include "vantora/format.h"

namespace vantora {
namespace {

const char* ColorKey(ButtonState state) {
  switch (state) {
    case ButtonState::kNormal:
      return "normalcolor";
    case ButtonState::kSelected:
      return "selectedcolor";
    case ButtonState::kActivated:
      return "activecolor";
  }
  return "normalcolor";
}

const char* ColorDefault(ButtonState state) {
  switch (state) {
    case ButtonState::kNormal:
      return "White";
    case ButtonState::kSelected:
      return "Red";
    case ButtonState::kActivated:
      return "Green";
  }
  return "White";
}

const char* Word(bool b) { return b ? "True" : "False"; }

}  // namespace

WizardSettings DefaultSettings(const UserFolders& folders) {
  WizardSettings s;
  s.temp_folder = platform::PathToUtf8(folders.cache / "projects");
  s.label = kDefaultDiscLabel;
  s.output_folder = platform::PathToUtf8(folders.videos);
  s.add_folder = platform::PathToUtf8(folders.videos);
  return s;
}

int BitrateFromText(const std::string& text) {
  if (text.empty()) return kDefaultVideoBitrate;
  return RoundHalfEven(LeadingNumber(text));
}

int ClampVideoBitrate(int kbit_per_second) {
  if (kbit_per_second < 1) return kDefaultVideoBitrate;
  if (kbit_per_second > kMaxDvdVideoBitrate) return kMaxDvdVideoBitrate;
  return kbit_per_second;
}

WizardSettings LoadSettings(const std::filesystem::path& config, const UserFolders& folders) {
  WizardSettings s = DefaultSettings(folders);
  auto text = [&](const char* section, const char* key) { return ReadIni(config, section, key); };
  if (std::string v = text("tempPath", "value"); !v.empty()) s.temp_folder = v;
  s.video_bitrate = BitrateFromText(text("parameter", "videobitrate"));
  if (std::string v = text("parameter", "label"); !v.empty()) s.label = v;
  const std::string ntsc = text("parameter", "NTSC");
  s.ntsc = ntsc.empty() || ntsc == "True";
  const std::string aspect = text("parameter", "Option43");
  s.aspect_4x3 = aspect.empty() || aspect == "True";
  if (std::string v = text("outPutDir", "value"); !v.empty()) s.output_folder = v;
  if (std::string v = text("RepInit", "value"); !v.empty()) s.add_folder = v;
  const std::string preview = text("ShowPreview", "value");
  s.show_preview = preview.empty() || preview == "True";
  return s;
}

SaveResult SaveSettings(const std::filesystem::path& config, const WizardSettings& settings,
                        const std::string& bitrate_text) {
  auto failed = [&](const std::string& why) {
    return SaveResult{false,
                      "The settings could not be saved to " + platform::PathToUtf8(config) + ": " + why};
  };
  platform::FileError error;
  platform::IniDocument doc;
  if (std::filesystem::exists(config) || std::filesystem::is_symlink(config)) {
    doc = platform::IniDocument::Load(config, &error);
    if (error) return failed(error.message);
  }
  const struct {
    const char* section;
    const char* key;
    std::string value;
  } keys[] = {
      {"videobitrate", "value", bitrate_text},
      {"tempPath", "value", settings.temp_folder},
      {"parameter", "videobitrate", std::to_string(settings.video_bitrate)},
      {"parameter", "label", settings.label},
      {"parameter", "NTSC", Word(settings.ntsc)},
      {"parameter", "Option43", Word(settings.aspect_4x3)},
      {"outPutDir", "value", settings.output_folder},
      {"RepInit", "value", settings.add_folder},
      {"ShowPreview", "value", Word(settings.show_preview)},
  };
  for (const auto& k : keys) doc.Set(k.section, k.key, IniStoredValue(k.value));
  std::error_code ec;
  std::filesystem::create_directories(config.parent_path(), ec);
  if (!platform::WriteFileAtomic(config, doc.Serialize(), &error)) return failed(error.message);
  return {};
}

std::string ReadButtonColor(const std::filesystem::path& config, ButtonState state) {
  std::string v = ReadIni(config, "menuDVD", ColorKey(state));
  return v.empty() ? ColorDefault(state) : v;
}

bool WriteButtonColor(const std::filesystem::path& config, ButtonState state, const std::string& name,
                      std::string* error) {
  return WriteIni(config, "menuDVD", ColorKey(state), name, error);
}

bool ReadClassicalMenu(const std::filesystem::path& config) {
  return ReadIni(config, "menuDVD", "menu") != "False";
}

bool WriteClassicalMenu(const std::filesystem::path& config, bool classical, std::string* error) {
  return WriteIni(config, "menuDVD", "menu", Word(classical), error);
}

int ReadBurnerEntry(const std::filesystem::path& config) {
  const int n = RoundHalfEven(LeadingNumber(ReadIni(config, "Drive", "burner")));
  return n > 0 ? n : 0;
}

std::string FirstRunUrl(const FirstRunPage& page, bool dealio) {
  return "https://" + page.host + "/SetupSoft.php?soft=" + page.product + "&dealio=" + Word(dealio);
}

FirstRunResult HandleFirstRun(const std::filesystem::path& config, const FirstRunPage& page, Shell& shell) {
  FirstRunResult r;
  if (ReadIni(config, "LAUNCH", "VALUE") == "True") return r;
  r.first_run = true;
  const bool dealio = ReadIni(config, "INSTALL", "DEALIO") == "True";
  std::error_code ec;
  std::filesystem::create_directories(config.parent_path(), ec);
  WriteIni(config, "LAUNCH", "VALUE", "True", &r.save_error);
  if (!page.host.empty()) r.page_opened = shell.OpenWithShell(FirstRunUrl(page, dealio));
  return r;
}

}  // namespace vantora
