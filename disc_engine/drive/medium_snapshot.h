// One view of the medium in a drive. Every command a drive of the engine
// answers passes its MediumWatch, which counts the signs that the medium may
// have changed; a MediumSnapshot is one look at the medium for the questions
// of one refresh, and stays good while that count stays where it was.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "platform/scsi.h"

namespace zephrel {

// Counts the medium changes a drive shows: a unit attention answered before a
// command (a new medium, a reset), the drive turning not ready (the tray
// opened, the medium taken out) and TEST UNIT READY succeeding again after
// that. Thread-safe.
class MediumWatch {
 public:
  void Observe(std::uint8_t opcode, const platform::ScsiResult& result);
  // For a change the drive's answers may not show: a job that writes the
  // medium, a tray member.
  void Changed() { generation_.fetch_add(1); }
  // Grows with every change; equal counts mean the same medium, as far as
  // the drive has told.
  std::uint64_t Generation() const { return generation_.load(); }

 private:
  std::atomic<std::uint64_t> generation_{0};
  std::atomic<int> ready_{-1};  // 1 ready, 0 not, -1 not known yet
};

// device, with the result of every command it answers shown to watch.
std::unique_ptr<platform::ScsiDevice> WatchMedium(std::unique_ptr<platform::ScsiDevice> device,
                                                  std::shared_ptr<MediumWatch> watch);

// One look at the medium in a drive. Taking it sends TEST UNIT READY. The
// device it gives sends each question about the medium (GET CONFIGURATION,
// READ DISC INFORMATION, READ TRACK INFORMATION, READ FORMAT CAPACITIES, READ
// CAPACITY, READ DVD STRUCTURE, READ TOC/PMA/ATIP, READ(10) of a few
// sectors) to the drive once and answers it again from that reply, so the
// questions of one refresh see one medium and each costs one command. When
// TEST UNIT READY found no medium ready, these questions get its refusal
// without reaching the drive, whatever the drive would have answered. Every
// other command goes to the drive.
class MediumSnapshot {
 public:
  // generation: the drive's watch count, read after the look was taken.
  MediumSnapshot(std::shared_ptr<platform::ScsiDevice> device,
                 const std::function<std::uint64_t()>& generation);

  bool MediumReady() const;
  std::uint64_t Generation() const { return generation_; }
  std::shared_ptr<platform::ScsiDevice> Device() const { return device_; }
  // The drive's device the look was taken of.
  const platform::ScsiDevice* Source() const { return source_; }

 private:
  std::shared_ptr<platform::ScsiDevice> device_;
  const platform::ScsiDevice* source_ = nullptr;
  std::uint64_t generation_ = 0;
};

// The open refreshes of the drives' media. While a refresh of a drive is
// open, the media members of that drive ask one snapshot, taken at the first
// question and again once the drive's watch count has moved on; outside a
// refresh they ask the drive. Thread-safe.
class MediumRefreshes {
 public:
  // Opens a refresh of drive (ending one still open): the next question takes
  // a new look.
  void Begin(int drive);
  // Ends the refresh of drive: true when one look answered it all, the medium
  // unchanged since (the watch count is still `generation`).
  bool End(int drive, std::uint64_t generation);

  // What the media members of drive ask: the open refresh's snapshot, or
  // device itself outside a refresh. With look_outside, a call outside a
  // refresh gets a look of its own.
  std::shared_ptr<platform::ScsiDevice> DeviceFor(int drive,
                                                  const std::shared_ptr<platform::ScsiDevice>& device,
                                                  const std::function<std::uint64_t()>& generation,
                                                  bool look_outside = false);

 private:
  struct Open {
    std::shared_ptr<MediumSnapshot> look;  // once taken
    bool retaken = false;                  // the medium changed under an earlier look
  };
  std::mutex mutex_;
  std::map<int, Open> open_;  // by drive
};

}  // namespace zephrel
