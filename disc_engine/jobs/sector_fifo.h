// The bounded queue of sector blocks between the producer of a burn (the
// image build, or the feed of an image file) and the drive writer. Blocks are
// 32 sectors (64 KiB), or 27 sectors (54 KiB) on CD media. Each side may work
// on its block in place (the producer fills the next free one, the writer
// sends the oldest one straight from the queue), so the data is not copied
// on the way. Both sides wait on condition variables, never in sleeps: the
// writer wakes as soon as a block is published; a producer waiting on a full
// FIFO wakes once a few blocks are free, not at every block taken, so a
// writer faster than the producer does not switch threads for every block.
// Every wait also ends on the job's cancel flag (checked at least every
// kCancelPoll) and on the other side's end, so neither side can hang on the
// other.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

namespace zephrel {

inline constexpr std::uint32_t kDvdBlockSectorsPerBlock = 32;
inline constexpr std::uint32_t kCdBlockSectorsPerBlock = 27;
// The size in MiB a client may ask for is held to this range.
inline constexpr int kFifoMinMib = 1;
inline constexpr int kFifoMaxMib = 1024;
inline constexpr std::uint32_t kFifoMinBlocks = 2;

class SectorFifo {
 public:
  static constexpr std::chrono::milliseconds kCancelPoll{20};

  // size_mib is clamped to 1-1024 MiB, and the capacity is at least two
  // blocks. cancel (may be null) ends every wait when set.
  SectorFifo(int size_mib, std::uint32_t sectors_per_block, const std::atomic<bool>* cancel);
  SectorFifo(const SectorFifo&) = delete;
  SectorFifo& operator=(const SectorFifo&) = delete;

  // Producer: the next free block, to be filled in place and queued with
  // Commit, waiting while the FIFO is full. Empty (nothing to fill) when the
  // job was cancelled or the writer stopped. The block holds what an earlier
  // round left in it.
  std::span<std::uint8_t> Reserve();
  // False (nothing queued) when the job ended meanwhile.
  bool Commit();
  // Producer: copies one whole block in (a short one completed with zeros).
  // False (nothing queued) when the job was cancelled or the writer stopped.
  bool Push(std::span<const std::uint8_t> block);
  // Producer: no more blocks will come. The writer drains what is queued.
  void Finish();

  // Writer: waits until the FIFO has been full once (or the producer has
  // finished), then for a block, and gives the oldest one to be read in
  // place; it stays queued (and counted) until Release. Empty when there is
  // none to come (the producer finished and the FIFO is empty, the producer
  // stopped, or the job was cancelled).
  std::span<const std::uint8_t> Front();
  void Release();
  // Writer: Front copied out and released. False when there is none to come.
  bool Pop(std::span<std::uint8_t> block);
  // Either side: the job ends early; every wait returns at once.
  void Stop();

  std::uint32_t Capacity() const { return capacity_; }
  std::uint32_t Count() const;
  std::size_t BlockBytes() const { return block_bytes_; }
  std::uint32_t SectorsPerBlock() const { return sectors_per_block_; }
  bool Started() const;
  bool Stopped() const;
  // The lowest fill seen by the writer once the FIFO had started and while
  // the producer still worked (Capacity() before that): how close the drive
  // came to running dry.
  std::uint32_t LowestFillWhileProducing() const;

  // The capacity in blocks that a size gives, after the clamps.
  static std::uint32_t CapacityFor(int size_mib, std::uint32_t sectors_per_block);

 private:
  bool Cancelled() const { return cancel_ != nullptr && cancel_->load(); }

  const std::uint32_t sectors_per_block_;
  const std::size_t block_bytes_;
  const std::uint32_t capacity_;
  // A producer waiting on a full FIFO is woken once this many blocks are free.
  const std::uint32_t refill_;
  const std::atomic<bool>* cancel_;
  std::vector<std::uint8_t> storage_;

  mutable std::mutex mutex_;
  std::condition_variable not_full_, not_empty_;
  std::uint32_t count_ = 0, read_ = 0, write_ = 0;
  bool started_ = false, finished_ = false, stopped_ = false;
  bool producer_waits_ = false;
  std::uint32_t lowest_fill_;
};

}  // namespace zephrel
