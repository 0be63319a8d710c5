#include "audio/cddb_store.h"

#include <system_error>

#include "audio/cddb_genres.h"
#include "platform/ini.h"

namespace zephrel {

namespace {

constexpr std::string_view kSection = "CDDBID";
// ReadIni's answer for a missing key; no stored value begins with it.
constexpr std::string_view kMissing = "023Error";

std::string OneLine(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c != '\r' && c != '\n') out += c;
  }
  return out;
}

std::string IndexValue(const std::string& folder, std::string_view disc_id) {
  return "\\CDDB\\" + folder + "\\" + std::string(disc_id) + ".txt";
}

platform::FileError Refusal(std::string message) { return platform::FileError{EINVAL, std::move(message)}; }

}  // namespace

std::string ManualDiscFileText(const ManualDiscInfo& info) {
  std::string text;
  auto line = [&text](std::string_view s) {
    text += s;
    text += "\r\n";
  };
  line("210 :::::::::::     Zephrel  ::::::::::::::::::::::::::::");
  line(std::string(67, '*'));
  line("");
  line("DISCID=" + OneLine(info.disc_id));
  line("DTITLE=" + OneLine(info.artist) + " / " + OneLine(info.album));
  line("DYEAR=" + OneLine(info.year));
  line("DGENRE=" + OneLine(info.genre));
  for (std::size_t i = 0; i < info.titles.size(); ++i) {
    line("TTITLE" + std::to_string(i) + "=" + OneLine(info.titles[i]));
  }
  return text;
}

void CddbStore::CreateFolders() const {
  std::error_code ignored;
  std::filesystem::create_directory(base_ / "My Music", ignored);
  const std::filesystem::path store = base_ / "CDDB";
  std::filesystem::create_directory(store, ignored);
  for (std::string_view category : kCddbCategories) {
    std::filesystem::create_directory(store / std::string(category), ignored);
  }
  std::filesystem::create_directory(store / std::string(kCddbCustomFolder), ignored);
}

bool CddbStore::Enter(std::string_view index_key, const std::string& folder, std::string_view disc_id,
                      platform::FileError* error) const {
  return platform::WriteIni(IndexPath(), kSection, index_key, IndexValue(folder, disc_id), error);
}

std::optional<std::filesystem::path> CddbStore::StoreServerAnswer(std::string_view index_key,
                                                                  std::string_view genre,
                                                                  std::string_view disc_id,
                                                                  std::string_view answer,
                                                                  platform::FileError* error) const {
  const std::optional<std::string> category = CddbCategory(genre);
  if (!category || !IsCddbDiscIdWord(disc_id) || !IsCddbDiscIdWord(index_key)) {
    *error = Refusal("The CDDB answer names no valid category and disc identifier");
    return std::nullopt;
  }
  const std::filesystem::path file = base_ / "CDDB" / *category / (std::string(disc_id) + ".txt");
  if (!platform::WriteFileAtomic(file, answer, error)) return std::nullopt;
  if (!Enter(index_key, *category, disc_id, error)) return std::nullopt;
  return file;
}

bool CddbStore::SaveManual(const ManualDiscInfo& info, platform::FileError* error) const {
  if (!IsCddbDiscIdWord(info.disc_id)) {
    *error = Refusal("No disc has been identified");
    return false;
  }
  CreateFolders();
  const std::string folder(kCddbCustomFolder);
  const std::filesystem::path file = base_ / "CDDB" / folder / (info.disc_id + ".txt");
  if (!platform::WriteFileAtomic(file, ManualDiscFileText(info), error)) return false;
  return Enter(info.disc_id, folder, info.disc_id, error);
}

std::optional<std::filesystem::path> CddbStore::PathOfIndexValue(std::string_view value) const {
  constexpr std::string_view kPrefix = "\\CDDB\\";
  constexpr std::string_view kSuffix = ".txt";
  if (value.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  value.remove_prefix(kPrefix.size());
  const std::size_t slash = value.find('\\');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view folder = value.substr(0, slash);
  const std::string_view name = value.substr(slash + 1);
  if (folder != kCddbCustomFolder && !CddbCategory(folder)) return std::nullopt;
  if (name.size() != 8 + kSuffix.size() || name.substr(8) != kSuffix ||
      !IsCddbDiscIdWord(name.substr(0, 8))) {
    return std::nullopt;
  }
  return base_ / "CDDB" / std::string(folder) / std::string(name);
}

std::optional<std::filesystem::path> CddbStore::Find(std::string_view index_key) const {
  if (index_key.empty()) return std::nullopt;
  const std::string value = platform::ReadIni(IndexPath(), kSection, index_key, kMissing);
  if (value.substr(0, kMissing.size()) == kMissing) return std::nullopt;
  return PathOfIndexValue(value);
}

}  // namespace zephrel
