// The sector FIFO between two threads, as a burn uses it: a slow producer
// with a fast writer and the reverse, each block arriving whole and in order;
// a writer that stops releases a producer waiting on a full FIFO, and a cancel
// releases both.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "jobs/sector_fifo.h"

namespace zephrel {
namespace {

constexpr std::uint32_t kBlocks = 600;  // several fills of a 4 MiB FIFO

// Some work that takes a while without sleeping.
void Dawdle(int rounds) {
  for (int i = 0; i < rounds; ++i) std::this_thread::yield();
}

void Stamp(std::vector<std::uint8_t>& block, std::uint32_t n) {
  for (std::size_t at = 0; at + 4 <= block.size(); at += 2048) std::memcpy(block.data() + at, &n, 4);
}

bool Stamped(const std::vector<std::uint8_t>& block, std::uint32_t n) {
  for (std::size_t at = 0; at + 4 <= block.size(); at += 2048) {
    std::uint32_t v;
    std::memcpy(&v, block.data() + at, 4);
    if (v != n) return false;
  }
  return true;
}

void RunPair(int producer_delay, int writer_delay) {
  SectorFifo fifo(4, kDvdBlockSectorsPerBlock, nullptr);
  std::atomic<std::uint32_t> bad{0};
  std::uint32_t received = 0;
  std::thread writer([&] {
    std::vector<std::uint8_t> block(fifo.BlockBytes());
    while (fifo.Pop(block)) {
      if (!Stamped(block, received)) bad.fetch_add(1);
      ++received;
      Dawdle(writer_delay);
    }
  });
  std::vector<std::uint8_t> block(fifo.BlockBytes());
  for (std::uint32_t n = 0; n < kBlocks; ++n) {
    Stamp(block, n);
    ASSERT_TRUE(fifo.Push(block));
    Dawdle(producer_delay);
  }
  fifo.Finish();
  writer.join();
  EXPECT_EQ(received, kBlocks);
  EXPECT_EQ(bad.load(), 0u);
}

TEST(SectorFifoThreads, ASlowProducerAndAFastWriterPassEveryBlockWholeAndInOrder) { RunPair(200, 0); }

TEST(SectorFifoThreads, AFastProducerAndASlowWriterPassEveryBlockWholeAndInOrder) { RunPair(0, 200); }

TEST(SectorFifoThreads, AWriterThatStopsReleasesAProducerWaitingOnAFullFifo) {
  SectorFifo fifo(1, kDvdBlockSectorsPerBlock, nullptr);
  std::vector<std::uint8_t> block(fifo.BlockBytes());
  for (std::uint32_t i = 0; i < fifo.Capacity(); ++i) ASSERT_TRUE(fifo.Push(block));
  std::atomic<bool> pushed{true};
  std::thread producer([&] { pushed.store(fifo.Push(block)); });
  fifo.Stop();
  producer.join();
  EXPECT_FALSE(pushed.load());
}

TEST(SectorFifoThreads, ACancelReleasesAWriterWaitingForTheFirstFill) {
  std::atomic<bool> cancel{false};
  SectorFifo fifo(1, kDvdBlockSectorsPerBlock, &cancel);
  std::atomic<bool> popped{true};
  std::thread writer([&] {
    std::vector<std::uint8_t> block(fifo.BlockBytes());
    popped.store(fifo.Pop(block));
  });
  cancel.store(true);
  writer.join();
  EXPECT_FALSE(popped.load());
}

}  // namespace
}  // namespace zephrel
