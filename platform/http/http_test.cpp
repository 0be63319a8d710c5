#include "platform/http.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stop_token>
#include <string>
#include <thread>

#include "testing/loopback_http_server.h"

namespace platform {
namespace {

using test_support::ClosedLoopbackPort;
using test_support::HttpReply;
using test_support::HttpRequest;
using test_support::LoopbackHttpServer;

HttpLimits ShortLimits() {
  HttpLimits limits;
  limits.connect_timeout = std::chrono::milliseconds(2000);
  limits.total_timeout = std::chrono::milliseconds(300);
  return limits;
}

TEST(HttpAnswers, AGetReturnsTheBodyStatusAndContentTypeAndSendsThePathAndQuery) {
  LoopbackHttpServer server([](const HttpRequest&) {
    HttpReply reply = HttpReply::Text("3.0.5_notes\r\nsecond line");
    reply.content_type = "text/plain; charset=utf-8";
    return reply;
  });
  HttpClient client;
  const HttpResponse response = client.Get(server.Url("/Update.php?version=1.2.3"));
  EXPECT_TRUE(response.ok()) << response.error;
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, "3.0.5_notes\r\nsecond line");
  EXPECT_EQ(response.content_type, "text/plain; charset=utf-8");
  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].method, "GET");
  EXPECT_EQ(server.Requests()[0].target, "/Update.php?version=1.2.3");
}

TEST(HttpAnswers, APostSendsItsBodyAndContentType) {
  LoopbackHttpServer server(
      [](const HttpRequest& request) { return HttpReply::Text("got " + request.body); });
  HttpClient client;
  const HttpResponse response =
      client.Post(server.Url("/submit"), "a=1&b=%20", "application/x-www-form-urlencoded");
  EXPECT_TRUE(response.ok()) << response.error;
  EXPECT_EQ(response.body, "got a=1&b=%20");
  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].method, "POST");
  EXPECT_EQ(server.Requests()[0].Header("content-type"), "application/x-www-form-urlencoded");
}

TEST(HttpAnswers, AnEmptyBodyIsASuccessWithNoBytes) {
  LoopbackHttpServer server([](const HttpRequest&) { return HttpReply::Text(""); });
  const HttpResponse response = HttpClient().Get(server.Url());
  EXPECT_TRUE(response.ok()) << response.error;
  EXPECT_TRUE(response.body.empty());
}

TEST(HttpFailures, ANon2xxAnswerIsAnErrorNamingTheStatusAndKeepsTheBody) {
  LoopbackHttpServer server([](const HttpRequest&) {
    HttpReply reply = HttpReply::Text("<html><body>Not here</body></html>", 404, "Not Found");
    reply.content_type = "text/html";
    return reply;
  });
  const HttpResponse response = HttpClient().Get(server.Url("/missing"));
  EXPECT_FALSE(response.ok());
  EXPECT_EQ(response.status, 404);
  EXPECT_EQ(response.error, "the server answered 404 Not Found");
  EXPECT_EQ(response.body, "<html><body>Not here</body></html>");
}

TEST(HttpFailures, NoListenerIsAnErrorWithoutAStatus) {
  ClosedLoopbackPort port;
  const HttpResponse response = HttpClient(ShortLimits()).Get(port.Url("/x"));
  EXPECT_FALSE(response.ok());
  EXPECT_FALSE(response.error.empty());
  EXPECT_EQ(response.status, 0);
}

TEST(HttpFailures, AServerThatClosesWithoutAnswerIsAnError) {
  LoopbackHttpServer server([](const HttpRequest&) {
    HttpReply reply;
    reply.behaviour = HttpReply::Behaviour::kClose;
    return reply;
  });
  const HttpResponse response = HttpClient(ShortLimits()).Get(server.Url());
  EXPECT_FALSE(response.ok());
  EXPECT_FALSE(response.error.empty());
}

TEST(HttpFailures, AStalledServerEndsAtTheTotalTimeout) {
  LoopbackHttpServer server([](const HttpRequest&) { return HttpReply::Stall(); });
  const auto start = std::chrono::steady_clock::now();
  const HttpResponse response = HttpClient(ShortLimits()).Get(server.Url());
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(response.ok());
  EXPECT_NE(response.error.find("no complete answer within 300 ms"), std::string::npos) << response.error;
  EXPECT_LT(elapsed, std::chrono::seconds(10));
}

TEST(HttpSizeCap, AnAnswerLargerThanTheCapIsRefusedAndItsBytesDropped) {
  const std::string big(10 * 1024 * 1024, 'x');
  LoopbackHttpServer server([&](const HttpRequest&) { return HttpReply::Text(big); });
  const HttpResponse response = HttpClient().Get(server.Url());
  EXPECT_FALSE(response.ok());
  EXPECT_EQ(response.error, "the answer is larger than 1048576 bytes");
  EXPECT_TRUE(response.body.empty());
}

TEST(HttpSizeCap, AnAnswerOfExactlyTheCapIsAccepted) {
  HttpLimits limits;
  limits.max_body_bytes = 1000;
  LoopbackHttpServer server([](const HttpRequest&) { return HttpReply::Text(std::string(1000, 'y')); });
  const HttpResponse response = HttpClient(limits).Get(server.Url());
  EXPECT_TRUE(response.ok()) << response.error;
  EXPECT_EQ(response.body.size(), 1000u);
}

TEST(HttpRedirects, UpToThreeRedirectsAreFollowed) {
  LoopbackHttpServer server([](const HttpRequest& request) {
    const int hop = request.target.back() - '0';
    if (hop < 3) return HttpReply::Redirect("/hop" + std::to_string(hop + 1));
    return HttpReply::Text("arrived");
  });
  const HttpResponse response = HttpClient().Get(server.Url("/hop0"));
  EXPECT_TRUE(response.ok()) << response.error;
  EXPECT_EQ(response.body, "arrived");
  EXPECT_EQ(response.final_url, server.Url("/hop3"));
  EXPECT_EQ(server.RequestCount(), 4u);
}

TEST(HttpRedirects, AFourthRedirectIsRefused) {
  LoopbackHttpServer server([](const HttpRequest& request) {
    const int hop = request.target.back() - '0';
    if (hop < 4) return HttpReply::Redirect("/hop" + std::to_string(hop + 1));
    return HttpReply::Text("arrived");
  });
  const HttpResponse response = HttpClient().Get(server.Url("/hop0"));
  EXPECT_FALSE(response.ok());
  EXPECT_EQ(response.error, "more than 3 redirects");
  EXPECT_EQ(server.RequestCount(), 4u);
}

TEST(HttpRedirects, ARedirectToAnotherSchemeIsRefused) {
  for (const char* target : {"file:///etc/passwd", "ftp://127.0.0.1/x", "gopher://127.0.0.1/x"}) {
    LoopbackHttpServer server([&](const HttpRequest&) { return HttpReply::Redirect(target); });
    const HttpResponse response = HttpClient(ShortLimits()).Get(server.Url("/start"));
    EXPECT_FALSE(response.ok()) << target;
    EXPECT_TRUE(response.body.empty()) << target;
  }
}

TEST(HttpSchemes, OnlyHttpAndHttpsAddressesAreRequested) {
  for (const char* url : {"file:///etc/passwd", "ftp://127.0.0.1/", "127.0.0.1/x", "", "dict://x"}) {
    const HttpResponse response = HttpClient().Get(url);
    EXPECT_FALSE(response.ok()) << url;
    EXPECT_EQ(response.error.rfind("only http and https addresses are allowed", 0), 0u) << url;
  }
}

TEST(HttpSchemes, TheSchemeIsMatchedWithoutRegardToCase) {
  LoopbackHttpServer server([](const HttpRequest&) { return HttpReply::Text("ok"); });
  std::string url = server.Url("/");
  url.replace(0, 4, "HTTP");
  EXPECT_TRUE(HttpClient().Get(url).ok());
}

TEST(UrlEncodeTest, KeepsUnreservedCharactersAndEncodesEverythingElse) {
  EXPECT_EQ(UrlEncode("aZ09-._~"), "aZ09-._~");
  EXPECT_EQ(UrlEncode("a b&c=d/e"), "a%20b%26c%3Dd%2Fe");
  EXPECT_EQ(UrlEncode("é"), "%C3%A9");
  EXPECT_EQ(UrlEncode(""), "");
}

}  // namespace
}  // namespace platform
