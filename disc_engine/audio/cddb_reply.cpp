#include "audio/cddb_reply.h"

#include <charconv>

#include "audio/cddb_genres.h"
#include "platform/text.h"

namespace zephrel {

namespace {

std::string AsUtf8(std::string_view bytes) {
  return platform::IsValidUtf8(bytes) ? std::string(bytes) : platform::Latin1ToUtf8(bytes);
}

// Calls line(text) for each line of bytes, without its CR/LF; stops early when
// line returns false.
template <class F>
void ForEachLine(std::string_view bytes, F&& line) {
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    std::string_view text = bytes.substr(0, end);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
    if (!line(text)) return;
    if (end == std::string_view::npos) return;
    bytes.remove_prefix(end + 1);
  }
}

// The lines after an answer's status line, up to the terminating ".".
template <class F>
void ForEachBodyLine(std::string_view bytes, F&& line) {
  bool status_line = true;
  ForEachLine(bytes, [&](std::string_view text) {
    if (status_line) {
      status_line = false;
      return true;
    }
    return text != "." && line(text);
  });
}

std::string_view FirstLine(std::string_view bytes) {
  std::string_view first;
  ForEachLine(bytes, [&](std::string_view text) {
    first = text;
    return false;
  });
  return first;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Splits off the next blank-separated word of text.
std::string_view NextWord(std::string_view& text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  std::size_t j = i;
  while (j < text.size() && !IsBlank(text[j])) ++j;
  const std::string_view word = text.substr(i, j - i);
  text.remove_prefix(j);
  return word;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string Field(std::string_view utf8) { return platform::CutUtf8Chars(utf8, kCddbFieldChars); }

std::string Lower(std::string_view word) {
  std::string out(word);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// A match from "genre discid title": nullopt when genre or identifier is not
// of the expected form.
std::optional<CddbMatch> ReadMatch(std::string_view rest) {
  const std::optional<std::string> genre = CddbCategory(NextWord(rest));
  const std::string_view id = NextWord(rest);
  if (!genre || !IsCddbDiscIdWord(id)) return std::nullopt;
  return CddbMatch{*genre, Lower(id), Field(TrimBlanks(rest))};
}

}  // namespace

CddbQueryReply ParseCddbQueryReply(std::string_view answer) {
  const std::string utf8 = AsUtf8(answer);
  const std::string_view bytes = utf8;
  CddbQueryReply reply;
  std::string_view first = FirstLine(bytes);
  const std::string_view code = first.substr(0, 3);
  if (code == "200") {
    reply.status = CddbQueryStatus::kExact;
    NextWord(first);
    if (std::optional<CddbMatch> match = ReadMatch(first)) {
      reply.matches.push_back(std::move(*match));
    }
  } else if (code == "210" || code == "211") {
    reply.status = CddbQueryStatus::kSeveral;
    ForEachBodyLine(bytes, [&](std::string_view text) {
      if (std::optional<CddbMatch> match = ReadMatch(text)) {
        reply.matches.push_back(std::move(*match));
      }
      return reply.matches.size() < kCddbMaxMatches;
    });
  } else if (code == "202") {
    reply.status = CddbQueryStatus::kNoMatch;
  }
  return reply;
}

std::optional<CddbDiscFile> ParseCddbDiscFile(std::string_view answer) {
  if (answer.substr(0, 3) != "210") return std::nullopt;
  const std::string utf8 = AsUtf8(answer);
  const std::string_view bytes = utf8;
  // Joined raw values first, so a value split over lines is cut once, as a whole.
  std::string dtitle, year, genre;
  std::vector<std::string> titles;
  auto append = [](std::string& to, std::string_view more) {
    // Enough bytes for kCddbFieldChars characters of any width; the rest is cut anyway.
    constexpr std::size_t kRawCap = kCddbFieldChars * 4 + 4;
    if (to.size() < kRawCap) to += platform::CutUtf8(more, kRawCap - to.size());
  };
  ForEachBodyLine(bytes, [&](std::string_view text) {
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos || text.front() == '#') return true;
    const std::string_view key = text.substr(0, eq);
    const std::string_view value = text.substr(eq + 1);
    if (key == "DTITLE") {
      append(dtitle, value);
    } else if (key == "DYEAR") {
      append(year, value);
    } else if (key == "DGENRE") {
      append(genre, value);
    } else if (key.size() > 6 && key.substr(0, 6) == "TTITLE") {
      const std::string_view digits = key.substr(6);
      std::size_t index = 0;
      const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
      const bool canonical = error == std::errc() && end == digits.data() + digits.size() &&
                             (digits.size() == 1 || digits.front() != '0');
      if (canonical && index < kCddbMaxTracks) {
        if (titles.size() <= index) titles.resize(index + 1);
        append(titles[index], value);
      }
    }
    return true;
  });

  CddbDiscFile file;
  const std::size_t split = dtitle.find(" / ");
  if (split == std::string::npos) {
    file.artist = Field(dtitle);
    file.album = file.artist;
  } else {
    file.artist = Field(std::string_view(dtitle).substr(0, split));
    file.album = Field(std::string_view(dtitle).substr(split + 3));
  }
  file.year = Field(year);
  file.genre = Field(genre);
  for (const std::string& title : titles) file.titles.push_back(Field(title));
  return file;
}

}  // namespace zephrel
