// One file or folder of the project tree. Elements are held by value in one
// list in insertion order; a folder always comes before its children.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zephrel {

enum ElementKind : std::int32_t { kKindFolder = 0, kKindFile = 1 };

// Id of the tree's root, which has no element of its own.
constexpr std::int32_t kRootId = 0;

struct TreeElement {
  std::string name;            // UTF-8; the element's name in the image
  std::string source_path;     // a file's path on disk; a scanned folder's path;
                               // empty for virtual folders, the folder made for a
                               // scanned folder itself, and imported elements
  std::int32_t id = 0;         // unique, from the tree's id counter
  std::int32_t parent_id = 0;  // kRootId for the top level
  std::int32_t kind = kKindFolder;
  std::uint64_t file_size = 0;  // bytes; 0 for folders
  // Last modification of the source, seconds since 1970 UTC, taken when the
  // element was added; none for elements without a source (the image then
  // uses its build time).
  std::optional<std::int64_t> mtime;
  std::uint32_t extent = 0;  // imported files: their first sector on the disc
  bool removed = false;
  bool from_last_session = false;

  bool is_file() const { return kind == kKindFile; }
  bool is_folder() const { return kind == kKindFolder; }
};

}  // namespace zephrel
