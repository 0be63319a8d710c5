#include "drive/mmc_commands.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/mmc_replies.h"
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

// ---- replies: known answers laid out from the MMC tables ---------------------

// Bytes from hex pairs ("00 20 15"); a text in quotes stands for its
// characters; "z N" for N zero bytes.
std::vector<std::uint8_t> Bytes(const std::string& text) {
  std::vector<std::uint8_t> out;
  std::istringstream in(text);
  std::string word;
  while (in >> word) {
    if (word.front() == '"') {
      out.insert(out.end(), word.begin() + 1, word.end() - 1);
    } else if (word == "z") {
      std::size_t n = 0;
      in >> n;
      out.insert(out.end(), n, 0);
    } else {
      out.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
    }
  }
  return out;
}

// Standard disc information of a CD-RW: erasable, last session incomplete,
// appendable; first track 1, 2 sessions, tracks 3 to 3 in the last; lead-in
// of the last session at 97:26:66, last possible lead-out at 79:59:74.
const char kDiscInformation[] = "00 20 15 01 02 03 03 00 00 00 00 00 z 4 00 61 1A 42 00 4F 3B 4A z 10";

TEST(MmcReplies, DiscInformationReadsEveryFieldWhereTheTableLaysItOut) {
  const auto bytes = Bytes(kDiscInformation);
  ASSERT_EQ(bytes.size(), disc_info::kLength);
  const auto d = ParseDiscInformation(bytes, 34);
  ASSERT_TRUE(d);
  EXPECT_TRUE(d->erasable);
  EXPECT_EQ(d->last_session_state, kSessionIncomplete);
  EXPECT_EQ(d->disc_status, kDiscAppendable);
  EXPECT_EQ(d->first_track, 1);
  EXPECT_EQ(d->sessions, 2);
  EXPECT_EQ(d->first_track_in_last_session, 3);
  EXPECT_EQ(d->last_track_in_last_session, 3);
  EXPECT_EQ(d->last_session_lead_in, (Address4{0x00, 0x61, 0x1A, 0x42}));
  EXPECT_EQ(d->last_possible_lead_out, (Address4{0x00, 0x4F, 0x3B, 0x4A}));
  EXPECT_FALSE(d->short_reply);
  EXPECT_EQ(BuildDiscInformation(*d), bytes);
}

// A DVD-R's invisible track: track 2 of session 1, data recorded
// incrementally, blank, variable packets, data mode 1; next writable address
// valid at 4096, 2162688 blocks free of a track of 2162688.
const char kTrackInformation[] =
    "00 2E 02 01 00 05 61 01 00 00 10 00 00 00 10 00 00 21 00 00 00 00 00 00 00 21 00 00 z 4 00 00 z 14";

TEST(MmcReplies, TrackInformationReadsEveryFieldWhereTheTableLaysItOut) {
  const auto bytes = Bytes(kTrackInformation);
  ASSERT_EQ(bytes.size(), track_info::kLength);
  const auto t = ParseTrackInformation(bytes, 48);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->track, 2);
  EXPECT_EQ(t->session, 1);
  EXPECT_EQ(t->track_mode, kTrackModeDataIncremental);
  EXPECT_TRUE(t->blank);
  EXPECT_TRUE(t->packet);
  EXPECT_FALSE(t->fixed_packet);
  EXPECT_FALSE(t->reserved);
  EXPECT_EQ(t->data_mode, 1);
  EXPECT_EQ(t->start, 4096u);
  EXPECT_EQ(t->next_writable, 4096u);
  EXPECT_EQ(t->free_blocks, 0x210000u);
  EXPECT_EQ(t->size, 0x210000u);
  EXPECT_EQ(t->last_recorded, std::nullopt);  // LRA_V clear
  EXPECT_EQ(BuildTrackInformation(*t), bytes);
  // An address whose valid bit is clear is not read at all.
  auto closed = bytes;
  closed[track_info::kValid] = 0;
  EXPECT_EQ(ParseTrackInformation(closed, 48)->next_writable, std::nullopt);
}

TEST(MmcReplies, TocFormatsZeroOneTwoAndFourReadEveryDescriptor) {
  // Format 0 in MSF: audio tracks 1 at 00:02:00 and 2 at 04:18:00, lead-out
  // at 07:00:00.
  const auto toc0 =
      Bytes("00 1A 01 02 00 10 01 00 00 00 02 00 00 10 02 00 00 04 12 00 00 10 AA 00 00 07 00 00");
  const auto t = ParseToc(toc0, 804);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->first, 1);
  EXPECT_EQ(t->last, 2);
  ASSERT_EQ(t->descriptors.size(), 3u);
  EXPECT_EQ(t->descriptors[1].track, 2);
  EXPECT_EQ(t->descriptors[1].adr_control, 0x10);
  EXPECT_EQ(t->descriptors[1].address, 0x00041200u);
  EXPECT_EQ(t->descriptors[2].track, toc::kLeadOut);
  EXPECT_EQ(BuildToc(*t), toc0);
  // Format 1: sessions 1 to 2; the last complete one starts with data track
  // 3 at LBA 12000.
  const auto toc1 = Bytes("00 0A 01 02 00 14 03 00 00 00 2E E0");
  const auto s = ParseToc(toc1, 12);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->last, 2);
  ASSERT_EQ(s->descriptors.size(), 1u);
  EXPECT_EQ(s->descriptors[0].adr_control, 0x14);
  EXPECT_EQ(s->descriptors[0].track, 3);
  EXPECT_EQ(s->descriptors[0].address, 12000u);
  EXPECT_EQ(BuildToc(*s), toc1);
  // Format 2: session 1's point A0, first track 1 of a data session.
  const auto toc2 = Bytes("00 0D 01 01 01 14 00 A0 00 00 00 00 01 00 00");
  const auto f = ParseFullToc(toc2, 804);
  ASSERT_TRUE(f);
  ASSERT_EQ(f->descriptors.size(), 1u);
  EXPECT_EQ(f->descriptors[0].session, 1);
  EXPECT_EQ(f->descriptors[0].adr_control, 0x14);
  EXPECT_EQ(f->descriptors[0].point, 0xA0);
  EXPECT_EQ(f->descriptors[0].p.minute, 1);
  EXPECT_EQ(BuildFullToc(*f), toc2);
  // Format 4: a CD-RW's ATIP, lead-in at 97:26:66, last lead-out at 79:59:74.
  const auto atip = Bytes("00 1A 00 00 50 00 C0 00 61 1A 42 00 4F 3B 4A 00 z 12");
  const auto a = ParseAtip(atip, 255);
  ASSERT_TRUE(a);
  EXPECT_TRUE(a->rewritable);
  EXPECT_EQ(a->lead_in.second, 0x1A);
  EXPECT_EQ(a->lead_in.frame, 0x42);
  EXPECT_EQ(a->lead_out.minute, 0x4F);
  EXPECT_EQ(BuildAtip(*a), atip);
}

TEST(MmcReplies, TheFeatureHeaderAndAProfileListReadTheirFields) {
  // Current profile DVD+R; the profile list, persistent and current, of
  // DVD+R (current) and DVD-R.
  const auto bytes = Bytes("00 00 00 10 00 00 00 1B 00 00 03 08 00 1B 01 00 00 11 00 00");
  const auto c = ParseConfiguration(bytes, 204);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->current_profile, kProfileDvdPlusR);
  ASSERT_EQ(c->features.size(), 1u);
  EXPECT_EQ(c->features[0].code, kFeatureProfileList);
  EXPECT_TRUE(c->features[0].persistent);
  EXPECT_TRUE(c->features[0].current);
  EXPECT_EQ(ProfileNumbers(c->features[0]), (std::vector<std::uint16_t>{0x1B, 0x11}));
  EXPECT_EQ(BuildConfiguration(*c), bytes);
}

TEST(MmcReplies, TheCapabilitiesPageIsFoundPastTheBlockDescriptorsAndReadsItsSpeeds) {
  // Mode parameter header with one 8-byte block descriptor, then page 2Ah of
  // 36 bytes: current write speed 2760 (old field), 6912 selected, one
  // write speed descriptor of 6912.
  const auto bytes = Bytes("00 32 00 00 00 00 00 08 z 8 2A 22 z 18 0A C8 z 6 1B 00 00 01 00 00 1B 00");
  const auto page = FindModePage(bytes, kPageCapabilities);
  ASSERT_TRUE(page);
  EXPECT_EQ(page->size(), 36u);
  const auto p = ParseCapabilitiesPage(*page);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->current_write_speed, 2760u);
  EXPECT_EQ(p->current_write_speed_selected, 6912u);
  EXPECT_EQ(p->write_speeds, (std::vector<std::uint32_t>{6912}));
  EXPECT_FALSE(FindModePage(bytes, kPageWriteParameters));
}

TEST(MmcReplies, FormatCapacitiesReadTheCurrentAndTheFormattableDescriptors) {
  // An unformatted DVD+RW: current capacity 2295104 blocks of 2048 bytes,
  // formattable in full (format type 26h).
  const auto bytes = Bytes("00 00 00 10 00 23 05 40 01 00 08 00 00 23 05 40 98 00 00 00");
  const auto c = ParseFormatCapacities(bytes, 252);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->current.blocks, 0x230540u);
  EXPECT_EQ(c->current.type & format_capacities::kDescriptorTypeMask, kDescriptorUnformatted);
  EXPECT_EQ(c->current.parameter, 2048u);
  ASSERT_EQ(c->formattable.size(), 1u);
  EXPECT_EQ(c->formattable[0].type, kFormatDvdPlusRwFull);
  EXPECT_EQ(BuildFormatCapacities(*c), bytes);
}

TEST(MmcReplies, DvdStructuresReadThePhysicalFormatAndTheManufacturers) {
  // Physical format of a DVD+R: book type Ah version 1, 120 mm, one
  // recordable layer, data from 030000h to 03FFFFh.
  const auto physical = Bytes("08 02 00 00 A1 0F 02 00 00 03 00 00 00 03 FF FF 00 00 00 00 z 2032");
  const auto f = ParsePhysicalFormat(physical, 2052);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->book_type, 0xA);
  EXPECT_EQ(f->part_version, 1);
  EXPECT_EQ(f->layers, 1);
  EXPECT_EQ(f->data_start, 0x030000u);
  EXPECT_EQ(f->data_end, 0x03FFFFu);
  EXPECT_EQ(BuildPhysicalFormat(*f, 2), physical);
  // Pre-recorded information of a DVD-R: five fields, the manufacturer id in
  // the data of fields 3 and 4.
  const auto pre = Bytes("00 42 00 00 01 z 7 02 z 7 03 \"MKM001\" 00 04 \"DVDR01\" 00 05 z 7 z 24");
  const auto id = ParsePreRecorded(pre, 127);
  ASSERT_TRUE(id);
  EXPECT_EQ(id->manufacturer, "MKM001DVDR01");
  EXPECT_TRUE(id->short_reply == false);
  EXPECT_EQ(BuildPreRecorded(*id), pre);
  // ADIP of a DVD+R: category A1h, manufacturer "VANTORA1", media type
  // "R01", revision 1.
  const auto adip = Bytes("01 02 00 00 A1 z 18 \"VANTORA1\" \"R01\" 01 z 225");
  const auto plus = ParseAdip(adip, 260);
  ASSERT_TRUE(plus);
  EXPECT_EQ(plus->manufacturer, "VANTORA1");
  EXPECT_EQ(plus->media_type, "R01");
  EXPECT_EQ(plus->revision, 1);
  EXPECT_EQ(BuildAdip(*plus, 0xA1), adip);
}

TEST(MmcReplies, BufferCapacityAndTheMediaEventReadTheirFields) {
  const auto buffer = Bytes("00 0A 00 00 00 40 00 00 00 3F F0 00");
  const auto b = ParseBufferCapacity(buffer, 12);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->length, 4u << 20);
  EXPECT_EQ(b->available, 0x3FF000u);
  EXPECT_EQ(BuildBufferCapacity(*b), buffer);
  // Media class, no new event, a medium present, the tray closed.
  const auto event = Bytes("00 06 04 10 00 02 00 00");
  const auto e = ParseMediaEvent(event, 8);
  ASSERT_TRUE(e);
  EXPECT_TRUE(e->event_available);
  EXPECT_EQ(e->notification_class, kNotificationMedia);
  EXPECT_TRUE(e->media_present);
  EXPECT_FALSE(e->tray_open);
  EXPECT_EQ(BuildMediaEvent(*e), event);
  const auto none = Bytes("00 02 80 10");
  const auto n = ParseMediaEvent(none, 8);
  ASSERT_TRUE(n);
  EXPECT_FALSE(n->event_available);
  EXPECT_EQ(BuildMediaEvent(*n), none);
}

// Replies that move fewer bytes than they declare, and than were asked for,
// are short: the fields they hold are read, the others are absent.
struct ShortRow {
  const char* name;
  std::size_t keep;  // bytes moved
  std::size_t allocation;
  bool readable;
  bool short_reply;
};

TEST(MmcReplies, AReplyCutShortSaysSoAndReadsOnlyWhatItHolds) {
  const auto disc = Bytes(kDiscInformation);
  for (const ShortRow& row :
       {ShortRow{"whole", 34, 34, true, false}, ShortRow{"as asked", 20, 20, true, false},
        ShortRow{"cut in the lead-out", 22, 34, true, true},
        ShortRow{"cut before the last track", 6, 34, false, true}}) {
    const std::vector<std::uint8_t> moved(disc.begin(), disc.begin() + std::ptrdiff_t(row.keep));
    const auto d = ParseDiscInformation(moved, row.allocation);
    ASSERT_EQ(d.has_value(), row.readable) << row.name;
    if (!d) continue;
    EXPECT_EQ(d->short_reply, row.short_reply) << row.name;
    EXPECT_EQ(d->last_session_lead_in.has_value(), row.keep >= 20) << row.name;
    EXPECT_EQ(d->last_possible_lead_out.has_value(), row.keep >= 24) << row.name;
  }
  // The TOC a target cut 2 bytes short: the lead-out descriptor is missing.
  const auto toc = Bytes("00 12 01 01 00 14 01 00 00 00 02 00 00 14 AA 00 00 07 00 00");
  const std::vector<std::uint8_t> cut(toc.begin(), toc.end() - 2);
  const auto t = ParseToc(cut, 804);
  ASSERT_TRUE(t);
  EXPECT_TRUE(t->short_reply);
  EXPECT_EQ(t->descriptors.size(), 1u);
  EXPECT_FALSE(ParseToc(toc, 804)->short_reply);
}

}  // namespace
}  // namespace zephrel::mmc
