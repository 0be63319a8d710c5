#include "vantora/ui_event_dispatcher.h"

#include <algorithm>

namespace vantora {

using platform::Delivery;
using platform::DispId;

std::shared_ptr<UiEventDispatcher> UiEventDispatcher::Create(UiThread ui, std::vector<DispId> end_events) {
  return std::shared_ptr<UiEventDispatcher>(new UiEventDispatcher(std::move(ui), std::move(end_events)));
}

UiEventDispatcher::UiEventDispatcher(UiThread ui, std::vector<DispId> end_events)
    : ui_(std::move(ui)), end_events_(std::move(end_events)) {}

bool UiEventDispatcher::IsEndEvent(DispId event) const {
  return std::find(end_events_.begin(), end_events_.end(), event) != end_events_.end();
}

void UiEventDispatcher::NoteBlocking(DispId event) { coalesced_closed_ = IsEndEvent(event); }

static void RunGuarded(const std::function<void()>& deliver) {
  if (!deliver) return;
  try {
    deliver();
  } catch (...) {
    // A handler's failure ends that handler only; the raiser is still released.
  }
}

void UiEventDispatcher::Dispatch(DispId event, Delivery mode, std::function<void()> deliver) {
  if (ui_.is_current && ui_.is_current()) {
    {
      std::lock_guard lock(mutex_);
      if (aborted_) return;
      if (mode == Delivery::kCoalesced) {
        if (coalesced_closed_) return;
      } else {
        NoteBlocking(event);
        if (coalesced_closed_) {
          // Progress still queued belongs to the job that just ended.
          for (Item& item : queue_)
            if (item.mode == Delivery::kCoalesced) item.deliver = nullptr;
        }
      }
    }
    RunGuarded(deliver);
    return;
  }

  std::unique_lock lock(mutex_);
  if (aborted_) return;
  if (mode == Delivery::kCoalesced) {
    if (coalesced_closed_) return;
    for (Item& item : queue_) {
      if (item.mode == Delivery::kCoalesced && item.id == event && item.deliver) {
        item.deliver = std::move(deliver);
        return;
      }
    }
    queue_.push_back(Item{event, mode, std::move(deliver), nullptr});
    lock.unlock();
    PostRunNext();
    return;
  }
  NoteBlocking(event);
  auto waiter = std::make_shared<Waiter>();
  queue_.push_back(Item{event, mode, std::move(deliver), waiter});
  lock.unlock();
  PostRunNext();
  lock.lock();
  released_.wait(lock, [&] { return waiter->done || aborted_; });
}

void UiEventDispatcher::PostRunNext() {
  std::weak_ptr<UiEventDispatcher> weak = weak_from_this();
  ui_.post([weak] {
    if (auto self = weak.lock()) self->RunNext();
  });
}

void UiEventDispatcher::RunNext() {
  Item item;
  {
    std::lock_guard lock(mutex_);
    if (aborted_ || queue_.empty()) return;
    item = std::move(queue_.front());
    queue_.pop_front();
  }
  RunGuarded(item.deliver);
  if (item.waiter) {
    std::lock_guard lock(mutex_);
    item.waiter->done = true;
    released_.notify_all();
  }
}

void UiEventDispatcher::Abort() {
  std::lock_guard lock(mutex_);
  aborted_ = true;
  queue_.clear();
  released_.notify_all();
}

bool UiEventDispatcher::aborted() const {
  std::lock_guard lock(mutex_);
  return aborted_;
}

}  // namespace vantora
