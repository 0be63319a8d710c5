// The lookup's transport: one HTTP GET through the platform's HTTP layer, with
// its bounded times and answer size, that ends early when the lookup is
// stopped.
#include "audio/cddb_lookup.h"
#include "platform/http.h"

namespace zephrel {

CddbFetch DefaultCddbFetch() {
  return [](const std::string& url, std::stop_token stop) -> std::optional<std::string> {
    if (stop.stop_requested()) return std::nullopt;
    // A stop (UnloadCom, a new request) ends the request under way.
    platform::HttpResponse response = platform::HttpClient({}, stop).Get(url);
    if (!response.ok() || stop.stop_requested()) return std::nullopt;
    return std::move(response.body);
  };
}

}  // namespace zephrel
