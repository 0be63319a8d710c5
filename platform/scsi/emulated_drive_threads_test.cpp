// Commands to one emulated drive from several threads are serialised.
#include <gtest/gtest.h>

#include <thread>

#include "emulated_drive_testutil.h"

namespace platform {
namespace {

using testing::EmulatedDriveHarness;
using testing::Pattern;
using testing::SenseText;

TEST(EmulatedDriveThreads, AWriterAndAPollerOnOneDriveSeeConsistentAnswers) {
  EmulatedDriveHarness h(testing::Medium(kProfileDvdPlusR, 4096));
  const auto data = Pattern(64 * 2048, 5);
  std::thread writer([&] {
    for (std::uint32_t lba = 0; lba < 1024; lba += 64) EXPECT_EQ(SenseText(h.Write(lba, 64, data)), "ok");
  });
  std::uint32_t last = 0;
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(SenseText(h.None({0, 0, 0, 0, 0, 0})), "ok");
    const std::uint32_t nwa = h.NextWritable(1);
    EXPECT_EQ(nwa % 64, 0u);
    EXPECT_GE(nwa, last);
    last = nwa;
  }
  writer.join();
  EXPECT_EQ(h.NextWritable(1), 1024u);
}

}  // namespace
}  // namespace platform
