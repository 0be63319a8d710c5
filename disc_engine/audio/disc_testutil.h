// Track lists for the audio tests: the process's track list as the TOC
// reader would leave it for a given table of contents.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/cd_toc.h"
#include "drive/toc.h"

namespace zephrel::testing {

// Track records for toc, numbered from 1, titled "Track 01" ..., none selected.
std::vector<TrackRecord> RecordsOf(const CdToc& toc);
// Replaces the process's track list with RecordsOf(toc).
void SetTrackList(const CdToc& toc);
// Two audio tracks at frames 150 and 14250, lead-out 27000 (disc id 0c016602).
CdToc TwoTrackToc();

}  // namespace zephrel::testing
