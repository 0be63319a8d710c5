#include "audio/cddb_lookup.h"

#include <cstdlib>
#include <mutex>

#include "platform/http.h"

namespace zephrel {

namespace {

constexpr const char* kDefaultServer = "http://gnudb.gnudb.org/~cddb/cddb.cgi";
// Who the client says it is: never the user's login name.
constexpr const char* kHello = "anonymous+localhost+Zephrel+1.0";

std::mutex g_fetch_mutex;
CddbFetch g_fetch;

// Reads the offer from the server and keeps it; nullopt when the read fails or
// its answer is no disc file.
std::optional<CddbDiscFile> ReadOffer(const CddbLookupRequest& request, const CddbMatch& offer,
                                      std::stop_token stop) {
  const std::optional<std::string> answer =
      request.fetch(CddbRequestUrl(request.server, {"cddb", "read", offer.genre, offer.disc_id}), stop);
  if (!answer) return std::nullopt;
  std::optional<CddbDiscFile> disc = ParseCddbDiscFile(*answer);
  if (!disc) return std::nullopt;
  if (request.store) {
    // Kept under the offer's words, which the query reader validated. A disc
    // read but not kept is still the disc.
    platform::FileError ignored;
    request.store->StoreServerAnswer(request.disc_key, offer.genre, offer.disc_id, *answer, &ignored);
  }
  return disc;
}

}  // namespace

void SetCddbFetch(CddbFetch fetch) {
  std::lock_guard lock(g_fetch_mutex);
  g_fetch = std::move(fetch);
}

CddbFetch CurrentCddbFetch() {
  std::lock_guard lock(g_fetch_mutex);
  return g_fetch ? g_fetch : DefaultCddbFetch();
}

std::string CddbServerUrl() {
  const char* url = std::getenv("ZEPHREL_CDDB_URL");
  return url && *url ? url : kDefaultServer;
}

std::string CddbRequestUrl(const std::string& server, const std::vector<std::string>& command) {
  std::string url = server + "?cmd=";
  for (std::size_t i = 0; i < command.size(); ++i) {
    if (i > 0) url += '+';
    url += platform::UrlEncode(command[i]);
  }
  url += "&hello=";
  url += kHello;
  url += "&proto=5";
  return url;
}

std::optional<CddbDiscFile> LookUpCddb(const CddbLookupRequest& request, std::stop_token stop) {
  if (request.query.empty() || !request.fetch) return std::nullopt;
  const std::optional<std::string> answer =
      request.fetch(CddbRequestUrl(request.server, request.query), stop);
  if (!answer) return std::nullopt;
  const CddbQueryReply reply = ParseCddbQueryReply(*answer);
  if (reply.matches.empty()) return std::nullopt;
  if (reply.status == CddbQueryStatus::kExact) return ReadOffer(request, reply.matches.front(), stop);

  std::size_t chosen = 0;
  if (request.chooser) {
    CddbAlbumChoice choice;
    for (const CddbMatch& match : reply.matches) choice.rows.push_back(match.genre + " : " + match.title);
    const std::optional<std::size_t> row = request.chooser->ChooseAlbum(choice);
    if (!row) return std::nullopt;
    if (*row < reply.matches.size()) chosen = *row;
  }
  if (stop.stop_requested()) return std::nullopt;
  return ReadOffer(request, reply.matches[chosen], stop);
}

}  // namespace zephrel
