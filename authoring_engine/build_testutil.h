// Test helpers for whole builds: settings for the usual discs and the
// independent readers that check the folders written.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "dvd_checks.h"
#include "morvix/morvix_api.h"

namespace morvix::testing {

// A 3-second NTSC 16:9 menu clip without audio (made once per test run).
std::filesystem::path NtscMenuClip();

// Adds a title of one chapter (or chapters at starts) for clip; returns its number.
int AddClipTitle(CMorvixAPI& api, const std::filesystem::path& clip, std::vector<float> starts = {0.0f});

// Adds a main menu on clip with one 60x40 button per title, stacked from
// (100, 100), each jumping to its title.
void AddTitleButtons(CMorvixAPI& api, const std::filesystem::path& clip, int titles);

using dvdcheck::CountOf;
using dvdcheck::TestTool;

}  // namespace morvix::testing
