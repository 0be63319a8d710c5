#include "burn/data_burn.h"

#include "burn/burn_pipeline.h"
#include "drive/media.h"
#include "drive/mmc_drive.h"

namespace zephrel {
namespace {

// The producer's events: phases and failures go to the client; its file
// progress only names the file for the writer's progress, which counts the
// sectors written to the disc; its end is the burn's to report.
class ProducerEvents : public ImageBuildEvents {
 public:
  ProducerEvents(ISOBuilderEvents& events, DriveWriter& writer) : events_(events), writer_(writer) {}
  void OnBuildingProcess(std::int32_t status, std::int32_t file_index, const std::string& file_name,
                         std::int32_t file_size, std::int32_t file_progress, std::int32_t total_sectors,
                         std::int32_t sectors_done) override {
    if (status == kStatusFileData) return writer_.SetFileName(file_name);
    events_.OnBuildingProcess(status, file_index, file_name, file_size, file_progress, total_sectors,
                              sectors_done);
  }
  void BurnerOnError(std::int32_t error_number) override { events_.BurnerOnError(error_number); }
  void BurningErrorViewDescription(const std::string& text) override {
    events_.BurningErrorViewDescription(text);
  }
  void BurnerOnEndBurn(std::int32_t, std::int32_t, std::int32_t) override {}

 private:
  ISOBuilderEvents& events_;
  DriveWriter& writer_;
};

}  // namespace

void BurnData(Job& job, const DataBurnSettings& settings, ImageBuildRequest request) {
  ISOBuilderEvents& events = job.events();
  JobOutcome& outcome = job.outcome();
  outcome.mode_burn = 1;
  outcome.failed = true;
  if (!job.context().device) return events.BurningErrorViewDescription(kNoDevice);
  std::atomic<bool>& cancel = EngineState::Instance().flags.cancel;

  MmcDrive drive(job.context().device);
  drive.MmcTestUnitReady();
  const int code = drive.MmcGetMediaTypeCode();
  if (settings.simulate && !CanSimulate(drive, code)) {
    events.BurningErrorViewDescription(kNoSimulation);
    return;
  }
  if (!FormatIfUnformatted(drive, job, code)) {
    drive.MmcAllowRemoval();
    return;
  }
  const int new_track = drive.MmcGetSessionCount().value_or(0) + 1;
  const int last_track = drive.MmcGetLastTrackNumber().value_or(-1);
  drive.MmcSetWriteParameters(static_cast<std::uint8_t>(settings.data_mode),
                              static_cast<std::uint8_t>(settings.burn_mode), settings.burn_proof,
                              settings.multisession, settings.simulate);
  std::string why;
  const std::optional<std::uint32_t> start = SessionStart(drive, code, last_track, &why);
  if (!start) {
    events.BurningErrorViewDescription(why);
    drive.MmcAllowRemoval();
    return;
  }

  SectorFifo fifo(job.context().fifo_mib, BlockSectorsFor(code), &cancel);
  DriveWriter writer(job, drive, fifo, *start);
  FifoSink sink(fifo, events);
  bool writing = false, no_space = false, reserve_failed = false;
  request.stream = &sink;
  request.session_start = *start;
  request.pad_to_sectors = fifo.SectorsPerBlock();
  request.before_data = [&](std::uint32_t total) {
    if (CapacitySectors(drive, code) < std::uint64_t(*start) + total) {
      events.BurnerOnError(kErrorNoSpace);
      cancel.store(true);
      no_space = true;
      return false;
    }
    if (ReservesTrack(drive, code)) {
      if (!drive.MmcReserveTrack(total).ok()) {
        events.BurningErrorViewDescription("The track cannot be reserved on the disc: nothing was written.");
        reserve_failed = true;
        return false;
      }
      drive.MmcSynchronizeCacheImmed();
      drive.MmcGetTrackSize(1);
    }
    writer.Start(total);
    writing = true;
    return true;
  };

  ProducerEvents producer_events(events, writer);
  ImageBuildJob build(std::move(request), &producer_events, &cancel);
  build.Run();
  // Whatever ended the build, the writer has stopped before the FIFO goes.
  if (!writing || build.failed() || build.canceled()) fifo.Stop();
  writer.Join();

  // A burn that ends before its first write (cancelled, or failed) leaves the
  // disc as it was: no close command, which would close an empty track or
  // session of a write-once disc.
  bool closed = true;
  if (writing && writer.written() > 0)
    closed = CloseByMedium(drive, job, code, new_track, settings.multisession);
  drive.MmcAllowRemoval();
  drive.MmcEjectMedium();

  outcome.canceled = cancel.load();
  if (no_space) {
    outcome.failed = false;
    return;
  }
  const bool complete = writing && writer.total() > 0 && writer.written() == writer.total();
  outcome.failed =
      reserve_failed || build.failed() || writer.failed() || !closed || (!outcome.canceled && !complete);
}

}  // namespace zephrel
