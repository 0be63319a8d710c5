#include "build_testutil.h"

#include "mpeg_testutil.h"
#include "platform/text.h"

namespace morvix::testing {

std::filesystem::path NtscMenuClip() {
  return MakeClip("ntsc_menu_169.mpg", {"-f", "lavfi", "-i", "color=c=maroon:s=720x480:r=30000/1001", "-t",
                                        "3", "-target", "ntsc-dvd", "-aspect", "16:9", "-an"});
}

int AddClipTitle(CMorvixAPI& api, const std::filesystem::path& clip, std::vector<float> starts) {
  const std::wstring name = platform::Utf8ToWide(clip.string());
  return api.AddTitle(name.c_str(), static_cast<std::int32_t>(starts.size()), starts.data());
}

void AddTitleButtons(CMorvixAPI& api, const std::filesystem::path& clip, int titles) {
  const std::wstring name = platform::Utf8ToWide(clip.string());
  api.AddMainMenu(name.c_str());
  for (int t = 0; t < titles; ++t) {
    const auto top = static_cast<std::uint16_t>(100 + 60 * t);
    api.AddMenuBtn(kMainMenuId, 100, top, 160, static_cast<std::uint16_t>(top + 40), 1,
                   static_cast<std::uint32_t>(t + 1), nullptr);
  }
}

}  // namespace morvix::testing
