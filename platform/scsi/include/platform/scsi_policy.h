// The transport policy: how long a command may take, whether it may be
// repeated, which command blocks may be sent at all, and the command trace.
// OpenDrives wraps every backend (SG_IO and the emulated drive) in one
// TransportPolicy, so a command takes the same path to either.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "platform/scsi.h"

namespace platform {

// The time a drive is given for the command whose first CDB byte is opcode:
// 2 h for BLANK, FORMAT UNIT and CLOSE TRACK/SESSION (the drive may finish the
// whole operation before it answers), 15 min for SYNCHRONIZE CACHE, 60 s for
// WRITE(10)/WRITE(12), 30 s for everything else.
std::chrono::milliseconds CommandTimeout(std::uint8_t opcode);

// True for the commands that change nothing on the drive or its medium (TEST
// UNIT READY, INQUIRY, GET CONFIGURATION, MODE SENSE, the reads and the
// information queries): only these are sent again after a unit attention.
bool CommandChangesNothing(std::uint8_t opcode);

// True when the result reports a unit attention (sense key 6): the drive was
// reset or its medium changed, and the command was not carried out.
bool IsUnitAttention(const ScsiResult& result);

// Sends a command through send and, when the drive answers with a unit
// attention and the command changes nothing, sends it once more and returns the
// second answer. A unit attention on any other command is returned as it is:
// the caller must see the failure, since repeating a write, close, reserve,
// blank or format after a reset could damage the medium.
ScsiResult ExecRetryingUnitAttention(std::span<const std::uint8_t> cdb,
                                     const std::function<ScsiResult()>& send);

// The standard CDB length of an opcode by its group code: 6 for 00h-1Fh, 10 for
// 20h-5Fh, 16 for 80h-9Fh, 12 for A0h-BFh; 0 for the vendor and reserved
// groups.
std::size_t StandardCdbLength(std::uint8_t opcode);

// A device that applies the policy to every command before its backend sees
// it: a block of another length than its opcode's standard one (any of 6, 10,
// 12, 16 for the vendor groups) is refused with a transport error and never
// sent; a timeout of 0 or less becomes CommandTimeout; a unit attention is
// answered by ExecRetryingUnitAttention; and when ZEPHREL_SCSI_LOG names a file,
// one line per command (its bytes, the outcome, whether it was sent again) is
// appended to it.
class TransportPolicy final : public ScsiDevice {
 public:
  explicit TransportPolicy(std::unique_ptr<ScsiDevice> backend);

  ScsiResult exec(std::span<const std::uint8_t> cdb, DataDirection direction, std::span<std::uint8_t> buffer,
                  std::chrono::milliseconds timeout) override;
  const DeviceIdentity& identity() const override;
  HoldResult HoldExclusive(std::string* why) override { return backend_->HoldExclusive(why); }
  void ReleaseExclusive() override { backend_->ReleaseExclusive(); }

  ScsiDevice& backend() { return *backend_; }

 private:
  std::unique_ptr<ScsiDevice> backend_;
};

std::unique_ptr<ScsiDevice> WithTransportPolicy(std::unique_ptr<ScsiDevice> backend);

}  // namespace platform
