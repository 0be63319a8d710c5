// The routines of the later steps (authoring, image and burn) as the wizard
// runs them today: none of these jobs exists yet, so each one that would
// start a job ends it at once and says so, and the wizard returns to the
// video list.
#include "vantora/wizard_controller.h"

namespace vantora {

void WizardController::StartDvdBuild() {
  EndWithMessage("DVD authoring is not available in this version.");
}

void WizardController::StartImageOrBurn() {
  log_.Clear();
  EndWithMessage("Writing images and discs is not available in this version.");
}

}  // namespace vantora
