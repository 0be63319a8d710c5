// HTTP requests over libcurl, with the limits every caller in the suite needs:
// bounded connect and total times, http and https only (redirects included),
// a few redirects at most and a capped answer. Failures are values: nothing
// here throws and every failure carries a sentence saying what went wrong.
#pragma once

#include <chrono>
#include <cstddef>
#include <stop_token>
#include <string>
#include <string_view>

namespace platform {

struct HttpLimits {
  std::chrono::milliseconds connect_timeout{10'000};
  std::chrono::milliseconds total_timeout{30'000};  // the whole request, body included
  int max_redirects = 3;
  std::size_t max_body_bytes = 1 << 20;  // 1 MiB
};

struct HttpResponse {
  // Empty when a complete answer with a 2xx status arrived; otherwise what
  // went wrong ("Couldn't connect to server", "the server answered 404 Not
  // Found", "the answer is larger than 1048576 bytes" ...).
  std::string error;
  long status = 0;           // the final HTTP status, 0 when no answer arrived
  std::string body;          // the bytes received (also for a non-2xx answer)
  std::string content_type;  // as sent, empty when absent
  std::string final_url;     // after redirects

  bool ok() const { return error.empty(); }
};

// One request at a time per client; distinct clients may be used from
// distinct threads at once. Virtual so that callers can take a fake. Once
// stop is requested, a request under way ends within about a second with the
// error "the request was stopped", and a new one fails at once.
class HttpClient {
 public:
  explicit HttpClient(HttpLimits limits = {}, std::stop_token stop = {})
      : limits_(limits), stop_(std::move(stop)) {}
  virtual ~HttpClient() = default;

  // GET url. Blocks until the answer is complete, a limit is reached or the
  // request fails.
  virtual HttpResponse Get(std::string_view url);
  // POST body (sent as content_type) to url.
  virtual HttpResponse Post(std::string_view url, std::string_view body, std::string_view content_type);

  const HttpLimits& limits() const { return limits_; }

 private:
  HttpResponse Perform(std::string_view url, const std::string_view* post_body,
                       std::string_view content_type);

  HttpLimits limits_;
  std::stop_token stop_;
};

// Percent-encodes text for a query value (RFC 3986 unreserved characters are
// kept; a blank becomes "%20").
std::string UrlEncode(std::string_view text);

}  // namespace platform
