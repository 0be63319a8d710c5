// The build behind CMorvixAPI::Build: validation of the settings, cleaning of
// the output folder, then the analysis and writing of every menu and movie
// and the information files, with progress reported as one overall percent.
#pragma once

#include <cstdint>
#include <string>

#include "morvix/morvix_api.h"
#include "morvix/settings.h"

namespace morvix {

struct BuildOptions {
  std::uint64_t part_bytes = 0;  // test hook: movie part size instead of 1 GiB (0 = default)
};

// Runs a whole build from settings, which the caller keeps unchanged and
// alive for the call (Build hands it a private copy). Returns 0, kStopped
// when progress asked to stop, or an error code with error's file and title
// set for the texts that name them. Never throws.
Status BuildVideoTs(const SettingData& settings, ProgressCallback progress, const BuildOptions& options,
                    ErrorContext& error) noexcept;

// Overall percent of a report of step (1..9) at step_percent, for the title
// index title (0-based) of title_count titles.
double OverallPercent(int step, double step_percent, int title, int title_count);

// The text of a step for the title index title (0-based).
std::wstring StepText(int step, int title);

// True for the names of a DVD-Video file set (VIDEO_TS.IFO/BUP/VOB,
// VTS_nn_m.IFO/BUP/VOB), compared without regard to case.
bool IsDvdVideoFileName(const std::string& name);

}  // namespace morvix
