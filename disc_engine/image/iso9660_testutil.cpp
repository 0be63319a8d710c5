#include "image/iso9660_testutil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "image/iso9660_format.h"
#include "platform/byte_order.h"

namespace zephrel::testing {

using platform::GetBe16;
using platform::GetBe32;
using platform::GetLe16;
using platform::GetLe32;

std::int32_t TreeBuilder::Folder(std::int32_t parent, std::string name, std::optional<std::int64_t> mtime) {
  TreeElement e;
  e.name = std::move(name);
  e.id = static_cast<std::int32_t>(elements_.size() + 1);
  e.parent_id = parent;
  e.kind = kKindFolder;
  e.mtime = mtime;
  elements_.push_back(e);
  return e.id;
}

std::int32_t TreeBuilder::File(std::int32_t parent, std::string name, std::uint64_t size,
                               std::optional<std::int64_t> mtime, std::string source) {
  TreeElement e;
  e.name = std::move(name);
  e.source_path = source.empty() ? "/nonexistent/" + e.name : source;
  e.id = static_cast<std::int32_t>(elements_.size() + 1);
  e.parent_id = parent;
  e.kind = kKindFile;
  e.file_size = size;
  e.mtime = mtime;
  elements_.push_back(e);
  return e.id;
}

const std::uint8_t* Sector(const IsoLayout& layout, std::uint32_t sector) {
  return layout.header.data() + std::size_t(sector - layout.session_start) * iso9660::kSectorSize;
}

std::uint32_t Both32(const std::uint8_t* p) {
  return GetLe32(p) == GetBe32(p + 4) ? GetLe32(p) : 0xFFFFFFFFu;
}

std::vector<ParsedRecord> ReadDirectory(const IsoLayout& layout, std::uint32_t extent,
                                        std::uint32_t sectors) {
  std::vector<ParsedRecord> out;
  for (std::uint32_t s = extent; s < extent + sectors; ++s) {
    const std::uint8_t* p = Sector(layout, s);
    std::size_t pos = 0;
    while (pos < iso9660::kSectorSize && p[pos] != 0) {
      const std::uint8_t* r = p + pos;
      ParsedRecord rec;
      rec.length = r[0];
      rec.extent = Both32(r + 2);
      rec.data_length = Both32(r + 10);
      std::memcpy(rec.date.data(), r + 18, 7);
      rec.flags = r[25];
      rec.identifier.assign(reinterpret_cast<const char*>(r + 33), r[32]);
      rec.sector = s;
      rec.offset = pos;
      out.push_back(rec);
      pos += rec.length;
    }
  }
  return out;
}

std::vector<ParsedPathRecord> ReadPathTable(const IsoLayout& layout, std::uint32_t sector, std::uint32_t size,
                                            bool big_endian) {
  std::vector<ParsedPathRecord> out;
  const std::uint8_t* p = Sector(layout, sector);
  std::size_t pos = 0;
  while (pos < size) {
    ParsedPathRecord rec;
    std::size_t len = p[pos];
    rec.extent = big_endian ? GetBe32(p + pos + 2) : GetLe32(p + pos + 2);
    rec.parent = big_endian ? GetBe16(p + pos + 6) : GetLe16(p + pos + 6);
    rec.identifier.assign(reinterpret_cast<const char*>(p + pos + 8), len);
    out.push_back(rec);
    pos += 8 + len + (len % 2);
  }
  return out;
}

std::string Ucs2(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c >> 8));
    out.push_back(static_cast<char>(c & 0xFF));
  }
  return out;
}

TempDir::TempDir() : path_(folder_.path().string()) {}

std::string TempDir::WriteFile(const std::string& relative, const std::string& content,
                               std::uint64_t size) const {
  std::string full = path_ + "/" + relative;
  int fd = ::open(full.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + full);
  if (!content.empty() &&
      ::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size())) {
    ::close(fd);
    throw std::runtime_error("cannot write " + full);
  }
  if (size > content.size() && ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot size " + full);
  }
  ::close(fd);
  return full;
}

std::string TempDir::MakeDir(const std::string& relative) const {
  std::string full = path_ + "/" + relative;
  std::filesystem::create_directories(full);
  return full;
}

LayoutClock PinnedClock(std::int64_t seconds) {
  return [seconds] { return std::chrono::system_clock::time_point(std::chrono::seconds(seconds)); };
}

}  // namespace zephrel::testing
