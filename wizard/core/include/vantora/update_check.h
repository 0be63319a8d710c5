// The update check's pieces: the request and download addresses, the answer's
// first line, and versions compared by their numbers.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantora {

// The update server, host[:port]: the one the build names (CMake's
// VANTORA_UPDATE_SERVER), else $VANTORA_UPDATE_HOST (tests), else none. A
// packaged program names none and never looks for updates of itself.
std::string UpdateServer();

std::string UpdateRequestUrl(const std::string& host, const std::string& version);
std::string UpdateDownloadUrl(const std::string& host);

// A version "3.0.5" as its numbers; nullopt unless it is one or more decimal
// numbers joined by ".".
std::optional<std::vector<long>> ParseVersion(std::string_view text);
// <0, 0 or >0 as a is older than, equal to or newer than b; missing trailing
// numbers count as 0 ("3.1" equals "3.1.0").
int CompareVersions(const std::vector<long>& a, const std::vector<long>& b);

// The latest version named by an answer: its first line without a leading
// byte-order mark and surrounding blanks, cut at the first "_"; nullopt when
// the line has no "_".
std::optional<std::string> LatestVersionOfAnswer(std::string_view answer);

}  // namespace vantora
