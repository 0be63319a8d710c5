// The process's one media-change listener, polling the engine's drives on the
// engine's threads and paused while a disc job runs.
#pragma once

#include "drive/media_listener.h"

namespace zephrel {

MediaListener& EngineListener();

}  // namespace zephrel
