// CreateIso: the image build as a disc job on an engine thread.
#include <atomic>
#include <string>

#include "image/image_build_job.h"
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

// Forwards a job's events to the object that started it; releases the job
// slot before the end event, so the end event's handler may start the next job.
class JobEvents : public ImageBuildEvents {
 public:
  JobEvents(std::shared_ptr<ISOBuilderEvents> events, std::shared_ptr<JobTicket> ticket)
      : events_(std::move(events)), ticket_(std::move(ticket)) {}
  void OnBuildingProcess(std::int32_t status, std::int32_t file_index, const std::string& file_name,
                         std::int32_t file_size, std::int32_t file_progress, std::int32_t total_sectors,
                         std::int32_t sectors_done) override {
    events_->OnBuildingProcess(status, file_index, file_name, file_size, file_progress, total_sectors,
                               sectors_done);
  }
  void BurnerOnError(std::int32_t error_number) override { events_->BurnerOnError(error_number); }
  void BurningErrorViewDescription(const std::string& text) override {
    events_->BurningErrorViewDescription(text);
  }
  void BurnerOnEndBurn(std::int32_t mode_burn, std::int32_t cancel, std::int32_t error) override {
    if (job) g_last_total_sectors.store(static_cast<std::int32_t>(job->total_sectors()));
    EngineState::Instance().flags.busy.store(false);
    ticket_->Release();
    events_->BurnerOnEndBurn(mode_burn, cancel, error);
  }

  const ImageBuildJob* job = nullptr;

 private:
  std::shared_ptr<ISOBuilderEvents> events_;
  std::shared_ptr<JobTicket> ticket_;
};

// The job thread of CreateIso: builds the image and raises its events on the
// object that started it; the end event releases the job slot.
void BuildImageThread(std::shared_ptr<ISOBuilderEvents> events, std::shared_ptr<JobTicket> ticket,
                      ImageBuildRequest request) {
  JobEvents job_events(std::move(events), std::move(ticket));
  ImageBuildJob job(std::move(request), &job_events, &EngineState::Instance().flags.cancel);
  job_events.job = &job;
  job.Run();
}

}  // namespace

HResult ISOBuilder::CreateIso(const std::string& IsoPath, std::int32_t Mode, std::int32_t VideoMode) {
  EngineState& engine = EngineState::Instance();
  if (VideoMode == 1) g_dvd_video.store(true);
  if (VideoMode == 0) g_dvd_video.store(false);
  std::shared_ptr<JobTicket> ticket = engine.threads.TryClaimJob();
  if (!ticket) {
    events_->BurningErrorViewDescription("Another disc job is running");
    return S_OK;
  }
  ProjectTree& tree = ProjectTree::Process();
  tree.StopScans();
  ImageBuildRequest request;
  request.image_path = IsoPath;
  request.mode = Mode;
  request.dvd_video = g_dvd_video.load();
  request.tree = tree.Snapshot();
  request.volume_name = tree.CDName();
  request.software_name = tree.SoftwareName();
  engine.flags.cancel.store(false);
  engine.flags.busy.store(true);
  const bool started =
      engine.threads.Start([events = events_, ticket, request = std::move(request)](std::stop_token) mutable {
        BuildImageThread(std::move(events), std::move(ticket), std::move(request));
      });
  if (!started) {
    engine.flags.busy.store(false);
    ticket->Release();
    events_->BurningErrorViewDescription("The disc engine is shutting down");
  }
  return S_OK;
}

HResult ISOBuilder::GetImageTotalSectors(std::int32_t& pVal) {
  pVal = g_last_total_sectors.load();
  return S_OK;
}

}  // namespace zephrel
