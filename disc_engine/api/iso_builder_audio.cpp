// The audio members of ISOBuilder: the WAV list, the audio image job and the
// ripper's settings dialogs (shown by the host's handler).
#include <utility>

#include "api/image_job_events.h"
#include "audio/audio_burn_job.h"
#include "audio/audio_image_job.h"
#include "jobs/job_runner.h"
#include "jobs/job_state.h"
#include "platform/text.h"
#include "zephrel/iso_builder.h"

namespace zephrel {

using platform::HResult;
using platform::S_OK;

namespace {

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
  StartJob(events_, JobEnd::kEndBurn, kNoDrive, JobSetup([ImageFile, Mode]() -> JobBody {
             AudioImageRequest request{platform::Utf8ToPath(ImageFile), Mode, WavList::Process().Snapshot()};
             return [request = std::move(request)](Job& job) mutable {
               job.outcome().mode_burn = 1;
               ImageJobEvents job_events(job);
               AudioImageJob(std::move(request), &job_events, &EngineState::Instance().flags.cancel).Run();
             };
           }));
  return S_OK;
}

// Automation's TRUE is -1: any value other than 0 turns a switch on, so a
// requested simulation is never burned for real.
HResult ISOBuilder::Burner_BurnAudio(std::int32_t DriveNum, std::int32_t Multisession, std::int32_t FakeWrite,
                                     std::int32_t BurnProof) {
  AudioBurnRequest request;
  request.multisession = Multisession != 0;
  request.test_write = FakeWrite != 0;
  request.burn_proof = BurnProof != 0;
  StartJob(events_, JobEnd::kEndBurn, DriveNum, JobSetup([request]() mutable -> JobBody {
             request.wav_files = WavList::Process().Snapshot();
             return [request = std::move(request)](Job& job) {
               RunAudioBurn(job, request, EngineState::Instance().flags.cancel);
             };
           }),
           JobOptions{.writes_drive = true});
  return S_OK;
}

HResult ISOBuilder::Ripper_LaunchMp3Configuration(const std::string& AppDirectory) {
  if (!ripper_dialogs_) {
    events_->BurningErrorViewDescription(kNoDialogHost);
    return S_OK;
  }
  const std::optional<Mp3Settings> edited =
      ripper_dialogs_->EditMp3Settings(LoadMp3Settings(platform::Utf8ToPath(AppDirectory)));
  std::string error;
  if (edited && !SaveMp3Settings(platform::Utf8ToPath(AppDirectory), *edited, &error))
    events_->BurningErrorViewDescription(error);
  return S_OK;
}

HResult ISOBuilder::Ripper_LaunchConfiguration(const std::string& AppPath) {
  if (!ripper_dialogs_) {
    events_->BurningErrorViewDescription(kNoDialogHost);
    return S_OK;
  }
  const std::optional<RipperOutputSettings> edited =
      ripper_dialogs_->EditRipperSettings(LoadRipperSettings(platform::Utf8ToPath(AppPath)));
  std::string error;
  if (edited && !SaveRipperSettings(platform::Utf8ToPath(AppPath), *edited, &error))
    events_->BurningErrorViewDescription(error);
  return S_OK;
}

}  // namespace zephrel
