#include "audio/rip_path.h"

#include <cstdio>
#include <system_error>

#include "platform/text.h"

namespace zephrel {
namespace {

constexpr std::size_t kMaxComponentBytes = 255;
constexpr std::string_view kForbidden = "/\\:*?<>|.\"";

bool CreateFolder(const std::filesystem::path& folder, std::string* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return true;
  std::filesystem::create_directories(folder, ec);
  if (ec || !std::filesystem::is_directory(folder, ec)) {
    *error =
        "The folder " + platform::PathToUtf8(folder) + " cannot be created" + (ec ? ": " + ec.message() : "");
    return false;
  }
  return true;
}

}  // namespace

std::string CleanNameComponent(std::string_view text) {
  std::string clean;
  clean.reserve(text.size());
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    clean += (u < 0x20 || u == 0x7F || kForbidden.find(c) != std::string_view::npos) ? '_' : c;
  }
  const std::size_t first = clean.find_first_not_of(' ');
  if (first == std::string::npos) return "Unknown";
  clean = clean.substr(first, clean.find_last_not_of(' ') - first + 1);
  clean = platform::CutUtf8(clean, kMaxComponentBytes);
  return clean.empty() ? "Unknown" : clean;
}

std::string ExpandNamePattern(std::string_view pattern, int track, const RipTrackNames& names) {
  char number[16];
  std::snprintf(number, sizeof number, "%.2d", track);
  const std::string values[] = {number, CleanNameComponent(names.title), CleanNameComponent(names.album),
                                CleanNameComponent(names.artist), CleanNameComponent(names.year)};
  constexpr std::string_view codes = "NTACY";
  std::string name;
  std::size_t i = 0;
  while (i < pattern.size()) {
    if (pattern[i] != '%') {
      name += pattern[i++];
      continue;
    }
    ++i;
    for (std::size_t c = 0; c < codes.size(); ++c) {
      if (i < pattern.size() && pattern[i] == codes[c]) {
        name += values[c];
        ++i;
      }
    }
  }
  return name;
}

std::optional<std::filesystem::path> RipPathBuilder::Build(const std::string& output_folder, bool subfolders,
                                                           std::string_view pattern, int track,
                                                           const RipTrackNames& names,
                                                           std::string_view extension, std::string* error) {
  if (output_folder.empty()) {
    *error = "No output folder is set for ripped tracks.";
    return std::nullopt;
  }
  std::filesystem::path folder = platform::Utf8ToPath(output_folder);
  if (!CreateFolder(folder, error)) return std::nullopt;
  if (subfolders) {
    folder /= platform::Utf8ToPath(CleanNameComponent(names.artist));
    if (!CreateFolder(folder, error)) return std::nullopt;
    folder /= platform::Utf8ToPath(CleanNameComponent(names.album));
    if (!CreateFolder(folder, error)) return std::nullopt;
  }
  // The pattern's own text may not leave the folder either.
  std::string stem = ExpandNamePattern(pattern, track, names);
  for (char& c : stem) {
    if (c == '/' || c == '\0') c = '_';
  }
  const std::string suffix = "." + std::string(extension);
  const std::size_t room = kMaxComponentBytes - suffix.size() - 8;  // room for " (nnn)"
  stem = platform::CutUtf8(stem, room);
  if (stem.empty() || stem == "." || stem == "..") stem = "Unknown";
  std::filesystem::path path = folder / platform::Utf8ToPath(stem + suffix);
  for (int n = 2; used_.count(path) != 0; ++n)
    path = folder / platform::Utf8ToPath(stem + " (" + std::to_string(n) + ")" + suffix);
  used_.insert(path);
  return path;
}

}  // namespace zephrel
