// Helpers shared by the disc engine's tests: building tree snapshots and
// reading back what a layout wrote.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "image/iso9660_layout.h"
#include "testing/temp_folder.h"
#include "tree/tree_element.h"

namespace zephrel::testing {

// Builds a snapshot the way the tree does: ids 1, 2, ... in call order.
class TreeBuilder {
 public:
  std::int32_t Folder(std::int32_t parent, std::string name,
                      std::optional<std::int64_t> mtime = std::nullopt);
  std::int32_t File(std::int32_t parent, std::string name, std::uint64_t size,
                    std::optional<std::int64_t> mtime = std::nullopt, std::string source = "");
  std::vector<TreeElement>& elements() { return elements_; }

 private:
  std::vector<TreeElement> elements_;
};

struct ParsedRecord {
  std::size_t length = 0;
  std::uint32_t extent = 0;
  std::uint32_t data_length = 0;
  std::array<std::uint8_t, 7> date{};
  std::uint8_t flags = 0;
  std::string identifier;    // raw bytes
  std::uint32_t sector = 0;  // absolute sector holding the record
  std::size_t offset = 0;    // offset in that sector
};

// The sector (absolute number) of the layout's header.
const std::uint8_t* Sector(const IsoLayout& layout, std::uint32_t sector);
// Every record of the directory at extent (the dot records included).
std::vector<ParsedRecord> ReadDirectory(const IsoLayout& layout, std::uint32_t extent, std::uint32_t sectors);

struct ParsedPathRecord {
  std::uint32_t extent = 0;
  std::uint16_t parent = 0;
  std::string identifier;
};
std::vector<ParsedPathRecord> ReadPathTable(const IsoLayout& layout, std::uint32_t sector, std::uint32_t size,
                                            bool big_endian);

// A both-endian 32-bit field whose two halves agree, else 0xFFFFFFFF.
std::uint32_t Both32(const std::uint8_t* p);

// UTF-8 to the UCS-2 big-endian bytes of a Joliet identifier (BMP only).
std::string Ucs2(const std::u16string& text);

// A temporary folder removed on destruction, after the permissions that a
// test took away from its folders are given back.
class TempDir {
 public:
  TempDir();
  const std::string& path() const { return path_; }
  // Creates a file of size bytes (sparse beyond content) below the folder.
  std::string WriteFile(const std::string& relative, const std::string& content,
                        std::uint64_t size = 0) const;
  std::string MakeDir(const std::string& relative) const;

 private:
  vantora::testing::TempFolder folder_{"zephrel-test"};
  std::string path_;
};

// A clock pinned at the given seconds since 1970.
LayoutClock PinnedClock(std::int64_t seconds);

}  // namespace zephrel::testing
