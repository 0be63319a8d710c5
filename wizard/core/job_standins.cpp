// The routines of the later steps (size estimate, menu drawing, conversion)
// as the wizard runs them today: none of these jobs exists yet, so each one
// that would start a job ends it at once and says so, and the wizard returns
// to the video list.
#include "vantora/wizard_controller.h"

namespace vantora {

void WizardController::UpdateEstimatedSize() {}

void WizardController::RedrawMenuPreview(bool) {}

void WizardController::EncodeMenuVideo() {
  EndWithMessage("Video conversion is not available in this version.");
}

void WizardController::ConvertNextFile(int) {
  EndWithMessage("Video conversion is not available in this version.");
}

}  // namespace vantora
