// The command path: every command block is counted, checked against injected faults, pending unit attentions
// and running operations, then dispatched by opcode; the outcome is logged.
#include "emulated_drive_impl.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "platform/scsi_policy.h"

namespace platform {
using namespace emu;

std::size_t EmulatedDrive::Impl::Send(const std::vector<std::uint8_t>& reply, std::size_t allocation,
                                      std::span<std::uint8_t> buffer) {
  std::size_t n = std::min({reply.size(), allocation, buffer.size()});
  if (n) std::memcpy(buffer.data(), reply.data(), n);
  return n;
}

void EmulatedDrive::Impl::CountCommand() {
  if (busy > 0) --busy;
  if (bg_remaining > 0 && --bg_remaining == 0 && state.medium && state.medium->bg_format == 2) {
    state.medium->bg_format = 3;
    dirty = true;
  }
}

ScsiResult EmulatedDrive::Impl::Exec(std::span<const std::uint8_t> sent, std::span<std::uint8_t> buffer) {
  ScsiResult result;
  // The transport policy sends only blocks of their opcode's standard
  // length. A block of another length is taken as a packet interface does:
  // cut or zero-padded to the standard length.
  if (sent.empty()) {
    result.transport = ScsiResult::Transport::kError;
    result.transport_message = "empty command block refused";
    return result;
  }
  const std::size_t standard = StandardCdbLength(sent[0]);
  const std::size_t n = sent.size();
  std::array<std::uint8_t, 16> padded{};
  std::copy_n(sent.begin(), std::min<std::size_t>(n, 16), padded.begin());
  const std::span<const std::uint8_t> cdb(padded.data(), standard ? standard : std::min<std::size_t>(n, 16));
  std::size_t transferred = 0;
  Check check;
  std::string transport_error;
  const std::uint8_t op = cdb[0];
  const bool exempt =
      op == kInquiry || op == kRequestSense || op == kGetConfiguration || op == kGetEventStatusNotification;
  in_progress = Busy();
  CountCommand();
  if (auto fault = InjectedFor(cdb.data(), cdb.size())) {
    check = *fault;
  } else if (!exempt && unit_attention) {
    unit_attention = false;
    check = kMediumChanged;
  } else if (!exempt && in_progress) {
    check = busy_sense;
  } else {
    check = Dispatch(cdb.data(), buffer, &transferred, &transport_error);
    if (!check.failed() && transferred > 0) {
      if (const std::size_t cut = std::min(InjectedShortening(op), transferred)) {
        transferred -= cut;
        std::fill_n(buffer.begin() + std::ptrdiff_t(transferred), cut, std::uint8_t(0));
        dirty = true;
      }
    }
  }
  if (!transport_error.empty()) {
    result.transport = ScsiResult::Transport::kError;
    result.transport_message = transport_error;
    check = kGood;
  }
  deferred_write = defer_write_saves && cdb[0] == kWrite10 && !must_save;
  if (dirty && !deferred_write && !Save(&save_error) && !check.failed()) check = kWriteError;
  LoggedCommand entry;
  entry.cdb.assign(cdb.begin(), cdb.end());
  if (check.failed()) {
    result.status = 2;
    result.sense = {check.key, check.asc, check.ascq, true};
    entry.sense = SenseBytes(check, -1);
    transferred = 0;
  }
  result.transferred = transferred;
  entry.status = result.status;
  entry.transferred = transferred;
  log.push_back(std::move(entry));
  if (log.size() > kLogLimit) log.pop_front();
  return result;
}

std::vector<std::uint8_t> EmulatedDrive::Impl::SenseBytes(Check c, int progress) {
  std::vector<std::uint8_t> s(18, 0);
  s[0] = 0x70;
  s[2] = c.key;
  s[7] = 10;
  s[12] = c.asc;
  s[13] = c.ascq;
  if (progress >= 0) {
    s[15] = 0x80;
    PutBe16(&s[16], std::uint32_t(progress));
  }
  return s;
}

Check EmulatedDrive::Impl::Dispatch(const std::uint8_t* cdb, std::span<std::uint8_t> buffer, std::size_t* out,
                                    std::string* terr) {
  const std::uint8_t op = cdb[0];
  switch (op) {
    case kInquiry:
      return Inquiry(cdb, buffer, out);
    case kRequestSense:
      return RequestSense(cdb, buffer, out);
    case kGetConfiguration:
      return GetConfiguration(cdb, buffer, out);
    case kModeSense10:
      return ModeSense(cdb, buffer, out);
    case kModeSelect10:
      return ModeSelect(cdb, buffer, terr);
    case kStartStopUnit:
      return StartStop(cdb);
    case kPreventAllowMediumRemoval:
      state.prevent = (cdb[4] & 0x01) != 0;
      dirty = true;
      return kGood;
    case kSetCdSpeed:
      return SetSpeed(cdb);
    case kReadFormatCapacities:
      return ReadFormatCapacities(cdb, buffer, out);
    case kGetPerformance:
      return GetPerformance(cdb, buffer, out);
    case kGetEventStatusNotification:
      return GetEventStatus(cdb, buffer, out);
    case kSetStreaming:
      return SetStreaming(cdb, buffer, terr);
    case kReadBufferCapacity:
      return ReadBufferCapacity(cdb, buffer, out);
    default:
      break;
  }
  static constexpr std::uint8_t kMediumCommands[] = {kTestUnitReady,
                                                     kFormatUnit,
                                                     kReadCapacity,
                                                     kRead10,
                                                     kWrite10,
                                                     kSynchronizeCache,
                                                     kReadTocPmaAtip,
                                                     kReadDiscInformation,
                                                     kReadTrackInformation,
                                                     kReserveTrack,
                                                     kCloseTrackSession,
                                                     kBlank,
                                                     kSendCueSheet,
                                                     kReadDvdStructure,
                                                     kReadCd};
  if (std::find(std::begin(kMediumCommands), std::end(kMediumCommands), op) == std::end(kMediumCommands))
    return kInvalidCommand;
  const bool writes = op == kFormatUnit || op == kWrite10 || op == kReserveTrack ||
                      op == kCloseTrackSession || op == kBlank || op == kSendCueSheet;
  if (writes && !state.identity.writer) return kInvalidCommand;
  if (!Loaded()) return NoMedium();
  if (state.not_ready > 0) {
    --state.not_ready;  // saved with the next change: a spell is counted, not timed
    return kBecomingReady;
  }
  if (!Supported()) return kIncompatibleMedium;
  switch (op) {
    case kTestUnitReady:
      return kGood;
    case kFormatUnit:
      return FormatUnit(cdb, buffer, terr);
    case kReadCapacity:
      return ReadCapacity(buffer, out);
    case kRead10:
      return Read10(cdb, buffer, out, terr);
    case kWrite10:
      return Write10(cdb, buffer, terr);
    case kSynchronizeCache:
      return SynchronizeCache(cdb);
    case kReadTocPmaAtip:
      return ReadToc(cdb, buffer, out);
    case kReadDiscInformation:
      return DiscInformation(cdb, buffer, out);
    case kReadTrackInformation:
      return TrackInformation(cdb, buffer, out);
    case kReserveTrack:
      return ReserveTrack(cdb);
    case kCloseTrackSession:
      return CloseTrackSession(cdb);
    case kBlank:
      return Blank(cdb);
    case kSendCueSheet:
      return SendCueSheet(cdb, buffer, terr);
    case kReadDvdStructure:
      return ReadDvdStructure(cdb, buffer, out);
    case kReadCd:
      return ReadCd(cdb, buffer, out, terr);
  }
  return kInvalidCommand;
}

void EmulatedDrive::Impl::StartOperation(Check sense, std::uint64_t sectors, bool immediate) {
  using Duration = std::chrono::steady_clock::duration;
  const Duration length = std::chrono::duration_cast<Duration>(
      std::chrono::duration<double>(pacing.on() ? double(sectors) * 2048 / (pacing.kbps() * 1000.0) : 0.0));
  if (!immediate) {
    // The drive answers when it is done, and its caller waits that long.
    if (pacing.on()) std::this_thread::sleep_for(length);
    return;
  }
  busy_sense = sense;
  busy = 0;
  busy_until = {};
  if (!pacing.on() || sectors == 0) {
    busy = state.operation_length;
    return;
  }
  busy_from = std::chrono::steady_clock::now();
  busy_until = busy_from + length;
}

int EmulatedDrive::Impl::OperationProgress() const {
  if (busy > 0) return 65536 * (state.operation_length - busy) / (state.operation_length + 1);
  const double whole = std::chrono::duration<double>(busy_until - busy_from).count();
  const double done = std::chrono::duration<double>(std::chrono::steady_clock::now() - busy_from).count();
  return whole > 0 ? std::clamp(int(65536 * done / whole), 0, 65535) : 0;
}

}  // namespace platform
