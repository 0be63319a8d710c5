// The CDDB lookup: asks the server for the disc ("cddb query"), lets the user
// choose among several offers, reads the chosen disc ("cddb read"), keeps the
// answer in the local store and gives what it says about the disc.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "audio/cddb_reply.h"
#include "audio/cddb_store.h"
#include "zephrel/cddb_album_chooser.h"

namespace zephrel {

// The server: ZEPHREL_CDDB_URL when set (for tests), else the public server.
std::string CddbServerUrl();

// The request URL for a command: each word escaped and joined with '+', and
// the greeting of an anonymous client.
std::string CddbRequestUrl(const std::string& server, const std::vector<std::string>& command);

// An HTTP GET of url: the body, or nullopt when the request failed (no
// answer, an HTTP error, a body above the size cap, or stop requested).
using CddbFetch = std::function<std::optional<std::string>(const std::string& url, std::stop_token stop)>;

// The fetch over the engine's HTTP layer (timeouts and a size cap).
CddbFetch DefaultCddbFetch();

// The transport the engine's lookups use: the one SetCddbFetch installed, else
// DefaultCddbFetch. An empty fetch restores the default. For hosts and tests
// that answer the requests themselves.
void SetCddbFetch(CddbFetch fetch);
CddbFetch CurrentCddbFetch();

struct CddbLookupRequest {
  std::string server;
  std::string disc_key;              // the computed identifier: the index key of the store
  std::vector<std::string> query;    // the "cddb query" words
  const CddbStore* store = nullptr;  // where the chosen disc's answer is kept
  CddbFetch fetch;
  std::shared_ptr<CddbAlbumChooser> chooser;  // null: the first offer is taken
};

// The disc the server knows for the request, or nullopt (no answer, no match,
// a cancelled choice, a failed read). The answer is stored first; a disc read
// but not stored is still given.
std::optional<CddbDiscFile> LookUpCddb(const CddbLookupRequest& request, std::stop_token stop);

}  // namespace zephrel
