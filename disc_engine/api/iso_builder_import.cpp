// ISOBuilder's import of the last session of a disc into the project tree.
// It runs on the caller's thread and returns when the tree holds the import;
// it holds the job slot meanwhile, so no burn or erase works on the drive at
// the same time, and says what it could not import through
// BurningErrorViewDescription.
#include <memory>

#include "api/engine_drives.h"
#include "burn/last_session_import.h"
#include "jobs/job_runner.h"
#include "jobs/job_state.h"
#include "tree/project_tree.h"
#include "zephrel/iso_builder.h"

namespace zephrel {

using platform::HResult;
using platform::S_OK;

HResult ISOBuilder::Burner_ImportLastSession(std::int32_t DriveNum) {
  EngineState& engine = EngineState::Instance();
  if (!engine.drives.Record(DriveNum)) {
    events_->BurningErrorViewDescription(NoSuchDrive(DriveNum));
    return S_OK;
  }
  std::unique_ptr<JobTicket> ticket = engine.threads.TryClaimJob();
  if (!ticket) {
    events_->BurningErrorViewDescription(kJobRunning);
    return S_OK;
  }
  ProjectTree& tree = ProjectTree::Process();
  tree.StopScans();  // the import renumbers nothing a scan is adding to
  engine.flags.busy.store(true);
  MmcDrive drive = DriveFor(DriveNum);
  ImportLastSession(drive, tree, [events = events_](const std::string& text) {
    events->BurningErrorViewDescription(text);
  });
  engine.flags.busy.store(false);
  return S_OK;
}

}  // namespace zephrel
