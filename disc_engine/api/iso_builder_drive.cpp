// ISOBuilder's drive members: the media-change listener, the state of the
// medium in a drive, write speeds and tray actions.
#include <memory>

#include "api/engine_listener.h"
#include "jobs/job_state.h"
#include "zephrel/iso_builder.h"

namespace zephrel {

using platform::HResult;
using platform::S_OK;

MediaListener& EngineListener() {
  static MediaListener* listener = new MediaListener(  // lives to process exit, as the threads it runs on
      [](std::function<void(std::stop_token)> body) {
        return EngineState::Instance().threads.Start(std::move(body));
      },
      [](int drive) { return EngineState::Instance().drives.Device(drive); },
      [] {
        EngineState& engine = EngineState::Instance();
        return engine.flags.busy.load() || engine.threads.JobRunning();
      },
      [] { return EngineState::Instance().Clock(); });
  return *listener;
}

// ---------------------------------------------------------------------------
// Media-change listener

HResult ISOBuilder::Burner_ListenDrive(std::int32_t DriveNum) {
  EngineListener().Listen(DriveNum, [events = events_] { events->BurnerOnMediaChange(); });
  return S_OK;
}

HResult ISOBuilder::Burner_StopListenDrive() {
  EngineListener().Stop();
  return S_OK;
}

HResult ISOBuilder::Burner_PauseListener() { return S_OK; }

}  // namespace zephrel
