// The disc information of the audio CD whose table of contents was read last:
// the CDDB identifier and query, and album, artist, year and genre. The track
// titles and selection flags are those of the drive layer's track list. One
// process-wide set behind one mutex (the track list has its own): the CDDB
// lookup writes both from its thread while members read and edit them and a
// rip starts from copies.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "audio/cd_toc.h"
#include "audio/cddb_reply.h"
#include "drive/toc.h"

namespace zephrel {

struct DiscState {
  std::string identifier;          // eight hexadecimal digits; empty until a disc is identified
  std::vector<std::string> query;  // the words of the last "cddb query" command
  std::string album = "Unknown";
  std::string artist = "Unknown";
  std::string year = "2006";
  std::string genre = "Rock";

  // Album, artist, year and genre back to "Unknown", "Unknown", "2006", "Rock".
  void SetPresets();
  // Works out the identifier and the query from a table of contents; one
  // without tracks empties the query and keeps the identifier.
  void Identify(const CdToc& toc);
  // Takes artist, album, year and genre from a disc file (missing values
  // become empty).
  void Apply(const CddbDiscFile& file);
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

// The table of contents of track records: TOC starts (not the starts a disc
// copy put in their place), the lead-out after the last, and each track's own
// size where the drive gave one.
CdToc TocOfRecords(const std::vector<TrackRecord>& records);

// Fills the disc information and the track list's titles (track 0 to n - 1)
// from a disc file.
void ApplyDiscFile(const CddbDiscFile& file);

}  // namespace zephrel
