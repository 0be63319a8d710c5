#include "image/iso9660_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "image/iso9660_format.h"
#include "image/iso9660_names.h"
#include "image/iso9660_testutil.h"
#include "platform/byte_order.h"
#include "platform/text.h"

namespace zephrel {
namespace {

using platform::GetBe16;
using platform::GetBe32;
using platform::GetLe16;
using platform::GetLe32;
using testing::Both32;
using testing::ReadDirectory;
using testing::ReadPathTable;
using testing::Sector;
using testing::TreeBuilder;
using testing::Ucs2;

constexpr std::int64_t kBuildTime = 1772600767;  // 2026-03-04 05:06:07 UTC
constexpr std::int64_t kFileTime = 1577934245;   // 2020-01-02 03:04:05 UTC

LayoutOptions Options(bool dvd = false) {
  LayoutOptions o;
  o.dvd_video = dvd;
  o.volume_name = "My Disc";
  o.software_name = "Vantora";
  o.clock = testing::PinnedClock(kBuildTime);
  return o;
}

IsoLayout LayOutOk(const std::vector<TreeElement>& tree, const LayoutOptions& options) {
  LayoutResult r = LayOutIso9660(tree, options);
  EXPECT_TRUE(r.ok()) << r.error;
  return std::move(r.layout);
}

std::vector<std::string> Identifiers(const std::vector<testing::ParsedRecord>& records) {
  std::vector<std::string> ids;
  for (std::size_t i = 2; i < records.size(); ++i) ids.push_back(records[i].identifier);
  return ids;
}

const testing::ParsedRecord* FindRecord(const std::vector<testing::ParsedRecord>& records,
                                        const std::string& id) {
  for (const auto& r : records) {
    if (r.identifier == id) return &r;
  }
  return nullptr;
}

// 25 sectors rather than 23: the type M path tables of both hierarchies
// (sectors 20 and 22) come in addition, and the file structure version is 1.
TEST(EmptyTreeLayout, TakesTwentyFiveSectorsWithPathTablesOfBothTypesAndPinnedDates) {
  IsoLayout l = LayOutOk({}, Options());
  EXPECT_EQ(l.end_sector, 25u);
  EXPECT_EQ(l.total_sectors, 25u);
  EXPECT_EQ(l.header.size(), 25u * 2048);
  EXPECT_EQ(l.iso_path_table.type_l, 19u);
  EXPECT_EQ(l.iso_path_table.type_m, 20u);
  EXPECT_EQ(l.joliet_path_table.type_l, 21u);
  EXPECT_EQ(l.joliet_path_table.type_m, 22u);
  EXPECT_EQ(l.iso_root_extent, 23u);
  EXPECT_EQ(l.joliet_root_extent, 24u);
  EXPECT_EQ(l.iso_root_sectors, 1u);
  EXPECT_EQ(l.joliet_root_sectors, 1u);
  EXPECT_EQ(l.iso_path_table.size, 10u);
  EXPECT_EQ(l.joliet_path_table.size, 10u);
  EXPECT_TRUE(l.placements.empty());

  for (std::uint32_t s = 0; s < 16; ++s) {
    const std::uint8_t* p = Sector(l, s);
    EXPECT_TRUE(std::all_of(p, p + 2048, [](std::uint8_t b) { return b == 0; })) << "sector " << s;
  }
  const std::uint8_t* pvd = Sector(l, 16);
  EXPECT_EQ(pvd[0], 1);
  EXPECT_EQ(std::memcmp(pvd + 1, "CD001", 5), 0);
  EXPECT_EQ(pvd[6], 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 8), 32), std::string(32, ' '));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 40), 7), "MY DISC");
  EXPECT_EQ(Both32(pvd + 80), 25u);
  EXPECT_EQ(Both32(pvd + 132), 10u);
  EXPECT_EQ(GetLe32(pvd + 140), 19u);
  EXPECT_EQ(GetLe32(pvd + 144), 0u);
  EXPECT_EQ(GetBe32(pvd + 148), 20u);
  EXPECT_EQ(GetBe32(pvd + 152), 0u);
  EXPECT_EQ(pvd[156], 34);
  EXPECT_EQ(Both32(pvd + 158), 23u);
  EXPECT_EQ(Both32(pvd + 166), 2048u);
  const std::uint8_t root_date[7] = {126, 3, 4, 5, 6, 7, 0};
  EXPECT_EQ(std::memcmp(pvd + 174, root_date, 7), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 318), 8), std::string("VANTORA\0", 8));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 446), 7), "VANTORA");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 813), 16), "2026030405060700");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 830), 16), "2026030405060700");
  EXPECT_EQ(pvd[881], 1) << "file structure version";

  const std::uint8_t* svd = Sector(l, 17);
  EXPECT_EQ(svd[0], 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(svd + 8), 32), Ucs2(std::u16string(16, u' ')));
  EXPECT_EQ(svd[88], 0x25);
  EXPECT_EQ(svd[89], 0x2F);
  EXPECT_EQ(svd[90], 0x45);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(svd + 40), 14), Ucs2(u"My Disc"));
  EXPECT_EQ(Both32(svd + 80), 25u);
  EXPECT_EQ(GetLe32(svd + 140), 21u);
  EXPECT_EQ(GetBe32(svd + 148), 22u);
  EXPECT_EQ(Both32(svd + 158), 24u);
  EXPECT_EQ(svd[881], 1) << "file structure version";

  const std::uint8_t* term = Sector(l, 18);
  EXPECT_EQ(term[0], 255);
  EXPECT_EQ(std::memcmp(term + 1, "CD001", 5), 0);
  EXPECT_EQ(term[6], 1);

  for (std::uint32_t root : {23u, 24u}) {
    auto records = ReadDirectory(l, root, 1);
    ASSERT_EQ(records.size(), 2u);
    for (const auto& r : records) {
      EXPECT_EQ(r.length, 34u);
      EXPECT_EQ(r.extent, root);
      EXPECT_EQ(r.data_length, 2048u);
      EXPECT_EQ(r.flags, 2);
      EXPECT_EQ(std::memcmp(r.date.data(), root_date, 7), 0) << "dot records carry the directory's date";
    }
    EXPECT_EQ(records[0].identifier, std::string(1, '\0'));
    EXPECT_EQ(records[1].identifier, std::string(1, '\1'));
  }
  for (std::uint32_t table : {19u, 21u}) {
    auto l_table = ReadPathTable(l, table, 10, false);
    auto m_table = ReadPathTable(l, table + 1, 10, true);
    ASSERT_EQ(l_table.size(), 1u);
    ASSERT_EQ(m_table.size(), 1u);
    EXPECT_EQ(l_table[0].extent, table == 19u ? 23u : 24u);
    EXPECT_EQ(l_table[0].parent, 1);
    EXPECT_EQ(m_table[0].extent, l_table[0].extent);
    EXPECT_EQ(m_table[0].parent, 1);
  }
}

TEST(EmptyTreeLayout, TheIsoVolumeIdFoldsAccentsToTheBaseLetterAndJolietKeepsTheLabel) {
  struct Row {
    std::string label, iso;
  };
  const Row rows[] = {
      {"\u00e9t\u00e9 2023 \u65e5\u672c", "ETE 2023 __"},
      {"e\u0301te\u0301", "ETE"},  // combining accents
      {"\u00c5ngstr\u00f6m \u0141\u00f3d\u017a \u1ea0\u1ec7", "ANGSTROM LODZ AE"},
      {"Stra\u00dfe \U0001F3AC", "STRA_E _"},  // no base letter: the usual '_'
  };
  for (const Row& row : rows) {
    LayoutOptions o = Options();
    o.volume_name = row.label;
    IsoLayout l = LayOutOk({}, o);
    const char* pvd = reinterpret_cast<const char*>(Sector(l, 16));
    EXPECT_EQ(std::string(pvd + 40, row.iso.size() + 1), row.iso + '\0') << row.label;
    std::u16string joliet;
    for (char32_t c : platform::DecodeUtf8OrCp1252(row.label))
      joliet.push_back(c > 0xFFFF ? u'_' : static_cast<char16_t>(c));
    joliet.resize(std::min<std::size_t>(joliet.size(), 16));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Sector(l, 17)) + 40, joliet.size() * 2), Ucs2(joliet))
        << row.label;
  }
}

TEST(EmptyTreeLayout, IsTheSameByteForByteForTheSameClock) {
  IsoLayout a = LayOutOk({}, Options());
  IsoLayout b = LayOutOk({}, Options());
  EXPECT_EQ(a.header, b.header);
  LayoutOptions later = Options();
  later.clock = testing::PinnedClock(kBuildTime + 1);
  EXPECT_NE(LayOutOk({}, later).header, a.header);
}

TEST(EmptyTreeLayout, InDvdVideoModeStartsAt257WithoutJolietAndReservesTheUdfArea) {
  IsoLayout l = LayOutOk({}, Options(true));
  EXPECT_EQ(l.iso_path_table.type_l, 257u);
  EXPECT_EQ(l.iso_path_table.type_m, 258u);
  EXPECT_EQ(l.iso_root_extent, 259u);
  EXPECT_EQ(l.udf_area_start, 260u);
  EXPECT_EQ(l.udf_area_sectors, 8u);
  EXPECT_EQ(l.end_sector, 268u);
  EXPECT_EQ(l.joliet_path_table.type_l, 0u);
  EXPECT_EQ(Sector(l, 17)[0], 255) << "the terminator follows the primary descriptor";
  EXPECT_EQ(Sector(l, 18)[0], 0) << "left to the UDF bridge";
  EXPECT_EQ(Both32(Sector(l, 16) + 80), 268u);
}

TEST(SessionLayout, CountsTheVolumeSizeFromSectorZeroAndPlacesEverythingAfterTheSessionStart) {
  LayoutOptions o = Options();
  o.session_start = 1000;
  TreeBuilder t;
  t.File(kRootId, "a.bin", 5000);
  IsoLayout l = LayOutOk(t.elements(), o);
  EXPECT_EQ(l.iso_path_table.type_l, 1019u);
  EXPECT_EQ(l.iso_root_extent, 1023u);
  ASSERT_EQ(l.placements.size(), 1u);
  EXPECT_EQ(l.placements[0].extent, 1025u);
  EXPECT_EQ(l.end_sector, 1028u);
  EXPECT_EQ(l.total_sectors, 28u);
  EXPECT_EQ(l.header.size(), 25u * 2048);
  EXPECT_EQ(Sector(l, 1016)[0], 1);
  EXPECT_EQ(Both32(Sector(l, 1016) + 80), 1028u);
  auto records = ReadDirectory(l, 1023, 1);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[2].extent, 1025u);
  EXPECT_EQ(records[2].data_length, 5000u);
}

TEST(PathTables, ListFoldersLevelByLevelInBothByteOrdersWithParentNumbers) {
  TreeBuilder t;
  std::int32_t b = t.Folder(kRootId, "b");
  std::int32_t a = t.Folder(kRootId, "a");
  t.Folder(b, "b2");
  t.Folder(a, "a1");
  t.File(a, "x.txt", 10);
  IsoLayout l = LayOutOk(t.elements(), Options());
  EXPECT_EQ(l.directory_count, 5u);
  for (bool joliet : {false, true}) {
    const PathTableLocation& loc = joliet ? l.joliet_path_table : l.iso_path_table;
    auto lt = ReadPathTable(l, loc.type_l, loc.size, false);
    auto mt = ReadPathTable(l, loc.type_m, loc.size, true);
    ASSERT_EQ(lt.size(), 5u);
    ASSERT_EQ(mt.size(), 5u);
    std::vector<std::string> names =
        joliet ? std::vector<std::string>{Ucs2(u"a"), Ucs2(u"b"), Ucs2(u"a1"), Ucs2(u"b2")}
               : std::vector<std::string>{"A", "B", "A1", "B2"};
    std::vector<std::uint16_t> parents = {1, 1, 2, 3};
    for (std::size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(lt[i + 1].identifier, names[i]);
      EXPECT_EQ(lt[i + 1].parent, parents[i]);
      EXPECT_EQ(mt[i + 1].identifier, lt[i + 1].identifier);
      EXPECT_EQ(mt[i + 1].parent, lt[i + 1].parent);
      EXPECT_EQ(mt[i + 1].extent, lt[i + 1].extent);
    }
    // Every table entry points at a directory whose "." record names itself.
    for (const auto& entry : lt) {
      auto records = ReadDirectory(l, entry.extent, 1);
      ASSERT_GE(records.size(), 2u);
      EXPECT_EQ(records[0].extent, entry.extent);
    }
  }
  EXPECT_EQ(l.elements.at(a).directory_number, 2u);
  EXPECT_EQ(l.elements.at(b).directory_number, 3u);
  EXPECT_EQ(l.elements.at(a).level, 0);
  EXPECT_EQ(l.elements.at(4).level, 1);
}

TEST(Identifiers, LongFileNamesKeepTheirStartAndExtensionInIsoAndStayWholeInJoliet) {
  const std::string name = "abcdefghijklmnopqrstuvwxyz0123456789.txt";  // 40 characters
  TreeBuilder t;
  std::int32_t id = t.File(kRootId, name, 1);
  std::int32_t folder = t.Folder(kRootId, std::string(40, 'f'));
  IsoLayout l = LayOutOk(t.elements(), Options());
  EXPECT_EQ(l.elements.at(id).iso_identifier, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0.TXT");
  EXPECT_EQ(l.elements.at(id).joliet_identifier.size(), 80u);
  EXPECT_EQ(l.elements.at(folder).iso_identifier, std::string(31, 'F'));
  EXPECT_EQ(l.elements.at(id).iso_record_length, 33u + 31u);
  EXPECT_EQ(l.elements.at(id).joliet_record_length, 33u + 80u + 1u);
}

TEST(Identifiers, NonAsciiNamesBecomeUcs2InJolietAndOneUnderscorePerCharacterInIso) {
  TreeBuilder t;
  std::int32_t id = t.File(kRootId, "\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC.txt", 1);  // "été 日本.txt"
  std::int32_t odd = t.File(kRootId, "a*b:c?d\\e;f\x01g.txt", 1);
  std::int32_t astral = t.File(kRootId, "\xF0\x9F\x98\x80.txt", 1);  // U+1F600
  IsoLayout l = LayOutOk(t.elements(), Options());
  EXPECT_EQ(l.elements.at(id).iso_identifier, "_T_ __.TXT");
  EXPECT_EQ(l.elements.at(id).joliet_identifier, Ucs2(u"\u00E9t\u00E9 \u65E5\u672C.txt"));
  EXPECT_EQ(l.elements.at(odd).iso_identifier, "A_B_C_D_E_F_G.TXT");
  EXPECT_EQ(l.elements.at(odd).joliet_identifier, Ucs2(u"a_b_c_d_e_f_g.txt"));
  EXPECT_EQ(l.elements.at(astral).iso_identifier, "_.TXT");
  EXPECT_EQ(l.elements.at(astral).joliet_identifier, Ucs2(u"_.txt"));
}

// Names that collide after mapping or cutting are made unique (the two "a.txt"
// entries no longer become two equal ISO entries).
TEST(Identifiers, AreUniqueWithinADirectoryInBothHierarchies) {
  TreeBuilder t;
  std::int32_t lower = t.File(kRootId, "a.txt", 1);
  std::int32_t upper = t.File(kRootId, "A.TXT", 2);
  std::int32_t taken = t.File(kRootId, "a1.txt", 3);
  const std::string long_a = std::string(70, 'x') + "1.dat";
  const std::string long_b = std::string(70, 'x') + "2.dat";  // same after the Joliet cut
  std::int32_t la = t.File(kRootId, long_a, 4);
  std::int32_t lb = t.File(kRootId, long_b, 5);
  std::int32_t other_dir = t.Folder(kRootId, "sub");
  std::int32_t same_in_sub = t.File(other_dir, "a.txt", 6);
  IsoLayout l = LayOutOk(t.elements(), Options());

  EXPECT_NE(l.elements.at(lower).iso_identifier, l.elements.at(upper).iso_identifier);
  EXPECT_EQ(l.elements.at(lower).iso_identifier, "A.TXT")
      << "the first in name order, then list order, keeps it";
  EXPECT_EQ(l.elements.at(upper).iso_identifier, "A2.TXT") << "A1.TXT belongs to a1.txt";
  EXPECT_EQ(l.elements.at(taken).iso_identifier, "A1.TXT");
  EXPECT_EQ(l.elements.at(lower).joliet_identifier, Ucs2(u"a.txt")) << "Joliet keeps names differing in case";
  EXPECT_EQ(l.elements.at(upper).joliet_identifier, Ucs2(u"A.TXT"));
  EXPECT_NE(l.elements.at(la).joliet_identifier, l.elements.at(lb).joliet_identifier);
  EXPECT_EQ(l.elements.at(la).joliet_identifier.size(), 128u);
  EXPECT_EQ(l.elements.at(lb).joliet_identifier.size(), 128u);
  EXPECT_EQ(l.elements.at(same_in_sub).iso_identifier, "A.TXT") << "uniqueness is per directory";

  for (std::uint32_t root : {l.iso_root_extent, l.joliet_root_extent}) {
    auto ids = Identifiers(ReadDirectory(l, root, 1));
    EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), ids.size());
  }
}

TEST(Identifiers, PassSpacesAndDotsUnchangedWithoutAVersionSuffix) {
  TreeBuilder t;
  std::int32_t id = t.File(kRootId, "my file.tar.gz", 1);
  IsoLayout l = LayOutOk(t.elements(), Options());
  EXPECT_EQ(l.elements.at(id).iso_identifier, "MY FILE.TAR.GZ");
  EXPECT_EQ(l.elements.at(id).joliet_identifier, Ucs2(u"my file.tar.gz"));
}

TEST(Identifiers, TreeOrderComparesUpperCasedBytesUnsignedWithPrefixesFirst) {
  EXPECT_TRUE(CompareElementNames("abc", "ABD"));
  EXPECT_FALSE(CompareElementNames("ABD", "abc"));
  EXPECT_TRUE(CompareElementNames("ab", "AB c"));
  EXPECT_FALSE(CompareElementNames("a", "A")) << "equal after upper-casing: no order";
  EXPECT_FALSE(CompareElementNames("A", "a"));
  EXPECT_TRUE(CompareElementNames("z", "\xC3\xA9")) << "bytes of 0x80 and above sort after ASCII";
  EXPECT_TRUE(CompareElementNames("a", "_")) << "'a' compares as 'A' (0x41), before '_' (0x5F)";
}

TEST(Identifiers, OrderIsoRecordsByIdentifier) {
  TreeBuilder t;
  t.File(kRootId, "b.txt", 1);
  t.File(kRootId, "a-b.txt", 1);
  t.File(kRootId, "a.txt", 1);
  t.Folder(kRootId, "c");
  IsoLayout l = LayOutOk(t.elements(), Options());
  auto ids = Identifiers(ReadDirectory(l, l.iso_root_extent, 1));
  EXPECT_EQ(ids, (std::vector<std::string>{"A.TXT", "A-B.TXT", "B.TXT", "C"}));
}

TEST(DirectoryExtents, RecordsNeverCrossASectorAndSubFoldersPointBackAtTheParentsFirstSector) {
  TreeBuilder t;
  std::int32_t parent = t.Folder(kRootId, "parent");
  for (int i = 0; i < 60; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "%030d", i);  // 30 characters: 64-byte ISO records
    t.Folder(parent, name);
  }
  IsoLayout l = LayOutOk(t.elements(), Options());
  const ElementLayout& p = l.elements.at(parent);
  EXPECT_EQ(p.iso_directory_sectors, 2u);
  auto records = ReadDirectory(l, p.iso_extent, 2);
  ASSERT_EQ(records.size(), 62u);
  for (std::size_t i = 2; i < 32; ++i) EXPECT_EQ(records[i].sector, p.iso_extent) << i;
  EXPECT_EQ(records[32].sector, p.iso_extent + 1);
  EXPECT_EQ(records[32].offset, 0u);
  for (std::size_t i = 2; i < records.size(); ++i) {
    EXPECT_EQ(records[i].length, 64u);
    auto sub = ReadDirectory(l, records[i].extent, 1);
    ASSERT_EQ(sub.size(), 2u);
    EXPECT_EQ(sub[1].extent, p.iso_extent);
    EXPECT_EQ(sub[1].data_length, 2u * 2048);
  }
  // Sub-folders follow their parent's directory, depth first.
  EXPECT_EQ(records[2].extent, p.iso_extent + 2);
}

TEST(FilePlacement, GivesZeroLengthFilesTheNextFreeSectorWithoutOccupyingIt) {
  TreeBuilder t;
  std::int32_t empty = t.File(kRootId, "a_empty", 0);
  std::int32_t next = t.File(kRootId, "b_next", 100);
  IsoLayout l = LayOutOk(t.elements(), Options());
  ASSERT_EQ(l.placements.size(), 2u);
  EXPECT_EQ(l.placements[0].id, empty);
  EXPECT_EQ(l.placements[0].sectors, 0u);
  EXPECT_EQ(l.placements[1].id, next);
  EXPECT_EQ(l.placements[0].extent, l.placements[1].extent);
  EXPECT_EQ(l.end_sector, l.placements[1].extent + 1);
}

TEST(FilePlacement, FollowsTheIsoDirectoryOrderAndMatchesBothHierarchies) {
  TreeBuilder t;
  std::int32_t z = t.Folder(kRootId, "z");
  t.File(z, "inner.bin", 3000);
  t.File(kRootId, "b.bin", 5000);
  std::int32_t a = t.Folder(kRootId, "a");
  t.File(a, "deep.bin", 1);
  t.File(kRootId, "c.bin", 2048);
  IsoLayout l = LayOutOk(t.elements(), Options());
  std::vector<std::string> order;
  for (const auto& p : l.placements) order.push_back(p.name);
  EXPECT_EQ(order, (std::vector<std::string>{"deep.bin", "b.bin", "c.bin", "inner.bin"}));
  std::uint32_t expected = l.placements[0].extent;
  EXPECT_EQ(expected, l.header_end_sector);
  for (const auto& p : l.placements) {
    EXPECT_EQ(p.extent, expected) << "contiguous";
    expected += p.sectors;
    EXPECT_EQ(l.elements.at(p.id).iso_extent, p.extent);
    EXPECT_EQ(l.elements.at(p.id).joliet_extent, p.extent);
  }
  EXPECT_EQ(l.end_sector, expected);
}

TEST(FilePlacement, HonoursMinimumStartSectors) {
  TreeBuilder t;
  std::int32_t first = t.File(kRootId, "a.vob", 4096);
  std::int32_t second = t.File(kRootId, "b.vob", 10);
  LayoutOptions o = Options();
  o.min_start_sector[second] = 100;
  IsoLayout l = LayOutOk(t.elements(), o);
  ASSERT_EQ(l.placements.size(), 2u);
  EXPECT_EQ(l.placements[0].id, first);
  EXPECT_EQ(l.placements[1].extent, 100u);
  EXPECT_EQ(l.end_sector, 101u);
}

TEST(DvdVideoLayout, PlacesFileDataContiguouslyInAddOrderAfterTheUdfArea) {
  TreeBuilder t;
  t.Folder(kRootId, "AUDIO_TS");
  std::int32_t video = t.Folder(kRootId, "VIDEO_TS");
  std::int32_t ifo = t.File(video, "VIDEO_TS.IFO", 12288);
  std::int32_t vob = t.File(video, "VTS_01_1.VOB", 100000);
  std::int32_t bup = t.File(video, "VIDEO_TS.BUP", 12288);
  std::int32_t vts = t.File(video, "VTS_01_0.IFO", 4096);
  IsoLayout l = LayOutOk(t.elements(), Options(true));
  EXPECT_EQ(l.iso_path_table.type_l, 257u);
  EXPECT_EQ(l.udf_area_sectors, 4u + 8u);
  ASSERT_EQ(l.placements.size(), 4u);
  std::vector<std::int32_t> ids;
  for (const auto& p : l.placements) ids.push_back(p.id);
  EXPECT_EQ(ids, (std::vector<std::int32_t>{ifo, vob, bup, vts}));
  std::uint32_t expected = l.udf_area_start + l.udf_area_sectors;
  for (const auto& p : l.placements) {
    EXPECT_EQ(p.extent, expected);
    expected += p.sectors;
  }
  // Records in list order, not sorted.
  auto ids_in_dir = Identifiers(ReadDirectory(l, l.elements.at(video).iso_extent, 1));
  EXPECT_EQ(ids_in_dir,
            (std::vector<std::string>{"VIDEO_TS.IFO", "VTS_01_1.VOB", "VIDEO_TS.BUP", "VTS_01_0.IFO"}));
}

TEST(Dates, ComeFromTheSourceOrTheBuildTimeAndDotRecordsUseTheirDirectories) {
  TreeBuilder t;
  std::int32_t scanned = t.Folder(kRootId, "scanned", kFileTime);
  t.File(scanned, "f.txt", 1, kFileTime + 3600);
  t.Folder(kRootId, "virtual");
  IsoLayout l = LayOutOk(t.elements(), Options());
  const std::uint8_t file_date[7] = {120, 1, 2, 4, 4, 5, 0};
  const std::uint8_t dir_date[7] = {120, 1, 2, 3, 4, 5, 0};
  const std::uint8_t build_date[7] = {126, 3, 4, 5, 6, 7, 0};
  for (bool joliet : {false, true}) {
    auto root = ReadDirectory(l, joliet ? l.joliet_root_extent : l.iso_root_extent, 1);
    auto* s = FindRecord(root, joliet ? Ucs2(u"scanned") : "SCANNED");
    auto* v = FindRecord(root, joliet ? Ucs2(u"virtual") : "VIRTUAL");
    ASSERT_TRUE(s && v);
    EXPECT_EQ(std::memcmp(s->date.data(), dir_date, 7), 0);
    EXPECT_EQ(std::memcmp(v->date.data(), build_date, 7), 0) << "no source: the build time";
    auto sub = ReadDirectory(l, s->extent, 1);
    ASSERT_EQ(sub.size(), 3u);
    EXPECT_EQ(std::memcmp(sub[0].date.data(), dir_date, 7), 0) << "'.' is the directory itself";
    EXPECT_EQ(std::memcmp(sub[1].date.data(), build_date, 7), 0) << "'..' is the root";
    EXPECT_EQ(std::memcmp(sub[2].date.data(), file_date, 7), 0);
  }
}

TEST(Visibility, RemovedElementsAndTheirDescendantsAreLeftOut) {
  TreeBuilder t;
  std::int32_t gone = t.Folder(kRootId, "gone");
  t.File(gone, "inside.txt", 10);
  std::int32_t gone_file = t.File(kRootId, "gone.txt", 10);
  t.File(kRootId, "kept.txt", 10);
  t.elements()[gone - 1].removed = true;
  t.elements()[gone_file - 1].removed = true;
  IsoLayout l = LayOutOk(t.elements(), Options());
  EXPECT_EQ(Identifiers(ReadDirectory(l, l.iso_root_extent, 1)), std::vector<std::string>{"KEPT.TXT"});
  ASSERT_EQ(l.placements.size(), 1u);
  EXPECT_EQ(l.directory_count, 1u);
}

TEST(Visibility, ImportedFilesKeepTheirExtentsAndAreNotPlaced) {
  TreeBuilder t;
  std::int32_t old = t.File(kRootId, "old.txt", 5000);
  t.elements()[old - 1].from_last_session = true;
  t.elements()[old - 1].extent = 40;
  t.File(kRootId, "new.txt", 10);
  IsoLayout l = LayOutOk(t.elements(), Options());
  ASSERT_EQ(l.placements.size(), 1u);
  EXPECT_EQ(l.placements[0].name, "new.txt");
  EXPECT_EQ(FindRecord(ReadDirectory(l, l.iso_root_extent, 1), "OLD.TXT")->extent, 40u);
}

TEST(Visibility, ANewFileHidesTheImportedFileOfItsNameAndANewFolderMergesIntoTheImportedOne) {
  TreeBuilder t;
  std::int32_t old_file = t.File(kRootId, "notes.txt", 100);
  std::int32_t old_folder = t.Folder(kRootId, "docs");
  std::int32_t old_inside = t.File(old_folder, "old.txt", 100);
  for (std::int32_t id : {old_file, old_folder, old_inside}) t.elements()[id - 1].from_last_session = true;
  t.elements()[old_file - 1].extent = 40;
  t.elements()[old_inside - 1].extent = 41;
  t.File(kRootId, "notes.txt", 10);
  std::int32_t new_folder = t.Folder(kRootId, "docs");
  t.File(new_folder, "new.txt", 10);
  IsoLayout l = LayOutOk(t.elements(), Options());
  auto root = ReadDirectory(l, l.iso_root_extent, 1);
  EXPECT_EQ(Identifiers(root), (std::vector<std::string>{"DOCS", "NOTES.TXT"}))
      << "no NOTES000.TXT, no DOCS000";
  EXPECT_NE(FindRecord(root, "NOTES.TXT")->extent, 40u) << "the new file's data";
  const auto* docs = FindRecord(root, "DOCS");
  EXPECT_EQ(Identifiers(ReadDirectory(l, docs->extent, 1)), (std::vector<std::string>{"NEW.TXT", "OLD.TXT"}));
  EXPECT_EQ(l.directory_count, 2u);
}

TEST(Sizes, AreSixtyFourBitAndFilesOfFourGibibytesAreRefused) {
  TreeBuilder t;
  std::int32_t biggest = t.File(kRootId, "max.bin", 0xFFFFFFFFull);
  IsoLayout l = LayOutOk(t.elements(), Options());
  EXPECT_EQ(FindRecord(ReadDirectory(l, l.iso_root_extent, 1), "MAX.BIN")->data_length, 0xFFFFFFFFu);
  EXPECT_EQ(l.placements[0].id, biggest);
  EXPECT_EQ(l.placements[0].sectors, 2097152u);

  t.File(kRootId, "big.bin", 0x100000000ull);
  LayoutResult r = LayOutIso9660(t.elements(), Options());
  EXPECT_EQ(r.status, LayoutResult::Status::kError);
  EXPECT_NE(r.error.find("big.bin"), std::string::npos);
}

TEST(DirectoryLimit, AllowsAtMost65535DirectoriesWithTheRoot) {
  TreeBuilder t;
  for (int i = 0; i < 65534; ++i) t.Folder(kRootId, "d" + std::to_string(i));
  // Stop before the directories are allocated: the limit is checked earlier.
  LayoutOptions o = Options(true);
  o.phase = [](int status) { return status < 3; };
  EXPECT_EQ(LayOutIso9660(t.elements(), o).status, LayoutResult::Status::kCanceled);
  t.Folder(kRootId, "one too many");
  LayoutResult r = LayOutIso9660(t.elements(), o);
  EXPECT_EQ(r.status, LayoutResult::Status::kError);
  EXPECT_FALSE(r.error.empty());
}

TEST(DirectoryLimit, DeepTreesAreWalkedWithoutRecursion) {
  TreeBuilder t;
  std::int32_t parent = kRootId;
  for (int i = 0; i < 30000; ++i) parent = t.Folder(parent, "d");
  t.File(parent, "leaf.txt", 1);
  IsoLayout l = LayOutOk(t.elements(), Options(true));
  EXPECT_EQ(l.directory_count, 30001u);
  ASSERT_EQ(l.placements.size(), 1u);
  EXPECT_EQ(l.elements.at(parent).level, 29999);
  auto table = ReadPathTable(l, l.iso_path_table.type_l, l.iso_path_table.size, false);
  ASSERT_EQ(table.size(), 30001u);
  EXPECT_EQ(table.back().parent, 30000);
}

TEST(Phases, RunInOrderAndCanBeCanceled) {
  std::vector<int> seen;
  LayoutOptions o = Options();
  o.phase = [&](int status) {
    seen.push_back(status);
    return true;
  };
  ASSERT_TRUE(LayOutIso9660({}, o).ok());
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  seen.clear();
  LayoutOptions dvd = o;
  dvd.dvd_video = true;
  ASSERT_TRUE(LayOutIso9660({}, dvd).ok());
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 5, 7, 9}));
  o.phase = [](int status) { return status != 5; };
  EXPECT_EQ(LayOutIso9660({}, o).status, LayoutResult::Status::kCanceled);
}

}  // namespace
}  // namespace zephrel
