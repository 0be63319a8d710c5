// The genre vocabularies of the audio services: the eleven CDDB categories a
// server files discs under (the folders of the local store), and the table of
// 148 genre names in the order of the ID3v1 genre numbers.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zephrel {

inline constexpr std::array<std::string_view, 11> kCddbCategories = {
    "blues", "classical", "country", "data", "folk",      "jazz",
    "misc",  "newage",    "reggae",  "rock", "soundtrack"};

// The folder of the local store that holds discs saved by hand.
inline constexpr std::string_view kCddbCustomFolder = "Custom";

// The category a server's genre word names, in the store's lower-case
// spelling; nullopt for any other word (it is never used as a path).
std::optional<std::string> CddbCategory(std::string_view word);

// True for exactly eight hexadecimal digits, the form of a disc identifier.
bool IsCddbDiscIdWord(std::string_view word);

// The genre table: GenreCount() names, indexed by the ID3v1 genre number.
std::size_t GenreCount();
// The name at index, or nullopt outside the table.
std::optional<std::string_view> GenreName(std::int64_t index);

// The ID3v1 genre byte for a disc's genre text: the table entry that matches
// ignoring ASCII case, else the entry a CDDB category stands for, else 255
// (no genre).
std::uint8_t Id3GenreNumber(std::string_view genre);

}  // namespace zephrel
