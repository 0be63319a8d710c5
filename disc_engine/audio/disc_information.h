// The disc information of the audio CD whose table of contents was read last:
// the table itself, one title and one selection flag per track, the CDDB
// identifier and query, and album, artist, year and genre. One process-wide
// set, behind one mutex: the CDDB lookup writes it from its thread while
// members read and edit it and a rip starts from a copy.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "audio/cd_toc.h"
#include "audio/cddb_reply.h"

namespace zephrel {

struct DiscState {
  CdToc toc;
  std::vector<std::string> titles;     // one per track of toc
  std::vector<std::int32_t> selected;  // one per track of toc; -1 selects a track for ripping
  std::string identifier;              // eight hexadecimal digits; empty until a disc is identified
  std::vector<std::string> query;      // the words of the last "cddb query" command
  std::string album = "Unknown";
  std::string artist = "Unknown";
  std::string year = "2006";
  std::string genre = "Rock";

  // Takes a new table of contents: titles "Track 01", "Track 02", ..., no
  // track selected. The identifier and the texts stay.
  void ReplaceToc(CdToc new_toc);
  // Album, artist, year and genre back to "Unknown", "Unknown", "2006", "Rock".
  void SetPresets();
  // Works out the identifier and the query from the table of contents; a
  // table without tracks empties the query and keeps the identifier.
  void Identify();
  // Takes artist, album, year, genre and the title of every track from a disc
  // file (missing values become empty).
  void Apply(const CddbDiscFile& file);

  // The title of track index (0-based), empty outside the list.
  std::string Title(std::int64_t index) const;
  // Sets the title of track index (0-based), cut at the field width; an index
  // outside the list is ignored.
  void SetTitle(std::int64_t index, std::string_view title);
};

class DiscInformation {
 public:
  static DiscInformation& Process();

  // Runs f(state) with the mutex held and returns what f returns. f must not
  // call back into this object.
  template <class F>
  auto Locked(F&& f) {
    std::lock_guard lock(mutex_);
    return f(state_);
  }
  DiscState Snapshot() const {
    std::lock_guard lock(mutex_);
    return state_;
  }

 private:
  mutable std::mutex mutex_;
  DiscState state_;
};

}  // namespace zephrel
