// Names from the file system are untrusted: any bytes must give identifiers
// that are unique within each directory, fit their limits, and a layout whose
// records parse back.
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "image/iso9660_layout.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<zephrel::TreeElement> tree;
  std::vector<std::int32_t> folders{zephrel::kRootId};
  std::size_t pos = 0;
  while (pos < size && tree.size() < 64) {
    const std::uint8_t control = data[pos++];
    std::string name;
    while (pos < size && data[pos] != '\n') name.push_back(static_cast<char>(data[pos++]));
    ++pos;
    zephrel::TreeElement e;
    e.name = name;
    e.id = static_cast<std::int32_t>(tree.size() + 1);
    e.parent_id = folders[control % folders.size()];
    e.kind = (control & 0x80) ? zephrel::kKindFolder : zephrel::kKindFile;
    e.file_size = control;
    e.source_path = "/x";
    if (e.is_folder()) folders.push_back(e.id);
    tree.push_back(e);
  }
  for (bool dvd : {false, true}) {
    zephrel::LayoutOptions options;
    options.dvd_video = dvd;
    options.clock = [] { return std::chrono::system_clock::time_point(); };
    zephrel::LayoutResult r = zephrel::LayOutIso9660(tree, options);
    Check(r.ok());
    std::map<std::int32_t, std::set<std::string>> iso, joliet;
    for (const auto& e : tree) {
      const zephrel::ElementLayout& l = r.layout.elements.at(e.id);
      Check(!l.iso_identifier.empty() && l.iso_identifier.size() <= 31);
      Check(iso[e.parent_id].insert(l.iso_identifier).second);
      Check(l.iso_record_length <= 255 && l.iso_record_length % 2 == 0);
      if (!dvd) {
        Check(!l.joliet_identifier.empty() && l.joliet_identifier.size() <= 128);
        Check(joliet[e.parent_id].insert(l.joliet_identifier).second);
      }
      for (unsigned char c : l.iso_identifier) Check(c >= 0x20 && c < 0x7F && c != '/' && c != ';');
    }
  }
  return 0;
}
