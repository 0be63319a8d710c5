#include "vantora/job_log.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "core_testutil.h"
#include "wizard_fakes.h"

namespace vantora {
namespace {

struct JobLogTest : ::testing::Test {
  testing::FakeClock clock;
  JobLog log{clock};
  std::vector<std::string> events;
  void SetUp() override {
    log.SetListener({[this](std::size_t i) { events.push_back("add " + std::to_string(i)); },
                     [this](std::size_t i) { events.push_back("change " + std::to_string(i)); },
                     [this] { events.push_back("clear"); }});
  }
};

TEST_F(JobLogTest, AProgressLineIsAppendedWithTimeAndKeyedByDateTimeAndMessage) {
  log.AddRow("first", "A", LogIcon::kStep);
  log.AddProgressLine("Writing started !");
  ASSERT_EQ(log.rows().size(), 2u);
  EXPECT_EQ(log.rows()[1].text, "14:03:07 - Writing started !");
  EXPECT_EQ(log.rows()[1].key, "2026-12-09 14:03:07Writing started !");
  EXPECT_EQ(log.rows()[1].icon, LogIcon::kStep);
  EXPECT_EQ(events, (std::vector<std::string>{"add 0", "add 1"}));
}

TEST_F(JobLogTest, AnEmptyMessageAddsOrChangesNothing) {
  log.AddRow("FileSystem analysing (Step 1 / 10)", "FILESYSTEM", LogIcon::kStep);
  log.AddProgressLine("");
  log.UpdateProgressLine("", "FILESYSTEM");
  EXPECT_EQ(log.rows().size(), 1u);
  EXPECT_EQ(log.rows()[0].text, "14:03:07 - FileSystem analysing (Step 1 / 10)");
  EXPECT_EQ(events.size(), 1u);
}

TEST_F(JobLogTest, UpdateRewritesTheKeyedRowInPlaceAndKeepsKeyAndIcon) {
  log.AddRow("Start", "S", LogIcon::kStep);
  log.AddRow("FileSystem analysing (Step 1 / 10)", "FILESYSTEM", LogIcon::kStep);
  clock.time = "14:03:09";
  log.UpdateProgressLine("FileSystem analysing (Step 10 / 10)", "FILESYSTEM");
  ASSERT_EQ(log.rows().size(), 2u);
  EXPECT_EQ(log.rows()[1].text, "14:03:09 - FileSystem analysing (Step 10 / 10)");
  EXPECT_EQ(log.rows()[1].key, "FILESYSTEM");
  EXPECT_EQ(events.back(), "change 1");
}

TEST_F(JobLogTest, KeysAreComparedExactlyAndAnUnknownKeyChangesNothing) {
  log.AddRow("layout", "FILESYSTEM", LogIcon::kStep);
  log.UpdateProgressLine("other", "filesystem");
  log.UpdateProgressLine("other", "NOPE");
  EXPECT_EQ(log.rows()[0].text, "14:03:07 - layout");
  EXPECT_FALSE(log.ProgressLogHasKey("filesystem"));
  EXPECT_TRUE(log.ProgressLogHasKey("FILESYSTEM"));
}

TEST_F(JobLogTest, HasKeyIsFalseOnAnEmptiedLogAndTrueAfterTheRowIsAdded) {
  log.AddRow("x", "DVD Filesystem creation...", LogIcon::kStep);
  log.Clear();
  EXPECT_FALSE(log.ProgressLogHasKey("DVD Filesystem creation..."));
  EXPECT_EQ(events.back(), "clear");
  log.AddRow("DVD Filesystem creation...", "DVD Filesystem creation...", LogIcon::kStep);
  EXPECT_TRUE(log.ProgressLogHasKey("DVD Filesystem creation..."));
}

TEST_F(JobLogTest, ARowWhoseKeyExistsIsKeptUnderAFreeKey) {
  log.AddProgressLine("Writing started !");
  log.AddProgressLine("Writing started !");  // same message within one second
  const std::string third = log.AddRow("Cancelled", "2026-12-09 14:03:07Writing started !", LogIcon::kError);
  ASSERT_EQ(log.rows().size(), 3u);
  EXPECT_EQ(log.rows()[1].key, "2026-12-09 14:03:07Writing started ! #2");
  EXPECT_EQ(third, "2026-12-09 14:03:07Writing started ! #3");
  EXPECT_EQ(log.rows()[2].icon, LogIcon::kError);
  // The first row stays the one found by the plain key.
  clock.time = "14:03:08";
  log.UpdateProgressLine("again", "2026-12-09 14:03:07Writing started !");
  EXPECT_EQ(log.rows()[0].text, "14:03:08 - again");
  EXPECT_EQ(log.rows()[1].text, "14:03:07 - Writing started !");
}

TEST_F(JobLogTest, EachRunIsKeptInItsOwnFileWithTimeLevelAndTextAndOnlyTheNewestFilesStay) {
  testing::TempFolder dir;
  const std::filesystem::path logs = dir / "state" / "logs";
  std::filesystem::create_directories(logs);
  testing::WriteBytes(logs / "notes.txt", "the user's own file");
  log.KeepFilesIn(logs);
  log.Clear();
  EXPECT_TRUE(log.file().empty()) << "no file before the first row";
  log.AddRow("DVD Filesystem creation... 10%", "DVD Filesystem creation...", LogIcon::kStep);
  clock.time = "14:03:09";
  log.UpdateProgressLine("DVD Filesystem creation... 100%", "DVD Filesystem creation...");
  log.AddRow("Burning failure !", "E", LogIcon::kError);
  EXPECT_EQ(log.file(), logs / "vantora-2026-12-09_14-03-07.log");
  EXPECT_EQ(testing::ReadBytes(log.file()),
            "2026-12-09 14:03:07 info  DVD Filesystem creation... 10%\n"
            "2026-12-09 14:03:09 info  DVD Filesystem creation... 100%\n"
            "2026-12-09 14:03:09 error Burning failure !\n");
  // A second run in the same second gets a file of its own.
  const std::filesystem::path first = log.file();
  clock.time = "14:03:07";
  log.Clear();
  log.AddProgressLine("Writing started !");
  EXPECT_EQ(log.file(), logs / "vantora-2026-12-09_14-03-07-2.log");
  EXPECT_TRUE(std::filesystem::exists(first));
  // Many runs later only the newest files are left, the user's file too.
  for (int day = 10; day < 10 + static_cast<int>(kKeptLogFiles) + 3; ++day) {
    clock.date = "2026-12-" + std::to_string(day);
    log.Clear();
    log.AddProgressLine("Writing started !");
  }
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(logs))
    names.push_back(e.path().filename().native());
  std::sort(names.begin(), names.end());
  ASSERT_EQ(names.size(), kKeptLogFiles + 1);
  EXPECT_EQ(names.front(), "notes.txt");
  EXPECT_EQ(names[1], "vantora-2026-12-13_14-03-07.log");
  EXPECT_EQ(names.back(), "vantora-2026-12-32_14-03-07.log");
  // A folder that cannot be made: the job goes on without a file.
  JobLog blocked(clock);
  blocked.KeepFilesIn(dir / "state" / "logs" / "notes.txt" / "x");
  blocked.AddProgressLine("Writing started !");
  EXPECT_EQ(blocked.rows().size(), 1u);
  EXPECT_TRUE(blocked.file().empty());
}

TEST(SystemLogClock, WritesTimeAndDateInFixedForms) {
  SystemLogClock clock;
  EXPECT_EQ(clock.Time().size(), 8u);
  EXPECT_EQ(clock.Time()[2], ':');
  EXPECT_EQ(clock.Date().size(), 10u);
  EXPECT_EQ(clock.Date()[4], '-');
}

}  // namespace
}  // namespace vantora
