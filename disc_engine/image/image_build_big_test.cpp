// The full-size fixture: 20,000 small files and a 200 MB file.
#include <gtest/gtest.h>

#include "image/image_build_testutil.h"

namespace zephrel {
namespace {

TEST(IsoImageBig, TwentyThousandFilesAndTwoHundredMegabytesReadInEveryReader) {
  testing::ExpectFixtureImageReadable(20000, 200ull << 20);
}

}  // namespace
}  // namespace zephrel
