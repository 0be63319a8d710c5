#include "image/udf_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/byte_order.h"

namespace zephrel {
namespace {

using namespace udf;
using platform::GetLe16;
using platform::GetLe32;
using platform::GetLe64;

// A tag is valid when its checksum, CRC and location agree with the bytes.
::testing::AssertionResult TagOk(const std::uint8_t* d, std::uint16_t id, std::uint32_t location) {
  std::uint8_t sum = 0;
  for (int i = 0; i < 16; ++i) sum = static_cast<std::uint8_t>(sum + (i == 4 ? 0 : d[i]));
  if (GetLe16(d) != id) return ::testing::AssertionFailure() << "tag " << GetLe16(d) << " instead of " << id;
  if (sum != d[4]) return ::testing::AssertionFailure() << "bad checksum";
  if (GetLe32(d + 12) != location) return ::testing::AssertionFailure() << "location " << GetLe32(d + 12);
  const std::uint16_t length = GetLe16(d + 10);
  if (UdfCrc16({d + 16, length}) != GetLe16(d + 8)) return ::testing::AssertionFailure() << "bad CRC";
  return ::testing::AssertionSuccess();
}

struct Fid {
  std::uint8_t characteristics;
  std::string name;  // CS0 bytes
  std::uint32_t icb;
};

struct Image {
  UdfBridgeInput in;
  std::vector<std::uint8_t> header;
  std::array<std::uint8_t, kBlockSize> anchor{};
  std::uint8_t* Block(std::uint32_t b) {
    return header.data() + std::size_t(in.partition_start + b) * kBlockSize;
  }

  // The identifiers of the directory whose file entry is at block fe.
  std::vector<Fid> Directory(std::uint32_t fe) {
    const std::uint8_t* e = Block(fe);
    EXPECT_TRUE(TagOk(e, kTagFileEntry, fe));
    const std::uint64_t length = GetLe64(e + fe::kInformationLength);
    EXPECT_EQ(GetLe64(e + fe::kBlocksRecorded), (length + 2047) / 2048);
    EXPECT_EQ(GetLe32(e + fe::kAllocationLength), 8u);
    EXPECT_EQ(GetLe32(e + 176), length);
    const std::uint32_t data = GetLe32(e + 180);
    const std::uint8_t* d = Block(data);
    std::vector<Fid> out;
    for (std::size_t at = 0; at < length;) {
      const std::uint8_t* f = d + at;
      EXPECT_TRUE(TagOk(f, kTagFileIdentifier, data + static_cast<std::uint32_t>(at / kBlockSize))) << at;
      const std::size_t l_fi = f[19], l_iu = GetLe16(f + 36);
      out.push_back(
          {f[18], std::string(reinterpret_cast<const char*>(f) + 38 + l_iu, l_fi), GetLe32(f + 24)});
      const std::size_t size = (38 + l_iu + l_fi + 3) & ~std::size_t(3);
      EXPECT_EQ(GetLe16(f + 10), size - 16) << "CRC length of the padded descriptor";
      at += size;
    }
    return out;
  }
};

Image Build(std::vector<UdfFile> video, std::vector<UdfFile> audio = {}, std::uint32_t partition_end = 0) {
  Image image;
  image.in.partition_start = 300;
  image.in.volume_name = "Ärger DVD";
  image.in.build_time = 951782400;  // 2000-02-29 00:00:00
  image.in.audio_ts = std::move(audio);
  image.in.video_ts = std::move(video);
  std::vector<std::string> a, v;
  for (auto& f : image.in.audio_ts) a.push_back(f.name);
  for (auto& f : image.in.video_ts) v.push_back(f.name);
  const std::uint32_t area = UdfAreaBlocks(a, v);
  std::uint32_t end = 300 + area;
  for (auto* list : {&image.in.audio_ts, &image.in.video_ts}) {
    for (auto& f : *list) {
      if (f.extent == 0) {
        f.extent = end;
        end += static_cast<std::uint32_t>((f.size + 2047) / 2048);
      }
      end = std::max<std::uint32_t>(end, f.extent + static_cast<std::uint32_t>((f.size + 2047) / 2048));
    }
  }
  image.in.partition_end = partition_end ? partition_end : end;
  image.in.volume_end = image.in.partition_end + 16;
  image.header.assign(std::size_t(300 + area) * kBlockSize, 0);
  std::string error;
  EXPECT_TRUE(WriteUdfBridge(image.in, image.header, image.anchor, &error)) << error;
  return image;
}

std::vector<UdfFile> Files(int count, std::uint64_t size = 4096) {
  std::vector<UdfFile> files;
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "VTS_%02d_%d.VOB", i / 10 + 1, i % 10);
    files.push_back({name, size, 0});
  }
  return files;
}

TEST(UdfCrc, IsTheCcittCrcWithInitialZero) {
  const char* text = "123456789";
  EXPECT_EQ(UdfCrc16({reinterpret_cast<const std::uint8_t*>(text), 9}), 0x31C3);
}

TEST(UdfTimestamp, CountsLeapYearsByTheGregorianRule) {
  auto t = MakeUdfTimestamp(951782400 + 3661, 0);  // 2000-02-29 01:01:01
  EXPECT_EQ(GetLe16(t.data()), 0x1000);
  EXPECT_EQ(GetLe16(t.data() + 2), 2000);
  EXPECT_EQ(t[4], 2);
  EXPECT_EQ(t[5], 29);
  EXPECT_EQ(t[6], 1);
  EXPECT_EQ(t[7], 1);
  EXPECT_EQ(t[8], 1);
  t = MakeUdfTimestamp(4107542400, 0);  // 2100-03-01: 2100 is no leap year
  EXPECT_EQ(GetLe16(t.data() + 2), 2100);
  EXPECT_EQ(t[4], 3);
  EXPECT_EQ(t[5], 1);
}

TEST(UdfBridge, VolumeStructuresCarryExactCrcsAndBothAnchors) {
  Image image = Build(Files(3));
  const std::uint8_t* h = image.header.data();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(h + 18 * 2048 + 1), 5), "BEA01");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(h + 19 * 2048 + 1), 5), "NSR02");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(h + 20 * 2048 + 1), 5), "TEA01");
  const std::uint16_t ids[] = {kTagPrimaryVolume, kTagImplementationUse, kTagPartition,
                               kTagLogicalVolume, kTagUnallocatedSpace,  kTagTerminating};
  for (std::uint32_t seq : {32u, 48u}) {
    for (std::uint32_t i = 0; i < 6; ++i)
      EXPECT_TRUE(TagOk(h + (seq + i) * 2048, ids[i], seq + i)) << seq + i;
  }
  EXPECT_EQ(GetLe16(h + 35 * 2048 + 10), lvd::kSize - 16) << "logical volume descriptor CRC length";
  EXPECT_EQ(GetLe16(h + 36 * 2048 + 10), 8);
  EXPECT_TRUE(TagOk(h + 64 * 2048, kTagIntegrity, 64));
  EXPECT_EQ(GetLe16(h + 64 * 2048 + 10), lvid::kSize - 16);
  EXPECT_TRUE(TagOk(h + 256 * 2048, kTagAnchor, 256));
  EXPECT_TRUE(TagOk(image.anchor.data(), kTagAnchor, image.in.volume_end - 1));
  EXPECT_EQ(GetLe32(image.anchor.data() + 20), 32u);
  // Partition: from the UDF area to the end of the data; the integrity
  // descriptor's size table agrees.
  const std::uint8_t* pd = h + 34 * 2048;
  EXPECT_EQ(GetLe32(pd + pd::kStart), 300u);
  EXPECT_EQ(GetLe32(pd + pd::kLength), image.in.partition_end - 300);
  EXPECT_EQ(GetLe32(h + 64 * 2048 + lvid::kSizeTable), image.in.partition_end - 300);
  // Recording time of the integrity descriptor: the build time.
  EXPECT_EQ(GetLe16(h + 64 * 2048 + 16 + 2), 2000);
  // Volume identifier in CS0: 8-bit compression, Latin-1 bytes.
  const std::uint8_t* vid = h + 32 * 2048 + pvd::kVolumeId;
  EXPECT_EQ(vid[0], 8);
  EXPECT_EQ(vid[1], 0xC4);
  EXPECT_EQ(vid[31], 10);
  // The volume set identifier starts with 16 hex digits that make it unique.
  const std::string vsid(reinterpret_cast<const char*>(h + 32 * 2048 + pvd::kVolumeSetId + 1), 16);
  EXPECT_EQ(vsid.find_first_not_of("0123456789ABCDEF"), std::string::npos) << vsid;
}

TEST(UdfBridge, DirectoriesHoldEveryFileFromFortyToThreeHundred) {
  for (int count : {3, 39, 41, 300}) {
    Image image = Build(Files(count));
    std::vector<Fid> root = image.Directory(2);
    ASSERT_EQ(root.size(), 3u);
    EXPECT_EQ(root[1].name, std::string("\x08"
                                        "AUDIO_TS"));
    EXPECT_EQ(root[2].name, std::string("\x08"
                                        "VIDEO_TS"));
    std::vector<Fid> video = image.Directory(root[2].icb);
    ASSERT_EQ(video.size(), std::size_t(count) + 1) << count;
    EXPECT_EQ(video[0].characteristics, fid::kDirectory | fid::kParent);
    for (int i = 0; i < count; ++i) {
      const Fid& f = video[std::size_t(i) + 1];
      EXPECT_EQ(f.name, "\x08" + image.in.video_ts[std::size_t(i)].name);
      const std::uint8_t* e = image.Block(f.icb);
      ASSERT_TRUE(TagOk(e, kTagFileEntry, f.icb)) << "file " << i << " of " << count;
      EXPECT_EQ(GetLe64(e + fe::kInformationLength), 4096u);
      EXPECT_EQ(GetLe32(e + 180) + 300, image.in.video_ts[std::size_t(i)].extent)
          << "ISO extent = UDF + start";
    }
  }
}

TEST(UdfBridge, IdentifiersOfAnyLengthArePaddedToFourBytes) {
  Image image = Build({{"A", 10, 0}, {"BC.VOB", 10, 0}, {"Ünïcödé ✓ name", 10, 0}});
  std::vector<Fid> video = image.Directory(image.Directory(2)[2].icb);
  ASSERT_EQ(video.size(), 4u);
  EXPECT_EQ(video[1].name,
            "\x08"
            "A");
  EXPECT_EQ(video[2].name,
            "\x08"
            "BC.VOB");
  EXPECT_EQ(video[3].name[0], 16) << "a name beyond Latin-1 is 16-bit CS0";
}

TEST(UdfBridge, FilesOfOneGibibyteAndMoreAreSplitIntoWholeBlockExtents) {
  const std::uint64_t gib = 1ull << 30;
  Image image = Build({{"VTS_01_1.VOB", gib, 0}, {"BIG", 4 * gib - 1, 0}, {"EMPTY", 0, 0}});
  std::vector<Fid> video = image.Directory(image.Directory(2)[2].icb);
  const std::uint8_t* e = image.Block(video[1].icb);
  ASSERT_EQ(GetLe32(e + fe::kAllocationLength), 16u);
  EXPECT_EQ(GetLe32(e + 176), kMaxExtentLength);
  EXPECT_EQ(GetLe32(e + 184), gib - kMaxExtentLength);
  EXPECT_EQ(GetLe32(e + 188), GetLe32(e + 180) + kMaxExtentLength / 2048);
  EXPECT_EQ(GetLe64(e + fe::kBlocksRecorded), gib / 2048);
  const std::uint8_t* big = image.Block(video[2].icb);
  ASSERT_EQ(GetLe32(big + fe::kAllocationLength), 40u);
  std::uint64_t total = 0;
  for (int i = 0; i < 5; ++i) {
    const std::uint32_t length = GetLe32(big + 176 + 8 * i);
    EXPECT_EQ(length >> 30, 0u) << "extent type bits stay clear";
    total += length;
  }
  EXPECT_EQ(total, 4 * gib - 1);
  EXPECT_EQ(GetLe32(image.Block(video[3].icb) + fe::kAllocationLength), 0u);
}

TEST(UdfBridge, LaterSessionsUseAbsoluteSectorsOutsideThePartitionOnly) {
  Image image;
  image.in.session_start = 1000;
  image.in.partition_start = 1300;
  image.in.video_ts = {{"VIDEO_TS.IFO", 2048, 1320}};
  image.in.partition_end = 1321;
  image.in.volume_end = 1322;
  image.in.build_time = 0;
  image.header.assign(330 * 2048, 0);
  std::string error;
  ASSERT_TRUE(WriteUdfBridge(image.in, image.header, image.anchor, &error)) << error;
  const std::uint8_t* h = image.header.data();
  EXPECT_TRUE(TagOk(h + 256 * 2048, kTagAnchor, 1256));
  EXPECT_EQ(GetLe32(h + 256 * 2048 + 20), 1032u);
  EXPECT_TRUE(TagOk(h + 32 * 2048, kTagPrimaryVolume, 1032));
  EXPECT_EQ(GetLe32(h + 35 * 2048 + lvd::kIntegrityExtent + 4), 1064u);
  EXPECT_EQ(GetLe32(h + 34 * 2048 + pd::kStart), 1300u);
  EXPECT_TRUE(TagOk(h + 300 * 2048, kTagFileSet, 0)) << "inside the partition: relative blocks";
}

TEST(UdfBridge, DataOutsideThePartitionIsRefused) {
  Image image;
  image.in.partition_start = 300;
  image.in.video_ts = {{"VIDEO_TS.IFO", 2048, 200}};
  image.in.partition_end = 400;
  image.in.volume_end = 401;
  image.header.assign(320 * 2048, 0);
  std::string error;
  EXPECT_FALSE(WriteUdfBridge(image.in, image.header, image.anchor, &error));
  EXPECT_NE(error.find("VIDEO_TS.IFO"), std::string::npos);
}

}  // namespace
}  // namespace zephrel
