// Private-profile (INI) files with the semantics Windows programs expect:
// section and key lookup ignore ASCII case, the first occurrence wins, values
// are trimmed and one layer of matching quotes ("..." or '...') is stripped.
// A write replaces the first occurrence of the key in place (or appends it to
// the section, creating the section at the end of the file), keeps every other
// line, comment, blank line and the file's line endings, and replaces the file
// atomically. Files are read as UTF-8 (with or without BOM) or UTF-16LE with BOM;
// a file read as UTF-16 is written back as UTF-8. Lines that are neither
// sections, keys nor comments are ignored on read and kept on write.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fileio.h"

namespace platform {

// Value of key in section, or def when the file, the section or the key is
// missing or the file cannot be read.
std::string ReadIni(const std::filesystem::path& file, std::string_view section,
                    std::string_view key, std::string_view def);

// Writes key = value into section. A missing file is created. Returns false and
// fills *error when the file cannot be read back or written; the file is then
// unchanged. section and key must not be empty and must not contain line breaks
// or ']' (section) / '=' (key); value must not contain line breaks.
bool WriteIni(const std::filesystem::path& file, std::string_view section, std::string_view key,
              std::string_view value, FileError* error = nullptr);

// The parsed view of INI text, for callers that read many keys at once.
class IniDocument {
 public:
  // Decodes bytes (BOMs, UTF-16LE) and splits them into lines.
  static IniDocument Parse(std::string_view bytes);
  static IniDocument Load(const std::filesystem::path& file, FileError* error);

  // First value of section/key, or nullptr.
  const std::string* Find(std::string_view section, std::string_view key) const;
  std::string Get(std::string_view section, std::string_view key, std::string_view def) const;
  // Replaces or appends, keeping every other line.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  // Serialises with the original line ending (CRLF when the file used CRLF).
  std::string Serialize() const;

 private:
  // Representation is the implementation's own.
  std::vector<std::string> lines_;
  std::string eol_ = "\n";
  bool trailing_eol_ = true;
};

}  // namespace platform
