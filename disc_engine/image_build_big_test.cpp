// The full-size fixture: 20,000 small files and a 200 MB file.
#include <gtest/gtest.h>

#include "image_build_testutil.h"
#include "iso9660_testutil.h"

namespace zephrel {
namespace {

TEST(IsoImageBig, TwentyThousandFilesAndTwoHundredMegabytesReadInEveryReader) {
  testing::TempDir dir;
  testing::MakeFixture(dir, 20000, 200ull << 20);
  const std::string image = dir.path() + "/fixture.iso";
  testing::JobEventRecorder events;
  testing::RunBuild(testing::FolderImageRequest(dir, image), &events);
  ASSERT_FALSE(events.EndedWithError()) << events.Descriptions();
  EXPECT_EQ(events.EndCount(), 1);
  testing::ExpectIsoImageReadable(dir, image);
}

}  // namespace
}  // namespace zephrel
