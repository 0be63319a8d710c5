#include "image/iso9660_layout.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>
#include <unordered_map>

#include "image/iso9660_format.h"
#include "image/iso9660_names.h"

namespace zephrel {

namespace {

using iso9660::kSectorSize;
using iso9660::SectorsForBytes;

// Parent mark of top-level nodes: the root's node index is known only at the end.
constexpr std::uint32_t kParentIsRoot = std::numeric_limits<std::uint32_t>::max();

// 7-byte recording date (ECMA-119 9.1.5), UTC.
void PutRecordDate(std::uint8_t* p, std::int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (!gmtime_r(&t, &tm)) return;
  p[0] = static_cast<std::uint8_t>(std::clamp(tm.tm_year, 0, 255));
  p[1] = static_cast<std::uint8_t>(tm.tm_mon + 1);
  p[2] = static_cast<std::uint8_t>(tm.tm_mday);
  p[3] = static_cast<std::uint8_t>(tm.tm_hour);
  p[4] = static_cast<std::uint8_t>(tm.tm_min);
  p[5] = static_cast<std::uint8_t>(tm.tm_sec);
  p[6] = 0;  // GMT offset
}

// 17-byte volume date (ECMA-119 8.4.26.1): 16 digits and a GMT offset of 0.
void PutVolumeDate(std::uint8_t* p, std::int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (!gmtime_r(&t, &tm)) return;
  char digits[32];
  std::snprintf(digits, sizeof digits, "%04d%02d%02d%02d%02d%02d00", std::clamp(tm.tm_year + 1900, 0, 9999),
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  std::memcpy(p, digits, 16);
  p[16] = 0;
}

std::uint32_t RecordLength(std::size_t identifier_bytes) {
  return static_cast<std::uint32_t>(iso9660::dr::kFixedPart + identifier_bytes +
                                    (identifier_bytes % 2 == 0 ? 1 : 0));
}

std::uint32_t PathRecordLength(std::size_t identifier_bytes) {
  return static_cast<std::uint32_t>(iso9660::ptr::kFixedPart + identifier_bytes + (identifier_bytes % 2));
}

// Writes a directory record; returns its length.
std::uint32_t PutDirectoryRecord(std::uint8_t* p, std::uint32_t extent, std::uint32_t data_length,
                                 std::int64_t date, bool folder, const std::string& identifier) {
  namespace dr = iso9660::dr;
  std::uint32_t length = RecordLength(identifier.size());
  p[dr::kLength] = static_cast<std::uint8_t>(length);
  p[dr::kExtAttrLength] = 0;
  iso9660::PutBoth32(p + dr::kExtent, extent);
  iso9660::PutBoth32(p + dr::kDataLength, data_length);
  PutRecordDate(p + dr::kRecordingDate, date);
  p[dr::kFlags] = folder ? dr::kFlagDirectory : 0;
  iso9660::PutBoth16(p + dr::kVolumeSequenceNumber, 1);
  p[dr::kIdentifierLength] = static_cast<std::uint8_t>(identifier.size());
  std::memcpy(p + dr::kIdentifier, identifier.data(), identifier.size());
  return length;
}

// "." (identifier 0x00) or ".." (0x01).
void PutDotRecord(std::uint8_t* p, std::uint32_t extent, std::uint32_t sectors, std::int64_t date,
                  char which) {
  PutDirectoryRecord(p, extent, sectors * kSectorSize, date, true, std::string(1, which));
}

struct Node {  // a visible folder or file; index n of the nodes vector is the root
  const TreeElement* element = nullptr;
  std::vector<std::uint32_t> children;  // node indexes, list order
};

// Per hierarchy: identifiers, record order and directory placement.
struct HierarchyLayout {
  Hierarchy hierarchy;
  std::vector<std::string> identifier;              // per node, encoded
  std::vector<std::vector<std::uint32_t>> records;  // per folder node: children in record order
  std::vector<std::uint32_t> path_order;            // folders in path-table order (root excluded)
  std::vector<std::uint32_t> number;                // per node: directory number (folders)
  std::vector<std::uint32_t> extent;                // per node: directory extent (folders)
  std::vector<std::uint32_t> sectors;               // per node: directory sectors (folders)
  PathTableLocation path_table;
};

class LayoutBuilder {
 public:
  LayoutBuilder(const std::vector<TreeElement>& tree, const LayoutOptions& options)
      : tree_(tree), options_(options) {}

  LayoutResult Run();

 private:
  bool Phase(int status) { return !options_.phase || options_.phase(status); }
  // Runs step on the ISO hierarchy after phase iso_status, then (unless in
  // the DVD-Video mode) on the Joliet one after the next phase; false when a
  // phase cancels.
  template <typename Step>
  bool EachHierarchy(int iso_status, Step step) {
    if (!Phase(iso_status)) return false;
    step(iso_);
    if (options_.dvd_video) return true;
    if (!Phase(iso_status + 1)) return false;
    step(joliet_);
    return true;
  }
  bool IsFolder(std::uint32_t node) const { return node == root_ || nodes_[node].element->is_folder(); }
  std::int64_t DateOf(std::uint32_t node) const {
    if (node == root_ || !nodes_[node].element->mtime) return build_time_;
    return *nodes_[node].element->mtime;
  }
  void BuildNodes();
  void ResolveImportedNames();
  void NameChildren(HierarchyLayout& h);
  bool NumberDirectories(HierarchyLayout& h);
  void AllocatePathTable(HierarchyLayout& h);
  void AllocateDirectories(HierarchyLayout& h);
  bool PlaceFiles();
  void WriteDirectories(const HierarchyLayout& h);
  void WritePathTables(const HierarchyLayout& h);
  void WriteVolumeDescriptor(const HierarchyLayout& h, std::uint32_t sector);
  void WriteTerminator(std::uint32_t sector);
  std::uint8_t* At(std::uint32_t sector) {
    return out_.header.data() + std::size_t(sector - out_.session_start) * kSectorSize;
  }
  LayoutResult Fail(std::string message) {
    LayoutResult r;
    r.status = LayoutResult::Status::kError;
    r.error = std::move(message);
    return r;
  }
  LayoutResult Canceled() {
    LayoutResult r;
    r.status = LayoutResult::Status::kCanceled;
    return r;
  }

  const std::vector<TreeElement>& tree_;
  const LayoutOptions& options_;
  std::int64_t build_time_ = 0;
  std::vector<Node> nodes_;
  std::uint32_t root_ = 0;
  std::uint64_t next_free_ = 0;             // 64-bit so that overflow past 32-bit sectors is caught
  std::vector<std::uint32_t> file_extent_;  // per node
  HierarchyLayout iso_{Hierarchy::kIso, {}, {}, {}, {}, {}, {}, {}};
  HierarchyLayout joliet_{Hierarchy::kJoliet, {}, {}, {}, {}, {}, {}, {}};
  std::string error_;
  IsoLayout out_;
};

void LayoutBuilder::BuildNodes() {
  std::unordered_map<std::int32_t, std::uint32_t> node_of;  // id -> node
  node_of.reserve(tree_.size());
  nodes_.reserve(tree_.size() + 1);
  std::vector<std::uint32_t> parent_of;
  for (const TreeElement& e : tree_) {
    if (e.removed || e.id == kRootId) continue;
    std::uint32_t parent;
    if (e.parent_id == kRootId) {
      parent = kParentIsRoot;
    } else {
      auto it = node_of.find(e.parent_id);
      // A parent that is missing, removed, a file, or later in the list hides
      // the element and everything below it.
      if (it == node_of.end() || !nodes_[it->second].element->is_folder()) continue;
      parent = it->second;
    }
    if (node_of.count(e.id)) continue;  // a repeated id: the first one holds
    std::uint32_t node = static_cast<std::uint32_t>(nodes_.size());
    nodes_.push_back(Node{&e, {}});
    parent_of.push_back(parent);
    node_of.emplace(e.id, node);
  }
  root_ = static_cast<std::uint32_t>(nodes_.size());
  nodes_.push_back(Node{});
  for (std::uint32_t i = 0; i < root_; ++i) {
    std::uint32_t parent = parent_of[i] == kParentIsRoot ? root_ : parent_of[i];
    nodes_[parent].children.push_back(i);
  }
}

// Beside the files of the last session, what was added since wins by name
// (before identifiers are made unique): a new file hides an imported file of
// the same name, and a new folder merges into the imported folder of its
// name. The nodes are then renumbered parents first, the root last.
void LayoutBuilder::ResolveImportedNames() {
  bool imported = false;
  for (std::uint32_t n = 0; n < root_; ++n) imported |= nodes_[n].element->from_last_session;
  if (!imported) return;
  std::vector<bool> dropped(nodes_.size(), false);
  std::vector<std::uint32_t> queue{root_};
  for (std::size_t q = 0; q < queue.size(); ++q) {
    const std::uint32_t f = queue[q];
    std::unordered_map<std::string, std::uint32_t> imported_at;
    for (std::uint32_t c : nodes_[f].children) {
      if (nodes_[c].element->from_last_session) imported_at.emplace(nodes_[c].element->name, c);
    }
    for (std::uint32_t c : nodes_[f].children) {
      const TreeElement& e = *nodes_[c].element;
      if (e.from_last_session) continue;
      auto it = imported_at.find(e.name);
      if (it == imported_at.end() || dropped[it->second]) continue;
      const TreeElement& old = *nodes_[it->second].element;
      if (e.is_file() && old.is_file()) {
        dropped[it->second] = true;
      } else if (e.is_folder() && old.is_folder()) {
        std::vector<std::uint32_t>& into = nodes_[it->second].children;
        into.insert(into.end(), nodes_[c].children.begin(), nodes_[c].children.end());
        nodes_[c].children.clear();
        dropped[c] = true;
      }
    }
    std::vector<std::uint32_t>& children = nodes_[f].children;
    children.erase(
        std::remove_if(children.begin(), children.end(), [&](std::uint32_t c) { return dropped[c]; }),
        children.end());
    for (std::uint32_t c : children) {
      if (nodes_[c].element->is_folder()) queue.push_back(c);
    }
  }
  // Depth first from the root, so every folder comes before what it holds.
  std::vector<std::uint32_t> order;
  std::vector<std::pair<std::uint32_t, std::size_t>> stack{{root_, 0}};
  while (!stack.empty()) {
    auto& [f, next] = stack.back();
    if (next >= nodes_[f].children.size()) {
      stack.pop_back();
      continue;
    }
    const std::uint32_t c = nodes_[f].children[next++];
    order.push_back(c);
    stack.emplace_back(c, 0);
  }
  std::vector<std::uint32_t> index(nodes_.size(), 0);
  for (std::uint32_t i = 0; i < order.size(); ++i) index[order[i]] = i;
  index[root_] = static_cast<std::uint32_t>(order.size());
  order.push_back(root_);
  std::vector<Node> renumbered;
  renumbered.reserve(order.size());
  for (std::uint32_t old : order) {
    Node n = std::move(nodes_[old]);
    for (std::uint32_t& c : n.children) c = index[c];
    renumbered.push_back(std::move(n));
  }
  nodes_ = std::move(renumbered);
  root_ = static_cast<std::uint32_t>(nodes_.size() - 1);
}

void LayoutBuilder::NameChildren(HierarchyLayout& h) {
  h.identifier.assign(nodes_.size(), std::string());
  h.records.assign(nodes_.size(), {});
  std::vector<Identifier> ids;
  std::vector<bool> is_file;
  for (std::uint32_t f = 0; f < nodes_.size(); ++f) {
    if (!IsFolder(f)) continue;
    std::vector<std::uint32_t> order = nodes_[f].children;
    if (!options_.dvd_video) {
      std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return CompareElementNames(nodes_[a].element->name, nodes_[b].element->name);
      });
    }
    ids.clear();
    is_file.clear();
    for (std::uint32_t c : order) {
      const TreeElement& e = *nodes_[c].element;
      ids.push_back(MapIdentifier(e.name, e.is_file(), h.hierarchy));
      is_file.push_back(e.is_file());
    }
    MakeIdentifiersUnique(ids, is_file, h.hierarchy);
    std::vector<std::size_t> rank(order.size());
    for (std::size_t i = 0; i < rank.size(); ++i) rank[i] = i;
    if (!options_.dvd_video) {
      std::sort(rank.begin(), rank.end(), [&](std::size_t a, std::size_t b) {
        return IdentifierLess(ids[a], is_file[a], ids[b], is_file[b]);
      });
    }
    for (std::size_t r : rank) {
      h.identifier[order[r]] = EncodeIdentifier(ids[r], h.hierarchy);
      h.records[f].push_back(order[r]);
    }
  }
}

// Path-table order: the root's folders, then theirs, level by level, each
// parent's folders in record order.
bool LayoutBuilder::NumberDirectories(HierarchyLayout& h) {
  h.number.assign(nodes_.size(), 0);
  h.path_order.clear();
  h.number[root_] = 1;
  std::vector<std::uint32_t> queue{root_};
  for (std::size_t q = 0; q < queue.size(); ++q) {
    for (std::uint32_t c : h.records[queue[q]]) {
      if (!IsFolder(c)) continue;
      if (h.path_order.size() + 1 >= iso9660::kMaxDirectories) return false;
      h.path_order.push_back(c);
      h.number[c] = static_cast<std::uint32_t>(h.path_order.size() + 1);
      queue.push_back(c);
    }
  }
  return true;
}

void LayoutBuilder::AllocatePathTable(HierarchyLayout& h) {
  std::uint64_t size = iso9660::ptr::kRootRecordLength;
  for (std::uint32_t f : h.path_order) size += PathRecordLength(h.identifier[f].size());
  h.path_table.size = static_cast<std::uint32_t>(size);
  h.path_table.type_l = static_cast<std::uint32_t>(next_free_);
  next_free_ += SectorsForBytes(size);
  h.path_table.type_m = static_cast<std::uint32_t>(next_free_);
  next_free_ += SectorsForBytes(size);
}

// Each directory's sectors, followed by those of its sub-folders, depth first.
void LayoutBuilder::AllocateDirectories(HierarchyLayout& h) {
  h.extent.assign(nodes_.size(), 0);
  h.sectors.assign(nodes_.size(), 0);
  std::vector<std::uint32_t> stack{root_};
  while (!stack.empty()) {
    std::uint32_t f = stack.back();
    stack.pop_back();
    std::uint64_t pos = 2 * iso9660::dr::kDotRecordLength;
    for (std::uint32_t c : h.records[f]) {
      std::uint32_t length = RecordLength(h.identifier[c].size());
      if (pos % kSectorSize + length > kSectorSize) pos = (pos / kSectorSize + 1) * kSectorSize;
      pos += length;
    }
    h.sectors[f] = SectorsForBytes(pos);
    h.extent[f] = static_cast<std::uint32_t>(next_free_);
    next_free_ += h.sectors[f];
    const auto& records = h.records[f];
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
      if (IsFolder(*it)) stack.push_back(*it);
    }
  }
}

bool LayoutBuilder::PlaceFiles() {
  std::vector<std::uint32_t> order;
  if (options_.dvd_video) {
    for (std::uint32_t n = 0; n < root_; ++n) {
      if (nodes_[n].element->is_file()) order.push_back(n);
    }
  } else {
    // The order in which the ISO directories list the files, depth first.
    std::vector<std::pair<std::uint32_t, std::size_t>> stack{{root_, 0}};
    while (!stack.empty()) {
      auto& [f, i] = stack.back();
      if (i >= iso_.records[f].size()) {
        stack.pop_back();
        continue;
      }
      std::uint32_t c = iso_.records[f][i++];
      if (IsFolder(c)) {
        stack.emplace_back(c, 0);
      } else {
        order.push_back(c);
      }
    }
  }
  file_extent_.assign(nodes_.size(), 0);
  for (std::uint32_t n : order) {
    const TreeElement& e = *nodes_[n].element;
    if (e.file_size > iso9660::kMaxFileSize) {
      error_ = "The file " + e.source_path + " is too large for an ISO 9660 image (4 GiB or more).";
      return false;
    }
    if (e.from_last_session) {
      file_extent_[n] = e.extent;
      continue;
    }
    std::uint64_t extent = next_free_;
    auto min = options_.min_start_sector.find(e.id);
    if (min != options_.min_start_sector.end()) extent = std::max<std::uint64_t>(extent, min->second);
    std::uint32_t sectors = SectorsForBytes(e.file_size);
    if (extent + sectors > std::numeric_limits<std::uint32_t>::max()) {
      error_ = "The files do not fit in an ISO 9660 volume.";
      return false;
    }
    file_extent_[n] = static_cast<std::uint32_t>(extent);
    next_free_ = extent + sectors;
    out_.placements.push_back(
        FilePlacement{e.id, e.source_path, e.name, e.file_size, static_cast<std::uint32_t>(extent), sectors});
  }
  return true;
}

void LayoutBuilder::WriteDirectories(const HierarchyLayout& h) {
  // Each directory is written on its own: its parent's extent is known from
  // the allocation, so no recursion is needed.
  std::vector<std::uint32_t> parent(nodes_.size(), root_);
  for (std::uint32_t f = 0; f < nodes_.size(); ++f) {
    if (!IsFolder(f)) continue;
    for (std::uint32_t c : h.records[f]) parent[c] = f;
  }
  for (std::uint32_t f = 0; f < nodes_.size(); ++f) {
    if (!IsFolder(f)) continue;
    std::uint8_t* dir = At(h.extent[f]);
    const std::uint32_t up = f == root_ ? root_ : parent[f];
    PutDotRecord(dir, h.extent[f], h.sectors[f], DateOf(f), 0);
    PutDotRecord(dir + iso9660::dr::kDotRecordLength, h.extent[up], h.sectors[up], DateOf(up), 1);
    std::uint64_t pos = 2 * iso9660::dr::kDotRecordLength;
    for (std::uint32_t c : h.records[f]) {
      std::uint32_t length = RecordLength(h.identifier[c].size());
      if (pos % kSectorSize + length > kSectorSize) pos = (pos / kSectorSize + 1) * kSectorSize;
      const bool folder = IsFolder(c);
      const TreeElement& e = *nodes_[c].element;
      std::uint32_t extent = folder ? h.extent[c] : file_extent_[c];
      std::uint32_t data_length =
          folder ? h.sectors[c] * kSectorSize : static_cast<std::uint32_t>(e.file_size);
      pos += PutDirectoryRecord(dir + pos, extent, data_length, DateOf(c), folder, h.identifier[c]);
      ElementLayout& out = out_.elements[e.id];
      if (h.hierarchy == Hierarchy::kIso) {
        out.iso_extent = extent;
        out.iso_record_length = length;
        out.iso_identifier = h.identifier[c];
        if (folder) out.iso_directory_sectors = h.sectors[c];
      } else {
        out.joliet_extent = extent;
        out.joliet_record_length = length;
        out.joliet_identifier = h.identifier[c];
        if (folder) out.joliet_directory_sectors = h.sectors[c];
      }
    }
  }
}

void LayoutBuilder::WritePathTables(const HierarchyLayout& h) {
  namespace ptr = iso9660::ptr;
  std::uint8_t* l = At(h.path_table.type_l);
  std::uint8_t* m = At(h.path_table.type_m);
  std::vector<std::uint32_t> parent(nodes_.size(), root_);
  for (std::uint32_t f : h.path_order) {
    for (std::uint32_t c : h.records[f]) parent[c] = f;
  }
  auto put = [&](std::size_t pos, std::uint32_t extent, std::uint32_t parent_number, const std::string& id) {
    for (std::uint8_t* p : {l + pos, m + pos}) {
      p[ptr::kIdentifierLength] = static_cast<std::uint8_t>(id.size());
      p[ptr::kExtAttrLength] = 0;
      std::memcpy(p + ptr::kIdentifier, id.data(), id.size());
    }
    iso9660::PutLe32(l + pos + ptr::kExtent, extent);
    iso9660::PutLe16(l + pos + ptr::kParentNumber, static_cast<std::uint16_t>(parent_number));
    iso9660::PutBe32(m + pos + ptr::kExtent, extent);
    iso9660::PutBe16(m + pos + ptr::kParentNumber, static_cast<std::uint16_t>(parent_number));
    return PathRecordLength(id.size());
  };
  std::size_t pos = put(0, h.extent[root_], 1, std::string(1, '\0'));
  for (std::uint32_t f : h.path_order) pos += put(pos, h.extent[f], h.number[parent[f]], h.identifier[f]);
}

void LayoutBuilder::WriteVolumeDescriptor(const HierarchyLayout& h, std::uint32_t sector) {
  namespace vd = iso9660::vd;
  const bool joliet = h.hierarchy == Hierarchy::kJoliet;
  std::uint8_t* p = At(sector);
  p[vd::kType] = joliet ? iso9660::kTypeSupplementary : iso9660::kTypePrimary;
  std::memcpy(p + vd::kStandardId, iso9660::kStandardIdentifier, 5);
  p[vd::kVersion] = 1;
  // Spaces; in the Joliet descriptor as UCS-2 characters (00 20), so readers
  // do not decode the bytes 20 20 as U+2020.
  for (std::size_t i = 0; i < vd::kSystemIdLength; ++i)
    p[vd::kSystemId + i] = (joliet && i % 2 == 0) ? 0 : ' ';
  auto put_text = [&](std::size_t offset, const std::string& utf8, std::size_t max) {
    std::string text = DescriptorText(utf8, h.hierarchy, max);
    std::memcpy(p + offset, text.data(), text.size());
  };
  put_text(vd::kVolumeId, options_.volume_name, vd::kVolumeIdLength);
  iso9660::PutBoth32(p + vd::kVolumeSpaceSize, out_.volume_end);
  if (joliet) std::memcpy(p + vd::kEscapeSequences, iso9660::kJolietEscape, sizeof iso9660::kJolietEscape);
  iso9660::PutBoth16(p + vd::kVolumeSetSize, 1);
  iso9660::PutBoth16(p + vd::kVolumeSequenceNumber, 1);
  iso9660::PutBoth16(p + vd::kLogicalBlockSize, kSectorSize);
  iso9660::PutBoth32(p + vd::kPathTableSize, h.path_table.size);
  iso9660::PutLe32(p + vd::kTypeLPathTable, h.path_table.type_l);
  iso9660::PutBe32(p + vd::kTypeMPathTable, h.path_table.type_m);
  PutDotRecord(p + vd::kRootDirectoryRecord, h.extent[root_], h.sectors[root_], build_time_, 0);
  put_text(vd::kPublisherId, options_.software_name, vd::kLongIdLength);
  put_text(vd::kDataPreparerId, options_.software_name, vd::kLongIdLength);
  PutVolumeDate(p + vd::kCreationDate, build_time_);
  PutVolumeDate(p + vd::kModificationDate, build_time_);
  p[vd::kFileStructureVersion] = 1;
}

void LayoutBuilder::WriteTerminator(std::uint32_t sector) {
  std::uint8_t* p = At(sector);
  p[iso9660::vd::kType] = iso9660::kTypeTerminator;
  std::memcpy(p + iso9660::vd::kStandardId, iso9660::kStandardIdentifier, 5);
  p[iso9660::vd::kVersion] = 1;
}

LayoutResult LayoutBuilder::Run() {
  const bool joliet = !options_.dvd_video;
  auto now = options_.clock ? options_.clock() : std::chrono::system_clock::now();
  build_time_ = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
  out_.session_start = options_.session_start;

  if (!Phase(1)) return Canceled();
  if (!Phase(2)) return Canceled();
  BuildNodes();
  ResolveImportedNames();
  NameChildren(iso_);
  if (joliet) NameChildren(joliet_);
  if (!NumberDirectories(iso_) || (joliet && !NumberDirectories(joliet_))) {
    return Fail("Too many folders for an ISO 9660 image: at most 65,534 folders fit.");
  }

  next_free_ = std::uint64_t(options_.session_start) +
               (options_.dvd_video ? iso9660::kFirstFreeSectorDvdVideo : iso9660::kFirstFreeSector);
  if (!EachHierarchy(3, [&](HierarchyLayout& h) { AllocatePathTable(h); }) ||
      !EachHierarchy(5, [&](HierarchyLayout& h) { AllocateDirectories(h); })) {
    return Canceled();
  }
  if (options_.dvd_video) {
    std::uint32_t files = 0;
    for (std::uint32_t n = 0; n < root_; ++n) files += nodes_[n].element->is_file() ? 1 : 0;
    out_.udf_area_start = static_cast<std::uint32_t>(next_free_);
    out_.udf_area_sectors = files + 8;
    next_free_ += out_.udf_area_sectors;
  }
  if (next_free_ > std::numeric_limits<std::uint32_t>::max()) {
    return Fail("The files do not fit in an ISO 9660 volume.");
  }
  out_.header_end_sector = static_cast<std::uint32_t>(next_free_);
  out_.header.assign(std::size_t(out_.header_end_sector - out_.session_start) * kSectorSize, 0);

  if (!PlaceFiles()) return Fail(error_);
  out_.end_sector = static_cast<std::uint32_t>(next_free_);
  out_.total_sectors = out_.end_sector - out_.session_start;
  const std::uint64_t volume_end =
      options_.volume_end ? options_.volume_end(out_.end_sector) : out_.end_sector;
  if (volume_end > std::numeric_limits<std::uint32_t>::max()) {
    return Fail("The files do not fit in an ISO 9660 volume.");
  }
  out_.volume_end = static_cast<std::uint32_t>(volume_end);

  if (!EachHierarchy(7, [&](HierarchyLayout& h) { WriteDirectories(h); })) return Canceled();
  const std::uint32_t s = options_.session_start;
  WriteVolumeDescriptor(iso_, s + iso9660::kPrimaryDescriptorSector);
  if (joliet) WriteVolumeDescriptor(joliet_, s + iso9660::kJolietDescriptorSector);
  WriteTerminator(s + (joliet ? iso9660::kJolietDescriptorSector + 1 : iso9660::kJolietDescriptorSector));
  if (!EachHierarchy(9, [&](HierarchyLayout& h) { WritePathTables(h); })) return Canceled();

  // Folder facts and the root.
  for (std::uint32_t f = 0; f < nodes_.size(); ++f) {
    if (!IsFolder(f)) continue;
    std::int32_t id = f == root_ ? kRootId : nodes_[f].element->id;
    ElementLayout& e = out_.elements[id];
    e.directory_number = iso_.number[f];
    e.iso_extent = iso_.extent[f];
    e.iso_directory_sectors = iso_.sectors[f];
    if (joliet) {
      e.joliet_extent = joliet_.extent[f];
      e.joliet_directory_sectors = joliet_.sectors[f];
    }
  }
  // Levels: depth below the root, from 0 (children come after parents).
  for (std::uint32_t f = 0; f < root_; ++f) {
    const std::int32_t level = out_.elements[nodes_[f].element->id].level + 1;
    for (std::uint32_t c : nodes_[f].children) out_.elements[nodes_[c].element->id].level = level;
  }
  out_.iso_path_table = iso_.path_table;
  out_.iso_root_extent = iso_.extent[root_];
  out_.iso_root_sectors = iso_.sectors[root_];
  if (joliet) {
    out_.joliet_path_table = joliet_.path_table;
    out_.joliet_root_extent = joliet_.extent[root_];
    out_.joliet_root_sectors = joliet_.sectors[root_];
  }
  out_.directory_count = static_cast<std::uint32_t>(iso_.path_order.size() + 1);

  LayoutResult result;
  result.layout = std::move(out_);
  return result;
}

}  // namespace

LayoutResult LayOutIso9660(const std::vector<TreeElement>& tree, const LayoutOptions& options) {
  try {
    return LayoutBuilder(tree, options).Run();
  } catch (const std::bad_alloc&) {
    LayoutResult r;
    r.status = LayoutResult::Status::kError;
    r.error = "Not enough memory to lay out the image.";
    return r;
  }
}

}  // namespace zephrel
