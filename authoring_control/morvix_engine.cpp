// The control's engine seam over CMorvixAPI.
#include "quillon/authoring_engine.h"

#if __has_include("morvix/morvix_api.h")

#include <cstring>
#include <new>

#include "morvix/morvix_api.h"
#include "morvix/settings.h"
#include "platform/text.h"

namespace quillon {
namespace {

static_assert(sizeof(morvix::BtnClrSchemes) == std::tuple_size_v<ButtonSchemes>);
static_assert(kMainMenuId == morvix::kMainMenuId);
static_assert(kEngineStopped == morvix::kStopped);

ButtonSchemes ToBytes(const morvix::BtnClrSchemes& schemes) {
  ButtonSchemes bytes{};
  std::memcpy(bytes.data(), &schemes, bytes.size());
  return bytes;
}

class MorvixEngine final : public AuthoringEngine {
 public:
  void Init() override { api_.Init(); }
  EngineStatus AddMainMenu(const std::string& video_file) override {
    return api_.AddMainMenu(platform::Utf8ToWide(video_file).c_str());
  }
  EngineStatus AddTitle(const std::string& movie_file) override {
    return api_.AddTitle(platform::Utf8ToWide(movie_file).c_str(), 1, nullptr);
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
    return api_.SetOutputDir(platform::Utf8ToWide(folder).c_str());
  }
  EngineStatus SetAutoNextTitle(std::int32_t on) override { return api_.SetAutoNextTitle(on); }
  EngineStatus Build(EngineProgress progress) override { return api_.Build(progress); }

 private:
  morvix::CMorvixAPI api_;
};

}  // namespace

std::unique_ptr<AuthoringEngine> MakeMorvixEngine() {
  return std::unique_ptr<AuthoringEngine>(new (std::nothrow) MorvixEngine());
}

}  // namespace quillon

#else  // the authoring engine is not part of this build yet

namespace quillon {
std::unique_ptr<AuthoringEngine> MakeMorvixEngine() { return nullptr; }
}  // namespace quillon

#endif
