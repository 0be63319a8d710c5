// Readers of CDDB server answers and of disc files in the xmcd format (the
// "cddb read" answer, which the local store keeps as it came). Every input is
// untrusted: any bytes give a result, never a failure of the reader.
//
// Text that is not valid UTF-8 is read as ISO 8859-1. Values are cut at
// kCddbFieldChars characters, on a character boundary; lines may be any length.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zephrel {

inline constexpr std::size_t kCddbFieldChars = 259;
// The most matches a query answer is read for.
inline constexpr std::size_t kCddbMaxMatches = 998;
// Track titles are kept for track indexes below this.
inline constexpr std::size_t kCddbMaxTracks = 100;

// One disc a server offers. genre is a CDDB category (lower case) and disc_id
// eight hexadecimal digits (lower case): offers with other words are dropped.
struct CddbMatch {
  std::string genre;
  std::string disc_id;
  std::string title;
};

enum class CddbQueryStatus {
  kExact,    // 200: one match
  kSeveral,  // 210 or 211: a list of matches
  kNoMatch,  // 202
  kOther,    // any other answer (errors, garbage)
};

struct CddbQueryReply {
  CddbQueryStatus status = CddbQueryStatus::kOther;
  std::vector<CddbMatch> matches;  // the usable matches (none for kNoMatch, kOther)
};

// Reads the answer to "cddb query".
CddbQueryReply ParseCddbQueryReply(std::string_view bytes);

// What a disc file says about the disc. A key that is missing gives an empty
// value; titles[i] is the title of track i (0-based), empty where none is given.
struct CddbDiscFile {
  std::string artist;
  std::string album;
  std::string year;
  std::string genre;
  std::vector<std::string> titles;

  std::string Title(std::size_t track) const { return track < titles.size() ? titles[track] : std::string(); }
};

// Reads a disc file: a first line beginning with "210", then "KEY=value" lines
// up to a line "." or the end. Values of a key given on several lines are
// joined; DTITLE is "artist / album" (split at the first " / "; without one,
// artist and album are both the whole value). nullopt when the first line does
// not begin with "210".
std::optional<CddbDiscFile> ParseCddbDiscFile(std::string_view bytes);

}  // namespace zephrel
