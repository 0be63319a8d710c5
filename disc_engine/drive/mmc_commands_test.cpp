#include "drive/mmc_commands.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/scsi_policy.h"

namespace zephrel::mmc {
namespace {

// One block of every command the engine sends.
std::vector<Cdb> EveryBuilder() {
  return {TestUnitReady(),
          RequestSense(),
          Inquiry(),
          StartStopUnit(true),
          Eject(),
          LoadMedium(),
          PreventAllowMediumRemoval(true),
          FormatUnit(),
          ReadFormatCapacities(),
          ReadCapacity(),
          Read10(16, 1),
          Write10(0x12345678, 32),
          SynchronizeCache(true),
          ReadTocPmaAtip(kTocFormatToc, true, 0, 804),
          ReadTocPmaAtip(kTocFormatAtip, false, 0, 255),
          GetConfiguration(kOneFeature, kFeatureProfileList, 204),
          GetEventStatusNotification(kEventClassMedia, 8),
          ReadDiscInformation(),
          ReadTrackInformation(kTrackByNumber, 0xFF),
          ReserveTrack(1000),
          ModeSelect10(60),
          ModeSense10(kPageCapabilities, 128),
          CloseTrackSession(kCloseSession, 0),
          SendCueSheet(40),
          ReadBufferCapacity(),
          Blank(0x11),
          ReadCd(0, 27),
          SetCdSpeed(kMaximumSpeed, 1385),
          ReadDvdStructure(kStructurePhysical, 2048)};
}

TEST(MmcCommands, EveryBlockHasItsOpcodesStandardLengthAndControlByteZero) {
  for (const Cdb& cdb : EveryBuilder()) {
    ASSERT_NE(cdb.length, 0u);
    EXPECT_EQ(cdb.length, platform::StandardCdbLength(cdb.bytes[0])) << int(cdb.bytes[0]);
    EXPECT_EQ(cdb.span().size(), cdb.length);
    EXPECT_EQ(cdb.bytes[cdb.length - 1], 0) << "control byte of " << int(cdb.bytes[0]);
    for (std::size_t i = cdb.length; i < cdb.bytes.size(); ++i) EXPECT_EQ(cdb.bytes[i], 0);
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
  const Cdb write = Write10(0x12345678, 0x0102);
  EXPECT_EQ(std::vector<std::uint8_t>(write.bytes.begin() + 2, write.bytes.begin() + 9),
            (std::vector<std::uint8_t>{0x12, 0x34, 0x56, 0x78, 0, 0x01, 0x02}));
  const Cdb reserve = ReserveTrack(0x00A0B0C0);
  EXPECT_EQ(std::vector<std::uint8_t>(reserve.bytes.begin() + 5, reserve.bytes.begin() + 9),
            (std::vector<std::uint8_t>{0x00, 0xA0, 0xB0, 0xC0}));
  const Cdb read_cd = ReadCd(0x100, 0x020304);
  EXPECT_EQ(read_cd.bytes[6], 0x02);
  EXPECT_EQ(read_cd.bytes[8], 0x04);
  EXPECT_EQ(read_cd.bytes[9], kReadCdWholeSector);
  EXPECT_EQ(SendCueSheet(0x010203).bytes[6], 0x01);
  EXPECT_EQ(SendCueSheet(0x010203).bytes[8], 0x03);
}

TEST(MmcCommands, FlagsSitInTheirBitsAndNothingElse) {
  EXPECT_EQ(Eject().bytes[4], 0x02);
  EXPECT_EQ(LoadMedium().bytes[4], 0x03);
  EXPECT_EQ(PreventAllowMediumRemoval(false).bytes[4], 0x00);
  EXPECT_EQ(SynchronizeCache(false).bytes[1], 0x00);
  EXPECT_EQ(SynchronizeCache(true).bytes[1], 0x02);
  EXPECT_EQ(FormatUnit().bytes[1], 0x11);
  EXPECT_EQ(ModeSelect10(60).bytes[1], 0x10);
  EXPECT_EQ(ModeSense10(kPageWriteParameters, 60).bytes[2], 0x05);
  EXPECT_EQ(ModeSense10(kPageCapabilities, 60, kChangeableValues).bytes[2], 0x6A);
  EXPECT_EQ(ReadTocPmaAtip(kTocFormatToc, true, 0, 804).bytes[1], 0x02);
  EXPECT_EQ(ReadTocPmaAtip(kTocFormatAtip, false, 0, 255).bytes[2], 0x04);
  EXPECT_EQ(GetConfiguration(kOneFeature, 0x002A, 114).bytes[1], 0x02);
  EXPECT_EQ(GetConfiguration(kOneFeature, 0x002A, 114).bytes[3], 0x2A);
  EXPECT_EQ(CloseTrackSession(0xFF, 7, true).bytes[1], 0x01);
  EXPECT_EQ(CloseTrackSession(0xFF, 7, true).bytes[2], 0x07);
  EXPECT_EQ(CloseTrackSession(kCloseTrack, 7).bytes[5], 7);
  EXPECT_EQ(Blank(0x11).bytes[1], 0x11);
  // READ DVD STRUCTURE asks for DVD media: byte 1 stays 0 (01h names BD).
  const Cdb structure = ReadDvdStructure(kStructureAdip, 0x7F);
  EXPECT_EQ(structure.bytes[1], 0x00);
  EXPECT_EQ(structure.bytes[7], 0x11);
  EXPECT_EQ(structure.bytes[9], 0x7F);
  const auto list = FormatParameterList(0x00FFFFFF, 0x98);
  EXPECT_EQ(std::vector<std::uint8_t>(list.begin(), list.end()),
            (std::vector<std::uint8_t>{0, 0x80, 0, 0x08, 0, 0xFF, 0xFF, 0xFF, 0x98, 0, 0, 0}));
}

}  // namespace
}  // namespace zephrel::mmc
