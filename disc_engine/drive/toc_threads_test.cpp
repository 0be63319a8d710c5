// Callers on several threads share no reply buffer: each read of a drive is
// whole, and the process-wide track list is always one drive's whole table.
#include <gtest/gtest.h>

#include <thread>

#include "drive/drive_testutil.h"
#include "drive/media.h"
#include "drive/mmc_drive.h"
#include "drive/toc.h"

namespace zephrel {
namespace {

using testing::IsoImage;
using testing::Medium;
using testing::PolicedDrive;
namespace pm = platform::mmc;

TEST(TrackListThreads, ConcurrentReadersOfTwoDrivesEachSeeWholeAnswers) {
  PolicedDrive holder(nullptr);
  auto cd = Medium(pm::kProfileCdRom);
  cd.content = holder.WriteContent("cd.iso", IsoImage(300));
  auto dvd = Medium(pm::kProfileDvdPlusR);
  dvd.manufacturer_id = "MCC";
  PolicedDrive first(cd), second(dvd);
  std::atomic<int> wrong{0};
  auto reader = [&](PolicedDrive& drive, int number) {
    MmcDrive mmc = drive.Mmc();
    for (int i = 0; i < 40; ++i) {
      const int code = mmc.MmcGetMediaTypeCode();
      const MediaId id = ReadMediaId(mmc, code);
      if (number == 0 && (code != kMediaCdRom || id.manufacturer != "Unknown")) ++wrong;
      if (number == 1 && (code != kMediaDvdPlusR || id.manufacturer != "Mitsubishi Chemical Corp.")) ++wrong;
      ReadToc(mmc, number);
      const int drive_read = TrackList::Process().Drive();
      const auto records = TrackList::Process().Records();
      // The list read last is one drive's: the CD's one data track, or
      // nothing from the blank DVD+R.
      if (!records.empty() && records.size() != 1) ++wrong;
      if (records.size() == 1 && records[0].length != 300) ++wrong;
      (void)drive_read;
    }
  };
  std::thread a(reader, std::ref(first), 0), b(reader, std::ref(second), 1), c(reader, std::ref(first), 0);
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(wrong.load(), 0);
  TrackList::Process().Clear();
}

}  // namespace
}  // namespace zephrel
