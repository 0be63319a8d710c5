// The CDDB members: the disc information, the lookup on a thread of its own
// (one at a time, beside any disc job) and the local store.
#include <atomic>
#include <filesystem>
#include <mutex>

#include "audio/cddb_genres.h"
#include "audio/cddb_lookup.h"
#include "audio/cddb_store.h"
#include "audio/disc_information.h"
#include "jobs/job_state.h"
#include "platform/fileio.h"
#include "platform/text.h"
#include "zephrel/iso_builder.h"

namespace zephrel {

using platform::HResult;
using platform::S_OK;

namespace {

std::atomic<bool> g_lookup_running{false};

// Clears the one-lookup guard when the lookup ends, however it ends.
class LookupGuard {
 public:
  LookupGuard() = default;
  LookupGuard(const LookupGuard&) = delete;
  LookupGuard& operator=(const LookupGuard&) = delete;
  ~LookupGuard() { Release(); }
  void Release() {
    if (held_) g_lookup_running.store(false);
    held_ = false;
  }

 private:
  bool held_ = true;
};

std::string Get(std::string DiscState::*field) {
  return DiscInformation::Process().Locked([field](DiscState& s) { return s.*field; });
}

void Set(std::string DiscState::*field, const std::string& value) {
  DiscInformation::Process().Locked([&](DiscState& s) { s.*field = value; });
}

void LookupThread(const std::shared_ptr<ISOBuilderEvents>& events, const std::filesystem::path& base,
                  std::shared_ptr<CddbAlbumChooser> chooser, std::stop_token stop) {
  LookupGuard guard;
  try {
    CddbLookupRequest request;
    const CdToc toc = TocOfRecords(TrackList::Process().Records());
    DiscInformation::Process().Locked([&](DiscState& s) {
      s.Identify(toc);
      request.disc_key = s.identifier;
      request.query = s.query;
    });
    const CddbStore store(base);
    store.CreateFolders();
    request.server = CddbServerUrl();
    request.store = &store;
    request.fetch = CurrentCddbFetch();
    request.chooser = std::move(chooser);
    if (std::optional<CddbDiscFile> disc = LookUpCddb(request, stop)) ApplyDiscFile(*disc);
  } catch (...) {
    // The presets stay; the request still ends below.
  }
  guard.Release();  // before the end event: its handler may ask again
  events->CDDBOnEndRequest(1);
}

}  // namespace

HResult ISOBuilder::RequestCDDB(const std::string& RepDest) {
  if (g_lookup_running.exchange(true)) {
    // One lookup at a time: this request ends at once, leaving the running one
    // and the disc information alone.
    StartBackgroundEnd([](ISOBuilderEvents& events) { events.CDDBOnEndRequest(1); });
    return S_OK;
  }
  DiscInformation::Process().Locked([](DiscState& s) { s.SetPresets(); });
  const bool started = EngineState::Instance().threads.Start(
      [events = events_, base = platform::Utf8ToPath(RepDest),
       chooser = cddb_chooser_](std::stop_token stop) { LookupThread(events, base, chooser, stop); });
  if (!started) g_lookup_running.store(false);
  return S_OK;
}

HResult ISOBuilder::CDDB_Localread(const std::string& PathFile) {
  const CdToc toc = TocOfRecords(TrackList::Process().Records());
  const std::string key = DiscInformation::Process().Locked([&](DiscState& s) {
    s.Identify(toc);
    return s.identifier;
  });
  const bool has_tracks = !toc.tracks.empty();
  const CddbStore store{platform::Utf8ToPath(PathFile)};
  std::optional<CddbDiscFile> disc;
  if (has_tracks) {
    if (const std::optional<std::filesystem::path> file = store.Find(key)) {
      platform::FileError error;
      if (const std::optional<std::string> bytes = platform::ReadFile(*file, &error)) {
        disc = ParseCddbDiscFile(*bytes);
      }
    }
  }
  // Not in the store, or its file cannot be read: ask the server.
  if (!disc) return RequestCDDB(PathFile);
  ApplyDiscFile(*disc);
  events_->CDDBOnEndRequest(1);
  return S_OK;
}

HResult ISOBuilder::CDDB_ManualSaveInfos(const std::string& PathFile) {
  const DiscState state = DiscInformation::Process().Snapshot();
  if (state.identifier.empty()) return S_OK;
  ManualDiscInfo info{state.identifier, state.artist, state.album, state.year, state.genre, {}};
  for (const TrackRecord& record : TrackList::Process().Records()) info.titles.push_back(record.title);
  // A file that cannot be written is not reported, as the member promises.
  platform::FileError error;
  CddbStore(platform::Utf8ToPath(PathFile)).SaveManual(info, &error);
  return S_OK;
}

HResult ISOBuilder::CDDB_GetAlbum(std::string& pVal) {
  pVal = Get(&DiscState::album);
  return S_OK;
}

HResult ISOBuilder::CDDB_GetArtist(std::string& pVal) {
  pVal = Get(&DiscState::artist);
  return S_OK;
}

HResult ISOBuilder::CDDB_GetYear(std::string& pVal) {
  pVal = Get(&DiscState::year);
  return S_OK;
}

HResult ISOBuilder::CDDb_GetGenre(std::string& pVal) {
  pVal = Get(&DiscState::genre);
  return S_OK;
}

HResult ISOBuilder::CDDB_SetArtist(const std::string& Artist) {
  Set(&DiscState::artist, Artist);
  return S_OK;
}

HResult ISOBuilder::CDDB_SetAlbum(const std::string& Album) {
  Set(&DiscState::album, Album);
  return S_OK;
}

HResult ISOBuilder::CDDB_SetYear(const std::string& MyYEAR) {
  Set(&DiscState::year, MyYEAR);
  return S_OK;
}

HResult ISOBuilder::CDDB_SetGenre(const std::string& myGenre) {
  Set(&DiscState::genre, myGenre);
  return S_OK;
}

HResult ISOBuilder::CDDB_GetTrackTitle(std::int32_t index, std::string& pVal) {
  pVal = TrackList::Process().GetTrackTitle(index);
  return S_OK;
}

// Counted from 1, unlike the getter.
HResult ISOBuilder::CDDB_SetTrackTitle(std::int32_t index, const std::string& TrackTitle) {
  TrackList::Process().SetTrackTitle(index - 1, TrackTitle.c_str());
  return S_OK;
}

HResult ISOBuilder::CDDB_GetNbTrack(std::int32_t& pVal) {
  pVal = TrackList::Process().Count();
  return S_OK;
}

HResult ISOBuilder::GetCDDBGenre(std::int32_t index, std::string& pVal) {
  pVal = std::string(GenreName(index).value_or(""));
  return S_OK;
}

HResult ISOBuilder::GetCDDBNbGenre(std::int32_t& pVal) {
  pVal = static_cast<std::int32_t>(GenreCount());
  return S_OK;
}

}  // namespace zephrel
