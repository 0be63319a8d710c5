#include "image/iso9660_import.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string_view>
#include <unordered_set>

#include "image/iso9660_format.h"
#include "platform/text.h"

namespace zephrel::iso9660 {

namespace {

constexpr std::uint8_t kFlagAssociated = 0x04;
constexpr std::uint8_t kFlagMultiExtent = 0x80;

std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}

struct Root {
  std::uint32_t extent = 0;
  std::uint32_t size = 0;
};

bool IsJolietEscape(const std::uint8_t* escapes) {
  // "%/@", "%/C" and "%/E": UCS-2 levels 1 to 3.
  for (std::size_t i = 0; i + 3 <= 32; ++i) {
    const std::uint8_t* e = escapes + i;
    if (e[0] == 0x25 && e[1] == 0x2F && (e[2] == 0x40 || e[2] == 0x43 || e[2] == 0x45)) return true;
  }
  return false;
}

// One directory being read: its bytes and where the walk is in them.
struct Cursor {
  std::vector<std::uint8_t> bytes;
  std::size_t pos = 0;
  std::int32_t id = kRootId;
  int depth = 0;
  std::string path;  // for reports, "/" for the root
};

class Walk {
 public:
  Walk(const SectorReader& read, std::uint32_t session_start, std::uint32_t recorded_end,
       std::int32_t first_id, SessionTree& out)
      : read_(read), start_(session_start), end_(recorded_end), next_id_(first_id), out_(out) {}

  void Run() {
    Root root;
    if (!FindRoot(&root)) return;
    Cursor top;
    top.path = "/";
    if (!ReadDirectory(root.extent, root.size, "/", &top.bytes)) return;
    std::vector<Cursor> stack;
    stack.push_back(std::move(top));
    while (!stack.empty()) {
      Cursor& c = stack.back();
      Cursor child;
      if (!Next(c, &child)) {
        stack.pop_back();
        continue;
      }
      if (!child.bytes.empty()) stack.push_back(std::move(child));
    }
  }

 private:
  void Problem(std::string text) {
    if (out_.problems.size() < 100) out_.problems.push_back(std::move(text));
  }

  bool InRecordedArea(std::uint64_t extent, std::uint64_t sectors) const { return extent + sectors <= end_; }

  bool FindRoot(Root* root) {
    std::vector<std::uint8_t> sector(kSectorSize);
    bool have_primary = false;
    Root primary;
    for (int i = 0; i < kImportDescriptorLimit; ++i) {
      const std::uint64_t lba = std::uint64_t(start_) + kPrimaryDescriptorSector + i;
      if (!InRecordedArea(lba, 1) || !read_(static_cast<std::uint32_t>(lba), 1, sector)) {
        if (i == 0) Problem("The volume descriptor of the last session cannot be read.");
        break;
      }
      if (std::memcmp(sector.data() + vd::kStandardId, kStandardIdentifier, 5) != 0) break;
      const std::uint8_t type = sector[vd::kType];
      if (type == kTypeTerminator) break;
      if (type != kTypePrimary && type != kTypeSupplementary) continue;
      Root r{Le32(sector.data() + vd::kRootDirectoryRecord + dr::kExtent),
             Le32(sector.data() + vd::kRootDirectoryRecord + dr::kDataLength)};
      if (type == kTypeSupplementary && IsJolietEscape(sector.data() + vd::kEscapeSequences)) {
        out_.found_volume = true;
        out_.joliet = true;
        *root = r;
        return true;
      }
      if (type == kTypePrimary && !have_primary) {
        have_primary = true;
        primary = r;
      }
    }
    if (!have_primary) return false;
    out_.found_volume = true;
    *root = primary;
    return true;
  }

  // Reads a whole directory in chunks; false (with a report) when it lies
  // outside the recorded area, is implausibly large, was read before, or a
  // read fails.
  bool ReadDirectory(std::uint32_t extent, std::uint32_t size, const std::string& path,
                     std::vector<std::uint8_t>* bytes) {
    const std::uint32_t sectors = SectorsForBytes(size);
    if (size > kImportDirectoryByteLimit) {
      Problem("The folder " + path + " declares " + std::to_string(size) +
              " bytes of records, more than the " + std::to_string(kImportDirectoryByteLimit) +
              " a folder may have, and was not read.");
      return false;
    }
    if (size == 0 || !InRecordedArea(extent, sectors)) {
      Problem("The folder " + path + " lies outside the recorded area of the disc and was not read.");
      return false;
    }
    if (!visited_.insert(extent).second) {
      Problem("The folder " + path + " repeats a folder read before and was not read again.");
      return false;
    }
    if (total_bytes_ + std::uint64_t(sectors) * kSectorSize > kImportTotalDirectoryByteLimit) {
      Problem("The folder " + path + " was not read: the folders of the disc hold more than " +
              std::to_string(kImportTotalDirectoryByteLimit) + " bytes of records in all.");
      return false;
    }
    total_bytes_ += std::uint64_t(sectors) * kSectorSize;
    bytes->assign(std::size_t(sectors) * kSectorSize, 0);
    for (std::uint32_t done = 0; done < sectors;) {
      const std::uint32_t n = std::min(kImportReadChunk, sectors - done);
      if (!read_(extent + done, n,
                 std::span(bytes->data() + std::size_t(done) * kSectorSize, std::size_t(n) * kSectorSize))) {
        Problem("The folder " + path + " cannot be read from the disc.");
        bytes->clear();
        return false;
      }
      done += n;
    }
    bytes->resize(size);
    return true;
  }

  // Takes the next record of c. Returns false at the directory's end; a
  // folder to descend into comes back in *child with its bytes.
  bool Next(Cursor& c, Cursor* child) {
    const std::vector<std::uint8_t>& b = c.bytes;
    while (c.pos < b.size()) {
      const std::size_t len = b[c.pos];
      if (len == 0) {
        // The unused end of a sector: records go on at the next one.
        c.pos = (c.pos / kSectorSize + 1) * kSectorSize;
        continue;
      }
      const std::size_t at = c.pos;
      const std::size_t sector_end = std::min<std::size_t>((at / kSectorSize + 1) * kSectorSize, b.size());
      if (len < dr::kFixedPart + 1 || at + len > sector_end) {
        // Not a record: nothing after it in this sector can be trusted.
        Problem("A damaged record in the folder " + c.path + " was skipped.");
        c.pos = sector_end;
        continue;
      }
      c.pos += len;
      const std::uint8_t* r = b.data() + at;
      const std::size_t id_len = r[dr::kIdentifierLength];
      if (id_len == 0 || dr::kFixedPart + id_len > len) {
        Problem("A damaged record in the folder " + c.path + " was skipped.");
        continue;
      }
      if (out_.elements.size() >= kImportElementLimit) {
        if (!element_cap_told_)
          Problem("The last session holds more than " + std::to_string(kImportElementLimit) +
                  " files and folders: only the first " + std::to_string(kImportElementLimit) +
                  " were imported.");
        element_cap_told_ = true;
        c.pos = b.size();
        return false;
      }
      const std::span<const std::uint8_t> id(r + dr::kIdentifier, id_len);
      if (id_len == 1 && (id[0] == 0 || id[0] == 1)) continue;  // "." and ".."
      const std::uint8_t flags = r[dr::kFlags];
      const bool folder = (flags & dr::kFlagDirectory) != 0;
      std::string name = ImportedName(id, out_.joliet, folder);
      if (flags & kFlagAssociated) continue;
      const std::uint32_t extent = Le32(r + dr::kExtent);
      const std::uint32_t size = Le32(r + dr::kDataLength);
      if (!folder && ((flags & kFlagMultiExtent) || name == multi_extent_name_)) {
        // The pieces of a file of several extents: the last one has the flag
        // clear but the same name.
        if (name != multi_extent_name_ || multi_extent_parent_ != c.id) {
          Problem("The file " + c.path + name +
                  " is made of several pieces (4 GiB or more) and was not imported.");
        }
        multi_extent_name_ = (flags & kFlagMultiExtent) ? name : std::string();
        multi_extent_parent_ = c.id;
        continue;
      }
      multi_extent_name_.clear();
      if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
          name.find('\0') != std::string::npos) {
        Problem("A record with an unusable name in the folder " + c.path + " was skipped.");
        continue;
      }
      if (!folder && !InRecordedArea(extent, SectorsForBytes(size))) {
        Problem("The file " + c.path + name +
                " lies outside the recorded area of the disc and was not imported.");
        continue;
      }
      TreeElement e;
      e.name = name;
      e.id = ++next_id_;
      e.parent_id = c.id;
      e.kind = folder ? kKindFolder : kKindFile;
      e.mtime = RecordDateSeconds(std::span<const std::uint8_t, 7>(r + dr::kRecordingDate, 7));
      e.from_last_session = true;
      if (!folder) {
        e.extent = extent;
        e.file_size = size;
        out_.elements.push_back(std::move(e));
        continue;
      }
      const std::int32_t folder_id = e.id;
      const std::string path = c.path + name + "/";
      out_.elements.push_back(std::move(e));
      if (c.depth + 1 > kImportDepthLimit) {
        Problem("The folder " + path + " lies too deep and its contents were not read.");
        continue;
      }
      if (ReadDirectory(extent, size, path, &child->bytes)) {
        child->id = folder_id;
        child->depth = c.depth + 1;
        child->path = path;
        child->pos = 0;
        return true;
      }
    }
    return false;
  }

  const SectorReader& read_;
  const std::uint32_t start_;
  const std::uint32_t end_;
  std::int32_t next_id_;
  SessionTree& out_;
  std::unordered_set<std::uint32_t> visited_;
  std::uint64_t total_bytes_ = 0;
  bool element_cap_told_ = false;
  std::string multi_extent_name_;
  std::int32_t multi_extent_parent_ = -1;
};

}  // namespace

std::string ImportedName(std::span<const std::uint8_t> identifier, bool joliet, bool folder) {
  const std::string_view raw(reinterpret_cast<const char*>(identifier.data()), identifier.size());
  std::string name = joliet ? platform::Utf16ToUtf8(raw, true) : platform::Latin1ToUtf8(raw);
  if (folder) return name;
  const std::size_t semi = name.rfind(';');
  if (semi != std::string::npos &&
      std::all_of(name.begin() + semi + 1, name.end(), [](char ch) { return ch >= '0' && ch <= '9'; })) {
    name.erase(semi);
  }
  if (!name.empty() && name.back() == '.') name.pop_back();
  return name;
}

std::optional<std::int64_t> RecordDateSeconds(std::span<const std::uint8_t, 7> d) {
  const int month = d[1], day = d[2], hour = d[3], minute = d[4], second = d[5];
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
    return std::nullopt;
  const int offset = static_cast<std::int8_t>(d[6]);
  if (offset < -48 || offset > 52) return std::nullopt;
  std::tm tm{};
  tm.tm_year = d[0];
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  const std::time_t local = timegm(&tm);
  return std::int64_t(local) - std::int64_t(offset) * 15 * 60;
}

SessionTree ReadSessionTree(const SectorReader& read, std::uint32_t session_start, std::uint32_t recorded_end,
                            std::int32_t first_id) {
  SessionTree out;
  Walk(read, session_start, recorded_end, first_id, out).Run();
  return out;
}

}  // namespace zephrel::iso9660
