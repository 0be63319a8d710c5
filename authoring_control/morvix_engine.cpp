// The control's engine seam over CMorvixAPI.
#include "quillon/authoring_engine.h"

#include <cstring>
#include <new>
#include <string>

#include "morvix/error_text.h"
#include "morvix/morvix_api.h"
#include "morvix/settings.h"
#include "platform/text.h"

namespace quillon {
namespace {

static_assert(sizeof(morvix::BtnClrSchemes) == std::tuple_size_v<ButtonSchemes>);
static_assert(kMainMenuId == morvix::kMainMenuId);
static_assert(kEngineStopped == morvix::kStopped);

// Runs an engine call that takes a path, converted to wide characters; the
// conversion's only failure is running out of memory.
template <class F>
EngineStatus WithWidePath(const std::string& utf8, F&& call) {
  try {
    const std::wstring wide = platform::Utf8ToWide(utf8);
    return call(wide.c_str());
  } catch (const std::bad_alloc&) {
    return morvix::kErrOutOfMemory;
  }
}

ButtonSchemes ToBytes(const morvix::BtnClrSchemes& schemes) {
  ButtonSchemes bytes{};
  std::memcpy(bytes.data(), &schemes, bytes.size());
  return bytes;
}

class MorvixEngine final : public AuthoringEngine {
 public:
  void Init() override { api_.Init(); }
  EngineStatus AddMainMenu(const std::string& video_file) override {
    return WithWidePath(video_file, [&](const wchar_t* path) { return api_.AddMainMenu(path); });
  }
  EngineStatus AddTitle(const std::string& movie_file) override {
    return WithWidePath(movie_file, [&](const wchar_t* path) { return api_.AddTitle(path, 1, nullptr); });
  }
  EngineStatus DeleteTitle(std::int32_t title) override { return api_.DeleteTitle(title); }
  std::int32_t GetTitleCount() override { return api_.GetTitleCount(); }
  std::int32_t GetMainMenuId() override { return api_.GetMenuID(1, 0); }
  EngineStatus AddMenuBtn(std::int32_t menu_id, std::uint16_t left, std::uint16_t top, std::uint16_t right,
                          std::uint16_t bottom, std::uint32_t type, std::uint32_t value) override {
    return api_.AddMenuBtn(menu_id, left, top, right, bottom, type, value, nullptr);
  }
  EngineStatus DeleteButton(std::int32_t menu_id, std::int32_t button) override {
    return api_.DeleteButton(menu_id, button);
  }
  std::int32_t GetButtonCount(std::int32_t menu_id) override { return api_.GetButtonCount(menu_id); }
  EngineStatus GetButtonSchemes(std::int32_t menu_id, ButtonSchemes* schemes) override {
    morvix::DVDB_ColorPalette palette{};
    morvix::BtnClrSchemes read{};
    const EngineStatus status = api_.GetPalette(menu_id, &palette, &read);
    if (status >= 0) *schemes = ToBytes(read);
    return status;
  }
  EngineStatus SetButtonSchemes(std::int32_t menu_id, const ButtonSchemes& schemes) override {
    morvix::BtnClrSchemes s{};
    std::memcpy(&s, schemes.data(), schemes.size());
    return api_.SetMenuColors(menu_id, nullptr, &s);
  }
  ButtonSchemes DefaultButtonSchemes() const override { return ToBytes(morvix::kDefaultSchemes); }
  EngineStatus SetOutputDir(const std::string& folder) override {
    return WithWidePath(folder, [&](const wchar_t* path) { return api_.SetOutputDir(path); });
  }
  EngineStatus SetAutoNextTitle(std::int32_t on) override { return api_.SetAutoNextTitle(on); }
  EngineStatus Build(EngineProgress progress) override { return api_.Build(progress); }
  std::string StatusText(EngineStatus status) override {
    try {
      return platform::WideToUtf8(morvix::ComposeErrorMessage(status, api_.error_context()));
    } catch (const std::bad_alloc&) {
      return "Error code = " + std::to_string(status);
    }
  }

 private:
  morvix::CMorvixAPI api_;
};

}  // namespace

std::unique_ptr<AuthoringEngine> MakeMorvixEngine() {
  return std::unique_ptr<AuthoringEngine>(new (std::nothrow) MorvixEngine());
}

}  // namespace quillon
