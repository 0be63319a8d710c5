// On-disc layout of the UDF 1.02 bridge of DVD-Video images: descriptor tag
// identifiers, where each descriptor sits, and the byte offsets of the fields
// the writer fills. Offsets are from the start of each descriptor; all
// numbers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/sector.h"

namespace zephrel::udf {

constexpr std::size_t kBlockSize = platform::kSectorSize;
constexpr std::size_t kDescriptorSize = 512;  // size of the fixed-size descriptors

// Tag identifiers.
constexpr std::uint16_t kTagPrimaryVolume = 1;
constexpr std::uint16_t kTagAnchor = 2;
constexpr std::uint16_t kTagImplementationUse = 4;
constexpr std::uint16_t kTagPartition = 5;
constexpr std::uint16_t kTagLogicalVolume = 6;
constexpr std::uint16_t kTagUnallocatedSpace = 7;
constexpr std::uint16_t kTagTerminating = 8;
constexpr std::uint16_t kTagIntegrity = 9;
constexpr std::uint16_t kTagFileSet = 256;
constexpr std::uint16_t kTagFileIdentifier = 257;
constexpr std::uint16_t kTagFileEntry = 261;

// Sectors from the session start.
constexpr std::uint32_t kRecognitionSector = 18;  // BEA01, NSR02, TEA01 at 18, 19, 20
constexpr std::uint32_t kMainSequenceSector = 32;
constexpr std::uint32_t kReserveSequenceSector = 48;
constexpr std::uint32_t kSequenceSectors = 16;
constexpr std::uint32_t kIntegritySector = 64;  // then its terminating descriptor at 65
constexpr std::uint32_t kAnchorSector = 256;

// Descriptor tag (16 bytes).
namespace tag {
constexpr std::size_t kIdentifier = 0;
constexpr std::size_t kVersion = 2;
constexpr std::size_t kChecksum = 4;
constexpr std::size_t kSerial = 6;
constexpr std::size_t kCrc = 8;
constexpr std::size_t kCrcLength = 10;
constexpr std::size_t kLocation = 12;
constexpr std::size_t kSize = 16;
}  // namespace tag

// Sizes of the common field types.
constexpr std::size_t kCharspecSize = 64;
constexpr std::size_t kRegidSize = 32;
constexpr std::size_t kTimestampSize = 12;
constexpr std::size_t kLongAdSize = 16;
constexpr std::size_t kShortAdSize = 8;

// Largest extent one allocation descriptor records: the length field's top
// two bits hold the extent type, and extents end on a block boundary.
constexpr std::uint32_t kMaxExtentLength = 0x3FFFF800;

namespace avdp {                         // anchor volume descriptor pointer
constexpr std::size_t kMainExtent = 16;  // extent_ad: length, location
constexpr std::size_t kReserveExtent = 24;
}  // namespace avdp

namespace pvd {  // primary volume descriptor
constexpr std::size_t kSequenceNumber = 16;
constexpr std::size_t kVolumeId = 24;  // dstring 32
constexpr std::size_t kVolumeSequenceNumber = 56;
constexpr std::size_t kMaxVolumeSequenceNumber = 58;
constexpr std::size_t kInterchangeLevel = 60;
constexpr std::size_t kMaxInterchangeLevel = 62;
constexpr std::size_t kCharacterSetList = 64;
constexpr std::size_t kMaxCharacterSetList = 68;
constexpr std::size_t kVolumeSetId = 72;  // dstring 128
constexpr std::size_t kDescriptorCharset = 200;
constexpr std::size_t kExplanatoryCharset = 264;
constexpr std::size_t kRecordingTime = 376;
constexpr std::size_t kImplementationId = 388;
}  // namespace pvd

namespace iuvd {  // implementation use volume descriptor
constexpr std::size_t kSequenceNumber = 16;
constexpr std::size_t kImplementationId = 20;  // "*UDF LV Info"
constexpr std::size_t kLviCharset = 52;
constexpr std::size_t kLogicalVolumeId = 116;  // dstring 128
constexpr std::size_t kLvImplementationId = 352;
}  // namespace iuvd

namespace pd {  // partition descriptor
constexpr std::size_t kSequenceNumber = 16;
constexpr std::size_t kFlags = 20;
constexpr std::size_t kNumber = 22;
constexpr std::size_t kContents = 24;  // regid "+NSR02"
constexpr std::size_t kAccessType = 184;
constexpr std::size_t kStart = 188;
constexpr std::size_t kLength = 192;
constexpr std::size_t kImplementationId = 196;
}  // namespace pd

namespace lvd {  // logical volume descriptor
constexpr std::size_t kSequenceNumber = 16;
constexpr std::size_t kDescriptorCharset = 20;
constexpr std::size_t kLogicalVolumeId = 84;  // dstring 128
constexpr std::size_t kBlockSize = 212;
constexpr std::size_t kDomainId = 216;
constexpr std::size_t kContentsUse = 248;  // long_ad of the file set descriptor
constexpr std::size_t kMapTableLength = 264;
constexpr std::size_t kPartitionMapCount = 268;
constexpr std::size_t kImplementationId = 272;
constexpr std::size_t kIntegrityExtent = 432;
constexpr std::size_t kPartitionMaps = 440;
constexpr std::size_t kType1MapSize = 6;
constexpr std::size_t kSize = kPartitionMaps + kType1MapSize;
}  // namespace lvd

namespace usd {  // unallocated space descriptor
constexpr std::size_t kSequenceNumber = 16;
constexpr std::size_t kSize = 24;
}  // namespace usd

namespace lvid {  // logical volume integrity descriptor
constexpr std::size_t kRecordingTime = 16;
constexpr std::size_t kIntegrityType = 28;
constexpr std::size_t kNextUniqueId = 40;  // first 8 bytes of the contents use
constexpr std::size_t kPartitionCount = 72;
constexpr std::size_t kImplementationUseLength = 76;
constexpr std::size_t kFreeSpaceTable = 80;
constexpr std::size_t kSizeTable = 84;
constexpr std::size_t kImplementationUse = 88;  // regid, files, folders, revisions
constexpr std::size_t kImplementationUseSize = 46;
constexpr std::size_t kSize = kImplementationUse + kImplementationUseSize;
}  // namespace lvid

namespace fsd {  // file set descriptor
constexpr std::size_t kRecordingTime = 16;
constexpr std::size_t kInterchangeLevel = 28;
constexpr std::size_t kMaxInterchangeLevel = 30;
constexpr std::size_t kCharacterSetList = 32;
constexpr std::size_t kMaxCharacterSetList = 36;
constexpr std::size_t kLogicalVolumeIdCharset = 48;
constexpr std::size_t kLogicalVolumeId = 112;  // dstring 128
constexpr std::size_t kFileSetCharset = 240;
constexpr std::size_t kFileSetId = 304;  // dstring 32
constexpr std::size_t kRootIcb = 400;    // long_ad
constexpr std::size_t kDomainId = 416;
}  // namespace fsd

namespace fe {  // file entry
constexpr std::size_t kIcbStrategy = 20;
constexpr std::size_t kIcbMaxEntries = 24;
constexpr std::size_t kIcbFileType = 27;
constexpr std::size_t kIcbFlags = 34;
constexpr std::size_t kUid = 36;
constexpr std::size_t kGid = 40;
constexpr std::size_t kPermissions = 44;
constexpr std::size_t kLinkCount = 48;
constexpr std::size_t kInformationLength = 56;  // 64-bit
constexpr std::size_t kBlocksRecorded = 64;     // 64-bit
constexpr std::size_t kAccessTime = 72;
constexpr std::size_t kModificationTime = 84;
constexpr std::size_t kAttributeTime = 96;
constexpr std::size_t kCheckpoint = 108;
constexpr std::size_t kImplementationId = 128;
constexpr std::size_t kUniqueId = 160;  // 64-bit
constexpr std::size_t kExtendedAttributesLength = 168;
constexpr std::size_t kAllocationLength = 172;
constexpr std::size_t kAllocationDescriptors = 176;
constexpr std::uint8_t kTypeDirectory = 4;
constexpr std::uint8_t kTypeFile = 5;
// Short allocation descriptors, non-relocatable, archive, contiguous.
constexpr std::uint16_t kIcbFlagsValue = 0x0230;
constexpr std::uint32_t kPermissionsDirectory = 0x14A5;  // read and execute for all
constexpr std::uint32_t kPermissionsFile = 0x1084;       // read for all
}  // namespace fe

namespace fid {  // file identifier descriptor
constexpr std::size_t kVersion = 16;
constexpr std::size_t kCharacteristics = 18;
constexpr std::size_t kIdentifierLength = 19;
constexpr std::size_t kIcb = 20;       // long_ad
constexpr std::size_t kUniqueId = 32;  // in the long_ad's implementation use
constexpr std::size_t kImplementationUseLength = 36;
constexpr std::size_t kIdentifier = 38;
constexpr std::uint8_t kDirectory = 0x02;
constexpr std::uint8_t kParent = 0x08;
}  // namespace fid

}  // namespace zephrel::udf
