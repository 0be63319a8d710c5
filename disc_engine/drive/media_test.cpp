#include "drive/media.h"

#include <gtest/gtest.h>

#include "drive/drive_testutil.h"
#include "drive/medium_snapshot.h"
#include "drive/mmc_drive.h"
#include "platform/byte_order.h"

namespace zephrel {
namespace {

using testing::IsoImage;
using testing::Medium;
using testing::PolicedDrive;
using testing::ScriptedDevice;
namespace pm = platform::mmc;

constexpr float kMB = 1024.0f * 1024.0f;

float Mb(std::uint64_t sectors) { return static_cast<float>(double(sectors) * 2048 / kMB); }

// ---- names ------------------------------------------------------------------

TEST(MediaTypeNames, EveryCodeHasItsNameAndUnlistedCodesTheEmptyOne) {
  const std::pair<int, const char*> names[] = {
      {-1, "No Media"},  {0, "DVD-ROM"},    {1, "DVD-RAM"},   {2, "DVD-R"},     {3, "DVD-RW"},
      {4, "HD DVD-ROM"}, {5, "HD DVD-RAM"}, {6, "HD DVD-R"},  {7, "Reserved"},  {8, "Reserved"},
      {9, "DVD+RW"},     {10, "DVD+R"},     {11, "Reserved"}, {12, "Reserved"}, {13, "DVD+RW DL"},
      {14, "DVD+R DL"},  {15, "Reserved"},  {16, "CD-R"},     {17, "CD-RW"},    {18, "CD-ROM"},
      {19, ""},          {20, "BD-RE"},     {21, "BD-R"},     {22, ""},         {-2, ""},
      {1000, ""}};
  for (const auto& [code, name] : names) EXPECT_EQ(MediaTypeName(code), name) << code;
}

TEST(MediaTypeNames, ProfilesOutsideTheTableGiveNoMedia) {
  EXPECT_EQ(MediaTypeFromProfile(0x0000), kMediaNone);
  EXPECT_EQ(MediaTypeFromProfile(0x0015), kMediaNone);  // DVD-R DL is not in the table
  EXPECT_EQ(MediaTypeFromProfile(0x0040), kMediaNone);
  EXPECT_EQ(MediaTypeFromProfile(0xFFFF), kMediaNone);
  EXPECT_EQ(MediaTypeFromProfile(0x0109), kMediaNone);  // only whole profile numbers count
  EXPECT_EQ(MediaTypeFromProfile(0x0042), kMediaBdR);
}

// ---- total space ------------------------------------------------------------

float Total(const platform::MediumSpec& medium) {
  PolicedDrive emulated(medium);
  MmcDrive drive = emulated.Mmc();
  return GetMediaCapacityMB(drive, drive.MmcGetMediaTypeCode());
}

// What the disc reports: the free blocks of its next writable track, or the
// capacity it is (or will be) formatted to; smaller discs than the standard
// size give their own figure.
TEST(MediaTotalSpace, BlankWritableMediaGiveTheCapacityTheyReport) {
  EXPECT_EQ(Total(Medium(pm::kProfileDvdPlusR)), Mb(2295104));
  EXPECT_EQ(Total(Medium(pm::kProfileDvdPlusRw)), Mb(2295104));
  EXPECT_EQ(Total(Medium(pm::kProfileDvdR)), Mb(2298496));
  EXPECT_EQ(Total(Medium(pm::kProfileDvdRwSequential)), Mb(2298496));
  EXPECT_EQ(Total(Medium(pm::kProfileDvdRwRestricted)), Mb(2298496));
  EXPECT_EQ(Total(Medium(pm::kProfileDvdPlusRDl)), 8152.0f);
  EXPECT_EQ(Total(Medium(pm::kProfileBdRSrm)), 23866.0f);
  EXPECT_EQ(Total(Medium(pm::kProfileDvdRom)), 0.0f);
  EXPECT_EQ(Total(Medium(pm::kProfileDvdRam)), Mb(2236704));
  EXPECT_EQ(Total(Medium(pm::kProfileBdRe)), Mb(12219392)) << "unformatted: what it will hold";
  auto bd_re = Medium(pm::kProfileBdRe);
  bd_re.formatted = true;
  EXPECT_EQ(Total(bd_re), Mb(12219392));
  EXPECT_EQ(Total(Medium(pm::kProfileDvdPlusR, 712891)), Mb(712891)) << "an 8 cm disc";
  EXPECT_EQ(Total(Medium(pm::kProfileDvdR, 712891)), Mb(712891));
  PolicedDrive empty(nullptr);
  MmcDrive none = empty.Mmc();
  EXPECT_EQ(GetMediaCapacityMB(none, none.MmcGetMediaTypeCode()), 0.0f);
}

// Changed: the lead-out start is an MSF address, 150 sectors past its LBA;
// the 79:59:74 edge case is 359,849 sectors (the plain sum gives 359,999).
TEST(MediaTotalSpace, ACdRWithLeadOut795974Has359849Sectors) {
  auto cd = Medium(pm::kProfileCdR);
  cd.atip_lead_out = {79, 59, 74};
  EXPECT_EQ(Total(cd), Mb(359849));
  EXPECT_FLOAT_EQ(Total(cd), 702.830078125f);
  EXPECT_EQ(Total(Medium(pm::kProfileCdRw, 10000)), Mb(10000));
}

TEST(MediaTotalSpace, ACdWithoutALeadOutTakesReadCapacityPlusOne) {
  std::vector<std::uint8_t> info(34, 0);
  info[1] = 32;
  info[2] = 0x02;  // complete
  std::fill(info.begin() + 16, info.begin() + 24, 0xFF);
  auto device = std::make_shared<ScriptedDevice>();
  device->Always(pm::kReadDiscInformation, ScriptedDevice::Reply(info));
  device->Always(pm::kReadCapacity, ScriptedDevice::Reply({0, 0, 0x03, 0xE7, 0, 0, 8, 0}));  // last LBA 999
  MmcDrive drive(device);
  EXPECT_EQ(GetMediaCapacityMB(drive, kMediaCdRom), Mb(1000));
  EXPECT_EQ(drive.MmcGetUsedSpaceMB(), Mb(1000));
  // READ CAPACITY failing gives 0, not 1 sector.
  device->Always(pm::kReadCapacity, ScriptedDevice::Failure(0x02, 0x3A, 0x00));
  EXPECT_EQ(GetMediaCapacityMB(drive, kMediaCdRom), 0.0f);
}

// ---- used space -------------------------------------------------------------

float Used(PolicedDrive& emulated) {
  MmcDrive drive = emulated.Mmc();
  return GetMediaUsedSpaceMB(drive, drive.MmcGetMediaTypeCode());
}

TEST(MediaUsedSpace, BlankMediaOfEveryKindUseNothing) {
  for (std::uint16_t profile :
       {pm::kProfileCdR, pm::kProfileCdRw, pm::kProfileDvdR, pm::kProfileDvdRwSequential,
        pm::kProfileDvdPlusR, pm::kProfileDvdPlusRDl, pm::kProfileBdRSrm}) {
    PolicedDrive emulated(Medium(profile));
    EXPECT_EQ(Used(emulated), 0.0f) << std::hex << profile;
  }
  auto plus_rw = Medium(pm::kProfileDvdPlusRw);
  plus_rw.formatted = true;  // complete, but no volume at sector 16
  PolicedDrive formatted(plus_rw);
  EXPECT_EQ(Used(formatted), 0.0f);
}

void WriteSectors(MmcDrive& drive, std::uint32_t lba, std::uint16_t count) {
  std::vector<std::uint8_t> data(std::size_t(count) * 2048, 0x3C);
  ASSERT_TRUE(drive.MmcWrite10(data, lba, count, true).ok());
}

TEST(MediaUsedSpace, AnAppendableDiscUsesUpToItsNextWritableAddress) {
  for (std::uint16_t profile :
       {pm::kProfileDvdPlusR, pm::kProfileDvdR, pm::kProfileBdRSrm, pm::kProfileCdR}) {
    PolicedDrive emulated(Medium(profile));
    MmcDrive drive = emulated.Mmc();
    if (profile != pm::kProfileDvdPlusR && profile != pm::kProfileBdRSrm) {
      ASSERT_TRUE(
          drive.MmcSetWriteParameters(pm::kDataBlockMode1, pm::kWriteTypeTrackAtOnce, false, true, false)
              .ok());
    }
    WriteSectors(drive, 0, 64);
    EXPECT_EQ(Used(emulated), Mb(64)) << std::hex << profile;
  }
}

TEST(MediaUsedSpace, ACompleteDiscUsesWhatItsKindRecords) {
  {  // DVD+R: READ CAPACITY's last LBA + 1
    PolicedDrive emulated(Medium(pm::kProfileDvdPlusR));
    MmcDrive drive = emulated.Mmc();
    WriteSectors(drive, 0, 160);
    ASSERT_TRUE(drive.MmcCloseTrackSession(false, mmc::kCloseFinalizeDvdPlusR, 0).ok());
    ASSERT_EQ(drive.MmcDiscIsWritable(), 0);
    EXPECT_EQ(Used(emulated), Mb(160));
  }
  {  // DVD-R: the physical format's data area
    PolicedDrive emulated(Medium(pm::kProfileDvdR));
    MmcDrive drive = emulated.Mmc();
    ASSERT_TRUE(
        drive.MmcSetWriteParameters(pm::kDataBlockMode1, pm::kWriteTypePacket, false, false, false).ok());
    WriteSectors(drive, 0, 320);
    ASSERT_TRUE(drive.MmcCloseTrackSession(false, mmc::kCloseSession, 0).ok());
    ASSERT_EQ(drive.MmcDiscIsWritable(), 0);
    EXPECT_EQ(Used(emulated), Mb(320));
  }
  {  // CD-R: READ CAPACITY once the disc gives no lead-out
    PolicedDrive emulated(Medium(pm::kProfileCdR));
    MmcDrive drive = emulated.Mmc();
    ASSERT_TRUE(
        drive.MmcSetWriteParameters(pm::kDataBlockMode1, pm::kWriteTypeTrackAtOnce, false, false, false)
            .ok());
    WriteSectors(drive, 0, 300);
    ASSERT_TRUE(drive.MmcCloseTrackSession(false, mmc::kCloseSession, 0).ok());
    ASSERT_EQ(drive.MmcDiscIsWritable(), 0);
    EXPECT_EQ(Used(emulated), Mb(300));
  }
}

// A drive that moves fewer bytes of READ DISC INFORMATION than the reply
// declares: the fields it left out are unknown, never read as zeros (an empty
// disc, no sessions).
TEST(MediaUsedSpace, ADiscInformationCutShortIsNeverReadAsABlankDisc) {
  PolicedDrive emulated(Medium(pm::kProfileCdR));
  MmcDrive drive = emulated.Mmc();
  ASSERT_TRUE(
      drive.MmcSetWriteParameters(pm::kDataBlockMode1, pm::kWriteTypeTrackAtOnce, false, true, false).ok());
  WriteSectors(drive, 0, 300);
  ASSERT_TRUE(drive.MmcCloseTrackSession(false, mmc::kCloseSession, 0).ok());
  struct Row {
    std::uint32_t cut;  // of 34 bytes
    std::optional<bool> blank;
    std::optional<int> sessions;
    bool lead_out;
  };
  for (const Row& row :
       {Row{0, false, 1, true}, Row{12, false, 1, false}, Row{28, std::nullopt, std::nullopt, false},
        Row{32, std::nullopt, std::nullopt, false}}) {
    auto inject = [&] {
      platform::InjectedFault fault;
      fault.opcode = pm::kReadDiscInformation;
      fault.shorten = row.cut;
      if (row.cut) emulated.emulated().InjectFault(fault);
    };
    inject();
    EXPECT_EQ(drive.MmcDiscIsBlank(), row.blank) << row.cut;
    inject();
    EXPECT_EQ(drive.MmcGetSessionCount(), row.sessions) << row.cut;
    inject();
    EXPECT_EQ(drive.MmcGetCdCapacityMB().has_value(), row.lead_out) << row.cut;
  }
}

TEST(MediaUsedSpace, RewritableAndBdMediaCountTheVolumeAtSector16) {
  PolicedDrive holder(nullptr);
  const auto image = holder.WriteContent("volume é.iso", IsoImage(1200));
  auto plus_rw = Medium(pm::kProfileDvdPlusRw);
  plus_rw.formatted = true;
  plus_rw.content = image;
  PolicedDrive rw(plus_rw);
  EXPECT_EQ(Used(rw), Mb(1200));
  auto bd_r = Medium(pm::kProfileBdRSrm);
  bd_r.content = image;
  PolicedDrive bd(bd_r);
  EXPECT_EQ(Used(bd), Mb(1200));
  auto rom = Medium(pm::kProfileDvdRom);
  rom.content = image;
  PolicedDrive dvd_rom(rom);
  EXPECT_EQ(Used(dvd_rom), Mb(1200));  // READ CAPACITY
  // Changed: a sector 16 without "CD001" is no volume, whatever its bytes 80-83.
  std::vector<std::uint8_t> no_volume = IsoImage(1200);
  no_volume[16 * 2048 + 1] = 'X';
  auto other = Medium(pm::kProfileBdRSrm);
  other.content = holder.WriteContent("other.img", no_volume);
  PolicedDrive not_iso(other);
  EXPECT_EQ(Used(not_iso), 0.0f);
}

// Changed: READ DVD STRUCTURE asks for DVD media (byte 1 = 0), and the data
// area counts end - start + 1 sectors.
TEST(MediaUsedSpace, TheDvdPhysicalFormatCountsItsLastSectorAndAsksForDvdMedia) {
  std::vector<std::uint8_t> reply(0x7F, 0);
  platform::PutBe16(&reply[0], 2050);  // the whole structure, cut to the allocation
  platform::PutBe32(&reply[8], 0x030000);
  platform::PutBe32(&reply[12], 0x030000 + 99);
  auto device = std::make_shared<ScriptedDevice>();
  device->Always(pm::kReadDvdStructure, ScriptedDevice::Reply(reply));
  MmcDrive drive(device);
  EXPECT_EQ(drive.MmcReadDvdStructure(), Mb(100));
  EXPECT_EQ(device->Log().back().cdb, (std::vector<std::uint8_t>{0xAD, 0, 0, 0, 0, 0, 0, 0, 0, 0x7F, 0, 0}));
  platform::PutBe32(&reply[12], 0);
  device->Always(pm::kReadDvdStructure, ScriptedDevice::Reply(reply));
  EXPECT_EQ(drive.MmcReadDvdStructure(), 0.0f);
  // The end before the start is no area.
  platform::PutBe32(&reply[12], 0x020000);
  device->Always(pm::kReadDvdStructure, ScriptedDevice::Reply(reply));
  EXPECT_EQ(drive.MmcReadDvdStructure(), 0.0f);
}

// ---- identifier and manufacturer --------------------------------------------

MediaId Id(const platform::MediumSpec& medium) {
  PolicedDrive emulated(medium);
  MmcDrive drive = emulated.Mmc();
  return ReadMediaId(drive, drive.MmcGetMediaTypeCode());
}

TEST(MediaId, ACdIsNamedByItsAtipLeadInAndHasNoIdentifier) {
  auto cmc = Medium(pm::kProfileCdR);
  cmc.atip_lead_in = {97, 26, 66};
  MediaId id = Id(cmc);
  EXPECT_FALSE(id.has_id);
  EXPECT_EQ(id.manufacturer, "CMC Magnetics Corporation");
  auto unknown = Medium(pm::kProfileCdRw);
  unknown.atip_lead_in = {97, 27, 0};
  EXPECT_EQ(Id(unknown).manufacturer, "Unknown");
  auto cda = Medium(pm::kProfileCdR);
  cda.atip_lead_in = {97, 30, 15};
  EXPECT_EQ(Id(cda).manufacturer, "CDA Datentr\xC3\xA4ger Albrechts GmbH");
  // A CD-ROM has no ATIP: it counts as zeros.
  EXPECT_EQ(Id(Medium(pm::kProfileCdRom)).manufacturer, "Unknown");
}

TEST(MediaId, TheAtipTableHonoursItsRangesAndGaps) {
  EXPECT_EQ(AtipManufacturer(15, 0), "TDK Corporation");
  EXPECT_EQ(AtipManufacturer(15, 9), "TDK Corporation");
  EXPECT_EQ(AtipManufacturer(15, 10), "Unknown");
  EXPECT_EQ(AtipManufacturer(27, 0), "Unknown");
  EXPECT_EQ(AtipManufacturer(27, 1), "Digital Storage Technology Co.,Ltd.");
  EXPECT_EQ(AtipManufacturer(48, 14), "Unknown");
  EXPECT_EQ(AtipManufacturer(48, 33), "Unknown");
  EXPECT_EQ(AtipManufacturer(23, 35), "Custommer Pressing Oosterhout");
  EXPECT_EQ(AtipManufacturer(0, 0), "Unknown");
}

TEST(MediaId, ADvdPlusRManufacturerIdIsLookedUpUpToItsFirstZeroByte) {
  auto mcc = Medium(pm::kProfileDvdPlusR);
  mcc.manufacturer_id = "MCC";
  mcc.media_type_id = "004";
  MediaId id = Id(mcc);
  EXPECT_TRUE(id.has_id);
  EXPECT_EQ(id.id, "MCC (004\x01)");  // the product revision byte follows the media type
  EXPECT_EQ(id.manufacturer, "Mitsubishi Chemical Corp.");
  auto yuden = Medium(pm::kProfileDvdPlusRw);
  yuden.manufacturer_id = "YUDEN000";
  yuden.media_type_id = "T02";
  EXPECT_EQ(Id(yuden).manufacturer, "Taiyo Yuden Co. Ltd.");
  auto unlisted = Medium(pm::kProfileDvdPlusR);
  unlisted.manufacturer_id = "NOBODY";
  EXPECT_EQ(Id(unlisted).manufacturer, "");
}

TEST(MediaId, ADvdMinusRIsNamedFromItsPreRecordedInformation) {
  auto tdk = Medium(pm::kProfileDvdR);
  tdk.manufacturer_id = "TDK";
  MediaId id = Id(tdk);
  EXPECT_EQ(id.id, "TDK ()");
  EXPECT_EQ(id.manufacturer, "TDK Corp.");
  auto ritek = Medium(pm::kProfileDvdRwSequential);
  ritek.manufacturer_id = "RITEKW04";
  id = Id(ritek);
  EXPECT_EQ(id.id, "RITEKW (04)");
  EXPECT_EQ(id.manufacturer, "");  // "RITEKW" is not "RITEK"
}

TEST(MediaId, IdentifierBytesAreReadInTheWindowsCodePageAndAFailureGivesEmptyTexts) {
  std::vector<std::uint8_t> reply(0x7F, 0);
  const char text[] = "D\xE9j\xE0 Vu";  // é and à in Windows-1252
  std::copy_n(text, 8, reply.begin() + 23);
  reply[31] = 'X';
  auto device = std::make_shared<ScriptedDevice>();
  device->Always(pm::kReadDvdStructure, ScriptedDevice::Reply(reply));
  MmcDrive drive(device);
  MediaId id = ReadMediaId(drive, kMediaDvdPlusR);
  EXPECT_EQ(id.id, "D\xC3\xA9j\xC3\xA0 Vu (X)");
  EXPECT_EQ(device->Log().back().cdb[7], 0x11);
  EXPECT_EQ(device->Log().back().cdb[1], 0x00);
  device->Always(pm::kReadDvdStructure, ScriptedDevice::Failure(0x05, 0x24, 0x00));
  id = ReadMediaId(drive, kMediaDvdR);
  EXPECT_TRUE(id.has_id);
  EXPECT_EQ(id.id, "");
  EXPECT_EQ(id.manufacturer, "");
  EXPECT_EQ(device->Log().back().cdb[7], 0x0E);
}

TEST(MediaId, DvdKeysMatchExactlyInTableOrder) {
  EXPECT_EQ(DvdManufacturer("NAN YA "), "NanYa Plastics Corp.");
  EXPECT_EQ(DvdManufacturer("NAN YA"), "NanYa Plastics Corp.");
  EXPECT_EQ(DvdManufacturer("nan ya"), "");
  EXPECT_EQ(DvdManufacturer("CMC MAG"), "CMC Magnetics Corp.");
  EXPECT_EQ(DvdManufacturer("Philips"), "Philips");
  EXPECT_EQ(DvdManufacturer("GSC001"), "GigaStorage Corp.");
  EXPECT_EQ(DvdManufacturer("SONY08"), "Sony Corp.");
  EXPECT_EQ(DvdManufacturer(""), "");
}

// ---- one look at the medium ---------------------------------------------------

TEST(MediumWatch, CountsTheAnswersThatTellOfAnotherMediumAndNoOthers) {
  auto result = [](std::uint8_t key, std::uint8_t asc, std::uint8_t ascq, bool after_unit_attention = false) {
    platform::ScsiResult r;
    if (key != 0) {
      r.status = 2;
      r.sense = {key, asc, ascq, true};
    }
    r.after_unit_attention = after_unit_attention;
    return r;
  };
  const struct {
    const char* what;
    std::uint8_t opcode;
    platform::ScsiResult answer;
    std::uint64_t generation;  // after the answer
  } steps[] = {
      {"the first answer is no change", pm::kTestUnitReady, result(0, 0, 0), 0},
      {"ready again", pm::kTestUnitReady, result(0, 0, 0), 0},
      {"an unformatted medium is the same medium", pm::kReadTrackInformation, result(2, 0x30, 0x10), 0},
      {"a refused field is the same medium", pm::kReadDvdStructure, result(5, 0x24, 0), 0},
      {"the tray opened", pm::kReadDiscInformation, result(2, 0x3A, 0x02), 1},
      {"still no medium", pm::kTestUnitReady, result(2, 0x3A, 0x02), 1},
      {"a good answer that needs no medium", pm::kGetConfiguration, result(0, 0, 0), 1},
      {"a medium ready", pm::kTestUnitReady, result(0, 0, 0), 2},
      {"a unit attention answered first", pm::kReadDiscInformation, result(0, 0, 0, true), 3},
      {"becoming ready", pm::kTestUnitReady, result(2, 0x04, 0x01), 4},
      {"ready", pm::kTestUnitReady, result(0, 0, 0), 5},
  };
  MediumWatch watch;
  for (const auto& step : steps) {
    watch.Observe(step.opcode, step.answer);
    EXPECT_EQ(watch.Generation(), step.generation) << step.what;
  }
  watch.Changed();
  EXPECT_EQ(watch.Generation(), 6u);
}

TEST(MediumSnapshot, AsksEachQuestionOnceAndAnswersItAgainFromTheFirstReply) {
  auto scripted = std::make_shared<ScriptedDevice>();
  scripted->Always(pm::kTestUnitReady, ScriptedDevice::Reply({}));
  std::vector<std::uint8_t> info(34, 0);
  info[1] = 32;
  info[6] = 1;  // an empty disc of one track
  scripted->Queue(pm::kReadDiscInformation, ScriptedDevice::Reply(info));
  info[2] = 0x0E;  // what a second question would find: a complete disc
  scripted->Always(pm::kReadDiscInformation, ScriptedDevice::Reply(info));
  MediumSnapshot look(scripted, [] { return std::uint64_t(7); });
  EXPECT_TRUE(look.MediumReady());
  EXPECT_EQ(look.Generation(), 7u);
  MmcDrive drive(look.Device());
  const auto disc_information = [](MmcDrive& asked) {
    return asked.Query(mmc::ReadDiscInformation(34), 34).value_or(std::vector<std::uint8_t>{});
  };
  std::vector<std::uint8_t> first = disc_information(drive);
  ASSERT_EQ(first.size(), 34u);
  EXPECT_EQ(first[2], 0x00);
  EXPECT_EQ(disc_information(drive), first);
  EXPECT_EQ(disc_information(drive), first);
  EXPECT_EQ(scripted->CountOf(pm::kReadDiscInformation), 1u);
  EXPECT_FALSE(
      drive.Send(mmc::SetCdSpeed(mmc::kMaximumSpeed, mmc::kMaximumSpeed), platform::DataDirection::kNone)
          .ok())
      << "anything but a question about the medium reaches the drive";
  EXPECT_EQ(scripted->CountOf(pm::kSetCdSpeed), 1u);
  // A new look asks again.
  MmcDrive again(MediumSnapshot(scripted, [] { return std::uint64_t(8); }).Device());
  EXPECT_EQ(disc_information(again).at(2), 0x0E);
  EXPECT_EQ(scripted->CountOf(pm::kReadDiscInformation), 2u);
}

TEST(MediumSnapshot, WithoutAMediumReadyNoQuestionAboutTheMediumReachesTheDrive) {
  for (const pm::SenseCode not_ready : {pm::kNoMediumTrayOpen, pm::kNoMediumTrayClosed, pm::kBecomingReady}) {
    auto scripted = std::make_shared<ScriptedDevice>();
    scripted->Always(pm::kTestUnitReady,
                     ScriptedDevice::Failure(not_ready.key, not_ready.asc, not_ready.ascq));
    std::vector<std::uint8_t> configuration(8, 0);
    platform::PutBe32(&configuration[0], 4);
    platform::PutBe16(&configuration[6], pm::kProfileDvdPlusR);  // a profile the drive still reports
    scripted->Always(pm::kGetConfiguration, ScriptedDevice::Reply(configuration));
    MediumSnapshot look(scripted, [] { return std::uint64_t(0); });
    EXPECT_FALSE(look.MediumReady());
    MmcDrive drive(look.Device());
    EXPECT_EQ(drive.MmcGetMediaTypeCode(), kMediaNone);
    platform::ScsiResult refused;
    EXPECT_FALSE(drive.Query(mmc::ReadDiscInformation(34), 34, &refused));
    EXPECT_EQ(refused.sense.key, not_ready.key);
    EXPECT_EQ(refused.sense.asc, not_ready.asc);
    EXPECT_EQ(GetMediaCapacityMB(drive, drive.MmcGetMediaTypeCode()), 0.0f);
    EXPECT_EQ(scripted->Log().size(), 1u) << "TEST UNIT READY alone";
  }
}

}  // namespace
}  // namespace zephrel
