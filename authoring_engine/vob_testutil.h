// Test helpers for the VOB writer: analysed clips, the menu used by several
// tests (three rectangles and one mask bitmap), and readers of fields.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "dvd_checks.h"
#include "mpeg_analysis.h"
#include "subpicture_encoder.h"

namespace morvix::testing {

// A fresh scratch folder for one test's output.
std::filesystem::path NewOutputDir(const std::string& name);

// The clip analysed as a menu or a movie (part size as given when above 0);
// null when the clip is missing or the analysis fails.
std::unique_ptr<MpegFile> Analysed(const std::filesystem::path& clip, bool menu,
                                   std::uint64_t part_bytes = 0);

// An 80x60 24-bit BMP made by ffmpeg: black, white (top), red, blue (bottom)
// quarters.
std::filesystem::path QuarterMask();

// Three 40x30 rectangle buttons at (100,100), (100,160), (100,220) and the
// quarter mask at (300,120).
std::vector<MenuButton> FourButtons();

using dvdcheck::RunTool;

}  // namespace morvix::testing
