// IISOBuilder: the disc engine's automation interface. Members in slot order
// with their published names (misspellings included); the comment after each
// gives its dispatch id and kind. Every member returns S_OK and gives its
// values through its out-parameters; a member that starts a long job returns at
// once and reports only through the events of IISOBuilderEvents.
//
// Types: int and long are 32-bit (VT_I4 through Invoke), short 16-bit, single
// float, BSTR a UTF-8 std::string. The propget/propput pairs
// AudioRip_TrackSelected and burner_EjectAfterErase are overloads: the getter
// takes its result by (non-const) reference, the putter its new value by const
// reference, so a variable selects the getter and a value (a literal, an
// rvalue or a const variable) the putter.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/automation.h"
#include "zephrel/export.h"

namespace zephrel {

inline constexpr platform::Guid kLibIdISOLib = platform::GuidOf("{A3DBABE1-50C3-4B43-B647-71D15F2A8352}");
inline constexpr platform::Guid kClsIdISOBuilder = platform::GuidOf("{8252B460-8DF6-471D-B85C-CE1EA1346FEF}");
inline constexpr platform::Guid kIIdIISOBuilder = platform::GuidOf("{9542B9CD-70E2-4C2E-BD80-ED84BA5ADA0B}");
// The source (event) interface _IISOBuilderEvents.
inline constexpr platform::Guid kDIIdIISOBuilderEvents =
    platform::GuidOf("{66D03270-9909-4DB5-BFF7-F3B726ABEF8D}");
// IDispatch: a sink must implement it to receive events.
inline constexpr platform::Guid kIIdIDispatch = platform::GuidOf("{00020400-0000-0000-C000-000000000046}");

inline constexpr std::string_view kProgIdISOBuilder = "ISO.ISOBuilder.1";
inline constexpr std::string_view kVersionIndependentProgIdISOBuilder = "ISO.ISOBuilder";
inline constexpr std::string_view kEventsInterfaceName = "_IISOBuilderEvents";

// Dispatch ids of the events of _IISOBuilderEvents, in order.
enum IISOBuilderEvents : platform::DispId {
  kOnBuildingProcess = 1,
  // OnBuildingError(5003, text) is raised, on the thread of the call (for
  // AddDirectory, on the scan's thread before OnEndAddingElements), for what
  // the project tree refuses: AddFile of a file that is missing, unreadable,
  // not a regular file (a FIFO, a device, a folder) or of 4 GiB or more (an
  // ISO 9660 file holds at most 4 GiB less one byte), or whose parent is no
  // folder; AddVirtualDirectory of a bad name or parent; AddDirectory of a
  // folder that cannot be read, and once for the entries a scan skipped. The
  // text starts with the path or name; for AddFile it goes on with why
  // ("<path>: <why>": the file's kind, its size against the limit, or the
  // system's error text). A refused file is not in the tree, so CreateIso
  // builds the image without it.
  kOnBuildingError = 2,
  kOnEndBuild = 3,  // never raised
  kOnAddingElements = 4,
  kOnEndAddingElements = 5,
  kBurnerOnError = 6,
  kBurnerOnEraseComplete = 7,
  kRetrieveElementsAtLevel = 8,
  kEndRetrieveElementsAtLevel = 9,
  kBeginRetrieveElementsAtLevel = 10,
  kOnBurnerOnEndCloseSession = 11,
  kAudioFileEndDecode = 12,  // never raised
  kBurnerCloseTrack = 13,
  kBurnerCloseSession = 14,
  kBurnerOnEndBurn = 15,
  kBurnerOnMediaChange = 16,
  kCDDBOnEndRequest = 17,
  kRipperOnStartRip = 18,
  kRipperOnRip = 19,
  kRipperOnEndRip = 20,
  kRetrieveDirectoriesAtLevel = 21,
  kRetrieveDirectoriesAtLevelBegin = 22,
  kBurningErrorViewDescription = 23,
  kBurnerBufferStatus = 24,
  kBurnerOnImportLastSession = 25,  // never raised
  kRipperOnRipTrack = 26,
};

// The event interface's table in dispatch-id order: names and the types the
// arguments travel as (every whole number VT_I4, strings BSTR,
// RetrieveElementsAtLevel's FileSize VT_R4).
ZEPHREL_API std::span<const platform::DispatchMember> IISOBuilderEventsTable();

class ZEPHREL_API IISOBuilder : public platform::Dispatchable {
 public:
  ~IISOBuilder() override = default;

  virtual platform::HResult AddDirectory(std::int32_t Dad_Index, const std::string& Path) = 0;  // 1 method
  virtual platform::HResult CreateIso(const std::string& IsoPath, std::int32_t Mode,
                                      std::int32_t VideoMode) = 0;         // 2 method
  virtual platform::HResult Clear() = 0;                                   // 3 method
  virtual platform::HResult CancelBurn() = 0;                              // 4 method
  virtual platform::HResult GetDirectoryCount(std::int32_t& pVal) = 0;     // 5 method
  virtual platform::HResult GetFileCount(std::int32_t& pVal) = 0;          // 6 method
  virtual platform::HResult GetProjectedImageSize(float& pVal) = 0;        // 7 method
  virtual platform::HResult GetImageTotalSectors(std::int32_t& pVal) = 0;  // 8 method
  virtual platform::HResult AddVirtualDirectory(std::int32_t Dad_Index,
                                                const std::string& Name) = 0;               // 9 method
  virtual platform::HResult AddFile(std::int32_t Dad_Index, const std::string& mPath) = 0;  // 10 method
  virtual platform::HResult SetCDName(const std::string& Name) = 0;                         // 11 method
  virtual platform::HResult SetSoftwareName(const std::string& SoftwareName) = 0;           // 12 method
  virtual platform::HResult Burner_DriveCount(std::int16_t& pVal) = 0;                      // 13 propget
  virtual platform::HResult Burner_Init() = 0;                                              // 14 method
  virtual platform::HResult Burner_DriveDescription(std::int32_t DriveNum,
                                                    std::string& pVal) = 0;  // 15 propget
  virtual platform::HResult Burner_SpeedWriteCount(std::int32_t DriveNum,
                                                   std::int32_t& pVal) = 0;  // 16 propget
  virtual platform::HResult Burner_GetSpeedWrite(std::int32_t DriveNum, std::int32_t index,
                                                 std::int32_t& pVal) = 0;  // 17 propget
  virtual platform::HResult Burner_GetMediaTypeName(std::int32_t DriveNum, std::int32_t index,
                                                    std::string& pVal) = 0;                      // 18 propget
  virtual platform::HResult Burner_GetMediaType(std::int32_t DriveNum, std::int32_t& pVal) = 0;  // 19 propget
  virtual platform::HResult Burner_MediaIsEmpty(std::int32_t DriveNum, std::int32_t& pVal) = 0;  // 20 propget
  virtual platform::HResult Burner_MediaIsRW(std::int32_t DriveNum, std::int32_t& pVal) = 0;     // 21 propget
  virtual platform::HResult Burner_Eject(std::int32_t DriveNum) = 0;                             // 22 method
  virtual platform::HResult Burner_GetSessionCount(std::int32_t DriveNum,
                                                   std::int32_t& pVal) = 0;  // 23 propget
  virtual platform::HResult Burner_DiskIsStillWritable(std::int32_t DriveNum,
                                                       std::int32_t& pVal) = 0;                 // 24 propget
  virtual platform::HResult Burner_GetMediaTotalSpace(std::int32_t DriveNum, float& pVal) = 0;  // 25 propget
  virtual platform::HResult Burner_GetMediaUsedSpace(std::int32_t DriveNum, float& pVal) = 0;   // 26 propget
  virtual platform::HResult Burner_EraseDisk(std::int32_t DriveNum, std::int32_t EraseMode) = 0;  // 27 method
  virtual platform::HResult GetFilesDirsAtLevel(std::int32_t level) = 0;                          // 28 method
  virtual platform::HResult RemoveAt(std::int32_t index) = 0;                                     // 29 method
  virtual platform::HResult RenameElementAt(std::int32_t index, const std::string& NewName) = 0;  // 30 method
  virtual platform::HResult Burner_GetStateLastSession(std::int32_t DriveNum,
                                                       std::int32_t& pVal) = 0;  // 31 propget
  virtual platform::HResult Burner_CloseSession(std::int32_t DriveNum) = 0;      // 32 method
  virtual platform::HResult Burner_CloseLastSession(std::int32_t DriveNum,
                                                    std::int32_t& pVal) = 0;  // 33 propget
  virtual platform::HResult Burner_NewSessionAdressStart(std::int32_t DriveIndex,
                                                         std::int32_t& pVal) = 0;  // 34 propget
  virtual platform::HResult Burner_BurnData(std::int32_t DriveNum, std::int32_t DataMode,
                                            std::int32_t BurnMode, std::int32_t Multisession,
                                            std::int32_t FakeWrite, std::int32_t BurnProof,
                                            std::int32_t ImportSession,
                                            std::int32_t VideoMode) = 0;                          // 35 method
  virtual platform::HResult Burner_SetWriteSpeed(std::int32_t DriveNum, std::int32_t Speed) = 0;  // 36 method
  virtual platform::HResult AudioFile_M4A_GetDuration(const std::string& myM4AFile,
                                                      float& pVal) = 0;  // 37 propget
  virtual platform::HResult AudioFile_M4A_Decode(const std::string& Source,
                                                 const std::string& Dest) = 0;  // 38 method
  virtual platform::HResult Burner_AddWavFile(const std::string& WavFile) = 0;  // 39 method
  virtual platform::HResult Burner_ClearWavFile() = 0;                          // 40 method
  virtual platform::HResult Burner_GetWavFileCount(std::int32_t& pVal) = 0;     // 41 propget
  virtual platform::HResult Burner_BurnAudio(std::int32_t DriveNum, std::int32_t Multisession,
                                             std::int32_t FakeWrite,
                                             std::int32_t BurnProof) = 0;   // 42 method
  virtual platform::HResult Burner_ListenDrive(std::int32_t DriveNum) = 0;  // 43 method
  virtual platform::HResult Burner_StopListenDrive() = 0;                   // 44 method
  virtual platform::HResult AudioRip_GetNbTracks(std::int32_t DriveNum,
                                                 std::int32_t& pVal) = 0;  // 45 propget
  virtual platform::HResult AudioRip_GetTrackDuration(std::int32_t DriveNum, std::int32_t TrackNumber,
                                                      std::string& pVal) = 0;  // 46 propget
  virtual platform::HResult AudioRip_GetTotalDuration(std::int32_t DriveNum,
                                                      std::int32_t& pVal) = 0;              // 47 propget
  virtual platform::HResult RequestCDDB(const std::string& RepDest) = 0;                    // 48 method
  virtual platform::HResult CDDB_GetAlbum(std::string& pVal) = 0;                           // 49 propget
  virtual platform::HResult CDDB_GetArtist(std::string& pVal) = 0;                          // 50 propget
  virtual platform::HResult CDDB_GetYear(std::string& pVal) = 0;                            // 51 propget
  virtual platform::HResult CDDb_GetGenre(std::string& pVal) = 0;                           // 52 propget
  virtual platform::HResult CDDB_GetTrackTitle(std::int32_t index, std::string& pVal) = 0;  // 53 propget
  virtual platform::HResult CDDB_GetNbTrack(std::int32_t& pVal) = 0;                        // 54 propget
  virtual platform::HResult UnloadCom() = 0;                                                // 55 method
  virtual platform::HResult AudioRip_RipTrack(std::int32_t DriveNum, std::int32_t TrackNum,
                                              const std::string& AppDirectory,
                                              std::int32_t mp3) = 0;  // 56 method
  virtual platform::HResult AudioRip_TrackSelected(std::int32_t TrackNum,
                                                   std::int32_t& pVal) = 0;  // 57 propget
  virtual platform::HResult AudioRip_TrackSelected(std::int32_t TrackNum,
                                                   const std::int32_t& newVal) = 0;              // 57 propput
  virtual platform::HResult Ripper_LaunchMp3Configuration(const std::string& AppDirectory) = 0;  // 58 method
  virtual platform::HResult Ripper_LaunchConfiguration(const std::string& AppPath) = 0;          // 59 method
  virtual platform::HResult Burner_PauseListener() = 0;                                          // 60 method
  virtual platform::HResult CancelRip() = 0;                                                     // 61 method
  virtual platform::HResult CencelRipCurrentTrack() = 0;                                         // 62 method
  virtual platform::HResult CDDB_SetTrackTitle(std::int32_t index,
                                               const std::string& TrackTitle) = 0;              // 63 method
  virtual platform::HResult CDDB_SetArtist(const std::string& Artist) = 0;                      // 64 method
  virtual platform::HResult CDDB_SetAlbum(const std::string& Album) = 0;                        // 65 method
  virtual platform::HResult DirectoryCountAtLevel(std::int32_t index, std::int32_t& pVal) = 0;  // 66 propget
  virtual platform::HResult Burner_ImportLastSession(std::int32_t DriveNum) = 0;                // 67 method
  virtual platform::HResult SetPriorityThread(std::int32_t Priority) = 0;                       // 68 method
  virtual platform::HResult Burner_SetSizeBuffer(std::int32_t SizeBuffer) = 0;                  // 69 method
  virtual platform::HResult Cancel_AddDirectory() = 0;                                          // 70 method
  virtual platform::HResult Burner_CreateAudioImage(const std::string& ImageFile,
                                                    std::int32_t Mode) = 0;           // 71 method
  virtual platform::HResult GetCDDBGenre(std::int32_t index, std::string& pVal) = 0;  // 72 propget
  virtual platform::HResult GetCDDBNbGenre(std::int32_t& pVal) = 0;                   // 73 propget
  virtual platform::HResult AudioRip_RipDiscAsImage(std::int32_t DriveNum, const std::string& AppDirectory,
                                                    const std::string& ImagePath,
                                                    std::int32_t Mode) = 0;  // 74 method
  virtual platform::HResult CDDB_SetYear(const std::string& MyYEAR) = 0;     // 75 method
  virtual platform::HResult CDDB_SetGenre(const std::string& myGenre) = 0;   // 76 method
  virtual platform::HResult Burner_CopyCDDVD(std::int32_t EntryDevice, const std::string& ImagePath,
                                             std::int32_t ImageMode) = 0;  // 77 method
  virtual platform::HResult GetSessionDataMode(std::int32_t DriveIndex, std::int32_t SessionNumber,
                                               std::int16_t& pVal) = 0;             // 78 propget
  virtual platform::HResult CDDB_Localread(const std::string& PathFile) = 0;        // 79 method
  virtual platform::HResult CDDB_ManualSaveInfos(const std::string& PathFile) = 0;  // 80 method
  virtual platform::HResult Burner_BurnImage(std::int32_t DriveIndex, const std::string& ImagePath,
                                             std::int32_t ImageMode, std::int32_t BurnProof,
                                             std::int32_t Simulation) = 0;  // 81 method
  virtual platform::HResult SetSpeedMax(std::int32_t DriveNum) = 0;         // 82 method
  virtual platform::HResult Burner_GetDriveVendor(std::int32_t DriveNum,
                                                  std::string& pVal) = 0;                        // 83 propget
  virtual platform::HResult Burner_DriveModel(std::int32_t DriveNum, std::string& pVal) = 0;     // 84 propget
  virtual platform::HResult Burner_DriveRevision(std::int32_t DriveNum, std::string& pVal) = 0;  // 85 propget
  virtual platform::HResult Burner_DriveHA(std::int32_t DriveNum, std::int16_t& pVal) = 0;       // 86 propget
  virtual platform::HResult Burner_DriveID(std::int32_t DriveNum, std::int16_t& pVal) = 0;       // 87 propget
  virtual platform::HResult Burner_DriveLUN(std::int32_t DriveNum, std::int16_t& pVal) = 0;      // 88 propget
  virtual platform::HResult Burner_AllowMedium(std::int32_t DriveNum) = 0;                       // 89 method
  virtual platform::HResult Burner_GetDriveLetter(std::int32_t DriveNum,
                                                  std::int16_t& pVal) = 0;  // 90 propget
  virtual platform::HResult Burner_GetDriveLetterEx(std::int32_t DriveNum,
                                                    std::int16_t& pVal) = 0;                    // 91 propget
  virtual platform::HResult burner_EjectAfterErase(std::int32_t& pVal) = 0;                     // 92 propget
  virtual platform::HResult burner_EjectAfterErase(const std::int32_t& newVal) = 0;             // 92 propput
  virtual platform::HResult isRealBurnerDevice(std::int32_t DriveNum, std::int32_t& pVal) = 0;  // 93 propget
  virtual platform::HResult Burner_GetMediaUID(std::int32_t DriveNum, std::string& pVal,
                                               std::string& pVal2) = 0;  // 94 method

  // Late-bound access to the members above by dispatch id and kind (57 and 92
  // each name a propget and a propput). An (out, retval) result comes back as
  // the InvokeResult's value; other out-parameters through by-reference
  // Variants.
  platform::InvokeResult Invoke(platform::DispId id, platform::DispatchKind kind,
                                std::span<const platform::Variant> args) final;
  std::span<const platform::DispatchMember> Members() const final;
};

}  // namespace zephrel
