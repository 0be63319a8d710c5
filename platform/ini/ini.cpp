#include "platform/ini.h"

#include <sys/stat.h>

#include <cerrno>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/text.h"

namespace platform {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && IsQuote(v.front()) && v.front() == v.back()) return v.substr(1, v.size() - 2);
  return v;
}

// The line's text without its line break.
std::string_view Text(const std::string& line) {
  std::string_view t = line;
  if (t.empty() || t.back() != '\n') return t;  // a last line without a break
  t.remove_suffix(1);
  if (!t.empty() && t.back() == '\r') t.remove_suffix(1);
  return t;
}

std::string_view LineBreak(const std::string& line) {
  return std::string_view(line).substr(Text(line).size());
}

struct Classified {
  enum Kind { kOther, kSection, kKey } kind = kOther;
  std::string name;   // section name or key
  std::string value;  // kKey only
};

Classified Classify(std::string_view raw) {
  Classified c;
  const std::string text = ToUtf8Lenient(raw);
  std::string_view t = Trim(text);
  if (t.empty() || t.front() == ';') return c;
  if (t.front() == '[') {
    std::size_t close = t.find(']');
    if (close == std::string_view::npos) return c;  // junk
    c.kind = Classified::kSection;
    c.name = Trim(t.substr(1, close - 1));
    return c;
  }
  std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return c;
  std::string_view key = Trim(t.substr(0, eq));
  if (key.empty()) return c;
  c.kind = Classified::kKey;
  c.name = key;
  c.value = Unquote(Trim(t.substr(eq + 1)));
  return c;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// The value as written so that reading it back gives it unchanged: quoted
// when trimming or quote stripping would otherwise alter it.
std::string Encode(std::string_view value) {
  bool quote =
      !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) ||
                         (value.size() >= 2 && IsQuote(value.front()) && value.front() == value.back()));
  return quote ? "\"" + std::string(value) + "\"" : std::string(value);
}

}  // namespace

IniDocument IniDocument::Parse(std::string_view bytes) {
  IniDocument doc;
  std::string decoded;
  if (bytes.substr(0, 3) == kUtf8Bom) {
    doc.bom_ = true;
    bytes.remove_prefix(3);
  } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
             static_cast<unsigned char>(bytes[1]) == 0xFE) {
    doc.bom_ = true;
    decoded = Utf16ToUtf8(bytes.substr(2), false);
    bytes = decoded;
  } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
             static_cast<unsigned char>(bytes[1]) == 0xFF) {
    doc.bom_ = true;
    decoded = Utf16ToUtf8(bytes.substr(2), true);
    bytes = decoded;
  }
  bool eol_known = false;
  while (!bytes.empty()) {
    std::size_t nl = bytes.find('\n');
    std::size_t len = nl == std::string_view::npos ? bytes.size() : nl + 1;
    doc.lines_.emplace_back(bytes.substr(0, len));
    if (!eol_known && nl != std::string_view::npos) {
      doc.eol_ = nl > 0 && bytes[nl - 1] == '\r' ? "\r\n" : "\n";
      eol_known = true;
    }
    bytes.remove_prefix(len);
  }
  doc.Index();
  return doc;
}

IniDocument IniDocument::Load(const std::filesystem::path& file, FileError* error) {
  FileError local;
  std::optional<std::string> bytes = ReadFile(file, &local);
  if (error) *error = local;
  if (!bytes) return IniDocument();
  return Parse(*bytes);
}

void IniDocument::Index() {
  entries_.clear();
  bool in_section = false;
  std::string section;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    Classified c = Classify(Text(lines_[i]));
    if (c.kind == Classified::kSection) {
      in_section = true;
      section = std::move(c.name);
    } else if (c.kind == Classified::kKey && in_section) {
      entries_.push_back(Entry{i, section, std::move(c.name), std::move(c.value)});
    }
  }
}

const std::string* IniDocument::Find(std::string_view section, std::string_view key) const {
  const std::string section_text = ToUtf8Lenient(Trim(section));
  const std::string key_text = ToUtf8Lenient(Trim(key));
  for (const Entry& e : entries_) {
    if (AsciiIEquals(e.section, section_text) && AsciiIEquals(e.key, key_text)) return &e.value;
  }
  return nullptr;
}

std::string IniDocument::Get(std::string_view section, std::string_view key, std::string_view def) const {
  const std::string* v = Find(section, key);
  return v ? *v : std::string(def);
}

bool IniDocument::Set(std::string_view section_arg, std::string_view key_arg, std::string_view value_arg) {
  // The document is UTF-8: stray bytes in the arguments are read as Windows-1252.
  const std::string section_text = ToUtf8Lenient(Trim(section_arg));
  const std::string key_text = ToUtf8Lenient(Trim(key_arg));
  const std::string value_text = ToUtf8Lenient(value_arg);
  const std::string_view section = section_text, key = key_text, value = value_text;
  if (section.empty() || HasLineBreak(section) || section.find(']') != std::string_view::npos) return false;
  if (key.empty() || HasLineBreak(key) || key.find('=') != std::string_view::npos || key.front() == ';' ||
      key.front() == '[') {
    return false;
  }
  if (HasLineBreak(value)) return false;
  const std::string encoded = Encode(value);

  // Replace the first occurrence in place, keeping the text up to the value.
  for (const Entry& e : entries_) {
    if (!AsciiIEquals(e.section, section) || !AsciiIEquals(e.key, key)) continue;
    std::string& line = lines_[e.line];
    const std::string_view text = Text(line);
    std::size_t start = text.find('=') + 1;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
    line = std::string(text.substr(0, start)) + encoded + std::string(LineBreak(line));
    Index();
    return true;
  }

  const std::string new_line = std::string(key) + "=" + encoded + eol_;
  auto terminate = [&](std::size_t i) {
    if (LineBreak(lines_[i]).empty()) lines_[i] += eol_;
  };
  // Append to the first occurrence of the section, after its last key.
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    Classified c = Classify(Text(lines_[i]));
    if (c.kind != Classified::kSection || !AsciiIEquals(c.name, section)) continue;
    std::size_t after = i;
    for (std::size_t j = i + 1; j < lines_.size(); ++j) {
      Classified d = Classify(Text(lines_[j]));
      if (d.kind == Classified::kSection) break;
      if (d.kind == Classified::kKey) after = j;
    }
    terminate(after);
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(after + 1), new_line);
    Index();
    return true;
  }

  // A new section at the end, set off by a blank line.
  if (!lines_.empty()) {
    terminate(lines_.size() - 1);
    if (!Trim(Text(lines_.back())).empty()) lines_.push_back(eol_);
  }
  lines_.push_back("[" + std::string(section) + "]" + eol_);
  lines_.push_back(new_line);
  Index();
  return true;
}

std::string IniDocument::Serialize() const {
  std::string out;
  if (bom_) out += kUtf8Bom;
  for (const std::string& line : lines_) out += line;
  return out;
}

std::string ReadIni(const std::filesystem::path& file, std::string_view section, std::string_view key,
                    std::string_view def) {
  // One key is read line by line, in pieces of the file: memory follows the
  // longest line, not the file (a large index asked for one key).
  FileError error;
  File in = File::Open(file, File::Mode::kRead, &error);
  struct stat st {};
  if (!in.is_open() || ::fstat(in.fd(), &st) != 0 || !S_ISREG(st.st_mode)) return std::string(def);
  const std::string section_text = ToUtf8Lenient(Trim(section));
  const std::string key_text = ToUtf8Lenient(Trim(key));
  std::string pending;  // the start of a line not yet ended
  std::vector<char> chunk(64 * 1024);
  bool first = true, in_section = false;
  std::optional<std::string> found;
  // Classifies one line; true once the key is found.
  const auto line = [&](std::string_view raw) {
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    Classified c = Classify(raw);
    if (c.kind == Classified::kSection) {
      in_section = AsciiIEquals(c.name, section_text);
    } else if (c.kind == Classified::kKey && in_section && AsciiIEquals(c.name, key_text)) {
      found = std::move(c.value);
    }
    return found.has_value();
  };
  for (;;) {
    FileError read_error;
    const std::size_t n = in.ReadFully(chunk.data(), chunk.size(), &read_error);
    if (read_error) return std::string(def);
    std::string_view bytes(chunk.data(), n);
    if (first) {
      first = false;
      const bool utf16 =
          bytes.size() >= 2 &&
          ((static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) ||
           (static_cast<unsigned char>(bytes[0]) == 0xFE && static_cast<unsigned char>(bytes[1]) == 0xFF));
      if (utf16) return IniDocument::Load(file, &error).Get(section, key, def);  // rare: decoded whole
      if (bytes.substr(0, 3) == kUtf8Bom) bytes.remove_prefix(3);
    }
    for (std::size_t nl; (nl = bytes.find('\n')) != std::string_view::npos;) {
      const bool done =
          pending.empty() ? line(bytes.substr(0, nl)) : line(pending.append(bytes.substr(0, nl)));
      pending.clear();
      if (done) return *found;
      bytes.remove_prefix(nl + 1);
    }
    pending.append(bytes);
    if (n < chunk.size()) break;  // the end of the file
  }
  if (!pending.empty() && line(pending)) return *found;
  return std::string(def);
}

bool WriteIni(const std::filesystem::path& file, std::string_view section, std::string_view key,
              std::string_view value, FileError* error) {
  // Read, change and replace as one step, so that concurrent writers in this
  // process do not lose each other's keys.
  static std::mutex write_mutex;
  std::lock_guard<std::mutex> lock(write_mutex);
  FileError local;
  FileError* err = error ? error : &local;
  IniDocument doc = IniDocument::Load(file, err);
  if (*err && err->code != ENOENT) return false;
  if (!doc.Set(section, key, value)) {
    err->code = EINVAL;
    err->message = "write " + file.string() + ": invalid section, key or value for an INI file";
    return false;
  }
  *err = FileError();
  return WriteFileAtomic(file, doc.Serialize(), err);
}

}  // namespace platform
