#include "platform/automation/connection_point.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "connection_point_testutil.h"
#include "platform/automation/event_dispatcher.h"

namespace platform {
namespace {

using testing::kOtherEvents;
using testing::kTestEvents;
using testing::RecordingSink;

TEST(ConnectionPointTest, AdviseRefusesNullSinksNullCookiesAndForeignSinks) {
  ConnectionPoint cp(kTestEvents);
  Cookie cookie = 77;
  EXPECT_EQ(cp.Advise(nullptr, &cookie), E_POINTER);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(cp.Advise(std::make_shared<RecordingSink>(), nullptr), E_POINTER);
  EXPECT_EQ(cp.Advise(std::make_shared<RecordingSink>(kOtherEvents), &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cp.SinkCount(), 0u);
}

TEST(ConnectionPointTest, TheSinkTableHoldsAFixedNumberOfSinks) {
  ConnectionPoint cp(kTestEvents, 3);
  std::vector<Cookie> cookies(3);
  for (Cookie& c : cookies) ASSERT_EQ(cp.Advise(std::make_shared<RecordingSink>(), &c), S_OK);
  EXPECT_NE(cookies[0], 0u);
  EXPECT_NE(cookies[0], cookies[1]);
  Cookie extra = 5;
  EXPECT_EQ(cp.Advise(std::make_shared<RecordingSink>(), &extra), CONNECT_E_ADVISELIMIT);
  EXPECT_EQ(extra, 0u);
  ASSERT_EQ(cp.Unadvise(cookies[1]), S_OK);
  EXPECT_EQ(cp.Advise(std::make_shared<RecordingSink>(), &extra), S_OK);
  EXPECT_NE(extra, cookies[1]) << "cookies are not reused";
}

TEST(ConnectionPointTest, UnadviseOfAnUnknownCookieGivesNoConnection) {
  ConnectionPoint cp(kTestEvents);
  Cookie cookie = 0;
  EXPECT_EQ(cp.Unadvise(0), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(cp.Unadvise(12345), CONNECT_E_NOCONNECTION);
  ASSERT_EQ(cp.Advise(std::make_shared<RecordingSink>(), &cookie), S_OK);
  EXPECT_EQ(cp.Unadvise(cookie), S_OK);
  EXPECT_EQ(cp.Unadvise(cookie), CONNECT_E_NOCONNECTION) << "twice";
}

TEST(ConnectionPointTest, EventsReachEveryAdvisedSinkWithTheirArguments) {
  ConnectionPoint cp(kTestEvents);
  auto a = std::make_shared<RecordingSink>();
  auto b = std::make_shared<RecordingSink>();
  Cookie ca = 0, cb = 0;
  cp.Raise(1, {Variant(0)});  // nobody listens: nothing happens
  ASSERT_EQ(cp.Advise(a, &ca), S_OK);
  ASSERT_EQ(cp.Advise(b, &cb), S_OK);
  cp.Raise(1, {Variant(10)});
  ASSERT_EQ(cp.Unadvise(ca), S_OK);
  cp.Raise(2, {Variant(20)});
  ASSERT_EQ(a->events().size(), 1u);
  EXPECT_EQ(a->events()[0].first, 10);
  ASSERT_EQ(b->events().size(), 2u);
  EXPECT_EQ(b->events()[1].id, 2);
  EXPECT_EQ(b->events()[1].first, 20);
}

class CallbackSink : public EventSink {
 public:
  std::function<void()> on_event;
  int calls = 0;
  bool SupportsInterface(const Guid& iid) const override { return iid == kTestEvents; }
  void OnEvent(DispId, std::span<const Variant>) override {
    ++calls;
    if (on_event) on_event();
  }
};

TEST(ConnectionPointTest, ASinkMayAdviseAndUnadviseFromInsideItsHandler) {
  ConnectionPoint cp(kTestEvents);
  auto first = std::make_shared<CallbackSink>();
  auto second = std::make_shared<RecordingSink>();
  auto late = std::make_shared<RecordingSink>();
  Cookie c1 = 0, c2 = 0, c3 = 0;
  ASSERT_EQ(cp.Advise(first, &c1), S_OK);
  ASSERT_EQ(cp.Advise(second, &c2), S_OK);
  first->on_event = [&] {
    EXPECT_EQ(cp.Unadvise(c1), S_OK);
    EXPECT_EQ(cp.Unadvise(c2), S_OK);  // not yet delivered: it must not receive this event
    EXPECT_EQ(cp.Advise(late, &c3), S_OK);
  };
  cp.Raise(1, {Variant(1)});
  EXPECT_EQ(first->calls, 1);
  EXPECT_TRUE(second->events().empty());
  EXPECT_TRUE(late->events().empty()) << "advised after the event was raised";
  cp.Raise(1, {Variant(2)});
  EXPECT_EQ(first->calls, 1);
  EXPECT_EQ(late->events().size(), 1u);
}

TEST(ConnectionPointTest, AThrowingSinkDoesNotKeepTheEventFromTheOthers) {
  ConnectionPoint cp(kTestEvents);
  auto thrower = std::make_shared<CallbackSink>();
  thrower->on_event = [] { throw std::runtime_error("sink failure"); };
  auto after = std::make_shared<RecordingSink>();
  Cookie c = 0;
  ASSERT_EQ(cp.Advise(thrower, &c), S_OK);
  ASSERT_EQ(cp.Advise(after, &c), S_OK);
  EXPECT_NO_THROW(cp.Raise(3, {}));
  EXPECT_EQ(after->events().size(), 1u);
}

// Holds deliveries until Flush, like a UI dispatcher that runs them later.
class DeferringDispatcher : public EventDispatcher {
 public:
  void Dispatch(DispId, Delivery mode, std::function<void()> deliver) override {
    modes.push_back(mode);
    pending.push_back(std::move(deliver));
  }
  void Flush() {
    for (auto& d : pending) d();
    pending.clear();
  }
  std::vector<Delivery> modes;
  std::vector<std::function<void()>> pending;
};

TEST(ConnectionPointTest, DeliveriesGoThroughTheInstalledDispatcherAndOutliveTheRaiser) {
  auto dispatcher = std::make_shared<DeferringDispatcher>();
  auto sink = std::make_shared<RecordingSink>();
  {
    ConnectionPoint cp(kTestEvents);
    Cookie c = 0;
    ASSERT_EQ(cp.Advise(sink, &c), S_OK);
    cp.SetDispatcher(dispatcher);
    std::vector<Variant> args{Variant(5)};
    cp.Raise(7, args, Delivery::kCoalesced);
    EXPECT_TRUE(sink->events().empty());
  }
  ASSERT_EQ(dispatcher->modes.size(), 1u);
  EXPECT_EQ(dispatcher->modes[0], Delivery::kCoalesced);
  dispatcher->Flush();  // the connection point is gone; its copy of the arguments is not
  ASSERT_EQ(sink->events().size(), 1u);
  EXPECT_EQ(sink->events()[0].first, 5);
}

TEST(ConnectionPointTest, TheDirectDispatcherDeliversOnTheRaisingThreadBeforeRaiseReturns) {
  ConnectionPoint cp(kTestEvents);
  cp.SetDispatcher(nullptr);  // restores Direct
  auto sink = std::make_shared<RecordingSink>();
  Cookie c = 0;
  ASSERT_EQ(cp.Advise(sink, &c), S_OK);
  cp.Raise(1, {}, Delivery::kCoalesced);
  EXPECT_EQ(sink->events().size(), 1u);
}

}  // namespace
}  // namespace platform
