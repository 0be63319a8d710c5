// The event source of an ISOBuilder: the connection point of
// _IISOBuilderEvents and one raising member per event, named as the event.
// Worker threads keep it alive through a shared_ptr while they raise, so an
// event raised after the object is gone still finds a valid (empty) table.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/automation.h"
#include "zephrel/iisobuilder.h"

namespace zephrel {

class ZEPHREL_API ISOBuilderEvents {
 public:
  ISOBuilderEvents();
  ISOBuilderEvents(const ISOBuilderEvents&) = delete;
  ISOBuilderEvents& operator=(const ISOBuilderEvents&) = delete;

  // Advise: E_POINTER for a null sink or cookie pointer; CONNECT_E_CANNOTCONNECT
  // for a sink that does not implement _IISOBuilderEvents; CONNECT_E_ADVISELIMIT
  // when the table is full. A sink that does not also implement IDispatch is
  // accepted but skipped each time an event is raised. Unadvise:
  // CONNECT_E_NOCONNECTION for a cookie that is not advised.
  platform::HResult Advise(std::shared_ptr<platform::EventSink> sink, platform::Cookie* cookie);
  platform::HResult Unadvise(platform::Cookie cookie);
  std::size_t SinkCount() const;

  // The dispatcher that delivers events (Direct until replaced; null restores
  // Direct). abort, when given, is what AbortDispatcher calls: it must make the
  // dispatcher release every thread waiting in a delivery and deliver nothing
  // more.
  void SetDispatcher(std::shared_ptr<platform::EventDispatcher> dispatcher, std::function<void()> abort = {});
  void AbortDispatcher();

  void OnBuildingProcess(std::int32_t Status, std::int32_t FileIndex, const std::string& FileName,
                         std::int32_t FileSize, std::int32_t FileProgress, std::int32_t TotalImageSize,
                         std::int32_t TotalImageProgress);
  void OnBuildingError(std::int32_t ErrorNumber, const std::string& ErrorDescription);
  void OnEndBuild(std::int32_t Canceled, std::int32_t Error);
  void OnAddingElements(const std::string& Name, std::int32_t FlagFile);
  void OnEndAddingElements();
  void BurnerOnError(std::int32_t ErrorNumber);
  void BurnerOnEraseComplete(std::int32_t DriveNum, std::int32_t InError);
  void RetrieveElementsAtLevel(const std::string& Name, const std::string& Path, std::int32_t index,
                               float FileSize, std::int32_t FlagFile, std::int32_t FlagLastSession);
  void EndRetrieveElementsAtLevel();
  void BeginRetrieveElementsAtLevel();
  void OnBurnerOnEndCloseSession(std::int32_t DriveNum);
  void AudioFileEndDecode(const std::string& outfilename, std::int32_t DeocdeType, std::int32_t ErrorCode);
  void BurnerCloseTrack(std::int32_t Track);
  void BurnerCloseSession(std::int32_t Session);
  void BurnerOnEndBurn(std::int32_t ModeBurn, std::int32_t Cancel, std::int32_t ErrorBurner);
  void BurnerOnMediaChange();
  void CDDBOnEndRequest(std::int32_t retour);
  void RipperOnStartRip(std::int32_t DriveNum, std::int32_t TrackNum);
  void RipperOnRip(std::int32_t DriveNum, std::int32_t TrackNum, std::int32_t Percent);
  void RipperOnEndRip();
  void RetrieveDirectoriesAtLevel(const std::string& DirName, std::int32_t index, std::int32_t DadIndex,
                                  std::int32_t HasChild);
  void RetrieveDirectoriesAtLevelBegin(std::int32_t index);
  void BurningErrorViewDescription(const std::string& ErrorDesc);
  void BurnerBufferStatus(std::int32_t MaxBuffer, std::int32_t SizeBuffer);
  void BurnerOnImportLastSession();
  void RipperOnRipTrack(std::int32_t Track);

 private:
  void Raise(IISOBuilderEvents event, std::vector<platform::Variant> args,
             platform::Delivery mode = platform::Delivery::kBlocking);

  platform::ConnectionPoint point_;
  std::mutex abort_mutex_;
  std::function<void()> abort_;
};

}  // namespace zephrel
