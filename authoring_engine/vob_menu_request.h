// The menu part of a VOB write request taken from a menu's settings.
#pragma once

#include "morvix/settings.h"
#include "vob_writer.h"

namespace morvix {

// Sets request's menu flag, buttons (the first button_count, mask paths
// converted from wide characters) and colour schemes from menu.
void SetMenuRequest(const MenuSetting& menu, VobWriteRequest& request);

}  // namespace morvix
