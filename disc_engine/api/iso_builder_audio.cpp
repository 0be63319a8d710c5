// The audio members of ISOBuilder: the WAV list, the audio image job and the
// ripper's settings dialogs (shown by the host's handler).
#include <utility>

#include "audio/audio_image_job.h"
#include "audio/rip_state.h"
#include "jobs/job_state.h"
#include "zephrel/iso_builder.h"

namespace zephrel {

using platform::HResult;
using platform::S_OK;

namespace {

// Forwards an audio job's events to the object that started it; frees the busy
// flag and the job slot before the end event, whose handler may start the
// next job.
class AudioJobEvents : public ImageBuildEvents {
 public:
  AudioJobEvents(std::shared_ptr<ISOBuilderEvents> events, std::shared_ptr<JobTicket> ticket)
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
    EngineState::Instance().flags.busy.store(false);
    ticket_->Release();
    events_->BurnerOnEndBurn(mode_burn, cancel, error);
  }

 private:
  std::shared_ptr<ISOBuilderEvents> events_;
  std::shared_ptr<JobTicket> ticket_;
};

constexpr const char* kNoDialogHost = "No dialog host is installed: the ripper settings are left as they are";

}  // namespace

HResult ISOBuilder::Burner_AddWavFile(const std::string& WavFile) {
  WavList::Process().Add(WavFile);
  return S_OK;
}

HResult ISOBuilder::Burner_ClearWavFile() {
  WavList::Process().Clear();
  return S_OK;
}

HResult ISOBuilder::Burner_GetWavFileCount(std::int32_t& pVal) {
  pVal = static_cast<std::int32_t>(WavList::Process().Count());
  return S_OK;
}

HResult ISOBuilder::Burner_CreateAudioImage(const std::string& ImageFile, std::int32_t Mode) {
  EngineState& engine = EngineState::Instance();
  std::shared_ptr<JobTicket> ticket = engine.threads.TryClaimJob();
  if (!ticket) {
    events_->BurningErrorViewDescription("Another disc job is running");
    return S_OK;
  }
  AudioImageRequest request;
  request.image_path = ImageFile;
  request.mode = Mode;
  request.wav_files = WavList::Process().Snapshot();
  engine.flags.cancel.store(false);
  engine.flags.busy.store(true);
  const bool started =
      engine.threads.Start([events = events_, ticket, request = std::move(request)](std::stop_token) mutable {
        AudioJobEvents job_events(std::move(events), std::move(ticket));
        try {
          AudioImageJob(std::move(request), &job_events, &EngineState::Instance().flags.cancel).Run();
        } catch (const std::exception& e) {
          job_events.BurningErrorViewDescription(e.what());
          job_events.BurnerOnEndBurn(1, 0, 1);
        }
      });
  if (!started) {
    engine.flags.busy.store(false);
    ticket->Release();
    events_->BurningErrorViewDescription("The disc engine is shutting down");
  }
  return S_OK;
}

HResult ISOBuilder::Ripper_LaunchMp3Configuration(const std::string& AppDirectory) {
  if (!ripper_dialogs_) {
    events_->BurningErrorViewDescription(kNoDialogHost);
    return S_OK;
  }
  SetRipApplicationFolder(AppDirectory);
  const std::optional<Mp3Settings> edited = ripper_dialogs_->EditMp3Settings(LoadMp3Settings(AppDirectory));
  std::string error;
  if (edited && !SaveMp3Settings(AppDirectory, *edited, &error)) events_->BurningErrorViewDescription(error);
  return S_OK;
}

HResult ISOBuilder::Ripper_LaunchConfiguration(const std::string& AppPath) {
  if (!ripper_dialogs_) {
    events_->BurningErrorViewDescription(kNoDialogHost);
    return S_OK;
  }
  SetRipApplicationFolder(AppPath);
  const std::optional<RipperOutputSettings> edited =
      ripper_dialogs_->EditRipperSettings(LoadRipperSettings(AppPath));
  std::string error;
  if (edited && !SaveRipperSettings(AppPath, *edited, &error)) events_->BurningErrorViewDescription(error);
  return S_OK;
}

}  // namespace zephrel
