// The job log of the compilation step: one row per event of the authoring and
// disc-writing jobs, newest last. Rows are found again by key; keys are
// unique within the log, and a row is never dropped for its key.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/fileio.h"

namespace vantora {

// How many job log files KeepFilesIn leaves in its folder.
inline constexpr std::size_t kKeptLogFiles = 20;

// The time and date written into rows and keys.
class LogClock {
 public:
  virtual ~LogClock() = default;
  virtual std::string Time() = 0;  // e.g. "14:03:07"
  virtual std::string Date() = 0;  // e.g. "2026-12-09"
};

// The local time as HH:MM:SS and the date as YYYY-MM-DD.
class SystemLogClock final : public LogClock {
 public:
  std::string Time() override;
  std::string Date() override;
};

enum class LogIcon { kStep = 1, kError = 2 };

struct LogRow {
  std::string text;  // time " - " message
  std::string key;
  LogIcon icon = LogIcon::kStep;
};

class JobLog {
 public:
  // What a view of the log is told; each may be empty.
  struct Listener {
    std::function<void(std::size_t index)> row_added;    // appended at index; show it
    std::function<void(std::size_t index)> row_changed;  // text of the row at index
    std::function<void()> cleared;
  };

  // clock must outlive the log.
  explicit JobLog(LogClock& clock) : clock_(clock) {}
  void SetListener(Listener listener) { listener_ = std::move(listener); }

  // Keeps each run's rows in a file of folder as well, so that a failure can
  // be reported: a run starts with Clear, and its file
  // "vantora-DATE_TIME.log" is made (folder too) at its first row. Every
  // added or rewritten row becomes one line: date, time, level ("info" or
  // "error") and text. Only the newest kKeptLogFiles such files stay; other
  // files of folder are never touched. A file that cannot be written is given
  // up without disturbing the job. An empty folder keeps nothing.
  void KeepFilesIn(std::filesystem::path folder) { folder_ = std::move(folder); }
  // The current run's file; empty before its first row or without a folder.
  const std::filesystem::path& file() const { return file_path_; }

  // Appends time " - " message keyed by date " " time message; nothing for
  // an empty message.
  void AddProgressLine(const std::string& message);
  // Appends time " - " message with the caller's key. When a row has that
  // key already, the new row gets the key followed by " #2", " #3", ...
  // (the first free one). Returns the key given to the row.
  std::string AddRow(const std::string& message, const std::string& key, LogIcon icon);
  // Rewrites the text of the first row whose key equals key exactly (case
  // counts) as time " - " message; nothing for an empty message or an
  // unknown key.
  void UpdateProgressLine(const std::string& message, const std::string& key);
  bool ProgressLogHasKey(const std::string& key) const;
  void Clear();

  const std::vector<LogRow>& rows() const { return rows_; }

 private:
  int FindKey(const std::string& key) const;
  // Writes row as a line of the run's file, making the file first.
  void Record(const LogRow& row);
  void PruneOldFiles() const;

  LogClock& clock_;
  std::filesystem::path folder_;
  std::filesystem::path file_path_;
  platform::File file_;
  bool file_failed_ = false;
  Listener listener_;
  std::vector<LogRow> rows_;
};

}  // namespace vantora
