// CreateIso: the image build as a disc job on an engine thread.
#include <atomic>
#include <mutex>
#include <string>

#include "api/image_job_events.h"
#include "api/project_image.h"
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
std::mutex g_clock_mutex;
LayoutClock g_build_clock;

}  // namespace

void ApplyVideoMode(std::int32_t video_mode) {
  if (video_mode == 1) g_dvd_video.store(true);
  if (video_mode == 0) g_dvd_video.store(false);
}

ImageBuildRequest ProjectImageRequest() {
  ProjectTree& tree = ProjectTree::Process();
  tree.StopScans();
  ImageBuildRequest request;
  request.dvd_video = g_dvd_video.load();
  request.tree = tree.Snapshot();
  request.volume_name = tree.CDName();
  request.software_name = tree.SoftwareName();
  std::lock_guard lock(g_clock_mutex);
  request.clock = g_build_clock;
  return request;
}

void SetBuildClockForTesting(LayoutClock clock) {
  std::lock_guard lock(g_clock_mutex);
  g_build_clock = std::move(clock);
}

HResult ISOBuilder::CreateIso(const std::string& IsoPath, std::int32_t Mode, std::int32_t VideoMode) {
  ApplyVideoMode(VideoMode);
  StartJob(events_, JobEnd::kEndBurn, kNoDrive, JobSetup([IsoPath, Mode]() -> JobBody {
             // The job's own copy of the tree, taken once the job holds the slot.
             ImageBuildRequest request = ProjectImageRequest();
             request.image_path = IsoPath;
             request.mode = Mode;
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
