// The CDDB disc identifier and the words of the "cddb query" command, worked
// out from the table of contents: every track counts (data tracks too) and the
// disc ends at the TOC's lead-out, as CDDB servers and the stored index keys
// expect.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/cd_toc.h"

namespace zephrel {

// The 32-bit identifier: digit sums of the track starts in seconds (mod 255)
// in the top byte, the playing time in seconds in the middle 16 bits, the
// track count in the low byte. toc must hold at least one track.
std::uint32_t CddbDiscId(const CdToc& toc);

// The identifier as eight lower-case hexadecimal digits.
std::string CddbDiscIdText(std::uint32_t id);

// The query command as words: "cddb", "query", the identifier, the track
// count, each track's start frame and the disc length in whole seconds. Empty
// for a table without tracks.
std::vector<std::string> CddbQueryWords(const CdToc& toc);

}  // namespace zephrel
