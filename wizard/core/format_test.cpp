#include "vantora/format.h"

#include <gtest/gtest.h>

#include <limits>

namespace vantora {
namespace {

TEST(RoundHalfEven, RoundsHalvesToTheEvenNeighbourAndHoldsTheRange) {
  EXPECT_EQ(RoundHalfEven(4500.5), 4500);
  EXPECT_EQ(RoundHalfEven(4501.5), 4502);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(37.5), 38);
  EXPECT_EQ(RoundHalfEven(1e30), 2147483647);
  EXPECT_EQ(RoundHalfEven(-1e30), -2147483647 - 1);
}

TEST(FormatSingle, ShowsAtMostSevenSignificantDigitsOfTheSinglePrecisionValue) {
  EXPECT_EQ(FormatSingle(4482.623f), "4482.623");  // not 4482.62 nor 4482.62305
  EXPECT_EQ(FormatSingle(4482.6231f), "4482.623");
  EXPECT_EQ(FormatSingle(2294.4f), "2294.4");
  EXPECT_EQ(FormatSingle(4000.0f), "4000");
  EXPECT_EQ(FormatSingle(0.5f), "0.5");
  EXPECT_EQ(FormatSingle(-12.25f), "-12.25");
  EXPECT_EQ(FormatSingle(1234567.0f), "1234567");
  EXPECT_EQ(FormatSingle(1e8f), "1E+08");
}

TEST(FormatSingle, GivesZeroForZeroNegativeZeroAndValuesThatAreNotNumbers) {
  EXPECT_EQ(FormatSingle(0.0f), "0");
  EXPECT_EQ(FormatSingle(-0.0f), "0");
  EXPECT_EQ(FormatSingle(std::numeric_limits<float>::quiet_NaN()), "0");
  EXPECT_EQ(FormatSingle(std::numeric_limits<float>::infinity()), "0");
}

TEST(LeadingNumber, ReadsTheNumberATextBeginsWith) {
  EXPECT_EQ(LeadingNumber("4500"), 4500);
  EXPECT_EQ(LeadingNumber("  -5 kbit"), -5);
  EXPECT_EQ(LeadingNumber("4500.5"), 4500.5);
  EXPECT_EQ(LeadingNumber("1e3x"), 1000);
  EXPECT_EQ(LeadingNumber("abc"), 0);
  EXPECT_EQ(LeadingNumber(""), 0);
  EXPECT_EQ(LeadingNumber("-"), 0);
  EXPECT_EQ(LeadingNumber(".5"), 0.5);
  EXPECT_EQ(LeadingNumber("1e999"), 0);  // not a finite number
}

TEST(FormatSeconds, GivesHoursMinutesAndSecondsWithTwoDigitsEach) {
  EXPECT_EQ(FormatSeconds(3725), "01:02:05");
  EXPECT_EQ(FormatSeconds(0), "00:00:00");
  EXPECT_EQ(FormatSeconds(59), "00:00:59");
  EXPECT_EQ(FormatSeconds(360000), "100:00:00");
  EXPECT_EQ(FormatSeconds(-7), "00:00:00");
}

TEST(FormatDuration, AddsOneSecondAndDoesNotCapMinutes) {
  EXPECT_EQ(FormatDuration(4500), "75:01");
  EXPECT_EQ(FormatDuration(59), "01:00");
  EXPECT_EQ(FormatDuration(0), "00:01");
  EXPECT_EQ(FormatDuration(200), "03:21");
  EXPECT_EQ(FormatDuration(2.5), "00:03");  // 2.5 rounds to 2
  EXPECT_EQ(FormatDuration(-30), "00:00");
}

}  // namespace
}  // namespace vantora
