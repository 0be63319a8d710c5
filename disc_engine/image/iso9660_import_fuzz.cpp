// The sectors of a session come from a disc: any bytes must give a tree whose
// parents come first, whose ids follow one another and whose file extents lie
// in the recorded area, without a crash or an endless walk.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "image/iso9660_import.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint32_t sectors = static_cast<std::uint32_t>(size / 2048);
  const zephrel::iso9660::SectorReader read = [&](std::uint32_t lba, std::uint32_t count,
                                                  std::span<std::uint8_t> buffer) {
    if (std::uint64_t(lba) + count > sectors || buffer.size() != std::size_t(count) * 2048) return false;
    std::memcpy(buffer.data(), data + std::size_t(lba) * 2048, buffer.size());
    return true;
  };
  const auto tree = zephrel::iso9660::ReadSessionTree(read, 0, sectors, 0);
  std::unordered_set<std::int32_t> folders{zephrel::kRootId};
  std::int32_t id = 0;
  for (const zephrel::TreeElement& e : tree.elements) {
    Check(e.id == ++id);
    Check(folders.count(e.parent_id) == 1);
    Check(!e.name.empty());
    if (e.is_folder())
      folders.insert(e.id);
    else
      Check(e.extent + (e.file_size + 2047) / 2048 <= sectors);
  }
  return 0;
}
