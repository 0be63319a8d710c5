// The lookup's transport: one HTTP GET with timeouts, a size cap and a stop
// check, over libcurl.
#include <curl/curl.h>

#include <mutex>

#include "audio/cddb_lookup.h"

namespace zephrel {

namespace {

constexpr std::size_t kMaxAnswerBytes = 4 << 20;
constexpr long kConnectSeconds = 10;
constexpr long kTotalSeconds = 30;

struct Transfer {
  std::string body;
  bool too_big = false;
  std::stop_token stop;
};

std::size_t Write(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t bytes = size * count;
  if (transfer->body.size() + bytes > kMaxAnswerBytes) {
    transfer->too_big = true;
    return 0;
  }
  transfer->body.append(data, bytes);
  return bytes;
}

int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<Transfer*>(user)->stop.stop_requested() ? 1 : 0;
}

std::optional<std::string> Get(const std::string& url, std::stop_token stop) {
  static std::once_flag init;
  std::call_once(init, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  CURL* curl = curl_easy_init();
  if (!curl) return std::nullopt;
  Transfer transfer{{}, false, stop};
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, kTotalSeconds);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Write);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, Progress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
  const CURLcode result = curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  if (result != CURLE_OK || transfer.too_big) return std::nullopt;
  return std::move(transfer.body);
}

}  // namespace

CddbFetch DefaultCddbFetch() { return Get; }

}  // namespace zephrel
