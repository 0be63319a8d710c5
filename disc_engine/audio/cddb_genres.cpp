#include "audio/cddb_genres.h"

#include <algorithm>

#include "platform/text.h"

namespace zephrel {

namespace {

constexpr std::array<std::string_view, 148> kGenres = {"Blues",
                                                       "Classic Rock",
                                                       "Country",
                                                       "Dance",
                                                       "Disco",
                                                       "Funk",
                                                       "Grunge",
                                                       "Hip-Hop",
                                                       "Jazz",
                                                       "Metal",
                                                       "New Age",
                                                       "Oldies",
                                                       "Other",
                                                       "Pop",
                                                       "R&B",
                                                       "Rap",
                                                       "Reggae",
                                                       "Rock",
                                                       "Techno",
                                                       "Industrial",
                                                       "Alternative",
                                                       "Ska",
                                                       "Death Metal",
                                                       "Pranks",
                                                       "Soundtrack",
                                                       "Euro-Techno",
                                                       "Ambient",
                                                       "Trip Hop",
                                                       "Vocal",
                                                       "Jazz+Funk",
                                                       "Fusion",
                                                       "Trance",
                                                       "Classical",
                                                       "Instrumental",
                                                       "Acid",
                                                       "House",
                                                       "Game",
                                                       "Sound Clip",
                                                       "Gospel",
                                                       "Noise",
                                                       "Alternative Rock",
                                                       "Bass",
                                                       "Soul",
                                                       "Punk",
                                                       "Space",
                                                       "Meditative",
                                                       "Instrumental Pop",
                                                       "Instrumental Rock",
                                                       "Ethnic",
                                                       "Gothic",
                                                       "Darkwave",
                                                       "Techno-Industrial",
                                                       "Electronic",
                                                       "Pop-Folk",
                                                       "Eurodance",
                                                       "Dream",
                                                       "Southern Rock",
                                                       "Comedy",
                                                       "Cult",
                                                       "Gangsta Rap",
                                                       "Top 40",
                                                       "Christian Rap",
                                                       "Pop/Punk",
                                                       "Jungle",
                                                       "Native American",
                                                       "Cabaret",
                                                       "New Wave",
                                                       "Phychedelic",
                                                       "Rave",
                                                       "Showtunes",
                                                       "Trailer",
                                                       "Lo-Fi",
                                                       "Tribal",
                                                       "Acid Punk",
                                                       "Acid Jazz",
                                                       "Polka",
                                                       "Retro",
                                                       "Musical",
                                                       "Rock & Roll",
                                                       "Hard Rock",
                                                       "Folk",
                                                       "Folk/Rock",
                                                       "National Folk",
                                                       "Swing",
                                                       "Fast-Fusion",
                                                       "Bebob",
                                                       "Latin",
                                                       "Revival",
                                                       "Celtic",
                                                       "Blue Grass",
                                                       "Avantegarde",
                                                       "Gothic Rock",
                                                       "Progressive Rock",
                                                       "Psychedelic Rock",
                                                       "Symphonic Rock",
                                                       "Slow Rock",
                                                       "Big Band",
                                                       "Chorus",
                                                       "Easy Listening",
                                                       "Acoustic",
                                                       "Humour",
                                                       "Speech",
                                                       "Chanson",
                                                       "Opera",
                                                       "Chamber Music",
                                                       "Sonata",
                                                       "Symphony",
                                                       "Booty Bass",
                                                       "Primus",
                                                       "Porn Groove",
                                                       "Satire",
                                                       "Slow Jam",
                                                       "Club",
                                                       "Tango",
                                                       "Samba",
                                                       "Folklore",
                                                       "Ballad",
                                                       "power Ballad",
                                                       "Rhythmic Soul",
                                                       "Freestyle",
                                                       "Duet",
                                                       "Punk Rock",
                                                       "Drum Solo",
                                                       "A Capella",
                                                       "Euro-House",
                                                       "Dance Hall",
                                                       "Goa",
                                                       "Drum & Bass",
                                                       "Club-House",
                                                       "Hardcore",
                                                       "Terror",
                                                       "indie",
                                                       "Brit Pop",
                                                       "Negerpunk",
                                                       "Polsk Punk",
                                                       "Beat",
                                                       "Christian Gangsta Rap",
                                                       "Heavy Metal",
                                                       "Black Metal",
                                                       "Crossover",
                                                       "Comteporary Christian",
                                                       "Christian Rock",
                                                       "Merengue",
                                                       "Salsa",
                                                       "Trash Metal",
                                                       "Anime",
                                                       "JPop",
                                                       "Synth Pop"};

// The genre number each CDDB category stands for; "data" and "misc" have no
// genre of their own and count as Other.
constexpr std::array<std::uint8_t, kCddbCategories.size()> kCategoryGenres = {
    0 /*Blues*/,  32 /*Classical*/, 2 /*Country*/, 12 /*Other*/, 80 /*Folk*/, 8 /*Jazz*/,
    12 /*Other*/, 10 /*New Age*/,   16 /*Reggae*/, 17 /*Rock*/,  24 /*Soundtrack*/};

}  // namespace

std::optional<std::string> CddbCategory(std::string_view word) {
  for (std::string_view category : kCddbCategories) {
    if (platform::AsciiIEquals(word, category)) return std::string(category);
  }
  return std::nullopt;
}

bool IsCddbDiscIdWord(std::string_view word) {
  return word.size() == 8 && std::all_of(word.begin(), word.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
         });
}

std::size_t GenreCount() { return kGenres.size(); }

std::optional<std::string_view> GenreName(std::int64_t index) {
  if (index < 0 || index >= static_cast<std::int64_t>(kGenres.size())) return std::nullopt;
  return kGenres[static_cast<std::size_t>(index)];
}

std::uint8_t Id3GenreNumber(std::string_view genre) {
  for (std::size_t i = 0; i < kGenres.size(); ++i) {
    if (platform::AsciiIEquals(genre, kGenres[i])) return static_cast<std::uint8_t>(i);
  }
  for (std::size_t i = 0; i < kCddbCategories.size(); ++i) {
    if (platform::AsciiIEquals(genre, kCddbCategories[i])) return kCategoryGenres[i];
  }
  return 255;
}

}  // namespace zephrel
