// CreateIso: the image build as a disc job on an engine thread.
#include <atomic>
#include <string>

#include "api/image_job_events.h"
#include "image/image_build_job.h"
#include "jobs/job_runner.h"
#include "jobs/job_state.h"
#include "tree/project_tree.h"
#include "zephrel/iso_builder.h"

namespace zephrel {

using platform::HResult;
using platform::S_OK;

namespace {

// Process-wide: the DVD-Video switch that CreateIso's VideoMode sets, and the
// size of the last build.
std::atomic<bool> g_dvd_video{false};
std::atomic<std::int32_t> g_last_total_sectors{0};

}  // namespace

HResult ISOBuilder::CreateIso(const std::string& IsoPath, std::int32_t Mode, std::int32_t VideoMode) {
  if (VideoMode == 1) g_dvd_video.store(true);
  if (VideoMode == 0) g_dvd_video.store(false);
  StartJob(events_, JobEnd::kEndBurn, kNoDrive, JobSetup([IsoPath, Mode]() -> JobBody {
             // The job's own copy of the tree, taken once the job holds the slot.
             ProjectTree& tree = ProjectTree::Process();
             tree.StopScans();
             ImageBuildRequest request;
             request.image_path = IsoPath;
             request.mode = Mode;
             request.dvd_video = g_dvd_video.load();
             request.tree = tree.Snapshot();
             request.volume_name = tree.CDName();
             request.software_name = tree.SoftwareName();
             return [request = std::move(request)](Job& job) mutable {
               const ImageBuildJob* running = nullptr;
               ImageJobEvents job_events(job, [&running] {
                 if (running) g_last_total_sectors.store(static_cast<std::int32_t>(running->total_sectors()));
               });
               ImageBuildJob build(std::move(request), &job_events, &EngineState::Instance().flags.cancel);
               running = &build;
               build.Run();
             };
           }));
  return S_OK;
}

HResult ISOBuilder::GetImageTotalSectors(std::int32_t& pVal) {
  pVal = g_last_total_sectors.load();
  return S_OK;
}

}  // namespace zephrel
