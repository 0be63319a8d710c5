// Layout of the MMC replies and parameter pages the disc engine reads and the
// emulated drive writes: READ DISC INFORMATION, READ TRACK INFORMATION, READ
// TOC/PMA/ATIP formats 0, 1, 2 and 4, the GET CONFIGURATION header and
// feature descriptors, mode pages 05h and 2Ah, READ FORMAT CAPACITIES, READ
// DVD STRUCTURE formats 00h, 0Eh and 11h, READ BUFFER CAPACITY and the media
// event of GET EVENT STATUS NOTIFICATION. Offsets are byte positions from the
// start of the reply (of the page, for mode pages; of the descriptor, for
// descriptors); multi-byte fields are big-endian.
//
// Each Parse function takes the bytes the drive moved and the allocation
// length the command asked with. A reply is short when the drive moved fewer
// bytes than it declares and than were asked for: its record says so
// (short_reply), holds what the moved bytes hold, and a field they do not hold
// is absent, never read as zero. A Parse gives nothing when the moved bytes do
// not hold the reply's fixed part. Each Build function lays out a whole reply
// (the data length field included) from a record; the drive cuts it to the
// allocation length.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/cd_sector.h"
#include "platform/mmc.h"

namespace platform::mmc {

// ---- mode pages -------------------------------------------------------------

// Mode parameter header of MODE SENSE(10) and MODE SELECT(10); the first page
// follows the block descriptors.
namespace mode {
inline constexpr std::size_t kDataLength = 0;  // 16 bits, excludes itself
inline constexpr std::size_t kMediumType = 2;
inline constexpr std::size_t kBlockDescriptorLength = 6;  // 16 bits
inline constexpr std::size_t kHeaderLength = 8;
// Byte 0 of every page.
inline constexpr std::size_t kPageCode = 0;
inline constexpr std::uint8_t kPageCodeMask = 0x3F;
inline constexpr std::size_t kPageLength = 1;  // bytes after this one
}  // namespace mode

// Write parameters mode page (05h).
namespace write_page {
inline constexpr std::size_t kWriteType = 2;
inline constexpr std::uint8_t kBufe = 0x40;
inline constexpr std::uint8_t kLinkSizeValid = 0x20;
inline constexpr std::uint8_t kTestWrite = 0x10;
inline constexpr std::uint8_t kWriteTypeMask = 0x0F;
inline constexpr std::size_t kTrackMode = 3;
inline constexpr std::uint8_t kMultiSessionMask = 0xC0;  // 11b: next session allowed
inline constexpr std::uint8_t kFixedPacket = 0x20;
inline constexpr std::uint8_t kTrackModeMask = 0x0F;
inline constexpr std::size_t kDataBlockType = 4;
inline constexpr std::uint8_t kDataBlockTypeMask = 0x0F;
inline constexpr std::size_t kLinkSize = 5;
inline constexpr std::size_t kSessionFormat = 8;
inline constexpr std::size_t kPacketSize = 10;        // 32 bits
inline constexpr std::size_t kAudioPauseLength = 14;  // 16 bits, in sectors
inline constexpr std::size_t kSubheader = 48;         // 4 bytes; byte 2 is the sub-mode
inline constexpr std::size_t kSubmode = 50;
inline constexpr std::uint8_t kPageLengthValue = 0x32;
inline constexpr std::size_t kLength = 52;  // page code, page length and 50 bytes
inline constexpr std::uint16_t kDefaultAudioPause = 150;
inline constexpr std::uint8_t kPacketAndLinkSizeDvdMinus = 16;
}  // namespace write_page

// CD/DVD capabilities and mechanical status mode page (2Ah).
namespace caps_page {
inline constexpr std::size_t kReadCapabilities = 2;
inline constexpr std::size_t kWriteCapabilities = 3;
inline constexpr std::size_t kFeatures = 4;
inline constexpr std::size_t kCdDa = 5;
inline constexpr std::size_t kMechanism = 6;                   // loading mechanism, eject, lock
inline constexpr std::size_t kMaximumReadSpeed = 8;            // 16 bits, obsolete
inline constexpr std::size_t kBufferSize = 12;                 // 16 bits, kB
inline constexpr std::size_t kCurrentReadSpeed = 14;           // 16 bits, obsolete
inline constexpr std::size_t kMaximumWriteSpeed = 18;          // 16 bits, obsolete
inline constexpr std::size_t kCurrentWriteSpeed = 20;          // 16 bits, obsolete
inline constexpr std::size_t kCurrentWriteSpeedSelected = 28;  // 16 bits
inline constexpr std::size_t kWriteSpeedDescriptorCount = 30;  // 16 bits
inline constexpr std::size_t kWriteSpeedDescriptors = 32;      // 4 bytes each
inline constexpr std::size_t kWriteSpeedDescriptorLength = 4;
inline constexpr std::size_t kDescriptorWriteSpeed = 2;  // 16 bits, in the descriptor
}  // namespace caps_page

// Page 2Ah as read: the write speeds in kB/s.
struct CapabilitiesPage {
  std::optional<std::uint32_t> current_write_speed_selected;  // 0 when the drive leaves it out
  std::optional<std::uint32_t> current_write_speed;           // the older field
  std::vector<std::uint32_t> write_speeds;                    // descriptors, as listed
};

// The page (code and length bytes included) in a MODE SENSE(10) reply:
// where it starts and the bytes of it that were moved, or nothing when the
// reply holds another page or none.
std::optional<std::span<const std::uint8_t>> FindModePage(std::span<const std::uint8_t> moved,
                                                          std::uint8_t page);
std::optional<CapabilitiesPage> ParseCapabilitiesPage(std::span<const std::uint8_t> page);

// ---- READ DISC INFORMATION (standard disc information) ------------------------

namespace disc_info {
inline constexpr std::size_t kDataLength = 0;  // 16 bits, excludes itself
inline constexpr std::size_t kStatus = 2;
inline constexpr std::uint8_t kErasable = 0x10;
inline constexpr std::uint8_t kLastSessionStateMask = 0x0C;
inline constexpr std::uint8_t kDiscStatusMask = 0x03;
inline constexpr std::size_t kFirstTrack = 3;
inline constexpr std::size_t kSessionsLsb = 4;
inline constexpr std::size_t kFirstTrackInLastSessionLsb = 5;
inline constexpr std::size_t kLastTrackInLastSessionLsb = 6;
inline constexpr std::size_t kFlags = 7;  // DID_V, DBC_V, URU, DAC_V, Dbit, background format status
inline constexpr std::uint8_t kBackgroundFormatMask = 0x03;
inline constexpr std::size_t kDiscType = 8;
inline constexpr std::size_t kSessionsMsb = 9;
inline constexpr std::size_t kFirstTrackInLastSessionMsb = 10;
inline constexpr std::size_t kLastTrackInLastSessionMsb = 11;
inline constexpr std::size_t kLastSessionLeadIn = 16;    // 4 bytes: 00h, M, S, F on CD
inline constexpr std::size_t kLastPossibleLeadOut = 20;  // 4 bytes: 00h, M, S, F on CD
inline constexpr std::size_t kFixedLength = 7;           // through the last track's low byte
inline constexpr std::size_t kLength = 34;
}  // namespace disc_info

// Disc status (byte 2, bits 1-0) and state of the last session (bits 3-2,
// given here as byte 2 AND 0Ch).
inline constexpr int kDiscEmpty = 0;
inline constexpr int kDiscAppendable = 1;
inline constexpr int kDiscComplete = 2;
inline constexpr int kDiscOther = 3;  // random-access media
inline constexpr int kSessionEmpty = 0x00;
inline constexpr int kSessionIncomplete = 0x04;
inline constexpr int kSessionDamaged = 0x08;
inline constexpr int kSessionComplete = 0x0C;

// An address field of four bytes as the reply holds it (00h, M, S, F on CD;
// FFFFFFFFh where the medium has none).
using Address4 = std::array<std::uint8_t, 4>;

struct DiscInformation {
  bool erasable = false;
  int last_session_state = kSessionEmpty;  // byte 2 AND 0Ch
  int disc_status = kDiscEmpty;
  int first_track = 0;
  int sessions = 0;
  int first_track_in_last_session = 0;
  int last_track_in_last_session = 0;
  int background_format = 0;
  int disc_type = 0;
  std::optional<Address4> last_session_lead_in;  // absent when not moved
  std::optional<Address4> last_possible_lead_out;
  bool short_reply = false;
};
std::optional<DiscInformation> ParseDiscInformation(std::span<const std::uint8_t> moved,
                                                    std::size_t allocation);
std::vector<std::uint8_t> BuildDiscInformation(const DiscInformation& info);

// ---- READ TRACK INFORMATION ---------------------------------------------------

namespace track_info {
inline constexpr std::size_t kDataLength = 0;  // 16 bits, excludes itself
inline constexpr std::size_t kTrackNumberLsb = 2;
inline constexpr std::size_t kSessionNumberLsb = 3;
inline constexpr std::size_t kTrackMode = 5;  // damage 20h, copy 10h, track mode in bits 3-0
inline constexpr std::uint8_t kDamage = 0x20;
inline constexpr std::uint8_t kTrackModeMask = 0x0F;
inline constexpr std::size_t kDataMode = 6;  // RT 80h, blank 40h, packet/inc 20h, FP 10h, data mode
inline constexpr std::uint8_t kReserved = 0x80;
inline constexpr std::uint8_t kBlankTrack = 0x40;
inline constexpr std::uint8_t kPacket = 0x20;
inline constexpr std::uint8_t kFixedPacket = 0x10;
inline constexpr std::uint8_t kDataModeMask = 0x0F;
inline constexpr std::size_t kValid = 7;
inline constexpr std::uint8_t kLastRecordedValid = 0x02;
inline constexpr std::uint8_t kNextWritableValid = 0x01;
inline constexpr std::size_t kTrackStart = 8;            // 32 bits
inline constexpr std::size_t kNextWritableAddress = 12;  // 32 bits
inline constexpr std::size_t kFreeBlocks = 16;           // 32 bits
inline constexpr std::size_t kFixedPacketSize = 20;      // 32 bits
inline constexpr std::size_t kTrackSize = 24;            // 32 bits
inline constexpr std::size_t kLastRecordedAddress = 28;  // 32 bits
inline constexpr std::size_t kTrackNumberMsb = 32;
inline constexpr std::size_t kSessionNumberMsb = 33;
inline constexpr std::size_t kFixedLength = 12;  // through the track start
inline constexpr std::size_t kLength = 48;
}  // namespace track_info

struct TrackInformation {
  int track = 0;
  int session = 0;
  bool damage = false;
  int track_mode = 0;
  bool reserved = false;
  bool blank = false;
  bool packet = false;
  bool fixed_packet = false;
  int data_mode = 0;
  std::uint32_t start = 0;
  std::optional<std::uint32_t> next_writable;  // when valid and moved
  std::optional<std::uint32_t> free_blocks;
  std::optional<std::uint32_t> fixed_packet_size;
  std::optional<std::uint32_t> size;
  std::optional<std::uint32_t> last_recorded;  // when valid and moved
  bool short_reply = false;
};
std::optional<TrackInformation> ParseTrackInformation(std::span<const std::uint8_t> moved,
                                                      std::size_t allocation);
// next_writable and last_recorded set their valid bits; absent fields are 0.
std::vector<std::uint8_t> BuildTrackInformation(const TrackInformation& info);

// ---- READ TOC/PMA/ATIP ----------------------------------------------------------

namespace toc {
inline constexpr std::size_t kDataLength = 0;  // 16 bits, excludes itself
inline constexpr std::size_t kFirst = 2;       // track (format 0) or session (1, 2)
inline constexpr std::size_t kLast = 3;
inline constexpr std::size_t kHeaderLength = 4;
// Formats 0 and 1: descriptors of 8 bytes.
inline constexpr std::size_t kDescriptorLength = 8;
inline constexpr std::size_t kAdrControl = 1;  // ADR in bits 7-4, control in 3-0
inline constexpr std::size_t kTrackNumber = 2;
inline constexpr std::size_t kAddress = 4;  // 32 bits: LBA, or 00h, M, S, F
inline constexpr std::uint8_t kLeadOut = 0xAA;
inline constexpr std::uint8_t kControlData = 0x04;
// Format 2 (full TOC): descriptors of 11 bytes.
inline constexpr std::size_t kFullDescriptorLength = 11;
inline constexpr std::size_t kFullSession = 0;
inline constexpr std::size_t kFullAdrControl = 1;
inline constexpr std::size_t kFullTno = 2;
inline constexpr std::size_t kFullPoint = 3;
inline constexpr std::size_t kFullTime = 4;   // M, S, F
inline constexpr std::size_t kFullPTime = 8;  // PMIN, PSEC, PFRAME
// Format 4 (ATIP).
inline constexpr std::size_t kAtipWritingPower = 4;
inline constexpr std::size_t kAtipDiscType = 6;  // 80h, disc type 40h (CD-RW), sub-type, A1-A3 valid
inline constexpr std::uint8_t kAtipRewritable = 0x40;
inline constexpr std::size_t kAtipLeadIn = 8;    // M, S, F
inline constexpr std::size_t kAtipLeadOut = 12;  // M, S, F
inline constexpr std::size_t kAtipLength = 28;
}  // namespace toc

// A descriptor of format 0 (a track or the lead-out) or format 1 (the first
// track of the last complete session).
struct TocDescriptor {
  std::uint8_t adr_control = 0;
  std::uint8_t track = 0;
  std::uint32_t address = 0;  // LBA, or as read: 00h, M, S, F
};
struct TocReply {
  int first = 0, last = 0;
  std::vector<TocDescriptor> descriptors;  // those wholly moved
  bool short_reply = false;
};
std::optional<TocReply> ParseToc(std::span<const std::uint8_t> moved, std::size_t allocation);
std::vector<std::uint8_t> BuildToc(const TocReply& toc);

// A descriptor of the full TOC: a point of the lead-in's Q sub-channel.
struct FullTocDescriptor {
  std::uint8_t session = 0, adr_control = 0, tno = 0, point = 0;
  Msf time;
  Msf p;
};
struct FullToc {
  int first_session = 0, last_session = 0;
  std::vector<FullTocDescriptor> descriptors;
  bool short_reply = false;
};
std::optional<FullToc> ParseFullToc(std::span<const std::uint8_t> moved, std::size_t allocation);
std::vector<std::uint8_t> BuildFullToc(const FullToc& toc);

struct Atip {
  bool rewritable = false;
  Msf lead_in;   // start of lead-in
  Msf lead_out;  // last possible start of lead-out
  bool short_reply = false;
};
std::optional<Atip> ParseAtip(std::span<const std::uint8_t> moved, std::size_t allocation);
std::vector<std::uint8_t> BuildAtip(const Atip& atip);

// ---- GET CONFIGURATION ------------------------------------------------------------

namespace feature {
inline constexpr std::size_t kDataLength = 0;      // 32 bits, excludes itself
inline constexpr std::size_t kCurrentProfile = 6;  // 16 bits
inline constexpr std::size_t kHeaderLength = 8;
// Every feature descriptor.
inline constexpr std::size_t kCode = 0;  // 16 bits
inline constexpr std::size_t kFlags = 2;
inline constexpr std::uint8_t kVersionShift = 2;
inline constexpr std::uint8_t kPersistent = 0x02;
inline constexpr std::uint8_t kCurrent = 0x01;
inline constexpr std::size_t kAdditionalLength = 3;
inline constexpr std::size_t kDescriptorHeaderLength = 4;
// Profile list descriptors, 4 bytes each after the feature header.
inline constexpr std::size_t kProfileDescriptorLength = 4;
inline constexpr std::size_t kProfileNumber = 0;  // 16 bits
inline constexpr std::size_t kCurrentProfileFlag = 2;
}  // namespace feature

struct FeatureDescriptor {
  std::uint16_t code = 0;
  int version = 0;
  bool persistent = false;
  bool current = false;
  std::vector<std::uint8_t> data;  // the additional bytes as moved
};
struct Configuration {
  std::uint16_t current_profile = 0;
  std::vector<FeatureDescriptor> features;  // those whose header was moved
  bool short_reply = false;
};
std::optional<Configuration> ParseConfiguration(std::span<const std::uint8_t> moved, std::size_t allocation);
// The header with the current profile, then each feature.
std::vector<std::uint8_t> BuildConfiguration(const Configuration& configuration);
// The profile numbers of a profile list feature's data.
std::vector<std::uint16_t> ProfileNumbers(const FeatureDescriptor& profile_list);

// ---- READ FORMAT CAPACITIES --------------------------------------------------------

namespace format_capacities {
inline constexpr std::size_t kListLength = 3;  // bytes of descriptors that follow
inline constexpr std::size_t kHeaderLength = 4;
// Every descriptor, 8 bytes; the first is the current/maximum capacity.
inline constexpr std::size_t kDescriptorLength = 8;
inline constexpr std::size_t kBlocks = 0;  // 32 bits
inline constexpr std::size_t kType = 4;    // current: descriptor type in bits 1-0; others: format type << 2
inline constexpr std::uint8_t kDescriptorTypeMask = 0x03;
inline constexpr std::size_t kParameter = 5;  // 24 bits: block length, or the format's parameter
}  // namespace format_capacities

// Descriptor types of the current capacity.
inline constexpr int kDescriptorUnformatted = 1;
inline constexpr int kDescriptorFormatted = 2;
inline constexpr int kDescriptorNoMedium = 3;
// Format byte of the full DVD+RW format (format type 26h): what FORMAT UNIT
// is given when the drive lists only its current capacity.
inline constexpr std::uint8_t kFormatDvdPlusRwFull = 0x26 << 2;
inline constexpr std::uint32_t kFormatWholeMedium = 0x00FFFFFF;

struct CapacityDescriptor {
  std::uint32_t blocks = 0;
  std::uint8_t type = 0;  // byte 4 as given: descriptor type, or format type << 2 | sub-type
  std::uint32_t parameter = 0;
};
struct FormatCapacities {
  CapacityDescriptor current;
  std::vector<CapacityDescriptor> formattable;  // those wholly moved
  bool short_reply = false;
};
std::optional<FormatCapacities> ParseFormatCapacities(std::span<const std::uint8_t> moved,
                                                      std::size_t allocation);
std::vector<std::uint8_t> BuildFormatCapacities(const FormatCapacities& capacities);

// ---- READ DVD STRUCTURE ------------------------------------------------------------

namespace dvd_structure {
inline constexpr std::size_t kDataLength = 0;  // 16 bits, excludes itself
inline constexpr std::size_t kHeaderLength = 4;
// Format 00h, physical format information.
inline constexpr std::size_t kBookType = 4;  // book type in bits 7-4, part version in 3-0
inline constexpr std::size_t kDiscSize = 5;
inline constexpr std::size_t kLayers = 6;  // layers - 1 in bits 6-5, track path 10h, layer type 3-0
inline constexpr std::size_t kDensity = 7;
inline constexpr std::size_t kDataStart = 8;      // 32 bits (24 used)
inline constexpr std::size_t kDataEnd = 12;       // 32 bits (24 used)
inline constexpr std::size_t kLayerZeroEnd = 16;  // 32 bits (24 used)
inline constexpr std::size_t kPhysicalLength = 4 + 2048;
inline constexpr std::uint32_t kFirstDataSector = 0x030000;
// Format 0Eh, pre-recorded information of DVD-R/-RW: fields of 8 bytes, a
// field id and then its data.
inline constexpr std::size_t kPreRecordedField = 4;
inline constexpr std::size_t kPreRecordedFieldLength = 8;
inline constexpr std::size_t kManufacturerIdPart1 = 21;  // field 3's data, 6 bytes
inline constexpr std::size_t kManufacturerIdPart2 = 29;  // field 4's data, 6 bytes
inline constexpr std::size_t kManufacturerPartLength = 6;
inline constexpr std::size_t kPreRecordedLength = 4 + 64;
// Format 11h, ADIP information of DVD+R/+RW.
inline constexpr std::size_t kAdipCategory = 4;
inline constexpr std::size_t kAdipManufacturerId = 23;  // 8 bytes
inline constexpr std::size_t kAdipManufacturerIdLength = 8;
inline constexpr std::size_t kAdipMediaTypeId = 31;  // 3 bytes
inline constexpr std::size_t kAdipMediaTypeIdLength = 3;
inline constexpr std::size_t kAdipRevision = 34;
inline constexpr std::size_t kAdipLength = 4 + 256;
}  // namespace dvd_structure

struct PhysicalFormat {
  int book_type = 0, part_version = 0;
  int layers = 1;
  std::uint32_t data_start = 0;  // sector numbers of the data area
  std::uint32_t data_end = 0;
  std::uint32_t layer_zero_end = 0;
  bool short_reply = false;
};
std::optional<PhysicalFormat> ParsePhysicalFormat(std::span<const std::uint8_t> moved,
                                                  std::size_t allocation);
// disc_size, density and layer type as a 120 mm DVD gives them; layer_type is
// 1 read-only, 2 recordable, 4 rewritable.
std::vector<std::uint8_t> BuildPhysicalFormat(const PhysicalFormat& format, int layer_type);

// The manufacturer and media type texts of a pre-recorded (0Eh) or ADIP (11h)
// structure, as the bytes stand (zeros included).
struct MediaIdentifier {
  std::string manufacturer;  // 12 bytes (0Eh: both parts) or 8 (11h)
  std::string media_type;    // 11h only: 3 bytes
  std::uint8_t revision = 0;
  bool short_reply = false;
};
std::optional<MediaIdentifier> ParsePreRecorded(std::span<const std::uint8_t> moved, std::size_t allocation);
std::optional<MediaIdentifier> ParseAdip(std::span<const std::uint8_t> moved, std::size_t allocation);
std::vector<std::uint8_t> BuildPreRecorded(const MediaIdentifier& id);
// category: the ADIP's disc category and version byte.
std::vector<std::uint8_t> BuildAdip(const MediaIdentifier& id, std::uint8_t category);

// ---- READ BUFFER CAPACITY ------------------------------------------------------------

namespace buffer_capacity {
inline constexpr std::size_t kDataLength = 0;    // 16 bits, excludes itself
inline constexpr std::size_t kBufferLength = 4;  // 32 bits, bytes (reserved in block mode)
inline constexpr std::size_t kAvailable = 8;     // 32 bits, bytes, or blocks in block mode
inline constexpr std::size_t kLength = 12;
}  // namespace buffer_capacity

struct BufferCapacity {
  std::uint32_t length = 0;     // 0 in block mode
  std::uint32_t available = 0;  // bytes, or blocks in block mode
  bool short_reply = false;
};
std::optional<BufferCapacity> ParseBufferCapacity(std::span<const std::uint8_t> moved,
                                                  std::size_t allocation);
std::vector<std::uint8_t> BuildBufferCapacity(const BufferCapacity& capacity);

// ---- GET EVENT STATUS NOTIFICATION ------------------------------------------------------

namespace event_status {
inline constexpr std::size_t kDataLength = 0;  // 16 bits, excludes itself
inline constexpr std::size_t kClass = 2;       // NEA 80h, notification class in bits 2-0
inline constexpr std::uint8_t kNoEventAvailable = 0x80;
inline constexpr std::uint8_t kClassMask = 0x07;
inline constexpr std::size_t kSupportedClasses = 3;
inline constexpr std::size_t kHeaderLength = 4;
// The media event descriptor.
inline constexpr std::size_t kEventCode = 4;  // bits 3-0
inline constexpr std::size_t kMediaStatus = 5;
inline constexpr std::uint8_t kMediaPresent = 0x02;
inline constexpr std::uint8_t kTrayOpen = 0x01;
inline constexpr std::size_t kMediaLength = 8;
}  // namespace event_status

// Notification class 4 (media) and its bit in the class request.
inline constexpr std::uint8_t kNotificationMedia = 4;

struct MediaEvent {
  bool event_available = false;  // a descriptor of the media class follows
  int notification_class = 0;
  std::uint8_t supported_classes = 0;
  int event_code = 0;
  bool media_present = false;
  bool tray_open = false;
  bool short_reply = false;
};
std::optional<MediaEvent> ParseMediaEvent(std::span<const std::uint8_t> moved, std::size_t allocation);
std::vector<std::uint8_t> BuildMediaEvent(const MediaEvent& event);

}  // namespace platform::mmc
