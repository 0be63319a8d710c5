#include "platform/scsi_policy.h"

#include "platform/mmc.h"

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
    case mmc::kBlank:
    case mmc::kFormatUnit:
    case mmc::kCloseTrackSession:
      return hours(2);
    case mmc::kSynchronizeCache:
    case mmc::kSynchronizeCache16:
      return minutes(15);
    case mmc::kWrite10:
    case mmc::kWrite12:
    case mmc::kWriteAndVerify10:
      return seconds(60);
    default:
      return seconds(30);
  }
}

bool CommandChangesNothing(std::uint8_t opcode) {
  switch (opcode) {
    case mmc::kTestUnitReady:
    case mmc::kRequestSense:
    case mmc::kInquiry:
    case mmc::kModeSense6:
    case mmc::kReadFormatCapacities:
    case mmc::kReadCapacity:
    case mmc::kRead10:
    case mmc::kReadSubChannel:
    case mmc::kReadTocPmaAtip:
    case mmc::kGetConfiguration:
    case mmc::kGetEventStatusNotification:
    case mmc::kReadDiscInformation:
    case mmc::kReadTrackInformation:
    case mmc::kModeSense10:
    case mmc::kReadBufferCapacity:
    case mmc::kRead12:
    case mmc::kGetPerformance:
    case mmc::kReadDvdStructure:
    case mmc::kReadCdMsf:
    case mmc::kReadCd:
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
  if (IsUnitAttention(result) && !cdb.empty() && CommandChangesNothing(cdb[0])) {
    result = send();
    result.after_unit_attention = true;
  }
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
