#include "platform/scsi_policy.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>

namespace platform {
namespace {

// Appends one line for a command to the file named by ZEPHREL_SCSI_LOG (read
// at every command, so a test may name the file after start-up). The file is
// shared by every drive of the process, so writes are serialised.
void TraceCommand(const std::string& node, std::span<const std::uint8_t> cdb, const ScsiResult& result,
                  bool retried) {
  const char* path = std::getenv("ZEPHREL_SCSI_LOG");
  if (path == nullptr || *path == 0) return;
  std::ostringstream line;
  char hex[4];
  line << node << " CDB";
  for (std::uint8_t byte : cdb) {
    std::snprintf(hex, sizeof hex, " %02X", byte);
    line << hex;
  }
  if (result.transport == ScsiResult::Transport::kTimeout) {
    line << " -> timeout";
  } else if (result.transport == ScsiResult::Transport::kError) {
    line << " -> transport error: " << result.transport_message;
  } else {
    char text[64];
    std::snprintf(text, sizeof text, " -> status %02X sense %X/%02X/%02X moved %zu", result.status,
                  result.sense.key, result.sense.asc, result.sense.ascq, result.transferred);
    line << text;
  }
  if (retried) line << " (sent again after a unit attention)";
  line << '\n';
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  std::ofstream out(path, std::ios::app);
  out << line.str();
}

}  // namespace

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

TransportPolicy::TransportPolicy(std::unique_ptr<ScsiDevice> backend) : backend_(std::move(backend)) {}

ScsiResult TransportPolicy::exec(std::span<const std::uint8_t> cdb, DataDirection direction,
                                 std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) {
  // Pass-through hands the length to the drive, and USB bridges refuse a
  // length other than the opcode's standard one.
  const std::size_t standard = cdb.empty() ? 0 : StandardCdbLength(cdb[0]);
  const bool valid_length =
      standard != 0 ? cdb.size() == standard
                    : (cdb.size() == 6 || cdb.size() == 10 || cdb.size() == 12 || cdb.size() == 16);
  if (!valid_length) {
    ScsiResult refused;
    refused.transport = ScsiResult::Transport::kError;
    refused.transport_message = "command block of " + std::to_string(cdb.size()) + " bytes refused";
    TraceCommand(backend_->identity().node, cdb, refused, false);
    return refused;
  }
  if (timeout.count() <= 0) timeout = CommandTimeout(cdb[0]);
  int sends = 0;
  ScsiResult result = ExecRetryingUnitAttention(cdb, [&] {
    ++sends;
    return backend_->exec(cdb, direction, buffer, timeout);
  });
  TraceCommand(backend_->identity().node, cdb, result, sends > 1);
  return result;
}

const DeviceIdentity& TransportPolicy::identity() const { return backend_->identity(); }

std::unique_ptr<ScsiDevice> WithTransportPolicy(std::unique_ptr<ScsiDevice> backend) {
  return std::make_unique<TransportPolicy>(std::move(backend));
}

}  // namespace platform
