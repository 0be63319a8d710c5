#include "platform/byte_order.h"

#include <gtest/gtest.h>

#include <array>

namespace platform {
namespace {

TEST(ByteOrder, LittleEndianReadersTakeTheLowByteFirst) {
  const std::array<std::uint8_t, 8> b = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0xF8};
  EXPECT_EQ(GetLe16(b.data()), 0x0201);
  EXPECT_EQ(GetLe32(b.data()), 0x04030201u);
  EXPECT_EQ(GetLe64(b.data()), 0xF807060504030201ull);
}

TEST(ByteOrder, BigEndianReadersTakeTheHighByteFirst) {
  const std::array<std::uint8_t, 4> b = {0xFE, 0x02, 0x03, 0x04};
  EXPECT_EQ(GetBe16(b.data()), 0xFE02u);
  EXPECT_EQ(GetBe24(b.data()), 0xFE0203u);
  EXPECT_EQ(GetBe32(b.data()), 0xFE020304u);
}

TEST(ByteOrder, EveryWriterIsReadBackByItsReader) {
  std::array<std::uint8_t, 8> b{};
  PutLe16(b.data(), 0xBEEF);
  EXPECT_EQ(GetLe16(b.data()), 0xBEEF);
  PutLe32(b.data(), 0xDEADBEEF);
  EXPECT_EQ(GetLe32(b.data()), 0xDEADBEEFu);
  PutLe64(b.data(), 0x0123456789ABCDEFull);
  EXPECT_EQ(GetLe64(b.data()), 0x0123456789ABCDEFull);
  PutBe16(b.data(), 0xBEEF);
  EXPECT_EQ(GetBe16(b.data()), 0xBEEFu);
  PutBe32(b.data(), 0xDEADBEEF);
  EXPECT_EQ(GetBe32(b.data()), 0xDEADBEEFu);
}

}  // namespace
}  // namespace platform
