// The wizard's event dispatcher: events that the disc engine raises on its
// worker threads are run on the user-interface thread.
//
// - kBlocking from another thread: queued in raising order; the raiser waits
//   until its handler has returned (or until Abort).
// - kBlocking or kCoalesced raised on the user-interface thread: delivered at
//   once (a direct call).
// - kCoalesced from another thread: queued without waiting; a newer event of
//   the same id replaces one still queued, keeping its place.
// - After an end event (one of `end_events`) no coalesced event is delivered
//   until the next blocking event that is not an end event: progress queued
//   before the end runs before it, progress raised after it is dropped.
// - Abort: releases every waiting raiser, drops the queue and delivers
//   nothing more. Called at shut-down before the engine's threads are joined.
//
// A handler may pump the user-interface thread (a modal dialog); events
// queued meanwhile are delivered inside that pump.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/automation/event_dispatcher.h"

namespace vantora {

// How the dispatcher reaches the user-interface thread.
struct UiThread {
  // Runs task later on the user-interface thread; tasks run in posting order.
  // Must be safe to call from any thread.
  std::function<void(std::function<void()> task)> post;
  // True on the user-interface thread.
  std::function<bool()> is_current;
};

class UiEventDispatcher final : public platform::EventDispatcher,
                                public std::enable_shared_from_this<UiEventDispatcher> {
 public:
  static std::shared_ptr<UiEventDispatcher> Create(UiThread ui, std::vector<platform::DispId> end_events);
  UiEventDispatcher(const UiEventDispatcher&) = delete;
  UiEventDispatcher& operator=(const UiEventDispatcher&) = delete;

  void Dispatch(platform::DispId event, platform::Delivery mode, std::function<void()> deliver) override;

  void Abort();
  bool aborted() const;

 private:
  struct Waiter {
    bool done = false;
  };
  struct Item {
    platform::DispId id = 0;
    platform::Delivery mode = platform::Delivery::kBlocking;
    std::function<void()> deliver;
    std::shared_ptr<Waiter> waiter;  // null for coalesced events
  };

  UiEventDispatcher(UiThread ui, std::vector<platform::DispId> end_events);
  bool IsEndEvent(platform::DispId event) const;
  // Marks whether coalesced events are refused; under mutex_.
  void NoteBlocking(platform::DispId event);
  void PostRunNext();
  void RunNext();

  const UiThread ui_;
  const std::vector<platform::DispId> end_events_;
  mutable std::mutex mutex_;
  std::condition_variable released_;
  std::deque<Item> queue_;
  bool aborted_ = false;
  bool coalesced_closed_ = false;
};

}  // namespace vantora
