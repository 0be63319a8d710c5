#include "drive/mmc_commands.h"

#include <gtest/gtest.h>

#include "platform/scsi_policy.h"

namespace zephrel::mmc {
namespace {

TEST(MmcCommands, EveryBlockHasItsOpcodesStandardLength) {
  for (const Cdb& cdb : {TestUnitReady(), Inquiry(), SetCdSpeed(kMaximumSpeed, 1385)}) {
    EXPECT_EQ(cdb.length, platform::StandardCdbLength(cdb.bytes[0])) << int(cdb.bytes[0]);
    EXPECT_EQ(cdb.span().size(), cdb.length);
  }
}

TEST(MmcCommands, FieldsAreBigEndianAtTheirOffsets) {
  const Cdb speed = SetCdSpeed(0x1234, 0x0569);
  EXPECT_EQ(speed.bytes[2], 0x12);
  EXPECT_EQ(speed.bytes[3], 0x34);
  EXPECT_EQ(speed.bytes[4], 0x05);
  EXPECT_EQ(speed.bytes[5], 0x69);
  EXPECT_EQ(Inquiry().bytes[4], kInquiryLength);
  EXPECT_EQ(Inquiry(96).bytes[4], 96);
}

}  // namespace
}  // namespace zephrel::mmc
