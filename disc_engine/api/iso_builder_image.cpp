// CreateIso: the image build as a disc job on an engine thread.
#include <atomic>
#include <string>

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

// Forwards an image build's events to the object that started it; the end
// becomes the job's outcome, which the job runner raises once the slot is free.
class JobEvents : public ImageBuildEvents {
 public:
  explicit JobEvents(Job& job) : job_(job) {}
  void OnBuildingProcess(std::int32_t status, std::int32_t file_index, const std::string& file_name,
                         std::int32_t file_size, std::int32_t file_progress, std::int32_t total_sectors,
                         std::int32_t sectors_done) override {
    job_.events().OnBuildingProcess(status, file_index, file_name, file_size, file_progress, total_sectors,
                                    sectors_done);
  }
  void BurnerOnError(std::int32_t error_number) override { job_.events().BurnerOnError(error_number); }
  void BurningErrorViewDescription(const std::string& text) override {
    job_.events().BurningErrorViewDescription(text);
  }
  void BurnerOnEndBurn(std::int32_t mode_burn, std::int32_t cancel, std::int32_t error) override {
    if (build) g_last_total_sectors.store(static_cast<std::int32_t>(build->total_sectors()));
    job_.outcome() = JobOutcome{.mode_burn = mode_burn, .canceled = cancel != 0, .failed = error != 0};
  }

  const ImageBuildJob* build = nullptr;

 private:
  Job& job_;
};

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
               JobEvents job_events(job);
               ImageBuildJob build(std::move(request), &job_events, &EngineState::Instance().flags.cancel);
               job_events.build = &build;
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
