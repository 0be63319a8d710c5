#include "platform/automation/connection_point.h"

#include <utility>

namespace platform {

bool ConnectionPoint::Table::IsAdvised(Cookie cookie) {
  std::lock_guard lock(mutex);
  for (const Slot& slot : slots) {
    if (slot.cookie == cookie) return true;
  }
  return false;
}

ConnectionPoint::ConnectionPoint(const Guid& event_iid, std::size_t capacity)
    : iid_(event_iid), capacity_(capacity), table_(std::make_shared<Table>()) {
  table_->slots.resize(capacity);
  table_->dispatcher = DirectEventDispatcher::Shared();
}

HResult ConnectionPoint::Advise(std::shared_ptr<EventSink> sink, Cookie* cookie) {
  if (cookie) *cookie = 0;
  if (!sink || !cookie) return E_POINTER;
  if (!sink->SupportsInterface(iid_)) return CONNECT_E_CANNOTCONNECT;
  std::lock_guard lock(table_->mutex);
  for (Slot& slot : table_->slots) {
    if (slot.cookie != 0) continue;
    slot.cookie = table_->next_cookie++;
    if (table_->next_cookie == 0) table_->next_cookie = 1;  // wraps after 2^32 - 1 advises
    slot.sink = std::move(sink);
    *cookie = slot.cookie;
    return S_OK;
  }
  return CONNECT_E_ADVISELIMIT;
}

HResult ConnectionPoint::Unadvise(Cookie cookie) {
  std::shared_ptr<EventSink> released;  // dropped outside the lock: its destructor may call back
  {
    std::lock_guard lock(table_->mutex);
    if (cookie == 0) return CONNECT_E_NOCONNECTION;
    for (Slot& slot : table_->slots) {
      if (slot.cookie != cookie) continue;
      slot.cookie = 0;
      released = std::move(slot.sink);
      break;
    }
  }
  return released ? S_OK : CONNECT_E_NOCONNECTION;
}

std::size_t ConnectionPoint::SinkCount() const {
  std::lock_guard lock(table_->mutex);
  std::size_t n = 0;
  for (const Slot& slot : table_->slots) n += slot.cookie != 0;
  return n;
}

void ConnectionPoint::SetDispatcher(std::shared_ptr<EventDispatcher> dispatcher) {
  if (!dispatcher) dispatcher = DirectEventDispatcher::Shared();
  std::lock_guard lock(table_->mutex);
  table_->dispatcher = std::move(dispatcher);
}

void ConnectionPoint::Raise(DispId event, std::vector<Variant> args, Delivery mode) {
  std::vector<Slot> targets;
  std::shared_ptr<EventDispatcher> dispatcher;
  {
    std::lock_guard lock(table_->mutex);
    for (const Slot& slot : table_->slots) {
      if (slot.cookie != 0) targets.push_back(slot);
    }
    dispatcher = table_->dispatcher;
  }
  if (targets.empty()) return;
  dispatcher->Dispatch(event, mode,
                       [table = table_, event, targets = std::move(targets), args = std::move(args)]() {
                         for (const Slot& target : targets) {
                           // A sink unadvised since the event was raised is skipped.
                           if (!table->IsAdvised(target.cookie)) continue;
                           try {
                             target.sink->OnEvent(event, args);
                           } catch (...) {
                             // A sink's failure is its own; the others still receive the event.
                           }
                         }
                       });
}

}  // namespace platform
