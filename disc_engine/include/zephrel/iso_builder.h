// ISOBuilder: the disc engine's one creatable class. Every ISOBuilder of a
// process works on the same drive list and job state (one disc job at a time
// per process); each object has its own event sinks, and a job raises its
// events to the object whose member started it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/automation.h"
#include "zephrel/cddb_album_chooser.h"
#include "zephrel/iisobuilder.h"
#include "zephrel/iso_builder_events.h"
#include "zephrel/ripper_settings.h"

namespace zephrel {

class ZEPHREL_API ISOBuilder final : public IISOBuilder {
 public:
  ISOBuilder();
  // Stops and joins the engine's threads (as UnloadCom does) before the
  // object goes, so that no worker outlives the code it runs.
  ~ISOBuilder() override;
  ISOBuilder(const ISOBuilder&) = delete;
  ISOBuilder& operator=(const ISOBuilder&) = delete;

  // The connection point of _IISOBuilderEvents (see ISOBuilderEvents).
  platform::HResult Advise(std::shared_ptr<platform::EventSink> sink, platform::Cookie* cookie) {
    return events_->Advise(std::move(sink), cookie);
  }
  platform::HResult Unadvise(platform::Cookie cookie) { return events_->Unadvise(cookie); }
  // The dispatcher for this object's events and how to abort it; UnloadCom
  // aborts it before it joins the engine's threads.
  void SetEventDispatcher(std::shared_ptr<platform::EventDispatcher> dispatcher,
                          std::function<void()> abort = {}) {
    events_->SetDispatcher(std::move(dispatcher), std::move(abort));
  }
  // The device path of drive DriveNum (the node a command opens, such as
  // /dev/sr0, or an emulated drive's folder), so a client can tell whether it
  // may open it before it asks the drive anything; "" for a number outside
  // the drive list. Not part of the dispatch interface.
  std::string DriveDevicePath(std::int32_t DriveNum) const;
  // Whether the medium in drive DriveNum records a test write, so that a burn
  // asked to simulate (FakeWrite) can run on it rather than be refused: CD-R,
  // CD-RW, DVD-R and sequential DVD-RW. False with no medium and for a number
  // outside the drive list. Not part of the dispatch interface.
  bool MediaCanSimulate(std::int32_t DriveNum) const;
  // A refresh of the medium in drive DriveNum: from BeginMediaRefresh to
  // EndMediaRefresh the members that tell the medium's type, state, space,
  // identifier and write speeds answer from one look at the medium, which
  // asks the drive each question once and is taken again when the drive shows
  // that its medium changed (a unit attention, the tray opened, a job).
  // Outside a refresh each of them asks the drive. EndMediaRefresh is false
  // when the medium changed while the refresh was open, so that its answers
  // may be of two media. Not part of the dispatch interface.
  void BeginMediaRefresh(std::int32_t DriveNum);
  bool EndMediaRefresh(std::int32_t DriveNum);
  // The host that shows the ripper's two dialogs (Ripper_LaunchMp3Configuration,
  // Ripper_LaunchConfiguration); without one those members change nothing and
  // say so through BurningErrorViewDescription. Must outlive its use.
  void SetRipperDialogHandler(std::shared_ptr<RipperDialogHandler> handler) {
    ripper_dialogs_ = std::move(handler);
  }
  // For the engine's own parts that raise events.
  const std::shared_ptr<ISOBuilderEvents>& events() const { return events_; }
  // The host that shows the CDDB album choice when a server offers several
  // discs (RequestCDDB, CDDB_Localread); without one the first offer is
  // taken. A lookup keeps the chooser it started with.
  void SetCddbAlbumChooser(std::shared_ptr<CddbAlbumChooser> chooser) { cddb_chooser_ = std::move(chooser); }

  platform::HResult AddDirectory(std::int32_t Dad_Index, const std::string& Path) override;
  platform::HResult CreateIso(const std::string& IsoPath, std::int32_t Mode, std::int32_t VideoMode) override;
  platform::HResult Clear() override;
  platform::HResult CancelBurn() override;
  platform::HResult GetDirectoryCount(std::int32_t& pVal) override;
  platform::HResult GetFileCount(std::int32_t& pVal) override;
  platform::HResult GetProjectedImageSize(float& pVal) override;
  platform::HResult GetImageTotalSectors(std::int32_t& pVal) override;
  platform::HResult AddVirtualDirectory(std::int32_t Dad_Index, const std::string& Name) override;
  platform::HResult AddFile(std::int32_t Dad_Index, const std::string& mPath) override;
  platform::HResult SetCDName(const std::string& Name) override;
  platform::HResult SetSoftwareName(const std::string& SoftwareName) override;
  platform::HResult Burner_DriveCount(std::int16_t& pVal) override;
  platform::HResult Burner_Init() override;
  platform::HResult Burner_DriveDescription(std::int32_t DriveNum, std::string& pVal) override;
  platform::HResult Burner_SpeedWriteCount(std::int32_t DriveNum, std::int32_t& pVal) override;
  platform::HResult Burner_GetSpeedWrite(std::int32_t DriveNum, std::int32_t index,
                                         std::int32_t& pVal) override;
  platform::HResult Burner_GetMediaTypeName(std::int32_t DriveNum, std::int32_t index,
                                            std::string& pVal) override;
  platform::HResult Burner_GetMediaType(std::int32_t DriveNum, std::int32_t& pVal) override;
  platform::HResult Burner_MediaIsEmpty(std::int32_t DriveNum, std::int32_t& pVal) override;
  platform::HResult Burner_MediaIsRW(std::int32_t DriveNum, std::int32_t& pVal) override;
  platform::HResult Burner_Eject(std::int32_t DriveNum) override;
  platform::HResult Burner_GetSessionCount(std::int32_t DriveNum, std::int32_t& pVal) override;
  platform::HResult Burner_DiskIsStillWritable(std::int32_t DriveNum, std::int32_t& pVal) override;
  platform::HResult Burner_GetMediaTotalSpace(std::int32_t DriveNum, float& pVal) override;
  platform::HResult Burner_GetMediaUsedSpace(std::int32_t DriveNum, float& pVal) override;
  platform::HResult Burner_EraseDisk(std::int32_t DriveNum, std::int32_t EraseMode) override;
  platform::HResult GetFilesDirsAtLevel(std::int32_t level) override;
  platform::HResult RemoveAt(std::int32_t index) override;
  platform::HResult RenameElementAt(std::int32_t index, const std::string& NewName) override;
  platform::HResult Burner_GetStateLastSession(std::int32_t DriveNum, std::int32_t& pVal) override;
  platform::HResult Burner_CloseSession(std::int32_t DriveNum) override;
  platform::HResult Burner_CloseLastSession(std::int32_t DriveNum, std::int32_t& pVal) override;
  platform::HResult Burner_NewSessionAdressStart(std::int32_t DriveIndex, std::int32_t& pVal) override;
  platform::HResult Burner_BurnData(std::int32_t DriveNum, std::int32_t DataMode, std::int32_t BurnMode,
                                    std::int32_t Multisession, std::int32_t FakeWrite, std::int32_t BurnProof,
                                    std::int32_t ImportSession, std::int32_t VideoMode) override;
  platform::HResult Burner_SetWriteSpeed(std::int32_t DriveNum, std::int32_t Speed) override;
  platform::HResult AudioFile_M4A_GetDuration(const std::string& myM4AFile, float& pVal) override;
  platform::HResult AudioFile_M4A_Decode(const std::string& Source, const std::string& Dest) override;
  platform::HResult Burner_AddWavFile(const std::string& WavFile) override;
  platform::HResult Burner_ClearWavFile() override;
  platform::HResult Burner_GetWavFileCount(std::int32_t& pVal) override;
  platform::HResult Burner_BurnAudio(std::int32_t DriveNum, std::int32_t Multisession, std::int32_t FakeWrite,
                                     std::int32_t BurnProof) override;
  platform::HResult Burner_ListenDrive(std::int32_t DriveNum) override;
  platform::HResult Burner_StopListenDrive() override;
  platform::HResult AudioRip_GetNbTracks(std::int32_t DriveNum, std::int32_t& pVal) override;
  platform::HResult AudioRip_GetTrackDuration(std::int32_t DriveNum, std::int32_t TrackNumber,
                                              std::string& pVal) override;
  platform::HResult AudioRip_GetTotalDuration(std::int32_t DriveNum, std::int32_t& pVal) override;
  platform::HResult RequestCDDB(const std::string& RepDest) override;
  platform::HResult CDDB_GetAlbum(std::string& pVal) override;
  platform::HResult CDDB_GetArtist(std::string& pVal) override;
  platform::HResult CDDB_GetYear(std::string& pVal) override;
  platform::HResult CDDb_GetGenre(std::string& pVal) override;
  platform::HResult CDDB_GetTrackTitle(std::int32_t index, std::string& pVal) override;
  platform::HResult CDDB_GetNbTrack(std::int32_t& pVal) override;
  platform::HResult UnloadCom() override;
  platform::HResult AudioRip_RipTrack(std::int32_t DriveNum, std::int32_t TrackNum,
                                      const std::string& AppDirectory, std::int32_t mp3) override;
  platform::HResult AudioRip_TrackSelected(std::int32_t TrackNum, std::int32_t& pVal) override;
  platform::HResult AudioRip_TrackSelected(std::int32_t TrackNum, const std::int32_t& newVal) override;
  platform::HResult Ripper_LaunchMp3Configuration(const std::string& AppDirectory) override;
  platform::HResult Ripper_LaunchConfiguration(const std::string& AppPath) override;
  platform::HResult Burner_PauseListener() override;
  platform::HResult CancelRip() override;
  platform::HResult CencelRipCurrentTrack() override;
  platform::HResult CDDB_SetTrackTitle(std::int32_t index, const std::string& TrackTitle) override;
  platform::HResult CDDB_SetArtist(const std::string& Artist) override;
  platform::HResult CDDB_SetAlbum(const std::string& Album) override;
  platform::HResult DirectoryCountAtLevel(std::int32_t index, std::int32_t& pVal) override;
  platform::HResult Burner_ImportLastSession(std::int32_t DriveNum) override;
  platform::HResult SetPriorityThread(std::int32_t Priority) override;
  platform::HResult Burner_SetSizeBuffer(std::int32_t SizeBuffer) override;
  platform::HResult Cancel_AddDirectory() override;
  platform::HResult Burner_CreateAudioImage(const std::string& ImageFile, std::int32_t Mode) override;
  platform::HResult GetCDDBGenre(std::int32_t index, std::string& pVal) override;
  platform::HResult GetCDDBNbGenre(std::int32_t& pVal) override;
  platform::HResult AudioRip_RipDiscAsImage(std::int32_t DriveNum, const std::string& AppDirectory,
                                            const std::string& ImagePath, std::int32_t Mode) override;
  platform::HResult CDDB_SetYear(const std::string& MyYEAR) override;
  platform::HResult CDDB_SetGenre(const std::string& myGenre) override;
  platform::HResult Burner_CopyCDDVD(std::int32_t EntryDevice, const std::string& ImagePath,
                                     std::int32_t ImageMode) override;
  platform::HResult GetSessionDataMode(std::int32_t DriveIndex, std::int32_t SessionNumber,
                                       std::int16_t& pVal) override;
  platform::HResult CDDB_Localread(const std::string& PathFile) override;
  platform::HResult CDDB_ManualSaveInfos(const std::string& PathFile) override;
  platform::HResult Burner_BurnImage(std::int32_t DriveIndex, const std::string& ImagePath,
                                     std::int32_t ImageMode, std::int32_t BurnProof,
                                     std::int32_t Simulation) override;
  platform::HResult SetSpeedMax(std::int32_t DriveNum) override;
  platform::HResult Burner_GetDriveVendor(std::int32_t DriveNum, std::string& pVal) override;
  platform::HResult Burner_DriveModel(std::int32_t DriveNum, std::string& pVal) override;
  platform::HResult Burner_DriveRevision(std::int32_t DriveNum, std::string& pVal) override;
  platform::HResult Burner_DriveHA(std::int32_t DriveNum, std::int16_t& pVal) override;
  platform::HResult Burner_DriveID(std::int32_t DriveNum, std::int16_t& pVal) override;
  platform::HResult Burner_DriveLUN(std::int32_t DriveNum, std::int16_t& pVal) override;
  platform::HResult Burner_AllowMedium(std::int32_t DriveNum) override;
  platform::HResult Burner_GetDriveLetter(std::int32_t DriveNum, std::int16_t& pVal) override;
  platform::HResult Burner_GetDriveLetterEx(std::int32_t DriveNum, std::int16_t& pVal) override;
  platform::HResult burner_EjectAfterErase(std::int32_t& pVal) override;
  platform::HResult burner_EjectAfterErase(const std::int32_t& newVal) override;
  platform::HResult isRealBurnerDevice(std::int32_t DriveNum, std::int32_t& pVal) override;
  platform::HResult Burner_GetMediaUID(std::int32_t DriveNum, std::string& pVal, std::string& pVal2) override;

 private:
  // Raises events from an engine thread (not a disc job: no slot taken).
  void StartBackgroundEnd(std::function<void(ISOBuilderEvents&)> raise);

  std::shared_ptr<ISOBuilderEvents> events_;
  std::shared_ptr<RipperDialogHandler> ripper_dialogs_;
  std::shared_ptr<CddbAlbumChooser> cddb_chooser_;
};

// A new ISOBuilder (never null).
ZEPHREL_API std::unique_ptr<ISOBuilder> CreateISOBuilder();

// Registers the type library ISOLib (failure: SELFREG_E_TYPELIB) and the class
// ISOBuilder under "ISO.ISOBuilder.1" and "ISO.ISOBuilder" (failure:
// SELFREG_E_CLASS); registering again replaces the entries. Loading the library
// registers them in the process's registry once by itself. Unregistering
// removes both (SELFREG_E_CLASS when either was missing).
ZEPHREL_API platform::HResult DllRegisterServer(platform::ClassRegistry& registry);
ZEPHREL_API platform::HResult DllUnregisterServer(platform::ClassRegistry& registry);

}  // namespace zephrel

// C entry point for hosts that load the library at run time: a new
// ISOBuilder that the caller owns (delete it through IISOBuilder*).
extern "C" ZEPHREL_API zephrel::IISOBuilder* zephrel_create();
