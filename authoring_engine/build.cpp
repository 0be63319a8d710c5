#include "morvix/morvix_api.h"

namespace morvix {

// The VIDEO_TS writer is not part of the library yet: every build is refused.
Status CMorvixAPI::Build(ProgressCallback /*progress*/) noexcept { return kErrNoSettings; }

}  // namespace morvix
