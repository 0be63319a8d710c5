#include "vantora/job_log.h"

#include <algorithm>
#include <ctime>
#include <system_error>

namespace vantora {

static std::string FormatNow(const char* format) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[32];
  std::size_t n = std::strftime(buffer, sizeof buffer, format, &local);
  return std::string(buffer, n);
}

std::string SystemLogClock::Time() { return FormatNow("%H:%M:%S"); }
std::string SystemLogClock::Date() { return FormatNow("%Y-%m-%d"); }

int JobLog::FindKey(const std::string& key) const {
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].key == key) return static_cast<int>(i);
  return -1;
}

void JobLog::AddProgressLine(const std::string& message) {
  if (message.empty()) return;
  const std::string time = clock_.Time();
  AddRow(message, clock_.Date() + " " + time + message, LogIcon::kStep);
}

std::string JobLog::AddRow(const std::string& message, const std::string& key, LogIcon icon) {
  std::string unique = key;
  for (int n = 2; FindKey(unique) >= 0; ++n) unique = key + " #" + std::to_string(n);
  rows_.push_back(LogRow{clock_.Time() + " - " + message, unique, icon});
  Record(rows_.back());
  if (listener_.row_added) listener_.row_added(rows_.size() - 1);
  return unique;
}

void JobLog::UpdateProgressLine(const std::string& message, const std::string& key) {
  if (message.empty()) return;
  const int index = FindKey(key);
  if (index < 0) return;
  rows_[index].text = clock_.Time() + " - " + message;
  Record(rows_[index]);
  if (listener_.row_changed) listener_.row_changed(static_cast<std::size_t>(index));
}

bool JobLog::ProgressLogHasKey(const std::string& key) const { return FindKey(key) >= 0; }

void JobLog::Clear() {
  rows_.clear();
  file_ = platform::File();
  file_path_.clear();
  file_failed_ = false;
  if (listener_.cleared) listener_.cleared();
}

void JobLog::Record(const LogRow& row) {
  if (folder_.empty() || file_failed_) return;
  platform::FileError error;
  if (!file_.is_open()) {
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    std::string stamp = clock_.Date() + "_" + clock_.Time();
    std::replace(stamp.begin(), stamp.end(), ':', '-');
    for (int n = 1; !file_.is_open() && n < 100; ++n) {
      const std::string suffix = n == 1 ? "" : "-" + std::to_string(n);
      file_path_ = folder_ / ("vantora-" + stamp + suffix + ".log");
      error = {};
      file_ = platform::File::Open(file_path_, platform::File::Mode::kCreateExclusive, &error);
      if (error.code != EEXIST) break;
    }
    if (!file_.is_open()) {
      file_failed_ = true;
      file_path_.clear();
      return;
    }
    PruneOldFiles();
  }
  // The row's text is its time, " - " and the message.
  const std::size_t dash = row.text.find(" - ");
  const std::string message = dash == std::string::npos ? row.text : row.text.substr(dash + 3);
  const std::string line = clock_.Date() + " " + row.text.substr(0, dash) +
                           (row.icon == LogIcon::kError ? " error " : " info  ") + message + "\n";
  if (!file_.WriteAll(line.data(), line.size(), &error)) file_failed_ = true;
}

void JobLog::PruneOldFiles() const {
  std::vector<std::filesystem::path> logs;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
    const std::string name = entry.path().filename().native();
    if (name.rfind("vantora-", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".log" &&
        entry.is_regular_file(ec))
      logs.push_back(entry.path());
  }
  if (logs.size() <= kKeptLogFiles) return;
  // The names hold the date and time of their run: the oldest sort first.
  std::sort(logs.begin(), logs.end());
  for (std::size_t i = 0; i + kKeptLogFiles < logs.size(); ++i) std::filesystem::remove(logs[i], ec);
}

}  // namespace vantora
