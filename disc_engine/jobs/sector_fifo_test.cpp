// The sector FIFO's size and its rules on one thread: the clamped capacity,
// whole blocks in order, the first fill before the writer starts, and the
// ends that release every wait.
#include "jobs/sector_fifo.h"

#include <gtest/gtest.h>

#include <vector>

namespace zephrel {
namespace {

std::vector<std::uint8_t> Block(const SectorFifo& fifo, std::uint8_t value) {
  return std::vector<std::uint8_t>(fifo.BlockBytes(), value);
}

TEST(SectorFifoSize, FourMebibytesGive64DvdBlocksOr75CdBlocks) {
  EXPECT_EQ(SectorFifo::CapacityFor(4, kDvdBlockSectorsPerBlock), 64u);
  EXPECT_EQ(SectorFifo::CapacityFor(4, kCdBlockSectorsPerBlock), 75u);
  EXPECT_EQ(SectorFifo::CapacityFor(32, kDvdBlockSectorsPerBlock), 512u);
  EXPECT_EQ(SectorFifo::CapacityFor(32, kCdBlockSectorsPerBlock), 606u);
}

TEST(SectorFifoSize, ZeroNegativeAndHugeSizesAreHeldToOneToTen24Mebibytes) {
  EXPECT_EQ(SectorFifo::CapacityFor(0, kDvdBlockSectorsPerBlock), 16u);
  EXPECT_EQ(SectorFifo::CapacityFor(-7, kDvdBlockSectorsPerBlock), 16u);
  EXPECT_EQ(SectorFifo::CapacityFor(1 << 30, kDvdBlockSectorsPerBlock), 16384u);
  const SectorFifo fifo(0, kCdBlockSectorsPerBlock, nullptr);
  EXPECT_GE(fifo.Capacity(), kFifoMinBlocks);
  EXPECT_EQ(fifo.BlockBytes(), 55296u);
}

TEST(SectorFifoOrder, BlocksComeOutInTheOrderTheyWentInOnceTheFifoHasBeenFull) {
  SectorFifo fifo(1, kDvdBlockSectorsPerBlock, nullptr);
  for (std::uint32_t i = 0; i < fifo.Capacity(); ++i) {
    EXPECT_FALSE(fifo.Started());
    ASSERT_TRUE(fifo.Push(Block(fifo, static_cast<std::uint8_t>(i))));
  }
  EXPECT_TRUE(fifo.Started()) << "full once";
  std::vector<std::uint8_t> out(fifo.BlockBytes());
  for (std::uint32_t i = 0; i < fifo.Capacity(); ++i) {
    ASSERT_TRUE(fifo.Pop(out));
    EXPECT_EQ(out.front(), static_cast<std::uint8_t>(i));
    EXPECT_EQ(out.back(), static_cast<std::uint8_t>(i));
  }
  fifo.Finish();
  EXPECT_FALSE(fifo.Pop(out)) << "finished and empty: nothing more comes";
}

TEST(SectorFifoOrder, AJobSmallerThanTheFifoIsWrittenOnceTheProducerHasFinished) {
  SectorFifo fifo(4, kDvdBlockSectorsPerBlock, nullptr);
  ASSERT_TRUE(fifo.Push(Block(fifo, 7)));
  EXPECT_FALSE(fifo.Started());
  fifo.Finish();
  EXPECT_TRUE(fifo.Started());
  std::vector<std::uint8_t> out(fifo.BlockBytes());
  ASSERT_TRUE(fifo.Pop(out));
  EXPECT_EQ(out[0], 7);
  EXPECT_FALSE(fifo.Pop(out));
}

TEST(SectorFifoOrder, AShortBlockIsCompletedWithZeros) {
  SectorFifo fifo(1, kDvdBlockSectorsPerBlock, nullptr);
  const std::vector<std::uint8_t> part(2048, 0xAB);
  ASSERT_TRUE(fifo.Push(part));
  fifo.Finish();
  std::vector<std::uint8_t> out(fifo.BlockBytes(), 0xFF);
  ASSERT_TRUE(fifo.Pop(out));
  EXPECT_EQ(out[2047], 0xAB);
  EXPECT_EQ(out[2048], 0);
  EXPECT_EQ(out.back(), 0);
}

TEST(SectorFifoEnds, AfterStopNeitherSideGetsOrTakesABlock) {
  SectorFifo fifo(1, kDvdBlockSectorsPerBlock, nullptr);
  ASSERT_TRUE(fifo.Push(Block(fifo, 1)));
  fifo.Finish();
  fifo.Stop();
  std::vector<std::uint8_t> out(fifo.BlockBytes());
  EXPECT_FALSE(fifo.Pop(out));
  EXPECT_FALSE(fifo.Push(Block(fifo, 2)));
}

TEST(SectorFifoEnds, ACancelledJobEndsBothWaitsAtOnce) {
  std::atomic<bool> cancel{true};
  SectorFifo fifo(1, kDvdBlockSectorsPerBlock, &cancel);
  std::vector<std::uint8_t> out(fifo.BlockBytes());
  EXPECT_FALSE(fifo.Pop(out)) << "an empty FIFO does not keep the writer";
  EXPECT_FALSE(fifo.Push(Block(fifo, 1)));
}

}  // namespace
}  // namespace zephrel
