#include "platform/scsi_policy.h"

namespace platform {

std::chrono::milliseconds CommandTimeout(std::uint8_t opcode) {
  using std::chrono::hours;
  using std::chrono::minutes;
  using std::chrono::seconds;
  switch (opcode) {
    case 0xA1:  // BLANK
    case 0x04:  // FORMAT UNIT
    case 0x5B:  // CLOSE TRACK/SESSION
      return hours(2);
    case 0x35:  // SYNCHRONIZE CACHE(10)
    case 0x91:  // SYNCHRONIZE CACHE(16)
      return minutes(15);
    case 0x2A:  // WRITE(10)
    case 0xAA:  // WRITE(12)
    case 0x2E:  // WRITE AND VERIFY(10)
      return seconds(60);
    default:
      return seconds(30);
  }
}

bool CommandChangesNothing(std::uint8_t opcode) {
  switch (opcode) {
    case 0x00:  // TEST UNIT READY
    case 0x03:  // REQUEST SENSE
    case 0x12:  // INQUIRY
    case 0x1A:  // MODE SENSE(6)
    case 0x23:  // READ FORMAT CAPACITIES
    case 0x25:  // READ CAPACITY
    case 0x28:  // READ(10)
    case 0x42:  // READ SUB-CHANNEL
    case 0x43:  // READ TOC/PMA/ATIP
    case 0x46:  // GET CONFIGURATION
    case 0x4A:  // GET EVENT STATUS NOTIFICATION
    case 0x51:  // READ DISC INFORMATION
    case 0x52:  // READ TRACK INFORMATION
    case 0x5A:  // MODE SENSE(10)
    case 0x5C:  // READ BUFFER CAPACITY
    case 0xA8:  // READ(12)
    case 0xAC:  // GET PERFORMANCE
    case 0xAD:  // READ DVD STRUCTURE
    case 0xB9:  // READ CD MSF
    case 0xBE:  // READ CD
      return true;
    default:
      return false;
  }
}

bool IsUnitAttention(const ScsiResult& result) {
  return result.transport == ScsiResult::Transport::kOk && result.status == 2 && result.sense.valid &&
         result.sense.key == 6;
}

ScsiResult ExecRetryingUnitAttention(std::span<const std::uint8_t> cdb,
                                     const std::function<ScsiResult()>& send) {
  ScsiResult result = send();
  if (IsUnitAttention(result) && !cdb.empty() && CommandChangesNothing(cdb[0])) result = send();
  return result;
}

std::size_t StandardCdbLength(std::uint8_t opcode) {
  switch (opcode >> 5) {
    case 0:
      return 6;
    case 1:
    case 2:
      return 10;
    case 4:
      return 16;
    case 5:
      return 12;
    default:
      return 0;
  }
}

}  // namespace platform
