#include "zephrel/iso_builder_events.h"

#include <utility>

namespace zephrel {
namespace {

using platform::Delivery;
using platform::Variant;

// Holds a client's sink and lets an event through only when the sink
// implements IDispatch, asked each time an event is raised.
class DispatchCheckedSink final : public platform::EventSink {
 public:
  explicit DispatchCheckedSink(std::shared_ptr<platform::EventSink> sink) : sink_(std::move(sink)) {}
  bool SupportsInterface(const platform::Guid& iid) const override { return sink_->SupportsInterface(iid); }
  void OnEvent(platform::DispId event, std::span<const Variant> args) override {
    if (!sink_->SupportsInterface(kIIdIDispatch)) return;
    sink_->OnEvent(event, args);
  }

 private:
  std::shared_ptr<platform::EventSink> sink_;
};

Variant I4(std::int32_t v) { return Variant(v); }

}  // namespace

ISOBuilderEvents::ISOBuilderEvents() : point_(kDIIdIISOBuilderEvents) {}

platform::HResult ISOBuilderEvents::Advise(std::shared_ptr<platform::EventSink> sink,
                                           platform::Cookie* cookie) {
  if (!sink) return point_.Advise(nullptr, cookie);
  return point_.Advise(std::make_shared<DispatchCheckedSink>(std::move(sink)), cookie);
}

platform::HResult ISOBuilderEvents::Unadvise(platform::Cookie cookie) { return point_.Unadvise(cookie); }

std::size_t ISOBuilderEvents::SinkCount() const { return point_.SinkCount(); }

void ISOBuilderEvents::SetDispatcher(std::shared_ptr<platform::EventDispatcher> dispatcher,
                                     std::function<void()> abort) {
  {
    std::lock_guard lock(abort_mutex_);
    abort_ = std::move(abort);
  }
  point_.SetDispatcher(std::move(dispatcher));
}

void ISOBuilderEvents::AbortDispatcher() {
  std::function<void()> abort;
  {
    std::lock_guard lock(abort_mutex_);
    abort = abort_;
  }
  if (!abort) return;
  try {
    abort();
  } catch (...) {
    // The host's abort failed; shutting down goes on regardless.
  }
}

void ISOBuilderEvents::Raise(IISOBuilderEvents event, std::vector<Variant> args, Delivery mode) {
  point_.Raise(event, std::move(args), mode);
}

// Progress of the file-data phase (11), audio (21) and disc copy (100) comes
// many times a second and may be coalesced; every other status is a phase
// change and arrives one by one.
void ISOBuilderEvents::OnBuildingProcess(std::int32_t Status, std::int32_t FileIndex,
                                         const std::string& FileName, std::int32_t FileSize,
                                         std::int32_t FileProgress, std::int32_t TotalImageSize,
                                         std::int32_t TotalImageProgress) {
  const bool progress = Status == 11 || Status == 21 || Status == 100;
  Raise(kOnBuildingProcess,
        {I4(Status), I4(FileIndex), Variant(FileName), I4(FileSize), I4(FileProgress), I4(TotalImageSize),
         I4(TotalImageProgress)},
        progress ? Delivery::kCoalesced : Delivery::kBlocking);
}
void ISOBuilderEvents::OnBuildingError(std::int32_t ErrorNumber, const std::string& ErrorDescription) {
  Raise(kOnBuildingError, {I4(ErrorNumber), Variant(ErrorDescription)});
}
void ISOBuilderEvents::OnEndBuild(std::int32_t Canceled, std::int32_t Error) {
  Raise(kOnEndBuild, {I4(Canceled), I4(Error)});
}
void ISOBuilderEvents::OnAddingElements(const std::string& Name, std::int32_t FlagFile) {
  Raise(kOnAddingElements, {Variant(Name), I4(FlagFile)});
}
void ISOBuilderEvents::OnEndAddingElements() { Raise(kOnEndAddingElements, {}); }
void ISOBuilderEvents::BurnerOnError(std::int32_t ErrorNumber) { Raise(kBurnerOnError, {I4(ErrorNumber)}); }
void ISOBuilderEvents::BurnerOnEraseComplete(std::int32_t DriveNum, std::int32_t InError) {
  Raise(kBurnerOnEraseComplete, {I4(DriveNum), I4(InError)});
}
void ISOBuilderEvents::RetrieveElementsAtLevel(const std::string& Name, const std::string& Path,
                                               std::int32_t index, float FileSize, std::int32_t FlagFile,
                                               std::int32_t FlagLastSession) {
  Raise(kRetrieveElementsAtLevel,
        {Variant(Name), Variant(Path), I4(index), Variant(FileSize), I4(FlagFile), I4(FlagLastSession)});
}
void ISOBuilderEvents::EndRetrieveElementsAtLevel() { Raise(kEndRetrieveElementsAtLevel, {}); }
void ISOBuilderEvents::BeginRetrieveElementsAtLevel() { Raise(kBeginRetrieveElementsAtLevel, {}); }
void ISOBuilderEvents::OnBurnerOnEndCloseSession(std::int32_t DriveNum) {
  Raise(kOnBurnerOnEndCloseSession, {I4(DriveNum)});
}
void ISOBuilderEvents::AudioFileEndDecode(const std::string& outfilename, std::int32_t DeocdeType,
                                          std::int32_t ErrorCode) {
  Raise(kAudioFileEndDecode, {Variant(outfilename), I4(DeocdeType), I4(ErrorCode)});
}
void ISOBuilderEvents::BurnerCloseTrack(std::int32_t Track) { Raise(kBurnerCloseTrack, {I4(Track)}); }
void ISOBuilderEvents::BurnerCloseSession(std::int32_t Session) { Raise(kBurnerCloseSession, {I4(Session)}); }
void ISOBuilderEvents::BurnerOnEndBurn(std::int32_t ModeBurn, std::int32_t Cancel, std::int32_t ErrorBurner) {
  Raise(kBurnerOnEndBurn, {I4(ModeBurn), I4(Cancel), I4(ErrorBurner)});
}
void ISOBuilderEvents::BurnerOnMediaChange() { Raise(kBurnerOnMediaChange, {}); }
void ISOBuilderEvents::CDDBOnEndRequest(std::int32_t retour) { Raise(kCDDBOnEndRequest, {I4(retour)}); }
void ISOBuilderEvents::RipperOnStartRip(std::int32_t DriveNum, std::int32_t TrackNum) {
  Raise(kRipperOnStartRip, {I4(DriveNum), I4(TrackNum)});
}
void ISOBuilderEvents::RipperOnRip(std::int32_t DriveNum, std::int32_t TrackNum, std::int32_t Percent) {
  Raise(kRipperOnRip, {I4(DriveNum), I4(TrackNum), I4(Percent)}, Delivery::kCoalesced);
}
void ISOBuilderEvents::RipperOnEndRip() { Raise(kRipperOnEndRip, {}); }
void ISOBuilderEvents::RetrieveDirectoriesAtLevel(const std::string& DirName, std::int32_t index,
                                                  std::int32_t DadIndex, std::int32_t HasChild) {
  Raise(kRetrieveDirectoriesAtLevel, {Variant(DirName), I4(index), I4(DadIndex), I4(HasChild)});
}
void ISOBuilderEvents::RetrieveDirectoriesAtLevelBegin(std::int32_t index) {
  Raise(kRetrieveDirectoriesAtLevelBegin, {I4(index)});
}
void ISOBuilderEvents::BurningErrorViewDescription(const std::string& ErrorDesc) {
  Raise(kBurningErrorViewDescription, {Variant(ErrorDesc)});
}
void ISOBuilderEvents::BurnerBufferStatus(std::int32_t MaxBuffer, std::int32_t SizeBuffer) {
  Raise(kBurnerBufferStatus, {I4(MaxBuffer), I4(SizeBuffer)}, Delivery::kCoalesced);
}
void ISOBuilderEvents::BurnerOnImportLastSession() { Raise(kBurnerOnImportLastSession, {}); }
void ISOBuilderEvents::RipperOnRipTrack(std::int32_t Track) { Raise(kRipperOnRipTrack, {I4(Track)}); }

}  // namespace zephrel
