// Fault injection: sense answers and replies cut short, armed by a test for matching commands, a not-ready
// spell and a buffer underrun.
#include "emulated_drive_impl.h"

#include <algorithm>

namespace platform {
using namespace emu;

std::optional<Check> EmulatedDrive::Impl::InjectedFor(const std::uint8_t* cdb, std::size_t length) {
  std::uint8_t op = cdb[0];
  bool has_lba = op == kRead10 || op == kWrite10 || op == kReadCd || op == kVerify10;
  std::uint32_t first = has_lba && length >= 6 ? GetBe32(cdb + 2) : 0;
  std::uint32_t count = op == kReadCd ? GetBe24(cdb + 6) : (has_lba ? GetBe16(cdb + 7) : 1);
  std::uint64_t last = std::uint64_t(first) + (count ? count - 1 : 0);
  for (auto it = state.faults.begin(); it != state.faults.end(); ++it) {
    if (it->opcode != op || it->shorten > 0) continue;
    if (has_lba && (last < it->first_lba || first > it->last_lba)) continue;
    Check c{it->key, it->asc, it->ascq};
    // Counted down here and saved with the next change, so that a fault
    // answering thousands of polls costs no file writes.
    if (--it->count <= 0) state.faults.erase(it);
    return c;
  }
  return std::nullopt;
}

std::size_t EmulatedDrive::Impl::InjectedShortening(std::uint8_t opcode) {
  for (auto it = state.faults.begin(); it != state.faults.end(); ++it) {
    if (it->opcode != opcode || it->shorten == 0) continue;
    const std::size_t bytes = it->shorten;
    if (--it->count <= 0) state.faults.erase(it);
    return bytes;
  }
  return 0;
}

void EmulatedDrive::BecomeNotReady(int commands) {
  LockedDrive locked(*impl_);
  impl_->state.not_ready = std::max(0, commands);
  impl_->dirty = true;
}

void EmulatedDrive::InjectFault(const InjectedFault& fault) {
  LockedDrive locked(*impl_);
  if (fault.count > 0) impl_->state.faults.push_back(fault);
  impl_->dirty = true;
}

void EmulatedDrive::ArmUnderrun() {
  LockedDrive locked(*impl_);
  impl_->state.underrun = true;
  impl_->dirty = true;
}

}  // namespace platform
