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

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fileio.h"

namespace platform {

// Value of key in section, or def when the file, the section or the key is
// missing or the file cannot be read.
std::string ReadIni(const std::filesystem::path& file, std::string_view section, std::string_view key,
                    std::string_view def);

// Writes key = value into section. A missing file is created. Returns false and
// fills *error when the file cannot be read back or written; the file is then
// unchanged. Writes from several threads of one process are serialised, so
// none is lost. section and key must not be empty and must not contain line breaks
// or ']' (section) / '=' (key); value must not contain line breaks.
bool WriteIni(const std::filesystem::path& file, std::string_view section, std::string_view key,
              std::string_view value, FileError* error = nullptr);

// The parsed view of INI text, for callers that read many keys at once.
class IniDocument {
 public:
  // Decodes bytes (BOMs, UTF-16LE/BE) and splits them into lines. Never fails:
  // lines that mean nothing are kept as they are.
  static IniDocument Parse(std::string_view bytes);
  // Reads file. A missing file gives an empty document with error->code ENOENT;
  // any other failure an empty document with the error.
  static IniDocument Load(const std::filesystem::path& file, FileError* error);

  // First value of section/key, or nullptr. The pointer stays valid until the
  // next Set or until the document is destroyed.
  const std::string* Find(std::string_view section, std::string_view key) const;
  std::string Get(std::string_view section, std::string_view key, std::string_view def) const;
  // Replaces or appends, keeping every other line. Returns false (document
  // unchanged) when section, key or value break the rules WriteIni states.
  bool Set(std::string_view section, std::string_view key, std::string_view value);
  // Serialises with the original line endings (CRLF when the file used CRLF);
  // a UTF-8 BOM is kept, and text read from UTF-16 is written as UTF-8 with BOM.
  std::string Serialize() const;

 private:
  struct Entry {
    std::size_t line;     // index into lines_
    std::string section;  // as written in the section header, trimmed
    std::string key;      // trimmed
    std::string value;    // trimmed, one layer of quotes removed, UTF-8
  };
  void Index();

  // Raw lines, each with its own line break ("" on a last unterminated line).
  std::vector<std::string> lines_;
  std::vector<Entry> entries_;  // key lines in file order
  std::string eol_ = "\n";      // for lines the document adds
  bool bom_ = false;            // emit a UTF-8 BOM
};

}  // namespace platform
