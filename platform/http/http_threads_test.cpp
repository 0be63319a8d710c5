// A request stopped from another thread, as the disc engine's UnloadCom stops
// a CDDB lookup under way.
#include <gtest/gtest.h>

#include <chrono>
#include <stop_token>
#include <string>
#include <thread>

#include "platform/http.h"
#include "testing/loopback_http_server.h"

namespace platform {
namespace {

using test_support::HttpReply;
using test_support::HttpRequest;
using test_support::LoopbackHttpServer;

TEST(HttpFailures, AStopEndsAStalledRequestLongBeforeItsTimeoutAndRefusesTheNextOne) {
  LoopbackHttpServer server([](const HttpRequest&) { return HttpReply::Stall(); });
  std::stop_source stop;
  HttpClient client(HttpLimits{}, stop.get_token());  // a total timeout of 30 s
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stop.request_stop();
  });
  const auto start = std::chrono::steady_clock::now();
  const HttpResponse response = client.Get(server.Url());
  const auto elapsed = std::chrono::steady_clock::now() - start;
  stopper.join();
  EXPECT_EQ(response.error, "the request was stopped");
  EXPECT_TRUE(response.body.empty());
  EXPECT_LT(elapsed, std::chrono::seconds(5));
  EXPECT_EQ(client.Get(server.Url()).error, "the request was stopped");
  EXPECT_EQ(server.RequestCount(), 1u) << "the second request is not sent";
}

}  // namespace
}  // namespace platform
