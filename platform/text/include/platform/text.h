// Text conversions shared by every module. Strings inside the system are UTF-8
// (std::string / std::filesystem::path); the authoring engine's API keeps wide
// strings (32-bit wchar_t, one code point each); disc formats want UCS-2
// big-endian (Joliet) and OSTA CS0 (UDF).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Wide (UTF-32 wchar_t) to UTF-8. Code points that are not valid scalar values
// (surrogates, > 0x10FFFF) become U+FFFD.
std::string WideToUtf8(std::wstring_view wide);

// UTF-8 to wide. Bytes that are not valid UTF-8 are decoded as Windows-1252
// (see DecodeUtf8OrCp1252), so no input is ever rejected.
std::wstring Utf8ToWide(std::string_view utf8);

// A wide string (e.g. a file name handed to the authoring engine) as a path.
std::filesystem::path WideToPath(std::wstring_view wide);

// A path as a wide string (as the authoring engine keeps file names). The
// path's bytes are read as UTF-8 (see Utf8ToWide); never throws, unlike
// path::wstring(), which fails on any non-ASCII name here.
std::wstring PathToWide(const std::filesystem::path& path);

// A path's bytes as UTF-8 text, unchanged (never converted through the
// locale). Use this, not path::string() and friends, for every path that
// goes into a message, an argument vector or a setting.
std::string PathToUtf8(const std::filesystem::path& path);

// UTF-8 text as a path (the bytes are kept as they are).
std::filesystem::path Utf8ToPath(std::string_view utf8);

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates).
bool IsValidUtf8(std::string_view bytes);

// Decodes UTF-8 into code points; any byte that does not start a well-formed
// sequence is taken as one Windows-1252 character instead.
std::u32string DecodeUtf8OrCp1252(std::string_view bytes);

// Windows-1252 bytes to UTF-8 (the five undefined bytes map to U+FFFD).
std::string Cp1252ToUtf8(std::string_view bytes);

// ISO 8859-1 bytes to UTF-8: every byte is the code point of its value, so
// 80h-9Fh are the C1 controls (unlike Windows-1252).
std::string Latin1ToUtf8(std::string_view bytes);

// UTF-16 bytes (no BOM; little-endian unless big_endian) to UTF-8. Unpaired
// surrogates become U+FFFD; a last odd byte is dropped.
std::string Utf16ToUtf8(std::string_view bytes, bool big_endian = false);

// Makes text printable as UTF-8: valid UTF-8 is returned unchanged; in other
// text every byte that does not start a well-formed sequence is read as
// Windows-1252 (well-formed sequences are kept).
std::string ToUtf8Lenient(std::string_view bytes);

// UTF-8 to UCS-2 big-endian bytes (two per character), as Joliet stores names.
// Characters beyond the Basic Multilingual Plane become '_' (0x005F).
std::string Utf8ToUcs2Be(std::string_view utf8);

// UTF-8 to an OSTA CS0 byte string: a compression id byte (8 when every
// character fits in 8 bits, else 16) followed by the characters (one byte each,
// or two bytes big-endian). Characters beyond the BMP become '_'. Empty text
// gives an empty string (no compression id).
std::string Utf8ToCs0(std::string_view utf8);

// ASCII-only upper-casing: 'a'..'z' become 'A'..'Z'; every other byte,
// including every byte of a multi-byte UTF-8 sequence, is left untouched.
std::string AsciiUpper(std::string_view s);

// Case-insensitive ASCII comparison (other bytes compared exactly).
bool AsciiIEquals(std::string_view a, std::string_view b);

// Cuts UTF-8 text to at most max_bytes bytes without splitting a character.
std::string CutUtf8(std::string_view utf8, std::size_t max_bytes);

// Cuts UTF-8 text to at most max_chars characters (code points).
std::string CutUtf8Chars(std::string_view utf8, std::size_t max_chars);

// Number of code points in UTF-8 text (invalid bytes count one each).
std::size_t Utf8Length(std::string_view utf8);

}  // namespace platform
