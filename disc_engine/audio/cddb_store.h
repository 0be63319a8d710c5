// The local CDDB store below a base folder: disc files in CDDB/<genre>/ and
// CDDB/Custom/, and the index CDDB/CDDB.ini whose section CDDBID maps a disc
// identifier to its file. Index values keep their stored form,
// "\CDDB\<genre>\<identifier>.txt", relative to the base folder; they become a
// path only here, and only when they have exactly that form.
//
// A disc file is always written before its index entry, so an entry never
// names a file that was not written.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fileio.h"

namespace zephrel {

// What a manual disc file records.
struct ManualDiscInfo {
  std::string disc_id;  // eight hexadecimal digits
  std::string artist;
  std::string album;
  std::string year;
  std::string genre;
  std::vector<std::string> titles;  // one per track of the table of contents
};

// The manual disc file's text: the xmcd lines, each ending with CR LF. CR and
// LF inside the values are left out, so a value cannot add lines.
std::string ManualDiscFileText(const ManualDiscInfo& info);

class CddbStore {
 public:
  explicit CddbStore(std::filesystem::path base) : base_(std::move(base)) {}

  const std::filesystem::path& base() const { return base_; }
  std::filesystem::path IndexPath() const { return base_ / "CDDB" / "CDDB.ini"; }

  // Creates "My Music", "CDDB" and the category and Custom folders below it,
  // each when missing. Failures are not reported: writing into a missing
  // folder fails later, and is reported there.
  void CreateFolders() const;

  // Keeps a server's "cddb read" answer as CDDB/<genre>/<disc_id>.txt
  // (replacing a file of that name), then enters it under index_key. genre
  // must be a CDDB category and disc_id eight hexadecimal digits; anything
  // else stores nothing. The stored file's path, or nullopt (error set).
  std::optional<std::filesystem::path> StoreServerAnswer(std::string_view index_key, std::string_view genre,
                                                         std::string_view disc_id, std::string_view answer,
                                                         platform::FileError* error) const;

  // Writes CDDB/Custom/<disc_id>.txt and then its index entry (key disc_id).
  // The folders are created first when missing.
  bool SaveManual(const ManualDiscInfo& info, platform::FileError* error) const;

  // The disc file the index names for index_key: nullopt when there is no
  // entry or its value is not of the stored form.
  std::optional<std::filesystem::path> Find(std::string_view index_key) const;

  // The path a stored index value stands for, or nullopt when the value is not
  // "\CDDB\<category or Custom>\<eight hexadecimal digits>.txt".
  std::optional<std::filesystem::path> PathOfIndexValue(std::string_view value) const;

 private:
  bool Enter(std::string_view index_key, const std::string& folder, std::string_view disc_id,
             platform::FileError* error) const;

  std::filesystem::path base_;
};

}  // namespace zephrel
