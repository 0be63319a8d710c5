#include "drive/toc.h"

#include <algorithm>
#include <cstdio>

#include "drive/mmc_drive.h"

namespace zephrel {
namespace {

constexpr std::size_t kHeaderSize = mmc::toc::kHeaderLength;
constexpr std::size_t kDescriptorSize = mmc::toc::kDescriptorLength;
constexpr std::size_t kMaxDescriptors = 100;  // 99 tracks and the lead-out
constexpr int kMaxTracks = 99;

int DescriptorStart(std::span<const std::uint8_t> reply, std::size_t index) {
  const std::uint8_t* d = reply.data() + kHeaderSize + kDescriptorSize * index + mmc::toc::kAddress;
  return d[1] * 4500 + d[2] * 75 + d[3];
}

// Cuts UTF-8 text after limit characters (a character is a lead byte and its
// continuation bytes).
std::string CutToCharacters(std::string text, std::size_t limit) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (characters == limit) {
      text.resize(i);
      break;
    }
    ++characters;
  }
  return text;
}

}  // namespace

std::string DurationText(int frames) {
  frames = std::max(0, frames);
  char text[32];
  std::snprintf(text, sizeof text, "%.2d:%.2d.%.2d", frames / 4500, (frames % 4500) / 75, frames % 75);
  return text;
}

namespace {

// The record of the descriptor at index i, track i + 1 of the list.
TrackRecord RecordOf(std::span<const std::uint8_t> reply, std::size_t i, int length) {
  const std::uint8_t* d = reply.data() + kHeaderSize + kDescriptorSize * i;
  TrackRecord r;
  r.start_minute = d[mmc::toc::kAddress + 1];
  r.start_second = d[mmc::toc::kAddress + 2];
  r.start_frame = d[mmc::toc::kAddress + 3];
  r.start = DescriptorStart(reply, i);
  r.toc_start = r.start;
  r.length = std::max(0, length);
  r.duration = DurationText(r.length);
  char title[32];
  std::snprintf(title, sizeof title, "Track %.2d", static_cast<int>(i) + 1);
  r.title = title;
  r.number = d[mmc::toc::kTrackNumber];
  r.adr_control = d[mmc::toc::kAdrControl];
  return r;
}

}  // namespace

std::vector<TrackRecord> ParseToc(std::span<const std::uint8_t> reply) {
  std::vector<TrackRecord> records;
  if (reply.size() < kHeaderSize) return records;
  const std::size_t declared = (std::size_t(reply[0]) << 8 | reply[1]) + 2;
  const std::size_t usable = std::min(reply.size(), declared);
  if (usable < kHeaderSize) return records;
  const std::size_t descriptors = std::min((usable - kHeaderSize) / kDescriptorSize, kMaxDescriptors);
  const int first = reply[mmc::toc::kFirst], last = reply[mmc::toc::kLast];
  if (last < first || descriptors < 2) return records;
  // Every track needs the descriptor after it for its end.
  const int count = std::min({last - first + 1, static_cast<int>(descriptors) - 1, kMaxTracks});
  for (int i = 0; i < count; ++i)
    records.push_back(
        RecordOf(reply, std::size_t(i),
                 DescriptorStart(reply, std::size_t(i) + 1) - DescriptorStart(reply, std::size_t(i))));
  return records;
}

TrackList& TrackList::Process() {
  static TrackList list;
  return list;
}

void TrackList::Replace(int drive, std::vector<TrackRecord> records) {
  std::lock_guard lock(mutex_);
  drive_ = drive;
  records_ = std::move(records);
}

void TrackList::Clear() {
  std::lock_guard lock(mutex_);
  drive_ = -1;
  records_.clear();
}

int TrackList::Count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(records_.size());
}

int TrackList::Drive() const {
  std::lock_guard lock(mutex_);
  return drive_;
}

std::vector<TrackRecord> TrackList::Records() const {
  std::lock_guard lock(mutex_);
  return records_;
}

std::optional<TrackRecord> TrackList::Record(int index) const {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(records_.size())) return std::nullopt;
  return records_[std::size_t(index)];
}

std::string TrackList::GetTrackDurationText(int index) const {
  const auto record = Record(index);
  return record ? record->duration : std::string();
}

std::string TrackList::GetTrackTitle(int index) const {
  const auto record = Record(index);
  return record ? record->title : std::string();
}

void TrackList::SetTrackTitle(int index, const char* text) {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(records_.size())) return;
  records_[std::size_t(index)].title = text ? CutToCharacters(text, kTrackTitleLimit) : std::string();
}

int TrackList::GetSelected(int index) const {
  const auto record = Record(index);
  return record ? record->selected : 0;
}

void TrackList::SetSelected(int index, int value) {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(records_.size())) return;
  records_[std::size_t(index)].selected = value;
}

int TrackList::GetDiscLengthSeconds() const {
  std::lock_guard lock(mutex_);
  if (records_.empty()) return 0;
  return (records_.back().start + records_.back().length) / 75;
}

int ReadToc(MmcDrive& drive, int drive_number) {
  TrackList& list = TrackList::Process();
  list.Clear();
  const auto reply = drive.ReadTocReply();
  if (!reply) return -1;
  std::vector<TrackRecord> records = ParseToc(*reply);
  for (TrackRecord& r : records) {
    if (r.number < 1 || r.number > kMaxTracks) continue;
    r.info_start = drive.MmcGetTrackStartAddress(static_cast<std::uint32_t>(r.number)).value_or(0);
    r.info_size = drive.MmcGetTrackSize(static_cast<std::uint32_t>(r.number)).value_or(0);
  }
  // A reply the drive cut short is read for what it holds: a track whose
  // start came but whose end (the next descriptor) did not ends where READ
  // TRACK INFORMATION says. Tracks it lost altogether make it unreadable,
  // never a shorter disc.
  const auto toc = mmc::ParseToc(*reply, kTocReplyLength);
  if (toc && toc->short_reply) {
    const int listed = std::min(toc->last - toc->first + 1, kMaxTracks);
    if (static_cast<int>(records.size()) < listed && toc->descriptors.size() == records.size() + 1) {
      const std::size_t i = records.size();
      const auto number = static_cast<std::uint32_t>(toc->descriptors[i].track);
      const std::optional<std::uint32_t> size = drive.MmcGetTrackSize(number);
      if (size && *size > 0 && number >= 1 && number <= kMaxTracks) {
        TrackRecord r = RecordOf(*reply, i, static_cast<int>(*size));
        r.info_start = drive.MmcGetTrackStartAddress(number).value_or(0);
        r.info_size = *size;
        records.push_back(std::move(r));
      }
    }
    if (static_cast<int>(records.size()) < listed) return -1;
  }
  list.Replace(drive_number, std::move(records));
  return 0;
}

}  // namespace zephrel
