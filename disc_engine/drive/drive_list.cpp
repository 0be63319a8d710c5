#include "drive/drive_list.h"

#include <algorithm>
#include <cstdlib>

namespace zephrel {

std::string DriveRecord::display() const { return vendor + " - " + product + " (" + revision + ")"; }

void DriveList::Replace(std::vector<std::unique_ptr<platform::ScsiDevice>> devices) {
  std::vector<Entry> entries;
  entries.reserve(devices.size());
  for (auto& device : devices) {
    if (!device) continue;
    const platform::DeviceIdentity& id = device->identity();
    Entry entry;
    entry.record = {id.address.host, id.address.target, id.address.lun, id.vendor,
                    id.product,      id.revision,       id.node};
    entry.device = std::shared_ptr<platform::ScsiDevice>(WatchMedium(std::move(device), entry.watch));
    entries.push_back(std::move(entry));
  }
  std::lock_guard lock(mutex_);
  entries_ = std::move(entries);
}

void DriveList::ReleaseDevices() {
  std::vector<std::shared_ptr<platform::ScsiDevice>> released;
  {
    std::lock_guard lock(mutex_);
    for (Entry& entry : entries_) {
      released.push_back(std::move(entry.device));
      entry.speeds.clear();
      entry.probed.reset();
    }
  }
  // Devices are destroyed outside the lock (a destructor may wait for I/O).
}

const DriveList::Entry* DriveList::Find(int drive) const {
  if (drive < 0 || static_cast<std::size_t>(drive) >= entries_.size()) return nullptr;
  return &entries_[static_cast<std::size_t>(drive)];
}

DriveList::Entry* DriveList::Find(int drive) {
  return const_cast<Entry*>(static_cast<const DriveList*>(this)->Find(drive));
}

int DriveList::Count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(entries_.size());
}

std::optional<DriveRecord> DriveList::Record(int drive) const {
  std::lock_guard lock(mutex_);
  if (const Entry* entry = Find(drive)) return entry->record;
  return std::nullopt;
}

std::shared_ptr<platform::ScsiDevice> DriveList::Device(int drive) const {
  std::lock_guard lock(mutex_);
  if (const Entry* entry = Find(drive)) return entry->device;
  return nullptr;
}

void DriveList::ClearSpeeds(int drive) {
  std::lock_guard lock(mutex_);
  if (Entry* entry = Find(drive)) {
    entry->speeds.clear();
    entry->probed.reset();
  }
}

void DriveList::AddSpeed(int drive, long kbps) {
  std::lock_guard lock(mutex_);
  if (Entry* entry = Find(drive)) {
    auto& speeds = entry->speeds;
    if (std::find(speeds.begin(), speeds.end(), kbps) == speeds.end()) speeds.push_back(kbps);
  }
}

int DriveList::SpeedCount(int drive) const {
  std::lock_guard lock(mutex_);
  const Entry* entry = Find(drive);
  return entry ? static_cast<int>(entry->speeds.size()) : 0;
}

long DriveList::SpeedAt(int drive, int index) const {
  std::lock_guard lock(mutex_);
  const Entry* entry = Find(drive);
  if (!entry || index < 0 || static_cast<std::size_t>(index) >= entry->speeds.size()) return 0;
  return entry->speeds[static_cast<std::size_t>(index)];
}

void DriveList::ClearAllSpeeds() {
  std::lock_guard lock(mutex_);
  for (Entry& entry : entries_) {
    entry.speeds.clear();
    entry.probed.reset();
  }
}

bool DriveList::SpeedsProbedFor(int drive, std::uint64_t generation, int code) const {
  std::lock_guard lock(mutex_);
  const Entry* entry = Find(drive);
  return entry && entry->probed && entry->probed->generation == generation && entry->probed->code == code;
}

void DriveList::SetSpeedsProbedFor(int drive, std::uint64_t generation, int code) {
  std::lock_guard lock(mutex_);
  if (Entry* entry = Find(drive)) entry->probed = ProbedFor{generation, code};
}

std::uint64_t DriveList::MediumGeneration(int drive) const {
  std::lock_guard lock(mutex_);
  const Entry* entry = Find(drive);
  return entry ? entry->watch->Generation() : 0;
}

void DriveList::MediumMayHaveChanged(int drive) {
  std::lock_guard lock(mutex_);
  if (Entry* entry = Find(drive)) entry->watch->Changed();
}

namespace {

std::mutex g_source_mutex;
DriveSource g_source;

}  // namespace

void SetDriveSourceForTesting(DriveSource source) {
  std::lock_guard lock(g_source_mutex);
  g_source = std::move(source);
}

platform::ScanResult OpenConfiguredDrives() {
  DriveSource source;
  {
    std::lock_guard lock(g_source_mutex);
    source = g_source;
  }
  if (source) return source();
  const char* spec = std::getenv("ZEPHREL_DRIVES");
  return platform::OpenDrives(spec ? spec : "");
}

}  // namespace zephrel
