// The drive display's events of the disc engine, handed to the wizard as
// typed calls.
#include <atomic>

#include "vantora/zephrel_disc_burner.h"

namespace vantora {

class ZephrelDiscBurner::MediaSink final : public platform::EventSink {
 public:
  bool SupportsInterface(const platform::Guid& iid) const override {
    return iid == zephrel::kDIIdIISOBuilderEvents || iid == zephrel::kIIdIDispatch;
  }
  void OnEvent(platform::DispId event, std::span<const platform::Variant> args) override {
    DiscMediaEvents* e = events.load();
    if (e == nullptr) return;
    auto i4 = [&](std::size_t i) { return i < args.size() ? args[i].i4() : 0; };
    if (event == zephrel::kBurnerOnMediaChange) {
      e->BurnerOnMediaChange();
    } else if (event == zephrel::kBurnerOnEraseComplete) {
      e->BurnerOnEraseComplete(i4(0), i4(1));
    }
  }
  std::atomic<DiscMediaEvents*> events{nullptr};
};

void ZephrelDiscBurner::SetMediaEvents(DiscMediaEvents* events) {
  if (!media_sink_) {
    media_sink_ = std::make_shared<MediaSink>();
    platform::Cookie cookie = 0;
    builder_->Advise(media_sink_, &cookie);  // the sink stays advised as long as the engine lives
  }
  media_sink_->events = events;
}

}  // namespace vantora
