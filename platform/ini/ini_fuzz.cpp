#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ini.h"
#include "platform/text.h"

// Parse + Serialize gives the bytes back (input without a UTF-16 BOM); a Set is
// read back after a fresh Parse and leaves the other keys' values unchanged.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The last 64 bytes choose "section|key|value"; the rest is the file.
  const std::size_t split = bytes.size() > 64 ? bytes.size() - 64 : 0;
  const std::string_view text = bytes.substr(0, split);
  const std::string_view control = bytes.substr(split);

  platform::IniDocument doc = platform::IniDocument::Parse(text);
  const bool utf16 = text.size() >= 2 && (text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF");
  if (!utf16 && doc.Serialize() != text) __builtin_trap();

  std::string section = "S", key = "K", value(control);
  const std::size_t a = control.find('|');
  const std::size_t b = a == std::string_view::npos ? a : control.find('|', a + 1);
  if (b != std::string_view::npos) {
    section = control.substr(0, a);
    key = control.substr(a + 1, b - a - 1);
    value = control.substr(b + 1);
  }

  const std::vector<std::pair<std::string, std::string>> probes = {{"S", "K"}, {"a", "b"}, {"Fuzz", "x"}};
  std::vector<std::string> before;
  for (const auto& [s, k] : probes) before.push_back(doc.Get(s, k, "\x01missing"));

  if (!doc.Set(section, key, value)) return 0;
  const platform::IniDocument after = platform::IniDocument::Parse(doc.Serialize());
  const std::string* got = after.Find(section, key);
  if (!got || *got != platform::ToUtf8Lenient(value)) __builtin_trap();
  for (std::size_t i = 0; i < probes.size(); ++i) {
    const auto& [s, k] = probes[i];
    if (after.Find(s, k) == after.Find(section, key)) continue;  // the key just written
    if (after.Get(s, k, "\x01missing") != before[i]) __builtin_trap();
  }
  return 0;
}
