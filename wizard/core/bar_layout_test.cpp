#include "vantora/bar_layout.h"

#include <gtest/gtest.h>

namespace vantora {
namespace {

double FixedWidth(const std::string&) { return 20; }

TEST(ProgressBarLayout, ValueZeroDrawsOnlyTheBackgroundAndTheLabel) {
  const ProgressBarLayout p = LayOutProgressBar(270, 0, 24);
  EXPECT_FALSE(p.fill.shown);
  EXPECT_EQ(p.label, "0 %");
  EXPECT_EQ(p.frame.left, 0);
  EXPECT_EQ(p.frame.right, 256);
  ASSERT_FALSE(p.frame.middles.empty());
  EXPECT_EQ(p.frame.middles.front(), 14);
  EXPECT_EQ(p.frame.middles.back(), 266);  // the last multiple of 14 below 270
  EXPECT_DOUBLE_EQ(p.label_left, 135 - 12);
}

TEST(ProgressBarLayout, SmallValueDrawsBothCapsAndNoMiddlePiece) {
  // 200 x 3 / 100 - 3 = 3: at most 4, so the loop stops at x = 4.
  const ProgressBarLayout p = LayOutProgressBar(200, 3, 20);
  ASSERT_TRUE(p.fill.shown);
  EXPECT_EQ(p.fill.left_cap, 2);
  EXPECT_TRUE(p.fill.middles.empty());
  EXPECT_EQ(p.fill.right_cap, 3);
}

TEST(ProgressBarLayout, FullValueFillsToAboutThreePixelsBeforeTheEnd) {
  const ProgressBarLayout p = LayOutProgressBar(270, 100, 30);
  ASSERT_TRUE(p.fill.shown);
  EXPECT_EQ(p.fill.middles.front(), 4);
  EXPECT_EQ(p.fill.middles.back(), 266);  // last even x below 267
  EXPECT_EQ(p.fill.right_cap, 267);
  EXPECT_EQ(p.label, "100 %");
}

TEST(ProgressBarLayout, HugeOrNegativeValuesStayBounded) {
  const ProgressBarLayout huge = LayOutProgressBar(270, 2147483647, 30);
  EXPECT_LE(huge.fill.middles.size(), 140u);
  EXPECT_GE(huge.fill.right_cap, 270);  // past the edge, cut off there
  const ProgressBarLayout negative = LayOutProgressBar(270, -5, 30);
  EXPECT_TRUE(negative.fill.shown);
  EXPECT_TRUE(negative.fill.middles.empty());
  EXPECT_EQ(negative.label, "-5 %");
}

TEST(GaugeLayout, SixShowsNoFillAndSevenFillsToItsBound) {
  EXPECT_FALSE(LayOutGauge(450, 6, 90, false, FixedWidth).fill.shown);
  EXPECT_FALSE(LayOutGauge(450, -100, 90, false, FixedWidth).fill.shown);
  const GaugeLayout g = LayOutGauge(450, 7, 90, false, FixedWidth);
  ASSERT_TRUE(g.fill.shown);
  // 450 x 7 / 90 - 3 = 32: middles 4 .. 30, right cap at 31.
  EXPECT_EQ(g.fill.middles.back(), 30);
  EXPECT_EQ(g.fill.right_cap, 31);
}

TEST(GaugeLayout, DvdScaleOfNineGigabytesPlacesFillAndLimit) {
  const GaugeLayout g = LayOutGauge(450, 4482, 9000, true, FixedWidth);
  ASSERT_TRUE(g.fill.shown);
  EXPECT_EQ(g.fill.middles.back(), 220);  // bound 221.1
  EXPECT_EQ(g.fill.right_cap, 221);
  ASSERT_TRUE(g.limit.has_value());
  EXPECT_NEAR(*g.limit, 224.1, 1e-9);
  ASSERT_EQ(g.marks.size(), 10u);
  EXPECT_EQ(g.marks[0].caption, "0");
  EXPECT_EQ(g.marks[1].caption, "1 GB");
  EXPECT_EQ(g.marks[9].caption, "9 GB");
  EXPECT_DOUBLE_EQ(g.marks[3].label_left, 3 * 450 / 9.0 - 10);
  EXPECT_DOUBLE_EQ(g.marks[3].center, 150);
  EXPECT_FALSE(g.marks[7].tick);
  for (int i = 1; i <= 9; ++i) {
    if (i != 7) {
      EXPECT_TRUE(g.marks[i].tick) << i;
    }
  }
}

TEST(GaugeLayout, AFillPastTheLimitMarkShowsWhereItOverflows) {
  struct Case {
    int value, maximum;
    bool gigabytes;
    std::optional<double> overflow;
  };
  const Case cases[] = {
      {4482, 9000, true, std::nullopt},  // bound 221.1, mark 224.1
      {4489, 9000, true, 450 / 9000.0 * 4482 - 3},
      {12000, 9000, true, 450 / 9000.0 * 4482 - 3},  // past the right edge too
      {74, 90, false, std::nullopt},
      {80, 90, false, 450 / 90.0 * 74 - 3},
      {5000, 0, true, std::nullopt},  // no maximum, no fill
  };
  for (const Case& c : cases) {
    const GaugeLayout g = LayOutGauge(450, c.value, c.maximum, c.gigabytes, FixedWidth);
    EXPECT_EQ(g.overflow.has_value(), c.overflow.has_value()) << c.value;
    if (g.overflow && c.overflow) {
      EXPECT_NEAR(*g.overflow, *c.overflow, 1e-9) << c.value;
    }
  }
}

TEST(GaugeLayout, EveryLabelStaysWholeInsideTheControl) {
  for (bool gigabytes : {true, false}) {
    const GaugeLayout g = LayOutGauge(450, 0, 9000, gigabytes, FixedWidth);
    for (const GaugeMark& m : g.marks) {
      EXPECT_GE(m.label_left, 0) << m.caption;
      EXPECT_LE(m.label_left + 20, 450) << m.caption;
      EXPECT_LT(m.center, 450) << m.caption;
    }
    EXPECT_DOUBLE_EQ(g.marks[9].label_left, 430);
  }
}

TEST(GaugeLayout, NineHundredScaleHasNoUnitAndTheLimitOnLabelSeven) {
  const GaugeLayout g = LayOutGauge(450, 0, 900, true, FixedWidth);
  EXPECT_EQ(g.marks[1].caption, "100");
  EXPECT_EQ(g.marks[9].caption, "900");
  ASSERT_TRUE(g.limit.has_value());
  EXPECT_DOUBLE_EQ(*g.limit, g.marks[7].center);
  EXPECT_FALSE(g.marks[7].tick);
}

TEST(GaugeLayout, MinutesScaleAlwaysPutsTheLimitAtSeventyFourNinetieths) {
  for (int maximum : {0, 90, 9000}) {
    const GaugeLayout g = LayOutGauge(450, 50, maximum, false, FixedWidth);
    ASSERT_TRUE(g.limit.has_value());
    EXPECT_DOUBLE_EQ(*g.limit, 450 / 90.0 * 74);
    EXPECT_EQ(g.marks[0].caption, "0 Min");
    EXPECT_EQ(g.marks[9].caption, "90 Min");
    for (int i = 1; i <= 9; ++i) EXPECT_TRUE(g.marks[i].tick);
  }
}

TEST(GaugeLayout, MaximumZeroDrawsFrameAndLabelsButNoFillAndNoLimit) {
  const GaugeLayout g = LayOutGauge(450, 5000, 0, true, FixedWidth);
  EXPECT_FALSE(g.fill.shown);
  EXPECT_FALSE(g.limit.has_value());
  EXPECT_EQ(g.marks.size(), 10u);
  EXPECT_FALSE(g.frame.middles.empty());
  // Minutes scale with maximum 0 and a value above 6: still no fill.
  EXPECT_FALSE(LayOutGauge(450, 50, 0, false, FixedWidth).fill.shown);
  EXPECT_FALSE(LayOutGauge(450, 50, -9, true, FixedWidth).fill.shown);
}

TEST(GaugeLayout, ValueAboveTheMaximumRunsPastTheEdgeButStaysBounded) {
  const GaugeLayout g = LayOutGauge(450, 2147483647, 1, true, FixedWidth);
  ASSERT_TRUE(g.fill.shown);
  EXPECT_LE(g.fill.middles.size(), 230u);
  EXPECT_GE(g.fill.right_cap, 450);
}

}  // namespace
}  // namespace vantora
