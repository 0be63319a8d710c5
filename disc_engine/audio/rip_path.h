// Output paths of ripped tracks: the output folder, optionally artist and album
// folders, and a file name made from the ripper's name pattern.
#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace zephrel {

// What the pattern codes stand for (UTF-8, as the disc information holds them).
struct RipTrackNames {
  std::string title, artist, album, year;
};

// One substituted value made safe as (part of) a file name: the characters
// / \ : * ? < > | . and '"' and control characters become '_', leading and
// trailing blanks go, the text is cut to 255 bytes on a character boundary,
// and an empty result becomes "Unknown".
std::string CleanNameComponent(std::string_view text);

// The pattern with its codes replaced: at '%' the next characters are tested
// in the order N, T, A, C, Y, each on the character after the last one taken
// (so "%NT" gives the number and then the title); N is the track number in two
// digits, T the title, A the album, C the artist, Y the year, each cleaned. A
// '%' that no code follows is dropped.
std::string ExpandNamePattern(std::string_view pattern, int track, const RipTrackNames& names);

// Builds the paths of one rip. The cleaned texts are copies: the caller's
// titles stay as they are.
class RipPathBuilder {
 public:
  // output_folder/[artist/album/]name.extension. The output folder and the
  // artist and album folders are created when missing. A name that an earlier
  // call of this builder gave gets " (2)", " (3)" ... before the extension.
  // nullopt with error set for an empty output folder or a folder that cannot
  // be created.
  std::optional<std::filesystem::path> Build(const std::string& output_folder, bool subfolders,
                                             std::string_view pattern, int track, const RipTrackNames& names,
                                             std::string_view extension, std::string* error);

 private:
  std::set<std::filesystem::path> used_;
};

}  // namespace zephrel
