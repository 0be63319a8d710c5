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
      cancel_(cancel),
      storage_(std::size_t(capacity_) * block_bytes_),
      lowest_fill_(capacity_) {}

bool SectorFifo::Push(std::span<const std::uint8_t> block) {
  std::unique_lock lock(mutex_);
  while (count_ >= capacity_ && !stopped_) {
    if (Cancelled()) return false;
    not_full_.wait_for(lock, kCancelPoll);
  }
  if (stopped_ || finished_ || Cancelled()) return false;
  const std::size_t n = std::min(block.size(), block_bytes_);
  std::uint8_t* slot = storage_.data() + std::size_t(write_) * block_bytes_;
  std::memcpy(slot, block.data(), n);
  std::memset(slot + n, 0, block_bytes_ - n);
  write_ = (write_ + 1) % capacity_;
  ++count_;
  if (count_ == capacity_) started_ = true;
  lock.unlock();
  not_empty_.notify_one();
  return true;
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

bool SectorFifo::Pop(std::span<std::uint8_t> block) {
  std::unique_lock lock(mutex_);
  while (!stopped_ && !(started_ && (count_ > 0 || finished_))) {
    if (Cancelled()) return false;
    not_empty_.wait_for(lock, kCancelPoll);
  }
  if (stopped_ || count_ == 0 || Cancelled()) return false;
  if (!finished_) lowest_fill_ = std::min(lowest_fill_, count_);
  std::memcpy(block.data(), storage_.data() + std::size_t(read_) * block_bytes_,
              std::min(block.size(), block_bytes_));
  read_ = (read_ + 1) % capacity_;
  --count_;
  lock.unlock();
  not_full_.notify_one();
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
