#include "jobs/sector_fifo.h"

#include <algorithm>
#include <cstring>

namespace zephrel {
namespace {
constexpr std::size_t kSectorBytes = 2048;
}

std::uint32_t SectorFifo::CapacityFor(int size_mib, std::uint32_t sectors_per_block) {
  const std::uint64_t mib = static_cast<std::uint64_t>(std::clamp(size_mib, kFifoMinMib, kFifoMaxMib));
  const std::uint64_t block = std::uint64_t(std::max<std::uint32_t>(sectors_per_block, 1)) * kSectorBytes;
  return std::max<std::uint32_t>(static_cast<std::uint32_t>(mib * 1048576 / block), kFifoMinBlocks);
}

SectorFifo::SectorFifo(int size_mib, std::uint32_t sectors_per_block, const std::atomic<bool>* cancel)
    : sectors_per_block_(std::max<std::uint32_t>(sectors_per_block, 1)),
      block_bytes_(std::size_t(sectors_per_block_) * kSectorBytes),
      capacity_(CapacityFor(size_mib, sectors_per_block_)),
      refill_(std::clamp<std::uint32_t>(capacity_ / 16, 1, 16)),
      cancel_(cancel),
      storage_(std::size_t(capacity_) * block_bytes_),
      lowest_fill_(capacity_) {}

std::span<std::uint8_t> SectorFifo::Reserve() {
  std::unique_lock lock(mutex_);
  if (count_ >= capacity_) {
    producer_waits_ = true;
    while (count_ > capacity_ - refill_ && !stopped_) {
      if (Cancelled()) break;
      not_full_.wait_for(lock, kCancelPoll);
    }
    producer_waits_ = false;
  }
  if (stopped_ || finished_ || Cancelled()) return {};
  return {storage_.data() + std::size_t(write_) * block_bytes_, block_bytes_};
}

bool SectorFifo::Commit() {
  std::unique_lock lock(mutex_);
  if (stopped_ || finished_ || count_ >= capacity_ || Cancelled()) return false;
  write_ = (write_ + 1) % capacity_;
  ++count_;
  if (count_ == capacity_) started_ = true;
  lock.unlock();
  not_empty_.notify_one();
  return true;
}

bool SectorFifo::Push(std::span<const std::uint8_t> block) {
  const std::span<std::uint8_t> slot = Reserve();
  if (slot.empty()) return false;
  const std::size_t n = std::min(block.size(), slot.size());
  std::memcpy(slot.data(), block.data(), n);
  std::memset(slot.data() + n, 0, slot.size() - n);
  return Commit();
}

void SectorFifo::Finish() {
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
    started_ = true;
  }
  not_empty_.notify_all();
}

void SectorFifo::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
  }
  not_empty_.notify_all();
  not_full_.notify_all();
}

std::span<const std::uint8_t> SectorFifo::Front() {
  std::unique_lock lock(mutex_);
  while (!stopped_ && !(started_ && (count_ > 0 || finished_))) {
    if (Cancelled()) return {};
    not_empty_.wait_for(lock, kCancelPoll);
  }
  if (stopped_ || count_ == 0 || Cancelled()) return {};
  if (!finished_) lowest_fill_ = std::min(lowest_fill_, count_);
  return {storage_.data() + std::size_t(read_) * block_bytes_, block_bytes_};
}

void SectorFifo::Release() {
  std::unique_lock lock(mutex_);
  if (count_ == 0) return;
  read_ = (read_ + 1) % capacity_;
  --count_;
  const bool wake = producer_waits_ && count_ <= capacity_ - refill_;
  lock.unlock();
  if (wake) not_full_.notify_one();
}

bool SectorFifo::Pop(std::span<std::uint8_t> block) {
  const std::span<const std::uint8_t> front = Front();
  if (front.empty()) return false;
  std::memcpy(block.data(), front.data(), std::min(block.size(), front.size()));
  Release();
  return true;
}

std::uint32_t SectorFifo::Count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

bool SectorFifo::Started() const {
  std::lock_guard lock(mutex_);
  return started_;
}

bool SectorFifo::Stopped() const {
  std::lock_guard lock(mutex_);
  return stopped_;
}

std::uint32_t SectorFifo::LowestFillWhileProducing() const {
  std::lock_guard lock(mutex_);
  return lowest_fill_;
}

}  // namespace zephrel
