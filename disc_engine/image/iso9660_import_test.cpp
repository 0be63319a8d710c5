// The session reader against sessions that genisoimage writes (Joliet, the
// primary hierarchy alone, an El Torito boot record, a second session on top
// of a first), and against damaged and crafted directories.
#include "image/iso9660_import.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstring>
#include <fstream>
#include <map>
#include <random>

#include "image/iso9660_format.h"
#include "platform/byte_order.h"
#include "platform/text.h"
#include "testing/temp_folder.h"
#include "testing/tools.h"

namespace zephrel::iso9660 {
namespace {

using vantora::testing::RunTool;
using vantora::testing::TempFolder;

using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// A disc of sectors held in memory; reads past its end fail, and each read
// is counted with its size.
struct Disc {
  explicit Disc(Bytes b = {}) : bytes(std::move(b)) {}
  Bytes bytes;
  std::vector<std::uint32_t> read_counts;
  std::uint32_t sectors() const { return static_cast<std::uint32_t>(bytes.size() / kSectorSize); }
  SectorReader Reader() {
    return [this](std::uint32_t lba, std::uint32_t count, std::span<std::uint8_t> buffer) {
      read_counts.push_back(count);
      if (std::uint64_t(lba) + count > sectors() || buffer.size() != std::size_t(count) * kSectorSize)
        return false;
      std::memcpy(buffer.data(), bytes.data() + std::size_t(lba) * kSectorSize, buffer.size());
      return true;
    };
  }
  SessionTree Read(std::uint32_t start = 0) { return ReadSessionTree(Reader(), start, sectors(), 0); }
};

class SessionReaderTest : public ::testing::Test {
 protected:
  // genisoimage over src with extra arguments, in the time zone given (it
  // writes local time with its offset from GMT).
  Bytes Make(const std::vector<std::string>& extra, const std::string& tz = "America/New_York") {
    std::vector<std::string> argv = {"env", "TZ=" + tz, "genisoimage", "-quiet"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.push_back("-o");
    argv.push_back(platform::PathToUtf8(dir_ / "out.iso"));
    argv.push_back(platform::PathToUtf8(src()));
    auto r = RunTool(argv);
    EXPECT_EQ(r.exit_code, 0) << r.output;
    return ReadAll(dir_ / "out.iso");
  }
  std::filesystem::path src() const { return dir_ / "src"; }
  void Touch(const std::filesystem::path& p, std::int64_t seconds) {
    struct utimbuf t {
      static_cast<time_t>(seconds), static_cast<time_t>(seconds)
    };
    ASSERT_EQ(::utime(platform::PathToUtf8(p).c_str(), &t), 0);
  }
  static const TreeElement* Find(const SessionTree& tree, const std::string& name) {
    for (const TreeElement& e : tree.elements)
      if (e.name == name) return &e;
    return nullptr;
  }
  static std::string DataOf(const Disc& disc, const TreeElement& e) {
    return std::string(reinterpret_cast<const char*>(disc.bytes.data()) + std::size_t(e.extent) * kSectorSize,
                       e.file_size);
  }

  TempFolder dir_;
};

TEST_F(SessionReaderTest, AJolietSessionGivesItsNamesSizesDatesAndExtentsInDepthFirstOrder) {
  Write(src() / "README", "read me\n");
  Write(src() / "dossier é/日本 notes.txt", std::string(5000, 'n'));
  Write(src() / "dossier é/deeper/ñ smile", "smile");
  Write(src() / "zeta.bin", "");
  Touch(src() / "README", 1700000000);
  Disc disc{Make({"-J"})};
  SessionTree tree = disc.Read();
  EXPECT_TRUE(tree.found_volume);
  EXPECT_TRUE(tree.joliet);
  EXPECT_TRUE(tree.problems.empty()) << tree.problems.front();
  ASSERT_EQ(tree.elements.size(), 6u);
  std::map<std::string, const TreeElement*> by_name;
  for (std::size_t i = 0; i < tree.elements.size(); ++i) {
    const TreeElement& e = tree.elements[i];
    EXPECT_EQ(e.id, std::int32_t(i + 1)) << "ids follow the records, depth first";
    EXPECT_TRUE(e.from_last_session);
    EXPECT_TRUE(e.source_path.empty());
    by_name[e.name] = &e;
  }
  ASSERT_TRUE(by_name.count("README") && by_name.count("dossier é") && by_name.count("日本 notes.txt") &&
              by_name.count("deeper") && by_name.count("ñ smile") && by_name.count("zeta.bin"));
  const TreeElement& folder = *by_name["dossier é"];
  EXPECT_TRUE(folder.is_folder());
  EXPECT_EQ(by_name["deeper"]->parent_id, folder.id);
  EXPECT_EQ(by_name["ñ smile"]->parent_id, by_name["deeper"]->id);
  EXPECT_EQ(by_name["ñ smile"]->id, by_name["deeper"]->id + 1) << "a folder's contents come right after it";
  EXPECT_EQ(DataOf(disc, *by_name["日本 notes.txt"]), std::string(5000, 'n'));
  EXPECT_EQ(DataOf(disc, *by_name["ñ smile"]), "smile");
  EXPECT_EQ(by_name["zeta.bin"]->file_size, 0u);
  ASSERT_TRUE(by_name["README"]->mtime);
  EXPECT_EQ(*by_name["README"]->mtime, 1700000000) << "the record's offset from GMT is applied";
}

TEST_F(SessionReaderTest, WithoutJolietThePrimaryNamesLoseTheirVersionAndTrailingDot) {
  Write(src() / "README", "r");
  Write(src() / "notes.txt", "n");
  Write(src() / "sub/inner", "i");
  Touch(src() / "notes.txt", 1600000000);
  Disc disc{Make({}, "Asia/Tokyo")};
  SessionTree tree = disc.Read();
  EXPECT_FALSE(tree.joliet);
  ASSERT_NE(Find(tree, "README"), nullptr) << "README.;1 is README";
  ASSERT_NE(Find(tree, "NOTES.TXT"), nullptr);
  ASSERT_NE(Find(tree, "SUB"), nullptr);
  ASSERT_NE(Find(tree, "INNER"), nullptr);
  EXPECT_EQ(Find(tree, "INNER")->parent_id, Find(tree, "SUB")->id);
  EXPECT_EQ(DataOf(disc, *Find(tree, "NOTES.TXT")), "n");
  EXPECT_EQ(*Find(tree, "NOTES.TXT")->mtime, 1600000000);
}

TEST_F(SessionReaderTest, AnElToritoBootRecordBeforeThePrimaryIsPassedOver) {
  Write(src() / "boot.img", std::string(2048 * 4, 'b'));
  Write(src() / "data.txt", "d");
  Disc disc{Make({"-J", "-b", "boot.img", "-no-emul-boot", "-c", "boot.cat"})};
  SessionTree tree = disc.Read();
  EXPECT_TRUE(tree.joliet);
  ASSERT_NE(Find(tree, "data.txt"), nullptr);
  EXPECT_EQ(DataOf(disc, *Find(tree, "data.txt")), "d");
  ASSERT_NE(Find(tree, "boot.img"), nullptr);
  EXPECT_EQ(Find(tree, "boot.img")->file_size, 8192u);
}

TEST_F(SessionReaderTest, ASessionWithUdfBesideItsIsoViewImportsTheIsoView) {
  Write(src() / "VIDEO_TS/VIDEO_TS.IFO", "ifo");
  Disc disc{Make({"-J", "-udf"})};
  SessionTree tree = disc.Read();
  EXPECT_TRUE(tree.joliet);
  ASSERT_NE(Find(tree, "VIDEO_TS.IFO"), nullptr);
  EXPECT_EQ(DataOf(disc, *Find(tree, "VIDEO_TS.IFO")), "ifo");
}

TEST_F(SessionReaderTest, ASecondSessionListsTheOldFilesWhereTheyLieInTheFirst) {
  Write(src() / "old.txt", "old bytes");
  Disc disc{Make({"-J"})};
  const std::uint32_t second = disc.sectors() + 16;  // a gap, as between sessions
  Write(dir_ / "first.iso", std::string(disc.bytes.begin(), disc.bytes.end()));
  std::filesystem::remove(src() / "old.txt");
  Write(src() / "new.txt", "new bytes");
  Bytes top =
      Make({"-J", "-C", "0," + std::to_string(second), "-M", platform::PathToUtf8(dir_ / "first.iso")});
  disc.bytes.resize(std::size_t(second) * kSectorSize, 0);
  disc.bytes.insert(disc.bytes.end(), top.begin(), top.end());
  SessionTree tree = disc.Read(second);
  // genisoimage carries the old files over under their primary names.
  ASSERT_NE(Find(tree, "OLD.TXT"), nullptr);
  ASSERT_NE(Find(tree, "new.txt"), nullptr);
  EXPECT_LT(Find(tree, "OLD.TXT")->extent, second);
  EXPECT_EQ(DataOf(disc, *Find(tree, "OLD.TXT")), "old bytes");
  EXPECT_EQ(DataOf(disc, *Find(tree, "new.txt")), "new bytes");
}

TEST_F(SessionReaderTest, AFolderOfMoreThan255SectorsIsReadWholeInChunks) {
  const std::string stem(50, 'x');
  for (int i = 0; i < 3400; ++i) Write(src() / "big" / (stem + std::to_string(i)), "");
  Disc disc{Make({"-J", "-joliet-long"})};
  SessionTree tree = disc.Read();
  EXPECT_TRUE(tree.problems.empty()) << tree.problems.front();
  EXPECT_EQ(tree.elements.size(), 3401u);
  for (std::uint32_t count : disc.read_counts) EXPECT_LE(count, kImportReadChunk);
}

// Finds the Joliet record of name in the disc (UCS-2 big-endian identifier).
std::size_t RecordOf(const Bytes& bytes, const std::string& name) {
  const std::string ucs = platform::Utf8ToUcs2Be(name);
  for (std::size_t i = 33; i + ucs.size() <= bytes.size(); ++i) {
    if (bytes[i - 1] == ucs.size() && std::memcmp(bytes.data() + i, ucs.data(), ucs.size()) == 0)
      return i - 33;
  }
  ADD_FAILURE() << name << " not found";
  return 0;
}

TEST_F(SessionReaderTest, MultiExtentAndAssociatedFilesAreLeftOutAndTheFirstIsReported) {
  Write(src() / "piece", "p");
  Write(src() / "assoc", "a");
  Write(src() / "keep", "k");
  Disc disc{Make({"-J"})};
  disc.bytes[RecordOf(disc.bytes, "piece") + 25] |= 0x80;
  disc.bytes[RecordOf(disc.bytes, "assoc") + 25] |= 0x04;
  SessionTree tree = disc.Read();
  EXPECT_EQ(Find(tree, "piece"), nullptr);
  EXPECT_EQ(Find(tree, "assoc"), nullptr);
  EXPECT_NE(Find(tree, "keep"), nullptr);
  ASSERT_EQ(tree.problems.size(), 1u);
  EXPECT_NE(tree.problems[0].find("several pieces"), std::string::npos);
}

TEST_F(SessionReaderTest, AHiddenFolderIsStillAFolder) {
  Write(src() / "secret/inside", "s");
  Disc disc{Make({"-J"})};
  disc.bytes[RecordOf(disc.bytes, "secret") + 25] = 0x03;
  SessionTree tree = disc.Read();
  ASSERT_NE(Find(tree, "secret"), nullptr);
  EXPECT_TRUE(Find(tree, "secret")->is_folder());
  ASSERT_NE(Find(tree, "inside"), nullptr);
}

TEST_F(SessionReaderTest, AFolderThatPointsAtItsParentIsNotWalkedAgain) {
  Write(src() / "loop/file", "f");
  Disc disc{Make({"-J"})};
  const std::size_t loop = RecordOf(disc.bytes, "loop");
  // The loop folder's record now points at the root directory itself.
  const std::size_t pvd = std::size_t(17) * kSectorSize;  // genisoimage puts Joliet at 17
  std::memcpy(disc.bytes.data() + loop + 2, disc.bytes.data() + pvd + 156 + 2, 8);
  std::memcpy(disc.bytes.data() + loop + 10, disc.bytes.data() + pvd + 156 + 10, 8);
  SessionTree tree = disc.Read();
  EXPECT_EQ(tree.elements.size(), 1u) << "the folder itself, nothing below it";
  ASSERT_EQ(tree.problems.size(), 1u);
  EXPECT_NE(tree.problems[0].find("repeats"), std::string::npos);
}

TEST_F(SessionReaderTest, ExtentsPastTheRecordedAreaAreRefused) {
  Write(src() / "far", "f");
  Disc disc{Make({"-J"})};
  const std::size_t far = RecordOf(disc.bytes, "far");
  platform::PutLe32(disc.bytes.data() + far + 2, disc.sectors() + 5);
  SessionTree tree = disc.Read();
  EXPECT_EQ(Find(tree, "far"), nullptr);
  ASSERT_EQ(tree.problems.size(), 1u);
  EXPECT_NE(tree.problems[0].find("outside the recorded area"), std::string::npos);
}

// A crafted session: a primary descriptor at 16, a terminator at 17, and a
// root folder at 18 of `records` files of 40-byte records (51 a sector),
// followed by the folder records given (name, declared size).
Bytes HostileSession(std::uint32_t records,
                     const std::vector<std::pair<std::string, std::uint32_t>>& folders) {
  constexpr std::size_t kRecord = 40, kPerSector = kSectorSize / kRecord;
  const std::size_t entries = records + folders.size();
  const std::size_t root_sectors = (entries + kPerSector - 1) / kPerSector;
  Bytes b((18 + root_sectors + 1) * kSectorSize, 0);
  auto put_record = [&](std::uint8_t* r, std::uint32_t extent, std::uint32_t size, std::uint8_t flags,
                        const std::string& name) {
    r[0] = std::uint8_t(33 + name.size());
    platform::PutLe32(r + 2, extent);
    platform::PutLe32(r + 10, size);
    r[25] = flags;
    r[32] = std::uint8_t(name.size());
    std::memcpy(r + 33, name.data(), name.size());
  };
  std::uint8_t* pvd = b.data() + 16 * kSectorSize;
  pvd[0] = 1;
  std::memcpy(pvd + 1, "CD001", 5);
  put_record(pvd + 156, 18, std::uint32_t(root_sectors * kSectorSize), 0x02, std::string(1, '\0'));
  std::uint8_t* end = b.data() + 17 * kSectorSize;
  end[0] = 255;
  std::memcpy(end + 1, "CD001", 5);
  for (std::size_t i = 0; i < entries; ++i) {
    std::uint8_t* r = b.data() + (18 + i / kPerSector) * kSectorSize + (i % kPerSector) * kRecord;
    if (i < records) {
      char name[8];
      std::snprintf(name, sizeof name, "F%06zu", i % 1000000);
      put_record(r, 0, 0, 0, std::string(name, 7));
    } else {
      const auto& [name, size] = folders[i - records];
      put_record(r, std::uint32_t(18 + root_sectors), size, 0x02, (name + "       ").substr(0, 7));
    }
  }
  return b;
}

TEST_F(SessionReaderTest, AHostileSessionIsCutAtTheImportCapsAndEachCapIsReportedForWhatItIs) {
  // More files than one import takes: the first ones are kept, and that is said once.
  Disc many{HostileSession(kImportElementLimit + 5000, {})};
  SessionTree tree = many.Read();
  EXPECT_EQ(tree.elements.size(), kImportElementLimit);
  ASSERT_EQ(tree.problems.size(), 1u);
  EXPECT_EQ(tree.problems[0],
            "The last session holds more than 200000 files and folders: only the first "
            "200000 were imported.");

  // A folder that declares more bytes than a folder may have is named with its size.
  Disc huge{HostileSession(10, {{"HUGEDIR", kImportDirectoryByteLimit + 2048}})};
  tree = huge.Read();
  EXPECT_EQ(tree.elements.size(), 11u);
  ASSERT_EQ(tree.problems.size(), 1u);
  EXPECT_EQ(tree.problems[0],
            "The folder /HUGEDIR/ declares 33556480 bytes of records, more than the 33554432 a "
            "folder may have, and was not read.");
}

TEST_F(SessionReaderTest, SectorsWithoutAVolumeDescriptorImportNothing) {
  Disc disc{Bytes(40 * kSectorSize, 0)};
  SessionTree tree = disc.Read();
  EXPECT_FALSE(tree.found_volume);
  EXPECT_TRUE(tree.elements.empty());
}

TEST_F(SessionReaderTest, TenThousandRandomCorruptionsOfTheDirectoriesNeitherCrashNorHang) {
  Write(src() / "a/b/c/file", "abc");
  Write(src() / "a/other", "o");
  Write(src() / "top", "t");
  const Bytes clean = Make({"-J"});
  std::mt19937 random(1234);
  Disc disc;
  for (int round = 0; round < 10000; ++round) {
    disc.bytes = clean;
    disc.read_counts.clear();
    // Directories and descriptors lie in the first sectors of a small image.
    const std::size_t span = std::min<std::size_t>(clean.size(), 40 * kSectorSize) - 16 * kSectorSize;
    const int flips = 1 + random() % 16;
    for (int i = 0; i < flips; ++i) disc.bytes[16 * kSectorSize + random() % span] = std::uint8_t(random());
    SessionTree tree = disc.Read();
    std::int32_t id = 0;
    for (const TreeElement& e : tree.elements) {
      ASSERT_EQ(e.id, ++id);
      if (e.is_file()) {
        ASSERT_LE(e.extent + SectorsForBytes(e.file_size), disc.sectors());
      }
    }
    ASSERT_LT(disc.read_counts.size(), 2000u);
  }
}

TEST(ImportedName, JolietIsUtf8AndOnlyFilesLoseTheirVersion) {
  const std::string ucs = platform::Utf8ToUcs2Be("été;1");
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(ucs.data()), ucs.size());
  EXPECT_EQ(ImportedName(bytes, true, false), "été");
  EXPECT_EQ(ImportedName(bytes, true, true), "été;1");
}

TEST(RecordDate, AnImpossibleDateGivesNone) {
  const std::uint8_t bad[7] = {100, 13, 1, 0, 0, 0, 0};
  EXPECT_FALSE(RecordDateSeconds(std::span<const std::uint8_t, 7>(bad)));
  const std::uint8_t east[7] = {70, 1, 1, 9, 0, 0, 36};  // 09:00 at GMT+9
  EXPECT_EQ(RecordDateSeconds(std::span<const std::uint8_t, 7>(east)), 0);
}

}  // namespace
}  // namespace zephrel::iso9660
