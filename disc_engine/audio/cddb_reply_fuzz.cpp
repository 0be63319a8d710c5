// Feeds arbitrary bytes to the CDDB answer readers; every answer must be read
// without a fault, and what is read must hold the reader's promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "audio/cddb_genres.h"
#include "audio/cddb_reply.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const zephrel::CddbQueryReply reply = zephrel::ParseCddbQueryReply(bytes);
  if (reply.matches.size() > zephrel::kCddbMaxMatches) std::abort();
  for (const zephrel::CddbMatch& match : reply.matches) {
    if (!zephrel::CddbCategory(match.genre) || !zephrel::IsCddbDiscIdWord(match.disc_id)) std::abort();
    if (!platform::IsValidUtf8(match.title)) std::abort();
  }
  if (const auto file = zephrel::ParseCddbDiscFile(bytes)) {
    if (file->titles.size() > zephrel::kCddbMaxTracks) std::abort();
    for (const std::string* value : {&file->artist, &file->album, &file->year, &file->genre}) {
      if (!platform::IsValidUtf8(*value) || platform::Utf8Length(*value) > zephrel::kCddbFieldChars)
        std::abort();
    }
  }
  return 0;
}
