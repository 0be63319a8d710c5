// Step 2: the menu page, its buttons and background, the button colour
// lists, and the menu clip made from the page when the step is left.
#include <system_error>

#include "platform/fileio.h"
#include "platform/text.h"
#include "vantora/wizard_controller.h"

namespace vantora {

namespace fs = std::filesystem;

namespace {

constexpr ButtonState kStates[] = {ButtonState::kNormal, ButtonState::kSelected, ButtonState::kActivated};

int StateIndex(ButtonState state) { return static_cast<int>(state); }

}  // namespace

void WizardController::RedrawMenuPreview(bool hide_markers) {
  screen_.menu.marker_color = screen_.button_swatch[StateIndex(ButtonState::kNormal)];
  const MenuLayout layout = LayOutMenu(
      screen_.menu, kMenuPageWidth,
      [this](const MenuFont& font, const std::string& text) { return view_.MeasureMenuText(font, text); });
  MenuButtons = layout.buttons;
  view_.ShowMenuPage(screen_.menu, layout, hide_markers);
}

void WizardController::Command4_Click() {
  const std::vector<std::string> chosen = parts_.dialogs->OpenFiles(
      "", "Pictures (*.bmp *.BMP *.jpg *.JPG *.jpeg *.png *.PNG *.gif);;All Files (*)", "", false);
  if (chosen.empty()) return;
  screen_.menu.background = chosen.front();
  const std::string problem = view_.LoadMenuBackground(chosen.front());
  if (!problem.empty()) {
    parts_.dialogs->ShowMessage(problem, kMessageTitle, MessageIcon::kExclamation);
    view_.Refresh();
    return;
  }
  RedrawMenuPreview(false);
  view_.Refresh();
}

void WizardController::ChooseTextColor(Rgb& text_color) {
  const auto colour = parts_.dialogs->ChooseColor(text_color);
  if (!colour) return;
  text_color = *colour & 0xFFFFFF;
  RedrawMenuPreview(false);
  view_.Refresh();
}

void WizardController::TitleColor_Click() { ChooseTextColor(screen_.menu.title_color); }

void WizardController::ChaptersColor_Click() { ChooseTextColor(screen_.menu.lines_color); }

bool WizardController::SaveMenuClip() {
  RedrawMenuPreview(true);
  const std::string problem = MenuButtonsProblem(MenuButtons, screen_.menu.lines, screen_.ntsc);
  if (!problem.empty()) {
    parts_.dialogs->ShowMessage(problem, kMessageTitle, MessageIcon::kExclamation);
    RedrawMenuPreview(false);
    return false;
  }
  const fs::path bitmap = parts_.folders.cache / "menutemp.bmp";
  const fs::path clip = parts_.folders.cache / "menutemp.avi";
  std::string error;
  bool ok = view_.SaveMenuPicture(bitmap);
  if (!ok) {
    error = "the menu picture " + platform::ToUtf8Lenient(bitmap.native()) + " cannot be written";
  } else {
    ok = parts_.clip_maker->MakeClip(bitmap, "", 1000, clip, &error);
    if (ok && !platform::IsRegularFile(clip)) {
      ok = false;
      error = "the menu clip " + platform::ToUtf8Lenient(clip.native()) + " was not made";
    }
  }
  std::error_code ec;
  fs::remove(bitmap, ec);
  if (!ok) {
    parts_.dialogs->ShowMessage("Can't make the menu clip: " + error, kMessageTitle,
                                MessageIcon::kExclamation);
    RedrawMenuPreview(false);
    return false;
  }
  return true;
}

void WizardController::FillButtonColorLists() {
  for (ButtonState state : kStates) {
    const std::string stored = ReadButtonColor(ConfigPath(), state);
    int index = ButtonColorIndex(stored);
    // An empty key, or a name the list does not hold, selects the default.
    if (index < 0) index = DefaultButtonColor(state);
    ApplyButtonColor(state, index);
  }
  view_.Refresh();
}

void WizardController::ButtonColor_Click(ButtonState state, int index) {
  if (index < 0 || index >= kButtonColorCount) return;
  ApplyButtonColor(state, index);
  view_.Refresh();
}

void WizardController::ApplyButtonColor(ButtonState state, int index) {
  const NamedColor& colour = ButtonColorTable()[index];
  screen_.button_color[StateIndex(state)] = index;
  screen_.button_swatch[StateIndex(state)] = colour.swatch;
  std::string error;
  WriteButtonColor(ConfigPath(), state, colour.name, &error);
  if (state == ButtonState::kNormal) RedrawMenuPreview(false);
}

}  // namespace vantora
