// Pacing of the emulated drive's writes in real time: a small drive buffer
// that drains at the selected write speed. A WRITE waits while the buffer is
// full, as a real drive holds the host; a WRITE that finds the buffer run dry
// while a write session goes on is an underrun. Off unless a speed is set, so
// tests stay fast.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace platform::emu {

class WritePacing {
 public:
  // kbps 0 turns pacing off.
  void Set(std::uint32_t kbps, std::size_t buffer_bytes);
  bool on() const { return kbps_ > 0; }
  std::uint32_t kbps() const { return kbps_; }
  // Before bytes of a WRITE are taken: waits while the buffer is full. True
  // when the buffer had run dry since the last write of this session.
  bool BeforeWrite(std::size_t bytes);
  // The write session ends (the cache is flushed or a track closed): the
  // buffer drains without harm.
  void EndSession();
  // Time the drive did not take: the buffer does not drain over it.
  void Exclude(std::chrono::steady_clock::duration time);
  std::uint64_t underruns() const { return underruns_; }

 private:
  using Clock = std::chrono::steady_clock;
  void Drain();

  std::uint32_t kbps_ = 0;
  double buffer_bytes_ = 0;
  double fill_ = 0;
  bool in_session_ = false;
  Clock::time_point last_{};
  std::uint64_t underruns_ = 0;
};

}  // namespace platform::emu
