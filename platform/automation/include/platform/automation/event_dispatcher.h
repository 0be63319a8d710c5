// How an event raised on some thread reaches its sinks. The Direct
// dispatcher calls them at once on the raising thread; a host with a UI
// thread installs its own dispatcher that runs the delivery there.
#pragma once

#include <functional>
#include <memory>

#include "platform/automation/dispatch.h"

namespace platform {

enum class Delivery {
  // Delivered one by one and in order; the raising thread waits until the
  // sinks have handled the event.
  kBlocking,
  // High-rate progress: may be delivered later without blocking the raiser,
  // and a pending one may be replaced by a newer event of the same id.
  kCoalesced,
};

class EventDispatcher {
 public:
  virtual ~EventDispatcher() = default;

  // Delivers one event: `deliver` calls every sink that was advised when the
  // event was raised. It owns copies of the arguments, so it may run after
  // the raiser has returned (kCoalesced). Must be safe to call from any thread.
  virtual void Dispatch(DispId event, Delivery mode, std::function<void()> deliver) = 0;
};

// Calls `deliver` at once on the raising thread, whatever the mode.
class DirectEventDispatcher final : public EventDispatcher {
 public:
  void Dispatch(DispId event, Delivery mode, std::function<void()> deliver) override;

  // One shared instance, the default of every connection point.
  static std::shared_ptr<DirectEventDispatcher> Shared();
};

}  // namespace platform
