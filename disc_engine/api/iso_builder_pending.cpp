// Members whose work is not available in this version. Queries give their
// neutral value (0 or empty) and send nothing to a drive; a member that would
// start a disc job reports "<member> is not available" and raises the job's end
// event with the error flag, so no client waits for ever.
#include <string>

#include "jobs/job_runner.h"
#include "tree/project_tree.h"
#include "zephrel/iso_builder.h"

namespace zephrel {

using platform::HResult;
using platform::S_OK;

HResult ISOBuilder::Burner_SpeedWriteCount(std::int32_t /*DriveNum*/, std::int32_t& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::Burner_GetSpeedWrite(std::int32_t /*DriveNum*/, std::int32_t /*index*/,
                                         std::int32_t& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::Burner_MediaIsEmpty(std::int32_t /*DriveNum*/, std::int32_t& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::Burner_MediaIsRW(std::int32_t /*DriveNum*/, std::int32_t& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::Burner_Eject(std::int32_t /*DriveNum*/) { return S_OK; }

HResult ISOBuilder::Burner_GetSessionCount(std::int32_t /*DriveNum*/, std::int32_t& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::Burner_DiskIsStillWritable(std::int32_t /*DriveNum*/, std::int32_t& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::Burner_EraseDisk(std::int32_t DriveNum, std::int32_t /*EraseMode*/) {
  StartUnavailableJob("Burner_EraseDisk", DriveNum, JobEnd::kEraseComplete, 0);
  return S_OK;
}

HResult ISOBuilder::Burner_GetStateLastSession(std::int32_t /*DriveNum*/, std::int32_t& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::Burner_CloseSession(std::int32_t /*DriveNum*/) { return S_OK; }

HResult ISOBuilder::Burner_CloseLastSession(std::int32_t DriveNum, std::int32_t& pVal) {
  pVal = StartUnavailableJob("Burner_CloseLastSession", DriveNum, JobEnd::kEndCloseSession, 0) ? 1 : 0;
  return S_OK;
}

HResult ISOBuilder::Burner_NewSessionAdressStart(std::int32_t /*DriveIndex*/, std::int32_t& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::Burner_BurnData(std::int32_t DriveNum, std::int32_t /*DataMode*/,
                                    std::int32_t /*BurnMode*/, std::int32_t /*Multisession*/,
                                    std::int32_t /*FakeWrite*/, std::int32_t /*BurnProof*/,
                                    std::int32_t /*ImportSession*/, std::int32_t /*VideoMode*/) {
  ProjectTree::Process().StopScans();  // the burn reads a tree no scan changes
  StartUnavailableJob("Burner_BurnData", DriveNum, JobEnd::kEndBurn, 1);
  return S_OK;
}

HResult ISOBuilder::Burner_SetWriteSpeed(std::int32_t /*DriveNum*/, std::int32_t /*Speed*/) { return S_OK; }

HResult ISOBuilder::AudioFile_M4A_GetDuration(const std::string& /*myM4AFile*/, float& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::AudioFile_M4A_Decode(const std::string& /*Source*/, const std::string& /*Dest*/) {
  return S_OK;
}

HResult ISOBuilder::Burner_AddWavFile(const std::string& /*WavFile*/) { return S_OK; }

HResult ISOBuilder::Burner_ClearWavFile() { return S_OK; }

HResult ISOBuilder::Burner_GetWavFileCount(std::int32_t& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::Burner_BurnAudio(std::int32_t DriveNum, std::int32_t /*Multisession*/,
                                     std::int32_t /*FakeWrite*/, std::int32_t /*BurnProof*/) {
  StartUnavailableJob("Burner_BurnAudio", DriveNum, JobEnd::kEndBurn, 0);
  return S_OK;
}

HResult ISOBuilder::Burner_ListenDrive(std::int32_t /*DriveNum*/) { return S_OK; }

HResult ISOBuilder::Burner_StopListenDrive() { return S_OK; }

HResult ISOBuilder::AudioRip_GetNbTracks(std::int32_t /*DriveNum*/, std::int32_t& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::AudioRip_GetTrackDuration(std::int32_t /*DriveNum*/, std::int32_t /*TrackNumber*/,
                                              std::string& pVal) {
  pVal = {};
  return S_OK;
}

HResult ISOBuilder::AudioRip_GetTotalDuration(std::int32_t /*DriveNum*/, std::int32_t& pVal) {
  pVal = 0;
  return S_OK;
}

// The lookup itself is not available: the request ends at once, on a thread
// of its own as a lookup would, with the value every lookup ends with.
HResult ISOBuilder::RequestCDDB(const std::string& /*RepDest*/) {
  StartBackgroundEnd([](ISOBuilderEvents& events) { events.CDDBOnEndRequest(1); });
  return S_OK;
}

HResult ISOBuilder::CDDB_GetAlbum(std::string& pVal) {
  pVal = {};
  return S_OK;
}

HResult ISOBuilder::CDDB_GetArtist(std::string& pVal) {
  pVal = {};
  return S_OK;
}

HResult ISOBuilder::CDDB_GetYear(std::string& pVal) {
  pVal = {};
  return S_OK;
}

HResult ISOBuilder::CDDb_GetGenre(std::string& pVal) {
  pVal = {};
  return S_OK;
}

HResult ISOBuilder::CDDB_GetTrackTitle(std::int32_t /*index*/, std::string& pVal) {
  pVal = {};
  return S_OK;
}

HResult ISOBuilder::CDDB_GetNbTrack(std::int32_t& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::AudioRip_RipTrack(std::int32_t DriveNum, std::int32_t /*TrackNum*/,
                                      const std::string& /*AppDirectory*/, std::int32_t /*mp3*/) {
  StartUnavailableJob("AudioRip_RipTrack", DriveNum, JobEnd::kEndRip, 0);
  return S_OK;
}

HResult ISOBuilder::AudioRip_TrackSelected(std::int32_t /*TrackNum*/, std::int32_t& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::AudioRip_TrackSelected(std::int32_t /*TrackNum*/, const std::int32_t& /*newVal*/) {
  return S_OK;
}

HResult ISOBuilder::Ripper_LaunchMp3Configuration(const std::string& /*AppDirectory*/) { return S_OK; }

HResult ISOBuilder::Ripper_LaunchConfiguration(const std::string& /*AppPath*/) { return S_OK; }

HResult ISOBuilder::Burner_PauseListener() { return S_OK; }

HResult ISOBuilder::CencelRipCurrentTrack() { return S_OK; }

HResult ISOBuilder::CDDB_SetTrackTitle(std::int32_t /*index*/, const std::string& /*TrackTitle*/) {
  return S_OK;
}

HResult ISOBuilder::CDDB_SetArtist(const std::string& /*Artist*/) { return S_OK; }

HResult ISOBuilder::CDDB_SetAlbum(const std::string& /*Album*/) { return S_OK; }

HResult ISOBuilder::Burner_ImportLastSession(std::int32_t /*DriveNum*/) { return S_OK; }

HResult ISOBuilder::Burner_CreateAudioImage(const std::string& /*ImageFile*/, std::int32_t /*Mode*/) {
  StartUnavailableJob("Burner_CreateAudioImage", kNoDrive, JobEnd::kEndBurn, 0);
  return S_OK;
}

HResult ISOBuilder::GetCDDBGenre(std::int32_t /*index*/, std::string& pVal) {
  pVal = {};
  return S_OK;
}

HResult ISOBuilder::GetCDDBNbGenre(std::int32_t& pVal) {
  pVal = 0;
  return S_OK;
}

HResult ISOBuilder::AudioRip_RipDiscAsImage(std::int32_t DriveNum, const std::string& /*AppDirectory*/,
                                            const std::string& /*ImagePath*/, std::int32_t /*Mode*/) {
  StartUnavailableJob("AudioRip_RipDiscAsImage", DriveNum, JobEnd::kEndRip, 0);
  return S_OK;
}

HResult ISOBuilder::CDDB_SetYear(const std::string& /*MyYEAR*/) { return S_OK; }

HResult ISOBuilder::CDDB_SetGenre(const std::string& /*myGenre*/) { return S_OK; }

HResult ISOBuilder::Burner_CopyCDDVD(std::int32_t EntryDevice, const std::string& /*ImagePath*/,
                                     std::int32_t /*ImageMode*/) {
  StartUnavailableJob("Burner_CopyCDDVD", EntryDevice, JobEnd::kEndBurn, 2);
  return S_OK;
}

HResult ISOBuilder::CDDB_Localread(const std::string& /*PathFile*/) { return S_OK; }

HResult ISOBuilder::CDDB_ManualSaveInfos(const std::string& /*PathFile*/) { return S_OK; }

HResult ISOBuilder::Burner_BurnImage(std::int32_t DriveIndex, const std::string& /*ImagePath*/,
                                     std::int32_t /*ImageMode*/, std::int32_t /*BurnProof*/,
                                     std::int32_t /*Simulation*/) {
  StartUnavailableJob("Burner_BurnImage", DriveIndex, JobEnd::kEndBurn, 1);
  return S_OK;
}

HResult ISOBuilder::Burner_AllowMedium(std::int32_t /*DriveNum*/) { return S_OK; }

HResult ISOBuilder::isRealBurnerDevice(std::int32_t /*DriveNum*/, std::int32_t& pVal) {
  pVal = 0;
  return S_OK;
}

}  // namespace zephrel
