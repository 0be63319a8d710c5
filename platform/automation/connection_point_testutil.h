// Sinks for connection-point tests.
#pragma once

#include <atomic>
#include <mutex>
#include <span>
#include <vector>

#include "platform/automation/connection_point.h"

namespace platform::testing {

inline constexpr Guid kTestEvents = GuidOf("{C8BC6BD9-7CB8-4971-B7C1-A7A5394E8628}");
inline constexpr Guid kOtherEvents = GuidOf("{66D03270-9909-4DB5-BFF7-F3B726ABEF8D}");

// Records every event it receives (id and first argument as I4).
class RecordingSink : public EventSink {
 public:
  explicit RecordingSink(Guid iid = kTestEvents) : iid_(iid) {}
  bool SupportsInterface(const Guid& iid) const override { return iid == iid_; }
  void OnEvent(DispId event, std::span<const Variant> args) override {
    std::lock_guard lock(mutex_);
    events_.push_back({event, args.empty() ? 0 : args[0].i4()});
  }
  struct Event {
    DispId id;
    std::int32_t first;
  };
  std::vector<Event> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }

 private:
  Guid iid_;
  mutable std::mutex mutex_;
  std::vector<Event> events_;
};

}  // namespace platform::testing
