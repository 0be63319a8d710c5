// The speed of the emulated drive's writes: pacing through a drive buffer that
// drains at the write speed, the underrun count, and deferred state saves.
#include "emulated_drive_pacing.h"

#include <algorithm>
#include <thread>

#include "emulated_drive_impl.h"

namespace platform {
namespace emu {

void WritePacing::Set(std::uint32_t kbps, std::size_t buffer_bytes) {
  kbps_ = kbps;
  buffer_bytes_ = static_cast<double>(std::max<std::size_t>(buffer_bytes, 1));
  fill_ = 0;
  in_session_ = false;
}

void WritePacing::Drain() {
  const Clock::time_point now = Clock::now();
  const double seconds = std::chrono::duration<double>(now - last_).count();
  fill_ = std::max(0.0, fill_ - seconds * kbps_ * 1000.0);
  last_ = now;
}

bool WritePacing::BeforeWrite(std::size_t bytes) {
  if (!on()) return false;
  bool dry = false;
  if (in_session_) {
    Drain();
    dry = fill_ <= 0;
  } else {
    in_session_ = true;
    last_ = Clock::now();
    fill_ = 0;
  }
  if (dry) ++underruns_;
  fill_ += static_cast<double>(bytes);
  // The host waits until the buffer holds no more than its size.
  if (fill_ > buffer_bytes_) {
    const double wait = (fill_ - buffer_bytes_) / (kbps_ * 1000.0);
    std::this_thread::sleep_for(std::chrono::duration<double>(wait));
    Drain();
  }
  return dry;
}

void WritePacing::EndSession() { in_session_ = false; }

void WritePacing::Exclude(Clock::duration time) {
  if (on() && in_session_) last_ += time;
}

}  // namespace emu

void EmulatedDrive::SetWritePacing(std::uint32_t kbps, std::size_t buffer_bytes) {
  LockedDrive locked(*impl_);
  impl_->state.pacing_kbps = kbps;
  impl_->state.pacing_buffer = static_cast<std::uint32_t>(std::min<std::size_t>(buffer_bytes, 0xFFFFFFFFu));
  impl_->ApplyPacing();
  impl_->dirty = true;
}

void EmulatedDrive::SetWriteSavesDeferred(bool deferred) {
  std::lock_guard lock(impl_->mutex);
  impl_->defer_write_saves = deferred;
}

std::uint64_t EmulatedDrive::UnderrunCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->pacing.underruns();
}

}  // namespace platform
