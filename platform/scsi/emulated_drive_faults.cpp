// Fault injection: sense answers armed by a test for matching commands, a not-ready spell and a buffer
// underrun.
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
  for (auto it = faults.begin(); it != faults.end(); ++it) {
    if (it->opcode != op) continue;
    if (has_lba && (last < it->first_lba || first > it->last_lba)) continue;
    Check c{it->key, it->asc, it->ascq};
    if (--it->count <= 0) faults.erase(it);
    return c;
  }
  return std::nullopt;
}

void EmulatedDrive::BecomeNotReady(int commands) {
  std::lock_guard lock(impl_->mutex);
  impl_->not_ready = std::max(0, commands);
}

void EmulatedDrive::InjectFault(const InjectedFault& fault) {
  std::lock_guard lock(impl_->mutex);
  if (fault.count > 0) impl_->faults.push_back(fault);
}

void EmulatedDrive::ArmUnderrun() {
  std::lock_guard lock(impl_->mutex);
  impl_->underrun = true;
}

}  // namespace platform
