// The disc-engine members the wizard calls, named and typed as the disc
// engine's IISOBuilder names them, so the wizard's logic runs over the real
// engine (through an adapter) or over a fake in tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/event_dispatcher.h"
#include "platform/automation/hresult.h"

namespace vantora {

using platform::HResult;

// The disc-engine events of the drive display, as typed calls, delivered
// like every engine event (one at a time, where the dispatcher runs them).
class DiscMediaEvents {
 public:
  virtual ~DiscMediaEvents() = default;
  virtual void BurnerOnMediaChange() = 0;
  // InError: 1 when the erase succeeded, 0 when it failed.
  virtual void BurnerOnEraseComplete(std::int32_t DriveNum, std::int32_t InError) = 0;
};

// The disc-engine events the wizard handles, as typed calls. They arrive
// where the engine's dispatcher delivers them (the user-interface thread in
// the program), one at a time; string arguments live for the one call.
class DiscBurnerEvents {
 public:
  virtual ~DiscBurnerEvents() = default;
  virtual void OnBuildingProcess(std::int32_t Status, std::int32_t FileIndex, const std::string& FileName,
                                 std::int32_t FileSize, std::int32_t FileProgress,
                                 std::int32_t TotalImageSize, std::int32_t TotalImageProgress) = 0;
  virtual void OnBuildingError(std::int32_t ErrorNumber, const std::string& ErrorDescription) = 0;
  virtual void OnEndBuild(std::int32_t Canceled, std::int32_t Error) = 0;
  virtual void BurnerOnError(std::int32_t ErrorNumber) = 0;
  virtual void BurnerCloseTrack(std::int32_t Track) = 0;
  virtual void BurnerCloseSession(std::int32_t Session) = 0;
  virtual void BurnerOnEndBurn(std::int32_t ModeBurn, std::int32_t Cancel, std::int32_t ErrorBurner) = 0;
  virtual void BurningErrorViewDescription(const std::string& ErrorDesc) = 0;
  virtual void BurnerBufferStatus(std::int32_t MaxBuffer, std::int32_t SizeBuffer) = 0;
};

class DiscBurner {
 public:
  virtual ~DiscBurner() = default;

  virtual HResult Burner_Init() = 0;
  virtual HResult Burner_DriveCount(std::int16_t& pVal) = 0;
  virtual HResult Burner_DriveHA(std::int32_t DriveNum, std::int16_t& pVal) = 0;
  virtual HResult Burner_DriveID(std::int32_t DriveNum, std::int16_t& pVal) = 0;
  virtual HResult Burner_DriveLUN(std::int32_t DriveNum, std::int16_t& pVal) = 0;
  virtual HResult Burner_GetDriveVendor(std::int32_t DriveNum, std::string& pVal) = 0;
  virtual HResult Burner_DriveModel(std::int32_t DriveNum, std::string& pVal) = 0;
  virtual HResult Burner_DriveRevision(std::int32_t DriveNum, std::string& pVal) = 0;

  // The medium in a drive (the disc status of the output step).
  // (Burner_GetSpeedWrite, with the burn's members below, gives each speed.)
  virtual HResult Burner_SpeedWriteCount(std::int32_t DriveNum, std::int32_t& pVal) = 0;
  virtual HResult Burner_GetMediaType(std::int32_t DriveNum, std::int32_t& pVal) = 0;
  virtual HResult Burner_GetMediaTypeName(std::int32_t DriveNum, std::int32_t index, std::string& pVal) = 0;
  virtual HResult Burner_MediaIsEmpty(std::int32_t DriveNum, std::int32_t& pVal) = 0;
  virtual HResult Burner_DiskIsStillWritable(std::int32_t DriveNum, std::int32_t& pVal) = 0;
  virtual HResult Burner_GetMediaTotalSpace(std::int32_t DriveNum, float& pVal) = 0;
  virtual HResult Burner_GetMediaUsedSpace(std::int32_t DriveNum, float& pVal) = 0;
  virtual HResult Burner_EraseDisk(std::int32_t DriveNum, std::int32_t EraseMode) = 0;
  // The device a drive's commands open (/dev/sr0, an emulated drive's
  // folder); "" for a number outside the drive list.
  virtual std::string DriveDevicePath(std::int32_t DriveNum) = 0;
  // Whether a burn asked to simulate can run on the medium in the drive (the
  // engine refuses it on media that record no test write).
  virtual bool MediaCanSimulate(std::int32_t DriveNum) = 0;
  // The questions about the medium asked between these two calls make one
  // refresh of the disc status: the engine answers them from one look at the
  // medium. Every Begin is followed by its End, which is false when the drive
  // showed that its medium changed while they were asked (the answers may be
  // of two media).
  virtual void BeginMediaRefresh(std::int32_t /*DriveNum*/) {}
  virtual bool EndMediaRefresh(std::int32_t /*DriveNum*/) { return true; }
  // Where the media-change and erase-complete events go from now on (null:
  // nowhere); events must outlive the engine or be replaced first.
  virtual void SetMediaEvents(DiscMediaEvents* events) = 0;
  // Starts polling drive DriveNum (0-based) for media changes.
  virtual HResult Burner_ListenDrive(std::int32_t DriveNum) = 0;
  virtual HResult Burner_StopListenDrive() = 0;
  virtual HResult CancelBurn() = 0;
  // Ends the engine's jobs and joins their threads.
  virtual HResult UnloadCom() = 0;

  // The project tree and the image and burn jobs.
  virtual HResult SetCDName(const std::string& Name) = 0;
  virtual HResult Clear() = 0;
  virtual HResult AddVirtualDirectory(std::int32_t Dad_Index, const std::string& Name) = 0;
  virtual HResult AddFile(std::int32_t Dad_Index, const std::string& mPath) = 0;
  virtual HResult CreateIso(const std::string& IsoPath, std::int32_t Mode, std::int32_t VideoMode) = 0;
  virtual HResult Burner_SetSizeBuffer(std::int32_t SizeBuffer) = 0;
  virtual HResult SetPriorityThread(std::int32_t Priority) = 0;
  virtual HResult Burner_GetSpeedWrite(std::int32_t DriveNum, std::int32_t index, std::int32_t& pVal) = 0;
  virtual HResult Burner_SetWriteSpeed(std::int32_t DriveNum, std::int32_t Speed) = 0;
  virtual HResult Burner_BurnData(std::int32_t DriveNum, std::int32_t DataMode, std::int32_t BurnMode,
                                  std::int32_t Multisession, std::int32_t FakeWrite, std::int32_t BurnProof,
                                  std::int32_t ImportSession, std::int32_t VideoMode) = 0;
  // Where the engine's events go from now on (null: nowhere); events must
  // outlive the engine or be replaced first.
  virtual void SetEvents(DiscBurnerEvents* events) = 0;

  // The dispatcher through which the engine's events reach their sinks, and
  // what makes it release every waiting worker (see UiEventDispatcher).
  virtual void SetDispatcher(std::shared_ptr<platform::EventDispatcher> dispatcher,
                             std::function<void()> abort) = 0;
};

// Dispatch ids of the disc engine's events that end a job; after one of them
// no queued progress of that job is delivered.
inline constexpr platform::DispId kEventOnBuildingProcess = 1;
inline constexpr platform::DispId kEventOnEndBuild = 3;
inline constexpr platform::DispId kEventBurnerOnEraseComplete = 7;
inline constexpr platform::DispId kEventOnBurnerOnEndCloseSession = 11;
inline constexpr platform::DispId kEventBurnerOnEndBurn = 15;
inline constexpr platform::DispId kEventRipperOnEndRip = 20;
inline constexpr platform::DispId kEventBurnerBufferStatus = 24;
inline const std::vector<platform::DispId>& DiscJobEndEvents() {
  static const std::vector<platform::DispId> events = {kEventOnEndBuild, kEventBurnerOnEraseComplete,
                                                       kEventOnBurnerOnEndCloseSession, kEventBurnerOnEndBurn,
                                                       kEventRipperOnEndRip};
  return events;
}

using DiscBurnerFactory = std::function<std::unique_ptr<DiscBurner>()>;

// The text of a drive-list entry: "[ha:id:lun] vendor model (revision)", the
// texts without leading and trailing blanks.
std::string DriveEntryText(int host_adapter, int target, int lun, const std::string& vendor,
                           const std::string& model, const std::string& revision);

// The authoring control's events, raised on the thread that runs its build.
class AuthoringEvents {
 public:
  virtual ~AuthoringEvents() = default;
  virtual void TotalProcessing(double iCurrentPos, double iOverallPos) = 0;
  virtual void OnCompleted() = 0;
};

// The authoring control as the wizard's steps use it. Used on one thread at a
// time, except that while BuildDVDImage runs on a worker, IsBuilding and
// ClearAll may be called from the user-interface thread.
class AuthoringControl {
 public:
  virtual ~AuthoringControl() = default;
  // Empties the project; while a build runs, only asks it to stop.
  virtual void ClearAll() = 0;
  // True from the start of a build until the build has returned.
  virtual bool IsBuilding() const = 0;
  virtual bool AddMainMenu(const std::string& strMPEGFile) = 0;
  virtual bool SetMainMenuButtonColor(std::int16_t normal, std::int16_t normal_contrast,
                                      std::int16_t selected, std::int16_t selected_contrast,
                                      std::int16_t active, std::int16_t active_contrast) = 0;
  virtual bool AddMainMenuButton(std::int32_t iLeft, std::int32_t iTop, std::int32_t iRight,
                                 std::int32_t iBottom, std::int16_t iJumpTitleNo) = 0;
  virtual void SetEnableAutoNextTitle(bool on) = 0;
  virtual void SetOutputDir(const std::string& folder) = 0;
  virtual bool AddTitle(const std::string& strMPEGFile) = 0;
  virtual int GetTitleCount() = 0;
  // Runs the build on the calling thread, raising the events there; true
  // when the folder was built.
  virtual bool BuildDVDImage() = 0;
  // The engine's text of the last failed build ("" when there is none).
  virtual std::string LastBuildStatusText() const = 0;
  // Where the events go (null: nowhere); must outlive the builds.
  virtual void SetEvents(AuthoringEvents* events) = 0;
};

}  // namespace vantora
