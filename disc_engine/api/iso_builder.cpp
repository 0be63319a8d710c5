// ISOBuilder: construction, registration, the job plumbing, and the members of
// the device layer (initialisation, drive identity, job settings, unloading).
#include "zephrel/iso_builder.h"

#include <algorithm>
#include <utility>

#include "api/engine_drives.h"
#include "drive/drive_list.h"
#include "drive/mmc_commands.h"
#include "drive/toc.h"
#include "jobs/job_runner.h"
#include "jobs/job_state.h"
#include "jobs/sector_fifo.h"
#include "platform/scsi_policy.h"

namespace zephrel {

using platform::HResult;
using platform::S_OK;

namespace {

// A field of a drive's record, or the neutral value for a number outside the
// drive list.
template <class T, class Field>
T RecordField(std::int32_t drive, Field field) {
  const std::optional<DriveRecord> record = EngineState::Instance().drives.Record(drive);
  return record ? static_cast<T>(field(*record)) : T{};
}

}  // namespace

ISOBuilder::ISOBuilder() : events_(std::make_shared<ISOBuilderEvents>()) {}

ISOBuilder::~ISOBuilder() {
  events_->AbortDispatcher();
  EngineListener().Stop();
  EngineThreads& threads = EngineState::Instance().threads;
  threads.StopAndJoin();
  threads.Reopen();
}

// ---------------------------------------------------------------------------
// Jobs

void ISOBuilder::StartBackgroundEnd(std::function<void(ISOBuilderEvents&)> raise) {
  EngineState::Instance().threads.Start(
      [events = events_, raise = std::move(raise)](std::stop_token) { raise(*events); });
}

// ---------------------------------------------------------------------------
// Device layer and drive list

HResult ISOBuilder::Burner_Init() {
  EngineState& engine = EngineState::Instance();
  std::unique_lock lock(engine.init_mutex);
  // Holding the job slot while the devices are replaced keeps any job from
  // starting on a device that is about to go.
  std::unique_ptr<JobTicket> ticket = engine.threads.TryClaimJob();
  if (!ticket) {
    lock.unlock();
    events_->BurningErrorViewDescription(kJobRunning);
    return S_OK;
  }
  engine.flags.busy.store(false);
  EngineListener().Stop();
  platform::ScanResult scan = OpenConfiguredDrives();
  const int load_error = scan.load_error;
  if (load_error != 0) scan.devices.clear();
  engine.drives.Replace(std::move(scan.devices));
  ticket->Release();
  lock.unlock();
  if (load_error != 0) events_->BurnerOnError(load_error);
  return S_OK;
}

HResult ISOBuilder::UnloadCom() {
  EngineState& engine = EngineState::Instance();
  // A worker may be blocked in a delivery to the thread calling us: abort the
  // dispatcher first so it returns, then stop and join every thread. No lock
  // is held while joining, so a worker's event handler may still call members.
  events_->AbortDispatcher();
  EngineListener().Stop();
  engine.flags.RequestCancel();
  engine.flags.RequestRipCancel();
  engine.threads.StopAndJoin();
  std::lock_guard lock(engine.init_mutex);
  engine.drives.ClearAllSpeeds();
  TrackList::Process().Clear();
  engine.drives.ReleaseDevices();
  engine.flags.ResetCancels();
  engine.flags.busy.store(false);
  engine.threads.Reopen();
  return S_OK;
}

HResult ISOBuilder::Burner_DriveCount(std::int16_t& pVal) {
  pVal = static_cast<std::int16_t>(EngineState::Instance().drives.Count());
  return S_OK;
}

HResult ISOBuilder::Burner_DriveDescription(std::int32_t DriveNum, std::string& pVal) {
  pVal = RecordField<std::string>(DriveNum, [](const DriveRecord& r) { return r.display(); });
  return S_OK;
}

HResult ISOBuilder::Burner_GetDriveVendor(std::int32_t DriveNum, std::string& pVal) {
  pVal = RecordField<std::string>(DriveNum, [](const DriveRecord& r) { return r.vendor; });
  return S_OK;
}

HResult ISOBuilder::Burner_DriveModel(std::int32_t DriveNum, std::string& pVal) {
  pVal = RecordField<std::string>(DriveNum, [](const DriveRecord& r) { return r.product; });
  return S_OK;
}

HResult ISOBuilder::Burner_DriveRevision(std::int32_t DriveNum, std::string& pVal) {
  pVal = RecordField<std::string>(DriveNum, [](const DriveRecord& r) { return r.revision; });
  return S_OK;
}

HResult ISOBuilder::Burner_DriveHA(std::int32_t DriveNum, std::int16_t& pVal) {
  pVal = RecordField<std::int16_t>(DriveNum, [](const DriveRecord& r) { return r.host_adapter; });
  return S_OK;
}

HResult ISOBuilder::Burner_DriveID(std::int32_t DriveNum, std::int16_t& pVal) {
  pVal = RecordField<std::int16_t>(DriveNum, [](const DriveRecord& r) { return r.target; });
  return S_OK;
}

HResult ISOBuilder::Burner_DriveLUN(std::int32_t DriveNum, std::int16_t& pVal) {
  pVal = RecordField<std::int16_t>(DriveNum, [](const DriveRecord& r) { return r.lun; });
  return S_OK;
}

std::string ISOBuilder::DriveDevicePath(std::int32_t DriveNum) const {
  return RecordField<std::string>(DriveNum, [](const DriveRecord& r) { return r.device_path; });
}

// There are no drive letters: a drive is known by its number.
HResult ISOBuilder::Burner_GetDriveLetter(std::int32_t DriveNum, std::int16_t& pVal) {
  pVal = static_cast<std::int16_t>(EngineState::Instance().drives.Record(DriveNum) ? DriveNum : 0);
  return S_OK;
}

HResult ISOBuilder::Burner_GetDriveLetterEx(std::int32_t DriveNum, std::int16_t& pVal) {
  return Burner_GetDriveLetter(DriveNum, pVal);
}

// ---------------------------------------------------------------------------
// Job settings

HResult ISOBuilder::SetPriorityThread(std::int32_t Priority) {
  EngineState::Instance().flags.priority.store(Priority);
  return S_OK;
}

HResult ISOBuilder::Burner_SetSizeBuffer(std::int32_t SizeBuffer) {
  // A FIFO of no block could never take one: the size is held to 1-1024 MiB.
  EngineState::Instance().flags.fifo_mib.store(
      std::clamp<std::int32_t>(SizeBuffer, kFifoMinMib, kFifoMaxMib));
  return S_OK;
}

HResult ISOBuilder::burner_EjectAfterErase(std::int32_t& pVal) {
  pVal = EngineState::Instance().flags.eject_after_erase.load();
  return S_OK;
}

HResult ISOBuilder::burner_EjectAfterErase(const std::int32_t& newVal) {
  EngineState::Instance().flags.eject_after_erase.store(newVal);
  return S_OK;
}

HResult ISOBuilder::CancelBurn() {
  EngineState::Instance().flags.RequestCancel();
  return S_OK;
}

HResult ISOBuilder::CancelRip() {
  EngineState::Instance().flags.RequestRipCancel();
  return S_OK;
}

// The drive's fastest read and write speeds; the outcome is not reported.
HResult ISOBuilder::SetSpeedMax(std::int32_t DriveNum) {
  std::shared_ptr<platform::ScsiDevice> device = EngineState::Instance().drives.Device(DriveNum);
  if (!device) return S_OK;
  const mmc::Cdb cdb = mmc::SetCdSpeed(mmc::kMaximumSpeed, mmc::kMaximumSpeed);
  device->exec(cdb.span(), platform::DataDirection::kNone, {}, platform::CommandTimeout(cdb.bytes[0]));
  return S_OK;
}

// ---------------------------------------------------------------------------
// Creation and registration

std::unique_ptr<ISOBuilder> CreateISOBuilder() { return std::make_unique<ISOBuilder>(); }

HResult DllRegisterServer(platform::ClassRegistry& registry) {
  platform::TypeLibraryRegistration library;
  library.libid = kLibIdISOLib;
  library.major = 1;
  library.minor = 0;
  library.help_string = "ISOLib";
  if (platform::Failed(registry.RegisterTypeLibrary(library))) return platform::SELFREG_E_TYPELIB;
  platform::ClassRegistration registration;
  registration.clsid = kClsIdISOBuilder;
  registration.prog_id = std::string(kProgIdISOBuilder);
  registration.version_independent_prog_id = std::string(kVersionIndependentProgIdISOBuilder);
  registration.type_name = "ISOBuilder Class";
  registration.threading_model = "Apartment";
  registration.type_library = kLibIdISOLib;
  registration.type_library_major = 1;
  registration.factory = []() -> std::unique_ptr<platform::Dispatchable> { return CreateISOBuilder(); };
  if (platform::Failed(registry.RegisterClass(std::move(registration)))) return platform::SELFREG_E_CLASS;
  return S_OK;
}

HResult DllUnregisterServer(platform::ClassRegistry& registry) {
  const bool library = platform::Succeeded(registry.UnregisterTypeLibrary(kLibIdISOLib, 1, 0));
  const bool object = registry.UnregisterClass(kClsIdISOBuilder) == S_OK;
  return library && object ? S_OK : platform::SELFREG_E_CLASS;
}

namespace {
// Loading the library registers the class, as installing a server would.
const bool g_registered = platform::Succeeded(DllRegisterServer(platform::ClassRegistry::Process()));
}  // namespace

}  // namespace zephrel

extern "C" zephrel::IISOBuilder* zephrel_create() { return new zephrel::ISOBuilder(); }
