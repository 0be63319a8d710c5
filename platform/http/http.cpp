#include "platform/http.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace platform {
namespace {

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Sink {
  std::string* body = nullptr;
  std::size_t limit = 0;
  bool too_large = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const std::size_t n = size * count;
  if (sink->body->size() + n > sink->limit) {
    sink->too_large = true;
    return 0;  // makes curl stop with CURLE_WRITE_ERROR
  }
  sink->body->append(data, n);
  return n;
}

// Called by curl about once a second even while nothing arrives, so a stop
// is seen in a stalled connection too.
int CheckStop(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const std::stop_token*>(user)->stop_requested() ? 1 : 0;
}

bool SchemeAllowed(std::string_view url) {
  const auto colon = url.find("://");
  if (colon == std::string_view::npos) return false;
  std::string scheme(url.substr(0, colon));
  for (char& c : scheme) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return scheme == "http" || scheme == "https";
}

std::string ReasonPhrase(long status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    case 502:
      return "Bad Gateway";
    case 503:
      return "Service Unavailable";
    default:
      return {};
  }
}

}  // namespace

HttpResponse HttpClient::Get(std::string_view url) { return Perform(url, nullptr, {}); }

HttpResponse HttpClient::Post(std::string_view url, std::string_view body, std::string_view content_type) {
  return Perform(url, &body, content_type);
}

HttpResponse HttpClient::Perform(std::string_view url, const std::string_view* post_body,
                                 std::string_view content_type) {
  HttpResponse response;
  if (!SchemeAllowed(url)) {
    response.error = "only http and https addresses are allowed: " + std::string(url);
    return response;
  }
  if (stop_.stop_requested()) {
    response.error = "the request was stopped";
    return response;
  }
  InitialiseCurlOnce();
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
  if (!curl) {
    response.error = "the HTTP library could not start a request";
    return response;
  }
  CURL* h = curl.get();
  const std::string url_text(url);
  char error_buffer[CURL_ERROR_SIZE] = {};
  Sink sink{&response.body, limits_.max_body_bytes, false};

  curl_easy_setopt(h, CURLOPT_URL, url_text.c_str());
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_buffer);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, static_cast<long>(limits_.max_redirects));
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits_.connect_timeout.count()));
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(limits_.total_timeout.count()));
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &WriteBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
  // A declared length above the cap fails before any byte is read.
  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits_.max_body_bytes));
  curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(h, CURLOPT_USERAGENT, "Vantora");
  if (stop_.stop_possible()) {
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &CheckStop);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &stop_);
  }

  struct curl_slist* headers = nullptr;
  std::string content_type_header;
  if (post_body) {
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, post_body->data());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(post_body->size()));
    if (!content_type.empty()) {
      content_type_header = "Content-Type: " + std::string(content_type);
      headers = curl_slist_append(headers, content_type_header.c_str());
    }
    // No "Expect: 100-continue" round trip.
    headers = curl_slist_append(headers, "Expect:");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
  }

  const CURLcode code = curl_easy_perform(h);
  curl_slist_free_all(headers);

  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.status);
  char* type = nullptr;
  if (curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type) response.content_type = type;
  char* final_url = nullptr;
  if (curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &final_url) == CURLE_OK && final_url)
    response.final_url = final_url;

  if (sink.too_large || code == CURLE_FILESIZE_EXCEEDED) {
    response.error = "the answer is larger than " + std::to_string(limits_.max_body_bytes) + " bytes";
    response.body.clear();
  } else if (code == CURLE_ABORTED_BY_CALLBACK) {
    response.error = "the request was stopped";
    response.body.clear();
  } else if (code == CURLE_OPERATION_TIMEDOUT) {
    response.error = "no complete answer within " + std::to_string(limits_.total_timeout.count()) + " ms";
    if (error_buffer[0]) response.error += " (" + std::string(error_buffer) + ")";
  } else if (code == CURLE_TOO_MANY_REDIRECTS) {
    response.error = "more than " + std::to_string(limits_.max_redirects) + " redirects";
  } else if (code != CURLE_OK) {
    response.error = error_buffer[0] ? std::string(error_buffer) : std::string(curl_easy_strerror(code));
  } else if (response.status < 200 || response.status > 299) {
    const std::string reason = ReasonPhrase(response.status);
    response.error =
        "the server answered " + std::to_string(response.status) + (reason.empty() ? "" : " " + reason);
  }
  return response;
}

std::string UrlEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                            c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace platform
