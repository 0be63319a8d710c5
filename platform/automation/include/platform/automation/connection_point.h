// Event sinks and the connection point that holds them. A client advises a
// sink for one event interface and receives a cookie; events raised on the
// connection point reach every sink advised at the moment of raising.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/automation/event_dispatcher.h"
#include "platform/automation/guid.h"
#include "platform/automation/hresult.h"
#include "platform/automation/variant.h"

namespace platform {

// A client's event receiver.
class EventSink {
 public:
  virtual ~EventSink() = default;

  // Whether this sink implements the event interface `iid`.
  virtual bool SupportsInterface(const Guid& iid) const = 0;

  // One event with its arguments in declaration order. May be called from
  // whatever thread the connection point's dispatcher delivers on. May call
  // back into the object that raised the event, including Advise and
  // Unadvise. Its exceptions are swallowed.
  virtual void OnEvent(DispId event, std::span<const Variant> args) = 0;
};

using Cookie = std::uint32_t;

// One outgoing event interface of an object: a fixed-capacity table of
// advised sinks guarded by a mutex. Advise, Unadvise and Raise may be called
// from any thread, and from inside a sink's OnEvent.
class ConnectionPoint {
 public:
  static constexpr std::size_t kDefaultCapacity = 32;

  explicit ConnectionPoint(const Guid& event_iid, std::size_t capacity = kDefaultCapacity);
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  const Guid& interface_id() const { return iid_; }
  std::size_t capacity() const { return capacity_; }

  // Adds `sink` and sets *cookie (never 0, never reused by this connection
  // point). Results: E_POINTER for a null sink or cookie pointer;
  // CONNECT_E_CANNOTCONNECT when the sink does not implement the event
  // interface; CONNECT_E_ADVISELIMIT when the table is full. On failure
  // *cookie (when given) is set to 0.
  HResult Advise(std::shared_ptr<EventSink> sink, Cookie* cookie);

  // Removes the sink advised under `cookie`. CONNECT_E_NOCONNECTION for a
  // cookie that is not advised (0 included). A delivery already under way may
  // still reach the sink once; none starts after Unadvise has returned.
  HResult Unadvise(Cookie cookie);

  std::size_t SinkCount() const;

  // The dispatcher that delivers raised events (the shared Direct one until
  // replaced). A null dispatcher restores the Direct one.
  void SetDispatcher(std::shared_ptr<EventDispatcher> dispatcher);

  // Raises `event` to every sink advised now, through the dispatcher. The
  // arguments are copied (by-reference arguments keep referring to the
  // caller's variables, so only kBlocking may carry them).
  void Raise(DispId event, std::vector<Variant> args, Delivery mode = Delivery::kBlocking);

 private:
  struct Slot {
    Cookie cookie = 0;
    std::shared_ptr<EventSink> sink;
  };

  // Shared with deliveries still pending in a dispatcher, so they stay
  // valid after the connection point is gone.
  struct Table {
    std::mutex mutex;
    std::vector<Slot> slots;  // fixed number of places; an empty place has cookie 0
    Cookie next_cookie = 1;
    std::shared_ptr<EventDispatcher> dispatcher;

    bool IsAdvised(Cookie cookie);
  };

  const Guid iid_;
  const std::size_t capacity_;
  const std::shared_ptr<Table> table_;
};

}  // namespace platform
