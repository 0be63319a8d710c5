#include "vantora/zephrel_disc_burner.h"

#include <atomic>

namespace vantora {

using platform::Variant;

// Receives the engine's events by dispatch id and hands the ones the wizard
// handles to its handlers as typed calls.
class ZephrelDiscBurner::Sink final : public platform::EventSink {
 public:
  bool SupportsInterface(const platform::Guid& iid) const override {
    return iid == zephrel::kDIIdIISOBuilderEvents || iid == zephrel::kIIdIDispatch;
  }
  void OnEvent(platform::DispId event, std::span<const Variant> args) override {
    auto i4 = [&](std::size_t i) { return i < args.size() ? args[i].i4() : 0; };
    if (event == zephrel::kBurnerOnMediaChange || event == zephrel::kBurnerOnEraseComplete) {
      DiscMediaEvents* m = media_events.load();
      if (m == nullptr) return;
      if (event == zephrel::kBurnerOnMediaChange)
        m->BurnerOnMediaChange();
      else
        m->BurnerOnEraseComplete(i4(0), i4(1));
      return;
    }
    DiscBurnerEvents* e = events.load();
    if (e == nullptr) return;
    auto str = [&](std::size_t i) -> std::string { return i < args.size() ? args[i].str() : std::string(); };
    switch (event) {
      case zephrel::kOnBuildingProcess:
        e->OnBuildingProcess(i4(0), i4(1), str(2), i4(3), i4(4), i4(5), i4(6));
        break;
      case zephrel::kOnBuildingError:
        e->OnBuildingError(i4(0), str(1));
        break;
      case zephrel::kOnEndBuild:
        e->OnEndBuild(i4(0), i4(1));
        break;
      case zephrel::kBurnerOnError:
        e->BurnerOnError(i4(0));
        break;
      case zephrel::kBurnerCloseTrack:
        e->BurnerCloseTrack(i4(0));
        break;
      case zephrel::kBurnerCloseSession:
        e->BurnerCloseSession(i4(0));
        break;
      case zephrel::kBurnerOnEndBurn:
        e->BurnerOnEndBurn(i4(0), i4(1), i4(2));
        break;
      case zephrel::kBurningErrorViewDescription:
        e->BurningErrorViewDescription(str(0));
        break;
      case zephrel::kBurnerBufferStatus:
        e->BurnerBufferStatus(i4(0), i4(1));
        break;

      default:
        break;  // not the wizard's
    }
  }
  std::atomic<DiscBurnerEvents*> events{nullptr};
  std::atomic<DiscMediaEvents*> media_events{nullptr};
};

ZephrelDiscBurner::ZephrelDiscBurner(std::unique_ptr<zephrel::ISOBuilder> builder)
    : builder_(std::move(builder)), sink_(std::make_shared<Sink>()) {
  builder_->Advise(sink_, &cookie_);
}

ZephrelDiscBurner::~ZephrelDiscBurner() {
  sink_->events = nullptr;
  if (cookie_ != 0) builder_->Unadvise(cookie_);
}

void ZephrelDiscBurner::SetEvents(DiscBurnerEvents* events) { sink_->events = events; }

void ZephrelDiscBurner::SetMediaEvents(DiscMediaEvents* events) { sink_->media_events = events; }

}  // namespace vantora
