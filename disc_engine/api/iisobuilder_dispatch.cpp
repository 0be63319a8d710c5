#include "zephrel/iisobuilder.h"

namespace zephrel {
namespace {

using platform::DispatchCall;
using platform::DispatchKind;
using platform::HResult;
using platform::Out;
using platform::Variant;
using platform::VarType;

const platform::DispatchTable<IISOBuilder>& Table() {
  static const platform::DispatchTable<IISOBuilder> table{
      {{1, "AddDirectory", DispatchKind::kMethod, {VarType::kI4, VarType::kString}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         return s.AddDirectory(c.args[0].i4(), c.args[1].str());
       }},
      {{2,
        "CreateIso",
        DispatchKind::kMethod,
        {VarType::kString, VarType::kI4, VarType::kI4},
        VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         return s.CreateIso(c.args[0].str(), c.args[1].i4(), c.args[2].i4());
       }},
      {{3, "Clear", DispatchKind::kMethod, {}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall&) -> HResult { return s.Clear(); }},
      {{4, "CancelBurn", DispatchKind::kMethod, {}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall&) -> HResult { return s.CancelBurn(); }},
      {{5, "GetDirectoryCount", DispatchKind::kMethod, {Out(VarType::kI4)}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.GetDirectoryCount(pVal);
         c.args[0].Store(Variant(pVal));
         return hr;
       }},
      {{6, "GetFileCount", DispatchKind::kMethod, {Out(VarType::kI4)}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.GetFileCount(pVal);
         c.args[0].Store(Variant(pVal));
         return hr;
       }},
      {{7, "GetProjectedImageSize", DispatchKind::kMethod, {Out(VarType::kR4)}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         float pVal{};
         const HResult hr = s.GetProjectedImageSize(pVal);
         c.args[0].Store(Variant(pVal));
         return hr;
       }},
      {{8, "GetImageTotalSectors", DispatchKind::kMethod, {Out(VarType::kI4)}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.GetImageTotalSectors(pVal);
         c.args[0].Store(Variant(pVal));
         return hr;
       }},
      {{9, "AddVirtualDirectory", DispatchKind::kMethod, {VarType::kI4, VarType::kString}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         return s.AddVirtualDirectory(c.args[0].i4(), c.args[1].str());
       }},
      {{10, "AddFile", DispatchKind::kMethod, {VarType::kI4, VarType::kString}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.AddFile(c.args[0].i4(), c.args[1].str()); }},
      {{11, "SetCDName", DispatchKind::kMethod, {VarType::kString}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.SetCDName(c.args[0].str()); }},
      {{12, "SetSoftwareName", DispatchKind::kMethod, {VarType::kString}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.SetSoftwareName(c.args[0].str()); }},
      {{13, "Burner_DriveCount", DispatchKind::kPropertyGet, {}, VarType::kI2},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int16_t pVal{};
         const HResult hr = s.Burner_DriveCount(pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{14, "Burner_Init", DispatchKind::kMethod, {}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall&) -> HResult { return s.Burner_Init(); }},
      {{15, "Burner_DriveDescription", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kString},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::string pVal{};
         const HResult hr = s.Burner_DriveDescription(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{16, "Burner_SpeedWriteCount", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.Burner_SpeedWriteCount(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{17, "Burner_GetSpeedWrite", DispatchKind::kPropertyGet, {VarType::kI4, VarType::kI4}, VarType::kI4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.Burner_GetSpeedWrite(c.args[0].i4(), c.args[1].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{18,
        "Burner_GetMediaTypeName",
        DispatchKind::kPropertyGet,
        {VarType::kI4, VarType::kI4},
        VarType::kString},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::string pVal{};
         const HResult hr = s.Burner_GetMediaTypeName(c.args[0].i4(), c.args[1].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{19, "Burner_GetMediaType", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.Burner_GetMediaType(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{20, "Burner_MediaIsEmpty", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.Burner_MediaIsEmpty(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{21, "Burner_MediaIsRW", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.Burner_MediaIsRW(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{22, "Burner_Eject", DispatchKind::kMethod, {VarType::kI4}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.Burner_Eject(c.args[0].i4()); }},
      {{23, "Burner_GetSessionCount", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.Burner_GetSessionCount(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{24, "Burner_DiskIsStillWritable", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.Burner_DiskIsStillWritable(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{25, "Burner_GetMediaTotalSpace", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kR4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         float pVal{};
         const HResult hr = s.Burner_GetMediaTotalSpace(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{26, "Burner_GetMediaUsedSpace", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kR4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         float pVal{};
         const HResult hr = s.Burner_GetMediaUsedSpace(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{27, "Burner_EraseDisk", DispatchKind::kMethod, {VarType::kI4, VarType::kI4}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         return s.Burner_EraseDisk(c.args[0].i4(), c.args[1].i4());
       }},
      {{28, "GetFilesDirsAtLevel", DispatchKind::kMethod, {VarType::kI4}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.GetFilesDirsAtLevel(c.args[0].i4()); }},
      {{29, "RemoveAt", DispatchKind::kMethod, {VarType::kI4}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.RemoveAt(c.args[0].i4()); }},
      {{30, "RenameElementAt", DispatchKind::kMethod, {VarType::kI4, VarType::kString}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         return s.RenameElementAt(c.args[0].i4(), c.args[1].str());
       }},
      {{31, "Burner_GetStateLastSession", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.Burner_GetStateLastSession(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{32, "Burner_CloseSession", DispatchKind::kMethod, {VarType::kI4}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.Burner_CloseSession(c.args[0].i4()); }},
      {{33, "Burner_CloseLastSession", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.Burner_CloseLastSession(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{34, "Burner_NewSessionAdressStart", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.Burner_NewSessionAdressStart(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{35,
        "Burner_BurnData",
        DispatchKind::kMethod,
        {VarType::kI4, VarType::kI4, VarType::kI4, VarType::kI4, VarType::kI4, VarType::kI4, VarType::kI4,
         VarType::kI4},
        VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         return s.Burner_BurnData(c.args[0].i4(), c.args[1].i4(), c.args[2].i4(), c.args[3].i4(),
                                  c.args[4].i4(), c.args[5].i4(), c.args[6].i4(), c.args[7].i4());
       }},
      {{36, "Burner_SetWriteSpeed", DispatchKind::kMethod, {VarType::kI4, VarType::kI4}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         return s.Burner_SetWriteSpeed(c.args[0].i4(), c.args[1].i4());
       }},
      {{37, "AudioFile_M4A_GetDuration", DispatchKind::kPropertyGet, {VarType::kString}, VarType::kR4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         float pVal{};
         const HResult hr = s.AudioFile_M4A_GetDuration(c.args[0].str(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{38,
        "AudioFile_M4A_Decode",
        DispatchKind::kMethod,
        {VarType::kString, VarType::kString},
        VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         return s.AudioFile_M4A_Decode(c.args[0].str(), c.args[1].str());
       }},
      {{39, "Burner_AddWavFile", DispatchKind::kMethod, {VarType::kString}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.Burner_AddWavFile(c.args[0].str()); }},
      {{40, "Burner_ClearWavFile", DispatchKind::kMethod, {}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall&) -> HResult { return s.Burner_ClearWavFile(); }},
      {{41, "Burner_GetWavFileCount", DispatchKind::kPropertyGet, {}, VarType::kI4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.Burner_GetWavFileCount(pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{42,
        "Burner_BurnAudio",
        DispatchKind::kMethod,
        {VarType::kI4, VarType::kI4, VarType::kI4, VarType::kI4},
        VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         return s.Burner_BurnAudio(c.args[0].i4(), c.args[1].i4(), c.args[2].i4(), c.args[3].i4());
       }},
      {{43, "Burner_ListenDrive", DispatchKind::kMethod, {VarType::kI4}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.Burner_ListenDrive(c.args[0].i4()); }},
      {{44, "Burner_StopListenDrive", DispatchKind::kMethod, {}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall&) -> HResult { return s.Burner_StopListenDrive(); }},
      {{45, "AudioRip_GetNbTracks", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.AudioRip_GetNbTracks(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{46,
        "AudioRip_GetTrackDuration",
        DispatchKind::kPropertyGet,
        {VarType::kI4, VarType::kI4},
        VarType::kString},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::string pVal{};
         const HResult hr = s.AudioRip_GetTrackDuration(c.args[0].i4(), c.args[1].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{47, "AudioRip_GetTotalDuration", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.AudioRip_GetTotalDuration(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{48, "RequestCDDB", DispatchKind::kMethod, {VarType::kString}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.RequestCDDB(c.args[0].str()); }},
      {{49, "CDDB_GetAlbum", DispatchKind::kPropertyGet, {}, VarType::kString},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::string pVal{};
         const HResult hr = s.CDDB_GetAlbum(pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{50, "CDDB_GetArtist", DispatchKind::kPropertyGet, {}, VarType::kString},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::string pVal{};
         const HResult hr = s.CDDB_GetArtist(pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{51, "CDDB_GetYear", DispatchKind::kPropertyGet, {}, VarType::kString},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::string pVal{};
         const HResult hr = s.CDDB_GetYear(pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{52, "CDDb_GetGenre", DispatchKind::kPropertyGet, {}, VarType::kString},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::string pVal{};
         const HResult hr = s.CDDb_GetGenre(pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{53, "CDDB_GetTrackTitle", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kString},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::string pVal{};
         const HResult hr = s.CDDB_GetTrackTitle(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{54, "CDDB_GetNbTrack", DispatchKind::kPropertyGet, {}, VarType::kI4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.CDDB_GetNbTrack(pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{55, "UnloadCom", DispatchKind::kMethod, {}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall&) -> HResult { return s.UnloadCom(); }},
      {{56,
        "AudioRip_RipTrack",
        DispatchKind::kMethod,
        {VarType::kI4, VarType::kI4, VarType::kString, VarType::kI4},
        VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         return s.AudioRip_RipTrack(c.args[0].i4(), c.args[1].i4(), c.args[2].str(), c.args[3].i4());
       }},
      {{57, "AudioRip_TrackSelected", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.AudioRip_TrackSelected(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{57,
        "AudioRip_TrackSelected",
        DispatchKind::kPropertyPut,
        {VarType::kI4, VarType::kI4},
        VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         return s.AudioRip_TrackSelected(c.args[0].i4(), c.args[1].i4());
       }},
      {{58, "Ripper_LaunchMp3Configuration", DispatchKind::kMethod, {VarType::kString}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         return s.Ripper_LaunchMp3Configuration(c.args[0].str());
       }},
      {{59, "Ripper_LaunchConfiguration", DispatchKind::kMethod, {VarType::kString}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         return s.Ripper_LaunchConfiguration(c.args[0].str());
       }},
      {{60, "Burner_PauseListener", DispatchKind::kMethod, {}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall&) -> HResult { return s.Burner_PauseListener(); }},
      {{61, "CancelRip", DispatchKind::kMethod, {}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall&) -> HResult { return s.CancelRip(); }},
      {{62, "CencelRipCurrentTrack", DispatchKind::kMethod, {}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall&) -> HResult { return s.CencelRipCurrentTrack(); }},
      {{63, "CDDB_SetTrackTitle", DispatchKind::kMethod, {VarType::kI4, VarType::kString}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         return s.CDDB_SetTrackTitle(c.args[0].i4(), c.args[1].str());
       }},
      {{64, "CDDB_SetArtist", DispatchKind::kMethod, {VarType::kString}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.CDDB_SetArtist(c.args[0].str()); }},
      {{65, "CDDB_SetAlbum", DispatchKind::kMethod, {VarType::kString}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.CDDB_SetAlbum(c.args[0].str()); }},
      {{66, "DirectoryCountAtLevel", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.DirectoryCountAtLevel(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{67, "Burner_ImportLastSession", DispatchKind::kMethod, {VarType::kI4}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.Burner_ImportLastSession(c.args[0].i4()); }},
      {{68, "SetPriorityThread", DispatchKind::kMethod, {VarType::kI4}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.SetPriorityThread(c.args[0].i4()); }},
      {{69, "Burner_SetSizeBuffer", DispatchKind::kMethod, {VarType::kI4}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.Burner_SetSizeBuffer(c.args[0].i4()); }},
      {{70, "Cancel_AddDirectory", DispatchKind::kMethod, {}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall&) -> HResult { return s.Cancel_AddDirectory(); }},
      {{71,
        "Burner_CreateAudioImage",
        DispatchKind::kMethod,
        {VarType::kString, VarType::kI4},
        VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         return s.Burner_CreateAudioImage(c.args[0].str(), c.args[1].i4());
       }},
      {{72, "GetCDDBGenre", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kString},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::string pVal{};
         const HResult hr = s.GetCDDBGenre(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{73, "GetCDDBNbGenre", DispatchKind::kPropertyGet, {}, VarType::kI4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.GetCDDBNbGenre(pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{74,
        "AudioRip_RipDiscAsImage",
        DispatchKind::kMethod,
        {VarType::kI4, VarType::kString, VarType::kString, VarType::kI4},
        VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         return s.AudioRip_RipDiscAsImage(c.args[0].i4(), c.args[1].str(), c.args[2].str(), c.args[3].i4());
       }},
      {{75, "CDDB_SetYear", DispatchKind::kMethod, {VarType::kString}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.CDDB_SetYear(c.args[0].str()); }},
      {{76, "CDDB_SetGenre", DispatchKind::kMethod, {VarType::kString}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.CDDB_SetGenre(c.args[0].str()); }},
      {{77,
        "Burner_CopyCDDVD",
        DispatchKind::kMethod,
        {VarType::kI4, VarType::kString, VarType::kI4},
        VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         return s.Burner_CopyCDDVD(c.args[0].i4(), c.args[1].str(), c.args[2].i4());
       }},
      {{78, "GetSessionDataMode", DispatchKind::kPropertyGet, {VarType::kI4, VarType::kI4}, VarType::kI2},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int16_t pVal{};
         const HResult hr = s.GetSessionDataMode(c.args[0].i4(), c.args[1].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{79, "CDDB_Localread", DispatchKind::kMethod, {VarType::kString}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.CDDB_Localread(c.args[0].str()); }},
      {{80, "CDDB_ManualSaveInfos", DispatchKind::kMethod, {VarType::kString}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.CDDB_ManualSaveInfos(c.args[0].str()); }},
      {{81,
        "Burner_BurnImage",
        DispatchKind::kMethod,
        {VarType::kI4, VarType::kString, VarType::kI4, VarType::kI4, VarType::kI4},
        VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         return s.Burner_BurnImage(c.args[0].i4(), c.args[1].str(), c.args[2].i4(), c.args[3].i4(),
                                   c.args[4].i4());
       }},
      {{82, "SetSpeedMax", DispatchKind::kMethod, {VarType::kI4}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.SetSpeedMax(c.args[0].i4()); }},
      {{83, "Burner_GetDriveVendor", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kString},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::string pVal{};
         const HResult hr = s.Burner_GetDriveVendor(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{84, "Burner_DriveModel", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kString},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::string pVal{};
         const HResult hr = s.Burner_DriveModel(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{85, "Burner_DriveRevision", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kString},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::string pVal{};
         const HResult hr = s.Burner_DriveRevision(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{86, "Burner_DriveHA", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI2},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int16_t pVal{};
         const HResult hr = s.Burner_DriveHA(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{87, "Burner_DriveID", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI2},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int16_t pVal{};
         const HResult hr = s.Burner_DriveID(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{88, "Burner_DriveLUN", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI2},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int16_t pVal{};
         const HResult hr = s.Burner_DriveLUN(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{89, "Burner_AllowMedium", DispatchKind::kMethod, {VarType::kI4}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.Burner_AllowMedium(c.args[0].i4()); }},
      {{90, "Burner_GetDriveLetter", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI2},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int16_t pVal{};
         const HResult hr = s.Burner_GetDriveLetter(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{91, "Burner_GetDriveLetterEx", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI2},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int16_t pVal{};
         const HResult hr = s.Burner_GetDriveLetterEx(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{92, "burner_EjectAfterErase", DispatchKind::kPropertyGet, {}, VarType::kI4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.burner_EjectAfterErase(pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{92, "burner_EjectAfterErase", DispatchKind::kPropertyPut, {VarType::kI4}, VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult { return s.burner_EjectAfterErase(c.args[0].i4()); }},
      {{93, "isRealBurnerDevice", DispatchKind::kPropertyGet, {VarType::kI4}, VarType::kI4},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::int32_t pVal{};
         const HResult hr = s.isRealBurnerDevice(c.args[0].i4(), pVal);
         c.result = Variant(pVal);
         return hr;
       }},
      {{94,
        "Burner_GetMediaUID",
        DispatchKind::kMethod,
        {VarType::kI4, Out(VarType::kString), Out(VarType::kString)},
        VarType::kEmpty},
       [](IISOBuilder& s, DispatchCall& c) -> HResult {
         std::string pVal{};
         std::string pVal2{};
         const HResult hr = s.Burner_GetMediaUID(c.args[0].i4(), pVal, pVal2);
         c.args[1].Store(Variant(pVal));
         c.args[2].Store(Variant(pVal2));
         return hr;
       }},
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
