#include "image/udf_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/text.h"

namespace zephrel {
namespace {

using namespace udf;

constexpr char kImplementationName[] = "*Zephrel";

void PutCharspec(std::uint8_t* p) {
  p[0] = 0;
  std::memcpy(p + 1, "OSTA Compressed Unicode", 23);
}

void PutRegid(std::uint8_t* p, std::uint8_t flags, const char* text,
              std::initializer_list<std::uint8_t> suffix = {}) {
  p[0] = flags;
  std::memcpy(p + 1, text, std::min<std::size_t>(std::strlen(text), 23));
  std::size_t i = 24;
  for (std::uint8_t b : suffix) p[i++] = b;
}

void PutImplementation(std::uint8_t* p) { PutRegid(p, 0, kImplementationName); }
void PutDomain(std::uint8_t* p) { PutRegid(p, 0, "*OSTA UDF Compliant", {0x02, 0x01, 0x03}); }

// A CS0 text of at most max_bytes bytes (compression id included), cut at a
// character boundary.
std::string Cs0(const std::string& utf8, std::size_t max_bytes) {
  std::string cs0 = platform::Utf8ToCs0(utf8);
  if (cs0.size() > max_bytes) {
    const std::size_t unit = cs0[0] == 16 ? 2 : 1;
    cs0.resize(1 + (max_bytes - 1) / unit * unit);
  }
  return cs0;
}

// A dstring field of size bytes: CS0 text, zeros, its length in the last byte.
void PutDstring(std::uint8_t* p, std::size_t size, const std::string& utf8) {
  const std::string cs0 = Cs0(utf8, size - 1);
  std::memcpy(p, cs0.data(), cs0.size());
  p[size - 1] = static_cast<std::uint8_t>(cs0.size());
}

void PutLongAd(std::uint8_t* p, std::uint32_t length, std::uint32_t block) {
  platform::PutLe32(p, length);
  platform::PutLe32(p + 4, block);
  platform::PutLe16(p + 8, 0);  // partition reference
}

std::size_t FidSize(std::size_t identifier_bytes) {
  return (fid::kIdentifier + identifier_bytes + 3) & ~std::size_t(3);
}

std::uint32_t BlocksFor(std::uint64_t bytes) {
  return static_cast<std::uint32_t>((bytes + kBlockSize - 1) / kBlockSize);
}

std::uint64_t DirectoryBytes(const std::vector<std::string>& names) {
  std::uint64_t bytes = FidSize(0);  // the parent entry
  for (const std::string& n : names) bytes += FidSize(platform::Utf8ToCs0(n).size());
  return bytes;
}

std::vector<std::string> Names(const std::vector<UdfFile>& files) {
  std::vector<std::string> names;
  for (const UdfFile& f : files) names.push_back(f.name);
  return names;
}

class BridgeWriter {
 public:
  BridgeWriter(const UdfBridgeInput& in, std::span<std::uint8_t> header) : in_(in), header_(header) {
    time_ = MakeUdfTimestamp(in.build_time, 0);
  }

  bool Run(std::array<std::uint8_t, kBlockSize>& end_anchor, std::string* error);

 private:
  // A sector of the header by absolute number; null outside it.
  std::uint8_t* Sector(std::uint64_t absolute) {
    if (absolute < in_.session_start) return nullptr;
    const std::uint64_t offset = (absolute - in_.session_start) * kBlockSize;
    if (offset + kBlockSize > header_.size()) return nullptr;
    return header_.data() + offset;
  }
  // Sixteen hex digits that make the volume set unique (the build time and a
  // hash of the name), then the volume name.
  std::string VolumeSetId() const {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : in_.volume_name) hash = (hash ^ c) * 16777619u;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%08X%08X", static_cast<std::uint32_t>(in_.build_time), hash);
    return hex + in_.volume_name;
  }
  void WriteUdfVolumeRecognition();
  // The descriptors outside the partition, the file set and the directories.
  void WriteUdfFileSystem(std::array<std::uint8_t, kBlockSize>& end_anchor);
  bool WriteFileEntries(std::string* error);
  void WriteSequence(std::uint32_t first);
  void WriteIntegrity();
  void WriteAnchor(std::uint8_t* p, std::uint32_t location);
  void WriteFileSet();
  void WriteDirectory(std::uint32_t fe_block, std::uint32_t fid_block, std::uint32_t parent_block,
                      std::uint16_t link_count,
                      const std::vector<std::pair<std::string, std::uint32_t>>& folders,
                      const std::vector<UdfFile>* files, std::uint32_t first_file_block);
  bool WriteFileEntry(std::uint32_t block, bool folder, std::uint16_t link_count, std::uint64_t length,
                      std::uint64_t unique_id, std::uint32_t data_block);
  std::uint64_t UniqueIdOf(std::uint32_t block) const { return block == root_fe_ ? 0 : 16 + block; }

  const UdfBridgeInput& in_;
  std::span<std::uint8_t> header_;
  std::array<std::uint8_t, kTimestampSize> time_{};
  // Blocks in the partition: file entries of the root and the two folders,
  // the first file entry of each folder's files, the end of the area.
  std::uint32_t root_fe_ = 2, audio_fe_ = 0, video_fe_ = 0, files_block_ = 0, area_blocks_ = 0;
  std::uint32_t audio_files_ = 0, video_files_ = 0;
  std::string error_;
};

void BridgeWriter::WriteUdfVolumeRecognition() {
  static const char* kIds[] = {"BEA01", "NSR02", "TEA01"};
  for (std::uint32_t i = 0; i < 3; ++i) {
    std::uint8_t* p = Sector(in_.session_start + kRecognitionSector + i);
    p[0] = 0;
    std::memcpy(p + 1, kIds[i], 5);
    p[6] = 1;
  }
}

void BridgeWriter::WriteSequence(std::uint32_t first) {
  const std::uint32_t at = in_.session_start + first;
  {  // primary volume descriptor
    std::uint8_t* p = Sector(at);
    platform::PutLe32(p + pvd::kSequenceNumber, 0);
    PutDstring(p + pvd::kVolumeId, 32, in_.volume_name);
    platform::PutLe16(p + pvd::kVolumeSequenceNumber, 1);
    platform::PutLe16(p + pvd::kMaxVolumeSequenceNumber, 1);
    platform::PutLe16(p + pvd::kInterchangeLevel, 2);
    platform::PutLe16(p + pvd::kMaxInterchangeLevel, 3);
    platform::PutLe32(p + pvd::kCharacterSetList, 1);
    platform::PutLe32(p + pvd::kMaxCharacterSetList, 1);
    PutDstring(p + pvd::kVolumeSetId, 128, VolumeSetId());
    PutCharspec(p + pvd::kDescriptorCharset);
    PutCharspec(p + pvd::kExplanatoryCharset);
    std::memcpy(p + pvd::kRecordingTime, time_.data(), kTimestampSize);
    PutImplementation(p + pvd::kImplementationId);
    MakeUdfDescriptorTag(kTagPrimaryVolume, {p, kDescriptorSize}, kDescriptorSize - tag::kSize, at);
  }
  {  // implementation use volume descriptor
    std::uint8_t* p = Sector(at + 1);
    platform::PutLe32(p + iuvd::kSequenceNumber, 1);
    PutRegid(p + iuvd::kImplementationId, 0, "*UDF LV Info", {0x02, 0x01});
    PutCharspec(p + iuvd::kLviCharset);
    PutDstring(p + iuvd::kLogicalVolumeId, 128, in_.volume_name);
    PutImplementation(p + iuvd::kLvImplementationId);
    MakeUdfDescriptorTag(kTagImplementationUse, {p, kDescriptorSize}, kDescriptorSize - tag::kSize, at + 1);
  }
  {  // partition descriptor
    std::uint8_t* p = Sector(at + 2);
    platform::PutLe32(p + pd::kSequenceNumber, 2);
    platform::PutLe16(p + pd::kFlags, 1);
    platform::PutLe16(p + pd::kNumber, 0);
    PutRegid(p + pd::kContents, 2, "+NSR02");
    platform::PutLe32(p + pd::kAccessType, 1);
    platform::PutLe32(p + pd::kStart, in_.partition_start);
    platform::PutLe32(p + pd::kLength, in_.partition_end - in_.partition_start);
    PutImplementation(p + pd::kImplementationId);
    MakeUdfDescriptorTag(kTagPartition, {p, kDescriptorSize}, kDescriptorSize - tag::kSize, at + 2);
  }
  {  // logical volume descriptor
    std::uint8_t* p = Sector(at + 3);
    platform::PutLe32(p + lvd::kSequenceNumber, 3);
    PutCharspec(p + lvd::kDescriptorCharset);
    PutDstring(p + lvd::kLogicalVolumeId, 128, in_.volume_name);
    platform::PutLe32(p + lvd::kBlockSize, kBlockSize);
    PutDomain(p + lvd::kDomainId);
    PutLongAd(p + lvd::kContentsUse, kBlockSize, 0);
    platform::PutLe32(p + lvd::kMapTableLength, lvd::kType1MapSize);
    platform::PutLe32(p + lvd::kPartitionMapCount, 1);
    PutImplementation(p + lvd::kImplementationId);
    platform::PutLe32(p + lvd::kIntegrityExtent, 2 * kBlockSize);
    platform::PutLe32(p + lvd::kIntegrityExtent + 4, in_.session_start + kIntegritySector);
    std::uint8_t* map = p + lvd::kPartitionMaps;
    map[0] = 1;
    map[1] = lvd::kType1MapSize;
    platform::PutLe16(map + 2, 1);
    platform::PutLe16(map + 4, 0);
    MakeUdfDescriptorTag(kTagLogicalVolume, {p, lvd::kSize}, lvd::kSize - tag::kSize, at + 3);
  }
  {  // unallocated space descriptor
    std::uint8_t* p = Sector(at + 4);
    platform::PutLe32(p + usd::kSequenceNumber, 4);
    MakeUdfDescriptorTag(kTagUnallocatedSpace, {p, usd::kSize}, usd::kSize - tag::kSize, at + 4);
  }
  std::uint8_t* p = Sector(at + 5);
  MakeUdfDescriptorTag(kTagTerminating, {p, kDescriptorSize}, kDescriptorSize - tag::kSize, at + 5);
}

void BridgeWriter::WriteIntegrity() {
  const std::uint32_t at = in_.session_start + kIntegritySector;
  std::uint8_t* p = Sector(at);
  std::memcpy(p + lvid::kRecordingTime, time_.data(), kTimestampSize);
  platform::PutLe32(p + lvid::kIntegrityType, 1);
  platform::PutLe64(p + lvid::kNextUniqueId, 16 + area_blocks_);
  platform::PutLe32(p + lvid::kPartitionCount, 1);
  platform::PutLe32(p + lvid::kImplementationUseLength, lvid::kImplementationUseSize);
  platform::PutLe32(p + lvid::kFreeSpaceTable, 0);
  platform::PutLe32(p + lvid::kSizeTable, in_.partition_end - in_.partition_start);
  std::uint8_t* use = p + lvid::kImplementationUse;
  PutImplementation(use);
  platform::PutLe32(use + 32, static_cast<std::uint32_t>(in_.audio_ts.size() + in_.video_ts.size()));
  platform::PutLe32(use + 36, 3);
  platform::PutLe16(use + 40, 0x0102);
  platform::PutLe16(use + 42, 0x0102);
  platform::PutLe16(use + 44, 0x0102);
  MakeUdfDescriptorTag(kTagIntegrity, {p, lvid::kSize}, lvid::kSize - tag::kSize, at);
  std::uint8_t* t = Sector(at + 1);
  MakeUdfDescriptorTag(kTagTerminating, {t, kDescriptorSize}, kDescriptorSize - tag::kSize, at + 1);
}

void BridgeWriter::WriteAnchor(std::uint8_t* p, std::uint32_t location) {
  platform::PutLe32(p + avdp::kMainExtent, kSequenceSectors * kBlockSize);
  platform::PutLe32(p + avdp::kMainExtent + 4, in_.session_start + kMainSequenceSector);
  platform::PutLe32(p + avdp::kReserveExtent, kSequenceSectors * kBlockSize);
  platform::PutLe32(p + avdp::kReserveExtent + 4, in_.session_start + kReserveSequenceSector);
  MakeUdfDescriptorTag(kTagAnchor, {p, kDescriptorSize}, kDescriptorSize - tag::kSize, location);
}

void BridgeWriter::WriteFileSet() {
  std::uint8_t* p = Sector(in_.partition_start);
  std::memcpy(p + fsd::kRecordingTime, time_.data(), kTimestampSize);
  platform::PutLe16(p + fsd::kInterchangeLevel, 3);
  platform::PutLe16(p + fsd::kMaxInterchangeLevel, 3);
  platform::PutLe32(p + fsd::kCharacterSetList, 1);
  platform::PutLe32(p + fsd::kMaxCharacterSetList, 1);
  PutCharspec(p + fsd::kLogicalVolumeIdCharset);
  PutDstring(p + fsd::kLogicalVolumeId, 128, in_.volume_name);
  PutCharspec(p + fsd::kFileSetCharset);
  PutDstring(p + fsd::kFileSetId, 32, in_.volume_name);
  PutLongAd(p + fsd::kRootIcb, kBlockSize, root_fe_);
  PutDomain(p + fsd::kDomainId);
  MakeUdfDescriptorTag(kTagFileSet, {p, kDescriptorSize}, kDescriptorSize - tag::kSize, 0);
  std::uint8_t* t = Sector(in_.partition_start + 1);
  MakeUdfDescriptorTag(kTagTerminating, {t, kDescriptorSize}, kDescriptorSize - tag::kSize, 1);
}

bool BridgeWriter::WriteFileEntry(std::uint32_t block, bool folder, std::uint16_t link_count,
                                  std::uint64_t length, std::uint64_t unique_id, std::uint32_t data_block) {
  std::uint8_t* p = Sector(in_.partition_start + block);
  platform::PutLe16(p + fe::kIcbStrategy, 4);
  platform::PutLe16(p + fe::kIcbMaxEntries, 1);
  p[fe::kIcbFileType] = folder ? fe::kTypeDirectory : fe::kTypeFile;
  platform::PutLe16(p + fe::kIcbFlags, fe::kIcbFlagsValue);
  platform::PutLe32(p + fe::kUid, 0xFFFFFFFF);
  platform::PutLe32(p + fe::kGid, 0xFFFFFFFF);
  platform::PutLe32(p + fe::kPermissions, folder ? fe::kPermissionsDirectory : fe::kPermissionsFile);
  platform::PutLe16(p + fe::kLinkCount, link_count);
  platform::PutLe64(p + fe::kInformationLength, length);
  platform::PutLe64(p + fe::kBlocksRecorded, BlocksFor(length));
  std::memcpy(p + fe::kAccessTime, time_.data(), kTimestampSize);
  std::memcpy(p + fe::kModificationTime, time_.data(), kTimestampSize);
  std::memcpy(p + fe::kAttributeTime, time_.data(), kTimestampSize);
  platform::PutLe32(p + fe::kCheckpoint, 1);
  PutRegid(p + fe::kImplementationId, 0, kImplementationName);
  platform::PutLe64(p + fe::kUniqueId, unique_id);
  // One short allocation descriptor per whole-block extent of at most
  // kMaxExtentLength bytes; an empty file records none.
  std::uint8_t* ad = p + fe::kAllocationDescriptors;
  std::uint64_t left = length;
  std::uint32_t position = data_block;
  std::uint32_t ad_bytes = 0;
  while (left > 0) {
    if (fe::kAllocationDescriptors + ad_bytes + kShortAdSize > kBlockSize) return false;
    const std::uint32_t piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, kMaxExtentLength));
    platform::PutLe32(ad + ad_bytes, piece);
    platform::PutLe32(ad + ad_bytes + 4, position);
    ad_bytes += kShortAdSize;
    left -= piece;
    position += BlocksFor(piece);
  }
  platform::PutLe32(p + fe::kAllocationLength, ad_bytes);
  MakeUdfDescriptorTag(kTagFileEntry, {p, fe::kAllocationDescriptors + ad_bytes},
                       static_cast<std::uint16_t>(fe::kAllocationDescriptors + ad_bytes - tag::kSize), block);
  return true;
}

// Writes one identifier at offset within a directory whose data starts at
// fid_block; identifiers may run across block boundaries (the directory is
// one extent).
class DirectoryData {
 public:
  explicit DirectoryData(std::uint32_t fid_block) : fid_block_(fid_block) {}
  void Add(std::uint8_t characteristics, const std::string& cs0, std::uint32_t icb_block,
           std::uint64_t unique_id) {
    std::vector<std::uint8_t> d(FidSize(cs0.size()), 0);
    platform::PutLe16(d.data() + fid::kVersion, 1);
    d[fid::kCharacteristics] = characteristics;
    d[fid::kIdentifierLength] = static_cast<std::uint8_t>(cs0.size());
    PutLongAd(d.data() + fid::kIcb, kBlockSize, icb_block);
    platform::PutLe32(d.data() + fid::kUniqueId, static_cast<std::uint32_t>(unique_id));
    platform::PutLe16(d.data() + fid::kImplementationUseLength, 0);
    std::memcpy(d.data() + fid::kIdentifier, cs0.data(), cs0.size());
    // The tag location is the block in which the descriptor starts.
    MakeUdfDescriptorTag(kTagFileIdentifier, d, static_cast<std::uint16_t>(d.size() - tag::kSize),
                         fid_block_ + static_cast<std::uint32_t>(bytes_.size() / kBlockSize));
    bytes_.insert(bytes_.end(), d.begin(), d.end());
  }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::uint32_t fid_block_;
  std::vector<std::uint8_t> bytes_;
};

void BridgeWriter::WriteDirectory(std::uint32_t fe_block, std::uint32_t fid_block, std::uint32_t parent_block,
                                  std::uint16_t link_count,
                                  const std::vector<std::pair<std::string, std::uint32_t>>& folders,
                                  const std::vector<UdfFile>* files, std::uint32_t first_file_block) {
  DirectoryData dir(fid_block);
  dir.Add(fid::kDirectory | fid::kParent, {}, parent_block, UniqueIdOf(parent_block));
  for (const auto& [name, block] : folders)
    dir.Add(fid::kDirectory, Cs0(name, 255), block, UniqueIdOf(block));
  if (files) {
    for (std::size_t i = 0; i < files->size(); ++i) {
      const std::uint32_t block = first_file_block + static_cast<std::uint32_t>(i);
      dir.Add(0, Cs0((*files)[i].name, 255), block, UniqueIdOf(block));
    }
  }
  std::memcpy(Sector(in_.partition_start + fid_block), dir.bytes().data(), dir.bytes().size());
  WriteFileEntry(fe_block, true, link_count, dir.bytes().size(), UniqueIdOf(fe_block), fid_block);
}

bool BridgeWriter::Run(std::array<std::uint8_t, kBlockSize>& end_anchor, std::string* error) {
  for (const auto* list : {&in_.audio_ts, &in_.video_ts}) {
    for (const UdfFile& f : *list) {
      if (platform::Utf8ToCs0(f.name).size() > 255 || f.name.empty()) {
        *error = "The name " + f.name + " cannot be recorded in the UDF file system.";
        return false;
      }
      if (f.extent < in_.partition_start || std::uint64_t(f.extent) + BlocksFor(f.size) > in_.partition_end) {
        *error = "The data of " + f.name + " lies outside the UDF partition.";
        return false;
      }
    }
  }
  const std::uint32_t audio_blocks =
      std::max<std::uint32_t>(1, BlocksFor(DirectoryBytes(Names(in_.audio_ts))));
  const std::uint32_t video_blocks =
      std::max<std::uint32_t>(1, BlocksFor(DirectoryBytes(Names(in_.video_ts))));
  audio_fe_ = 4;
  video_fe_ = audio_fe_ + 1 + audio_blocks;
  files_block_ = video_fe_ + 1 + video_blocks;
  audio_files_ = files_block_;
  video_files_ = files_block_ + static_cast<std::uint32_t>(in_.audio_ts.size());
  area_blocks_ = video_files_ + static_cast<std::uint32_t>(in_.video_ts.size());
  if (in_.session_start > in_.partition_start || in_.partition_end < in_.partition_start + area_blocks_ ||
      in_.volume_end <= in_.partition_end - 1 || !Sector(in_.partition_start + area_blocks_ - 1) ||
      !Sector(in_.session_start + kAnchorSector) ||
      in_.partition_start <= in_.session_start + kAnchorSector) {
    *error = "The UDF area does not fit the image layout.";
    return false;
  }

  WriteUdfVolumeRecognition();
  WriteUdfFileSystem(end_anchor);
  return WriteFileEntries(error);
}

void BridgeWriter::WriteUdfFileSystem(std::array<std::uint8_t, kBlockSize>& end_anchor) {
  WriteSequence(kMainSequenceSector);
  WriteSequence(kReserveSequenceSector);
  WriteIntegrity();
  WriteAnchor(Sector(in_.session_start + kAnchorSector), in_.session_start + kAnchorSector);
  end_anchor.fill(0);
  WriteAnchor(end_anchor.data(), in_.volume_end - 1);
  WriteFileSet();

  WriteDirectory(root_fe_, root_fe_ + 1, root_fe_, 3, {{"AUDIO_TS", audio_fe_}, {"VIDEO_TS", video_fe_}},
                 nullptr, 0);
  WriteDirectory(audio_fe_, audio_fe_ + 1, root_fe_, 1, {}, &in_.audio_ts, audio_files_);
  WriteDirectory(video_fe_, video_fe_ + 1, root_fe_, 1, {}, &in_.video_ts, video_files_);
}

bool BridgeWriter::WriteFileEntries(std::string* error) {
  for (const auto& [list, first] :
       {std::pair{&in_.audio_ts, audio_files_}, std::pair{&in_.video_ts, video_files_}}) {
    for (std::size_t i = 0; i < list->size(); ++i) {
      const UdfFile& f = (*list)[i];
      const std::uint32_t block = first + static_cast<std::uint32_t>(i);
      if (!WriteFileEntry(block, false, 1, f.size, UniqueIdOf(block), f.extent - in_.partition_start)) {
        *error = "The file " + f.name + " is too large for the UDF file system.";
        return false;
      }
    }
  }
  return true;
}

}  // namespace

std::uint32_t UdfAreaBlocks(const std::vector<std::string>& audio_ts_names,
                            const std::vector<std::string>& video_ts_names) {
  return 4 + 1 + std::max<std::uint32_t>(1, BlocksFor(DirectoryBytes(audio_ts_names))) + 1 +
         std::max<std::uint32_t>(1, BlocksFor(DirectoryBytes(video_ts_names))) +
         static_cast<std::uint32_t>(audio_ts_names.size() + video_ts_names.size());
}

bool WriteUdfBridge(const UdfBridgeInput& input, std::span<std::uint8_t> header,
                    std::array<std::uint8_t, kBlockSize>& end_anchor, std::string* error) {
  return BridgeWriter(input, header).Run(end_anchor, error);
}

std::uint16_t UdfCrc16(std::span<const std::uint8_t> bytes) {
  static const auto table = [] {
    std::array<std::uint16_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t crc = i << 8;
      for (int b = 0; b < 8; ++b) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
      t[i] = static_cast<std::uint16_t>(crc);
    }
    return t;
  }();
  std::uint16_t crc = 0;
  for (std::uint8_t b : bytes) crc = static_cast<std::uint16_t>((crc << 8) ^ table[((crc >> 8) ^ b) & 0xFF]);
  return crc;
}

std::array<std::uint8_t, kTimestampSize> MakeUdfTimestamp(std::int64_t seconds, std::int32_t microseconds) {
  std::int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  std::int64_t rest = seconds - days * 86400;
  // Civil date from days since 1970-01-01 (proleptic Gregorian).
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  std::array<std::uint8_t, kTimestampSize> t{};
  platform::PutLe16(t.data(), 0x1000);  // type 1 (local time), offset 0 from UTC
  platform::PutLe16(t.data() + 2, static_cast<std::uint32_t>(std::clamp<std::int64_t>(year, 1, 9999)));
  t[4] = static_cast<std::uint8_t>(month);
  t[5] = static_cast<std::uint8_t>(day);
  t[6] = static_cast<std::uint8_t>(rest / 3600);
  t[7] = static_cast<std::uint8_t>(rest / 60 % 60);
  t[8] = static_cast<std::uint8_t>(rest % 60);
  const std::int32_t us = std::clamp(microseconds, 0, 999999);
  t[9] = static_cast<std::uint8_t>(us / 10000);
  t[10] = static_cast<std::uint8_t>(us / 100 % 100);
  t[11] = static_cast<std::uint8_t>(us % 100);
  return t;
}

void MakeUdfDescriptorTag(std::uint16_t identifier, std::span<std::uint8_t> descriptor,
                          std::uint16_t crc_length, std::uint32_t location) {
  std::uint8_t* p = descriptor.data();
  platform::PutLe16(p + tag::kIdentifier, identifier);
  platform::PutLe16(p + tag::kVersion, 2);
  p[tag::kChecksum] = 0;
  p[5] = 0;
  platform::PutLe16(p + tag::kSerial, 0);
  const std::size_t covered = std::min<std::size_t>(crc_length, descriptor.size() - tag::kSize);
  platform::PutLe16(p + tag::kCrc, UdfCrc16(descriptor.subspan(tag::kSize, covered)));
  platform::PutLe16(p + tag::kCrcLength, static_cast<std::uint16_t>(covered));
  platform::PutLe32(p + tag::kLocation, location);
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < tag::kSize; ++i) sum = static_cast<std::uint8_t>(sum + p[i]);
  p[tag::kChecksum] = sum;
}

}  // namespace zephrel
