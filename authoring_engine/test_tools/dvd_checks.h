// Test-side runners of the independent DVD readers (dvdread_check,
// dvdnav_harness, and any other program) for the end-to-end tests of the
// authoring engine and the authoring control.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace dvdcheck {

// Runs argv (no shell) and returns its exit status (-1 when it could not run)
// with its standard output and error in *output.
int RunTool(const std::vector<std::string>& argv, std::string* output = nullptr);

// A program from the build tree's test_tools folder.
std::filesystem::path TestTool(const std::string& name);

// Occurrences of needle in text.
int CountOf(const std::string& text, const std::string& needle);

// The lines of text, without their line ends.
std::vector<std::string> Lines(const std::string& text);

// Fails the current test unless libdvdread reads every table and every
// navigation pack of the VIDEO_TS folder dir without a warning or mismatch.
void ExpectDvdreadAcceptsEverything(const std::filesystem::path& dir);

// Fails the current test unless libdvdnav, playing dir with the harness
// actions, reports exactly trace (its "menu", "title", "stop", "end" and
// "error" lines).
void ExpectPlaysAs(const std::filesystem::path& dir, const std::vector<std::string>& actions,
                   const std::string& trace);

}  // namespace dvdcheck
