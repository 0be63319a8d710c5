#include "image/dvd_video_files.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <optional>

#include "platform/byte_order.h"
#include "platform/fileio.h"
#include "platform/mmc.h"
#include "platform/text.h"

namespace zephrel {

using platform::GetBe16;
using platform::GetBe32;

namespace {

constexpr std::size_t kSector = platform::mmc::kSectorSize;

// Parses a name of the form VIDEO_TS.xxx or VTS_nn_p.xxx. set 0 is the
// manager; part is 0 for the IFO, BUP and menu VOB.
struct DvdName {
  int set = -1, part = 0;
  std::string extension;
};

std::optional<DvdName> ParseName(const std::string& raw) {
  const std::string name = platform::AsciiUpper(raw);
  if (name.size() != 12 || name[8] != '.') return std::nullopt;
  DvdName d;
  d.extension = name.substr(9);
  if (d.extension != "IFO" && d.extension != "BUP" && d.extension != "VOB") return std::nullopt;
  if (name.compare(0, 8, "VIDEO_TS") == 0) {
    d.set = 0;
    return d;
  }
  if (name.compare(0, 4, "VTS_") != 0 || name[6] != '_' ||
      !std::isdigit(static_cast<unsigned char>(name[4])) ||
      !std::isdigit(static_cast<unsigned char>(name[5])) ||
      !std::isdigit(static_cast<unsigned char>(name[7]))) {
    return std::nullopt;
  }
  d.set = (name[4] - '0') * 10 + (name[5] - '0');
  d.part = name[7] - '0';
  if (d.set == 0 || (d.extension != "VOB" && d.part != 0)) return std::nullopt;
  return d;
}

// Reads the declared layout of an information file; nullopt for a file that is
// not one (its files are then placed one after the other).
std::optional<DeclaredDvdSet> ReadDeclaredDvdSet(const std::string& path, bool manager, std::string* error) {
  platform::FileError fe;
  platform::File file = platform::File::Open(path, platform::File::Mode::kRead, &fe);
  std::uint8_t head[kSector] = {};
  if (!file.is_open() || file.ReadFullyAt(head, kSector, 0, &fe) != kSector || fe) {
    *error = "Can't read : " + path;
    return std::nullopt;
  }
  std::uint8_t table[kSector] = {};
  std::size_t table_bytes = 0;
  if (manager && std::memcmp(head, "DVDVIDEO-VMG", 12) == 0) {
    const std::uint32_t srpt = GetBe32(head + 0xC4);
    if (srpt != 0) table_bytes = file.ReadFullyAt(table, kSector, std::uint64_t(srpt) * kSector, &fe);
  }
  return ParseDeclaredDvdSet(head, {table, table_bytes}, manager);
}

}  // namespace

std::optional<DeclaredDvdSet> ParseDeclaredDvdSet(std::span<const std::uint8_t> head,
                                                  std::span<const std::uint8_t> title_table, bool manager) {
  if (head.size() < kSector || std::memcmp(head.data(), manager ? "DVDVIDEO-VMG" : "DVDVIDEO-VTS", 12) != 0) {
    return std::nullopt;
  }
  DeclaredDvdSet set;
  const std::uint32_t last_sector = GetBe32(&head[0x0C]);
  const std::uint32_t ifo_last_sector = GetBe32(&head[0x1C]);
  if (last_sector > ifo_last_sector) set.backup = last_sector - ifo_last_sector;
  set.menu_vob = GetBe32(&head[0xC0]);
  if (!manager) {
    set.title_vob = GetBe32(&head[0xC4]);
    return set;
  }
  if (title_table.size() < 8) return set;
  const std::size_t titles =
      std::min<std::size_t>(GetBe16(title_table.data()), (title_table.size() - 8) / 12);
  for (std::size_t t = 0; t < titles; ++t) {
    const std::uint8_t* e = title_table.data() + 8 + 12 * t;
    set.title_sets.emplace(e[6], GetBe32(e + 8));
  }
  return set;
}

int DvdVideoFileRank(const std::string& name) {
  const std::optional<DvdName> d = ParseName(name);
  if (!d) return 1 << 20;
  int role = 0;  // IFO, menu VOB, title VOBs 1..9, BUP
  if (d->extension == "VOB") role = 1 + d->part;
  if (d->extension == "BUP") role = 11;
  return d->set * 16 + role;
}

void OrderDvdVideoFiles(std::vector<TreeElement>& tree, std::int32_t video_ts_id) {
  std::vector<std::size_t> slots;
  for (std::size_t i = 0; i < tree.size(); ++i) {
    if (tree[i].parent_id == video_ts_id && tree[i].is_file()) slots.push_back(i);
  }
  std::vector<TreeElement> files;
  for (std::size_t i : slots) files.push_back(std::move(tree[i]));
  std::stable_sort(files.begin(), files.end(), [](const TreeElement& a, const TreeElement& b) {
    return DvdVideoFileRank(a.name) < DvdVideoFileRank(b.name);
  });
  for (std::size_t k = 0; k < slots.size(); ++k) tree[slots[k]] = std::move(files[k]);
}

bool PlanDvdVideoStarts(const std::vector<FilePlacement>& placements, const std::vector<TreeElement>& tree,
                        std::int32_t video_ts_id, std::uint32_t first_data_sector,
                        std::unordered_map<std::int32_t, std::uint32_t>* min_start, std::string* error) {
  std::unordered_map<std::int32_t, const TreeElement*> by_id;
  for (const TreeElement& e : tree) by_id[e.id] = &e;

  std::map<int, DeclaredDvdSet> declared;  // by set number, 0 the manager
  std::map<int, std::uint64_t> set_start;  // actual first sector of each set
  std::uint64_t cursor = first_data_sector;
  for (const FilePlacement& p : placements) {
    std::uint64_t want = cursor;
    const auto it = by_id.find(p.id);
    const bool in_video_ts = it != by_id.end() && it->second->parent_id == video_ts_id;
    const std::optional<DvdName> d = in_video_ts ? ParseName(p.name) : std::nullopt;
    std::optional<std::uint64_t> declared_at;
    std::uint32_t declared_offset = 0;
    if (d && d->extension == "IFO") {
      if (d->set != 0) {
        const auto manager = declared.find(0);
        if (manager != declared.end() && set_start.count(0)) {
          const auto ts = manager->second.title_sets.find(d->set);
          if (ts != manager->second.title_sets.end()) {
            declared_offset = ts->second;
            declared_at = set_start[0] + declared_offset;
          }
        }
      }
      std::string read_error;
      std::optional<DeclaredDvdSet> set = ReadDeclaredDvdSet(p.source_path, d->set == 0, &read_error);
      if (!read_error.empty()) {
        *error = read_error;
        return false;
      }
      if (set) declared[d->set] = std::move(*set);
    } else if (d && set_start.count(d->set) && declared.count(d->set)) {
      const DeclaredDvdSet& set = declared[d->set];
      std::uint32_t offset = 0;
      if (d->extension == "BUP" && set.backup) offset = *set.backup;
      if (d->extension == "VOB" && d->part == 0) offset = set.menu_vob;
      if (d->extension == "VOB" && d->part == 1) offset = set.title_vob;
      if (offset != 0) {
        declared_offset = offset;
        declared_at = set_start[d->set] + offset;
      }
    }
    if (declared_at) {
      if (*declared_at < cursor) {
        *error = "The DVD-Video files in VIDEO_TS do not fit the layout their information files declare: " +
                 p.name + " is declared to start " + std::to_string(declared_offset) +
                 " sectors after its information file, but the files before it need more room.";
        return false;
      }
      want = *declared_at;
    }
    if (d && d->extension == "IFO") set_start[d->set] = want;
    if (want + p.sectors > 0xFFFFFFFFull) {
      *error = "The files do not fit in an ISO 9660 volume.";
      return false;
    }
    (*min_start)[p.id] = static_cast<std::uint32_t>(want);
    cursor = want + p.sectors;
  }
  return true;
}

}  // namespace zephrel
