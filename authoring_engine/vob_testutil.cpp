#include "vob_testutil.h"

#include "mpeg_testutil.h"

namespace morvix::testing {

std::filesystem::path NewOutputDir(const std::string& name) {
  const std::filesystem::path dir = ScratchDir() / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

std::unique_ptr<MpegFile> Analysed(const std::filesystem::path& clip, bool menu, std::uint64_t part_bytes) {
  if (clip.empty()) return nullptr;
  auto file = std::make_unique<MpegFile>(clip);
  if (part_bytes > 0) file->set_part_bytes_for_testing(part_bytes);
  AnalysisRequest request;
  request.menu = menu;
  ErrorContext error;
  if (file->Analyse(request, error) != kOk) return nullptr;
  return file;
}

std::filesystem::path QuarterMask() {
  return MakeClip("quarter_mask.bmp",
                  {"-f", "lavfi", "-i",
                   "color=c=black:s=40x30[a];color=c=white:s=40x30[b];color=c=red:s=40x30[c];"
                   "color=c=blue:s=40x30[d];[a][b]hstack[t];[c][d]hstack[u];[t][u]vstack,format=bgr24",
                   "-frames:v", "1", "-pix_fmt", "bgr24"});
}

std::vector<MenuButton> FourButtons() {
  std::vector<MenuButton> buttons;
  for (int i = 0; i < 3; ++i) {
    MenuButton b;
    b.left = 100;
    b.top = 100 + 60 * i;
    b.right = 140;
    b.bottom = 130 + 60 * i;
    b.command = kButtonTitleSetMenu;
    b.value = static_cast<std::uint32_t>(i + 1);
    buttons.push_back(b);
  }
  MenuButton mask;
  mask.kind = MenuButtonKind::kMask;
  mask.left = 300;
  mask.top = 120;
  mask.right = 380;
  mask.bottom = 180;
  mask.command = kButtonMainMenu;
  mask.mask_file = QuarterMask();
  buttons.push_back(mask);
  return buttons;
}

}  // namespace morvix::testing
