#include "zephrel/iisobuilder.h"

#include "platform/automation/dispatch_entries.h"

namespace zephrel {
namespace {

using platform::DispatchKind;
using platform::HResult;
using platform::Method;
using platform::Out;
using platform::PropertyGet;
using platform::PropertyPut;
using platform::VarType;

constexpr VarType kI2 = VarType::kI2;
constexpr VarType kI4 = VarType::kI4;
constexpr VarType kR4 = VarType::kR4;
constexpr VarType kString = VarType::kString;

// The get and the put of a property pair share one name: the signature picks.
using GetI4 = HResult (IISOBuilder::*)(std::int32_t&);
using PutI4 = HResult (IISOBuilder::*)(const std::int32_t&);
using GetIndexedI4 = HResult (IISOBuilder::*)(std::int32_t, std::int32_t&);
using PutIndexedI4 = HResult (IISOBuilder::*)(std::int32_t, const std::int32_t&);

const platform::DispatchTable<IISOBuilder>& Table() {
  static const platform::DispatchTable<IISOBuilder> table{
      Method<&IISOBuilder::AddDirectory>(1, "AddDirectory", {kI4, kString}),
      Method<&IISOBuilder::CreateIso>(2, "CreateIso", {kString, kI4, kI4}),
      Method<&IISOBuilder::Clear>(3, "Clear"),
      Method<&IISOBuilder::CancelBurn>(4, "CancelBurn"),
      Method<&IISOBuilder::GetDirectoryCount>(5, "GetDirectoryCount", {Out(kI4)}),
      Method<&IISOBuilder::GetFileCount>(6, "GetFileCount", {Out(kI4)}),
      Method<&IISOBuilder::GetProjectedImageSize>(7, "GetProjectedImageSize", {Out(kR4)}),
      Method<&IISOBuilder::GetImageTotalSectors>(8, "GetImageTotalSectors", {Out(kI4)}),
      Method<&IISOBuilder::AddVirtualDirectory>(9, "AddVirtualDirectory", {kI4, kString}),
      Method<&IISOBuilder::AddFile>(10, "AddFile", {kI4, kString}),
      Method<&IISOBuilder::SetCDName>(11, "SetCDName", {kString}),
      Method<&IISOBuilder::SetSoftwareName>(12, "SetSoftwareName", {kString}),
      PropertyGet<&IISOBuilder::Burner_DriveCount>(13, "Burner_DriveCount", {}, kI2),
      Method<&IISOBuilder::Burner_Init>(14, "Burner_Init"),
      PropertyGet<&IISOBuilder::Burner_DriveDescription>(15, "Burner_DriveDescription", {kI4}, kString),
      PropertyGet<&IISOBuilder::Burner_SpeedWriteCount>(16, "Burner_SpeedWriteCount", {kI4}, kI4),
      PropertyGet<&IISOBuilder::Burner_GetSpeedWrite>(17, "Burner_GetSpeedWrite", {kI4, kI4}, kI4),
      PropertyGet<&IISOBuilder::Burner_GetMediaTypeName>(18, "Burner_GetMediaTypeName", {kI4, kI4}, kString),
      PropertyGet<&IISOBuilder::Burner_GetMediaType>(19, "Burner_GetMediaType", {kI4}, kI4),
      PropertyGet<&IISOBuilder::Burner_MediaIsEmpty>(20, "Burner_MediaIsEmpty", {kI4}, kI4),
      PropertyGet<&IISOBuilder::Burner_MediaIsRW>(21, "Burner_MediaIsRW", {kI4}, kI4),
      Method<&IISOBuilder::Burner_Eject>(22, "Burner_Eject", {kI4}),
      PropertyGet<&IISOBuilder::Burner_GetSessionCount>(23, "Burner_GetSessionCount", {kI4}, kI4),
      PropertyGet<&IISOBuilder::Burner_DiskIsStillWritable>(24, "Burner_DiskIsStillWritable", {kI4}, kI4),
      PropertyGet<&IISOBuilder::Burner_GetMediaTotalSpace>(25, "Burner_GetMediaTotalSpace", {kI4}, kR4),
      PropertyGet<&IISOBuilder::Burner_GetMediaUsedSpace>(26, "Burner_GetMediaUsedSpace", {kI4}, kR4),
      Method<&IISOBuilder::Burner_EraseDisk>(27, "Burner_EraseDisk", {kI4, kI4}),
      Method<&IISOBuilder::GetFilesDirsAtLevel>(28, "GetFilesDirsAtLevel", {kI4}),
      Method<&IISOBuilder::RemoveAt>(29, "RemoveAt", {kI4}),
      Method<&IISOBuilder::RenameElementAt>(30, "RenameElementAt", {kI4, kString}),
      PropertyGet<&IISOBuilder::Burner_GetStateLastSession>(31, "Burner_GetStateLastSession", {kI4}, kI4),
      Method<&IISOBuilder::Burner_CloseSession>(32, "Burner_CloseSession", {kI4}),
      PropertyGet<&IISOBuilder::Burner_CloseLastSession>(33, "Burner_CloseLastSession", {kI4}, kI4),
      PropertyGet<&IISOBuilder::Burner_NewSessionAdressStart>(34, "Burner_NewSessionAdressStart", {kI4}, kI4),
      Method<&IISOBuilder::Burner_BurnData>(35, "Burner_BurnData", {kI4, kI4, kI4, kI4, kI4, kI4, kI4, kI4}),
      Method<&IISOBuilder::Burner_SetWriteSpeed>(36, "Burner_SetWriteSpeed", {kI4, kI4}),
      PropertyGet<&IISOBuilder::AudioFile_M4A_GetDuration>(37, "AudioFile_M4A_GetDuration", {kString}, kR4),
      Method<&IISOBuilder::AudioFile_M4A_Decode>(38, "AudioFile_M4A_Decode", {kString, kString}),
      Method<&IISOBuilder::Burner_AddWavFile>(39, "Burner_AddWavFile", {kString}),
      Method<&IISOBuilder::Burner_ClearWavFile>(40, "Burner_ClearWavFile"),
      PropertyGet<&IISOBuilder::Burner_GetWavFileCount>(41, "Burner_GetWavFileCount", {}, kI4),
      Method<&IISOBuilder::Burner_BurnAudio>(42, "Burner_BurnAudio", {kI4, kI4, kI4, kI4}),
      Method<&IISOBuilder::Burner_ListenDrive>(43, "Burner_ListenDrive", {kI4}),
      Method<&IISOBuilder::Burner_StopListenDrive>(44, "Burner_StopListenDrive"),
      PropertyGet<&IISOBuilder::AudioRip_GetNbTracks>(45, "AudioRip_GetNbTracks", {kI4}, kI4),
      PropertyGet<&IISOBuilder::AudioRip_GetTrackDuration>(46, "AudioRip_GetTrackDuration", {kI4, kI4},
                                                           kString),
      PropertyGet<&IISOBuilder::AudioRip_GetTotalDuration>(47, "AudioRip_GetTotalDuration", {kI4}, kI4),
      Method<&IISOBuilder::RequestCDDB>(48, "RequestCDDB", {kString}),
      PropertyGet<&IISOBuilder::CDDB_GetAlbum>(49, "CDDB_GetAlbum", {}, kString),
      PropertyGet<&IISOBuilder::CDDB_GetArtist>(50, "CDDB_GetArtist", {}, kString),
      PropertyGet<&IISOBuilder::CDDB_GetYear>(51, "CDDB_GetYear", {}, kString),
      PropertyGet<&IISOBuilder::CDDb_GetGenre>(52, "CDDb_GetGenre", {}, kString),
      PropertyGet<&IISOBuilder::CDDB_GetTrackTitle>(53, "CDDB_GetTrackTitle", {kI4}, kString),
      PropertyGet<&IISOBuilder::CDDB_GetNbTrack>(54, "CDDB_GetNbTrack", {}, kI4),
      Method<&IISOBuilder::UnloadCom>(55, "UnloadCom"),
      Method<&IISOBuilder::AudioRip_RipTrack>(56, "AudioRip_RipTrack", {kI4, kI4, kString, kI4}),
      PropertyGet<GetIndexedI4(&IISOBuilder::AudioRip_TrackSelected)>(57, "AudioRip_TrackSelected", {kI4},
                                                                      kI4),
      PropertyPut<PutIndexedI4(&IISOBuilder::AudioRip_TrackSelected)>(57, "AudioRip_TrackSelected",
                                                                      {kI4, kI4}),
      Method<&IISOBuilder::Ripper_LaunchMp3Configuration>(58, "Ripper_LaunchMp3Configuration", {kString}),
      Method<&IISOBuilder::Ripper_LaunchConfiguration>(59, "Ripper_LaunchConfiguration", {kString}),
      Method<&IISOBuilder::Burner_PauseListener>(60, "Burner_PauseListener"),
      Method<&IISOBuilder::CancelRip>(61, "CancelRip"),
      Method<&IISOBuilder::CencelRipCurrentTrack>(62, "CencelRipCurrentTrack"),
      Method<&IISOBuilder::CDDB_SetTrackTitle>(63, "CDDB_SetTrackTitle", {kI4, kString}),
      Method<&IISOBuilder::CDDB_SetArtist>(64, "CDDB_SetArtist", {kString}),
      Method<&IISOBuilder::CDDB_SetAlbum>(65, "CDDB_SetAlbum", {kString}),
      PropertyGet<&IISOBuilder::DirectoryCountAtLevel>(66, "DirectoryCountAtLevel", {kI4}, kI4),
      Method<&IISOBuilder::Burner_ImportLastSession>(67, "Burner_ImportLastSession", {kI4}),
      Method<&IISOBuilder::SetPriorityThread>(68, "SetPriorityThread", {kI4}),
      Method<&IISOBuilder::Burner_SetSizeBuffer>(69, "Burner_SetSizeBuffer", {kI4}),
      Method<&IISOBuilder::Cancel_AddDirectory>(70, "Cancel_AddDirectory"),
      Method<&IISOBuilder::Burner_CreateAudioImage>(71, "Burner_CreateAudioImage", {kString, kI4}),
      PropertyGet<&IISOBuilder::GetCDDBGenre>(72, "GetCDDBGenre", {kI4}, kString),
      PropertyGet<&IISOBuilder::GetCDDBNbGenre>(73, "GetCDDBNbGenre", {}, kI4),
      Method<&IISOBuilder::AudioRip_RipDiscAsImage>(74, "AudioRip_RipDiscAsImage",
                                                    {kI4, kString, kString, kI4}),
      Method<&IISOBuilder::CDDB_SetYear>(75, "CDDB_SetYear", {kString}),
      Method<&IISOBuilder::CDDB_SetGenre>(76, "CDDB_SetGenre", {kString}),
      Method<&IISOBuilder::Burner_CopyCDDVD>(77, "Burner_CopyCDDVD", {kI4, kString, kI4}),
      PropertyGet<&IISOBuilder::GetSessionDataMode>(78, "GetSessionDataMode", {kI4, kI4}, kI2),
      Method<&IISOBuilder::CDDB_Localread>(79, "CDDB_Localread", {kString}),
      Method<&IISOBuilder::CDDB_ManualSaveInfos>(80, "CDDB_ManualSaveInfos", {kString}),
      Method<&IISOBuilder::Burner_BurnImage>(81, "Burner_BurnImage", {kI4, kString, kI4, kI4, kI4}),
      Method<&IISOBuilder::SetSpeedMax>(82, "SetSpeedMax", {kI4}),
      PropertyGet<&IISOBuilder::Burner_GetDriveVendor>(83, "Burner_GetDriveVendor", {kI4}, kString),
      PropertyGet<&IISOBuilder::Burner_DriveModel>(84, "Burner_DriveModel", {kI4}, kString),
      PropertyGet<&IISOBuilder::Burner_DriveRevision>(85, "Burner_DriveRevision", {kI4}, kString),
      PropertyGet<&IISOBuilder::Burner_DriveHA>(86, "Burner_DriveHA", {kI4}, kI2),
      PropertyGet<&IISOBuilder::Burner_DriveID>(87, "Burner_DriveID", {kI4}, kI2),
      PropertyGet<&IISOBuilder::Burner_DriveLUN>(88, "Burner_DriveLUN", {kI4}, kI2),
      Method<&IISOBuilder::Burner_AllowMedium>(89, "Burner_AllowMedium", {kI4}),
      PropertyGet<&IISOBuilder::Burner_GetDriveLetter>(90, "Burner_GetDriveLetter", {kI4}, kI2),
      PropertyGet<&IISOBuilder::Burner_GetDriveLetterEx>(91, "Burner_GetDriveLetterEx", {kI4}, kI2),
      PropertyGet<GetI4(&IISOBuilder::burner_EjectAfterErase)>(92, "burner_EjectAfterErase", {}, kI4),
      PropertyPut<PutI4(&IISOBuilder::burner_EjectAfterErase)>(92, "burner_EjectAfterErase", {kI4}),
      PropertyGet<&IISOBuilder::isRealBurnerDevice>(93, "isRealBurnerDevice", {kI4}, kI4),
      Method<&IISOBuilder::Burner_GetMediaUID>(94, "Burner_GetMediaUID", {kI4, Out(kString), Out(kString)}),
  };
  return table;
}

platform::DispatchMember Event(platform::DispId id, const char* name, std::initializer_list<VarType> args) {
  platform::DispatchMember member;
  member.id = id;
  member.name = name;
  member.kind = DispatchKind::kMethod;
  for (VarType t : args) member.params.emplace_back(t);
  return member;
}

}  // namespace

platform::InvokeResult IISOBuilder::Invoke(platform::DispId id, platform::DispatchKind kind,
                                           std::span<const platform::Variant> args) {
  return Table().Invoke(*this, id, kind, args);
}

std::span<const platform::DispatchMember> IISOBuilder::Members() const { return Table().Members(); }

std::span<const platform::DispatchMember> IISOBuilderEventsTable() {
  constexpr VarType I4 = VarType::kI4, R4 = VarType::kR4, S = VarType::kString;
  static const std::vector<platform::DispatchMember> events = {
      Event(kOnBuildingProcess, "OnBuildingProcess", {I4, I4, S, I4, I4, I4, I4}),
      Event(kOnBuildingError, "OnBuildingError", {I4, S}),
      Event(kOnEndBuild, "OnEndBuild", {I4, I4}),
      Event(kOnAddingElements, "OnAddingElements", {S, I4}),
      Event(kOnEndAddingElements, "OnEndAddingElements", {}),
      Event(kBurnerOnError, "BurnerOnError", {I4}),
      Event(kBurnerOnEraseComplete, "BurnerOnEraseComplete", {I4, I4}),
      Event(kRetrieveElementsAtLevel, "RetrieveElementsAtLevel", {S, S, I4, R4, I4, I4}),
      Event(kEndRetrieveElementsAtLevel, "EndRetrieveElementsAtLevel", {}),
      Event(kBeginRetrieveElementsAtLevel, "BeginRetrieveElementsAtLevel", {}),
      Event(kOnBurnerOnEndCloseSession, "OnBurnerOnEndCloseSession", {I4}),
      Event(kAudioFileEndDecode, "AudioFileEndDecode", {S, I4, I4}),
      Event(kBurnerCloseTrack, "BurnerCloseTrack", {I4}),
      Event(kBurnerCloseSession, "BurnerCloseSession", {I4}),
      Event(kBurnerOnEndBurn, "BurnerOnEndBurn", {I4, I4, I4}),
      Event(kBurnerOnMediaChange, "BurnerOnMediaChange", {}),
      Event(kCDDBOnEndRequest, "CDDBOnEndRequest", {I4}),
      Event(kRipperOnStartRip, "RipperOnStartRip", {I4, I4}),
      Event(kRipperOnRip, "RipperOnRip", {I4, I4, I4}),
      Event(kRipperOnEndRip, "RipperOnEndRip", {}),
      Event(kRetrieveDirectoriesAtLevel, "RetrieveDirectoriesAtLevel", {S, I4, I4, I4}),
      Event(kRetrieveDirectoriesAtLevelBegin, "RetrieveDirectoriesAtLevelBegin", {I4}),
      Event(kBurningErrorViewDescription, "BurningErrorViewDescription", {S}),
      Event(kBurnerBufferStatus, "BurnerBufferStatus", {I4, I4}),
      Event(kBurnerOnImportLastSession, "BurnerOnImportLastSession", {}),
      Event(kRipperOnRipTrack, "RipperOnRipTrack", {I4}),
  };
  return events;
}

}  // namespace zephrel
