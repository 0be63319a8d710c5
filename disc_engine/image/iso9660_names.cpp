#include "image/iso9660_names.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>
#include <unordered_set>

#include "image/iso9660_format.h"
#include "platform/text.h"

namespace zephrel {

namespace {

bool IsForbidden(char32_t c) {
  return c < 0x20 || c == 0x7F || c == U'*' || c == U'/' || c == U':' || c == U';' || c == U'?' || c == U'\\';
}

char32_t AsciiUpper(char32_t c) { return (c >= U'a' && c <= U'z') ? c - U'a' + U'A' : c; }

// Position of a file's extension dot, or npos.
std::size_t ExtensionDot(const Identifier& id, bool is_file) {
  if (!is_file) return Identifier::npos;
  std::size_t dot = id.rfind(U'.');
  return (dot == Identifier::npos || dot == 0) ? Identifier::npos : dot;
}

int ComparePadded(const Identifier& a, std::size_t a_begin, std::size_t a_end, const Identifier& b,
                  std::size_t b_begin, std::size_t b_end) {
  std::size_t n = std::max(a_end - a_begin, b_end - b_begin);
  for (std::size_t i = 0; i < n; ++i) {
    char32_t ca = a_begin + i < a_end ? a[a_begin + i] : U' ';
    char32_t cb = b_begin + i < b_end ? b[b_begin + i] : U' ';
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return 0;
}

// Latin letters with diacritics (and a few with strokes) folded to their base
// letter; '_' where there is none. Rows: U+00C0-U+024F and U+1E00-U+1EFF.
constexpr std::u32string_view kLatinFrom00C0 =
    U"AAAAAA_CEEEEIIII_NOOOOO_OUUUUY__aaaaaa_ceeeeiiii_nooooo_ouuuuy_y"
    U"AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi__JjKk_LlLlLl_"
    U"_LlNnNnNn___OoOoOo__RrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZz_"
    U"b________D_____________I________Oo_____________Uu____Zz_________"
    U"_____________AaIiOoUuUuUuUuUu_AaAa__GgGgKkOoOo__j___Gg__NnAa____"
    U"AaAaEeEeIiIiOoOoRrRrUuUuSsTt__Hh______AaEeOoOoOoOoYy____________"
    U"________________";
constexpr std::u32string_view kLatinFrom1E00 =
    U"AaBbBbBbCcDdDdDdDdDdEeEeEeEeEeFfGgHhHhHhHhHhIiIiKkKkKkLlLlLlLlMm"
    U"MmMmNnNnNnNnOoOoOoOoPpPpRrRrRrRrSsSsSsSsSsTtTtTtTtUuUuUuUuUuVvVv"
    U"WwWwWwWwWwXxXxYyZzZzZzhtwy______AaAaAaAaAaAaAaAaAaAaAaAaEeEeEeEe"
    U"EeEeEeEeIiIiOoOoOoOoOoOoOoOoOoOoOoOoUuUuUuUuUuUuUuYyYyYyYy______";

// A Latin letter's base letter, or the character itself.
char32_t BaseLetter(char32_t c) {
  if (c >= 0xC0 && c < 0xC0 + kLatinFrom00C0.size()) {
    char32_t base = kLatinFrom00C0[c - 0xC0];
    return base == U'_' ? c : base;
  }
  if (c >= 0x1E00 && c < 0x1E00 + kLatinFrom1E00.size()) {
    char32_t base = kLatinFrom1E00[c - 0x1E00];
    return base == U'_' ? c : base;
  }
  return c;
}

bool IsCombiningMark(char32_t c) { return c >= 0x0300 && c <= 0x036F; }

}  // namespace

std::size_t IdentifierLimit(Hierarchy hierarchy) {
  return hierarchy == Hierarchy::kIso ? iso9660::kIsoNameLimit : iso9660::kJolietNameLimit;
}

Identifier MapIdentifier(std::string_view utf8_name, bool is_file, Hierarchy hierarchy) {
  Identifier id = platform::DecodeUtf8OrCp1252(utf8_name);
  if (id.empty()) id = U"_";  // a record needs an identifier
  for (char32_t& c : id) {
    if (IsForbidden(c)) {
      c = U'_';
    } else if (hierarchy == Hierarchy::kIso) {
      c = c >= 0x80 ? U'_' : AsciiUpper(c);
    } else if (c > 0xFFFF) {
      c = U'_';
    }
  }
  const std::size_t limit = IdentifierLimit(hierarchy);
  if (id.size() > limit) {
    id = is_file ? id.substr(0, limit - 4) + id.substr(id.size() - 4) : id.substr(0, limit);
  }
  return id;
}

void MakeIdentifiersUnique(std::vector<Identifier>& ids, const std::vector<bool>& is_file,
                           Hierarchy hierarchy) {
  std::unordered_set<Identifier> all(ids.begin(), ids.end());
  if (all.size() == ids.size()) return;
  const std::size_t limit = IdentifierLimit(hierarchy);
  std::unordered_set<Identifier> claimed;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (claimed.insert(ids[i]).second) continue;
    const Identifier& original = ids[i];
    std::size_t dot = ExtensionDot(original, is_file[i]);
    Identifier ext = dot == Identifier::npos ? Identifier() : original.substr(dot);
    Identifier base = dot == Identifier::npos ? original : original.substr(0, dot);
    if (ext.size() > limit / 2) {  // an extension too long to keep whole
      base = original;
      ext.clear();
    }
    for (unsigned n = 1;; ++n) {
      std::string digits = std::to_string(n);
      std::size_t room = limit - ext.size() - digits.size();
      Identifier candidate = base.substr(0, std::min(base.size(), room));
      candidate.append(digits.begin(), digits.end());
      candidate += ext;
      if (!all.count(candidate) && !claimed.count(candidate)) {
        claimed.insert(candidate);
        ids[i] = std::move(candidate);
        break;
      }
    }
  }
}

bool IdentifierLess(const Identifier& a, bool a_is_file, const Identifier& b, bool b_is_file) {
  std::size_t a_dot = ExtensionDot(a, a_is_file);
  std::size_t b_dot = ExtensionDot(b, b_is_file);
  std::size_t a_name_end = a_dot == Identifier::npos ? a.size() : a_dot;
  std::size_t b_name_end = b_dot == Identifier::npos ? b.size() : b_dot;
  int c = ComparePadded(a, 0, a_name_end, b, 0, b_name_end);
  if (c == 0) {
    std::size_t a_ext = a_dot == Identifier::npos ? a.size() : a_dot + 1;
    std::size_t b_ext = b_dot == Identifier::npos ? b.size() : b_dot + 1;
    c = ComparePadded(a, a_ext, a.size(), b, b_ext, b.size());
  }
  if (c != 0) return c < 0;
  return a < b;  // identifiers equal but for padding: any fixed order
}

std::string EncodeIdentifier(const Identifier& id, Hierarchy hierarchy) {
  std::string out;
  if (hierarchy == Hierarchy::kIso) {
    out.reserve(id.size());
    for (char32_t c : id) out.push_back(static_cast<char>(c));
  } else {
    out.reserve(id.size() * 2);
    for (char32_t c : id) {
      out.push_back(static_cast<char>(c >> 8));
      out.push_back(static_cast<char>(c & 0xFF));
    }
  }
  return out;
}

std::string DescriptorText(std::string_view utf8, Hierarchy hierarchy, std::size_t max_bytes) {
  Identifier text = platform::DecodeUtf8OrCp1252(utf8);
  if (hierarchy == Hierarchy::kIso) {
    // "été" reads "ETE" rather than "_T_": accents (precomposed or combining)
    // are dropped before the character rule.
    std::erase_if(text, IsCombiningMark);
    for (char32_t& c : text) c = BaseLetter(c);
  }
  for (char32_t& c : text) {
    if (hierarchy == Hierarchy::kIso) {
      c = (c >= 0x80 || c < 0x20 || c == 0x7F) ? U'_' : AsciiUpper(c);
    } else if (c > 0xFFFF || c < 0x20) {
      c = U'_';
    }
  }
  std::size_t width = hierarchy == Hierarchy::kIso ? 1 : 2;
  if (text.size() * width > max_bytes) text.resize(max_bytes / width);
  return EncodeIdentifier(text, hierarchy);
}

bool CompareElementNames(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char ca = static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(a[i])));
    unsigned char cb = static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(b[i])));
    if (ca != cb) return ca < cb;
  }
  return a.size() < b.size();
}

}  // namespace zephrel
