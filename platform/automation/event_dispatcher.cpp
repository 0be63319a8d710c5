#include "platform/automation/event_dispatcher.h"

namespace platform {

void DirectEventDispatcher::Dispatch(DispId, Delivery, std::function<void()> deliver) {
  if (deliver) deliver();
}

std::shared_ptr<DirectEventDispatcher> DirectEventDispatcher::Shared() {
  static const auto instance = std::make_shared<DirectEventDispatcher>();
  return instance;
}

}  // namespace platform
