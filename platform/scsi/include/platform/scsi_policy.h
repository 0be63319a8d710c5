// How long a command may take and whether it may be repeated: the rules every
// backend applies to the commands it sends.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
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

}  // namespace platform
