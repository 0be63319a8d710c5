#include "vantora/job_log.h"

#include <ctime>

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
  if (listener_.row_added) listener_.row_added(rows_.size() - 1);
  return unique;
}

void JobLog::UpdateProgressLine(const std::string& message, const std::string& key) {
  if (message.empty()) return;
  const int index = FindKey(key);
  if (index < 0) return;
  rows_[index].text = clock_.Time() + " - " + message;
  if (listener_.row_changed) listener_.row_changed(static_cast<std::size_t>(index));
}

bool JobLog::ProgressLogHasKey(const std::string& key) const { return FindKey(key) >= 0; }

void JobLog::Clear() {
  rows_.clear();
  if (listener_.cleared) listener_.cleared();
}

}  // namespace vantora
