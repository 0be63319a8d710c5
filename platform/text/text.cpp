#include "platform/text.h"

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 code points for bytes 0x80..0x9F; 0 marks the five undefined bytes.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88..8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98..9F
};

char32_t Cp1252ToCodePoint(unsigned char b) {
  if (b < 0x80 || b >= 0xA0) return b;
  char16_t c = kCp1252High[b - 0x80];
  return c ? c : kReplacement;
}

// Length of the well-formed UTF-8 sequence starting at s[i] (1..4) with its
// code point in *cp, or 0 when s[i] does not start one.
std::size_t DecodeOne(std::string_view s, std::size_t i, char32_t* cp) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    *cp = b0;
    return 1;
  }
  std::size_t len;
  char32_t value;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    value = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    value = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;  // no overlongs
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    value = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;  // no overlongs
    if (b0 == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (s.size() - i < len) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    const unsigned char min = k == 1 ? lo : 0x80;
    const unsigned char max = k == 1 ? hi : 0xBF;
    if (b < min || b > max) return 0;
    value = (value << 6) | (b & 0x3F);
  }
  *cp = value;
  return len;
}

// Bytes taken by the character at s[i]: a well-formed sequence, or one byte.
std::size_t CharLength(std::string_view s, std::size_t i) {
  char32_t cp;
  std::size_t n = DecodeOne(s, i, &cp);
  return n ? n : 1;
}

bool IsScalarValue(char32_t cp) { return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF); }

void AppendUtf8(std::string& out, char32_t cp) {
  if (!IsScalarValue(cp)) cp = kReplacement;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string EncodeUtf8(const std::u32string& cps) {
  std::string out;
  out.reserve(cps.size());
  for (char32_t cp : cps) AppendUtf8(out, cp);
  return out;
}

// Code points of UTF-8 text limited to the Basic Multilingual Plane.
std::u32string DecodeBmp(std::string_view utf8) {
  std::u32string cps = DecodeUtf8OrCp1252(utf8);
  for (char32_t& cp : cps) {
    if (cp > 0xFFFF) cp = U'_';
  }
  return cps;
}

}  // namespace

std::string WideToUtf8(std::wstring_view wide) {
  static_assert(sizeof(wchar_t) == 4, "wide strings hold one code point per wchar_t");
  std::string out;
  out.reserve(wide.size());
  for (wchar_t c : wide) AppendUtf8(out, static_cast<char32_t>(c));
  return out;
}

std::wstring Utf8ToWide(std::string_view utf8) {
  std::u32string cps = DecodeUtf8OrCp1252(utf8);
  return std::wstring(cps.begin(), cps.end());
}

std::filesystem::path WideToPath(std::wstring_view wide) { return Utf8ToPath(WideToUtf8(wide)); }

std::wstring PathToWide(const std::filesystem::path& path) { return Utf8ToWide(path.native()); }

std::string PathToUtf8(const std::filesystem::path& path) { return path.native(); }

std::filesystem::path Utf8ToPath(std::string_view utf8) { return std::filesystem::path(std::string(utf8)); }

bool IsValidUtf8(std::string_view bytes) {
  char32_t cp;
  for (std::size_t i = 0; i < bytes.size();) {
    std::size_t n = DecodeOne(bytes, i, &cp);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::u32string DecodeUtf8OrCp1252(std::string_view bytes) {
  std::u32string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    char32_t cp;
    std::size_t n = DecodeOne(bytes, i, &cp);
    if (n == 0) {
      cp = Cp1252ToCodePoint(static_cast<unsigned char>(bytes[i]));
      n = 1;
    }
    out += cp;
    i += n;
  }
  return out;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) AppendUtf8(out, Cp1252ToCodePoint(static_cast<unsigned char>(c)));
  return out;
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) AppendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

std::string Utf16ToUtf8(std::string_view bytes, bool big_endian) {
  auto unit = [&](std::size_t i) -> char32_t {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    return big_endian ? (a << 8) | b : (b << 8) | a;
  };
  std::string out;
  out.reserve(bytes.size());
  const std::size_t units = bytes.size() / 2;
  for (std::size_t k = 0; k < units; ++k) {
    char32_t u = unit(2 * k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
      const char32_t low = unit(2 * (k + 1));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        ++k;
      }
    }
    AppendUtf8(out, u);  // a lone surrogate is not a scalar value: U+FFFD
  }
  return out;
}

std::string ToUtf8Lenient(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  return EncodeUtf8(DecodeUtf8OrCp1252(bytes));
}

std::string Utf8ToUcs2Be(std::string_view utf8) {
  std::string out;
  for (char32_t cp : DecodeBmp(utf8)) {
    out += static_cast<char>(cp >> 8);
    out += static_cast<char>(cp & 0xFF);
  }
  return out;
}

std::string Utf8ToCs0(std::string_view utf8) {
  std::u32string cps = DecodeBmp(utf8);
  if (cps.empty()) return std::string();
  bool narrow = true;
  for (char32_t cp : cps) narrow = narrow && cp <= 0xFF;
  std::string out;
  out.reserve(1 + cps.size() * (narrow ? 1 : 2));
  out += static_cast<char>(narrow ? 8 : 16);
  for (char32_t cp : cps) {
    if (!narrow) out += static_cast<char>(cp >> 8);
    out += static_cast<char>(cp & 0xFF);
  }
  return out;
}

std::string AsciiUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool AsciiIEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

std::string CutUtf8(std::string_view utf8, std::size_t max_bytes) {
  std::size_t end = 0;
  while (end < utf8.size()) {
    std::size_t n = CharLength(utf8, end);
    if (end + n > max_bytes) break;
    end += n;
  }
  return std::string(utf8.substr(0, end));
}

std::string CutUtf8Chars(std::string_view utf8, std::size_t max_chars) {
  std::size_t end = 0;
  for (std::size_t count = 0; end < utf8.size() && count < max_chars; ++count) end += CharLength(utf8, end);
  return std::string(utf8.substr(0, end));
}

std::size_t Utf8Length(std::string_view utf8) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < utf8.size(); i += CharLength(utf8, i)) ++count;
  return count;
}

}  // namespace platform
