// The table of contents of the last disc read: one track record per track,
// in disc order, kept process-wide for the members that take no drive number
// (the disc information and ripping members), with the drive it came from.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zephrel {

class MmcDrive;

struct TrackRecord {
  int reserved = 0;
  std::string duration;  // "%.2d:%.2d.%.2d" minutes, seconds, frames of the length
  std::string title;     // "Track 01" ... until replaced
  // Start in frames of the MSF address as the drive reports it (the 150
  // frames before LBA 0 included); the disc copy may replace it.
  int start = 0;
  int length = 0;  // frames to the next track's (or the lead-out's) start; never negative
  int start_minute = 0, start_second = 0, start_frame = 0;
  int selected = 0;

  int number = 0;                // track number of the descriptor
  std::uint8_t adr_control = 0;  // ADR (high nibble) and control (low nibble) of the descriptor
  int toc_start = 0;             // start as the TOC gives it, kept when start is replaced
  std::uint32_t info_start = 0;  // start LBA as READ TRACK INFORMATION gives it (0 when unread)
  std::uint32_t info_size = 0;   // size in sectors as READ TRACK INFORMATION gives it

  bool audio() const { return (adr_control & 0x04) == 0; }
  bool pre_emphasis() const { return (adr_control & 0x01) != 0; }
};

// The longest title a record keeps, in characters.
inline constexpr std::size_t kTrackTitleLimit = 259;

// Track records from a READ TOC (format 0, MSF) reply of the bytes the drive
// moved. The count is bounded by the declared data length, the bytes moved
// and 99 tracks; a lead-out (or next track) before a track's start gives it
// length 0; a reply whose last track is below its first gives no records.
std::vector<TrackRecord> ParseToc(std::span<const std::uint8_t> reply);

// "%.2d:%.2d.%.2d" of frames as minutes, seconds and frames.
std::string DurationText(int frames);

class TrackList {
 public:
  static TrackList& Process();

  // Replaces the list with records read from drive.
  void Replace(int drive, std::vector<TrackRecord> records);
  void Clear();  // ClearTrackList
  int Count() const;
  int Drive() const;  // the drive the list was read from; -1 when empty
  std::vector<TrackRecord> Records() const;
  std::optional<TrackRecord> Record(int index) const;
  // Accessors by 0-based index; outside the list they give the empty text
  // and change nothing.
  std::string GetTrackDurationText(int index) const;
  std::string GetTrackTitle(int index) const;
  // No text gives the empty title; longer texts are cut to kTrackTitleLimit
  // characters.
  void SetTrackTitle(int index, const char* text);
  // The ripping selection flag; 0 outside the list, where setting it changes
  // nothing.
  int GetSelected(int index) const;
  void SetSelected(int index, int value);
  int GetDiscLengthSeconds() const;

 private:
  mutable std::mutex mutex_;
  int drive_ = -1;
  std::vector<TrackRecord> records_;
};

// Reads the table of contents of a drive into the process-wide list: 0, or
// -1 when READ TOC failed (the list is then empty).
int ReadToc(MmcDrive& drive, int drive_number);

}  // namespace zephrel
