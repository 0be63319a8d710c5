#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "platform/scsi.h"
#include "platform/scsi_policy.h"
#include "platform/scsi_sense.h"

namespace platform {
namespace {

TEST(ParseSense, FixedFormatGivesKeyAscAndAscq) {
  std::vector<std::uint8_t> bytes(18, 0);
  bytes[0] = 0xF0;  // valid bit + current error
  bytes[2] = 0x05;
  bytes[7] = 10;
  bytes[12] = 0x24;
  bytes[13] = 0x00;
  Sense s = ParseSense(bytes);
  EXPECT_TRUE(s.valid);
  EXPECT_EQ(s.key, 5);
  EXPECT_EQ(s.asc, 0x24);
  EXPECT_EQ(s.ascq, 0x00);

  bytes[0] = 0x71;  // deferred error
  bytes[2] = 0x23;  // ILI bit set above the key
  bytes[12] = 0x0C;
  bytes[13] = 0x09;
  s = ParseSense(bytes);
  EXPECT_EQ(s.key, 3);
  EXPECT_EQ(s.asc, 0x0C);
  EXPECT_EQ(s.ascq, 0x09);
}

TEST(ParseSense, DescriptorFormatGivesKeyAscAndAscq) {
  const std::vector<std::uint8_t> current = {0x72, 0x06, 0x28, 0x00, 0, 0, 0, 0};
  Sense s = ParseSense(current);
  EXPECT_TRUE(s.valid);
  EXPECT_EQ(s.key, 6);
  EXPECT_EQ(s.asc, 0x28);
  const std::vector<std::uint8_t> deferred = {0x73, 0x03, 0x0C, 0x00};
  s = ParseSense(deferred);
  EXPECT_EQ(s.key, 3);
  EXPECT_EQ(s.asc, 0x0C);
}

TEST(ParseSense, ShortOrUnknownDataNeverReadsPastTheEnd) {
  EXPECT_FALSE(ParseSense({}).valid);
  const std::vector<std::uint8_t> vendor = {0x7F, 0x05, 0x24, 0x00};
  EXPECT_FALSE(ParseSense(vendor).valid);
  // Fixed format cut after the key: the key is known, the codes are not.
  const std::vector<std::uint8_t> cut = {0x70, 0x00, 0x02};
  Sense s = ParseSense(cut);
  EXPECT_TRUE(s.valid);
  EXPECT_EQ(s.key, 2);
  EXPECT_EQ(s.asc, 0);
  // An additional length that stops before byte 12 hides stale bytes there.
  std::vector<std::uint8_t> stale(18, 0);
  stale[0] = 0x70;
  stale[2] = 0x02;
  stale[7] = 2;
  stale[12] = 0x3A;
  s = ParseSense(stale);
  EXPECT_EQ(s.asc, 0);
}

TEST(SenseText, TellingRowsReadExactly) {
  const std::vector<std::tuple<int, int, const char*>> rows = {
      {0x00, 0x00, "No Additional Sense Information"},
      {0x04, 0x07, "Logical Unit Not Ready, Operation In Progress"},
      {0x04, 0x08, "Logical Unit Not Ready, Long Write In Progress"},
      {0x0C, 0x00, "Write Error"},
      {0x21, 0x00, "Logical Block Address Out of Range"},
      {0x24, 0x00, "Illegal Field in CDB"},
      {0x30, 0x00, "Incompatible Medium Installed"},
      {0x30, 0x06, "Cannot Format Medium - Incompatible Medium"},
      {0x30, 0x10, "Medium Not Formatted"},
      {0x3A, 0x00, "Medium Not Present"},
      {0x64, 0x00, "Illegal Mode For This Track"},
      {0x72, 0x00, "Session Fixation Error"},
      {0x73, 0x00, "CD Control Error"},
      {0x73, 0x06, "RMA/PMA Is Almost Full"},
  };
  for (const auto& [asc, ascq, text] : rows) {
    Sense sense{.key = 3,
                .asc = static_cast<std::uint8_t>(asc),
                .ascq = static_cast<std::uint8_t>(ascq),
                .valid = true};
    EXPECT_EQ(SenseText(sense), text);
  }
}

TEST(SenseText, UnknownPairGivesTheFallbackBuiltFromThisSenseOnly) {
  // A known failure first: its text must not leak into the next one.
  EXPECT_EQ(SenseText({.key = 2, .asc = 0x3A, .ascq = 0x00, .valid = true}), "Medium Not Present");
  EXPECT_EQ(SenseText({.key = 0xB, .asc = 0x74, .ascq = 0x0A, .valid = true}),
            "Sense Key B, ASC 74h, ASCQ 0Ah");
  EXPECT_EQ(SenseText({.key = 5, .asc = 0x30, .ascq = 0x0B, .valid = true}),
            "Sense Key 5, ASC 30h, ASCQ 0Bh");
  EXPECT_FALSE(LookupSenseText(0x23, 0x00).has_value());  // 23h is not assigned
}

TEST(SenseText, TableCoversOnlyTheAssignedRangesWithoutDuplicates) {
  const std::set<int> absent = {0x0F, 0x23, 0x3C, 0x4D, 0x4F, 0x56, 0x5F, 0x62, 0x70};
  std::set<std::pair<int, int>> seen;
  for (int asc = 0; asc < 0x100; ++asc) {
    for (int ascq = 0; ascq < 0x100; ++ascq) {
      if (!LookupSenseText(asc, ascq)) continue;
      EXPECT_LE(asc, 0x73);
      EXPECT_EQ(absent.count(asc), 0u) << std::hex << asc;
      seen.insert({asc, ascq});
    }
  }
  EXPECT_EQ(seen.size(), SenseTextRowCount());
  EXPECT_GT(SenseTextRowCount(), 400u);
}

TEST(ScsiPolicy, TimeoutsFollowTheCommandKind) {
  using namespace std::chrono_literals;
  EXPECT_EQ(CommandTimeout(0xA1), 2h);  // BLANK
  EXPECT_EQ(CommandTimeout(0x04), 2h);  // FORMAT UNIT
  EXPECT_EQ(CommandTimeout(0x5B), 2h);  // CLOSE TRACK/SESSION
  EXPECT_EQ(CommandTimeout(0x35), 15min);
  EXPECT_EQ(CommandTimeout(0x2A), 60s);
  EXPECT_EQ(CommandTimeout(0x00), 30s);
  EXPECT_EQ(CommandTimeout(0x12), 30s);
}

TEST(ScsiPolicy, StandardLengthsFollowTheGroupCode) {
  EXPECT_EQ(StandardCdbLength(0x00), 6u);
  EXPECT_EQ(StandardCdbLength(0x12), 6u);
  EXPECT_EQ(StandardCdbLength(0x1B), 6u);
  EXPECT_EQ(StandardCdbLength(0x46), 10u);
  EXPECT_EQ(StandardCdbLength(0x5B), 10u);
  EXPECT_EQ(StandardCdbLength(0xA1), 12u);  // BLANK
  EXPECT_EQ(StandardCdbLength(0xBB), 12u);  // SET CD SPEED
  EXPECT_EQ(StandardCdbLength(0xBE), 12u);
  EXPECT_EQ(StandardCdbLength(0x88), 16u);
  EXPECT_EQ(StandardCdbLength(0xC0), 0u);
}

ScsiResult UnitAttention() {
  ScsiResult r;
  r.status = 2;
  r.sense = {.key = 6, .asc = 0x28, .ascq = 0, .valid = true};
  return r;
}

TEST(ScsiPolicy, AUnitAttentionIsRetriedOnceOnlyForCommandsThatChangeNothing) {
  for (std::uint8_t opcode : {0x00, 0x12, 0x46, 0x28, 0xBE, 0x51, 0x43}) {
    const std::uint8_t cdb[10] = {opcode};
    int sends = 0;
    ScsiResult r =
        ExecRetryingUnitAttention(cdb, [&] { return ++sends == 1 ? UnitAttention() : ScsiResult{}; });
    EXPECT_TRUE(r.ok()) << int(opcode);
    EXPECT_EQ(sends, 2);
    // Only once: a second unit attention is the answer.
    sends = 0;
    r = ExecRetryingUnitAttention(cdb, [&] {
      ++sends;
      return UnitAttention();
    });
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(sends, 2);
  }
  // WRITE(10), CLOSE, RESERVE TRACK, BLANK, FORMAT UNIT: the failure surfaces.
  for (std::uint8_t opcode : {0x2A, 0x5B, 0x53, 0xA1, 0x04, 0x35, 0x55, 0x1B}) {
    const std::uint8_t cdb[10] = {opcode};
    int sends = 0;
    ScsiResult r = ExecRetryingUnitAttention(cdb, [&] {
      ++sends;
      return UnitAttention();
    });
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.sense.key, 6);
    EXPECT_EQ(sends, 1) << int(opcode);
  }
}

}  // namespace
}  // namespace platform
