// The process-wide list of CD/DVD drives and each drive's write-speed list.
// A drive number is the 0-based index in the list (host, channel, target, LUN
// order). Every accessor checks the number and gives nothing for a number
// outside the list.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "drive/medium_snapshot.h"
#include "platform/scsi.h"
#include "zephrel/test_hooks.h"

namespace zephrel {

struct DriveRecord {
  int host_adapter = 0;  // host number of the SCSI address
  int target = 0;
  int lun = 0;
  std::string vendor;       // INQUIRY vendor, 8 characters, trailing blanks kept
  std::string product;      // 16 characters
  std::string revision;     // 4 characters
  std::string device_path;  // the device node (/dev/sr0), or the emulated drive's folder

  // vendor + " - " + product + " (" + revision + ")"
  std::string display() const;
};

class DriveList {
 public:
  // Replaces the list with the devices found by a scan, in their order;
  // each drive's commands pass its MediumWatch from then on.
  void Replace(std::vector<std::unique_ptr<platform::ScsiDevice>> devices);
  // Releases every device (commands then fail) but keeps the records: the
  // identity members still answer until the next scan.
  void ReleaseDevices();

  int Count() const;
  std::optional<DriveRecord> Record(int drive) const;
  // The device of a drive, shared so that a job keeps it alive while it runs;
  // null for a number outside the list or after ReleaseDevices.
  std::shared_ptr<platform::ScsiDevice> Device(int drive) const;

  // Write speeds in kB/s in the order the drive reported them, distinct.
  void ClearSpeeds(int drive);
  void AddSpeed(int drive, long kbps);  // ignored when already listed
  int SpeedCount(int drive) const;
  long SpeedAt(int drive, int index) const;  // 0 outside the list
  void ClearAllSpeeds();
  // Whether the speed list was probed on the medium the drive holds now: the
  // one of media-type code `code` seen at MediumGeneration `generation`.
  bool SpeedsProbedFor(int drive, std::uint64_t generation, int code) const;
  // Marks the speed list as probed on that medium (until ClearSpeeds).
  void SetSpeedsProbedFor(int drive, std::uint64_t generation, int code);

  // The drive's MediumWatch count (0 outside the list).
  std::uint64_t MediumGeneration(int drive) const;
  // A change to the drive's medium that its answers may not show: a job that
  // writes it, a tray member.
  void MediumMayHaveChanged(int drive);

 private:
  struct ProbedFor {
    std::uint64_t generation;
    int code;
  };
  struct Entry {
    DriveRecord record;
    std::shared_ptr<platform::ScsiDevice> device;
    std::shared_ptr<MediumWatch> watch = std::make_shared<MediumWatch>();
    std::vector<long> speeds;
    std::optional<ProbedFor> probed;
  };
  // Caller holds mutex_.
  Entry* Find(int drive);
  const Entry* Find(int drive) const;
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

// The drives of the installed source (zephrel/test_hooks.h), else those that
// ZEPHREL_DRIVES names.
platform::ScanResult OpenConfiguredDrives();

}  // namespace zephrel
